// One session's SQLite connection and the conversion of its results into
// the server's column formats and row values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tokens.h"
#include "values.h"

struct sqlite3;
struct sqlite3_stmt;

namespace standin {

struct SqlError {
  std::uint32_t number = 0;
  std::uint8_t severity = 16;
  std::uint8_t state = 1;
  std::string text;
};

// Where a result column comes from: the schema ("main", "temp" or an
// attached database), table and column; all empty for an expression.
struct ColumnOrigin {
  std::string schema, table, column;
};

// The origin of a prepared statement's result column i.
ColumnOrigin column_origin(sqlite3_stmt* st, int i);

struct ResultSet {
  std::vector<ColumnFormat> cols;
  std::vector<std::vector<WireValue>> rows;
  std::vector<ColumnOrigin> origins;  // one per column
};

// Limits a session places on results.
struct ResultLimits {
  long textsize = 0;  // most bytes of a text value; 0 = no limit
  long rowcount = 0;  // most rows of a select; 0 = no limit
};

class SqlSession {
 public:
  SqlSession() = default;
  ~SqlSession();
  SqlSession(const SqlSession&) = delete;
  SqlSession& operator=(const SqlSession&) = delete;

  // Opens (or re-opens) the connection on a database file; an empty path
  // opens an empty in-memory database.  Temporary tables of the previous
  // connection are dropped with it.
  bool open(const std::string& path, std::string& error);
  const std::string& path() const { return path_; }

  // Runs one statement.  When it yields columns, the result set is filled
  // and has_result set; count is the number of rows returned or changed.
  // Parameters named in the text ("@name") are bound from `binds`.
  bool run(const std::string& sql, const ResultLimits& limits, ResultSet& rs, bool& has_result,
           long& count, SqlError& err, const std::vector<std::pair<std::string, BindValue>>* binds = nullptr);

  // Runs a select and stores its rows in a new table named target (a
  // temporary table of this session when temp is set), with column types
  // taken from the select's columns.
  bool select_into(const std::string& sql, const std::string& target, bool temp, long& count,
                   SqlError& err);

  // Plain statements (transaction control).
  bool exec_plain(const std::string& sql, SqlError& err);

  // The origins of a statement's result columns, without running it.
  bool describe(const std::string& sql, std::vector<ColumnOrigin>& origins, SqlError& err);

  // Attaches another database's file under a schema name (once).
  bool attach(const std::string& schema, const std::string& path, SqlError& err);

  // The name db_name() answers.
  void set_name(const std::string& name) { name_ = name; }
  const std::string& name() const { return name_; }

  // Gives every table with a timestamp column the triggers that renew it
  // (timestamps.h) and every simple view the triggers that make it
  // updatable (views.h); run after opening and after schema changes.
  void prepare_schema();
  // Counts a row changed through an updatable view.
  void count_view_change() { ++view_changes_; }

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
  std::string name_;
  std::vector<std::string> attached_;
  long view_changes_ = 0;
  bool system_views_ = false;
};

// Maps a SQLite error text to the server's message number and text.
SqlError map_sqlite_error(int code, const std::string& message);

}  // namespace standin
