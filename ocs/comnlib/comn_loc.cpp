// Locale loading of the common library: setting a context up, loading a
// locale named in locales.dat, variants of a locale with another
// language, set or sort order, and the small queries on locales.
#include <cstring>
#include <string>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/comn_path.h"
#include "comnlib/comn_sort.h"
#include "comnlib/lm_list.h"

namespace {

bool set_name(char*& dst, std::int32_t& len, const char* src) {
  comn_free(dst);
  len = static_cast<std::int32_t>(std::strlen(src));
  dst = static_cast<char*>(comn_malloc(static_cast<size_t>(len) + 1));
  if (dst == nullptr) return false;
  std::memcpy(dst, src, static_cast<size_t>(len) + 1);
  return true;
}

bool gid_empty(const comn_intlstate* s) {
  for (const comn_object* o : s->gid)
    if (o != nullptr) return false;
  return true;
}

// Removes a descriptor from the state's list and frees it.
void unload_desc(comn_intlstate* s, comn_chardesc* d) {
  for (comn_chardesc** pp = &s->chardescs; *pp != nullptr; pp = &(*pp)->next)
    if (*pp == d) {
      *pp = d->next;
      break;
    }
  comn__chardesc_drop(d);
}

}  // namespace

// Sets the context's localisation up once: the utf8 set with its binary
// sort order, the ucs2 id, the list-manager context and the built-in
// converters.  The global ids come from config/objectid.dat when the
// cache is still empty.
int comn_intl_init(COMN_CONTEXT* ctx, char* pathbuf, int pathlen) {
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_intlstate* s = ctx->intlstate;
  if (s->utf8desc != nullptr) return 1;
  if (gid_empty(s)) {
    r = comn__load_objectids(ctx);
    if (r != 1) return r;
  }
  comn_object* utf8 = nullptr;
  comn_object* binary = nullptr;
  comn_object* ucs2 = nullptr;
  if (comn__lookup_id(ctx, COMN_GID_CHARSET, "utf8", -9, &utf8) != 1 ||
      comn__lookup_id(ctx, COMN_GID_SORTORDER, "binary", -9, &binary) != 1 ||
      comn__lookup_id(ctx, COMN_GID_CHARSET, "ucs2", -9, &ucs2) != 1)
    return 0;
  comn_loccache u{};
  u.csname = const_cast<char*>("utf8");
  u.csnamelen = 4;
  u.soname = const_cast<char*>("binary");
  u.sonamelen = 6;
  comn_locale* saved = ctx->deflocale;
  ctx->deflocale = nullptr;  // the sort order is loaded below, once
  r = comn__intl_load_charset(ctx, utf8, &u, pathbuf, pathlen);
  ctx->deflocale = saved;
  if (r != 1) return r;
  s->utf8desc = u.chardesc;
  r = comn__intl_load_sortorder(ctx, binary, &u, pathbuf, pathlen);
  if (r == 1) {
    s->ucs2id = ucs2;
    if (s->lmctx == nullptr) {
      const int lr = lm_initlm(1100, "comnlib list context", LM_NULLTERM, &s->lmctx);
      r = lr == 1 ? 1 : (lr == -1 ? COMN_NOMEM : 0);
    }
  }
  if (r == 1) r = comn__init_sys_algos_table(ctx);
  if (r != 1) {
    // Undo, so that a later call starts again instead of finding a half
    // set-up state.
    s->utf8desc = nullptr;
    unload_desc(s, u.chardesc);
  }
  return r;
}

// The cache entry of a locale, loaded from locales.dat and the files it
// names when not cached yet.
int comn_intl_load(COMN_CONTEXT* ctx, const char* name, int namelen, comn_loccache** result,
                   char* pathbuf, int pathlen) {
  if (ctx == nullptr || name == nullptr || result == nullptr) return 0;
  if (namelen == -9) namelen = static_cast<int>(std::strlen(name));
  *result = nullptr;
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  if (comn_loccache* e = com__scan_lcache_name(ctx, name, namelen)) {
    *result = e;
    return 1;
  }
  comn_lookup look{};
  r = comn__intl_lookup(ctx, name, namelen, &look, pathbuf, pathlen);
  if (r != 1) return r;
  comn_loccache* e = nullptr;
  r = comn__create_loccache(&e);
  if (r != 1) return r;
  auto fail = [&](int code) {
    comn__drop_loccache(e);
    return code;
  };
  const std::string locname(name, static_cast<size_t>(namelen));
  if (!set_name(e->locname, e->locnamelen, locname.c_str()) ||
      !set_name(e->csname, e->csnamelen, look.charset) ||
      !set_name(e->langname, e->langnamelen, look.lang) ||
      !set_name(e->soname, e->sonamelen, look.sortorder))
    return fail(COMN_NOMEM);
  comn_object* id = nullptr;
  if ((r = comn__lookup_id(ctx, COMN_GID_CHARSET, e->csname, -9, &id)) != 1) return fail(r);
  if ((r = comn__intl_load_charset(ctx, id, e, pathbuf, pathlen)) != 1) return fail(r);
  if ((r = comn__lookup_id(ctx, COMN_GID_LANGUAGE, e->langname, -9, &id)) != 1) return fail(r);
  if ((r = comn__intl_load_message(ctx, id, e)) != 1) return fail(r);
  if ((r = comn__lookup_id(ctx, COMN_GID_SORTORDER, e->soname, -9, &id)) != 1) return fail(r);
  if ((r = comn__intl_load_sortorder(ctx, id, e, pathbuf, pathlen)) != 1) return fail(r);
  if (look.datetime[0] != '\0') {
    if (!set_name(e->dtname, e->dtnamelen, look.datetime)) return fail(COMN_NOMEM);
    if ((r = comn__lookup_id(ctx, COMN_GID_DATETIME, e->dtname, -9, &id)) != 1) return fail(r);
  } else if ((r = comn__read_common(ctx, e, pathbuf, pathlen)) != 1) {
    return fail(r);
  }
  if (look.numeric[0] != '\0') {
    if (!set_name(e->numname, e->numnamelen, look.numeric)) return fail(COMN_NOMEM);
    if ((r = comn__lookup_id(ctx, COMN_GID_NUMERIC, e->numname, -9, &id)) != 1) return fail(r);
  }
  if (look.money[0] != '\0') {
    if (!set_name(e->monname, e->monnamelen, look.money)) return fail(COMN_NOMEM);
    if ((r = comn__lookup_id(ctx, COMN_GID_MONEY, e->monname, -9, &id)) != 1) return fail(r);
    if ((r = comn__load_locdata(ctx, 4, id, e, pathbuf, pathlen)) != 1) return fail(r);
  }
  e->next = ctx->intlstate->loccache;
  ctx->intlstate->loccache = e;
  *result = e;
  return 1;
}

// An entry like `base` but with another language (8), set (9) or sort
// order (10).
int comn_intl_load_mertypes(COMN_CONTEXT* ctx, int property, const char* name, int namelen,
                            char* pathbuf, int pathlen, comn_loccache* base,
                            comn_loccache** result) {
  if (ctx == nullptr || ctx->intlstate == nullptr || base == nullptr || result == nullptr ||
      name == nullptr || base->chardesc == nullptr || base->msgdesc == nullptr)
    return 0;
  if (namelen == -9) namelen = static_cast<int>(std::strlen(name));
  const int kind = property == 8 ? COMN_GID_LANGUAGE
                   : property == 9 ? COMN_GID_CHARSET
                   : property == 10 ? COMN_GID_SORTORDER
                                    : -1;
  if (kind < 0) return 0;
  comn_object* cs = base->chardesc->csid;
  comn_object* lang = base->msgdesc->langid;
  comn_object* so = base->sortorder != nullptr ? base->sortorder->soid : nullptr;
  comn_object* id = nullptr;
  if (comn__lookup_id(ctx, kind, name, namelen, &id) != 1) return COMN_ENOID;
  (property == 8 ? lang : property == 9 ? cs : so) = id;
  for (comn_loccache* e = ctx->intlstate->loccache; e != nullptr; e = e->next) {
    if (e->chardesc == nullptr || e->msgdesc == nullptr) continue;
    const comn_object* eso = e->sortorder != nullptr ? e->sortorder->soid : nullptr;
    if (e->chardesc->csid == cs && e->msgdesc->langid == lang && eso == so) {
      *result = e;
      return 1;
    }
  }
  comn_loccache* e = nullptr;
  int r = comn__copy_loccache(base, &e);
  if (r != 1) return r;
  const std::string nm(name, static_cast<size_t>(namelen));
  auto fail = [&](int code) {
    comn__drop_loccache(e);
    return code;
  };
  if (property == 8) {
    if (!set_name(e->langname, e->langnamelen, nm.c_str())) return fail(COMN_NOMEM);
    r = comn__intl_load_message(ctx, id, e);
  } else if (property == 9) {
    if (!set_name(e->csname, e->csnamelen, nm.c_str())) return fail(COMN_NOMEM);
    r = comn__intl_load_charset(ctx, id, e, pathbuf, pathlen);
    // The message descriptor belongs to a (language, set) pair, and sort
    // orders to their set: both are found again for the new set.
    if (r == 1) r = comn__intl_load_message(ctx, lang, e);
    e->sortorder = nullptr;
    comn_object* soid = nullptr;
    if (r == 1 && e->soname != nullptr &&
        (r = comn__lookup_id(ctx, COMN_GID_SORTORDER, e->soname, -9, &soid)) == 1)
      r = comn__intl_load_sortorder(ctx, soid, e, pathbuf, pathlen);
  } else {
    if (!set_name(e->soname, e->sonamelen, nm.c_str())) return fail(COMN_NOMEM);
    r = comn__intl_load_sortorder(ctx, id, e, pathbuf, pathlen);
  }
  if (r != 1) return fail(r);
  if (e->dtinfo == nullptr && (r = comn__read_common(ctx, e, pathbuf, pathlen)) != 1)
    return fail(r);
  comn_free(e->locname);
  e->locname = nullptr;
  e->locnamelen = 0;
  e->next = ctx->intlstate->loccache;
  ctx->intlstate->loccache = e;
  *result = e;
  return 1;
}

// The locale name of a category from the environment.
int com_intl_envloc(COMN_CONTEXT* ctx, int category, char* buf, int buflen) {
  static const char* const vars[] = {"LC_COLLATE", "LC_CTYPE",   "LC_MESSAGE", "LC_MONETARY",
                                     "LC_NUMERIC", "LC_TIME",    "LC_ALL"};
  const char* names[2] = {category >= 1 && category <= 7 ? vars[category - 1] : nullptr, "LANG"};
  for (const char* n : names) {
    if (n == nullptr) continue;
    const int r = intlgetenv(buf, buflen, n);
    if (r < 0) {
      if (ctx != nullptr) ctx->intl_err = r;
      return COMN_EINTL;
    }
    if (r > 0) return 1;
  }
  if (buf == nullptr || buflen < 8) {
    if (ctx != nullptr) ctx->intl_err = -7;
    return COMN_EINTL;
  }
  std::memcpy(buf, "default", 8);
  return 1;
}

int com_intl_getstr(const comn_locale* loc, int category, int item, char* buf, int buflen,
                    int* outlen) {
  if (loc == nullptr || category < 1 || category > 6) return 0;
  const comn_loccache* e = loc->cat[category - 1];
  if (e == nullptr) return 0;
  auto str = [](const char* s) { return std::string(s != nullptr ? s : ""); };
  std::string text;
  switch (item) {
    case 1: text = str(e->csname); break;
    case 2: text = str(e->langname); break;
    case 3: text = str(e->soname); break;
    default: text = str(e->langname) + "." + str(e->csname); break;
  }
  if (outlen != nullptr) *outlen = static_cast<int>(text.size());
  if (buf == nullptr || buflen < static_cast<int>(text.size())) return 0;
  std::memcpy(buf, text.data(), text.size());
  if (buflen > static_cast<int>(text.size())) buf[text.size()] = '\0';
  return 1;
}

int com_intl_loccmp(int category, int item, const comn_locale* a, const comn_locale* b) {
  if (a == b) return 0;
  if (a == nullptr || b == nullptr || category < 1 || category > 6) return 1;
  const comn_loccache* x = a->cat[category - 1];
  const comn_loccache* y = b->cat[category - 1];
  if (x == y) return 0;
  if (x == nullptr || y == nullptr) return 1;
  switch (item) {
    case 1: return x->chardesc == y->chardesc ? 0 : 1;
    case 2: return x->msgdesc == y->msgdesc ? 0 : 1;
    case 3: return x->sortorder == y->sortorder ? 0 : 1;
    default: return 0;
  }
}

const COM_CHARATTRIB* com_intl_charattr(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_loccache* e = comn__fmt_entry(ctx, fmt, COMN_LC_CTYPE);
  if (e != nullptr && e->chardesc != nullptr && e->chardesc->attr != nullptr)
    return e->chardesc->attr;
  return com_get_charattrib();
}

// Converts a UTF-8 name into the character set of the context's default
// locale.
int com_intl_get_locname(COMN_CONTEXT* ctx, const char* utf8name, int namelen, char* buf,
                         int buflen, int* outlen) {
  if (namelen == 0) {
    if (outlen != nullptr) *outlen = 0;
    return 1;
  }
  comn_loccache* e = comn__fmt_entry(ctx, nullptr, COMN_LC_CTYPE);
  if (e == nullptr || utf8name == nullptr) return 0;
  COMN_DATAFORMAT fmt{};
  fmt.maxlength = buflen;
  std::int32_t n = 0;
  const int r = comn__convt_from_utf8(ctx, 0, reinterpret_cast<const std::uint8_t*>(utf8name),
                                      namelen, &fmt, e, reinterpret_cast<std::uint8_t*>(buf), &n);
  if (outlen != nullptr) *outlen = n;
  return r;
}

// Attaches money (4), numeric (5) or date (6) information.
int comn__load_locdata(COMN_CONTEXT* ctx, int kind, comn_object* oid, comn_loccache* entry,
                       char*, int) {
  if (ctx == nullptr || entry == nullptr) return 0;
  switch (kind) {
    case 4:
      entry->moninfo = comn__scan_cache_mon(ctx, oid);
      return entry->moninfo != nullptr ? 1 : comn__read_monfile(ctx);
    case 5:
      entry->numinfo = comn__scan_cache_num(ctx, oid);
      return entry->numinfo != nullptr ? 1 : comn__read_numfile(ctx);
    case 6:
      entry->dtinfo = comn__scan_cache_dt(ctx, oid);
      return entry->dtinfo != nullptr ? 1 : comn__read_dtfile(ctx);
    default:
      return 0;
  }
}
