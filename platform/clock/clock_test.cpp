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
