// Built-in converters among the single-byte sets cp437, cp850, iso_1,
// roman8 and mac, the table that names every built-in converter, and two
// small helpers.
#include <algorithm>
#include <cstring>

#include "comn_cs_sbtables.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_path.h"

namespace {

// Ranges of one single-byte converter: bytes up to `copy_to` are copied,
// bytes from `lo` to `hi` are looked up in `tab`, everything else is "?".
struct SbRule {
  int copy_to;
  int lo;
  int hi;
  const std::uint8_t* tab;
};

int sb_convert(const SbRule& r, const std::uint8_t* src, int len, std::uint8_t* dst, int room,
               int* consumed, int* produced) {
  if (len < 0) len = 0;
  if (room < 0) room = 0;
  const int n = std::min(len, room);
  int status = room < len ? COMN_ETRUNCATED : COMN_OK;
  bool replaced = false;
  for (int i = 0; i < n; ++i) {
    const int b = src[i];
    int v = b;
    if (b > r.copy_to) {
      v = (b >= r.lo && b <= r.hi) ? r.tab[b - r.lo] : 0;
      if (v == 0) {
        v = '?';
        replaced = true;
      }
    }
    dst[i] = static_cast<std::uint8_t>(v);
  }
  if (consumed != nullptr) *consumed = n;
  if (produced != nullptr) *produced = n;
  return replaced ? COMN_EREPLACED : status;
}

}  // namespace

#define COMN_SB(fn, copy_to, lo, hi, tab)                                                   \
  int fn(COMN_CONTEXT*, const std::uint8_t* src, int srclen, std::uint8_t* dst, int room, \
         int* consumed, int* produced) {                                                  \
    static const SbRule rule{copy_to, lo, hi, comn_sb::tab};                              \
    return sb_convert(rule, src, srclen, dst, room, consumed, produced);                  \
  }

COMN_SB(comn__iso1_to_cp850, 127, 160, 255, k_iso1_to_cp850)
COMN_SB(comn__iso1_to_cp437, 127, 160, 255, k_iso1_to_cp437)
COMN_SB(comn__iso1_to_roman8, 127, 160, 255, k_iso1_to_roman8)
COMN_SB(comn__iso1_to_mac, 127, 160, 255, k_iso1_to_mac)
COMN_SB(comn__cp850_to_iso1, 127, 128, 255, k_cp850_to_iso1)
COMN_SB(comn__cp850_to_cp437, 154, 155, 255, k_cp850_to_cp437)
COMN_SB(comn__cp850_to_roman8, 127, 128, 255, k_cp850_to_roman8)
COMN_SB(comn__cp850_to_mac, 127, 128, 255, k_cp850_to_mac)
COMN_SB(comn__cp437_to_iso1, 127, 128, 255, k_cp437_to_iso1)
COMN_SB(comn__cp437_to_cp850, 154, 155, 255, k_cp437_to_cp850)
COMN_SB(comn__cp437_to_roman8, 127, 128, 255, k_cp437_to_roman8)
COMN_SB(comn__cp437_to_mac, 127, 128, 255, k_cp437_to_mac)
COMN_SB(comn__roman8_to_iso1, 127, 160, 255, k_roman8_to_iso1)
COMN_SB(comn__roman8_to_cp850, 127, 160, 255, k_roman8_to_cp850)
COMN_SB(comn__roman8_to_cp437, 127, 176, 255, k_roman8_to_cp437)
COMN_SB(comn__roman8_to_mac, 127, 160, 255, k_roman8_to_mac)
COMN_SB(comn__mac_to_iso1, 127, 128, 216, k_mac_to_iso1)
COMN_SB(comn__mac_to_cp850, 127, 128, 216, k_mac_to_cp850)
COMN_SB(comn__mac_to_cp437, 127, 128, 216, k_mac_to_cp437)
COMN_SB(comn__mac_to_roman8, 127, 128, 216, k_mac_to_roman8)
#undef COMN_SB

const comn_sysalgo_row comn::sys_algos[28] = {
    {"utf8", "ucs2", comn__utf8_to_ucs2},
    {"ucs2", "utf8", comn__ucs2_to_utf8},
    {"iso_1", "cp850", comn__iso1_to_cp850},
    {"iso_1", "cp437", comn__iso1_to_cp437},
    {"iso_1", "roman8", comn__iso1_to_roman8},
    {"iso_1", "mac", comn__iso1_to_mac},
    {"cp850", "iso_1", comn__cp850_to_iso1},
    {"cp850", "cp437", comn__cp850_to_cp437},
    {"cp850", "roman8", comn__cp850_to_roman8},
    {"cp850", "mac", comn__cp850_to_mac},
    {"cp437", "iso_1", comn__cp437_to_iso1},
    {"cp437", "cp850", comn__cp437_to_cp850},
    {"cp437", "roman8", comn__cp437_to_roman8},
    {"cp437", "mac", comn__cp437_to_mac},
    {"roman8", "iso_1", comn__roman8_to_iso1},
    {"roman8", "cp850", comn__roman8_to_cp850},
    {"roman8", "cp437", comn__roman8_to_cp437},
    {"roman8", "mac", comn__roman8_to_mac},
    {"mac", "iso_1", comn__mac_to_iso1},
    {"mac", "cp850", comn__mac_to_cp850},
    {"mac", "cp437", comn__mac_to_cp437},
    {"mac", "roman8", comn__mac_to_roman8},
    {"eucjis", "sjis", comn__eucjis_to_sjis},
    {"eucjis", "deckanji", comn__eucjis_to_deckanji},
    {"sjis", "eucjis", comn__sjis_to_eucjis_deckanji},
    {"sjis", "deckanji", comn__sjis_to_eucjis_deckanji},
    {"deckanji", "eucjis", comn__deckanji_to_eucjis},
    {"deckanji", "sjis", comn__deckanji_to_sjis},
};

// Every name of the table must have a character-set id in the context.
// The ids are looked up per context (not kept process-wide), so a table
// never holds ids of a context that is gone.
int comn__init_sys_algos_table(COMN_CONTEXT* ctx) {
  for (const auto& row : sys_algos) {
    comn_object* a = nullptr;
    comn_object* b = nullptr;
    if (comn__lookup_id(ctx, COMN_GID_CHARSET, row.from, -9, &a) != 1 ||
        comn__lookup_id(ctx, COMN_GID_CHARSET, row.to, -9, &b) != 1)
      return COMN_ENOID;
  }
  return 1;
}

int comn__get_sys_algo(COMN_CONTEXT* ctx, const comn_object* from, const comn_object* to,
                       COMN_SYSALGO* routine) {
  if (routine != nullptr) *routine = nullptr;
  if (from == nullptr || to == nullptr) return 0;
  for (const auto& row : sys_algos) {
    comn_object* a = nullptr;
    comn_object* b = nullptr;
    if (comn__lookup_id(ctx, COMN_GID_CHARSET, row.from, -9, &a) == 1 && a == from &&
        comn__lookup_id(ctx, COMN_GID_CHARSET, row.to, -9, &b) == 1 && b == to) {
      if (routine != nullptr) *routine = row.routine;
      return 1;
    }
  }
  return 0;
}

int com_memhilo(const void* a, int alen, const void* b, int blen) {
  const auto* x = static_cast<const std::uint8_t*>(a);
  const auto* y = static_cast<const std::uint8_t*>(b);
  const int n = std::max(0, std::min(alen, blen));
  for (int i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  if (alen == blen) return 0;
  return alen < blen ? -1 : 1;
}

int comn_get_default_tid(void* buf, int buflen, int* lenout) {
  if (buf == nullptr || buflen < 4) return 0;
  std::memset(buf, 0, 4);
  if (lenout != nullptr) *lenout = 4;
  return 1;
}
