// Client cursors: opening (checks, splitting the statement, its tables, the
// column probe), the column information and binding, and the release of a
// cursor and of every cursor of a closing connection.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "comnlib/comn_alloc.h"
#include "db_crs.h"

// ---------------------------------------------------------------------------
// Errors and small helpers

int db__crs_err(DBPROCESS* dbproc, int dberr, int severity) {
  db__raise(dbproc, dberr, severity, severity == 8 ? errno : -1);
  return 0;
}

int db__crs_nomem(DBPROCESS* dbproc) {
  dbsetdead(dbproc);
  db__raise(dbproc, 20010, 8, errno);
  return 0;
}

int db__crs_illegal(DBPROCESS* dbproc, long value, const char* param, const char* routine) {
  char text[512];
  if (dbstrbuild(dbproc, text, sizeof text, db__geterrstr(dbproc, 20194), "%d %s %s",
                 static_cast<int>(value), param, routine) < 0)
    text[0] = '\0';
  db__raise(dbproc, 20194, 1, -1, text[0] ? text : nullptr);
  return 0;
}

int db__crs_null(DBPROCESS* dbproc, const char* routine, const char* param) {
  return db__check_null(dbproc, nullptr, routine, param);
}

int db__strncasecmp(const char* a, const char* b, int n) {
  for (int i = 0; i < n; ++i) {
    int x = db__isupper(static_cast<unsigned char>(a[i])) ? db__tolower(static_cast<unsigned char>(a[i]))
                                                          : static_cast<unsigned char>(a[i]);
    int y = db__isupper(static_cast<unsigned char>(b[i])) ? db__tolower(static_cast<unsigned char>(b[i]))
                                                          : static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
    if (a[i] == '\0') return 0;
  }
  return 0;
}

std::string db__crs_quote(const std::string& text) {
  std::string out;
  for (char ch : text) {
    out.push_back(ch);
    if (ch == '\'') out.push_back(ch);
  }
  return out;
}

namespace {

bool blank(char ch) { return db__isspace(static_cast<unsigned char>(ch)) != 0; }

// Matches a lower-case phrase at `at`; a blank in the phrase matches any
// run of blanks.
bool phrase_at(const std::string& text, std::size_t at, const char* phrase) {
  std::size_t i = at;
  for (const char* p = phrase; *p; ++p) {
    if (*p == ' ') {
      if (i >= text.size() || !blank(text[i])) return false;
      while (i < text.size() && blank(text[i])) ++i;
      continue;
    }
    if (i >= text.size()) return false;
    int ch = static_cast<unsigned char>(text[i]);
    if (db__isupper(ch)) ch = db__tolower(ch);
    if (ch != static_cast<unsigned char>(*p)) return false;
    ++i;
  }
  return true;
}

}  // namespace

long db__crs_search_phrase(const std::string& text, const char* phrase, int mode) {
  std::size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;
  std::size_t start = i;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '"' && (i == 0 || text[i - 1] != '\\')) {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    bool word = i == start || blank(text[i - 1]) ||
                (mode == 1 && std::strchr("(),", text[i - 1]) != nullptr);
    if (word && phrase_at(text, i, phrase)) return static_cast<long>(i);
  }
  return -1;
}

void db__crs_tidy(DBPROCESS* dbproc) {
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  dbproc->columns = colfree(dbproc->columns);
  dbproc->numcols = 0;
}

int db__crs_exec(DBPROCESS* dbproc, const std::string& sql) {
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  if (dbcmd(dbproc, sql.c_str()) != SUCCEED) return 0;
  return dbsqlexec(dbproc) == SUCCEED;
}

int db__crs_drain(DBPROCESS* dbproc) {
  for (;;) {
    if (dbproc->dead) return 0;
    if (dbproc->status & DBST_ROWS) {
      if (dbcanquery(dbproc) != SUCCEED) return 0;
    }
    int r = dbresults(dbproc);
    if (r == NO_MORE_RESULTS) return 1;
    if (r == FAIL) return 0;
  }
}

std::string db__crs_value_text(DBPROCESS* dbproc, int index) {
  dbrow* row = dbproc->currow;
  if (!row || index < 0 || index >= row->nvalues) return "";
  const dbcolvalue& v = row->values[index];
  if (v.len <= 0 || !v.data) return "";
  dbcolumn* c = dbproc->columns;
  for (int i = 0; c && i < index; ++i) c = c->next;
  if (!c) return "";
  if (c->type == MERCHAR || c->type == MERVARCHAR || c->type == MERTEXT)
    return std::string(reinterpret_cast<const char*>(v.data), static_cast<std::size_t>(v.len));
  std::vector<char> buf(static_cast<std::size_t>(2 * v.len) + 600, '\0');
  DBINT n = dbconvert(dbproc, c->type, v.data, v.len, MERCHAR, reinterpret_cast<BYTE*>(buf.data()), -1);
  if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) return "";
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

// ---------------------------------------------------------------------------
// The common check

int db__crs_verify(DBPROCESS* dbproc, CURSORREC* cursor) {
  if (!db__procchk(dbproc)) return 0;
  if ((dbproc->status & DBST_ROWS) || !(dbproc->batch & DBB_NORESULTS))
    return db__crs_err(dbproc, 20019, 7);
  if (dbisopt(dbproc, DBNOAUTOFREE, nullptr)) return db__crs_err(dbproc, 20261, 7);
  if (dbisopt(dbproc, DBBUFFER, nullptr)) return db__crs_err(dbproc, 20260, 7);
  if (cursor) {
    bool found = false;
    for (auto* c = static_cast<CURSORREC*>(dbproc->cursors); c; c = c->next)
      if (c == cursor) found = true;
    if (!found || cursor->dbproc != dbproc) return db__crs_err(dbproc, 20281, 7);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Release

namespace {

void unlink_cursor(CURSORREC* cursor) {
  DBPROCESS* p = cursor->dbproc;
  auto** link = reinterpret_cast<CURSORREC**>(&p->cursors);
  while (*link && *link != cursor) link = &(*link)->next;
  if (*link) *link = cursor->next;
}

}  // namespace

int db__crs_clean(CURSORREC* c, int keep, int what) {
  DBPROCESS* p = c->dbproc;
  p->cmdbuf = strfree(p->cmdbuf);
  bool closing = what == 16;
  if (!keep && !p->dead) db__crs_drain(p);
  if (c->rowcount_set && !p->dead && !closing)
    db__crs_change_row_count(c, 1, 0);
  p->columns = colfree(p->columns);
  p->numcols = 0;
  if (what == 4) {
    if (!keep)
      for (int i = 0; i < c->nrows; ++i) c->status[i] = 0;
    if (c->scroll >= 0) c->keyset_rows = 0;
    for (CURSOROPTCC& o : c->optcc)
      for (CURSORKEY& k : o.cols) std::fill(k.lens.begin(), k.lens.end(), 0);
  }
  if (!(what & 2))
    for (CRSROW& r : c->rows) r.clear();
  if (what == 1 || what == 8 || what == 16) {
    if (what != 1) unlink_cursor(c);
    c->columns = colfree(c->columns);
    delete c;
  }
  return keep;
}

void db__crs_close(DBPROCESS* dbproc) {
  if (!dbproc) return;
  while (dbproc->cursors) db__crs_clean(static_cast<CURSORREC*>(dbproc->cursors), 1, 16);
}

RETCODE dbcursorclose(DBCURSOR* cursor) {
  if (!cursor) return db__crs_null(nullptr, "dbcursorclose()", "cursor");
  if (!db__crs_verify(cursor->dbproc, cursor)) return FAIL;
  db__crs_clean(cursor, 1, 8);
  return SUCCEED;
}

// ---------------------------------------------------------------------------
// Opening

namespace {

// Disallowed phrases and aggregate functions.
int invalid_phrase(DBPROCESS* dbproc, const std::string& stmt) {
  for (const char* ph : {"compute ", "into ", "for browse ", "union "})
    if (db__crs_search_phrase(stmt, ph, 0) >= 0) return db__crs_err(dbproc, 20262, 7);
  for (const char* fn : {"sum", "avg", "count", "min", "max"}) {
    long at = db__crs_search_phrase(stmt, fn, 1);
    if (at < 0) continue;
    std::size_t i = static_cast<std::size_t>(at) + std::strlen(fn);
    while (i < stmt.size() && blank(stmt[i])) ++i;
    if (i < stmt.size() && stmt[i] == '(') return db__crs_err(dbproc, 20263, 7);
  }
  return 1;
}

// Splits a written table name into qualifier, owner and name.
void split_name(CURSORTAB* t) {
  const std::string& w = t->written;
  std::size_t d1 = w.find('.');
  if (d1 == std::string::npos) {
    t->name = w;
    return;
  }
  std::size_t d2 = w.find('.', d1 + 1);
  if (d2 == std::string::npos) {
    t->owner = w.substr(0, d1);
    t->has_owner = true;
    t->name = w.substr(d1 + 1);
    return;
  }
  t->qualifier = w.substr(0, d1);
  t->has_qualifier = true;
  if (d2 > d1 + 1) {
    t->owner = w.substr(d1 + 1, d2 - d1 - 1);
    t->has_owner = true;
  }
  t->name = w.substr(d2 + 1);
}

// Reads the tables of the from part (after "from ").
int get_table_names(CURSORREC* c) {
  const std::string& f = c->from_part;
  std::size_t i = 4;  // "from"
  while (i <= f.size()) {
    std::size_t end = f.find(',', i);
    if (end == std::string::npos) end = f.size();
    std::vector<std::string> words;
    std::size_t j = i;
    while (j < end) {
      while (j < end && blank(f[j])) ++j;
      std::size_t s = j;
      while (j < end && !blank(f[j])) ++j;
      if (j > s) words.push_back(f.substr(s, j - s));
    }
    if (!words.empty()) {
      CURSORTAB t;
      t.written = words[0];
      for (std::size_t w = 1; w < words.size(); ++w) {
        const std::string& x = words[w];
        if ((x.size() == 8 && db__strncasecmp(x.c_str(), "holdlock", 8) == 0) ||
            (x.size() == 10 && db__strncasecmp(x.c_str(), "noholdlock", 10) == 0))
          continue;
        t.alias = x;
        t.has_alias = true;
      }
      split_name(&t);
      c->tabs.push_back(std::move(t));
    }
    i = end + 1;
  }
  if (c->tabs.empty()) return db__crs_err(c->dbproc, 20277, 7);
  return 1;
}

int parse_stmt(CURSORREC* c, const char* stmt) {
  DBPROCESS* p = c->dbproc;
  std::string s(stmt);
  std::size_t lead = 0;
  while (lead < s.size() && blank(s[lead])) ++lead;
  s.erase(0, lead);
  if (db__crs_search_phrase(s, "select ", 0) != 0) return db__crs_err(p, 20277, 7);
  long f = db__crs_search_phrase(s, "from ", 0);
  if (f < 0) return db__crs_err(p, 20277, 7);
  long w = db__crs_search_phrase(s, "where ", 0);
  long t = -1;
  for (const char* ph : {"order by ", "having ", "group by "}) {
    long at = db__crs_search_phrase(s, ph, 0);
    if (at >= 0 && (t < 0 || at < t)) t = at;
  }
  if (t >= 0 && c->scroll != -1) return db__crs_err(p, 20259, 7);
  if ((w >= 0 && w < f) || (t >= 0 && t < f) || (t >= 0 && w >= 0 && t < w))
    return db__crs_err(p, 20286, 7);
  auto at = [](long x) { return static_cast<std::size_t>(x); };
  long from_end = w >= 0 ? w : (t >= 0 ? t : static_cast<long>(s.size()));
  c->select_part = s.substr(0, at(f));
  c->from_part = s.substr(at(f), at(from_end - f));
  if (w >= 0) c->where_part = s.substr(at(w), at((t >= 0 ? t : static_cast<long>(s.size())) - w));
  if (t >= 0) c->tail = s.substr(at(t));
  return get_table_names(c);
}

// The column probe: the statement's columns, without rows.
int get_colinfo(CURSORREC* c) {
  DBPROCESS* p = c->dbproc;
  if (!db__crs_exec(p, c->select_part + " " + c->from_part + " " + "where 0 = 1 ")) return 0;
  if (dbresults(p) != SUCCEED || !p->columns) return db__crs_err(p, 20255, 7);
  if (dbcanquery(p) != SUCCEED) return 0;
  c->columns = p->columns;
  p->columns = nullptr;
  p->numcols = 0;
  if (!db__crs_drain(p)) return 0;
  c->ncols = 0;
  for (dbcolumn* col = c->columns; col; col = col->next) ++c->ncols;
  c->binds.assign(static_cast<std::size_t>(c->ncols), CURSORBIND{});
  c->total_cols = c->ncols + (c->scroll >= 0 ? static_cast<int>(c->keys.size()) : 0) +
                  (c->concur == 3 ? c->noptcc : 0);
  return 1;
}

int setup_open(CURSORREC* c, const char* stmt) {
  if (!parse_stmt(c, stmt) || !db__crs_find_keys(c)) return 0;
  if (c->concur == 3 && !db__crs_bld_optccset(c)) return 0;
  if (db__crs_bld_keyset_data(c, 1) != 1) return 0;
  c->rows.assign(static_cast<std::size_t>(c->nrows), CRSROW{});
  return get_colinfo(c);
}

}  // namespace

DBCURSOR* dbcursoropen(DBPROCESS* dbproc, const char* stmt, int scrollopt, int concuropt,
                       int nrows, DBINT* pstatus) {
  if (!db__crs_verify(dbproc, nullptr)) return nullptr;
  if (!stmt || !*stmt) {
    db__crs_null(dbproc, "dbcursoropen()", "stmt");
    return nullptr;
  }
  if (concuropt < 1 || concuropt > 4) {
    db__crs_illegal(dbproc, concuropt, "concuropt", "dbcursoropen()");
    return nullptr;
  }
  if (nrows < 1) {
    db__crs_illegal(dbproc, nrows, "nrows", "dbcursoropen()");
    return nullptr;
  }
  if (!pstatus) {
    db__crs_null(dbproc, "dbcursoropen()", "pstat");
    return nullptr;
  }
  pstatus[0] = 0;
  if (!invalid_phrase(dbproc, stmt)) return nullptr;
  // A keyset of n x nrows rows must stay within what a keyset can index.
  if (scrollopt < -1 || (scrollopt > 1 && static_cast<long long>(scrollopt) * nrows > (1LL << 20))) {
    db__crs_illegal(dbproc, scrollopt, "scrollopt", "dbcursoropen()");
    return nullptr;
  }
  auto* c = new (std::nothrow) CURSORREC;
  if (!c) {
    db__crs_nomem(dbproc);
    return nullptr;
  }
  c->dbproc = dbproc;
  c->concur = concuropt;
  c->nrows = nrows;
  c->status = pstatus;
  if (scrollopt == -1) {
    c->scroll = -1;
    c->flags = CRS_FULLKEYSET;
    c->keyset_size = 1000;
  } else if (scrollopt == 0 || scrollopt == 1) {
    c->scroll = scrollopt;
    c->keyset_size = nrows;
  } else {
    c->scroll = -1;
    c->keyset_size = scrollopt * nrows;
  }
  int ok = 0;
  try {
    ok = setup_open(c, stmt);
  } catch (const std::bad_alloc&) {
    db__crs_nomem(dbproc);
  }
  if (!ok) {
    db__crs_clean(c, 0, 1);
    return nullptr;
  }
  auto** tail = reinterpret_cast<CURSORREC**>(&dbproc->cursors);
  while (*tail) tail = &(*tail)->next;
  *tail = c;
  if (dbcancel(dbproc) != SUCCEED) return nullptr;
  return c;
}

// ---------------------------------------------------------------------------
// Column information and binding

RETCODE dbcursorinfo(DBCURSOR* cursor, DBINT* ncols, DBINT* nrows) {
  if (!cursor) return db__crs_null(nullptr, "dbcursorinfo()", "cursor");
  if (!db__crs_verify(cursor->dbproc, cursor)) return FAIL;
  if (ncols) *ncols = cursor->ncols;
  if (nrows) *nrows = (cursor->flags & (CRS_ATEND | CRS_ALLIN)) ? cursor->keyset_rows : -1;
  return SUCCEED;
}

namespace {
dbcolumn* nth_column(CURSORREC* c, int column) {
  dbcolumn* col = c->columns;
  for (int i = 1; col && i < column; ++i) col = col->next;
  return column >= 1 ? col : nullptr;
}
}  // namespace

RETCODE dbcursorcolinfo(DBCURSOR* cursor, DBINT column, char* colname, DBINT* coltype,
                        DBINT* collen, DBINT* usertype) {
  if (!cursor) return db__crs_null(nullptr, "dbcursorcolinfo()", "cursor");
  if (!db__crs_verify(cursor->dbproc, cursor)) return FAIL;
  dbcolumn* col = column >= 1 && column <= cursor->ncols ? nth_column(cursor, column) : nullptr;
  if (!col) return db__crs_illegal(cursor->dbproc, column, "column", "dbcursorcolinfo()");
  if (colname) std::snprintf(colname, sizeof col->name, "%s", col->name);
  if (coltype) *coltype = col->type;
  if (collen) *collen = col->maxlen;
  if (usertype) *usertype = col->usertype;
  return SUCCEED;
}

namespace {
// Bytes of one program variable of a bind type; 0 for an unknown type.
int slot_width(int vartype, DBINT varlen) {
  switch (vartype) {
    case TINYBIND: case BITBIND: return 1;
    case SMALLBIND: return 2;
    case INTBIND: case DATE4BIND: case MNY4BIND: case FLT4BIND: return 4;
    case DATETIMEBIND: case MONEYBIND: case FLT8BIND: return 8;
    case VARYCHARBIND: case VARYBINBIND: return static_cast<int>(sizeof(DBVARYCHAR));
    case NUMERICBIND: case DECIMALBIND: return static_cast<int>(sizeof(DBNUMERIC));
    case CHARBIND: case BINARYBIND: case STRINGBIND: case NTBSTRINGBIND: return varlen;
    default: return 0;
  }
}
}  // namespace

RETCODE dbcursorbind(DBCURSOR* cursor, int column, int vartype, DBINT varlen, DBINT* poutlen,
                     BYTE* varaddr, DBTYPEINFO* typeinfo) {
  if (!cursor) return db__crs_null(nullptr, "dbcursorbind()", "cursor");
  DBPROCESS* p = cursor->dbproc;
  if (!db__crs_verify(p, cursor)) return FAIL;
  dbcolumn* col = column >= 1 && column <= cursor->ncols ? nth_column(cursor, column) : nullptr;
  if (!col) return db__crs_illegal(p, column, "column", "dbcursorbind()");
  CURSORBIND& b = cursor->binds[static_cast<std::size_t>(column - 1)];
  if (!varaddr) {
    b = CURSORBIND{};
    col->varaddr = nullptr;
    col->bindtype = 0;
    col->bindlen = 0;
    col->cvtproc = nullptr;
    return SUCCEED;
  }
  int slot;
  if (vartype == DBCRS_NOBIND) {
    if (!poutlen) return db__crs_err(p, 20289, 7);
    slot = static_cast<int>(sizeof(BYTE*));
  } else {
    bool sized = vartype == CHARBIND || vartype == BINARYBIND || vartype == STRINGBIND ||
                 vartype == NTBSTRINGBIND;
    if (sized && varlen < 1) return db__crs_illegal(p, varlen, "varlen", "dbcursorbind()");
    slot = slot_width(vartype, varlen);
    if (slot == 0) return db__crs_err(p, 20023, 7);
    dbcolumn* saved = p->columns;
    p->columns = cursor->columns;
    RETCODE r = dbbind_ps(p, column, vartype, varlen, varaddr, typeinfo);
    p->columns = saved;
    if (r != SUCCEED) return FAIL;
    b.bindlen = col->bindlen;
    b.cvtproc = col->cvtproc;
    b.typeinfo = col->typeinfo;
    col->varaddr = nullptr;
  }
  b.addrs.assign(static_cast<std::size_t>(cursor->nrows), nullptr);
  for (int r = 0; r < cursor->nrows; ++r) b.addrs[static_cast<std::size_t>(r)] = varaddr + static_cast<long>(r) * slot;
  b.bindtype = vartype;
  b.lengths = poutlen;
  b.slot = slot;
  return SUCCEED;
}
