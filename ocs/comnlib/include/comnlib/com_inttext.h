// Integer text and single-byte forms of characters in any character set.
#pragma once

#include "comnlib/com_types.h"

// Writes `value` as decimal digits (no NUL).  When `maximum` is at least 1 and
// the text is longer, writes the single character "*" and returns 1; else
// returns the digit count.
int com__itochar(long value, char* target, int maximum);

// Reads a 32-bit signed integer: 4 with the value, 0 for an empty text (result
// 0), -2 syntax error, -1 overflow.
int com__chtoi4_mb(const char* text, int length, std::int32_t* result,
                   const COM_CHARATTRIB* attr);
int com__chtoi8_mb(const char* text, int length, std::int32_t* result,
                   const COM_CHARATTRIB* attr);
int com__chtoi2_mb(const char* text, int length, std::int16_t* result,
                   const COM_CHARATTRIB* attr);
int com__chtoi1_mb(const char* text, int length, std::uint8_t* result,
                   const COM_CHARATTRIB* attr);

// The single-byte form of the character at `p` (0 when it has none) and, in
// `*len`, the number of bytes the character takes (at least 1, never past
// `remaining`).
int com__single_byte_form(const unsigned char* p, int remaining, int* len,
                          const COM_CHARATTRIB* attr);

// Writes the single-byte forms of `src` into `dst` (at most `dstmax` bytes);
// returns the number of bytes written.
int com__conv2ascii(const char* src, int srclen, char* dst, int dstmax,
                    const COM_CHARATTRIB* attr);
