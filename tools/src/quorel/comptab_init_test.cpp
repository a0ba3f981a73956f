#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "comptab.h"
#include "orvolib/dates.h"
#include "platform/clock.h"

namespace {

TEST(InitComptab, HeaderAndColumns) {
  table* t = create_table();
  init_comptab("TIME,COMPNAME,FILENAME,COMMENT", t);
  const char* keys[] = {"INSTRUME", "DBTABLE", "DESCRIP", "HISTORY"};
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(get_tab_keyname_bynum(t, i), keys[i]);
  EXPECT_STREQ(get_tab_key(t, "INSTRUME"), "ZOR");
  EXPECT_STREQ(get_tab_key(t, "DBTABLE"), "CRCOMPLIST");
  EXPECT_STREQ(get_tab_key(t, "DESCRIP"), "The lookup table for the ZOR component throughputs");
  EXPECT_EQ(std::string(get_tab_key(t, "HISTORY")).rfind("Created on ", 0), 0u);
  EXPECT_EQ(t->ncols, 4);
  EXPECT_EQ(t->rows, 1);
  EXPECT_STREQ(get_tab_colname(t, 3), "COMMENT");
  EXPECT_STREQ(get_tab_cell(t, "FILENAME", 0), "");
  free_table(t);
}

TEST(InitComptab, HistoryText) {
  char out[64];
  history_text(51544.5625, out);
  EXPECT_STREQ(out, "Created on Jan 1 2000 01:30:00 pm");
  history_text(51544.0, out);
  EXPECT_STREQ(out, "Created on Jan 1 2000");
}

TEST(Cutoff, DateOptionForms) {
  struct Case { const char* option; const char* text; } cases[] = {
      {"jan-1-2000", "Jan 1 2000"},
      {"jan-1-2000-13:30", "Jan 1 2000 01:30:00 pm"},
      {"jan-1-2000-00:00:02", "Jan 1 2000 12:00:02 am"},
      {"DEC-31-99-23:59:59", "Dec 31 1999 11:59:59 pm"},
  };
  for (auto& c : cases) {
    char out[64];
    cutoff_text(c.option, out, 63);
    EXPECT_STREQ(out, c.text) << c.option;
  }
}

// With no option the cut-off is now, read from the wall clock (fixed here,
// in universal time).
TEST(Cutoff, DefaultIsNow) {
  const char* saved = std::getenv("TZ");
  const std::string old_tz = saved ? saved : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  platform::plat_set_wall_time(946733400);  // 2000-01-01 13:30:00 UTC
  char now[64];
  cutoff_text("", now, 63);
  platform::plat_set_wall_time(0);
  if (saved) ::setenv("TZ", old_tz.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
  EXPECT_STREQ(now, "Jan 1 2000 01:30:00 pm");
}

TEST(Cutoff, BadDatesAreFatal) {
  char out[64];
  EXPECT_EXIT(cutoff_text("foo-1-2000", out, 63), ::testing::ExitedWithCode(1),
              "^Error in date format \\(foo-1-2000\\)\n$");
  EXPECT_EXIT(cutoff_text("ma-1-2000", out, 63), ::testing::ExitedWithCode(1),
              "^Error in date format \\(ma-1-2000\\)\n$");
  std::string long_text = "jan-1-" + std::string(3000, '9');
  EXPECT_EXIT(cutoff_text(long_text.c_str(), out, 63), ::testing::ExitedWithCode(1),
              "^Error in date format \\(jan-1-9+$");
}

}  // namespace
