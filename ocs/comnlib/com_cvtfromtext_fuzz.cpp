// Fuzz target: the float-text reader.  The input is read as a float and as
// a real through dbconvert; a value read must read back to the same bits
// from the text it is written as.
#include <cstdint>

#include "com_textfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  textfuzz::start();
  std::string text = textfuzz::text_of(data, size);
  for (int type : {MERFLT8, MERREAL})
    if (auto v = textfuzz::read(type, text)) textfuzz::round_trip(type, *v, true);
  return 0;
}
