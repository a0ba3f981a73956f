#include "comnlib/com_cvt.h"
#include "comnlib/com_money.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

COM_MONEY money(std::int64_t units) {
  auto u = static_cast<std::uint64_t>(units);
  return COM_MONEY{static_cast<std::int32_t>(static_cast<std::uint32_t>(u >> 32)),
                   static_cast<std::uint32_t>(u)};
}

std::int64_t units(const COM_MONEY& m) {
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32) | m.mnylow);
}

std::string write(std::int64_t v, int flags) {
  COM_MONEY m = money(v);
  char area[40];
  char* p = com_cvtmnytochar(&m, area, sizeof area, flags);
  return p ? std::string(p, area + sizeof area) : "<none>";
}

}  // namespace

TEST(Money, Reader) {
  struct { const char* t; int rc; std::int64_t v; } cases[] = {
      {"$12.50", 0, 125000},
      {"- $12", 0, -120000},
      {"$$1", 2, 0},
      {"1,234.5", 0, 12345000},
      {"12,34", 0, 12340000},
      {"1,23,456", 2, 0},
      {"1.23456", 0, 12346},
      {"1.23454", 0, 12345},
      {"12   ", 0, 120000},
      {"   ", 0, 0},
      {"+-1", 2, 0},
      {"12x", 2, 0},
      {"-922337203685477.5808", 0, INT64_MIN},
      {"922337203685477.5808", 1, 0},
      {"922337203685477.5807", 0, INT64_MAX},
      {"99999999999999999999", 1, 0},
  };
  for (auto c : cases) {
    COM_MONEY m{};
    int rc = com__mnyfromchar_mb(&m, c.t, static_cast<int>(std::strlen(c.t)), 0, nullptr);
    EXPECT_EQ(rc, c.rc) << c.t;
    if (rc == 0) {
      EXPECT_EQ(units(m), c.v) << c.t;
    }
  }
  COM_MONEY4 m4{};
  EXPECT_EQ(com__mny4fromchar_mb(&m4, "300000", 6, 0, nullptr), 1);
  EXPECT_EQ(com__mny4fromchar_mb(&m4, "-1.5", 4, 0, nullptr), 0);
  EXPECT_EQ(m4.mny4, -15000);
}

TEST(Money, Writer) {
  EXPECT_EQ(write(12345678910, 1 | (2 << 8)), "1,234,567.89");
  EXPECT_EQ(write(1230000, 1), "123.00");
  EXPECT_EQ(write(-50, 2 << 8), "-0.01");
  EXPECT_EQ(write(49, 2 << 8), "0.00");
  EXPECT_EQ(write(-1, 2 << 8), "-0.00");
  EXPECT_EQ(write(123456, 4 << 8), "12.3456");
  EXPECT_EQ(write(123456, 1 << 8), "12.3");
  COM_MONEY m = money(123400);
  char area[4];
  EXPECT_EQ(com__mnytochar(&m, area, 4, 0), nullptr);
  char wide[30];
  EXPECT_NE(com_precmnytochar(&m, wide, 30, 0, 4), nullptr);
}

TEST(Money, Arithmetic) {
  COM_MONEY r{};
  COM_MONEY a = money(1), half = money(5000), four = money(4000);
  EXPECT_EQ(com__mnymul(&a, &half, &r), 0);
  EXPECT_EQ(units(r), 1);
  EXPECT_EQ(com__mnymul(&a, &four, &r), 0);
  EXPECT_EQ(units(r), 0);
  COM_MONEY one = money(10000), three = money(30000), zero = money(0);
  EXPECT_EQ(com__mnydiv(&one, &three, &r), 0);
  EXPECT_EQ(units(r), 3333);
  EXPECT_EQ(com__mnydiv(&one, &zero, &r), 3);
  COM_MONEY max{}, unit = money(1);
  com__maxposmny(&max);
  EXPECT_EQ(com__mnyadd(&max, &unit, &r), 1);
  EXPECT_EQ(units(r), 0);
  COM_MONEY minv{};
  com__maxnegmny(&minv);
  EXPECT_EQ(com__mnyminus(&minv, &r), 1);
  EXPECT_EQ(com__mnyinc(&max), 1);
  EXPECT_EQ(com__mnymul(&max, &max, &r), 1);
  COM_MONEY d = money(-123457);
  EXPECT_EQ(com__mnydown(&d, 10), 7);
  EXPECT_EQ(units(d), -12345);
  COM_MONEY4 x{200000 * 10000 / 10000}, y{2000000000}, z{};
  EXPECT_EQ(com__mnyadd4(&y, &y, &z), 1);
  EXPECT_EQ(z.mny4, 0);
  EXPECT_EQ(com__mnymul4(&y, &x, &z), 1);
  COM_MONEY4 p{15000}, q{20000};
  EXPECT_EQ(com__mnymul4(&p, &q, &z), 0);
  EXPECT_EQ(z.mny4, 30000);
  EXPECT_EQ(com__mnyrem(&one, &one, &r), 1);
}

// The shift moves the bits as unsigned (the sign bit comes down as a value
// bit), one place per binary digit of n.
TEST(Money, ShiftByTheBinaryDigitsOfN) {
  const std::int64_t top = INT64_MIN;  // only the sign bit
  struct { std::int64_t value; int n; std::int64_t expected; } cases[] = {
      {0x100, 0, 0x100},         {0x100, 1, 0x80},         {0x100, 2, 0x40},
      {0x100, 3, 0x40},          {0x100, 4, 0x20},         {0x100, 7, 0x20},
      {0x100, 8, 0x10},          {top, 1, 0x4000000000000000}, {-1, 1, INT64_MAX},
      {top, -1, 0x80000000},     {-1, INT32_MIN, 0xFFFFFFFF}, {1, 1, 0},
  };
  for (auto c : cases) {
    COM_MONEY m = money(c.value);
    EXPECT_EQ(com__mnyshift(&m, c.n), 0);
    EXPECT_EQ(units(m), c.expected) << c.value << " by " << c.n;
  }
}

TEST(Money, FloatAndInteger) {
  COM_MONEY m{};
  double d = 1.23456;
  EXPECT_EQ(com__flt8tomny(&d, 8, &m), 8);
  EXPECT_EQ(units(m), 12346);
  d = -1.23455;
  EXPECT_EQ(com__flt8tomny(&d, 8, &m), 8);
  EXPECT_EQ(units(m), -12346);
  d = 1e15;
  EXPECT_EQ(com__flt8tomny(&d, 8, &m), -1);
  std::int32_t i = 0;
  COM_MONEY big{};
  com__maxposmny(&big);
  EXPECT_EQ(com__mnytoint(&big, &i), 1);
  EXPECT_EQ(i, 2147483647);
  COM_MONEY m25 = money(-25000);
  EXPECT_EQ(com__mnytoint(&m25, &i), 0);
  EXPECT_EQ(i, -3);
}
