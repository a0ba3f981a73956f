// Client cursors: finding the unique key of every table (catalogue
// procedure, system tables, or a view's browse information), the keyset SQL,
// loading keyset blocks, and the where-conditions that find a keyset row or
// continue after the current buffer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db_crs.h"

namespace {

// The prefix that qualifies a column of a table: "alias." or the written
// name normalised to qualifier, owner and name.
std::string qualifier_of(const CURSORTAB& t) {
  if (t.has_alias) return t.alias + ".";
  std::string q;
  if (t.has_qualifier) q = t.qualifier + (t.has_owner ? "." : "..");
  if (t.has_owner) q += t.owner + ".";
  return q + t.name + ".";
}

CURSORKEY new_key(const std::string& name, int tabnum) {
  CURSORKEY k;
  k.name = name;
  k.tabnum = tabnum;
  k.kind = KEY_COLUMN;
  return k;
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

// Reads the current database (exactly one row).
int get_curdb(DBPROCESS* p, std::string* name) {
  if (!db__crs_exec(p, "select db_name()") || dbresults(p) != SUCCEED) return 0;
  int rows = 0;
  for (;;) {
    int r = dbnextrow(p);
    if (r == NO_MORE_ROWS) break;
    if (r == FAIL) return 0;
    if (++rows == 1) *name = db__crs_value_text(p, 0);
  }
  if (!db__crs_drain(p)) return 0;
  if (rows != 1) return db__crs_err(p, 20282, 7);
  return 1;
}

// Makes `db` current with server messages switched off.
int change_db(DBPROCESS* p, const std::string& db) {
  DB_MSGHANDLE_PROC mh = dbmsghandle(nullptr);
  RETCODE r = dbuse(p, db.c_str());
  dbmsghandle(mh);
  return r > 0 && db__crs_drain(p);
}

// 1 for a view, 0 for a table, -1 on a failure.
int is_view(CURSORREC* c, const CURSORTAB& t) {
  DBPROCESS* p = c->dbproc;
  std::string sql = "sp_tables @table_name = '" + db__crs_quote(t.name) + "'";
  if (t.has_owner) sql += " , @table_owner = '" + db__crs_quote(t.owner) + "' ";
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) {
    db__crs_drain(p);
    return -1;
  }
  int rows = 0;
  std::string type;
  for (;;) {
    int r = dbnextrow(p);
    if (r == NO_MORE_ROWS) break;
    if (r == FAIL) return -1;
    if (++rows == 1) type = db__crs_value_text(p, 3);
  }
  if (!db__crs_drain(p)) return -1;
  if (rows == 0) {
    db__crs_err(p, 20283, 7);
    return -1;
  }
  return type.size() >= 4 && db__strncasecmp(type.c_str(), "view", 4) == 0 ? 1 : 0;
}

int sp_find_keys(CURSORREC* c, const CURSORTAB& t, int tabnum, bool* fallback) {
  DBPROCESS* p = c->dbproc;
  std::string sql = "sp_special_columns @table_name = '" + db__crs_quote(t.name) + "' ";
  if (t.has_owner && t.owner[0] != '.') sql += " , @table_owner = '" + db__crs_quote(t.owner) + "' ";
  if (t.has_qualifier && t.qualifier[0] != '.')
    sql += " , @table_qualifier = '" + db__crs_quote(t.qualifier) + "' ";
  bool first = tabnum == 1;
  DB_ERRHANDLE_PROC eh = nullptr;
  DB_MSGHANDLE_PROC mh = nullptr;
  if (first) {
    eh = dberrhandle(nullptr);
    mh = dbmsghandle(nullptr);
  }
  bool ok = db__crs_exec(p, sql) && dbresults(p) == SUCCEED;
  if (first) {
    dberrhandle(eh);
    dbmsghandle(mh);
  }
  if (!ok) {
    if (!p->dead) db__crs_drain(p);
    if (first) *fallback = true;
    return 0;
  }
  int rows = 0;
  for (;;) {
    int r = dbnextrow(p);
    if (r == NO_MORE_ROWS) break;
    if (r == FAIL) return 0;
    ++rows;
    std::string col = db__crs_value_text(p, 1);
    if (col.empty()) {
      db__crs_drain(p);
      return db__crs_err(p, 20284, 7);
    }
    c->keys.push_back(new_key(qualifier_of(t) + col, tabnum));
  }
  if (!db__crs_drain(p)) return 0;
  if (rows == 0) return db__crs_err(p, 20256, 7);
  return 1;
}

int find_view_keys(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  if (c->tabs.size() != 1) return db__crs_err(p, 20257, 7);
  std::string sql = "select  * " + c->from_part + " " + "where 0 = 1 " + "for browse ";
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
  if (dbcanquery(p) != SUCCEED) return 0;
  c->browse_tabs.clear();
  c->nbrowse = 0;
  for (dbtabrec* t = p->tabnames; t; t = t->next) {
    c->browse_tabs.emplace_back(t->name);
    if (t->name[0]) ++c->nbrowse;
  }
  int err = 0;
  for (dbcolumn* col = p->columns; col && !err; col = col->next) {
    if (!(col->colstatus & 0x08)) continue;
    if (col->colstatus & 0x10) err = 20258;
    else c->keys.push_back(new_key(col->name, col->tabnum));
  }
  if (!db__crs_drain(p)) return 0;
  if (err) return db__crs_err(p, err, 7);
  if (c->keys.empty()) return db__crs_err(p, 20288, 7);
  return 1;
}

// Runs a query that must give exactly one row; its first value.
int one_value(DBPROCESS* p, const std::string& sql, std::string* value, bool* isnull) {
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
  int rows = 0;
  for (;;) {
    int r = dbnextrow(p);
    if (r == NO_MORE_ROWS) break;
    if (r == FAIL) return 0;
    if (++rows == 1) {
      *isnull = !p->currow || p->currow->nvalues < 1 || p->currow->values[0].len == 0;
      *value = db__crs_value_text(p, 0);
    }
  }
  if (!db__crs_drain(p)) return 0;
  if (rows == 0) return db__crs_err(p, 20283, 7);
  if (rows > 1) return db__crs_err(p, 20282, 7);
  return 1;
}

int setup_keycols(CURSORREC* c, const CURSORTAB& t, int tabnum, int indid, int keycnt) {
  int added = 0;
  for (int k = 1; k <= keycnt; ++k) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "', %d, %d) ", indid, k);
    std::string sql = "select INDEX_COL('" + db__crs_quote(t.written) + tail;
    std::string col;
    bool isnull = true;
    if (!one_value(c->dbproc, sql, &col, &isnull)) return 0;
    if (isnull || col.empty()) continue;
    c->keys.push_back(new_key(t.written + "." + col, tabnum));
    ++added;
  }
  if (added == 0) return db__crs_err(c->dbproc, 20283, 7);
  return 1;
}

int use_systables(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  db__crs_drain(p);
  c->keys.clear();
  int tabnum = 0;
  for (const CURSORTAB& t : c->tabs) {
    ++tabnum;
    std::string sys = t.has_qualifier ? t.qualifier + "..sysindexes" : "sysindexes";
    std::string sql = "select indid, status, keycnt from " + sys +
                      " where indid >= 1 and id = OBJECT_ID('" + db__crs_quote(t.written) +
                      "') order by indid, keycnt ";
    if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
    DBSMALLINT indid = 0, status = 0, keycnt = 0;
    if (dbbind(p, 1, SMALLBIND, 0, reinterpret_cast<BYTE*>(&indid)) != SUCCEED ||
        dbbind(p, 2, SMALLBIND, 0, reinterpret_cast<BYTE*>(&status)) != SUCCEED ||
        dbbind(p, 3, SMALLBIND, 0, reinterpret_cast<BYTE*>(&keycnt)) != SUCCEED) {
      db__crs_drain(p);
      return 0;
    }
    bool found = false;
    for (;;) {
      int r = dbnextrow(p);
      if (r == NO_MORE_ROWS) break;
      if (r == FAIL) return 0;
      if (status & 2) {
        found = true;
        break;
      }
    }
    if (!db__crs_drain(p)) return 0;
    if (!found) return db__crs_err(p, 20256, 7);
    if (!setup_keycols(c, t, tabnum, indid, keycnt)) return 0;
  }
  return 1;
}

int bld_keyset_query(CURSORREC* c) {
  std::vector<std::string> names, desc;
  for (const CURSORKEY& k : c->keys) {
    names.push_back(k.name);
    desc.push_back(k.name + " desc");
  }
  c->keyset_select = "select " + join(names, ",");
  if (c->tail.empty()) c->order_asc = "order by " + join(names, ",");
  if (c->scroll == 1) c->order_desc = "order by " + join(desc, ",");
  return 1;
}

int get_keyset_info(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  std::string sql = c->keyset_select + " " + c->from_part + " " + "where 0 = 1 ";
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
  dbcolumn* col = p->columns;
  for (CURSORKEY& k : c->keys) {
    if (!col) {
      db__crs_drain(p);
      return db__crs_err(p, 20277, 7);
    }
    k.maxlen = col->maxlen;
    k.type = col->type;
    if (col->usertype == 80) k.kind |= KEY_TIMESTAMP;
    col = col->next;
  }
  return db__crs_drain(p);
}

}  // namespace

std::string db__get_full_keyname(CURSORREC* c, const CURSORKEY& k) {
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, k.tabnum);
  if (c->pending == 0 || !t) return k.name;
  std::size_t dot = k.name.find('.');
  return t->written + (dot == std::string::npos ? "." + k.name : k.name.substr(dot));
}

int db__crs_find_keys(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  std::string saved;
  bool switched = false, fallback = false, ok = true;
  int tabnum = 0;
  for (const CURSORTAB& t : c->tabs) {
    ++tabnum;
    if (t.has_qualifier && t.qualifier[0] != '.') {
      std::string cur;
      if (!get_curdb(p, &cur)) {
        ok = false;
        break;
      }
      if (cur != t.qualifier) {
        if (!change_db(p, t.qualifier)) {
          ok = false;
          break;
        }
        saved = cur;
        switched = true;
      }
    }
    int view = is_view(c, t);
    if (view < 0) {
      ok = false;
      break;
    }
    if (view) {
      ok = find_view_keys(c) != 0;
      break;
    }
    if (!sp_find_keys(c, t, tabnum, &fallback)) {
      ok = false;
      break;
    }
    if (switched) {
      if (!change_db(p, saved)) return 0;
      switched = false;
    }
  }
  if (switched && !change_db(p, saved)) return 0;
  if (fallback) {
    if (!use_systables(c)) return 0;
  } else if (!ok) {
    return 0;
  }
  if (c->keys.empty()) return db__crs_err(p, 20256, 7);
  if (!bld_keyset_query(c) || !get_keyset_info(c)) return 0;
  if (c->concur == 2) {
    for (int t = 1; t <= static_cast<int>(c->tabs.size()); ++t) {
      bool has = false;
      for (const CURSORKEY& k : c->keys)
        if (k.tabnum == t && !(k.kind & KEY_TIMESTAMP)) has = true;
      if (!has && c->browse_tabs.empty()) return db__crs_err(p, 20278, 7);
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Optimistic concurrency

int db__crs_bld_optccset(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  std::vector<std::string> names;
  c->optcc.clear();
  c->noptcc = 0;
  int tabnum = 0;
  for (const CURSORTAB& t : c->tabs) {
    ++tabnum;
    if (!db__crs_exec(p, "select * from " + t.written + " where 0 = 1 ") || dbresults(p) != SUCCEED)
      return 0;
    CURSOROPTCC o;
    o.tabnum = tabnum;
    std::string prefix = (t.has_alias ? t.alias : t.written) + ".";
    dbcolumn* ts = nullptr;
    for (dbcolumn* col = p->columns; col && !ts; col = col->next)
      if (col->usertype == 80) ts = col;
    for (dbcolumn* col = p->columns; col; col = col->next) {
      if (ts ? col != ts : (col->type == MERTEXT || col->type == MERIMAGE)) continue;
      CURSORKEY k;
      k.name = prefix + col->name;
      k.tabnum = tabnum;
      k.kind = ts ? KEY_TIMESTAMP : KEY_SAVED;
      k.maxlen = col->maxlen;
      k.type = col->type;
      k.data.assign(static_cast<std::size_t>(k.maxlen) * static_cast<std::size_t>(c->nrows), 0);
      k.lens.assign(static_cast<std::size_t>(c->nrows), 0);
      names.push_back(k.name);
      o.cols.push_back(std::move(k));
    }
    o.kind = ts ? 1 : 2;
    c->noptcc += static_cast<int>(o.cols.size());
    c->optcc.push_back(std::move(o));
    if (!db__crs_drain(p)) return 0;
  }
  c->optcc_select = join(names, ",");
  return 1;
}

void db__crs_store_key(CURSORKEY* k, int r, const BYTE* data, int32_t len) {
  if (r < 0 || static_cast<std::size_t>(r) >= k->lens.size()) return;
  // A value longer than the column's maximum cannot be a value of it.
  int32_t n = data ? std::min(std::max(len, 0), k->maxlen) : 0;
  if (n > 0) std::memcpy(k->data.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(k->maxlen), data, static_cast<std::size_t>(n));
  k->lens[static_cast<std::size_t>(r)] = n;
}

void db__crs_save_optcc_data(CURSORREC* c, int bufrow, const CRSROW* row) {
  std::size_t i = static_cast<std::size_t>(c->ncols) + (c->scroll >= 0 ? c->keys.size() : 0);
  for (CURSOROPTCC& o : c->optcc)
    for (CURSORKEY& k : o.cols) {
      if (row && i < row->size()) db__crs_store_key(&k, bufrow, (*row)[i].data.data(), (*row)[i].len);
      else db__crs_store_key(&k, bufrow, nullptr, 0);
      ++i;
    }
}

// ---------------------------------------------------------------------------
// The "rowcount" option

int db__crs_change_row_count(CURSORREC* c, int mode, long count) {
  DBPROCESS* p = c->dbproc;
  const dboption& o = p->options[DBROWCOUNT];
  if (mode == 2) {
    std::string cur = o.set && o.params ? std::string(o.params->data, static_cast<std::size_t>(o.params->len)) : "";
    c->saved_rowcount = std::atoi(cur.c_str());
  } else {
    count = c->saved_rowcount;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%ld", count);
  // The new value replaces the old one: only its own text is queued.
  bool ok = dbsetopt(p, DBROWCOUNT, text, 0) == SUCCEED && dbsendopts(p) == SUCCEED;
  p->cmdbuf = strfree(p->cmdbuf);
  if (!ok) {
    std::snprintf(text, sizeof text, "%d", c->saved_rowcount);
    if (!p->dead) dbsetopt(p, DBROWCOUNT, text, 0);
    p->optcmd = strfree(p->optcmd);
    p->cmdbuf = strfree(p->cmdbuf);
    return 0;
  }
  c->rowcount_set = mode == 2;
  return 1;
}

// ---------------------------------------------------------------------------
// Where-conditions

int db__crs_bld_keyset_where_sub(CURSORREC* c, int ksrow, int tabnum, int optcheck, int bufrow,
                                 std::string* out) {
  DBPROCESS* p = c->dbproc;
  const CURSORTAB* t = db__crs_tabinfo_numtoname(c, tabnum);
  bool alias = t && t->has_alias && c->browse_tabs.empty();
  bool any = false;
  auto term = [&](const CURSORKEY& k, int row) -> int {
    std::string value;
    std::size_t r = static_cast<std::size_t>(row);
    if (r >= k.lens.size()) return db__crs_err(p, 20267, 7);
    if (k.lens[r] == 0) value = " NULL ";
    else if (!db__crs_write_buf(p, k.type, k.lens[r], k.data.data() + r * static_cast<std::size_t>(k.maxlen), &value))
      return 0;
    std::string name = alias ? db__get_full_keyname(c, k) : k.name;
    if (any) *out += " and ";
    any = true;
    if (k.kind & KEY_TIMESTAMP) *out += " tsequal(" + name + ", " + value + ")";
    else *out += name + " = " + value;
    return 1;
  };
  for (const CURSORKEY& k : c->keys)
    if (k.tabnum == tabnum && !term(k, ksrow)) return 0;
  if (optcheck) {
    const CURSOROPTCC* o = nullptr;
    for (const CURSOROPTCC& x : c->optcc)
      if (x.tabnum == tabnum) o = &x;
    if (!o) return db__crs_err(p, 20285, 7);
    for (const CURSORKEY& k : o->cols)
      if (!term(k, bufrow)) return 0;
  }
  return 1;
}

int db__crs_bld_keyset_where(CURSORREC* c, int ksrow, std::string* out) {
  *out += " ";
  *out += "where ";
  int ntabs = c->browse_tabs.empty() ? static_cast<int>(c->tabs.size()) : static_cast<int>(c->browse_tabs.size());
  bool first = true;
  for (int t = 1; t <= ntabs; ++t) {
    bool has = false;
    for (const CURSORKEY& k : c->keys)
      if (k.tabnum == t) has = true;
    if (!has) continue;
    if (!first) *out += " and ";
    first = false;
    if (!db__crs_bld_keyset_where_sub(c, ksrow, t, 0, 0, out)) return 0;
  }
  return 1;
}

int db__crs_bld_dynamic_where(CURSORREC* c, int direction, std::string* out) {
  DBPROCESS* p = c->dbproc;
  if (direction == 1) return 1;
  if (direction != 2 && direction != 3) return db__crs_err(p, 20280, 7);
  if (c->keyset_rows == 0) return db__crs_err(p, 20283, 7);
  std::size_t row = direction == 2 ? static_cast<std::size_t>(c->keyset_rows - 1) : 0;
  const char* cmp = direction == 2 ? " > " : " < ";
  std::vector<std::string> values;
  std::vector<bool> nulls;
  for (const CURSORKEY& k : c->keys) {
    if (row >= k.lens.size()) return db__crs_err(p, 20267, 7);
    std::string v;
    bool null = k.lens[row] == 0;
    if (!null && !db__crs_write_buf(p, k.type, k.lens[row], k.data.data() + row * static_cast<std::size_t>(k.maxlen), &v))
      return 0;
    values.push_back(v);
    nulls.push_back(null);
  }
  std::vector<std::string> terms;
  for (std::size_t i = 0; i < c->keys.size(); ++i) {
    // Nulls sort first: after a null come the values that are not null,
    // before it nothing.
    if (nulls[i] && direction == 3) continue;
    std::string t = "(";
    for (std::size_t j = 0; j < i; ++j)
      t += c->keys[j].name + (nulls[j] ? " is NULL " : " = " + values[j]) + " and ";
    t += c->keys[i].name + (nulls[i] ? std::string(" is not NULL") : cmp + values[i]) + ")";
    terms.push_back(t);
  }
  *out += terms.empty() ? "(1 = 0)" : join(terms, " or ");
  return 1;
}

// ---------------------------------------------------------------------------
// Loading a keyset block

int db__crs_bld_keyset_data(CURSORREC* c, int first) {
  DBPROCESS* p = c->dbproc;
  int skipped = 0;
  if (first) {
    c->flags &= ~(CRS_ATEND | CRS_ALLIN);
    for (CURSORKEY& k : c->keys) {
      std::size_t need = static_cast<std::size_t>(std::max(k.maxlen, 0)) * static_cast<std::size_t>(c->keyset_size);
      if (k.data.size() != need) k.data.assign(need, 0);
      k.lens.assign(static_cast<std::size_t>(c->keyset_size), 0);
    }
    if (c->scroll >= 0) return 1;
  } else {
    if (c->flags & CRS_ALLIN) return -2;
    c->flags &= ~(CRS_ATEND | CRS_ALLIN);
    if (!c->tail.empty()) skipped = c->first_rownum + c->keyset_rows - 1;
  }
  if (!db__crs_change_row_count(c, 2, static_cast<long>(c->keyset_size) + skipped + 1)) return 0;
  std::string sql = c->keyset_select + " " + c->from_part + " " + c->where_part + " ";
  if (c->tail.empty()) {
    if (!first) {
      sql += c->where_part.empty() ? "where " : " and ( ";
      if (!db__crs_bld_dynamic_where(c, 2, &sql)) return 0;
      sql += " ";
      if (!c->where_part.empty()) sql += " ) ";
    }
    sql += c->order_asc;
  } else {
    sql += c->tail;
  }
  if (!db__crs_exec(p, sql) || dbresults(p) != SUCCEED) return 0;
  int seen = 0, n = 0;
  bool more = false;
  for (;;) {
    int r = dbnextrow(p);
    if (r == NO_MORE_ROWS) break;
    if (r == FAIL) return 0;
    if (seen++ < skipped) continue;
    if (n == c->keyset_size) {
      more = true;
      continue;
    }
    dbrow* row = p->currow;
    std::size_t i = 0;
    for (CURSORKEY& k : c->keys) {
      if (!row || i >= static_cast<std::size_t>(row->nvalues)) return 0;
      db__crs_store_key(&k, n, row->values[i].data, row->values[i].len);
      ++i;
    }
    ++n;
  }
  if (!db__crs_drain(p)) return 0;
  if (!more) {
    c->flags |= CRS_ATEND;
    if (first) c->flags |= CRS_ALLIN;
  }
  if (more && (c->flags & CRS_FULLKEYSET)) return db__crs_err(p, 20278, 7);
  if (more && first && !c->tail.empty()) return db__crs_err(p, 20259, 7);
  c->first_rownum = first ? 1 : c->first_rownum + c->keyset_rows;
  c->keyset_rows = n;
  if (first && n == 0) return db__crs_err(p, 20255, 7);
  if (!db__crs_change_row_count(c, 1, 0)) return 0;
  return 1;
}
