// UTF-8 and UCS-2: the one-character coders and the two built-in
// converters between the sets utf8 and ucs2 (16-bit codes, high byte
// first).
#include "comnlib/comn_cs.h"

namespace {

// The UTF-8 coding of sequences of one to six bytes: lead-byte mask and
// value, the shift of the lead byte's bits, the value mask and the
// smallest value the length may carry (shorter forms are overlong).
struct Utf8Row {
  std::uint32_t cmask;
  std::uint32_t cval;
  int shift;
  std::uint32_t lmask;
  std::uint32_t lval;
};
constexpr Utf8Row comn__tab[] = {
    {0x80, 0x00, 0 * 6, 0x7F, 0},
    {0xE0, 0xC0, 1 * 6, 0x7FF, 0x80},
    {0xF0, 0xE0, 2 * 6, 0xFFFF, 0x800},
    {0xF8, 0xF0, 3 * 6, 0x1FFFFF, 0x10000},
    {0xFC, 0xF8, 4 * 6, 0x3FFFFFF, 0x200000},
    {0xFE, 0xFC, 5 * 6, 0x7FFFFFFF, 0x4000000},
    {0, 0, 0, 0, 0},
};

}  // namespace

int comn__utf8_seqlen(std::uint8_t lead) {
  for (int r = 0; comn__tab[r].cmask != 0; ++r)
    if ((lead & comn__tab[r].cmask) == comn__tab[r].cval) return r + 1;
  return 0;
}

int comn__one_utf8_to_ucs2(const std::uint8_t* s, int len, std::uint16_t* code) {
  if (s == nullptr || len < 1) return COMN_EBADUTF8;
  const std::uint32_t c0 = s[0];
  std::uint32_t l = c0;
  for (int r = 0; comn__tab[r].cmask != 0; ++r) {
    if (r > 0) {
      if (r >= len) return COMN_EBADUTF8;
      const std::uint32_t c = s[r] ^ 0x80u;
      if ((c & 0xC0u) != 0) return COMN_EBADUTF8;
      l = (l << 6) | c;
    }
    if ((c0 & comn__tab[r].cmask) == comn__tab[r].cval) {
      l &= comn__tab[r].lmask;
      if (l < comn__tab[r].lval) return COMN_EBADUTF8;
      // A character beyond 16 bits has no code here; cutting it to its
      // low 16 bits would give another character.
      if (l > 0xFFFFu) return COMN_EBADUTF8;
      if (code != nullptr) *code = static_cast<std::uint16_t>(l);
      return r + 1;
    }
  }
  return COMN_EBADUTF8;
}

int comn__one_ucs2_to_utf8(std::uint16_t code, std::uint8_t* dst, int room, int* lenout) {
  for (int r = 0; comn__tab[r].cmask != 0; ++r) {
    if (code > comn__tab[r].lmask) continue;
    const int n = r + 1;
    if (room <= n) return COMN_ETRUNCATED;
    int shift = comn__tab[r].shift;
    dst[0] = static_cast<std::uint8_t>(comn__tab[r].cval | (code >> shift));
    for (int k = 1; k < n; ++k) {
      shift -= 6;
      dst[k] = static_cast<std::uint8_t>(0x80u | ((code >> shift) & 0x3Fu));
    }
    if (lenout != nullptr) *lenout = n;
    return COMN_OK;
  }
  return COMN_EUTF8RANGE;
}

// utf8 to ucs2: each character becomes its 16-bit code while two bytes of
// room remain; a bad sequence becomes 0x00 0x3F ("?") and gives -117, and
// so does a character cut off by the end of the source, which ends the
// walk with the whole source counted as consumed.
int comn__utf8_to_ucs2(COMN_CONTEXT*, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                       int room, int* consumed, int* produced) {
  if (srclen < 0) srclen = 0;
  int i = 0, o = 0;
  bool replaced = false;
  while (i < srclen && room - o >= 2) {
    int w = comn__utf8_seqlen(src[i]);
    std::uint16_t code = '?';
    if (w == 0) {
      w = 1;
      replaced = true;
    } else if (w > srclen - i) {
      dst[o++] = 0;
      dst[o++] = '?';
      replaced = true;
      i = srclen;
      break;
    } else if (comn__one_utf8_to_ucs2(src + i, w, &code) < 0) {
      code = '?';
      replaced = true;
    }
    dst[o++] = static_cast<std::uint8_t>(code >> 8);
    dst[o++] = static_cast<std::uint8_t>(code & 0xFF);
    i += w;
  }
  if (consumed != nullptr) *consumed = i;
  if (produced != nullptr) *produced = o;
  if (i < srclen) return COMN_ETRUNCATED;
  return replaced ? COMN_EREPLACED : COMN_OK;
}

// ucs2 to utf8: walks the 2-byte codes while room remains and stops at the
// first code that does not fit.
int comn__ucs2_to_utf8(COMN_CONTEXT*, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                       int room, int* consumed, int* produced) {
  if (srclen < 0) srclen = 0;
  int i = 0, o = 0;
  int status = COMN_OK;
  while (i + 2 <= srclen && o < room) {
    const auto code = static_cast<std::uint16_t>((src[i] << 8) | src[i + 1]);
    int n = 0;
    status = comn__one_ucs2_to_utf8(code, dst + o, room - o, &n);
    if (status != COMN_OK) break;
    o += n;
    i += 2;
  }
  if (consumed != nullptr) *consumed = i;
  if (produced != nullptr) *produced = o;
  if (i < srclen) return COMN_ETRUNCATED;
  return status;
}
