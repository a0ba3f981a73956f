// Conversions between a stored element and the six caller types of the
// element routines.  A stored element is held as a Raw value of the
// column's data type; undefined values follow the binary file's rules (an
// undefined double is stored as 1.6e38).
//
// Reals and doubles become integers as the nearest integer (halves away
// from zero, rounded in double).  Any value that is undefined, NaN or out of
// the target's range becomes the target's undefined value (false for bool):
// no conversion ever overflows.
#pragma once

#include <string>
#include <string_view>

namespace tbl {

struct Raw {
  int type = 0;  // column data type: 1, 3, 4, 6, 7, or < 0 (text)
  double d = 0.0;
  float r = 0.0f;
  int i = 0;
  short s = 0;
  bool b = false;
  std::string t;
};

// Stored -> caller.  fmt is the column's print format (text results).
double raw_to_d(const Raw& v);
float raw_to_r(const Raw& v);
int raw_to_i(const Raw& v);
short raw_to_s(const Raw& v);
bool raw_to_b(const Raw& v);
std::string raw_to_t(const Raw& v, std::string_view fmt, int maxch);

// Caller -> stored, for a column of data type `type`.
Raw raw_from_d(double v, int type);
Raw raw_from_r(float v, int type);
Raw raw_from_i(int v, int type);
Raw raw_from_s(short v, int type);
Raw raw_from_b(bool v, int type);
Raw raw_from_t(std::string_view v, int type);

// Nearest int / short of a double, or the undefined value when it does not
// fit (or is NaN).
int nearest_int(double v);
short nearest_short(double v);

}  // namespace tbl
