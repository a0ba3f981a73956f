// FITS tables at the file level: new columns in an existing table, column
// renames, overwriting an extension, copying a primary header.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "vos/error.h"
#include "vos/fault.h"

using namespace fitstest;
using tbl::Column;
using tbl::Table;

namespace {

// A FITS file with one binary table of an int column and `rows` rows.
void make_table(const std::string& path, const char* extname, int rows, int first_value) {
  Table* tp = tbl::tbtopn(path + "[" + extname + "]", tbl::kNewFile, nullptr);
  Column* c = nullptr;
  tbl::tbcdef1(tp, c, "N", "count", "", tbl::kTyInt, 1);
  tbl::tbtcre(tp);
  for (int r = 1; r <= rows; ++r) tbl::tbepti(tp, c, r, first_value + r);
  tbl::tbtclo(tp);
}

}  // namespace

TEST(FitsTable, NewColumnsAndRenamesInAnExistingTable) {
  TempFile file("addcol");
  make_table(file.path, "T", 3, 0);
  Table* tp = tbl::tbtopn(file.path, tbl::kReadWrite, nullptr);
  Column *c2 = nullptr, *c3 = nullptr;
  tbl::tbcdef1(tp, c2, "X", "m", "%10.4f", tbl::kTyDouble, 1);
  tbl::tbcdef1(tp, c3, "S", "", "", -12, 2);
  tbl::tbepti(tp, tbl::tbcnum(tp, 1), 4, 40);
  tbl::tbeptd(tp, c2, 4, 1.5);
  tbl::tbcnam(tp, c2, "XPOS");
  tbl::tbcnit(tp, c2, "mm");
  tbl::tbtclo(tp);
  EXPECT_TRUE(clean(verify(file.path))) << verify(file.path);

  tp = tbl::tbtopn(file.path, tbl::kReadOnly, nullptr);
  ASSERT_EQ(tp->ncols, 3);
  EXPECT_EQ(tp->nrows, 4);
  EXPECT_EQ(tp->cols[1]->name, "XPOS");
  EXPECT_EQ(tp->cols[1]->units, "mm");
  EXPECT_EQ(tp->cols[1]->format, "%10.4f");
  EXPECT_EQ(tp->cols[2]->dtype, -12);
  EXPECT_EQ(tp->cols[2]->nelem, 2);
  double d = 0;
  tbl::tbegtd(tp, tp->cols[1].get(), 2, d);  // earlier rows got the undefined value
  EXPECT_EQ(d, tbl::kIndefD);
  tbl::tbegtd(tp, tp->cols[1].get(), 4, d);
  EXPECT_EQ(d, 1.5);
  tbl::tbtclo(tp);
}

TEST(FitsTable, ColumnNamesWithQuotesReadBackAsWritten) {
  const char* const names[] = {"NA'ME", "END'", "'START", "A''B"};
  for (const char* name : names) {
    TempFile file("quoted");
    Table* tp = tbl::tbtopn(file.path, tbl::kNewFile, nullptr);
    Column* c = nullptr;
    tbl::tbcdef1(tp, c, name, "", "", tbl::kTyInt, 1);
    tbl::tbtcre(tp);
    tbl::tbtclo(tp);
    tp = tbl::tbtopn(file.path, tbl::kReadWrite, nullptr);
    ASSERT_EQ(tp->ncols, 1);
    EXPECT_EQ(tp->cols[0]->name, name);
    tbl::tbcnam(tp, tp->cols[0].get(), std::string(name) + "'");  // a rename quotes once too
    tbl::tbtclo(tp);
    tp = tbl::tbtopn(file.path, tbl::kReadOnly, nullptr);
    EXPECT_EQ(tp->cols[0]->name, std::string(name) + "'");
    tbl::tbtclo(tp);
  }
}

// A write of a FITS file open for writing that fails is raised by the call
// that met it, naming the file, and again by the close (the same error), or
// by the close when it met it.  The file is left as it was, with no
// temporary file beside it.
TEST(FitsTable, FailedWriteIsRaisedUntilTheCloseAndLeavesTheFile) {
  for (bool in_a_call : {true, false}) {
    TempFile file("failedwrite");
    make_table(file.path, "T", 3, 0);
    const std::string before = slurp(file.path);
    Table* tp = tbl::tbtopn(file.path, tbl::kReadWrite, nullptr);
    Column* c = tbl::tbcnum(tp, 1);
    tbl::tbepti(tp, c, 1, 99);
    std::vector<std::string> raised;
    vos::fault::fail_write_after(in_a_call ? 30 : 0);
    if (in_a_call) {
      // More rows than CFITSIO buffers: the header is out of them when the
      // write fails, and read again at the close.
      const std::vector<int> rows(400000, 7);
      try {
        tbl::tbcpti(tp, c, rows.data(), 1, static_cast<int>(rows.size()));
      } catch (const vos::Error& e) {
        raised.push_back(e.message());
      }
      EXPECT_EQ(raised.size(), 1u) << "the call that met the failure";
    }
    try {
      tbl::tbtclo(tp);
    } catch (const vos::Error& e) {
      raised.push_back(e.message());
    }
    vos::fault::clear();
    ASSERT_EQ(raised.size(), in_a_call ? 2u : 1u);
    EXPECT_EQ(raised.front(), raised.back());
    EXPECT_NE(raised.front().find(file.path), std::string::npos) << raised.front();
    EXPECT_EQ(slurp(file.path), before);
    const std::filesystem::path host(file.path);
    for (const auto& e : std::filesystem::directory_iterator(host.parent_path()))
      EXPECT_NE(e.path().filename().string().rfind(host.filename().string() + ".tmp", 0), 0u)
          << e.path();
  }
}

TEST(FitsTable, OverwriteKeepsTheOrderOfExtensions) {
  TempFile file("overwrite");
  make_table(file.path, "A", 1, 100);
  make_table(file.path, "B", 2, 200);
  make_table(file.path, "C", 3, 300);
  make_table(file.path + "[B,overwrite+]", "", 0, 0);
  Table* tp = tbl::tbtopn(file.path + "[2]", tbl::kReadOnly, nullptr);
  EXPECT_EQ(tp->nrows, 0);
  tbl::tbtclo(tp);
  tp = tbl::tbtopn(file.path + "[c]", tbl::kReadOnly, nullptr);
  EXPECT_EQ(tp->extname, "C");
  EXPECT_EQ(tp->hdu, 3);
  EXPECT_EQ(tp->nrows, 3);
  tbl::tbtclo(tp);
  EXPECT_TRUE(clean(verify(file.path))) << verify(file.path);
}

TEST(FitsTable, NewFileRefusesExtensionAboveOne) {
  TempFile file("ext2");
  Table* tp = tbl::tbtopn(file.path + "[2]", tbl::kNewFile, nullptr);
  Column* c = nullptr;
  tbl::tbcdef1(tp, c, "N", "", "", tbl::kTyInt, 1);
  try {
    tbl::tbtcre(tp);
    FAIL() << "created";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(),
              "extension number in new FITS file (" + file.path + ") can't be greater than one");
  }
  tbl::tbtclo(tp);
  EXPECT_NE(access(file.path.c_str(), F_OK), 0);
}

TEST(FitsTable, PrimaryHeaderCopy) {
  TempFile in("pri_in"), out("pri_out");
  make_table(in.path, "T", 1, 0);
  Table* tp = tbl::tbtopn(in.path + "[0]", tbl::kReadWrite, nullptr);
  EXPECT_EQ(tp->subtype, tbl::kFitsPrimary);
  tbl::tbhadt(tp, "TELESCOP", "ZOR");
  tbl::tbtclo(tp);
  int copied = 0;
  tbl::tbfpri(in.path, out.path, copied);
  EXPECT_EQ(copied, 1);
  tbl::tbfpri(in.path, out.path, copied);  // the output exists now
  EXPECT_EQ(copied, 0);
  tp = tbl::tbtopn(out.path + "[0]", tbl::kReadOnly, nullptr);
  std::string v;
  tbl::tbhgtt(tp, "TELESCOP", v, 20);
  EXPECT_EQ(v, "ZOR");
  tbl::tbhgtt(tp, "FILENAME", v, 80);
  EXPECT_EQ(v, out.path.substr(out.path.rfind('/') + 1));
  tbl::tbtclo(tp);
}

TEST(FitsTable, CopyOfAllHeaderParameters) {
  TempFile in("cal_in"), out("cal_out");
  make_table(in.path, "SRC", 1, 0);
  make_table(out.path, "DST", 1, 0);
  Table* ti = tbl::tbtopn(in.path, tbl::kReadWrite, nullptr);
  tbl::tbhadt(ti, "OBJECT", "m31");
  tbl::tbhpcm(ti, "OBJECT", "target name");
  tbl::tbhadi(ti, "COUNT", 42);
  tbl::tbhadd(ti, "SCALE", 0.125);
  tbl::tbhadb(ti, "OK", true);
  tbl::tbhadt(ti, "HISTORY", "made by the test");
  tbl::tbtclo(ti);
  ti = tbl::tbtopn(in.path, tbl::kReadOnly, nullptr);
  Table* to = tbl::tbtopn(out.path, tbl::kReadWrite, nullptr);
  tbl::tbhcal(ti, to);
  tbl::tbtclo(ti);
  tbl::tbtclo(to);

  to = tbl::tbtopn(out.path, tbl::kReadOnly, nullptr);
  std::string v;
  tbl::tbhgtt(to, "OBJECT", v, 80);
  EXPECT_EQ(v, "m31");
  tbl::tbhgcm(to, "OBJECT", v, 80);
  EXPECT_EQ(v, "target name");
  EXPECT_EQ(tbl::tbhgti(to, "COUNT"), 42);
  EXPECT_EQ(tbl::tbhgtd(to, "SCALE"), 0.125);
  EXPECT_TRUE(tbl::tbhgtb(to, "OK"));
  tbl::tbhgtt(to, "EXTNAME", v, 80);
  EXPECT_EQ(v, "DST");  // the output keeps its own name
  EXPECT_EQ(to->ncols, 1);
  tbl::tbtclo(to);
  EXPECT_TRUE(clean(verify(out.path))) << verify(out.path);
}

TEST(FitsTable, TableWithoutColumns) {
  TempFile file("nocols");
  Table* tp = tbl::tbtopn(file.path, tbl::kNewFile, nullptr);
  tbl::tbtcre(tp);
  tbl::tbtclo(tp);
  EXPECT_TRUE(clean(verify(file.path))) << verify(file.path);
  tp = tbl::tbtopn(file.path, tbl::kReadOnly, nullptr);
  EXPECT_EQ(tp->ncols, 0);
  EXPECT_EQ(tp->subtype, tbl::kFitsBinary);
  // Every keyword of the header counts: XTENSION, BITPIX, NAXIS, NAXIS1,
  // NAXIS2, PCOUNT, GCOUNT and TFIELDS.
  EXPECT_EQ(tbl::tbpsta(tp, 24), 8);
  tbl::tbtclo(tp);
}

TEST(FitsTable, DeleteDimensionsAndBufferSize) {
  TempFile file("del");
  make_table(file.path, "A", 2, 0);
  make_table(file.path, "B", 3, 0);
  Table* tp = tbl::tbtopn(file.path + "[a]", tbl::kReadWrite, nullptr);
  tbl::tbfdel(tp);  // closes and frees the table too
  tp = tbl::tbtopn(file.path + "[1]", tbl::kReadOnly, nullptr);
  EXPECT_EQ(tp->nrows, 3);
  const int bufsize = tbl::tbfsiz(tp);
  tbl::tbtclo(tp);
  // CFITSIO's own row group for the table, in 2-byte characters of its rows.
  fitsfile* f = nullptr;
  int status = 0;
  long naxis1 = 0, group = 0;
  fits_open_file(&f, (file.path + "[1]").c_str(), READONLY, &status);
  fits_read_key(f, TLONG, "NAXIS1", &naxis1, nullptr, &status);
  fits_get_rowsize(f, &group, &status);
  fits_close_file(f, &status);
  ASSERT_EQ(status, 0);
  ASSERT_GE(naxis1, 4);
  EXPECT_EQ(bufsize, group * (naxis1 / 2));

  tp = tbl::tbtopn(file.path + "[b]", tbl::kNewFile, nullptr);
  Column* c = nullptr;
  tbl::tbcdef1(tp, c, "IMG", "", "", tbl::kTyReal, 6);
  int ndim = 0, ax[3] = {0, 0, 0};
  tbl::tbfiga(tp, c, ndim, ax, 3);  // not yet created: one axis
  EXPECT_EQ(ndim, 1);
  EXPECT_EQ(ax[0], 6);
  tbl::tbtcre(tp);
  int dims[2] = {2, 3};
  tbl::tbfisa(tp, c, 2, dims);
  tbl::tbfiga(tp, c, ndim, ax, 3);
  EXPECT_EQ(ndim, 2);
  EXPECT_EQ(ax[1], 3);
  tbl::tbtclo(tp);
  EXPECT_TRUE(clean(verify(file.path))) << verify(file.path);
}

// A FITS file cut short by someone else while a table of it is open: the
// read that meets the missing part fails naming the file and why, and every
// later call and the close raise that same failure (a later read never
// gives a value the file does not hold).  The file holds more than CFITSIO
// buffers and the file layer reads ahead.
TEST(FitsTable, AFileCutShortWhileOpenFailsTheReadsThatMeetTheCut) {
  for (int mode : {tbl::kReadOnly, tbl::kReadWrite}) {
    SCOPED_TRACE(mode);
    TempFile file("cutopen");
    constexpr int kRows = 1000000;
    ASSERT_EQ(make_cfitsio_file(file.path, {{"T", 0, kRows, 0, true}}), 0);  // N = 1..kRows
    Table* tp = tbl::tbtopn(file.path + "[1]", mode, nullptr);
    Column* c = tbl::tbcnum(tp, 1);
    int v = 0;
    tbl::tbegti(tp, c, 1, v);
    EXPECT_EQ(v, 1);
    std::filesystem::resize_file(file.path, 1000000);
    std::vector<std::string> raised;
    for (int row : {kRows, kRows - 1}) {
      try {
        tbl::tbegti(tp, c, row, v);
        ADD_FAILURE() << "row " << row << " read " << v;
      } catch (const vos::Error& e) {
        raised.push_back(e.message());
      }
    }
    try {
      tbl::tbtclo(tp);
      ADD_FAILURE() << "the close succeeded";
    } catch (const vos::Error& e) {
      raised.push_back(e.message());
    }
    ASSERT_EQ(raised.size(), 3u);
    for (const std::string& m : raised) {
      EXPECT_EQ(m, raised.front());
      EXPECT_NE(m.find(file.path), std::string::npos) << m;
      EXPECT_NE(m.find("Cannot read file"), std::string::npos) << m;
    }
  }
}
