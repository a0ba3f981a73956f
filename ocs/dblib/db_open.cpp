// Opening a connection (connect rounds, the login exchange, old-login
// fallback, redirection, pending options) and closing connections.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_alloc.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"
#include "db_trace.h"

namespace {

// Writes a 30-byte text field and its length byte.
void put_field(unsigned char* rec, int off, const char* text) {
  int len = static_cast<int>(std::strlen(text));
  if (len > 30) len = 30;
  std::memset(rec + off, 0, 30);
  std::memcpy(rec + off, text, static_cast<std::size_t>(len));
  rec[off + 30] = static_cast<unsigned char>(len);
}

int db__get_username(char* buffer, int size) {
  passwd* pw = ::getpwuid(::geteuid());
  if (!pw || !pw->pw_name) return 0;
  std::snprintf(buffer, static_cast<std::size_t>(size), "%s", pw->pw_name);
  return 1;
}

// Completes and sends the login message.  `added_rpw` tells whether a
// remote-password entry was added for the time of the login.
int db__passwd_init(DBPROCESS* dbproc, LOGINREC* login, const char* server, int* outcome,
                    bool* added_rpw) {
  unsigned char* rec = login->rec;
  *outcome = 1;
  if (rec[L_HOST + 30] == 0) {
    char host[33];
    db__hostname(host, 31);
    put_field(rec, L_HOST, host);
  }
  if (rec[L_USER + 30] == 0) {
    char user[64];
    if (!db__get_username(user, sizeof user)) {
      db__raise(dbproc, 20110, 10);
      return 0;
    }
    put_field(rec, L_USER, user);
  }
  if (rec[L_RPWLEN] == 0) {
    dbrpwset(login, nullptr, reinterpret_cast<const char*>(rec + L_PWD), rec[L_PWD + 30]);
    *added_rpw = true;
  }
  put_field(rec, L_SERVER, server ? server : "");
  char pid[32];
  std::snprintf(pid, sizeof pid, "%d", static_cast<int>(::getpid()));
  put_field(rec, L_HID, pid);
  dbproc->curcmd = 0;
  tidyproc(dbproc);
  // An encrypted login sends no password in the record.
  unsigned char savedpw[31], savedrpw[256];
  bool encrypted = (rec[L_SECLOGIN] & 1) != 0;
  if (encrypted) {
    std::memcpy(savedpw, rec + L_PWD, 31);
    std::memcpy(savedrpw, rec + L_RPW, 256);
    std::memset(rec + L_PWD, 0, 31);
    std::memset(rec + L_RPW, 0, 256);
  }
  int ok;
  if (dbproc->oldlogin) {
    ok = sendserver(dbproc, rec, LOGIN_OLDLEN, PKT_LOGIN);
  } else {
    ok = sendserver(dbproc, rec, LOGIN_RECLEN, PKT_LOGIN);
    if (ok && Db__GlobalRec.version == 2) ok = db__send_capability(dbproc);
  }
  if (ok) ok = sendeom(dbproc, PKT_LOGIN, 0);
  if (encrypted) {
    std::memcpy(rec + L_PWD, savedpw, 31);
    std::memcpy(rec + L_RPW, savedrpw, 256);
  }
  return ok;
}

// The server's answer to the login, up to its DONE.
int read_login_answer(DBPROCESS* dbproc, LOGINREC* login, int* outcome) {
  bool was_old = dbproc->oldlogin;
  if (!db__next_token(dbproc)) return 0;
  unsigned char type = dbproc->net->lasttype;
  if (type == 0 || type == PKT_OLDSTYLE) {
    dbproc->oldlogin = 1;
    if (!was_old) {
      *outcome = 2;
      return 1;
    }
  } else {
    dbproc->oldlogin = 0;
  }
  dbproc->ackstatus = 6;
  bool ack_seen = false, cap_seen = false;
  for (;;) {
    unsigned char t = dbproc->token;
    if (t == TK_DONE || t == TK_DONEPROC) break;
    int ok;
    if (t == TK_ERROR || t == TK_INFO || t == TK_EED) {
      ok = dbsvinfo(dbproc);
    } else if (t == TK_ENVCHANGE) {
      ok = db__envchange(dbproc);
    } else if (t == TK_DONEINPROC) {
      ok = dbdoneinproc(dbproc, 0);
    } else if (t == TK_LOGINACK && !ack_seen) {
      ack_seen = true;
      ok = dbsvlogin(dbproc, login);
    } else if (t == TK_CAPABILITY && !cap_seen && ack_seen && dbproc->ackstatus == 5 &&
               dbproc->protolevel == 7 && Db__GlobalRec.version == 2) {
      cap_seen = true;
      ok = db__handle_capability(dbproc);
    } else {
      dbsetdead(dbproc);
      db__raise(dbproc, 20020, 9);
      return 0;
    }
    if (!ok) return 0;
  }
  if (dbproc->token == TK_DONE) {
    if (!dbdone(dbproc)) return 0;
  } else {
    int ended = 0;
    if (!dbdoneproc(dbproc, &ended)) return 0;
  }
  if (dbproc->lastmsgno == 4014) *outcome = 3;
  if (dbproc->donestatus & DONE_ERROR) {
    if ((dbproc->oldlogin && dbproc->lastmsgno == 4002) ||
        (!dbproc->oldlogin && dbproc->ackstatus == 6)) {
      db__raise(dbproc, 20014, 2);
      return 0;
    }
  }
  if (dbproc->protolevel == 7 && dbproc->ackstatus == 6) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20210, 9);
    return 0;
  }
  if (dbproc->oldlogin) dbproc->protolevel = db__textok(dbproc) ? 2 : 1;
  char text[8] = {0};
  int n = login->rec[L_PACKETLEN] > 6 ? 6 : login->rec[L_PACKETLEN];
  std::memcpy(text, login->rec + L_PACKET, static_cast<std::size_t>(n));
  int asked = std::atoi(text);
  if (asked < 8 && dbproc->protolevel < 5) asked = dbproc->pktsize;
  dbproc->askedpktsize = asked;
  return 1;
}

// One login exchange on a connected transport.
int dbpasswd(DBPROCESS* dbproc, LOGINREC* login, const char* server, int* outcome) {
  bool added = false;
  // Each exchange is judged by its own messages.
  dbproc->lastmsgno = 0;
  dbproc->redirect[0] = '\0';
  int ok = db__passwd_init(dbproc, login, server, outcome, &added);
  if (ok) ok = read_login_answer(dbproc, login, outcome);
  if (added) dbrpwclr(login);
  return ok;
}

// Frees a connection and everything it owns (not the transport).
void free_proc(DBPROCESS* dbproc) {
  ftos_close(dbproc);
  db__free_trace(dbproc);
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  dbproc->curcmd = 0;
  tidyproc(dbproc);
  dbproc->offsets = offfree(dbproc->offsets);
  if (dbproc->net) {
    comn_free(dbproc->net->block);
    comn_free(dbproc->net->stage);
    comn_free(dbproc->net);
    dbproc->net = nullptr;
  }
  dboptfree(dbproc);
  dbproc->optcmd = strfree(dbproc->optcmd);
  if (dbproc->locale) db__freeloc(dbproc->locale);
  dbproc->curmsg = msgfree(dbproc->curmsg);
  db__free_nulls(dbproc);
  db__free_events(dbproc);
  comn_free(dbproc->savedkey);
  comn_free(dbproc->capmasks);
  comn_free(dbproc);
}

void close_transport(DBPROCESS* dbproc) {
  if (dbproc->net && dbproc->net->closer && dbproc->net->rfd >= 0) dbproc->net->closer(dbproc);
}

}  // namespace

DBPROCESS* dbopen(LOGINREC* login, const char* server) {
  if (Db__GlobalRec.version == 0) Db__GlobalRec.version = 1;
  if (Db__GlobalRec.nprocs >= Db__GlobalRec.maxprocs) {
    db__raise(nullptr, 20011, 8);
    return nullptr;
  }
  LOGINREC* own = nullptr;
  if (!login) {
    own = dblogin();
    if (!own) return nullptr;
    login = own;
  }
  DBPROCESS* dbproc = newdbproc();
  auto* net = static_cast<dbnetctx*>(comn_calloc(1, sizeof(dbnetctx)));
  auto* block = static_cast<BYTE*>(comn_calloc(2, 512));
  if (!dbproc || !net || !block) {
    comn_free(dbproc);
    comn_free(net);
    comn_free(block);
    if (own) dbloginfree(own);
    db__raise(nullptr, 20010, 8, errno);
    return nullptr;
  }
  dbproc->enabled = 1;
  dbproc->net = net;
  net->rfd = net->wfd = -1;
  db__init_charset(dbproc, login);
  dbproc->batch = DBB_NORESULTS;
  dbproc->loggingin = 1;
  dbproc->pktsize = 512;
  dbproc->curoffset = -1;
  db__initserver(net, block, 512);
  auto fail = [&]() -> DBPROCESS* {
    close_transport(dbproc);
    free_proc(dbproc);
    if (own) dbloginfree(own);
    return nullptr;
  };
  if (!db__init_trace(dbproc)) return fail();
  if (!dboptinit(dbproc)) return fail();
  if (!db__init_defeventrec(dbproc)) return fail();
  iface_entry saved{};
  int redirect = 0;
  int redirects = 0;
  // A server that keeps redirecting would otherwise be followed for ever.
  constexpr int kMaxRedirects = 16;
  int followed = 0;
  for (;;) {
    // Every round logs in with packets of 512 bytes, whatever an earlier
    // round was granted.
    dbproc->pktsize = 512;
    dbproc->pending &= static_cast<uint16_t>(~8);
    if (dbproc->net->pktsize != 512 && !db__realloc_bufs(dbproc)) return fail();
    db__initserver(dbproc->net, dbproc->net->block, dbproc->net->pktsize);
    int logintime = Db__GlobalRec.logintime;
    if (!db__initnet(dbproc->net, dbproc, server, "query", &saved, redirect, logintime)) {
      if (!redirect) return fail();
      if (++redirects >= saved.retries) return fail();
      redirect = 0;
      continue;
    }
    int outcome = 1;
    if (dbpasswd(dbproc, login, server, &outcome) && outcome == 1) break;
    close_transport(dbproc);
    dbproc->dead = 0;
    comn_free(dbproc->capmasks);
    dbproc->capmasks = nullptr;
    if (outcome == 1) return fail();
    if (outcome == 2) continue;
    if (outcome == 3) {
      if (++followed > kMaxRedirects || !dbproc->redirect[0]) return fail();
      std::snprintf(saved.host, sizeof saved.host, "%s", dbproc->redirect);
      redirect = 1;
      continue;
    }
    db__raise(dbproc, 20119, 11);
    return fail();
  }
  if (dbproc->pktsize != dbproc->askedpktsize) {
    char text[256];
    if (dbstrbuild(dbproc, text, sizeof text, db__geterrstr(dbproc, 20201), "%d %d",
                   dbproc->askedpktsize, dbproc->pktsize) >= 0)
      db__raise(dbproc, 20201, 1, -1, text);
  }
  if (dbproc->pending & 8) {
    if (!db__realloc_bufs(dbproc)) return fail();
    dbproc->pending &= static_cast<uint16_t>(~8);
  }
  if (dbsendopts(dbproc) != SUCCEED) return fail();
  dbprocess** tail = &Db__GlobalRec.procs;
  while (*tail) tail = &(*tail)->nextproc;
  *tail = dbproc;
  dbproc->spid = Db__GlobalRec.nprocs;
  ++Db__GlobalRec.nprocs;
  binddefault(dbproc);
  ftos_open(dbproc);
  Db__GlobalRec.defrowbuf = 1000;
  dbproc->avail = 1;
  dbproc->loggingin = 0;
  // The built-in record until the server's own set is fetched (at the first
  // command, when the server announced another set).
  if (!dbproc->charset) dbproc->charset = const_cast<COM_CHARATTRIB*>(com_get_charattrib());
  dbproc->status = DBST_EOM;
  dbproc->batch = DBB_NORESULTS;
  if (own) dbloginfree(own);
  return dbproc;
}

void dbclose(DBPROCESS* dbproc) {
  if (!dbproc) {
    db__raise(nullptr, 20109, 1);
    return;
  }
  if (dbproc->dead || !dbproc->enabled) db__raise(dbproc, 20047, 1);
  dbprocess** link = &Db__GlobalRec.procs;
  while (*link && *link != dbproc) link = &(*link)->nextproc;
  if (!*link) return;
  *link = dbproc->nextproc;
  --Db__GlobalRec.nprocs;
  db__crs_close(dbproc);
  close_transport(dbproc);
  free_proc(dbproc);
}

void dbexit() {
  while (Db__GlobalRec.procs) {
    DBPROCESS* p = Db__GlobalRec.procs;
    Db__GlobalRec.procs = p->nextproc;
    --Db__GlobalRec.nprocs;
    db__crs_close(p);
    close_transport(p);
    free_proc(p);
  }
  if (Db__GlobalRec.deflocale) {
    DBLOCALE* loc = Db__GlobalRec.deflocale;
    Db__GlobalRec.deflocale = nullptr;
    loc->usecount = 0;
    db__freeloc(loc);
  }
}
