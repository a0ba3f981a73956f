// Writing datetime values as text in each of the styles.
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

// The two digits of every number from 0 to 99.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Two digits of `v` (0 to 99), the tens `fill` when below 10.
inline void put2(char* p, int v, char fill) {
  const char* d = kPairs + 2 * v;
  p[0] = v < 10 ? fill : d[0];
  p[1] = d[1];
}

// The length of the long form with `month` (at most 9 of its characters).
int long_length(const char* month, bool seconds) {
  int m = 0;
  while (m < 9 && month[m]) ++m;
  return m + 16 + (seconds ? 7 : 0);
}

// Writes the long form of `r` (a valid datetime's fields) to `p`; the
// length from long_length.
void write_long(char* p, const COM_DATEREC& r, const char* month, bool seconds) {
  int n = 0;
  while (n < 9 && month[n]) {
    p[n] = month[n];
    ++n;
  }
  p += n;
  *p++ = ' ';
  put2(p, r.datedmonth, ' ');
  p[2] = ' ';
  p += 3;
  auto y = static_cast<unsigned>(r.dateyear);
  put2(p, static_cast<int>(y / 100), '0');
  put2(p + 2, static_cast<int>(y % 100), '0');
  p[4] = ' ';
  p += 5;
  int h12 = r.datehour == 0 ? 12 : r.datehour > 12 ? r.datehour - 12 : r.datehour;
  put2(p, h12, ' ');
  p[2] = ':';
  put2(p + 3, r.dateminute, '0');
  p += 5;
  if (seconds) {
    p[0] = ':';
    put2(p + 1, r.datesecond, '0');
    p[3] = ':';
    auto ms = static_cast<unsigned>(r.datemsecond);
    p[4] = static_cast<char>('0' + ms / 100);
    put2(p + 5, static_cast<int>(ms % 100), '0');
    p += 7;
  }
  p[0] = r.datehour >= 12 ? 'P' : 'A';
  p[1] = 'M';
}

}  // namespace

int com__datetochar(const COM_DATETIME* dt, char* buf, int buflen, int style,
                    const char* const* months) {
  if (!known_style(style)) return -1;
  if (needs_months(style) && !months) return -2;
  if (!com__datetime_valid(dt)) return COM_CVT_DOMAIN;
  COM_DATEREC r{};
  com__datecrack(dt, &r);
  com__timecrack(dt, &r);
  if (long_form(style)) {
    bool seconds = style == 9 || style == 109;
    const char* month = months[r.datemonth];
    int len = long_length(month, seconds);
    if (buflen < 0 || len <= buflen) {
      write_long(buf, r, month, seconds);
      return len;
    }
    char cut[48];
    write_long(cut, r, month, seconds);
    std::memcpy(buf, cut, static_cast<size_t>(buflen));
    return 0;
  }
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
