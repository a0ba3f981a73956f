// The check of a journal header or record, written again from the journal
// layout's description (journal.h, journal.cpp) for the tests and the fuzz
// target, so that they judge the journal's bytes independently of the code
// that writes them: a 64-bit hash of the n bytes, seeded with the nonce and
// n; whole 8-byte little-endian words go into four lanes in turn, the lanes
// are joined, the remaining bytes go in one at a time, and the result is
// mixed.
#pragma once

#include <cstdint>
#include <string>

namespace vos_test {

inline std::uint64_t documented_check(std::uint64_t nonce, const std::string& rec) {
  const std::size_t n = rec.size();
  auto mix = [](std::uint64_t& h, std::uint64_t w) {
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  };
  std::uint64_t lane[4];
  for (unsigned j = 0; j < 4; ++j) lane[j] = nonce ^ 0x9E3779B97F4A7C15ULL ^ n ^ j;
  const std::size_t words = n / 8;
  for (std::size_t k = 0; k < words; ++k) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | static_cast<unsigned char>(rec[8 * k + static_cast<std::size_t>(b)]);
    mix(lane[k % 4], w);
  }
  std::uint64_t h = lane[0];
  for (unsigned j = 1; j < 4; ++j) mix(h, lane[j]);
  for (std::size_t i = 8 * words; i < n; ++i) h = (h ^ static_cast<unsigned char>(rec[i])) * 0x100000001B3ULL;
  h ^= h >> 29;
  h *= 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 32;
  return h;
}

}  // namespace vos_test
