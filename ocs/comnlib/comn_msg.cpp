// Localisation error texts and the message builder; see comnlib/intl_msg.h.
#include "comnlib/intl_msg.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kErrTexts[] = {
    "Unknown error",
    "General Intl-Library error",
    "Syntax error:  no value found",
    "Syntax error:  no entry found",
    "Firstday value in datetime section is out of range",
    "Element of dateorder entry is invalid.  Valid elements are 'm', 'd', and 'y'",
    "Time format entry in datetime section is invalid",
    "Copying string would result in overflow of buffer",
    "Unknown version number in compiled translation file",
    "Entry too long",
    "Value too long",
    "Odd number of hex digits in localization file",
    "Bad file pointer",
    "Bad INTL_LOCFILE pointer",
    "Syntax error:  unable to get comment character",
    "Syntax error in file format section of locfile",
    "Bad version number",
    "Unable to build string:  illegal place holder found in text string",
    "Unknown datatype token in intl_strbuild() or intl_strblist()",
    "Unable to build string: syntax error found in formats string",
    "Custom format specifier too long",
    "No custom format specifier found to match specifier in formats string",
    "Null dateinfo structure",
    "Null convert list structure",
    "Null format string parameter to intl_fmtinstall()",
    "Null custom format conversion routine",
    "intl_fmtsize():  listsize must be greater than zero",
    "Null buffer",
    "Negative buffer length",
    "Null charset directory",
    "Null translation file name",
    "Null translation table",
    "Null localization file name",
    "Null text string",
    "intl_strblist():  Null INTL_ARGVAL structure",
    "intl_strblist():  Negative number of arguments",
    "intl_xlate():  Null source string",
    "Null pointer",
    "intl_strblist():  Only 0, 1, or 2 stars allowed in format string",
    "Too few months in datetime section",
    "Too few short onths in datetime section",
    "Too few days in datetime section",
    "Pathname too long",
    "Line in localization file too long",
    "Duplicate dateformat value",
    "Syntax error in section heading",
};

const char* const kOsTexts[] = {
    "General operating system error",
    "Unable to open file",
    "Unable to close file",
    "Unable to read file",
    "Unable to write to file",
    "End of file",
    "Couldn't find the user 'merrow'",
    "Unable to access file information",
};

constexpr int kWorkArea = 1024;
constexpr int kMaxArgs = 20;

bool is_flag(char c) { return c == '-' || c == '0' || c == ' ' || c == '#' || c == '+'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Kind of a conversion character with its length letter, or 0 if unknown.
int kind_of(char conv, char length) {
  switch (conv) {
    case 'd': case 'i': case 'c':
      return length == 'h' ? INTL_KIND_SHORT : length == 'l' ? INTL_KIND_LONG : INTL_KIND_INT;
    case 'o': case 'u': case 'x': case 'X':
      return length == 'h' ? INTL_KIND_USHORT : length == 'l' ? INTL_KIND_ULONG : INTL_KIND_UINT;
    case 's': case 'p': case 'n':
      return INTL_KIND_POINTER;
    case 'e': case 'E': case 'f': case 'g': case 'G':
      return INTL_KIND_DOUBLE;
    default:
      return 0;
  }
}

// Formats one standard argument into `out` (kWorkArea bytes).  The format
// is re-parsed and rebuilt so that the value is always passed with the type
// the conversion expects; "%n" writes nothing and a null "%s" prints
// "(null)".  Returns the length, or a negative code (-7 when the expansion
// does not fit the work area).
int format_one(const INTL_ARGVAL& a, char* out) {
  INTL_ARGVAL parsed{};
  char conv = 0;
  int flen = static_cast<int>(strnlen(a.format, sizeof a.format));
  int used = intl__parse_conversion(a.format, flen, &parsed, &conv);
  if (used <= 0) return -19;
  if (parsed.nstars != a.nstars) return -38;
  int k = kind_of(conv, 0);
  bool kind_ok = (k == INTL_KIND_POINTER && a.kind == INTL_KIND_POINTER) ||
                 (k == INTL_KIND_DOUBLE && a.kind == INTL_KIND_DOUBLE) ||
                 ((k == INTL_KIND_INT) &&
                  (a.kind == INTL_KIND_SHORT || a.kind == INTL_KIND_INT || a.kind == INTL_KIND_LONG)) ||
                 ((k == INTL_KIND_UINT) &&
                  (a.kind == INTL_KIND_USHORT || a.kind == INTL_KIND_UINT || a.kind == INTL_KIND_ULONG));
  if (!kind_ok) return -18;
  // Rebuild: "%" flags width precision conv, without a length letter.
  std::string f;
  for (int i = 0; i < used; ++i) {
    char c = a.format[i];
    if (c == 'h' || c == 'l') continue;
    f += c;
  }
  const char* fmt = f.c_str();
  int s0 = a.stars[0], s1 = a.stars[1];
  int n = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  auto put = [&](auto v) {
    if (a.nstars == 0) return std::snprintf(out, kWorkArea, fmt, v);
    if (a.nstars == 1) return std::snprintf(out, kWorkArea, fmt, s0, v);
    return std::snprintf(out, kWorkArea, fmt, s0, s1, v);
  };
  switch (a.kind) {
    case INTL_KIND_SHORT: n = put(static_cast<int>(a.value.s)); break;
    case INTL_KIND_USHORT: n = put(static_cast<unsigned>(a.value.us)); break;
    case INTL_KIND_INT: case INTL_KIND_LONG: n = put(static_cast<int>(a.value.i)); break;
    case INTL_KIND_UINT: case INTL_KIND_ULONG: n = put(static_cast<unsigned>(a.value.u)); break;
    case INTL_KIND_DOUBLE: n = put(a.value.d); break;
    case INTL_KIND_POINTER:
      if (conv == 'n') { out[0] = '\0'; n = 0; }
      else if (conv == 's') n = put(a.value.p ? static_cast<const char*>(a.value.p) : "(null)");
      else n = put(a.value.p);
      break;
    default: return -18;
  }
#pragma GCC diagnostic pop
  if (n < 0) return -19;
  if (n >= kWorkArea) return -7;
  return n;
}

}  // namespace

const char* intl_errstr(int code) {
  if (code > 0 || code < -255) return kErrTexts[0];
  if (code <= -150 && code >= -157) return kOsTexts[-code - 150];
  if (code >= -45) return kErrTexts[-code];
  return kErrTexts[0];
}

int intl__parse_conversion(const char* fmt, int len, INTL_ARGVAL* arg, char* conv) {
  int i = 0;
  std::string f;
  if (len < 1 || fmt[0] != '%') return -19;
  f += '%';
  i = 1;
  if (i < len && fmt[i] == '%') { *conv = '%'; return 0; }
  int stars = 0;
  if (i < len && is_flag(fmt[i])) f += fmt[i++];
  if (i < len && fmt[i] == '*') { f += fmt[i++]; ++stars; }
  else while (i < len && is_digit(fmt[i])) f += fmt[i++];
  if (i < len && fmt[i] == '.') {
    f += fmt[i++];
    if (i < len && fmt[i] == '*') { f += fmt[i++]; ++stars; }
    while (i < len && is_digit(fmt[i])) f += fmt[i++];
  }
  char length = 0;
  if (i < len && (fmt[i] == 'h' || fmt[i] == 'l')) { length = fmt[i]; f += fmt[i++]; }
  if (i >= len) return -19;
  char c = fmt[i++];
  f += c;
  *conv = c;
  if (f.size() >= sizeof arg->format) return -19;
  std::memcpy(arg->format, f.c_str(), f.size() + 1);
  arg->nstars = stars;
  arg->kind = kind_of(c, length);
  return i;
}

int intl__strblist(char* buffer, int buflen, const char* templ, int templen,
                   const INTL_ARGVAL* args, int count) {
  if (!buffer) return -27;
  if (buflen < 1) return -28;
  if (!templ || templen < 1) return -33;
  if (!args) return -34;
  if (count < 0) return -35;
  int room = buflen;
  int outpos = 0;
  int t = 0;
  char work[kWorkArea];
  for (;;) {
    if (room < 2) return -7;
    while (t < templen && templ[t] != '%' && room >= 2) {
      buffer[outpos++] = templ[t++];
      --room;
    }
    if (t >= templen) { buffer[outpos] = '\0'; return outpos; }
    if (room < 2) return -7;
    // templ[t] == '%'
    if (t + 1 < templen && templ[t + 1] == '%') {
      buffer[outpos++] = '%';
      --room;
      t += 2;
      if (t >= templen) { buffer[outpos] = '\0'; return outpos; }
      continue;
    }
    ++t;
    int num = 0;
    while (t < templen && is_digit(templ[t]) && num <= kMaxArgs) num = num * 10 + (templ[t++] - '0');
    if (num < 1 || num > count) return -17;
    if (t < templen) ++t;  // the placeholder's terminator, never past the end
    const INTL_ARGVAL& a = args[num - 1];
    if (a.kind < 1 || a.kind > 8) return -18;
    int wlen = 0;
    if (!a.custom) {
      if (a.nstars < 0 || a.nstars > 2) return -38;
      if (a.kind == INTL_KIND_POINTER && a.nstars == 0 && std::strcmp(a.format, "%s") == 0 &&
          a.value.p) {
        const char* s = static_cast<const char*>(a.value.p);
        std::size_t sl = std::strlen(s);
        if (sl > static_cast<std::size_t>(room - 1)) return -7;
        std::memcpy(buffer + outpos, s, sl);
        wlen = static_cast<int>(sl);
      } else {
        int r = format_one(a, work);
        if (r < 0) return r;
        if (r > room - 1) return -7;
        std::memcpy(buffer + outpos, work, static_cast<std::size_t>(r));
        wlen = r;
      }
    } else {
      if (!a.custom->routine) return -25;
      const void* v = a.kind == INTL_KIND_POINTER ? a.value.p : static_cast<const void*>(&a.value);
      int need = a.custom->routine(a.custom->name, v, nullptr);
      if (need < 0) return need;
      if (need > room - 1) return -7;
      int r = a.custom->routine(a.custom->name, v, buffer + outpos);
      if (r < 0) return r;
      if (r > need) return -7;
      wlen = r;
    }
    outpos += wlen;
    room -= wlen;
    if (t >= templen) { buffer[outpos] = '\0'; return outpos; }
  }
}

int intl_strblist(char* buffer, int buflen, const char* templ, const INTL_ARGVAL* args,
                  int count) {
  int len = templ ? static_cast<int>(std::strlen(templ)) : 0;
  return intl__strblist(buffer, buflen, templ, len, args, count);
}

const char* intl__nonull_strchr(const char* text, int c, int length, int* remaining) {
  for (int i = 0; text && i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) == static_cast<unsigned char>(c)) {
      if (remaining) *remaining = length - i;
      return text + i;
    }
  }
  if (remaining) *remaining = 0;
  return nullptr;
}

bool intl__ispunct(int c) {
  return c != 0 && std::strchr("\",.:;(){}[]!@#$%&-+~|\\<>?/`='", c) != nullptr;
}

int intl_cstrbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                   int templen, const char* formats, int formatslen, va_list ap) {
  if (!buffer) return -33;
  if (buflen < 1) return -28;
  INTL_ARGVAL args[kMaxArgs];
  std::memset(args, 0, sizeof args);
  // Does the template hold a placeholder at all?
  bool has_placeholder = false;
  for (int i = 0; templ && i < templen; ++i) {
    if (templ[i] != '%') continue;
    if (i + 1 < templen && templ[i + 1] == '%') { ++i; continue; }
    has_placeholder = true;
    break;
  }
  if (!has_placeholder) return intl__strblist(buffer, buflen, templ, templen, args, 0);
  if (!formats || formatslen < 1) return -24;
  int count = 0;
  int i = 0;
  while (i < formatslen) {
    if (formats[i] != '%') { ++i; continue; }
    INTL_ARGVAL a{};
    char conv = 0;
    int used = intl__parse_conversion(formats + i, formatslen - i, &a, &conv);
    if (used == 0) { i += 2; continue; }  // "%%"
    if (used < 0) break;                  // ends inside a conversion
    if (a.kind == 0) {
      if (!custom) { i += used; continue; }
      // A custom specifier: its name runs to white space or punctuation.
      int start = i + used - 1;
      int end = start;
      while (end < formatslen && formats[end] != ' ' && formats[end] != '\t' &&
             formats[end] != '\n' && !intl__ispunct(formats[end]))
        ++end;
      if (end - start > 21) return -20;
      std::string name(formats + start, static_cast<std::size_t>(end - start));
      const INTL_CUSTFMT* found = nullptr;
      for (int e = 0; e < custom->count; ++e)
        if (name == custom->entries[e].name) { found = &custom->entries[e]; break; }
      if (!found) return -21;
      if (found->kind < 1 || found->kind > 8) return -18;
      a.kind = found->kind;
      a.custom = found;
      used = end - i;
    }
    if (count >= kMaxArgs) return -7;
    for (int s = 0; s < a.nstars; ++s) a.stars[s] = va_arg(ap, int);
    switch (a.kind) {
      case INTL_KIND_SHORT: a.value.s = static_cast<int16_t>(va_arg(ap, int)); break;
      case INTL_KIND_USHORT: a.value.us = static_cast<uint16_t>(va_arg(ap, unsigned)); break;
      case INTL_KIND_INT: case INTL_KIND_UINT: a.value.i = va_arg(ap, int); break;
      case INTL_KIND_LONG: case INTL_KIND_ULONG: a.value.i = static_cast<int32_t>(va_arg(ap, long)); break;
      case INTL_KIND_POINTER: a.value.p = va_arg(ap, const void*); break;
      case INTL_KIND_DOUBLE: a.value.d = va_arg(ap, double); break;
      default: break;
    }
    args[count++] = a;
    i += used;
  }
  return intl__strblist(buffer, buflen, templ, templen, args, count);
}

int intl_vstrbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                   const char* formats, va_list ap) {
  int tl = templ ? static_cast<int>(std::strlen(templ)) : 0;
  int fl = formats ? static_cast<int>(std::strlen(formats)) : 0;
  return intl_cstrbuild(custom, buffer, buflen, templ, tl, formats, fl, ap);
}

int intl_strbuild(const INTL_CUSTLIST* custom, char* buffer, int buflen, const char* templ,
                  const char* formats, ...) {
  va_list ap;
  va_start(ap, formats);
  int r = intl_vstrbuild(custom, buffer, buflen, templ, formats, ap);
  va_end(ap);
  return r;
}
