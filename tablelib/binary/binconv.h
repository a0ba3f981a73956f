// Element value conversion of the binary back ends: one set of rules for
// every typed family, from the stored column data type to the requested type
// (reading) and from the given type to the stored type (writing), with the
// undefined values recognised and produced in both directions.
//
// The few rules in which one family of routines differs from the others are
// selected by `Fam`.  No conversion here has undefined behaviour: every
// out-of-range float-to-integer, integer-to-bool or double-to-real conversion
// gives the target's undefined value (a bool takes "nonzero is true").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bincell.h"

namespace tbbin {

// Which family of routines is converting.
enum class Fam {
  RangeX,      // column range of a row-ordered table (tbxcg*, tbxcp*)
  RangeY,      // column range of a column-ordered table (tbycg*, tbycp*)
  RowX,        // row of a row-ordered table, existing row (tbxrg*, tbxrp*)
  RowAppendX,  // row of a row-ordered table, row assembled and appended (tbxrp*)
  RowY,        // row of a column-ordered table (tbyrg*, tbyrp*)
  ArrayX,      // array elements of a row-ordered table (tbxag*, tbxap*)
};

// True for the families of the row-ordered back end.
inline bool row_ordered(Fam f) { return f != Fam::RangeY && f != Fam::RowY; }

// --- text parsing (word-scanning rules of the file layer's scanner) -----------

// A number at the start of `s` (after blanks); "INDEF" gives 1.6e308.
// False when no number is there.
bool parse_d(const char* s, double* out);
// y/Y true, n/N false (first non-blank character); anything else fails.
bool parse_b(const char* s, int32_t* out);
// As parse_d, then to real: INDEF and magnitudes beyond the real range give 1.6e38.
bool parse_r(const char* s, float* out);
// As parse_d, then truncated toward zero: INDEF or magnitude above 2147483647
// gives -2147483647.
bool parse_i(const char* s, int32_t* out);
// The same for short: INDEF or magnitude above 32767 gives -32767.
bool parse_s(const char* s, int16_t* out);

// --- number formatting ----------------------------------------------------------

// The kind of value handed to the formatter.
enum class Arg { B, S, I, R, D };

// Formats one value with a print format ("%-25.17g", "%11d", "%-3b", "%12s" ...):
// undefined short, int, real and double print as "INDEF" in the field, a bool
// as "yes" or "no".  At most `maxch` characters are kept.
std::string format_value(const std::string& fmt, Arg kind, double v, int maxch = 1023);

// --- reading -----------------------------------------------------------------------

// One stored element: its type and its bytes in file order.
struct Cell {
  int type;
  const uint8_t* p;
  std::size_t bytes;  // element bytes; for strings the whole field
};

// The stored text of a string element: up to the first zero byte or the field's end.
std::string cell_text(const Cell& c);

// Stored element to requested value; `flag` gets 1 when the value is undefined.
// The stored type must be known (is_known); ArrayX ignores flags.
int32_t read_b(const Cell& c, Fam f, bool* flag);
double read_d(const Cell& c, Fam f, bool* flag);
float read_r(const Cell& c, Fam f, bool* flag);
int32_t read_i(const Cell& c, Fam f, bool* flag);
int16_t read_s(const Cell& c, Fam f, bool* flag);
// Stored element to text of at most maxch characters: numbers with the print
// format `fmt`, a stored undefined double as "INDEF".
std::string read_t(const Cell& c, Fam f, const std::string& fmt, int maxch, bool* flag);

// --- writing -----------------------------------------------------------------------

// Given value to stored element: fills `bytes` bytes at `p` for stored `type`.
// String fields get the formatted text cut to the field, followed by a zero
// byte and zero fill when shorter.
void write_b(int32_t v, int type, Fam f, uint8_t* p, std::size_t bytes);
void write_d(double v, int type, Fam f, uint8_t* p, std::size_t bytes);
void write_r(float v, int type, Fam f, uint8_t* p, std::size_t bytes);
void write_i(int32_t v, int type, Fam f, uint8_t* p, std::size_t bytes);
void write_s(int16_t v, int type, Fam f, uint8_t* p, std::size_t bytes);
// Text of at most `maxpack` characters to stored element.
void write_t(const char* text, int maxpack, int type, Fam f, uint8_t* p, std::size_t bytes);

// Copies `text` (up to its zero) into a string field of `bytes` bytes:
// cut at the field width, else followed by a zero byte and zeros.
void put_text_field(uint8_t* p, std::size_t bytes, const std::string& text);

}  // namespace tbbin
