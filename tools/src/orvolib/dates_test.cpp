#include "orvolib/dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const double kSecond = 1.0 / 86400.0;

TEST(Dates, DashForms) {
  struct Case { const char* text; double date; } cases[] = {
      {"jan-1-2000", 51544.0},
      {"jan-1-2000-13:30", 51544.5625},
      {"JAN-1-00", 51544.0},
      {"Jan-1-2000-00:00:02", 51544.0 + 2 * kSecond},
      {"jan-1", 51544.0},
      {"feb-29-2000", 51603.0},
      {"dec-31-99", 51543.0},
      // Two-digit years: 00-49 are 2000-2049, 50-99 are 1950-1999.
      {"dec-31-49", 69806.0}, {"jan-1-50", 33282.0},
      {"s-1-1901", 15628.0}, {"jan-1-1901", 15385.0},
      {"dec-31-2099", 88068.0},
      {"jan-1-2000-23:59:59", 51544.0 + 86399 * kSecond},
      {"jan-1-2000-13:30-extra", 51544.5625},
      {"feb-29-2001", -1.0}, {"ma-1-2000", -1.0}, {"jan-1-2000-12", -1.0},
      {"jan-x-2000", -1.0}, {"jan--2000", -1.0}, {"foo-1-2000", -1.0},
      {"", -1.0}, {"dec-31-1900", -1.0}, {"jan-1-2100", -1.0},
      {"jan-1-2000-24:00", -1.0}, {"jan-1-2000-12:60", -1.0}, {"jan-1-2000-12:00:60", -1.0},
      {"jan-32-2000", -1.0}, {"apr-31-2000", -1.0}, {"jan-0-2000", -1.0},
      // Ten digits in a field is a format error (an int would overflow).
      {"jan-1-0000002000", -1.0}, {"jan-1-2000-0000000001:00", -1.0},
      {"jan-1-2000-12:99999999999999999999", -1.0},
      {"jan-000000001-2000", 51544.0},
  };
  for (auto& c : cases) EXPECT_DOUBLE_EQ(get_dash_date(c.text), c.date) << c.text;
}

TEST(Dates, MerrowForms) {
  struct Case { const char* text; double date; } cases[] = {
      {"Apr 1 2000 12:00:00 pm", 51635.5},
      {"Apr 1 2000 12:00:00pm", 51635.5},
      {"Apr 1 2000 12:30 am", 51635.0 + 1800 * kSecond},
      {"Apr 1 2000 01:30:00 PM", 51635.5625},
      {"Apr 1 2000", 51635.0},
      {"Apr 1 2000 13:00", 51635.0 + 13.0 / 24},
      {"Apr 1 2000 12:00:00 xm", -1.0},
      {"Apr 1 2000 13:00 am", 51635.0 + 13.0 / 24},
      {"Apx 1 2000", -1.0},
      // A malformed hour stays invalid whatever the meridian.
      {"Apr 1 2000 x:00:00 pm", -1.0},
      {"Apr 1 2000 ab:00 pm", -1.0},
      {"Apr 1 2000 :00 pm", 51635.5},  // an empty hour is 0
      {"Apr 1 2000 1234567890:00 pm", -1.0},
      {"Apr 1 2000 x:00:00 am", -1.0},
  };
  for (auto& c : cases) EXPECT_DOUBLE_EQ(get_merrow_date(c.text), c.date) << c.text;
}

TEST(Dates, SlashAndCompactForms) {
  EXPECT_DOUBLE_EQ(get_slash_date("31/12/99"), 51543.0);
  EXPECT_DOUBLE_EQ(get_slash_date("1/1/49"), 69442.0);
  EXPECT_DOUBLE_EQ(get_slash_date("1/13/2000"), -1.0);
  EXPECT_DOUBLE_EQ(get_orvo_date("20000101:133000"), 51544.5625);
  EXPECT_DOUBLE_EQ(get_orvo_date("20000101:133000xyz"), 51544.5625);
  EXPECT_DOUBLE_EQ(get_orvo_date("20000101-133000"), -1.0);
  EXPECT_DOUBLE_EQ(get_orvo_date("20000101:13300"), -1.0);
  EXPECT_DOUBLE_EQ(get_orvo_date("2000x101:133000"), -1.0);
}

TEST(Dates, NowIsValid) {
  double now = get_now();
  EXPECT_GT(now, 51544.0);
  EXPECT_LT(now, 88069.0);
}

std::string merrow(double date) {
  char out[64];
  put_merrow_date(date, out, 63);
  return out;
}

TEST(Dates, DatabaseText) {
  EXPECT_EQ(merrow(51544.0), "Jan 1 2000");
  EXPECT_EQ(merrow(51544.5625), "Jan 1 2000 01:30:00 pm");
  EXPECT_EQ(merrow(51544.020833333336), "Jan 1 2000 12:30:00 am");
  EXPECT_EQ(merrow(51635.5), "Apr 1 2000 12:00:00 pm");
  EXPECT_EQ(merrow(51543.0), "Dec 31 1999");
  EXPECT_EQ(merrow(51603.0), "Feb 29 2000");
  EXPECT_EQ(merrow(88068.0 + 86399 * kSecond), "Dec 31 2099 11:59:59 pm");
  char short_text[64];
  put_short_date(51544.5625, short_text, 63);
  EXPECT_STREQ(short_text, "Jan 1 2000");
  char cut[6];
  put_merrow_date(51544.5625, cut, 5);
  EXPECT_STREQ(cut, "Jan 1");
}

TEST(Dates, WholeSecondsSurviveTheRoundTrip) {
  // Every second of a day comes back as itself (rounded, not truncated).
  for (int s = 0; s < 86400; s += 1) {
    double date = get_dash_date(("jan-1-2000-" + std::to_string(s / 3600) + ":" +
                                 std::to_string(s / 60 % 60) + ":" + std::to_string(s % 60))
                                    .c_str());
    int h = s / 3600 % 12 == 0 ? 12 : s / 3600 % 12;
    char expect[64];
    if (s == 0)
      std::snprintf(expect, sizeof expect, "Jan 1 2000");
    else
      std::snprintf(expect, sizeof expect, "Jan 1 2000 %02d:%02d:%02d %s", h, s / 60 % 60, s % 60,
                    s >= 43200 ? "pm" : "am");
    ASSERT_EQ(merrow(date), expect) << s;
  }
  EXPECT_EQ(merrow(get_dash_date("jan-1-2000-00:00:02")), "Jan 1 2000 12:00:02 am");
  // Just below midnight rounds up into the next day.
  EXPECT_EQ(merrow(51544.0 - 0.1 * kSecond), "Jan 1 2000");
}

TEST(Dates, BadDateForWritersIsFatal) {
  char out[64];
  EXPECT_EXIT(put_merrow_date(-1.0, out, 63), ::testing::ExitedWithCode(1),
              "^Error in date format \\(-1\\)\n$");
  EXPECT_EXIT(put_short_date(-1.0, out, 63), ::testing::ExitedWithCode(1),
              "^Error in date format \\(-1\\)\n$");
  EXPECT_EXIT(put_merrow_date(NAN, out, 63), ::testing::ExitedWithCode(1), "Error in date format");
  EXPECT_EXIT(put_merrow_date(1e300, out, 63), ::testing::ExitedWithCode(1), "Error in date format");
}

}  // namespace
