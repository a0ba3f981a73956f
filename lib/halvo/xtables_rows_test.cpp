// The entries for rows, column ranges, array elements and whole tables, used
// only through c_tables.h: values and 32-bit bools and null flags cross in
// place, string arrays into the caller's buffers, and every failure becomes
// the error state.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "halvo/c_tables.h"

namespace {

class Entries : public ::testing::Test {
 protected:
  void SetUp() override {
    c_vosinit();
    char tmpl[] = "/tmp/halvorowXXXXXX";
    dir_ = ::mkdtemp(tmpl);
    name_ = dir_ + "/t.tab";
    tp_ = c_tbtopn(name_.c_str(), TBL_NEW_FILE, 0);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    c_tbcdef1(tp_, &i_, "I", "", "", TBL_TY_INT, 1);
    c_tbcdef1(tp_, &d_, "D", "", "", TBL_TY_DOUBLE, 1);
    c_tbcdef1(tp_, &b_, "B", "", "", TBL_TY_BOOL, 1);
    c_tbcdef1(tp_, &t_, "T", "", "", -8, 1);
    c_tbcdef1(tp_, &a_, "A", "", "", TBL_TY_REAL, 4);
    c_tbtcre(tp_);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  }
  void TearDown() override {
    if (tp_ != 0) c_tbtclo(tp_);
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string dir_, name_;
  TablePtr tp_ = 0;
  ColumnPtr i_ = 0, d_ = 0, b_ = 0, t_ = 0, a_ = 0;
};

#define OK() ASSERT_EQ(c_voserr(), 0) << c_voserrmsg()

TEST_F(Entries, RowsCrossWithBoolsAndNullFlags) {
  ColumnPtr cols[] = {i_, d_};
  const double vals[] = {3, 4.5};
  c_tbrptd(tp_, cols, vals, 2, 2);
  OK();
  ColumnPtr bcol[] = {b_};
  const int bv[] = {7};  // any non-zero int is true
  c_tbrptb(tp_, bcol, bv, 1, 2);
  OK();
  ColumnPtr tcol[] = {t_};
  const char* tv[] = {"abcdefghijk"};
  c_tbrptt(tp_, tcol, tv, 4, 1, 2);
  OK();

  int ints[2] = {0, 0}, nulls[2] = {-1, -1};
  c_tbrgti(tp_, cols, ints, nulls, 2, 1);
  OK();
  EXPECT_EQ(nulls[0], 1);
  EXPECT_EQ(nulls[1], 1);
  c_tbrgti(tp_, cols, ints, nulls, 2, 2);
  OK();
  EXPECT_EQ(ints[0], 3);
  EXPECT_EQ(nulls[0], 0);
  int b[1] = {5};
  c_tbrgtb(tp_, bcol, b, nulls, 1, 2);
  OK();
  EXPECT_EQ(b[0], 1);
  char buf[20];
  char* out[] = {buf};
  c_tbrgtt(tp_, tcol, out, nulls, 19, 1, 2);
  OK();
  EXPECT_STREQ(buf, "abcd");

  c_tbrgtd(tp_, cols, nullptr, nulls, 2, 2);  // no array: an error, not a crash
  EXPECT_EQ(c_voserr(), 1);
  c_tbrgtd(tp_, cols, const_cast<double*>(vals), nulls, 2, 9);
  EXPECT_EQ(c_voserr(), 51);
  EXPECT_STREQ(c_voserrmsg(), "input row is beyond EOF");
  c_tbrdel(tp_, 1, 1);
  OK();  // each entry starts with a cleared state
  EXPECT_EQ(c_tbpsta(tp_, 21), 1);
  c_tbrnll(tp_, 1, 1);
  OK();
  c_tbrswp(tp_, 1, 3);
  OK();
  EXPECT_EQ(c_tbpsta(tp_, 21), 3);
  c_tbrudf(tp_, cols, 2, 5);
  OK();
  EXPECT_EQ(c_tbpsta(tp_, 21), 5);
}

// A negative count is none: nothing is read or written and the caller's
// arrays are not touched.
TEST_F(Entries, NegativeCountsAreNone) {
  c_tbeptb(tp_, b_, 1, 1);
  c_tbeptt(tp_, t_, 1, "abc");
  c_tbeptt(tp_, a_, 1, "2.5");
  OK();
  int ints[2] = {7, 7}, flags[2] = {7, 7};
  char cell[9] = "keep";
  char* bufs[] = {cell};
  ColumnPtr cols[] = {b_};
  const char* names[] = {"B"};
  ColumnPtr found[] = {0};
  const char* texts[] = {"x"};
  struct Case {
    const char* what;
    std::function<int()> call;
  } cases[] = {
      {"tbagtb", [&] { return c_tbagtb(tp_, b_, 1, ints, 1, -1); }},
      {"tbagtt", [&] { return c_tbagtt(tp_, t_, 1, bufs, 8, 1, -1); }},
      {"tbaptb", [&] { c_tbaptb(tp_, b_, 1, ints, 1, -1); return 0; }},
      {"tbaptt", [&] { c_tbaptt(tp_, a_, 1, texts, 8, 1, -1); return 0; }},
      {"tbrgtb", [&] { c_tbrgtb(tp_, cols, ints, flags, -1, 1); return 0; }},
      {"tbrgtt", [&] { c_tbrgtt(tp_, cols, bufs, flags, 8, -1, 1); return 0; }},
      {"tbrptb", [&] { c_tbrptb(tp_, cols, ints, -1, 1); return 0; }},
      {"tbrptt", [&] { c_tbrptt(tp_, cols, texts, 8, -1, 1); return 0; }},
      {"tbcfnd", [&] { c_tbcfnd(tp_, names, found, -1); return 0; }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(c_voserr(), 0) << c.what << ": " << c_voserrmsg();
  }
  EXPECT_EQ(ints[0], 7);
  EXPECT_EQ(flags[0], 7);
  EXPECT_STREQ(cell, "keep");
  EXPECT_EQ(found[0], nullptr);
  // Nothing was written.
  EXPECT_EQ(c_tbpsta(tp_, 21), 1);
  int b = 0;
  c_tbegtb(tp_, b_, 1, &b);
  c_tbegtt(tp_, t_, 1, cell, 8);
  EXPECT_EQ(b, 1);
  EXPECT_STREQ(cell, "abc");
  float a[4];
  EXPECT_EQ(c_tbagtr(tp_, a_, 1, a, 1, 4), 4);
  EXPECT_EQ(a[0], 2.5f);
}

TEST_F(Entries, ColumnRangesAndArrays) {
  const int iv[] = {1, 2, 3};
  c_tbcpti(tp_, i_, iv, 1, 3);
  OK();
  const char* tv[] = {"one", "two", "three"};
  c_tbcptt(tp_, t_, tv, 8, 1, 3);
  OK();
  double d[3];
  int nulls[3];
  c_tbcgtd(tp_, i_, d, nulls, 1, 3);
  OK();
  EXPECT_EQ(d[2], 3.0);
  char b0[9], b1[9];
  char* out[] = {b0, b1};
  c_tbcgtt(tp_, t_, out, nulls, 8, 2, 3);
  OK();
  EXPECT_STREQ(b0, "two");
  EXPECT_STREQ(b1, "three");
  std::strcpy(b0, "keep");
  c_tbcgtt(tp_, t_, out, nulls, 8, 3, 2);  // nothing to convert
  OK();
  EXPECT_STREQ(b0, "keep");
  c_tbcptt(tp_, t_, nullptr, 8, 3, 2);
  EXPECT_EQ(c_voserr(), 1);
  EXPECT_STREQ(c_voserrmsg(), "tbcptt:  lastrow is less than firstrow");
  int bools[3];
  c_tbcgtb(tp_, i_, bools, nulls, 1, 3);
  OK();
  EXPECT_EQ(bools[0], 1);
  EXPECT_EQ(bools[1], 1);

  const float av[] = {1.5f, 2.5f};
  c_tbaptr(tp_, a_, 2, av, 3, 2);
  OK();
  float got[4];
  EXPECT_EQ(c_tbagtr(tp_, a_, 2, got, 1, 9), 4);
  OK();
  EXPECT_EQ(got[2], 1.5f);
  EXPECT_EQ(got[3], 2.5f);
  int flags6[6] = {7, 7, 7, 7, 7, 7};
  EXPECT_EQ(c_tbagtb(tp_, a_, 2, flags6, 1, 6), 4);
  OK();
  EXPECT_EQ(flags6[2], 1);
  EXPECT_EQ(flags6[4], 7);  // past what was read: untouched
  const char* sv[] = {"x", "yy"};
  c_tbaptt(tp_, a_, 1, sv, 5, 1, 2);
  OK();
  char s0[6], s1[6];
  char* sout[] = {s0, s1};
  EXPECT_EQ(c_tbagtt(tp_, a_, 1, sout, 5, 1, 2), 2);
  OK();
  c_tbaptr(tp_, a_, 2, av, 4, 2);
  EXPECT_EQ(c_voserr(), 1);
  EXPECT_STREQ(c_voserrmsg(), "tbaptr:  attempt to put too many elements");
  int ab[2];
  EXPECT_EQ(c_tbagtb(tp_, a_, 2, ab, 3, 2), 2);
  OK();
  EXPECT_EQ(ab[0], 1);  // a non-zero real is true, delivered as 1
}

// String arrays in are read to the caller's maxch and never past it: each
// string here fills a buffer of exactly maxch bytes with no terminator.
TEST_F(Entries, StringArraysInStopAtMaxch) {
  const int maxch = 5;
  std::vector<std::unique_ptr<char[]>> store;
  std::vector<const char*> in;
  for (const char* s : {"abcdefgh", "uvwxyzzz", "klmnopqr"}) {
    store.emplace_back(new char[maxch]);
    std::memcpy(store.back().get(), s, maxch);
    in.push_back(store.back().get());
  }
  char b[3][9];
  char* out[] = {b[0], b[1], b[2]};
  int nulls[3];
  c_tbcptt(tp_, t_, in.data(), maxch, 1, 3);
  OK();
  c_tbcgtt(tp_, t_, out, nulls, 8, 1, 3);
  OK();
  EXPECT_STREQ(b[0], "abcde");
  EXPECT_STREQ(b[2], "klmno");
  ColumnPtr tcol[] = {t_};
  c_tbrptt(tp_, tcol, &in[1], maxch, 1, 2);
  OK();
  c_tbrgtt(tp_, tcol, out, nulls, 8, 1, 2);
  OK();
  EXPECT_STREQ(b[0], "uvwxy");
  // An array of text elements.
  ColumnPtr ta = 0;
  c_tbcdef1(tp_, &ta, "TA", "", "", -8, 3);
  OK();
  c_tbaptt(tp_, ta, 1, in.data(), maxch, 1, 3);
  OK();
  EXPECT_EQ(c_tbagtt(tp_, ta, 1, out, 8, 1, 3), 3);
  OK();
  EXPECT_STREQ(b[0], "abcde");
  EXPECT_STREQ(b[1], "uvwxy");
  EXPECT_STREQ(b[2], "klmno");
}

TEST_F(Entries, WholeTables) {
  const int iv[] = {30, 10, 20};
  c_tbcpti(tp_, i_, iv, 1, 3);
  OK();
  int rows[] = {1, 2, 3};
  ColumnPtr cols[] = {i_};
  c_tbtsrt(tp_, 1, cols, 0, 3, rows);
  OK();
  EXPECT_EQ(rows[0], 2);
  EXPECT_EQ(rows[1], 3);
  EXPECT_EQ(rows[2], 1);
  c_tbtclo(tp_);
  tp_ = 0;
  OK();

  const std::string copy = dir_ + "/copy.tab", moved = dir_ + "/moved.tab";
  c_tbtcpy(name_.c_str(), copy.c_str());
  OK();
  EXPECT_EQ(c_tbtacc(copy.c_str()), 1);
  c_tbtren(copy.c_str(), moved.c_str());
  OK();
  EXPECT_EQ(c_tbtacc(copy.c_str()), 0);
  OK();  // a missing table is no error
  c_tbtcpy(name_.c_str(), moved.c_str());  // exists: refused
  EXPECT_NE(c_voserr(), 0);
  c_tbtdel(moved.c_str());
  OK();
  EXPECT_EQ(c_tbtacc(moved.c_str()), 0);

  TablePtr a = c_tbtopn(name_.c_str(), TBL_READ_ONLY, 0);
  OK();
  TablePtr b = c_tbtopn((dir_ + "/b.tab").c_str(), TBL_NEW_COPY, a);
  OK();
  c_tbtcre(b);
  OK();
  c_tbrcpy(a, b, 2, 1);
  OK();
  ColumnPtr in[] = {c_tbcnum(a, 1)}, out[] = {c_tbcnum(b, 2)};
  c_tbrcsc(a, b, in, out, 3, 1, 1);
  OK();
  double d = 0;
  c_tbegtd(b, c_tbcnum(b, 1), 1, &d);
  EXPECT_EQ(d, 10.0);
  c_tbegtd(b, c_tbcnum(b, 2), 1, &d);
  EXPECT_EQ(d, 20.0);
  c_tbrcpy(b, a, 1, 1);
  EXPECT_EQ(c_voserr(), 3);
  c_tbtclo(b);
  c_tbtclo(a);
  OK();
}

// Every storage type, by the file name of its table.
struct Store {
  const char* file;
  int type;  // table parameter 5; 0: from the name
};
const Store kStores[] = {{"row.tab", 11}, {"col.tab", 12}, {"text.txt", 13}, {"table.fits", 0}};

// A new table of storage `s` at `name`, its columns yet to be defined.
TablePtr new_table(const std::string& name, const Store& s) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, 0);
  if (s.type != 0) c_tbpset(tp, 5, s.type);
  return tp;
}

// A scratch directory for the tables of every storage type, removed with
// them afterwards.
class EntriesByStorage : public ::testing::Test {
 protected:
  void SetUp() override {
    c_vosinit();
    char tmpl[] = "/tmp/halvostoreXXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string dir_;
};

}  // namespace

// Text read into the caller's buffers, a range at once (c_tbcgtt) or a
// cell at a time (c_tbegtt), agrees with the row entry in every storage
// type, cut to maxch with the empty cells flagged.
TEST_F(EntriesByStorage, TextGetsAgreeWithTheRowEntry) {
  const char* values[] = {"abcdefghijkl", "", "xy"};
  for (const Store& s : kStores) {
    SCOPED_TRACE(s.file);
    const std::string name = dir_ + "/" + s.file;
    TablePtr tp = new_table(name, s);
    ColumnPtr t = 0, n = 0;
    c_tbcdef1(tp, &t, "T", "", "", -12, 1);
    c_tbcdef1(tp, &n, "N", "", "", TBL_TY_INT, 1);
    c_tbtcre(tp);
    c_tbcptt(tp, t, values, 12, 1, 3);
    const int nums[] = {1, 2, 3};
    c_tbcpti(tp, n, nums, 1, 3);
    c_tbtclo(tp);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();

    tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, 0);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    t = c_tbcnum(tp, 1);
    char range[3][5], cell[5];
    char* bufs[] = {range[0], range[1], range[2]};
    int flags[3] = {-1, -1, -1};
    c_tbcgtt(tp, t, bufs, flags, 4, 1, 3);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    for (int r = 1; r <= 3; ++r) {
      char row[5];
      char* rowbuf[] = {row};
      int rowflag = -1;
      c_tbrgtt(tp, &t, rowbuf, &rowflag, 4, 1, r);
      ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
      c_tbegtt(tp, t, r, cell, 4);
      ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
      EXPECT_STREQ(range[r - 1], row) << "row " << r;
      EXPECT_EQ(flags[r - 1], rowflag) << "row " << r;
      EXPECT_STREQ(cell, row) << "row " << r;
      c_tbegtt(tp, t, r, nullptr, 4);  // no buffer: nothing to fill, no failure
      EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
    }
    char whole[13];  // a buffer the whole stored field fits in
    for (int r = 1; r <= 3; ++r) {
      c_tbegtt(tp, t, r, whole, 12);
      ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
      EXPECT_STREQ(whole, values[r - 1]) << "row " << r;
    }
    if (s.type != 0) {
      EXPECT_STREQ(range[0], "abcd");
      EXPECT_STREQ(range[1], "");
      EXPECT_EQ(flags[1], 1);
      EXPECT_STREQ(range[2], "xy");
    }
    c_tbtclo(tp);
  }
}

// A caller's string is taken up to its NUL or to maxch characters, whichever
// comes first, and is never read past either (a buffer of exactly maxch
// bytes needs no NUL); a null pointer is an empty text.  Every storage type,
// text and FITS read back from the file itself.
TEST_F(EntriesByStorage, TextPutsTakeEachStringToItsEndOrMaxch) {
  for (const Store& s : kStores) {
    SCOPED_TRACE(s.file);
    const std::string name = dir_ + "/" + s.file;
    TablePtr tp = new_table(name, s);
    ColumnPtr t = 0;
    c_tbcdef1(tp, &t, "T", "", "", -8, 1);
    c_tbtcre(tp);
    std::unique_ptr<char[]> exact(new char[4]);  // "wxyz", no NUL
    std::memcpy(exact.get(), "wxyz", 4);
    std::unique_ptr<char[]> longer(new char[6]);
    std::memcpy(longer.get(), "abcdef", 6);
    const char* values[] = {exact.get(), nullptr, "xy", longer.get()};
    c_tbcptt(tp, t, values, 4, 1, 3);
    c_tbcptt(tp, t, values + 3, 4, 4, 4);
    c_tbtclo(tp);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();

    const std::vector<std::string> want = {"wxyz", "", "xy", "abcd"};
    tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, 0);
    char got[4][9];
    char* bufs[] = {got[0], got[1], got[2], got[3]};
    int flags[4];
    c_tbcgtt(tp, c_tbcnum(tp, 1), bufs, flags, 8, 1, 4);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    c_tbtclo(tp);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(got[r], want[std::size_t(r)]) << "row " << r + 1;
    EXPECT_EQ(flags[1], 1);

    std::vector<std::string> stored;
    if (s.type == 13) {
      std::ifstream in(name);
      for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') stored.push_back(line);
      EXPECT_EQ(stored, (std::vector<std::string>{"wxyz    ", "\"\"      ", "xy      ", "abcd    "}));
    } else if (s.type == 0) {
      fitsfile* f = nullptr;
      int status = 0, hdutype = 0, anynul = 0;
      ffopen(&f, name.c_str(), READONLY, &status);
      ffmahd(f, 2, &hdutype, &status);
      for (long r = 1; r <= 4; ++r) {
        char cell[9] = "", *p = cell;
        ffgcvs(f, 1, r, 1, 1, const_cast<char*>(""), &p, &anynul, &status);
        stored.push_back(cell);
      }
      ffclos(f, &status);
      EXPECT_EQ(status, 0);
      // CFITSIO reads an empty cell as one blank.
      EXPECT_EQ(stored, (std::vector<std::string>{"wxyz", " ", "xy", "abcd"}));
    }
  }
}

// A cell the end of the file cuts through comes back as an empty string,
// whether the stored field fits the caller's buffer or not.
TEST_F(Entries, TextCellCutByTheEndOfFileComesBackEmpty) {
  const char* tv[] = {"one", "two", "three", "four"};
  c_tbcptt(tp_, t_, tv, 8, 1, 4);
  OK();
  const long rowunits = c_tbpsta(tp_, 8);  // allocated row length in 2-byte units
  c_tbtclo(tp_);
  tp_ = 0;
  OK();
  // Row 4 ends the file: keep it up to the middle of its text cell (units
  // 9 and 10 of the row's 4).
  struct stat st;
  ASSERT_EQ(::stat(name_.c_str(), &st), 0);
  ASSERT_EQ(::truncate(name_.c_str(), st.st_size - 2 * rowunits + 2 * 10), 0);
  tp_ = c_tbtopn(name_.c_str(), TBL_READ_ONLY, 0);
  OK();
  const ColumnPtr t = c_tbcnum(tp_, 4);
  for (int maxch : {8, 3}) {
    SCOPED_TRACE(maxch);
    char cell[9] = "zzzz";
    c_tbegtt(tp_, t, 3, cell, maxch);
    OK();
    EXPECT_EQ(std::string(cell), std::string("three").substr(0, std::size_t(maxch)));
    std::strcpy(cell, "zzzz");
    c_tbegtt(tp_, t, 4, cell, maxch);
    EXPECT_EQ(c_voserr(), 1);
    EXPECT_STREQ(c_voserrmsg(), "tbegpt:  unexpected end of file");
    EXPECT_STREQ(cell, "");
  }
}

// A range read that fails part-way leaves the elements it reached and
// gives empty strings with zero flags for the rest.
TEST_F(Entries, FailedTextRangeEmptiesWhatItDidNotReach) {
  const char* tv[] = {"one", "two", "three", "four", "five"};
  c_tbcptt(tp_, t_, tv, 8, 1, 5);
  OK();
  const long rowbytes = 2L * c_tbpsta(tp_, 8);  // allocated row length in 2-byte units
  c_tbtclo(tp_);
  tp_ = 0;
  OK();
  // Rows 4 and 5 end the file: keep one unit of row 4.
  struct stat st;
  ASSERT_EQ(::stat(name_.c_str(), &st), 0);
  ASSERT_EQ(::truncate(name_.c_str(), st.st_size - 2 * rowbytes + 2), 0);
  tp_ = c_tbtopn(name_.c_str(), TBL_READ_ONLY, 0);
  OK();
  char b[5][9];
  char* bufs[5];
  for (int i = 0; i < 5; ++i) {
    std::strcpy(b[i], "zzzz");
    bufs[i] = b[i];
  }
  int flags[5] = {-1, -1, -1, -1, -1};
  c_tbcgtt(tp_, c_tbcnum(tp_, 4), bufs, flags, 8, 1, 5);
  EXPECT_EQ(c_voserr(), 1);
  EXPECT_STREQ(c_voserrmsg(), "tbcgtt:  unexpected end of file");
  EXPECT_STREQ(b[0], "one");
  EXPECT_STREQ(b[2], "three");
  EXPECT_EQ(flags[2], 0);
  for (int i = 3; i < 5; ++i) {
    EXPECT_STREQ(b[i], "") << i;
    EXPECT_EQ(flags[i], 0) << i;
  }
}
