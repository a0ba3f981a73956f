// Fuzz target: the money-text reader.  The input is read as money and as
// smallmoney through dbconvert and by the reader itself.  Money read must
// read back exactly from the text of all its four decimals, and write the
// same two-decimal text again after reading its two-decimal text; so must
// smallmoney.
#include <cstdint>

#include "com_textfuzz.h"
#include "comnlib/com_charclass.h"
#include "comnlib/com_money.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  textfuzz::start();
  std::string text = textfuzz::text_of(data, size);
  if (auto v = textfuzz::read(MERMONEY, text)) {
    textfuzz::round_trip(MERMONEY, *v, false);
    COM_MONEY m;
    std::memcpy(&m, v->data(), sizeof m);
    char area[40];
    char* p = com_precmnytochar(&m, area, sizeof area, 0, 4);
    FUZZ_CHECK(p != nullptr, "money " + textfuzz::hex(*v) + " has no four-decimal text");
    std::string exact(p, area + sizeof area);
    auto back = textfuzz::read(MERMONEY, exact);
    FUZZ_CHECK(back && *back == *v, "'" + exact + "' does not read back as " + textfuzz::hex(*v));
  }
  if (auto v = textfuzz::read(MERMONEY4, text)) textfuzz::round_trip(MERMONEY4, *v, false);
  COM_MONEY m{};
  com__mnyfromchar_mb(&m, text.data(), static_cast<int>(text.size()), 0, com_get_charattrib());
  COM_MONEY4 m4{};
  com__mny4fromchar_mb(&m4, text.data(), static_cast<int>(text.size()), 0, com_get_charattrib());
  return 0;
}
