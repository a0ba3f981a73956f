// Compressed FITS files: a gzip-compressed file reads as CFITSIO reads it
// and is never written; a file of any other compression, or gzip bytes
// that are no FITS file, is refused naming the file and the compression,
// whether opened for reading or for writing, and is left as it was.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

class FitsCompressed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

// A gzip-compressed FITS file (as CFITSIO writes one) reads as CFITSIO
// reads it, and a copy of it works; opening it for writing is refused
// naming the file as compressed, and it is left as it was.
TEST_F(FitsCompressed, CompressedFileReadsAndIsNeverWritten) {
  TempFile gz("compressed", ".fits.gz"), out("from_compressed");
  ASSERT_EQ(make_cfitsio_file(gz.path, {{"A", 0, 30, 100}}), 0);
  const std::string bytes = slurp(gz.path);
  ASSERT_GE(bytes.size(), 2u);
  ASSERT_EQ(static_cast<unsigned char>(bytes[0]), 0x1f) << "CFITSIO did not compress";
  ASSERT_EQ(static_cast<unsigned char>(bytes[1]), 0x8b);
  const std::vector<int> want = column_n(gz.path, 1);
  ASSERT_EQ(want, counted(30, 100));

  TablePtr tp = c_tbtopn(gz.path.c_str(), TBL_READ_ONLY, nullptr);
  ASSERT_EQ(last_error(), "");
  ColumnPtr n = c_tbcnum(tp, 1);
  for (int r = 1; r <= 30; ++r) {
    int v = 0;
    c_tbegti(tp, n, r, &v);
    EXPECT_EQ(v, want[static_cast<std::size_t>(r - 1)]);
  }
  c_tbtclo(tp);
  EXPECT_EQ(last_error(), "");

  c_tbtcpy((gz.path + "[1]").c_str(), out.path.c_str());
  ASSERT_EQ(last_error(), "");
  EXPECT_EQ(column_n(out.path, 1), want);

  for (const std::string& name : {gz.path, gz.path + "[1]"}) {
    SCOPED_TRACE(name);
    c_tbtopn(name.c_str(), TBL_READ_WRITE, nullptr);
    EXPECT_NE(c_voserr(), 0);
    EXPECT_TRUE(names_all(c_voserrmsg(), {gz.path, "compressed"}));
  }
  c_tbtcpy(out.path.c_str(), gz.path.c_str());  // a table added to it
  EXPECT_NE(c_voserr(), 0);
  EXPECT_TRUE(names_all(c_voserrmsg(), {gz.path, "compressed"}));
  EXPECT_EQ(slurp(gz.path), bytes);
}

// Files of each kind of compression but gzip (their first bytes, alone or
// followed by bytes that decompress to nothing), and gzip bytes that hold
// no whole file (the first bytes alone or with others, a file cut short):
// each is taken for a FITS file and refused by name, never read.
TEST_F(FitsCompressed, WhatIsNotAWholeGzipFileIsRefusedByName) {
  TempFile gz("whole", ".fits.gz");
  ASSERT_EQ(make_cfitsio_file(gz.path, {{"A", 0, 300, 100}}), 0);
  const std::string whole = slurp(gz.path);
  ASSERT_GT(whole.size(), 100u);
  const std::string junk(200, 'x');
  const struct {
    std::string bytes;
    const char* kind;
  } cases[] = {
      {std::string("\x1f\x9d", 2), "(compress)"},
      {std::string("\x1f\x9d", 2) + junk, "(compress)"},
      {std::string("\x1f\x1e", 2) + junk, "(pack)"},
      {std::string("\x1f\xa0", 2) + junk, "(LZH)"},
      {std::string("PK\x03\x04", 4), "(zip)"},
      {std::string("PK\x03\x04", 4) + junk, "(zip)"},
      {"BZh91AY&SY", "(bzip2)"},
      {"BZh91AY&SY" + junk, "(bzip2)"},
      {std::string("\x1f\x8b", 2), "(gzip)"},
      {std::string("\x1f\x8b", 2) + junk, "(gzip)"},
      {whole.substr(0, 20), "(gzip)"},
      {whole.substr(0, whole.size() / 2), "(gzip)"},
      {whole.substr(0, whole.size() - 1), "(gzip)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " of " + std::to_string(c.bytes.size()) + " bytes");
    TempFile packed("packed");
    {
      FILE* f = std::fopen(packed.path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    for (int mode : {TBL_READ_ONLY, TBL_READ_WRITE}) {
      TablePtr tp = c_tbtopn(packed.path.c_str(), mode, nullptr);
      EXPECT_EQ(tp, nullptr);
      EXPECT_NE(c_voserr(), 0) << mode;
      EXPECT_TRUE(names_all(c_voserrmsg(), {packed.path, "compressed", c.kind})) << mode;
    }
    EXPECT_EQ(slurp(packed.path), c.bytes);
  }
}

}  // namespace
