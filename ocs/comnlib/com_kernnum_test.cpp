#include "comnlib/com_kern.h"
#include "comnlib/com_num.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

namespace {

struct K {
  COMN_CONTEXT ctx{};
  COMN_DATAFORMAT sf{}, df{};
  std::int32_t out = -1;
  unsigned char buf[300];
  K(int maxlen = 0, int fmt = 0) {
    df.maxlength = maxlen;
    df.format = fmt;
    std::memset(buf, 'x', sizeof buf);
  }
  int run(ComnKernel k, const void* src) { return k(&ctx, &sf, src, &df, buf, &out); }
  std::string text() const { return std::string(reinterpret_cast<const char*>(buf), out); }
  template <typename V>
  V value() const {
    V v;
    std::memcpy(&v, buf, sizeof v);
    return v;
  }
};

COM_MONEY money(std::int64_t u) {
  auto x = static_cast<std::uint64_t>(u);
  return COM_MONEY{static_cast<std::int32_t>(static_cast<std::uint32_t>(x >> 32)),
                   static_cast<std::uint32_t>(x)};
}

}  // namespace

TEST(KernNum, Saturation) {
  K k;
  std::int32_t i4 = 32768;
  EXPECT_EQ(k.run(comn_i4toi2, &i4), COMN_EOVERFLOW);
  EXPECT_EQ(k.value<std::int16_t>(), 32767);
  i4 = -5;
  EXPECT_EQ(k.run(comn_i4toi1, &i4), COMN_EOVERFLOW);
  EXPECT_EQ(k.value<std::uint8_t>(), 0);
  std::int16_t i2 = 300;
  EXPECT_EQ(k.run(comn_i2toi1, &i2), COMN_EOVERFLOW);
  EXPECT_EQ(k.value<std::uint8_t>(), 255);
  double d = 1e300;
  EXPECT_EQ(k.run(comn_flt8toflt4, &d), COMN_EOVERFLOW);
  EXPECT_EQ(k.value<float>(), FLT_MAX);
  struct { double v; int st; int expect; } f2i[] = {
      {-3.7, COMN_OK, -3}, {255.0, COMN_OK, 255}, {255.5, COMN_EOVERFLOW, 255},
      {-0.5, COMN_EOVERFLOW, 0}, {NAN, COMN_EOVERFLOW, 0}, {1e300, COMN_EOVERFLOW, 255}};
  for (auto c : f2i) {
    ComnKernel kern = c.v == -3.7 ? comn_flt8toi4 : comn_flt8toi1;
    EXPECT_EQ(k.run(kern, &c.v), c.st) << c.v;
    int got = kern == comn_flt8toi4 ? k.value<std::int32_t>() : k.value<std::uint8_t>();
    EXPECT_EQ(got, c.expect) << c.v;
  }
  float huge = 3e38f;
  EXPECT_EQ(k.run(comn_flt4toi4, &huge), COMN_EOVERFLOW);
  EXPECT_EQ(k.value<std::int32_t>(), INT32_MAX);
}

TEST(KernNum, FloatAndIntegerText) {
  struct { double v; const char* text; } cases[] = {
      {0.5, ".5        "}, {2.0, "2.0       "}, {0.0, "0.0       "}, {1e20, "1e+20     "}};
  for (auto c : cases) {
    K k(10, COMN_FMT_PADBLANK);
    EXPECT_EQ(k.run(comn_flt8tochar, &c.v), COMN_OK);
    EXPECT_EQ(k.out, 10);
    EXPECT_EQ(k.text(), c.text);
  }
  double wide = 0.1;  // ".10000000000000001"
  K star(5, COMN_FMT_PADBLANK);
  EXPECT_EQ(star.run(comn_flt8tochar, &wide), COMN_EOVERFLOW);
  EXPECT_EQ(star.text(), "*    ");
  K one(1);
  EXPECT_EQ(one.run(comn_flt8tochar, &wide), COMN_EOVERFLOW);
  EXPECT_EQ(one.buf[0], 'x');

  std::int32_t v = 12345;
  K nul(5, COMN_FMT_NULLTERM);
  EXPECT_EQ(nul.run(comn_i4tochar, &v), COMN_EOVERFLOW);
  EXPECT_EQ(nul.buf[0], '*');
  K plain(5);
  EXPECT_EQ(plain.run(comn_i4tochar, &v), COMN_OK);
  EXPECT_EQ(plain.text(), "12345");
  K both(8, COMN_FMT_PADBLANK | COMN_FMT_PADZERO);
  EXPECT_EQ(both.run(comn_i4tochar, &v), COMN_EFORMAT);
  K vc;
  EXPECT_EQ(vc.run(comn_i4tovarchar, &v), COMN_OK);
  EXPECT_EQ(vc.out, 258);
  EXPECT_EQ(vc.value<std::int16_t>(), 5);
}

TEST(KernNum, BitAndBinary) {
  unsigned char two = 2;
  ComnKernel all[] = {comn_bittobit, comn_bittoi4, comn_bittoflt8, comn_bittochar,
                      comn_bittobin, comn_bittovarchar, comn_bittonum};
  for (ComnKernel kern : all) {
    K k(8);
    EXPECT_EQ(k.run(kern, &two), COMN_EDOMAIN);
  }
  unsigned char one = 1;
  K c(3, COMN_FMT_PADBLANK);
  EXPECT_EQ(c.run(comn_bittochar, &one), COMN_OK);
  EXPECT_EQ(c.text(), "1  ");
  std::int16_t i2 = 0x0102;
  K b(4, COMN_FMT_PADZERO);
  EXPECT_EQ(b.run(comn_i2tobin, &i2), COMN_OK);
  EXPECT_EQ(b.out, 4);
  K cut(1);
  EXPECT_EQ(cut.run(comn_i2tobin, &i2), COMN_ETRUNCATED);
}

TEST(KernNum, Money) {
  struct { std::int64_t u; int st; std::int32_t v; } toi8[] = {
      {5000, COMN_OK, 1}, {-5000, COMN_OK, -1}, {14900, COMN_OK, 1},
      {4950, COMN_OK, 0},  // rounded once, at the unit
      {21474836475000LL, COMN_EOVERFLOW, 0}};
  for (auto c : toi8) {
    K k;
    COM_MONEY m = money(c.u);
    std::int32_t before = 0;
    std::memcpy(k.buf, &before, 4);
    EXPECT_EQ(k.run(comn_moneytoi8, &m), c.st) << c.u;
    EXPECT_EQ(k.value<std::int32_t>(), c.v) << c.u;
  }
  COM_MONEY m = money(-12345678);
  K t(20);
  t.df.precision = -3;
  EXPECT_EQ(t.run(comn_moneytochar, &m), COMN_OK);
  EXPECT_EQ(t.text(), "-1234.57");
  EXPECT_EQ(t.df.precision, 0);
  K t4(20);
  t4.df.precision = 4;
  EXPECT_EQ(t4.run(comn_moneytochar, &m), COMN_OK);
  EXPECT_EQ(t4.text(), "-1234.5678");
  K small(4, COMN_FMT_NULLTERM);
  EXPECT_EQ(small.run(comn_moneytochar, &m), COMN_EOVERFLOW);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(small.buf), 4), std::string("-12\0", 4));
  std::int32_t big = 300000;
  K m4;
  EXPECT_EQ(m4.run(comn_i4tomny4, &big), COMN_EOVERFLOW);
  double inf = INFINITY;
  EXPECT_EQ(m4.run(comn_flt8tomoney, &inf), COMN_EOVERFLOW);
}

TEST(KernNum, NumericToNumeric) {
  COM_NUMERIC n{10, 4, {}};
  ASSERT_EQ(com__subchartoexctnume("12.3456", 7, n.value, comn_num_getlen(10), 10, 4, 0), 0);
  K same;
  same.df.precision = same.df.scale = COMN_SRC_PRECSCALE;
  EXPECT_EQ(same.run(comn_numtonum, &n), COMN_OK);
  EXPECT_EQ(std::memcmp(same.buf, &n, 2 + comn_num_getlen(10)), 0);
  EXPECT_EQ(same.out, comn_num_getlen(10) + 2);
  K down;
  down.df.precision = 10;
  down.df.scale = 2;
  EXPECT_EQ(down.run(comn_numtonum, &n), COMN_ETRUNCATED);
  K p78;
  p78.df.precision = 78;
  EXPECT_EQ(p78.run(comn_numtonum, &n), COMN_EPRECISION);
  COM_NUMERIC bad = n;
  bad.precision = 0;
  ComnKernel all[] = {comn_numtoi4, comn_numtoflt8, comn_numtochar, comn_numtonum, comn_numtomoney};
  for (ComnKernel kern : all) {
    K k(40);
    k.df.precision = 10;
    EXPECT_EQ(k.run(kern, &bad), COMN_EDOMAIN);
  }
  K t(40, COMN_FMT_NULLTERM);
  EXPECT_EQ(t.run(comn_numtochar, &n), COMN_OK);
  EXPECT_STREQ(reinterpret_cast<char*>(t.buf), "12.3456");
}
