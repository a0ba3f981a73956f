// Overwriting an extension of an existing FITS file: the extension named is
// replaced, wherever it stands, and every other HDU keeps its bytes.  Files
// made by CFITSIO directly, results judged by CFITSIO and fitsverify.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

class FitsOverwrite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

}  // namespace

// Each case names one extension to overwrite: the new table takes its place
// and its name; the other HDUs are left byte for byte.
TEST_F(FitsOverwrite, TheExtensionNamedIsReplacedAndTheOthersKept) {
  const std::vector<CfitsioTable> one{{"A", 0, 5, 0}};
  const std::vector<CfitsioTable> three{{"A", 0, 5, 0}, {"B", 0, 6, 100}, {"C", 0, 7, 200}};
  const std::vector<CfitsioTable> sci{{"SCI", 1, 5, 0}, {"ERR", 1, 6, 100}, {"SCI", 2, 7, 200}};
  struct Case {
    const char* what;
    std::vector<CfitsioTable> tables;  // empty: one extension written by us
    const char* bracket;
    int ext;  // the extension replaced
    const char* extname;
    const char* extver;
  } cases[] = {
      {"the only extension, by number", one, "[1,overwrite]", 1, "", ""},
      {"the only extension, bare", one, "[overwrite]", 1, "", ""},
      {"the only extension of a file of ours", {}, "[1,overwrite]", 1, "", ""},
      {"the last of three", three, "[3,overwrite]", 3, "", ""},
      {"the last of three, by name and version", sci, "[SCI,2,overwrite]", 3, "SCI", "2"},
      {"the first of three", three, "[1,overwrite]", 1, "", ""},
      {"the middle of three, by name", three, "[B,overwrite]", 2, "B", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFile file("overwrite");
    if (c.tables.empty()) ASSERT_EQ(write_new_table(file.path + "[OURS]"), "");
    else ASSERT_EQ(make_cfitsio_file(file.path, c.tables), 0);
    const std::vector<std::string> before = hdu_bytes(file.path);
    ASSERT_GT(before.size(), static_cast<std::size_t>(c.ext));

    EXPECT_EQ(write_new_table(file.path + c.bracket), "");

    const std::vector<std::string> after = hdu_bytes(file.path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(others_kept(before, after, static_cast<std::size_t>(c.ext)));
    EXPECT_EQ(column_n(file.path, c.ext), (std::vector<int>{7, 8}));
    EXPECT_EQ(key_of(file.path, c.ext, "TTYPE2"), "T");
    EXPECT_EQ(key_of(file.path, c.ext, "EXTNAME"), c.extname);
    if (*c.extver != '\0') {
      EXPECT_EQ(key_of(file.path, c.ext, "EXTVER"), c.extver);
    }
    const std::string report = verify(file.path);
    EXPECT_TRUE(clean(report)) << report;
  }
}

// A copy onto the only extension of another file replaces it there.
TEST_F(FitsOverwrite, CopyOntoTheOnlyExtension) {
  TempFile in("ow_in"), out("ow_out");
  ASSERT_EQ(make_cfitsio_file(in.path, {{"A", 0, 3, 0}, {"B", 0, 4, 100}}), 0);
  ASSERT_EQ(make_cfitsio_file(out.path, {{"Z", 0, 5, 500}}), 0);
  const std::string input = slurp(in.path);
  const std::vector<std::string> before = hdu_bytes(out.path);

  c_tbtcpy((in.path + "[2]").c_str(), (out.path + "[1,overwrite]").c_str());
  EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();

  const std::vector<std::string> after = hdu_bytes(out.path);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(column_n(out.path, 1), counted(4, 100));
  EXPECT_EQ(slurp(in.path), input);
  const std::string report = verify(out.path);
  EXPECT_TRUE(clean(report)) << report;
}
