// The process-wide record, the connection check and the small accessors.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

DbGlobal Db__GlobalRec = [] {
  DbGlobal g{};
  g.locgen = 1;
  g.maxprocs = 25;
  g.logintime = 60;
  g.cmdtime = 0;
  g.defrowbuf = 1000;
  g.lasterr = 20000;
  g.lastsev = 7;
  return g;
}();

RETCODE dbinit() { return SUCCEED; }

int db__procchk(DBPROCESS* dbproc) {
  if (!dbproc) {
    db__raise(nullptr, 20109, 1);
    return 0;
  }
  if (dbproc->dead || !dbproc->enabled) {
    db__raise(dbproc, 20047, 1);
    return 0;
  }
  return 1;
}

int db__check_null(DBPROCESS* dbproc, const void* p, const char* routine, const char* param) {
  if (p) return 1;
  char text[256];
  std::snprintf(text, sizeof text, db__geterrstr(dbproc, 20176), routine ? routine : "",
                param ? param : "");
  db__raise(dbproc, 20176, 7, -1, text);
  return 0;
}

int db__getDbTimeout(DBPROCESS* dbproc) {
  if (dbproc && dbproc->loggingin) return Db__GlobalRec.logintime;
  return Db__GlobalRec.cmdtime;
}

RETCODE dbsetlogintime(int seconds) {
  if (seconds < 0) {
    db__raise(nullptr, 20021, 7);
    return FAIL;
  }
  Db__GlobalRec.logintime = seconds;
  return SUCCEED;
}

RETCODE dbsettime(int seconds) {
  if (seconds < 0) {
    db__raise(nullptr, 20021, 7);
    return FAIL;
  }
  Db__GlobalRec.cmdtime = seconds;
  return SUCCEED;
}

RETCODE dbsetmaxprocs(int maxprocs) {
  if (maxprocs < 1) {
    db__raise(nullptr, 20112, 2);
    return FAIL;
  }
  Db__GlobalRec.maxprocs = maxprocs;
  return SUCCEED;
}
int dbgetmaxprocs() { return Db__GlobalRec.maxprocs; }

RETCODE dbsetversion(int version) {
  if (version != 1 && version != 2) {
    db__raise(nullptr, 20206, 7);
    return FAIL;
  }
  if (Db__GlobalRec.version != 0) {
    db__raise(nullptr, 20207, 7);
    return FAIL;
  }
  Db__GlobalRec.version = version;
  return SUCCEED;
}

// Read accessors.
int dbwire(DBPROCESS* dbproc) { return dbproc ? dbproc->protolevel : 0; }
int dbcurcmd(DBPROCESS* dbproc) { return dbproc ? dbproc->curcmd : 0; }
DBBOOL dbisavail(DBPROCESS* dbproc) { return dbproc ? dbproc->avail : 0; }
DBBOOL dbdead(DBPROCESS* dbproc) { return dbproc ? dbproc->dead : 0; }
int dbiordesc(DBPROCESS* dbproc) { return dbproc && dbproc->net ? dbproc->net->rfd : -1; }
int dbiowdesc(DBPROCESS* dbproc) { return dbproc && dbproc->net ? dbproc->net->wfd : -1; }
DBBOOL dbrbuf(DBPROCESS* dbproc) {
  if (!dbproc) return 0;
  const dbnetctx* net = dbproc->net;
  return (net && (net->recvavail > 0 || net->stagelen > net->stagepos)) ||
         (dbproc->batch & DBB_NORESULTS);
}
com_charattrib* dbgetcharattrib(DBPROCESS* dbproc) {
  return dbproc ? static_cast<com_charattrib*>(dbproc->charset) : nullptr;
}
DBSTRING* dbgetoptcmd(DBPROCESS* dbproc) { return dbproc ? dbproc->optcmd : nullptr; }
int dbgetcuroffset(DBPROCESS* dbproc) { return dbproc ? dbproc->curoffset : -1; }
DBSTRING* dbgetcmdbuf(DBPROCESS* dbproc) { return dbproc ? dbproc->cmdbuf : nullptr; }
int dbgetstrtotlen(DBSTRING* node) { return node ? node->len : 0; }
DBCOLINFO* dbgetcols(DBPROCESS* dbproc) { return dbproc ? dbproc->columns : nullptr; }
DBCOLINFO* dbgetnextcol(DBCOLINFO* col) { return col ? col->next : nullptr; }
int dbgetcoltype(DBCOLINFO* col) { return col ? col->type : -1; }
DBINT dbgetudtype(DBCOLINFO* col) { return col ? col->usertype : -1; }
DBINT dbgetcollen(DBCOLINFO* col) { return col ? col->maxlen : -1; }
char* dbgetcolname(DBCOLINFO* col) { return col ? col->name : nullptr; }
char* dbgetcolcontrol(DBCOLINFO* col) { return col ? col->control : nullptr; }
const char* dbname(DBPROCESS* dbproc) { return dbproc ? dbproc->dbname : ""; }

const char* dbgetnatlang(DBPROCESS* dbproc) {
  if (dbproc && dbproc->locale) return dbproc->locale->language;
  if (Db__GlobalRec.deflocale) return Db__GlobalRec.deflocale->language;
  return "us_english";
}

// Environment and home.
char* dbgetenv(const char* name) {
  if (!name) return nullptr;
  char area[256];
  int n = intlgetenv(area, sizeof area, name);
  if (n <= 0) return nullptr;
  return db__strdup(area, n);
}
void dbfree_env(char* value) { comn_free(value); }
int dbsethome(const char* directory) { return intl_sethome(directory); }
int dbgethome(char* buffer, int size) { return intl_home(buffer, size); }

// Interactive-client settings.
int db__getDbTime() { return Db__GlobalRec.time; }
void db__setDbTime(int v) { Db__GlobalRec.time = v; }
int db__getDbMsgs() { return Db__GlobalRec.msgs; }
void db__setDbMsgs(int v) { Db__GlobalRec.msgs = v; }
void db__setDbHeader(int v) { Db__GlobalRec.header = v; }
int db__getDbIsqlId() { return Db__GlobalRec.isqlid; }
int db__getDbArgid() { return Db__GlobalRec.argid; }
int db__isdbdebug() { return Db__GlobalRec.debug; }
void db__setDbDebug(int v) { Db__GlobalRec.debug = static_cast<unsigned char>(v); }
int db__getDbOldDateStyle() { return Db__GlobalRec.olddatestyle; }
void db__setDbOldDateStyle(int v) { Db__GlobalRec.olddatestyle = v; }
