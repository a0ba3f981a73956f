// Column names of throughput files made with CFITSIO directly, read through
// the host binding as the tool reads them.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

// The column names and data types of a table, or the error of the open.
struct Names {
  std::string error;
  std::vector<std::string> names;
  std::vector<int> types;
};

Names read_names(const std::string& name) {
  Names out;
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  if (c_voserr() != 0) {
    out.error = c_voserrmsg();
    return out;
  }
  int n = c_tbpsta(tp, 22);
  for (int i = 1; i <= n; ++i) {
    ColumnPtr cp = c_tbcnum(tp, i);
    char buf[80] = {0};
    c_tbcigt(cp, TBL_COL_NAME, buf, 79);
    out.names.push_back(buf);
    out.types.push_back(c_tbcigi(cp, TBL_COL_DATATYPE));
  }
  c_tbtclo(tp);
  return out;
}

class FitsThroughput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

TEST_F(FitsThroughput, TablesOfEveryKind) {
  TempFile file("thru");
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, file.path.c_str(), &status);
  long axes[2] = {4, 4};
  ffcrim(f, SHORT_IMG, 0, axes, &status);                 // empty primary
  ffcrim(f, SHORT_IMG, 2, axes, &status);                 // an image as first extension
  add_table(f, BINARY_TBL, {{"WAVELENGTH", "1D"}, {"Throughput", "1E"}}, "THRU", status);
  add_table(f, BINARY_TBL, {{nullptr, "1J"}, {nullptr, "1E"}, {"NAME", "20A"}}, "NONAMES",
            status);
  add_table(f, BINARY_TBL, {{"COUNTS", "1J"}, {"RAW", "1I"}}, "SCALED", status);
  ffpkyd(f, "TSCAL1", 0.5, 14, "", &status);
  ffpkyd(f, "TZERO2", 100.0, 14, "", &status);
  ffpkys(f, "TTYPE3", "NOSUCHCOLUMN", "", &status);  // beyond TFIELDS: ignored
  add_table(f, ASCII_TBL, {{"WAVE", "F10.3"}, {"THRU", "E12.5"}, {"N", "I10"}}, "ASCII",
            status);
  ffpkyd(f, "TZERO3", 100.0, 14, "", &status);
  ffpkys(f, "TDISP3", "I5", "", &status);
  ffclos(f, &status);
  ASSERT_EQ(status, 0);

  // No bracket part: the first extension, which is an image.
  EXPECT_EQ(read_names(file.path).error, "extension 1 in " + file.path + " is not a table");
  Names thru = read_names(file.path + "[thru]");  // name match ignores case
  EXPECT_EQ(thru.error, "");
  EXPECT_EQ(thru.names, (std::vector<std::string>{"WAVELENGTH", "Throughput"}));
  EXPECT_EQ(thru.types, (std::vector<int>{7, 6}));
  Names by_number = read_names(file.path + "[2]");
  EXPECT_EQ(by_number.names, thru.names);
  Names nonames = read_names(file.path + "[NONAMES]");
  EXPECT_EQ(nonames.names, (std::vector<std::string>{"c1", "c2", "NAME"}));
  EXPECT_EQ(nonames.types, (std::vector<int>{4, 6, -20}));
  Names scaled = read_names(file.path + "[SCALED]");
  EXPECT_EQ(scaled.names, (std::vector<std::string>{"COUNTS", "RAW"}));
  EXPECT_EQ(scaled.types, (std::vector<int>{7, 6}));  // scaled int -> double, short -> real
  Names ascii = read_names(file.path + "[ASCII]");
  EXPECT_EQ(ascii.names, (std::vector<std::string>{"WAVE", "THRU", "N"}));
  EXPECT_EQ(ascii.types, (std::vector<int>{6, 6, 6}));  // scaled I with a narrow format: real
  EXPECT_EQ(read_names(file.path + "[nosuch]").error,
            "table not found in FITS file `" + file.path + "'");
}

// A column the table model cannot hold does not keep the tool from a
// throughput file: the file opens and lists every column by name (the
// tool chooses among the names), and only a read of that column's cells is
// refused, naming it.
TEST_F(FitsThroughput, ColumnsTheModelCannotHoldAreListed) {
  struct Case { const char* tform; const char* message; };
  const Case cases[] = {
      {"1M", "can't handle complex double precision"},
      {"1PE(5)", "can't handle variable length arrays"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tform);
    TempFile file("refused");
    fitsfile* f = nullptr;
    int status = 0;
    ffinit(&f, file.path.c_str(), &status);
    ffcrim(f, SHORT_IMG, 0, nullptr, &status);
    add_table(f, BINARY_TBL, {{"WAVELENGTH", "1D"}, {"A", c.tform}}, "T", status);
    double wave = 1000;
    ffpcld(f, 1, 1, 1, 1, &wave, &status);
    ffclos(f, &status);
    ASSERT_EQ(status, 0);
    Names names = read_names(file.path);
    EXPECT_EQ(names.error, "");
    EXPECT_EQ(names.names, (std::vector<std::string>{"WAVELENGTH", "A"}));
    TablePtr tp = c_tbtopn(file.path.c_str(), TBL_READ_ONLY, nullptr);
    ASSERT_EQ(c_voserr(), 0) << c_voserrmsg();
    double d = 0;
    c_tbegtd(tp, c_tbcnum(tp, 2), 1, &d);
    EXPECT_EQ(std::string(c_voserrmsg()),
              std::string(c.message) + " (column `A' of extension 1 of FITS file `" + file.path +
                  "')");
    c_tbtclo(tp);
  }
}

}  // namespace
