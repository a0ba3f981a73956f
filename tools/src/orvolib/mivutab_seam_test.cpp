// The output table writer through the real host binding: FITS output read
// back with CFITSIO, the table library's own binary format, and failures.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "halvo/c_tables.h"
#include "orvolib/mivutab.h"

namespace {

const int kWidths[] = {26, 18, 50, 68};

class SeamWriter : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
  void SetUp() override {
    dir_ = ::testing::TempDir() + "mivutab_seam_" + std::to_string(::getpid()) + "/";
    mkdir(dir_.c_str(), 0755);
    t_ = create_table();
    for (const char* k : {"INSTRUME=ZOR", "DBTABLE=CRCOMPLIST", "DESCRIP=The lookup table",
                          "HISTORY=Created on Jan 1 2000", "USEAFTER=Apr 1 2000 12:00:00 pm"}) {
      std::string kv(k);
      std::size_t eq = kv.find('=');
      put_tab_key(t_, kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str());
    }
    for (const char* c : {"TIME", "COMPNAME", "FILENAME", "COMMENT"}) add_tab_col(t_, c);
    put_tab_cell(t_, "TIME", 0, "jan 1 2000 12:00am");
    put_tab_cell(t_, "COMPNAME", 0, "abc");
    put_tab_cell(t_, "FILENAME", 0, std::string(60, 'f').c_str());
    put_tab_cell(t_, "COMMENT", 0, "first");
    put_tab_cell(t_, "COMPNAME", 1, "def");
    put_tab_cell(t_, "FILENAME", 1, "crcomp$def.fits[thru]");
  }
  void TearDown() override { free_table(t_); }
  std::string dir_;
  table* t_;
};

TEST_F(SeamWriter, FitsTableWithKeywordsInThePrimaryHeader) {
  std::string name = dir_ + "out.fits";
  write_mivutab(t_, 4, kWidths, name.c_str());
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  fitsfile* f = nullptr;
  int status = 0;
  ASSERT_EQ(fits_open_file(&f, name.c_str(), READONLY, &status), 0);
  char value[FLEN_VALUE], card[FLEN_CARD];
  std::vector<std::string> keys;
  int nkeys = 0;
  fits_get_hdrspace(f, &nkeys, nullptr, &status);
  for (int i = 1; i <= nkeys; ++i) {
    char keyname[FLEN_KEYWORD];
    int len = 0;
    fits_read_record(f, i, card, &status);
    fits_get_keyname(card, keyname, &len, &status);
    for (const char* want : {"INSTRUME", "DBTABLE", "DESCRIP", "HISTORY", "USEAFTER"})
      if (std::string(keyname) == want) keys.push_back(keyname);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"INSTRUME", "DBTABLE", "DESCRIP", "HISTORY", "USEAFTER"}));
  fits_read_key(f, TSTRING, "INSTRUME", value, nullptr, &status);
  EXPECT_STREQ(value, "ZOR");
  fits_movabs_hdu(f, 2, nullptr, &status);
  ASSERT_EQ(status, 0);
  long rows = 0;
  int cols = 0;
  fits_get_num_rows(f, &rows, &status);
  fits_get_num_cols(f, &cols, &status);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 4);
  const char* names[] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
  for (int c = 0; c < 4; ++c) {
    int typecode = 0;
    long repeat = 0, width = 0;
    char tname[FLEN_VALUE];
    char key[16];
    std::snprintf(key, sizeof key, "TTYPE%d", c + 1);
    fits_read_key(f, TSTRING, key, tname, nullptr, &status);
    EXPECT_STREQ(tname, names[c]);
    fits_get_coltype(f, c + 1, &typecode, &repeat, &width, &status);
    EXPECT_EQ(repeat, kWidths[c]);
  }
  char buf[80];
  char* cell = buf;
  fits_read_col(f, TSTRING, 3, 1, 1, 1, nullptr, &cell, nullptr, &status);
  EXPECT_EQ(std::string(buf), std::string(50, 'f'));
  fits_read_col(f, TSTRING, 2, 2, 1, 1, nullptr, &cell, nullptr, &status);
  EXPECT_STREQ(buf, "def");
  fits_close_file(f, &status);
  EXPECT_EQ(status, 0);
}

TEST_F(SeamWriter, BinaryTableAndExistingOutput) {
  std::string name = dir_ + "out.tab";
  write_mivutab(t_, 4, kWidths, name.c_str());
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  off_t size = st.st_size;
  EXPECT_EXIT(write_mivutab(t_, 4, kWidths, name.c_str()), ::testing::ExitedWithCode(1),
              "Cannot write to file \\(.*out.tab\\)\n$");
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, size);
  std::string bare = dir_ + "plain";
  write_mivutab(t_, 4, kWidths, bare.c_str());
  EXPECT_EQ(stat((bare + ".tab").c_str(), &st), 0);
}

TEST_F(SeamWriter, UnwritableDirectoryLeavesNothing) {
  std::string name = dir_ + "no/such/dir/out.fits";
  EXPECT_EXIT(write_mivutab(t_, 4, kWidths, name.c_str()), ::testing::ExitedWithCode(1),
              "^Cannot write to file \\(.*out.fits\\)\n$");
}

}  // namespace
