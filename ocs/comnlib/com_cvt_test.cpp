#include "comnlib/com_cvt.h"
#include "comnlib/com_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string S(const char* p, size_t n) { return std::string(p, n); }

// Calls a cell's routine of call type 1.
int cvt1(int s, int d, const void* src, int sl, void* dst, int dl) {
  auto f = reinterpret_cast<ComCvt1>(com_matrix_cell(s, d));
  return f(src, sl, dst, dl);
}

}  // namespace

TEST(CvtText, CharTargets) {
  char b[16];
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_chartochar("abc", 3, b, 5), 3);
  EXPECT_EQ(S(b, 5), "abc  ");
  EXPECT_EQ(com_chartochar("abc", 3, b, 2), -1);
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_chartochar("abc", 3, b, -1), 3);
  EXPECT_EQ(S(b, 4), "abcx");
  EXPECT_EQ(com_chartostring("abc", 3, b, 4), 3);
  EXPECT_STREQ(b, "abc");
  EXPECT_EQ(com_chartostring("abc", 3, b, 3), -1);
  EXPECT_STREQ(b, "ab");
  EXPECT_EQ(com_chartostring("abc", 3, b, 6), 3);
  EXPECT_EQ(S(b, 6), std::string("abc  \0", 6));
  EXPECT_EQ(com_chartontbstring("ab   ", 5, b, 10), 2);
  EXPECT_STREQ(b, "ab");
  EXPECT_EQ(com_chartontbstring("   ", 3, b, 10), 0);
  EXPECT_STREQ(b, "");
  EXPECT_EQ(com_chartovarychar("abc", 3, b, -1), 3);
  std::int16_t len;
  std::memcpy(&len, b, 2);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(S(b + 2, 3), "abc");
  EXPECT_EQ(com_chartochar(nullptr, 3, b, 5), 0);
  EXPECT_EQ(com_chartochar("abc", 0, b, 5), 0);
}

TEST(CvtText, HexAndBit) {
  unsigned char b[8];
  std::memset(b, 0xEE, sizeof b);
  EXPECT_EQ(com_chartobinary(" 0x1A2 ", 7, b, 4), 2);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[1], 0xA2);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(com_chartobinary("1G", 2, b, 4), -3);
  EXPECT_EQ(com_chartobinary("123456", 6, b, 2), -1);
  struct { const char* t; int rc; int bit; } bits[] = {
      {"10", 1, 1}, {"00", 1, 0}, {" 1", -3, 0}, {"1 ", 1, 1}, {"   ", 1, 0}};
  for (auto c : bits) {
    unsigned char v = 9;
    EXPECT_EQ(com_chartobit(c.t, static_cast<int>(std::strlen(c.t)), &v, 1), c.rc) << c.t;
    EXPECT_EQ(v, c.bit) << c.t;
  }
  char vc[8] = {0, 0};
  EXPECT_EQ(com_varychartochar(vc, 0, b, 4), 0);  // empty varychar converts nothing
}

TEST(CvtText, NumbersToText) {
  char b[32];
  double one = 1.0, quarter = 0.25, big = 1e20, wide = 123456.0;
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_flt8tochar(&one, 8, b, 10, nullptr), 3);
  EXPECT_EQ(S(b, 10), "1.0       ");
  EXPECT_EQ(com_flt8tontbstring(&quarter, 8, b, 10, nullptr), 3);
  EXPECT_STREQ(b, ".25");
  EXPECT_EQ(com_flt8tostring(&big, 8, b, 20, nullptr), 5);
  EXPECT_EQ(S(b, 5), "1e+20");
  EXPECT_EQ(com_flt8tontbstring(&big, 8, b, 20, nullptr), 7);
  EXPECT_STREQ(b, "1.0e+20");
  EXPECT_EQ(com_flt8tochar(&wide, 8, b, 4, nullptr), -1);
  EXPECT_EQ(S(b, 4), "*   ");
  double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  EXPECT_EQ(com_flt8tontbstring(&inf, 8, b, 20, nullptr), 3);
  EXPECT_STREQ(b, "inf");
  EXPECT_EQ(com_flt8tontbstring(&nan, 8, b, 20, nullptr), 3);
  EXPECT_STREQ(b, "nan");
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_flt8tochar(&wide, 8, b, 0, nullptr), -1);  // no room, nothing written
  EXPECT_EQ(b[0], 'x');

  std::int32_t m42 = -42;
  EXPECT_EQ(com_i4tostring(&m42, 4, b, 4), 3);
  EXPECT_STREQ(b, "-42");
  EXPECT_EQ(com_i4tostring(&m42, 4, b, 3), -1);
  EXPECT_EQ(S(b, 3), std::string("* \0", 3));
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_i4tostring(&m42, 4, b, 1), -1);  // a one-byte target holds only the NUL
  EXPECT_EQ(b[0], '\0');
  EXPECT_EQ(b[1], 'x');
  unsigned char u = 200;
  EXPECT_EQ(com_i1tontbstring(&u, 1, b, 0), 3);
  EXPECT_STREQ(b, "200");

  COM_MONEY m{0, 123450};  // 12.345
  EXPECT_EQ(com_moneytochar(&m, 8, b, 8), 5);
  EXPECT_EQ(S(b, 8), "12.35   ");
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_moneytostring(&m, 8, b, 4), -1);
  EXPECT_EQ(b[0], 'x');  // left alone
}

TEST(CvtText, DatetimeToText) {
  // The earliest and latest tick of the range, bound as a 63-byte string.
  COM_DATETIME dt{-53690, 25919999};
  char b[64];
  std::memset(b, 'x', sizeof b);
  int r = com_datetostring_ex(&dt, 8, b, 63, nullptr, 9);
  EXPECT_EQ(r, 26);
  EXPECT_EQ(S(b, 26), "Jan  1 1753 11:59:59:996PM");
  for (int i = 26; i < 62; ++i) ASSERT_EQ(b[i], ' ') << i;
  EXPECT_EQ(b[62], '\0');
  EXPECT_EQ(b[63], 'x');
  EXPECT_EQ(com_date2char_ex(&dt, 8, b, 10, nullptr, 9), -1);
  EXPECT_EQ(com_datetontbstring_ex(&dt, 8, b, 0, nullptr, 0), 19);
  EXPECT_STREQ(b, "Jan  1 1753 11:59PM");
  COM_DATETIME bad{2958464, 0};
  EXPECT_LT(com_datetostring_ex(&bad, 8, b, 63, nullptr, 9), 0);
  COM_DATETIME4 d4{0, 61};
  EXPECT_EQ(com_date4tontbstring(&d4, 4, b, 0, nullptr, 9), 19);
  EXPECT_STREQ(b, "Jan  1 1900  1:01AM");
}

TEST(CvtText, BytesToTextAndBack) {
  unsigned char src[] = {0x01, 0xFF};
  char b[16];
  EXPECT_EQ(com_bintochar(src, 2, b, -1), 4);
  EXPECT_EQ(S(b, 4), "01ff");
  EXPECT_EQ(com_bintostring(src, 2, b, 4), -1);
  EXPECT_EQ(com_bintostring(src, 2, b, 5), 4);
  EXPECT_STREQ(b, "01ff");
  std::int32_t i4 = -1;
  EXPECT_EQ(com_bintoi4(src, 2, &i4, 4), 4);
  unsigned char raw[4];
  std::memcpy(raw, &i4, 4);
  EXPECT_EQ(raw[0], 0x01);
  EXPECT_EQ(raw[1], 0xFF);
  EXPECT_EQ(raw[2], 0);
  EXPECT_EQ(raw[3], 0);
  unsigned char bin[6];
  EXPECT_EQ(com_anytobinary(&i4, 4, bin, 6), 4);
  EXPECT_EQ(bin[4], 0);
  EXPECT_EQ(com_anytobinary(&i4, 4, bin, 2), -1);
}

TEST(NullSetters, WithAndWithoutNullValue) {
  char b[16];
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_setcharnull(b, 6, "null", 4, 0, 0), 4);
  EXPECT_EQ(S(b, 6), "null  ");
  EXPECT_EQ(com_setcharnull(b, 3, "null", 4, 0, 0), -5);
  EXPECT_EQ(com_setstringnull(b, 4, "nulls", 5, 0, 0), -5);
  EXPECT_STREQ(b, "nul");
  EXPECT_EQ(com_setstringnull(b, 6, "nulls", 5, 0, 0), 5);
  EXPECT_STREQ(b, "nulls");
  EXPECT_EQ(com_setstringnull(b, 10, "nulls", 5, 0, 0), 5);
  EXPECT_EQ(S(b, 10), std::string("nulls    \0", 10));
  EXPECT_EQ(com_setntbstringnull(b, 10, nullptr, 0, 0, 0), 0);
  EXPECT_STREQ(b, "");
  // The varying setters are bounded by the target.
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_setvarycharnull(b, 3, "abcdef", 6, 0, 0), -5);
  std::int16_t len;
  std::memcpy(&len, b, 2);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(S(b + 2, 4), "abcx");
  EXPECT_EQ(com_setvarybinnull(b, 10, "ab", 2, 0, 0), 2);
  unsigned char num[35];
  EXPECT_EQ(com_setnumnull(num, 35, nullptr, 0, 0, 0), -7);
  EXPECT_EQ(com_setnumnull(num, 35, nullptr, 0, 10, 2), 35);
  EXPECT_EQ(num[0], 10);
  EXPECT_EQ(num[1], 2);
  std::int32_t i4 = 7;
  EXPECT_EQ(com_seti4null(&i4, 4, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(i4, 0);
  std::int32_t nv = -99;
  EXPECT_EQ(com_seti4null(&i4, 4, &nv, 4, 0, 0), 4);
  EXPECT_EQ(i4, -99);
  EXPECT_EQ(com_null_setter(5), nullptr);
  EXPECT_EQ(com_null_setter(7), nullptr);
  EXPECT_EQ(com_null_setter(COM_BT_BOUND), com_setntbstringnull);
}

TEST(Matrix, CellsAndCallTypes) {
  int built = 0;
  for (int s = 1; s <= 22; ++s)
    for (int d = 1; d <= 22; ++d) built += com_matrix_cell(s, d) != nullptr;
  EXPECT_EQ(built, 296);
  EXPECT_EQ(com_matrix_cell(COM_BT_BIT, COM_BT_MONEY), nullptr);
  EXPECT_EQ(com_matrix_cell(COM_BT_SENS, COM_BT_I4), nullptr);
  EXPECT_EQ(com_matrix_cell(COM_BT_DATETIME, COM_BT_NUMERIC), nullptr);
  EXPECT_NE(com_matrix_cell(COM_BT_CHAR, COM_BT_DATETIME), nullptr);
  EXPECT_NE(com_matrix_cell(COM_BT_NUMERIC, COM_BT_CHAR), nullptr);
  EXPECT_NE(com_matrix_cell(COM_BT_VARYCHAR, COM_BT_DECIMAL), nullptr);
  EXPECT_EQ(com_matrix_cell(0, 4), nullptr);
  EXPECT_EQ(com_call_type(COM_BT_CHAR, COM_BT_I4), 5);
  EXPECT_EQ(com_call_type(COM_BT_CHAR, COM_BT_DATETIME), 2);
  EXPECT_EQ(com_call_type(COM_BT_DATETIME, COM_BT_STRING), 3);
  EXPECT_EQ(com_call_type(COM_BT_FLT4, COM_BT_VARYCHAR), 4);
  EXPECT_EQ(com_call_type(COM_BT_I4, COM_BT_NUMERIC), 6);
  EXPECT_EQ(com_call_type(COM_BT_STRING, COM_BT_DECIMAL), 7);
  EXPECT_EQ(com_call_type(COM_BT_CHAR, COM_BT_CHAR), 1);
  EXPECT_EQ(com_call_type(99, COM_BT_NUMERIC), 1);
  char b[8];
  EXPECT_EQ(cvt1(COM_BT_VARYCHAR, COM_BT_SENS, "\x02\x00xy", 2, b, 8), 2);
}

TEST(CvtFixed, RangesRoundingAndUnderflow) {
  auto i2 = [](std::int16_t v) { return v; };
  unsigned char u8 = 0;
  std::int16_t s16 = 0;
  std::int32_t s32 = 0;
  std::int16_t m1 = i2(-1), v255 = i2(255);
  EXPECT_EQ(com_i2toi1(&m1, 2, &u8, 1), -1);
  EXPECT_EQ(com_i2toi1(&v255, 2, &u8, 1), 1);
  EXPECT_EQ(u8, 255);
  std::int32_t big = 40000, small = -40000;
  EXPECT_EQ(com_i4toi2(&big, 4, &s16, 2), -1);
  EXPECT_EQ(com_i4toi2(&small, 4, &s16, 2), -2);
  unsigned char two00 = 200;
  EXPECT_EQ(com_i1toi4(&two00, 1, &s32, 4), 4);
  EXPECT_EQ(s32, 200);
  struct { double v; int target; int rc; long long out; } fl[] = {
      {255.0, COM_BT_I1, 1, 255},  {255.5, COM_BT_I1, -1, 0},   {-0.5, COM_BT_I1, -1, 0},
      {3.9, COM_BT_I2, 2, 3},      {-3.9, COM_BT_I2, 2, -3},    {2147483647.0, COM_BT_I4, 4, 2147483647},
      {2147483648.0, COM_BT_I4, -1, 0}, {std::nan(""), COM_BT_I4, 4, 0}};
  for (auto c : fl) {
    unsigned char buf[8] = {};
    auto f = reinterpret_cast<ComCvt1>(com_matrix_cell(COM_BT_FLT8, c.target));
    ASSERT_EQ(f(&c.v, 8, buf, 0), c.rc) << c.v;
    if (c.rc < 0) continue;
    long long got = c.target == COM_BT_I1 ? buf[0]
                    : c.target == COM_BT_I2 ? *reinterpret_cast<std::int16_t*>(buf)
                                            : *reinterpret_cast<std::int32_t*>(buf);
    EXPECT_EQ(got, c.out) << c.v;
  }
  double huge = 1e39;
  float f4 = 0;
  EXPECT_EQ(com_flt8toflt4(&huge, 8, &f4, 4), -1);
  double nhuge = -1e39, fmax = -3.4028234663852886e+38;
  EXPECT_EQ(com_flt8toflt4(&nhuge, 8, &f4, 4), -1);
  EXPECT_EQ(com_flt8toflt4(&fmax, 8, &f4, 4), 4);
  EXPECT_EQ(f4, -std::numeric_limits<float>::max());
  float tenth = 0.1f;
  double d8 = 0;
  EXPECT_EQ(com_flt4toflt8(&tenth, 4, &d8, 8), 8);
  EXPECT_EQ(d8, static_cast<double>(0.1f));

  // Money rounds halves away from zero.
  struct { long long units; int rc; std::int32_t out; } mi[] = {
      {25000, 4, 3}, {-25000, 4, -3}, {24999, 4, 2}};
  for (auto c : mi) {
    COM_MONEY m{static_cast<std::int32_t>(c.units >> 32), static_cast<std::uint32_t>(c.units)};
    ASSERT_EQ(com_moneytoi4(&m, 8, &s32, 4), c.rc);
    EXPECT_EQ(s32, c.out);
  }
  COM_MONEY m2555{0, 2555000}, m2554{0, 2554999};
  EXPECT_EQ(com_moneytoi1(&m2555, 8, &u8, 1), -1);
  EXPECT_EQ(com_moneytoi1(&m2554, 8, &u8, 1), 1);
  EXPECT_EQ(u8, 255);
  std::int32_t i4 = 214748;
  COM_MONEY4 m4{};
  EXPECT_EQ(com_i4tomny4(&i4, 4, &m4, 4), 4);
  EXPECT_EQ(m4.mny4, 2147480000);
  i4 = 214749;
  EXPECT_EQ(com_i4tomny4(&i4, 4, &m4, 4), -1);
  double tiny = 0.00005, ntiny = -0.00005;
  COM_MONEY m{};
  ASSERT_EQ(com_flt8tomny(&tiny, 8, &m, 8), 8);
  EXPECT_EQ(m.mnylow, 1u);
  ASSERT_EQ(com_flt8tomny(&ntiny, 8, &m, 8), 8);
  EXPECT_EQ(m.mnyhigh, -1);
  EXPECT_EQ(m.mnylow, 0xFFFFFFFFu);
  double nan = std::nan("");
  EXPECT_EQ(com_flt8tomny(&nan, 8, &m, 8), -1);
  COM_MONEY4 neg4{-50000};  // -5.0
  EXPECT_EQ(com_mny4toflt8(&neg4, 4, &d8, 8), 8);
  EXPECT_EQ(d8, -5.0);

  // Datetime to smalldatetime rounds to the minute and stays in range.
  COM_DATETIME last{65535 - 1, 23 * 1080000 + 59 * 18000 + 29 * 300 + 299};
  COM_DATETIME4 d4{};
  EXPECT_EQ(com_datetodate4(&last, 8, &d4, 4), 4);
  last.dtdays = 65535;
  last.dttime = 23 * 1080000 + 59 * 18000 + 30 * 300;
  EXPECT_EQ(com_datetodate4(&last, 8, &d4, 4), -1);
}

// Every range check of a fixed-size integer target at its edges: the last
// value in range is stored, one past it fails (an int or smallmoney below a
// smallint's range with -2).
TEST(CvtFixed, IntegerTargetsAtTheEdgesOfTheirRanges) {
  struct Case { int source; double v; int target; int rc; long long out; } cases[] = {
      {COM_BT_I4, 255, COM_BT_I1, 1, 255},          {COM_BT_I4, 256, COM_BT_I1, -1, 0},
      {COM_BT_I4, 0, COM_BT_I1, 1, 0},              {COM_BT_I4, -1, COM_BT_I1, -1, 0},
      {COM_BT_I4, 32767, COM_BT_I2, 2, 32767},      {COM_BT_I4, 32768, COM_BT_I2, -1, 0},
      {COM_BT_I4, -32768, COM_BT_I2, 2, -32768},    {COM_BT_I4, -32769, COM_BT_I2, -2, 0},
      {COM_BT_FLT8, 32767, COM_BT_I2, 2, 32767},    {COM_BT_FLT8, 32768, COM_BT_I2, -1, 0},
      {COM_BT_FLT8, -32768, COM_BT_I2, 2, -32768},  {COM_BT_FLT8, -32769, COM_BT_I2, -1, 0},
      {COM_BT_FLT8, 0, COM_BT_I1, 1, 0},            {COM_BT_FLT8, 256, COM_BT_I1, -1, 0},
      {COM_BT_FLT8, -2147483648.0, COM_BT_I4, 4, -2147483648LL},
      {COM_BT_FLT8, -2147483649.0, COM_BT_I4, -1, 0},
      {COM_BT_MONEY, 32767, COM_BT_I2, 2, 32767},   {COM_BT_MONEY, 32768, COM_BT_I2, -1, 0},
      {COM_BT_MONEY, -32768, COM_BT_I2, 2, -32768}, {COM_BT_MONEY, -32769, COM_BT_I2, -1, 0},
      {COM_BT_MONEY, 0, COM_BT_I1, 1, 0},           {COM_BT_MONEY, -1, COM_BT_I1, -1, 0},
      {COM_BT_MNY4, 32767, COM_BT_I2, 2, 32767},    {COM_BT_MNY4, 32768, COM_BT_I2, -1, 0},
      {COM_BT_MNY4, -32768, COM_BT_I2, 2, -32768},  {COM_BT_MNY4, -32769, COM_BT_I2, -2, 0},
  };
  for (const Case& c : cases) {
    unsigned char src[8] = {}, dst[8] = {};
    int len = 0;
    if (c.source == COM_BT_I4) {
      const auto v = static_cast<std::int32_t>(c.v);
      std::memcpy(src, &v, len = 4);
    } else if (c.source == COM_BT_FLT8) {
      std::memcpy(src, &c.v, len = 8);
    } else if (c.source == COM_BT_MONEY) {
      const auto units = static_cast<long long>(c.v) * 10000;
      COM_MONEY m{static_cast<std::int32_t>(units >> 32), static_cast<std::uint32_t>(units)};
      std::memcpy(src, &m, len = 8);
    } else {
      COM_MONEY4 m4{static_cast<std::int32_t>(c.v * 10000)};
      std::memcpy(src, &m4, len = 4);
    }
    auto f = reinterpret_cast<ComCvt1>(com_matrix_cell(c.source, c.target));
    ASSERT_NE(f, nullptr);
    const int rc = f(src, len, dst, 0);
    EXPECT_EQ(rc, c.rc) << c.source << " " << c.v << " -> " << c.target;
    if (rc < 0 || rc != c.rc) continue;
    std::int16_t s16;
    std::int32_t s32;
    std::memcpy(&s16, dst, 2);
    std::memcpy(&s32, dst, 4);
    const long long got = c.target == COM_BT_I1 ? dst[0] : c.target == COM_BT_I2 ? s16 : s32;
    EXPECT_EQ(got, c.out) << c.source << " " << c.v << " -> " << c.target;
  }
}
