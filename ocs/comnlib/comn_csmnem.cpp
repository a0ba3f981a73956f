// The mnemonic database: readable replacements for characters a table
// cannot map, read from config/mnemonic.dat into a chained hash list
// keyed by the character's 2-byte UCS-2 code (high byte first).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_path.h"
#include "comnlib/lm_list.h"

namespace {

struct MnemRecord {
  std::uint8_t key[2];  // UCS-2 code, high byte first
  std::uint16_t code;
  char* text;           // not NUL-ended
  std::int32_t len;
};

int drop_record(void* data, lm_props*) {
  auto* r = static_cast<MnemRecord*>(data);
  if (r != nullptr) {
    comn_free(r->text);
    comn_free(r);
  }
  return 1;
}

}  // namespace

void comn__drop_mnem_string(void* record) { drop_record(record, nullptr); }

void comn_intl_drop_mnemdb(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr || ctx->intlstate->mnemdb == nullptr) return;
  LM_PRINTFN fn = drop_record;
  void* data = nullptr;
  std::memcpy(&data, &fn, sizeof fn);
  lm_list_op(ctx->intlstate->mnemdb, LM_APPLY, nullptr, LM_NOVALUE, data, nullptr);
  lm_list_drop(ctx->intlstate->mnemdb, LM_FORCE);
  ctx->intlstate->mnemdb = nullptr;
  ctx->intlstate->mnemmax = 0;
}

// Loads the database once.  1, -416 (file cannot be opened), -403, -301,
// -1 or the list manager's code.
int comn__load_mnemonic(COMN_CONTEXT* ctx) {
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_intlstate* s = ctx->intlstate;
  if (s->mnemdb != nullptr) return 1;
  if (s->lmctx == nullptr) {
    r = lm_initlm(1100, "comnlib list context", LM_NULLTERM, &s->lmctx);
    if (r != 1) return r == -1 ? COMN_NOMEM : 0;
  }
  INTL_LOCFILE lf;
  if (com__open_cfgfile(ctx, "mnemonic.dat", &lf) != 1) return COMN_ENOMNEM;
  lm_list* list = nullptr;
  r = lm_list_alloc(s->lmctx, LM_CHASH, "Mnemonic database", LM_NULLTERM, &list);
  int size = 2000;
  if (r == 1) r = lm_list_prop(list, LM_SET, LM_PROP_TABSIZE, &size, 4, nullptr);
  int st = 0;
  char* sect = nullptr;
  if (r == 1) {
    while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "mnemonics") != 0) {
    }
    if (sect == nullptr) {
      if (st < 0) ctx->intl_err = st;
      r = st < 0 ? COMN_EINTL : COMN_ENOCONVSECT;
    }
  }
  int longest = 0;
  while (r == 1) {
    char* e = intl_nextentry(&lf, &st);
    if (e == nullptr) {
      if (st < 0) {
        ctx->intl_err = st;
        r = COMN_EINTL;
      }
      break;
    }
    if (std::strcmp(e, "mnem") != 0) continue;
    int vst = 0;
    const char* m = intl_nextvalue(&lf, &vst);
    const size_t mlen = m != nullptr ? std::strlen(m) : 0;
    if (m == nullptr || mlen < 1) {
      com_perrf("Error reading line #%d\n", lf.lineno);
      continue;
    }
    auto* rec = static_cast<MnemRecord*>(comn_calloc(1, sizeof(MnemRecord)));
    if (rec == nullptr) {
      r = COMN_NOMEM;
      break;
    }
    rec->len = static_cast<std::int32_t>(mlen - 1 > 255 ? 255 : mlen - 1);
    rec->text = static_cast<char*>(comn_malloc(static_cast<size_t>(rec->len) + 1));
    if (rec->text == nullptr) {
      comn_free(rec);
      r = COMN_NOMEM;
      break;
    }
    std::memcpy(rec->text, m + 1, static_cast<size_t>(rec->len));
    const char* c = intl_nextvalue(&lf, &vst);
    char* end = nullptr;
    const unsigned long code =
        c != nullptr && std::strlen(c) > 2 ? std::strtoul(c + 2, &end, 16) : 0;
    if (c == nullptr || end == nullptr || *end != '\0' || code > 0xFFFF) {
      drop_record(rec, nullptr);
      com_perrf("Error reading line #%d\n", lf.lineno);
      continue;
    }
    rec->code = static_cast<std::uint16_t>(code);
    rec->key[0] = static_cast<std::uint8_t>(code >> 8);
    rec->key[1] = static_cast<std::uint8_t>(code & 0xFF);
    const int ir = lm_list_op(list, LM_INSERT, rec->key, 2, rec, nullptr);
    if (ir != 1) {
      drop_record(rec, nullptr);
      r = ir == -1 ? COMN_NOMEM : ir;
      break;
    }
    if (rec->len > longest) longest = rec->len;
  }
  intl_close(&lf);
  if (r != 1) {
    if (list != nullptr) {
      LM_PRINTFN fn = drop_record;
      void* data = nullptr;
      std::memcpy(&data, &fn, sizeof fn);
      lm_list_op(list, LM_APPLY, nullptr, LM_NOVALUE, data, nullptr);
      lm_list_drop(list, LM_FORCE);
    }
    return r;
  }
  s->mnemdb = list;
  s->mnemmax = longest;
  return 1;
}

// The mnemonic of a character given in UTF-8 ("U" and its code in
// hexadecimal when the database has none).  1, -113 when the buffer is
// too short, -420 for an undecodable character, or the loader's code.
int comn__retrieve_mnemonic(COMN_CONTEXT* ctx, const std::uint8_t* utf8, int len, char* buf,
                            int buflen, int* lenout) {
  std::uint16_t code = 0;
  if (comn__one_utf8_to_ucs2(utf8, len, &code) < 0) return COMN_EBADUTF8;
  int r = comn__load_mnemonic(ctx);
  if (r != 1) return r;
  const std::uint8_t key[2] = {static_cast<std::uint8_t>(code >> 8),
                               static_cast<std::uint8_t>(code & 0xFF)};
  void* data = nullptr;
  char tmp[16];
  const char* text = tmp;
  int n = 0;
  if (lm_list_op(ctx->intlstate->mnemdb, LM_SEARCH, key, 2, nullptr, &data) == 1 &&
      data != nullptr) {
    auto* rec = static_cast<MnemRecord*>(data);
    text = rec->text;
    n = rec->len;
  } else {
    n = std::snprintf(tmp, sizeof tmp, "U%x", code);
  }
  if (n > buflen) return COMN_ETRUNCATED;
  std::memcpy(buf, text, static_cast<size_t>(n));
  if (lenout != nullptr) *lenout = n;
  return 1;
}
