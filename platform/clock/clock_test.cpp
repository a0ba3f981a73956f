#include "platform/clock.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Clock, ScaleShortensSleepsAndTimeouts) {
  plat_set_time_scale(0.001);
  std::int64_t t0 = plat_now_ms();
  plat_sleep(10.0);  // 10 s scaled to 10 ms
  std::int64_t dt = plat_now_ms() - t0;
  EXPECT_GE(dt, 9);
  EXPECT_LT(dt, 2000);
  EXPECT_EQ(plat_timeout_ms(60.0), 60);
  EXPECT_EQ(plat_timeout_ms(0.0), 0);
  EXPECT_EQ(plat_timeout_ms(0.0001), 1);  // positive waits never become "no wait"
  plat_set_time_scale(1.0);
  EXPECT_EQ(plat_timeout_ms(2.5), 2500);
  plat_set_time_scale(-3.0);  // nonsense resets to production
  EXPECT_DOUBLE_EQ(plat_time_scale(), 1.0);
}

TEST(Clock, ScaleFromTextTakesOnlyAFactorUpToOne) {
  const struct {
    const char* text;
    double scale;
  } cases[] = {
      {"0.02", 0.02}, {"1", 1.0}, {"0.001", 0.001}, {nullptr, 1.0}, {"", 1.0},    {"0", 1.0},
      {"-0.5", 1.0},  {"2", 1.0}, {"0.5s", 1.0},    {"fast", 1.0},  {"nan", 1.0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(plat_scale_from_text(c.text), c.scale) << (c.text ? c.text : "(null)");
}

TEST(Clock, ScaleOutsideTheUnitIntervalIsProduction) {
  plat_set_time_scale(0.5);
  EXPECT_DOUBLE_EQ(plat_time_scale(), 0.5);
  plat_set_time_scale(4.0);
  EXPECT_DOUBLE_EQ(plat_time_scale(), 1.0);
}

TEST(Clock, WallClockCanBeFixed) {
  const std::int64_t real = plat_wall_time();
  plat_set_wall_time(946733400);  // 2000-01-01 13:30:00 UTC
  EXPECT_EQ(plat_wall_time(), 946733400);
  plat_set_wall_time(0);
  EXPECT_GE(plat_wall_time(), real);
  EXPECT_NE(plat_wall_time(), 946733400);
}
