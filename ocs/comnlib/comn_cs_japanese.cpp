// Built-in converters among the Japanese encodings eucjis, sjis and
// deckanji.  Bytes below 0x80 are copied; characters without a form in
// the target become "?" (one per source byte) and make the status -117.
#include <algorithm>

#include "comnlib/comn_cs.h"

namespace {

bool jis(int b) { return b >= 0xA1 && b <= 0xFE; }

// EUC pair to Shift_JIS.
void euc_to_sjis(int lead, int trail, std::uint8_t* out) {
  const int t = ((lead + 1) % 256) / 2;
  out[0] = static_cast<std::uint8_t>(t >= 0x70 ? t + 0x70 : t + 0x30);
  if (lead % 2 == 1)
    out[1] = static_cast<std::uint8_t>(trail > 0xDF ? trail - 0x60 : trail - 0x61);
  else
    out[1] = static_cast<std::uint8_t>(trail - 2);
}

// Shift_JIS pair to EUC.
void sjis_to_euc(int lead, int trail, std::uint8_t* out) {
  if (lead >= 0xE0) lead -= 0x40;
  const int r = (lead - 0x30) * 2;
  if (trail < 0x9F) {
    out[0] = static_cast<std::uint8_t>(r - 1);
    out[1] = static_cast<std::uint8_t>(trail >= 0x7F ? trail + 0x60 : trail + 0x61);
  } else {
    out[0] = static_cast<std::uint8_t>(r);
    out[1] = static_cast<std::uint8_t>(trail + 2);
  }
}

// Output of one walk: bytes written, bytes consumed, replacements.
struct Out {
  std::uint8_t* dst;
  int produced = 0;
  bool replaced = false;
  void put(int b) { dst[produced++] = static_cast<std::uint8_t>(b); }
  void q(int n) {
    for (int i = 0; i < n; ++i) put('?');
    replaced = true;
  }
};

int finish(const Out& o, int consumed, bool truncated, int* consumed_out, int* produced_out) {
  if (consumed_out != nullptr) *consumed_out = consumed;
  if (produced_out != nullptr) *produced_out = o.produced;
  if (o.replaced) return COMN_EREPLACED;
  return truncated ? COMN_ETRUNCATED : COMN_OK;
}

// eucjis (and, for the pairs, deckanji) sources.  `to_sjis` converts
// pairs by arithmetic and keeps half-width katakana; `pair_rule_dec`
// applies the deckanji trail rule (below 0xA1 or 0xFF is bad).
int euc_walk(const std::uint8_t* src, int len, std::uint8_t* dst, int room, int* consumed,
             int* produced, bool to_sjis, bool from_dec) {
  if (len < 0) len = 0;
  if (room < 0) room = 0;
  const int n = std::min(len, room);
  Out o{dst};
  int i = 0;
  int kana = 0;
  while (i < n) {
    const int b = src[i];
    if (b < 0x80) {
      o.put(b);
      i += 1;
    } else if (!from_dec && b == 0x8E) {
      if (i + 2 > n) break;
      if (to_sjis) {
        o.put(src[i + 1]);
        ++kana;
      } else {
        o.q(2);
      }
      i += 2;
    } else if (!from_dec && b == 0x8F) {
      if (i + 3 > n) break;
      o.q(3);
      i += 3;
    } else if (!jis(b)) {
      o.q(1);
      i += 1;
    } else {
      if (i + 2 > n) break;
      const int t = src[i + 1];
      const bool bad = to_sjis && !from_dec ? !jis(t) : (t < 0xA1 || t == 0xFF);
      if (bad) {
        o.q(2);
      } else if (to_sjis) {
        euc_to_sjis(b, t, o.dst + o.produced);
        o.produced += 2;
      } else {
        o.put(b);
        o.put(t);
      }
      i += 2;
    }
  }
  // Half-width katakana shrank the output: pad it to the consumed count
  // when the whole part was converted.
  if (to_sjis && !from_dec && i == n)
    for (int k = 0; k < kana; ++k) o.put(0);
  return finish(o, i, room < len, consumed, produced);
}

}  // namespace

int comn__eucjis_to_sjis(COMN_CONTEXT*, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                         int room, int* consumed, int* produced) {
  return euc_walk(src, srclen, dst, room, consumed, produced, true, false);
}

int comn__eucjis_to_deckanji(COMN_CONTEXT*, const std::uint8_t* src, int srclen,
                             std::uint8_t* dst, int room, int* consumed, int* produced) {
  return euc_walk(src, srclen, dst, room, consumed, produced, false, false);
}

int comn__deckanji_to_eucjis(COMN_CONTEXT*, const std::uint8_t* src, int srclen,
                             std::uint8_t* dst, int room, int* consumed, int* produced) {
  return euc_walk(src, srclen, dst, room, consumed, produced, false, true);
}

int comn__deckanji_to_sjis(COMN_CONTEXT*, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                           int room, int* consumed, int* produced) {
  return euc_walk(src, srclen, dst, room, consumed, produced, true, true);
}

// Shift_JIS to eucjis or deckanji (the same bytes for both).  The walk
// stops before a character whose output would pass the room.
int comn__sjis_to_eucjis_deckanji(COMN_CONTEXT*, const std::uint8_t* src, int srclen,
                                  std::uint8_t* dst, int room, int* consumed, int* produced) {
  if (srclen < 0) srclen = 0;
  if (room < 0) room = 0;
  Out o{dst};
  int i = 0;
  bool truncated = false;
  while (i < srclen) {
    const int b = src[i];
    const bool pair_lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF) ||
                           (b >= 0xF0 && b <= 0xFC);
    const int need = (pair_lead || (b >= 0xA1 && b <= 0xDF)) ? 2 : 1;
    if (o.produced + need > room) {
      truncated = true;
      break;
    }
    if (b < 0x80) {
      o.put(b);
      i += 1;
    } else if (pair_lead) {
      if (i + 2 > srclen) break;  // cut off by the end: not converted
      const int t = src[i + 1];
      if (b <= 0xEF && t >= 0x40 && t <= 0xFC && t != 0x7F) {
        sjis_to_euc(b, t, o.dst + o.produced);
        o.produced += 2;
      } else {
        o.q(2);
      }
      i += 2;
    } else if (b >= 0xA1 && b <= 0xDF) {
      o.put(0x8E);
      o.put(b);
      i += 1;
    } else {
      o.q(1);
      i += 1;
    }
  }
  return finish(o, i, truncated, consumed, produced);
}
