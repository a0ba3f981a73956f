// Date parts, date names, date differences and date addition.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "comnlib/com_date.h"

namespace {

int year_length(int year) { return leapyear(year - 1753) ? 366 : 365; }

// Day count of 1 January of the year of `dt`, and the cracked record.
int jan1(const COM_DATETIME* dt, COM_DATEREC* rec) {
  com__datecrack(dt, rec);
  return dt->dtdays - (rec->datedyear - 1);
}

int weekday_of(int days) { return ((days + 53691) % 7 + 7) % 7; }

// ISO 8601 week-numbering year and week of a day count.
void iso_week(const COM_DATETIME* dt, int* iso_year, int* iso_wk) {
  COM_DATEREC rec{};
  int s = jan1(dt, &rec);
  int m = s + week_one_offset[weekday_of(s)];
  int k = dt->dtdays - m;
  if (k < 0) {
    int ps = s - year_length(rec.dateyear - 1);
    int pm = ps + week_one_offset[weekday_of(ps)];
    *iso_year = rec.dateyear - 1;
    *iso_wk = (dt->dtdays - pm) / 7 + 1;
    return;
  }
  int w = k / 7 + 1;
  if (w >= 52) {
    int ns = s + year_length(rec.dateyear);
    int nm = ns + week_one_offset[weekday_of(ns)];
    if (dt->dtdays >= nm) {
      *iso_year = rec.dateyear + 1;
      *iso_wk = 1;
      return;
    }
  }
  *iso_year = rec.dateyear;
  *iso_wk = w;
}

// Copies at most 30 characters of a name.
int copy_name(char* buf, const char* name) {
  int n = 0;
  while (n < 30 && name[n]) {
    buf[n] = name[n];
    ++n;
  }
  return n;
}

}  // namespace

int com__datepart(int part, const COM_DATETIME* dt, int firstday) {
  COM_DATEREC rec{};
  com__datecrack(dt, &rec);
  com__timecrack(dt, &rec);
  int iy = 0, iw = 0;
  switch (part) {
    case 0: return rec.dateyear;
    case 1: return rec.datemonth / 3 + 1;
    case 2: return rec.datemonth + 1;
    case 3: {
      int w = weekday_of(dt->dtdays) + 1 - firstday;
      return w < 1 ? w + 7 : w;
    }
    case 4: return rec.datedmonth;
    case 5: return rec.datedyear;
    case 6: return rec.datehour;
    case 7: return rec.dateminute;
    case 8: return rec.datesecond;
    case 9: return rec.datemsecond;
    case 10: {
      int j = weekday_of(dt->dtdays - (rec.datedyear - 1));
      return (rec.datedyear + j + 6) / 7;
    }
    case 11: iso_week(dt, &iy, &iw); return iy;
    case 12: iso_week(dt, &iy, &iw); return iw;
    case 13: {
      int w = weekday_of(dt->dtdays);
      return w == 0 ? 7 : w;
    }
    default: return -101;
  }
}

int com_datepart(int part, const COM_DATETIME* dt, int firstday) {
  return com__datepart(part, dt, firstday);
}

int com__datename(int part, const COM_DATETIME* dt, char* buf, const char* const* months,
                  const char* const* days) {
  if (part == 2) {
    if (!months) return 0;
    COM_DATEREC rec{};
    com__datecrack(dt, &rec);
    return copy_name(buf, months[rec.datemonth]);
  }
  if (part == 3 || part == 13) {
    if (!days) return 0;
    return copy_name(buf, days[weekday_of(dt->dtdays)]);
  }
  if (part < 0 || part > 12) return 0;
  char tmp[16];
  int n = std::snprintf(tmp, sizeof tmp, "%d", com__datepart(part, dt, 7));
  if (n > 4) {
    buf[0] = '*';
    return 1;
  }
  std::memcpy(buf, tmp, static_cast<size_t>(n));
  return n;
}

int com_datename(int part, const COM_DATETIME* dt, char* buf, const char* const* months,
                 const char* const* days) {
  return com__datename(part, dt, buf, months, days);
}

namespace {

// Elapsed time in whole units of `unit` ticks (`perday` a day), or 1 on a
// 32-bit overflow.
int diff_time(std::int64_t d, std::int64_t t, std::int64_t unit, std::int64_t perday,
              std::int32_t* result) {
  std::int64_t r;
  if (d == 0) r = t / unit;
  else if (d > 0) r = (t + COM_TICKS_PER_DAY) / unit + perday * (d - 1);
  else r = (t - COM_TICKS_PER_DAY) / unit + perday * (d + 1);
  if (r > INT32_MAX || r < INT32_MIN) return 1;
  *result = static_cast<std::int32_t>(r);
  return 0;
}

}  // namespace

int com__datediff(int part, const COM_DATETIME* d1, const COM_DATETIME* d2,
                  std::int32_t* result) {
  std::int64_t d = static_cast<std::int64_t>(d2->dtdays) - d1->dtdays;
  std::int64_t t = static_cast<std::int64_t>(d2->dttime & 0x1FFFFFF) - (d1->dttime & 0x1FFFFFF);
  COM_DATEREC r1{}, r2{};
  com__datecrack(d1, &r1);
  com__datecrack(d2, &r2);
  std::int64_t r = 0;
  switch (part) {
    case 0: r = r2.dateyear - r1.dateyear; break;
    case 1: r = (r2.datemonth / 3 - r1.datemonth / 3) + 4 * (r2.dateyear - r1.dateyear); break;
    case 2: r = r2.datemonth - r1.datemonth + 12 * (r2.dateyear - r1.dateyear); break;
    case 3: case 13: r = d / 7; break;
    case 4: case 5: r = d; break;
    case 10: case 12:
      r = d >= 0 ? (d + weekday_of(d1->dtdays)) / 7 : (d - weekday_of(d2->dtdays)) / 7;
      break;
    case 11: {
      int y1, w1, y2, w2;
      iso_week(d1, &y1, &w1);
      iso_week(d2, &y2, &w2);
      r = y2 - y1;
      break;
    }
    case 6: return diff_time(d, t, 1080000, 24, result);
    case 7: return diff_time(d, t, 18000, 1440, result);
    case 8: return diff_time(d, t, 300, 86400, result);
    case 9: r = d * 86400000 + t * 10 / 3; break;
    default: return 1;
  }
  if (r > INT32_MAX || r < INT32_MIN) return 1;
  *result = static_cast<std::int32_t>(r);
  return 0;
}

void comn::monthcheck(COM_DATEREC* rec) {
  const std::int16_t(*tab)[2] = leapyear(rec->dateyear - 1753) ? lmonthdays : monthdays;
  if (rec->datemonth >= 0 && rec->datemonth <= 11 && rec->datedmonth > tab[rec->datemonth][0])
    rec->datedmonth = tab[rec->datemonth][0];
}

int com__date_add(int part, std::int32_t amount, COM_DATETIME* dt) {
  if (part < 0 || part > 13) return -101;
  if (part == 0 || part == 11 || part == 1 || part == 2) {
    COM_DATEREC rec{};
    com__datecrack(dt, &rec);
    if (part == 0 || part == 11) {
      std::int64_t y = static_cast<std::int64_t>(rec.dateyear) + amount;
      if (y > INT32_MAX || y < INT32_MIN) return 1;
      rec.dateyear = static_cast<std::int32_t>(y);
    } else {
      std::int64_t m = static_cast<std::int64_t>(amount) * (part == 1 ? 3 : 1) + rec.datemonth;
      if (m > INT32_MAX || m < INT32_MIN) return 1;
      std::int64_t year = rec.dateyear;
      if (m >= 12 || m < 0) {
        year += m / 12;
        m %= 12;
        if (m < 0) {
          year -= 1;
          m += 12;
        }
      }
      if (year > INT32_MAX || year < INT32_MIN) return 1;
      rec.dateyear = static_cast<std::int32_t>(year);
      rec.datemonth = static_cast<std::int32_t>(m);
    }
    monthcheck(&rec);
    COM_DATETIME out = *dt;
    int rc = com__datemake(&out, &rec);
    if (rc != 0) return rc;
    dt->dtdays = out.dtdays;
    return 0;
  }
  std::int64_t days = dt->dtdays;
  switch (part) {
    case 3: case 4: case 5: case 13: days += amount; break;
    case 10: case 12: days += static_cast<std::int64_t>(7) * amount; break;
    default: {
      // hour, minute, second, millisecond: whole days carried separately
      static const std::int64_t per_day[4] = {24, 1440, 86400, 86400000};
      std::int64_t a = amount, pd = per_day[part - 6];
      std::int64_t carry = 0;
      if (a > pd || a < -pd) {
        carry = a / pd;
        a %= pd;
      }
      std::int64_t ticks;
      switch (part) {
        case 6: ticks = a * 1080000; break;
        case 7: ticks = a * 18000; break;
        case 8: ticks = a * 300; break;
        default: ticks = a >= 0 ? (a * 3 + 5) / 10 : (a * 3 - 5) / 10; break;
      }
      std::int64_t t = (dt->dttime & 0x1FFFFFF) + ticks;
      if (t >= COM_TICKS_PER_DAY) {
        t -= COM_TICKS_PER_DAY;
        carry += 1;
      } else if (t < 0) {
        t += COM_TICKS_PER_DAY;
        carry -= 1;
      }
      dt->dttime = static_cast<std::int32_t>(t);
      days += carry;
      break;
    }
  }
  if (days < COM_MINDAYS || days > COM_MAXDAYS) return 1;
  dt->dtdays = static_cast<std::int32_t>(days);
  return 0;
}

int com__dateadd_both(int part, std::int32_t amount, const COM_DATEDESC* src,
                      COM_DATEDESC* dst) {
  if (!src || src->type != 8 || !src->value || !dst || !dst->value) return 1;
  COM_DATETIME v;
  std::memcpy(&v, src->value, sizeof v);
  if (com__date_add(part, amount, &v) != 0) return 1;
  if (dst->size == 8) {
    std::memcpy(dst->value, &v, sizeof v);
    dst->type = 8;
    return 0;
  }
  if (dst->size == 4) {
    COM_DATETIME4 v4;
    if (com__dttodate4(&v, &v4) != 0) return 1;
    std::memcpy(dst->value, &v4, sizeof v4);
    dst->type = 4;
    return 0;
  }
  return 1;
}

int com__valid_datetime(const COM_DATEDESC* desc, const void* value) {
  COM_DATETIME v;
  if (desc && desc->type == 4) {
    COM_DATETIME4 v4;
    std::memcpy(&v4, value, sizeof v4);
    com__date4todt(&v4, &v);
  } else {
    std::memcpy(&v, value, sizeof v);
  }
  if (v.dtdays < COM_MINDAYS || v.dtdays > COM_MAXDAYS) return 0;
  if (com__date_add(0, 0, &v) != 0) return 0;
  if (com__date_add(7, 0, &v) != 0) return 0;
  return 1;
}
