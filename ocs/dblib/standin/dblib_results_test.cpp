// Result sets from the stand-in server through the DB client: every column
// type the tool and the access layer read, bound through each bind type
// they use, NULLs, row buffering, counts and several result sets in a batch.
#include <gtest/gtest.h>
#undef SUCCEED
#undef FAIL

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dblib/dblib.h"
#include "standin/standin.h"

namespace {

std::vector<int> g_errors;

int on_error(DBPROCESS*, int, int dberr, int, char*, char*) {
  g_errors.push_back(dberr);
  return INT_CANCEL;
}

int on_message(DBPROCESS*, DBINT, int, int, char*, char*, char*, int) { return 0; }

// A catalogue file with one table of every type the tool reads.
std::string make_db(const std::string& dir) {
  std::string path = dir + "/types.sqlite";
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const char* sql =
      "create table t (k int not null, c char(8) null, v varchar(20) null, tx text null,"
      " d datetime null, i int null);"
      "insert into t values (1, 'ab', 'Hello World', 'a text value', '1998-07-01 09:00:00.000', 42);"
      "insert into t values (2, null, null, null, null, null);"
      "insert into t values (3, 'xyz', 'x', '', '1753-01-01 23:59:59.997', -2147483647);";
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
  return path;
}

class Results : public ::testing::Test {
 protected:
  void SetUp() override {
    dbinit();
    dberrhandle(on_error);
    dbmsghandle(on_message);
    g_errors.clear();
    dir_ = standin::make_temp_dir("dbresults");
    standin::ServerOptions o;
    o.db_path = make_db(dir_);
    srv_ = std::make_unique<standin::StandinServer>(o);
    home_ = srv_->make_home("SERVER");
    ::setenv("MERROW", home_.c_str(), 1);
    dbsetifile((home_ + "/interfaces").c_str());
    LOGINREC* l = dblogin();
    DBSETLUSER(l, "calread");
    DBSETLPWD(l, "tuvelmark");
    db_ = dbopen(l, "SERVER");
    dbloginfree(l);
    ASSERT_NE(db_, nullptr);
  }
  void TearDown() override {
    if (db_) dbclose(db_);
    dbsetifile(nullptr);
    ::unsetenv("MERROW");
    srv_.reset();
    standin::remove_tree(dir_);
    dberrhandle(nullptr);
    dbmsghandle(nullptr);
  }
  bool send(const char* sql) { return dbcmd(db_, sql) == 1 && dbsqlexec(db_) == 1; }

  std::string dir_, home_;
  std::unique_ptr<standin::StandinServer> srv_;
  DBPROCESS* db_ = nullptr;
};

}  // namespace

TEST_F(Results, ColumnsBoundThroughEachBindTypeGiveTheStoredValues) {
  ASSERT_TRUE(send("select c, v, tx, d, i from t order by k"));
  ASSERT_EQ(dbresults(db_), 1);
  ASSERT_EQ(dbnumcols(db_), 5);
  EXPECT_STREQ(dbcolname(db_, 4), "d");
  char str[64], ntb[64], chr[16], dstr[64];
  DBINT i = 0, inull = 0, cnull = 0;
  DBDATETIME dt{};
  ASSERT_EQ(dbbind(db_, 1, STRINGBIND, 10, reinterpret_cast<BYTE*>(str)), 1);
  ASSERT_EQ(dbbind(db_, 2, NTBSTRINGBIND, 0, reinterpret_cast<BYTE*>(ntb)), 1);
  ASSERT_EQ(dbbind(db_, 3, CHARBIND, 16, reinterpret_cast<BYTE*>(chr)), 1);
  ASSERT_EQ(dbbind(db_, 4, STRINGBIND, 63, reinterpret_cast<BYTE*>(dstr)), 1);
  ASSERT_EQ(dbbind(db_, 5, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), 1);
  ASSERT_EQ(dbnullbind(db_, 5, &inull), 1);
  ASSERT_EQ(dbnullbind(db_, 1, &cnull), 1);

  // Row 1.
  ASSERT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(std::string(str), "ab       ");  // blank-padded to 9 and ended by a NUL
  EXPECT_STREQ(ntb, "Hello World");
  EXPECT_EQ(std::string(chr, 16), "a text value    ");
  EXPECT_EQ(std::string(dstr, 26), "Jul  1 1998  9:00:00:000AM");
  EXPECT_EQ(std::strlen(dstr), 62u);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(inull, 0);
  ASSERT_EQ(dbdatlen(db_, 3), 12);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbdata(db_, 3)), 12), "a text value");
  // The datetime's raw value, converted to a program datetime.
  ASSERT_EQ(dbconvert(db_, MERDATETIME, dbdata(db_, 4), dbdatlen(db_, 4), MERDATETIME,
                      reinterpret_cast<BYTE*>(&dt), 8),
            8);
  DBDATEPARTS parts{};
  ASSERT_EQ(dbdatecrack(db_, &parts, &dt), 1);
  EXPECT_EQ(parts.year, 1998);
  EXPECT_EQ(parts.month, 6);
  EXPECT_EQ(parts.hour, 9);

  // Row 2: every value NULL.  Indicators say so; bound variables without
  // an indicator get the type's null value.
  i = 7;
  ASSERT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(inull, -1);
  EXPECT_EQ(i, 7);  // left alone under its indicator
  EXPECT_EQ(cnull, -1);
  EXPECT_STREQ(ntb, "");
  EXPECT_EQ(dbdatlen(db_, 3), 0);
  EXPECT_EQ(dbdata(db_, 3), nullptr);
  EXPECT_EQ(std::string(dstr), std::string(62, ' '));

  // Row 3: the earliest datetime, an empty text and the lowest int.
  ASSERT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(std::string(dstr, 26), "Jan  1 1753 11:59:59:996PM");
  EXPECT_EQ(i, -2147483647);
  EXPECT_EQ(dbnextrow(db_), NO_MORE_ROWS);
  EXPECT_EQ(dbcount(db_), 3);
  EXPECT_EQ(dbresults(db_), NO_MORE_RESULTS);
  EXPECT_TRUE(g_errors.empty());
}

TEST_F(Results, OverlongValueFailsTheRowButCopiesTheOtherColumns) {
  ASSERT_TRUE(send("select v, i from t where k = 1"));
  ASSERT_EQ(dbresults(db_), 1);
  char small[6];
  DBINT ind = 0, i = 0;
  ASSERT_EQ(dbbind(db_, 1, STRINGBIND, 6, reinterpret_cast<BYTE*>(small)), 1);
  ASSERT_EQ(dbnullbind(db_, 1, &ind), 1);
  ASSERT_EQ(dbbind(db_, 2, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), 1);
  EXPECT_EQ(dbnextrow(db_), 0);  // the row failed...
  EXPECT_EQ(ind, 11);             // ...the indicator holds the value's length
  EXPECT_EQ(i, 42);               // and the other column was still copied
  EXPECT_EQ(g_errors, std::vector<int>{20049});
  dbcanquery(db_);
}

TEST_F(Results, BindingErrors) {
  ASSERT_TRUE(send("select c, i from t"));
  ASSERT_EQ(dbresults(db_), 1);
  DBINT i;
  char s[8];
  EXPECT_EQ(dbbind(db_, 0, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), 0);
  EXPECT_EQ(dbbind(db_, 3, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), 0);
  EXPECT_EQ(dbbind(db_, 1, 23, 0, reinterpret_cast<BYTE*>(s)), 0);
  EXPECT_EQ(dbbind(db_, 1, 5, 0, reinterpret_cast<BYTE*>(s)), 0);
  EXPECT_EQ(dbbind(db_, 2, DATETIMEBIND, 0, reinterpret_cast<BYTE*>(s)), 0);  // int has no date
  EXPECT_EQ(dbbind(db_, 1, INTBIND, 0, nullptr), 0);
  EXPECT_EQ(g_errors, (std::vector<int>{20032, 20032, 20023, 20033, 20033, 20046}));
  dbcanquery(db_);
}

TEST_F(Results, BufferingCountsAndSeveralResultSets) {
  ASSERT_EQ(dbsetopt(db_, DBBUFFER, "2", 0), 1);
  ASSERT_TRUE(send("select k from t order by k"));
  ASSERT_EQ(dbresults(db_), 1);
  EXPECT_EQ(dbrows(db_), 1);
  DBINT k = 0;
  ASSERT_EQ(dbbind(db_, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&k)), 1);
  EXPECT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(dbnextrow(db_), BUF_FULL);
  dbclrbuf(db_, 1);
  EXPECT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(k, 3);
  EXPECT_EQ(dbcurrow(db_), 3);
  EXPECT_EQ(dbnextrow(db_), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db_), NO_MORE_RESULTS);
  dbclropt(db_, DBBUFFER, nullptr);

  // Two result sets and a statement without one in a single batch.
  ASSERT_TRUE(send("select k from t where k < 3 select i from t where k = 1 "
                   "update t set i = 5 where k = 3"));
  int sets = 0;
  std::vector<DBINT> counts;
  RETCODE r;
  while ((r = dbresults(db_)) == 1) {
    if (dbnumcols(db_) > 0) ++sets;
    while (dbnextrow(db_) == REG_ROW) {
    }
    counts.push_back(dbcount(db_));
  }
  EXPECT_EQ(r, NO_MORE_RESULTS);
  EXPECT_EQ(sets, 2);
  EXPECT_EQ(counts, (std::vector<DBINT>{2, 1, 1}));
  EXPECT_TRUE(g_errors.empty()) << g_errors.size();
}

TEST_F(Results, BadTokenInAResultSetEndsInTheClientError) {
  srv_.reset();
  standin::ServerOptions o;
  o.db_path = dir_ + "/types.sqlite";
  o.script = "batch \"from t\" badtoken 0x05 rows\n";
  srv_ = std::make_unique<standin::StandinServer>(o);
  home_ = srv_->make_home("SERVER");
  ::setenv("MERROW", home_.c_str(), 1);
  dbsetifile((home_ + "/interfaces").c_str());
  dbclose(db_);
  LOGINREC* l = dblogin();
  DBSETLUSER(l, "calread");
  DBSETLPWD(l, "tuvelmark");
  db_ = dbopen(l, "SERVER");
  dbloginfree(l);
  ASSERT_NE(db_, nullptr);
  g_errors.clear();
  ASSERT_TRUE(send("select k from t order by k"));
  ASSERT_EQ(dbresults(db_), 1);
  // The unknown token follows the first row: the read that meets it fails.
  EXPECT_EQ(dbnextrow(db_), 0);
  ASSERT_FALSE(g_errors.empty());
  EXPECT_EQ(g_errors.front(), 20020);
  EXPECT_TRUE(dbdead(db_));
}
