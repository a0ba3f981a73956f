// Client errors: texts, the raise and its handler answers, the library's
// fatal exit, handler installation and calling styles.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "db_errtext.h"
#include "dblib/db_internal.h"

namespace {

// A NUL-ended copy of a message text cut and blank-padded to `width`.
void padded(char* out, int width, const char* text, bool nul) {
  int n = text ? static_cast<int>(std::strlen(text)) : 0;
  if (n > width) n = width;
  if (n > 0) std::memcpy(out, text, static_cast<std::size_t>(n));
  std::memset(out + n, ' ', static_cast<std::size_t>(width - n));
  if (nul) out[width] = '\0';
}

// Writes every stored server message line of the connection to stdout.
void print_stored_messages(DBPROCESS* dbproc) {
  if (!dbproc) return;
  for (dbmsgrec* m = dbproc->msgs; m; m = m->next) std::printf("%s\n", m->text ? m->text : "");
}

void print_ostext(const char* ostext) {
  if (ostext && *ostext) std::printf("Operating-system error:\n\t%s\n", ostext);
}

}  // namespace

const char* dberrstr(int dberr) {
  if (dberr < 20001 || dberr > 20297) return nullptr;
  return db__errtext(dberr);
}

const char* db__geterrstr(DBPROCESS* dbproc, int dberr) {
  if (dberr < 20001 || dberr > 20297) return "";
  const char* english = db__errtext(dberr);
  if (std::strcmp(dbgetnatlang(dbproc), "us_english") == 0) return english;
  DBLOCALE* loc = db__getloc(dbproc, nullptr);
  if (loc && loc->errors[dberr - 20001].text[0]) return loc->errors[dberr - 20001].text;
  return english;
}

const char* db__oserrstr(int oserr) { return std::strerror(oserr); }
const char* dboserrstr(int oserr) { return db__oserrstr(oserr); }

int dberrno() { return Db__GlobalRec.lasterr; }

void db__perror(int dberr) {
  const char* t = dberrstr(dberr);
  std::printf("%s\n", t ? t : "");
}
void dbperror(int dberr) { db__perror(dberr); }

void dbsetdead(DBPROCESS* dbproc) {
  if (dbproc) dbproc->dead = 1;
}

void db__exraise(const char* text) {
  if (text && *text) std::printf("DB client: %s\n", text);
  std::fflush(stdout);
  dbexit();
  std::exit(-1);
}

int dbdoerrhandle(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr_,
                  char* oserrstr) {
  DB_ERRHANDLE_PROC h = Db__GlobalRec.errhandler;
  if (!h) return INT_CANCEL;
  int style = Db__GlobalRec.style;
  if (style == 1 || style == 2) {
    auto f = reinterpret_cast<int (*)(DBPROCESS**, int*, int*, int*, char*, char*)>(reinterpret_cast<void (*)()>(h));
    return f(&dbproc, &severity, &dberr, &oserr, dberrstr_, oserrstr);
  }
  if (style == 3) {
    auto f = reinterpret_cast<int (*)(DBPROCESS**, int*, int*, int*, int32_t*)>(reinterpret_cast<void (*)()>(h));
    return f(&dbproc, &severity, &dberr, &oserr, &Db__GlobalRec.style);
  }
  return h(dbproc, severity, dberr, oserr, dberrstr_, oserrstr);
}

int dbdomsghandle(DBPROCESS* dbproc, DBINT msgno, int msgstate, int severity, char* msgtext,
                  char* srvname, char* procname, int line) {
  DB_MSGHANDLE_PROC h = Db__GlobalRec.msghandler;
  if (!h) return 1;
  int style = Db__GlobalRec.style;
  if (style == 1) {
    struct Descr {
      int16_t len;
      unsigned char type;
      unsigned char cls;
      char* text;
    };
    char copy[80];
    padded(copy, 79, msgtext, true);
    Descr d{static_cast<int16_t>(msgtext ? std::strlen(msgtext) : 0), 14, 1, copy};
    auto f = reinterpret_cast<int (*)(DBPROCESS**, DBINT*, int*, int*, Descr*)>(reinterpret_cast<void (*)()>(h));
    return f(&dbproc, &msgno, &msgstate, &severity, &d);
  }
  if (style == 2 || style == 4) {
    char copy[81];
    padded(copy, 80, msgtext, true);
    int n = msgtext ? static_cast<int>(std::strlen(msgtext)) : 0;
    if (n > 79) copy[79] = ' ';
    if (style == 2) {
      auto f = reinterpret_cast<int (*)(DBPROCESS**, DBINT*, int*, int*, char*)>(reinterpret_cast<void (*)()>(h));
      return f(&dbproc, &msgno, &msgstate, &severity, copy);
    }
    auto f = reinterpret_cast<int (*)(DBPROCESS*, DBINT, int, int, char*)>(reinterpret_cast<void (*)()>(h));
    return f(dbproc, msgno, msgstate, severity, copy);
  }
  return h(dbproc, msgno, msgstate, severity, msgtext, srvname, procname, line);
}

int merseterr(DBPROCESS* dbproc, int /*origin*/, int dberr, int severity, int oserr,
              const char* text, const char* ostext) {
  if (dbproc && dbproc->textprobe && dberr == 20018) return INT_CANCEL;
  const char* t = text ? text : "";
  if (!Db__GlobalRec.errhandler) {
    if (severity != 7 && (!dbproc || !dbproc->dead)) {
      Db__GlobalRec.lasterr = dberr;
      Db__GlobalRec.lastsev = severity;
      return INT_CANCEL;
    }
    print_stored_messages(dbproc);
    print_ostext(ostext);
    db__exraise(t);
  }
  // The handler may keep the pointers only for the call.
  char* tcopy = db__strdup(t, -1);
  char* ocopy = ostext ? db__strdup(ostext, -1) : nullptr;
  int answer = dbdoerrhandle(dbproc, severity, dberr, oserr, tcopy, ocopy);
  comn_free(tcopy);
  comn_free(ocopy);
  switch (answer) {
    case INT_CANCEL:
      Db__GlobalRec.lasterr = dberr;
      Db__GlobalRec.lastsev = severity;
      return INT_CANCEL;
    case INT_TIMEOUT:
      if (dberr == 20003) {
        if (dbproc && !(dbproc->batch & DBB_ATTNSENT)) {
          if (dbcancel(dbproc) != SUCCEED) return INT_CANCEL;
        }
        if (dbproc) dbproc->status |= DBST_TIMEDOUT;
        return INT_TIMEOUT;
      }
      std::fprintf(stderr, "Attempt to INT_TIMEOUT on a non-timeout error:\n");
      print_ostext(ostext);
      db__exraise(db__errtext(dberr));
    case INT_CONTINUE:
      if (dberr == 20003) return INT_CONTINUE;
      std::fprintf(stderr, "Attempt to INT_CONTINUE on a non-timeout error:\n");
      print_ostext(ostext);
      db__exraise(t);
    case INT_EXIT:
      print_ostext(ostext);
      db__exraise(t);
    default:
      db__exraise("Unknown error code returned from user-supplied error handler.\n");
  }
}

int db__raise(DBPROCESS* dbproc, int dberr, int severity, int oserr, const char* text) {
  const char* t = text ? text : db__geterrstr(dbproc, dberr);
  const char* os = oserr >= 0 ? db__oserrstr(oserr) : nullptr;
  return merseterr(dbproc, 4, dberr, severity, oserr, t, os);
}

int db__dead_error(DBPROCESS* dbproc, int dberr, int severity) {
  dbsetdead(dbproc);
  db__raise(dbproc, dberr, severity);
  return 0;
}

DB_ERRHANDLE_PROC dbrealerrhandle(DB_ERRHANDLE_PROC handler, int style) {
  DB_ERRHANDLE_PROC old = Db__GlobalRec.errhandler;
  Db__GlobalRec.errhandler = handler;
  Db__GlobalRec.style = style;
  return old;
}
DB_MSGHANDLE_PROC dbrealmsghandle(DB_MSGHANDLE_PROC handler, int style) {
  DB_MSGHANDLE_PROC old = Db__GlobalRec.msghandler;
  Db__GlobalRec.msghandler = handler;
  Db__GlobalRec.style = style;
  return old;
}
DB_ERRHANDLE_PROC dberrhandle(DB_ERRHANDLE_PROC handler) { return dbrealerrhandle(handler, 0); }
DB_MSGHANDLE_PROC dbmsghandle(DB_MSGHANDLE_PROC handler) { return dbrealmsghandle(handler, 0); }

RETCODE dbsetinterrupt(DBPROCESS* dbproc, DB_INTCHK_PROC check, DB_INTHANDLE_PROC handler) {
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->intcheck = check;
  dbproc->inthandler = handler;
  return SUCCEED;
}
RETCODE dbsetbusy(DBPROCESS* dbproc, DB_BUSY_PROC busy) {
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->busy = busy;
  return SUCCEED;
}
RETCODE dbsetidle(DBPROCESS* dbproc, DB_IDLE_PROC idle) {
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->idle = idle;
  return SUCCEED;
}
