// SQL text: appending, substitution parameters, lower-casing outside
// quotes, the command buffer's size and the module name's length.
#include <algorithm>

#include "pravel_test_fixture.h"

namespace {

class QeltQueryText : public PravelTest {
 protected:
  void SetUp() override {
    PravelTest::SetUp();
    pravel_setup(1, 3, "");
    pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "db", counting_handler);
  }
  // Sends the statement and returns the text the server received.
  std::string sent_text() {
    pravel_get_exec(1);
    const auto& sent = fakedb::state().sent;
    return sent.empty() ? std::string() : sent.back();
  }
  static std::string kept_joined() {
    std::string out;
    for (const auto& l : kept()) out += l;
    return out;
  }
  static std::vector<std::string> kept() {
    std::vector<std::string> out;
    char line[81];
    while (qelt_get_msg(line) == 0) out.emplace_back(line);
    return out;
  }
};

TEST_F(QeltQueryText, ParametersBecomeLiterals) {
  qelt_query(1, "SELECT @@rowcount, @Name, @n, @d, @r, @c, @q, @b, @z, '@Name' FROM T");
  qelt_query(1, "where x = \"It's @Name\"");
  qelt_string_param(1, "NAME  ", "O'Neil  ");
  qelt_int_param(1, "n", -42);
  qelt_double_param(1, "d", 0.5);
  qelt_real_param(1, "r", 1.5f);
  qelt_single_char_param(1, "c", 'Y');
  qelt_single_char_param(1, "q", '\'');
  const unsigned char bytes[] = {0x0a, 0xff};
  qelt_binary_param(1, "b", bytes, 2);
  qelt_null_param(1, "z");
  EXPECT_EQ(sent_text(),
            " select @@rowcount, 'O''Neil', -42, 5.000000000000000e-01, 1.500000e+00, 'Y', "
            "'''', 0x0aff, null, '@Name' from t where x = \"It's @Name\"");
}

TEST_F(QeltQueryText, MarkerFromTheLoginItems) {
  qelt_close_query(1);
  pravel_setup(1, 4, ":x");
  qelt_query_setup(1, "m", 2);
  qelt_query(1, "select :v, @@x");
  qelt_int_param(1, "v", 7);
  EXPECT_EQ(sent_text(), " select 7, @@x");
}

TEST_F(QeltQueryText, QuotedTextKeepsItsCaseAlsoWithDoubledQuotes) {
  qelt_query(1, "UPDATE T SET A = 'Don''t Touch', B = \"Say \"\"Hi\"\"\" WHERE C = 1");
  EXPECT_EQ(sent_text(),
            " update t set a = 'Don''t Touch', b = \"Say \"\"Hi\"\"\" where c = 1");
}

TEST_F(QeltQueryText, UnbalancedQuotesAreNotSent) {
  qelt_query(1, "select 'open");
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(fakedb::sends_of("open"), 0);
  auto lines = kept();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "error in query statement"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Syntax error encountered in this query due to mismatched quotes:"),
            lines.end());
  EXPECT_EQ(lines.back(), " select 'open");
}

TEST_F(QeltQueryText, ParameterWithoutValueFails) {
  qelt_query(1, "select @missing");
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_NE(kept_joined().find("query parameter <@missing> has no value.  check query against "
                               "qelt_<type>_param calls"),
            std::string::npos);
}

TEST_F(QeltQueryText, OverLongQueryIsRefused) {
  std::string piece(60000, 'x');
  EXPECT_EQ(qelt_query(1, piece.c_str()), 0);
  EXPECT_EQ(qelt_query(1, piece.c_str()), -1);  // would pass 112,639 characters
  EXPECT_EQ(g_handler_calls, 1);
  auto lines = kept();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Query size <120002> exceeded maximum command buffer size <112640>"),
            lines.end());
  EXPECT_EQ(qelt_query(1, std::string(52637, 'y').c_str()), 0);  // exactly 112,639
  EXPECT_EQ(qelt_query(1, ""), -1);
}

TEST_F(QeltQueryText, SubstitutionThatOverflowsIsRefused) {
  qelt_query(1, "select @v, @v");
  qelt_string_param(1, "v", std::string(60000, 'v').c_str());
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(fakedb::sends_of("select"), 0);
  auto lines = kept();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("Query size <", 0) == 0 && l.find("<112640>") != std::string::npos;
  }));
}

TEST_F(QeltQueryText, TextParameterAtTheBufferSizeIsRefused) {
  qelt_query(1, "select @t");
  EXPECT_EQ(qelt_text_param(1, "t", std::string(112640, 't').c_str()), -1);
  EXPECT_NE(kept_joined().find(
                "Text column <t> data size <112640> exceeded maximum command buffer size <112640>"),
            std::string::npos);
}

TEST_F(QeltQueryText, ModuleNameIsCutAt99) {
  qelt_close_query(1);
  std::string module(150, 'q');
  qelt_query_setup(1, module.c_str(), 9);
  qelt_report("x", QELT_ERR, "boom");
  std::string heading = "-- Module: " + std::string(99, 'q') + ",     Query: 9,  ";
  // The heading is longer than a line and is cut into report lines.
  std::string joined = kept_joined();
  EXPECT_NE(joined.find(heading), std::string::npos) << joined;
  EXPECT_EQ(joined.find(std::string(100, 'q')), std::string::npos);
}

TEST_F(QeltQueryText, TooManyParametersAreRefused) {
  for (int i = 0; i < 250; ++i) ASSERT_EQ(qelt_int_param(1, "p", i), 0);
  EXPECT_EQ(qelt_int_param(1, "p", 250), -1);
  EXPECT_EQ(g_handler_calls, 1);
}

}  // namespace
