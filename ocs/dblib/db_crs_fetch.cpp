// Client cursors: dbcursorfetch.  Keyset-driven and mixed cursors move in
// their keyset and refetch every buffer row by its keys; forward-only and
// dynamic cursors send one query that continues after (or before) the keys
// of the current buffer.
#include <cstring>
#include <new>

#include "db_crs.h"

namespace {

// Points the connection's result columns at buffer row r's variables.
void bind_row(CURSORREC* c, int r) {
  int i = 0;
  dbcolumn* mine = c->columns;
  for (dbcolumn* col = c->dbproc->columns; col; col = col->next, ++i) {
    col->varaddr = nullptr;
    if (i >= c->ncols || !mine) continue;
    const CURSORBIND& b = c->binds[static_cast<std::size_t>(i)];
    // The conversion was chosen for the probed type: a column of another
    // type is not converted with it.
    if (b.bindtype > 0 && static_cast<std::size_t>(r) < b.addrs.size() && col->type == mine->type) {
      col->varaddr = b.addrs[static_cast<std::size_t>(r)];
      col->bindlen = b.bindlen;
      col->bindtype = b.bindtype;
      col->cvtproc = b.cvtproc;
      col->typeinfo = b.typeinfo;
    }
    mine = mine->next;
  }
}

void unbind(DBPROCESS* p) {
  for (dbcolumn* col = p->columns; col; col = col->next) col->varaddr = nullptr;
}

// Copies the connection's current row into buffer row r.
void take_row(CURSORREC* c, int r) {
  CRSROW& row = c->rows[static_cast<std::size_t>(r)];
  row.clear();
  dbrow* cur = c->dbproc->currow;
  if (!cur) return;
  row.resize(static_cast<std::size_t>(cur->nvalues));
  for (int i = 0; i < cur->nvalues; ++i) {
    const dbcolvalue& v = cur->values[i];
    CRSVALUE& out = row[static_cast<std::size_t>(i)];
    out.len = v.data && v.len > 0 ? v.len : 0;
    if (out.len > 0) out.data.assign(v.data, v.data + v.len);
  }
}

// Stores lengths, data pointers, key values and optimistic values of
// buffer row r.
void fetch_keydata(CURSORREC* c, int r, bool withkeys) {
  const CRSROW& row = c->rows[static_cast<std::size_t>(r)];
  for (int i = 0; i < c->ncols && static_cast<std::size_t>(i) < row.size(); ++i) {
    CURSORBIND& b = c->binds[static_cast<std::size_t>(i)];
    const CRSVALUE& v = row[static_cast<std::size_t>(i)];
    if (b.lengths) b.lengths[r] = v.len;
    if (b.bindtype == DBCRS_NOBIND && static_cast<std::size_t>(r) < b.addrs.size()) {
      const BYTE* ptr = v.len > 0 ? v.data.data() : nullptr;
      std::memcpy(b.addrs[static_cast<std::size_t>(r)], &ptr, sizeof ptr);
    }
  }
  if (withkeys) {
    std::size_t i = static_cast<std::size_t>(c->ncols);
    for (CURSORKEY& k : c->keys) {
      if (i < row.size()) db__crs_store_key(&k, r, row[i].data.data(), row[i].len);
      else db__crs_store_key(&k, r, nullptr, 0);
      ++i;
    }
  }
  db__crs_save_optcc_data(c, r, &row);
}

void clear_status(CURSORREC* c) {
  for (int i = 0; i < c->nrows; ++i) c->status[i] = 0;
}

}  // namespace

int db__crs_fetch_from_keyset_row(CURSORREC* c, int ksrow, int bufrow) {
  DBPROCESS* p = c->dbproc;
  std::string sql = c->select_part;
  if (c->scroll >= 0) sql += ", " + c->keyset_select.substr(7);
  if (c->concur == 3 && !c->optcc_select.empty()) sql += "," + c->optcc_select;
  sql += " " + c->from_part;
  if (!db__crs_bld_keyset_where(c, ksrow, &sql)) return 0;
  c->rows[static_cast<std::size_t>(bufrow)].clear();
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
  bind_row(c, bufrow);
  int r = dbnextrow(p);
  unbind(p);
  if (r == FAIL) return 0;
  DBINT& st = c->status[bufrow];
  if (r == NO_MORE_ROWS) {
    db__crs_save_optcc_data(c, bufrow, nullptr);
    st = DBCRS_ROW_MISSING;
    return db__crs_drain(p);
  }
  take_row(c, bufrow);
  fetch_keydata(c, bufrow, c->scroll >= 0);
  st = DBCRS_ROW_FETCHED;
  if (c->scroll == -1 && ksrow == c->keyset_rows - 1) {
    if (c->flags & CRS_FULLKEYSET) {
      st |= DBCRS_ROW_ENDKEYSET | DBCRS_ROW_ENDRESULT;
    } else {
      if (c->flags & CRS_ATEND) st |= DBCRS_ROW_ENDRESULT;
      if ((c->flags & CRS_ALLIN) || c->keyset_rows == c->keyset_size) st |= DBCRS_ROW_ENDKEYSET;
    }
  }
  if (dbnextrow(p) != NO_MORE_ROWS) {
    db__crs_drain(p);
    return 0;
  }
  return db__crs_drain(p);
}

int db__crs_fetch_from_keyset(CURSORREC* c, int count) {
  clear_status(c);
  int ks = c->position - 1;
  int fetched = 0;
  while (fetched < count && ks >= 0 && ks < c->keyset_rows) {
    if (c->concur == 2)
      for (int t = 1; t <= static_cast<int>(c->tabs.size()); ++t)
        if (!db__crs_lock_keyset_table_row(c, ks, t)) return 0;
    if (!db__crs_fetch_from_keyset_row(c, ks, fetched)) return 0;
    ++fetched;
    ++ks;
  }
  c->buffer_rows = fetched;
  if (fetched < count) c->status[fetched > 0 ? fetched - 1 : 0] |= DBCRS_ROW_ENDKEYSET;
  return 1;
}

namespace {

int bld_dyn_fetch_query(CURSORREC* c, int dir, std::string* sql) {
  *sql = c->select_part + ", " + c->keyset_select.substr(7) + " ";
  if (c->concur == 3) *sql += c->optcc_select.empty() ? " " : ", " + c->optcc_select + " ";
  if (c->concur == 2) {
    *sql += "from ";
    for (std::size_t i = 0; i < c->tabs.size(); ++i) {
      if (i) *sql += ", ";
      *sql += c->tabs[i].written;
      if (c->tabs[i].has_alias) *sql += " " + c->tabs[i].alias;
      *sql += " HOLDLOCK ";
    }
  } else {
    *sql += c->from_part + " ";
  }
  bool where = !c->where_part.empty();
  if (where) {
    *sql += c->where_part;
    if (dir != 1) *sql += " and  (";
  } else if (dir != 1) {
    *sql += "where ";
  }
  if (!db__crs_bld_dynamic_where(c, dir, sql)) return 0;
  if (where && dir != 1) *sql += " ) ";
  *sql += " ";
  *sql += dir == 3 ? c->order_desc : c->order_asc;
  return 1;
}

// Moves the n rows of a short previous fetch to the front of the buffer.
int refetch_prev(CURSORREC* c, int n) {
  int from = c->nrows - n;
  for (CURSORKEY& k : c->keys)
    for (int i = 0; i < n; ++i) {
      std::size_t src = static_cast<std::size_t>(from + i), dst = static_cast<std::size_t>(i);
      std::memmove(k.data.data() + dst * static_cast<std::size_t>(k.maxlen),
                   k.data.data() + src * static_cast<std::size_t>(k.maxlen), static_cast<std::size_t>(k.maxlen));
      k.lens[dst] = k.lens[src];
    }
  c->keyset_rows = c->buffer_rows = n;
  clear_status(c);
  for (int i = 0; i < n; ++i) {
    if (!db__crs_fetch_from_keyset_row(c, i, i)) {
      c->keyset_rows = c->buffer_rows = 1;
      return 0;
    }
  }
  for (int i = n; i < c->nrows; ++i) c->rows[static_cast<std::size_t>(i)].clear();
  c->status[n - 1] |= DBCRS_ROW_ENDRESULT;
  return 1;
}

// 1 rows read, 2 no rows at all on a first fetch, 0 failure.
int dynamic_fetch_sub(CURSORREC* c, int type) {
  DBPROCESS* p = c->dbproc;
  int dir = type == DBCRS_FETCH_FIRST ? 1 : (type == DBCRS_FETCH_NEXT ? 2 : 3);
  c->flags &= ~(CRS_ATEND | CRS_ALLIN);
  clear_status(c);
  std::string sql;
  auto failed = [&]() {
    c->position = c->keyset_rows = c->buffer_rows = 0;
    return 0;
  };
  if (!bld_dyn_fetch_query(c, dir, &sql)) return 0;
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return failed();
  int n = 0;
  bool freed = false;
  while (n < c->nrows) {
    int pos = dir == 3 ? c->nrows - 1 - n : n;
    bind_row(c, pos);
    int r = dbnextrow(p);
    unbind(p);
    if (r == FAIL) return failed();
    if (r == NO_MORE_ROWS) break;
    if (!freed) {
      for (CRSROW& row : c->rows) row.clear();
      freed = true;
    }
    take_row(c, pos);
    fetch_keydata(c, pos, true);
    c->status[pos] = DBCRS_ROW_FETCHED;
    ++n;
  }
  bool more = false;
  if (n == c->nrows) {
    int r = dbnextrow(p);
    if (r == FAIL) return failed();
    more = r != NO_MORE_ROWS;
  }
  if (!db__crs_drain(p)) return failed();
  c->position = 1;
  if (n > 0) c->keyset_rows = c->buffer_rows = n;
  if (type == DBCRS_FETCH_FIRST && n == 0) {
    c->status[0] = DBCRS_ROW_ENDRESULT;
    db__crs_err(p, 20255, 7);
    return 2;
  }
  if (dir == 3 && n > 0 && n < c->nrows) return refetch_prev(c, n);
  if (!more) {
    c->flags |= CRS_ATEND;
    if (dir == 1) c->flags |= CRS_ALLIN;
    if (n > 0 && dir != 3) c->status[n - 1] |= DBCRS_ROW_ENDRESULT;
  }
  return 1;
}

int dynamic_fetch(CURSORREC* c, int type) {
  long count = type == DBCRS_FETCH_PREV ? c->nrows : c->nrows + 1L;
  if (!db__crs_change_row_count(c, 2, count)) return 0;
  int r = dynamic_fetch_sub(c, type);
  if (!db__crs_change_row_count(c, 1, 0)) return 0;
  if (r == 1 && c->concur == 2) {
    int locked = 0;
    for (; locked < c->buffer_rows; ++locked) {
      bool ok = true;
      for (int t = 1; ok && t <= static_cast<int>(c->tabs.size()); ++t)
        ok = db__crs_lock_keyset_table_row(c, locked, t) != 0;
      if (!ok || !db__crs_fetch_from_keyset_row(c, locked, locked)) break;
    }
    c->buffer_rows = locked;
  }
  return r;
}

}  // namespace

namespace {
RETCODE fetch(DBCURSOR* c, int fetchtype, int rownum);
}  // namespace

RETCODE dbcursorfetch(DBCURSOR* c, int fetchtype, int rownum) {
  if (!c) return db__crs_null(nullptr, "dbcursorfetch()", "cursor");
  try {
    return fetch(c, fetchtype, rownum);
  } catch (const std::bad_alloc&) {
    db__crs_nomem(c->dbproc);
    return FAIL;
  }
}

namespace {

RETCODE fetch(DBCURSOR* c, int fetchtype, int rownum) {
  DBPROCESS* p = c->dbproc;
  if (!db__crs_verify(p, c)) return FAIL;
  if (fetchtype < 1 || fetchtype > 6) return db__crs_illegal(p, fetchtype, "fetchtype", "dbcursorfetch()");
  bool keyset = c->scroll == -1;
  if (fetchtype == DBCRS_FETCH_PREV && c->scroll == 0) return db__crs_err(p, 20266, 7);
  if ((fetchtype == DBCRS_FETCH_RANDOM || fetchtype == DBCRS_FETCH_RELATIVE) && !keyset)
    return db__crs_err(p, 20264, 7);
  if (fetchtype == DBCRS_FETCH_LAST && !(keyset && (c->flags & (CRS_FULLKEYSET | CRS_ALLIN))))
    return db__crs_err(p, 20265, 7);
  p->columns = colfree(p->columns);
  if (fetchtype == DBCRS_FETCH_PREV && c->position == 0) return db__crs_err(p, 20267, 7);
  if (keyset) {
    int old = c->position;
    int count = c->nrows;
    long np = 1;
    switch (fetchtype) {
      case DBCRS_FETCH_FIRST:
        if (c->first_rownum != 1 && db__crs_bld_keyset_data(c, 1) != 1) {
          db__crs_clean(c, 0, 4);
          return FAIL;
        }
        np = 1;
        break;
      case DBCRS_FETCH_NEXT:
        np = static_cast<long>(c->position) + (c->buffer_rows > 0 ? c->buffer_rows : 1);
        if (np > c->keyset_rows) {
          if (c->flags & CRS_ATEND) {
            clear_status(c);
            return db__crs_err(p, 20267, 7);
          }
          if (db__crs_bld_keyset_data(c, 0) != 1) {
            db__crs_clean(c, 0, 4);
            return FAIL;
          }
          np = 1;
        }
        break;
      case DBCRS_FETCH_PREV:
        if (c->position == 1)
          return db__crs_err(p, !(c->flags & CRS_FULLKEYSET) && c->first_rownum != 1 ? 20268 : 20267, 7);
        if (c->position <= c->nrows) {
          count = c->position - 1;
          np = 1;
        } else {
          np = c->position - c->nrows;
        }
        break;
      case DBCRS_FETCH_RANDOM:
        if (rownum < 1 || rownum > c->keyset_rows) return db__crs_err(p, 20267, 7);
        np = rownum;
        break;
      case DBCRS_FETCH_RELATIVE:
        np = static_cast<long>(c->position) + rownum;
        if (np < 1 || np > c->keyset_rows) return db__crs_err(p, 20267, 7);
        break;
      default:  // last
        np = c->keyset_rows > c->nrows ? c->keyset_rows - c->nrows + 1 : 1;
        break;
    }
    c->position = static_cast<int>(np);
    if (!db__crs_fetch_from_keyset(c, count)) {
      c->position = old;
      db__crs_clean(c, 0, 4);
      return FAIL;
    }
  } else {
    int type = fetchtype;
    if (type == DBCRS_FETCH_NEXT && (c->position == 0 || c->keyset_rows == 0)) type = DBCRS_FETCH_FIRST;
    int r = dynamic_fetch(c, type);
    if (r == 0) {
      db__crs_clean(c, 0, 4);
      return FAIL;
    }
    if (r == 2) {
      db__crs_clean(c, 1, 4);
      return SUCCEED;
    }
  }
  db__crs_tidy(p);
  return SUCCEED;
}

}  // namespace
