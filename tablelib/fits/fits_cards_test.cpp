// Header card building and parsing.
#include "fits_cards.h"

#include <gtest/gtest.h>

using namespace tbfcard;

TEST(FitsCards, ReservedKeywords) {
  for (const char* k : {"NAXIS", "naxis2", "TFORM12", "TTYPE1", "TDIM3", "TNULLX", "XTENSION",
                        "PCOUNT", "THEAP", "tdisp1"})
    EXPECT_TRUE(tbfres(k)) << k;
  for (const char* k : {"EXTNAME", "EXTVER", "INSTRUME", "TIME", "TDI"})
    EXPECT_FALSE(tbfres(k)) << k;
}

TEST(FitsCards, AppendedCards) {
  // Short text: padded to 8 inside the quotes, " / " from column 31.
  std::string c = anp_card("dbtable", 2, "abc");
  EXPECT_EQ(c, "DBTABLE = 'abc     '           / ");
  EXPECT_EQ(c.find(" / "), 30u);
  EXPECT_EQ(anp_card("FLAG", 1, "yes"), "FLAG    =                    T / ");
  EXPECT_EQ(anp_card("FLAG", 1, "y"), "FLAG    =                    F / ");
  EXPECT_EQ(anp_card("FLAG", 1, "1 a comment"), "FLAG    =                    T / a comment");
  EXPECT_EQ(anp_card("N", 4, "12 count"), "N       =                   12 / count");
  EXPECT_EQ(anp_card("S", 2, "'quoted value' and comment"),
            "S       = 'quoted value'       / and comment");
}

TEST(FitsCards, EmbeddedQuotesAreDoubledAndLongValuesFit) {
  std::string c = anp_card("DESCRIP", 2, "it's");
  EXPECT_EQ(c.substr(0, 23), "DESCRIP = 'it''s   '   ");
  std::string long_text(100, 'x');
  long_text[66] = '\'';
  c = anp_card("DESCRIP", 2, long_text);
  ASSERT_LE(c.size(), 80u);
  // The value is closed within the card and no doubled quote is split.
  std::size_t close = c.rfind('\'');
  ASSERT_NE(close, std::string::npos);
  std::string inner = c.substr(11, close - 11);
  std::size_t run = 0;
  for (char ch : inner) {
    if (ch == '\'') ++run;
    else {
      EXPECT_EQ(run % 2, 0u);
      run = 0;
    }
  }
  EXPECT_EQ(run % 2, 0u);
}

TEST(FitsCards, ReplacedCards) {
  EXPECT_EQ(pnp_card("K", 2, " abc ", ""), "K       = 'abc     '           / ");
  EXPECT_EQ(pnp_card("K", 2, "abcdefghij", "old"), "K       = 'abcdefghij'         / old");
  EXPECT_EQ(pnp_card("K", 2, "abcdefghijklmnopqrs", ""), "K       = 'abcdefghijklmnopqrs' / ");
  EXPECT_EQ(pnp_card("K", 1, "y", ""), "K       =                    T / ");
  EXPECT_EQ(pnp_card("K", 4, "42", ""), "K       =                   42 / ");
  EXPECT_EQ(pnp_card("HISTORY", 2, "some text", "x"), "HISTORY  some text");
}

TEST(FitsCards, UnquotedValues) {
  struct Case { const char* value; const char* text; };
  const Case cases[] = {
      {"'abc     '", "abc     "}, {"'it''s'", "it's"}, {"''''", "'"},
      {"'A''''B'", "A''B"},       {"'END'''", "END'"}, {"''", ""},
      {"'open", "open"},          {"'x' rest", "x"},   {"12", "12"},
  };
  for (const auto& c : cases) EXPECT_EQ(unquote_value(c.value), c.text) << c.value;
}

TEST(FitsCards, ParsedCards) {
  struct Case { const char* card; const char* value; const char* comment; int type; const char* out; };
  const Case cases[] = {
      {"A       =               1.0E3 / c", "1.0E3", "c", 7, "1.0E3"},
      {"A       =                   12", "12", "", 4, "12"},
      {"A       =                    T", "T", "", 1, "T"},
      {"A       = 'text    '", "'text    '", "", 2, "text"},
      {"A       = 'it''s   '", "'it''s   '", "", 2, "it's"},
      {"A       = 'END'''", "'END'''", "", 2, "END'"},
  };
  for (const auto& c : cases) {
    Parsed p = parse_card(c.card, c.value, c.comment);
    EXPECT_EQ(p.keyword, "A");
    EXPECT_EQ(p.type, c.type) << c.card;
    EXPECT_EQ(p.value, c.out) << c.card;
  }
  Parsed h = parse_card("HISTORY Created today", "", " Created today");
  EXPECT_EQ(h.keyword, "HISTORY");
  EXPECT_EQ(h.type, 2);
  EXPECT_EQ(h.value, " Created today");
  Parsed q = parse_card("COMMENT = 'quoted' rest", "", " = 'quoted' rest");
  EXPECT_EQ(q.value, "    quoted");
}

TEST(FitsCards, NumbersFromValues) {
  EXPECT_EQ(nearest_int(2.5), 3);
  EXPECT_EQ(nearest_int(-2.5), -3);
  EXPECT_EQ(nearest_int(3e9), -2147483647);
  EXPECT_EQ(nearest_int(-3e9), -2147483647);
  EXPECT_EQ(nearest_int(1.6e308), -2147483647);
}
