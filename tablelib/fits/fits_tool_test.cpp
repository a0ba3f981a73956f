// The tool's output table written as FITS through the host binding, checked
// with fitsverify and read back with CFITSIO directly.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

class FitsTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  static ToolTable sample() {
    ToolTable t;
    t.rows = {
        {"Mar 03 1999 14:20:00", "zor_f555w", "zref$abc_f555w.fits[throughput]",
         "a comment with 'quotes' and # marks"},
        {"Apr 01 2000 12:00:00", "zor_dichroic", "zref$dich.fits", ""},
        {"Jan 02 2001 00:00:00", "zor_cal", std::string(50, 'x'), std::string(68, 'c')},
    };
    return t;
  }
};

// Reads a string keyword of the current HDU ("" when missing).
std::string key(fitsfile* f, const char* name) {
  char value[FLEN_VALUE] = {0};
  int status = 0;
  ffgkys(f, name, value, nullptr, &status);
  return status == 0 ? value : "";
}

long key_long(fitsfile* f, const char* name) {
  long v = -1;
  int status = 0;
  ffgkyj(f, name, &v, nullptr, &status);
  return status == 0 ? v : -1;
}

// Cells of a binary table HDU as strings.
std::vector<std::vector<std::string>> cells(fitsfile* f) {
  int status = 0, ncols = 0;
  long nrows = 0;
  ffgncl(f, &ncols, &status);
  ffgnrw(f, &nrows, &status);
  std::vector<std::vector<std::string>> out(static_cast<std::size_t>(nrows));
  for (long r = 1; r <= nrows; ++r)
    for (int c = 1; c <= ncols; ++c) {
      char buf[200] = {0};
      char* p = buf;
      int anynul = 0;
      ffgcvs(f, c, r, 1, 1, const_cast<char*>(""), &p, &anynul, &status);
      out[r - 1].push_back(buf);
    }
  EXPECT_EQ(status, 0);
  return out;
}

// CFITSIO reads an empty (all-blank) string cell as a single blank.
std::vector<std::vector<std::string>> as_cfitsio_reads(std::vector<std::vector<std::string>> rows) {
  for (auto& r : rows)
    for (auto& c : r)
      if (c.empty()) c = " ";
  return rows;
}

TEST_F(FitsTool, OutputPassesFitsverifyAndReadsBack) {
  TempFile tmp("out");
  ToolTable t = sample();
  ASSERT_EQ(write_tool_table(t, tmp.path, true), "");
  std::string report = run("fitsverify " + tmp.path + " 2>&1");
  EXPECT_NE(report.find("Verification found 0 warning(s) and 0 error(s)."), std::string::npos)
      << report;

  fitsfile* f = nullptr;
  int status = 0, type = 0, nhdu = 0;
  ffopen(&f, tmp.path.c_str(), READONLY, &status);
  ASSERT_EQ(status, 0);
  ffthdu(f, &nhdu, &status);
  EXPECT_EQ(nhdu, 2);
  // Primary header: our own keywords, then the tool's in insertion order.
  EXPECT_EQ(key(f, "ORIGIN"), "Vorda-ARVELA/TABLES");
  EXPECT_EQ(key_long(f, "NEXTEND"), 1);
  EXPECT_EQ(key(f, "FILENAME"), tmp.path.substr(tmp.path.rfind('/') + 1));
  std::vector<std::string> order;
  int nkeys = 0;
  ffghsp(f, &nkeys, nullptr, &status);
  for (int i = 1; i <= nkeys; ++i) {
    char card[FLEN_CARD] = {0};
    ffgrec(f, i, card, &status);
    order.push_back(std::string(card).substr(0, 8));
  }
  std::vector<std::string> tail(order.end() - 5, order.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"INSTRUME", "DBTABLE ", "DESCRIP ", "HISTORY ",
                                            "USEAFTER"}));
  EXPECT_EQ(key(f, "DESCRIP"), "The lookup table for the ZOR component throughputs");
  EXPECT_EQ(key(f, "USEAFTER"), "Apr 1 2000 12:00:00 pm");

  ffmahd(f, 2, &type, &status);
  EXPECT_EQ(type, BINARY_TBL);
  const char* forms[] = {"26A", "18A", "50A", "68A"};
  for (int c = 0; c < 4; ++c) {
    std::string n = std::to_string(c + 1);
    EXPECT_EQ(key(f, ("TTYPE" + n).c_str()), t.columns[c].first);
    EXPECT_EQ(key(f, ("TFORM" + n).c_str()), forms[c]);
  }
  EXPECT_EQ(cells(f), as_cfitsio_reads(t.rows));
  ffclos(f, &status);
}

TEST_F(FitsTool, WritingTheSameNameTwiceAppendsAnExtension) {
  TempFile tmp("twice");
  ToolTable t = sample();
  ASSERT_EQ(write_tool_table(t, tmp.path, true), "");
  t.rows.resize(1);
  ASSERT_EQ(write_tool_table(t, tmp.path, true), "");
  std::string report = run("fitsverify " + tmp.path + " 2>&1");
  EXPECT_NE(report.find("Verification found 0 warning(s) and 0 error(s)."), std::string::npos)
      << report;

  fitsfile* f = nullptr;
  int status = 0, nhdu = 0, type = 0;
  ffopen(&f, tmp.path.c_str(), READONLY, &status);
  ffthdu(f, &nhdu, &status);
  EXPECT_EQ(nhdu, 3);
  EXPECT_EQ(key_long(f, "NEXTEND"), 2);
  ffmahd(f, 2, &type, &status);
  EXPECT_EQ(cells(f).size(), 3u);
  ffmahd(f, 3, &type, &status);
  EXPECT_EQ(cells(f), as_cfitsio_reads(t.rows));
  ffclos(f, &status);
}

// The table and its primary keywords are one change: abandoned, a new file
// never appears and an existing one keeps its bytes and its inode.
TEST_F(FitsTool, AnAbandonedOutputLeavesNothing) {
  TempFile tmp("abandon");
  ToolTable t = sample();
  ASSERT_EQ(write_tool_table(t, tmp.path, false), "");
  EXPECT_NE(::access(tmp.path.c_str(), F_OK), 0) << "a new file appeared";
  ASSERT_EQ(write_tool_table(t, tmp.path), "");
  struct stat before;
  ASSERT_EQ(::stat(tmp.path.c_str(), &before), 0);
  const std::string bytes = slurp(tmp.path);
  t.keywords.push_back({"USEAFTER", "later"});
  ASSERT_EQ(write_tool_table(t, tmp.path, false), "");
  struct stat after;
  ASSERT_EQ(::stat(tmp.path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(slurp(tmp.path), bytes);
  EXPECT_EQ(::access((tmp.path + "-journal").c_str(), F_OK), -1);
}

TEST_F(FitsTool, ExtensionNumberChecksComeBeforeAnyChange) {
  TempFile tmp("extnum");
  ToolTable t = sample();
  ASSERT_EQ(write_tool_table(t, tmp.path, true), "");
  std::string before = run("cmp -s /dev/null /dev/null; md5sum < " + tmp.path);
  // A file with one extension cannot take extension 5, nor an overwrite of
  // its primary header.
  for (const char* bracket : {"[5]", "[0,overwrite+]"}) {
    TablePtr tp = c_tbtopn((tmp.path + bracket).c_str(), TBL_NEW_FILE, nullptr);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    ColumnPtr cp = nullptr;
    c_tbcdef1(tp, &cp, "A", "", "", -4, 1);
    c_tbtcre(tp);
    EXPECT_NE(c_voserr(), 0) << bracket;
    c_tbtclo(tp);
    EXPECT_EQ(run("md5sum < " + tmp.path), before) << bracket;
  }
  TablePtr tp = c_tbtopn((tmp.path + "[5]").c_str(), TBL_NEW_FILE, nullptr);
  ColumnPtr cp = nullptr;
  c_tbcdef1(tp, &cp, "A", "", "", -4, 1);
  c_tbtcre(tp);
  EXPECT_EQ(std::string(c_voserrmsg()),
            "extension 5 was specified, but " + tmp.path + " currently has 1 extensions");
  c_tbtclo(tp);
}

}  // namespace
