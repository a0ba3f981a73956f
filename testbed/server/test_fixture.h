// The fixture of the server's raw-socket tests: a small catalogue file
// and a server started on it per test.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "standin/standin.h"
#include "test_client.h"

namespace standin_test {


inline void sql(sqlite3* db, const char* text) {
  char* err = nullptr;
  ASSERT_EQ(sqlite3_exec(db, text, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// A small catalogue file in a private directory.
struct Catalogue {
  std::string dir = standin::make_temp_dir("standin-cat-");
  std::string path = dir + "/catalogue.sqlite";
  Catalogue() {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sql(db,
        "create table kelvar_file (file_name varchar(50) not null, useafter_date datetime not null,"
        " general_availability_date datetime null, comment text null, reference_file_type char(12) not null,"
        " reject_flag char(1) not null);"
        "create table kelvar_row (file_name varchar(50) not null, compname varchar(18) not null);"
        "create table sample (c char(5) not null, v varchar(10) null, t text null, d datetime null, i int null,"
        " n int not null);"
        "insert into sample values ('ab', 'xyz', 'long text', '2000-01-01 13:30:00.000', 42, 7);"
        "insert into sample values ('cdefg', null, null, null, null, -1);"
        "insert into kelvar_file values ('A1.FITS', '1999-01-01 00:00:00.000', '1999-02-01 00:00:00.000', "
        "'first', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('A2.FITS', '1999-06-01 00:00:00.000', '1999-07-01 00:00:00.000', "
        "'second', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('A3.FITS', '2001-01-01 00:00:00.000', '2001-02-01 00:00:00.000', "
        "'too new', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('B1.FITS', '1998-01-01 00:00:00.000', null, "
        "'  spaced  comment ', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('B2.TXT', '1997-01-01 00:00:00.000', null, 'not fits', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('C1.FITS', '1999-01-01 00:00:00.000', null, 'rejected', 'THROUGHPUT', 'Y');"
        "insert into kelvar_row values ('A1.FITS', 'acomp'), ('A2.FITS', 'acomp'), ('A3.FITS', 'acomp'),"
        " ('B1.FITS', 'bcomp'), ('B2.TXT', 'bcomp'), ('C1.FITS', 'ccomp');");
    sqlite3_close(db);
  }
  ~Catalogue() { standin::remove_tree(dir); }
};

class StandinServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cat_ = new Catalogue; }
  static void TearDownTestSuite() { delete cat_; }
  standin::ServerOptions options(const std::string& script = {}) {
    standin::ServerOptions o;
    o.db_path = cat_->path;
    o.script = script;
    return o;
  }
  static Catalogue* cat_;
};
inline Catalogue* StandinServerTest::cat_ = nullptr;

inline std::vector<Token> logged_in_reply(RawClient& c, const LoginFields& s = {}) {
  Reply r = c.login(s);
  EXPECT_TRUE(r.ok);
  return decode(r.body);
}

}  // namespace standin_test
