// Round trips and random texts through the exact-numeric and money readers
// and writers: every value read back from its own text is unchanged, and no
// text makes a reader misbehave.
#include "comnlib/com_cvt.h"
#include "comnlib/com_kern.h"
#include "comnlib/com_money.h"
#include "comnlib/com_num.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string digits(std::mt19937_64& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + rng() % 10));
  return s;
}

// The canonical text of a numeric at scale s from integer and fraction digits.
std::string canonical(std::string ip, const std::string& fp, bool neg) {
  while (ip.size() > 1 && ip[0] == '0') ip.erase(0, 1);
  if (ip.empty()) ip = "0";
  std::string t = ip + (fp.empty() ? "" : "." + fp);
  bool zero = t.find_first_not_of("0.") == std::string::npos;
  return (neg && !zero ? "-" : "") + t;
}

}  // namespace

TEST(NumProperty, TextRoundTrip) {
  std::mt19937_64 rng(12345);
  for (int iter = 0; iter < 3000; ++iter) {
    int p = 1 + static_cast<int>(rng() % 77);
    int s = static_cast<int>(rng() % (p + 1));
    std::string ip = digits(rng, static_cast<int>(rng() % (p - s + 1)));
    std::string fp = digits(rng, s);
    bool neg = rng() % 2;
    std::string text = (neg ? "-" : "") + (ip.empty() ? "0" : ip) + (s ? "." + fp : "");
    COM_NUMERIC n{static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(s), {}};
    ASSERT_EQ(com__subchartoexctnume(text.data(), static_cast<int>(text.size()), n.value,
                                     comn_num_getlen(p), p, s, 0),
              0)
        << text << " p" << p << " s" << s;
    COM_EXCTNUME x = com_num_operand(&n);
    char area[COM_NUME_TEXTMAX];
    int at = com__subexctnumetochar(&x, area, sizeof area);
    ASSERT_GE(at, 0);
    EXPECT_EQ(std::string(area + at, sizeof area - at), canonical(ip, fp, neg)) << text;
    // Rescaling up and back down is exact.
    if (p < 77) {
      COMN_CONTEXT ctx{};
      COMN_DATAFORMAT sf{}, up{}, back{};
      up.precision = p + 1;
      up.scale = s + 1;
      back.precision = p;
      back.scale = s;
      unsigned char u[35], b[35];
      std::int32_t out;
      ASSERT_EQ(comn_numtonum(&ctx, &sf, &n, &up, u, &out), COMN_OK) << text;
      ASSERT_EQ(comn_numtonum(&ctx, &sf, u, &back, b, &out), COMN_OK) << text;
      EXPECT_EQ(std::memcmp(b, &n, 35), 0) << text;
    }
  }
}

TEST(NumProperty, MoneyRoundTrip) {
  std::mt19937_64 rng(777);
  for (int iter = 0; iter < 3000; ++iter) {
    auto v = static_cast<std::int64_t>(rng());
    if (iter % 3 == 0) v >>= 20;
    auto u = static_cast<std::uint64_t>(v);
    COM_MONEY m{static_cast<std::int32_t>(static_cast<std::uint32_t>(u >> 32)),
                static_cast<std::uint32_t>(u)};
    char area[40];
    char* p = com__mnytochar(&m, area, sizeof area, (4 << 8) | (iter % 2));
    ASSERT_NE(p, nullptr);
    int n = static_cast<int>(area + sizeof area - p);
    COM_MONEY back{};
    ASSERT_EQ(com__mnyfromchar_mb(&back, p, n, 0, nullptr), 0) << std::string(p, n);
    EXPECT_EQ(back.mnyhigh, m.mnyhigh) << std::string(p, n);
    EXPECT_EQ(back.mnylow, m.mnylow) << std::string(p, n);
    // Through an exact numeric of scale 4 and back.
    std::uint8_t val[33];
    ASSERT_EQ(com__mny8toexctnume(&m, val, 10, 20, 4), 0);
    COM_EXCTNUME x{10, 20, 4, val};
    COM_MONEY again{};
    ASSERT_EQ(com__exctnumetomny8(&x, &again), 1);
    EXPECT_EQ(again.mnyhigh, m.mnyhigh);
    EXPECT_EQ(again.mnylow, m.mnylow);
  }
}

TEST(NumProperty, RandomTextsNeverMisbehave) {
  std::mt19937_64 rng(99);
  const char alphabet[] = "0123456789.,+-eE $\t x";
  for (int iter = 0; iter < 20000; ++iter) {
    std::string t;
    int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) t.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    int p = 1 + static_cast<int>(rng() % 77);
    int s = static_cast<int>(rng() % (p + 1));
    std::uint8_t v[33];
    int rc = com__subchartoexctnume(t.data(), n, v, comn_num_getlen(p), p, s,
                                    static_cast<int>(rng() % 2));
    EXPECT_TRUE(rc == 0 || rc == 1 || rc == 2 || rc == 6) << t;
    if (rc == 0) {
      COM_EXCTNUME x{comn_num_getlen(p), static_cast<std::uint8_t>(p),
                     static_cast<std::uint8_t>(s), v};
      EXPECT_EQ(com__exctnume_checkprecision(&x), 0) << t;
    }
    COM_MONEY m{};
    rc = com__mnyfromchar_mb(&m, t.data(), n, 0, nullptr);
    EXPECT_TRUE(rc >= 0 && rc <= 2) << t;
    double d;
    rc = com_mb_chartoflt8(t.data(), n, &d, 8, nullptr);
    EXPECT_TRUE(rc == 8 || rc == 0 || (rc >= -3 && rc <= -1)) << t;
    float f;
    rc = com_mb_chartoflt4(t.data(), n, &f, 4, nullptr);
    EXPECT_TRUE(rc == 4 || rc == 0 || (rc >= -3 && rc <= -1)) << t;
  }
}

TEST(NumProperty, EveryFloatThroughEveryKernel) {
  std::mt19937_64 rng(4242);
  ComnKernel flt8[] = {comn_flt8tobit, comn_flt8toi1,   comn_flt8toi2,   comn_flt8toi4,
                       comn_flt8toi8,  comn_flt8toflt4, comn_flt8toflt8, comn_flt8tomny4,
                       comn_flt8tomoney, comn_flt8tonum, comn_flt8tochar, comn_flt8tobin,
                       comn_flt8tovarchar, comn_flt8tovarbin};
  ComnKernel flt4[] = {comn_flt4toi1, comn_flt4toi2, comn_flt4toi4, comn_flt4tomny4,
                       comn_flt4tomoney, comn_flt4tonum, comn_flt4tochar};
  for (int iter = 0; iter < 4000; ++iter) {
    std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, 8);
    if (iter % 4 == 1) d = static_cast<double>(static_cast<std::int64_t>(rng())) / 1e4;
    float f;
    auto b32 = static_cast<std::uint32_t>(bits);
    std::memcpy(&f, &b32, 4);
    COMN_CONTEXT ctx{};
    COMN_DATAFORMAT sf{}, df{};
    df.maxlength = 30;
    df.precision = 38;
    df.scale = 4;
    unsigned char out[300];
    std::int32_t n;
    for (ComnKernel k : flt8) {
      int st = k(&ctx, &sf, &d, &df, out, &n);
      EXPECT_TRUE(st == COMN_OK || st == COMN_EOVERFLOW || st == COMN_ETRUNCATED) << d;
    }
    for (ComnKernel k : flt4) {
      int st = k(&ctx, &sf, &f, &df, out, &n);
      EXPECT_TRUE(st == COMN_OK || st == COMN_EOVERFLOW) << f;
    }
    // A value that fits numeric(38, 4) comes back within its last decimal.
    if (std::isfinite(d) && std::fabs(d) < 1e20) {
      ASSERT_EQ(comn_flt8tonum(&ctx, &sf, &d, &df, out, &n), COMN_OK) << d;
      double back = 0;
      ASSERT_EQ(comn_numtoflt8(&ctx, &sf, out, &df, &back, &n), COMN_OK);
      EXPECT_NEAR(back, d, 0.00005 + std::fabs(d) * 1e-15) << d;
    }
  }
}
