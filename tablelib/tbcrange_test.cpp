// Column ranges over every storage type: puts that extend the table, gets
// with null flags, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbbackend.h"
#include "tbrowfix.h"

namespace tbl {
namespace {

using namespace tbl::testing;

class RangesByType : public ::testing::TestWithParam<int> {
 protected:
  ScratchDir dir_;
  std::string name_ = file_for(dir_, "range", GetParam());
};

// Rows 2 to 4 are put into an empty table (rows 1 to 4 then exist, row 1
// undefined); the values come back in every caller type with their flags.
TEST_P(RangesByType, PutExtendsAndGetFlagsUndefined) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  const double d[] = {1.5, kIndefD, -3.0};
  tbcptd(tp, c.d, d, 2, 4);
  EXPECT_EQ(tbpsta(tp, 21), 4);
  const int iv[] = {7, 8, 9};
  tbcpti(tp, c.i, iv, 2, 4);
  const std::string tv[] = {"alpha", "", "a long text beyond"};
  tbcptt(tp, c.t, tv, 6, 2, 4);
  const bool bv[] = {true, false, true};
  tbcptb(tp, c.b, bv, 2, 4);
  tbtclo(tp);

  tp = reopen(name_, kReadWrite, c);
  double gd[4];
  bool nd[4];
  tbcgtd(tp, c.d, gd, nd, 1, 4);
  EXPECT_TRUE(nd[0]);
  EXPECT_EQ(gd[1], 1.5);
  EXPECT_FALSE(nd[1]);
  EXPECT_TRUE(nd[2]);
  EXPECT_EQ(gd[3], -3.0);
  int gi[3];
  bool ni[3];
  tbcgti(tp, c.i, gi, ni, 2, 4);
  EXPECT_EQ(gi[0], 7);
  EXPECT_EQ(gi[2], 9);
  short gs[3];
  tbcgts(tp, c.i, gs, ni, 2, 4);
  EXPECT_EQ(gs[1], 8);
  float gr[1];
  tbcgtr(tp, c.d, gr, ni, 4, 4);
  EXPECT_EQ(gr[0], -3.0f);
  std::string gt[4];
  bool nt[4];
  tbcgtt(tp, c.t, gt, nt, 20, 1, 4);
  EXPECT_TRUE(nt[0]);
  EXPECT_EQ(gt[1], "alpha");
  EXPECT_EQ(gt[3], "a long");
  EXPECT_FALSE(nt[3]);
  bool gb[3], nb[3];
  tbcgtb(tp, c.b, gb, nb, 2, 4);
  EXPECT_TRUE(gb[0]);
  EXPECT_FALSE(gb[1]);
  EXPECT_TRUE(gb[2]);

  int code = 0;
  EXPECT_EQ(error_of([&] { tbcgtd(tp, c.d, gd, nd, 3, 5); }, &code), "input row is beyond EOF");
  EXPECT_EQ(code, 51);
  EXPECT_EQ(error_of([&] { tbcptd(tp, c.d, d, 3, 2); }, &code),
            "tbcptd:  lastrow is less than firstrow");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(error_of([&] { tbcptt(tp, c.t, tv, 5, 2, 1); }),
            "tbcptt:  lastrow is less than firstrow");
}

INSTANTIATE_TEST_SUITE_P(AllStorage, RangesByType, ::testing::ValuesIn(kAllTypes));

// A get with the last row below the first reads nothing (FITS included);
// puts on read-only tables and corrupt types are refused.
TEST(Ranges, EmptyGetsAndRefusals) {
  ScratchDir dir;
  Cols c;
  const std::string name = dir.path("r.fits");
  Table* tp = make_table(name, kFitsTable, c);
  const int iv[] = {1, 2, 3};
  tbcpti(tp, c.i, iv, 1, 3);
  double d[1] = {99};
  bool n[1] = {true};
  tbcgtd(tp, c.d, d, n, 3, 2);
  EXPECT_EQ(d[0], 99);
  tbtclo(tp);

  tp = reopen(name, kReadOnly, c);
  Closer close(tp);
  int code = 0;
  EXPECT_EQ(error_of([&] { tbcpti(tp, c.i, iv, 1, 3); }, &code),
            "can't write to table; it's readonly");
  EXPECT_EQ(code, 3);
  const int saved = tp->type;
  tp->type = 42;
  EXPECT_EQ(error_of([&] { tbcgti(tp, c.i, nullptr, nullptr, 1, 1); }, &code),
            "tbcgti:  table type is messed up");
  EXPECT_EQ(code, 81);
  tp->type = saved;
}

// FITS bools are read as ints: 2 reads false and defined, the undefined int
// false and flagged; a FITS text of "INDEF" is flagged.
TEST(Ranges, FitsBoolAndTextFlags) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("b.fits"), kFitsTable, c);
  Closer close(tp);
  const int iv[] = {2, kIndefI, 1};
  tbcpti(tp, c.i, iv, 1, 3);
  bool b[3], n[3];
  tbcgtb(tp, c.i, b, n, 1, 3);
  EXPECT_FALSE(b[0]);
  EXPECT_FALSE(n[0]);
  EXPECT_FALSE(b[1]);
  EXPECT_TRUE(n[1]);
  EXPECT_TRUE(b[2]);
  const std::string tv[] = {"INDEF"};
  tbcptt(tp, c.t, tv, 12, 1, 1);
  std::string t[1];
  tbcgtt(tp, c.t, t, n, 12, 1, 1);
  EXPECT_TRUE(n[0]) << t[0];
}

}  // namespace
}  // namespace tbl
