// Parsing: numbers, words, tokens, and the sscan/garg scanner.
#include <gtest/gtest.h>

#include <cfloat>

#include "vos/indef.h"
#include "vos/scan.h"

namespace {

TEST(VosScan, CtodTable) {
  struct Case {
    const char* text;
    std::size_t consumed;
    double value;
  };
  const Case cases[] = {
      {"12", 2, 12.0},        {"  -1.5e2x", 8, -150.0}, {"1.5D3", 5, 1500.0},
      {".5", 2, 0.5},         {"5.", 2, 5.0},          {"+3", 2, 3.0},
      {"1e", 1, 1.0},         {"12:30", 5, 12.5},      {"-1:30:00", 8, -1.5},
      {"0:0:36.0", 8, 0.01},  {"INDEF", 5, vos::INDEFD}, {"1e999", 5, vos::INDEFD},
      // At most three fields, and a fraction ends them.
      {"1:30:00:30", 7, 1.5}, {"1:30.5:10", 6, 1.0 + 30.5 / 60},
  };
  for (const Case& c : cases) {
    std::size_t ip = 0;
    double v = 0;
    EXPECT_EQ(vos::ctod(c.text, ip, v), c.consumed) << c.text;
    EXPECT_EQ(ip, c.consumed) << c.text;
    EXPECT_NEAR(v, c.value, 1e-9 * (1 + std::abs(c.value))) << c.text;
  }
  for (const char* bad : {"", "  ", "abc", "-", ".", "INDEFX", "e5"}) {
    std::size_t ip = 0;
    double v = 7;
    EXPECT_EQ(vos::ctod(bad, ip, v), 0u) << bad;
    EXPECT_EQ(ip, 0u);
    EXPECT_EQ(v, 7);
  }
}

TEST(VosScan, IntegersAndReals) {
  std::size_t ip = 0;
  int i = 0;
  EXPECT_EQ(vos::ctoi(" 42abc", ip, i), 3u);
  EXPECT_EQ(i, 42);
  ip = 0;
  EXPECT_EQ(vos::ctoi("-2147483648", ip, i), 11u);
  EXPECT_EQ(i, -2147483647 - 1);
  ip = 0;
  i = 5;
  EXPECT_EQ(vos::ctoi("2147483648", ip, i), 0u);  // overflow does not read
  EXPECT_EQ(i, 5);
  ip = 0;
  EXPECT_EQ(vos::ctoi("1.5", ip, i), 1u);  // integers only
  long l = 0;
  ip = 0;
  EXPECT_EQ(vos::ctol("99999999999", ip, l), 11u);
  EXPECT_EQ(l, 99999999999L);
  float r = 0;
  ip = 0;
  EXPECT_EQ(vos::ctor("1e300", ip, r), 5u);  // beyond the float range
  EXPECT_EQ(r, vos::INDEFR);
  ip = 0;
  EXPECT_EQ(vos::ctor("INDEF", ip, r), 5u);
  EXPECT_EQ(r, vos::INDEFR);
  ip = 0;
  EXPECT_EQ(vos::ctor("3.4028234663852886e38", ip, r), 21u);  // the largest float
  EXPECT_EQ(r, FLT_MAX);
}

TEST(VosScan, Words) {
  std::string s = R"(  plain "quoted word" 'it\'s' "open)";
  std::size_t ip = 0;
  std::string w;
  EXPECT_EQ(vos::ctowrd(s, ip, w), 5u);
  EXPECT_EQ(w, "plain");
  EXPECT_EQ(vos::ctowrd(s, ip, w), 13u);  // quotes counted
  EXPECT_EQ(w, "quoted word");
  EXPECT_EQ(vos::ctowrd(s, ip, w), 7u);
  EXPECT_EQ(w, "it's");
  EXPECT_EQ(vos::ctowrd(s, ip, w), 5u);  // unclosed quote runs to the end
  EXPECT_EQ(w, "open");
  EXPECT_EQ(vos::ctowrd(s, ip, w), 0u);
  ip = 0;
  EXPECT_EQ(vos::ctowrd("abcdef", ip, w, 3), 6u);  // cut, but consumed
  EXPECT_EQ(w, "abc");
  ip = 0;
  EXPECT_EQ(vos::ctowrd("'abcdef' x", ip, w, 3), 8u);
  EXPECT_EQ(w, "abc");
  ip = 0;
  EXPECT_EQ(vos::ctowrd("  \nx", ip, w), 0u);
}

TEST(VosScan, Tokens) {
  std::string s = "extname = \"SCI\" 2sci, 'c' >= @\n";
  std::size_t ip = 0;
  std::string t;
  struct Want {
    int type;
    const char* text;
  };
  const Want want[] = {{vos::TOK_IDENTIFIER, "extname"}, {vos::TOK_OPERATOR, "="},
                       {vos::TOK_STRING, "SCI"},         {vos::TOK_NUMBER, "2"},
                       {vos::TOK_IDENTIFIER, "sci"},     {vos::TOK_PUNCTUATION, ","},
                       {vos::TOK_CHARCON, "c"},          {vos::TOK_OPERATOR, ">="},
                       {vos::TOK_UNKNOWN, "@"},          {vos::TOK_NEWLINE, "\n"},
                       {vos::TOK_EOS, ""}};
  for (const Want& w : want) {
    EXPECT_EQ(vos::ctotok(s, ip, t), w.type) << w.text;
    EXPECT_EQ(t, w.text);
  }
  ip = 0;
  EXPECT_EQ(vos::ctotok("1.5e3x", ip, t), vos::TOK_NUMBER);
  EXPECT_EQ(t, "1.5e3");
  ip = 0;
  EXPECT_EQ(vos::ctotok("abcdef", ip, t, 3), vos::TOK_IDENTIFIER);  // cut, but consumed
  EXPECT_EQ(t, "abc");
  EXPECT_EQ(ip, 6u);
  for (const char* op : {"==", "!=", "<=", ">=", "**", "&&", "||", "//"}) {
    ip = 0;
    EXPECT_EQ(vos::ctotok(std::string(op) + "x", ip, t), vos::TOK_OPERATOR) << op;
    EXPECT_EQ(t, op);
  }
}

TEST(VosScan, GargReaders) {
  vos::sscan(" 3.7 -40000 1e10 yes_sir INDEF word rest of it\n");
  double d = 0;
  short s = 0;
  int i = 0;
  bool b = false;
  float r = 0;
  std::string w, rest;
  vos::gargd(d);
  vos::gargs(s);  // beyond the short range
  vos::gargi(i);  // beyond the int range
  vos::gargb(b);
  vos::gargr(r);
  vos::gargwrd(w);
  vos::gargstr(rest);
  EXPECT_EQ(vos::nscan(), 7);
  EXPECT_DOUBLE_EQ(d, 3.7);
  EXPECT_EQ(s, vos::INDEFS);
  EXPECT_EQ(i, vos::INDEFI);
  EXPECT_TRUE(b);
  EXPECT_EQ(r, vos::INDEFR);
  EXPECT_EQ(w, "word");
  EXPECT_EQ(rest, " rest of it");

  vos::sscan("-2.9 no");
  vos::gargi(i);
  vos::gargb(b);
  EXPECT_EQ(i, -2);  // truncates toward zero
  EXPECT_FALSE(b);

  vos::sscan("true 5");  // a failing field stops the scan
  b = false;
  i = 1;
  vos::gargb(b);
  vos::gargi(i);
  EXPECT_EQ(vos::nscan(), 0);
  EXPECT_FALSE(b);
  EXPECT_EQ(i, 1);

  vos::sscan("32767 32768 2147483647");  // each type's bound and one past
  vos::gargs(s);
  EXPECT_EQ(s, 32767);
  vos::gargs(s);
  EXPECT_EQ(s, vos::INDEFS);
  vos::gargi(i);
  EXPECT_EQ(i, 2147483647);

  vos::sscan("5 x");  // after a failing field nothing more is read
  vos::gargb(b);
  i = 1;
  vos::gargi(i);
  w = "keep";
  vos::gargwrd(w);
  EXPECT_EQ(vos::nscan(), 0);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(w, "keep");

  vos::sscan("");
  d = 9;
  vos::gargd(d);
  EXPECT_EQ(vos::nscan(), 0);
  EXPECT_EQ(d, 9);
}

}  // namespace
