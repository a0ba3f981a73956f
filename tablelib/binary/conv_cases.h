// The table of element value conversions, shared by the unit test of the
// conversion rules and by the back-end test that runs it against both orders.
//
// Reading: a stored cell (type and value) read as a requested type gives a
// value and an undefined flag; the flag of a short read from an int, real or
// double cell holding -32767 differs between the orders.  Writing: a given
// value written into a stored type gives the stored value; text written into
// short and int cells rounds in row-ordered tables and truncates in
// column-ordered ones.
#pragma once

#include <cstdint>

namespace convcases {

inline constexpr double kIndefD = 1.6e308;
inline constexpr double kIndefR = double(1.6e38f);  // the undefined real, widened
inline constexpr double kStoredD = 1.6e38;          // the stored undefined double
inline constexpr double kIndefI = -2147483647;
inline constexpr double kIndefS = -32767;
inline constexpr int kStr = -12;  // string column of at most 12 characters (12 bytes)
inline constexpr int kNarrow = -4;

// A stored cell: a number for number types, the text for strings.
struct Stored {
  int type;
  double num;
  const char* text;
};

struct ReadCase {
  Stored cell;
  char req;          // b d r i s t
  double want;       // number result (b: 0/1)
  const char* text;  // text result for req 't'
  bool flag_x;       // flag from a row-ordered table
  bool flag_y;       // flag from a column-ordered table
};

// Print formats used by the text reads: bool %b, short/int %d, real/double %g.
inline const ReadCase kReadCases[] = {
    // bool cells
    {{1, 1, nullptr}, 'b', 1, nullptr, false, false},
    {{1, 1, nullptr}, 'd', 1.0, nullptr, false, false},
    {{1, 0, nullptr}, 'r', 0.0, nullptr, false, false},
    {{1, 1, nullptr}, 'i', 1, nullptr, false, false},
    {{1, 1, nullptr}, 's', 1, nullptr, false, false},
    {{1, 1, nullptr}, 't', 0, "yes", false, false},
    // short cells
    {{3, kIndefS, nullptr}, 'b', 0, nullptr, true, true},
    {{3, kIndefS, nullptr}, 'd', kIndefD, nullptr, true, true},
    {{3, kIndefS, nullptr}, 'r', kIndefR, nullptr, true, true},
    {{3, kIndefS, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{3, kIndefS, nullptr}, 's', kIndefS, nullptr, true, true},
    {{3, kIndefS, nullptr}, 't', 0, "INDEF", true, true},
    {{3, 5, nullptr}, 'd', 5, nullptr, false, false},
    {{3, -2, nullptr}, 'b', 1, nullptr, false, false},
    {{3, 5, nullptr}, 't', 0, "5", false, false},
    // int cells
    {{4, kIndefI, nullptr}, 'b', 0, nullptr, true, true},
    {{4, kIndefI, nullptr}, 'd', kIndefD, nullptr, true, true},
    {{4, kIndefI, nullptr}, 'r', kIndefR, nullptr, true, true},
    {{4, kIndefI, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{4, kIndefI, nullptr}, 's', kIndefS, nullptr, true, true},
    {{4, kIndefI, nullptr}, 't', 0, "INDEF", true, true},
    {{4, -32767, nullptr}, 's', kIndefS, nullptr, true, false},
    {{4, 40000, nullptr}, 's', kIndefS, nullptr, true, true},
    {{4, -32768, nullptr}, 's', kIndefS, nullptr, true, true},
    {{4, 7, nullptr}, 'r', 7, nullptr, false, false},
    {{4, 0, nullptr}, 'b', 0, nullptr, false, false},
    // real cells
    {{6, kIndefR, nullptr}, 'b', 0, nullptr, true, true},
    {{6, kIndefR, nullptr}, 'd', kIndefD, nullptr, true, true},
    {{6, kIndefR, nullptr}, 'r', kIndefR, nullptr, true, true},
    {{6, kIndefR, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{6, kIndefR, nullptr}, 's', kIndefS, nullptr, true, true},
    {{6, kIndefR, nullptr}, 't', 0, "INDEF", true, true},
    {{6, 2.5, nullptr}, 'i', 3, nullptr, false, false},
    {{6, -2.5, nullptr}, 'i', -3, nullptr, false, false},
    {{6, 2.5, nullptr}, 's', 3, nullptr, false, false},
    {{6, 0.4, nullptr}, 'b', 0, nullptr, false, false},
    {{6, -0.5, nullptr}, 'b', 1, nullptr, false, false},
    {{6, 1e10, nullptr}, 'b', 1, nullptr, false, false},
    {{6, 3e9, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{6, 2147483648.0, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{6, -2147483648.0, nullptr}, 'i', -2147483648.0, nullptr, false, false},
    {{6, -32767, nullptr}, 's', kIndefS, nullptr, true, false},
    {{6, 40000, nullptr}, 's', kIndefS, nullptr, true, true},
    {{6, 1.5, nullptr}, 't', 0, "1.5", false, false},
    // double cells
    {{7, kStoredD, nullptr}, 'b', 0, nullptr, true, true},
    {{7, kStoredD, nullptr}, 'd', kIndefD, nullptr, true, true},
    {{7, kStoredD, nullptr}, 'r', kIndefR, nullptr, true, true},
    {{7, kStoredD, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{7, kStoredD, nullptr}, 's', kIndefS, nullptr, true, true},
    {{7, kStoredD, nullptr}, 't', 0, "INDEF", true, true},
    {{7, kIndefD, nullptr}, 'd', kIndefD, nullptr, false, false},
    {{7, -2147483647.0, nullptr}, 'i', kIndefI, nullptr, false, false},
    {{7, 2147483647.4, nullptr}, 'i', kIndefI, nullptr, true, true},
    {{7, 1e300, nullptr}, 'r', kIndefR, nullptr, true, true},
    {{7, 1e300, nullptr}, 'b', 1, nullptr, false, false},
    {{7, 0.4, nullptr}, 'b', 0, nullptr, false, false},
    {{7, -0.5, nullptr}, 'b', 1, nullptr, false, false},
    {{7, 2.5, nullptr}, 's', 3, nullptr, false, false},
    {{7, -32767, nullptr}, 's', kIndefS, nullptr, true, false},
    {{7, 0.25, nullptr}, 'r', 0.25, nullptr, false, false},
    {{7, 2.0, nullptr}, 't', 0, "2", false, false},
    // string cells
    {{kStr, 0, "INDEF"}, 'd', kIndefD, nullptr, true, true},
    {{kStr, 0, "INDEF"}, 'r', kIndefR, nullptr, true, true},
    {{kStr, 0, "INDEF"}, 'i', kIndefI, nullptr, true, true},
    {{kStr, 0, "INDEF"}, 's', kIndefS, nullptr, true, true},
    {{kStr, 0, "INDEF"}, 'b', 0, nullptr, true, true},
    {{kStr, 0, "INDEF"}, 't', 0, "INDEF", false, false},
    {{kStr, 0, ""}, 'd', kIndefD, nullptr, true, true},
    {{kStr, 0, ""}, 'i', kIndefI, nullptr, true, true},
    {{kStr, 0, ""}, 'b', 0, nullptr, true, true},
    {{kStr, 0, ""}, 't', 0, "", true, true},
    {{kStr, 0, "yes"}, 'b', 1, nullptr, false, false},
    {{kStr, 0, "Y"}, 'b', 1, nullptr, false, false},
    {{kStr, 0, "no"}, 'b', 0, nullptr, false, false},
    {{kStr, 0, "true"}, 'b', 0, nullptr, true, true},
    {{kStr, 0, "1"}, 'b', 0, nullptr, true, true},
    {{kStr, 0, "2.5"}, 'i', 3, nullptr, false, false},
    {{kStr, 0, "-2.5"}, 's', -3, nullptr, false, false},
    {{kStr, 0, "2.5"}, 'd', 2.5, nullptr, false, false},
    {{kStr, 0, "2.5"}, 'r', 2.5, nullptr, false, false},
    {{kStr, 0, "abc"}, 'd', kIndefD, nullptr, true, true},
    {{kStr, 0, "abc"}, 'r', kIndefR, nullptr, true, true},
    {{kStr, 0, "-2147483647"}, 'i', kIndefI, nullptr, true, true},
    {{kStr, 0, "3e9"}, 'i', kIndefI, nullptr, true, true},
    {{kStr, 0, "-32767"}, 's', kIndefS, nullptr, true, true},
    {{kStr, 0, "40000"}, 's', kIndefS, nullptr, true, true},
    {{kStr, 0, "hello world!"}, 't', 0, "hello world!", false, false},
};

struct WriteCase {
  char given;         // b d r i s t
  double num;         // given number (b: 0/1)
  const char* text;   // given text for 't'
  int type;           // stored type
  double want_x;      // stored number, row-ordered
  double want_y;      // stored number, column-ordered
  const char* field;  // stored string field (exact bytes up to the field width)
  int field_len;      // bytes of `field` to compare
};

inline const WriteCase kWriteCases[] = {
    // bool given
    {'b', 1, nullptr, 1, 1, 1, nullptr, 0},
    {'b', 1, nullptr, 3, 1, 1, nullptr, 0},
    {'b', 0, nullptr, 4, 0, 0, nullptr, 0},
    {'b', 1, nullptr, 6, 1, 1, nullptr, 0},
    {'b', 1, nullptr, 7, 1, 1, nullptr, 0},
    {'b', 1, nullptr, kStr, 0, 0, "yes\0\0\0\0\0\0\0\0\0", 12},
    {'b', 0, nullptr, kNarrow, 0, 0, "no ", 4},
    // double given
    {'d', kIndefD, nullptr, 1, 0, 0, nullptr, 0},
    {'d', kIndefD, nullptr, 3, kIndefS, kIndefS, nullptr, 0},
    {'d', kIndefD, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'d', kIndefD, nullptr, 6, kIndefR, kIndefR, nullptr, 0},
    {'d', kIndefD, nullptr, 7, kStoredD, kStoredD, nullptr, 0},
    {'d', kIndefD, nullptr, kStr, 0, 0, "INDEF       ", 12},
    {'d', 40000, nullptr, 3, kIndefS, kIndefS, nullptr, 0},
    {'d', 3.7e9, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'d', 2147483647.4, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'d', 2.5, nullptr, 4, 3, 3, nullptr, 0},
    {'d', -2.5, nullptr, 3, -3, -3, nullptr, 0},
    {'d', 1.5, nullptr, 1, 1, 1, nullptr, 0},
    {'d', 0.4, nullptr, 1, 0, 0, nullptr, 0},
    {'d', -0.5, nullptr, 1, 1, 1, nullptr, 0},
    {'d', 1e12, nullptr, 1, 1, 1, nullptr, 0},
    {'d', 1e300, nullptr, 6, kIndefR, kIndefR, nullptr, 0},
    {'d', 0.25, nullptr, 6, 0.25, 0.25, nullptr, 0},
    {'d', kStoredD, nullptr, 7, kStoredD, kStoredD, nullptr, 0},
    {'d', 2.0, nullptr, kNarrow, 0, 0, "2   ", 4},
    // real given
    {'r', kIndefR, nullptr, 1, 0, 0, nullptr, 0},
    {'r', kIndefR, nullptr, 3, kIndefS, kIndefS, nullptr, 0},
    {'r', kIndefR, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'r', kIndefR, nullptr, 7, kStoredD, kStoredD, nullptr, 0},
    {'r', 2147483648.0, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'r', 2.5, nullptr, 4, 3, 3, nullptr, 0},
    {'r', 1.5, nullptr, kStr, 0, 0, "1.5         ", 12},
    // int given
    {'i', kIndefI, nullptr, 1, 0, 0, nullptr, 0},
    {'i', kIndefI, nullptr, 3, kIndefS, kIndefS, nullptr, 0},
    {'i', kIndefI, nullptr, 6, kIndefR, kIndefR, nullptr, 0},
    {'i', kIndefI, nullptr, 7, kStoredD, kStoredD, nullptr, 0},
    {'i', 40000, nullptr, 3, kIndefS, kIndefS, nullptr, 0},
    {'i', -7, nullptr, 1, 1, 1, nullptr, 0},
    {'i', 7, nullptr, kStr, 0, 0, "7          ", 12},
    // short given
    {'s', kIndefS, nullptr, 1, 0, 0, nullptr, 0},
    {'s', kIndefS, nullptr, 4, kIndefI, kIndefI, nullptr, 0},
    {'s', kIndefS, nullptr, 6, kIndefR, kIndefR, nullptr, 0},
    {'s', kIndefS, nullptr, 7, kStoredD, kStoredD, nullptr, 0},
    {'s', 5, nullptr, 4, 5, 5, nullptr, 0},
    // text given
    {'t', 0, "2.5", 4, 3, 2, nullptr, 0},
    {'t', 0, "-2.5", 4, -3, -2, nullptr, 0},
    {'t', 0, "2.5", 3, 3, 2, nullptr, 0},
    {'t', 0, "abc", 4, kIndefI, kIndefI, nullptr, 0},
    {'t', 0, "INDEF", 4, kIndefI, kIndefI, nullptr, 0},
    {'t', 0, "40000", 3, kIndefS, kIndefS, nullptr, 0},
    {'t', 0, "abc", 6, kIndefR, kIndefR, nullptr, 0},
    {'t', 0, "abc", 7, kStoredD, kStoredD, nullptr, 0},
    {'t', 0, "INDEF", 7, kStoredD, kStoredD, nullptr, 0},
    {'t', 0, "1e37", 6, double(1e37f), double(1e37f), nullptr, 0},
    {'t', 0, "yes", 1, 1, 1, nullptr, 0},
    {'t', 0, "n", 1, 0, 0, nullptr, 0},
    {'t', 0, "true", 1, 0, 0, nullptr, 0},
    {'t', 0, "hello world", kNarrow, 0, 0, "hell", 4},
    {'t', 0, "ab", kNarrow, 0, 0, "ab\0\0", 4},
};

}  // namespace convcases
