#include "comnlib/com_num.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// A numeric read from text at (precision, scale); rc receives the reader's code.
struct Num {
  COM_NUMERIC n{};
  COM_EXCTNUME op() { return com_num_operand(&n); }
};

Num num(const char* text, int p, int s, int* rc = nullptr, int round = 0) {
  Num x;
  x.n.precision = static_cast<std::uint8_t>(p);
  x.n.scale = static_cast<std::uint8_t>(s);
  int r = com__subchartoexctnume(text, static_cast<int>(std::strlen(text)), x.n.value,
                                 comn_num_getlen(p), p, s, round);
  if (rc) *rc = r;
  return x;
}

std::string text(COM_EXCTNUME x) {
  char area[COM_NUME_TEXTMAX];
  int at = com__subexctnumetochar(&x, area, sizeof area);
  return at < 0 ? "<none>" : std::string(area + at, sizeof area - at);
}

}  // namespace

TEST(Num, Sizes) {
  struct { int p, len; } cases[] = {{1, 2}, {2, 2}, {3, 3}, {9, 5}, {18, 9}, {38, 17}, {77, 33}};
  for (auto c : cases) EXPECT_EQ(comn_num_getlen(c.p), c.len) << c.p;
  EXPECT_EQ(comn_num_getlen(78), 0);
  EXPECT_EQ(comn_num_getlen(-1), 0);
  EXPECT_EQ(comn_num_getprec(9), 19);
  EXPECT_EQ(Com__Nume_Byte_Power_Array[3][0], 3);  // 1000 = 0x03E8
  EXPECT_EQ(Com__Nume_Byte_Power_Array[3][2], 0x03);
  EXPECT_EQ(Com__Nume_Byte_Power_Array[3][3], 0xE8);
  EXPECT_EQ(Com__Nume_Byte_Power_Array[77][0], 33);
}

TEST(Num, TextReader) {
  struct {
    const char* t;
    int p, s, round, rc;
    const char* out;
  } cases[] = {
      {"123.45", 5, 2, 0, 0, "123.45"},
      {"123.45", 5, 1, 0, 6, nullptr},
      {"123.45", 5, 1, 1, 0, "123.5"},
      {"1.230", 10, 2, 0, 6, nullptr},
      {"1.2345e2", 10, 2, 0, 0, "123.45"},
      {"5E-1", 5, 1, 0, 0, "0.5"},
      {"1e5 ", 10, 0, 0, 2, nullptr},
      {"1e05 ", 10, 0, 0, 0, "100000"},
      {"- 7", 5, 0, 0, 0, "-7"},
      {"12-", 5, 0, 0, 2, nullptr},
      {"1 2", 5, 0, 0, 2, nullptr},
      {"999999", 5, 0, 0, 1, nullptr},
      {"99999999", 5, 0, 0, 6, nullptr},
      {"  ", 5, 2, 0, 0, "0.00"},
      {"-", 5, 0, 0, 0, "0"},
      {"-0.00", 5, 2, 0, 0, "0.00"},
      {"12.5  ", 10, 2, 0, 0, "12.50"},
      {"1.2.3", 10, 2, 0, 2, nullptr},
      {"--1", 10, 2, 0, 2, nullptr},
      {"0.005", 10, 2, 1, 0, "0.01"},
      {"1e99999999", 10, 0, 0, 1, nullptr},
      {"1e-99999999", 10, 0, 1, 0, "0"},
  };
  for (auto c : cases) {
    int rc = -99;
    Num x = num(c.t, c.p, c.s, &rc, c.round);
    EXPECT_EQ(rc, c.rc) << c.t;
    if (c.out && rc == 0) {
      EXPECT_EQ(text(x.op()), c.out) << c.t;
    }
  }
}

TEST(Num, TextWriter) {
  EXPECT_EQ(text(num("-0.50", 5, 2).op()), "-0.50");
  EXPECT_EQ(text(num("0", 5, 3).op()), "0.000");
  EXPECT_EQ(text(num("0", 5, 0).op()), "0");
  // The widest value: 77 fraction digits and a sign need 80 characters.
  std::string wide = "-0." + std::string(77, '9');
  EXPECT_EQ(text(num(wide.c_str(), 77, 77).op()), wide);
  Num x = num("123.456", 6, 3);
  COM_EXCTNUME op = x.op();
  char small[6];
  EXPECT_EQ(com__subexctnumetochar(&op, small, sizeof small), -1);
}

TEST(Num, RoundCeilingFloor) {
  struct { const char* in; const char* out; } rounds[] = {
      {"2.345", "2.350"}, {"-2.345", "-2.350"}, {"2.344", "2.340"}};
  for (auto c : rounds) {
    Num x = num(c.in, 10, 3), r = num("0", 10, 3);
    COM_EXCTNUME xo = x.op(), ro = r.op();
    EXPECT_EQ(com__exctnume_round(&xo, 2, &ro), 0);
    EXPECT_EQ(text(ro), c.out) << c.in;
  }
  struct { const char* in; int ceil; const char* out; } cf[] = {
      {"2.1", 1, "3"}, {"2.1", 0, "2"}, {"-2.1", 0, "-3"}, {"-2.1", 1, "-2"}, {"2.0", 1, "2"}};
  for (auto c : cf) {
    Num x = num(c.in, 10, 1), r;
    COM_EXCTNUME xo = x.op(), ro = r.op();
    EXPECT_EQ(com__exctnume_ceilingfloor(&xo, &ro, c.ceil), 0);
    EXPECT_EQ(text(ro), c.out) << c.in << c.ceil;
  }
}

TEST(Num, Arithmetic) {
  Num one = num("1", 10, 0), three = num("3", 10, 0), zero = num("0", 10, 0);
  Num r = num("0", 10, 5);
  COM_EXCTNUME a = one.op(), b = three.op(), z = zero.op(), ro = r.op();
  EXPECT_EQ(com__exctnume_div(&a, &b, &ro, nullptr), 0);
  EXPECT_EQ(text(ro), "0.33333");
  EXPECT_EQ(com__exctnume_div(&a, &z, &ro, nullptr), 3);

  Num x = num("1.25", 10, 2), y = num("-3.50", 10, 2), s = num("0", 10, 2);
  COM_EXCTNUME xo = x.op(), yo = y.op(), so = s.op();
  EXPECT_EQ(com__exctnume_addorsub(&xo, &yo, &so, 0), 0);
  EXPECT_EQ(text(so), "-2.25");
  EXPECT_EQ(com__exctnume_addorsub(&xo, &yo, &so, 1), 0);
  EXPECT_EQ(text(so), "4.75");
  EXPECT_EQ(com__exctnume_addorsub(&xo, &xo, &so, 1), 0);
  EXPECT_EQ(text(so), "0.00");

  Num p = num("0", 10, 4);
  COM_EXCTNUME po = p.op();
  EXPECT_EQ(com__exctnume_mul(&xo, &yo, &po), 0);
  EXPECT_EQ(text(po), "-4.3750");
  Num tiny = num("0", 3, 0);
  COM_EXCTNUME to = tiny.op();
  Num big = num("9999", 10, 0);
  COM_EXCTNUME bo = big.op();
  EXPECT_EQ(com__exctnume_mul(&bo, &bo, &to), 1);

  EXPECT_EQ(com__exctnume_cmp(&xo, &yo, 1), 1);
  EXPECT_EQ(com__exctnume_cmp(&yo, &xo, 1), -1);
  EXPECT_EQ(com__exctnume_cmp(&yo, &xo, 0), 1);  // magnitudes only

  // Rescaling: up is exact, down truncates and reports lost digits.
  Num q = num("12.3456", 10, 4), q2 = num("0", 10, 2);
  COM_EXCTNUME qo = q.op(), q2o = q2.op();
  EXPECT_EQ(com__exctnume_scale(&qo, &q2o, -2), 6);
  EXPECT_EQ(text(q2o), "12.34");
}

TEST(Num, Conversions) {
  std::uint8_t v[33];
  EXPECT_EQ(com__longtoexctnume(-2147483647 - 1, v, 5, 10, 0), 0);
  COM_EXCTNUME x{5, 10, 0, v};
  EXPECT_EQ(text(x), "-2147483648");
  EXPECT_EQ(com__longtoexctnume(-2147483647 - 1, v, 5, 9, 0), 1);

  COM_MONEY m{-1, static_cast<std::uint32_t>(-50)};  // -0.0050
  EXPECT_EQ(com__mny8toexctnume(&m, v, 9, 18, 2), 0);
  COM_EXCTNUME mx{9, 18, 2, v};
  EXPECT_EQ(text(mx), "-0.01");
  COM_MONEY m2{0, 123456};  // 12.3456
  EXPECT_EQ(com__mny8toexctnume(&m2, v, 9, 18, 6), 0);
  mx.scale = 6;
  EXPECT_EQ(text(mx), "12.345600");

  // 2^63 units at scale 4: the most negative money when negative, else no money.
  Num n = num("922337203685477.5808", 19, 4);
  COM_EXCTNUME no = n.op();
  COM_MONEY out{};
  EXPECT_EQ(com__exctnumetomny8(&no, &out), 0);
  n.n.value[0] = 1;
  EXPECT_EQ(com__exctnumetomny8(&no, &out), 1);
  EXPECT_EQ(out.mnyhigh, INT32_MIN);
  EXPECT_EQ(out.mnylow, 0u);

  double d = 0;
  Num f = num("-1234.5", 10, 2);
  COM_EXCTNUME fo = f.op();
  EXPECT_EQ(com__subexctnumetoflt8(&fo, &d), 0);
  EXPECT_DOUBLE_EQ(d, -1234.5);
  EXPECT_EQ(com__doubletoexctnume(0.125, v, 9, 18, 2), 0);  // rounds to 0.13
  COM_EXCTNUME dx{9, 18, 2, v};
  EXPECT_EQ(text(dx), "0.13");
  EXPECT_EQ(com__doubletoexctnume(1e30, v, 9, 18, 0), 1);
  EXPECT_NE(com__doubletoexctnume(std::nan(""), v, 9, 18, 0), 0);
}
