// Row selectors over real tables: the grammar, the rows each expression
// selects in a row-ordered binary and a text table (tests on columns of
// every type, row-number tests, included files), the compiled code, and
// the errors with their messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sel_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbselector.h"
#include "trscode.h"

namespace tbl {
namespace {

using seltest::error_of;
using seltest::Scratch;
using seltest::show;

class RowSelector : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    name_ = seltest::make_sample(dir_.path(GetParam() == kFitsTable ? "sample.fits" : "sample"), GetParam());
    tp_ = tbtopn(name_, kReadOnly, nullptr);
  }
  void TearDown() override { tbtclo(tp_); }

  std::string rows(const std::string& expr) {
    RowSet* s = trsrows(tp_, expr);
    std::string text = show(s);
    rstfre(s);
    return text;
  }

  Scratch dir_;
  std::string name_;
  Table* tp_ = nullptr;
};

struct Selects {
  const char* expr;
  const char* rows;
};

TEST_P(RowSelector, SelectsTheRowsThatSatisfyTheExpression) {
  const Selects cases[] = {
      // no condition
      {"()", "1:10"},
      {" ; , ", "1:10"},
      // row numbers
      {"row = 5", "5"},
      {"row = (1:3, 8:)", "1:3,8:10"},
      {"row = 20:30", ""},
      {"row = 0", ""},
      {"row = :3.5", "1:3"},
      {"row = 2.5:4.5", "3:4"},
      {"row = !5", "1:4,6:10"},
      {"!(row = 5)", "1:4,6:10"},
      {"row = 3:8; id = !5", "3:4,6:8"},
      {"row = 5, !(id = 1, s = 10)", "5"},
      {"!(id = 1, s = 10), row = 5", "5"},
      {"!(row = 5, id = 5)", "1:4,6:10"},
      {"!(row = abc, id = 1)", "1:10"},
      {"id = 1, row = 1:5, s = 10", "1"},
      {"row = INDEF", ""},
      // int
      {"id = 3", "3"},
      {"ID = 3", "3"},
      {"1 = 3", "3"},
      {"id = (3, 7)", "3,7"},
      {"id = 5:3", "3:5"},
      {"id = :2", "1:2"},
      {"id = 9:", "9:10"},
      {"id = !(2:9)", "1,10"},
      {"id = %5", "5,7"},
      {"id = !%4", "1:3,8:10"},
      {"id = '3'", "3"},
      // bool, short, real, double
      {"flag = no", "1,3,5,7,9"},
      {"s = 40:", "4:10"},
      {"s = '30'", "3"},
      {"r = 2.5", "5"},
      {"r = (0.5, 5)", "1,10"},
      {"d = INDEF", "4"},
      {"d = :3", "1:2"},
      {"d = :INDEF", "1:3,5:10"},
      {"d = 13.5:", "9:10"},
      // text
      {"name = beta", "2"},
      {"name = Beta", "8"},
      {"name = 'x y'", "5"},
      {"name = ' x  y '", "5"},
      {"name = a:c", "1:2"},
      {"name = :b", "1,7:8,10"},
      {"name = y:", "9"},
      {"name = beta:", "2:6,9"},
      {"name = :beta", "1:2,7:8,10"},
      {"name = beta:beta", "2"},
      {"name = 10", "10"},
      {"name = '10'", "10"},
      {"name = INDEF", "1:9"},
      {"name = ''", "7"},
      // combinations
      {"id = 3:5, s = 40:", "4:5"},
      {"id = 3:8; !(name = gamma, flag = no)", "4:8"},
      {"!!(id = 2)", "2"},
      {"(id = 1), ((id = 1:2))", "1"},
      // "!" of no condition never holds
      {"!", ""},
      {"!()", ""},
      {"id = 3, !", ""},
      {"!!", "1:10"},
      {"!(!, id = 2)", "1:10"},
  };
  for (const Selects& c : cases) EXPECT_EQ(rows(c.expr), c.rows) << c.expr;
}

TEST_P(RowSelector, BooleanCellsReadAsNumbers) {
  // Text tables keep booleans as words, which read as no number.
  EXPECT_EQ(rows("flag = 1"), GetParam() == kTextTable ? "" : "2,4,6,8,10");
  EXPECT_EQ(rows("flag = yes"), "2,4,6,8,10");
}

TEST_P(RowSelector, IncludedFiles) {
  dir_.write("a.sel", "id = (1,\n 2)\n");
  dir_.write("b.sel", "@'" + dir_.path("a.sel") + "'; row = 2:\n");
  dir_.write("five.sel", "\t5\n");
  EXPECT_EQ(rows("@" + dir_.path("a.sel")), "1:2");
  EXPECT_EQ(rows("@" + dir_.path("b.sel") + ", s = 20"), "2");
  EXPECT_EQ(rows("id = @" + dir_.path("five.sel") + ", s = 50"), "5");
  // Eight files deep is allowed, a ninth is not.
  for (int k = 1; k <= 9; ++k)
    dir_.write("n" + std::to_string(k) + ".sel",
               k < 9 ? "@" + dir_.path("n" + std::to_string(k + 1) + ".sel") : "id = 9");
  EXPECT_EQ(rows("@" + dir_.path("n2.sel")), "9");
  const std::string deep = error_of([&] { rows("@" + dir_.path("n1.sel")); });
  EXPECT_EQ(deep.substr(0, 64), "Error in table row selector, files nested too deep. Last read: @");
  dir_.write("self.sel", "@" + dir_.path("self.sel"));
  EXPECT_EQ(error_of([&] { rows("@" + dir_.path("self.sel")); }).substr(0, 50),
            "Error in table row selector, files nested too deep");
}

TEST_P(RowSelector, Errors) {
  const std::string kHead = "Error in table row selector, ";
  const Selects cases[] = {
      {"id = 1,2", "syntax error. Last read: id = 1,2\n"},
      {"id = 1 2", "syntax error. Last read: id = 1 2\n"},
      {"id = lo:9", "syntax error. Last read: id = lo:9\n"},
      {"id = %abc", "syntax error. Last read: id = %abc\n"},
      {"id", "syntax error. Last read: id\n"},
      {"id = (1, 2", "syntax error. Last read: id = (1, 2\n"},
      {"nosuch = 1", "column not found. Last read: nosuch = 1\n"},
      {"99 = 1", "column not found. Last read: 99 = 1\n"},
      {"1e30 = 1", "column not found. Last read: 1e30 = 1\n"},
      {"name = 'abc", "trailing quote not found. Last read: name = 'abc\n"},
      {"@5", "bad file name. Last read: @5\n"},
      {"@/no/such/file.sel", "bad file name. Last read: @/no/such/file.sel\n"},
      {"id = 1, row = abc", "trs_roweval: bad instruction"},
      {"row = %2", "trs_roweval: bad instruction"},
      {"a b", "syntax error. Last read: a b\n"},
      {"name = abcdefghijklmnopqrstuvwxyz0123456789 x",
       "syntax error. Last read: hijklmnopqrstuvwxyz0123456789 x\n"},
  };
  for (const Selects& c : cases) {
    const std::string want =
        std::string(c.rows).rfind("trs_", 0) == 0 ? c.rows : kHead + c.rows;
    EXPECT_EQ(error_of([&] { rows(c.expr); }), want) << c.expr;
  }
}

TEST_P(RowSelector, LimitsOfHostileText) {
  auto repeat = [](const std::string& s, int n, const std::string& sep) {
    std::string out;
    for (int k = 0; k < n; ++k) out += (k ? sep : "") + s;
    return out;
  };
  const std::string too_complex = "Table row selection expression too complex";
  // 40 conjuncts need 120 nodes; 41 need more.  (Row-number tests emit no
  // instructions, so only the nodes run out.)
  EXPECT_EQ(rows(repeat("row = 2:9", 40, ",")), "2:9");
  EXPECT_EQ(error_of([&] { rows(repeat("row = 2:9", 41, ",")); }), too_complex);
  // 49 alternatives need 99 instructions; 50 need 101.
  EXPECT_EQ(rows("id = (" + repeat("3", 49, ",") + ")"), "3");
  EXPECT_EQ(error_of([&] { rows("id = (" + repeat("3", 50, ",") + ")"); }), too_complex);
  // Nesting deeper than the parser's stack.
  EXPECT_EQ(rows(std::string(40, '(') + "id = 2" + std::string(40, ')')), "2");
  EXPECT_EQ(error_of([&] { rows(std::string(100, '(') + "id = 2" + std::string(100, ')')); }),
            "Error in table row selector, syntax error. Last read: " + std::string(31, '(') + "\n");
  EXPECT_NE(error_of([&] { rows(std::string(5000, '!') + "id = 2"); }), "(no error)");
  EXPECT_NE(error_of([&] { rows("id = " + std::string(5000, '!') + "2"); }), "(no error)");
  // Tokens longer than the reader's buffer and a full value pool.
  EXPECT_EQ(error_of([&] { rows("name = '" + std::string(2000, 'x') + "'"); }).substr(0, 59),
            "Error in table row selector, token too long. Last read: xxx");
  const std::string long_word = "'" + std::string(1000, 'y') + "'";
  EXPECT_EQ(rows("name = (" + repeat(long_word, 2, ",") + ")"), "");
  EXPECT_EQ(error_of([&] { rows("name = (" + repeat(long_word, 3, ",") + ")"); }).substr(0, 52),
            "Error in table row selector, expression too complex.");
  // Right-nested conditions keep a value per level on the evaluation stack.
  std::string nested = "id = 1";
  for (int k = 0; k < 6; ++k) nested = "id = 1, (" + nested + ")";
  EXPECT_EQ(rows(nested), "1");
  nested = "id = 1, (" + nested + ")";
  EXPECT_EQ(error_of([&] { rows(nested); }), "trscalc: stack overflow");
}

TEST_P(RowSelector, CompiledCode) {
  struct Shape {
    const char* expr;
    std::vector<int> ops;
    const char* candidates;
  } shapes[] = {
      {"row = 5", {trs::kEnd}, "5"},
      {"", {trs::kEnd}, "1:10"},
      {"row = (1:3, 8:), id = 1", {trs::kNumEq, trs::kCol, trs::kEnd}, "1:3,8:10"},
      {"!(id = 1)", {trs::kNumEq, trs::kNot, trs::kCol, trs::kEnd}, "1:10"},
      {"id = 1, row = 5, s = 2",
       {trs::kNumEq, trs::kCol, trs::kNumEq, trs::kCol, trs::kAnd, trs::kEnd}, "5"},
      {"id = 1, s = 2", {trs::kNumEq, trs::kCol, trs::kNumEq, trs::kCol, trs::kAnd, trs::kEnd},
       "1:10"},
      {"name = (b, a)", {trs::kStrEq, trs::kStrEq, trs::kOr, trs::kCol, trs::kEnd}, "1:10"},
  };
  for (const Shape& s : shapes) {
    RowSelectorCode* code = trsopen(tp_, s.expr);
    std::vector<int> ops;
    for (const trs::Instr& in : code->code) ops.push_back(in.op);
    EXPECT_EQ(ops, s.ops) << s.expr;
    EXPECT_EQ(show(code->rows), s.candidates) << s.expr;
    trsclose(code);
    EXPECT_EQ(code, nullptr);
  }
  // An "and" skips its right operand when the left is false, an "or" when
  // it is true.
  RowSelectorCode* code = trsopen(tp_, "id = 1, name = (b, a)");
  EXPECT_EQ(code->code[1].jump_false, 6);
  EXPECT_EQ(code->code[2].jump_true, 4);
  EXPECT_TRUE(trseval(tp_, 1, code) == false);
  trsclose(code);
  // A range names its smaller bound first, however written.
  code = trsopen(tp_, "id = 9:2");
  EXPECT_EQ(code->pool[code->code[0].v1].number, 2.0);
  EXPECT_TRUE(trseval(tp_, 5, code));
  EXPECT_FALSE(trseval(tp_, 10, code));
  trsclose(code);
  code = trsopen(tp_, "row = 2:3, id = 1:5");
  EXPECT_TRUE(trseval(tp_, 2, code));
  EXPECT_FALSE(trseval(tp_, 4, code)) << "row 4 is no candidate";
  trsclose(code);
}

TEST_P(RowSelector, InterpreterRefusesWhatIsNotCode) {
  RowSelectorCode* code = trsopen(tp_, "id = 1");
  code->code[0].op = 99;
  EXPECT_EQ(error_of([&] { trscalc(tp_, 1, code); }), "trscalc: bad instruction");
  code->code.pop_back();  // no end instruction
  code->code[0].op = trs::kCol;
  EXPECT_EQ(error_of([&] { trscalc(tp_, 1, code); }), "trscalc: bad instruction");
  code->magic = 0;
  EXPECT_EQ(error_of([&] { trseval(tp_, 1, code); }), "trseval: not pointer to code");
  EXPECT_EQ(error_of([&] { trsclose(code); }), "trsclose: not pointer to code");
  delete code;
  RowSelectorCode* none = nullptr;
  EXPECT_EQ(error_of([&] { trsclose(none); }), "trsclose: not pointer to code");
}

TEST_P(RowSelector, SyntaxErrorsAreReportedOnTheErrorStream) {
  ::testing::internal::CaptureStderr();
  error_of([&] { rows("id = 1,2"); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "syntax error\n");
  ::testing::internal::CaptureStderr();
  error_of([&] { rows("nosuch = 1"); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  error_of([&] { rows(std::string(100, '(')); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "yacc stack overflow\n");
}

INSTANTIATE_TEST_SUITE_P(Storage, RowSelector, ::testing::Values(kRowOrdered, kColOrdered, kTextTable, kFitsTable));

}  // namespace
}  // namespace tbl
