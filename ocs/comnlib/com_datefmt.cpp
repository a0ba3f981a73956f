// Writing datetime values as text in each of the styles.
#include <cstdint>
#include <cstring>

#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"

int com__cpint(char* buf, int value, int sep, int width) {
  int w = width < 0 ? -width : width;
  char fill = width < 0 ? '0' : ' ';
  for (int i = w - 1; i >= 0; --i) {
    if (value > 0 || i == w - 1) {
      buf[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    } else {
      buf[i] = fill;
    }
  }
  int n = w;
  if (sep) buf[n++] = static_cast<char>(sep);
  return n;
}

int com__cpchar(char* buf, const char* text, int sep, int maximum) {
  int n = 0;
  while (n < maximum && text[n]) {
    buf[n] = text[n];
    ++n;
  }
  if (sep) buf[n++] = static_cast<char>(sep);
  return n;
}

namespace {

bool needs_months(int style) {
  switch (style) {
    case 0: case 6: case 7: case 9: case 100: case 106: case 107: case 109: return true;
    default: return false;
  }
}

bool known_style(int style) {
  return (style >= 0 && style <= 15) || (style >= 100 && style <= 112);
}

// Writes three numeric fields a sep b sep c, each 2 wide zero-filled except a
// field flagged as a 4-digit year.
int triple(char* p, int a, int wa, int b, int wb, int c, int wc, char sep) {
  int n = com__cpint(p, a, sep, -wa);
  n += com__cpint(p + n, b, sep, -wb);
  n += com__cpint(p + n, c, 0, -wc);
  return n;
}

// The long forms (styles 0, 9, 100 and 109), "Mon dd yyyy hh:mmAM" with
// ":ss:mmm" before the AM/PM for 9 and 109, are what bound datetimes
// become by default, value after value: their length is known before a
// digit is written, so that text that fits goes straight to its target.
bool long_form(int style) { return style == 0 || style == 9 || style == 100 || style == 109; }

// The two characters of every number from 0 to 99, the tens as `fill`
// below 10.
struct Pairs {
  char text[200];
  constexpr explicit Pairs(char fill) : text{} {
    for (int v = 0; v < 100; ++v) {
      text[2 * v] = v < 10 ? fill : static_cast<char>('0' + v / 10);
      text[2 * v + 1] = static_cast<char>('0' + v % 10);
    }
  }
};
constexpr Pairs kZeroPairs('0'), kBlankPairs(' ');

// Two characters of `v` (0 to 99) from `pairs`.
inline void put2(char* p, const Pairs& pairs, int v) { std::memcpy(p, pairs.text + 2 * v, 2); }

// The length of `month` taken into the long form: at most 9 characters.
inline int month_length(const char* month) {
  if (month[0] && month[1] && month[2] && !month[3]) return 3;  // most names
  int m = 0;
  while (m < 9 && month[m]) ++m;
  return m;
}

// The calendar and clock fields the long form shows.
struct LongFields {
  unsigned year, month0, day;
  ComClock clock;
};

// The fields of a valid datetime, worked out with integer arithmetic alone:
// the day count taken from 1 March of year 0 and cut into centuries, years
// and days of a year that starts in March (whose months repeat their
// lengths every five), each division by a constant done as a multiplication
// and a shift; the clock fields from com__clock, as com__timecrack takes
// them.  Gives what com__datecrack and com__timecrack give for the same
// value.
inline LongFields long_fields(const COM_DATETIME* dt) {
  // 1 January 1900 (day 0) is day 693901 counted from 1 March of year 0.
  const std::uint32_t n = static_cast<std::uint32_t>(dt->dtdays + 693901);
  const std::uint32_t n1 = 4 * n + 3;
  const std::uint32_t century = n1 / 146097;
  const std::uint32_t nc = n1 % 146097 / 4;
  const std::uint64_t p2 = std::uint64_t{2939745} * (4 * nc + 3);
  const std::uint32_t yearofc = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t dayofy = static_cast<std::uint32_t>(p2) / 2939745 / 4;  // 0: 1 March
  const std::uint32_t n3 = 2141 * dayofy + 197913;
  const std::uint32_t month = n3 >> 16;  // 3 (March) to 14 (February)
  const bool janfeb = dayofy >= 306;
  LongFields f;
  f.day = (n3 & 0xFFFF) / 2141 + 1;
  f.month0 = janfeb ? month - 13 : month - 1;
  f.year = 100 * century + yearofc + (janfeb ? 1 : 0);
  f.clock = com__clock(dt);
  return f;
}

// Writes the long form of `f` to `p`, with the first `m` characters of
// `month`: m + 16 characters, 7 more with seconds.
inline void write_long(char* p, const LongFields& f, const char* month, int m, bool seconds) {
  if (m == 3) std::memcpy(p, month, 3);
  else for (int i = 0; i < m; ++i) p[i] = month[i];
  p += m;
  *p++ = ' ';
  put2(p, kBlankPairs, static_cast<int>(f.day));
  p[2] = ' ';
  p += 3;
  put2(p, kZeroPairs, static_cast<int>(f.year / 100));
  put2(p + 2, kZeroPairs, static_cast<int>(f.year % 100));
  p[4] = ' ';
  p += 5;
  const unsigned h12 = f.clock.hour == 0 ? 12 : f.clock.hour > 12 ? f.clock.hour - 12 : f.clock.hour;
  put2(p, kBlankPairs, static_cast<int>(h12));
  p[2] = ':';
  put2(p + 3, kZeroPairs, static_cast<int>(f.clock.minute));
  p += 5;
  if (seconds) {
    p[0] = ':';
    put2(p + 1, kZeroPairs, static_cast<int>(f.clock.second));
    p[3] = ':';
    p[4] = static_cast<char>('0' + f.clock.msec / 100);
    put2(p + 5, kZeroPairs, static_cast<int>(f.clock.msec % 100));
    p += 7;
  }
  p[0] = f.clock.hour >= 12 ? 'P' : 'A';
  p[1] = 'M';
}

// The long form of a valid `dt` into `buf` (com__datetochar's result).
int long_text(const COM_DATETIME* dt, char* buf, int buflen, bool seconds,
              const char* const* months) {
  const LongFields f = long_fields(dt);
  const char* month = months[f.month0];
  const int m = month_length(month);
  const int len = m + 16 + (seconds ? 7 : 0);
  if (buflen < 0 || len <= buflen) {
    write_long(buf, f, month, m, seconds);
    return len;
  }
  char cut[48];
  write_long(cut, f, month, m, seconds);
  std::memcpy(buf, cut, static_cast<size_t>(buflen));
  return 0;
}

}  // namespace

int com__datetochar(const COM_DATETIME* dt, char* buf, int buflen, int style,
                    const char* const* months) {
  if (long_form(style)) {
    if (!months) return -2;
    if (!com__datetime_valid(dt)) return COM_CVT_DOMAIN;
    return long_text(dt, buf, buflen, style == 9 || style == 109, months);
  }
  if (!known_style(style)) return -1;
  if (needs_months(style) && !months) return -2;
  if (!com__datetime_valid(dt)) return COM_CVT_DOMAIN;
  COM_DATEREC r{};
  com__datecrack(dt, &r);
  com__timecrack(dt, &r);
  char s[48];
  int n = 0;
  int y = r.dateyear, y2 = r.dateyear % 100, m = r.datemonth + 1, d = r.datedmonth;
  bool four = style >= 100;
  int yw = four ? 4 : 2, yv = four ? y : y2;
  switch (style) {
    case 1: case 101: n = triple(s, m, 2, d, 2, yv, yw, '/'); break;
    case 2: case 102: n = triple(s, yv, yw, m, 2, d, 2, '.'); break;
    case 3: case 103: n = triple(s, d, 2, m, 2, yv, yw, '/'); break;
    case 4: case 104: n = triple(s, d, 2, m, 2, yv, yw, '.'); break;
    case 5: case 105: n = triple(s, d, 2, m, 2, yv, yw, '-'); break;
    case 6: case 106:
      n = com__cpint(s, d, ' ', -2);
      n += com__cpchar(s + n, months[r.datemonth], ' ', 9);
      n += com__cpint(s + n, yv, 0, -yw);
      break;
    case 7: case 107:
      n = com__cpchar(s, months[r.datemonth], ' ', 9);
      n += com__cpint(s + n, d, ',', -2);
      s[n++] = ' ';
      n += com__cpint(s + n, yv, 0, -yw);
      break;
    case 8: case 108: n = triple(s, r.datehour, 2, r.dateminute, 2, r.datesecond, 2, ':'); break;
    case 10: case 110: n = triple(s, m, 2, d, 2, yv, yw, '-'); break;
    case 11: case 111: n = triple(s, yv, yw, m, 2, d, 2, '/'); break;
    case 12: case 112:
      n = com__cpint(s, yv, 0, -yw);
      n += com__cpint(s + n, m, 0, -2);
      n += com__cpint(s + n, d, 0, -2);
      break;
    case 13: n = triple(s, y2, 2, d, 2, m, 2, '/'); break;
    case 14: n = triple(s, m, 2, y2, 2, d, 2, '/'); break;
    case 15: n = triple(s, d, 2, y2, 2, m, 2, '/'); break;
    default: return -1;
  }
  if (buflen >= 0 && n > buflen) {
    std::memcpy(buf, s, static_cast<size_t>(buflen));
    return 0;
  }
  std::memcpy(buf, s, static_cast<size_t>(n));
  return n;
}

int com__date4tochar(const COM_DATETIME4* dt4, char* buf, int buflen, int style,
                     const char* const* months) {
  COM_DATETIME dt;
  com__date4todt(dt4, &dt);
  return com__datetochar(&dt, buf, buflen, style, months);
}
