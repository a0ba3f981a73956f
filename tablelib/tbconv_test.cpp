// Conversions between stored elements and caller types, undefined values,
// rounding and out-of-range values (never an overflow).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tablelib/tbtypes.h"
#include "tbconv.h"

namespace tbl {
namespace {

Raw stored_d(double v) { Raw r; r.type = kTyDouble; r.d = v; return r; }
Raw stored_r(float v) { Raw r; r.type = kTyReal; r.r = v; return r; }
Raw stored_i(int v) { Raw r; r.type = kTyInt; r.i = v; return r; }
Raw stored_s(short v) { Raw r; r.type = kTyShort; r.s = v; return r; }
Raw stored_b(bool v) { Raw r; r.type = kTyBool; r.b = v; return r; }
Raw stored_t(const char* v) { Raw r; r.type = -20; r.t = v; return r; }

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(Conversion, DoubleToIntRoundsAndGuardsRange) {
  const std::pair<double, int> cases[] = {
      {2147483647.4, 2147483647}, {1e10, kIndefI},        {-2.5, -3},
      {2.5, 3},                   {2147483647.5, kIndefI}, {2147483648.0, kIndefI},
      {-2147483648.0, kIndefI},   {kNaN, kIndefI},         {kInf, kIndefI},
      {kStoredIndefD, kIndefI},   {-0.4, 0},
  };
  for (auto [in, want] : cases) EXPECT_EQ(raw_to_i(stored_d(in)), want) << in;
}

TEST(Conversion, RealAtTwoToThe31IsOutOfRange) {
  // A float of exactly 2^31 must not pass the range guard.
  EXPECT_EQ(raw_to_i(stored_r(2147483648.0f)), kIndefI);
  EXPECT_EQ(raw_to_i(stored_r(-2147483648.0f)), kIndefI);
  EXPECT_EQ(raw_to_i(stored_r(2147483520.0f)), 2147483520);
  EXPECT_EQ(raw_from_r(2147483648.0f, kTyInt).i, kIndefI);
  EXPECT_EQ(raw_from_r(std::numeric_limits<float>::quiet_NaN(), kTyInt).i, kIndefI);
  EXPECT_FALSE(raw_from_r(2147483648.0f, kTyBool).b);
  EXPECT_EQ(raw_to_i(stored_r(kIndefR)), kIndefI);
  EXPECT_EQ(raw_to_i(stored_r(-1.5f)), -2);
}

TEST(Conversion, ToShort) {
  EXPECT_EQ(raw_to_s(stored_r(40000.0f)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_d(32767.0)), 32767);
  EXPECT_EQ(raw_to_s(stored_d(32767.2)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_d(kNaN)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_i(40000)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_i(-32768)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_i(kIndefI)), kIndefS);
  EXPECT_EQ(raw_to_s(stored_i(123)), 123);
  EXPECT_EQ(raw_to_s(stored_t("12.5")), 13);
  EXPECT_EQ(raw_to_s(stored_t("1e9")), kIndefS);
  EXPECT_EQ(raw_from_i(-32768, kTyShort).s, kIndefS);
  EXPECT_EQ(raw_from_d(-32767.4, kTyShort).s, -32767);
}

TEST(Conversion, UndefinedDoubles) {
  EXPECT_EQ(raw_to_d(stored_d(kStoredIndefD)), kIndefD);
  EXPECT_EQ(raw_to_t(stored_d(kStoredIndefD), "%25.16g", 80), "INDEF");
  EXPECT_EQ(raw_from_d(kIndefD, kTyDouble).d, kStoredIndefD);
  EXPECT_EQ(raw_to_r(stored_d(kStoredIndefD)), kIndefR);
  EXPECT_EQ(raw_to_d(stored_r(kIndefR)), kIndefD);
  EXPECT_EQ(raw_to_d(stored_i(kIndefI)), kIndefD);
  EXPECT_EQ(raw_to_d(stored_s(kIndefS)), kIndefD);
  EXPECT_EQ(raw_from_i(kIndefI, kTyDouble).d, kStoredIndefD);
  EXPECT_EQ(raw_from_s(kIndefS, kTyReal).r, kIndefR);
  EXPECT_EQ(raw_from_r(kIndefR, kTyDouble).d, kStoredIndefD);
}

TEST(Conversion, DoubleToReal) {
  EXPECT_EQ(raw_from_d(1e37, kTyReal).r, kIndefR);
  EXPECT_EQ(raw_from_d(kNaN, kTyReal).r, kIndefR);
  EXPECT_EQ(raw_from_d(-1e300, kTyReal).r, kIndefR);
  EXPECT_EQ(raw_from_d(2.5, kTyReal).r, 2.5f);
  EXPECT_EQ(raw_to_r(stored_d(1e37)), kIndefR);
  EXPECT_EQ(raw_to_r(stored_d(-3.25)), -3.25f);
}

TEST(Conversion, Bools) {
  EXPECT_FALSE(raw_from_d(0.4, kTyBool).b);
  EXPECT_TRUE(raw_from_d(0.6, kTyBool).b);
  EXPECT_FALSE(raw_from_d(kIndefD, kTyBool).b);
  EXPECT_FALSE(raw_from_d(3e9, kTyBool).b);
  EXPECT_FALSE(raw_from_d(kNaN, kTyBool).b);
  EXPECT_EQ(raw_to_d(stored_b(true)), 1.0);
  EXPECT_EQ(raw_to_d(stored_b(false)), 0.0);
  EXPECT_EQ(raw_to_i(stored_b(true)), 1);
  EXPECT_FALSE(raw_to_b(stored_d(kStoredIndefD)));
  EXPECT_FALSE(raw_to_b(stored_d(0.4)));
  EXPECT_TRUE(raw_to_b(stored_d(-0.6)));
  EXPECT_FALSE(raw_to_b(stored_d(kNaN)));
  EXPECT_FALSE(raw_to_b(stored_i(kIndefI)));
  EXPECT_TRUE(raw_to_b(stored_s(2)));
  EXPECT_FALSE(raw_from_t("maybe", kTyBool).b);
  EXPECT_TRUE(raw_from_t("yes", kTyBool).b);
  EXPECT_TRUE(raw_to_b(stored_t("y")));
  EXPECT_FALSE(raw_to_b(stored_t("xyz")));
}

TEST(Conversion, TextScansNumbers) {
  EXPECT_EQ(raw_from_t("abc", kTyDouble).d, kStoredIndefD);
  EXPECT_EQ(raw_from_t("INDEF", kTyDouble).d, kStoredIndefD);
  EXPECT_EQ(raw_from_t(" 2.5 ", kTyDouble).d, 2.5);
  EXPECT_EQ(raw_from_t("abc", kTyReal).r, kIndefR);
  EXPECT_EQ(raw_from_t("abc", kTyInt).i, kIndefI);
  EXPECT_EQ(raw_from_t("42", kTyInt).i, 42);
  EXPECT_EQ(raw_from_t("abc", kTyShort).s, kIndefS);
  EXPECT_EQ(raw_to_d(stored_t("abc")), kIndefD);
  EXPECT_EQ(raw_to_d(stored_t("-1.25")), -1.25);
  EXPECT_EQ(raw_to_i(stored_t("2.5")), 3);
  EXPECT_EQ(raw_to_i(stored_t("3e10")), kIndefI);
  EXPECT_EQ(raw_to_r(stored_t("nothing")), kIndefR);
}

TEST(Conversion, NumbersToText) {
  EXPECT_EQ(raw_from_d(1.5, -30).t, "1.5                      ");
  EXPECT_EQ(raw_from_i(42, -30).t, "42         ");
  EXPECT_EQ(raw_from_r(0.25f, -30).t, "0.25           ");
  EXPECT_EQ(raw_from_b(true, -30).t, "yes");
  EXPECT_EQ(raw_from_i(kIndefI, -30).t.substr(0, 5), "INDEF");
  EXPECT_EQ(raw_to_t(stored_i(7), "%5d", 80), "    7");
  EXPECT_EQ(raw_to_t(stored_i(kIndefI), "%5d", 80), "INDEF");
  EXPECT_EQ(raw_to_t(stored_d(3.0), "%25.16g", 4), "    ");
  EXPECT_EQ(raw_to_t(stored_t("hello"), "%s", 3), "hel");
}

}  // namespace
}  // namespace tbl
