#include "sqlengine.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

#include "datetime.h"
#include "sqlrewrite.h"
#include "textutil.h"
#include "catalogue.h"
#include "systables.h"
#include "timestamps.h"
#include "views.h"

namespace standin {
namespace {

// One value as SQLite returned it.
struct Cell {
  int type = SQLITE_NULL;
  sqlite3_int64 i = 0;
  double d = 0;
  std::string s;
};

// In the order of kKinds below.
enum class Kind { Int, Float, DateTime, Char, VarChar, Text, Binary, Image, Timestamp };

struct ColInfo {
  std::string name;
  std::string decl;
  ColumnOrigin origin;  // empty for an expression
  bool not_null = false;
  Kind kind = Kind::VarChar;
  std::uint32_t len = 1;
};

bool valid_identifier(const std::string& n) {
  if (n.empty()) return false;
  unsigned char c0 = static_cast<unsigned char>(n[0]);
  if (!std::isalpha(c0) && c0 != '_' && c0 != '#' && c0 != '@') return false;
  for (char c : n)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '#' && c != '@' && c != '$') return false;
  return true;
}

// Declared length in "char(20)"; fallback when none is given.
std::uint32_t decl_length(const std::string& decl, std::uint32_t fallback) {
  auto p = decl.find('(');
  if (p == std::string::npos) return fallback;
  long v = std::strtol(decl.c_str() + p + 1, nullptr, 10);
  return v > 0 ? static_cast<std::uint32_t>(v) : fallback;
}

// Decides the kind of a column from its declared type; false when the
// type says nothing (expressions) and the values must decide.
bool kind_from_decl(ColInfo& c) {
  std::string d = lower(c.decl);
  if (d.empty()) return false;
  if (is_timestamp_decl(d)) {
    c.kind = Kind::Timestamp;
    c.len = 8;
  } else if (d.find("binary") != std::string::npos) {
    c.len = decl_length(d, d.rfind("binary", 0) == 0 ? 1 : 255);
    c.kind = c.len > 255 ? Kind::Image : Kind::Binary;
  } else if (d.find("image") != std::string::npos || d.find("blob") != std::string::npos) {
    c.kind = Kind::Image;
  } else if (d.find("date") != std::string::npos || d.find("time") != std::string::npos) {
    c.kind = Kind::DateTime;
  } else if (d.find("text") != std::string::npos || d.find("clob") != std::string::npos) {
    c.kind = Kind::Text;
  } else if (d.find("char") != std::string::npos) {
    bool fixed = d.rfind("char", 0) == 0 || d.rfind("nchar", 0) == 0;
    c.len = decl_length(d, fixed ? 1 : 255);
    if (c.len > 255)
      c.kind = Kind::Text;
    else
      c.kind = fixed && c.not_null ? Kind::Char : Kind::VarChar;
  } else if (d.find("int") != std::string::npos) {
    c.kind = Kind::Int;
  } else if (d.find("real") != std::string::npos || d.find("floa") != std::string::npos ||
             d.find("doub") != std::string::npos || d.find("num") != std::string::npos ||
             d.find("dec") != std::string::npos) {
    c.kind = Kind::Float;
  } else {
    return false;
  }
  return true;
}

std::string cell_text(const Cell& v) {
  switch (v.type) {
    case SQLITE_INTEGER:
      return std::to_string(v.i);
    case SQLITE_FLOAT: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", v.d);
      return buf;
    }
    default:
      return v.s;
  }
}

// Decides the kind of an undeclared column from its values.
void kind_from_values(ColInfo& c, const std::vector<std::vector<Cell>>& rows, std::size_t col) {
  bool any = false, all_int = true, all_num = true, all_date = true, all_blob = true;
  std::size_t maxlen = 1;
  for (const auto& r : rows) {
    const Cell& v = r[col];
    if (v.type == SQLITE_NULL) continue;
    any = true;
    if (v.type != SQLITE_BLOB) all_blob = false;
    if (v.type != SQLITE_INTEGER) all_int = false;
    if (v.type != SQLITE_INTEGER && v.type != SQLITE_FLOAT) all_num = false;
    if (v.type != SQLITE_TEXT || !looks_like_stored_datetime(v.s)) all_date = false;
    maxlen = std::max(maxlen, cell_text(v).size());
  }
  if (!any || all_int) {
    c.kind = Kind::Int;
  } else if (all_blob) {
    c.kind = maxlen <= 255 ? Kind::Binary : Kind::Image;
    c.len = static_cast<std::uint32_t>(maxlen);
  } else if (all_num) {
    c.kind = Kind::Float;
  } else if (all_date) {
    c.kind = Kind::DateTime;
  } else if (maxlen <= 255) {
    c.kind = Kind::VarChar;
    c.len = static_cast<std::uint32_t>(maxlen);
  } else {
    c.kind = Kind::Text;
  }
}

// How each kind goes on the wire and into a table declaration.  A length
// of 0 is the column's own; kLongLength marks text and image, whose
// format names the table.
struct KindInfo {
  std::uint8_t type, not_null_type;
  std::uint32_t length;
  std::uint32_t user_type;
  const char* decl;  // followed by "(length)" when the length is the column's
};
constexpr std::uint32_t kLongLength = 2147483647u;
const KindInfo kKinds[] = {
    {kTypeIntN, kTypeInt, 4, 7, "int"},
    {kTypeFloatN, kTypeFloat, 8, 8, "float"},
    {kTypeDateTimeN, kTypeDateTime, 8, 12, "datetime"},
    {kTypeChar, kTypeChar, 0, 1, "char"},
    {kTypeVarChar, kTypeVarChar, 0, 2, "varchar"},
    {kTypeText, kTypeText, kLongLength, 19, "text"},
    {kTypeVarBinary, kTypeVarBinary, 0, 4, "varbinary"},
    {kTypeImage, kTypeImage, kLongLength, 20, "image"},
    {kTypeVarBinary, kTypeVarBinary, 8, kUserTypeTimestamp, "varbinary(8)"},
};
static_assert(std::size(kKinds) == static_cast<std::size_t>(Kind::Timestamp) + 1);
const KindInfo& info_of(Kind k) { return kKinds[static_cast<std::size_t>(k)]; }

ColumnFormat format_of(const ColInfo& c) {
  const KindInfo& k = info_of(c.kind);
  ColumnFormat f;
  f.name = c.name;
  bool nullable = !c.not_null;
  f.status = nullable ? kRowFmtNullable : 0;
  f.type = nullable ? k.type : k.not_null_type;
  f.max_length = k.length ? k.length : c.len;
  f.user_type = k.user_type;
  if (k.length == kLongLength) f.table = c.origin.table;
  return f;
}

std::string decl_of(const ColInfo& c) {
  const KindInfo& k = info_of(c.kind);
  std::string d = k.decl;
  if (!k.length) d += "(" + std::to_string(c.len) + ")";
  if (c.kind == Kind::Char) d += " not null";
  return d;
}

// Converts one value to its wire bytes for the column's kind.
bool wire_value(const ColInfo& c, const Cell& v, const ResultLimits& lim, WireValue& out, SqlError& err) {
  if (v.type == SQLITE_NULL) {
    out.reset();
    return true;
  }
  switch (c.kind) {
    case Kind::Int: {
      long long n = 0;
      if (v.type == SQLITE_INTEGER) {
        n = v.i;
      } else if (v.type == SQLITE_FLOAT) {
        if (!(std::fabs(v.d) < 2147483648.0)) {
          err = {8115, 16, 1, "Arithmetic overflow error converting expression to data type int."};
          return false;
        }
        n = static_cast<long long>(v.d);
      } else {
        char* end = nullptr;
        n = std::strtoll(v.s.c_str(), &end, 10);
        if (v.s.empty() || *end != '\0') {
          err = {245, 16, 1, "Syntax error during implicit conversion of VARCHAR value '" + v.s + "' to a INT field."};
          return false;
        }
      }
      if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) {
        err = {8115, 16, 1, "Arithmetic overflow error converting expression to data type int."};
        return false;
      }
      out = be_bytes(static_cast<std::uint32_t>(static_cast<std::int32_t>(n)), 4);
      return true;
    }
    case Kind::Float: {
      double d = v.type == SQLITE_INTEGER ? static_cast<double>(v.i)
                 : v.type == SQLITE_FLOAT ? v.d
                                          : std::strtod(v.s.c_str(), nullptr);
      std::uint64_t bits = 0;
      std::memcpy(&bits, &d, 8);
      out = be_bytes(bits, 8);
      return true;
    }
    case Kind::DateTime: {
      auto dt = v.type == SQLITE_TEXT ? parse_datetime(v.s) : std::nullopt;
      if (!dt) {
        err = {241, 16, 1, "Syntax error converting datetime from character string."};
        return false;
      }
      out = to_wire(*dt);
      return true;
    }
    case Kind::Char: {
      std::string s = cell_text(v).substr(0, c.len);
      s.resize(c.len, ' ');
      out = s;
      return true;
    }
    case Kind::VarChar:
      out = cell_text(v).substr(0, c.len);
      return true;
    case Kind::Text:
    case Kind::Image: {
      std::string s = cell_text(v);
      if (lim.textsize > 0 && s.size() > static_cast<std::size_t>(lim.textsize)) s.resize(static_cast<std::size_t>(lim.textsize));
      out = s;
      return true;
    }
    case Kind::Binary:
      out = cell_text(v).substr(0, c.len);
      return true;
    case Kind::Timestamp:
      out = v.type == SQLITE_INTEGER ? timestamp_bytes(v.i) : cell_text(v).substr(0, 255);
      return true;
  }
  return true;
}

// object_id(name): a positive number for an existing table or view, else NULL.
void object_id_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string name;
  if (!object_name_arg(argv[0], name)) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const char* sql = name.size() && name[0] == '#'
                        ? "select rowid from sqlite_temp_master where name = ?1 and type in ('table','view')"
                        : "select rowid from sqlite_master where name = ?1 and type in ('table','view')";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW)
    sqlite3_result_int64(ctx, 1000000 + sqlite3_column_int64(st, 0) + (name[0] == '#' ? 1000000 : 0));
  else
    sqlite3_result_null(ctx);
  sqlite3_finalize(st);
}

void getdate_fn(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string s = to_stored(now_local());
  sqlite3_result_text(ctx, s.c_str(), -1, SQLITE_TRANSIENT);
}

// standin_view_change(): called by the triggers of updatable views.
void view_change_fn(sqlite3_context* ctx, int, sqlite3_value**) {
  static_cast<SqlSession*>(sqlite3_user_data(ctx))->count_view_change();
  sqlite3_result_null(ctx);
}

// db_name(): the session's current database.
void db_name_fn(sqlite3_context* ctx, int, sqlite3_value**) {
  const auto* s = static_cast<const SqlSession*>(sqlite3_user_data(ctx));
  sqlite3_result_text(ctx, s->name().c_str(), -1, SQLITE_TRANSIENT);
}

// Prepares and steps one statement, collecting columns and cells.
void bind_all(sqlite3_stmt* st, const std::vector<std::pair<std::string, BindValue>>& binds) {
  for (const auto& [name, v] : binds) {
    int k = sqlite3_bind_parameter_index(st, name.c_str());
    if (k <= 0) continue;
    switch (v.kind) {
      case BindValue::null: sqlite3_bind_null(st, k); break;
      case BindValue::integer: sqlite3_bind_int64(st, k, v.i); break;
      case BindValue::real: sqlite3_bind_double(st, k, v.d); break;
      case BindValue::text: sqlite3_bind_text(st, k, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
      case BindValue::blob: sqlite3_bind_blob(st, k, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    }
  }
}

// The cells of the row a statement has just stepped to.
std::vector<Cell> read_row(sqlite3_stmt* st, int n) {
  std::vector<Cell> r(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    Cell& v = r[static_cast<std::size_t>(i)];
    v.type = sqlite3_column_type(st, i);
    if (v.type == SQLITE_INTEGER) v.i = sqlite3_column_int64(st, i);
    else if (v.type == SQLITE_FLOAT) v.d = sqlite3_column_double(st, i);
    else if (v.type == SQLITE_BLOB) {
      const void* p = sqlite3_column_blob(st, i);
      v.s.assign(static_cast<const char*>(p), p ? static_cast<std::size_t>(sqlite3_column_bytes(st, i)) : 0);
    } else if (v.type != SQLITE_NULL) {
      const unsigned char* t = sqlite3_column_text(st, i);
      v.s.assign(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
      v.type = SQLITE_TEXT;
    }
  }
  return r;
}

// The statement with its condition "where 0 = 1" made true ("where 1 =
// 1"); empty when it has no such condition.
std::string with_true_condition(const std::string& sql) {
  std::vector<Tok> toks;
  std::string error;
  if (!tokenize(sql, toks, error)) return {};
  auto is = [&](std::size_t k, TokKind kind, const char* text) {
    return k < toks.size() && toks[k].kind == kind && toks[k].text == text;
  };
  for (std::size_t k = 0; k < toks.size(); ++k) {
    if (!is_word(toks[k], "where")) continue;
    std::size_t zero = next_solid(toks, k + 1), eq = next_solid(toks, zero + 1), one = next_solid(toks, eq + 1);
    if (is(zero, TokKind::number, "0") && is(eq, TokKind::punct, "=") && is(one, TokKind::number, "1"))
      return sql.substr(0, toks[zero].offset) + "1" + sql.substr(toks[zero].offset + 1);
  }
  return {};
}

// A select that asks only for the formats of its result ("where 0 = 1",
// as cursors and browse mode send it) has no values to type its
// expressions by, and later selects of the same list would get other
// types: the sample is the first row the select finds without that
// condition.  Empty when the statement has no such condition or no row.
std::vector<std::vector<Cell>> format_sample(sqlite3* db, const std::string& sql,
                                             const std::vector<std::pair<std::string, BindValue>>* binds) {
  std::vector<std::vector<Cell>> out;
  std::string any = with_true_condition(sql);
  if (any.empty()) return out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, any.c_str(), static_cast<int>(any.size()), &st, nullptr) != SQLITE_OK || !st) return out;
  if (binds) bind_all(st, *binds);
  if (sqlite3_step(st) == SQLITE_ROW) out.push_back(read_row(st, sqlite3_column_count(st)));
  sqlite3_finalize(st);
  return out;
}

bool collect(sqlite3* db, const std::string& sql, long rowlimit, std::vector<ColInfo>& cols,
             std::vector<std::vector<Cell>>& rows, bool& has_result, long& changes, SqlError& err,
             const std::vector<std::pair<std::string, BindValue>>* binds = nullptr) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, &tail);
  if (rc != SQLITE_OK) {
    err = map_sqlite_error(rc, sqlite3_errmsg(db));
    return false;
  }
  if (!st) {  // nothing but blanks
    has_result = false;
    changes = 0;
    return true;
  }
  if (binds) bind_all(st, *binds);
  int n = sqlite3_column_count(st);
  has_result = n > 0;
  cols.clear();
  for (int i = 0; i < n; ++i) {
    ColInfo c;
    const char* nm = sqlite3_column_name(st, i);
    const char* decl = sqlite3_column_decltype(st, i);
    c.name = nm ? nm : "";
    c.origin = column_origin(st, i);
    const ColumnOrigin& o = c.origin;
    if (o.column.empty() && !valid_identifier(c.name)) c.name.clear();  // unnamed expression
    c.decl = decl ? decl : "";
    if (!o.column.empty()) {
      int notnull = 0;
      if (sqlite3_table_column_metadata(db, o.schema.c_str(), o.table.c_str(), o.column.c_str(), nullptr, nullptr,
                                        &notnull, nullptr, nullptr) == SQLITE_OK)
        c.not_null = notnull != 0;
    }
    cols.push_back(c);
  }
  rows.clear();
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (rowlimit > 0 && static_cast<long>(rows.size()) >= rowlimit) break;
    rows.push_back(read_row(st, n));
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    err = map_sqlite_error(rc, sqlite3_errmsg(db));
    sqlite3_finalize(st);
    return false;
  }
  sqlite3_finalize(st);
  changes = has_result ? static_cast<long>(rows.size()) : static_cast<long>(sqlite3_changes(db));
  std::vector<std::vector<Cell>> sample;
  if (has_result && rows.empty()) sample = format_sample(db, sql, binds);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    ColInfo& c = cols[i];
    if (!kind_from_decl(c)) kind_from_values(c, rows.empty() ? sample : rows, i);
    std::size_t longest = 0;
    for (const auto& r : rows) {
      if (r[i].type == SQLITE_NULL) c.not_null = false;
      else if (c.kind == Kind::Char || c.kind == Kind::VarChar) longest = std::max(longest, cell_text(r[i]).size());
    }
    if (c.kind == Kind::Char && !c.not_null) c.kind = Kind::VarChar;
    // SQLite keeps values longer than their declared length; widen the
    // column rather than cut them (up to the 255 bytes a length byte holds).
    if (longest > c.len) c.len = static_cast<std::uint32_t>(std::min<std::size_t>(longest, 255));
  }
  return true;
}

std::string strip_name(std::string s) {
  for (const char* p : {"main.", "temp."})
    if (s.rfind(p, 0) == 0) s = s.substr(std::strlen(p));
  std::string out;
  for (char c : s)
    if (c != '[' && c != ']' && c != '"') out += c;
  return out;
}

}  // namespace

ColumnOrigin column_origin(sqlite3_stmt* st, int i) {
  const char* column = sqlite3_column_origin_name(st, i);
  const char* table = sqlite3_column_table_name(st, i);
  const char* schema = sqlite3_column_database_name(st, i);
  if (!column || !table || !schema) return {};
  return {schema, table, column};
}

SqlError map_sqlite_error(int code, const std::string& m) {
  auto after = [&](const char* prefix) { return strip_name(m.substr(m.find(prefix) + std::strlen(prefix))); };
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED)
    return {1205, 13, 1,
            "Your server command was deadlocked with another process and has been chosen as deadlock victim. "
            "Re-run your command."};
  if (m.find("no such table: ") != std::string::npos)
    return {208, 16, 1, "Invalid object name '" + after("no such table: ") + "'."};
  if (m.find("no such column: ") != std::string::npos)
    return {207, 16, 1, "Invalid column name '" + after("no such column: ") + "'."};
  if (m.find("ambiguous column name: ") != std::string::npos)
    return {209, 16, 1, "Ambiguous column name " + after("ambiguous column name: ") + "."};
  if (m.find(" already exists") != std::string::npos) {
    std::string w = m.substr(0, m.find(" already exists"));
    auto sp = w.rfind(' ');
    return {2714, 16, 1,
            "There is already an object named '" + strip_name(sp == std::string::npos ? w : w.substr(sp + 1)) +
                "' in the database."};
  }
  if (m.find("UNIQUE constraint failed") != std::string::npos)
    return {2601, 14, 1, "Attempt to insert duplicate key row in object with unique index: " + m + "."};
  if (m.find("no such function: ") != std::string::npos)
    return {195, 15, 1, "'" + after("no such function: ") + "' is not a recognized built-in function name."};
  auto near = m.find("near \"");
  if (near != std::string::npos) {
    std::string w = m.substr(near + 6);
    w = w.substr(0, w.find('"'));
    return {102, 15, 1, "Incorrect syntax near '" + w + "'."};
  }
  if (m.find("syntax error") != std::string::npos || m.find("incomplete input") != std::string::npos)
    return {102, 15, 1, "Incorrect syntax near the end of the batch."};
  return {7200, 16, 1, "SQL statement failed: " + m};
}

SqlSession::~SqlSession() {
  if (db_) sqlite3_close_v2(db_);
}

bool SqlSession::open(const std::string& path, std::string& error) {
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  path_ = path;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  int rc = sqlite3_open_v2(path.empty() ? ":memory:" : path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "cannot open database";
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);
  sqlite3_create_function(db_, "object_id", 1, SQLITE_UTF8, nullptr, object_id_fn, nullptr, nullptr);
  sqlite3_create_function(db_, "getdate", 0, SQLITE_UTF8, nullptr, getdate_fn, nullptr, nullptr);
  sqlite3_create_function(db_, "db_name", -1, SQLITE_UTF8, this, db_name_fn, nullptr, nullptr);
  sqlite3_create_function(db_, "standin_view_change", 0, SQLITE_UTF8, this, view_change_fn, nullptr, nullptr);
  register_timestamp_functions(db_);
  add_system_functions(db_);
  system_views_ = false;
  attached_.clear();
  prepare_schema();
  return true;
}

bool SqlSession::run(const std::string& sql, const ResultLimits& limits, ResultSet& rs, bool& has_result,
                     long& count, SqlError& err, const std::vector<std::pair<std::string, BindValue>>* binds) {
  if (!db_) {
    err = {911, 16, 1, "No current database."};
    return false;
  }
  std::vector<ColInfo> cols;
  std::vector<std::vector<Cell>> rows;
  if (!system_views_ && lower(sql).find("sysindexes") != std::string::npos) {
    add_system_views(db_);
    system_views_ = true;
  }
  view_changes_ = 0;
  if (!collect(db_, sql, limits.rowcount, cols, rows, has_result, count, err, binds)) return false;
  if (!has_result) count += view_changes_;
  rs = ResultSet{};
  if (!has_result) return true;
  for (const auto& c : cols) {
    rs.cols.push_back(format_of(c));
    rs.origins.push_back(c.origin);
  }
  rs.rows.reserve(rows.size());
  for (const auto& r : rows) {
    std::vector<WireValue> w(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (!wire_value(cols[i], r[i], limits, w[i], err)) return false;
    rs.rows.push_back(std::move(w));
  }
  return true;
}

bool SqlSession::select_into(const std::string& sql, const std::string& target, bool temp, long& count,
                             SqlError& err) {
  if (!db_) {
    err = {911, 16, 1, "No current database."};
    return false;
  }
  std::vector<ColInfo> cols;
  std::vector<std::vector<Cell>> rows;
  bool has_result = false;
  long n = 0;
  if (!collect(db_, sql, 0, cols, rows, has_result, n, err)) return false;
  if (!has_result) {
    err = {102, 15, 1, "Incorrect syntax near 'into'."};
    return false;
  }
  std::string create = std::string("create ") + (temp ? "temp " : "") + "table " + target + " (";
  for (std::size_t i = 0; i < cols.size(); ++i) {
    std::string name = cols[i].name.empty() ? "col" + std::to_string(i + 1) : cols[i].name;
    create += (i ? ", " : "") + std::string("[") + name + "] " + decl_of(cols[i]);
  }
  create += ")";
  if (!exec_plain(create, err)) return false;
  std::string insert = "insert into " + target + " values (";
  for (std::size_t i = 0; i < cols.size(); ++i) insert += i ? ", ?" : "?";
  insert += ")";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, insert.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    err = map_sqlite_error(sqlite3_errcode(db_), sqlite3_errmsg(db_));
    return false;
  }
  for (const auto& r : rows) {
    sqlite3_reset(st);
    for (std::size_t i = 0; i < cols.size(); ++i) {
      const Cell& v = r[i];
      int k = static_cast<int>(i + 1);
      if (v.type == SQLITE_NULL) {
        sqlite3_bind_null(st, k);
      } else if (cols[i].kind == Kind::DateTime && v.type == SQLITE_TEXT) {
        auto dt = parse_datetime(v.s);
        std::string s = dt ? to_stored(*dt) : v.s;
        sqlite3_bind_text(st, k, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      } else if (v.type == SQLITE_INTEGER) {
        sqlite3_bind_int64(st, k, v.i);
      } else if (v.type == SQLITE_FLOAT) {
        sqlite3_bind_double(st, k, v.d);
      } else if (v.type == SQLITE_BLOB) {
        sqlite3_bind_blob(st, k, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_text(st, k, v.s.c_str(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      }
    }
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) {
      err = map_sqlite_error(rc, sqlite3_errmsg(db_));
      sqlite3_finalize(st);
      return false;
    }
  }
  sqlite3_finalize(st);
  count = static_cast<long>(rows.size());
  return true;
}

bool SqlSession::exec_plain(const std::string& sql, SqlError& err) {
  if (!db_) {
    err = {911, 16, 1, "No current database."};
    return false;
  }
  char* msg = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
  if (rc != SQLITE_OK) {
    err = map_sqlite_error(rc, msg ? msg : sqlite3_errstr(rc));
    sqlite3_free(msg);
    return false;
  }
  return true;
}

}  // namespace standin

namespace standin {

bool SqlSession::describe(const std::string& sql, std::vector<ColumnOrigin>& origins, SqlError& err) {
  origins.clear();
  if (!db_) {
    err = {911, 16, 1, "No current database."};
    return false;
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc != SQLITE_OK) {
    err = map_sqlite_error(rc, sqlite3_errmsg(db_));
    return false;
  }
  for (int i = 0; st && i < sqlite3_column_count(st); ++i) origins.push_back(column_origin(st, i));
  sqlite3_finalize(st);
  return true;
}

bool SqlSession::attach(const std::string& schema, const std::string& path, SqlError& err) {
  if (std::find(attached_.begin(), attached_.end(), schema) != attached_.end()) return true;
  if (!db_) {
    err = {911, 16, 1, "No current database."};
    return false;
  }
  sqlite3_stmt* st = nullptr;
  std::string sql = "attach database ?1 as [" + schema + "]";
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, path.empty() ? ":memory:" : path.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
  }
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    err = {911, 16, 2, "Cannot open database '" + schema + "': " + sqlite3_errmsg(db_)};
    return false;
  }
  attached_.push_back(schema);
  prepare_schema();
  return true;
}

void SqlSession::prepare_schema() {
  if (!db_) return;
  std::vector<std::string> schemas = {"main", "temp"};
  schemas.insert(schemas.end(), attached_.begin(), attached_.end());
  for (const std::string& schema : schemas) {
    // Most databases have neither timestamps nor views: one look says so.
    if (query_rows(db_, "select 1 from " + schema_master(schema) +
                            " where type = 'view' or (type = 'table' and sql like '%timestamp%') limit 1")
            .empty())
      continue;
    add_timestamp_triggers(db_, schema);
    add_view_triggers(db_, schema);
  }
}

}  // namespace standin
