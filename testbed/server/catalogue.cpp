#include "catalogue.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "textutil.h"
#include "timestamps.h"

namespace standin {

std::vector<std::vector<std::string>> query_rows(sqlite3* db, const std::string& sql,
                                                 std::initializer_list<std::string> args) {
  std::vector<std::vector<std::string>> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
  int k = 1;
  for (const std::string& a : args) sqlite3_bind_text(st, k++, a.c_str(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> r;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const unsigned char* t = sqlite3_column_text(st, i);
      r.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
    out.push_back(std::move(r));
  }
  sqlite3_finalize(st);
  return out;
}

void exec_all_or_none(sqlite3* db, const std::string& statements) {
  if (sqlite3_exec(db, "savepoint standin_unit", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  if (sqlite3_exec(db, statements.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    sqlite3_exec(db, "rollback to standin_unit", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "release standin_unit", nullptr, nullptr, nullptr);
}

std::string schema_master(const std::string& schema) {
  return schema == "temp" ? "sqlite_temp_master" : quoted(schema) + ".sqlite_master";
}

std::string table_schema(const std::string& name) { return !name.empty() && name[0] == '#' ? "temp" : "main"; }

bool object_name_arg(sqlite3_value* arg, std::string& out) {
  const unsigned char* t = sqlite3_value_text(arg);
  if (!t) return false;
  out = reinterpret_cast<const char*>(t);
  auto dots = out.rfind('.');
  if (dots != std::string::npos) out = out.substr(dots + 1);
  return true;
}

namespace {

const char* const kObjects =
    "select 'main', name, case when type = 'view' then 'VIEW' when name like 'sqlite^_%' escape '^' or "
    "name = 'standin_timestamp' then 'SYSTEM TABLE' else 'TABLE' end from sqlite_master "
    "where type in ('table', 'view') and name like ?1 "
    "union all select 'temp', name, case when type = 'view' then 'VIEW' else 'TABLE' end from sqlite_temp_master "
    "where type in ('table', 'view') and name like ?1 and name <> 'standin_timestamp' "
    "order by 3, 2";

}  // namespace

std::vector<TableInfo> list_tables(sqlite3* db, const std::string& pattern) {
  std::vector<TableInfo> out;
  for (auto& r : query_rows(db, kObjects, {pattern})) out.push_back({r[0], r[1], r[2]});
  return out;
}

bool find_table(sqlite3* db, const std::string& schema, const std::string& name, TableInfo& out) {
  std::string sql = "select name, type from " + schema_master(schema) +
                    " where type in ('table', 'view') and name = ?1 collate nocase";
  auto rows = query_rows(db, sql, {name});
  if (rows.empty()) return false;
  out = {schema, rows[0][0], rows[0][1] == "view" ? "VIEW" : "TABLE"};
  return true;
}

std::vector<ColumnDesc> table_columns(sqlite3* db, const std::string& schema, const std::string& table) {
  std::vector<ColumnDesc> out;
  for (auto& r : query_rows(db, "select name, type, \"notnull\" from pragma_table_info(?1, ?2) order by cid", {table, schema}))
    out.push_back({r[0], lower(r[1]), r[2] == "1"});
  return out;
}

std::vector<std::string> table_key(sqlite3* db, const std::string& schema, const std::string& table) {
  std::vector<std::string> key;
  for (auto& r : query_rows(db, "select name from pragma_table_info(?1, ?2) where pk > 0 order by pk", {table, schema}))
    key.push_back(r[0]);
  if (!key.empty()) return key;
  // The unique index with the fewest columns (then by name); indexes on
  // expressions and partial indexes are no keys.
  auto indexes = query_rows(db, "select name from pragma_index_list(?1, ?2) where \"unique\" = 1 and partial = 0 order by name",
                       {table, schema});
  for (auto& ix : indexes) {
    std::vector<std::string> cols;
    bool plain = true;
    for (auto& c : query_rows(db, "select cid, name from pragma_index_info(?1, ?2) order by seqno", {ix[0], schema})) {
      if (c[0] == "-1" || c[0] == "-2" || c[1].empty()) plain = false;
      cols.push_back(c[1]);
    }
    if (plain && !cols.empty() && (key.empty() || cols.size() < key.size())) key = cols;
  }
  return key;
}

std::string timestamp_column(sqlite3* db, const std::string& schema, const std::string& table) {
  for (const ColumnDesc& c : table_columns(db, schema, table))
    if (is_timestamp_decl(c.decl)) return c.name;
  return {};
}

}  // namespace standin
