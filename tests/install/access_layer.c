/* An outside C program (C99) using the access layer through
 * <pravel/pravel.h> and <pravel/pravel_fc.h>: asks for the state of a
 * connection through a call and its twin, installs an error handler, and
 * sends one report to a file, which it reads back.
 *
 *   access_layer FILE      exit status 0 when every check held
 */
#include <stdio.h>
#include <string.h>

#include <pravel/pravel.h>
#include <pravel/pravel_fc.h>

static void on_error(void) {}

static int check(int ok, const char* what) {
  if (!ok) fprintf(stderr, "access_layer: %s\n", what);
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  int bad = 0;
  int conn = 2;
  qelt_handler handler = on_error;
  FILE* report;
  char text[256];
  size_t n;

  if (argc != 2) {
    fprintf(stderr, "usage: access_layer FILE\n");
    return 2;
  }
  bad |= check(qelt_connected(2) == QELT_FREE && qelt_connected_f(&conn) == QELT_FREE,
               "a fresh connection is not free");
  bad |= check(qelt_establish_error_handler(&conn, handler) == 0 && conn >= 0 && conn <= 10,
               "the error handler is not installed");
  bad |= check(pravel_fetch_outcome(conn) == PRAVEL_FETCH_NONE, "a fetch is reported");

  report = fopen(argv[1], "w+");
  if (report == NULL) return 1;
  bad |= check(qelt_set_report_destination(report, NULL) == 0 &&
                   qelt_set_report_level(QELT_INFO) == 0 &&
                   qelt_report("access_layer", QELT_WARN, "%d rows in %s", 3, "parts") == 0,
               "the report calls fail");
  fflush(report);
  rewind(report);
  n = fread(text, 1, sizeof text - 1, report);
  text[n] = '\0';
  bad |= check(strstr(text, "3 rows in parts") != NULL, "the report is not in the file");
  qelt_set_report_destination(NULL, NULL);
  fclose(report);
  if (bad) return 1;
  printf("access_layer: connection %d free, handler installed, report written\n", conn);
  return 0;
}
