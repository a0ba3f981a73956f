// Rows: multi-column gets and puts over every storage type, undefined rows,
// deletion, shifts, swaps and the copy of cells with conversion.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tbrowfix.h"

namespace tbl {
namespace {

using namespace tbl::testing;

class RowsByType : public ::testing::TestWithParam<int> {
 protected:
  ScratchDir dir_;
  std::string name_ = file_for(dir_, "rows", GetParam());
};

// Row 2 is written first (row 1 comes into being undefined), the values
// survive close and reopen, and the undefined flags follow the cells.
TEST_P(RowsByType, PutAndGetRowsSurviveReopen) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  Column* nums[] = {c.i, c.d, c.r, c.s};
  const double vals[] = {42, 2.5, -0.25, 7};
  tbrptd(tp, nums, vals, 4, 2);
  const std::string texts[] = {"hello world!!!", "x"};
  Column* tcols[] = {c.t};
  tbrptt(tp, tcols, texts, 5, 1, 2);
  const bool bv[] = {true};
  Column* bcols[] = {c.b};
  tbrptb(tp, bcols, bv, 1, 2);
  EXPECT_EQ(tbpsta(tp, 21), 2);
  tbtclo(tp);

  tp = reopen(name_, kReadOnly, c);
  Column* nums2[] = {c.i, c.d, c.r, c.s};
  double got[4];
  bool nulls[4];
  tbrgtd(tp, nums2, got, nulls, 4, 2);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(got[k], vals[k]) << k;
    EXPECT_FALSE(nulls[k]) << k;
  }
  int ints[4];
  tbrgti(tp, nums2, ints, nulls, 4, 1);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(ints[k], kIndefI) << k;
    EXPECT_TRUE(nulls[k]) << k;
  }
  std::string t[1];
  Column* tcols2[] = {c.t};
  tbrgtt(tp, tcols2, t, nulls, 20, 1, 2);
  EXPECT_EQ(t[0], "hello");
  EXPECT_FALSE(nulls[0]);
  tbrgtt(tp, tcols2, t, nulls, 20, 1, 1);
  EXPECT_TRUE(nulls[0]) << "'" << t[0] << "'";
  bool b[1];
  Column* bcols2[] = {c.b};
  tbrgtb(tp, bcols2, b, nulls, 1, 2);
  EXPECT_TRUE(b[0]);
  short sh[1];
  Column* scols[] = {c.s};
  tbrgts(tp, scols, sh, nulls, 1, 2);
  EXPECT_EQ(sh[0], 7);
  float re[1];
  Column* rcols[] = {c.r};
  tbrgtr(tp, rcols, re, nulls, 1, 2);
  EXPECT_EQ(re[0], -0.25f);

  int code = 0;
  EXPECT_EQ(error_of([&] { tbrptd(tp, nums2, vals, 4, 1); }, &code),
            "can't write to table; it's readonly");
  EXPECT_EQ(code, 3);
  EXPECT_EQ(error_of([&] { tbrgtd(tp, nums2, got, nulls, 4, 3); }, &code),
            "input row is beyond EOF");
  EXPECT_EQ(code, 51);
  EXPECT_EQ(error_of([&] { tbrgtd(tp, nums2, got, nulls, 4, 0); }, &code),
            "row number less than one is invalid");
  EXPECT_EQ(code, 1);
}

// Deleting rows 4 to 9 of a 6-row table leaves rows 1 to 3; deleting from
// the middle closes the gap.
TEST_P(RowsByType, DeleteRowsClosesTheGap) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  for (int r = 1; r <= 6; ++r) tbepti(tp, c.i, r, r * 10);
  tbrdel(tp, 4, 9);
  EXPECT_EQ(tbpsta(tp, 21), 3);
  tbrdel(tp, 1, 1);
  ASSERT_EQ(tbpsta(tp, 21), 2);
  int v = 0;
  tbegti(tp, c.i, 1, v);
  EXPECT_EQ(v, 20);
  tbegti(tp, c.i, 2, v);
  EXPECT_EQ(v, 30);
  tbrdel(tp, 5, 7);  // beyond the end: nothing
  EXPECT_EQ(tbpsta(tp, 21), 2);
  int code = 0;
  EXPECT_EQ(error_of([&] { tbrdel(tp, 0, 1); }, &code),
            "tbrdel:  Row number less than one is invalid.");
}

// Rows made undefined, a column of one row made undefined, a row beyond the
// end only extending the table, and two rows swapped.
TEST_P(RowsByType, UndefineAndSwapRows) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  for (int r = 1; r <= 5; ++r) {
    tbepti(tp, c.i, r, r);
    tbeptt(tp, c.t, r, "row" + std::to_string(r));
    tbeptd(tp, c.d, r, r + 0.5);
  }
  tbrswp(tp, 2, 5);
  int v = 0;
  std::string s;
  double d = 0;
  tbegti(tp, c.i, 2, v);
  tbegtt(tp, c.t, 5, s, 20);
  tbegtd(tp, c.d, 2, d);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(s, "row2");
  EXPECT_EQ(d, 5.5);
  tbrswp(tp, 3, 3);
  tbegti(tp, c.i, 3, v);
  EXPECT_EQ(v, 3);

  tbrnll(tp, 4, 99);
  tbegti(tp, c.i, 4, v);
  EXPECT_EQ(v, kIndefI);
  tbegti(tp, c.i, 5, v);
  EXPECT_EQ(v, kIndefI);
  tbegti(tp, c.i, 3, v);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(error_of([] {}), "(no error)");
  int code = 0;
  EXPECT_EQ(error_of([&] { tbrnll(tp, 3, 2); }, &code), "tbrnll:  lastrow is less than firstrow");
  EXPECT_EQ(code, 1);

  Column* cols[] = {c.t};
  tbrudf(tp, cols, 1, 1);
  tbegtt(tp, c.t, 1, s, 20);
  EXPECT_EQ(s, "") << "an undefined string reads empty";
  tbegti(tp, c.i, 1, v);
  EXPECT_EQ(v, 1);
  tbrudf(tp, cols, 1, 8);
  EXPECT_EQ(tbpsta(tp, 21), 8);
  EXPECT_EQ(error_of([&] { tbrudf(tp, cols, 1, 0); }), "tbrudf:  row number must be > 0");
}

// Undefined numbers read as text are flagged from the value read, whatever
// the print format pads them to and however short the caller's buffer is.
TEST_P(RowsByType, UndefinedNumbersReadAsTextAreFlagged) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  tbcfmt(tp, c.d, "%12.5g");
  tbcfmt(tp, c.r, "%10.3f");
  tbcfmt(tp, c.i, "%8d");
  tbcfmt(tp, c.s, "%6d");
  Column* nums[] = {c.d, c.r, c.i, c.s};
  const double defined[] = {2.5, -0.25, 42, 7};
  const double undefined[] = {kIndefD, kIndefD, kIndefD, kIndefD};
  tbrptd(tp, nums, defined, 4, 1);
  tbrptd(tp, nums, undefined, 4, 2);
  for (int maxch : {20, 12, 3}) {
    for (int row : {1, 2}) {
      std::string text[4];
      bool nulls[4] = {};
      tbrgtt(tp, nums, text, nulls, maxch, 4, row);
      for (int k = 0; k < 4; ++k)
        EXPECT_EQ(nulls[k], row == 2) << "row " << row << " col " << k << " maxch " << maxch
                                      << " '" << text[k] << "'";
    }
    for (int k = 0; k < 4; ++k) {
      std::string text[2];
      bool nulls[2] = {};
      tbcgtt(tp, nums[k], text, nulls, maxch, 1, 2);
      EXPECT_FALSE(nulls[0]) << "col " << k << " maxch " << maxch << " '" << text[0] << "'";
      EXPECT_TRUE(nulls[1]) << "col " << k << " maxch " << maxch << " '" << text[1] << "'";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllStorage, RowsByType, ::testing::ValuesIn(kAllTypes));

// A row beyond the end of a table whose rows are not yet set leaves the
// modified flag untouched when nothing changes.
TEST(Rows, NullRowsBeyondTheEndChangeNothing) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("n.tab"), kRowOrdered, c);
  Closer close(tp);
  tbepti(tp, c.i, 2, 5);
  tbtflu(tp);
  tp->modified = false;
  tbrnll(tp, 3, 4);
  EXPECT_FALSE(tp->modified);
  EXPECT_EQ(tbpsta(tp, 21), 2);
}

// Read-only tables refuse every change before anything happens.
TEST(Rows, ReadOnlyTablesRefuseChanges) {
  ScratchDir dir;
  Cols c;
  const std::string name = dir.path("ro.tab");
  Table* tp = make_table(name, kRowOrdered, c);
  tbepti(tp, c.i, 3, 1);
  tbtclo(tp);
  tp = reopen(name, kReadOnly, c);
  Closer close(tp);
  Column* cols[] = {c.i};
  struct Case {
    const char* what;
    std::function<void()> fn;
    const char* msg;
  } cases[] = {
      {"tbrdel", [&] { tbrdel(tp, 1, 1); }, "can't write to table; it's readonly"},
      {"tbrnll", [&] { tbrnll(tp, 1, 1); }, "can't write to table; it's readonly"},
      {"tbrsft", [&] { tbrsft(tp, 1, 1); }, "can't write to table; it's readonly"},
      {"tbrswp", [&] { tbrswp(tp, 1, 2); }, "can't write to table; it's readonly"},
      {"tbrudf", [&] { tbrudf(tp, cols, 1, 1); }, "tbrudf:  can't delete entries in readonly table"},
  };
  for (const Case& k : cases) {
    int code = 0;
    EXPECT_EQ(error_of(k.fn, &code), k.msg) << k.what;
    EXPECT_EQ(code, 3) << k.what;
  }
  EXPECT_EQ(tbpsta(tp, 21), 3);
}

// Bad handles and a corrupt storage type give errors, never crashes.
TEST(Rows, BadColumnsAndTypesAreErrors) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("bad.tab"), kRowOrdered, c);
  Closer close(tp);
  tbepti(tp, c.i, 1, 1);
  Column* cols[] = {c.i, nullptr};
  double v[2];
  bool n[2];
  EXPECT_EQ(error_of([&] { tbrgtd(tp, cols, v, n, 2, 1); }), "tbrgtd:  null column pointer");
  const int saved = tp->type;
  tp->type = 99;
  int code = 0;
  EXPECT_EQ(error_of([&] { tbrgtd(tp, cols, v, n, 1, 1); }, &code),
            "tbrgtd:  table type is messed up");
  EXPECT_EQ(code, 81);
  EXPECT_EQ(error_of([&] { tbrptr(tp, cols, nullptr, 1, 1); }, &code),
            "tbrptr:  table type is messed up");
  tp->type = saved;
}

// Copies with conversion: scalars between types, an int array of 3 into
// one of 5 (two undefined elements), and the refusals.
TEST(Rows, CopyColumnsWithConversion) {
  ScratchDir dir;
  Cols ci, co, ct;
  Table* in = make_table(dir.path("in.tab"), kRowOrdered, ci);
  Closer c1(in);
  tbepti(in, ci.i, 1, 12);
  tbeptd(in, ci.d, 1, 3.75);
  tbeptt(in, ci.t, 1, "  8");
  const int arr[] = {1, 2, 3};
  tbapti(in, ci.a, 1, arr, 1, 3);

  Table* out = tbtopn(dir.path("out.tab"), kNewFile, nullptr);
  Closer c2(out);
  Column *od, *ot, *oi, *oa5, *oa2;
  tbcdef1(out, od, "D", "", "", kTyDouble, 1);
  tbcdef1(out, ot, "T", "", "", -10, 1);
  tbcdef1(out, oi, "I", "", "", kTyInt, 1);
  tbcdef1(out, oa5, "A5", "", "", kTyInt, 5);
  tbcdef1(out, oa2, "A2", "", "", kTyInt, 2);
  tbtcre(out);
  Column* from[] = {ci.i, ci.d, ci.t, ci.a};
  Column* to[] = {od, ot, oi, oa5};
  tbrcsc(in, out, from, to, 1, 3, 4);
  double d = 0;
  tbegtd(out, od, 3, d);
  EXPECT_EQ(d, 12.0);
  std::string s;
  tbegtt(out, ot, 3, s, 10);
  EXPECT_EQ(s.substr(0, 4), "3.75");
  int i = 0;
  tbegti(out, oi, 3, i);
  EXPECT_EQ(i, 8);
  int got[5];
  ASSERT_EQ(tbagti(out, oa5, 3, got, 1, 5), 5);
  EXPECT_EQ(got[0], 1);
  EXPECT_EQ(got[2], 3);
  EXPECT_EQ(got[3], kIndefI);
  EXPECT_EQ(got[4], kIndefI);

  Column* short_to[] = {oa2};
  Column* arr_from[] = {ci.a};
  EXPECT_EQ(error_of([&] { tbrcsc(in, out, arr_from, short_to, 1, 1, 1); }),
            "tbrcsc:  output array is shorter than input array");
  Table* text = make_table(dir.path("t.txt"), kTextTable, ct);
  Closer c3(text);
  Column* text_to[] = {ct.i};
  EXPECT_EQ(error_of([&] { tbrcsc(in, text, arr_from, text_to, 1, 1, 1); }),
            "Output table type does not support columns of arrays.");
}

// A stored row copied into a table with longer rows takes the rest of the
// output row from the output's null row; other pairs of tables go column by
// column with conversion.
TEST(Rows, CopyRowsBetweenTables) {
  ScratchDir dir;
  Table* in = tbtopn(dir.path("in.tab"), kNewFile, nullptr);
  Closer c1(in);
  Column* ii;
  tbcdef1(in, ii, "I", "", "", kTyInt, 1);
  tbtcre(in);
  tbepti(in, ii, 1, 11);
  tbepti(in, ii, 2, 22);

  Table* out = tbtopn(dir.path("out.tab"), kNewFile, nullptr);
  Closer c2(out);
  Column *oi, *od, *ot;
  tbcdef1(out, oi, "I", "", "", kTyInt, 1);
  tbcdef1(out, od, "D", "", "", kTyDouble, 1);
  tbcdef1(out, ot, "T", "", "", -6, 1);
  tbtcre(out);
  tbrcpy(in, out, 2, 1);
  tbrcpy(in, out, 1, 2);
  ASSERT_EQ(tbpsta(out, 21), 2);
  int v = 0;
  double d = 0;
  std::string t = "x";
  tbegti(out, oi, 1, v);
  EXPECT_EQ(v, 22);
  tbegti(out, oi, 2, v);
  EXPECT_EQ(v, 11);
  tbegtd(out, od, 2, d);
  EXPECT_EQ(d, kIndefD);
  tbegtt(out, ot, 2, t, 6);
  EXPECT_EQ(t, "") << "an undefined string reads empty";

  Cols ct;
  Table* text = make_table(dir.path("t.txt"), kTextTable, ct);
  Closer c3(text);
  tbrcpy(in, text, 2, 3);
  tbegti(text, ct.i, 3, v);
  EXPECT_EQ(v, 22);
  EXPECT_EQ(tbpsta(text, 21), 3);
}

// tbrchg sets the allocated rows of a column-ordered table only.
TEST(Rows, AllocatedRowsOfColumnOrderedTables) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("y.tab"), kColOrdered, c);
  Closer close(tp);
  tbepti(tp, c.i, 1, 4);
  tbrchg(tp, 250);
  EXPECT_EQ(tbpsta(tp, 3), 250);
  int v = 0;
  tbegti(tp, c.i, 1, v);
  EXPECT_EQ(v, 4);
  Cols c2;
  Table* x = make_table(dir.path("x.tab"), kRowOrdered, c2);
  Closer close2(x);
  const int before = tbpsta(x, 3);
  tbrchg(x, 250);
  EXPECT_EQ(tbpsta(x, 3), before);
}

}  // namespace
}  // namespace tbl
