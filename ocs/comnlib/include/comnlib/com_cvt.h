// Conversion-matrix routines for character and binary data, their shared
// helpers, the null setters and the matrix itself.
#pragma once

#include <cstring>

#include "comnlib/com_types.h"

// Shared helpers.
void com__padchar(char* target, int dstlen, int n);
// Pads a string target of `dstlen` bytes holding `n` characters with
// blanks and ends it with a NUL (at `n` when `dstlen` is below 1).  Inline:
// every text value bound as a string comes here.
inline void com__padstring(char* target, int dstlen, int n) {
  if (dstlen < 1) {
    target[n] = '\0';
    return;
  }
  for (int i = n; i < dstlen - 1; ++i) target[i] = ' ';
  target[n < dstlen - 1 ? dstlen - 1 : n] = '\0';
}
// `srclen` bytes of text as a string in `d`, of `dstlen` bytes (below 1:
// no limit): the bytes, cut to dstlen - 1, then padded as com__padstring
// does.  The length, or -1 when the text was cut.  Inline: bound text
// columns take it for every value.
inline int com__tostring(const char* s, int srclen, char* d, int dstlen) {
  int n = srclen;
  bool cut = false;
  if (dstlen >= 1 && n > dstlen - 1) {
    n = dstlen - 1;
    cut = true;
  }
  std::memcpy(d, s, static_cast<size_t>(n));
  com__padstring(d, dstlen, n);
  return cut ? -1 : n;
}
void com__padntbstring(char* target, int n);
const char* com_bmove(const char* source, char* target, int n);
char* com__bzero(char* target, unsigned n);
void com__shift1(char* area, int n);
void com_prhex(int byte, char* target);
int com__bin2hex(const unsigned char* source, int srclen, char* target, int limit);
int com__hex2binbytes(const char** text, int* length);
void com_setfltfmt(const char* format);
const char* com_getfltfmt();

// Money text writer: writes m right-aligned to end at the last byte of the
// area; returns the first character or null when the area is too small.
// flags: low byte 1 asks for "," separators; flags >> 8 is the number of
// decimals (0 means 2, 4 or more means 4).
char* com__mnytochar(const COM_MONEY* m, char* area, int size, int flags);
char* com__mny4tochar(const COM_MONEY4* m4, char* area, int size, int flags);

// The call type of a (source, target) pair: which extra arguments the
// routine takes (1 to 7).
int com_call_type(int srctype, int dsttype);

// The conversion routine of a cell (null for an empty cell).  Types 1..22.
ComAnyFn com_matrix_cell(int srctype, int dsttype);
// The null setter of a target type (null for codes 5 and 7).
ComNullSetter com_null_setter(int dsttype);

// Null setters.
int com_seti1null(void*, int, const void*, int, int, int);
int com_seti2null(void*, int, const void*, int, int, int);
int com_seti4null(void*, int, const void*, int, int, int);
int com_setcharnull(void*, int, const void*, int, int, int);
int com_setbinarynull(void*, int, const void*, int, int, int);
int com_setbitnull(void*, int, const void*, int, int, int);
int com_setdatetimenull(void*, int, const void*, int, int, int);
int com_setmoneynull(void*, int, const void*, int, int, int);
int com_setflt8null(void*, int, const void*, int, int, int);
int com_setstringnull(void*, int, const void*, int, int, int);
int com_setntbstringnull(void*, int, const void*, int, int, int);
int com_setvarycharnull(void*, int, const void*, int, int, int);
int com_setvarybinnull(void*, int, const void*, int, int, int);
int com_setdatetime4null(void*, int, const void*, int, int, int);
int com_setmny4null(void*, int, const void*, int, int, int);
int com_setflt4null(void*, int, const void*, int, int, int);
int com_setnumnull(void*, int, const void*, int, int prec, int scale);

// Text-to-text routines (call type 1).
int com_chartochar(const void*, int, void*, int);
int com_chartostring(const void*, int, void*, int);
int com_chartontbstring(const void*, int, void*, int);
int com_chartovarychar(const void*, int, void*, int);
int com_chartobinary(const void*, int, void*, int);
int com_chartovarybin(const void*, int, void*, int);
int com_chartobit(const void*, int, void*, int);
int com_varychartochar(const void*, int, void*, int);
int com_varychartostring(const void*, int, void*, int);
int com_varychartontbstring(const void*, int, void*, int);
int com_varychartovarychar(const void*, int, void*, int);
int com_varychartobinary(const void*, int, void*, int);
int com_varychartovarybin(const void*, int, void*, int);
int com_varychartobit(const void*, int, void*, int);

// Datetime to text (call type 3).
int com_date2char_ex(const void*, int, void*, int, const char* const* shortmonths, int style);
int com_datetostring_ex(const void*, int, void*, int, const char* const*, int style);
int com_datetontbstring_ex(const void*, int, void*, int, const char* const*, int style);
int com_datetovarychar_ex(const void*, int, void*, int, const char* const*, int style);
int com_date2char(const void*, int, void*, int, const char* const* shortmonths);
int com_datetostring(const void*, int, void*, int, const char* const*);
int com_datetontbstring(const void*, int, void*, int, const char* const*);
int com_datetovarychar(const void*, int, void*, int, const char* const*);
int com_date4tochar(const void*, int, void*, int, const char* const*, int style);
int com_date4tostring(const void*, int, void*, int, const char* const*, int style);
int com_date4tontbstring(const void*, int, void*, int, const char* const*, int style);
int com_date4tovarychar(const void*, int, void*, int, const char* const*, int style);

// Floats to text (call type 4).
int com_flt8tochar(const void*, int, void*, int, const char* fmt);
int com_flt8tostring(const void*, int, void*, int, const char* fmt);
int com_flt8tontbstring(const void*, int, void*, int, const char* fmt);
int com_flt8tovarychar(const void*, int, void*, int, const char* fmt);
int com_flt4tochar(const void*, int, void*, int, const char* fmt);
int com_flt4tostring(const void*, int, void*, int, const char* fmt);
int com_flt4tontbstring(const void*, int, void*, int, const char* fmt);
int com_flt4tovarychar(const void*, int, void*, int, const char* fmt);

// Integers, bits and money to text, bytes to everything (call type 1).
#define COM_DECL_TOTEXT(src)                         \
  int com_##src##tochar(const void*, int, void*, int); \
  int com_##src##tostring(const void*, int, void*, int); \
  int com_##src##tontbstring(const void*, int, void*, int); \
  int com_##src##tovarychar(const void*, int, void*, int);
COM_DECL_TOTEXT(i1)
COM_DECL_TOTEXT(i2)
COM_DECL_TOTEXT(i4)
COM_DECL_TOTEXT(bit)
COM_DECL_TOTEXT(money)
COM_DECL_TOTEXT(mny4)
COM_DECL_TOTEXT(bin)
#undef COM_DECL_TOTEXT
int com_bintoi1(const void*, int, void*, int);
int com_bintoi2(const void*, int, void*, int);
int com_bintoi4(const void*, int, void*, int);
int com_bintomoney(const void*, int, void*, int);
int com_bintoflt8(const void*, int, void*, int);
int com_bintoflt4(const void*, int, void*, int);
int com_bintomny4(const void*, int, void*, int);
int com_bintobit(const void*, int, void*, int);
int com_varybintoi1(const void*, int, void*, int);
int com_varybintoi2(const void*, int, void*, int);
int com_varybintoi4(const void*, int, void*, int);
int com_varybintochar(const void*, int, void*, int);
int com_varybintobinary(const void*, int, void*, int);
int com_varybintobit(const void*, int, void*, int);
int com_varybintomoney(const void*, int, void*, int);
int com_varybintoflt8(const void*, int, void*, int);
int com_varybintostring(const void*, int, void*, int);
int com_varybintontbstring(const void*, int, void*, int);
int com_varybintovarychar(const void*, int, void*, int);
int com_varybintoflt4(const void*, int, void*, int);
int com_varybintomny4(const void*, int, void*, int);
int com_varybintovarybin(const void*, int, void*, int);
int com_anytobinary(const void*, int, void*, int);
int com_anytovarybin(const void*, int, void*, int);

// Money primitives used by the fixed-size conversions (results as the
// conversions give them: 0 success, 1 overflow unless stated).
int com__inttomny(COM_MONEY* m, std::int32_t v);
int com__mnytoint(const COM_MONEY* m, std::int32_t* v);
int com__mnytoflt8(const COM_MONEY* m, int len, double* d);
int com__mnytoflt4(const COM_MONEY* m, int len, float* f);
int com__flt8tomny(const double* d, int len, COM_MONEY* m);
int com__flt4tomny(const float* f, int len, COM_MONEY* m);
int com__mny4tomny(const COM_MONEY4* m4, COM_MONEY* m);
int com__mnytomny4(const COM_MONEY* m, COM_MONEY4* m4);
int com__inttomny4(COM_MONEY4* m4, std::int32_t v);
int com__mny4toint(const COM_MONEY4* m4, std::int32_t* v);
int com__mny4toflt8(const COM_MONEY4* m4, double* d);
int com__mny4toflt4(const COM_MONEY4* m4, float* f);
int com__flt8tomny4(const double* d, int len, COM_MONEY4* m4);
int com__flt4tomny4(const float* f, int len, COM_MONEY4* m4);

// Conversions between fixed-size types (call type 1), named
// com_<source>to<target>.
#define COM_DECL_FIXED(src)                                  \
  int com_##src##toi1(const void*, int, void*, int);         \
  int com_##src##toi2(const void*, int, void*, int);         \
  int com_##src##toi4(const void*, int, void*, int);         \
  int com_##src##tobit(const void*, int, void*, int);        \
  int com_##src##toflt8(const void*, int, void*, int);       \
  int com_##src##toflt4(const void*, int, void*, int);
COM_DECL_FIXED(i1)
COM_DECL_FIXED(i2)
COM_DECL_FIXED(i4)
COM_DECL_FIXED(bit)
COM_DECL_FIXED(flt4)
COM_DECL_FIXED(flt8)
COM_DECL_FIXED(money)
COM_DECL_FIXED(mny4)
#undef COM_DECL_FIXED
int com_i1tomoney(const void*, int, void*, int);
int com_i2tomoney(const void*, int, void*, int);
int com_i4tomoney(const void*, int, void*, int);
int com_flt4tomoney(const void*, int, void*, int);
int com_flt8tomny(const void*, int, void*, int);
int com_moneytomoney(const void*, int, void*, int);
int com_mny4tomoney(const void*, int, void*, int);
int com_i1tomny4(const void*, int, void*, int);
int com_i2tomny4(const void*, int, void*, int);
int com_i4tomny4(const void*, int, void*, int);
int com_flt4tomny4(const void*, int, void*, int);
int com_flt8tomny4(const void*, int, void*, int);
int com_moneytomny4(const void*, int, void*, int);
int com_mny4tomny4(const void*, int, void*, int);
int com_datetodate(const void*, int, void*, int);
int com_datetodate4(const void*, int, void*, int);
int com_date4todate(const void*, int, void*, int);
int com_date4todate4(const void*, int, void*, int);

// Text to integers, floats and money (call type 5) and to dates (call
// type 2), under the caller's attribute record (null: built-in iso_1).
int com_mb_chartoi1(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartoi2(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartoi4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartoflt8(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartoflt4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartomoney(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartomny4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_chartodatetime(const void*, int, void*, int, const char* const* months,
                          const char* const* shortmonths, int order, const COM_CHARATTRIB*);
int com_mb_chartodate4(const void*, int, void*, int, const char* const* months,
                       const char* const* shortmonths, int order, const COM_CHARATTRIB*);
int com_mb_varychartoi1(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartoi2(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartoi4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartoflt8(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartoflt4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartomoney(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartomny4(const void*, int, void*, int, const COM_CHARATTRIB*);
int com_mb_varychartodatetime(const void*, int, void*, int, const char* const* months,
                              const char* const* shortmonths, int order, const COM_CHARATTRIB*);
int com_mb_varychartodate4(const void*, int, void*, int, const char* const* months,
                           const char* const* shortmonths, int order, const COM_CHARATTRIB*);
// The same readers in no cell: always the built-in record.
int com_chartoi1(const void*, int, void*, int);
int com_chartoi2(const void*, int, void*, int);
int com_chartoi4(const void*, int, void*, int);
int com_chartoflt8(const void*, int, void*, int);
int com_chartoflt4(const void*, int, void*, int);
int com_chartomoney(const void*, int, void*, int);
int com_chartomny4(const void*, int, void*, int);
int com_chartodatetime(const void*, int, void*, int, const char* const*, const char* const*, int);
int com_chartodate4(const void*, int, void*, int, const char* const*, const char* const*, int);
int com_varychartoi1(const void*, int, void*, int);
int com_varychartoi2(const void*, int, void*, int);
int com_varychartoi4(const void*, int, void*, int);
int com_varychartoflt8(const void*, int, void*, int);
int com_varychartoflt4(const void*, int, void*, int);
int com_varychartomoney(const void*, int, void*, int);
int com_varychartomny4(const void*, int, void*, int);
int com_varychartodatetime(const void*, int, void*, int, const char* const*, const char* const*,
                           int);
int com_varychartodate4(const void*, int, void*, int, const char* const*, const char* const*, int);
// 0 when the NUL-terminated text may be a float, else 1.
namespace comn {
int floatcheck(const char* text, const std::uint8_t* typemap);
}  // namespace comn

// Exact numerics (numeric and decimal) to every other type (call type 1).
int com_numtoi1(const void*, int, void*, int);
int com_numtoi2(const void*, int, void*, int);
int com_numtoi4(const void*, int, void*, int);
int com_numtobit(const void*, int, void*, int);
int com_numtoflt4(const void*, int, void*, int);
int com_numtoflt8(const void*, int, void*, int);
int com_numtomny4(const void*, int, void*, int);
int com_numtomny(const void*, int, void*, int);
int com_numtochar(const void*, int, void*, int);
int com_numtostring(const void*, int, void*, int);
int com_numtontbstring(const void*, int, void*, int);
int com_numtovarychar(const void*, int, void*, int);
int com_numtobin(const void*, int, void*, int);
int com_numtovarybin(const void*, int, void*, int);
// To exact numerics at (precision, scale) (call type 6, 7 for text).
int com_numtonum(const void*, int, void*, int, int prec, int scale);
int com_i1tonum(const void*, int, void*, int, int prec, int scale);
int com_i2tonum(const void*, int, void*, int, int prec, int scale);
int com_i4tonum(const void*, int, void*, int, int prec, int scale);
int com_bittonum(const void*, int, void*, int, int prec, int scale);
int com_flt4tonum(const void*, int, void*, int, int prec, int scale);
int com_flt8tonum(const void*, int, void*, int, int prec, int scale);
int com_mny4tonum(const void*, int, void*, int, int prec, int scale);
int com_moneytonum(const void*, int, void*, int, int prec, int scale);
int com_bintonum(const void*, int, void*, int, int prec, int scale);
int com_varybintonum(const void*, int, void*, int, int prec, int scale);
int com_mb_chartonum(const void*, int, void*, int, int prec, int scale, const COM_CHARATTRIB*);
int com_mb_varychartonum(const void*, int, void*, int, int prec, int scale,
                         const COM_CHARATTRIB*);
