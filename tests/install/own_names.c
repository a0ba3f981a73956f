/* An outside C program (C99) using the DB client through <dblib/dblib.h>,
 * with routines and data of its own under ordinary names that the client's
 * layers also use inside (leapyear, monthdays): both must link side by side
 * and each side keep its own.  Converts a date text and a number text
 * without a connection and checks the results.
 *
 *   own_names      exit status 0 when every check held
 */
#include <stdio.h>
#include <string.h>

#include <dblib/dblib.h>

/* Deliberately not the calendar: a program's own meaning of the names. */
int monthdays[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
int leapyear(int year) { return -year; }

static int check(int ok, const char* what) {
  if (!ok) fprintf(stderr, "own_names: %s\n", what);
  return ok ? 0 : 1;
}

int main(void) {
  int bad = 0;
  DBDATETIME when;
  DBDATEPARTS parts;
  DBINT number = 0;
  const char* date = "Feb 29 2000 12:00";

  if (dbinit() != SUCCEED || dbsetversion(DBVERSION_50) != SUCCEED) {
    fprintf(stderr, "own_names: the client does not start\n");
    return 1;
  }
  memset(&when, 0, sizeof when);
  bad |= check(dbconvert(NULL, MERCHAR, (const BYTE*)date, -1, MERDATETIME, (BYTE*)&when,
                         (DBINT)sizeof when) == (DBINT)sizeof when,
               "the date text does not convert");
  /* 1 January 2000 is day 36524 after 1 January 1900; noon is 12 * 3600 * 300 ticks. */
  bad |= check(when.days == 36524 + 31 + 28 && when.ticks == 12 * 3600 * 300,
               "the date converts to the wrong day or time");
  memset(&parts, 0, sizeof parts);
  bad |= check(dbdatecrack(NULL, &parts, &when) == SUCCEED && parts.year == 2000 &&
                   parts.month == 1 && parts.mday == 29 && parts.yday == 60,
               "the date cracks into the wrong parts");
  bad |= check(dbconvert(NULL, MERCHAR, (const BYTE*)"-12345", -1, MERINT4, (BYTE*)&number,
                         (DBINT)sizeof number) == (DBINT)sizeof number &&
                   number == -12345,
               "the number text does not convert");
  bad |= check(leapyear(2000) == -2000 && monthdays[1] == 2,
               "the program's own leapyear or monthdays was replaced");
  dbexit();
  if (bad) return 1;
  printf("own_names: the client converted beside the program's own leapyear and monthdays\n");
  return 0;
}
