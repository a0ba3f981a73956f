// The money text writer used by the money-to-text conversions.
#include <cstdint>

#include "comnlib/com_cvt.h"

char* com__mnytochar(const COM_MONEY* m, char* area, int size, int flags) {
  std::int64_t v = (static_cast<std::int64_t>(m->mnyhigh) << 32) | m->mnylow;
  bool neg = v < 0;
  std::uint64_t mag = neg ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
  int decimals = (flags >> 8) & 0xFF;
  if (decimals == 0) decimals = 2;
  if (decimals > 4) decimals = 4;
  bool seps = (flags & 0xFF) == 1;
  std::uint64_t rem = 0;
  for (int i = decimals; i < 4; ++i) {
    rem = mag % 10;
    mag /= 10;
  }
  if (decimals < 4 && rem >= 5) mag += 1;
  char* p = area + size;
  auto put = [&](char c) -> bool {
    if (p == area) return false;
    *--p = c;
    return true;
  };
  for (int i = 0; i < decimals; ++i) {
    if (!put(static_cast<char>('0' + mag % 10))) return nullptr;
    mag /= 10;
  }
  if (!put('.')) return nullptr;
  int digits = 0;
  do {
    if (seps && digits > 0 && digits % 3 == 0 && !put(',')) return nullptr;
    if (!put(static_cast<char>('0' + mag % 10))) return nullptr;
    mag /= 10;
    ++digits;
  } while (mag > 0);
  if (neg && !put('-')) return nullptr;
  return p;
}

char* com__mny4tochar(const COM_MONEY4* m4, char* area, int size, int flags) {
  std::int64_t w = m4->mny4;
  COM_MONEY m{static_cast<std::int32_t>(w >> 32), static_cast<std::uint32_t>(w & 0xFFFFFFFF)};
  return com__mnytochar(&m, area, size, flags);
}
