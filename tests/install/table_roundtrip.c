/* An outside C program (C99), built against an installed quorel through
 * pkg-config (quorel-halvo) and through find_package (Quorel::halvo):
 * writes a FITS table through the c_ entry points, closes it, opens it
 * again and checks every cell and a header parameter.
 *
 *   table_roundtrip DIRECTORY      exit status 0 when everything read back
 */
#include <stdio.h>
#include <string.h>

#include <halvo/c_tables.h>

static int failed(const char* what) {
  if (c_voserr() == 0) return 0;
  fprintf(stderr, "table_roundtrip: %s: %s\n", what, c_voserrmsg());
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: table_roundtrip DIRECTORY\n");
    return 2;
  }
  char name[4096];
  snprintf(name, sizeof name, "%s/roundtrip.fits", argv[1]);
  static const int ids[] = {7, -3, 2147483647};
  static const double fluxes[] = {0.5, -1.25e10, 3.0};
  static const char* const names[] = {"zor_f555w", "", "a name of 12"};

  c_vosinit();
  TablePtr tp = c_tbtopn(name, TBL_NEW_FILE, 0);
  if (failed("create")) return 1;
  ColumnPtr cols[3];
  c_tbcdef1(tp, &cols[0], "ID", "", "", TBL_TY_INT, 1);
  c_tbcdef1(tp, &cols[1], "FLUX", "Jy", "", TBL_TY_DOUBLE, 1);
  c_tbcdef1(tp, &cols[2], "NAME", "", "", -12, 1);
  c_tbtcre(tp);
  if (failed("define")) return 1;
  c_tbhadt(tp, "INSTRUME", "ZOR");
  for (int r = 0; r < 3; ++r) {
    c_tbepti(tp, cols[0], r + 1, ids[r]);
    c_tbeptd(tp, cols[1], r + 1, fluxes[r]);
    c_tbeptt(tp, cols[2], r + 1, names[r]);
  }
  c_tbtclo(tp);
  if (failed("write")) return 1;

  tp = c_tbtopn(name, TBL_READ_ONLY, 0);
  if (failed("open")) return 1;
  int bad = c_tbpsta(tp, 21) != 3 || c_tbpsta(tp, 22) != 3;
  c_tbcfnd1(tp, "ID", &cols[0]);
  c_tbcfnd1(tp, "FLUX", &cols[1]);
  c_tbcfnd1(tp, "NAME", &cols[2]);
  if (failed("find columns")) return 1;
  for (int r = 0; r < 3; ++r) {
    int id = 0;
    double flux = 0;
    char text[32];
    c_tbegti(tp, cols[0], r + 1, &id);
    c_tbegtd(tp, cols[1], r + 1, &flux);
    c_tbegtt(tp, cols[2], r + 1, text, 31);
    if (failed("read")) return 1;
    if (id != ids[r] || flux != fluxes[r] || strcmp(text, names[r]) != 0) {
      fprintf(stderr, "table_roundtrip: row %d reads back as %d %g \"%s\"\n", r + 1, id, flux,
              text);
      bad = 1;
    }
  }
  char instrume[16];
  c_tbhgtt(tp, "INSTRUME", instrume, 15);
  if (failed("header") || strcmp(instrume, "ZOR") != 0) bad = 1;
  c_tbtclo(tp);
  if (failed("close")) return 1;
  if (bad) return 1;
  printf("table_roundtrip: 3 rows of %s read back\n", name);
  return 0;
}
