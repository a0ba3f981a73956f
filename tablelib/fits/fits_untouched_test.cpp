// HDUs a change does not reach keep their bytes: a FITS table opened for
// writing and closed without a change writes nothing, and a change of one
// extension leaves every other HDU byte for byte, also where other writers
// left headers with blank cards before END and data fill that is not zero
// (which CFITSIO rewrites in any HDU it leaves as a writer).  Files made by
// CFITSIO directly; HDUs compared at CFITSIO's own offsets.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

class FitsUntouched : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

// Blank cards each header holds before its END card.
constexpr int kBlanks = 78;

// A primary header and two tables (A: N = 1..5, B: N = 101..107), each
// header ending in kBlanks blank cards; with `fill`, the fill after the
// last table's data is made of 'x' bytes instead of zeros.
int make_file(const std::string& path, bool fill) {
  if (make_cfitsio_file(path, {{"A", 0, 5, 0}, {"B", 0, 7, 100}}) != 0) return -1;
  fitsfile* f = nullptr;
  int status = 0, type = 0;
  ffopen(&f, path.c_str(), READWRITE, &status);
  for (int h = 1; h <= 3; ++h) {
    ffmahd(f, h, &type, &status);
    for (int k = 0; k < kBlanks; ++k) ffprec(f, " ", &status);
  }
  if (f != nullptr) ffclos(f, &status);
  if (status != 0 || !fill) return status;
  const std::vector<HduPlace> p = hdu_places(path);
  if (p.size() != 3) return -1;
  LONGLONG naxis1 = 0, naxis2 = 0;
  ffopen(&f, path.c_str(), READONLY, &status);
  ffmahd(f, 3, &type, &status);
  ffgkyjj(f, "NAXIS1", &naxis1, nullptr, &status);
  ffgkyjj(f, "NAXIS2", &naxis2, nullptr, &status);
  ffclos(f, &status);
  const long long from = p[2].data + naxis1 * naxis2;
  std::FILE* out = std::fopen(path.c_str(), "r+b");
  if (out == nullptr || std::fseek(out, static_cast<long>(from), SEEK_SET) != 0) return -1;
  for (long long i = from; i < p[2].end; ++i) std::fputc('x', out);
  return std::fclose(out) == 0 ? status : -1;
}

// Opens `name` for writing, runs `body` and closes; the first error, or "".
std::string change(const std::string& name, const std::function<void(TablePtr)>& body) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_WRITE, nullptr);
  if (c_voserr() != 0) return c_voserrmsg();
  body(tp);
  std::string err = c_voserr() != 0 ? c_voserrmsg() : "";
  c_tbtclo(tp);
  if (err.empty() && c_voserr() != 0) err = c_voserrmsg();
  return err;
}

}  // namespace

// The fixture is what CFITSIO itself would rewrite: opened and closed for
// writing by CFITSIO alone, its headers' END cards move.
TEST_F(FitsUntouched, CfitsioRewritesTheFixtureWhenItLeavesItAsAWriter) {
  TempFile file("untouched_cfitsio");
  ASSERT_EQ(make_file(file.path, false), 0);
  const std::string before = slurp(file.path);
  fitsfile* f = nullptr;
  int status = 0, type = 0;
  ffopen(&f, file.path.c_str(), READWRITE, &status);
  ffmahd(f, 2, &type, &status);
  ffclos(f, &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(slurp(file.path), before);
}

// Opened for writing, read or not, and closed without a change: not a byte
// of the file changes, whichever HDU the table is.
TEST_F(FitsUntouched, NoChangeWritesNothing) {
  struct Case {
    const char* what;
    const char* bracket;
    std::function<void(TablePtr)> body;
  } cases[] = {
      {"the first extension, bare", "", [](TablePtr) {}},
      {"extension 1", "[1]", [](TablePtr) {}},
      {"extension 2", "[2]", [](TablePtr) {}},
      {"the primary header", "[0]", [](TablePtr) {}},
      {"extension B by name", "[B]", [](TablePtr) {}},
      {"extension 1, its cells and keywords read", "[1]",
       [](TablePtr tp) {
         int v = 0;
         char text[80] = {0};
         c_tbegti(tp, c_tbcnum(tp, 1), 5, &v);
         c_tbegtt(tp, c_tbcnum(tp, 3), 1, text, 79);
         c_tbhgtt(tp, "EXTNAME", text, 79);
       }},
      {"extension 2, flushed", "[2]", [](TablePtr tp) { c_tbtflu(tp); }},
  };
  for (bool fill : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (fill ? ", data fill not zero" : ""));
      TempFile file("untouched");
      ASSERT_EQ(make_file(file.path, fill), 0);
      const std::string before = slurp(file.path);
      EXPECT_EQ(change(file.path + c.bracket, c.body), "");
      EXPECT_EQ(slurp(file.path), before);
    }
  }
}

// A change of one HDU leaves every other HDU byte for byte, at CFITSIO's
// offsets; CFITSIO reads the change, and fitsverify finds the file sound.
TEST_F(FitsUntouched, AChangeLeavesEveryOtherHdu) {
  struct Case {
    const char* what;
    const char* bracket;
    int hdu;  // the HDU changed (0 the primary)
    std::function<void(TablePtr)> body;
    std::vector<int> a, b;  // column N of A and B afterwards
  } cases[] = {
      {"one cell of extension 1", "[1]", 1,
       [](TablePtr tp) { c_tbepti(tp, c_tbcnum(tp, 1), 2, 99); },
       {1, 99, 3, 4, 5}, counted(7, 100)},
      {"one cell of extension 2", "[2]", 2,
       [](TablePtr tp) { c_tbepti(tp, c_tbcnum(tp, 1), 7, -7); },
       counted(5, 0), {101, 102, 103, 104, 105, 106, -7}},
      {"a keyword of extension 1", "[1]", 1,
       [](TablePtr tp) { c_tbhadt(tp, "NOTE", "changed"); }, counted(5, 0), counted(7, 100)},
      {"a keyword of the primary header", "[0]", 0,
       [](TablePtr tp) { c_tbhadt(tp, "NOTE", "changed"); }, counted(5, 0), counted(7, 100)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFile file("touched");
    ASSERT_EQ(make_file(file.path, false), 0);
    const std::vector<std::string> before = hdu_bytes(file.path);
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(change(file.path + c.bracket, c.body), "");
    const std::vector<std::string> after = hdu_bytes(file.path);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_TRUE(others_kept(before, after, static_cast<std::size_t>(c.hdu)));
    EXPECT_NE(after[c.hdu], before[c.hdu]);
    EXPECT_EQ(column_n(file.path, 1), c.a);
    EXPECT_EQ(column_n(file.path, 2), c.b);
    const std::string report = verify(file.path);
    EXPECT_TRUE(clean(report)) << report;
  }
}

// A table written over an extension in place (the HDU replaced, and the one
// before it, which the insertion closes) leaves every other HDU byte for
// byte.
TEST_F(FitsUntouched, AnExtensionOverwrittenLeavesEveryOtherHdu) {
  struct Case {
    const char* bracket;
    int replaced;
  } cases[] = {{"[2,overwrite]", 2}, {"[1,overwrite]", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bracket);
    TempFile file("overwritten");
    ASSERT_EQ(make_file(file.path, false), 0);
    const std::vector<std::string> before = hdu_bytes(file.path);
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(write_new_table(file.path + c.bracket), "");
    const std::vector<std::string> after = hdu_bytes(file.path);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_TRUE(others_kept(before, after, static_cast<std::size_t>(c.replaced)));
    EXPECT_EQ(column_n(file.path, c.replaced), (std::vector<int>{7, 8}));
    const std::string report = verify(file.path);
    EXPECT_TRUE(clean(report)) << report;
  }
}
