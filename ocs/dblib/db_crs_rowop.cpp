// Client cursors: dbcursor, the operations on one buffer row (update,
// delete, insert, refresh, lock).  Each becomes one SQL statement whose
// where-clause names the row by its keys and, by the concurrency option,
// tests that the row is unchanged.
#include <cstring>
#include <new>

#include "db_crs.h"

const CURSORTAB* db__crs_tabinfo_numtoname(CURSORREC* c, int num) {
  if (c->tabs.empty()) return nullptr;
  if (!c->browse_tabs.empty()) return &c->tabs[0];
  if (num < 1 || num > static_cast<int>(c->tabs.size())) return nullptr;
  return &c->tabs[static_cast<std::size_t>(num - 1)];
}

namespace {

bool blank(char ch) { return db__isspace(static_cast<unsigned char>(ch)) != 0; }

// The 1-based place of a table name, or 0.
int lookup_table(CURSORREC* c, const std::string& name) {
  if (!c->browse_tabs.empty()) {
    for (std::size_t i = 0; i < c->browse_tabs.size(); ++i)
      if (c->browse_tabs[i] == name) return static_cast<int>(i) + 1;
    return 0;
  }
  for (std::size_t i = 0; i < c->tabs.size(); ++i)
    if (c->tabs[i].written == name) return static_cast<int>(i) + 1;
  return 0;
}

int find_table_number(CURSORREC* c, const char* name, const char* values) {
  bool one = c->tabs.size() == 1 && c->browse_tabs.size() <= 1;
  if (one && (!name || !*name)) return 1;
  if (name && *name) {
    int n = lookup_table(c, name);
    if (n) return n;
  }
  if (!values) return 0;
  std::string v(values);
  std::size_t i = 0;
  while (i < v.size() && blank(v[i])) ++i;
  if (v.size() < i + 7) return 0;
  if (db__strncasecmp(v.c_str() + i, "insert ", 7) != 0 && db__strncasecmp(v.c_str() + i, "update ", 7) != 0)
    return 0;
  i += 7;
  while (i < v.size() && blank(v[i])) ++i;
  if (v.size() >= i + 5 && db__strncasecmp(v.c_str() + i, "into ", 5) == 0) {
    i += 5;
    while (i < v.size() && blank(v[i])) ++i;
  }
  std::size_t s = i;
  while (i < v.size() && !blank(v[i]) && v[i] != '(' && i - s < 30) ++i;
  return i > s ? lookup_table(c, v.substr(s, i - s)) : 0;
}

// The server datatype that holds a program variable of a bind type.
int bind_server_type(int bindtype) {
  switch (bindtype) {
    case TINYBIND: return MERINT1;
    case SMALLBIND: return MERINT2;
    case INTBIND: return MERINT4;
    case CHARBIND: case STRINGBIND: case NTBSTRINGBIND: return MERCHAR;
    case BINARYBIND: return MERBINARY;
    case BITBIND: return MERBIT;
    case DATETIMEBIND: return MERDATETIME;
    case MONEYBIND: return MERMONEY;
    case FLT8BIND: return MERFLT8;
    case VARYCHARBIND: return MERVARCHAR;
    case VARYBINBIND: return MERVARBINARY;
    case DATE4BIND: return MERDATETIME4;
    case MNY4BIND: return MERMONEY4;
    case FLT4BIND: return MERREAL;
    case NUMERICBIND: return MERNUMERIC;
    case DECIMALBIND: return MERDECIMAL;
    default: return -1;
  }
}

// Appends the literal of column i's bound variable of buffer row r.
int get_bound_value(CURSORREC* c, int i, int r, std::string* out) {
  DBPROCESS* p = c->dbproc;
  const CURSORBIND& b = c->binds[static_cast<std::size_t>(i)];
  if (b.bindtype <= 0 || static_cast<std::size_t>(r) >= b.addrs.size()) return db__crs_err(p, 20272, 7);
  DBINT len = b.lengths ? b.lengths[r] : b.bindlen;
  if (len == 0) {
    *out += " NULL ";
    return 1;
  }
  if (len < 0) return db__crs_err(p, 20281, 7);
  const BYTE* v = b.addrs[static_cast<std::size_t>(r)];
  int type = bind_server_type(b.bindtype);
  switch (b.bindtype) {
    case STRINGBIND: case NTBSTRINGBIND: {
      // The text ends at its NUL, and never past the variable.
      int limit = b.slot > 0 ? b.slot : len;
      const void* nul = std::memchr(v, '\0', static_cast<std::size_t>(limit));
      len = nul ? static_cast<DBINT>(static_cast<const BYTE*>(nul) - v) : limit;
      break;
    }
    case CHARBIND: case BINARYBIND:
      if (len > b.slot) len = b.slot;
      break;
    case VARYCHARBIND: case VARYBINBIND: {
      DBSMALLINT n;
      std::memcpy(&n, v, sizeof n);
      len = n < 0 ? 0 : (n > 256 ? 256 : n);
      v += sizeof n;
      break;
    }
    case NUMERICBIND: case DECIMALBIND: len = static_cast<DBINT>(sizeof(DBNUMERIC)); break;
    default: len = b.slot; break;
  }
  if (len == 0 && type != MERCHAR && type != MERVARCHAR) {
    *out += " NULL ";
    return 1;
  }
  if (len == 0) {
    *out += "''";
    return 1;
  }
  return db__crs_write_buf(p, type, len, v, out);
}

bool any_bound(CURSORREC* c) {
  for (const CURSORBIND& b : c->binds)
    if (b.bindtype > 0) return true;
  return false;
}

int run_count(DBPROCESS* p, const std::string& sql, DBINT* count) {
  *count = -1;
  if (!db__crs_exec(p, sql)) return 0;
  for (;;) {
    int r = dbresults(p);
    if (r == NO_MORE_RESULTS) return 1;
    if (r == FAIL) return 0;
    if (dbcanquery(p) != SUCCEED) return 0;
    if (dbcount(p) >= 0) *count = dbcount(p);
  }
}

std::string written_list(CURSORREC* c) {
  std::string s;
  for (std::size_t i = 0; i < c->tabs.size(); ++i) s += (i ? "," : "") + c->tabs[i].written;
  return s;
}

// The table of each result column of a cursor over several tables: the
// first table, in from-part order, that has a column of that name; 0 when
// none has (an expression).  Asked of the server once per cursor.
int find_col_owners(CURSORREC* c) {
  if (!c->colowner.empty()) return 1;
  DBPROCESS* p = c->dbproc;
  std::vector<int> owner(static_cast<std::size_t>(c->ncols), 0);
  int tabnum = 0;
  for (const CURSORTAB& t : c->tabs) {
    ++tabnum;
    if (!db__crs_exec(p, "select * from " + t.written + " where 0 = 1 ") || dbresults(p) != SUCCEED) return 0;
    int i = 0;
    for (dbcolumn* col = c->columns; col && i < c->ncols; col = col->next, ++i)
      for (dbcolumn* tc = p->columns; tc && !owner[static_cast<std::size_t>(i)]; tc = tc->next)
        if (std::strcmp(tc->name, col->name) == 0) owner[static_cast<std::size_t>(i)] = tabnum;
    if (!db__crs_drain(p)) return 0;
  }
  c->colowner = std::move(owner);
  return 1;
}

// The row's values as conditions.  Over one table every result column is
// taken as the table's; over several each column is qualified with its
// own table (with the operated table's name alone, "u.a" for a column a
// of table t, no server could run the statement), and expressions are left
// out.
int rowdata_where(CURSORREC* c, int bufrow, int tabnum, std::string* out) {
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  if (!t) return db__crs_err(c->dbproc, 20287, 7);
  bool several = c->tabs.size() > 1;
  if (several && !find_col_owners(c)) return 0;
  const CRSROW& row = c->rows[static_cast<std::size_t>(bufrow)];
  int i = 0;
  for (dbcolumn* col = c->columns; col && i < c->ncols; col = col->next, ++i) {
    const CURSORTAB* owner = t;
    if (several) {
      int n = c->colowner[static_cast<std::size_t>(i)];
      if (n == 0) continue;
      owner = &c->tabs[static_cast<std::size_t>(n - 1)];
    }
    *out += " and " + owner->written + "." + col->name;
    const CRSVALUE* v = static_cast<std::size_t>(i) < row.size() ? &row[static_cast<std::size_t>(i)] : nullptr;
    if (!v || v->len == 0) {
      *out += " is NULL ";
    } else {
      *out += " = ";
      if (!db__crs_write_buf(c->dbproc, col->type, v->len, v->data.data(), out)) return 0;
    }
  }
  return 1;
}

// The where-clause of an update or delete.
int row_where(CURSORREC* c, int ksrow, int bufrow, int tabnum, bool optcheck, std::string* sql) {
  if (c->concur == 4) {
    *sql += " from " + written_list(c);
    return db__crs_bld_keyset_where(c, ksrow, sql) && rowdata_where(c, bufrow, tabnum, sql);
  }
  *sql += "where ";
  return db__crs_bld_keyset_where_sub(c, ksrow, tabnum, optcheck ? 1 : 0, bufrow, sql);
}

int update_row(CURSORREC* c, int bufno, int tabnum, const char* values) {
  DBPROCESS* p = c->dbproc;
  if (c->position < 1 || bufno > c->buffer_rows) return db__crs_err(p, 20267, 7);
  int ksrow = c->position + bufno - 2, bufrow = bufno - 1;
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  c->pending = 1;
  std::string sql;
  if (values) {
    std::string v(values);
    if (db__crs_search_phrase(v, "where", 0) >= 0) return db__crs_err(p, 20273, 7);
    if (db__crs_search_phrase(v, "set ", 0) < 0) return db__crs_err(p, 20274, 7);
    if (db__crs_search_phrase(v, "update ", 0) < 0) {
      if (!t) return db__crs_err(p, 20287, 7);
      sql = "update " + t->written + " ";
    }
    sql += v + " ";
  } else {
    if (c->tabs.size() != 1 || c->browse_tabs.size() > 1) return db__crs_err(p, 20275, 7);
    if (!any_bound(c)) return db__crs_err(p, 20279, 7);
    sql = "update " + c->tabs[0].written + " " + "set ";
    int i = 0;
    for (dbcolumn* col = c->columns; col && i < c->ncols; col = col->next, ++i) {
      if (i) sql += ", ";
      sql += std::string(col->name) + " = ";
      if (!get_bound_value(c, i, bufrow, &sql)) return 0;
    }
    sql += " ";
  }
  if (!row_where(c, ksrow, bufrow, tabnum, c->concur == 3, &sql)) return 0;
  DBINT count;
  if (!run_count(p, sql, &count)) return 0;
  if (count <= 0) return db__crs_err(p, 20276, 7);
  if (c->concur == 3) {
    CURSOROPTCC* o = nullptr;
    for (CURSOROPTCC& x : c->optcc)
      if (x.tabnum == tabnum) o = &x;
    if (!o) return db__crs_err(p, 20062, 7);
    if (o->kind == 1 && !o->cols.empty()) {
      BYTE* ts = dbtsnewval(p);
      if (ts) db__crs_store_key(&o->cols[0], bufrow, ts, dbtsnewlen(p));
    }
  }
  c->pending = 0;
  return db__crs_fetch_from_keyset_row(c, ksrow, bufrow);
}

int delete_row(CURSORREC* c, int bufno, int tabnum) {
  DBPROCESS* p = c->dbproc;
  if (c->position < 1 || bufno > c->buffer_rows) return db__crs_err(p, 20267, 7);
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  if (!t) return db__crs_err(p, 20271, 7);
  c->pending = 2;
  std::string sql = "delete " + t->written + " ";
  if (!row_where(c, c->position + bufno - 2, bufno - 1, tabnum, false, &sql)) return 0;
  DBINT count;
  if (!run_count(p, sql, &count)) return 0;
  if (count <= 0) return db__crs_err(p, 20276, 7);
  return 1;
}

int insert_row(CURSORREC* c, int bufno, int tabnum, const char* values) {
  DBPROCESS* p = c->dbproc;
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  c->pending = 3;
  std::string sql;
  if (values) {
    std::string v(values);
    if (db__crs_search_phrase(v, "where", 0) >= 0) return db__crs_err(p, 20273, 7);
    if (db__crs_search_phrase(v, "values", 1) < 0) return db__crs_err(p, 20274, 7);
    if (db__crs_search_phrase(v, "insert ", 0) < 0) {
      if (!t) return db__crs_err(p, 20271, 7);
      sql = "insert " + t->written + " ";
    }
    sql += v + " ";
  } else {
    if (c->tabs.size() != 1 || c->browse_tabs.size() > 1) return db__crs_err(p, 20275, 7);
    if (!any_bound(c)) return db__crs_err(p, 20279, 7);
    std::string names, vals;
    int i = 0;
    for (dbcolumn* col = c->columns; col && i < c->ncols; col = col->next, ++i) {
      if (i) {
        names += ", ";
        vals += ", ";
      }
      names += col->name;
      if (!get_bound_value(c, i, bufno - 1, &vals)) return 0;
    }
    sql = "insert " + c->tabs[0].written + " " + "(" + names + ")" + "values" + " (" + vals + ")";
  }
  DBINT count;
  return run_count(p, sql, &count);
}

}  // namespace

int db__crs_lock_keyset_table_row(CURSORREC* c, int ksrow, int tabnum) {
  DBPROCESS* p = c->dbproc;
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  const CURSORKEY* key = nullptr;
  CURSORKEY* tskey = nullptr;
  for (CURSORKEY& k : c->keys) {
    if (k.tabnum != tabnum) continue;
    if (k.kind & KEY_TIMESTAMP) {
      if (!tskey) tskey = &k;
    } else if (!key) {
      key = &k;
    }
  }
  if (!key || !t) return db__crs_err(p, 20278, 7);
  int saved = c->pending;
  c->pending = 1;
  std::string name = db__get_full_keyname(c, *key);
  std::string sql = "update " + t->written + " " + "set " + name + " = " + name + " " + "where ";
  int ok = db__crs_bld_keyset_where_sub(c, ksrow, tabnum, 0, 0, &sql);
  c->pending = saved;
  DBINT count;
  if (!ok || !run_count(p, sql, &count)) return 0;
  if (count > 0 && tskey) {
    BYTE* ts = dbtsnewval(p);
    if (ts) db__crs_store_key(tskey, ksrow, ts, dbtsnewlen(p));
  }
  return 1;
}

namespace {
RETCODE operate(DBCURSOR* c, int optype, int bufno, const char* table, const char* values);
}  // namespace

RETCODE dbcursor(DBCURSOR* c, int optype, int bufno, const char* table, const char* values) {
  if (!c) return db__crs_null(nullptr, "dbcursor()", "cursor");
  try {
    return operate(c, optype, bufno, table, values);
  } catch (const std::bad_alloc&) {
    c->pending = 0;
    db__crs_nomem(c->dbproc);
    return FAIL;
  }
}

namespace {

RETCODE operate(DBCURSOR* c, int optype, int bufno, const char* table, const char* values) {
  DBPROCESS* p = c->dbproc;
  if (!db__crs_verify(p, c)) return FAIL;
  p->columns = colfree(p->columns);
  if (bufno < 0 || bufno > c->buffer_rows || (bufno == 0 && optype != DBCRS_REFRESH))
    return db__crs_illegal(p, bufno, "bufno", "dbcursor()");
  if (optype < DBCRS_UPDATE || optype > DBCRS_LOCK) return db__crs_illegal(p, optype, "optype", "dbcursor()");
  if (c->concur == DBCRS_READONLY && optype != DBCRS_REFRESH) return db__crs_err(p, 20269, 7);
  if ((optype == DBCRS_UPDATE || optype == DBCRS_DELETE) && dbisopt(p, DBNOCOUNT, nullptr))
    return db__crs_err(p, 20270, 7);
  bool takes_values = optype == DBCRS_UPDATE || optype == DBCRS_INSERT;
  int tabnum = find_table_number(c, table, takes_values ? values : nullptr);
  if (tabnum == 0 && optype != DBCRS_REFRESH) return db__crs_err(p, 20271, 7);
  int ok = 0;
  switch (optype) {
    case DBCRS_UPDATE: ok = update_row(c, bufno, tabnum, values); break;
    case DBCRS_DELETE: ok = delete_row(c, bufno, tabnum); break;
    case DBCRS_INSERT: ok = insert_row(c, bufno, tabnum, values); break;
    case DBCRS_REFRESH:
      ok = bufno == 0 ? db__crs_fetch_from_keyset(c, c->buffer_rows)
                      : db__crs_fetch_from_keyset_row(c, c->position + bufno - 2, bufno - 1);
      break;
    default:
      ok = db__crs_lock_keyset_table_row(c, c->position + bufno - 2, tabnum) &&
           db__crs_fetch_from_keyset_row(c, c->position + bufno - 2, bufno - 1);
      break;
  }
  c->pending = 0;
  if (!ok) {
    db__crs_clean(c, 0, 2);
    return FAIL;
  }
  db__crs_tidy(p);
  return SUCCEED;
}

}  // namespace
