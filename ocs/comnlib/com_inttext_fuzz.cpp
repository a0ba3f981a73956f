// Fuzz target: the integer-text reader.  The input is read as a tinyint, a
// smallint and an int through dbconvert and by the reader itself (also as a
// bit); every integer read must read back exactly from its text.
#include <cstdint>

#include "com_textfuzz.h"
#include "comnlib/com_charclass.h"
#include "comnlib/com_inttext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  textfuzz::start();
  std::string text = textfuzz::text_of(data, size);
  for (int type : {MERINT1, MERINT2, MERINT4, MERBIT})
    if (auto v = textfuzz::read(type, text)) textfuzz::round_trip(type, *v, true);
  const int length = static_cast<int>(text.size());
  const COM_CHARATTRIB* attr = com_get_charattrib();
  std::int32_t i4 = 0;
  com__chtoi4_mb(text.data(), length, &i4, attr);
  com__chtoi8_mb(text.data(), length, &i4, attr);
  std::int16_t i2 = 0;
  com__chtoi2_mb(text.data(), length, &i2, attr);
  std::uint8_t i1 = 0;
  com__chtoi1_mb(text.data(), length, &i1, attr);
  return 0;
}
