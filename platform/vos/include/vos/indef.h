// Undefined ("INDEF") values of each numeric type, and tests for them.
#pragma once

namespace vos {

inline constexpr short INDEFS = -32767;
inline constexpr int INDEFI = -2147483647;
inline constexpr long INDEFL = -2147483647;
inline constexpr float INDEFR = 1.6e38f;
inline constexpr double INDEFD = 1.6e308;

inline constexpr bool is_indef(short v) { return v == INDEFS; }
inline constexpr bool is_indef(int v) { return v == INDEFI; }
inline constexpr bool is_indef(long v) { return v == INDEFL; }
inline constexpr bool is_indef(float v) { return v == INDEFR; }
// A double is undefined when it is INDEFD or the undefined real widened.
inline constexpr bool is_indef(double v) {
  return v == INDEFD || v == static_cast<double>(INDEFR);
}

}  // namespace vos
