#include "datetime.h"

#include <gtest/gtest.h>

using standin::parse_datetime;

TEST(StandinDatetime, AcceptedFormsGiveDaysAndTicks) {
  struct Case { const char* text; int days; unsigned ticks; };
  const Case cases[] = {
      {"Jan 1 2000 01:30:00 pm", 36524, 14580000},
      {"jan 1 2000 1:30pm", 36524, 14580000},
      {"January 1, 2000", 36524, 0},
      {"1 Jan 2000 13:30", 36524, 14580000},
      {"01/01/2000 13:30:00", 36524, 14580000},
      {"1-1-00", 36524, 0},
      {"12.31.99", 36523, 0},
      {"2000-01-01 13:30:00.000", 36524, 14580000},
      {"2000-01-01T13:30:00", 36524, 14580000},
      {"Jan 1 1900 12:00:00 am", 0, 0},
      {"Jan 1 1753", -53690, 0},
      {"Dec 31 9999 11:59:59:996PM", 2958463, 25919999},
      {"2000-02-29 00:00:00.5", 36583, 150},
      {"Apr 1 2000 12:00:00 pm", 36615, 12960000},
      {"01-Jan-2000 13:30:00 ", 36524, 14580000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = parse_datetime(c.text);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->days, c.days);
    EXPECT_EQ(v->ticks, c.ticks);
  }
}

TEST(StandinDatetime, OtherTextsAreNotDatetimes) {
  for (const char* t : {"", "THROUGHPUT", "N", "12:30", "Jan 32 2000", "Feb 29 1999", "Dec 31 1752",
                        "2000-13-01", "Jan 1 2000 25:00", "Jan 1 2000 13:00 pm", "Jan 1 2000 xyz",
                        "%.FITS", "1 2 3", "20000101", "Ja 1 2000"}) {
    SCOPED_TRACE(t);
    EXPECT_FALSE(parse_datetime(t).has_value());
  }
}

TEST(StandinDatetime, StoredFormRoundTripsAndSorts) {
  auto a = parse_datetime("Jan 1 2000 11:59:59:996PM");
  ASSERT_TRUE(a);
  EXPECT_EQ(standin::to_stored(*a), "2000-01-01 23:59:59.997");
  auto b = parse_datetime(standin::to_stored(*a));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->days, a->days);
  EXPECT_EQ(b->ticks, a->ticks);
  // 23:59:59.999 rounds into the next day.
  auto c = parse_datetime("1999-12-31 23:59:59.999");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->days, 36524);
  EXPECT_EQ(c->ticks, 0u);
  EXPECT_LT(standin::to_stored(*parse_datetime("Jan 2 1999")), standin::to_stored(*parse_datetime("Dec 1 1999")));
  EXPECT_TRUE(standin::looks_like_stored_datetime("1999-02-01 00:00:00.000"));
  EXPECT_TRUE(standin::looks_like_stored_datetime("1999-02-01"));
  EXPECT_FALSE(standin::looks_like_stored_datetime("Feb 1 1999"));
  EXPECT_FALSE(standin::looks_like_stored_datetime("1999-02-30"));
  EXPECT_EQ(standin::to_wire(*parse_datetime("Jan 1 1753")), std::string("\xff\xff\x2e\x46\0\0\0\0", 8));
}
