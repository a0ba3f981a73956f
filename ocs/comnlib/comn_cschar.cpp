// Character handling over a character set's attribute record.
#include "comnlib/comn_cschar.h"

#include "comnlib/com_charclass.h"

namespace {

const COM_CHARATTRIB* rec(const COM_CHARATTRIB* attr) {
  return attr != nullptr ? attr : com_get_charattrib();
}

// The type-map entry of the character at c: the second-level entry for
// the first byte of a two-byte character, when its block lies inside the
// map (flag byte 3 counts the map's 1,024-byte blocks).
const std::uint8_t* entry(const COM_CHARATTRIB* a, const comn_uchar* c) {
  const std::uint8_t* e = a->typemap + 4 * c[0];
  if ((e[3] & 128) == 0) return e;
  const int blocks = a->flags[3] > 0 ? a->flags[3] : 1;
  if (e[0] == 0 || e[0] >= blocks) return e;
  return a->typemap + 1024 * e[0] + 4 * c[1];
}

bool two_byte(const COM_CHARATTRIB* a, const comn_uchar* c) {
  return (a->typemap[4 * c[0] + 3] & 128) != 0;
}

int cls(const COM_CHARATTRIB* attr, const comn_uchar* c, int mask) {
  const COM_CHARATTRIB* a = rec(attr);
  if (a->typemap == nullptr || c == nullptr) return 0;
  return entry(a, c)[3] & mask;
}

// Byte length of the character at c, at least 1 so walks always advance.
int step(const COM_CHARATTRIB* a, const comn_uchar* c) {
  int n = comn_char_width(a, c);
  return n > 0 ? n : 1;
}

const COM_CHARATTRIB* recase(const COM_CHARATTRIB* attr, const comn_uchar* c, comn_uchar* out,
                             int which) {
  const COM_CHARATTRIB* a = rec(attr);
  if (a->typemap != nullptr && two_byte(a, c)) {
    const std::uint8_t* e = entry(a, c);
    out[0] = c[0];
    out[1] = e[which] != 0 ? e[which] : c[1];
    return a;
  }
  if (a->typemap != nullptr && a->typemap[4 * c[0] + which] != 0) {
    out[0] = a->typemap[4 * c[0] + which];
    return a;
  }
  const int n = comn_char_width(a, c);
  for (int i = 0; i < n; ++i) out[i] = c[i];
  return a;
}

}  // namespace

int comn_isalpha(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 3); }
int comn_isupper(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 1); }
int comn_islower(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 2); }
int comn_isdigit(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 4); }
int comn_isxdigit(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 16); }
int comn_isspace(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 8); }
int comn_ispunct(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 32); }
int comn_isgraph(const COM_CHARATTRIB* a, const comn_uchar* c) { return cls(a, c, 64); }

// Upper-case form of the character (unchanged when it has none).
const COM_CHARATTRIB* comn_toupper(const COM_CHARATTRIB* attr, const comn_uchar* c,
                                   comn_uchar* out) {
  return recase(attr, c, out, 0);
}

// Lower-case form of the character (unchanged when it has none).
const COM_CHARATTRIB* comn_tolower(const COM_CHARATTRIB* attr, const comn_uchar* c,
                                   comn_uchar* out) {
  return recase(attr, c, out, 1);
}

// Byte length of the character (low four bits of its length-table byte).
int comn_char_width(const COM_CHARATTRIB* attr, const comn_uchar* c) {
  const COM_CHARATTRIB* a = rec(attr);
  return a->lentab != nullptr ? (a->lentab[c[0]] & 0x0F) : 1;
}

// Display width of the character (high four bits of its length-table byte).
int comn_disp_width(const COM_CHARATTRIB* attr, const comn_uchar* c) {
  const COM_CHARATTRIB* a = rec(attr);
  return a->lentab != nullptr ? (a->lentab[c[0]] >> 4) : 1;
}

const std::uint8_t* comn_get_widthmap(const COM_CHARATTRIB* attr) { return rec(attr)->lentab; }

void comn_inc_char(const COM_CHARATTRIB* attr, const comn_uchar** text) {
  *text += step(rec(attr), *text);
}

// Walks whole characters from start to pos.  On a boundary: prefix is
// pos - start, before = after = 0, count the characters walked.  Inside a
// character: prefix ends before it, before/after split its bytes at pos,
// and count excludes it.
int comn_whole_char(const COM_CHARATTRIB* attr, const comn_uchar* start, const comn_uchar* pos,
                    int* prefix, int* before, int* after, int* count) {
  const COM_CHARATTRIB* a = rec(attr);
  const comn_uchar* p = start;
  int n = 0;
  int b = 0, f = 0;
  while (p < pos) {
    const int w = step(a, p);
    if (p + w > pos) {
      b = static_cast<int>(pos - p);
      f = w - b;
      break;
    }
    p += w;
    ++n;
  }
  if (prefix != nullptr) *prefix = static_cast<int>(p - start);
  if (before != nullptr) *before = b;
  if (after != nullptr) *after = f;
  if (count != nullptr) *count = n;
  return 1;
}

// ASCII equivalent of the character: from the ASCII map, else the lower
// form of its type-map entry, else its byte; 0 when there is none.
int comn_to_ascii(const COM_CHARATTRIB* attr, const comn_uchar* c) {
  const COM_CHARATTRIB* a = rec(attr);
  if (a->mbmap != nullptr) {
    if (comn_char_width(a, c) <= 1) return a->mbmap[c[0]];
    const int block = a->mbmap[c[0]];
    return block == 0 ? 0 : a->mbmap[256 * block + c[1]];
  }
  if (a->typemap != nullptr) return a->typemap[4 * c[0] + 1];
  return c[0];
}

// Converts a text to ASCII character by character; characters without an
// equivalent are copied.  out may be text itself.  Returns 1.
int comn_str_to_ascii(const comn_uchar* text, int len, comn_uchar* out, int* outlen,
                      const COM_CHARATTRIB* attr) {
  const COM_CHARATTRIB* a = rec(attr);
  int i = 0, o = 0;
  while (i < len) {
    int w = step(a, text + i);
    if (w > len - i) w = len - i;  // a character cut off by the end is copied
    const int eq = w == step(a, text + i) ? comn_to_ascii(a, text + i) : 0;
    if (eq != 0) {
      out[o++] = static_cast<comn_uchar>(eq);
    } else {
      for (int k = 0; k < w; ++k) out[o++] = text[i + k];
    }
    i += w;
  }
  if (outlen != nullptr) *outlen = o;
  return 1;
}

// Lexical byte of the character's type-map entry.
int comn_get_lex(const COM_CHARATTRIB* attr, const comn_uchar* c) {
  const COM_CHARATTRIB* a = rec(attr);
  return a->typemap != nullptr ? entry(a, c)[2] : 0;
}
