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

TEST(BuildQry, LongValuesAreSentInBoundedPieces) {
  std::string value(2000, 'E');
  auto pieces = expand("like '%.^' order", {value.c_str()});
  ASSERT_GT(pieces.size(), 1u);
  std::string all;
  for (auto& p : pieces) {
    EXPECT_LE(p.size(), static_cast<std::size_t>(QUERY_MAXPIECE));
    all += p;
  }
  EXPECT_EQ(all, "like '%." + value + "' order");
}

TEST(BuildQry, SizeFlushNeverSplitsADoubledQuote) {
  std::string value = std::string(495, 'E') + sql_quote_double("''''") + "E";
  auto pieces = expand("like '%.^'", {value.c_str()});
  ASSERT_GT(pieces.size(), 1u);
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_NE(pieces[i].back(), '\'');
  std::string all;
  for (auto& p : pieces) all += p;
  EXPECT_EQ(all, "like '%." + value + "'");
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
