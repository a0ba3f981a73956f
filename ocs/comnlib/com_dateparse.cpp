// Reading free-form date and time text into a datetime.
#include <cctype>
#include <cstring>

#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"
#include "comnlib/com_inttext.h"

namespace {

enum Kind { kShort, kYear, kPacked, kColon, kComma, kSep, kAmPm, kMonth, kEnd, kUsed };

struct Token {
  Kind kind;
  int digits;
  int value;
};

constexpr int kMaxTokens = 20;
constexpr int kMaxWord = 30;

const std::uint8_t* typemap_of(const COM_CHARATTRIB* attr) {
  return attr && attr->typemap ? attr->typemap : nullptr;
}

// Token class of the character at p (from its own type-map entry).
int token_class(const unsigned char* p, int len, const COM_CHARATTRIB* attr) {
  const std::uint8_t* tm = typemap_of(attr);
  if (!tm) return (std::isalpha(p[0]) ? 1 : 0);
  if (len >= 2 && attr->mbmap) {
    int page = tm[4 * p[0]];  // byte 0 of the lead byte's entry names the page
    return tm[256 * 4 * page + 4 * p[1] + 2];
  }
  return tm[4 * p[0] + 2];
}

bool is_digit_form(int c, const COM_CHARATTRIB* attr) {
  const std::uint8_t* tm = typemap_of(attr);
  if (!tm) return c >= '0' && c <= '9';
  return (tm[4 * (c & 0xFF) + 3] & 4) != 0;
}

// Reads one token at *pos; returns false on a tokenizing error.
bool datetoken(const unsigned char* s, int length, int* pos, Token* tok,
               const char* const* months, const char* const* shortmonths,
               const COM_CHARATTRIB* attr) {
  int step = 1, c = 0;
  while (*pos < length) {
    c = com__single_byte_form(s + *pos, length - *pos, &step, attr);
    if (c != ' ') break;
    *pos += step;
  }
  if (*pos >= length) {
    *tok = {kEnd, 0, 0};
    return true;
  }
  switch (c) {
    case ',': *tok = {kComma, 0, 0}; *pos += step; return true;
    case ':': *tok = {kColon, 0, 0}; *pos += step; return true;
    case '-': case '/': *tok = {kSep, 0, 0}; *pos += step; return true;
    case '.': *tok = {kSep, 0, -1}; *pos += step; return true;
    default: break;
  }
  if (is_digit_form(c, attr)) {
    int digits = 0;
    long value = 0;
    while (*pos < length) {
      c = com__single_byte_form(s + *pos, length - *pos, &step, attr);
      if (!is_digit_form(c, attr)) break;
      if (digits < 9) value = value * 10 + (c - '0');
      ++digits;
      *pos += step;
    }
    Kind k;
    if (digits <= 3) k = kShort;
    else if (digits == 4) k = kYear;
    else if (digits == 6 || digits == 8) k = kPacked;
    else return false;
    *tok = {k, digits, static_cast<int>(value)};
    return true;
  }
  if (token_class(s + *pos, step, attr) == 1) {
    int start = *pos, chars = 0;
    while (*pos < length) {
      com__single_byte_form(s + *pos, length - *pos, &step, attr);
      if (token_class(s + *pos, step, attr) != 1) break;
      *pos += step;
      ++chars;
    }
    const char* w = reinterpret_cast<const char*>(s + start);
    int wl = *pos - start;
    if (chars == 2) {
      static const char* const ampm[2] = {"AM", "PM"};
      int i = datelookup(w, wl, ampm, 2, attr);
      if (i >= 0) {
        *tok = {kAmPm, 0, i};
        return true;
      }
    }
    if (!months || !shortmonths) return false;
    int i = datelookup(w, wl, months, 12, attr);
    if (i < 0) i = datelookup(w, wl, shortmonths, 12, attr);
    if (i < 0) return false;
    *tok = {kMonth, 0, i};
    return true;
  }
  return false;
}

// Index of the first token of `kind` at or after `from`, or -1.
int find(const Token* t, int n, Kind kind, int from = 0) {
  for (int i = from; i < n; ++i)
    if (t[i].kind == kind) return i;
  return -1;
}

bool any_left(const Token* t, int n) {
  for (int i = 0; i < n; ++i)
    if (t[i].kind != kUsed && t[i].kind != kEnd) return true;
  return false;
}

// Reduces a word to its single-byte forms (characters without one keep their bytes).
int reduce(const char* w, int len, char* out, const COM_CHARATTRIB* attr) {
  auto p = reinterpret_cast<const unsigned char*>(w);
  int i = 0, o = 0;
  while (i < len && o < 64) {
    int step = 1;
    int c = com__single_byte_form(p + i, len - i, &step, attr);
    if (c) out[o++] = static_cast<char>(c);
    else
      for (int k = 0; k < step && o < 64; ++k) out[o++] = static_cast<char>(p[i + k]);
    i += step;
  }
  return o;
}

}  // namespace

int comn::datelookup(const char* word, int len, const char* const* names, int count,
                     const COM_CHARATTRIB* attr) {
  if (len > kMaxWord || !names) return -1;
  char a[64], b[64];
  int al = reduce(word, len, a, attr);
  for (int i = 0; i < count; ++i) {
    int nl = static_cast<int>(std::strlen(names[i]));
    if (nl > kMaxWord) continue;
    int bl = reduce(names[i], nl, b, attr);
    if (al == bl && std::memcmp(a, b, static_cast<size_t>(al)) == 0) return i;
  }
  return -1;
}

int com__year2digit(int year) {
  if (year >= 0 && year <= 49) return 2000 + year;
  if (year >= 50 && year <= 99) return 1900 + year;
  return 1;
}

int com__amcheck(COM_DATEREC* rec, int pm) {
  if (!pm) {
    if (rec->datehour > 12) return 1;
    if (rec->datehour == 12) rec->datehour = 0;
  } else {
    if (rec->datehour == 0) return 1;
    if (rec->datehour < 12) rec->datehour += 12;
  }
  return 0;
}

int comn::xdatefromchar(COM_DATETIME* dt, const char* text, int length, int timeonly, int style,
                        int order_id, const char* const* months, const char* const* shortmonths,
                        const COM_CHARATTRIB* attr) {
  Token t[kMaxTokens];
  int n = 0, pos = 0;
  auto s = reinterpret_cast<const unsigned char*>(text);
  if (length < 0) length = 0;
  for (;;) {
    if (n == kMaxTokens) return -1;
    if (!datetoken(s, length, &pos, &t[n], months, shortmonths, attr)) return -1;
    if (t[n++].kind == kEnd) break;
    if (n == kMaxTokens) return -1;  // a 20th token must be the end
  }
  dt->dtdays = 0;
  dt->dttime = 0;
  COM_DATEREC rec{};
  rec.datemonth = 0;
  rec.datedmonth = 1;

  // Time.
  bool have_time = false;
  int ampm = -1;
  int c = find(t, n, kColon);
  if (c > 0) {
    if (t[c - 1].kind != kShort || t[c + 1].kind != kShort) return -1;
    rec.datehour = t[c - 1].value;
    rec.dateminute = t[c + 1].value;
    t[c - 1].kind = t[c].kind = t[c + 1].kind = kUsed;
    int i = c + 2;
    auto fraction = [&](int at) {
      int v = t[at].value, d = t[at].digits;
      rec.datemsecond = d == 1 ? v * 100 : d == 2 ? v * 10 : v;
    };
    if (t[i].kind == kColon && t[i + 1].kind == kShort) {
      rec.datesecond = t[i + 1].value;
      t[i].kind = t[i + 1].kind = kUsed;
      i += 2;
      if (t[i].kind == kColon && t[i + 1].kind == kShort) {
        rec.datemsecond = t[i + 1].value;
        t[i].kind = t[i + 1].kind = kUsed;
        i += 2;
      } else if (t[i].kind == kSep && t[i].value == -1 && t[i + 1].kind == kShort) {
        fraction(i + 1);
        t[i].kind = t[i + 1].kind = kUsed;
        i += 2;
      }
    } else if (t[i].kind == kSep && t[i].value == -1 && t[i + 1].kind == kShort) {
      fraction(i + 1);
      t[i].kind = t[i + 1].kind = kUsed;
      i += 2;
    }
    if (t[i].kind == kAmPm) {
      ampm = t[i].value;
      t[i].kind = kUsed;
    }
    have_time = true;
  } else {
    int a = find(t, n, kAmPm);
    if (a > 0) {
      if (t[a - 1].kind != kShort) return -1;
      rec.datehour = t[a - 1].value;
      ampm = t[a].value;
      t[a - 1].kind = t[a].kind = kUsed;
      have_time = true;
    }
  }
  if (have_time) {
    if (ampm >= 0 && com__amcheck(&rec, ampm) != 0) return 9;
    if (com__timemake(dt, &rec) != 0) return 1;
  }
  if (timeonly) return any_left(t, n) ? -2 : 0;

  // Date.
  int m = find(t, n, kMonth);
  if (m >= 0) {
    rec.datemonth = t[m].value;
    t[m].kind = kUsed;
    if (m > 0 && t[m - 1].kind == kSep) {
      t[m - 1].kind = kUsed;
      if (t[m + 1].kind == kSep || t[m + 1].kind == kComma) t[m + 1].kind = kUsed;
    } else if (t[m + 1].kind == kComma) {
      t[m + 1].kind = kUsed;
    }
    auto take_day = [&](int i) {
      rec.datedmonth = t[i].value;
      t[i].kind = kUsed;
      if (t[i + 1].kind == kComma) t[i + 1].kind = kUsed;
    };
    int y = find(t, n, kYear);
    if (y >= 0) {
      rec.dateyear = t[y].value;
      t[y].kind = kUsed;
      int d = find(t, n, kShort);
      if (d >= 0) take_day(d);
    } else {
      int d = find(t, n, kShort);
      if (d < 0) return -1;
      take_day(d);
      int yy = find(t, n, kShort);
      if (yy < 0) return -1;
      int year = com__year2digit(t[yy].value);
      if (year == 1) return 1;
      rec.dateyear = year;
      t[yy].kind = kUsed;
    }
  } else if (int sp = find(t, n, kSep); sp > 0) {
    t[sp].kind = kUsed;
    int sp2 = find(t, n, kSep, sp + 1);
    if (sp2 < 0) return -1;
    t[sp2].kind = kUsed;
    const char* order;
    bool year_required = false, year_anywhere = false;
    static const char* const orders[7] = {"", "mdy", "dmy", "ymd", "ydm", "myd", "dym"};
    switch (style) {
      case 0: case 9:
        if (order_id < 1 || order_id > 6) return -1;
        order = orders[order_id];
        if (t[0].kind == kYear && order_id != 4) order = "ymd";
        year_anywhere = true;
        break;
      case 1: case 10: order = "mdy"; break;
      case 2: case 11: order = "ymd"; break;
      case 3: case 4: case 5: order = "dmy"; break;
      case 101: case 110: order = "mdy"; year_required = true; break;
      case 102: case 111: order = "ymd"; year_required = true; break;
      case 103: case 104: case 105: order = "dmy"; year_required = true; break;
      default: return -1;
    }
    bool year_taken = false;
    if (year_required || year_anywhere) {
      int y = find(t, n, kYear);
      if (y >= 0) {
        rec.dateyear = t[y].value;
        t[y].kind = kUsed;
        year_taken = true;
      } else if (year_required) {
        return -1;
      }
    }
    for (int k = 0; k < 3; ++k) {
      if (order[k] == 'y' && year_taken) continue;
      int i = find(t, n, kShort);
      if (i < 0) return -1;
      t[i].kind = kUsed;
      int v = t[i].value;
      if (order[k] == 'm') rec.datemonth = v - 1;
      else if (order[k] == 'd') rec.datedmonth = v;
      else {
        int year = com__year2digit(v);
        if (year == 1) return 1;
        rec.dateyear = year;
      }
    }
  } else if (int p = find(t, n, kPacked); p >= 0) {
    int v = t[p].value;
    t[p].kind = kUsed;
    rec.datedmonth = v % 100;
    rec.datemonth = (v / 100) % 100 - 1;
    if (t[p].digits == 8) {
      rec.dateyear = v / 10000;
    } else {
      int year = com__year2digit(v / 10000);
      if (year == 1) return 1;
      rec.dateyear = year;
    }
  } else if (int y = find(t, n, kYear); y >= 0) {
    rec.dateyear = t[y].value;
    t[y].kind = kUsed;
  } else {
    return any_left(t, n) ? -2 : 0;
  }
  if (any_left(t, n)) return -2;
  return com__datemake(dt, &rec);
}

int com__datefromchar_mb(COM_DATETIME* dt, const char* text, int length, int style,
                         int order_id, const char* const* months,
                         const char* const* shortmonths, const COM_CHARATTRIB* attr) {
  return xdatefromchar(dt, text, length, 0, style, order_id, months, shortmonths, attr);
}

int com__timefromchar_mb(COM_DATETIME* dt, const char* text, int length, int style,
                         const COM_CHARATTRIB* attr) {
  return xdatefromchar(dt, text, length, 1, style, 1, nullptr, nullptr, attr);
}

int com__date4fromchar_mb(COM_DATETIME4* dt4, const char* text, int length, int style,
                          int order_id, const char* const* months,
                          const char* const* shortmonths, const COM_CHARATTRIB* attr) {
  COM_DATETIME dt;
  int r = xdatefromchar(&dt, text, length, 0, style, order_id, months, shortmonths, attr);
  if (r != 0) return r;
  return com__dttodate4(&dt, dt4) != 0 ? 1 : 0;
}
