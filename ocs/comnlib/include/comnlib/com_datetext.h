// Datetime text: the formatter for every style and the free-form parser.
#pragma once

#include "comnlib/com_types.h"

// Writes the text of `dt` in `style` (no NUL); returns its length, 0 when it
// had to cut the text to `buflen` (negative `buflen`: unbounded), -1 for an
// unknown style, -2 when the style needs month names and `months` is null,
// -6 for a value outside the valid datetime range.
int com__datetochar(const COM_DATETIME* dt, char* buf, int buflen, int style,
                    const char* const* months);
int com__date4tochar(const COM_DATETIME4* dt4, char* buf, int buflen, int style,
                     const char* const* months);
int com__cpint(char* buf, int value, int sep, int width);
int com__cpchar(char* buf, const char* text, int sep, int maximum);

int com__year2digit(int year);
int com__amcheck(COM_DATEREC* rec, int pm);

// Parsers: below 0 a syntax error, 0 success, above 0 a value out of range.
int com__datefromchar_mb(COM_DATETIME* dt, const char* text, int length, int style,
                         int order_id, const char* const* months,
                         const char* const* shortmonths, const COM_CHARATTRIB* attr);
int com__timefromchar_mb(COM_DATETIME* dt, const char* text, int length, int style,
                         const COM_CHARATTRIB* attr);
int com__date4fromchar_mb(COM_DATETIME4* dt4, const char* text, int length, int style,
                          int order_id, const char* const* months,
                          const char* const* shortmonths, const COM_CHARATTRIB* attr);
namespace comn {
int xdatefromchar(COM_DATETIME* dt, const char* text, int length, int timeonly, int style,
                  int order_id, const char* const* months, const char* const* shortmonths,
                  const COM_CHARATTRIB* attr);
int datelookup(const char* word, int len, const char* const* names, int count,
               const COM_CHARATTRIB* attr);
}  // namespace comn
