// The caller-side types of the typed routines (bool, double, float, int,
// short, text) as one template parameter: each knows its routine letter and
// how to convert a stored cell into it and itself into a stored cell.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "tablelib/tables.h"
#include "tablelib/tbtypes.h"
#include "binconv.h"
#include "bintext.h"

namespace tbbin {

template <class T>
struct Kind;

template <>
struct Kind<bool> {
  static constexpr char kLetter = 'b';
  static void get(const Cell& c, Fam f, const tbl::Column*, int, bool& out, bool* flag) {
    out = read_b(c, f, flag) != 0;
  }
  static void put(bool v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_b(v ? 1 : 0, type, f, p, bytes);
  }
};

template <>
struct Kind<double> {
  static constexpr char kLetter = 'd';
  static void get(const Cell& c, Fam f, const tbl::Column*, int, double& out, bool* flag) {
    out = read_d(c, f, flag);
  }
  static void put(double v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_d(v, type, f, p, bytes);
  }
};

template <>
struct Kind<float> {
  static constexpr char kLetter = 'r';
  static void get(const Cell& c, Fam f, const tbl::Column*, int, float& out, bool* flag) {
    out = read_r(c, f, flag);
  }
  static void put(float v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_r(v, type, f, p, bytes);
  }
};

template <>
struct Kind<int> {
  static constexpr char kLetter = 'i';
  static void get(const Cell& c, Fam f, const tbl::Column*, int, int& out, bool* flag) {
    out = read_i(c, f, flag);
  }
  static void put(int v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_i(v, type, f, p, bytes);
  }
};

template <>
struct Kind<short> {
  static constexpr char kLetter = 's';
  static void get(const Cell& c, Fam f, const tbl::Column*, int, short& out, bool* flag) {
    out = read_s(c, f, flag);
  }
  static void put(short v, int, int type, Fam f, uint8_t* p, std::size_t bytes) {
    write_s(v, type, f, p, bytes);
  }
};

template <>
struct Kind<std::string> {
  static constexpr char kLetter = 't';
  static void get(const Cell& c, Fam f, const tbl::Column* cp, int maxch, std::string& out,
                  bool* flag) {
    if (is_string(c.type)) {  // straight into the caller's string, reusing its room
      const std::size_t n = field_text_length(c.p, c.bytes);
      *flag = n == 0;
      out.assign(reinterpret_cast<const char*>(c.p), std::min(n, std::size_t(std::max(maxch, 0))));
      return;
    }
    out = read_t(c, f, cp->format, maxch, flag);
  }
  static void put(const std::string& v, int maxpack, int type, Fam f, uint8_t* p,
                  std::size_t bytes) {
    write_t(v.c_str(), maxpack, type, f, p, bytes);
  }
};

// Text into a caller's buffer of maxch + 1 bytes (none: only the flag is
// set), as the std::string kind gives it: at most maxch characters, then
// a NUL.
template <>
struct Kind<char*> {
  static constexpr char kLetter = 't';
  static void get(const Cell& c, Fam f, const tbl::Column* cp, int maxch, char* out, bool* flag) {
    const std::size_t most = std::size_t(std::max(maxch, 0));
    if (is_string(c.type)) {
      if (out == nullptr) {
        *flag = field_text_length(c.p, c.bytes) == 0;
        return;
      }
      *flag = field_to_text(out, c.p, c.bytes, most) == 0;
      return;
    }
    tbl::copy_text(out, read_t(c, f, cp->format, maxch, flag), maxch);
  }
};

// Text from a caller's string (a null pointer is an empty text), as the
// std::string kind stores it: at most maxpack characters, up to its NUL.
template <>
struct Kind<const char*> {
  static constexpr char kLetter = 't';
  static void put(const char* v, int maxpack, int type, Fam f, uint8_t* p, std::size_t bytes) {
    const char* text = v != nullptr ? v : "";
    if (is_string(type)) {
      text_to_field(p, bytes, text, std::size_t(std::max(maxpack, 0)));
      return;
    }
    write_t(text, maxpack, type, f, p, bytes);
  }
};

// The generic routine's name in messages ("<stem><letter>", e.g. "tbcgtd"),
// kept without allocation since it is made on every call.
struct Who {
  char s[12] = {};
  const char* c_str() const { return s; }
};
inline std::string operator+(const Who& w, const char* text) { return std::string(w.s) + text; }

template <class T>
Who routine(const char* stem) {
  Who w;
  std::size_t n = 0;
  while (stem[n] && n < sizeof w.s - 2) { w.s[n] = stem[n]; ++n; }
  w.s[n] = Kind<T>::kLetter;
  return w;
}

}  // namespace tbbin
