// Tests of character handling over the built-in iso_1 record and a small
// double-byte record.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "comnlib/comn_cschar.h"

namespace {

const comn_uchar* U(const char* s) { return reinterpret_cast<const comn_uchar*>(s); }

// A double-byte set: bytes 0x81-0x9F lead two-byte characters of display
// width 2; 0xFF is not a valid first byte.  The lead 0x82 has a second
// type-map block where 0xA1 is a lower-case letter with upper form 0xC1.
struct DoubleByte {
  std::array<std::uint8_t, 256> len{};
  std::array<std::uint8_t, 2048> type{};
  std::array<std::uint8_t, 512> ascii{};
  COM_CHARATTRIB rec{};
  DoubleByte() {
    for (int i = 0; i < 256; ++i) {
      len[i] = 0x11;
      type[4 * i + 3] = 0;
    }
    for (int i = 0x81; i <= 0x9F; ++i) len[i] = 0x22;
    len[0xFF] = 0;
    for (int c = 'a'; c <= 'z'; ++c) {
      type[4 * c] = static_cast<std::uint8_t>(c - 32);
      type[4 * c + 3] = 2 | 64;
      ascii[c] = static_cast<std::uint8_t>(c);
    }
    type[4 * 0x82] = 1;
    type[4 * 0x82 + 3] = 128;
    type[1024 + 4 * 0xA1] = 0xC1;
    type[1024 + 4 * 0xA1 + 2] = 7;
    type[1024 + 4 * 0xA1 + 3] = 2;
    ascii[0x82] = 1;
    ascii[256 + 0xA1] = 'q';
    rec.cs_class = 2;
    rec.flags[0] = 2;
    rec.flags[3] = 2;
    rec.lentab = len.data();
    rec.mbmap = ascii.data();
    rec.typemap = type.data();
  }
};

TEST(ComnCsChar, NullRecordAnswersAsIso1) {
  struct Case {
    const char* c;
    int alpha, upper, digit, space, punct;
  } cases[] = {{"A", 1, 1, 0, 0, 0}, {"z", 1, 0, 0, 0, 0}, {"7", 0, 0, 1, 0, 0},
               {" ", 0, 0, 0, 1, 0}, {",", 0, 0, 0, 0, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(comn_isalpha(nullptr, U(c.c)) != 0, c.alpha != 0) << c.c;
    EXPECT_EQ(comn_isupper(nullptr, U(c.c)) != 0, c.upper != 0) << c.c;
    EXPECT_EQ(comn_isdigit(nullptr, U(c.c)) != 0, c.digit != 0) << c.c;
    EXPECT_EQ(comn_isspace(nullptr, U(c.c)) != 0, c.space != 0) << c.c;
    EXPECT_EQ(comn_ispunct(nullptr, U(c.c)) != 0, c.punct != 0) << c.c;
  }
  comn_uchar out[2] = {};
  EXPECT_NE(comn_toupper(nullptr, U("q"), out), nullptr);
  EXPECT_EQ(out[0], 'Q');
  comn_toupper(nullptr, U("5"), out);  // no upper form: unchanged
  EXPECT_EQ(out[0], '5');
  EXPECT_EQ(comn_char_width(nullptr, U("x")), 1);
  EXPECT_EQ(comn_disp_width(nullptr, U("x")), 1);
  EXPECT_EQ(comn_get_widthmap(nullptr), nullptr);
  int n = -1;
  comn_uchar buf[4];
  EXPECT_EQ(comn_str_to_ascii(U(""), 0, buf, &n, nullptr), 1);
  EXPECT_EQ(n, 0);
}

TEST(ComnCsChar, DoubleByteCharacters) {
  DoubleByte db;
  const comn_uchar text[] = {'a', 'b', 'c', 0x82, 0xA1, 'd'};
  int prefix, before, after, count;
  struct Case {
    int pos, prefix, before, after, count;
  } cases[] = {{4, 3, 1, 1, 3}, {3, 3, 0, 0, 3}, {5, 5, 0, 0, 4}, {0, 0, 0, 0, 0}};
  for (const auto& c : cases) {
    comn_whole_char(&db.rec, text, text + c.pos, &prefix, &before, &after, &count);
    EXPECT_EQ(prefix, c.prefix) << c.pos;
    EXPECT_EQ(before, c.before) << c.pos;
    EXPECT_EQ(after, c.after) << c.pos;
    EXPECT_EQ(count, c.count) << c.pos;
  }
  EXPECT_EQ(comn_char_width(&db.rec, text + 3), 2);
  EXPECT_EQ(comn_disp_width(&db.rec, text + 3), 2);
  EXPECT_NE(comn_islower(&db.rec, text + 3), 0);
  EXPECT_EQ(comn_get_lex(&db.rec, text + 3), 7);
  comn_uchar out[2] = {};
  comn_toupper(&db.rec, text + 3, out);
  EXPECT_EQ(out[0], 0x82);
  EXPECT_EQ(out[1], 0xC1);
  const comn_uchar* p = text + 3;
  comn_inc_char(&db.rec, &p);
  EXPECT_EQ(p, text + 5);
  EXPECT_EQ(comn_to_ascii(&db.rec, text + 3), 'q');
}

TEST(ComnCsChar, StrToAsciiAlwaysAdvances) {
  DoubleByte db;
  // 0xFF has length 0 and no equivalent; 0x83 0xA1 has no ASCII block; a
  // lead byte cut off by the end is copied.
  const comn_uchar text[] = {'a', 0xFF, 0x82, 0xA1, 0x83, 0xA1, 'b', 0x82};
  comn_uchar out[sizeof text];
  int n = 0;
  EXPECT_EQ(comn_str_to_ascii(text, sizeof text, out, &n, &db.rec), 1);
  const comn_uchar want[] = {'a', 0xFF, 'q', 0x83, 0xA1, 'b', 0x82};
  ASSERT_EQ(n, static_cast<int>(sizeof want));
  EXPECT_EQ(std::memcmp(out, want, sizeof want), 0);
  // In place.
  comn_uchar same[sizeof text];
  std::memcpy(same, text, sizeof text);
  EXPECT_EQ(comn_str_to_ascii(same, sizeof same, same, &n, &db.rec), 1);
  EXPECT_EQ(std::memcmp(same, want, sizeof want), 0);
}

}  // namespace
