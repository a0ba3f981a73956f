#include "datetime.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace standin {
namespace {

constexpr std::uint32_t kTicksPerDay = 300u * 86400u;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpoch1900 = days_from_civil(1900, 1, 1);

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned month_days(int y, unsigned m) {
  static const unsigned n[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : n[m - 1];
}

// A cursor over the lower-cased text.
struct Scan {
  std::string s;
  std::size_t i = 0;
  bool end() const { return i >= s.size(); }
  char peek() const { return end() ? '\0' : s[i]; }
  void blanks() {
    while (!end() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  // Reads 1..maxd digits; -1 when there is none.
  long number(int maxd, int* count = nullptr) {
    long v = 0;
    int k = 0;
    while (!end() && std::isdigit(static_cast<unsigned char>(s[i])) && k < maxd) {
      v = v * 10 + (s[i] - '0');
      ++i;
      ++k;
    }
    if (count) *count = k;
    return k ? v : -1;
  }
  bool digit_next() const { return !end() && std::isdigit(static_cast<unsigned char>(s[i])); }
};

int month_by_name(Scan& sc) {
  static const char* const names[] = {"january", "february", "march",     "april",   "may",      "june",
                                      "july",    "august",   "september", "october", "november", "december"};
  std::size_t start = sc.i;
  while (!sc.end() && std::isalpha(static_cast<unsigned char>(sc.peek()))) ++sc.i;
  std::string w = sc.s.substr(start, sc.i - start);
  if (w.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (std::string(names[m]).compare(0, w.size(), w) == 0) return m + 1;
  return 0;
}

long fix_year(long y, int digits) {
  if (digits == 2) return y < 50 ? 2000 + y : 1900 + y;
  return y;
}

// Time of day: h[:mm[:ss[(:|.)fff]]] [am|pm], or h am|pm.  Fills ms.
bool parse_time(Scan& sc, long& ms) {
  long h = sc.number(2), mi = 0, se = 0, frac = 0;
  if (h < 0) return false;
  bool colon = false;
  if (sc.peek() == ':') {
    colon = true;
    ++sc.i;
    mi = sc.number(2);
    if (mi < 0) return false;
    if (sc.peek() == ':') {
      ++sc.i;
      se = sc.number(2);
      if (se < 0) return false;
      if (sc.peek() == ':' || sc.peek() == '.') {
        bool decimal = sc.peek() == '.';
        ++sc.i;
        int digits = 0;
        long f = sc.number(3, &digits);
        if (f < 0) return false;
        if (decimal) {
          for (int k = digits; k < 3; ++k) f *= 10;
        }
        frac = f;
        while (sc.digit_next()) ++sc.i;  // further decimals are dropped
      }
    }
  }
  sc.blanks();
  bool am = false, pm = false;
  if (sc.s.compare(sc.i, 2, "am") == 0) am = true;
  if (sc.s.compare(sc.i, 2, "pm") == 0) pm = true;
  if (am || pm) {
    sc.i += 2;
    if (h < 1 || h > 12) return false;
    if (am && h == 12) h = 0;
    if (pm && h != 12) h += 12;
  } else if (!colon) {
    return false;
  }
  if (h > 23 || mi > 59 || se > 59 || frac > 999) return false;
  ms = ((h * 60 + mi) * 60 + se) * 1000 + frac;
  return true;
}

bool parse_date(Scan& sc, long& y, long& m, long& d) {
  sc.blanks();
  if (std::isalpha(static_cast<unsigned char>(sc.peek()))) {
    // Mon dd[,] yyyy
    m = month_by_name(sc);
    if (!m) return false;
    sc.blanks();
    d = sc.number(2);
    if (d < 0) return false;
    sc.blanks();
    if (sc.peek() == ',') ++sc.i;
    sc.blanks();
    int digits = 0;
    y = sc.number(4, &digits);
    if (y < 0 || (digits != 2 && digits != 4)) return false;
    y = fix_year(y, digits);
    return true;
  }
  int d1 = 0;
  long a = sc.number(4, &d1);
  if (a < 0) return false;
  if (d1 == 4 && sc.peek() == '-') {
    // yyyy-mm-dd
    y = a;
    ++sc.i;
    m = sc.number(2);
    if (m < 0 || sc.peek() != '-') return false;
    ++sc.i;
    d = sc.number(2);
    return d >= 0;
  }
  if (d1 > 2) return false;
  if (sc.peek() == ' ') {
    // dd Mon yyyy
    sc.blanks();
    d = a;
    m = month_by_name(sc);
    if (!m) return false;
    sc.blanks();
    if (sc.peek() == ',') ++sc.i;
    sc.blanks();
    int digits = 0;
    y = sc.number(4, &digits);
    if (y < 0 || (digits != 2 && digits != 4)) return false;
    y = fix_year(y, digits);
    return true;
  }
  // mm/dd/yyyy with "/", "-" or ".", or dd-Mon-yyyy
  char sep = sc.peek();
  if (sep != '/' && sep != '-' && sep != '.') return false;
  ++sc.i;
  if (std::isalpha(static_cast<unsigned char>(sc.peek()))) {
    d = a;
    m = month_by_name(sc);
    if (!m || sc.peek() != sep) return false;
    ++sc.i;
    int digits = 0;
    y = sc.number(4, &digits);
    if (y < 0 || (digits != 2 && digits != 4)) return false;
    y = fix_year(y, digits);
    return true;
  }
  m = a;
  d = sc.number(2);
  if (d < 0 || sc.peek() != sep) return false;
  ++sc.i;
  int digits = 0;
  y = sc.number(4, &digits);
  if (y < 0 || (digits != 2 && digits != 4)) return false;
  y = fix_year(y, digits);
  return true;
}

}  // namespace

std::optional<DateTimeValue> parse_datetime(std::string_view text) {
  Scan sc;
  sc.s.reserve(text.size());
  for (char c : text) sc.s.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  long y = 0, m = 0, d = 0, ms = 0;
  if (!parse_date(sc, y, m, d)) return std::nullopt;
  if (sc.peek() == 't' && sc.i + 1 < sc.s.size() && std::isdigit(static_cast<unsigned char>(sc.s[sc.i + 1])))
    ++sc.i;
  sc.blanks();
  if (!sc.end() && !parse_time(sc, ms)) return std::nullopt;
  sc.blanks();
  if (!sc.end()) return std::nullopt;
  if (y < 1753 || y > 9999 || m < 1 || m > 12 || d < 1 ||
      d > static_cast<long>(month_days(static_cast<int>(y), static_cast<unsigned>(m))))
    return std::nullopt;
  DateTimeValue v;
  v.days = static_cast<std::int32_t>(
      days_from_civil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kEpoch1900);
  std::uint32_t ticks = static_cast<std::uint32_t>((ms * 3 + 5) / 10);
  if (ticks >= kTicksPerDay) {
    // 23:59:59.999 rounds up into the next day.
    ticks -= kTicksPerDay;
    v.days += 1;
  }
  v.ticks = ticks;
  return v;
}

bool looks_like_stored_datetime(std::string_view t) {
  auto dig = [&](std::size_t i) { return i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); };
  if (t.size() < 10 || !dig(0) || !dig(1) || !dig(2) || !dig(3) || t[4] != '-' || !dig(5) || !dig(6) ||
      t[7] != '-' || !dig(8) || !dig(9))
    return false;
  return parse_datetime(t).has_value();
}

std::string to_stored(const DateTimeValue& v) {
  int y = 0;
  unsigned m = 0, d = 0;
  civil_from_days(kEpoch1900 + v.days, y, m, d);
  std::uint64_t ms = (std::uint64_t{v.ticks} * 10 + 1) / 3;
  unsigned h = static_cast<unsigned>(ms / 3600000), mi = static_cast<unsigned>(ms / 60000 % 60),
           s = static_cast<unsigned>(ms / 1000 % 60), f = static_cast<unsigned>(ms % 1000);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%03u", y, m, d, h, mi, s, f);
  return buf;
}

std::string to_wire(const DateTimeValue& v) {
  std::string out(8, '\0');
  auto days = static_cast<std::uint32_t>(v.days);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(days >> (24 - 8 * i));
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>(v.ticks >> (24 - 8 * i));
  return out;
}

DateTimeValue now_local() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  DateTimeValue v;
  v.days = static_cast<std::int32_t>(
      days_from_civil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) -
      kEpoch1900);
  v.ticks = static_cast<std::uint32_t>(((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 300);
  return v;
}

}  // namespace standin
