// Datetime and smalldatetime values: cracking, making, comparison, conversion
// between the two, date parts, names, arithmetic, and the built-in English
// names.
#pragma once

#include "comnlib/com_types.h"

inline constexpr std::int32_t COM_MINDAYS = -53690;   // 1 January 1753
inline constexpr std::int32_t COM_MAXDAYS = 2958463;  // 31 December 9999
inline constexpr std::int32_t COM_TICKS_PER_DAY = 25920000;

namespace comn {
extern const std::int16_t monthdays[12][2];
extern const std::int16_t lmonthdays[12][2];
extern const int week_one_offset[7];
}  // namespace comn
extern const char* const Com__ampm[2];
extern const char* const Com__Months[12];
extern const char* const Com__Shortmonths[12];
extern const char* const Com__WeekDay[7];
extern const char* const Com__Days[7];

namespace comn {
int leapyear(int n);
}  // namespace comn
int com__leapcnt(int n);

// The clock fields of a datetime's ticks (300 a second, in the low 25 bits
// of the word; below a day's in a valid value), cut by remainders.
struct ComClock {
  unsigned hour, minute, second, msec;
};
inline ComClock com__clock(const COM_DATETIME* dt) {
  unsigned t = static_cast<unsigned>(dt->dttime & 0x1FFFFFF);
  ComClock c;
  c.hour = t / 1080000;
  t -= c.hour * 1080000;
  c.minute = t / 18000;
  t -= c.minute * 18000;
  c.second = t / 300;
  t -= c.second * 300;
  c.msec = t * 10 / 3;
  return c;
}

void com__datecrack(const COM_DATETIME* dt, COM_DATEREC* rec);
void com__timecrack(const COM_DATETIME* dt, COM_DATEREC* rec);
int com__datemake(COM_DATETIME* dt, const COM_DATEREC* rec);
int com__timemake(COM_DATETIME* dt, const COM_DATEREC* rec);
void com_datecrack(const COM_DATETIME* dt, COM_DATEREC* rec);
void com_timecrack(const COM_DATETIME* dt, COM_DATEREC* rec);

// True when the value lies in the valid range (days -53690..2958463, ticks
// 0..25919999 in the low 25 bits of the word): only such values are cracked.
bool com__datetime_valid(const COM_DATETIME* dt);

int com__datecmp(const COM_DATETIME* a, const COM_DATETIME* b);
int com_datecmp(const COM_DATETIME* a, const COM_DATETIME* b);
int com_date4cmp(const COM_DATETIME4* a, const COM_DATETIME4* b);
void com_datezero(COM_DATETIME* dt);
void com_date4zero(COM_DATETIME4* dt);
void com_setdatetime(COM_DATETIME* dt, std::int32_t days, std::int32_t ticks);

int com__dttodate4(const COM_DATETIME* dt, COM_DATETIME4* dt4);
int com__date4todt(const COM_DATETIME4* dt4, COM_DATETIME* dt);

int com__datepart(int part, const COM_DATETIME* dt, int firstday);
int com_datepart(int part, const COM_DATETIME* dt, int firstday);
int com__datename(int part, const COM_DATETIME* dt, char* buf, const char* const* months,
                  const char* const* days);
int com_datename(int part, const COM_DATETIME* dt, char* buf, const char* const* months,
                 const char* const* days);
int com__datediff(int part, const COM_DATETIME* d1, const COM_DATETIME* d2,
                  std::int32_t* result);
int com__date_add(int part, std::int32_t amount, COM_DATETIME* dt);
namespace comn {
void monthcheck(COM_DATEREC* rec);
}  // namespace comn

// Descriptor of a date value handed in by an outside caller: only `type`
// (8 datetime, 4 smalldatetime), `size` and `value` are read.
struct COM_DATEDESC {
  std::int32_t type;
  std::int32_t reserved1;
  std::int32_t size;
  std::int32_t reserved[4];
  void* value;
};
int com__dateadd_both(int part, std::int32_t amount, const COM_DATEDESC* src,
                      COM_DATEDESC* dst);
int com__valid_datetime(const COM_DATEDESC* desc, const void* value);

const char* const* com__get_ampm();
const char* const* com__get_weekdays();
const char* const* com__get_months();
const char* const* com__get_shortmonths();
const char* const* com__get_days();
int com__get_firstday();
const char* com__get_date_order();
int com__get_date_order_id();
