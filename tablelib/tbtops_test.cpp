// Whole-table operations: copy, delete, rename, access test and sort.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <fitsio.h>

#include "tbrowfix.h"
#include "vos/fault.h"
#include "vos/files.h"

namespace tbl {
namespace {

using namespace tbl::testing;

std::set<std::string> files_in(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    out.insert(e.path().filename().string());
  return out;
}

// A small row-ordered table of three rows.
void make_source(const std::string& name, int type = kRowOrdered) {
  Cols c;
  Table* tp = make_table(name, type, c);
  for (int r = 1; r <= 3; ++r) {
    tbepti(tp, c.i, r, r * 100);
    tbeptt(tp, c.t, r, "text" + std::to_string(r));
  }
  tbhadt(tp, "ORIGIN", "test");
  tbtclo(tp);
}

int int_at(const std::string& name, int row) {
  Cols c;
  Table* tp = reopen(name, kReadOnly, c);
  Closer close(tp);
  int v = 0;
  tbegti(tp, c.i, row, v);
  return v;
}

TEST(TableCopy, RowOrderedCopiesByteForByte) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("b"));
  EXPECT_EQ(dir.read("a.tab"), dir.read("b.tab"));
  EXPECT_EQ(int_at(dir.path("b.tab"), 3), 300);
}

// A text input decides the output by the output's extension: ".tab" gives a
// row-ordered table, anything else a text file copied whole.
TEST(TableCopy, TextInputChoosesTheOutputByExtension) {
  ScratchDir dir;
  dir.write("in.txt", "1 one\n2 two\n");
  tbtcpy(dir.path("in.txt"), dir.path("out.tab"));
  Table* tp = tbtopn(dir.path("out.tab"), kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kRowOrdered);
  EXPECT_EQ(tbpsta(tp, 21), 2);
  std::string s;
  tbegtt(tp, tbcnum(tp, 2), 2, s, 10);
  EXPECT_EQ(s, "two");
  tbtclo(tp);
  tbtcpy(dir.path("in.txt"), dir.path("out.dat"));
  EXPECT_EQ(dir.read("out.dat"), dir.read("in.txt"));
}

// A binary table copied into a FITS name without brackets becomes an
// extension named after the input file; a copy into an existing FITS file
// adds an extension, and a failing one leaves the file as it was.
TEST(TableCopy, IntoFitsFiles) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits"));
  EXPECT_EQ(int_at(dir.path("f.fits[a.tab]"), 2), 200);
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[second]"));
  EXPECT_EQ(int_at(dir.path("f.fits[second]"), 3), 300);
  EXPECT_EQ(int_at(dir.path("f.fits[1]"), 1), 100);

  const std::string before = dir.read("f.fits");
  const auto listing = files_in(dir.path(""));
  EXPECT_NE(error_of([&] { tbtcpy(dir.path("a.tab"), dir.path("f.fits[7]")); }), "(no error)");
  EXPECT_EQ(dir.read("f.fits"), before);
  EXPECT_EQ(files_in(dir.path("")), listing);
}

// An output that exists already is refused and kept; a missing input
// creates nothing.
TEST(TableCopy, FailuresLeaveFilesAlone) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  make_source(dir.path("b.tab"));
  Cols c;
  Table* tp = reopen(dir.path("b.tab"), kReadWrite, c);
  tbepti(tp, c.i, 1, 7);
  tbtclo(tp);
  const std::string b = dir.read("b.tab");
  EXPECT_NE(error_of([&] { tbtcpy(dir.path("a.tab"), dir.path("b.tab")); }), "(no error)");
  EXPECT_EQ(dir.read("b.tab"), b);
  EXPECT_NE(error_of([&] { tbtcpy(dir.path("none.tab"), dir.path("c.tab")); }), "(no error)");
  EXPECT_FALSE(vos::access(dir.path("c.tab")));
  int code = 0;
  EXPECT_EQ(error_of([&] { tbtcpy(dir.path("a.tab"), "  "); }, &code), "no output name specified");
  EXPECT_EQ(code, 1);
}

// A copy that fails half-way removes the output it had created.
TEST(TableCopy, HalfWrittenOutputIsRemoved) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits"));
  std::string fits = dir.read("f.fits");
  ASSERT_EQ(fits.size() % 2880, 0u);
  dir.write("f.fits", fits.substr(0, fits.size() - 2880));  // the data are gone
  // The rows fail to read after the output was created.
  EXPECT_NE(error_of([&] { tbtcpy(dir.path("f.fits[a.tab]"), dir.path("out.tab")); }),
            "(no error)");
  EXPECT_FALSE(vos::access(dir.path("out.tab")));
}

// A copy between different storage types goes row by row with conversion.
TEST(TableCopy, ColumnOrderedIntoRowOrdered) {
  ScratchDir dir;
  make_source(dir.path("y.tab"), kColOrdered);
  tbtcpy(dir.path("y.tab"), dir.path("t.fits"));
  EXPECT_EQ(int_at(dir.path("t.fits[y.tab]"), 3), 300);
  tbtcpy(dir.path("t.fits[y.tab]"), dir.path("back.tab"));
  Cols c;
  Table* tp = reopen(dir.path("back.tab"), kReadOnly, c);
  Closer close(tp);
  EXPECT_EQ(tp->type, kRowOrdered);
  std::string s;
  tbegtt(tp, c.t, 2, s, 20);
  EXPECT_EQ(s, "text2");
  std::string v;
  tbhgtt(tp, "ORIGIN", v, 20);
  EXPECT_EQ(v, "test");
}

// An extension copied into the FITS file that holds it (read from a copy
// of the file made first): the copy's writer does not wait for the copy's
// own reader of that file, the copy is of the extension named, every table
// is whole afterwards as CFITSIO reads them, and the file's copy, made in
// the temporary directory, is gone after it.
TEST(TableCopy, AnExtensionIntoItsOwnFile) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[one]"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[two]"));
  {
    Cols c;
    Table* tp = reopen(dir.path("f.fits[two]"), kReadWrite, c);
    for (int r = 1; r <= 3; ++r) tbepti(tp, c.i, r, r);
    tbtclo(tp);
  }
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string saved = tmpdir != nullptr ? tmpdir : "";
  ::setenv("TMPDIR", dir.path("").c_str(), 1);
  const auto listing = files_in(dir.path(""));
  tbtcpy(dir.path("f.fits[two]"), dir.path("f.fits[copy]"));
  EXPECT_EQ(files_in(dir.path("")), listing);
  if (tmpdir != nullptr) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
  fitsfile* f = nullptr;
  int status = 0, hdus = 0;
  ffopen(&f, dir.path("f.fits").c_str(), READONLY, &status);
  ffthdu(f, &hdus, &status);
  EXPECT_EQ(hdus, 4);
  const std::pair<const char*, std::vector<int>> want[] = {
      {"one", {100, 200, 300}}, {"two", {1, 2, 3}}, {"copy", {1, 2, 3}}};
  for (const auto& [ext, values] : want) {
    ffmnhd(f, BINARY_TBL, const_cast<char*>(ext), 0, &status);
    long rows = 0;
    int got[3] = {}, anynul = 0;
    ffgnrw(f, &rows, &status);
    ffgcvk(f, 1, 1, 1, 3, 0, got, &anynul, &status);
    EXPECT_EQ(status, 0) << ext;
    EXPECT_EQ(rows, 3) << ext;
    EXPECT_EQ(std::vector<int>(got, got + 3), values) << ext;
  }
  ffclos(f, &status);
}

TEST(TableDelete, FilesAndFitsExtensions) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtdel(dir.path("a"));
  EXPECT_FALSE(vos::access(dir.path("a.tab")));

  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[one]"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[two]"));
  const std::string whole = dir.path("f.fits");
  int code = 0;
  EXPECT_EQ(error_of([&] { tbtdel(whole); }, &code),
            "can't delete entire FITS file `" + whole + "'; specify extension");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(error_of([&] { tbtdel(" "); }), "name of table to delete is blank");

  const auto listing = files_in(dir.path(""));
  tbtdel(dir.path("f.fits[one]"));
  EXPECT_EQ(tbtacc(dir.path("f.fits[one]")), 0);
  EXPECT_EQ(int_at(dir.path("f.fits[two]"), 1), 100);
  EXPECT_EQ(files_in(dir.path("")), listing);  // no scratch file left

  const std::string before = dir.read("f.fits");
  EXPECT_NE(error_of([&] { tbtdel(dir.path("f.fits[nosuch]")); }), "(no error)");
  EXPECT_EQ(dir.read("f.fits"), before);
  EXPECT_EQ(files_in(dir.path("")), listing);
}

TEST(TableRename, MovesOrKeepsTheOld) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtren(dir.path("a.tab"), dir.path("b.tab"));
  EXPECT_FALSE(vos::access(dir.path("a.tab")));
  EXPECT_EQ(int_at(dir.path("b.tab"), 2), 200);

  make_source(dir.path("c.tab"));
  const std::string c = dir.read("c.tab");
  EXPECT_NE(error_of([&] { tbtren(dir.path("c.tab"), dir.path("b.tab")); }), "(no error)");
  EXPECT_EQ(dir.read("c.tab"), c);
  EXPECT_EQ(int_at(dir.path("b.tab"), 2), 200);
}

// A rename that cannot finish leaves both names as they were: a whole FITS
// file (which cannot be deleted) is refused before anything is copied, and a
// write failing anywhere in the copy or the delete takes the copy back.
TEST(TableRename, FailureLeavesBothNamesAsTheyWere) {
  ScratchDir orig, dir;
  make_source(orig.path("a.tab"));
  tbtcpy(orig.path("a.tab"), orig.path("f.fits[one]"));
  tbtcpy(orig.path("a.tab"), orig.path("f.fits[two]"));
  tbtcpy(orig.path("a.tab"), orig.path("h.fits[x]"));
  auto setup = [&] {
    for (const std::string& f : files_in(dir.path(""))) std::filesystem::remove(dir.path(f));
    for (const std::string& f : files_in(orig.path(""))) dir.write(f, orig.read(f));
  };
  auto snapshot = [&] {
    std::vector<std::string> all;
    for (const std::string& f : files_in(dir.path(""))) all.push_back(f + "=" + dir.read(f));
    return all;
  };
  setup();
  const auto before = snapshot();
  for (const char* to : {"g.fits", "h.fits", "g.tab", "h.fits[y]"}) {
    const std::string whole = dir.path("f.fits");
    int code = 0;
    EXPECT_EQ(error_of([&] { tbtren(whole, dir.path(to)); }, &code),
              "can't delete entire FITS file `" + whole + "'; specify extension")
        << to;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(snapshot(), before) << to;
  }

  const struct {
    const char* from;
    const char* to;
    const char* check;  // the moved table under its new name
  } moves[] = {
      {"f.fits[one]", "g.tab", "g.tab"},
      {"f.fits[one]", "h.fits[y]", "h.fits[y]"},
      {"f.fits[one]", "f.fits[three]", "f.fits[three]"},
      {"a.tab", "h.fits[z]", "h.fits[z]"},
      {"a.tab", "b", "b.tab"},
  };
  for (const auto& m : moves) {
    bool done = false;
    for (long n = 0; n < 400 && !done; ++n) {
      setup();
      const auto start = snapshot();
      vos::fault::fail_write_after(n);
      const std::string err = error_of([&] { tbtren(dir.path(m.from), dir.path(m.to)); });
      vos::fault::clear();
      if (err == "(no error)") {
        done = true;
        EXPECT_EQ(tbtacc(dir.path(m.from)), 0) << m.from;
        EXPECT_EQ(int_at(dir.path(m.check), 2), 200) << m.to;
      } else {
        EXPECT_EQ(snapshot(), start) << m.from << " -> " << m.to << " failing write " << n;
      }
    }
    EXPECT_TRUE(done) << m.from << " -> " << m.to;
  }
}

TEST(TableAccess, OpenableOrNot) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  EXPECT_EQ(tbtacc(dir.path("a.tab")), 1);
  EXPECT_EQ(tbtacc(dir.path("a")), 1);
  EXPECT_EQ(tbtacc(dir.path("missing.tab")), 0);
  EXPECT_EQ(tbtacc(""), 0);
}

// The full name of an open table: FITS tables with their extension.
TEST(TableName, FullNames) {
  ScratchDir dir;
  make_source(dir.path("a.tab"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[sci]"));
  tbtcpy(dir.path("a.tab"), dir.path("f.fits[sci,2]"));
  const struct {
    std::string open, want;
  } cases[] = {
      {dir.path("f.fits[sci,2]"), dir.path("f.fits") + "[sci,2]"},
      {dir.path("f.fits[sci]"), dir.path("f.fits") + "[sci]"},
      {dir.path("f.fits[1]"), dir.path("f.fits") + "[1]"},
      {dir.path("a"), dir.path("a.tab")},
  };
  for (const auto& k : cases) {
    Table* tp = tbtopn(k.open, kReadOnly, nullptr);
    Closer close(tp);
    std::string name;
    tbtnam(tp, name, 255);
    EXPECT_EQ(name, k.want);
    tbtnam(tp, name, 3);
    EXPECT_EQ(name, k.want.substr(0, 3));
  }
}

// Sorting: undefined numbers and empty texts last, fold ignoring case,
// not-a-number between the numbers and the undefined values, and ties
// broken by the next column.
TEST(TableSort, OrdersRowsByColumns) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("s.tab"), kRowOrdered, c);
  Closer close(tp);
  const char* texts[] = {"beta", "", "Alpha", "alpha", "Beta"};
  const float reals[] = {3.0f, kIndefR, std::numeric_limits<float>::quiet_NaN(), -1.0f, 3.0f};
  const int ints[] = {5, 4, 3, 2, 1};
  for (int r = 1; r <= 5; ++r) {
    tbeptt(tp, c.t, r, texts[r - 1]);
    tbeptr(tp, c.r, r, reals[r - 1]);
    tbepti(tp, c.i, r, ints[r - 1]);
  }
  struct Case {
    std::vector<Column*> cols;
    bool fold;
    std::vector<int> want;
  } cases[] = {
      {{c.t}, false, {3, 5, 4, 1, 2}},
      {{c.r, c.i}, false, {4, 5, 1, 3, 2}},
      {{c.i}, false, {5, 4, 3, 2, 1}},
  };
  for (const Case& k : cases) {
    int rows[] = {1, 2, 3, 4, 5};
    tbtsrt(tp, static_cast<int>(k.cols.size()), k.cols.data(), k.fold, 5, rows);
    EXPECT_EQ(std::vector<int>(rows, rows + 5), k.want);
  }
  int rows[] = {1, 2, 3, 4, 5};
  Column* tcol[] = {c.t};
  tbtsrt(tp, 1, tcol, true, 5, rows);
  EXPECT_EQ(rows[4], 2);  // the empty text last
  EXPECT_EQ(tbrcmp(tp, 1, tcol, true, 3, 4), 0);
  EXPECT_EQ(tbrcmp(tp, 1, tcol, false, 3, 4), -1);
  EXPECT_EQ(tbrcmp(tp, 1, tcol, true, 1, 5), 0);
}

}  // namespace
}  // namespace tbl
