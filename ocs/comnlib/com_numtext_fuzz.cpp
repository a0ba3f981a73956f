// Fuzz target: the exact-numeric text reader.  The first two bytes of the
// input give a precision (1 to 77) and a scale (0 to the precision); the
// rest is read as numeric and decimal through dbconvert with them, and by
// the reader itself (rounding and not).  A value read must read back
// exactly from the text it is written as.
#include <cstdint>

#include "com_textfuzz.h"
#include "comnlib/com_num.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  textfuzz::start();
  DBTYPEINFO info{1 + data[0] % 77, 0};
  info.scale = data[1] % (info.precision + 1);
  std::string text = textfuzz::text_of(data + 2, size - 2);
  for (int type : {MERNUMERIC, MERDECIMAL})
    if (auto v = textfuzz::read(type, text, &info)) textfuzz::round_trip(type, *v, true, &info);
  if (auto v = textfuzz::read(MERNUMERIC, text)) textfuzz::round_trip(MERNUMERIC, *v, true);
  std::uint8_t value[COM_NUME_MAXLEN + 1];
  int length = comn_num_getlen(info.precision);
  for (int round = 0; round <= 1; ++round)
    com__subchartoexctnume(text.data(), static_cast<int>(text.size()), value, length,
                           info.precision, info.scale, round);
  return 0;
}
