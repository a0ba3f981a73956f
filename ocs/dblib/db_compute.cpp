// Compute rows: the ALTNAME, ALTFMT and ALTCONTROL readers, the print list
// of each compute clause, the ALTROW reader and the clause look-ups.
//
// Every count and length the server sends is checked against the token it
// belongs to and against the clauses already described, so a stream that
// disagrees with itself ends the connection (20020) instead of reading past
// a record.
#include "db_compute.h"

#include <cerrno>
#include <cstring>

#include "comnlib/com_num.h"
#include "comnlib/comn_alloc.h"
#include "dblib/db_convert.h"

namespace {

// The one place a compute token that contradicts the stream is reported.
int bad_stream(DBPROCESS* dbproc) {
  db__badtoken(dbproc);
  return 0;
}



int64_t consumed(DBPROCESS* dbproc) { return dbproc->net->consumed; }


// The clause at 1-based position `pos` of the list.
dbcompute* compute_at(dbcompute* list, int pos) {
  if (pos < 1) return nullptr;
  for (int i = 1; list; list = list->next, ++i)
    if (i == pos) return list;
  return nullptr;
}

// Reads one ALTFMT token's body (after its length) into `rec`.
int read_altfmt(DBPROCESS* dbproc, dbcompute* rec, uint16_t len) {
  int64_t start = consumed(dbproc);
  int16_t id;
  unsigned char count;
  if (!db__get16(dbproc, &id)) return 0;
  if (id != rec->id) return db__dead_error(dbproc, 20030);
  if (!db__getbyte(dbproc, &count)) return 0;
  if (count != rec->ncols) return bad_stream(dbproc);
  bool level7 = dbproc->protolevel >= 7;
  for (dbaltcol* a = rec->cols; a; a = a->next) {
    dbcolumn* c = &a->col;
    unsigned char type;
    if (!db__getbyte(dbproc, &a->op) || !db__getbyte(dbproc, &a->operand) ||
        !db__get32(dbproc, &c->usertype) || !db__getbyte(dbproc, &type))
      return 0;
    c->type = type;
    if (!level7 && (type == MERDECIMAL || type == MERNUMERIC)) return db__dead_error(dbproc, 20060);
    if (!dbread_collen(dbproc, c)) return 0;
    if (level7) {
      unsigned char loclen;
      if (!db__getbyte(dbproc, &loclen) || !db__discard(dbproc, loclen)) return 0;
    }
  }
  if (!db__getbyte(dbproc, &rec->bylen)) return 0;
  if (rec->bylen > 0 && !recvserver(dbproc, rec->bylist, rec->bylen)) return 0;
  int64_t used = consumed(dbproc) - start;
  if (used > len) return bad_stream(dbproc);
  if (!db__discard(dbproc, static_cast<int>(len - used))) return 0;
  rec->formatted = 1;
  return 1;
}

}  // namespace

int dblib::svaltname(DBPROCESS* dbproc) {
  dbcompute** tail = reinterpret_cast<dbcompute**>(&dbproc->computes);
  while (*tail) tail = &(*tail)->next;
  while (dbproc->token == TK_ALTNAME) {
    uint16_t len;
    int16_t id;
    if (!db__getu16(dbproc, &len)) return 0;
    if (len < 2) return bad_stream(dbproc);
    if (!db__get16(dbproc, &id)) return 0;
    auto* rec = static_cast<dbcompute*>(db__alloc(dbproc, sizeof(dbcompute)));
    if (!rec) return 0;
    rec->id = id;
    *tail = rec;  // owned by the list from here on, so a failure frees it
    tail = &rec->next;
    dbaltcol** ctail = &rec->cols;
    int used = 2;
    while (used < len) {
      unsigned char nl;
      if (!db__getbyte(dbproc, &nl)) return 0;
      ++used;
      if (used + nl > len || rec->ncols == 255) return bad_stream(dbproc);
      auto* a = static_cast<dbaltcol*>(db__alloc(dbproc, sizeof(dbaltcol)));
      if (!a) return 0;
      *ctail = a;
      ctail = &a->next;
      ++rec->ncols;
      if (!db__read_name(dbproc, nl, a->col.name, sizeof a->col.name)) return 0;
      used += nl;
    }
    if (!db__next_token(dbproc)) return 0;
  }
  return 1;
}

int dblib::svaltfmt(DBPROCESS* dbproc) {
  dbcompute* rec = db__computes(dbproc);
  while (rec && rec->formatted) rec = rec->next;
  // An ALTFMT with no clause left to describe cannot be placed.
  if (!rec) return bad_stream(dbproc);
  for (; rec; rec = rec->next) {
    if (dbproc->token != TK_ALTFMT) return bad_stream(dbproc);
    uint16_t len;
    if (!db__getu16(dbproc, &len) || !read_altfmt(dbproc, rec, len)) return 0;
    if (!db__next_token(dbproc)) return 0;
  }
  for (dbcompute* r = db__computes(dbproc); r; r = r->next) {
    for (dbaltcol* a = r->cols; a; a = a->next) {
      dbcolumn* operand = dbfcol(dbproc, a->operand);
      if (!operand) return db__dead_error(dbproc, 20031);
      int32_t wide = operand->displen > a->col.displen ? operand->displen : a->col.displen;
      operand->displen = wide;
      a->col.displen = wide;
    }
  }
  return dbprbuild(dbproc);
}

int dblib::svaltcontrol(DBPROCESS* dbproc) {
  while (dbproc->token == TK_ALTCONTROL) {
    uint16_t len;
    int16_t id;
    if (!db__getu16(dbproc, &len)) return 0;
    if (len < 2) return bad_stream(dbproc);
    if (!db__get16(dbproc, &id)) return 0;
    int used = 2;
    dbcompute* rec = dbfcompute(db__computes(dbproc), id);
    for (dbaltcol* a = rec ? rec->cols : nullptr; a && used < len; a = a->next) {
      unsigned char l;
      if (!db__getbyte(dbproc, &l)) return 0;
      ++used;
      if (used + l > len) return bad_stream(dbproc);
      comn_free(a->col.control);
      a->col.control = nullptr;
      if (l > 0) {
        a->col.control = static_cast<char*>(db__alloc(dbproc, static_cast<std::size_t>(l) + 1));
        if (!a->col.control || !recvserver(dbproc, a->col.control, l)) return 0;
        used += l;
      }
    }
    // Formats of an unknown clause, or beyond its columns, are skipped.
    if (!db__discard(dbproc, len - used) || !db__next_token(dbproc)) return 0;
  }
  return 1;
}

int dbprbuild(DBPROCESS* dbproc) {
  for (dbcompute* rec = db__computes(dbproc); rec; rec = rec->next) {
    rec->prlist = nullptr;
    for (dbaltcol* a = rec->cols; a; a = a->next) {
      dbprnode* node = &a->node;
      *node = dbprnode{nullptr, a, nullptr, nullptr};
      dbprnode** link = &rec->prlist;  // the link that points at a group head
      while (*link && (*link)->col->op != a->op) link = &(*link)->nextgroup;
      dbprnode* head = *link;
      if (!head) {
        *link = node;  // a new operator: a new group at the end
        continue;
      }
      if (a->operand < head->col->operand) {
        node->nextsame = head;
        node->nextgroup = head->nextgroup;
        head->nextgroup = nullptr;
        *link = node;
        continue;
      }
      dbprnode* prev = head;
      while (prev->nextsame && prev->nextsame->col->operand <= a->operand) prev = prev->nextsame;
      node->nextsame = prev->nextsame;
      prev->nextsame = node;
    }
  }
  return 1;
}

dbcompute* dbfcompute(dbcompute* list, int id) {
  for (; list; list = list->next)
    if (list->id == id) return list;
  return nullptr;
}

dbprnode* dbfacol(dbcompute* list, int id, int column) {
  dbcompute* rec = dbfcompute(list, id);
  if (!rec || column < 1) return nullptr;
  int n = 0;
  for (dbprnode* g = rec->prlist; g; g = g->nextgroup)
    for (dbprnode* p = g; p; p = p->nextsame)
      if (++n == column) return p;
  return nullptr;
}

int dbsvarow(DBPROCESS* dbproc) {
  dbproc->currow = nullptr;
  int16_t id;
  if (!db__get16(dbproc, &id)) return 0;
  // Compute ids count the clauses in ALTNAME order; a row of a clause that
  // was never described cannot be read.
  dbcompute* rec = compute_at(db__computes(dbproc), id);
  if (!rec || !rec->formatted) return bad_stream(dbproc);
  dbrow* row = db__new_row(dbproc, rec->ncols);
  if (!row) return 0;
  row->computeid = id;
  auto fail = [&]() {
    rowfree(row);
    return 0;
  };
  int i = 0;
  for (dbaltcol* a = rec->cols; a; a = a->next, ++i) {
    dbcolumn* c = &a->col;
    dbcolvalue* v = &row->values[i];
    a->node.value = v;
    int32_t wire;
    if (!dbread_datalen(dbproc, c, v, &wire)) return fail();
    row->altnull = wire < 0;
    if (wire < 0) continue;  // NULL: data length 0
    bool numeric = c->type == MERNUMERIC || c->type == MERDECIMAL;
    if (numeric) {
      if (wire != comn_num_getlen(c->precision) || wire + 2 > c->maxlen) {
        db__dead_error(dbproc, c->type == MERNUMERIC ? 20226 : 20227);
        return fail();
      }
      v->data = static_cast<BYTE*>(db__alloc(dbproc, static_cast<std::size_t>(c->maxlen)));
      if (!v->data) return fail();
      v->data[0] = static_cast<BYTE>(c->precision);
      v->data[1] = static_cast<BYTE>(c->scale);
      if (!recvserver(dbproc, v->data + 2, wire)) return fail();
      v->len = v->allocsize = c->maxlen;
      continue;
    }
    int32_t keep = wire;
    bool text = c->type == MERTEXT || c->type == MERIMAGE;
    if (text && dbproc->textlimit > 0 && keep > dbproc->textlimit) keep = dbproc->textlimit;
    if (!db__read_value(dbproc, v, wire, keep)) return fail();
    db__wire_to_host(c->type, v->data, keep);
  }
  if (!db__next_token(dbproc)) {
    for (dbaltcol* a = rec->cols; a; a = a->next) a->node.value = nullptr;
    return fail();
  }
  dbproc->currow = row;
  return 1;
}

int dbaltdata(DBPROCESS* dbproc) {
  dbrow* row = dbproc->currow;
  dbcompute* rec = row ? dbfcompute(db__computes(dbproc), row->computeid) : nullptr;
  if (!rec || row->nvalues != rec->ncols) {
    db__raise(dbproc, 20038, 7);
    return 0;
  }
  int i = 0;
  for (dbaltcol* a = rec->cols; a; a = a->next, ++i) a->node.value = &row->values[i];
  return 1;
}

int dbnumalts(DBPROCESS* dbproc, int computeid) {
  if (!dbproc) return -1;
  dbcompute* rec = dbfcompute(db__computes(dbproc), computeid);
  return rec ? rec->ncols : -1;
}

void dblib::altfree(DBPROCESS* dbproc) {
  dbcompute* rec = db__computes(dbproc);
  while (rec) {
    dbcompute* next = rec->next;
    dbaltcol* a = rec->cols;
    while (a) {
      dbaltcol* an = a->next;
      comn_free(a->col.control);
      comn_free(a->col.srcname);
      comn_free(a->col.texttable);
      comn_free(a);
      a = an;
    }
    comn_free(rec);
    rec = next;
  }
  dbproc->computes = nullptr;
}

void db__clear_altbinds(DBPROCESS* dbproc) {
  for (dbcompute* rec = db__computes(dbproc); rec; rec = rec->next)
    for (dbaltcol* a = rec->cols; a; a = a->next) {
      a->col.varaddr = nullptr;
      a->col.nullind = nullptr;
    }
}
