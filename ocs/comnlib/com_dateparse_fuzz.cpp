// Fuzz target: the date-text reader.  The input is read as a datetime and
// a smalldatetime through dbconvert, and by the reader itself under each
// date order (mdy, dmy, ymd, ydm, myd, dym), as a date and as a time of
// day.  A datetime read must read back exactly from the text it is written
// as, and a smalldatetime from its text.
#include <cstdint>

#include "com_textfuzz.h"
#include "comnlib/com_charclass.h"
#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  textfuzz::start();
  std::string text = textfuzz::text_of(data, size);
  if (auto v = textfuzz::read(MERDATETIME, text)) textfuzz::round_trip(MERDATETIME, *v, true);
  if (auto v = textfuzz::read(MERDATETIME4, text)) textfuzz::round_trip(MERDATETIME4, *v, true);
  const int length = static_cast<int>(text.size());
  for (int order = 1; order <= 6; ++order) {
    COM_DATETIME dt{};
    com__datefromchar_mb(&dt, text.data(), length, 0, order, com__get_months(),
                         com__get_shortmonths(), com_get_charattrib());
    COM_DATETIME4 dt4{};
    com__date4fromchar_mb(&dt4, text.data(), length, 0, order, com__get_months(),
                          com__get_shortmonths(), com_get_charattrib());
  }
  COM_DATETIME t{};
  com__timefromchar_mb(&t, text.data(), length, 0, com_get_charattrib());
  return 0;
}
