// Server messages: reading ERROR, INFO and extended-error tokens, acting on
// the message numbers that steer the library, handing each message to the
// message handler and storing messages as lines of at most 70 characters.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

namespace {

constexpr int kMaxStored = 100;
constexpr int kWrap = 70;

int mem_error(DBPROCESS* dbproc) {
  dbsetdead(dbproc);
  db__raise(dbproc, 20010, 8, errno);
  return 0;
}

// Reads a text of `len` bytes into a new NUL-ended block.
char* read_text(DBPROCESS* dbproc, int len) {
  char* t = static_cast<char*>(comn_malloc(static_cast<std::size_t>(len) + 1));
  if (!t) {
    mem_error(dbproc);
    return nullptr;
  }
  if (len > 0 && !recvserver(dbproc, t, len)) {
    comn_free(t);
    return nullptr;
  }
  t[len] = '\0';
  return t;
}

// Reads one message token into `m`.
int read_dbinfo(DBPROCESS* dbproc, dbmsgrec* m, unsigned char token) {
  uint16_t len;
  unsigned char state, sev;
  if (!db__getu16(dbproc, &len) || !db__get32(dbproc, &m->number) || !db__getbyte(dbproc, &state) ||
      !db__getbyte(dbproc, &sev))
    return 0;
  m->state = state;
  m->severity = sev;
  int used = 6;
  if (token == TK_EED) {
    if (!db__discard(dbproc, 3)) return 0;
    used += 3;
  }
  if (dbproc->oldlogin) {
    int tl = len - 6;
    if (tl < 0) tl = 0;
    if (!(m->text = read_text(dbproc, tl))) return 0;
    m->server = db__strdup("", 0);
    m->proc = db__strdup("", 0);
    if (!m->server || !m->proc) return mem_error(dbproc);
    m->line = 0;
  } else {
    uint16_t tl;
    unsigned char sl, pl;
    int16_t line;
    if (!db__getu16(dbproc, &tl) || !(m->text = read_text(dbproc, tl))) return 0;
    if (!db__getbyte(dbproc, &sl) || !(m->server = read_text(dbproc, sl))) return 0;
    if (!db__getbyte(dbproc, &pl) || !(m->proc = read_text(dbproc, pl))) return 0;
    if (!db__get16(dbproc, &line)) return 0;
    m->line = line;
    used += 2 + tl + 1 + sl + 1 + pl + 2;
    if (len > used && !db__discard(dbproc, len - used)) return 0;
  }
  std::size_t n = std::strlen(m->text);
  if (n > 0 && m->text[n - 1] == '\n') m->text[n - 1] = '\0';
  return 1;
}

dbmsgrec* new_line(const char* text, std::size_t len) {
  dbmsgrec* r = infonew();
  if (!r) return nullptr;
  r->text = db__strdup(text, static_cast<int>(len));
  if (!r->text) {
    comn_free(r);
    return nullptr;
  }
  return r;
}

// Wraps a record's text at the last blank or tab within 71 characters,
// appending continuation records right after it.
int db__msgwrap(DBPROCESS* dbproc, dbmsgrec* rec) {
  while (rec) {
    char* t = rec->text;
    if (char* nl = std::strstr(t, "\\n")) {
      *nl = ' ';
      std::memmove(nl + 1, nl + 2, std::strlen(nl + 2) + 1);
    }
    std::size_t n = std::strlen(t);
    if (n <= kWrap) return 1;
    int cut = -1;
    for (int i = kWrap; i >= 0; --i)
      if (t[i] == ' ' || t[i] == '\t') { cut = i; break; }
    if (cut < 0) return 1;
    dbmsgrec* cont = new_line(t + cut + 1, n - static_cast<std::size_t>(cut) - 1);
    if (!cont) return mem_error(dbproc);
    t[cut] = '\0';
    cont->next = rec->next;
    rec->next = cont;
    rec = cont;
  }
  return 1;
}

void append(DBPROCESS* dbproc, dbmsgrec* r) {
  dbmsgrec** tail = &dbproc->msgs;
  while (*tail) tail = &(*tail)->next;
  *tail = r;
}

}  // namespace

int db__save_msg(DBPROCESS* dbproc, dbmsgrec* m) {
  if (m->number == 5701 || m->number == 4014) {
    db__free_msg(m);
    return 1;
  }
  int stored = dbnummsg(dbproc);
  if (stored <= kMaxStored) {
    if (m->severity >= 11) {
      char head[80];
      std::snprintf(head, sizeof head, "Msg %ld, Level %d, State %d:", static_cast<long>(m->number),
                    m->severity, m->state);
      dbmsgrec* h = new_line(head, std::strlen(head));
      if (!h) {
        db__free_msg(m);
        return mem_error(dbproc);
      }
      h->number = m->number;
      h->severity = m->severity;
      h->state = m->state;
      append(dbproc, h);
      m->number = 0;
      m->state = 0;
      m->severity = 0;
    }
    append(dbproc, m);
    return db__msgwrap(dbproc, m);
  }
  db__free_msg(m);
  if (stored == kMaxStored + 1) {
    dbmsgrec* r = new_line("Maximum (100) Data Server messages processed.", 45);
    if (!r) return mem_error(dbproc);
    append(dbproc, r);
  }
  return 1;
}

void dbdbchange(DBPROCESS* dbproc, dbmsgrec* m) {
  const char* t = m->text;
  if (!t || !*t) return;
  const char* last = std::strrchr(t, '\'');
  if (!last || last == t) return;
  const char* prev = last - 1;
  while (prev >= t && *prev != '\'') --prev;
  if (prev < t) return;
  char name[31];
  std::size_t n = static_cast<std::size_t>(last - prev - 1);
  if (n > 30) n = 30;
  std::memcpy(name, prev + 1, n);
  name[n] = '\0';
  if (std::strcmp(name, dbproc->dbname) != 0) {
    std::memcpy(dbproc->dbname, name, n + 1);
    dbproc->status |= DBST_DBCHANGED;
  }
}

int dbsvinfo(DBPROCESS* dbproc) {
  while (dbproc->token == TK_INFO || dbproc->token == TK_ERROR || dbproc->token == TK_EED) {
    unsigned char token = dbproc->token;
    if (token == TK_EED && dbproc->protolevel < 7) {
      dbsetdead(dbproc);
      db__raise(nullptr, 20020, 9);
      return FAIL;
    }
    dbmsgrec* m = infonew();
    if (!m) return mem_error(dbproc);
    if (!read_dbinfo(dbproc, m, token)) {
      db__free_msg(m);
      return FAIL;
    }
    dbproc->lastmsgno = m->number;
    if (m->number == 4014) db__set_login_node(dbproc, m->text);
    if (m->number == 5701 && dbproc->protolevel < 4) dbdbchange(dbproc, m);
    if (m->number == 5702) dbsetdead(dbproc);
    if (dbproc->inuse && (m->number == 918 || m->number == 921 || m->number == 922)) {
      dbuse_msg_handler(dbproc);
      db__free_msg(m);
      return db__next_token(dbproc) ? SUCCEED : FAIL;
    }
    if (dbproc->textprobe && m->number == 155) {
      dbproc->textprobeok = 0;
      db__free_msg(m);
      return db__next_token(dbproc) ? SUCCEED : FAIL;
    }
    if (dbproc->textprobe) dbproc->textprobeok = 0;
    if (Db__GlobalRec.msghandler) {
      int answer = dbdomsghandle(dbproc, m->number, m->state, m->severity, m->text, m->server,
                                 m->proc, m->line);
      if (answer == 1) {
        if (!db__save_msg(dbproc, m)) return FAIL;
      } else {
        db__free_msg(m);
      }
    } else if (!db__save_msg(dbproc, m)) {
      return FAIL;
    }
    if (!db__next_token(dbproc)) return FAIL;
  }
  return SUCCEED;
}

void db__set_login_node(DBPROCESS* dbproc, const char* text) {
  dbproc->redirect[0] = '\0';
  if (!text || !*text) return;
  const char* last = std::strrchr(text, '\'');
  if (!last || last == text) return;
  const char* prev = last - 1;
  while (prev >= text && *prev != '\'') --prev;
  if (prev < text) return;
  std::size_t n = static_cast<std::size_t>(last - prev - 1);
  if (n > 30) n = 30;
  std::memcpy(dbproc->redirect, prev + 1, n);
  dbproc->redirect[n] = '\0';
}

char* dbgetmsg(DBPROCESS* dbproc) {
  if (!dbproc) return nullptr;
  dbmsgrec* next = dbproc->msgcursor ? dbproc->msgcursor->next : dbproc->msgs;
  if (!next) return nullptr;
  dbproc->msgcursor = next;
  return next->text;
}

char* dbservermsg(DBPROCESS* dbproc, DBINT* msgno, int* msgstate, int* severity) {
  if (!dbproc) return nullptr;
  dbmsgrec* next = dbproc->msgcursor ? dbproc->msgcursor->next : dbproc->msgs;
  if (!next) return nullptr;
  dbproc->msgcursor = next;
  if (msgno) *msgno = next->number;
  if (msgstate) *msgstate = next->state;
  if (severity) *severity = next->severity;
  return next->text;
}

RETCODE dbsetmsg(DBPROCESS* dbproc, int n) {
  if (!dbproc || n < 1) return FAIL;
  if (n == 1) {
    dbproc->msgcursor = nullptr;
    return dbproc->msgs ? SUCCEED : FAIL;
  }
  dbmsgrec* r = dbproc->msgs;
  for (int i = 1; r && i < n - 1; ++i) r = r->next;
  if (!r) return FAIL;
  dbproc->msgcursor = r;
  return SUCCEED;
}

int dbnummsg(DBPROCESS* dbproc) {
  int n = 0;
  for (dbmsgrec* r = dbproc ? dbproc->msgs : nullptr; r; r = r->next) ++n;
  return n;
}
