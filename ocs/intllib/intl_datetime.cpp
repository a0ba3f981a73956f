// The "datetime" section of a language's common.loc: month and day names,
// first day of the week, date order and clock; see intllib/intl_loc.h.
#include <cstring>

#include "intllib/intl_loc.h"

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[7] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                              "Friday", "Saturday", "Sunday"};

// Copies a name, cut to its field (the field's last byte stays NUL).
void put(char* field, std::size_t size, const char* value) {
  std::size_t n = std::strlen(value);
  if (n >= size) n = size - 1;
  std::memcpy(field, value, n);
  field[n] = '\0';
}

// Reads `count` values into fields of `size` bytes; `missing` when short.
int read_names(INTL_LOCFILE* lf, char* fields, std::size_t size, int count, int missing) {
  for (int i = 0; i < count; ++i) {
    int st = 0;
    char* v = intl_nextvalue(lf, &st);
    if (st < 0) return st;
    if (!v) return missing;
    put(fields + static_cast<std::size_t>(i) * size, size, v);
  }
  return 1;
}

}  // namespace

void intl_datetime_defaults(INTL_DATETIME* dt) {
  std::memset(dt, 0, sizeof *dt);
  for (int i = 0; i < 12; ++i) put(dt->months[i], sizeof dt->months[i], kMonths[i]);
  for (int i = 0; i < 12; ++i) put(dt->shortmonths[i], sizeof dt->shortmonths[i], kShort[i]);
  for (int i = 0; i < 7; ++i) put(dt->days[i], sizeof dt->days[i], kDays[i]);
  dt->firstday = 7;
  std::memcpy(dt->dateformat, "mdy", 4);
  dt->twelvehour = 1;
}

int intl_datetime(INTL_LOCFILE* lf, INTL_DATETIME* dt) {
  if (!lf) return -13;
  if (!dt) return -22;
  intl_datetime_defaults(dt);
  bool have_dateformat = false;
  int st = 0;
  while (char* name = intl_nextentry(lf, &st)) {
    int r = 1;
    if (std::strcmp(name, "months") == 0) {
      r = read_names(lf, &dt->months[0][0], sizeof dt->months[0], 12, -39);
    } else if (std::strcmp(name, "shortmonths") == 0) {
      r = read_names(lf, &dt->shortmonths[0][0], sizeof dt->shortmonths[0], 12, -40);
    } else if (std::strcmp(name, "days") == 0) {
      r = read_names(lf, &dt->days[0][0], sizeof dt->days[0], 7, -41);
    } else if (std::strcmp(name, "firstday") == 0) {
      char* v = intl_nextvalue(lf, &st);
      if (st < 0) return st;
      if (!v) return -2;
      if (v[0] < '1' || v[0] > '7') return -4;
      dt->firstday = v[0] - '0';
    } else if (std::strcmp(name, "dateformat") == 0) {
      if (have_dateformat) return 1;  // a second one ends the section
      have_dateformat = true;
      char* v = intl_nextvalue(lf, &st);
      if (st < 0) return st;
      if (!v) return -2;
      if (std::strlen(v) < 3) return -5;
      int seen[3] = {0, 0, 0};
      for (int i = 0; i < 3; ++i) {
        int k = v[i] == 'd' ? 0 : v[i] == 'm' ? 1 : v[i] == 'y' ? 2 : -1;
        if (k < 0) return -5;
        if (seen[k]++) return -44;
      }
      std::memcpy(dt->dateformat, v, 3);
      dt->dateformat[3] = '\0';
    } else if (std::strcmp(name, "timeformat") == 0) {
      char* v = intl_nextvalue(lf, &st);
      if (st < 0) return st;
      if (!v) return -2;
      if (std::strcmp(v, "12") == 0) dt->twelvehour = 1;
      else if (std::strcmp(v, "24") == 0) dt->twelvehour = 0;
      else return -6;
    }
    if (r < 0) return r;
  }
  return st < 0 ? st : 1;
}
