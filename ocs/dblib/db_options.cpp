// Options: the 33 numbered options of a connection, the "set" texts queued
// for the server options, and sending them before the next batch.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

namespace {

struct OptionDef {
  const char* name;
  uint16_t flags;  // 1 client side, 2 parameter, 4 on by default, 8 one value
};

const OptionDef kOptions[DBNUMOPTIONS] = {
    {"parseonly", 8},       {"estimate", 8},     {"showplan", 8},     {"noexec", 8},
    {"arithignore", 8},     {"nocount", 8},      {"arithabort", 8},   {"textlimit", 1 | 2 | 8},
    {"browse", 8},          {"offsets", 2},      {"statistics", 2},   {"errlvl", 2 | 8},
    {"confirm", 8},         {"spid", 8},         {"buffer", 1 | 2 | 8}, {"noautofree", 1 | 8},
    {"rowcount", 2 | 8},    {"textsize", 2 | 8}, {"language", 2 | 8}, {"dateformat", 2 | 8},
    {"prpad", 1 | 2 | 4 | 8}, {"prcolsep", 1 | 2 | 4 | 8}, {"prlinelen", 1 | 2 | 4 | 8},
    {"prlinesep", 1 | 2 | 4 | 8}, {"lfconvert", 1 | 8}, {"datefirst", 2 | 8}, {"chained", 8},
    {"fipsflagger", 8},     {"transaction isolation level", 2 | 8}, {"auth", 2 | 8},
    {"identity_insert", 2 | 8}, {"no_identity_column", 1 | 2}, {"cnv_date2char_short", 1 | 8},
};

bool client_side(int opt) { return kOptions[opt].flags & 1; }
bool has_param(int opt) { return kOptions[opt].flags & 2; }
bool one_value(int opt) { return kOptions[opt].flags & 8; }

// Options whose text is the name and the parameter alone, without "on" or
// "off".
bool name_param(int opt) {
  return opt == 16 || opt == 17 || opt == 18 || opt == 19 || opt == 25 || opt == 28;
}

// Queues the option's "set" text and a blank in the command buffer.  Only
// complete statements are queued: a parameter option without a parameter
// has no text to send, and queues nothing.
int optstring(DBPROCESS* dbproc, int opt, bool on, const char* param) {
  if (client_side(opt)) return 1;
  if (has_param(opt) && (!param || !*param)) return 1;
  std::string text = "set ";
  text += kOptions[opt].name;
  if (!has_param(opt)) {
    text += on ? " on" : " off";
  } else if (name_param(opt)) {
    text += " ";
    text += param;
  } else {
    text += " ";
    text += param;
    text += on ? " on" : " off";
  }
  text += "\n";
  dbstring* node = strnew();
  if (!node || !savestr(dbproc, node, text.data(), static_cast<int>(text.size()))) {
    comn_free(node);
    return 0;
  }
  if (!dbproc->optcmd) dbproc->optcmd = node;
  else strlast(dbproc->optcmd)->next = node;
  return dbcmd(dbproc, " ") == SUCCEED;
}

bool param_matches(const dbstring* p, const char* param) {
  if (!param) return false;
  std::size_t n = std::strlen(param);
  return static_cast<std::size_t>(p->len) == n && std::memcmp(p->data, param, n) == 0;
}

// Appends a parameter node holding `len` bytes.
int add_param(DBPROCESS* dbproc, dboption* o, const char* bytes, int len) {
  dbstring* node = strnew();
  if (!node || !savestr(dbproc, node, bytes, len)) {
    comn_free(node);
    return 0;
  }
  if (!o->params) o->params = node;
  else strlast(o->params)->next = node;
  return 1;
}

int param_number(const dboption& o) {
  if (!o.params || o.params->len <= 0) return 0;
  std::string s(o.params->data, static_cast<std::size_t>(o.params->len));
  return std::atoi(s.c_str());
}

// Checks the option number and the server's support for it.
bool option_allowed(DBPROCESS* dbproc, int opt) {
  if (opt < 0 || opt >= DBNUMOPTIONS) {
    db__raise(dbproc, 20115, 3);
    return false;
  }
  int level = dbproc->protolevel;
  if (((opt == 7 || opt == 17) && level == 1) || ((opt == 18 || opt == 19) && level < 4)) {
    db__raise(dbproc, 20121, 3);
    return false;
  }
  if (opt >= 26 && opt <= 31 && level < 7) {
    db__raise(dbproc, Db__GlobalRec.version == 2 ? 20121 : 20115, 3);
    return false;
  }
  return true;
}

int dboffopt(DBPROCESS* dbproc, int opt, const char* param);

int dbonopt(DBPROCESS* dbproc, int opt, const char* param, int int_param) {
  dboption& o = dbproc->options[opt];
  if (o.set) {
    if (!has_param(opt)) return SUCCEED;
    if (!one_value(opt)) {
      for (dbstring* p = o.params; p; p = p->next)
        if (param_matches(p, param)) return SUCCEED;
    }
  }
  if (has_param(opt)) {
    bool allow_missing = (opt == 21 || opt == 23) && int_param == -1;
    if (!param && !allow_missing) {
      db__raise(dbproc, 20027, 7);
      return FAIL;
    }
    if (one_value(opt) && o.set) dboffopt(dbproc, opt, nullptr);
    int ok;
    if (opt == 20) {
      ok = add_param(dbproc, &o, param, int_param == 0 || !param || !*param ? 0 : 1);
    } else if (opt == 21 || opt == 23) {
      if (int_param == -1) {
        ok = add_param(dbproc, &o, opt == 21 ? " " : "\n", 1);
      } else if (int_param < 1) {
        char text[256];
        std::snprintf(text, sizeof text, "%d is an illegal value for the %s parameter of %s.",
                      int_param, "int_param", "dbsetopt()");
        db__raise(dbproc, 20194, 1, -1, text);
        return FAIL;
      } else {
        int n = static_cast<int>(std::strlen(param));
        ok = add_param(dbproc, &o, param, int_param < n ? int_param : n);
      }
    } else {
      ok = add_param(dbproc, &o, param, static_cast<int>(std::strlen(param)));
    }
    if (!ok) return FAIL;
  }
  o.set = 1;
  if (!client_side(opt) && !optstring(dbproc, opt, true, param)) return FAIL;
  switch (opt) {
    case DBTEXTLIMIT: {
      int n = param_number(o);
      dbproc->textlimit = n < 0 ? 0 : n;
      break;
    }
    case DBBUFFER: {
      int n = param_number(o);
      dbproc->rowbuflimit = n < 1 ? Db__GlobalRec.defrowbuf : n;
      break;
    }
    case DBNATLANG: {
      if (dbproc->locale) db__freeloc(dbproc->locale);
      dbproc->locale = db__getloc(dbproc, param);
      if (!dbproc->locale) return FAIL;
      db__loc_count(dbproc);
      break;
    }
    case DBPRLINELEN: {
      int n = param_number(o);
      dbproc->prlinelen = n < 1 ? 80 : n;
      break;
    }
    case DBDATESHORT:
      dbproc->datestyle = 1;
      break;
    default:
      break;
  }
  return SUCCEED;
}

// Clears an option and queues its "off" text.  A single-valued on/off
// option is turned off by the parameter given, else by the one it held
// ("set identity_insert t off").  An option whose text is its name and
// parameter alone ("set rowcount 5") has no off form: it queues a text only
// when a parameter is given, so one replaced by dbonopt queues its new
// text alone.
int dboffopt(DBPROCESS* dbproc, int opt, const char* param) {
  dboption& o = dbproc->options[opt];
  if (!o.set) return SUCCEED;
  std::string held;
  if (has_param(opt)) {
    if (one_value(opt)) {
      if (o.params && o.params->len > 0 && !name_param(opt))
        held.assign(o.params->data, static_cast<std::size_t>(o.params->len));
      o.params = strfree(o.params);
    } else {
      if (!param) {
        db__raise(dbproc, 20027, 7);
        return FAIL;
      }
      dbstring** link = &o.params;
      while (*link && !param_matches(*link, param)) link = &(*link)->next;
      if (*link) {
        dbstring* gone = *link;
        *link = gone->next;
        gone->next = nullptr;
        strfree(gone);
      }
    }
    if (!o.params) o.set = 0;
  } else {
    o.set = 0;
  }
  switch (opt) {
    case DBTEXTLIMIT: dbproc->textlimit = 0; break;
    case DBBUFFER: dbproc->rowbuflimit = 0; break;
    case DBPRLINELEN: dbproc->prlinelen = 80; break;
    case DBDATESHORT: dbproc->datestyle = 0; break;
    default:
      if (!client_side(opt) && !optstring(dbproc, opt, false, param ? param : held.c_str())) return FAIL;
      break;
  }
  return SUCCEED;
}

}  // namespace

int dboptinit(DBPROCESS* dbproc) {
  dbproc->options = static_cast<dboption*>(comn_calloc(DBNUMOPTIONS, sizeof(dboption)));
  if (!dbproc->options) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
    return 0;
  }
  for (int i = 0; i < DBNUMOPTIONS; ++i) {
    dbproc->options[i].name = kOptions[i].name;
    dbproc->options[i].flags = kOptions[i].flags;
  }
  const char* defaults[4] = {" ", " ", "80", "\n"};
  for (int i = 0; i < 4; ++i) {
    dboption& o = dbproc->options[20 + i];
    if (!add_param(dbproc, &o, defaults[i], static_cast<int>(std::strlen(defaults[i])))) return 0;
    o.set = 1;
  }
  dbproc->prlinelen = 80;
  return 1;
}

void dboptfree(DBPROCESS* dbproc) {
  if (!dbproc->options) return;
  for (int i = 0; i < DBNUMOPTIONS; ++i) strfree(dbproc->options[i].params);
  comn_free(dbproc->options);
  dbproc->options = nullptr;
}

RETCODE dbsetopt(DBPROCESS* dbproc, int option, const char* param, int int_param) {
  if (!dbproc) {
    for (DBPROCESS* p = Db__GlobalRec.procs; p; p = p->nextproc) {
      if (p->dead) continue;
      if (!option_allowed(p, option) || dbonopt(p, option, param, int_param) != SUCCEED) return FAIL;
    }
    return SUCCEED;
  }
  if (!db__procchk(dbproc) || !option_allowed(dbproc, option)) return FAIL;
  return dbonopt(dbproc, option, param, int_param);
}

RETCODE dbclropt(DBPROCESS* dbproc, int option, const char* param) {
  if (option == 16 || option == 17 || option == 18) return SUCCEED;
  if (!dbproc) {
    for (DBPROCESS* p = Db__GlobalRec.procs; p; p = p->nextproc) {
      if (p->dead) continue;
      if (!option_allowed(p, option) || dboffopt(p, option, param) != SUCCEED) return FAIL;
    }
    return SUCCEED;
  }
  if (!db__procchk(dbproc) || !option_allowed(dbproc, option)) return FAIL;
  return dboffopt(dbproc, option, param);
}

DBBOOL dbisopt(DBPROCESS* dbproc, int option, const char* param) {
  if (!dbproc || !dbproc->options || option < 0 || option >= DBNUMOPTIONS) return FALSE;
  const dboption& o = dbproc->options[option];
  if (!o.set) return FALSE;
  if (has_param(option) && !one_value(option) && param) {
    for (dbstring* p = o.params; p; p = p->next)
      if (param_matches(p, param)) return TRUE;
    return FALSE;
  }
  return TRUE;
}

RETCODE dbsendopts(DBPROCESS* dbproc) {
  if (!dbproc->optcmd) return SUCCEED;
  dbproc->curcmd = 0;
  tidyproc(dbproc);
  dbproc->batch &= ~DBB_NORESULTS;
  bool level7 = dbproc->protolevel >= 7;
  int type = level7 ? PKT_NORMAL : PKT_LANGUAGE;
  auto fail = [&]() {
    dbproc->optcmd = strfree(dbproc->optcmd);
    return FAIL;
  };
  if (level7) {
    int32_t total = 0;
    for (dbstring* s = dbproc->optcmd; s; s = s->next) total += s->len;
    if (!db__send_language_header(dbproc, total)) return fail();
  }
  for (dbstring* s = dbproc->optcmd; s; s = s->next)
    if (!sendserver(dbproc, s->data, s->len, type)) return fail();
  if (!sendeom(dbproc, type, 0)) return fail();
  if (!db__next_token(dbproc)) return fail();
  for (;;) {
    unsigned char t = dbproc->token;
    int ok;
    if (t == TK_ERROR || t == TK_INFO || t == TK_EED) {
      ok = dbsvinfo(dbproc);
    } else if (t == TK_ENVCHANGE) {
      ok = db__envchange(dbproc);
    } else if (t == TK_OFFSET) {
      ok = dbsvoff(dbproc);
    } else if (t == TK_EVENT) {
      ok = db__handle_event(dbproc);
    } else if (t == TK_OPTIONCMD && level7) {
      ok = db__skip_token(dbproc);
    } else if (t == TK_DONE || t == TK_DONEPROC) {
      int ended = 0;
      ok = t == TK_DONE ? dbdone(dbproc) : dbdoneproc(dbproc, &ended);
      if (ok && !(dbproc->batch & DBB_NORESULTS)) {
        if (dbproc->batch & DBB_ATTNACKED) dbproc->batch &= ~DBB_ATTNACKED;
        continue;
      }
      if (!ok) return fail();
      dbproc->optcmd = strfree(dbproc->optcmd);
      if (dbproc->donestatus & DONE_ERROR) {
        db__raise(dbproc, 20018, 5);
        return FAIL;
      }
      if (dbproc->status & DBST_TIMEDOUT) return FAIL;
      return SUCCEED;
    } else {
      db__badtoken(dbproc);
      return fail();
    }
    if (!ok) return fail();
  }
}
