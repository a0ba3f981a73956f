// Unit tests of the string-field helpers (bintext.h): every field width up
// to a few machine words, with its first zero byte at every place (or none),
// against the plain byte-by-byte rules, including the bytes around the
// ranges that must stay untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bintext.h"

namespace {

using namespace tbbin;

constexpr std::size_t kMaxWidth = 70;
constexpr uint8_t kGuard = 0xEE;  // bytes outside the ranges given

// A field of `bytes` bytes of text ('a', 'b', ...), with a zero at `zero`
// (none when zero >= bytes) and more text after it, in a block of its own
// size (a read past it is caught by the address checker).
std::unique_ptr<uint8_t[]> field(std::size_t bytes, std::size_t zero) {
  std::unique_ptr<uint8_t[]> f(new uint8_t[bytes]);
  for (std::size_t i = 0; i < bytes; ++i) f[i] = uint8_t('a' + i % 26);
  if (zero < bytes) f[zero] = 0;
  return f;
}

TEST(FieldText, LengthIsTheBytesBeforeTheFirstZero) {
  for (std::size_t bytes = 0; bytes <= kMaxWidth; ++bytes)
    for (std::size_t zero = 0; zero <= bytes; ++zero)
      EXPECT_EQ(field_text_length(field(bytes, zero).get(), bytes), zero) << bytes << " " << zero;
}

TEST(FieldText, TakenOutAtMostMostCharactersThenANul) {
  const std::size_t mosts[] = {0, 1, 7, 8, 15, 16, 17, 33, 69};
  for (std::size_t bytes = 0; bytes <= kMaxWidth; ++bytes)
    for (std::size_t zero = 0; zero <= bytes; ++zero)
      for (std::size_t most : mosts) {
        const auto f = field(bytes, zero);
        std::vector<char> out(most + 3, char(kGuard));  // a guard byte each side
        EXPECT_EQ(field_to_text(out.data() + 1, f.get(), bytes, most), zero);
        const std::size_t n = std::min(zero, most);
        std::vector<char> want(most + 3, char(kGuard));
        std::memcpy(want.data() + 1, f.get(), n);
        want[n + 1] = '\0';
        EXPECT_EQ(std::string(out.begin(), out.end()), std::string(want.begin(), want.end()))
            << bytes << " " << zero << " " << most;
      }
}

TEST(FieldText, PutCutToTheFieldOrZeroFilled) {
  const std::size_t mosts[] = {0, 3, 16, 40, 1023};
  for (std::size_t bytes = 0; bytes <= kMaxWidth; ++bytes)
    for (std::size_t len = 0; len <= kMaxWidth + 2; ++len)
      for (std::size_t most : mosts) {
        const std::string text(len, 'q');
        std::vector<uint8_t> out(bytes + 2, kGuard);
        text_to_field(out.data() + 1, bytes, text.c_str(), most);
        const std::size_t n = std::min({len, most, bytes});
        std::vector<uint8_t> want(bytes + 2, kGuard);
        std::memset(want.data() + 1, 0, bytes);
        std::memset(want.data() + 1, 'q', n);
        EXPECT_EQ(out, want) << bytes << " " << len << " " << most;
      }
}

}  // namespace
