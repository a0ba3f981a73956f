// Error texts of the localisation library and the message builder that
// expands templates with numbered placeholders ("%1!", "%2!", ...).
#pragma once

#include <cstdarg>
#include <cstdint>

// Argument kinds of the message builder.
enum : int32_t {
  INTL_KIND_SHORT = 1,    // signed 16-bit ("h" with d, i, c)
  INTL_KIND_USHORT = 2,   // unsigned 16-bit ("h" with o, u, x, X)
  INTL_KIND_INT = 3,      // d, i, c
  INTL_KIND_UINT = 4,     // o, u, x, X
  INTL_KIND_LONG = 5,     // "l" with d, i, c
  INTL_KIND_ULONG = 6,    // "l" with o, u, x, X
  INTL_KIND_POINTER = 7,  // s, p, n
  INTL_KIND_DOUBLE = 8,   // e, E, f, g, G
};

struct INTL_CUSTFMT;

// One typed argument of the message builder.
struct INTL_ARGVAL {
  int32_t nstars;          // "*" values in the format: 0, 1 or 2
  int32_t stars[2];        // width and precision for the "*"s, in order
  int32_t kind;            // 1..8
  char format[24];         // "%" conversion text, NUL-ended
  const INTL_CUSTFMT* custom;  // custom format entry, or nullptr
  union {
    int16_t s;
    uint16_t us;
    int32_t i;
    uint32_t u;
    const void* p;
    double d;
  } value;
};

// A custom formatting routine: (name, address of the value or, for kind 7,
// the pointer itself, output buffer or nullptr) -> output length, or a
// negative error code.  With a null buffer only the length is computed.
typedef int (*INTL_CUSTFMT_PROC)(const char* name, const void* value, char* out);

struct INTL_CUSTFMT {
  int32_t kind;
  INTL_CUSTFMT_PROC routine;
  char name[24];
};

// A custom format list: a count and that many entries.
struct INTL_CUSTLIST {
  int32_t count;
  const INTL_CUSTFMT* entries;
};

// Text of a localisation error code (never nullptr).
const char* intl_errstr(int code);

// Expands `templ` into `buffer` (length `buflen`, room for the NUL included)
// with `count` arguments; returns the length written or a negative code.
int intl_strblist(char* buffer, int buflen, const char* templ, const INTL_ARGVAL* args,
                  int count);
// As intl_strblist with the template's length given.
int intl__strblist(char* buffer, int buflen, const char* templ, int templen,
                   const INTL_ARGVAL* args, int count);

// Expands a template whose arguments are described by the printf-style
// `formats` and taken from the variable arguments.
int intl_strbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                  const char* formats, ...);
int intl_vstrbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                   const char* formats, va_list ap);
int intl_cstrbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                   int templen, const char* formats, int formatslen, va_list ap);

// Parses one printf conversion starting at fmt[0] == '%' into `arg` (its
// format, kind and star count, not its values).  Returns the number of
// characters consumed, 0 for "%%", or a negative code (-19 syntax).
// `conv` receives the conversion character.
int intl__parse_conversion(const char* fmt, int len, INTL_ARGVAL* arg, char* conv);

// The first occurrence of `c` within `length` bytes (NULs included), with
// `remaining` the bytes from it to the end; nullptr and 0 when absent.
const char* intl__nonull_strchr(const char* text, int c, int length, int* remaining);
// True for the punctuation characters that end a custom specifier name.
bool intl__ispunct(int c);
