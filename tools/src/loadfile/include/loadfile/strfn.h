// Bounded string routines of the tool library.
//
// A bound ("maxch") counts characters without the terminating NUL, so a
// destination holds maxch + 1 bytes; longer results are cut silently.
// Bytes of value 32 and below and of 128 and above count as blanks wherever
// text is cleaned, split or trimmed.
#pragma once

// True for the bytes that count as blanks (control characters, the blank,
// and every byte of 128 and above).
inline bool is_blank_like(unsigned char c) { return c <= 32 || c >= 128; }

// Copies at most maxch characters of src into dst, then a NUL; maxch below 1
// gives the empty string.  Returns dst.
char* safecopy(char* dst, const char* src, int maxch);

// Appends characters of src while dst is shorter than maxch, then a NUL; a
// dst already at or past maxch is left unchanged.  Returns dst.
char* safecat(char* dst, const char* src, int maxch);

// A heap copy of s (free with delete[]), owned by the caller.
char* strclone(const char* s);

// Lower-case (upper-case) the ASCII letters of s in place; other bytes stay.
void strlcase(char* s);
char* strucase(char* s);

// Drops leading and trailing blank-like bytes and turns every inner run of
// them into one blank, in place.
void strclean(char* s);

// Splits s in place into at most n fields separated by `separator`; a field
// may be quoted with double or single quotes.  Slots beyond the fields found
// point at an empty string.  Returns the number of fields found.
int strsplit(char separator, char* s, char** fields, int n);

// 1-based index of the one entry of the "|"-separated list of which the
// lower-cased word is a prefix; 0 when none, more than one, or word empty.
int strabbrev(const char* word, const char* list);

// 1-based index of the first entry of the "|"-separated list equal to the
// lower-cased word; 0 when none.
int strmatch(const char* word, const char* list);
