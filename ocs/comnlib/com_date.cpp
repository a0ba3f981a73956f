// Datetime arithmetic: leap years, cracking a value into calendar fields,
// making one from them, comparison and conversion to smalldatetime.
#include "comnlib/com_date.h"

const std::int16_t comn::monthdays[12][2] = {{31, 0},   {28, 31},  {31, 59},  {30, 90},
                                             {31, 120}, {30, 151}, {31, 181}, {31, 212},
                                             {30, 243}, {31, 273}, {30, 304}, {31, 334}};
const std::int16_t comn::lmonthdays[12][2] = {{31, 0},   {29, 31},  {31, 60},  {30, 91},
                                              {31, 121}, {30, 152}, {31, 182}, {31, 213},
                                              {30, 244}, {31, 274}, {30, 305}, {31, 335}};
const int comn::week_one_offset[7] = {1, 0, -1, -2, -3, 3, 2};
const char* const Com__ampm[2] = {"AM", "PM"};
const char* const Com__Months[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};
const char* const Com__Shortmonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const Com__WeekDay[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const Com__Days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

namespace {
constexpr std::int32_t kTickMask = 0x1FFFFFF;
}

int comn::leapyear(int n) {
  int y = 1753 + n;
  return (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 1 : 0;
}

int com__leapcnt(int n) {
  if (n < 0) return 0;
  int c = (n + 52) / 100;
  return n / 4 - c + (c + 1) / 4;
}

bool com__datetime_valid(const COM_DATETIME* dt) {
  return dt->dtdays >= COM_MINDAYS && dt->dtdays <= COM_MAXDAYS &&
         (dt->dttime & kTickMask) < COM_TICKS_PER_DAY;
}

void com__datecrack(const COM_DATETIME* dt, COM_DATEREC* rec) {
  int d = dt->dtdays + 53690;
  int y = d / 365;
  int start = 365 * y + com__leapcnt(y);  // the first day of year y
  while (d < start) {
    --y;
    start = 365 * y + com__leapcnt(y);
  }
  int r = d - start;
  rec->dateyear = 1753 + y;
  rec->datedyear = r + 1;
  rec->datedweek = (dt->dtdays + 53691) % 7;
  const std::int16_t(*tab)[2] = leapyear(y) ? lmonthdays : monthdays;
  // No month starts after day 31 * m of the year, so r / 32 is the month
  // or one before it.
  int m = r >> 5;
  while (m < 11 && r >= tab[m + 1][1]) ++m;
  rec->datemonth = m;
  rec->datedmonth = r - tab[m][1] + 1;
}

void com__timecrack(const COM_DATETIME* dt, COM_DATEREC* rec) {
  const ComClock c = com__clock(dt);
  rec->datehour = static_cast<int>(c.hour);
  rec->dateminute = static_cast<int>(c.minute);
  rec->datesecond = static_cast<int>(c.second);
  rec->datemsecond = static_cast<int>(c.msec);
}

void com_datecrack(const COM_DATETIME* dt, COM_DATEREC* rec) { com__datecrack(dt, rec); }
void com_timecrack(const COM_DATETIME* dt, COM_DATEREC* rec) { com__timecrack(dt, rec); }

int com__datemake(COM_DATETIME* dt, const COM_DATEREC* rec) {
  dt->dtdays = 0;
  if (rec->dateyear < 1753 || rec->dateyear > 9999) return 1;
  int n = rec->dateyear - 1753;
  int days = 365 * n + com__leapcnt(n);
  if (rec->datemonth < 0 || rec->datemonth > 11) return 2;
  const std::int16_t(*tab)[2] = leapyear(n) ? lmonthdays : monthdays;
  days += tab[rec->datemonth][1];
  dt->dtdays = days;
  if (rec->datedmonth < 1 || rec->datedmonth > tab[rec->datemonth][0]) return 3;
  dt->dtdays = days + rec->datedmonth - 53691;
  return 0;
}

int com__timemake(COM_DATETIME* dt, const COM_DATEREC* rec) {
  dt->dttime = 0;
  if (rec->datehour > 23) return 4;
  std::int32_t t = rec->datehour * 1080000;
  if (rec->dateminute > 59) return 5;
  t += rec->dateminute * 18000;
  if (rec->datesecond > 59) return 6;
  t += rec->datesecond * 300;
  if (rec->datemsecond > 999) return 7;
  int ms = rec->datemsecond;
  int ticks = (ms == 999) ? 299 : (ms >= 0 ? (ms * 3 + 5) / 10 : (ms * 3 - 5) / 10);
  dt->dttime = t + ticks;
  return 0;
}

int com__datecmp(const COM_DATETIME* a, const COM_DATETIME* b) {
  if (a->dtdays != b->dtdays) return a->dtdays - b->dtdays;
  return a->dttime - b->dttime;
}

int com_datecmp(const COM_DATETIME* a, const COM_DATETIME* b) {
  if (a->dtdays != b->dtdays) return a->dtdays < b->dtdays ? -1 : 1;
  if (a->dttime != b->dttime) return a->dttime < b->dttime ? -1 : 1;
  return 0;
}

int com_date4cmp(const COM_DATETIME4* a, const COM_DATETIME4* b) {
  if (a->dtdays != b->dtdays) return a->dtdays < b->dtdays ? -1 : 1;
  if (a->dttime != b->dttime) return a->dttime < b->dttime ? -1 : 1;
  return 0;
}

void com_datezero(COM_DATETIME* dt) { dt->dtdays = dt->dttime = 0; }
void com_date4zero(COM_DATETIME4* dt) { dt->dtdays = dt->dttime = 0; }
void com_setdatetime(COM_DATETIME* dt, std::int32_t days, std::int32_t ticks) {
  dt->dtdays = days;
  dt->dttime = ticks;
}

int com__dttodate4(const COM_DATETIME* dt, COM_DATETIME4* dt4) {
  if (dt->dtdays < 0 || dt->dtdays > 65535) return 1;
  std::int32_t days = dt->dtdays;
  dt4->dtdays = static_cast<std::uint16_t>(days);
  std::int32_t minutes = ((dt->dttime & kTickMask) + 9000) / 18000;
  if (minutes >= 1440) {
    if (days == 65535) return 1;
    dt4->dtdays = static_cast<std::uint16_t>(days + 1);
    minutes -= 1440;
  }
  dt4->dttime = static_cast<std::uint16_t>(minutes);
  return 0;
}

int com__date4todt(const COM_DATETIME4* dt4, COM_DATETIME* dt) {
  dt->dtdays = dt4->dtdays;
  dt->dttime = static_cast<std::int32_t>(dt4->dttime) * 18000;
  return 0;
}

const char* const* com__get_ampm() { return Com__ampm; }
const char* const* com__get_weekdays() { return Com__WeekDay; }
const char* const* com__get_months() { return Com__Months; }
const char* const* com__get_shortmonths() { return Com__Shortmonths; }
const char* const* com__get_days() { return Com__Days; }
int com__get_firstday() { return 7; }
const char* com__get_date_order() { return "mdy"; }
int com__get_date_order_id() { return 1; }
