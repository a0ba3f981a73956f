// The fixture of the DB client's tests against the stand-in server over a
// SQLite file: the file is made from SQL text, the server started on it,
// connections opened to it, and the file read and changed directly (as
// another program would) to check what the client's statements did.
#pragma once

// gtest first: the client's header redefines its SUCCEED.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "db_testpeer.h"
#include "dblib/db_internal.h"
#include "standin/standin.h"

namespace standin_client {

// The scripted-peer helpers the tests against the stand-in use as well.
using testpeer::errors;
using testpeer::last_error;
using testpeer::run_batch;
using testpeer::saw_error;

// A table of three rows with a unique key, for the cursor tests.
inline const char* const kThreeRows =
    "create table t (id int primary key, a int, b varchar(10));"
    "insert into t values (1, 10, 'ten'), (2, 20, 'twenty'), (3, 30, 'thirty');";

using Rows = std::vector<std::vector<std::string>>;

// Binds cursor column `col` to the ints at `var`, one a row of the fetch
// buffer, and their lengths to `len` when given.
inline RETCODE bind_ints(DBCURSOR* c, int col, DBINT* var, DBINT* len = nullptr) {
  return dbcursorbind(c, col, INTBIND, 0, len, reinterpret_cast<BYTE*>(var), nullptr);
}

// Binds cursor column `col` to the NUL-ended strings of N bytes at `var`,
// one a row of the fetch buffer, and their lengths to `len` when given.
template <std::size_t N>
RETCODE bind_strings(DBCURSOR* c, int col, char (*var)[N], DBINT* len = nullptr) {
  return dbcursorbind(c, col, NTBSTRINGBIND, static_cast<DBINT>(N), len, reinterpret_cast<BYTE*>(var), nullptr);
}

// Runs SQL on a SQLite file directly.
inline void sqlite_exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << "\n" << sql;
  sqlite3_free(err);
  sqlite3_close(db);
}

// The rows of a query on a SQLite file, every value as text ("NULL" for
// NULL, blobs in hexadecimal).
inline Rows sqlite_rows(const std::string& path, const std::string& sql) {
  Rows out;
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return out;
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> r;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      int type = sqlite3_column_type(st, i);
      if (type == SQLITE_NULL) {
        r.emplace_back("NULL");
      } else if (type == SQLITE_BLOB) {
        static const char d[] = "0123456789abcdef";
        const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
        std::string h;
        for (int k = 0; k < sqlite3_column_bytes(st, i); ++k) {
          h += d[b[k] >> 4];
          h += d[b[k] & 15];
        }
        r.push_back(h);
      } else {
        r.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
      }
    }
    out.push_back(std::move(r));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

class StandinClient : public ::testing::Test {
 protected:
  void SetUp() override {
    // No login time-out: the tests shorten every wait, and a busy machine
    // must not turn a slow login into a failure.
    testpeer::client_setup(0);
    dir_ = standin::make_temp_dir("dbclient-standin");
    path_ = dir_ + "/catalogue.sqlite";
  }
  void TearDown() override {
    testpeer::client_teardown();
    dbsetlogintime(60);
    dbsetifile(nullptr);
    ::unsetenv("MERROW");
    dbsethome(nullptr);
    srv_.reset();
    standin::remove_tree(dir_);
  }
  // Makes the catalogue file from `schema` and starts the server on it;
  // `extra` are further arguments of the server.
  void start(const std::string& schema, std::vector<std::string> extra = {}, const std::string& script = "") {
    sqlite_exec(path_, schema);
    standin::ServerOptions o;
    o.db_path = path_;
    o.extra_args = std::move(extra);
    o.script = script;
    srv_ = std::make_unique<standin::StandinServer>(o);
    std::string home = srv_->make_home("SERVER");
    ::setenv("MERROW", home.c_str(), 1);
    dbsetifile((home + "/interfaces").c_str());
  }
  DBPROCESS* open() {
    LOGINREC* l = dblogin();
    DBSETLUSER(l, "calread");
    DBSETLPWD(l, "tuvelmark");
    DBSETLAPP(l, "dblib_standin");
    DBPROCESS* db = dbopen(l, "SERVER");
    dbloginfree(l);
    return db;
  }
  Rows rows(const std::string& sql) const { return sqlite_rows(path_, sql); }
  void change(const std::string& sql) const { sqlite_exec(path_, sql); }
  // True when the server received this language batch.
  bool sent(const std::string& sql) const {
    auto got = batches();
    return std::find(got.begin(), got.end(), sql) != got.end();
  }
  // Checks that the first language batches the server received are `want`.
  void expect_first_batches(const std::vector<std::string>& want) const {
    auto got = batches();
    ASSERT_GE(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << i;
  }
  // The language batches the server received from index `from` on.
  std::vector<std::string> batches(std::size_t from = 0) const {
    std::vector<std::string> b = srv_->batches();
    return from < b.size() ? std::vector<std::string>(b.begin() + static_cast<long>(from), b.end())
                           : std::vector<std::string>{};
  }
  std::string dir_, path_;
  std::unique_ptr<standin::StandinServer> srv_;
};

}  // namespace standin_client
