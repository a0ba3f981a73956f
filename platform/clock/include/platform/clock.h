// The one seam through which every fixed wait of the system passes: the
// access layer's deadlock pause, the DB client's retry pauses and its
// time-outs.  Production waits are exactly as asked; tests shorten them by
// setting a time scale (plat_set_time_scale; test programs link the object
// library plat_clock_env, which sets it from QUOREL_TIME_SCALE before main).
// The wall clock passes through it too, so that a test can fix "now".
#pragma once

#include <cstdint>

namespace platform {

// Sleeps for `seconds` (scaled).  Non-positive values return at once.
void plat_sleep(double seconds);

// A time-out of `seconds` as the milliseconds a poll should wait (scaled,
// at least 1 ms for any positive time-out; 0 stays 0, meaning no wait).
int plat_timeout_ms(double seconds);

// Monotonic clock in milliseconds, for measuring elapsed time of waits.
std::int64_t plat_now_ms();

// The wall clock in seconds since the epoch: the real time, or the time a
// test fixed with plat_set_wall_time.
std::int64_t plat_wall_time();

// Fixes the wall clock at `seconds` (0 lets it run again).
void plat_set_wall_time(std::int64_t seconds);

// Sets the factor applied to every wait (1.0 in production); a factor
// outside (0, 1] sets 1.0.
void plat_set_time_scale(double scale);
double plat_time_scale();

// The factor a text names: the whole text a number in (0, 1]; 1.0 for a
// null, empty or other text.
double plat_scale_from_text(const char* text);

}  // namespace platform
