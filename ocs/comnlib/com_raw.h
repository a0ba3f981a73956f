// Unaligned reads and writes of fixed-size values in program memory, shared
// by the conversion routines and kernels.
#pragma once

#include <cstring>

namespace comraw {

// The value of type V stored at p.
template <typename V>
V load(const void* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Stores v at p; returns its size in bytes.
template <typename V>
int store(void* p, V v) {
  std::memcpy(p, &v, sizeof v);
  return static_cast<int>(sizeof v);
}

}  // namespace comraw
