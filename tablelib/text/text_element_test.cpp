// Element access, column ranges and row operations of text tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "text_testutil.h"
#include "vos/error.h"

using namespace texttest;
using tbl::Column;
using tbl::Table;

namespace {

// A new text table with a double, an int and a string column of 8.
struct Fixture {
  TempFile file{"elem"};
  Table* tp = nullptr;
  Column *d = nullptr, *i = nullptr, *s = nullptr;
  Fixture() {
    tp = tbl::tbtopn(file.path, tbl::kNewFile, nullptr);
    tbl::tbpset(tp, 5, tbl::kTextTable);
    tbl::tbcdef1(tp, d, "d", "", "%6.2f", tbl::kTyDouble, 1);
    tbl::tbcdef1(tp, i, "i", "", "", tbl::kTyInt, 1);
    tbl::tbcdef1(tp, s, "s", "", "", tbl::kTyBool, 1);  // kept as a string of 8
    tbl::tbtcre(tp);
  }
  ~Fixture() { tbl::tbtclo(tp); }
  std::vector<int> ints() {
    std::vector<int> out;
    for (int r = 1; r <= tp->nrows; ++r) {
      int v = 0;
      tbl::tbzgti(tp, i, r, v);
      out.push_back(v);
    }
    return out;
  }
};

}  // namespace

TEST(TextElement, Conversions) {
  Fixture fx;
  EXPECT_EQ(fx.s->dtype, -8);
  tbl::tbeptt(fx.tp, fx.d, 1, "INDEF");
  std::string t;
  tbl::tbegtt(fx.tp, fx.d, 1, t, 20);
  EXPECT_EQ(t, "INDEF");
  int v = 0;
  tbl::tbegti(fx.tp, fx.d, 1, v);
  EXPECT_EQ(v, tbl::kIndefI);
  tbl::tbzptd(fx.tp, fx.i, 1, 2.5);
  tbl::tbzptd(fx.tp, fx.i, 2, -2.5);
  tbl::tbzptd(fx.tp, fx.i, 3, 5e9);  // outside the int range: undefined
  tbl::tbzwer(fx.tp, 3);
  EXPECT_EQ(fx.ints(), (std::vector<int>{3, -3, tbl::kIndefI}));
  tbl::tbzptb(fx.tp, fx.s, 1, true);
  tbl::tbegtt(fx.tp, fx.s, 1, t, 20);
  EXPECT_EQ(t, "yes");
  bool b = false;
  for (const char* yes : {"YES", "True"}) {
    tbl::tbzptt(fx.tp, fx.s, 2, yes);
    tbl::tbzgtb(fx.tp, fx.s, 2, b);
    EXPECT_TRUE(b) << yes;
  }
  tbl::tbzptt(fx.tp, fx.s, 2, "1");
  tbl::tbzgtb(fx.tp, fx.s, 2, b);
  EXPECT_FALSE(b);
  tbl::tbzptd(fx.tp, fx.d, 2, 3.14159);
  tbl::tbzgtt(fx.tp, fx.d, 2, t, 20);
  EXPECT_EQ(t, "  3.14");
  short sh = 0;
  tbl::tbzpti(fx.tp, fx.i, 1, 40000);
  tbl::tbzgts(fx.tp, fx.i, 1, sh);
  EXPECT_EQ(sh, tbl::kIndefS);
  float r = 0;
  tbl::tbzptd(fx.tp, fx.d, 3, 1e300);
  tbl::tbzgtr(fx.tp, fx.d, 3, r);
  EXPECT_EQ(r, tbl::kIndefR);
}

TEST(TextElement, ColumnRangesFlagUndefinedCells) {
  Fixture fx;
  tbl::tbzwer(fx.tp, 3);
  tbl::tbzptt(fx.tp, fx.s, 2, "x");
  std::string vals[3];
  bool nulls[3];
  tbl::tbzcgt(fx.tp, fx.s, vals, nulls, 10, 1, 3);
  EXPECT_TRUE(nulls[0]);
  EXPECT_FALSE(nulls[1]);
  EXPECT_EQ(vals[1], "x");
  int ivals[3] = {4, tbl::kIndefI, 6};
  tbl::tbzcpi(fx.tp, fx.i, ivals, 1, 3);
  int got[3];
  bool inul[3];
  tbl::tbzcgi(fx.tp, fx.i, got, inul, 1, 3);
  EXPECT_EQ(std::vector<bool>(inul, inul + 3), (std::vector<bool>{false, true, false}));
}

TEST(TextElement, RoomForRows) {
  Fixture fx;
  tbl::tbzwer(fx.tp, 3);
  tbl::tbzwer(fx.tp, 5);
  EXPECT_EQ(fx.tp->nrows, 5);
  EXPECT_EQ(fx.tp->allrows, 100);
  tbl::tbzwer(fx.tp, 101);
  EXPECT_EQ(fx.tp->allrows, 1101);
  int v = 0;
  tbl::tbzgti(fx.tp, fx.i, 1101, v);
  EXPECT_EQ(v, tbl::kIndefI);
}

TEST(TextElement, ShiftingRows) {
  struct Case { int first, shift; std::vector<int> after; };
  const Case cases[] = {
      {2, -2, {1, 4, 5}},
      {7, -2, {1, 2, 3, 4, 5}},
      {4, -3, {1, 2, 3}},
      {2, 2, {1, 2, 3, 2, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    Fixture fx;
    for (int r = 1; r <= 5; ++r) {
      tbl::tbzwer(fx.tp, r);
      tbl::tbzpti(fx.tp, fx.i, r, r);
    }
    tbl::tbzsft(fx.tp, c.first, c.shift);
    EXPECT_EQ(fx.ints(), c.after) << c.first << " " << c.shift;
  }
}

TEST(TextElement, KeywordLines) {
  Fixture fx;
  tbl::tbzkey(fx.tp, "#k A = 1\n", 0);
  tbl::tbzkey(fx.tp, "#k B = 2", 0);
  tbl::tbzkey(fx.tp, "#k A = 3", 1);
  EXPECT_EQ(fx.tp->npar, 2);
  EXPECT_EQ(fx.tp->keylines[0], "#k A = 3");
  EXPECT_THROW(tbl::tbzkey(fx.tp, "#k C = 4", 5), vos::Error);
  for (int n = 0; n < 200; ++n) tbl::tbzkey(fx.tp, "#k N = " + std::to_string(n), 0);
  EXPECT_EQ(fx.tp->npar, 202);
}
