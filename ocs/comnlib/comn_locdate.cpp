// Date and time information of a locale: read from its language's
// common.loc, cached per language, copied and given its own date format;
// the accessors of the date conversions; money and numeric stubs.
#include "comnlib/comn_locdate.h"

#include <cstring>

#include "comnlib/com_date.h"
#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_path.h"

namespace {

char* dup_text(const char* s, int len) {
  auto* p = static_cast<char*>(comn_malloc(static_cast<size_t>(len) + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, s, static_cast<size_t>(len));
  p[len] = '\0';
  return p;
}

// Copies a name into a new NUL-ended allocation; false without memory.
bool set_name(char*& dst, std::int32_t& len, const char* src) {
  len = static_cast<std::int32_t>(std::strlen(src));
  dst = dup_text(src, len);
  return dst != nullptr;
}

const comn_dtinfo* dt_of(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_loccache* e = comn__fmt_entry(ctx, fmt, COMN_LC_TIME);
  return e != nullptr ? e->dtinfo : nullptr;
}

comn_loccache* time_entry(COMN_CONTEXT* ctx, comn_locale* loc) {
  if (loc == nullptr && ctx != nullptr) loc = ctx->deflocale;
  return loc != nullptr ? loc->cat[COMN_LC_TIME - 1] : nullptr;
}

// Converts a UTF-8 name into the buffer in the character set of the
// locale's time entry.
int convert_name(COMN_CONTEXT* ctx, comn_locale* loc, comn_loccache* e, const char* name,
                 int len, char* buf, int buflen, int* outlen) {
  COMN_DATAFORMAT fmt{};
  fmt.maxlength = buflen;
  fmt.locale = loc;
  std::int32_t produced = 0;
  int r = comn__convt_from_utf8(ctx, 0, reinterpret_cast<const std::uint8_t*>(name), len, &fmt,
                                e, reinterpret_cast<std::uint8_t*>(buf), &produced);
  if (outlen != nullptr) *outlen = produced;
  return r;
}

}  // namespace

int com__get_dateorder_id(const char* text) {
  static const char* const orders[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
  if (text != nullptr)
    for (int i = 0; i < 6; ++i)
      if (std::strcmp(text, orders[i]) == 0) return i + 1;
  return 1;
}

int com__map_dateorder_id_to_fmt(int id) {
  static const int fmts[] = {0, 3, 11, 13, 14, 15};
  return id >= 1 && id <= 6 ? fmts[id - 1] : -1;
}

int com_intl_convt_firstday(int day, int from, int to) {
  return ((from + day - 1) % 7 - to + 8) % 7;
}

namespace {

void free_texts(comn_dtinfo* rec) {
  comn_free(rec->name);
  comn_free(rec->name2);
  for (auto* p : rec->months) comn_free(p);
  for (auto* p : rec->shortmonths) comn_free(p);
  for (auto* p : rec->days) comn_free(p);
  for (auto* p : rec->shortdays) comn_free(p);
  for (auto* p : rec->texts) comn_free(p);
}

}  // namespace

void comn__free_dtinfo(comn_dtinfo* rec) {
  if (rec == nullptr) return;
  free_texts(rec);
  comn_free(rec);
}

// Deep copy of every text and number; -1 without memory (the partial
// copy is freed, the destination left zeroed).
int comn__copy_dtinfo(const comn_dtinfo* src, comn_dtinfo* dst) {
  std::memset(dst, 0, sizeof *dst);
  bool ok = true;
  auto copy = [&](char*& d, const char* s, std::int32_t len, bool nul) {
    if (s == nullptr || !ok) return;
    d = nul ? dup_text(s, len) : static_cast<char*>(comn_malloc(static_cast<size_t>(len) + 1));
    if (d == nullptr) {
      ok = false;
      return;
    }
    if (!nul) std::memcpy(d, s, static_cast<size_t>(len));
  };
  copy(dst->name, src->name, src->namelen, false);
  copy(dst->name2, src->name2, src->name2len, false);
  for (int i = 0; i < 12; ++i) copy(dst->months[i], src->months[i], src->monthlen[i], true);
  for (int i = 0; i < 12; ++i)
    copy(dst->shortmonths[i], src->shortmonths[i], src->shortmonthlen[i], true);
  for (int i = 0; i < 7; ++i) copy(dst->days[i], src->days[i], src->daylen[i], true);
  for (int i = 0; i < 7; ++i) copy(dst->shortdays[i], src->shortdays[i], src->shortdaylen[i], true);
  for (int i = 0; i < 8; ++i) copy(dst->texts[i], src->texts[i], src->textlen[i], false);
  if (!ok) {
    free_texts(dst);
    std::memset(dst, 0, sizeof *dst);
    return COMN_NOMEM;
  }
  dst->id = src->id;
  dst->twelvehour = src->twelvehour;
  dst->namelen = src->namelen;
  dst->name2len = src->name2len;
  std::memcpy(dst->monthlen, src->monthlen, sizeof dst->monthlen);
  std::memcpy(dst->shortmonthlen, src->shortmonthlen, sizeof dst->shortmonthlen);
  std::memcpy(dst->daylen, src->daylen, sizeof dst->daylen);
  std::memcpy(dst->shortdaylen, src->shortdaylen, sizeof dst->shortdaylen);
  std::memcpy(dst->textlen, src->textlen, sizeof dst->textlen);
  dst->firstday = src->firstday;
  dst->reserved = src->reserved;
  std::memcpy(dst->dateorder, src->dateorder, sizeof dst->dateorder);
  dst->dtfmt = src->dtfmt;
  dst->fmtset = src->fmtset;
  dst->orderid = src->orderid;
  return 1;
}

// A new date record for dst with copies of src's names, order, first day,
// clock and format ids.  Each name is its own allocation, so the record
// is freed like any other.  1 or -1.
int com__copy_common_info(const comn_loccache* src, comn_loccache* dst) {
  if (src == nullptr || dst == nullptr || src->dtinfo == nullptr) return 0;
  auto* rec = static_cast<comn_dtinfo*>(comn_calloc(1, sizeof(comn_dtinfo)));
  if (rec == nullptr) return COMN_NOMEM;
  const comn_dtinfo* s = src->dtinfo;
  bool ok = true;
  for (int i = 0; i < 12 && ok; ++i) {
    if (s->months[i] != nullptr) ok = (rec->months[i] = dup_text(s->months[i], s->monthlen[i])) != nullptr;
    if (ok && s->shortmonths[i] != nullptr)
      ok = (rec->shortmonths[i] = dup_text(s->shortmonths[i], s->shortmonthlen[i])) != nullptr;
  }
  for (int i = 0; i < 7 && ok; ++i)
    if (s->days[i] != nullptr) ok = (rec->days[i] = dup_text(s->days[i], s->daylen[i])) != nullptr;
  if (!ok) {
    comn__free_dtinfo(rec);
    return COMN_NOMEM;
  }
  std::memcpy(rec->dateorder, s->dateorder, sizeof rec->dateorder);
  rec->firstday = s->firstday;
  rec->twelvehour = s->twelvehour;
  rec->dtfmt = s->dtfmt;
  rec->orderid = s->orderid;
  dst->dtinfo = rec;
  return 1;
}

comn_dtinfo* comn__scan_cache_dt(COMN_CONTEXT* ctx, const comn_object* id) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return nullptr;
  for (comn_dtinfo* d = ctx->intlstate->dtcache; d != nullptr; d = d->next)
    if (d->id == id) return d;
  return nullptr;
}

void comn_intl_dt_drop(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  while (comn_dtinfo* d = ctx->intlstate->dtcache) {
    ctx->intlstate->dtcache = d->next;
    comn__free_dtinfo(d);
  }
}

// Reads up to `count` values of the current entry, each into its own
// allocation (no NUL).  1 all read, 0 fewer values, -301 a reader error.
int comn__read_daymon(INTL_LOCFILE* lf, int count, char** ptrs, std::int32_t* lens) {
  for (int i = 0; i < count; ++i) {
    int st = 0;
    char* v = intl_nextvalue(lf, &st);
    if (v == nullptr) return st < 0 ? COMN_EINTL : 0;
    const int n = static_cast<int>(std::strlen(v));
    ptrs[i] = static_cast<char*>(comn_malloc(n > 0 ? static_cast<size_t>(n) : 1));
    if (ptrs[i] == nullptr) return COMN_NOMEM;
    std::memcpy(ptrs[i], v, static_cast<size_t>(n));
    lens[i] = n;
  }
  return 1;
}

// Attaches the date record of the entry's language, from the cache or
// read from the language's common.loc.
int comn__read_common(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen) {
  if (ctx == nullptr || entry == nullptr || entry->langname == nullptr) return 0;
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_object* langid = entry->msgdesc != nullptr ? entry->msgdesc->langid : nullptr;
  if (comn_dtinfo* d = langid != nullptr ? comn__scan_cache_dt(ctx, langid) : nullptr) {
    entry->dtinfo = d;
    return 1;
  }
  INTL_LOCFILE lf;
  r = comn__open_msgfile(ctx, entry->langname, entry->langnamelen, "common.loc", 10, &lf, pathbuf,
                         pathlen);
  if (r != 1) return r;
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "datetime") != 0) {
  }
  comn_dtinfo* rec = nullptr;
  if (sect == nullptr) {
    if (st < 0) ctx->intl_err = st;
    r = st < 0 ? COMN_EINTL : 0;
  } else {
    INTL_DATETIME dt{};
    const int dr = intl_datetime(&lf, &dt);
    if (dr < 0) {
      ctx->intl_err = dr;
      r = COMN_EINTL;
    } else {
      rec = static_cast<comn_dtinfo*>(comn_calloc(1, sizeof(comn_dtinfo)));
      bool ok = rec != nullptr;
      for (int i = 0; i < 12 && ok; ++i)
        ok = set_name(rec->months[i], rec->monthlen[i], dt.months[i]) &&
             set_name(rec->shortmonths[i], rec->shortmonthlen[i], dt.shortmonths[i]);
      const int first = dt.firstday >= 1 && dt.firstday <= 7 ? dt.firstday : 7;
      for (int i = 0; i < 7 && ok; ++i)
        ok = set_name(rec->days[i], rec->daylen[i], dt.days[(first - 1 + i) % 7]);
      if (!ok) {
        comn__free_dtinfo(rec);
        rec = nullptr;
        r = COMN_NOMEM;
      } else {
        std::memcpy(rec->dateorder, dt.dateformat, 3);
        rec->firstday = first;
        rec->twelvehour = dt.twelvehour;
        rec->orderid = com__get_dateorder_id(rec->dateorder);
        rec->dtfmt = com__map_dateorder_id_to_fmt(rec->orderid);
        rec->fmtset = 0;
        rec->id = langid;
        entry->dtinfo = rec;
        rec->next = ctx->intlstate->dtcache;
        ctx->intlstate->dtcache = rec;
        r = 1;
      }
    }
  }
  const int c = intl_close(&lf);
  if (r == 1 && c != 1) {
    ctx->intl_err = c;
    r = COMN_EINTL;
  }
  return r;
}

// ---- accessors for a conversion ---------------------------------------------

int com_intl_dateorder_id(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->orderid : com__get_date_order_id();
}

const char* const* com_intl_months(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->months : com__get_months();
}

const char* const* com_intl_shortmonths(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->shortmonths : com__get_shortmonths();
}

const char* const* com_intl_days(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->days : com__get_days();
}

int com_intl_firstday(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->firstday : com__get_firstday();
}

const char* com_intl_dateorder(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->dateorder : com__get_date_order();
}

int com_intl_is12hour(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt) {
  const comn_dtinfo* d = dt_of(ctx, fmt);
  return d != nullptr ? d->twelvehour : 1;
}

// ---- accessors on a locale record --------------------------------------------

int comn_intl_month(COMN_CONTEXT* ctx, comn_locale* loc, int selector, int month, char* buf,
                    int buflen, int* outlen) {
  comn_loccache* e = time_entry(ctx, loc);
  if (e == nullptr || e->dtinfo == nullptr || month < 0 || month > 11) return 0;
  const comn_dtinfo* d = e->dtinfo;
  if (selector == 7340)
    return convert_name(ctx, loc, e, d->months[month], d->monthlen[month], buf, buflen, outlen);
  return convert_name(ctx, loc, e, d->shortmonths[month], d->shortmonthlen[month], buf, buflen,
                      outlen);
}

int comn_intl_day(COMN_CONTEXT* ctx, comn_locale* loc, int, int day, char* buf, int buflen,
                  int* outlen) {
  comn_loccache* e = time_entry(ctx, loc);
  if (e == nullptr || e->dtinfo == nullptr || day < 0 || day > 6) return 0;
  return convert_name(ctx, loc, e, e->dtinfo->days[day], e->dtinfo->daylen[day], buf, buflen,
                      outlen);
}

int comn_intl_dateorder(COMN_CONTEXT* ctx, comn_locale* loc, char* buf, int buflen, int* outlen) {
  comn_loccache* e = time_entry(ctx, loc);
  if (e == nullptr || e->dtinfo == nullptr) return 0;
  return convert_name(ctx, loc, e, e->dtinfo->dateorder, 3, buf, buflen, outlen);
}

int comn_intl_is12hour(COMN_CONTEXT* ctx, comn_locale* loc) {
  comn_loccache* e = time_entry(ctx, loc);
  return e != nullptr && e->dtinfo != nullptr ? e->dtinfo->twelvehour : 1;
}

int comn_intl_get_dtfmt(COMN_CONTEXT* ctx, comn_locale* loc) {
  comn_loccache* e = time_entry(ctx, loc);
  return e != nullptr && e->dtinfo != nullptr ? e->dtinfo->dtfmt : -1;
}

// Gives the locale its own copy of its time entry with the given date
// format id; every category of the locale then names that copy.
int comn_intl_set_dtfmt(COMN_CONTEXT* ctx, comn_locale* loc, const int* dtfmt) {
  if (ctx == nullptr || dtfmt == nullptr) return 0;
  if (loc == nullptr) loc = ctx->deflocale;
  comn_loccache* e = time_entry(ctx, loc);
  if (e == nullptr || e->dtinfo == nullptr) return 0;
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_loccache* copy = nullptr;
  r = comn__copy_loccache(e, &copy);
  if (r != 1) return r;
  auto* rec = static_cast<comn_dtinfo*>(comn_calloc(1, sizeof(comn_dtinfo)));
  if (rec == nullptr || comn__copy_dtinfo(e->dtinfo, rec) != 1) {
    comn_free(rec);
    comn__drop_loccache(copy);
    return COMN_NOMEM;
  }
  rec->id = nullptr;
  rec->dtfmt = *dtfmt;
  rec->fmtset = 1;
  copy->dtinfo = rec;
  copy->next = ctx->intlstate->loccache;
  ctx->intlstate->loccache = copy;
  rec->next = ctx->intlstate->dtcache;
  ctx->intlstate->dtcache = rec;
  for (auto& c : loc->cat) c = copy;
  return 1;
}

// ---- money and numeric stubs --------------------------------------------------

int comn__read_dtfile(COMN_CONTEXT*) { return 1; }
int comn__read_monfile(COMN_CONTEXT*) { return 1; }
int comn__read_numfile(COMN_CONTEXT*) { return 1; }
void* comn__scan_cache_mon(COMN_CONTEXT*, const comn_object*) { return nullptr; }
void* comn__scan_cache_num(COMN_CONTEXT*, const comn_object*) { return nullptr; }
void comn__free_moninfo(void*) {}
void comn__free_numinfo(void*) {}
void comn_intl_mon_drop(COMN_CONTEXT* ctx) {
  if (ctx != nullptr && ctx->intlstate != nullptr) ctx->intlstate->moncache = nullptr;
}
void comn_intl_num_drop(COMN_CONTEXT* ctx) {
  if (ctx != nullptr && ctx->intlstate != nullptr) ctx->intlstate->numcache = nullptr;
}
