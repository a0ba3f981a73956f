// Shared by the fuzz targets of the text readers (dates, money, integers,
// floats, exact numerics): text converted to a value and back through the
// DB client's conversion entry point (dbconvert, which calls the matrix
// routines of this library), without a connection.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "dblib/dblib.h"
#include "fuzz/fuzz_support.h"

namespace textfuzz {

using Value = std::vector<BYTE>;

inline int quiet(DBPROCESS*, int, int, int, char*, char*) { return INT_CANCEL; }

// Version 10.0 (exact numerics) and a handler that answers every client
// error quietly; once per process.
inline void start() {
  static const bool started = [] {
    dbsetversion(DBVERSION_50);
    dberrhandle(quiet);
    return true;
  }();
  (void)started;
}

// The input as text.
inline std::string text_of(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// Text read as a value of the server type `type`; nothing when refused.
inline std::optional<Value> read(int type, const std::string& text, DBTYPEINFO* info = nullptr) {
  Value v(64, 0);
  DBINT n = dbconvert_ps(nullptr, MERCHAR, reinterpret_cast<const BYTE*>(text.data()),
                         static_cast<DBINT>(text.size()), type, v.data(),
                         static_cast<DBINT>(v.size()), info);
  if (n <= 0) return std::nullopt;
  FUZZ_CHECK(n <= static_cast<DBINT>(v.size()), "value of " + std::to_string(n) + " bytes");
  v.resize(static_cast<std::size_t>(n));
  return v;
}

// A value of the server type `type` written as text.
inline std::string write(int type, const Value& v) {
  char buf[512];
  std::memset(buf, 0x5A, sizeof buf);
  DBINT n = dbconvert(nullptr, type, v.data(), static_cast<DBINT>(v.size()), MERCHAR,
                      reinterpret_cast<BYTE*>(buf), 400);
  FUZZ_CHECK(n > 0 && n <= 400, "writing a value as text gave " + std::to_string(n));
  FUZZ_CHECK(static_cast<unsigned char>(buf[400]) == 0x5A, "text written past its room");
  return std::string(buf, static_cast<std::size_t>(n));
}

inline std::string hex(const Value& v) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (BYTE b : v) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A value read from text, written as text and read again is the same value
// (`exact`); when the text holds less than the value (`exact` false), the
// value read back from it comes back unchanged through its own text.
inline void round_trip(int type, const Value& v, bool exact, DBTYPEINFO* info = nullptr) {
  std::string t1 = write(type, v);
  std::optional<Value> back = read(type, t1, info);
  FUZZ_CHECK(back.has_value(), "'" + t1 + "' written for " + hex(v) + " does not read back");
  if (exact) {
    FUZZ_CHECK(*back == v, "'" + t1 + "' reads back as " + hex(*back) + ", not " + hex(v));
  } else {
    std::string t2 = write(type, *back);
    std::optional<Value> again = read(type, t2, info);
    FUZZ_CHECK(again && *again == *back,
               "'" + t2 + "' written for " + hex(*back) + " does not read back the same");
  }
}

}  // namespace textfuzz
