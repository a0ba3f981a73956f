// The locale cache of a context: entries, their copies, message
// descriptors, the locales.dat look-up, and dropping the whole state.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/comn_path.h"
#include "comnlib/lm_list.h"

namespace {

char* dup_text(const char* s, int len) {
  if (s == nullptr) return nullptr;
  auto* p = static_cast<char*>(comn_malloc(static_cast<size_t>(len) + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, s, static_cast<size_t>(len));
  p[len] = '\0';
  return p;
}

// Copies an optional name; false without memory.
bool copy_name(char*& dst, std::int32_t& dlen, const char* src, std::int32_t slen) {
  if (src == nullptr) return true;
  dst = dup_text(src, slen);
  dlen = slen;
  return dst != nullptr;
}

// Copies a value of at most 255 characters into a 256-byte field.
void take(char* field, const char* v) {
  std::strncpy(field, v, 255);
  field[255] = '\0';
}

}  // namespace

int comn__create_loccache(comn_loccache** out) {
  *out = static_cast<comn_loccache*>(comn_calloc(1, sizeof(comn_loccache)));
  return *out != nullptr ? 1 : COMN_NOMEM;
}

void comn__drop_loccache(comn_loccache* e) {
  if (e == nullptr) return;
  comn_free(e->locname);
  comn_free(e->csname);
  comn_free(e->soname);
  comn_free(e->langname);
  comn_free(e->dtname);
  comn_free(e->numname);
  comn_free(e->monname);
  comn_free(e);
}

// A fresh entry with the source's locale, set, language and sort-order
// names and their descriptors.
int comn__copy_loccache(const comn_loccache* src, comn_loccache** out) {
  int r = comn__create_loccache(out);
  if (r != 1) return r;
  comn_loccache* e = *out;
  if (!copy_name(e->locname, e->locnamelen, src->locname, src->locnamelen) ||
      !copy_name(e->csname, e->csnamelen, src->csname, src->csnamelen) ||
      !copy_name(e->langname, e->langnamelen, src->langname, src->langnamelen) ||
      !copy_name(e->soname, e->sonamelen, src->soname, src->sonamelen)) {
    comn__drop_loccache(e);
    *out = nullptr;
    return COMN_NOMEM;
  }
  e->chardesc = src->chardesc;
  e->msgdesc = src->msgdesc;
  e->sortorder = src->sortorder;
  return 1;
}

comn_loccache* com__scan_lcache_name(COMN_CONTEXT* ctx, const char* name, int len) {
  if (ctx == nullptr || ctx->intlstate == nullptr || name == nullptr) return nullptr;
  for (comn_loccache* e = ctx->intlstate->loccache; e != nullptr; e = e->next)
    if (e->locname != nullptr && e->locnamelen == len &&
        std::memcmp(e->locname, name, static_cast<size_t>(len)) == 0)
      return e;
  return nullptr;
}

void com_intl_loccache_drop(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  while (comn_loccache* e = ctx->intlstate->loccache) {
    ctx->intlstate->loccache = e->next;
    comn__drop_loccache(e);
  }
}

// Gives the entry the message descriptor of (language, entry's set),
// made and linked at the head of the state's list when new.
int comn__intl_load_message(COMN_CONTEXT* ctx, comn_object* langid, comn_loccache* entry) {
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_object* csid = entry->chardesc != nullptr ? entry->chardesc->csid : nullptr;
  for (comn_msgdesc* d = ctx->intlstate->msgdescs; d != nullptr; d = d->next)
    if (d->langid == langid && d->csid == csid) {
      entry->msgdesc = d;
      return 1;
    }
  auto* d = static_cast<comn_msgdesc*>(comn_calloc(1, sizeof(comn_msgdesc)));
  if (d == nullptr) return COMN_NOMEM;
  d->langid = langid;
  d->csid = csid;
  d->next = ctx->intlstate->msgdescs;
  ctx->intlstate->msgdescs = d;
  entry->msgdesc = d;
  return 1;
}

void comn__message_drop(comn_msgdesc* desc) {
  if (desc == nullptr) return;
  com__errfile_cache_drop(desc->files);
  comn_free(desc);
}

void comn_intl_message_drop(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  while (comn_msgdesc* d = ctx->intlstate->msgdescs) {
    ctx->intlstate->msgdescs = d->next;
    comn__message_drop(d);
  }
}

int comn_lm_exit(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr || ctx->intlstate->lmctx == nullptr) return 0;
  comn_intl_drop_mnemdb(ctx);  // its records are freed before their list goes
  const int r = lm_exit(ctx->intlstate->lmctx, LM_FORCE);
  ctx->intlstate->lmctx = nullptr;
  return r;
}

void comn_intl_exit(COMN_CONTEXT* ctx) {
  if (ctx == nullptr) return;
  comn_drop_user_charconv_list(ctx);
  if (ctx->intlstate == nullptr) return;
  com_intl_loccache_drop(ctx);
  comn_intl_message_drop(ctx);
  comn_intl_dt_drop(ctx);
  comn_intl_mon_drop(ctx);
  comn_intl_num_drop(ctx);
  comn_lm_exit(ctx);
  com_intl_chardesc_drop(ctx);
  comn_intlstate_free(ctx);
}

// Finds the locale in the "sun_svr4" section of locales/locales.dat.
int comn__intl_lookup(COMN_CONTEXT* ctx, const char* name, int len, comn_lookup* out,
                      char* pathbuf, int pathlen) {
  std::memset(out, 0, sizeof *out);
  if (name == nullptr || len < 0) return 0;
  INTL_LOCFILE lf;
  int r = com__open_locfile(ctx, nullptr, nullptr, "locales.dat", &lf, pathbuf, pathlen);
  if (r != 1) return r;
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "sun_svr4") != 0) {
  }
  r = 0;
  if (sect != nullptr) {
    while (char* e = intl_nextentry(&lf, &st)) {
      if (std::strcmp(e, "locale") != 0) break;
      int vst = 0;
      char* v = intl_nextvalue(&lf, &vst);
      if (v == nullptr) {
        st = vst;
        if (vst < 0) break;
        continue;
      }
      if (std::strlen(v) != static_cast<size_t>(len) ||
          std::memcmp(v, name, static_cast<size_t>(len)) != 0)
        continue;
      char* lang = intl_nextvalue(&lf, &vst);
      if (lang != nullptr) take(out->lang, lang);
      char* cs = lang != nullptr ? intl_nextvalue(&lf, &vst) : nullptr;
      if (cs == nullptr) {
        st = vst;
        break;
      }
      take(out->charset, cs);
      char* so = intl_nextvalue(&lf, &vst);
      take(out->sortorder, so != nullptr && so[0] != '\0' ? so : "binary");
      char* fields[] = {out->datetime, out->numeric, out->money};
      for (char* f : fields) {
        char* x = so != nullptr ? intl_nextvalue(&lf, &vst) : nullptr;
        if (x == nullptr) break;
        take(f, x);
      }
      st = vst;
      r = 1;
      break;
    }
  }
  if (st < 0) {
    ctx->intl_err = st;
    r = COMN_EINTL;
  }
  const int c = intl_close(&lf);
  if (r == 1 && c != 1) {
    ctx->intl_err = c;
    r = COMN_EINTL;
  }
  return r;
}

int comn__build_parsetree() { return 1; }

namespace {
// A node of a format list: the value in its first word, the next node in
// its fourth.
struct FmtNode {
  std::int32_t value;
  std::int32_t w2;
  std::int32_t w3;
  const FmtNode* next;
};
}  // namespace

int comn__chk_format(std::int32_t value, const void* list, int flag) {
  for (auto* n = static_cast<const FmtNode*>(list); n != nullptr; n = n->next)
    if (n->value == value) return flag ? 1 : 0;
  return 1;
}

comn_loccache* comn__fmt_entry(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt, int category) {
  comn_locale* loc = fmt != nullptr && fmt->locale != nullptr ? fmt->locale
                     : ctx != nullptr                          ? ctx->deflocale
                                                               : nullptr;
  if (loc == nullptr || category < 1 || category > 6) return nullptr;
  return loc->cat[category - 1];
}
