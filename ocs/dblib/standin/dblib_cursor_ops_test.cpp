// Row operations through client cursors against the stand-in server: under
// each concurrency option an update, delete or insert changes exactly the
// intended row of the SQLite table, and a row another program changed
// meanwhile is refused as the cursor's option says.
#include <gtest/gtest.h>

#include <cstring>

#include "db_crs.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

class CursorOps : public standin_client::StandinClient {};

TEST_F(CursorOps, ByValuesEachOperationHitsItsRowAndAChangedRowIsRefused) {
  start(standin_client::kThreeRows);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  DBCURSOR* c = dbcursoropen(db, "select a, b from t", DBCRS_KEYSET, DBCRS_OPTCCVAL, 2, status);
  ASSERT_NE(c, nullptr);
  DBINT a[2] = {0, 0};
  char b[2][11] = {};
  ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);
  ASSERT_EQ(bind_strings(c, 2, b), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  struct Bad {
    int op, row;
    const char* values;
    int err;
  } bad[] = {
      {DBCRS_UPDATE, 1, "set a = 1 where a = 2", 20273},
      {DBCRS_UPDATE, 1, "a = 1", 20274},
      {DBCRS_DELETE, 0, nullptr, 20194},
      {DBCRS_INSERT, 1, "(1, 'a')", 20274},
      {9, 1, nullptr, 20194},
  };
  for (const Bad& k : bad) {
    errors().clear();
    EXPECT_EQ(dbcursor(c, k.op, k.row, nullptr, k.values), FAIL) << k.err;
    EXPECT_TRUE(saw_error(k.err)) << k.err;
  }
  const Rows before = rows("select id, a, b from t order by id");
  EXPECT_EQ(before, (Rows{{"1", "10", "ten"}, {"2", "20", "twenty"}, {"3", "30", "thirty"}}));

  // An update changes its row only, and the buffer shows the new values.
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 11, b = 'it''s'"), SUCCEED);
  EXPECT_EQ(a[0], 11);
  EXPECT_STREQ(b[0], "it's");
  EXPECT_EQ(rows("select id, a, b from t order by id"),
            (Rows{{"1", "11", "it's"}, {"2", "20", "twenty"}, {"3", "30", "thirty"}}));
  // The row's values, quote and all, find it again.
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, "t", "update t set a = 12"), SUCCEED);
  EXPECT_TRUE(sent("update t set a = 12  from t where t.id = 1 and t.a = 11 and t.b = 'it''s'"));
  EXPECT_EQ(rows("select a from t where id = 1"), (Rows{{"12"}}));

  // Another program changes row 2: the cursor's delete finds nothing.
  change("update t set b = 'changed' where id = 2");
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_DELETE, 2, "t", nullptr), FAIL);
  EXPECT_TRUE(saw_error(20276));
  EXPECT_EQ(rows("select b from t where id = 2"), (Rows{{"changed"}}));
  // After a refresh the row is the one the cursor knows, and goes.
  ASSERT_EQ(dbcursor(c, DBCRS_REFRESH, 2, nullptr, nullptr), SUCCEED);
  EXPECT_STREQ(b[1], "changed");
  ASSERT_EQ(dbcursor(c, DBCRS_DELETE, 2, nullptr, nullptr), SUCCEED);
  EXPECT_EQ(rows("select id from t order by id"), (Rows{{"1"}, {"3"}}));

  ASSERT_EQ(dbcursor(c, DBCRS_INSERT, 1, nullptr, "values (5, 50, 'new')"), SUCCEED);
  EXPECT_TRUE(sent("insert t values (5, 50, 'new') "));
  EXPECT_EQ(rows("select id, a, b from t order by id"),
            (Rows{{"1", "12", "it's"}, {"3", "30", "thirty"}, {"5", "50", "new"}}));
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
}

TEST_F(CursorOps, ByTimestampTheNewTimestampIsKeptAndAChangedRowIsRefused) {
  start("create table t (id int primary key, a int, ts timestamp);"
        "insert into t (id, a) values (1, 10), (2, 20);");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  Rows ts0 = rows("select ts from t order by id");
  ASSERT_EQ(ts0.size(), 2u);
  EXPECT_NE(ts0[0][0], "NULL");  // the server gave the rows their timestamps
  EXPECT_NE(ts0[0][0], ts0[1][0]);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_OPTCC, 1, status);
  ASSERT_NE(c, nullptr);
  DBINT a = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(a, 10);
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, "t", "set a = 11"), SUCCEED);
  Rows ts1 = rows("select a, ts from t where id = 1");
  EXPECT_EQ(ts1[0][0], "11");
  EXPECT_GT(std::stoll(ts1[0][1]), std::stoll(ts0[0][0]));  // renewed
  EXPECT_EQ(rows("select a, ts from t where id = 2"), (Rows{{"20", ts0[1][0]}}));
  // The cursor tests the new timestamp, which the server sent back.
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "update t set a = 12"), SUCCEED);
  EXPECT_EQ(rows("select a from t where id = 1"), (Rows{{"12"}}));
  // Another program updates the row: its timestamp changes and the
  // cursor's update is refused.
  change("update t set a = 99 where id = 1");
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 13"), FAIL);
  EXPECT_TRUE(saw_error(20276));
  EXPECT_EQ(rows("select a from t order by id"), (Rows{{"99"}, {"20"}}));
  dbclose(db);
  EXPECT_TRUE(sent("select * from t where 0 = 1 "));
  EXPECT_TRUE(sent("select a ,t.ts from t where t.id = 1"));
}

TEST_F(CursorOps, LockingCursorLocksEveryRowItFetchesWithoutChangingIt) {
  start(standin_client::kThreeRows);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_LOCKCC, 1, status);
  ASSERT_NE(c, nullptr);
  DBINT a = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(a, 10);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(a, 20);
  EXPECT_EQ(dbcursor(c, DBCRS_LOCK, 1, nullptr, nullptr), SUCCEED);
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 21"), SUCCEED);
  dbclose(db);
  EXPECT_TRUE(sent("update t set t.id = t.id where t.id = 1"));
  EXPECT_TRUE(sent("update t set t.id = t.id where t.id = 2"));
  EXPECT_EQ(rows("select id, a, b from t order by id"),
            (Rows{{"1", "10", "ten"}, {"2", "21", "twenty"}, {"3", "30", "thirty"}}));
}

TEST_F(CursorOps, BoundVariablesBecomeTheValuesOfUpdateAndInsert) {
  start("create table t (id integer primary key, a int, b varchar(10));"
        "insert into t values (1, 10, 'x'), (2, 20, 'y');");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a, b from t", DBCRS_KEYSET, DBCRS_OPTCCVAL, 1, status);
  ASSERT_NE(c, nullptr);
  errors().clear();
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, nullptr), FAIL);  // nothing bound
  EXPECT_TRUE(saw_error(20279));
  DBINT a = 0, alen = -1;
  char b[11] = "";
  ASSERT_EQ(bind_ints(c, 1, &a, &alen), SUCCEED);
  ASSERT_EQ(bind_strings(c, 2, &b), SUCCEED);
  EXPECT_EQ(dbcursorbind(c, 2, STRINGBIND, 0, nullptr, reinterpret_cast<BYTE*>(b), nullptr), FAIL);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_STREQ(b, "x");
  a = 11;
  std::strcpy(b, "q'");
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, nullptr), SUCCEED);
  EXPECT_EQ(a, 11);
  alen = 0;  // a null
  ASSERT_EQ(dbcursor(c, DBCRS_INSERT, 1, nullptr, nullptr), SUCCEED);
  dbclose(db);
  EXPECT_TRUE(sent("update t set a = 11, b = 'q'''  from t where t.id = 1 and t.a = 10 and t.b = 'x'"));
  EXPECT_TRUE(sent("insert t (a, b)values ( NULL , 'q''')"));
  EXPECT_EQ(rows("select id, a, b from t order by id"), (Rows{{"1", "11", "q'"}, {"2", "20", "y"}, {"3", "NULL", "q'"}}));
}

TEST_F(CursorOps, TwoTableCursorsUpdateTheNamedTableOnly) {
  start(std::string(standin_client::kThreeRows) +
        "create table u (id int primary key, c int);"
        "insert into u values (1, 100), (2, 200), (3, 300);");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a, c from t, u x where t.id = x.id", DBCRS_DYNAMIC, DBCRS_OPTCC, 1, status);
  ASSERT_NE(c, nullptr) << last_error();
  DBINT a = 0, cv = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  ASSERT_EQ(bind_ints(c, 2, &cv), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(a, 20);
  EXPECT_EQ(cv, 200);
  struct Bad {
    int op;
    const char* table;
    const char* values;
    int err;
  } bad[] = {
      {DBCRS_UPDATE, "t", nullptr, 20275},
      {DBCRS_UPDATE, nullptr, "set a = 1", 20271},
      {DBCRS_INSERT, "v", "values (1)", 20271},
  };
  for (const Bad& k : bad) {
    errors().clear();
    EXPECT_EQ(dbcursor(c, k.op, 1, k.table, k.values), FAIL) << k.err;
    EXPECT_TRUE(saw_error(k.err)) << k.err;
  }
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "update u set c = 201"), SUCCEED);
  EXPECT_EQ(cv, 201);
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, "t", "set a = 21"), SUCCEED);
  EXPECT_EQ(rows("select id, a from t order by id"), (Rows{{"1", "10"}, {"2", "21"}, {"3", "30"}}));
  EXPECT_EQ(rows("select id, c from u order by id"), (Rows{{"1", "100"}, {"2", "201"}, {"3", "300"}}));
  ASSERT_EQ(dbsetopt(db, DBNOCOUNT, nullptr, 0), SUCCEED);
  EXPECT_EQ(dbcursor(c, DBCRS_DELETE, 1, "t", nullptr), FAIL);
  EXPECT_TRUE(saw_error(20270));
  dbclose(db);
  EXPECT_TRUE(sent("select t.id,x.id from t, u x  where 0 = 1 "));
}

// By values over two tables, each column of the row is compared in its own
// table.
TEST_F(CursorOps, TwoTableCursorByValuesComparesEachColumnInItsTable) {
  start(std::string(standin_client::kThreeRows) +
        "create table u (id int primary key, c int);"
        "insert into u values (1, 100), (2, 200), (3, 300);");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a, c, a + c total from t, u x where t.id = x.id", DBCRS_KEYSET,
                             DBCRS_OPTCCVAL, 1, status);
  ASSERT_NE(c, nullptr) << last_error();
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "update u set c = 101"), SUCCEED);
  EXPECT_TRUE(sent("update u set c = 101  from t,u where t.id = 1 and u.id = 1 and t.a = 10 and u.c = 100"));
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  change("update u set c = 222 where id = 2");
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_DELETE, 1, "t", nullptr), FAIL);  // the joined row changed
  EXPECT_TRUE(saw_error(20276));
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  ASSERT_EQ(dbcursor(c, DBCRS_DELETE, 1, "t", nullptr), SUCCEED);
  dbclose(db);
  EXPECT_EQ(rows("select id, a from t order by id"), (Rows{{"1", "10"}, {"2", "20"}}));
  EXPECT_EQ(rows("select id, c from u order by id"), (Rows{{"1", "101"}, {"2", "222"}, {"3", "300"}}));
}

}  // namespace

namespace {

// By values, a null column of the row is tested with "is NULL", and float,
// datetime and binary values written as literals find their row.
TEST_F(CursorOps, ByValuesNullsFloatsDatetimesAndBinariesFindTheirRow) {
  start("create table t (id int primary key, b varchar(10), f float, d datetime, bin varbinary(4), c varchar(5));"
        "insert into t values (1, null, 0.1, '2000-01-02 03:04:05.067', x'00ff', 'a'),"
        " (2, 'x', 2.5, '2001-01-01 00:00:00.000', x'01', 'b'), (3, null, 0.1, null, null, 'c');");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  DBCURSOR* c = dbcursoropen(db, "select b, f, d, bin, c from t where id < 3", DBCRS_KEYSET, DBCRS_OPTCCVAL, 2,
                             status);
  ASSERT_NE(c, nullptr) << last_error();
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  for (int row : {1, 2}) {
    errors().clear();
    EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, row, "t", "set c = 'new'"), SUCCEED)
        << row << ": " << last_error();
  }
  dbclose(db);
  EXPECT_TRUE(sent("update t set c = 'new'  from t where t.id = 1 and t.b is NULL  and t.f = .10000000000000001"
                   " and t.d = 'Jan  2 2000  3:04:05:066AM' and t.bin = 0x00ff and t.c = 'a'"));
  EXPECT_EQ(rows("select id, c from t order by id"), (Rows{{"1", "new"}, {"2", "new"}, {"3", "c"}}));
}

}  // namespace
