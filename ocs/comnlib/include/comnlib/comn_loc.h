// Localisation records of the common library: the localisation state hung
// from a COMN_CONTEXT, locale records and locale cache entries, character
// set descriptors with their conversion configuration and tables, sort
// orders, date information, message descriptors and the global-id cache.
// Status codes of the localisation routines: 1 success, 0 not found or
// rejected, -1 memory, -301 reader failure (the reader's code in the
// context's intl_err), -414 open failure, -417 a name without object id,
// and their own codes from -401.
#pragma once

#include <cstdint>

#include "comnlib/com_kern.h"
#include "comnlib/com_types.h"
#include "comnlib/comn_context.h"
#include "intllib/intl_loc.h"

struct lm_context;
struct lm_list;

inline constexpr int COMN_NOMEM = -1;
inline constexpr int COMN_EINTL = -301;
inline constexpr int COMN_EOPEN = -414;
inline constexpr int COMN_ENOID = -417;
inline constexpr int COMN_PATHMAX = 1025;   // path area of the file openers
inline constexpr int COMN_GID_KINDS = 12;

// Kinds of the global-id cache.
enum : int {
  COMN_GID_CHARSET = 0,
  COMN_GID_NUMERIC = 1,
  COMN_GID_MONEY = 2,
  COMN_GID_DATETIME = 3,
  COMN_GID_SORTORDER = 4,
  COMN_GID_LANGUAGE = 5,
};

// Locale categories.
enum : int {
  COMN_LC_COLLATE = 1,
  COMN_LC_CTYPE = 2,
  COMN_LC_MESSAGE = 3,
  COMN_LC_MONETARY = 4,
  COMN_LC_NUMERIC = 5,
  COMN_LC_TIME = 6,
  COMN_LC_ALL = 7,
};

// One local name of an object.
struct comn_objname {
  char* name;
  std::int32_t len;
  comn_objname* next;
};

// An object of the global-id cache; an object id is a pointer to one.
struct comn_object {
  std::uint8_t* id;
  std::int32_t idlen;
  comn_objname* names;
  std::int32_t nnames;
  comn_object* next;
};

// An id as a byte string, the key of comn__oidtoname.
struct comn_oid {
  const std::uint8_t* id;
  std::int32_t len;
};

struct comn_chardesc;
struct comn_sortorder;
struct comn_msgdesc;
struct comn_dtinfo;

// A locale cache entry: one locale name bound to its set, sort order,
// message language and date, numeric and money information.  Names are
// owned; descriptors and information records are shared.
struct comn_loccache {
  char* locname;
  std::int32_t locnamelen;
  char* csname;
  std::int32_t csnamelen;
  comn_chardesc* chardesc;
  char* soname;
  std::int32_t sonamelen;
  comn_sortorder* sortorder;
  char* langname;
  std::int32_t langnamelen;
  comn_msgdesc* msgdesc;
  char* dtname;
  std::int32_t dtnamelen;
  comn_dtinfo* dtinfo;
  char* numname;
  std::int32_t numnamelen;
  void* numinfo;
  char* monname;
  std::int32_t monnamelen;
  void* moninfo;
  comn_loccache* next;
};
using COMN_LOCCACHE = comn_loccache;

// A locale: one cache entry per category 1 collation .. 6 time.
struct comn_locale {
  comn_loccache* cat[6];
};
using COMN_LOCALE = comn_locale;

// Built-in converter: (context, source, length, target, room, consumed, produced).
using COMN_SYSALGO = int (*)(COMN_CONTEXT*, const std::uint8_t*, int, std::uint8_t*, int, int*,
                             int*);

// A loaded conversion table.
struct comn_convtable {
  std::uint8_t minsrc;
  std::uint8_t maxmult;
  std::uint16_t nindex;
  std::uint16_t ndest;
  std::uint32_t indexsize;
  std::uint32_t destsize;
  std::uint16_t* index;
  std::uint8_t* dest;  // 8-byte entries
};
using COMN_CONVTABLE = comn_convtable;

// One "convertto" entry of a set's conversion configuration.
struct comn_convconfig {
  comn_object* toid;
  std::int32_t method;  // 1 table, 2 built-in routine
  comn_convtable* table;
  COMN_SYSALGO sysalgo;
  char* toname;
  std::int32_t tonamelen;
  std::int32_t matchmode;  // 1 MATCH, 2 BESTGUESS, 3 MNEMONIC
  std::uint8_t repl[4];
  std::int32_t repllen;
  std::int32_t tabmult;
  std::int32_t sysmult;
  comn_convconfig* next;
};
using COMN_CONVCONFIG = comn_convconfig;

// A loaded character set.
struct comn_chardesc {
  comn_object* csid;
  COM_CHARATTRIB* attr;  // owned, with its four tables
  comn_sortorder* sortorders;
  comn_convconfig* configs;
  comn_chardesc* next;
};
using COMN_CHARDESC = comn_chardesc;

// Description of a sort order.
struct comn_sortdesc {
  std::uint8_t cls;
  std::uint8_t id;
  char name[31];
  char charset[31];
  std::int32_t preference;
  char description[256];
  std::int32_t binary;
};
using COMN_SORTDESC = comn_sortdesc;

struct comn_sortorder {
  comn_object* soid;
  comn_sortdesc* desc;
  std::uint8_t* table;  // null for a binary sort order
  comn_sortorder* next;
};
using COMN_SORTORDER = comn_sortorder;

// Date and time information of a language.
struct comn_dtinfo {
  comn_object* id;
  std::int32_t twelvehour;
  char* name;
  std::int32_t namelen;
  char* name2;
  std::int32_t name2len;
  char* months[12];
  std::int32_t monthlen[12];
  char* shortmonths[12];
  std::int32_t shortmonthlen[12];
  char* days[7];
  std::int32_t daylen[7];
  char* shortdays[7];
  std::int32_t shortdaylen[7];
  std::int32_t firstday;
  char* texts[8];
  std::int32_t textlen[8];
  std::int32_t reserved;
  char dateorder[4];
  std::int32_t dtfmt;
  std::int32_t fmtset;
  std::int32_t orderid;
  comn_dtinfo* next;
};
using COMN_DTINFO = comn_dtinfo;

struct comn_msgfile;
struct comn_cachedmsg;

// Messages of one (language, character set) pair.
struct comn_msgdesc {
  comn_object* langid;
  comn_object* csid;
  comn_msgfile* files;
  comn_cachedmsg* msgs;
  std::int32_t nmsgs;
  std::int32_t reserved;
  comn_msgdesc* next;
};
using COMN_MSGDESC = comn_msgdesc;

// A caller's conversion routine for one pair of sets: (context, source
// format, source, target format, target, produced) -> status.
using COMN_USERCONVFN = int (*)(COMN_CONTEXT*, COMN_DATAFORMAT*, const void*, COMN_DATAFORMAT*,
                                void*, std::int32_t*);

// One record of the context's user converter list.
struct comn_userconv {
  char srcname[256];
  std::int32_t srclen;
  char dstname[256];
  std::int32_t dstlen;
  comn_object* srcid;
  comn_object* dstid;
  COMN_USERCONVFN fn;
  std::int32_t mult;
  comn_userconv* next;
};

// Localisation state of one context.
struct comn_intlstate {
  comn_loccache* loccache;
  comn_chardesc* chardescs;
  comn_dtinfo* dtcache;
  void* moncache;
  void* numcache;
  comn_chardesc* utf8desc;
  comn_msgdesc* msgdescs;
  lm_context* lmctx;
  lm_list* mnemdb;
  std::int32_t mnemmax;
  comn_object* ucs2id;
  comn_object* gid[COMN_GID_KINDS];
};
using COMN_INTLSTATE = comn_intlstate;

// Makes the context's localisation state when it has none; 1 or -1.
int comn_intlstate_alloc(COMN_CONTEXT* ctx);
// Frees the global-id cache and the state itself (caches must be dropped first).
void comn_intlstate_free(COMN_CONTEXT* ctx);

// ---- Locale cache and loading ------------------------------------------------

// What locales.dat says of one locale (each name at most 255 characters;
// empty when not given).
struct comn_lookup {
  char lang[256];
  char charset[256];
  char sortorder[256];
  char datetime[256];
  char numeric[256];
  char money[256];
};

int comn_intl_init(COMN_CONTEXT* ctx, char* pathbuf, int pathlen);
int comn_intl_load(COMN_CONTEXT* ctx, const char* name, int namelen, comn_loccache** result,
                   char* pathbuf, int pathlen);
// property 8 language, 9 character set, 10 sort order.
int comn_intl_load_mertypes(COMN_CONTEXT* ctx, int property, const char* name, int namelen,
                            char* pathbuf, int pathlen, comn_loccache* base,
                            comn_loccache** result);
int com_intl_envloc(COMN_CONTEXT* ctx, int category, char* buf, int buflen);
int com_intl_getstr(const comn_locale* loc, int category, int item, char* buf, int buflen,
                    int* outlen);
int com_intl_loccmp(int category, int item, const comn_locale* a, const comn_locale* b);
const COM_CHARATTRIB* com_intl_charattr(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
int com_intl_get_locname(COMN_CONTEXT* ctx, const char* utf8name, int namelen, char* buf,
                         int buflen, int* outlen);
void com_intl_loccache_drop(COMN_CONTEXT* ctx);
void comn_intl_message_drop(COMN_CONTEXT* ctx);
int comn_lm_exit(COMN_CONTEXT* ctx);
// Frees everything of the context's localisation state, and the state.
void comn_intl_exit(COMN_CONTEXT* ctx);

int comn__load_locdata(COMN_CONTEXT* ctx, int kind, comn_object* oid, comn_loccache* entry,
                       char* pathbuf, int pathlen);
int comn__create_loccache(comn_loccache** out);
void comn__drop_loccache(comn_loccache* e);
int comn__copy_loccache(const comn_loccache* src, comn_loccache** out);
comn_loccache* com__scan_lcache_name(COMN_CONTEXT* ctx, const char* name, int len);
int comn__intl_lookup(COMN_CONTEXT* ctx, const char* name, int len, comn_lookup* out,
                      char* pathbuf, int pathlen);
int comn__intl_load_message(COMN_CONTEXT* ctx, comn_object* langid, comn_loccache* entry);
int comn__build_parsetree();
int comn__chk_format(std::int32_t value, const void* list, int flag);
// The cache entry of a data format's locale for a category (the context's
// default locale when the format names none); null when there is none.
comn_loccache* comn__fmt_entry(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt, int category);
// Reads the current entry's values as integers (each first converted to
// ASCII through the attribute record) into a new list (comn_free it):
// a first value of -1 gives the list {-1}; a first value of 0 or below -1
// gives 0; otherwise the first and every following value are kept, and
// the list is accepted when every value is a whole decimal number.
// 1, 0, -1 or -301.
int comn__read_grp(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, const COM_CHARATTRIB* attr,
                   std::int32_t** list, int* count);
