// Query statistics file and the time, host and user routines.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pwd.h>
#include <sys/time.h>
#include <unistd.h>

#include "qelt_internal.h"

namespace qelt {
namespace {

struct PerfState {
  bool decided = false;
  std::FILE* file = nullptr;
};
PerfState g_perf;

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Decides once whether statistics are written, and opens their file.
void decide() {
  g_perf.decided = true;
  const char* on = std::getenv("QELT_STAT_ON");
  if (on == nullptr || (on[0] != 'T' && on[0] != 't')) return;
  const char* out = std::getenv("QELT_STAT_OUT");
  if (out == nullptr) {
    std::fputs("QELT_STAT_OUT not defined, even though QELT_STAT_ON is.\n", stderr);
    std::fputs("Query performance statistics will NOT be collected.\n", stderr);
    return;
  }
  std::FILE* f = std::fopen(out, "w");
  if (f == nullptr) {
    std::fprintf(stderr, "Failed to open query performance statistics file %s\n", out);
    std::fputs("Query performance statistics will NOT be collected.\n", stderr);
    return;
  }
  std::fputs("date-time/image/module/cmd#/wall/rec/hash/err/stored\n", f);
  std::fflush(f);
  g_perf.file = f;
}

}  // namespace

void reset_perf_for_tests() {
  if (g_perf.file != nullptr) std::fclose(g_perf.file);
  g_perf = PerfState{};
}

// One statistics line for the query of the current connection.
void qelt_perf_rpt(int record_count, double wall_seconds) {
  if (!g_perf.decided) decide();
  if (g_perf.file == nullptr || !valid_conn(db_current)) return;
  const Context& ctx = g_ctx[db_current];
  std::string date, time;
  qelt_get_system_time(date, time);
  std::fprintf(g_perf.file, "@@\t%s\t%s\t%s\t%s\t%d\t%8.3f\t%d\t%d\t%d\t%d\n", date.c_str(),
               time.c_str(), "UNKNOWN", ctx.module.c_str(), ctx.query_number, wall_seconds,
               record_count, 0, ctx.status != 0 ? 1 : 0, ctx.sp_flag);
}

// Seconds of the time of day, microseconds included.
double qelt_time() {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Local date as dd-Mon-yyyy and time as hh:mm:ss.
void qelt_get_system_time(std::string& date, std::string& time) {
  std::time_t now = std::time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  date = format("%02d-%.3s-%4d", tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900);
  time = format("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// The time stamp of the reports: date, a blank and time.
std::string qelt_get_current_time() {
  std::string date, time;
  qelt_get_system_time(date, time);
  return date + " " + time;
}

// The host name cut to `length` characters.
std::string qelt_get_nodename(int length) {
  char host[256] = {0};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return cut(host, static_cast<std::size_t>(length));
}

// The login name of the process owner.
std::string qelt_cuserid() {
  static std::string name;
  static bool asked = false;
  if (!asked) {
    asked = true;
    if (struct passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr)
      name = pw->pw_name;
  }
  return name;
}

}  // namespace qelt
