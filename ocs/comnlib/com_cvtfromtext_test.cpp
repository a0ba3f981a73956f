#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_date.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>

namespace {

int len(const char* t) { return static_cast<int>(std::strlen(t)); }

std::string vary(const std::string& text) {
  std::string v(2, '\0');
  auto n = static_cast<std::int16_t>(text.size());
  std::memcpy(v.data(), &n, 2);
  return v + text;
}

}  // namespace

TEST(CvtFromText, Floats) {
  const COM_CHARATTRIB* iso = com_get_charattrib();
  struct { const char* t; const COM_CHARATTRIB* a; int rc; double v; } cases[] = {
      {"1.5e3", nullptr, 8, 1500.0},
      {"1.5e", nullptr, -3, 0},
      {"1e999", nullptr, -1, 0},
      {"1e-999", nullptr, -2, 0},
      {"--1", nullptr, -3, 0},
      {"   ", nullptr, 8, 0.0},
      {"1E3", iso, 8, 1000.0},
      {"12\t", nullptr, 8, 12.0},
      {"12x", nullptr, -3, 0},
      {"1.5 2", nullptr, -3, 0},
      {"nan", nullptr, -3, 0},
  };
  for (auto c : cases) {
    double d = -1;
    EXPECT_EQ(com_mb_chartoflt8(c.t, len(c.t), &d, 8, c.a), c.rc) << c.t;
    if (c.rc == 8) {
      EXPECT_EQ(d, c.v) << c.t;
    }
  }
  float f = 0;
  EXPECT_EQ(com_mb_chartoflt4("1e39", 4, &f, 4, nullptr), -1);
  EXPECT_EQ(f, FLT_MAX);
  EXPECT_EQ(com_mb_chartoflt4("-1e39", 5, &f, 4, nullptr), -1);
  EXPECT_EQ(f, -FLT_MAX);
  EXPECT_EQ(com_mb_chartoflt4("1e-50", 5, &f, 4, nullptr), 4);
  EXPECT_EQ(f, 0.0f);
  // The reader in no cell keeps the largest finite double on overflow.
  double d = 0;
  EXPECT_EQ(com_chartoflt8("-1e999", 6, &d, 8), -1);
  EXPECT_EQ(d, -DBL_MAX);
  // A long text is read whole.
  std::string longtext = std::string(600, ' ') + "2.5" + std::string(600, ' ');
  EXPECT_EQ(com_mb_chartoflt8(longtext.data(), static_cast<int>(longtext.size()), &d, 8, iso), 8);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(floatcheck("1e+", nullptr), 1);
  EXPECT_EQ(floatcheck(" -1.5e-3 ", nullptr), 0);
  EXPECT_EQ(floatcheck(".", nullptr), 1);
}

TEST(CvtFromText, IntegersMoneyDates) {
  std::int16_t i2 = 0;
  EXPECT_EQ(com_mb_chartoi2("12\t", 3, &i2, 2, nullptr), -3);
  EXPECT_EQ(com_mb_chartoi2("-12", 3, &i2, 2, nullptr), 2);
  EXPECT_EQ(i2, -12);
  std::uint8_t i1 = 0;
  EXPECT_EQ(com_mb_chartoi1("300", 3, &i1, 1, nullptr), -1);
  std::int32_t i4 = 5;
  EXPECT_EQ(com_mb_chartoi4("   ", 3, &i4, 4, nullptr), 4);
  EXPECT_EQ(i4, 0);
  EXPECT_EQ(com_chartoi4("77", 2, &i4, 4), 4);
  EXPECT_EQ(i4, 77);

  COM_MONEY m{};
  EXPECT_EQ(com_mb_chartomoney("$1,234.50", 9, &m, 8, nullptr), 8);
  EXPECT_EQ(m.mnylow, 12345000u);
  COM_MONEY4 m4{};
  EXPECT_EQ(com_mb_chartomny4("$1,234.50", 9, &m4, 4, nullptr), 4);
  EXPECT_EQ(com_mb_chartomny4("300000", 6, &m4, 4, nullptr), -1);
  EXPECT_EQ(com_mb_chartomoney("1x", 2, &m, 8, nullptr), -3);

  COM_DATETIME dt{};
  EXPECT_EQ(com_mb_chartodatetime("Mar 15 1999", 11, &dt, 8, nullptr, nullptr, -1, nullptr), 8);
  COM_DATEREC rec{};
  com_datecrack(&dt, &rec);
  EXPECT_EQ(rec.dateyear, 1999);
  EXPECT_EQ(rec.datemonth, 2);
  EXPECT_EQ(rec.datedmonth, 15);
  EXPECT_EQ(com_mb_chartodatetime("Feb 30 1999", 11, &dt, 8, nullptr, nullptr, -1, nullptr), -1);
  EXPECT_EQ(com_mb_chartodatetime("no date", 7, &dt, 8, nullptr, nullptr, -1, nullptr), -3);
  COM_DATETIME4 d4{};
  EXPECT_EQ(com_chartodate4("Jan 2 1900", 10, &d4, 4, nullptr, nullptr, -1), 4);
  EXPECT_EQ(d4.dtdays, 1);
}

TEST(CvtFromText, VarycharSources) {
  std::string empty = vary("");
  std::int32_t i4 = 0;
  double d = 0;
  COM_MONEY m{};
  COM_DATETIME dt{};
  EXPECT_EQ(com_mb_varychartoi4(empty.data(), 4, &i4, 4, nullptr), 0);
  EXPECT_EQ(com_mb_varychartoflt8(empty.data(), 4, &d, 8, nullptr), 0);
  EXPECT_EQ(com_mb_varychartomoney(empty.data(), 4, &m, 8, nullptr), 0);
  EXPECT_EQ(com_mb_varychartodatetime(empty.data(), 4, &dt, 8, nullptr, nullptr, -1, nullptr), 0);
  std::string v = vary("42");
  EXPECT_EQ(com_mb_varychartoi4(v.data(), 2, &i4, 4, nullptr), 4);
  EXPECT_EQ(i4, 42);
  EXPECT_EQ(com_varychartoflt8(v.data(), 2, &d, 8), 8);
  EXPECT_EQ(d, 42.0);
}
