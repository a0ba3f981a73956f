// Value types, bind-type codes and the conversion-routine signatures shared by
// the DB client's connection layer and its conversion routines.
#pragma once

#include <cstdint>

// The common layer's routines and tables of ordinary names (leapyear,
// monthdays) sit in namespace comn, so that none of them clashes with a
// name of a program that links the DB client; the client's files call them
// unqualified.  Its other routines are named com_, com__, comn_ and comn__.
namespace comn {}
using namespace comn;

// Bind types: the program-variable types of binding and conversion.  Codes 5
// and 7 are not used.
enum : int {
  COM_BT_I1 = 1,
  COM_BT_I2 = 2,
  COM_BT_I4 = 3,
  COM_BT_CHAR = 4,
  COM_BT_BINARY = 6,
  COM_BT_BIT = 8,
  COM_BT_DATETIME = 9,
  COM_BT_MONEY = 10,
  COM_BT_FLT8 = 11,
  COM_BT_STRING = 12,
  COM_BT_NTBSTRING = 13,
  COM_BT_VARYCHAR = 14,
  COM_BT_VARYBIN = 15,
  COM_BT_DATE4 = 16,
  COM_BT_MNY4 = 17,
  COM_BT_FLT4 = 18,
  COM_BT_NUMERIC = 19,
  COM_BT_DECIMAL = 20,
  COM_BT_SENS = 21,
  COM_BT_BOUND = 22,
  COM_BT_COUNT = 22
};

// Result codes of the conversion routines.
enum : int {
  COM_CVT_OVERFLOW = -1,
  COM_CVT_UNDERFLOW = -2,
  COM_CVT_SYNTAX = -3,
  COM_CVT_PRECISION = -4,
  COM_CVT_NULLOVERFLOW = -5,
  COM_CVT_DOMAIN = -6,
};

// The server's datetime: days since 1 January 1900 and 1/300-second ticks.
struct COM_DATETIME {
  std::int32_t dtdays;
  std::int32_t dttime;
};

// The server's smalldatetime: days since 1 January 1900 and minutes.
struct COM_DATETIME4 {
  std::uint16_t dtdays;
  std::uint16_t dttime;
};

// Money: a 64-bit count of 1/10,000 units kept as a high and a low word.
struct COM_MONEY {
  std::int32_t mnyhigh;
  std::uint32_t mnylow;
};

// Smallmoney: a 32-bit count of 1/10,000 units.
struct COM_MONEY4 {
  std::int32_t mny4;
};

// The crack record: calendar fields of a datetime.
struct COM_DATEREC {
  std::int32_t dateyear;
  std::int32_t datemonth;    // 0..11
  std::int32_t datedmonth;   // 1..31
  std::int32_t datedyear;    // 1..366
  std::int32_t datedweek;    // 0 Sunday .. 6
  std::int32_t datehour;
  std::int32_t dateminute;
  std::int32_t datesecond;
  std::int32_t datemsecond;
};

// A character set's attribute record.
struct com_charattrib {
  std::int16_t status;
  std::uint8_t cs_class;       // 1 single-byte, 2 multibyte
  std::uint8_t id;
  std::int16_t namelen;
  char name[30];
  std::uint8_t flags[5];       // flags[0]: largest character length in bytes
  const std::uint8_t* lentab;  // character-length table or null
  const std::uint8_t* mbmap;   // multibyte map or null
  const std::uint8_t* typemap; // 256 entries of 4 bytes
  const std::uint8_t* soundex; // 256 bytes
};
using COM_CHARATTRIB = com_charattrib;

// Type-erased pointer to a conversion routine; each cell's routine is cast back
// to the signature of its call type (com_call_type) before it is called.
using ComAnyFn = void (*)();

// Signatures per call type.
using ComCvt1 = int (*)(const void* src, int srclen, void* dst, int dstlen);
using ComCvt2 = int (*)(const void* src, int srclen, void* dst, int dstlen,
                        const char* const* months, const char* const* shortmonths,
                        int order_id, const COM_CHARATTRIB* attr);
using ComCvt3 = int (*)(const void* src, int srclen, void* dst, int dstlen,
                        const char* const* shortmonths, int style);
using ComCvt4 = int (*)(const void* src, int srclen, void* dst, int dstlen,
                        const char* fltfmt);
using ComCvt5 = int (*)(const void* src, int srclen, void* dst, int dstlen,
                        const COM_CHARATTRIB* attr);
using ComCvt6 = int (*)(const void* src, int srclen, void* dst, int dstlen, int prec,
                        int scale);
using ComCvt7 = int (*)(const void* src, int srclen, void* dst, int dstlen, int prec,
                        int scale, const COM_CHARATTRIB* attr);

// Null setter: (target, dstlen, null value or null, null length); the numeric
// setter also takes (precision, scale), passed as the last two arguments.
using ComNullSetter = int (*)(void* dst, int dstlen, const void* nullval, int nulllen,
                              int prec, int scale);
