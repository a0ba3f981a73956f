#include "comnlib/com_charclass.h"
#include "comnlib/com_inttext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CharClass, Iso1MapEdges) {
  EXPECT_TRUE(com_isspace(0x0E));
  EXPECT_FALSE(com_isspace(0x85));
  EXPECT_FALSE(com_isspace(0xA0));
  EXPECT_TRUE(com_isupper(0xA0));
  EXPECT_EQ(com_toupper(0xFF), 0xFF);
  EXPECT_EQ(com_toupper(0xDF), 0xDF);
  EXPECT_EQ(com_toupper(0xF7), 0xF7);
  EXPECT_EQ(com_tolower(0xC0), 0xE0);
  EXPECT_EQ(com_tolower(0xD7), 0xD7);
  EXPECT_TRUE(com_isgraph(' '));
  EXPECT_FALSE(com_isgraph(0x7F));
  EXPECT_EQ(com_isxdigit('a'), 16);  // the masked bits themselves
  EXPECT_EQ(com_isdigit('7'), 4);
  EXPECT_EQ(com_tolower('Q'), 'q');
  EXPECT_EQ(com_toupper('q' + 256), 'Q');  // only the low 8 bits index
}

TEST(CharClass, TypeMapAndAttrib) {
  const std::uint8_t* tm = com_get_typemap();
  EXPECT_EQ(tm[4 * '$' + 2], 64);
  EXPECT_EQ(tm[4 * 0xA4 + 2], 64);
  EXPECT_EQ(tm[4 * '"' + 2], 16);
  EXPECT_EQ(tm[4 * 0xA0 + 3], 8);
  EXPECT_EQ(tm[4 * 'A' + 1], 'a');
  const COM_CHARATTRIB* a = com_get_charattrib();
  EXPECT_STREQ(a->name, "iso_1");
  EXPECT_EQ(a->flags[0], 1);
  EXPECT_EQ(a->typemap, tm);
  EXPECT_EQ(a->soundex['R'], '6');
  EXPECT_EQ(a->soundex['e'], '0');
}

TEST(CharClass, UnsignedComparisons) {
  EXPECT_LT(com_unsignstrcmp("a", "a\xE9"), 0);
  EXPECT_EQ(com_unsignstrcmp("a", "a\xE9"), -0xE9);
  EXPECT_EQ(com_unsignstrcmp("", ""), 0);
  EXPECT_EQ(com_unsignstrncmp(nullptr, nullptr, 0), 0);
  EXPECT_EQ(com_unsignstrncmp(nullptr, nullptr, -3), 0);
  EXPECT_NE(com_unsignstrncmp("ab\0x", "ab\0y", 4), 0);  // a NUL is not an end
  EXPECT_EQ(com_unsignstricmp("ABC", "abc"), 0);
  EXPECT_NE(com_unsignstricmp("\xC9", "\xE9"), 0);
}

struct IntCase {
  const char* text;
  int r4, v4, r2, v2, r1, v1;
};

TEST(IntText, Readers) {
  const IntCase cases[] = {
      {"", 0, 0, 0, 0, 0, 0},
      {"   ", 4, 0, 4, 0, 4, 0},
      {"  -12  ", 4, -12, 4, -12, -1, 0xF4},
      {"+ 7", 4, 7, 4, 7, 4, 7},
      {"1 2", -2, 1, -2, 0, -2, 0},
      {"--1", -2, 0, -2, 0, -2, 0},
      {"+-1", -2, 0, -2, 0, -2, 0},
      {"255", 4, 255, 4, 255, 4, 255},
      {"256", 4, 256, 4, 256, -1, 0},
      {"-32769", 4, -32769, -1, 32767, -1, 0xFF},
      {"2147483647", 4, 2147483647, -1, -1, -1, 0xFF},
      {"2147483648", -1, 0, -1, 0, -1, 0},
      {"-2147483648", 4, -2147483647 - 1, -1, 0, -1, 0},
  };
  for (const auto& c : cases) {
    int len = static_cast<int>(std::strlen(c.text));
    std::int32_t v4 = 99;
    std::int16_t v2 = 99;
    std::uint8_t v1 = 99;
    EXPECT_EQ(com__chtoi4_mb(c.text, len, &v4, nullptr), c.r4) << c.text;
    if (c.r4 > 0) {
      EXPECT_EQ(v4, c.v4) << c.text;
    }
    EXPECT_EQ(com__chtoi2_mb(c.text, len, &v2, nullptr), c.r2) << c.text;
    if (c.r2 == 4) {
      EXPECT_EQ(v2, c.v2) << c.text;
    }
    if (c.r2 <= 0 && c.r4 <= 0) {
      EXPECT_EQ(v2, 0) << c.text;
    }
    EXPECT_EQ(com__chtoi1_mb(c.text, len, &v1, com_get_charattrib()), c.r1) << c.text;
    if (c.r1 == 4 || (c.r1 == -1 && c.r4 == 4)) {
      EXPECT_EQ(v1, c.v1) << c.text;
    }
  }
}

TEST(IntText, ItocharAndConv2ascii) {
  char buf[16];
  EXPECT_EQ(com__itochar(-12345, buf, 4), 1);
  EXPECT_EQ(buf[0], '*');
  EXPECT_EQ(com__itochar(-12345, buf, 0), 6);
  EXPECT_EQ(std::string(buf, 6), "-12345");
  char out[16];
  int n = com__conv2ascii("AbC -1.5", 8, out, sizeof out, com_get_charattrib());
  EXPECT_EQ(std::string(out, static_cast<size_t>(n)), "abc -1.5");
  EXPECT_EQ(com__conv2ascii("ABCDEF", 6, out, 3, com_get_charattrib()), 3);
}
