// What the server's schema tells about tables, for the catalogue
// procedures and browse mode: object kinds, columns, the unique key of a
// table (its primary key, else its unique index with the fewest columns)
// and its timestamp column.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_value;

namespace standin {

// The rows of a query whose parameters ?1, ?2, ... are the given texts,
// every value as text ("" for NULL); no rows when the query fails.
std::vector<std::vector<std::string>> query_rows(sqlite3* db, const std::string& sql,
                                                 std::initializer_list<std::string> args = {});

// Runs statements as one unit: when one fails, none of them takes effect.
// Failures are not reported (callers leave the schema as it was).
void exec_all_or_none(sqlite3* db, const std::string& statements);

// The table that lists the objects of a schema ("main", "temp" or an
// attached database), as a query names it.
std::string schema_master(const std::string& schema);

// The schema of a table named without one: "temp" for a "#" name, else
// "main".
std::string table_schema(const std::string& name);

// The object name a SQL function's text argument holds, without the owner
// or database written before its last '.'; false for a NULL argument.
bool object_name_arg(sqlite3_value* arg, std::string& out);

struct TableInfo {
  std::string schema;  // "main" or "temp" ("#" tables)
  std::string name;
  std::string type;    // "TABLE", "VIEW" or "SYSTEM TABLE"
};

// Tables and views whose name is like `pattern` (SQL like, case as SQLite
// compares it), in type and name order.
std::vector<TableInfo> list_tables(sqlite3* db, const std::string& pattern);

// The table or view of that name ("#x" is looked up among the session's
// temporary tables); false when there is none.
bool find_table(sqlite3* db, const std::string& schema, const std::string& name, TableInfo& out);

struct ColumnDesc {
  std::string name;
  std::string decl;  // declared type, lower case
  bool not_null = false;
};
std::vector<ColumnDesc> table_columns(sqlite3* db, const std::string& schema, const std::string& table);

// The key columns in key order; empty when the table has no unique key.
std::vector<std::string> table_key(sqlite3* db, const std::string& schema, const std::string& table);

// The table's timestamp column, or empty.
std::string timestamp_column(sqlite3* db, const std::string& schema, const std::string& table);

}  // namespace standin
