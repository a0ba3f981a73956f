// Sound files of several extensions changed one extension at a time: each
// change lands whole, the file passes fitsverify, and every other HDU keeps
// its bytes.  The changes move the HDUs after the one changed (rows
// appended or deleted, a column added) after a session has already
// rewritten every cell, so the check that refuses files cut short must
// judge the file with the session's own earlier writes in it (CFITSIO's
// buffers and the file layer's windows), at sizes from a few buffers to
// many.  Files made by CFITSIO directly; results judged by CFITSIO,
// fitsverify and the bytes of each HDU at the places CFITSIO finds.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

// Writes a file of an empty primary array and three binary tables of
// `rows` rows through CFITSIO alone (see CfitsioTable; narrow ones unless
// `wide`), bases 0, 100000, 200000.  Returns CFITSIO's status.
int make_three(const std::string& path, int rows, bool wide) {
  return make_cfitsio_file(path, {{"A", 0, rows, 0, !wide}, {"B", 0, rows, 100000, !wide}, {"C", 0, rows, 200000, !wide}});
}

// The number of columns of extension `ext` as CFITSIO reads it (-1 when it
// cannot).
int columns_of(const std::string& path, int ext) {
  int ncols = -1;
  const int status = read_hdu(path, ext, [&](fitsfile* f, int& s) { ffgncl(f, &ncols, &s); });
  return status == 0 ? ncols : -1;
}

// What a session does after it has rewritten every cell of the extension:
// each is a change that moves every HDU after it.
struct Step {
  const char* what;
  std::function<void(TablePtr tp, int rows)> run;
  int appended;  // rows appended (N = -(rows + i))
  int deleted;   // the last rows deleted, in tenths of the table
  int columns;   // columns after it, by table width (narrow 2, wide 3) and added
};

const std::vector<Step>& steps() {
  static const std::vector<Step> all{
      {"rows appended",
       [](TablePtr tp, int rows) {
         std::vector<int> n(50);
         for (int i = 0; i < 50; ++i) n[static_cast<std::size_t>(i)] = -(rows + 1 + i);
         c_tbcpti(tp, c_tbcnum(tp, 1), n.data(), rows + 1, rows + 50);
       },
       50, 0, 0},
      {"rows deleted", [](TablePtr tp, int rows) { c_tbrdel(tp, rows - rows / 10 * 3 + 1, rows); },
       0, 3, 0},
      {"a column added",
       [](TablePtr tp, int) {
         ColumnPtr c = nullptr;
         c_tbcdef1(tp, &c, "Y", "", "", TBL_TY_INT, 1);
         if (c_voserr() == 0) c_tbepti(tp, c, 1, 77);
       },
       0, 0, 1},
  };
  return all;
}

// Opens extension `ext` for writing, rewrites every cell of its columns
// N and X (N = -N, X = -X), runs `step` and closes it; the first failure,
// or "".
std::string rewrite_then(const std::string& path, int ext, int rows, const Step& step) {
  TablePtr tp = c_tbtopn((path + "[" + std::to_string(ext) + "]").c_str(), TBL_READ_WRITE, nullptr);
  if (c_voserr() != 0) return std::string("open: ") + c_voserrmsg();
  std::string err;
  auto check = [&](const char* what) {
    if (c_voserr() != 0 && err.empty()) err = std::string(what) + ": " + c_voserrmsg();
  };
  ColumnPtr n = c_tbcnum(tp, 1), x = c_tbcnum(tp, 2);
  std::vector<int> nv(static_cast<std::size_t>(rows)), nulls(static_cast<std::size_t>(rows));
  std::vector<double> xv(static_cast<std::size_t>(rows));
  c_tbcgti(tp, n, nv.data(), nulls.data(), 1, rows);
  c_tbcgtd(tp, x, xv.data(), nulls.data(), 1, rows);
  check("read");
  for (int& v : nv) v = -v;
  for (double& v : xv) v = -v;
  c_tbcpti(tp, n, nv.data(), 1, rows);
  c_tbcptd(tp, x, xv.data(), 1, rows);
  check("rewrite");
  if (err.empty()) {
    step.run(tp, rows);
    check(step.what);
  }
  c_tbtclo(tp);
  check("close");
  return err;
}

}  // namespace

// A size of the tables: rows, wide or narrow rows, and whether each
// extension takes every step or only one (the largest files, where each
// step costs most).
struct Size {
  int rows;
  bool wide;
  bool every_step;
};

class FitsMultiExtension : public ::testing::TestWithParam<Size> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

// Each extension of three in turn: the change lands, fitsverify passes, the
// other HDUs keep their bytes.
TEST_P(FitsMultiExtension, EachExtensionChangesAndTheOthersKeepTheirBytes) {
  const Size size = GetParam();
  const int rows = size.rows;
  TempFile base("multi_base");
  ASSERT_EQ(make_three(base.path, rows, size.wide), 0);
  const std::string original = slurp(base.path);
  const std::vector<std::string> before = hdu_bytes(base.path);
  ASSERT_EQ(before.size(), 4u);
  for (int ext = 1; ext <= 3; ++ext) {
    for (std::size_t k = 0; k < steps().size(); ++k) {
      if (!size.every_step && k != static_cast<std::size_t>(ext - 1)) continue;
      const Step& step = steps()[k];
      SCOPED_TRACE("extension " + std::to_string(ext) + ", " + step.what);
      TempFile file("multi");
      std::ofstream(file.path, std::ios::binary) << original;
      const std::string err = rewrite_then(file.path, ext, rows, step);
      EXPECT_EQ(err, "");
      if (!err.empty()) continue;

      const std::string report = verify(file.path);
      EXPECT_TRUE(clean(report)) << report;
      const std::vector<std::string> after = hdu_bytes(file.path);
      ASSERT_EQ(after.size(), before.size());
      EXPECT_TRUE(others_kept(before, after, static_cast<std::size_t>(ext)));

      const int base_n = (ext - 1) * 100000;
      const int kept = rows - rows / 10 * step.deleted;
      std::vector<int> want_n;
      for (int r = 1; r <= kept; ++r) want_n.push_back(-(r + base_n));
      for (int r = 1; r <= step.appended; ++r) want_n.push_back(-(rows + r));
      EXPECT_EQ(column_n(file.path, ext) == want_n, true) << "column N is not as written";
      const std::vector<double> xs = column_doubles(file.path, ext, 2);  // column X
      ASSERT_EQ(xs.size(), want_n.size());
      for (int r = 1; r <= kept; ++r) {
        if (xs[static_cast<std::size_t>(r - 1)] != -(r + base_n) / 2.0) {
          ADD_FAILURE() << "X of row " << r << " is " << xs[static_cast<std::size_t>(r - 1)];
          break;
        }
      }
      EXPECT_EQ(columns_of(file.path, ext), (size.wide ? 3 : 2) + step.columns);
    }
  }
}

// From less than CFITSIO's buffers hold to many times as much; 10^5 rows
// narrow (8-byte rows), one step per extension.
INSTANTIATE_TEST_SUITE_P(Sizes, FitsMultiExtension,
                         ::testing::Values(Size{1000, true, true}, Size{5000, true, true},
                                           Size{100000, false, false}),
                         [](const auto& info) {
                           return std::to_string(info.param.rows) + (info.param.wide ? "Wide" : "Narrow");
                         });
