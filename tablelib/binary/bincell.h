// Cells of a binary table file: data type codes, element sizes, undefined
// values and the big-endian byte images of stored numbers.
//
// Files are addressed in chars of two bytes counted from 1.  Every number in a
// binary table file is big-endian on every host; these helpers are the only
// place where stored bytes become numbers and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tablelib/tbtypes.h"

namespace tbbin {

// Column data type codes (the core's); a string of at most N characters is -N.
inline constexpr int kBool = tbl::kTyBool;
inline constexpr int kChar = tbl::kTyChar;  // old character-array type, still read and written
inline constexpr int kShort = tbl::kTyShort;
inline constexpr int kInt = tbl::kTyInt;
inline constexpr int kReal = tbl::kTyReal;
inline constexpr int kDouble = tbl::kTyDouble;

// Undefined values in memory, and an undefined double as stored in a file
// (not the in-memory 1.6e308).
using tbl::kIndefD;
using tbl::kIndefI;
using tbl::kIndefR;
using tbl::kIndefS;
using tbl::kStoredIndefD;

// True for a string type (negative) or the old char type 2.
inline bool is_string(int type) { return type < 0 || type == kChar; }

// True for every type the typed routines can convert.
inline bool is_known(int type) {
  return is_string(type) || type == kBool || type == kShort || type == kInt ||
         type == kReal || type == kDouble;
}

// Chars per element of a number type; 0 for strings and unknown types.
inline int number_chars(int type) {
  switch (type) {
    case kShort: return 1;
    case kBool: case kInt: case kReal: return 2;
    case kDouble: return 4;
    default: return 0;
  }
}

// Storage chars of one string element: the column length for type 2,
// otherwise (N + 1) / 2 for type -N.
inline int string_chars(int type, int column_length) {
  if (type == kChar) return column_length;
  return (1 - type) / 2;
}

// Chars of one element of any known type (string: as string_chars).
inline int element_chars(int type, int column_length) {
  return is_string(type) ? string_chars(type, column_length) : number_chars(type);
}

// --- big-endian images -------------------------------------------------------

inline void put_u32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}
inline uint32_t get_u32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void put_i32(uint8_t* p, int32_t v) { put_u32(p, uint32_t(v)); }
inline int32_t get_i32(const uint8_t* p) { return int32_t(get_u32(p)); }
inline void put_i16(uint8_t* p, int16_t v) {
  uint16_t u = uint16_t(v);
  p[0] = uint8_t(u >> 8); p[1] = uint8_t(u);
}
inline int16_t get_i16(const uint8_t* p) { return int16_t(uint16_t((p[0] << 8) | p[1])); }
inline void put_f32(uint8_t* p, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  put_u32(p, u);
}
inline float get_f32(const uint8_t* p) {
  uint32_t u = get_u32(p);
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}
inline void put_f64(uint8_t* p, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  put_u32(p, uint32_t(u >> 32));
  put_u32(p + 4, uint32_t(u));
}
inline double get_f64(const uint8_t* p) {
  uint64_t u = (uint64_t(get_u32(p)) << 32) | get_u32(p + 4);
  double v;
  std::memcpy(&v, &u, 8);
  return v;
}

// Writes the stored null value of `type` over one element of `bytes` bytes.
void put_null(uint8_t* p, int type, std::size_t bytes);

}  // namespace tbbin
