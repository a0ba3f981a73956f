// Money and smallmoney arithmetic, the public text writers and the money text
// reader.  The conversions to and from integers and floats and the internal
// writer are declared in com_cvt.h.
#pragma once

#include <cstdint>

#include "comnlib/com_types.h"

// Results: 0 success, 1 overflow, 3 division by zero unless stated.
int com__mnycopy(const COM_MONEY* from, COM_MONEY* to);
int com__mnyinc(COM_MONEY* m);
int com__mnydec(COM_MONEY* m);
int com__mnyminus(const COM_MONEY* from, COM_MONEY* to);
int com__mnyadd(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r);
int com__mnysub(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r);
int com__mnymul(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r);
int com__mnydiv(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r);
int com__mnyrem(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r);
int com__mnydown(COM_MONEY* m, int d);
int com__mnyscale(COM_MONEY* m, int f, int a);
int com__mnyndigit(COM_MONEY* m, char* digit);
int com__mnyinit(COM_MONEY* m, int n);
// Shifts the 64-bit value right, as unsigned, by one place for each binary
// digit of n taken as unsigned (0 none, 1 one, 2-3 two, 4-7 three, negative
// n 32 places); 0.
int com__mnyshift(COM_MONEY* m, int n);
void com__maxposmny(COM_MONEY* m);
void com__maxnegmny(COM_MONEY* m);
int com__mnyminus4(const COM_MONEY4* from, COM_MONEY4* to);
int com__mnyadd4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r);
int com__mnysub4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r);
int com__mnymul4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r);
int com__mnydiv4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r);
int com__mnyrem4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r);

// Public writers: as com__mnytochar; com_precmnytochar takes the number of
// decimals separately.
char* com_cvtmnytochar(const COM_MONEY* m, char* area, int size, int flags);
char* com_cvtmny4tochar(const COM_MONEY4* m4, char* area, int size, int flags);
char* com_precmnytochar(const COM_MONEY* m, char* area, int size, int flags, int decimals);

// Money text reader: 0 success, 1 overflow, 2 syntax.  `attr` null means the
// built-in iso_1 record; `unused` is not read.
int com__mnyfromchar_mb(COM_MONEY* m, const char* text, int length, int unused,
                        const COM_CHARATTRIB* attr);
int com__mny4fromchar_mb(COM_MONEY4* m4, const char* text, int length, int unused,
                         const COM_CHARATTRIB* attr);
