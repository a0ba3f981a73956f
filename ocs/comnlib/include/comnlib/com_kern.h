// Conversion kernels: one routine per (source kind, target kind), each side
// described by a data-format record, all with one signature and one set of
// status codes.
#pragma once

#include <cstdint>

#include "comnlib/comn_context.h"
#include "comnlib/com_types.h"

// Datatype codes of a data format.
enum : std::int32_t {
  COMN_DT_CHAR = 0,
  COMN_DT_BINARY = 1,
  COMN_DT_I1 = 6,
  COMN_DT_I2 = 7,
  COMN_DT_I4 = 8,
  COMN_DT_FLT4 = 9,
  COMN_DT_FLT8 = 10,
  COMN_DT_BIT = 11,
  COMN_DT_MONEY = 14,
  COMN_DT_MNY4 = 15,
  COMN_DT_NUMERIC = 16,
  COMN_DT_VARCHAR = 18,
};

// Format bits.
enum : std::int32_t {
  COMN_FMT_NULLTERM = 1,  // end a character target with a NUL
  COMN_FMT_PADZERO = 2,   // pad a target with zero bytes
  COMN_FMT_PADBLANK = 4,  // pad a character target with blanks
  COMN_FMT_QUOTES = 32,   // double every quote when copying character data
};

// Precision or scale of a numeric target meaning "the source's own".
constexpr std::int32_t COMN_SRC_PRECSCALE = -2562;

// Kernel statuses.
enum : int {
  COMN_OK = 1,
  COMN_EOVERFLOW = -101,
  COMN_EUNDERFLOW = -102,
  COMN_EPRECISION = -103,
  COMN_ESCALE = -104,
  COMN_ESYNTAX = -105,
  COMN_EFORMAT = -106,
  COMN_EDOMAIN = -107,
  COMN_ETRUNCATED = -113,
  COMN_EREPLACED = -117,
};

// Room of a varying record after its 16-bit length, and the out-length a
// kernel reports for a varying target.
constexpr int COMN_VARY_ROOM = 256;
constexpr int COMN_VARY_OUTLEN = 258;

// One side of a conversion.
struct comn_dataformat {
  char name[132];
  std::int32_t namelen;
  std::int32_t datatype;
  std::int32_t format;
  std::int32_t maxlength;  // source byte length / target capacity
  std::int32_t scale;
  std::int32_t precision;
  std::int32_t status;
  std::int32_t count;
  std::int32_t usertype;
  comn_locale* locale;     // null: the context's default
};
using COMN_DATAFORMAT = comn_dataformat;

// The kernel signature: (context, source format, source, target format,
// target, out-length) -> status.
using ComnKernel = int (*)(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,
                           COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen);

// Shared helpers.  comn__padchar finishes a character target after
// `textlen` bytes were copied (*outlen holds the bytes copied); comn__padbin
// zero-pads a binary target when the format asks for it.
int comn__padchar(int textlen, COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen);
int comn__padbin(int length, COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen);
int comn_fixedtobin(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,
                    COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen, int size);
int comn_fixedtovarbin(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,
                       COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen, int size);

// Kernels with a numeric source: comn_<source>to<target>.
#define COMN_KERNEL(name)                                                               \
  int name(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,                 \
           COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen);
#define COMN_KERNEL_ROW(src)                                                            \
  COMN_KERNEL(comn_##src##tobit) COMN_KERNEL(comn_##src##toi1)                          \
  COMN_KERNEL(comn_##src##toi2) COMN_KERNEL(comn_##src##toi4)                           \
  COMN_KERNEL(comn_##src##toi8) COMN_KERNEL(comn_##src##toflt4)                         \
  COMN_KERNEL(comn_##src##toflt8) COMN_KERNEL(comn_##src##tomny4)                       \
  COMN_KERNEL(comn_##src##tomoney) COMN_KERNEL(comn_##src##tonum)                       \
  COMN_KERNEL(comn_##src##tochar) COMN_KERNEL(comn_##src##tobin)                        \
  COMN_KERNEL(comn_##src##tovarchar) COMN_KERNEL(comn_##src##tovarbin)
COMN_KERNEL_ROW(bit)
COMN_KERNEL_ROW(i1)
COMN_KERNEL_ROW(i2)
COMN_KERNEL_ROW(i4)
COMN_KERNEL_ROW(flt4)
COMN_KERNEL_ROW(flt8)
COMN_KERNEL_ROW(mny4)
COMN_KERNEL_ROW(money)
COMN_KERNEL_ROW(num)

// Binary and character sources.  The length of a bin or char source is its
// format's maximum length; of a varbin source its record's length word.
int comn_bintofixed(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,
                    COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen, int size);
int comn_varbintofixed(COMN_CONTEXT* ctx, COMN_DATAFORMAT* srcfmt, const void* src,
                       COMN_DATAFORMAT* dstfmt, void* dst, std::int32_t* outlen, int size);
// Moves *text past trailing and leading white space and a "0x" prefix.
void comn__hex2binbytes(const char** text, int* length);
// Copies character data doubling every `esc` character.
int comn__escchar(const void* src, COMN_DATAFORMAT* srcfmt, void* dst, COMN_DATAFORMAT* dstfmt,
                  std::int32_t* outlen, const COM_CHARATTRIB* attr, int esc);
#define COMN_KERNEL_BYTEROW(src)                                                        \
  COMN_KERNEL(comn_##src##tobit) COMN_KERNEL(comn_##src##toi1)                          \
  COMN_KERNEL(comn_##src##toi2) COMN_KERNEL(comn_##src##toi4)                           \
  COMN_KERNEL(comn_##src##toi8) COMN_KERNEL(comn_##src##toflt4)                         \
  COMN_KERNEL(comn_##src##toflt8) COMN_KERNEL(comn_##src##tomny4)                       \
  COMN_KERNEL(comn_##src##tomoney) COMN_KERNEL(comn_##src##tonum)                       \
  COMN_KERNEL(comn_##src##todate4) COMN_KERNEL(comn_##src##todatetime)                  \
  COMN_KERNEL(comn_##src##tochar) COMN_KERNEL(comn_##src##tobin)                        \
  COMN_KERNEL(comn_##src##tovarchar) COMN_KERNEL(comn_##src##tovarbin)
COMN_KERNEL_BYTEROW(bin)
COMN_KERNEL_BYTEROW(varbin)
COMN_KERNEL_BYTEROW(char)
#undef COMN_KERNEL_BYTEROW
#undef COMN_KERNEL_ROW
#undef COMN_KERNEL
