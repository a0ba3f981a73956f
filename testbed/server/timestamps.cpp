#include "timestamps.h"

#include <sqlite3.h>

#include <vector>

#include "catalogue.h"
#include "textutil.h"
#include "values.h"

namespace standin {
namespace {

// The value's 8 bytes, or empty for a value that is no timestamp.
std::string value_bytes(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return timestamp_bytes(sqlite3_value_int64(v));
    case SQLITE_BLOB:
    case SQLITE_TEXT: {
      const void* p = sqlite3_value_blob(v);
      return std::string(static_cast<const char*>(p), p ? static_cast<std::size_t>(sqlite3_value_bytes(v)) : 0);
    }
    default:
      return {};
  }
}

void tsequal_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string a = value_bytes(argv[0]), b = value_bytes(argv[1]);
  sqlite3_result_int(ctx, !a.empty() && a == b ? 1 : 0);
}

}  // namespace

bool is_timestamp_decl(const std::string& decl) { return lower(decl).rfind("timestamp", 0) == 0; }

std::string timestamp_bytes(std::int64_t value) { return be_bytes(static_cast<std::uint64_t>(value), 8); }

void register_timestamp_functions(sqlite3* db) {
  sqlite3_create_function(db, "tsequal", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, tsequal_fn, nullptr, nullptr);
}

void add_timestamp_triggers(sqlite3* db, const std::string& schema) {
  const std::string s = quoted(schema) + ".";
  const std::string master = schema_master(schema);
  auto tables = query_rows(db, "select name from " + master +
                                " where type = 'table' and name not like 'sqlite_%' and name <> 'standin_timestamp'");
  auto triggers = query_rows(db, "select name from " + master + " where type = 'trigger'");
  for (const auto& t : tables) {
    const std::string& table = t[0];
    std::string insert_trigger = "standin_ts_i_" + table, update_trigger = "standin_ts_u_" + table;
    bool have = false;
    for (const auto& g : triggers) have |= g[0] == insert_trigger;
    if (have) continue;
    std::string ts, others;
    for (const auto& c : query_rows(db, "select name, type from pragma_table_info(?1, ?2)", {table, schema})) {
      if (ts.empty() && is_timestamp_decl(c[1]))
        ts = c[0];
      else
        others += (others.empty() ? "" : ", ") + quoted(c[0]);
    }
    if (ts.empty() || others.empty()) continue;
    // The insert trigger's own update sets only the timestamp, so it does
    // not fire the update trigger, which watches the other columns.
    const std::string renew = " begin update standin_timestamp set value = value + 1; update " + quoted(table) +
                              " set " + quoted(ts) + " = (select value from standin_timestamp) where rowid = new.rowid; end";
    std::string sql = "create table if not exists " + s + "standin_timestamp (value integer not null);"
                      "insert into " + s + "standin_timestamp select 0 where not exists (select 1 from " + s +
                      "standin_timestamp);"
                      "create trigger if not exists " + s + quoted(insert_trigger) + " after insert on " +
                      quoted(table) + renew + ";"
                      "create trigger if not exists " + s + quoted(update_trigger) + " after update of " + others +
                      " on " + quoted(table) + renew + ";"
                      // Rows that are there already get timestamps of their own.
                      "update " + s + quoted(table) + " set " + quoted(ts) + " = (select value from " + s +
                      "standin_timestamp) + rowid where " + quoted(ts) + " is null;"
                      "update " + s + "standin_timestamp set value = (select max(" + quoted(ts) + ") from " + s +
                      quoted(table) + ") where (select max(" + quoted(ts) + ") from " + s + quoted(table) + ") > value;";
    exec_all_or_none(db, sql);
  }
}

bool last_timestamp(sqlite3* db, const std::string& schema, std::int64_t& value) {
  sqlite3_stmt* st = nullptr;
  std::string sql = "select value from " + quoted(schema) + ".standin_timestamp";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
  bool ok = sqlite3_step(st) == SQLITE_ROW;
  if (ok) value = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return ok;
}

}  // namespace standin
