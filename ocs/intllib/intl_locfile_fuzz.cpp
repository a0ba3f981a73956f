// Fuzz target: localisation files.  The input is the file, read through
// the localisation-file reader: every section, entry and value (and the
// raw lines of a section when the input's first byte is odd); a "datetime"
// section goes to the date-time section reader.  When the month names it
// gives can be told apart, dates written with them must read back as the
// same dates through the date-text reader.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "comnlib/com_charclass.h"
#include "comnlib/com_datetext.h"
#include "fuzz/fuzz_support.h"
#include "intllib/intl_loc.h"

namespace {

std::string lower(const char* s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Month names the date-text reader can tell apart when they are written
// out: letters only, 3 to 9 of them (longer names are cut when written),
// and no name the beginning of another month's name (a short name may
// begin its own month's).
bool distinct_months(const INTL_DATETIME& dt) {
  std::vector<std::pair<std::string, int>> names;
  for (int m = 0; m < 12; ++m) {
    names.push_back({lower(dt.months[m]), m});
    names.push_back({lower(dt.shortmonths[m]), m});
  }
  for (const auto& [n, m] : names) {
    if (n.size() < 3 || n.size() > 9) return false;
    for (char c : n)
      if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  }
  for (const auto& [a, ma] : names)
    for (const auto& [b, mb] : names)
      if (ma != mb && b.compare(0, a.size(), a) == 0) return false;
  return true;
}

// Dates written with the section's month names (styles with a month name)
// read back the same.
void check_dates(const INTL_DATETIME& dt) {
  const char* months[12];
  const char* shortmonths[12];
  for (int m = 0; m < 12; ++m) {
    months[m] = dt.months[m];
    shortmonths[m] = dt.shortmonths[m];
  }
  const COM_DATETIME dates[] = {{0, 0}, {36524, 300 * 3600 * 13 + 45}, {-53690, 25919999},
                                {2958463, 0}, {40000, 300 * 59}};
  for (const COM_DATETIME& d : dates)
    for (int style : {109, 106, 107}) {
      char text[64];
      int n = com__datetochar(&d, text, sizeof text, style, months);
      FUZZ_CHECK(n > 0, "style " + std::to_string(style) + " wrote nothing");
      COM_DATETIME back{};
      int r = com__datefromchar_mb(&back, text, n, 0, 1, months, shortmonths, com_get_charattrib());
      std::string shown(text, static_cast<std::size_t>(n));
      FUZZ_CHECK(r == 0, "'" + shown + "' does not read back: " + std::to_string(r));
      // Styles 106 and 107 hold no time of day.
      FUZZ_CHECK(back.dtdays == d.dtdays && (style != 109 || back.dttime == d.dttime),
                 "'" + shown + "' reads back as day " + std::to_string(back.dtdays) + " time " +
                     std::to_string(back.dttime));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::scratch_path("common.loc");
  FUZZ_CHECK(fuzz::write_file(path, data, size), "cannot write " + path);
  bool raw_lines = size > 0 && (data[0] & 1);
  INTL_LOCFILE lf;
  if (intl_open(path.c_str(), &lf) < 0) return 0;
  int st = 0;
  int sections = 0;
  while (char* sect = intl_nextsection(&lf, &st)) {
    FUZZ_CHECK(std::memchr(lf.section, '\0', sizeof lf.section), "section name unterminated");
    if (++sections > 1000) break;
    if (std::strcmp(sect, "datetime") == 0) {
      INTL_DATETIME dt;
      intl_datetime_defaults(&dt);
      int r = intl_datetime(&lf, &dt);
      for (int m = 0; m < 12; ++m)
        FUZZ_CHECK(std::memchr(dt.months[m], '\0', sizeof dt.months[m]) &&
                       std::memchr(dt.shortmonths[m], '\0', sizeof dt.shortmonths[m]),
                   "month name unterminated");
      for (int d = 0; d < 7; ++d)
        FUZZ_CHECK(std::memchr(dt.days[d], '\0', sizeof dt.days[d]), "day name unterminated");
      fuzz::trace("datetime section: " + std::to_string(r) + (r >= 0 && distinct_months(dt) ? ", dates checked" : ""));
      if (r >= 0 && distinct_months(dt)) check_dates(dt);
      if (r < 0) break;
      continue;
    }
    if (raw_lines) {
      while (char* line = intl_nextline(&lf, &st))
        FUZZ_CHECK(std::strlen(line) < sizeof lf.line, "line overruns its buffer");
    } else {
      while (char* name = intl_nextentry(&lf, &st)) {
        FUZZ_CHECK(std::strlen(name) < sizeof lf.entry, "entry name overruns its buffer");
        while (char* v = intl_nextvalue(&lf, &st))
          FUZZ_CHECK(std::strlen(v) < sizeof lf.value, "value overruns its buffer");
        if (st < 0) break;
      }
    }
    if (st < 0) break;
  }
  fuzz::trace(std::to_string(sections) + " sections, status " + std::to_string(st));
  intl_close(&lf);
  return 0;
}
