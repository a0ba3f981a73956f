// Big-endian encoding of the values held in binary table files.  Every
// integer and floating-point value in a binary table file is big-endian on
// every host.
#pragma once

#include <bit>
#include <cstdint>

namespace tbl {

inline std::uint32_t get_u32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
         (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}
inline void put_u32(std::uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}
inline std::int32_t get_i32(const unsigned char* p) {
  return static_cast<std::int32_t>(get_u32(p));
}
inline void put_i32(std::int32_t v, unsigned char* p) { put_u32(static_cast<std::uint32_t>(v), p); }

inline std::int16_t get_i16(const unsigned char* p) {
  return static_cast<std::int16_t>((std::uint16_t{p[0]} << 8) | std::uint16_t{p[1]});
}
inline void put_i16(std::int16_t v, unsigned char* p) {
  auto u = static_cast<std::uint16_t>(v);
  p[0] = static_cast<unsigned char>(u >> 8);
  p[1] = static_cast<unsigned char>(u);
}

inline float get_f32(const unsigned char* p) { return std::bit_cast<float>(get_u32(p)); }
inline void put_f32(float v, unsigned char* p) { put_u32(std::bit_cast<std::uint32_t>(v), p); }

inline double get_f64(const unsigned char* p) {
  std::uint64_t hi = get_u32(p), lo = get_u32(p + 4);
  return std::bit_cast<double>((hi << 32) | lo);
}
inline void put_f64(double v, unsigned char* p) {
  auto u = std::bit_cast<std::uint64_t>(v);
  put_u32(static_cast<std::uint32_t>(u >> 32), p);
  put_u32(static_cast<std::uint32_t>(u), p + 4);
}

}  // namespace tbl
