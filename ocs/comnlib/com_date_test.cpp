#include "comnlib/com_charclass.h"
#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

COM_DATETIME make(int y, int mon, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  COM_DATEREC r{};
  r.dateyear = y;
  r.datemonth = mon - 1;
  r.datedmonth = d;
  r.datehour = h;
  r.dateminute = mi;
  r.datesecond = s;
  r.datemsecond = ms;
  COM_DATETIME dt{};
  EXPECT_EQ(com__datemake(&dt, &r), 0);
  EXPECT_EQ(com__timemake(&dt, &r), 0);
  return dt;
}

std::string fmt(const COM_DATETIME& dt, int style, int len = -1) {
  char buf[64];
  int n = com__datetochar(&dt, buf, len, style, Com__Shortmonths);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "<" + std::to_string(n) + ">";
}

}  // namespace

TEST(Date, CrackKnownDays) {
  struct { int days, y, m, d, doy, wd; } cases[] = {
      {-53690, 1753, 0, 1, 1, 1}, {0, 1900, 0, 1, 1, 1}, {2958463, 9999, 11, 31, 365, 5}};
  for (auto c : cases) {
    COM_DATETIME dt{c.days, 0};
    COM_DATEREC r{};
    com_datecrack(&dt, &r);
    EXPECT_EQ(r.dateyear, c.y);
    EXPECT_EQ(r.datemonth, c.m);
    EXPECT_EQ(r.datedmonth, c.d);
    EXPECT_EQ(r.datedyear, c.doy);
    EXPECT_EQ(r.datedweek, c.wd);
  }
  COM_DATETIME feb29 = make(2000, 2, 29);
  COM_DATEREC r{};
  com_datecrack(&feb29, &r);
  EXPECT_EQ(r.datemonth, 1);
  EXPECT_EQ(r.datedmonth, 29);
  EXPECT_EQ(r.datedyear, 60);
  EXPECT_EQ(r.datedweek, 2);
  EXPECT_EQ(leapyear(2000 - 1753), 1);
  EXPECT_EQ(leapyear(1900 - 1753), 0);
  EXPECT_EQ(leapyear(2100 - 1753), 0);
}

TEST(Date, EveryDayRoundTrips) {
  for (int days = COM_MINDAYS; days <= COM_MAXDAYS; ++days) {
    COM_DATETIME dt{days, 0}, back{};
    COM_DATEREC r{};
    com__datecrack(&dt, &r);
    ASSERT_EQ(com__datemake(&back, &r), 0) << days;
    ASSERT_EQ(back.dtdays, days);
  }
}

TEST(Date, TimeCrackAndMake) {
  COM_DATETIME dt{0, 25919999};
  COM_DATEREC r{};
  com_timecrack(&dt, &r);
  EXPECT_EQ(r.datehour, 23);
  EXPECT_EQ(r.dateminute, 59);
  EXPECT_EQ(r.datesecond, 59);
  EXPECT_EQ(r.datemsecond, 996);
  dt.dttime = 1;
  com_timecrack(&dt, &r);
  EXPECT_EQ(r.datemsecond, 3);
  COM_DATEREC in{};
  in.dateyear = 1752; in.datemonth = 11; in.datedmonth = 31;
  EXPECT_EQ(com__datemake(&dt, &in), 1);
  in.dateyear = 2000; in.datemonth = 12;
  EXPECT_EQ(com__datemake(&dt, &in), 2);
  in.datemonth = 3; in.datedmonth = 31;
  EXPECT_EQ(com__datemake(&dt, &in), 3);
  in = {};
  in.datehour = 24;
  EXPECT_EQ(com__timemake(&dt, &in), 4);
  struct { int ms, ticks; } ms[] = {{999, 299}, {998, 299}, {994, 298}, {3, 1}};
  for (auto c : ms) {
    in = {};
    in.datemsecond = c.ms;
    ASSERT_EQ(com__timemake(&dt, &in), 0);
    EXPECT_EQ(dt.dttime, c.ticks) << c.ms;
  }
}

TEST(Date, SmallDatetimeRounding) {
  COM_DATETIME4 d4{};
  COM_DATETIME a{100, 23 * 1080000 + 59 * 18000 + 30 * 300};
  ASSERT_EQ(com__dttodate4(&a, &d4), 0);
  EXPECT_EQ(d4.dtdays, 101);
  EXPECT_EQ(d4.dttime, 0);
  COM_DATETIME b{100, 23 * 1080000 + 59 * 18000 + 29 * 300 + 299};
  ASSERT_EQ(com__dttodate4(&b, &d4), 0);
  EXPECT_EQ(d4.dtdays, 100);
  EXPECT_EQ(d4.dttime, 1439);
  COM_DATETIME c{65535, a.dttime}, d{65536, 0}, e{-1, 0};
  EXPECT_EQ(com__dttodate4(&c, &d4), 1);
  EXPECT_EQ(com__dttodate4(&d, &d4), 1);
  EXPECT_EQ(com__dttodate4(&e, &d4), 1);
}

TEST(Date, PartsAddAndDiff) {
  COM_DATETIME sunday = make(2000, 4, 2);
  EXPECT_EQ(com_datepart(3, &sunday, 7), 1);
  EXPECT_EQ(com_datepart(3, &sunday, 1), 7);
  COM_DATETIME j2005 = make(2005, 1, 1), d2008 = make(2008, 12, 31);
  EXPECT_EQ(com_datepart(12, &j2005, 7), 53);
  EXPECT_EQ(com_datepart(11, &j2005, 7), 2004);
  EXPECT_EQ(com_datepart(12, &d2008, 7), 1);
  EXPECT_EQ(com_datepart(11, &d2008, 7), 2009);
  EXPECT_EQ(com_datepart(14, &d2008, 7), -101);

  COM_DATETIME jan31 = make(2001, 1, 31);
  ASSERT_EQ(com__date_add(2, 1, &jan31), 0);
  EXPECT_EQ(jan31.dtdays, make(2001, 2, 28).dtdays);
  COM_DATETIME jan = make(2001, 1, 15);
  ASSERT_EQ(com__date_add(2, -1, &jan), 0);
  EXPECT_EQ(jan.dtdays, make(2000, 12, 15).dtdays);
  COM_DATETIME last = make(9999, 12, 31);
  EXPECT_EQ(com__date_add(0, 1, &last), 1);

  COM_DATETIME h23 = make(2001, 5, 1, 23), h01 = make(2001, 5, 2, 1);
  std::int32_t r = 0;
  ASSERT_EQ(com__datediff(6, &h23, &h01, &r), 0);
  EXPECT_EQ(r, 2);
  ASSERT_EQ(com__datediff(6, &h01, &h23, &r), 0);
  EXPECT_EQ(r, -2);
  char buf[40];
  EXPECT_EQ(com_datename(2, &h23, buf, nullptr, nullptr), 0);
  EXPECT_EQ(com_datename(2, &h23, buf, Com__Months, nullptr), 3);
  EXPECT_EQ(std::string(buf, 3), "May");
}

TEST(DateText, Styles) {
  COM_DATETIME t = make(2000, 4, 1, 13, 5, 9, 3);
  struct { int style; const char* text; } cases[] = {
      {0, "Apr  1 2000  1:05PM"},   {9, "Apr  1 2000  1:05:09:003PM"},
      {1, "04/01/00"},   {2, "00.04.01"},   {3, "01/04/00"},   {4, "01.04.00"},
      {5, "01-04-00"},   {6, "01 Apr 00"},  {7, "Apr 01, 00"}, {8, "13:05:09"},
      {10, "04-01-00"},  {11, "00/04/01"},  {12, "000401"},    {13, "00/01/04"},
      {14, "04/00/01"},  {15, "01/00/04"},  {101, "04/01/2000"}, {102, "2000.04.01"},
      {103, "01/04/2000"}, {104, "01.04.2000"}, {105, "01-04-2000"}, {106, "01 Apr 2000"},
      {107, "Apr 01, 2000"}, {108, "13:05:09"}, {110, "04-01-2000"}, {111, "2000/04/01"},
      {112, "20000401"}, {100, "Apr  1 2000  1:05PM"}, {109, "Apr  1 2000  1:05:09:003PM"}};
  for (auto c : cases) EXPECT_EQ(fmt(t, c.style), c.text) << c.style;
  EXPECT_EQ(fmt(make(1999, 3, 15), 9), "Mar 15 1999 12:00:00:000AM");
  EXPECT_EQ(fmt(make(2000, 4, 1, 12), 0), "Apr  1 2000 12:00PM");
  char buf[64];
  EXPECT_EQ(com__datetochar(&t, buf, 10, 9, Com__Shortmonths), 0);
  EXPECT_EQ(std::string(buf, 10), "Apr  1 200");
  EXPECT_EQ(com__datetochar(&t, buf, -1, 16, Com__Shortmonths), -1);
  EXPECT_EQ(com__datetochar(&t, buf, -1, 7, nullptr), -2);
  COM_DATETIME bad{COM_MAXDAYS + 1, 0}, badticks{0, COM_TICKS_PER_DAY};
  EXPECT_LT(com__datetochar(&bad, buf, -1, 9, Com__Shortmonths), 0);
  EXPECT_LT(com__datetochar(&badticks, buf, -1, 9, Com__Shortmonths), 0);
}

// The long forms with month names of every length a locale may give (cut
// to 9 characters), hours around noon and midnight, and targets cut at
// every length: a cut target receives the first bytes and the result is 0.
TEST(DateText, LongFormsAndCuts) {
  const char* names[12] = {"J", "", "March", "Avril", "Mai", "Juin",
                           "Juillet", "Aout", "Septembre", "Octobrexxx", "N", "D"};
  struct { int y, mon, d, h, mi, s, ms, style; const char* text; } cases[] = {
      {2000, 1, 5, 0, 0, 0, 0, 9, "J  5 2000 12:00:00:000AM"},
      {1999, 2, 28, 12, 59, 59, 996, 109, " 28 1999 12:59:59:996PM"},
      {1753, 10, 31, 23, 7, 0, 10, 0, "Octobrexx 31 1753 11:07PM"},
      {9999, 9, 1, 11, 30, 0, 0, 100, "Septembre  1 9999 11:30AM"},
      {2024, 3, 10, 13, 1, 2, 3, 9, "March 10 2024  1:01:02:003PM"}};
  for (const auto& c : cases) {
    COM_DATETIME dt = make(c.y, c.mon, c.d, c.h, c.mi, c.s, c.ms);
    const std::string want = c.text;
    const int len = static_cast<int>(want.size());
    char buf[64];
    ASSERT_EQ(com__datetochar(&dt, buf, -1, c.style, names), len) << want;
    EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), want);
    for (int cut = 0; cut <= len + 1; ++cut) {
      std::memset(buf, '#', sizeof buf);
      int n = com__datetochar(&dt, buf, cut, c.style, names);
      EXPECT_EQ(n, cut < len ? 0 : len) << want << " cut at " << cut;
      const int shown = cut < len ? cut : len;
      EXPECT_EQ(std::string(buf, static_cast<size_t>(shown)), want.substr(0, static_cast<size_t>(shown)));
      EXPECT_EQ(buf[shown], '#') << want << " cut at " << cut;
    }
  }
}

// The long forms, written straight from the day count and the ticks, match
// the fields com__datecrack and com__timecrack give, over every day of the
// first, the last and a few boundary years, a stride through the rest, and
// the ticks of a whole second, of hour ends and of noon and midnight.
TEST(DateText, LongFormsMatchCrackedFields) {
  auto expected = [](const COM_DATETIME& dt, bool seconds) {
    COM_DATEREC r{};
    com__datecrack(&dt, &r);
    com__timecrack(&dt, &r);
    const int h12 = r.datehour % 12 == 0 ? 12 : r.datehour % 12;
    const char* ampm = r.datehour >= 12 ? "PM" : "AM";
    char buf[64];
    int n = seconds ? std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s",
                                    Com__Shortmonths[r.datemonth], r.datedmonth, r.dateyear, h12,
                                    r.dateminute, r.datesecond, r.datemsecond, ampm)
                    : std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s",
                                    Com__Shortmonths[r.datemonth], r.datedmonth, r.dateyear, h12,
                                    r.dateminute, ampm);
    return std::string(buf, static_cast<size_t>(n));
  };
  std::vector<std::int32_t> days;
  const std::int32_t first = COM_MINDAYS, last = COM_MAXDAYS;
  for (std::int32_t d = first; d < first + 3 * 366; ++d) days.push_back(d);             // 1753-1755
  for (std::int32_t d = -3 * 366; d < 3 * 366; ++d) days.push_back(d);                  // 1897-1902
  for (std::int32_t d = 36159 - 400; d < 36159 + 800; ++d) days.push_back(d);           // 1998-2001
  for (std::int32_t d = 73048 - 400; d < 73048 + 400; ++d) days.push_back(d);           // 2099-2100
  for (std::int32_t d = last - 3 * 366; d <= last; ++d) days.push_back(d);              // 9997-9999
  for (std::int32_t d = first; d <= last; d += 97) days.push_back(d);
  const std::int32_t hour = 1080000;
  struct { std::int32_t ticks; int style; } times[] = {
      {0, 9}, {12 * hour - 1, 0}, {12 * hour, 109}, {13 * hour + 2, 100}, {COM_TICKS_PER_DAY - 1, 9}};
  for (const std::int32_t d : days)
    for (const auto& t : times) {
      const COM_DATETIME dt{d, t.ticks};
      const bool seconds = t.style == 9 || t.style == 109;
      ASSERT_EQ(fmt(dt, t.style), expected(dt, seconds)) << d << " " << t.ticks << " style " << t.style;
    }
  std::vector<std::int32_t> clock;
  for (std::int32_t t = 0; t < 600; ++t) clock.push_back(t);                           // 3-ms ticks
  for (int h = 0; h < 24; ++h)
    for (std::int32_t t : {h * hour, h * hour + 299, h * hour + 17999, (h + 1) * hour - 1})
      clock.push_back(t);
  for (const std::int32_t d : {first, std::int32_t{0}, std::int32_t{36583}, last})  // 29 Feb 2000
    for (const std::int32_t t : clock) {
      const COM_DATETIME dt{d, t};
      ASSERT_EQ(fmt(dt, 9), expected(dt, true)) << d << " " << t;
      ASSERT_EQ(fmt(dt, 0), expected(dt, false)) << d << " " << t;
    }
  EXPECT_EQ(fmt(COM_DATETIME{36583, 0}, 9), "Feb 29 2000 12:00:00:000AM");
  EXPECT_EQ(fmt(COM_DATETIME{36583, 12 * hour}, 9), "Feb 29 2000 12:00:00:000PM");
  EXPECT_EQ(fmt(COM_DATETIME{36583, 2}, 9), "Feb 29 2000 12:00:00:006AM");
  EXPECT_EQ(fmt(COM_DATETIME{first, 0}, 0), "Jan  1 1753 12:00AM");
  EXPECT_EQ(fmt(COM_DATETIME{last, COM_TICKS_PER_DAY - 1}, 9), "Dec 31 9999 11:59:59:996PM");
}

TEST(DateText, Parse) {
  const COM_CHARATTRIB* a = com_get_charattrib();
  struct Case { const char* text; int order; int rc; int y, m, d, h, mi, s, ms; };
  const Case cases[] = {
      {"Apr 1 2000", 1, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"1 april 2000", 2, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"2000 Apr 1", 3, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"Apr 1, 2000 12:00:00:000PM", 1, 0, 2000, 4, 1, 12, 0, 0, 0},
      {"01-APR-2000 12:00", 1, 0, 2000, 4, 1, 12, 0, 0, 0},
      {"Jan 1 2000 01:30:00 pm", 1, 0, 2000, 1, 1, 13, 30, 0, 0},
      {"4/1/00", 1, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"4/1/00", 2, 0, 2000, 1, 4, 0, 0, 0, 0},
      {"2000/04/01", 1, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"1/4/50", 2, 0, 1950, 4, 1, 0, 0, 0, 0},
      {"20000401", 1, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"000401", 1, 0, 2000, 4, 1, 0, 0, 0, 0},
      {"10:30pm", 1, 0, 1900, 1, 1, 22, 30, 0, 0},
      {"12am", 1, 0, 1900, 1, 1, 0, 0, 0, 0},
      {"12pm", 1, 0, 1900, 1, 1, 12, 0, 0, 0},
      {"13pm", 1, 0, 1900, 1, 1, 13, 0, 0, 0},
      {"10:30:15.5", 1, 0, 1900, 1, 1, 10, 30, 15, 500},
      {"10:30:15.05", 1, 0, 1900, 1, 1, 10, 30, 15, 50},
      {"10:30:15:5", 1, 0, 1900, 1, 1, 10, 30, 15, 5},
      {"10:30.25", 1, 0, 1900, 1, 1, 10, 30, 0, 250},
      {"", 1, 0, 1900, 1, 1, 0, 0, 0, 0},
      {"   ", 1, 0, 1900, 1, 1, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    COM_DATETIME dt{-1, -1};
    int rc = com__datefromchar_mb(&dt, c.text, static_cast<int>(std::strlen(c.text)), 0, c.order,
                                  Com__Months, Com__Shortmonths, a);
    ASSERT_EQ(rc, c.rc) << c.text;
    COM_DATEREC r{};
    com_datecrack(&dt, &r);
    com_timecrack(&dt, &r);
    EXPECT_EQ(r.dateyear, c.y) << c.text;
    EXPECT_EQ(r.datemonth + 1, c.m) << c.text;
    EXPECT_EQ(r.datedmonth, c.d) << c.text;
    EXPECT_EQ(r.datehour, c.h) << c.text;
    EXPECT_EQ(r.dateminute, c.mi) << c.text;
    EXPECT_EQ(r.datesecond, c.s) << c.text;
    EXPECT_NEAR(r.datemsecond, c.ms, 3) << c.text;
  }
  struct Bad { const char* text; int rc; };
  const Bad bad[] = {{"1234567", -1}, {"13am", 9}, {"0pm", 9}, {"25:00", 1},
                     {"Feb 30 2001", 3}, {"Jan 1 1752", 1}, {"Jan 1 100", 1},
                     {"Apri 1 2000", -1}, {"Apr 1 2000 x", -1}, {"Apr 1 2000 5", -2},
                     {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", -1}};
  for (const auto& b : bad) {
    COM_DATETIME dt{};
    EXPECT_EQ(com__datefromchar_mb(&dt, b.text, static_cast<int>(std::strlen(b.text)), 0, 1,
                                   Com__Months, Com__Shortmonths, a),
              b.rc)
        << b.text;
  }
}

TEST(DateText, WrittenTextParsesBack) {
  const COM_CHARATTRIB* a = com_get_charattrib();
  // Styles that carry the whole value to the minute or second.
  for (int days : {-53690, -1, 0, 36525, 2958463}) {
    for (int ticks : {0, 300 * 59, 25919999 - 299}) {
      COM_DATETIME dt{days, ticks}, back{};
      char buf[64];
      int n = com__datetochar(&dt, buf, -1, 9, Com__Shortmonths);
      ASSERT_GT(n, 0);
      ASSERT_EQ(com__datefromchar_mb(&back, buf, n, 0, 1, Com__Months, Com__Shortmonths, a), 0)
          << std::string(buf, static_cast<size_t>(n));
      EXPECT_EQ(back.dtdays, dt.dtdays);
      EXPECT_NEAR(back.dttime, dt.dttime, 1);
      for (int style : {101, 102, 103, 104, 105, 110, 111}) {
        n = com__datetochar(&dt, buf, -1, style, Com__Shortmonths);
        ASSERT_EQ(com__datefromchar_mb(&back, buf, n, style, 1, Com__Months, Com__Shortmonths, a), 0)
            << style << " " << std::string(buf, static_cast<size_t>(n));
        EXPECT_EQ(back.dtdays, dt.dtdays) << style;
      }
    }
  }
}
