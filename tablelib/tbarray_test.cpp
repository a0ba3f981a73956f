// Array elements: runs of elements in row-ordered and FITS tables, the
// one-element road for the other types, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "tbrowfix.h"

namespace tbl {
namespace {

using namespace tbl::testing;

class ArraysByType : public ::testing::TestWithParam<int> {
 protected:
  ScratchDir dir_;
  std::string name_ = file_for(dir_, "arr", GetParam());
};

// Elements 2 to 3 put in a row beyond the last extend the table with
// undefined rows; reads are cut at the end of the cell.
TEST_P(ArraysByType, RunsOfElements) {
  Cols c;
  Table* tp = make_table(name_, GetParam(), c);
  Closer close(tp);
  tbepti(tp, c.i, 1, 5);
  const double put[] = {20.0, 30.0};
  tbaptd(tp, c.a, 3, put, 2, 2);
  EXPECT_EQ(tbpsta(tp, 21), 3);
  int got[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(tbagti(tp, c.a, 3, got, 1, 5), 3);
  EXPECT_EQ(got[0], kIndefI);
  EXPECT_EQ(got[1], 20);
  EXPECT_EQ(got[2], 30);
  EXPECT_EQ(tbagti(tp, c.a, 2, got, 1, 3), 3);
  EXPECT_EQ(got[1], kIndefI);
  short s[2];
  EXPECT_EQ(tbagts(tp, c.a, 3, s, 3, 2), 1);
  EXPECT_EQ(s[0], 30);
  double d[1];
  EXPECT_EQ(tbagtd(tp, c.a, 3, d, 2, 1), 1);
  EXPECT_EQ(d[0], 20.0);
  float r[2];
  EXPECT_EQ(tbagtr(tp, c.a, 3, r, 2, 2), 2);
  EXPECT_EQ(r[1], 30.0f);
  std::string t[2];
  EXPECT_EQ(tbagtt(tp, c.a, 3, t, 20, 2, 2), 2);
  EXPECT_EQ(t[0].substr(t[0].find_first_not_of(' ')), "20");
  const bool bv[] = {true, false};
  tbaptb(tp, c.a, 1, bv, 1, 2);
  bool b[2];
  EXPECT_EQ(tbagtb(tp, c.a, 1, b, 1, 2), 2);
  EXPECT_TRUE(b[0]);
  EXPECT_FALSE(b[1]);

  // Too many elements: refused before the table grows.
  int code = 0;
  EXPECT_EQ(error_of([&] { tbaptd(tp, c.a, 9, put, 3, 2); }, &code),
            "tbaptd:  attempt to put too many elements");
  EXPECT_EQ(tbpsta(tp, 21), 3);
  EXPECT_EQ(error_of([&] { tbagtd(tp, c.a, 4, d, 1, 2); }, &code), "input row is beyond EOF");
  EXPECT_EQ(code, 51);
}

INSTANTIATE_TEST_SUITE_P(WithArrays, ArraysByType, ::testing::Values(kRowOrdered, kFitsTable));

// Column-ordered and text tables serve one element at element 1 only.
TEST(Arrays, OtherTypesServeOneElement) {
  for (int type : {kColOrdered, kTextTable}) {
    ScratchDir dir;
    Cols c;
    Table* tp = make_table(file_for(dir, "one", type), type, c);
    Closer close(tp);
    const double one[] = {4.0, 5.0};
    tbaptd(tp, c.d, 1, one, 1, 1);
    double d[2] = {0, 0};
    EXPECT_EQ(tbagtd(tp, c.d, 1, d, 1, 1), 1) << type;
    EXPECT_EQ(d[0], 4.0) << type;
    EXPECT_EQ(error_of([&] { tbagtd(tp, c.d, 1, d, 1, 2); }),
              "can't read an array from this type of table")
        << type;
    EXPECT_EQ(error_of([&] { tbaptd(tp, c.d, 1, one, 1, 2); }),
              "can't write an array to this type of table")
        << type;
    // n = 0 reads nothing without looking at the type, but a row 0 is
    // refused before anything else.
    EXPECT_EQ(tbagtd(tp, c.d, 1, d, 2, 0), 0);
    int code = 0;
    EXPECT_EQ(error_of([&] { tbagtd(tp, c.d, 0, d, 1, 0); }, &code),
              "tbagtd:  invalid row or element number");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(error_of([&] { tbaptt(tp, c.t, 1, nullptr, 5, 0, 1); }),
              "tbaptt:  invalid row or element number");
  }
}

// A text element put through the one-element road is cut to maxch.
TEST(Arrays, TextElementsAreCut) {
  ScratchDir dir;
  Cols c;
  Table* tp = make_table(dir.path("t.tab"), kRowOrdered, c);
  Closer close(tp);
  const std::string v[] = {"abcdefgh"};
  tbaptt(tp, c.t, 1, v, 3, 1, 1);
  std::string got[1];
  EXPECT_EQ(tbagtt(tp, c.t, 1, got, 20, 1, 1), 1);
  EXPECT_EQ(got[0], "abc");
}

}  // namespace
}  // namespace tbl
