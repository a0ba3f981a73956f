// A caller written only against c_tables.h: create a table with the tool's
// four string columns, cells and header parameters, close it, open it
// again and read everything back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "halvo/c_tables.h"

namespace {

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    c_vosinit();
    char tmpl[] = "/tmp/halvortXXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string dir_;
};

struct ColDef {
  const char* name;
  int width;
};
const ColDef kCols[] = {{"TIME", 26}, {"COMPNAME", 18}, {"FILENAME", 50}, {"COMMENT", 68}};

const char* const kRows[][4] = {
    {"Mon Feb  4 2002 12:00:00", "zor_f555w", "/ref/dir/a1b2c3d4_thr.fits[throughput]",
     "first row, with \"quotes\" and 'apostrophes'"},
    {"Tue Feb  5 2002 01:02:03", "zor_block", "/ref/dir/x9_thr.fits", ""},
    {"", "", "", "a comment of exactly sixty-eight characters ....................end"},
};

struct Kw {
  const char* name;
  const char* value;
};
const Kw kKeywords[] = {{"INSTRUME", "ZOR"},
                        {"DBTABLE", "CRCOMPLIST"},
                        {"DESCRIP", "The lookup table for the ZOR component throughputs"},
                        {"HISTORY", "Created on Thu Dec 10 13:00:00 2026"},
                        {"USEAFTER", "Apr 1 2000 12:00:00 pm"}};

TEST_F(RoundTrip, ToolColumnsCellsAndKeywordsSurviveCloseAndReopen) {
  const std::string name = dir_ + "/complist.tab";
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, 0);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  c_tbpset(tp, 7, 4);   // room for four columns
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  c_tbpset(tp, 6, 10);  // and ten header parameters
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  ColumnPtr cols[4];
  for (int i = 0; i < 4; ++i) {
    c_tbcdef1(tp, &cols[i], kCols[i].name, "", "", -kCols[i].width, 1);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  }
  c_tbtcre(tp);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  for (const Kw& k : kKeywords) {
    c_tbhadt(tp, k.name, k.value);
    ASSERT_EQ(c_voserr(), 0) << k.name << ": " << c_voserrmsg();
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) {
      c_tbeptt(tp, cols[c], r + 1, kRows[r][c]);
      ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    }
  }
  c_tbtclo(tp);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();

  tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, 0);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  EXPECT_EQ(c_tbpsta(tp, 21), 3);  // rows
  EXPECT_EQ(c_tbpsta(tp, 22), 4);  // columns
  for (int c = 0; c < 4; ++c) {
    ColumnPtr cp = c_tbcnum(tp, c + 1);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    ASSERT_NE(cp, nullptr);
    char colname[80];
    c_tbcigt(cp, TBL_COL_NAME, colname, 79);
    EXPECT_STREQ(colname, kCols[c].name);
    EXPECT_EQ(c_tbcigi(cp, TBL_COL_DATATYPE), -kCols[c].width);
    for (int r = 0; r < 3; ++r) {
      char cell[100];
      c_tbegtt(tp, cp, r + 1, cell, 99);
      ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
      EXPECT_STREQ(cell, kRows[r][c]) << "row " << r + 1 << " column " << kCols[c].name;
    }
  }
  for (const Kw& k : kKeywords) {
    char value[100];
    c_tbhgtt(tp, k.name, value, 99);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    EXPECT_STREQ(value, k.value) << k.name;
  }
  EXPECT_EQ(c_tbcnum(tp, 5), nullptr);  // no such column
  char buf[8] = "junk";
  c_tbcigt(c_tbcnum(tp, 1), TBL_COL_NAME, buf, 0);  // maxch 0: empty
  EXPECT_STREQ(buf, "");
  c_tbtclo(tp);
  EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
}

TEST_F(RoundTrip, NumericColumnsLookupsAndHeaderValues) {
  const std::string name = dir_ + "/nums.tab";
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, 0);
  ColumnPtr cols[5] = {};
  const char* names[] = {"d", "r", "i", "s", "b"};
  const char* units[] = {"m", "", "", "", ""};
  const char* fmts[] = {"", "%8.2f", "", "", ""};
  const int types[] = {TBL_TY_DOUBLE, TBL_TY_REAL, TBL_TY_INT, TBL_TY_SHORT, TBL_TY_BOOL};
  const int nelem[] = {1, 1, 1, 1, 1};
  c_tbcdef(tp, cols, names, units, fmts, types, nelem, 5);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  c_tbtcre(tp);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  c_tbeptd(tp, cols[0], 1, 2.5);
  c_tbeptr(tp, cols[1], 1, 1.25f);
  c_tbepti(tp, cols[2], 1, -7);
  c_tbepts(tp, cols[3], 1, 300);
  c_tbeptb(tp, cols[4], 1, 1);
  c_tbhadd(tp, "DVAL", 0.5);
  c_tbhadi(tp, "IVAL", 42);
  c_tbhadb(tp, "BVAL", 1);
  c_tbhadr(tp, "RVAL", 3.5f);
  c_tbhadt(tp, "LONGKEYWORD", "text value");
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  c_tbtclo(tp);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();

  tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, 0);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  ColumnPtr found[2] = {};
  const char* want[] = {"i", "b"};
  c_tbcfnd(tp, want, found, 2);
  ColumnPtr r = nullptr;
  c_tbcfnd1(tp, "r", &r);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  ASSERT_NE(found[0], nullptr);
  ASSERT_NE(r, nullptr);
  double d = 0;
  float f = 0;
  int i = 0, b = 0;
  short sh = 0;
  c_tbegtd(tp, c_tbcnum(tp, 1), 1, &d);
  c_tbegtr(tp, r, 1, &f);
  c_tbegti(tp, found[0], 1, &i);
  c_tbegts(tp, c_tbcnum(tp, 4), 1, &sh);
  c_tbegtb(tp, found[1], 1, &b);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(f, 1.25f);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(sh, 300);
  EXPECT_EQ(b, 1);
  int colnum = 0, dtype = 0, lendata = 0, lenfmt = 0;
  char cname[80], cunits[80], cfmt[80];
  c_tbcinf(r, &colnum, cname, cunits, cfmt, &dtype, &lendata, &lenfmt);
  EXPECT_EQ(colnum, 2);
  EXPECT_STREQ(cname, "r");
  EXPECT_STREQ(cfmt, "%8.2f");
  EXPECT_EQ(dtype, TBL_TY_REAL);
  char units1[80];
  c_tbcigt(c_tbcnum(tp, 1), TBL_COL_UNITS, units1, 79);
  EXPECT_STREQ(units1, "m");
  EXPECT_EQ(c_tbhgtd(tp, "DVAL"), 0.5);
  EXPECT_EQ(c_tbhgti(tp, "IVAL"), 42);
  EXPECT_EQ(c_tbhgtb(tp, "BVAL"), 1);
  EXPECT_EQ(c_tbhgtr(tp, "RVAL"), 3.5f);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  // Parameter by number: at most 8 characters of keyword and 80 of value.
  char kw[100], value[200];
  std::memset(kw, 'x', sizeof kw);
  std::memset(value, 'x', sizeof value);
  int pardtype = 0;
  c_tbhgnp(tp, 5, kw, &pardtype, value);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  EXPECT_LE(std::strlen(kw), 8u);
  EXPECT_LE(std::strlen(value), 80u);
  char tname[300];
  c_tbtnam(tp, tname, 299);
  EXPECT_NE(std::string(tname).find("nums.tab"), std::string::npos);
  c_tbhgti(tp, "NOSUCHKW");
  EXPECT_NE(c_voserr(), 0);
  c_tbtclo(tp);
  EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
}

TEST_F(RoundTrip, MissingFileSetsTheErrorAndTheNextCallClearsIt) {
  const std::string name = dir_ + "/nothere.tab";
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, 0);
  EXPECT_NE(c_voserr(), 0);
  EXPECT_STREQ(c_voserrmsg(), "tbtopn:  Table file does not exist or cannot be opened.");
  EXPECT_EQ(tp, nullptr) << "a failed open gives no table";
  char fname[300], brackets[300];
  int hdu = 0;
  c_tbparse(name.c_str(), fname, brackets, 299, &hdu);
  EXPECT_EQ(c_voserr(), 0);
  EXPECT_STREQ(c_voserrmsg(), "");
}

TEST_F(RoundTrip, FailingStringReadStillTerminatesTheBuffer) {
  const std::string name = dir_ + "/t.tab";
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, 0);
  ColumnPtr cp = nullptr;
  c_tbcdef1(tp, &cp, "A", "", "", -10, 1);
  c_tbtcre(tp);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  char cell[16] = "garbage garbage";
  c_tbegtt(tp, cp, 5, cell, 15);  // beyond the last row
  EXPECT_NE(c_voserr(), 0);
  EXPECT_STREQ(cell, "") << "a failed read leaves an empty string";
  c_tbtclo(tp);
  EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
}

}  // namespace
