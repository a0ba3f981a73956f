// The character-set conversion engine: a copy between formats of one set,
// a caller's conversion routine, the source set's configuration entry for
// the target (table or built-in routine), or two legs through utf8.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_cschar.h"
#include "comnlib/comn_err.h"

namespace {

// Data and length of a value: a varchar (datatype 18) carries a signed
// 16-bit length before at most 256 bytes.
void span(const COMN_DATAFORMAT* fmt, const void* src, const std::uint8_t** data, int* len) {
  const auto* p = static_cast<const std::uint8_t*>(src);
  if (fmt != nullptr && fmt->datatype == COMN_DT_VARCHAR) {
    std::int16_t n = 0;
    std::memcpy(&n, p, sizeof n);
    *data = p + 2;
    *len = std::clamp<int>(n, 0, COMN_VARY_ROOM);
    return;
  }
  *data = p;
  *len = fmt != nullptr ? std::max(0, fmt->maxlength) : 0;
}

// Where a converter writes: after the length of a varchar target.
void target(COMN_DATAFORMAT* fmt, void* dst, std::uint8_t** out, int* room) {
  auto* p = static_cast<std::uint8_t*>(dst);
  if (fmt != nullptr && fmt->datatype == COMN_DT_VARCHAR) {
    *out = p + 2;
    *room = COMN_VARY_ROOM;
    return;
  }
  *out = p;
  *room = fmt != nullptr ? std::max(0, fmt->maxlength) : 0;
}

comn_loccache* cat_entry(comn_locale* loc, int category) {
  if (category < COMN_LC_CTYPE || category > COMN_LC_TIME) category = COMN_LC_CTYPE;
  return loc != nullptr ? loc->cat[category - 1] : nullptr;
}

bool is_utf8(COMN_CONTEXT* ctx, const comn_loccache* e) {
  return e != nullptr && e->chardesc != nullptr && ctx->intlstate != nullptr &&
         e->chardesc == ctx->intlstate->utf8desc;
}

bool is_ucs2(COMN_CONTEXT* ctx, const comn_loccache* e) {
  return e != nullptr && e->chardesc != nullptr && ctx->intlstate != nullptr &&
         ctx->intlstate->ucs2id != nullptr && e->chardesc->csid == ctx->intlstate->ucs2id;
}

std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// Everything one table walk needs.
struct TableRun {
  COMN_CONTEXT* ctx;
  int mode;
  comn_convconfig* cfg;
  comn_loccache* se;
  comn_loccache* de;
};

int use_mnemonic(const TableRun& t, const std::uint8_t* ch, int n, std::uint8_t* out, int room,
                 std::int32_t* written) {
  std::uint8_t u8[4];
  std::int32_t ulen = 0;
  COMN_DATAFORMAT sf{};
  sf.maxlength = n;
  const int r = comn__convt_to_utf8(t.ctx, 1, &sf, t.se, ch, u8, sizeof u8, &ulen);
  if (r != COMN_OK) return comn__use_replacement(t.cfg, out, room, written) == COMN_OK
                               ? COMN_EREPLACED
                               : COMN_ETRUNCATED;
  char mn[256];
  int mlen = 0;
  if (comn__retrieve_mnemonic(t.ctx, u8, ulen, mn, 255, &mlen) != 1) return 0;
  COMN_DATAFORMAT df{};
  df.maxlength = room;
  return comn__convt_from_utf8(t.ctx, 1, reinterpret_cast<std::uint8_t*>(mn), mlen, &df, t.de,
                               out, written);
}

// One character of n bytes by table.
int one_char(const TableRun& t, const std::uint8_t* ch, int n, std::uint8_t* out, int room,
             std::int32_t* written) {
  const comn_convtable* tab = t.cfg->table;
  *written = 0;
  int digits[1 + 2 * 15];
  int nd = 0;
  digits[nd++] = ch[0];
  for (int i = 1; i < n && nd + 2 <= static_cast<int>(std::size(digits)); ++i) {
    digits[nd++] = ch[i] >> 4;
    digits[nd++] = ch[i] & 15;
  }
  int base = 0, kind = 5, used = 0;
  const std::uint8_t* e = nullptr;
  while (used < nd && kind == 5) {
    const int idx = base + digits[used++];
    if (idx >= tab->nindex || tab->index[idx] >= tab->ndest) {
      kind = 1;  // outside the table: no mapping
      e = nullptr;
      break;
    }
    e = tab->dest + 8 * tab->index[idx];
    kind = e[5];
    if (kind == 5) base = be16(e + 6);
  }
  const bool early = used < nd || kind == 5;
  if (!early && kind == 2) {
    if (n > room) return COMN_ETRUNCATED;
    std::memcpy(out, ch, static_cast<size_t>(n));
    *written = n;
    return COMN_OK;
  }
  if (!early && (kind == 3 || (kind == 4 && t.mode == 2))) {
    const int len = std::min<int>(e[4], 4);
    if (len > room) return COMN_ETRUNCATED;
    std::memcpy(out, e, static_cast<size_t>(len));
    *written = len;
    return COMN_OK;
  }
  if (!early && kind != 1 && kind != 4) return 0;
  if (!early && t.mode == 3 && !is_utf8(t.ctx, t.de) && !is_ucs2(t.ctx, t.de)) {
    const int r = use_mnemonic(t, ch, n, out, room, written);
    if (r == COMN_OK || r == COMN_EREPLACED) return COMN_EREPLACED;
    if (r == COMN_ETRUNCATED) return r;
  }
  const int r = comn__use_replacement(t.cfg, out, room, written);
  return r == COMN_OK ? COMN_EREPLACED : r;
}

}  // namespace

int comn__use_replacement(const comn_convconfig* cfg, std::uint8_t* dst, int room,
                          std::int32_t* produced) {
  if (cfg->repllen > room) return COMN_ETRUNCATED;
  std::memcpy(dst, cfg->repl, static_cast<size_t>(cfg->repllen));
  if (produced != nullptr) *produced = cfg->repllen;
  return COMN_OK;
}

int comn__conv_by_table(COMN_CONTEXT* ctx, int mode, comn_convconfig* cfg, comn_loccache* se,
                        comn_loccache* de, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                        int room, std::int32_t* produced) {
  const TableRun t{ctx, mode != 0 ? mode : cfg->matchmode, cfg, se, de};
  const COM_CHARATTRIB* attr = se != nullptr && se->chardesc != nullptr ? se->chardesc->attr : nullptr;
  int i = 0, o = 0;
  bool replaced = false;
  while (i < srclen) {
    int w = attr != nullptr ? comn_char_width(attr, src + i) : 1;
    w = std::clamp(w, 1, srclen - i);
    std::int32_t n = 0;
    const int r = one_char(t, src + i, w, dst + o, room - o, &n);
    if (r == COMN_EREPLACED) {
      replaced = true;
    } else if (r != COMN_OK) {
      if (produced != nullptr) *produced = o;
      return r;
    }
    o += n;
    i += w;
  }
  if (produced != nullptr) *produced = o;
  return replaced ? COMN_EREPLACED : COMN_OK;
}

int comn__print_load_convtbl_err(int code, const char* path) {
  if (code == COMN_EOPEN) com_perrf("Can not open %s file.\n", path);
  if (code == COMN_ECTBCORRUPT)
    com_perrf("The file %s is corrupted. %s ", path, "Please re-install or re-generate it.\n");
  return code;
}

int comn__get_convert_config(COMN_CONTEXT*, const comn_chardesc* from, const comn_chardesc* to,
                             comn_convconfig** out) {
  *out = nullptr;
  if (from == nullptr || to == nullptr) return 1;
  for (comn_convconfig* c = from->configs; c != nullptr; c = c->next)
    if (c->toid == to->csid) {
      *out = c;
      break;
    }
  return 1;
}

void comn__utf8_lcache(COMN_CONTEXT* ctx, comn_loccache* out) {
  std::memset(out, 0, sizeof *out);
  out->csname = const_cast<char*>("utf8");
  out->csnamelen = 4;
  out->chardesc = ctx != nullptr && ctx->intlstate != nullptr ? ctx->intlstate->utf8desc : nullptr;
}

int comn__call_converter(COMN_CONTEXT* ctx, int mode, comn_convconfig* cfg,
                         COMN_DATAFORMAT* srcfmt, comn_loccache* se, const std::uint8_t* src,
                         COMN_DATAFORMAT* dstfmt, comn_loccache* de, std::uint8_t* dst,
                         std::int32_t* produced) {
  const std::uint8_t* data = nullptr;
  int len = 0;
  span(srcfmt, src, &data, &len);
  std::uint8_t* out = nullptr;
  int room = 0;
  target(dstfmt, dst, &out, &room);
  if (cfg->method == 2) {
    if (cfg->sysalgo == nullptr) return 0;
    int consumed = 0, prod = 0;
    const int r = cfg->sysalgo(ctx, data, len, out, room, &consumed, &prod);
    if (produced != nullptr) *produced = prod;
    return r;
  }
  if (cfg->method != 1) return 0;
  if (cfg->table == nullptr) {
    char path[COMN_PATHMAX] = {};
    const int r = comn__load_conv_table(ctx, se, cfg, path, sizeof path);
    if (r != 1) return comn__print_load_convtbl_err(r, path);
  }
  return comn__conv_by_table(ctx, mode, cfg, se, de, data, len, out, room, produced);
}

int comn__convt_to_utf8(COMN_CONTEXT* ctx, int mode, COMN_DATAFORMAT* srcfmt, comn_loccache* se,
                        const std::uint8_t* src, std::uint8_t* dst, int room,
                        std::int32_t* produced) {
  if (ctx == nullptr || ctx->intlstate == nullptr || se == nullptr) return 0;
  if (is_utf8(ctx, se)) {
    const std::uint8_t* data = nullptr;
    int len = 0;
    span(srcfmt, src, &data, &len);
    const int n = std::min(len, std::max(0, room));
    std::memcpy(dst, data, static_cast<size_t>(n));
    if (produced != nullptr) *produced = n;
    return len > room ? COMN_ETRUNCATED : COMN_OK;
  }
  comn_loccache u{};
  comn__utf8_lcache(ctx, &u);
  COMN_DATAFORMAT tf{};
  tf.maxlength = room;
  comn_userconv* uc = nullptr;
  if (comn__get_user_charconv(ctx, se->chardesc->csid, ctx->intlstate->utf8desc->csid, &uc) == 1)
    return uc->fn(ctx, srcfmt, src, &tf, dst, produced);
  comn_convconfig* cfg = nullptr;
  comn__get_convert_config(ctx, se->chardesc, u.chardesc, &cfg);
  if (cfg == nullptr) return 0;
  return comn__call_converter(ctx, mode, cfg, srcfmt, se, src, &tf, &u, dst, produced);
}

int comn__convt_from_utf8(COMN_CONTEXT* ctx, int mode, const std::uint8_t* src, int srclen,
                          COMN_DATAFORMAT* dstfmt, comn_loccache* de, std::uint8_t* dst,
                          std::int32_t* produced) {
  if (ctx == nullptr || ctx->intlstate == nullptr || de == nullptr || de->chardesc == nullptr ||
      ctx->intlstate->utf8desc == nullptr)
    return 0;
  if (is_utf8(ctx, de)) {
    std::uint8_t* out = nullptr;
    int room = 0;
    target(dstfmt, dst, &out, &room);
    const int n = std::min(std::max(0, srclen), room);
    std::memcpy(out, src, static_cast<size_t>(n));
    if (produced != nullptr) *produced = n;
    return srclen > room ? COMN_ETRUNCATED : COMN_OK;
  }
  comn_loccache u{};
  comn__utf8_lcache(ctx, &u);
  COMN_DATAFORMAT sf{};
  sf.maxlength = srclen;
  comn_userconv* uc = nullptr;
  if (comn__get_user_charconv(ctx, u.chardesc->csid, de->chardesc->csid, &uc) == 1)
    return uc->fn(ctx, &sf, src, dstfmt, dst, produced);
  comn_convconfig* cfg = nullptr;
  comn__get_convert_config(ctx, u.chardesc, de->chardesc, &cfg);
  if (cfg == nullptr) return 0;
  return comn__call_converter(ctx, mode, cfg, &sf, &u, src, dstfmt, de, dst, produced);
}

int comn_charset_convert(COMN_CONTEXT* ctx, int category, COMN_DATAFORMAT* srcfmt,
                         const void* src, COMN_DATAFORMAT* dstfmt, void* dst,
                         std::int32_t* produced) {
  if (ctx == nullptr || srcfmt == nullptr || dstfmt == nullptr) return 0;
  comn_loccache* se = cat_entry(srcfmt->locale != nullptr ? srcfmt->locale : ctx->deflocale, category);
  comn_loccache* de = cat_entry(dstfmt->locale != nullptr ? dstfmt->locale : ctx->deflocale, category);
  const int mode = category == COMN_LC_MESSAGE ? 2 : 0;
  if (se == nullptr || de == nullptr || se->chardesc == nullptr || de->chardesc == nullptr) return 0;
  if (se == de || se->chardesc == de->chardesc) {
    const int n = std::max(0, std::min(srcfmt->maxlength, dstfmt->maxlength));
    std::memcpy(dst, src, static_cast<size_t>(n));
    if (produced != nullptr) *produced = n;
    return COMN_OK;
  }
  comn_userconv* uc = nullptr;
  if (comn__get_user_charconv(ctx, se->chardesc->csid, de->chardesc->csid, &uc) == 1)
    return uc->fn(ctx, srcfmt, src, dstfmt, dst, produced);
  comn_convconfig* cfg = nullptr;
  comn__get_convert_config(ctx, se->chardesc, de->chardesc, &cfg);
  if (cfg != nullptr)
    return comn__call_converter(ctx, mode, cfg, srcfmt, se, static_cast<const std::uint8_t*>(src),
                                dstfmt, de, static_cast<std::uint8_t*>(dst), produced);
  if (ctx->intlstate == nullptr || ctx->intlstate->utf8desc == nullptr) return 0;
  comn_loccache u{};
  comn__utf8_lcache(ctx, &u);
  std::int32_t mult = 1;
  if (comn__convert_get_max_multiplier(ctx, se, &u, &mult) != 1 || mult < 1) mult = 1;
  const std::uint8_t* data = nullptr;
  int len = 0;
  span(srcfmt, src, &data, &len);
  const size_t size = std::max<size_t>(1, static_cast<size_t>(len) * static_cast<size_t>(mult));
  auto* buf = static_cast<std::uint8_t*>(comn_malloc(size));
  if (buf == nullptr) return COMN_NOMEM;
  std::int32_t n1 = 0;
  const int r1 = comn__convt_to_utf8(ctx, 1, srcfmt, se, static_cast<const std::uint8_t*>(src),
                                     buf, static_cast<int>(size), &n1);
  if (r1 != COMN_OK && r1 != COMN_ETRUNCATED && r1 != COMN_EREPLACED) {
    comn_free(buf);
    return r1;
  }
  const int r2 = comn__convt_from_utf8(ctx, 1, buf, n1, dstfmt, de,
                                       static_cast<std::uint8_t*>(dst), produced);
  comn_free(buf);
  return r2 == COMN_OK ? r1 : r2;
}

namespace {

// The multiplier of a direct conversion from -> to: 1 with it, 0 when
// there is no direct conversion, or a table load failure.
int direct_mult(COMN_CONTEXT* ctx, comn_loccache* from, comn_loccache* to, std::int32_t* mult) {
  comn_userconv* uc = nullptr;
  if (comn__get_user_charconv(ctx, from->chardesc->csid, to->chardesc->csid, &uc) == 1) {
    *mult = uc->mult;
    return 1;
  }
  comn_convconfig* cfg = nullptr;
  comn__get_convert_config(ctx, from->chardesc, to->chardesc, &cfg);
  if (cfg == nullptr) return 0;
  if (cfg->method == 1) {
    if (cfg->table == nullptr) {
      char path[COMN_PATHMAX] = {};
      const int r = comn__load_conv_table(ctx, from, cfg, path, sizeof path);
      if (r != 1) return comn__print_load_convtbl_err(r, path);
    }
    *mult = cfg->tabmult;
  } else if (cfg->method == 2) {
    *mult = cfg->sysmult;
  }
  return 1;
}

}  // namespace

// The most target bytes one source byte can become.  Without a direct
// conversion, the product of the two legs through utf8 (each leg must be
// direct, so the search never recurses).
int comn__convert_get_max_multiplier(COMN_CONTEXT* ctx, comn_loccache* from, comn_loccache* to,
                                     std::int32_t* mult) {
  if (ctx == nullptr || from == nullptr || to == nullptr || from->chardesc == nullptr ||
      to->chardesc == nullptr || mult == nullptr)
    return 0;
  if (from->chardesc == to->chardesc) {
    *mult = 1;
    return 1;
  }
  const int r = direct_mult(ctx, from, to, mult);
  if (r != 0) return r;
  if (ctx->intlstate == nullptr || ctx->intlstate->utf8desc == nullptr) return 0;
  comn_loccache u{};
  comn__utf8_lcache(ctx, &u);
  std::int32_t m1 = 1, m2 = 1;
  if (from->chardesc != u.chardesc) {
    const int a = direct_mult(ctx, from, &u, &m1);
    if (a != 1) return a;
  }
  if (to->chardesc != u.chardesc) {
    const int b = direct_mult(ctx, &u, to, &m2);
    if (b != 1) return b;
  }
  *mult = m1 * m2;
  return 1;
}

int comn_convert_max_multiplier(COMN_CONTEXT* ctx, int category, comn_locale* a, comn_locale* b,
                                std::int32_t* mult) {
  if (ctx == nullptr || mult == nullptr) return 0;
  if (category < COMN_LC_MESSAGE || category > COMN_LC_TIME) category = COMN_LC_CTYPE;
  if (a == nullptr) a = ctx->deflocale;
  if (b == nullptr) b = ctx->deflocale;
  comn_loccache* fa = cat_entry(a, category);
  comn_loccache* fb = cat_entry(b, category);
  if (a == b || fa == fb || (fa != nullptr && fb != nullptr && fa->chardesc == fb->chardesc)) {
    *mult = 1;
    return 1;
  }
  return comn__convert_get_max_multiplier(ctx, fa, fb, mult);
}
