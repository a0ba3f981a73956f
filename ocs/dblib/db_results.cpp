// Results: the readers of the column-format tokens and of the DONE-kind
// tokens, dbresults, and the accessors of the current result's columns.
#include <cerrno>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/com_num.h"
#include "dblib/db_internal.h"
#include "db_compute.h"

namespace {

// Appends a column record to the connection's list.
dbcolumn* append_column(DBPROCESS* dbproc) {
  dbcolumn* c = colnew();
  if (!c) {
    db__dead_error(dbproc, 20010, 8);
    return nullptr;
  }
  dbcolumn** tail = &dbproc->columns;
  while (*tail) tail = &(*tail)->next;
  *tail = c;
  return c;
}

}  // namespace

// Reads the length information of a column format into `c`.
int dbread_collen(DBPROCESS* dbproc, dbcolumn* c) {
  int t = c->type;
  unsigned char b;
  switch (t) {
    case MERINT1: case MERBIT: c->maxlen = 1; c->displen = 3; break;
    case MERINT2: c->maxlen = 2; c->displen = 6; break;
    case MERINT4: c->maxlen = 4; c->displen = 11; break;
    case MERDATETIME4: c->maxlen = 4; c->displen = 26; break;
    case MERREAL: c->maxlen = 4; c->displen = 20; break;
    case MERMONEY: c->maxlen = 8; c->displen = 24; break;
    case MERDATETIME: c->maxlen = 8; c->displen = Db__GlobalRec.olddatestyle ? 20 : 26; break;
    case MERFLT8: c->maxlen = 8; c->displen = 20; break;
    case MERMONEY4: c->maxlen = 4; c->displen = 24; break;
    case MERTEXT: case MERIMAGE: {
      int16_t tl;
      char table[256];
      if (!db__get32(dbproc, &c->maxlen) || !db__get16(dbproc, &tl)) return 0;
      if (tl < 0) return db__dead_error(dbproc, 20020, 9);
      if (!db__read_name(dbproc, tl, table, sizeof table)) return 0;
      comn_free(c->texttable);
      c->texttable = db__strdup(table, -1);
      if (!c->texttable) return db__dead_error(dbproc, 20010, 8);
      c->displen = c->maxlen;
      if (dbproc->textlimit > 0 && c->displen > dbproc->textlimit) c->displen = dbproc->textlimit;
      break;
    }
    case MERINTN:
      if (!db__getbyte(dbproc, &b)) return 0;
      c->maxlen = b;
      if (b == 1) c->displen = 4;
      else if (b == 2) c->displen = 6;
      else if (b == 4) c->displen = 11;
      else return db__dead_error(dbproc, 20025);
      break;
    case MERFLTN:
      if (!db__getbyte(dbproc, &b)) return 0;
      if (b != 4 && b != 8) return db__dead_error(dbproc, 20145);
      c->maxlen = b;
      c->displen = 20;
      break;
    case MERMONEYN:
      if (!db__getbyte(dbproc, &b)) return 0;
      if (b != 4 && b != 8) return db__dead_error(dbproc, 20144);
      c->maxlen = b;
      c->displen = 24;
      break;
    case MERDATETIMN:
      if (!db__getbyte(dbproc, &b)) return 0;
      if (b != 4 && b != 8) return db__dead_error(dbproc, 20143);
      c->maxlen = b;
      c->displen = (b == 8 && Db__GlobalRec.olddatestyle) ? 20 : 26;
      break;
    case MERDECIMAL: case MERNUMERIC: {
      unsigned char ml, prec, scale;
      if (!db__getbyte(dbproc, &ml) || !db__getbyte(dbproc, &prec) || !db__getbyte(dbproc, &scale))
        return 0;
      if (prec < 1 || prec > 77) return db__dead_error(dbproc, 20224);
      if (scale > 77 || scale > prec) return db__dead_error(dbproc, 20225);
      if (!db__check_numlen(dbproc, t, prec, ml)) return 0;
      c->precision = prec;
      c->scale = scale;
      c->maxlen = 35;
      c->displen = prec + 3;
      break;
    }
    default:
      if ((t & 0x30) != 0x20) return db__dead_error(dbproc, 20029);
      if (!db__getbyte(dbproc, &b)) return 0;
      c->maxlen = b;
      c->displen = b;
      break;
  }
  int namelen = static_cast<int>(std::strlen(c->name));
  if (t == MERBINARY || t == MERVARBINARY) {
    c->displen = 2 * c->maxlen + 2;
  }
  if (namelen > c->displen) c->displen = namelen;
  return 1;
}

int db__check_nlen(DBPROCESS* dbproc, int type, int32_t maxlen, int32_t len) {
  return db__nlen_ok(type, maxlen, len) ? 1 : db__dead_error(dbproc, db__nlen_error(type));
}

int db__check_numlen(DBPROCESS* dbproc, int type, int precision, int32_t len) {
  if (len == comn_num_getlen(precision)) return 1;
  return db__dead_error(dbproc, type == MERNUMERIC ? 20226 : 20227);
}

void db__badtoken(DBPROCESS* dbproc) {
  dbsetdead(dbproc);
  db__raise(dbproc, 20020, 9);
}

bool db__is_varytype(int t) {
  switch (t) {
    case 31: case 34: case 35: case 37: case 38: case 39: case 45: case 47:
    case 103: case 104: case 106: case 108: case 109: case 110: case 111:
      return true;
    default:
      return false;
  }
}

int db__typelen(DBPROCESS* dbproc, int type) {
  switch (type) {
    case MERINT1: case MERBIT: return 1;
    case MERINT2: return 2;
    case MERINT4: case MERDATETIME4: case MERREAL: case MERMONEY4: return 4;
    case MERMONEY: case MERDATETIME: case MERFLT8: return 8;
    default:
      if ((type & 0x30) == 0x20) return -1;
      db__dead_error(dbproc, 20029);
      return -1;
  }
}

// Skips a token with a 2-byte length (one this library does not keep) and
// reads the next token.
int db__skip_token(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len) || !db__discard(dbproc, len)) return 0;
  return db__next_token(dbproc);
}

int db__calc_numcols(DBPROCESS* dbproc) {
  int n = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next)
    if (!(c->colstatus & 0x10)) ++n;
  dbproc->numcols = n;
  return n;
}

int dblib::svrowfmt(DBPROCESS* dbproc) {
  uint16_t len;
  int16_t count;
  if (!db__getu16(dbproc, &len) || !db__get16(dbproc, &count)) return 0;
  for (int i = 0; i < count; ++i) {
    dbcolumn* c = append_column(dbproc);
    if (!c) return 0;
    unsigned char nl, st, type, loclen;
    if (!db__getbyte(dbproc, &nl) || !db__read_name(dbproc, nl, c->name, sizeof c->name)) return 0;
    if (!db__getbyte(dbproc, &st) || !db__get32(dbproc, &c->usertype) || !db__getbyte(dbproc, &type))
      return 0;
    c->rowfmtstatus = st;
    c->type = type;
    if (!dbread_collen(dbproc, c)) return 0;
    if (!db__getbyte(dbproc, &loclen) || !db__discard(dbproc, loclen)) return 0;
  }
  return db__next_token(dbproc);
}

static int svcolname(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int used = 0;
  while (used < len) {
    unsigned char nl;
    if (!db__getbyte(dbproc, &nl)) return 0;
    dbcolumn* c = append_column(dbproc);
    if (!c || !db__read_name(dbproc, nl, c->name, sizeof c->name)) return 0;
    used += 1 + nl;
  }
  return db__next_token(dbproc);
}

static int svcolfmt(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next) {
    unsigned char type;
    if (!db__get32(dbproc, &c->usertype) || !db__getbyte(dbproc, &type)) return 0;
    c->type = type;
    if (type == MERDECIMAL || type == MERNUMERIC) return db__dead_error(dbproc, 20060);
    if (!dbread_collen(dbproc, c)) return 0;
  }
  return db__next_token(dbproc);
}

int dblib::svcontrol(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int used = 0;
  for (dbcolumn* c = dbproc->columns; c && used < len; c = c->next) {
    unsigned char l;
    if (!db__getbyte(dbproc, &l)) return 0;
    ++used;
    comn_free(c->control);
    c->control = nullptr;
    if (l > 0) {
      c->control = static_cast<char*>(comn_malloc(static_cast<std::size_t>(l) + 1));
      if (!c->control) return db__dead_error(dbproc, 20010, 8);
      if (!recvserver(dbproc, c->control, l)) return 0;
      c->control[l] = '\0';
      used += l;
    }
  }
  if (used < len && !db__discard(dbproc, len - used)) return 0;
  return db__next_token(dbproc);
}

int dbsvcolinfo(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int used = 0;
  while (used + 3 <= len) {
    unsigned char num, tab, st;
    if (!db__getbyte(dbproc, &num) || !db__getbyte(dbproc, &tab) || !db__getbyte(dbproc, &st)) return 0;
    used += 3;
    dbcolumn* c = dbproc->columns;
    for (int i = 1; c && i < num; ++i) c = c->next;
    if (num < 1) c = nullptr;
    char src[256] = "";
    if (st & 0x20) {
      unsigned char nl;
      if (!db__getbyte(dbproc, &nl) || !db__read_name(dbproc, nl, src, sizeof src)) return 0;
      used += 1 + nl;
    }
    if (!c) continue;  // names a column beyond the list: ignored
    c->tabnum = tab;
    c->colstatus = st;
    comn_free(c->srcname);
    c->srcname = db__strdup(src, -1);
    if (!c->srcname) return db__dead_error(dbproc, 20010, 8);
  }
  if (used < len && !db__discard(dbproc, len - used)) return 0;
  return db__next_token(dbproc);
}

int dbsvtabname(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  dbproc->tabnames = dbtabfree(dbproc->tabnames);
  dbtabrec** tail = &dbproc->tabnames;
  int used = 0;
  while (used < len) {
    unsigned char nl;
    if (!db__getbyte(dbproc, &nl)) return 0;
    auto* t = static_cast<dbtabrec*>(comn_calloc(1, sizeof(dbtabrec)));
    if (!t) return db__dead_error(dbproc, 20010, 8);
    *tail = t;
    tail = &t->next;
    if (!db__read_name(dbproc, nl, t->name, 31)) return 0;
    used += 1 + nl;
  }
  return db__next_token(dbproc);
}

int dbsvorder(DBPROCESS* dbproc) {
  int16_t count;
  if (!db__get16(dbproc, &count)) return 0;
  comn_free(dbproc->orders);
  dbproc->orders = nullptr;
  dbproc->norders = 0;
  if (count > 0) {
    dbproc->orders = static_cast<int32_t*>(comn_calloc(static_cast<std::size_t>(count), sizeof(int32_t)));
    if (!dbproc->orders) return db__dead_error(dbproc, 20010, 8);
    for (int i = 0; i < count; ++i) {
      unsigned char b;
      if (!db__getbyte(dbproc, &b)) return 0;
      dbproc->orders[i] = b;
    }
    dbproc->norders = count;
  }
  return db__next_token(dbproc);
}

int dbsvoff(DBPROCESS* dbproc) {
  while (dbproc->token == TK_OFFSET) {
    auto* o = static_cast<dboffset*>(comn_calloc(1, sizeof(dboffset)));
    if (!o) return db__dead_error(dbproc, 20010, 8);
    dboffset** tail = &dbproc->offsets;
    while (*tail) tail = &(*tail)->next;
    *tail = o;
    if (!db__get16(dbproc, &o->type) || !db__get16(dbproc, &o->offset) || !db__next_token(dbproc))
      return 0;
  }
  return 1;
}

int dbsvcoff(DBPROCESS* dbproc) {
  int16_t type, off;
  if (!db__get16(dbproc, &type) || !db__get16(dbproc, &off)) return 0;
  dbproc->curoffset = off;
  return db__next_token(dbproc);
}

static int dbsvprocid(DBPROCESS* dbproc) {
  if (!db__get32(dbproc, &dbproc->procid) || !db__discard(dbproc, 4)) return 0;
  dbproc->status |= DBST_PROCID;
  return db__next_token(dbproc);
}

// A final DONE is where the server character set used to be fetched, but
// the query would replace the result the caller is still reading (its
// columns, rows, count and messages).  The query stays pending and runs
// when the connection starts its next command (db__charset_pending).
void db__run_charset_query(DBPROCESS*) {}

int dbdone(DBPROCESS* dbproc) {
  bool prevvalid = (dbproc->donestatus & DONE_COUNT) != 0;
  int32_t prevcount = dbproc->donecount;
  uint16_t st, cmd;
  int32_t count;
  if (!db__getu16(dbproc, &st) || !db__getu16(dbproc, &cmd) || !db__get32(dbproc, &count)) return 0;
  dbproc->donecmd = cmd;
  dbproc->donecount = count;
  bool acked = (st & DONE_ATTN) != 0;
  if (acked && !(dbproc->status & (DBST_INTERRUPTED | DBST_TIMEDOUT))) {
    dbproc->donestatus = st;
    dbproc->batch |= DBB_ATTNACKED;
    return db__next_token(dbproc);
  }
  if (st & DONE_EVENT) {
    dbproc->donestatus = st;
    if ((dbproc->batch & DBB_NORESULTS) && dbproc->charsetquery && !dbproc->loggingin)
      db__run_charset_query(dbproc);
    return 1;
  }
  bool attnsent = (dbproc->batch & DBB_ATTNSENT) != 0;
  if (attnsent && !acked) {
    st |= DONE_MORE;
    dbproc->batch &= ~DBB_NORESULTS;
  }
  bool read_next = false;
  if (!(st & DONE_MORE) && (!attnsent || acked)) {
    dbproc->batch |= DBB_NORESULTS;
  } else {
    dbproc->batch &= ~DBB_NORESULTS;
    st |= DONE_MORE;
    read_next = true;
  }
  if (attnsent) {
    if (acked) {
      dbproc->status &= ~DBST_INTERRUPTED;
      dbproc->batch &= ~DBB_ATTNSENT;
    } else {
      st |= DONE_MORE;
      dbproc->batch &= ~DBB_NORESULTS;
    }
  }
  if (!(st & DONE_COUNT) && prevvalid) {
    dbproc->donecount = prevcount;
    st |= DONE_COUNT;
  }
  dbproc->donestatus = st;
  if (dbproc->batch & DBB_NORESULTS) {
    if (dbproc->pending & 8) {
      if (!db__realloc_bufs(dbproc)) return 0;
      dbproc->pending &= static_cast<uint16_t>(~8);
    }
    if (dbproc->charsetquery && !dbproc->loggingin) db__run_charset_query(dbproc);
  }
  if (read_next) return db__next_token(dbproc);
  return 1;
}

int dbdoneproc(DBPROCESS* dbproc, int* ended) {
  uint16_t st, cmd;
  int32_t count;
  if (!db__getu16(dbproc, &st) || !db__getu16(dbproc, &cmd) || !db__get32(dbproc, &count)) return 0;
  if (st & DONE_COUNT) {
    dbproc->donecount = count;
    dbproc->donestatus |= DONE_COUNT;
  }
  bool acked = (st & DONE_ATTN) != 0;
  if (dbproc->batch & DBB_ATTNSENT) {
    if (!acked) {
      st |= DONE_MORE;
      dbproc->donestatus |= DONE_MORE;
      dbproc->batch &= ~DBB_NORESULTS;
    } else {
      dbproc->batch |= DBB_ATTNACKED;
    }
  }
  if (!(st & DONE_MORE) && !acked) {
    dbproc->batch |= DBB_NORESULTS;
    dbproc->donestatus = static_cast<uint16_t>((dbproc->donestatus & ~DONE_MORE) | (st & ~DONE_MORE));
    *ended = 1;
    if (dbproc->charsetquery && !dbproc->loggingin) db__run_charset_query(dbproc);
    return 1;
  }
  if (!acked) dbproc->batch &= ~DBB_NORESULTS;
  return db__next_token(dbproc);
}

int dbdoneinproc(DBPROCESS* dbproc, int keepcount) {
  uint16_t st, cmd;
  int32_t count;
  if (!db__getu16(dbproc, &st) || !db__getu16(dbproc, &cmd) || !db__get32(dbproc, &count)) return 0;
  if (keepcount && (st & DONE_COUNT)) {
    dbproc->donecount = count;
    dbproc->donestatus |= DONE_COUNT;
  }
  if (st & DONE_ATTN) {
    dbproc->batch &= ~DBB_ATTNSENT;
    if (!(dbproc->status & DBST_INTERRUPTED)) dbproc->batch |= DBB_ATTNACKED;
    if (!(st & DONE_MORE)) {
      bool interrupted = (dbproc->status & DBST_INTERRUPTED) != 0;
      dbproc->donestatus = st;
      dbproc->batch |= DBB_NORESULTS;
      if (dbproc->charsetquery && !dbproc->loggingin) db__run_charset_query(dbproc);
      dbproc->status &= ~DBST_INTERRUPTED;
      if (interrupted) return 1;
    }
  } else {
    dbproc->donestatus |= DONE_MORE;
  }
  return db__next_token(dbproc);
}

RETCODE dbresults(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  if (dbproc->status & DBST_CANCELLED) {
    dbproc->status &= ~(DBST_CANCELLED | DBST_ROWS);
    dbproc->batch |= DBB_NORESULTS;
    return NO_MORE_RESULTS;
  }
  if (dbproc->textopen) return NO_MORE_RESULTS;
  if (dbproc->status & DBST_ROWS) {
    db__raise(dbproc, 20019, 7);
    return FAIL;
  }
  bool noresults = (dbproc->batch & DBB_NORESULTS) != 0;
  if (dbproc->curcmd == 0 && (dbproc->status & DBST_SQLOK_DONE)) {
    dbproc->curcmd = 1;
    dbproc->status &= ~DBST_SQLOK_DONE;
    if (noresults && ((dbproc->donestatus & DONE_ERROR) || (dbproc->status & DBST_TIMEDOUT)))
      return NO_MORE_RESULTS;
    if (!(dbproc->donestatus & DONE_ERROR)) {
      db__calc_numcols(dbproc);
      return SUCCEED;
    }
    db__raise(dbproc, 20018, 5);
    return FAIL;
  }
  if (noresults) return NO_MORE_RESULTS;
  if ((dbproc->donestatus & DONE_EVENT) && !db__next_token(dbproc)) return FAIL;
  if (dbproc->curcmd > 0) tidyproc(dbproc);
  ++dbproc->curcmd;
  bool level7 = dbproc->protolevel >= 7;
  bool columns_seen = false;
  bool retstat_seen = false;
  for (;;) {
    unsigned char t = dbproc->token;
    int ok = 1;
    switch (t) {
      case TK_COLNAME: case TK_ROWFMT:
        if ((t == TK_ROWFMT) != level7) {
          db__badtoken(dbproc);
          return FAIL;
        }
        if (dbproc->columns) {
          dbproc->status &= ~DBST_ROWS;
          db__calc_numcols(dbproc);
          return db__check_timeout(dbproc);
        }
        dbproc->donecount = 0;
        dbproc->donestatus &= static_cast<uint16_t>(~DONE_COUNT);
        dbproc->status |= DBST_ROWS;
        columns_seen = true;
        ok = t == TK_ROWFMT ? svrowfmt(dbproc) : svcolname(dbproc);
        break;
      case TK_ROW: case TK_ALTROW:
        // Rows without a format cannot be read; rows after one belong to
        // it and are pending (else the caller would never consume them).
        if (!dbproc->columns) {
          db__badtoken(dbproc);
          return FAIL;
        }
        dbproc->status |= DBST_ROWS;
        db__calc_numcols(dbproc);
        return db__check_timeout(dbproc);
      case TK_DONE: case TK_DONEPROC: {
        int ended = 0;
        ok = t == TK_DONE ? dbdone(dbproc) : dbdoneproc(dbproc, &ended);
        if (!ok) return FAIL;
        if (dbproc->batch & DBB_ATTNACKED) {
          dbproc->batch &= ~DBB_ATTNACKED;
          break;
        }
        if (t == TK_DONEPROC && !ended && !retstat_seen) break;
        db__calc_numcols(dbproc);
        dbproc->status &= ~DBST_ROWS;
        if (dbproc->donestatus & DONE_ERROR) {
          db__raise(dbproc, 20018, 5);
          return FAIL;
        }
        return db__check_timeout(dbproc);
      }
      case TK_DONEINPROC:
        if (columns_seen) {
          ok = dbdoneinproc(dbproc, 1);
          columns_seen = false;
          if (ok && (dbproc->batch & DBB_ATTNACKED)) {
            dbproc->status &= ~DBST_ROWS;
            db__calc_numcols(dbproc);
          }
        } else {
          ok = dbdoneinproc(dbproc, 0);
        }
        dbproc->batch &= ~DBB_ATTNACKED;
        break;
      case TK_ORDERBY: ok = dbsvorder(dbproc); break;
      case TK_ERROR: case TK_INFO: ok = dbsvinfo(dbproc); break;
      case TK_COLINFO: ok = dbsvcolinfo(dbproc); break;
      case TK_TABNAME: ok = dbsvtabname(dbproc); break;
      case TK_CONTROL: ok = svcontrol(dbproc); break;
      case TK_OFFSET: ok = dbsvcoff(dbproc); break;
      case TK_ENVCHANGE: ok = db__envchange(dbproc); break;
      case TK_RETURNSTATUS: {
        int32_t st = 0;
        ok = db__get32(dbproc, &st) && db__next_token(dbproc);
        dbproc->retstatus = st;
        dbproc->hasretstat = 1;
        retstat_seen = true;
        break;
      }
      case TK_RETURNVALUE:
        ok = dbsvretval(dbproc);
        break;
      case TK_ALTNAME: ok = svaltname(dbproc); break;
      case TK_ALTFMT: ok = svaltfmt(dbproc); break;
      case TK_EVENT:
        ok = db__handle_event(dbproc);
        break;
      case TK_PROCID: case TK_OLDCOLFMT: case TK_COLFMT: case TK_ALTCONTROL:
        if (level7) {
          db__badtoken(dbproc);
          return FAIL;
        }
        if (t == TK_PROCID) ok = dbsvprocid(dbproc);
        else if (t == TK_ALTCONTROL) ok = svaltcontrol(dbproc);
        else ok = svcolfmt(dbproc);
        break;
      default:
        db__badtoken(dbproc);
        return FAIL;
    }
    if (!ok) return FAIL;
  }
}
