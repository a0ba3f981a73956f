// One session's SQLite connection and the conversion of its results into
// the server's column formats and row values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tokens.h"

struct sqlite3;

namespace standin {

struct SqlError {
  std::uint32_t number = 0;
  std::uint8_t severity = 16;
  std::uint8_t state = 1;
  std::string text;
};

struct ResultSet {
  std::vector<ColumnFormat> cols;
  std::vector<std::vector<WireValue>> rows;
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
  bool run(const std::string& sql, const ResultLimits& limits, ResultSet& rs, bool& has_result,
           long& count, SqlError& err);

  // Runs a select and stores its rows in a new table named target (a
  // temporary table of this session when temp is set), with column types
  // taken from the select's columns.
  bool select_into(const std::string& sql, const std::string& target, bool temp, long& count,
                   SqlError& err);

  // Plain statements (transaction control).
  bool exec_plain(const std::string& sql, SqlError& err);

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// Maps a SQLite error text to the server's message number and text.
SqlError map_sqlite_error(int code, const std::string& message);

}  // namespace standin
