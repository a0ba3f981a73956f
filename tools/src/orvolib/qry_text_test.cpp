#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "orvolib/query.h"

namespace {

std::vector<std::string> expand(const char* tmpl, std::initializer_list<qry_arg> args = {}) {
  std::vector<std::string> pieces;
  expand_qry(tmpl, args, [&](const char* p) { pieces.push_back(p); });
  return pieces;
}

// The statement the access layer builds (a blank before every piece), with
// runs of blanks made one: pieces end after a template blank, so only the
// spacing differs from the template.
std::string joined(const std::vector<std::string>& pieces) {
  std::string s;
  for (auto& p : pieces) s += " " + p;
  std::string out;
  for (char c : s)
    if (!(c == ' ' && !out.empty() && out.back() == ' ')) out.push_back(c);
  return out;
}

TEST(BuildQry, GroupsAndSeparators) {
  const char* xy[] = {"x", "y", ""};
  EXPECT_EQ(expand("a{[, ]^}b", {xy}), (std::vector<std::string>{"ax, yb"}));
  EXPECT_EQ(expand("a{^[, ]}b", {xy}), (std::vector<std::string>{"axy, b"}));
  const char* one[] = {"only", ""};
  EXPECT_EQ(expand("({^[,]})", {one}), (std::vector<std::string>{"(only)"}));
  EXPECT_EQ(expand("p^q^r", {"1", "2"}), (std::vector<std::string>{"p1q2r"}));
  EXPECT_EQ(expand("a\\^b\\{"), (std::vector<std::string>{"a^b{"}));
  EXPECT_EQ(expand(""), (std::vector<std::string>{""}));
}

TEST(BuildQry, PiecesEndAfterATemplateBlankPastSixty) {
  std::string tmpl = std::string(61, 'a') + " tail";
  EXPECT_EQ(expand(tmpl.c_str()), (std::vector<std::string>{std::string(61, 'a') + " ", "tail"}));
  std::string shorter = std::string(59, 'a') + " tail";
  EXPECT_EQ(expand(shorter.c_str()).size(), 1u);
  // A blank inside an inserted value never ends a piece.
  std::string value = std::string(70, 'v') + " w";
  EXPECT_EQ(expand("'^'", {value.c_str()}).size(), 1u);
}

// The statement exactly as the access layer joins it: a blank before every
// piece.
std::string access_join(const std::vector<std::string>& pieces) {
  std::string s;
  for (auto& p : pieces) s += " " + p;
  return s;
}

// Values long enough to fill a piece are sent in bounded pieces, and a
// quoted literal always stays whole in one piece, so the blank the access
// layer puts between pieces never lands inside it.
TEST(BuildQry, LongValuesAreSentInBoundedPiecesWithLiteralsWhole) {
  const std::string prefix(50, 'p');  // short: no template blank ends a piece before the literal
  const std::string e490(490, 'E'), e495(495, 'E'), dd(455, 'd');
  const struct {
    std::string tmpl, value;
    std::string literal;  // as it must reach the server
  } cases[] = {
      {prefix + " like '%.^' order", e490, "'%." + e490 + "'"},
      {prefix + " like '%.^'", e495 + sql_quote_double("''''") + "E", "'%." + e495 + "''''''''E'"},
      {prefix + " x = ^", enquote((dd + "'\"").c_str()), "\"" + dd + "\\'\\\"\""},
      {prefix + " 'a b ^ c' d", std::string(450, 'v'), "'a b " + std::string(450, 'v') + " c'"},
      {prefix + " ^ " + prefix, std::string(2000, 'v'), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tmpl.substr(51, 8));
    auto pieces = expand(c.tmpl.c_str(), {c.value.c_str()});
    ASSERT_GT(pieces.size(), 1u);
    for (auto& p : pieces) EXPECT_LE(p.size(), static_cast<std::size_t>(QUERY_MAXPIECE));
    std::string text;
    for (auto& p : pieces) text += p;
    std::string want = c.tmpl;
    want.replace(want.find('^'), 1, c.value);
    EXPECT_EQ(text, want);
    if (!c.literal.empty()) {
      const std::string statement = access_join(pieces) + " ";
      EXPECT_NE(statement.find(" " + c.literal + " "), std::string::npos) << statement;
    }
  }
}

// A literal that cannot fit in one piece is refused, never split.
TEST(BuildQry, LiteralLongerThanAPieceIsFatal) {
  const std::string ext(510, 'E');
  EXPECT_EXIT(expand("a.file_name like '%.^' order", {ext.c_str()}), ::testing::ExitedWithCode(1),
              "^String too long for internal buffer \\(build_qry: '%\\.E{37}\\)\n$");
  const std::string tmpl = "'" + std::string(300, 'a') + " " + std::string(300, 'b') + "'";
  EXPECT_EXIT(expand(tmpl.c_str()), ::testing::ExitedWithCode(1),
              "^String too long for internal buffer \\(build_qry: 'a{39}\\)\n$");
}

TEST(BuildQry, TheToolsTemplatesKeepTheirText) {
  const char* tmpl =
      "select a.general_availability_date availability_date from kelvar_file a where "
      "a.file_name like '%.^' order by b.compname";
  EXPECT_EQ(joined(expand(tmpl, {"FITS"})),
            " select a.general_availability_date availability_date from kelvar_file a where "
            "a.file_name like '%.FITS' order by b.compname");
}

TEST(BuildQry, MalformedTemplatesAreFatal) {
  EXPECT_EXIT(expand("{{{{{{{{{"), ::testing::ExitedWithCode(1),
              "^Syntax error in query format \\(\\{\\{\\{\\{\\{\\{\\{\\{\\{\\)\n$");
  EXPECT_EXIT(expand("a}"), ::testing::ExitedWithCode(1), "^Syntax error in query format \\(a\\}\\)");
  EXPECT_EXIT(expand("{x}"), ::testing::ExitedWithCode(1), "Syntax error in query format");
  EXPECT_EXIT(expand("^"), ::testing::ExitedWithCode(1), "Syntax error in query format");
}

TEST(Enquote, ThreeCases) {
  EXPECT_STREQ(enquote("Jan 1 2000 01:30:00 pm"), "\"Jan 1 2000 01:30:00 pm\"");
  EXPECT_STREQ(enquote("it's"), "\"it's\"");
  EXPECT_STREQ(enquote("say \"hi\""), "'say \"hi\"'");
  EXPECT_STREQ(enquote("a'b\"c"), "\"a\\'b\\\"c\"");
  EXPECT_STREQ(enquote(""), "\"\"");
  std::string max(501, 'm');
  EXPECT_EQ(std::string(enquote(max.c_str())), "\"" + max + "\"");
  std::string both = std::string(496, 'b') + "'\"";
  EXPECT_EQ(std::string(enquote(both.c_str())), "\"" + std::string(496, 'b') + "\\'\\\"\"");
}

TEST(Enquote, TooLongIsFatal) {
  std::string big(502, 'z');
  EXPECT_EXIT(enquote(big.c_str()), ::testing::ExitedWithCode(1),
              "^String too long for internal buffer \\(enquote: z{40}\\)\n$");
  std::string both = std::string(499, 'b') + "'\"";
  EXPECT_EXIT(enquote(both.c_str()), ::testing::ExitedWithCode(1),
              "^String too long for internal buffer \\(enquote: \"b{39}\\)\n$");
}

TEST(QueryNames, EnvironmentAndDefaults) {
  unsetenv("ORVO_SERVER_2");
  setenv("ORVO_DB", "", 1);
  setenv("PELM_DB", std::string(100, 'p').c_str(), 1);
  query q;
  fill_query_names(&q);
  EXPECT_EQ(q.conn, 1);
  EXPECT_STREQ(q.server, QUERY_DEFAULT_SERVER);
  EXPECT_STREQ(q.database, "orvo_ops");
  EXPECT_EQ(std::string(q.archive_db), std::string(63, 'p'));
  setenv("ORVO_SERVER_2", "SRV", 1);
  setenv("ORVO_DB", "db1", 1);
  fill_query_names(&q);
  EXPECT_STREQ(q.server, "SRV");
  EXPECT_STREQ(q.database, "db1");
  unsetenv("ORVO_SERVER_2");
  unsetenv("ORVO_DB");
  unsetenv("PELM_DB");
}

TEST(SqlQuote, DoublesSingleQuotesOnly) {
  EXPECT_EQ(sql_quote_double("FITS"), "FITS");
  EXPECT_EQ(sql_quote_double("A'B''"), "A''B''''");
  EXPECT_EQ(sql_quote_double("x\"y"), "x\"y");
}

}  // namespace
