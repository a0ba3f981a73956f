// Rows: reading ROW tokens into row records (one reused record, or a
// bounded row buffer), and the accessors of the current row's values.
#include <cerrno>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"
#include "db_compute.h"

namespace {

// Whether the row buffer option is on (dbisopt without a parameter, read
// in place: rows ask it twice each).
bool buffering(DBPROCESS* dbproc) { return dbproc->options && dbproc->options[DBBUFFER].set; }


bool is_fixed(int type) {
  switch (type) {
    case MERINT1: case MERBIT: case MERINT2: case MERINT4: case MERDATETIME4: case MERREAL:
    case MERMONEY: case MERDATETIME: case MERFLT8: case MERMONEY4:
      return true;
    default:
      return false;
  }
}

// Allocates, purging the row buffer once under pressure.
void* alloc_row_memory(DBPROCESS* dbproc, std::size_t size) {
  void* p = comn_calloc(1, size);
  if (!p && buffering(dbproc)) {
    dbpurgebuf(dbproc);
    p = comn_calloc(1, size);
  }
  if (!p) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
  }
  return p;
}

dbrow* db__get_new_row(DBPROCESS* dbproc) { return db__new_row(dbproc, dballcols(dbproc)); }

// The size of the buffer a value of column `c` is read into, `wire` being
// its length on the wire (-1 for NULL).  The one reused record keeps every
// value but text and image in a buffer of the column's maximum length; a
// buffered row keeps a value of its own length (a numeric, of its
// format's).  Text and image go by their own length, cut at the text limit.
inline int32_t value_size(const DBPROCESS* dbproc, const dbcolumn* c, bool text, bool numeric, bool buf,
                          int32_t wire) {
  if (!text && (!buf || (numeric && wire >= 0))) return c->maxlen;
  const int32_t size = wire < 0 ? 0 : wire;
  return text && dbproc->textlimit > 0 && size > dbproc->textlimit ? dbproc->textlimit : size;
}

// Whether a value of `size` bytes needs a new buffer before it is read.  A
// text or image value's buffer grows as its bytes arrive: its length on
// the wire is no promise that they will.
inline bool needs_buffer(const dbcolvalue* v, bool text, int32_t size) {
  return !text && size > 0 && (!v->data || v->allocsize < size);
}

// The first buffer of a value that grows as its bytes arrive.
const int32_t kFirstGrowth = 32 * 1024;

}  // namespace

int db__read_value(DBPROCESS* dbproc, dbcolvalue* v, int32_t wire, int32_t keep) {
  int32_t got = 0;
  while (got < keep) {
    if (v->allocsize < keep && (!v->data || got == v->allocsize)) {
      int32_t want = v->allocsize >= kFirstGrowth ? v->allocsize : kFirstGrowth;
      want = want > keep - v->allocsize ? keep : v->allocsize + want;
      auto* p = static_cast<BYTE*>(comn_realloc(v->data, static_cast<std::size_t>(want)));
      if (!p && buffering(dbproc)) {
        dbpurgebuf(dbproc);
        p = static_cast<BYTE*>(comn_realloc(v->data, static_cast<std::size_t>(want)));
      }
      if (!p) {
        dbsetdead(dbproc);
        db__raise(dbproc, 20010, 8, errno);
        return 0;
      }
      v->data = p;
      v->allocsize = want;
    }
    int32_t n = (v->allocsize < keep ? v->allocsize : keep) - got;
    if (!recvserver(dbproc, v->data + got, n)) return 0;
    got += n;
  }
  if (!db__discard(dbproc, wire - keep)) return 0;
  v->len = keep;
  return 1;
}

dbrow* db__new_row(DBPROCESS* dbproc, int n) {
  dbrow* r = rownew(n);
  if (!r && buffering(dbproc)) {
    dbpurgebuf(dbproc);
    r = rownew(n);
  }
  if (!r) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
  }
  return r;
}

namespace {

// Reads the length part of one value: `len` (-1 for NULL).  Inline in the
// row reader, which runs it for every value.
inline int read_datalen(DBPROCESS* dbproc, dbcolumn* c, dbcolvalue* v, int32_t* len) {
  if (is_fixed(c->type)) {
    *len = c->maxlen;
    return 1;
  }
  if (c->type == MERTEXT || c->type == MERIMAGE) {
    unsigned char tpl;
    if (!db__getbyte(dbproc, &tpl)) return 0;
    if (tpl == 0) {
      *len = -1;
      return 1;
    }
    int keep = tpl > 16 ? 16 : tpl;
    if (!recvserver(dbproc, v->textptr, keep) || !db__discard(dbproc, tpl - keep)) return 0;
    v->textptrlen = keep;
    if (!recvserver(dbproc, v->timestamp, 8)) return 0;
    v->tslen = 8;
    int32_t l;
    if (!db__get32(dbproc, &l)) return 0;
    if (l < 0) {
      dbsetdead(dbproc);
      db__raise(dbproc, 20020, 9);
      return 0;
    }
    *len = l == 0 ? -1 : l;
    return 1;
  }
  unsigned char l;
  if (!db__getbyte(dbproc, &l)) return 0;
  *len = l == 0 ? -1 : l;
  return l == 0 || db__check_nlen(dbproc, c->type, c->maxlen, l);
}

}  // namespace

int dbread_datalen(DBPROCESS* dbproc, dbcolumn* c, dbcolvalue* v, int32_t* len) {
  return read_datalen(dbproc, c, v, len);
}

namespace {

// Reads the value of column `c` into `v`, a value of the connection's
// reused record, straight from the packet being read, when all its bytes
// lie in that packet and it fits the buffer it has: what the general
// reader in dbsvrow does for one value, without its per-read bookkeeping.
// False, with nothing taken, for anything else (`v` and the column's null
// flag may have been written over; the general reader then reads the
// value from its start).
inline bool read_value_inside(dbnetctx* net, const DBPROCESS* dbproc, dbcolumn* c, dbcolvalue* v) {
  const BYTE* const start = net->recvbuf + net->recvpos;
  const BYTE* const end = start + net->recvavail;
  const BYTE* p = start;
  const int type = c->type;
  const bool text = type == MERTEXT || type == MERIMAGE;
  int32_t wire;
  if (is_fixed(type)) {
    wire = c->maxlen;
  } else if (text) {
    if (p == end) return false;
    const int tpl = *p++;
    if (tpl == 0) {
      wire = -1;
    } else {
      if (end - p < tpl + 12) return false;
      // A text pointer is most often of the full 16 bytes: copied as one.
      if (tpl >= 16) {
        std::memcpy(v->textptr, p, 16);
        v->textptrlen = 16;
      } else {
        std::memcpy(v->textptr, p, static_cast<std::size_t>(tpl));
        v->textptrlen = tpl;
      }
      p += tpl;
      std::memcpy(v->timestamp, p, 8);
      v->tslen = 8;
      p += 8;
      wire = static_cast<int32_t>(db__be32(p));
      p += 4;
      if (wire < 0) return false;  // a broken stream: the general reader says so
      if (wire == 0) wire = -1;
    }
  } else if (type == MERNUMERIC || type == MERDECIMAL) {
    return false;
  } else {
    if (p == end) return false;
    wire = *p++;
    // A value of a length its datatype does not allow: the general reader
    // reports it.
    if (wire != 0 && !db__nlen_ok(type, c->maxlen, wire)) return false;
    if (wire == 0) wire = -1;
  }
  c->isnull = wire < 0;
  const int32_t size = value_size(dbproc, c, text, false, false, wire);
  // A buffer that the general reader would allocate first.
  if (needs_buffer(v, text, size)) return false;
  if (wire < 0) {
    v->len = 0;
  } else {
    const int32_t keep = wire < size ? wire : size;
    if (end - p < wire || v->allocsize < keep) return false;
    if (keep > 0) std::memcpy(v->data, p, static_cast<std::size_t>(keep));
    p += wire;
    v->len = keep;
    db__row_to_host(type, v->data, keep);
  }
  const auto used = static_cast<int32_t>(p - start);
  net->recvpos += used;
  net->recvavail -= used;
  net->consumed += used;
  return true;
}

}  // namespace

int dbsvrow(DBPROCESS* dbproc) {
  bool buf = buffering(dbproc);
  dbproc->currow = nullptr;
  dbrow* row;
  bool fresh;
  if (buf || !dbproc->firstrow) {
    row = db__get_new_row(dbproc);
    if (!row) return 0;
    fresh = true;
  } else {
    row = dbproc->firstrow;
    fresh = false;
  }
  auto fail = [&]() {
    if (fresh) rowfree(row);
    return 0;
  };
  int i = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next, ++i) {
    if (i >= row->nvalues) return fail();
    dbcolvalue* v = &row->values[i];
    // The reused record's values mostly lie whole in the packet being read
    // and fit their buffers: read in place.
    if (!fresh && read_value_inside(dbproc->net, dbproc, c, v)) continue;
    int32_t wire;
    if (!read_datalen(dbproc, c, v, &wire)) return fail();
    c->isnull = wire < 0;
    bool text = c->type == MERTEXT || c->type == MERIMAGE;
    bool numeric = c->type == MERNUMERIC || c->type == MERDECIMAL;
    const int32_t size = value_size(dbproc, c, text, numeric, buf, wire);
    if (needs_buffer(v, text, size)) {
      comn_free(v->data);
      v->data = static_cast<BYTE*>(alloc_row_memory(dbproc, static_cast<std::size_t>(size)));
      v->allocsize = v->data ? size : 0;
      if (!v->data) return fail();
    }
    if (wire < 0) {
      v->len = 0;
      continue;
    }
    if (numeric) {
      if (!db__check_numlen(dbproc, c->type, c->precision, wire)) return fail();
      v->data[0] = static_cast<BYTE>(c->precision);
      v->data[1] = static_cast<BYTE>(c->scale);
      if (!recvserver(dbproc, v->data + 2, wire)) return fail();
      v->len = c->maxlen;
      continue;
    }
    int32_t keep = wire < size ? wire : size;
    // Most values fit the buffer they have and lose no bytes: read in place.
    if (keep == wire && keep <= v->allocsize) {
      if (!recvserver(dbproc, v->data, keep)) return fail();
      v->len = keep;
    } else if (!db__read_value(dbproc, v, wire, keep)) {
      return fail();
    }
    db__row_to_host(c->type, v->data, v->len);
  }
  if (!db__next_token(dbproc)) return fail();
  dbproc->currow = row;
  if (fresh && !buf && !dbproc->firstrow) dbproc->firstrow = row;
  return 1;
}

// Reads tokens up to one row; `got` tells whether a row was read.
static int db__read_row(DBPROCESS* dbproc, bool* got) {
  *got = false;
  bool level7 = dbproc->protolevel >= 7;
  bool kept_inproc = false;
  for (;;) {
    unsigned char t = dbproc->token;
    int ok = 1;
    switch (t) {
      case TK_ROW:
        if (*got) return db__check_timeout(dbproc);
        ok = dbsvrow(dbproc);
        *got = ok != 0;
        break;
      case TK_ALTROW:
        if (*got) return db__check_timeout(dbproc);
        ok = dbsvarow(dbproc);
        *got = ok != 0;
        break;
      case TK_ERROR: case TK_INFO: case TK_EED:
        if (*got) return 1;
        ok = dbsvinfo(dbproc);
        break;
      case TK_RETURNSTATUS: {
        int32_t st = 0;
        ok = db__get32(dbproc, &st) && db__next_token(dbproc);
        dbproc->retstatus = st;
        dbproc->hasretstat = 1;
        break;
      }
      case TK_RETURNVALUE:
        ok = dbsvretval(dbproc);
        break;
      case TK_EVENT:
        ok = db__handle_event(dbproc);
        break;
      case TK_ENVCHANGE:
        ok = db__envchange(dbproc);
        break;
      case TK_ALTNAME: case TK_ALTFMT: case TK_ORDERBY: case TK_CONTROL: case TK_OFFSET:
        dbproc->status &= ~DBST_ROWS;
        return 1;
      case TK_COLNAME: case TK_COLFMT: case TK_OLDCOLFMT: case TK_PROCID: case TK_ALTCONTROL:
        if (level7) {
          db__badtoken(dbproc);
          return 0;
        }
        dbproc->status &= ~DBST_ROWS;
        return 1;
      case TK_ROWFMT:
        if (!level7) {
          db__badtoken(dbproc);
          return 0;
        }
        dbproc->status &= ~DBST_ROWS;
        return 1;
      case TK_DONE: case TK_DONEPROC: {
        int ended = 0;
        ok = t == TK_DONE ? dbdone(dbproc) : dbdoneproc(dbproc, &ended);
        if (!ok) return 0;
        if (dbproc->batch & DBB_ATTNACKED) {
          dbproc->batch &= ~DBB_ATTNACKED;
          break;
        }
        if (t == TK_DONEPROC && !ended && !dbproc->hasretstat) break;
        dbproc->status &= ~DBST_ROWS;
        if (dbproc->donestatus & DONE_ERROR) {
          db__raise(dbproc, 20018, 5);
          return 0;
        }
        return db__check_timeout(dbproc);
      }
      case TK_DONEINPROC:
        ok = dbdoneinproc(dbproc, *got && !kept_inproc);
        if (*got) kept_inproc = true;
        dbproc->batch &= ~DBB_ATTNACKED;
        break;
      default:
        db__badtoken(dbproc);
        return 0;
    }
    if (!ok) return 0;
  }
}

STATUS dbnextrow(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  bool buf = buffering(dbproc);
  if (dbproc->status & DBST_CANCELLED) {
    dbproc->status &= ~(DBST_CANCELLED | DBST_ROWS);
    if (!buf) return NO_MORE_ROWS;
  }
  if (dbproc->rowscratch) {
    comn_free(dbproc->rowscratch);
    dbproc->rowscratch = nullptr;
  }
  bool got = false;
  if (buf) {
    if (dbproc->currow && dbproc->currow != dbproc->lastrow) {
      dbproc->currow = dbproc->currow->next;
      if (dbproc->currow->computeid && !dbaltdata(dbproc)) return FAIL;
    } else if (!dbproc->currow && dbproc->firstrow) {
      dbproc->currow = dbproc->firstrow;
      if (dbproc->currow->computeid && !dbaltdata(dbproc)) return FAIL;
    } else {
      if (!(dbproc->status & DBST_ROWS)) return NO_MORE_ROWS;
      // Dropping buffered rows always keeps the last one, so a full buffer
      // of one row could never make room: its row gives way to the next.
      bool give_way = false;
      if (dbbuffull(dbproc)) {
        if (dbproc->firstrow != dbproc->lastrow) return BUF_FULL;
        give_way = true;
      }
      dbrow* last = dbproc->lastrow;
      if (!db__read_row(dbproc, &got)) {
        // A row read before the stream went bad is not in the buffer yet:
        // drop it, or nothing would free it.
        if (got && dbproc->currow != last) rowfree(dbproc->currow);
        dbproc->currow = last;
        return FAIL;
      }
      if (!got) {
        dbproc->currow = last;
        return NO_MORE_ROWS;
      }
      dbrow* r = dbproc->currow;
      r->rownum = last ? last->rownum + 1 : 1;
      r->prev = last;
      if (last) last->next = r;
      else dbproc->firstrow = r;
      dbproc->lastrow = r;
      if (give_way) dbclrbuf(dbproc, 1);
    }
  } else {
    if (!(dbproc->status & DBST_ROWS)) return NO_MORE_ROWS;
    int32_t num = dbproc->currow ? dbproc->currow->rownum + 1 : 1;
    // A compute row is a record of its own, dropped when the next row comes.
    if (dbproc->currow && dbproc->currow->computeid && dbproc->currow != dbproc->firstrow) {
      rowfree(dbproc->currow);
      dbproc->currow = nullptr;
      dbproc->lastrow = dbproc->firstrow;
    }
    if (!db__read_row(dbproc, &got)) return FAIL;
    if (!got) return NO_MORE_ROWS;
    dbproc->lastrow = dbproc->currow;
    if (!dbproc->firstrow && !dbproc->currow->computeid) dbproc->firstrow = dbproc->currow;
    dbproc->currow->rownum = num;
  }
  int computeid = dbproc->currow->computeid;
  if (computeid) return dbdoabind(dbproc) == SUCCEED ? computeid : FAIL;
  if (dbdobind(dbproc) != SUCCEED) return FAIL;
  return REG_ROW;
}

void dbclrbuf(DBPROCESS* dbproc, DBINT n) {
  if (!dbproc) return;
  dbproc->avail = 0;
  if (!buffering(dbproc) || !dbproc->firstrow || n < 1) return;
  int held = dbproc->lastrow->rownum - dbproc->firstrow->rownum + 1;
  if (n >= held) n = held - 1;
  if (n < 1) return;
  dbrow* newfirst = dbproc->firstrow;
  for (int i = 0; i < n; ++i) newfirst = newfirst->next;
  dbrow* dropped = dbproc->firstrow;
  newfirst->prev->next = nullptr;
  newfirst->prev = nullptr;
  if (!dbproc->currow || dbproc->currow->rownum < newfirst->rownum) dbproc->currow = newfirst;
  dbproc->firstrow = newfirst;
  rowfree(dropped);
}

void dbpurgebuf(DBPROCESS* dbproc) {
  if (!dbproc || !dbproc->firstrow || !dbproc->lastrow) return;
  dbclrbuf(dbproc, dbproc->lastrow->rownum - dbproc->firstrow->rownum);
}

DBBOOL dbbuffull(DBPROCESS* dbproc) {
  if (!dbproc || !dbproc->firstrow || !dbproc->lastrow) return FALSE;
  int held = dbproc->lastrow->rownum - dbproc->firstrow->rownum + 1;
  int limit = dbproc->rowbuflimit > 0 ? dbproc->rowbuflimit : Db__GlobalRec.defrowbuf;
  return held >= limit;
}

DBINT dbcurrow(DBPROCESS* dbproc) { return dbproc && dbproc->currow ? dbproc->currow->rownum : 0; }
DBINT dbfirstrow(DBPROCESS* dbproc) { return dbproc && dbproc->firstrow ? dbproc->firstrow->rownum : 0; }
DBINT dblastrow(DBPROCESS* dbproc) { return dbproc && dbproc->lastrow ? dbproc->lastrow->rownum : 0; }
STATUS dbrowtype(DBPROCESS* dbproc) {
  if (!dbproc || !dbproc->currow) return NO_MORE_ROWS;
  return dbproc->currow->computeid ? dbproc->currow->computeid : REG_ROW;
}
DBBOOL dbmorerows(DBPROCESS* dbproc) {
  return dbproc && (dbproc->token == TK_ROW || dbproc->token == TK_ALTROW);
}

// The value of a visible column: its index among all columns, or -1.
static int value_index(DBPROCESS* dbproc, int column) {
  if (column < 1) return -1;
  int n = 0, i = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next, ++i) {
    if (c->colstatus & 0x10) continue;
    if (++n == column) return i;
  }
  return -1;
}

BYTE* dbdata(DBPROCESS* dbproc, int column) {
  if (!dbproc) return nullptr;
  if (!dbproc->currow) {
    db__raise(dbproc, 20044, 7);
    return nullptr;
  }
  int i = value_index(dbproc, column);
  if (i < 0 || i >= dbproc->currow->nvalues) {
    db__raise(dbproc, 20026, 7);
    return nullptr;
  }
  dbcolvalue& v = dbproc->currow->values[i];
  return v.len == 0 ? nullptr : v.data;
}

DBINT dbdatlen(DBPROCESS* dbproc, int column) {
  if (!dbproc) return -1;
  int i = value_index(dbproc, column);
  if (!dbproc->currow) {
    if (i < 0) return -1;
    db__raise(dbproc, 20044, 7);
    return -1;
  }
  if (i < 0 || i >= dbproc->currow->nvalues) return -1;
  return dbproc->currow->values[i].len;
}
