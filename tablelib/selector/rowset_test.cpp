// Row sets: construction, lookup by rank, set algebra, insertion and
// deletion of rows and blocks, and text form.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "sel_testutil.h"
#include "tablelib/tbselector.h"

namespace tbl {
namespace {

using seltest::show;

// A set from ranges given as {lo, hi} pairs, appended in order.
RowSet* make(std::vector<std::pair<int, int>> ranges) {
  RowSet* s = rstcre(0, 0);
  for (auto [lo, hi] : ranges)
    for (int r = lo; r <= hi; ++r) rstadl(s, r);
  return s;
}

TEST(RowSet, CreateCountAndText) {
  struct Case {
    int lo, hi;
    const char* text;
    int count;
  } cases[] = {{0, 0, "", 0}, {9, 3, "3:9", 7}, {5, 5, "5", 1}, {0, 7, "", 0}, {-3, 4, "", 0}};
  for (const Case& c : cases) {
    RowSet* s = rstcre(c.lo, c.hi);
    EXPECT_EQ(show(s), c.text) << c.lo << " " << c.hi;
    EXPECT_EQ(rstnem(s), c.count);
    EXPECT_EQ(rstrom(s, 1), c.count > 0 ? std::min(c.lo, c.hi) : 0);
    rstfre(s);
    EXPECT_EQ(s, nullptr);
  }
}

TEST(RowSet, AddingRowsMergesTouchingRanges) {
  RowSet* s = make({{3, 5}, {6, 8}});
  EXPECT_EQ(show(s), "3:8");
  rstfre(s);
  s = make({{1, 5}, {7, 9}});
  rstadl(s, 6);
  EXPECT_EQ(show(s), "1:9");
  rstadl(s, 12);
  rstadl(s, 11);
  rstadl(s, 0);  // not a row number
  EXPECT_EQ(show(s), "1:9,11:12");
  EXPECT_TRUE(rstint(s, 11));
  EXPECT_FALSE(rstint(s, 10));
  EXPECT_FALSE(rstint(s, 13));
  rstfre(s);
}

TEST(RowSet, RankLookupInAnyOrder) {
  RowSet* s = make({{1, 3}, {10, 12}});
  EXPECT_EQ(rstrom(s, 4), 10);
  EXPECT_EQ(rstrom(s, 7), 0);
  EXPECT_EQ(rstrom(s, 0), 0);
  EXPECT_EQ(rstrom(s, -5), 0);
  const int want[] = {0, 12, 11, 10, 3, 2, 1};
  for (int i = 6; i >= 1; --i) EXPECT_EQ(rstrom(s, i), want[7 - i]) << i;
  rstfre(s);

  // Many ranges: sequential, backward and scattered lookups agree.
  RowSet* big = rstcre(0, 0);
  std::vector<int> rows;
  for (int r = 1; r <= 3000; r += (r % 7) + 1) {
    rstadl(big, r);
    rows.push_back(r);
  }
  ASSERT_EQ(rstnem(big), static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rstrom(big, static_cast<int>(i) + 1), rows[i]);
  for (std::size_t i = rows.size(); i >= 1; --i) ASSERT_EQ(rstrom(big, static_cast<int>(i)), rows[i - 1]);
  for (std::size_t i = 0; i < rows.size(); i += 97)
    ASSERT_EQ(rstrom(big, static_cast<int>((i * 31) % rows.size()) + 1), rows[(i * 31) % rows.size()]);
  rstfre(big);
}

TEST(RowSet, Algebra) {
  struct Case {
    const char* what;
    std::function<RowSet*()> make_result;
    const char* text;
  } cases[] = {
      {"and", [] { RowSet *a = make({{1, 10}}), *b = make({{3, 4}, {6, 7}});
                   RowSet* r = rstand(a, b); rstfre(a); rstfre(b); return r; }, "3:4,6:7"},
      {"and disjoint", [] { RowSet *a = make({{1, 3}}), *b = make({{5, 7}});
                   RowSet* r = rstand(a, b); rstfre(a); rstfre(b); return r; }, ""},
      {"and staggered", [] { RowSet *a = make({{1, 4}, {8, 12}}), *b = make({{3, 9}, {11, 20}});
                   RowSet* r = rstand(a, b); rstfre(a); rstfre(b); return r; }, "3:4,8:9,11:12"},
      {"or touching", [] { RowSet *a = make({{1, 3}}), *b = make({{4, 6}});
                   RowSet* r = rstor(a, b); rstfre(a); rstfre(b); return r; }, "1:6"},
      {"or overlapping", [] { RowSet *a = make({{1, 4}, {9, 9}}), *b = make({{3, 6}, {20, 21}});
                   RowSet* r = rstor(a, b); rstfre(a); rstfre(b); return r; }, "1:6,9,20:21"},
      {"not", [] { RowSet* a = make({{3, 4}, {7, 7}}); RowSet* r = rstnot(10, a); rstfre(a);
                   return r; }, "1:2,5:6,8:10"},
      {"not of empty", [] { RowSet* a = rstcre(0, 0); RowSet* r = rstnot(4, a); rstfre(a);
                   return r; }, "1:4"},
      {"not within nothing", [] { RowSet* a = rstcre(0, 0); RowSet* r = rstnot(0, a); rstfre(a);
                   return r; }, ""},
      {"not stays within n", [] { RowSet* a = make({{3, 4}, {15, 20}}); RowSet* r = rstnot(10, a);
                   rstfre(a); return r; }, "1:2,5:10"},
      {"copy", [] { RowSet* a = make({{2, 3}, {5, 5}}); RowSet* r = rstcoy(a); rstfre(a);
                   return r; }, "2:3,5"},
  };
  for (const Case& c : cases) {
    RowSet* r = c.make_result();
    EXPECT_EQ(show(r), c.text) << c.what;
    rstfre(r);
  }
}

TEST(RowSet, InsertAndDeleteBlocks) {
  struct Case {
    std::vector<std::pair<int, int>> set;
    char op;  // b insert block, d delete block, x delete row
    int row, n;
    const char* text;
  } cases[] = {
      {{{1, 5}, {10, 12}}, 'b', 3, 2, "1:7,12:14"},
      {{{1, 3}}, 'b', 3, 2, "1:5"},
      {{{1, 3}}, 'b', 10, 2, "1:3,11:12"},
      {{{4, 6}}, 'b', 0, 3, "1:3,7:9"},
      {{{1, 3}}, 'b', 3, 0, "1:3"},
      {{{1, 10}}, 'd', 4, 3, "1:7"},
      {{{1, 3}, {5, 6}, {9, 12}}, 'd', 4, 4, "1:3,5:8"},
      {{{2, 3}}, 'd', 5, 2, "2:3"},
      {{{1, 5}}, 'x', 3, 0, "1:2,4:5"},
      {{{1, 5}}, 'x', 1, 0, "2:5"},
      {{{1, 5}}, 'x', 5, 0, "1:4"},
      {{{1, 5}}, 'x', 7, 0, "1:5"},
      {{{4, 4}}, 'x', 4, 0, ""},
  };
  for (const Case& c : cases) {
    RowSet* s = make(c.set);
    if (c.op == 'b') rstadb(s, c.row, c.n);
    if (c.op == 'd') rstdeb(s, c.row, c.n);
    if (c.op == 'x') rstdel(s, c.row);
    EXPECT_EQ(show(s), c.text) << c.op << " " << c.row << " " << c.n;
    int count = 0;
    for (int i = 1; rstrom(s, i) != 0; ++i) ++count;
    EXPECT_EQ(count, rstnem(s));
    rstfre(s);
  }
}

TEST(RowSet, BoundsNearTheLargestRowNeverOverflow) {
  RowSet* s = rstcre(INT_MAX - 2, INT_MAX);
  rstadl(s, INT_MAX - 4);
  EXPECT_EQ(show(s), "2147483643,2147483645:2147483647");
  rstadb(s, INT_MAX - 5, 3);  // members pushed past the largest row drop out
  EXPECT_EQ(show(s), "2147483643:2147483646");
  RowSet* n = rstnot(INT_MAX, s);
  EXPECT_EQ(rstnem(n), INT_MAX - 4);
  rstfre(n);
  rstfre(s);
}

TEST(RowSet, TextStopsAtTheLastWholeRange) {
  RowSet* s = make({{1, 5}, {7, 7}, {9, 12}});
  std::string text;
  rstshw(s, text, 1023);
  EXPECT_EQ(text, "1:5,7,9:12");
  rstshw(s, text, 7);
  EXPECT_EQ(text, "1:5,7");
  rstshw(s, text, 2);
  EXPECT_EQ(text, "");
  rstfre(s);
}

}  // namespace
}  // namespace tbl
