// Fuzz target: the tool's date option and date texts.  The input is given
// as the option "date=<input>" to the option store and read back; a value
// that is an option is converted as the tool converts its cut-off date
// (get_dash_date), and a valid date, written as the database's date text
// (put_merrow_date), must read back (get_merrow_date) as the same second.
// The input is also read as the database's date text, as a day/month/year
// date and as a compact date.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_support.h"
#include "orvolib/dates.h"
#include "orvolib/options.h"
#include "orvolib/orvo_error.h"

namespace {

// Messages are dropped; a fatal error unwinds to the target instead of
// ending the process.
void on_message(int level, const char*) {
  if (level == ORVO_LEVEL_FATAL) throw std::runtime_error("fatal");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvo_errhandler = on_message;
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));  // an argument ends at a NUL
  get_merrow_date(text.c_str());
  get_slash_date(text.c_str());
  get_orvo_date(text.c_str());

  const std::string arg = "date=" + text;
  init_option();
  try {
    put_option(arg.c_str());
    def_option("date=,ext=fits");
    std::string value = get_option("date");
    FUZZ_CHECK(!is_option(arg.c_str()) || value == text,
               "option date=" + text + " reads back as " + value);
    double date = value.empty() ? -1.0 : get_dash_date(value.c_str());
    if (date >= 0.0) {
      char out[64];
      put_merrow_date(date, out, 63);
      double back = get_merrow_date(out);
      double second = std::round(date * 86400.0) / 86400.0;
      FUZZ_CHECK(std::fabs(back - second) < 0.5 / 86400.0,
                 "date " + value + " written as '" + out + "' reads back as " +
                     std::to_string(back) + ", not " + std::to_string(second));
      put_short_date(date, out, 63);
      FUZZ_CHECK(std::fabs(get_merrow_date(out) - std::floor(date)) < 0.5 / 86400.0,
                 "short date '" + std::string(out) + "' of " + value);
    }
  } catch (const std::runtime_error&) {
  }
  free_option();
  return 0;
}
