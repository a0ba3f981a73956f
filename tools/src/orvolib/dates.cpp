// Date parsing, validation and the database date text.
#include "orvolib/dates.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "loadfile/strfn.h"
#include "platform/clock.h"
#include "orvolib/orvo_error.h"

namespace {

const char kMonthList[] =
    "january|february|march|april|may|june|july|august|september|october|november|december";
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int kMaxText = 63;
const int kMaxDigits = 9;  // more digits could overflow an int
const double kSecondsPerDay = 86400.0;
// Any date value beyond 2099 is out of the supported range; used to refuse
// garbage before it is turned into integers.
const double kMaxDate = 200000.0;

// A bounded working copy of a parser's input, with room for one more byte.
std::string working_copy(const char* text, int maxch) {
  std::string s(static_cast<std::size_t>(maxch) + 2, '\0');
  safecopy(s.data(), text, maxch);
  return s;
}

// Hour, minute and second of a "hh[:mm[:ss]]" field; an empty part is 0.
void split_time(char* field, int* hour, int* minute, int* second) {
  char* parts[3];
  strsplit(':', field, parts, 3);
  *hour = date_number(parts[0]);
  *minute = date_number(parts[1]);
  *second = date_number(parts[2]);
}

// Splits a valid date value into calendar fields and the seconds of the
// day, rounded to the nearest second.
void split_date(double date, int* year, int* month, int* day, long* seconds) {
  if (!(date >= 0.0) || date > kMaxDate) orvo_error(ORVO_DATEFORMAT, "%g", date);
  double z = std::floor(date);
  long secs = std::lround((date - z) * kSecondsPerDay);
  if (secs >= 86400) {
    z += 1.0;
    secs -= 86400;
  }
  double a = std::floor((z + 532784.75) / 36524.25);
  double b = z + 2400002.0 + a - std::floor(a * 0.25) + 1524.0;
  double c = std::floor((b - 122.1) / 365.25);
  double k = std::floor(c * 365.25);
  double e = std::floor((b - k) / 30.6001);
  *day = static_cast<int>(b - k - std::floor(e * 30.6001));
  *month = static_cast<int>(e - 1);
  *year = static_cast<int>(c - 4716);
  if (*month > 12) {
    *month -= 12;
    *year += 1;
  }
  *seconds = secs;
}

}  // namespace

int date_number(const char* field) {
  int value = 0, digits = 0;
  for (const char* p = field; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || ++digits > kMaxDigits) return -1;
    value = value * 10 + (*p - '0');
  }
  return value;
}

double date_from_fields(int y, int m, int d, int hh, int mm, int ss) {
  if (y >= 0 && y <= 49) y += 2000;
  else if (y >= 50 && y <= 99) y += 1900;
  if (y < 1901 || y > 2099 || m < 1 || m > 12) return -1.0;
  int mdays = kMonthDays[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0);
  if (d < 1 || d > mdays || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)
    return -1.0;
  if (m <= 2) {
    y -= 1;
    m += 12;
  }
  double date = std::floor(365.25 * (y + 4716)) + std::floor(30.6001 * (m + 1));
  date += d;
  date += -2401538.0;
  date += ((hh * 60 + mm) * 60 + ss) / kSecondsPerDay;
  return date;
}

double get_dash_date(const char* text) {
  std::string s = working_copy(text, kMaxText);
  char* f[5];
  strsplit('-', s.data(), f, 5);
  int month = strabbrev(f[0], kMonthList);
  if (month == 0) return -1.0;
  int hour = 0, minute = 0, second = 0;
  if (f[3][0] != '\0') {
    char* parts[3];
    strsplit(':', f[3], parts, 3);
    if (parts[1][0] == '\0') {
      hour = minute = second = -1;  // a bare hour is no time
    } else {
      hour = date_number(parts[0]);
      minute = date_number(parts[1]);
      second = date_number(parts[2]);
    }
  }
  return date_from_fields(date_number(f[2]), month, date_number(f[1]), hour, minute, second);
}

double get_merrow_date(const char* text) {
  std::string s = working_copy(text, kMaxText - 1);
  // Put a blank before the trailing run of letters, so a meridian written
  // right after the seconds is a field of its own.
  std::size_t n = std::strlen(s.c_str());
  std::size_t k = n;
  while (k > 0 && ((s[k - 1] >= 'a' && s[k - 1] <= 'z') || (s[k - 1] >= 'A' && s[k - 1] <= 'Z'))) --k;
  s.insert(k, 1, ' ');
  char* f[5];
  strsplit(' ', s.data(), f, 5);
  int month = strabbrev(f[0], kMonthList);
  if (month == 0) return -1.0;
  int hour = 0, minute = 0, second = 0;
  if (f[3][0] != '\0') split_time(f[3], &hour, &minute, &second);
  if (f[4][0] != '\0') {
    int meridian = strmatch(f[4], "am|pm");
    if (meridian == 1 && hour == 12) hour = 0;
    else if (meridian == 2 && hour >= 0 && hour < 12) hour += 12;  // an unread hour stays -1
    else if (meridian == 0) hour = -1;
  }
  return date_from_fields(date_number(f[2]), month, date_number(f[1]), hour, minute, second);
}

double get_slash_date(const char* text) {
  std::string s = working_copy(text, kMaxText);
  char* f[3];
  strsplit('/', s.data(), f, 3);
  return date_from_fields(date_number(f[2]), date_number(f[1]), date_number(f[0]), 0, 0, 0);
}

double get_orvo_date(const char* text) {
  std::string s = working_copy(text, kMaxText);
  if (std::strlen(s.c_str()) < 15 || s[8] != ':') return -1.0;
  auto field = [&](std::size_t from, std::size_t len) {
    return date_number(s.substr(from, len).c_str());
  };
  return date_from_fields(field(0, 4), field(4, 2), field(6, 2), field(9, 2), field(11, 2),
                          field(13, 2));
}

double get_now() {
  std::time_t now = static_cast<std::time_t>(platform::plat_wall_time());
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return -1.0;
  return date_from_fields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec);
}

void put_short_date(double date, char* out, int maxch) {
  int year, month, day;
  long seconds;
  split_date(date, &year, &month, &day, &seconds);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %d %d", kMonthNames[month - 1], day, year);
  safecopy(out, buf, maxch);
}

void put_merrow_date(double date, char* out, int maxch) {
  int year, month, day;
  long seconds;
  split_date(date, &year, &month, &day, &seconds);
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%s %d %d", kMonthNames[month - 1], day, year);
  if (seconds > 0) {
    int hour = static_cast<int>(seconds / 3600);
    int minute = static_cast<int>(seconds / 60 % 60);
    int second = static_cast<int>(seconds % 60);
    const char* meridian = hour >= 12 ? "pm" : "am";
    if (hour > 12) hour -= 12;
    if (hour == 0) hour = 12;
    std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), " %02d:%02d:%02d %s", hour,
                  minute, second, meridian);
  }
  safecopy(out, buf, maxch);
}
