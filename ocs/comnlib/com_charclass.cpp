// The built-in iso_1 character tables, byte classification and unsigned
// comparison of names.
#include "comnlib/com_charclass.h"

#include <array>
#include <cctype>

namespace {

using Map = ComCharMap;

// Builds the current character map from its ranges.
constexpr Map make_charmap() {
  Map m{};
  for (int b = 0; b < 256; ++b) {
    m[b][0] = m[b][1] = static_cast<std::uint8_t>(b);
    std::uint8_t cls = 0;
    if (b >= 0x09 && b <= 0x0F) cls = 8;
    else if (b == 0x20) cls = 72;
    else if ((b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) ||
             (b >= 0x5B && b <= 0x60) || (b >= 0x7B && b <= 0x7E)) cls = 96;
    else if (b >= 0x30 && b <= 0x39) cls = 84;
    else if (b >= 0x41 && b <= 0x46) cls = 81;
    else if (b >= 0x47 && b <= 0x5A) cls = 65;
    else if (b >= 0x61 && b <= 0x66) cls = 82;
    else if (b >= 0x67 && b <= 0x7A) cls = 66;
    else if (b == 0x8E || b == 0x8F) cls = 1;
    else if (b >= 0xA0 && b <= 0xDF) cls = 65;
    else if (b >= 0xE0 && b <= 0xFF) cls = (b == 0xF7) ? 65 : 66;
    m[b][3] = cls;
    bool upper_pair = (b >= 0x41 && b <= 0x5A) || (b >= 0xC0 && b <= 0xDE && b != 0xD7);
    bool lower_pair = (b >= 0x61 && b <= 0x7A) || (b >= 0xE0 && b <= 0xFE && b != 0xF7);
    if (upper_pair) m[b][1] = static_cast<std::uint8_t>(b + 0x20);
    if (lower_pair) m[b][0] = static_cast<std::uint8_t>(b - 0x20);
  }
  return m;
}

// Builds the iso_1 type map.
constexpr Map make_typemap() {
  Map m = make_charmap();
  for (int b = 0; b < 256; ++b) {
    std::uint8_t tok = 1, cls = 0;
    auto in = [b](int lo, int hi) { return b >= lo && b <= hi; };
    if (in(0x00, 0x08) || in(0x10, 0x1F)) { tok = 8; cls = 0; }
    else if (in(0x09, 0x0F) || b == 0x20) { tok = 8; cls = 8; }
    else if (b == 0x22 || b == 0x27) { tok = 16; cls = 32; }
    else if (b == 0x23 || b == 0x40 || b == 0x5F) { tok = 1; cls = 32; }
    else if (b == 0x24) { tok = 64; cls = 32; }
    else if (b == 0x21 || in(0x25, 0x26) || in(0x28, 0x2F) || in(0x3A, 0x3F) ||
             in(0x5B, 0x5E) || b == 0x60 || in(0x7B, 0x7E)) { tok = 32; cls = 32; }
    else if (in(0x30, 0x39)) { tok = 2; cls = 20; }
    else if (in(0x41, 0x46)) { tok = 1; cls = 17; }
    else if (in(0x47, 0x5A)) { tok = 1; cls = 1; }
    else if (in(0x61, 0x66)) { tok = 1; cls = 18; }
    else if (in(0x67, 0x7A)) { tok = 1; cls = 2; }
    else if (b == 0x7F) { tok = 32; cls = 0; }
    else if (b == 0x8E || b == 0x8F || b == 0xA0 || b == 0xAD) { tok = 1; cls = 8; }
    else if (in(0x80, 0x9F)) { tok = 1; cls = 0; }
    else if (in(0xA3, 0xA5)) { tok = 64; cls = 32; }
    else if (in(0xA1, 0xBF) || b == 0xD7 || b == 0xF7) { tok = 1; cls = 32; }
    else if (in(0xC0, 0xDF)) { tok = 1; cls = 1; }
    else if (in(0xE0, 0xFF)) { tok = 1; cls = 2; }
    m[b][2] = tok;
    m[b][3] = cls;
  }
  return m;
}

// Builds the Soundex table.
constexpr std::array<std::uint8_t, 256> make_soundex() {
  std::array<std::uint8_t, 256> s{};
  const char* codes = "01230120022455012623010202";  // A..Z
  for (int i = 0; i < 26; ++i) {
    s['A' + i] = static_cast<std::uint8_t>(codes[i]);
    s['a' + i] = static_cast<std::uint8_t>(codes[i]);
  }
  return s;
}

constexpr Map kTypemap = make_typemap();
constexpr std::array<std::uint8_t, 256> kSoundex = make_soundex();

const COM_CHARATTRIB kIso1Attrib = {
    0, 1, 1, 5, {'i', 's', 'o', '_', '1'}, {1, 1, 0, 1, 1},
    nullptr, nullptr, &kTypemap[0][0], kSoundex.data()};

inline std::uint8_t cls(int c) { return Com_Iso1_charmap[c & 0xFF][3]; }

}  // namespace

constinit const ComCharMap Com_Iso1_charmap = make_charmap();
const ComCharMap* const Com_charmap = &Com_Iso1_charmap;

int com_toupper(int c) { return Com_Iso1_charmap[c & 0xFF][0]; }
int com_tolower(int c) { return Com_Iso1_charmap[c & 0xFF][1]; }
int com_isalpha(int c) { return cls(c) & 3; }
int com_isupper(int c) { return cls(c) & 1; }
int com_islower(int c) { return cls(c) & 2; }
int com_isdigit(int c) { return cls(c) & 4; }
int com_isxdigit(int c) { return cls(c) & 16; }
int com_isspace(int c) { return cls(c) & 8; }
int com_isgraph(int c) { return cls(c) & 64; }

int com_unsignstrcmp(const void* a, const void* b) {
  auto p = static_cast<const unsigned char*>(a);
  auto q = static_cast<const unsigned char*>(b);
  for (;; ++p, ++q) {
    if (*p != *q) return static_cast<int>(*p) - static_cast<int>(*q);
    if (*p == 0) return 0;
  }
}

int com_unsignstrncmp(const void* a, const void* b, int n) {
  auto p = static_cast<const unsigned char*>(a);
  auto q = static_cast<const unsigned char*>(b);
  for (int i = 0; i < n; ++i)
    if (p[i] != q[i]) return static_cast<int>(p[i]) - static_cast<int>(q[i]);
  return 0;
}

int com_unsignstricmp(const void* a, const void* b) {
  auto p = static_cast<const unsigned char*>(a);
  auto q = static_cast<const unsigned char*>(b);
  for (;; ++p, ++q) {
    int x = std::tolower(*p), y = std::tolower(*q);
    if (x != y) return x - y;
    if (*p == 0) return 0;
  }
}

int com_unsignstrnicmp(const void* a, const void* b, int n) {
  auto p = static_cast<const unsigned char*>(a);
  auto q = static_cast<const unsigned char*>(b);
  for (int i = 0; i < n; ++i) {
    int x = std::tolower(p[i]), y = std::tolower(q[i]);
    if (x != y) return x - y;
  }
  return 0;
}

const std::uint8_t* com_get_typemap() { return &kTypemap[0][0]; }
const COM_CHARATTRIB* com_get_charattrib() { return &kIso1Attrib; }
