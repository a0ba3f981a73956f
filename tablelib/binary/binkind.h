// The caller-side types of the typed routines (bool, double, float, int,
// short, text) as one template parameter: each knows its routine letter and
// how to convert a stored cell into it and itself into a stored cell.
#pragma once

#include <cstdint>
#include <string>

#include "tablelib/tbtypes.h"
#include "binconv.h"

namespace tbbin {

template <class T>
struct Kind;

template <>
struct Kind<bool> {
  static constexpr char kLetter = 'b';
  static bool get(const Cell& c, Fam f, const tbl::Column*, int, bool* flag) {
    return read_b(c, f, flag) != 0;
  }
  static void put(bool v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_b(v ? 1 : 0, type, f, p, bytes);
  }
};

template <>
struct Kind<double> {
  static constexpr char kLetter = 'd';
  static double get(const Cell& c, Fam f, const tbl::Column*, int, bool* flag) {
    return read_d(c, f, flag);
  }
  static void put(double v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_d(v, type, f, p, bytes);
  }
};

template <>
struct Kind<float> {
  static constexpr char kLetter = 'r';
  static float get(const Cell& c, Fam f, const tbl::Column*, int, bool* flag) {
    return read_r(c, f, flag);
  }
  static void put(float v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_r(v, type, f, p, bytes);
  }
};

template <>
struct Kind<int> {
  static constexpr char kLetter = 'i';
  static int get(const Cell& c, Fam f, const tbl::Column*, int, bool* flag) {
    return read_i(c, f, flag);
  }
  static void put(int v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_i(v, type, f, p, bytes);
  }
};

template <>
struct Kind<short> {
  static constexpr char kLetter = 's';
  static short get(const Cell& c, Fam f, const tbl::Column*, int, bool* flag) {
    return read_s(c, f, flag);
  }
  static void put(short v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_s(v, type, f, p, bytes);
  }
};

template <>
struct Kind<std::string> {
  static constexpr char kLetter = 't';
  static std::string get(const Cell& c, Fam f, const tbl::Column* cp, int maxch, bool* flag) {
    return read_t(c, f, cp->format, maxch, flag);
  }
  static void put(const std::string& v, int maxpack, int type, Fam f, uint8_t* p,
                  std::size_t bytes) {
    write_t(v.c_str(), maxpack, type, f, p, bytes);
  }
};

// "<stem><letter>" — the generic routine's name in messages (e.g. "tbcgtd").
template <class T>
std::string routine(const char* stem) {
  return std::string(stem) + Kind<T>::kLetter;
}

}  // namespace tbbin
