// Exact numeric values (numeric and decimal): the stored form, the operand
// record every arithmetic routine works on, exact base-256 arithmetic and the
// conversions to and from doubles, integers, money and decimal text.
#pragma once

#include <cstdint>

#include "comnlib/com_types.h"

// The stored value: precision, scale, then a sign byte (0 positive, 1
// negative) and the big-endian magnitude; only the first
// comn_num_getlen(precision) value bytes are in use, the rest are zero.
struct COM_NUMERIC {
  std::uint8_t precision;
  std::uint8_t scale;
  std::uint8_t value[33];
};
static_assert(sizeof(COM_NUMERIC) == 35);

constexpr int COM_NUME_MAXPREC = 77;
constexpr int COM_NUME_MAXLEN = 33;

// An operand: `length` value bytes (sign byte included) at `value`.
struct COM_EXCTNUME {
  std::int32_t length;
  std::uint8_t precision;
  std::uint8_t scale;
  std::uint8_t* value;
};

// Result codes of the arithmetic.
enum : int {
  COM_NUME_OK = 0,
  COM_NUME_OVERFLOW = 1,
  COM_NUME_SYNTAX = 2,
  COM_NUME_DIVZERO = 3,
  COM_NUME_UNDERFLOW = 5,
  COM_NUME_LOST = 6,
};

extern const std::uint8_t Com__Nume_Prec_To_Len[78];
extern const std::uint8_t Com__Nume_Len_To_Prec[35];
// Row k: the operand length of 10^k, a sign byte 0, the magnitude, zeros.
extern const std::uint8_t (&Com__Nume_Byte_Power_Array)[78][34];

// Value bytes (sign included) of a value of `precision` digits.
int comn_num_getlen(int precision);
// The largest precision whose values fit `length` value bytes.
int comn_num_getprec(int length);

// Magnitude primitives.
int com__exctnume_intcmp(const COM_EXCTNUME* x, int k);
int com__exctnume_copy(const COM_EXCTNUME* from, COM_EXCTNUME* to);
int com__exctnume_divby10(std::uint8_t** value, std::int32_t* length);
int com__exctnume_mulby10_add(COM_EXCTNUME* x, int digit);
int com__exctnume_inc(COM_EXCTNUME* x);
int com__exctnume_needsbyte(const COM_EXCTNUME* x);
int com__exctnume_intadd(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r);
int com__exctnume_intsub(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r);
int com__exctnume_intmul(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r);
// Magnitude division: the quotient and the remainder (either may be null)
// receive right-aligned magnitudes.  3 zero divisor, 1 when the quotient or
// the remainder does not fit its operand, else 0.
int com__exctnume_intdiv(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* q,
                         COM_EXCTNUME* rem);

// Signed and scaled operations (0, 1 overflow/precision, 3 division by
// zero, 6 digits lost).
int com__exctnume_cmp(const COM_EXCTNUME* a, const COM_EXCTNUME* b, int flags);
int com__exctnume_scale(COM_EXCTNUME* x, COM_EXCTNUME* target, int d);
int com__exctnume_checkprecision(const COM_EXCTNUME* x);
int com__exctnume_addorsub(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r,
                           int subtract);
int com__exctnume_mul(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r);
int com__exctnume_div(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r,
                      COM_EXCTNUME* rem);
int com__exctnume_round(const COM_EXCTNUME* x, int places, COM_EXCTNUME* r);
int com__exctnume_ceilingfloor(const COM_EXCTNUME* x, COM_EXCTNUME* r, int ceiling);

// Conversions (0 success, 1 overflow, 2 syntax, 5 underflow, 6 digits lost).
int com__subexctnumetoflt8(const COM_EXCTNUME* x, double* d);
int com__doubletoexctnume(double d, std::uint8_t* value, int length, int precision, int scale);
int com__longtoexctnume(std::int32_t v, std::uint8_t* value, int length, int precision,
                        int scale);
int com__longlongtoexctnume(std::int32_t v, std::uint8_t* value, int length, int precision,
                            int scale);
// 1 on success, 0 when the value does not fit money.
int com__exctnumetomny8(const COM_EXCTNUME* x, COM_MONEY* m);
int com__mny8toexctnume(const COM_MONEY* m, std::uint8_t* value, int length, int precision,
                        int scale);
// Writes the decimal text right-aligned in area[0..size); returns the index
// of its first character, or -1 when it does not fit.
int com__subexctnumetochar(const COM_EXCTNUME* x, char* area, int size);
// Room that holds the text of any value (sign, "0.", 77 digits).
constexpr int COM_NUME_TEXTMAX = 81;
// Reads decimal text into `length` value bytes (0 meaning 33) at the given
// precision (1..77) and scale (0..77); with `round` set, digits beyond the
// scale round half up instead of failing with 6.
int com__subchartoexctnume(const char* text, int textlen, std::uint8_t* value, int length,
                           int precision, int scale, int round);

// An operand over a stored numeric's value bytes.
inline COM_EXCTNUME com_num_operand(COM_NUMERIC* n) {
  return COM_EXCTNUME{Com__Nume_Prec_To_Len[n->precision <= 77 ? n->precision : 77],
                      n->precision, n->scale, n->value};
}
