// Tables opened through the core with row and column selectors in their
// names: the rows and columns seen, reading and writing through the
// selection, columns defined later, and failures at open.
#include <gtest/gtest.h>

#include <string>

#include "sel_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbcore.h"

namespace tbl {
namespace {

using seltest::error_of;
using seltest::Scratch;

class OpenWithSelectors : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { name_ = seltest::make_sample(dir_.path(GetParam() == kFitsTable ? "sample.fits" : "sample"), GetParam()); }

  std::string col_names(Table* tp) {
    std::string out;
    for (int c = 1; c <= tbpsta(tp, 22); ++c) {
      std::string n;
      tbcigt(tbcnum(tp, c), 41, n, 79);
      out += (c > 1 ? " " : "") + n;
    }
    return out;
  }
  int id_at(Table* tp, int row) {
    Column* id = nullptr;
    tbcfnd1(tp, "id", id);
    int v = 0;
    tbegti(tp, id, row, v);
    return v;
  }

  Scratch dir_;
  std::string name_;
};

TEST_P(OpenWithSelectors, ShowsOnlyTheSelectedRowsAndColumns) {
  Table* tp = tbtopn(name_ + "[row:id = 3:5, name = !delta][col:name,ID]", kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 21), 2);
  EXPECT_EQ(tbpsta(tp, 22), 2);
  EXPECT_EQ(col_names(tp), "name id");
  EXPECT_EQ(tbcnum(tp, 3), nullptr);
  EXPECT_EQ(tbcnum(tp, 0), nullptr);
  EXPECT_EQ(id_at(tp, 1), 3);
  EXPECT_EQ(id_at(tp, 2), 5);
  std::string text;
  tbegtt(tp, tbcnum(tp, 1), 1, text, 20);
  EXPECT_EQ(text, "gamma");
  int row = 0;
  EXPECT_EQ(error_of([&] { tbsirow(tp, 3, row); }), "input row is beyond EOF");
  EXPECT_EQ(error_of([&] { tbsirow(tp, 0, row); }), "row number less than one is invalid");
  tbsirow(tp, 2, row);
  EXPECT_EQ(row, 5);

  // Column records and sizes follow the selection.
  Column* d = nullptr;
  tbcfnd1(tp, "d", d);
  ASSERT_NE(d, nullptr) << "every column is still found by name";
  EXPECT_EQ(tbcdes(tp, d), nullptr);
  ASSERT_NE(tbcdes(tp, tbcnum(tp, 2)), nullptr);
  EXPECT_EQ(tcscolumn(tbcdes(tp, tbcnum(tp, 2))), tbcnum(tp, 2));
  EXPECT_EQ(tbpsta(tp, 25), tbcnum(tp, 1)->length + tbcnum(tp, 2)->length);
  tbtclo(tp);

  tp = tbtopn(name_ + "[c:!name,d,s][r:row = 9:]", kReadOnly, nullptr);
  EXPECT_EQ(col_names(tp), "id flag r");
  EXPECT_EQ(tbpsta(tp, 21), 2);
  EXPECT_EQ(id_at(tp, 2), 10);
  tbtclo(tp);

  tp = tbtopn(name_ + "[row:id = 20:]", kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 21), 0);
  EXPECT_EQ(error_of([&] { id_at(tp, 1); }), "input row is beyond EOF");
  tbtclo(tp);
}

TEST_P(OpenWithSelectors, WritesBeyondTheSelectionGoAfterTheLastRow) {
  Table* tp = tbtopn(name_ + "[row:row = (2, 5, 9)]", kReadWrite, nullptr);
  Column* id = nullptr;
  tbcfnd1(tp, "id", id);
  ASSERT_EQ(tbpsta(tp, 21), 3);
  EXPECT_EQ(id_at(tp, 2), 5);
  tbepti(tp, id, 2, 50);   // row 5
  tbepti(tp, id, 4, 110);  // beyond the selection: row 11
  EXPECT_EQ(tbpsta(tp, 21), 4);
  EXPECT_EQ(id_at(tp, 4), 110);
  tbepti(tp, id, 6, 130);  // row 13; row 12 joins the selection empty
  EXPECT_EQ(tbpsta(tp, 21), 6);
  int row = 0;
  tbsirow(tp, 5, row);
  EXPECT_EQ(row, 12);
  tbtclo(tp);

  tp = tbtopn(name_, kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 21), 13);
  EXPECT_EQ(id_at(tp, 5), 50);
  EXPECT_EQ(id_at(tp, 11), 110);
  EXPECT_EQ(id_at(tp, 12), kIndefI);
  EXPECT_EQ(id_at(tp, 13), 130);
  EXPECT_EQ(id_at(tp, 2), 2);
  tbtclo(tp);
}

TEST_P(OpenWithSelectors, ColumnsDefinedLaterJoinTheSelection) {
  Table* tp = tbtopn(name_ + "[col:id,s]", kReadWrite, nullptr);
  Column* extra = nullptr;
  tbcdef1(tp, extra, "extra", "", "", kTyInt, 1);
  EXPECT_EQ(tbpsta(tp, 22), 3);
  EXPECT_EQ(tbcnum(tp, 3), extra);
  for (int k = 0; k < 25; ++k) tbcdef1(tp, extra, "more" + std::to_string(k), "", "", kTyInt, 1);
  EXPECT_EQ(tbpsta(tp, 22), 28);
  EXPECT_EQ(tbcnum(tp, 28), extra);
  EXPECT_EQ(col_names(tp).substr(0, 12), "id s extra m");
  tbepti(tp, extra, 3, 7);
  tbtclo(tp);

  tp = tbtopn(name_, kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 22), 32);
  int v = 0;
  tbegti(tp, tbcnum(tp, 32), 3, v);
  EXPECT_EQ(v, 7);
  tbtclo(tp);
}

TEST_P(OpenWithSelectors, ATemplateGivesOnlyItsSelectedColumns) {
  Table* in = tbtopn(name_ + "[col:name,r]", kReadOnly, nullptr);
  Table* out = tbtopn(dir_.path("copy"), kNewCopy, in);
  tbtcre(out);
  EXPECT_EQ(tbpsta(out, 22), 2);
  EXPECT_EQ(col_names(out), "name r");
  tbtclo(out);
  tbtclo(in);
}

TEST_P(OpenWithSelectors, FailuresAtOpenLeaveNothingOpen) {
  EXPECT_EQ(error_of([&] { tbtopn(name_ + "[row:nosuch = 1]", kReadOnly, nullptr); }),
            "Error in table row selector, column not found. Last read: nosuch = 1\n");
  EXPECT_EQ(error_of([&] { tbtopn(name_ + "[row:id = 1][col:id(1:2)]", kReadOnly, nullptr); }),
            "Syntax error in array section");
  EXPECT_EQ(error_of([&] { tbtopn(name_ + "[col:id,[x]", kReadOnly, nullptr); }),
            "No closing bracket (" + name_ + "[col:id,[x])");
  // A group too long for its string is refused, not cut to other rows.
  const std::string long_group = name_ + "[r:row = 1:" + std::string(245, ' ') + "5]";
  EXPECT_EQ(error_of([&] { tbtopn(long_group, kReadOnly, nullptr); }),
            "Bracket group too long (" + long_group + ")");
  EXPECT_EQ(error_of([&] { tbtopn(name_ + "[row:id = 1]", kNewFile, nullptr); }),
            "tbtopn:  Row and column selectors may only be used with existing tables.");
  // The file is untouched and opens as before.
  Table* tp = tbtopn(name_, kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 21), 10);
  tbtclo(tp);
}

INSTANTIATE_TEST_SUITE_P(Storage, OpenWithSelectors, ::testing::Values(kRowOrdered, kColOrdered, kTextTable, kFitsTable));

}  // namespace
}  // namespace tbl
