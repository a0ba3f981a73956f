// Fuzz target: table names.  The first byte of the input ("0" to "3", taken
// modulo 4) chooses a table of
// the scratch directory (row-ordered, column-ordered, text or FITS, made at
// start-up); the rest is appended to its name as written by a user: HDU,
// EXTNAME and EXTVER expressions, row selectors ([row:...]) and column
// selectors ([col:...]), with selector files to include ("@rows", "@cols").
// The name is taken apart by c_tbparse and c_tbtext, and the table is opened
// read-only through c_tbtopn and read whole.  A selection never shows more
// rows or columns than the table holds.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/table_snapshot.h"

namespace {

const char* const kTables[] = {"rows.tab", "cols.tab", "text.txt", "fits.fits"};
constexpr int kRows = 6;

// Writes one fixture table: an int, a double, a text, a bool and (where the
// storage type holds arrays) an array column, with undefined cells.
void make_table(const std::string& name, int type) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  if (type == 12 || type == 13) c_tbpset(tp, 5, type);
  ColumnPtr c[5] = {};
  c_tbcdef1(tp, &c[0], "id", "", "", TBL_TY_INT, 1);
  c_tbcdef1(tp, &c[1], "flux", "Jy", "%8.3f", TBL_TY_DOUBLE, 1);
  c_tbcdef1(tp, &c[2], "name", "", "", -12, 1);
  c_tbcdef1(tp, &c[3], "flag", "", "", TBL_TY_BOOL, 1);
  if (type == 11 || type == 14) c_tbcdef1(tp, &c[4], "spec", "", "", TBL_TY_REAL, 3);
  c_tbtcre(tp);
  const char* names[kRows] = {"alpha", "beta", "two words", "", "delta", "Alpha"};
  for (int r = 1; r <= kRows; ++r) {
    c_tbepti(tp, c[0], r, r == 4 ? -2147483647 : r * 10);
    c_tbeptd(tp, c[1], r, r == 5 ? 1.6e308 : 0.5 * r);
    c_tbeptt(tp, c[2], r, names[r - 1]);
    c_tbeptb(tp, c[3], r, r % 2);
    if (c[4] != nullptr) {
      float v[3] = {1.0f * r, 2.0f * r, 3.0f * r};
      c_tbaptr(tp, c[4], r, v, 1, 3);
    }
  }
  c_tbhadt(tp, "OBJECT", "m31");
  c_tbtclo(tp);
  FUZZ_CHECK(c_voserr() == 0, std::string("fixture ") + name + ": " + c_voserrmsg());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  c_vosinit();
  // Relative names (and selector files) are looked up in the scratch
  // directory.
  FUZZ_CHECK(::chdir(fuzz::scratch_dir().c_str()) == 0, "chdir");
  make_table("rows.tab", 11);
  make_table("cols.tab", 12);
  make_table("text.txt", 13);
  make_table("fits.fits", 14);
  make_table("fits.fits[sci,2]", 14);
  fuzz::write_file("rows", "id = 10:40, name = !beta\n");
  fuzz::write_file("cols", "# the columns\nflux name\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string name = kTables[data[0] % 4];
  name.append(reinterpret_cast<const char*>(data + 1), size - 1);
  // A NUL ends the name as the entry points see it.
  name.resize(std::strlen(name.c_str()));

  char fname[1024], brackets[1024], ext[1024];
  int hdu = -2;
  int n = c_tbparse(name.c_str(), fname, brackets, 1023, &hdu);
  FUZZ_CHECK(std::memchr(fname, '\0', sizeof fname) && std::memchr(brackets, '\0', sizeof brackets),
             "tbparse output unterminated");
  if (c_voserr() == 0) FUZZ_CHECK(n >= 0 && hdu >= -1, "tbparse: hdu " + std::to_string(hdu));
  c_tbtext(name.c_str(), ext, 1023);
  FUZZ_CHECK(std::memchr(ext, '\0', sizeof ext), "tbtext output unterminated");
  c_tbtacc(name.c_str());

  fuzz::Snapshot snap;
  if (fuzz::read_table(name, &snap)) {
    FUZZ_CHECK(snap.nrows <= kRows && snap.cols.size() <= 5,
               name + ": " + std::to_string(snap.nrows) + " rows, " +
                   std::to_string(snap.cols.size()) + " columns");
  }
  fuzz::trace(name + ": " + std::to_string(snap.nrows) + " rows, " +
              std::to_string(snap.cols.size()) + " columns; " +
              (snap.clean ? "read cleanly" : "first error " + snap.first_error));
  return 0;
}
