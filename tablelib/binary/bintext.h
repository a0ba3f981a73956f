// Moving the text of string fields between a table's bytes and callers'
// buffers, cell by cell, without a library call per cell: the lengths of
// the fields and texts are short and vary, so the bytes are found and moved
// a machine word or two at a time, inline.  Nothing here reads or writes a
// byte outside the ranges it is given.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tbbin {

// The length of the text in a field of `bytes` bytes at `p`: the bytes
// before the first zero byte, or `bytes` when there is none.
inline std::size_t field_text_length(const uint8_t* p, std::size_t bytes) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time; the last block of a field that is not a
  // multiple of sixteen overlaps the one before and only its new bytes count.
  if (bytes >= 16) {
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
      if (m != 0) return i + std::size_t(std::countr_zero(m));
    }
    if (i == bytes) return bytes;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + bytes - 16));
    const unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))) >> (i + 16 - bytes);
    return m != 0 ? i + std::size_t(std::countr_zero(m)) : bytes;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    // A zero byte sets the high bit of its byte in `z`; bits above the
    // first zero may be set as well, never bits below it.
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    for (; i + 8 <= bytes; i += 8) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      const uint64_t z = (v - kOnes) & ~v & kHighs;
      if (z != 0) return i + std::size_t(std::countr_zero(z) / 8);
    }
  }
  for (; i < bytes; ++i)
    if (p[i] == 0) return i;
  return bytes;
}

// Copies `n` bytes from `from` to `to` (the ranges do not overlap).
inline void copy_short(uint8_t* to, const uint8_t* from, std::size_t n) {
  if (n >= 16) {
    // Whole blocks of 16, then the last 16 bytes (overlapping the blocks).
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) std::memcpy(to + i, from + i, 16);
    if (i < n) std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// Sets `n` bytes at `p` to zero.
inline void zero_short(uint8_t* p, std::size_t n) {
  static constexpr uint8_t kZeros[16] = {};
  if (n >= 16) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) std::memcpy(p + i, kZeros, 16);
    if (i < n) std::memcpy(p + n - 16, kZeros, 16);
  } else if (n >= 8) {
    std::memcpy(p, kZeros, 8);
    std::memcpy(p + n - 8, kZeros, 8);
  } else if (n >= 4) {
    std::memcpy(p, kZeros, 4);
    std::memcpy(p + n - 4, kZeros, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) p[i] = 0;
  }
}

// A caller's text of at most `most` characters (up to its zero) into a
// string field of `bytes` bytes: cut at the field's width, else followed
// by zeros to the field's end.
inline void text_to_field(uint8_t* p, std::size_t bytes, const char* text, std::size_t most) {
  const std::size_t n = strnlen(text, most < bytes ? most : bytes);
  copy_short(p, reinterpret_cast<const uint8_t*>(text), n);
  zero_short(p + n, bytes - n);
}

// A field's text into a caller's buffer of `most` + 1 bytes: at most
// `most` characters, then a zero byte; the bytes after it are left as they
// are.  Returns the length of the field's text (before the cut).
inline std::size_t field_to_text(char* out, const uint8_t* p, std::size_t bytes, std::size_t most) {
  const std::size_t len = field_text_length(p, bytes);
  const std::size_t n = len < most ? len : most;
  copy_short(reinterpret_cast<uint8_t*>(out), p, n);
  out[n] = '\0';
  return len;
}

}  // namespace tbbin
