// FITS files made by other writers, read, copied and refused through the
// host binding: scaled single-precision columns read and copied exactly,
// copies of inputs whose file names hold the name grammar's special
// characters, integers wider than an int, columns the table model cannot
// hold, and files that hold no table.  Every file is made
// by CFITSIO directly; results are judged by CFITSIO, fitsverify and the
// bytes of the files.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

class FitsForeign : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

// The date offsets of the scaled columns (as a float offset from TZERO).
const std::vector<float> kOffsets{0.1498263925f, 0.25f, 0.0371f, 0.9999f, 0.5f, 0.0f};
constexpr double kZero = 2450868.5;

// Scaled columns whose physical values need a double: a float offset, and
// integers scaled to thousandths of a day (CFITSIO rounds each value to
// the nearest stored integer).
struct Scaled {
  const char* tform;
  double tscal;
};
const Scaled kScaled[] = {{"1E", 1.0}, {"1I", 0.001}, {"1B", 0.001}};

// A binary table of one scaled column DATE (TZERO kZero), one row per
// offset, as instruments write dates.
int make_scaled(const std::string& path, const Scaled& c = kScaled[0]) {
  std::remove(path.c_str());
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, path.c_str(), &status);
  ffcrim(f, SHORT_IMG, 0, nullptr, &status);
  add_table(f, BINARY_TBL, {{"DATE", c.tform, "d"}}, "DATES", status);
  if (c.tscal != 1.0) ffpkyd(f, "TSCAL1", c.tscal, 15, "date step", &status);
  ffpkyd(f, "TZERO1", kZero, 15, "date offset", &status);
  ffrdef(f, &status);
  for (std::size_t r = 0; r < kOffsets.size(); ++r) {
    // A byte holds 0..255 steps.
    const double off = std::string(c.tform) == "1B" ? static_cast<double>(kOffsets[r]) / 4 : kOffsets[r];
    double v = kZero + off;
    ffpcld(f, 1, static_cast<long long>(r + 1), 1, 1, &v, &status);
  }
  if (f != nullptr) ffclos(f, &status);
  return status;
}

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') + 1 - b);
}

// The value as the default print format of a double column writes it.
std::string as_double_text(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16g", v);
  return buf;
}

// The first word of each line of a text table that is not a comment.
std::vector<std::string> text_column(const std::string& path) {
  std::vector<std::string> out;
  std::string all = slurp(path), line;
  for (std::size_t at = 0; at < all.size();) {
    std::size_t nl = all.find('\n', at);
    line = all.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
    at = nl == std::string::npos ? all.size() : nl + 1;
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    out.push_back(t.substr(0, t.find(' ')));
  }
  return out;
}

// Runs `body` with the standard output going to the file at `path`.
void to_file(const std::string& path, const std::function<void()>& body) {
  std::fflush(stdout);
  const int saved = dup(1);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 1);
  close(fd);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
}

}  // namespace

// Scaled columns read as the doubles CFITSIO reads, in every type
// a get asks for.
TEST_F(FitsForeign, ScaledColumnsReadAsCfitsioReadsThem) {
  for (const Scaled& c : kScaled) {
    SCOPED_TRACE(c.tform);
    TempFile in("scaled");
    ASSERT_EQ(make_scaled(in.path, c), 0);
    const std::vector<double> want = column_doubles(in.path, 1, 1);
    ASSERT_EQ(want.size(), kOffsets.size());
    TablePtr tp = c_tbtopn((in.path + "[1]").c_str(), TBL_READ_ONLY, nullptr);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    ColumnPtr cp = c_tbcnum(tp, 1);
    EXPECT_EQ(c_tbcigi(cp, TBL_COL_DATATYPE), TBL_TY_DOUBLE);
    for (std::size_t r = 0; r < want.size(); ++r) {
      SCOPED_TRACE("row " + std::to_string(r + 1));
      const int row = static_cast<int>(r + 1);
      double d = 0;
      float x = 0;
      char text[64] = {0};
      c_tbegtd(tp, cp, row, &d);
      c_tbegtr(tp, cp, row, &x);
      c_tbegtt(tp, cp, row, text, 63);
      EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
      EXPECT_EQ(d, want[r]);
      EXPECT_EQ(x, static_cast<float>(want[r]));
      EXPECT_EQ(trim(text), as_double_text(want[r]));
    }
    c_tbtclo(tp);
  }
}

// Copies of the table to a FITS file, a binary table and a text table keep
// every value: the FITS copy as CFITSIO reads it, the others as the doubles
// (and their text) CFITSIO reads from the original.
TEST_F(FitsForeign, ScaledColumnsCopyExactly) {
  for (const Scaled& c : kScaled) {
    SCOPED_TRACE(c.tform);
    TempFile in("scaled_in"), fits("scaled_out"), tab("scaled_out", ".tab"),
        txt("scaled_out", ".txt");
    ASSERT_EQ(make_scaled(in.path, c), 0);
    const std::vector<double> want = column_doubles(in.path, 1, 1);
    ASSERT_EQ(want.size(), kOffsets.size());
    const std::string from = in.path + "[1]";

    c_tbtcpy(from.c_str(), fits.path.c_str());
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    EXPECT_EQ(column_doubles(fits.path, 1, 1), want);
    const std::string report = verify(fits.path);
    EXPECT_TRUE(clean(report)) << report;

    c_tbtcpy(from.c_str(), tab.path.c_str());
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    TablePtr tp = c_tbtopn(tab.path.c_str(), TBL_READ_ONLY, nullptr);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    ColumnPtr cp = c_tbcnum(tp, 1);
    for (std::size_t r = 0; r < want.size(); ++r) {
      double d = 0;
      c_tbegtd(tp, cp, static_cast<int>(r + 1), &d);
      EXPECT_EQ(d, want[r]) << "row " << r + 1;
    }
    c_tbtclo(tp);

    to_file(txt.path, [&] { c_tbtcpy(from.c_str(), "STDOUT"); });
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    std::vector<std::string> texts;
    for (double v : want) texts.push_back(as_double_text(v));
    EXPECT_EQ(text_column(txt.path), texts);
  }
}

// A table copied to a new FITS file without a bracket is named after the
// input's file name, whatever characters that name holds: the copy
// succeeds, its extension carries the name as EXTNAME, and its values are
// the input's.
TEST_F(FitsForeign, CopyNamesTheOutputAfterAnyInputFileName) {
  const std::string dir = "/tmp/tbfits_names_" + std::to_string(getpid()) + "/";
  ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  struct Case {
    const char* file;   // the input's file name
    const char* named;  // the name of the input table as a table name
  } cases[] = {
      {"a-b.fits", "a-b.fits"},           {"a+b.fits", "a+b.fits"},
      {"a*b.fits", "a*b.fits"},           {"a b.fits", "a b.fits"},
      {"a[b].fits", "a\\[b\\].fits"},     {"a]b.fits", "a\\]b.fits"},
      {"a\"b.fits", "a\"b.fits"},         {"a'b.fits", "a'b.fits"},
      {"a,b.fits", "a,b.fits"},           {"a;b.fits", "a;b.fits"},
      {"a=b.fits", "a=b.fits"},           {"a:b.fits", "a:b.fits"},
      {"2.fits", "2.fits"},               {"1x.fits", "1x.fits"},
      {"overwrite.fits", "overwrite.fits"}, {"e.fits", "e.fits"},
      {"extname", "extname"},             {"-", "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string made = dir + "made.fits", in = dir + c.file, out = dir + "out.fits";
    ASSERT_EQ(make_cfitsio_file(made, {{"", 0, 3, 10}}), 0);
    ASSERT_EQ(std::rename(made.c_str(), in.c_str()), 0);
    std::remove(out.c_str());
    c_tbtcpy((dir + c.named + "[1]").c_str(), out.c_str());
    EXPECT_EQ(last_error(), "");
    EXPECT_EQ(key_of(out, 1, "EXTNAME"), c.file);
    EXPECT_EQ(column_n(out, 1), counted(3, 10));
    const std::string report = verify(out);
    EXPECT_TRUE(clean(report)) << report;
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
  ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}

namespace {

// An ASCII table of an integer column BIG (I20) holding `values` and a
// narrow one SMALL (I6, the row number).  BIG's fields are written as
// their digits (CFITSIO's own write of a number goes through a double).
int make_wide_ascii(const std::string& path, const std::vector<long long>& values) {
  std::remove(path.c_str());
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, path.c_str(), &status);
  ffcrim(f, SHORT_IMG, 0, nullptr, &status);
  add_table(f, ASCII_TBL, {{"BIG", "I20"}, {"SMALL", "I6"}}, "WIDE", status);
  for (std::size_t r = 0; r < values.size(); ++r) {
    long long n = static_cast<long long>(r + 1);
    char field[32];
    std::snprintf(field, sizeof field, "%20lld", values[r]);
    ffptbb(f, n, 1, 20, reinterpret_cast<unsigned char*>(field), &status);
    ffpcljj(f, 2, n, 1, 1, &n, &status);
  }
  if (f != nullptr) ffclos(f, &status);
  return status;
}

// Column `col` of extension 1 read by CFITSIO as 64-bit integers; empty
// when CFITSIO cannot read it.
std::vector<long long> cfitsio_longs(const std::string& path, int col) {
  std::vector<long long> out;
  if (read_column(path, 1, col, TLONGLONG, 0LL, out) != 0) out.clear();
  return out;
}

}  // namespace

// A wide ASCII integer column is a double column: its text is the integer
// CFITSIO reads, its doubles are CFITSIO's where a double holds the value,
// and a copy keeps every value or is refused naming the column.
TEST_F(FitsForeign, WideAsciiIntegersReadExactlyOrAreRefusedByName) {
  TempFile in("wide"), out("wide_out");
  const std::vector<long long> fit{12345678901234LL, -9007199254740992LL, 7};
  ASSERT_EQ(make_wide_ascii(in.path, fit), 0);
  TablePtr tp = c_tbtopn((in.path + "[1]").c_str(), TBL_READ_ONLY, nullptr);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  ColumnPtr big = c_tbcnum(tp, 1);
  EXPECT_EQ(c_tbcigi(big, TBL_COL_DATATYPE), TBL_TY_DOUBLE);
  const std::vector<double> doubles = column_doubles(in.path, 1, 1);
  for (std::size_t r = 0; r < fit.size(); ++r) {
    char text[64] = {0};
    double d = 0;
    c_tbegtt(tp, big, static_cast<int>(r + 1), text, 63);
    c_tbegtd(tp, big, static_cast<int>(r + 1), &d);
    EXPECT_EQ(last_error(), "");
    EXPECT_EQ(trim(text), std::to_string(fit[r]));
    EXPECT_EQ(d, doubles[r]);
  }
  c_tbtclo(tp);
  c_tbtcpy((in.path + "[1]").c_str(), out.path.c_str());
  ASSERT_EQ(last_error(), "");
  EXPECT_EQ(column_doubles(out.path, 1, 1), doubles);
  EXPECT_EQ(cfitsio_longs(out.path, 1), fit);
  const std::string report = verify(out.path);
  EXPECT_TRUE(clean(report)) << report;

  // 2^63 - 1 has no double: its text reads, a double get and a copy are
  // refused naming the file, the extension and the column.
  const std::vector<long long> wide{1, 9223372036854775807LL};
  ASSERT_EQ(make_wide_ascii(in.path, wide), 0);
  std::remove(out.path.c_str());
  tp = c_tbtopn((in.path + "[1]").c_str(), TBL_READ_ONLY, nullptr);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  big = c_tbcnum(tp, 1);
  char text[64] = {0};
  c_tbegtt(tp, big, 2, text, 63);
  EXPECT_EQ(last_error(), "");
  EXPECT_EQ(trim(text), "9223372036854775807");
  double d = 0;
  c_tbegtd(tp, big, 2, &d);
  EXPECT_NE(c_voserr(), 0);
  EXPECT_TRUE(names_all(c_voserrmsg(), {in.path, "extension 1", "`BIG'"}));
  c_tbtclo(tp);
  c_tbtcpy((in.path + "[1]").c_str(), out.path.c_str());
  EXPECT_NE(c_voserr(), 0);
  EXPECT_TRUE(names_all(c_voserrmsg(), {"`BIG'"}));
  EXPECT_NE(access(out.path.c_str(), F_OK), 0) << "a refused copy left its output";
}

namespace {

// A binary table of columns the table model holds (N 1J, W 1K) beside
// columns it cannot (V a variable-length array, M complex double) and a
// zero-width column Z (0D); three rows.
int make_odd_columns(const std::string& path) {
  std::remove(path.c_str());
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, path.c_str(), &status);
  ffcrim(f, SHORT_IMG, 0, nullptr, &status);
  add_table(f, BINARY_TBL, {{"N", "1J"}, {"W", "1K"}, {"V", "1PJ(3)"}, {"M", "1M"}, {"Z", "0D"}},
            "ODD", status);
  for (long long r = 1; r <= 3; ++r) {
    int n = static_cast<int>(r);
    long long w = 4000000000LL * r;
    int v[3] = {n, n, n};
    double m[2] = {1.0 * r, -1.0 * r};
    ffpclk(f, 1, r, 1, 1, &n, &status);
    ffpcljj(f, 2, r, 1, 1, &w, &status);
    ffpclk(f, 3, r, 1, n, v, &status);
    ffpclm(f, 4, r, 1, 1, m, &status);
  }
  if (f != nullptr) ffclos(f, &status);
  return status;
}

}  // namespace

// A table with columns the model cannot hold opens: every column is listed
// by name (as a caller choosing a column by its name needs), the columns
// the model holds read as CFITSIO reads them, and whatever would read or
// write a cell of the others, a copy included, is refused naming the file,
// the extension and the column.  A copy of the readable columns works.
TEST_F(FitsForeign, ColumnsTheModelCannotHoldAreRefusedOneByOne) {
  TempFile in("odd"), out("odd_out"), part("odd_part");
  ASSERT_EQ(make_odd_columns(in.path), 0);
  const std::string before = slurp(in.path);
  TablePtr tp = c_tbtopn((in.path + "[1]").c_str(), TBL_READ_WRITE, nullptr);
  ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
  ASSERT_EQ(c_tbpsta(tp, 22), 5);
  const char* names[] = {"N", "W", "V", "M", "Z"};
  for (int c = 1; c <= 5; ++c) {
    char name[80] = {0};
    c_tbcigt(c_tbcnum(tp, c), TBL_COL_NAME, name, 79);
    EXPECT_STREQ(name, names[c - 1]);
  }
  const std::vector<double> w = column_doubles(in.path, 1, 2);
  ASSERT_EQ(w.size(), 3u);
  for (int r = 1; r <= 3; ++r) {
    int n = 0;
    double d = 0;
    char text[64] = {0};
    c_tbegti(tp, c_tbcnum(tp, 1), r, &n);
    EXPECT_EQ(n, r);
    c_tbegtd(tp, c_tbcnum(tp, 2), r, &d);
    EXPECT_EQ(d, w[r - 1]);
    c_tbegtt(tp, c_tbcnum(tp, 2), r, text, 63);
    EXPECT_EQ(trim(text), std::to_string(4000000000LL * r));
    EXPECT_EQ(last_error(), "");
  }
  // The zero-width column has no elements: an element of it is undefined.
  double z = 0;
  c_tbegtd(tp, c_tbcnum(tp, 5), 1, &z);
  EXPECT_EQ(last_error(), "");
  EXPECT_GT(z, 1e300);
  double zz[2] = {0, 0};
  EXPECT_EQ(c_tbagtd(tp, c_tbcnum(tp, 5), 1, zz, 1, 2), 0);

  struct Refused {
    const char* what;
    int col;
    const char* reason;
  } refused[] = {{"variable-length", 3, "variable length"}, {"complex double", 4, "complex"}};
  for (const Refused& c : refused) {
    SCOPED_TRACE(c.what);
    ColumnPtr cp = c_tbcnum(tp, c.col);
    const std::string quoted = std::string("`") + names[c.col - 1] + "'";
    double d = 0;
    c_tbegtd(tp, cp, 1, &d);
    EXPECT_NE(c_voserr(), 0);
    EXPECT_TRUE(names_all(c_voserrmsg(), {in.path, "extension 1", quoted, c.reason}));
    c_tbeptd(tp, cp, 1, 2.0);
    EXPECT_NE(c_voserr(), 0);
    EXPECT_TRUE(names_all(c_voserrmsg(), {in.path, "extension 1", quoted}));
  }
  // A new row would need undefined values in every column.
  c_tbepti(tp, c_tbcnum(tp, 1), 4, 4);
  EXPECT_NE(c_voserr(), 0);
  EXPECT_TRUE(names_all(c_voserrmsg(), {in.path, "extension 1", "`V'"}));
  c_tbtclo(tp);
  EXPECT_EQ(slurp(in.path), before) << "refused changes reached the file";

  c_tbtcpy((in.path + "[1]").c_str(), out.path.c_str());
  EXPECT_NE(c_voserr(), 0);
  EXPECT_TRUE(names_all(c_voserrmsg(), {in.path, "extension 1", "`V'"}));
  EXPECT_NE(access(out.path.c_str(), F_OK), 0) << "a refused copy left its output";

  c_tbtcpy((in.path + "[1][column: N, W, Z]").c_str(), part.path.c_str());
  ASSERT_EQ(last_error(), "");
  EXPECT_EQ(column_n(part.path, 1), counted(3, 0));
  EXPECT_EQ(column_doubles(part.path, 1, 2), w);
  const std::string report = verify(part.path);
  EXPECT_TRUE(clean(report)) << report;
}

// Opening what holds no table, or cannot be changed, is refused with a
// message that names the file and the extension; never with an error and
// no message.
TEST_F(FitsForeign, RefusalsNameTheFileAndTheExtension) {
  TempFile image("image"), cut("cut");
  {
    fitsfile* f = nullptr;
    int status = 0;
    long axes[2] = {10, 10};
    std::vector<short> pix(100, 7);
    ffinit(&f, image.path.c_str(), &status);
    ffcrim(f, SHORT_IMG, 2, axes, &status);
    ffppri(f, 1, 1, 100, pix.data(), &status);
    ffclos(f, &status);
    ASSERT_EQ(status, 0);
  }
  ASSERT_EQ(make_cfitsio_file(cut.path, {{"A", 0, 200, 0}}), 0);
  const std::vector<HduPlace> places = hdu_places(cut.path);
  ASSERT_EQ(places.size(), 2u);
  ASSERT_EQ(truncate(cut.path.c_str(), places[1].data + 1000), 0);
  TempFile cut_head("cut_head");
  ASSERT_EQ(make_cfitsio_file(cut_head.path, {{"A", 0, 200, 0}}), 0);
  ASSERT_EQ(truncate(cut_head.path.c_str(), places[1].head + 1000), 0);
  struct Case {
    const char* what;
    std::string name;
    int mode;
  } cases[] = {
      {"an image file", image.path, TBL_READ_ONLY},
      {"an image file, for writing", image.path, TBL_READ_WRITE},
      {"an image file's extension 1", image.path + "[1]", TBL_READ_ONLY},
      {"an image file's extension 1, for writing", image.path + "[1]", TBL_READ_WRITE},
      {"a table cut short, for writing", cut.path + "[1]", TBL_READ_WRITE},
      {"a table cut short, bare, for writing", cut.path, TBL_READ_WRITE},
      {"a table cut in its header", cut_head.path + "[1]", TBL_READ_ONLY},
      {"a table cut in its header, for writing", cut_head.path + "[1]", TBL_READ_WRITE},
      {"a table cut in its header, bare, for writing", cut_head.path, TBL_READ_WRITE},
  };
  const std::string image_bytes = slurp(image.path), cut_bytes = slurp(cut.path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c_tbtopn(c.name.c_str(), c.mode, nullptr);
    ASSERT_NE(c_voserr(), 0);
    const std::string file = c.name.substr(0, c.name.find('['));
    EXPECT_TRUE(names_all(c_voserrmsg(), {file, "extension 1"}));
  }
  EXPECT_EQ(slurp(image.path), image_bytes);
  EXPECT_EQ(slurp(cut.path), cut_bytes);
}
