// The DB client's locales: one record per national language met, read from
// the language's common.loc (dates, money) and dblib.loc (copyright,
// translated client error texts), shared by connections and counted by use.
// Languages whose files cannot be read are remembered and not tried again;
// "us_english" never reads dblib.loc and needs no files at all.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comnlib/comn_alloc.h"
#include "comnlib/intl_msg.h"
#include "dblib/db_internal.h"

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool is_english(const char* language) {
  return !language || std::strcmp(language, "us_english") == 0;
}

// Raises a localisation error: severity 8, the message and, when given, the
// localisation library's text for `code`.
void loc_error(DBPROCESS* dbproc, int err, const char* text, int code, bool with_code) {
  std::string msg = text;
  if (with_code) msg += intl_errstr(code);
  db__raise(dbproc, err, 8, -1, msg.c_str());
}

void mem_error(DBPROCESS* dbproc, const char* text) {
  int e = errno;
  dbsetdead(dbproc);
  db__raise(dbproc, 20010, 8, e, text);
}

int db__no_locale(const char* language) {
  const char* name = language ? language : "us_english";
  for (dbstring* s = Db__GlobalRec.nolocales; s; s = s->next)
    if (static_cast<std::size_t>(s->len) == std::strlen(name) &&
        std::memcmp(s->data, name, static_cast<std::size_t>(s->len)) == 0)
      return 1;
  return 0;
}

void db__addto_nolocales(DBPROCESS* dbproc, const char* language) {
  if (!language || !*language) return;
  dbstring* node = strnew();
  if (!node || !savestr(nullptr, node, language, static_cast<int>(std::strlen(language)))) {
    comn_free(node);
    db__raise(dbproc, 20010, 8, errno);
    return;
  }
  node->next = Db__GlobalRec.nolocales;
  Db__GlobalRec.nolocales = node;
  ++Db__GlobalRec.locgen;
}

// Opens a localisation file of `language`; nullptr on failure (raised
// unless the language is us_english).
INTL_LOCFILE* db__open_locfile(DBPROCESS* dbproc, const char* language, const char* file) {
  auto* lf = static_cast<INTL_LOCFILE*>(comn_calloc(1, sizeof(INTL_LOCFILE)));
  if (!lf) {
    mem_error(dbproc, "Unable to allocate sufficient memory to open localization file.");
    return nullptr;
  }
  char home[256];
  int r = dbgethome(home, sizeof home);
  if (r < 0) {
    if (!is_english(language))
      loc_error(dbproc, 20132, "Error in attempting to find the Merrow home directory: ", r, true);
    comn_free(lf);
    return nullptr;
  }
  const char* charset = dbproc && dbproc->charsetname[0] ? dbproc->charsetname
                        : Db__GlobalRec.defcharset   ? Db__GlobalRec.defcharset
                                                     : "iso_1";
  std::string path = std::string(home) + "/locales/" + language + "/" + charset + "/" + file;
  r = intl_open(path.c_str(), lf);
  if (r < 0) {
    if (!is_english(language))
      loc_error(dbproc, 20133, "Error in attempting to open a localization file: ", r, true);
    comn_free(lf);
    return nullptr;
  }
  return lf;
}

void close_locfile(INTL_LOCFILE* lf) {
  intl_close(lf);
  comn_free(lf);
}

int read_money(DBPROCESS* dbproc, INTL_LOCFILE* lf, DBLOCALE* loc) {
  int st = 0;
  dbmoneyfmt** tail = &loc->money;
  while (char* name = intl_nextentry(lf, &st)) {
    if (std::strcmp(name, "moneyformat") != 0) continue;
    char* v = intl_nextvalue(lf, &st);
    if (!v) {
      loc_error(dbproc, 20137,
                "Unable to read money-format information from the dblib localization file: ",
                st < 0 ? st : -2, true);
      return 0;
    }
    auto* node = static_cast<dbmoneyfmt*>(comn_calloc(1, sizeof(dbmoneyfmt)));
    if (!node) {
      mem_error(dbproc, "Unable to allocate sufficient memory to hold money localization information.");
      return 0;
    }
    node->before = v[0] == 'B';
    *tail = node;
    tail = &node->next;
    v = intl_nextvalue(lf, &st);
    if (!v) {
      char msg[512];
      std::snprintf(msg, sizeof msg, "%s: %s", db__geterrstr(dbproc, 20137),
                    intl_errstr(st < 0 ? st : -2));
      db__raise(dbproc, 20137, 8, -1, msg);
      return 0;
    }
    std::snprintf(node->text, sizeof node->text, "%s", v);
  }
  if (st < 0) {
    char msg[512];
    std::snprintf(msg, sizeof msg, "%s: %s", db__geterrstr(dbproc, 20137), intl_errstr(st));
    db__raise(dbproc, 20137, 8, -1, msg);
    return 0;
  }
  return 1;
}

int read_common(DBPROCESS* dbproc, const char* language, DBLOCALE* loc) {
  INTL_LOCFILE* lf = db__open_locfile(dbproc, language, "common.loc");
  if (!lf) return 0;
  int st = 0;
  int ok = 1;
  while (char* sect = intl_nextsection(lf, &st)) {
    if (std::strcmp(sect, "datetime") == 0) {
      auto* dt = static_cast<INTL_DATETIME*>(comn_calloc(1, sizeof(INTL_DATETIME)));
      if (!dt) {
        mem_error(dbproc, "Unable to allocate sufficient memory to hold datetime localization information.");
        ok = 0;
        break;
      }
      int r = intl_datetime(lf, dt);
      if (r < 0) {
        comn_free(dt);
        loc_error(dbproc, 20134,
                  "Error in attempting to read datetime information from a localization file: ", r, true);
        ok = 0;
        break;
      }
      comn_free(loc->datetime);
      loc->datetime = dt;
      for (int i = 0; i < 12; ++i) loc->shortmonths[i] = dt->shortmonths[i];
    } else if (std::strcmp(sect, "money") == 0) {
      if (!read_money(dbproc, lf, loc)) {
        ok = 0;
        break;
      }
    }
  }
  if (ok && st < 0) {
    loc_error(dbproc, 20134,
              "Error in attempting to read datetime information from a localization file: ", st, true);
    ok = 0;
  }
  if (ok && !loc->datetime) {
    db__raise(dbproc, 20134, 8, -1,
              "Error in attempting to read datetime information from a localization file.");
    ok = 0;
  }
  if (ok) loc->dateorder = dateorder(loc->datetime->dateformat);
  close_locfile(lf);
  return ok;
}

int read_copyright(DBPROCESS* dbproc, INTL_LOCFILE* lf, DBLOCALE* loc) {
  int st = 0;
  while (char* name = intl_nextentry(lf, &st)) {
    if (std::strcmp(name, "copyright") != 0) continue;
    char* v = intl_nextvalue(lf, &st);
    if (!v) break;
    std::snprintf(loc->copyright, sizeof loc->copyright, "%s", v);
    return 1;
  }
  loc_error(dbproc, 20135,
            "Unable to read copyright information from the dblib localization file: ", st < 0 ? st : -2,
            true);
  return 0;
}

int read_errstrings(DBPROCESS* dbproc, INTL_LOCFILE* lf, DBLOCALE* loc) {
  int st = 0;
  while (char* name = intl_nextentry(lf, &st)) {
    char* end = nullptr;
    long n = std::strtol(name, &end, 10);
    if (end == name || *end || n < 1 || n > 299) continue;
    dberrtext& e = loc->errors[n - 1];
    char* v = intl_nextvalue(lf, &st);
    if (!v) {
      loc_error(dbproc, 20138, "Unable to read error mnemonic from the dblib localization file: ",
                st < 0 ? st : -2, true);
      return 0;
    }
    std::snprintf(e.mnemonic, sizeof e.mnemonic, "%s", v);
    v = intl_nextvalue(lf, &st);
    if (!v) {
      loc_error(dbproc, 20139, "Unable to read error string from the dblib localization file: ",
                st < 0 ? st : -2, true);
      return 0;
    }
    std::snprintf(e.text, sizeof e.text, "%s", v);
  }
  if (st < 0) {
    loc_error(dbproc, 20140, "Unable to read error information from the dblib localization file: ",
              st, true);
    return 0;
  }
  return 1;
}

int read_dblib(DBPROCESS* dbproc, const char* language, DBLOCALE* loc) {
  INTL_LOCFILE* lf = db__open_locfile(dbproc, language, "dblib.loc");
  if (!lf) return 0;
  int st = 0;
  int ok = 1;
  while (char* sect = intl_nextsection(lf, &st)) {
    if (std::strcmp(sect, "copyright") == 0) ok = read_copyright(dbproc, lf, loc);
    else if (std::strcmp(sect, "dbliberrors") == 0) ok = read_errstrings(dbproc, lf, loc);
    if (!ok) break;
  }
  if (ok && st < 0) {
    loc_error(dbproc, 20136, "Error in attempting to read the dblib.loc localization file: ", st, true);
    ok = 0;
  }
  close_locfile(lf);
  return ok;
}

void db__free_locale(DBLOCALE* loc) {
  for (dbmoneyfmt* m = loc->money; m;) {
    dbmoneyfmt* next = m->next;
    comn_free(m);
    m = next;
  }
  comn_free(loc->datetime);
  comn_free(loc);
}

void db__upd_loclist(DBLOCALE* loc) {
  DBLOCALE** link = &Db__GlobalRec.locales;
  while (*link && *link != loc) link = &(*link)->next;
  if (*link) *link = loc->next;
  ++Db__GlobalRec.locgen;
}

}  // namespace

int dblib::dateorder(const char* format) {
  if (!format) return 1;
  if (std::strncmp(format, "mdy", 3) == 0) return 1;
  if (std::strncmp(format, "dmy", 3) == 0) return 2;
  if (std::strncmp(format, "ymd", 3) == 0) return 3;
  if (std::strncmp(format, "ydm", 3) == 0) return 4;
  if (std::strncmp(format, "myd", 3) == 0) return 5;
  if (std::strncmp(format, "dym", 3) == 0) return 6;
  return 1;
}

DBLOCALE* db__getloc(DBPROCESS* dbproc, const char* language) {
  if (!language) {
    if (dbproc && dbproc->locale) return dbproc->locale;
    if (Db__GlobalRec.deflocale) return Db__GlobalRec.deflocale;
    // Asked for every date converted to text: a connection remembers what
    // it found while the lists stay as they were.  A look-up that failed
    // for want of memory is not remembered.
    if (dbproc && dbproc->lookedupgen == Db__GlobalRec.locgen) return dbproc->lookedup;
    DBLOCALE* loc = db__getloc(dbproc, "us_english");
    if (dbproc && (loc || db__no_locale("us_english"))) {
      dbproc->lookedup = loc;
      dbproc->lookedupgen = Db__GlobalRec.locgen;
    }
    return loc;
  }
  for (DBLOCALE* l = Db__GlobalRec.locales; l; l = l->next)
    if (std::strcmp(l->language, language) == 0) return l;
  if (db__no_locale(language)) return nullptr;
  auto* loc = static_cast<DBLOCALE*>(comn_calloc(1, sizeof(DBLOCALE)));
  if (!loc) {
    mem_error(dbproc, "Unable to allocate sufficient memory to hold localization information.");
    return nullptr;
  }
  std::snprintf(loc->language, sizeof loc->language, "%s", language);
  if (!read_common(dbproc, language, loc) ||
      (!is_english(language) && !read_dblib(dbproc, language, loc))) {
    db__addto_nolocales(dbproc, language);
    db__free_locale(loc);
    return nullptr;
  }
  loc->next = Db__GlobalRec.locales;
  Db__GlobalRec.locales = loc;
  ++Db__GlobalRec.locgen;
  if (!Db__GlobalRec.deflocale) Db__GlobalRec.deflocale = loc;
  return loc;
}

void db__loc_count(DBPROCESS* dbproc) {
  if (dbproc && dbproc->locale) ++dbproc->locale->usecount;
}

void db__freeloc(DBLOCALE* loc) {
  if (!loc) return;
  if (loc->usecount > 0) --loc->usecount;
  if (loc->usecount > 0 || loc == Db__GlobalRec.deflocale) return;
  db__upd_loclist(loc);
  db__free_locale(loc);
}

int db__getmonthlist(DBPROCESS* dbproc, const char* months[12]) {
  DBLOCALE* loc = db__getloc(dbproc, nullptr);
  for (int i = 0; i < 12; ++i)
    months[i] = loc && loc->datetime ? loc->datetime->months[i] : kMonths[i];
  return 1;
}

int db__getshortmonths(DBPROCESS* dbproc, const char* months[12]) {
  const char* const* list = db__shortmonth_list(dbproc);
  for (int i = 0; i < 12; ++i) months[i] = list[i];
  return 1;
}

const char* const* db__shortmonth_list(DBPROCESS* dbproc) {
  DBLOCALE* loc = db__getloc(dbproc, nullptr);
  return loc && loc->datetime ? loc->shortmonths : kShort;
}

int db__date_order(DBPROCESS* dbproc) {
  DBLOCALE* loc = db__getloc(dbproc, nullptr);
  return loc ? loc->dateorder : 1;
}

RETCODE dbsetdeflang(const char* language) {
  DBLOCALE* loc = db__getloc(nullptr, language);
  if (!loc) return FAIL;
  Db__GlobalRec.deflocale = loc;
  return SUCCEED;
}

RETCODE dbsetdefcharset(const char* name) {
  if (!Db__GlobalRec.defcharset) {
    Db__GlobalRec.defcharset = static_cast<char*>(comn_calloc(1, 30));
    if (!Db__GlobalRec.defcharset) return FAIL;
  }
  std::snprintf(Db__GlobalRec.defcharset, 30, "%s", name ? name : "");
  return SUCCEED;
}

int db__init_charset(DBPROCESS* dbproc, LOGINREC* login) {
  if (login && login->rec) {
    int n = login->rec[L_CHARSET + 30];
    if (n > 30) n = 30;
    std::memcpy(dbproc->charsetname, login->rec + L_CHARSET, static_cast<std::size_t>(n));
    dbproc->charsetname[n] = '\0';
  } else {
    std::snprintf(dbproc->charsetname, sizeof dbproc->charsetname, "iso_1");
  }
  dbproc->charset = nullptr;
  dbproc->charsetquery = 0;
  return 1;
}
