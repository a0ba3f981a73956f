// Scaled sleeping and time-outs; see platform/clock.h.
#include "platform/clock.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace platform {
namespace {

double g_scale = 1.0;  // the factor applied to every wait
std::int64_t g_wall = 0;  // a fixed wall clock, 0 for the real one

}  // namespace

void plat_set_time_scale(double s) { g_scale = (s > 0.0 && s <= 1.0) ? s : 1.0; }

double plat_time_scale() { return g_scale; }

double plat_scale_from_text(const char* text) {
  if (text == nullptr) return 1.0;
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v > 0.0 && v <= 1.0)) return 1.0;
  return v;
}

void plat_sleep(double seconds) {
  if (seconds <= 0.0) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds * g_scale));
}

int plat_timeout_ms(double seconds) {
  if (seconds <= 0.0) return 0;
  double ms = seconds * g_scale * 1000.0;
  if (ms < 1.0) return 1;
  if (ms > 2147483647.0) return 2147483647;
  return static_cast<int>(ms);
}

std::int64_t plat_wall_time() {
  if (g_wall != 0) return g_wall;
  return static_cast<std::int64_t>(std::time(nullptr));
}

void plat_set_wall_time(std::int64_t seconds) { g_wall = seconds; }

std::int64_t plat_now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
