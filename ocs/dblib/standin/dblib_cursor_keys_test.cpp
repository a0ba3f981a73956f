// How cursors find the keys of their tables against the stand-in server:
// a table of another database, views (keys from the browse information),
// and the system tables when the catalogue procedure is not there.
#include <gtest/gtest.h>

#include "db_crs.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

class CursorKeys : public standin_client::StandinClient {};

// Through a cursor of one int column a over rows whose last has a = 20:
// binds the column to `*a`, fetches the last row and updates its a to 21,
// which `*a` shows.  `*a` stays bound for the cursor's life.
void update_last_row(DBCURSOR* c, DBINT* a) {
  ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_LAST, 0), SUCCEED);
  EXPECT_EQ(*a, 20);
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 21"), SUCCEED);
  EXPECT_EQ(*a, 21);
}

TEST_F(CursorKeys, TableOfAnotherDatabaseIsLookedUpThereAndTheDatabaseRestored) {
  std::string other = dir_ + "/other.sqlite";
  standin_client::sqlite_exec(other, "create table nokey (a int); insert into nokey values (1);"
                                     "create table t2 (id int primary key, a int); insert into t2 values (1, 10), (2, 20);");
  start(standin_client::kThreeRows, {"--database", "other=" + other});
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from other..nokey", DBCRS_FORWARD, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20256));
  EXPECT_STREQ(dbname(db), "master");
  DBCURSOR* c = dbcursoropen(db, "select a from other..t2", DBCRS_KEYSET, DBCRS_OPTCCVAL, 1, status);
  ASSERT_NE(c, nullptr) << last_error();
  EXPECT_STREQ(dbname(db), "master");
  DBINT a = 0;
  ASSERT_NO_FATAL_FAILURE(update_last_row(c, &a));
  dbclose(db);
  EXPECT_EQ(standin_client::sqlite_rows(other, "select id, a from t2 order by id"), (Rows{{"1", "10"}, {"2", "21"}}));
  const std::vector<std::string> want = {
      "select db_name()",
      "use other",
      "sp_tables @table_name = 'nokey'",
      "sp_special_columns @table_name = 'nokey'  , @table_qualifier = 'other' ",
      "use master",
  };
  ASSERT_NO_FATAL_FAILURE(expect_first_batches(want));
  EXPECT_TRUE(sent("select other..t2.id from other..t2 where 0 = 1 "));
  EXPECT_TRUE(sent("update other..t2 set a = 21  from other..t2 where other..t2.id = 2 and other..t2.a = 20"));
}

TEST_F(CursorKeys, ViewsTakeTheirKeysFromTheBrowseInformation) {
  start(std::string(standin_client::kThreeRows) +
        "create view v as select id, a from t where a < 30;"
        "create view w as select a, b from t;");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from v, t", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20257));
  EXPECT_EQ(dbcursoropen(db, "select a from w", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20288));
  DBCURSOR* c = dbcursoropen(db, "select a from v", DBCRS_KEYSET, DBCRS_OPTCCVAL, 1, status);
  ASSERT_NE(c, nullptr) << last_error();
  EXPECT_EQ(c->nbrowse, 1);
  ASSERT_EQ(c->keys.size(), 1u);
  EXPECT_EQ(c->keys[0].name, "id");
  DBINT a = 0;
  ASSERT_NO_FATAL_FAILURE(update_last_row(c, &a));
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
  EXPECT_TRUE(sent("select  * from v where 0 = 1 for browse "));
  EXPECT_TRUE(sent("update v set a = 21  from v where id = 2 and v.a = 20"));
  EXPECT_EQ(rows("select id, a from t order by id"), (Rows{{"1", "10"}, {"2", "21"}, {"3", "30"}}));
}

// A server whose catalogue procedure fails: the keys come from the system
// tables, and the failure stays silent.
TEST_F(CursorKeys, FallsBackToTheSystemTablesWhenTheCatalogueProcedureFails) {
  start(std::string(standin_client::kThreeRows) +
        "create table k2 (k1 int not null, k2 int not null, a int);"
        "create index k2_a on k2 (a);"
        "create unique index k2_k on k2 (k1, k2);"
        "insert into k2 values (1, 1, 10), (1, 2, 20), (2, 1, 30);",
        {}, "batch \"sp_special_columns\" error 2812 16 text Could not find stored procedure 'sp_special_columns'.\n");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  testpeer::messages().clear();
  DBINT status[2];
  DBCURSOR* c = dbcursoropen(db, "select a from k2 where a > 10", DBCRS_DYNAMIC, DBCRS_OPTCCVAL, 2, status);
  ASSERT_NE(c, nullptr) << last_error();
  EXPECT_TRUE(errors().empty());  // the failing procedure was silent
  EXPECT_TRUE(testpeer::messages().empty());
  ASSERT_EQ(c->keys.size(), 2u);
  EXPECT_EQ(c->keys[0].name, "k2.k1");
  EXPECT_EQ(c->keys[1].name, "k2.k2");
  DBINT a[2] = {0, 0};
  ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(a[0], 20);
  EXPECT_EQ(a[1], 30);
  ASSERT_EQ(dbcursor(c, DBCRS_DELETE, 2, nullptr, nullptr), SUCCEED);
  // A table whose key is its rowid.
  c = dbcursoropen(db, "select b from r", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status);
  EXPECT_EQ(c, nullptr);  // no such table
  run_batch(db, "create table r (id integer primary key, b int) insert into r (b) values (7)");
  c = dbcursoropen(db, "select b from r", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->keys.size(), 1u);
  EXPECT_EQ(c->keys[0].name, "r.id");
  dbclose(db);
  EXPECT_TRUE(sent("select indid, status, keycnt from sysindexes where indid >= 1 and id = OBJECT_ID('k2') "
                   "order by indid, keycnt "));
  EXPECT_TRUE(sent("select INDEX_COL('k2', 2, 2) "));
  EXPECT_EQ(rows("select k1, k2, a from k2 order by a"), (Rows{{"1", "1", "10"}, {"1", "2", "20"}}));
}

}  // namespace
