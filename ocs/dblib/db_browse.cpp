// Browse mode: the keys and timestamps of the tables of a "for browse"
// result, the where-clause that finds the current row again (dbqual), the
// new timestamp after an update, and the printing of a value as an SQL
// literal, which the client cursors use too.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "comnlib/com_cvt.h"
#include "comnlib/comn_alloc.h"
#include "db_crs.h"

namespace {

constexpr int kTimestampType = 80;
constexpr int kKeyBit = 0x08;
constexpr int kExprBit = 0x04;
constexpr int kHiddenBit = 0x10;
constexpr int kSourceBit = 0x20;

int tab_count(DBPROCESS* dbproc) {
  int n = 0;
  for (dbtabrec* t = dbproc->tabnames; t; t = t->next) ++n;
  return n;
}

dbtabrec* tab_at(DBPROCESS* dbproc, int n) {
  if (n < 1) return nullptr;
  dbtabrec* t = dbproc->tabnames;
  for (int i = 1; t && i < n; ++i) t = t->next;
  return t;
}

// The table number named by a number, or by a name when the number is -1.
int resolve(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  return tabnum == -1 ? tabname2num(dbproc, tabname) : tabnum;
}

// The column record and value index of a visible 1-based column.
dbcolumn* visible_column(DBPROCESS* dbproc, int column, int* index) {
  if (column < 1) return nullptr;
  int n = 0, i = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next, ++i) {
    if (c->colstatus & kHiddenBit) continue;
    if (++n == column) {
      if (index) *index = i;
      return c;
    }
  }
  return nullptr;
}

// The n-th key column (1-based) of a table, with its index among all columns.
dbcolumn* key_column(DBPROCESS* dbproc, int n, int tabnum, int* index) {
  if (n < 1 || tabnum < 1) return nullptr;
  int k = 0, i = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next, ++i) {
    if (c->tabnum != tabnum || !(c->colstatus & kKeyBit)) continue;
    if (++k == n) {
      if (index) *index = i;
      return c;
    }
  }
  return nullptr;
}

// The timestamp column of a table, with its index among all columns.
dbcolumn* ts_column(DBPROCESS* dbproc, int tabnum, int* index) {
  if (tabnum < 1) return nullptr;
  int i = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next, ++i) {
    if (c->tabnum == tabnum && c->usertype == kTimestampType) {
      if (index) *index = i;
      return c;
    }
  }
  return nullptr;
}

dbcolvalue* row_value(DBPROCESS* dbproc, int index) {
  if (!dbproc->currow || index < 0 || index >= dbproc->currow->nvalues) return nullptr;
  return &dbproc->currow->values[index];
}

const char* key_name(dbcolumn* c) {
  if ((c->colstatus & kSourceBit) && c->srcname && c->srcname[0]) return c->srcname;
  return c->name;
}

int num_keys(DBPROCESS* dbproc, int tabnum) {
  int n = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next)
    if (tabnum >= 1 && c->tabnum == tabnum && (c->colstatus & kKeyBit)) ++n;
  return n;
}

int dead(DBPROCESS* dbproc, int dberr, int severity) {
  dbsetdead(dbproc);
  db__raise(dbproc, dberr, severity, severity == 8 ? errno : -1);
  return -1;
}

const char kHex[] = "0123456789abcdef";

void append_hex(const BYTE* p, int n, std::string* out) {
  for (int i = 0; i < n; ++i) {
    out->push_back(kHex[p[i] >> 4]);
    out->push_back(kHex[p[i] & 15]);
  }
}

}  // namespace

int dblib::tabname2num(DBPROCESS* dbproc, const char* name) {
  if (!dbproc || !name) return -1;
  int n = 1;
  for (dbtabrec* t = dbproc->tabnames; t; t = t->next, ++n)
    if (std::strcmp(t->name, name) == 0) return n;
  return -1;
}

int dblib::key2colnum(DBPROCESS* dbproc, int keynum, int tabnum) {
  int index = -1;
  if (!dbproc || !key_column(dbproc, keynum, tabnum, &index)) return -1;
  return index + 1;
}

// ---------------------------------------------------------------------------
// Print widths and SQL literals

int db__prlen(DBPROCESS* dbproc, int type, int len) {
  if (len == 0) return 5;
  switch (type) {
    case MERIMAGE: case MERTEXT: case MERVARBINARY: case MERVARCHAR: case MERBINARY:
    case MERCHAR: case MERSENSITIVITY: case MERBOUNDARY:
      return 2 * len + 2;
    case MERINTN:
      if (len == 1) return 3;
      if (len == 2) return 6;
      if (len == 4) return 11;
      return dead(dbproc, 20025, 11);
    case MERINT1: case MERBIT: return 3;
    case MERINT2: return 6;
    case MERINT4: return 11;
    case MERDATETIME4: return 28;
    case MERREAL: case MERFLT8: return 20;
    case MERMONEY: case MERMONEY4: return 25;
    case MERDATETIME: return Db__GlobalRec.olddatestyle ? 22 : 28;
    case MERDECIMAL: case MERNUMERIC: return 79;
    case MERFLTN:
      if (len == 4 || len == 8) return 20;
      return dead(dbproc, 20145, 11);
    case MERMONEYN:
      if (len == 4 || len == 8) return 25;
      return dead(dbproc, 20144, 11);
    case MERDATETIMN:
      if (len == 4) return 28;
      if (len == 8) return Db__GlobalRec.olddatestyle ? 22 : 28;
      return dead(dbproc, 20143, 11);
    default:
      return dead(dbproc, 20060, 11);
  }
}

namespace {

// The literal of a value, at most `width` bytes; 1 or 0.
int literal(DBPROCESS* dbproc, const BYTE* value, int len, int type, int width, std::string* out) {
  if (len == 0 || !value) {
    *out = "NULL ";
    return 1;
  }
  if (len < 0) return 0;
  std::string text;
  bool money = type == MERMONEY || type == MERMONEYN || type == MERMONEY4;
  if (money) {
    COM_MONEY m{};
    if (len == 4) {
      COM_MONEY4 m4{};
      std::memcpy(&m4, value, 4);
      com__mny4tomny(&m4, &m);
    } else if (len == 8) {
      std::memcpy(&m, value, 8);
    } else {
      return 0;
    }
    char area[64];
    const char* p = com__mnytochar(&m, area, sizeof area, 4 << 8);
    if (!p) return 0;
    text.assign(p, static_cast<std::size_t>(area + sizeof area - p));
    if (static_cast<int>(text.size()) > width) {
      db__raise(dbproc, 20049, 11);
      return 0;
    }
  } else {
    // Every conversion to text fits in twice the source length plus room
    // for the longest number or date.
    std::vector<char> buf(static_cast<std::size_t>(2 * len) + 600, '\0');
    DBINT n = dbconvert(dbproc, type, value, len, MERCHAR, reinterpret_cast<BYTE*>(buf.data()), -1);
    if (n < 0) return 0;
    text.assign(buf.data(), static_cast<std::size_t>(n) < buf.size() ? static_cast<std::size_t>(n) : 0);
  }
  switch (type) {
    case MERIMAGE: case MERVARBINARY: case MERBINARY:
      *out = "0x" + text;
      break;
    case MERTEXT: case MERVARCHAR: case MERCHAR: case MERSENSITIVITY: case MERBOUNDARY: {
      std::string q = "'";
      for (char ch : text) {
        q.push_back(ch);
        if (ch == '\'') q.push_back(ch);
      }
      q.push_back('\'');
      if (static_cast<int>(q.size()) > width) {
        db__raise(dbproc, 20054, 7);
        return 0;
      }
      *out = std::move(q);
      break;
    }
    case MERDATETIME4: case MERDATETIME: case MERDATETIMN:
      *out = "'" + text + "'";
      break;
    case MERMONEY: case MERMONEYN: case MERMONEY4:
      *out = "$" + text;
      break;
    default:
      *out = text;
      break;
  }
  if (static_cast<int>(out->size()) > width) {
    db__raise(dbproc, 20049, 11);
    return 0;
  }
  return 1;
}

}  // namespace

int db__print_chardata(DBPROCESS* dbproc, const BYTE* value, int len, int type, int width,
                       char* dest) {
  if (!dest || width < 0) return 0;
  std::string text;
  if (!literal(dbproc, value, len, type, width, &text)) {
    dest[0] = '\0';
    return 0;
  }
  std::memcpy(dest, text.data(), text.size());
  dest[text.size()] = '\0';
  return 1;
}

int db__crs_write_buf(DBPROCESS* dbproc, int type, int len, const BYTE* value, std::string* out) {
  int width = db__prlen(dbproc, type, len);
  if (width < 0) return 0;
  std::string text;
  if (!literal(dbproc, value, len, type, width, &text)) return 0;
  out->append(text);
  return 1;
}

// ---------------------------------------------------------------------------
// Browse queries

namespace {
char* qual(DBPROCESS* dbproc, int tabnum, const char* tabname);
}  // namespace

char* dbqual(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!db__procchk(dbproc)) return nullptr;
  try {
    return qual(dbproc, tabnum, tabname);
  } catch (const std::bad_alloc&) {
    dead(dbproc, 20010, 8);
    return nullptr;
  }
}

namespace {

char* qual(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!dbproc->currow) {
    db__raise(dbproc, 20044, 7);
    return nullptr;
  }
  int t = resolve(dbproc, tabnum, tabname);
  int tsindex = -1;
  dbcolumn* ts = ts_column(dbproc, t, &tsindex);
  int nkeys = num_keys(dbproc, t);
  if (!ts || nkeys == 0) return nullptr;
  std::string q = "where ";
  for (int k = 1; k <= nkeys; ++k) {
    int index = -1;
    dbcolumn* c = key_column(dbproc, k, t, &index);
    dbcolvalue* v = row_value(dbproc, index);
    if (!c || !v) return nullptr;
    std::string value;
    if (!db__crs_write_buf(dbproc, c->type, v->len, v->data, &value)) return nullptr;
    if (k > 1) q += " and ";
    q += "(" + std::string(key_name(c)) + " = " + value + ")";
  }
  q += " and ";
  dbcolvalue* tv = row_value(dbproc, tsindex);
  std::string tsval = "NULL";
  if (tv && tv->len > 0 && tv->data) {
    tsval = "0x";
    append_hex(tv->data, tv->len, &tsval);
  }
  q += "tsequal(" + std::string(key_name(ts)) + ", " + tsval + ")";
  auto* out = static_cast<char*>(comn_malloc(q.size() + 1));
  if (!out) {
    dead(dbproc, 20010, 8);
    return nullptr;
  }
  std::memcpy(out, q.c_str(), q.size() + 1);
  return out;
}

}  // namespace

void dbfreequal(char* qual) { comn_free(qual); }

RETCODE dbtsput(DBPROCESS* dbproc, const BYTE* newts, int newtslen, int tabnum,
                const char* tabname) {
  if (!db__procchk(dbproc)) return FAIL;
  if (!newts || newtslen < 1) {
    db__raise(dbproc, 20061, 1);
    return FAIL;
  }
  int t = resolve(dbproc, tabnum, tabname);
  if (t < 1 || t > tab_count(dbproc)) return SUCCEED;
  if (!dbproc->currow) {
    db__raise(dbproc, 20044, 7);
    return FAIL;
  }
  int index = -1;
  if (!ts_column(dbproc, t, &index)) {
    db__raise(dbproc, 20062, 7);
    return FAIL;
  }
  dbcolvalue* v = row_value(dbproc, index);
  if (!v) {
    db__raise(dbproc, 20044, 7);
    return FAIL;
  }
  if (!v->data || v->allocsize < newtslen) {
    auto* p = static_cast<BYTE*>(comn_malloc(static_cast<std::size_t>(newtslen)));
    if (!p) {
      dead(dbproc, 20010, 8);
      return FAIL;
    }
    comn_free(v->data);
    v->data = p;
    v->allocsize = newtslen;
  }
  std::memcpy(v->data, newts, static_cast<std::size_t>(newtslen));
  v->len = newtslen;
  return SUCCEED;
}

namespace {
dbparam* new_ts_param(DBPROCESS* dbproc) {
  for (dbparam* p = dbproc->retvals; p; p = p->next) {
    const char* n = p->name[0] == '@' ? p->name + 1 : p->name;
    if (p->type == MERVARBINARY && std::strcmp(n, "ts") == 0) return p;
  }
  return nullptr;
}
}  // namespace

BYTE* dbtsnewval(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return nullptr;
  dbparam* p = new_ts_param(dbproc);
  return p && p->datalen > 0 ? p->data : nullptr;
}

int dbtsnewlen(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return -1;
  dbparam* p = new_ts_param(dbproc);
  return p && p->data ? p->datalen : -1;
}

BYTE* dbtimestamp(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!dbproc) return nullptr;
  int index = -1;
  if (!ts_column(dbproc, resolve(dbproc, tabnum, tabname), &index)) return nullptr;
  dbcolvalue* v = row_value(dbproc, index);
  return v && v->len > 0 ? v->data : nullptr;
}

int dbtslen(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!dbproc) return 0;
  int index = -1;
  if (!ts_column(dbproc, resolve(dbproc, tabnum, tabname), &index)) return 0;
  dbcolvalue* v = row_value(dbproc, index);
  return v ? v->len : 0;
}

char* dbtsname(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!dbproc) return nullptr;
  dbcolumn* c = ts_column(dbproc, resolve(dbproc, tabnum, tabname), nullptr);
  return c ? const_cast<char*>(key_name(c)) : nullptr;
}

int dbnumkeys(DBPROCESS* dbproc, int tabnum, const char* tabname) {
  if (!dbproc) return 0;
  return num_keys(dbproc, resolve(dbproc, tabnum, tabname));
}

char* dbkeyname(DBPROCESS* dbproc, int n, int tabnum, const char* tabname) {
  if (!dbproc) return nullptr;
  dbcolumn* c = key_column(dbproc, n, resolve(dbproc, tabnum, tabname), nullptr);
  return c ? const_cast<char*>(key_name(c)) : nullptr;
}

int dbkeytype(DBPROCESS* dbproc, int n, int tabnum, const char* tabname) {
  if (!dbproc) return 255;
  dbcolumn* c = key_column(dbproc, n, resolve(dbproc, tabnum, tabname), nullptr);
  if (!c) return 255;
  switch (c->type) {
    case MERINTN:
      if (c->maxlen == 1) return MERINT1;
      if (c->maxlen == 2) return MERINT2;
      if (c->maxlen == 4) return MERINT4;
      return 255;
    case MERMONEYN: return c->maxlen == 4 ? MERMONEY4 : MERMONEY;
    case MERDATETIMN: return c->maxlen == 4 ? MERDATETIME4 : MERDATETIME;
    default: return c->type;
  }
}

BYTE* dbkeydata(DBPROCESS* dbproc, int n, int tabnum, const char* tabname) {
  if (!dbproc) return nullptr;
  int index = -1;
  if (!key_column(dbproc, n, resolve(dbproc, tabnum, tabname), &index)) return nullptr;
  if (!dbproc->currow) {
    db__raise(dbproc, 20044, 7);
    return nullptr;
  }
  dbcolvalue* v = row_value(dbproc, index);
  return v && v->len > 0 ? v->data : nullptr;
}

DBINT dbkeydlen(DBPROCESS* dbproc, int n, int tabnum, const char* tabname) {
  if (!dbproc) return -1;
  int index = -1;
  if (!key_column(dbproc, n, resolve(dbproc, tabnum, tabname), &index)) return -1;
  if (!dbproc->currow) {
    db__raise(dbproc, 20044, 7);
    return -1;
  }
  dbcolvalue* v = row_value(dbproc, index);
  return v && v->len > 0 ? v->len : -1;
}

int dbtabcount(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return -1;
  return tab_count(dbproc);
}

char* dbtabname(DBPROCESS* dbproc, int n) {
  if (!db__procchk(dbproc)) return nullptr;
  dbtabrec* t = tab_at(dbproc, n);
  return t && t->name[0] ? t->name : nullptr;
}

char* dbtabsource(DBPROCESS* dbproc, int column, int* tabnum) {
  if (tabnum) *tabnum = -1;
  if (!db__procchk(dbproc)) return nullptr;
  dbcolumn* c = visible_column(dbproc, column, nullptr);
  if (!c || c->tabnum == 0) return nullptr;
  dbtabrec* t = tab_at(dbproc, c->tabnum);
  if (!t) return nullptr;
  if (tabnum) *tabnum = c->tabnum;
  return t->name;
}

char* dbcolsource(DBPROCESS* dbproc, int column) {
  if (!db__procchk(dbproc)) return nullptr;
  dbcolumn* c = visible_column(dbproc, column, nullptr);
  if (!c || (c->colstatus & kExprBit)) return nullptr;
  return const_cast<char*>(key_name(c));
}

DBBOOL dbtabbrowse(DBPROCESS* dbproc, int tabnum) {
  if (!db__procchk(dbproc)) return FALSE;
  dbtabrec* t = tab_at(dbproc, tabnum);
  return t && t->name[0] && num_keys(dbproc, tabnum) > 0 && ts_column(dbproc, tabnum, nullptr);
}

DBBOOL dbcolbrowse(DBPROCESS* dbproc, int column) {
  if (!db__procchk(dbproc)) return FALSE;
  dbcolumn* c = visible_column(dbproc, column, nullptr);
  return c ? dbtabbrowse(dbproc, c->tabnum) : FALSE;
}

int dbspid(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return -1;
  return dbproc->spid;
}
