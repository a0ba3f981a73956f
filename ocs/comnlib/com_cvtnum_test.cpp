#include "comnlib/com_cvt.h"
#include "comnlib/com_num.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

COM_NUMERIC num(const char* text, int p, int s) {
  COM_NUMERIC n{};
  EXPECT_EQ(com_mb_chartonum(text, static_cast<int>(std::strlen(text)), &n, 35, p, s, nullptr), 35)
      << text;
  return n;
}

std::string as_text(const COM_NUMERIC& n) {
  char b[100];
  int r = com_numtontbstring(&n, 35, b, sizeof b);
  return r < 0 ? "<" + std::to_string(r) + ">" : std::string(b);
}

}  // namespace

TEST(CvtNum, ToText) {
  COM_NUMERIC n = num("123.456", 6, 3);
  char b[16];
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(com_numtochar(&n, 35, b, 10), 7);
  EXPECT_EQ(std::string(b, 10), "123.456   ");
  EXPECT_EQ(com_numtochar(&n, 35, b, 5), -1);
  EXPECT_EQ(com_numtostring(&n, 35, b, 8), 7);
  EXPECT_STREQ(b, "123.456");
  EXPECT_EQ(com_numtostring(&n, 35, b, 7), -1);
  EXPECT_EQ(b[6], '\0');
  char v[12];
  std::memset(v, 'x', sizeof v);
  EXPECT_EQ(com_numtovarychar(&n, 35, v, 10), 7);
  std::int16_t vl;
  std::memcpy(&vl, v, 2);
  EXPECT_EQ(vl, 7);
  EXPECT_EQ(std::string(v + 2, 7), "123.456");
  // A short varychar target is not written past its end.
  std::memset(v, 'x', sizeof v);
  EXPECT_EQ(com_numtovarychar(&n, 35, v, 3), -1);
  EXPECT_EQ(v[5], 'x');
}

TEST(CvtNum, FromText) {
  COM_NUMERIC n{};
  EXPECT_EQ(com_mb_chartonum("12.5", 4, &n, 35, 10, 2, nullptr), 35);
  EXPECT_EQ(as_text(n), "12.50");
  EXPECT_EQ(com_mb_chartonum("12.505", 6, &n, 35, 10, 2, nullptr), -1);
  EXPECT_EQ(com_mb_chartonum("abc", 3, &n, 35, 10, 2, nullptr), -3);
  EXPECT_EQ(com_mb_chartonum("1", 1, &n, 35, 0, 0, nullptr), -103);
  EXPECT_EQ(com_mb_chartonum("1", 1, &n, 35, 5, 78, nullptr), -104);
  // A text longer than any work area is read whole, not cut.
  std::string longtext = "1" + std::string(1100, ' ') + "2";
  EXPECT_EQ(com_mb_chartonum(longtext.data(), static_cast<int>(longtext.size()), &n, 35, 10, 0,
                             nullptr), -3);
  std::string padded = "-7" + std::string(1100, ' ');
  EXPECT_EQ(com_mb_chartonum(padded.data(), static_cast<int>(padded.size()), &n, 35, 10, 0,
                             nullptr), 35);
  EXPECT_EQ(as_text(n), "-7");
}

TEST(CvtNum, ToFixed) {
  COM_NUMERIC big = num("100000000000000000000", 21, 0);
  std::int32_t i4 = 0;
  EXPECT_EQ(com_numtoi4(&big, 35, &i4, 4), -1);
  COM_NUMERIC n = num("-3.75", 5, 2);
  EXPECT_EQ(com_numtoi4(&n, 35, &i4, 4), 4);
  EXPECT_EQ(i4, -3);
  double d = 0;
  EXPECT_EQ(com_numtoflt8(&n, 35, &d, 8), 8);
  EXPECT_EQ(d, -3.75);
  COM_MONEY m{};
  EXPECT_EQ(com_numtomny(&n, 35, &m, 8), 8);
  EXPECT_EQ(static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32) | m.mnylow), -37500);
  COM_MONEY4 m4{};
  EXPECT_EQ(com_numtomny4(&big, 35, &m4, 4), -1);
  unsigned char bit = 9;
  EXPECT_EQ(com_numtobit(&n, 35, &bit, 1), 1);
  EXPECT_EQ(bit, 1);
  COM_NUMERIC bad = n;
  bad.precision = 0;
  EXPECT_EQ(com_numtoi4(&bad, 35, &i4, 4), -6);
  unsigned char bin[40];
  EXPECT_EQ(com_numtobin(&n, 35, bin, 33), 33);
  EXPECT_EQ(bin[0], 1);  // the sign byte
}

TEST(CvtNum, ToNumeric) {
  COM_NUMERIC n{};
  std::int32_t v = -2147483647 - 1;
  EXPECT_EQ(com_i4tonum(&v, 4, &n, 35, 10, 0), 35);
  EXPECT_EQ(as_text(n), "-2147483648");
  EXPECT_EQ(com_i4tonum(&v, 4, &n, 35, 9, 0), -1);
  EXPECT_EQ(com_i4tonum(&v, 4, &n, 35, 78, 0), -7);
  EXPECT_EQ(com_i4tonum(&v, 4, &n, 35, 10, 78), -8);
  double d = 2.5;
  EXPECT_EQ(com_flt8tonum(&d, 8, &n, 35, 5, 1), 35);
  EXPECT_EQ(as_text(n), "2.5");
  d = 1.0 / 0.0;
  EXPECT_EQ(com_flt8tonum(&d, 8, &n, 35, 5, 1), -1);
  COM_MONEY m{-1, static_cast<std::uint32_t>(-50)};
  EXPECT_EQ(com_moneytonum(&m, 8, &n, 35, 10, 2), 35);
  EXPECT_EQ(as_text(n), "-0.01");
  unsigned char bit = 2;
  EXPECT_EQ(com_bittonum(&bit, 1, &n, 35, 5, 0), -6);
  const unsigned char bytes[2] = {0x00, 0x05};
  EXPECT_EQ(com_bintonum(bytes, 2, &n, 35, 5, 0), 35);
  EXPECT_EQ(n.precision, 5);
  EXPECT_EQ(n.value[0], 0x00);
  EXPECT_EQ(n.value[1], 0x05);
  EXPECT_EQ(n.value[2], 0x00);

  // Rescaling: up exactly, down truncating; a long source fits a short target
  // when its rescaled value does.
  COM_NUMERIC x = num("12.3456", 10, 4), r{};
  EXPECT_EQ(com_numtonum(&x, 35, &r, 35, 10, 2), comn_num_getlen(10) + 2);
  EXPECT_EQ(as_text(r), "12.34");
  COM_NUMERIC wide = num("1.5000000000", 38, 10);
  EXPECT_EQ(com_numtonum(&wide, 35, &r, 35, 5, 1), comn_num_getlen(5) + 2);
  EXPECT_EQ(as_text(r), "1.5");
  EXPECT_EQ(com_numtonum(&x, 35, &r, 35, 3, 2), -1);
}

TEST(CvtNum, NullSetter) {
  COM_NUMERIC nv = num("12.34", 10, 2), out{};
  EXPECT_EQ(com_setnumnull(&out, 35, &nv, 35, 12, 4), comn_num_getlen(12) + 2);
  EXPECT_EQ(out.precision, 12);
  EXPECT_EQ(out.scale, 4);
  EXPECT_EQ(as_text(out), "12.3400");
  EXPECT_EQ(com_setnumnull(&out, 35, &nv, 35, 3, 2), -1);
  EXPECT_EQ(com_setnumnull(&out, 35, &nv, 35, 0, 2), -7);
}
