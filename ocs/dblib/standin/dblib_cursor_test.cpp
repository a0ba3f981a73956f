// Client cursors against the stand-in server over a SQLite table: each
// kind of cursor fetches with its fetch types, and updates, deletes and
// inserts through it change exactly the intended rows of the table.
#include <gtest/gtest.h>

#include "db_crs.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

// Row 2 has a null b.
const char* const kTable =
    "create table t (id int primary key, a int, b varchar(10));"
    "insert into t values (1, 10, 'ten'), (2, 20, null), (3, 30, 'thirty');";

class Cursor : public standin_client::StandinClient {};

TEST_F(Cursor, KeysetCursorFetchesByKeysIntoBoundArrays) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[2] = {-1, -1};
  DBCURSOR* c = dbcursoropen(db, "  select a, b from t", DBCRS_KEYSET, DBCRS_READONLY, 2, status);
  ASSERT_NE(c, nullptr) << last_error();
  EXPECT_EQ(status[0], 0);
  DBINT ncols = 0, nrows = 0;
  EXPECT_EQ(dbcursorinfo(c, &ncols, &nrows), SUCCEED);
  EXPECT_EQ(ncols, 2);
  EXPECT_EQ(nrows, 3);  // the whole result is in the keyset
  char name[31];
  DBINT type = 0, len = 0, utype = -1;
  EXPECT_EQ(dbcursorcolinfo(c, 2, name, &type, &len, &utype), SUCCEED);
  EXPECT_STREQ(name, "b");
  EXPECT_EQ(type, MERVARCHAR);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(dbcursorcolinfo(c, 3, name, &type, &len, &utype), FAIL);
  EXPECT_TRUE(saw_error(20194));

  DBINT a[2] = {0, 0}, alen[2] = {-1, -1}, blen[2] = {-1, -1};
  char b[2][11] = {};
  ASSERT_EQ(bind_ints(c, 1, a, alen), SUCCEED);
  ASSERT_EQ(bind_strings(c, 2, b, blen), SUCCEED);

  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(a[0], 10);
  EXPECT_STREQ(b[0], "ten");
  EXPECT_EQ(a[1], 20);
  EXPECT_EQ(blen[1], 0);  // a null
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED);
  EXPECT_EQ(status[1], DBCRS_ROW_FETCHED);

  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(a[0], 30);
  EXPECT_STREQ(b[0], "thirty");
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDKEYSET | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(status[1], 0);

  errors().clear();
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), FAIL);
  EXPECT_TRUE(saw_error(20267));
  EXPECT_EQ(status[0], 0);
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 4), FAIL);
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 0), FAIL);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 3), SUCCEED);
  EXPECT_EQ(a[0], 30);

  // Another program deletes the row: a refresh finds it missing.
  change("delete from t where id = 3");
  EXPECT_EQ(dbcursor(c, DBCRS_REFRESH, 1, nullptr, nullptr), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_MISSING);
  // Read-only cursors neither update nor lock.
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 1"), FAIL);
  EXPECT_TRUE(saw_error(20269));
  dbclose(db);  // releases the cursor

  const std::vector<std::string> want = {
      "sp_tables @table_name = 't'",
      "sp_special_columns @table_name = 't' ",
      "select t.id from t where 0 = 1 ",
      "set rowcount 1001\n",
      "select t.id from t  order by t.id",
      "set rowcount 0\n",
      "select a, b  from t where 0 = 1 ",
      "select a, b  from t where t.id = 1",
      "select a, b  from t where t.id = 2",
      "select a, b  from t where t.id = 3",
      "select a, b  from t where t.id = 3",
      "select a, b  from t where t.id = 3",
  };
  ASSERT_NO_FATAL_FAILURE(expect_first_batches(want));
  EXPECT_EQ(rows("select id, a, b from t order by id"), (Rows{{"1", "10", "ten"}, {"2", "20", "NULL"}}));
}

TEST_F(Cursor, DynamicCursorSeesRowsAddedAfterItsBuffer) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  DBCURSOR* c = dbcursoropen(db, "select a, b from t", DBCRS_DYNAMIC, DBCRS_READONLY, 2, status);
  ASSERT_NE(c, nullptr);
  BYTE* ptrs[2] = {nullptr, nullptr};
  DBINT lens[2];
  ASSERT_EQ(dbcursorbind(c, 2, DBCRS_NOBIND, 0, lens, reinterpret_cast<BYTE*>(ptrs), nullptr), SUCCEED);
  errors().clear();
  EXPECT_EQ(dbcursorbind(c, 1, DBCRS_NOBIND, 0, nullptr, reinterpret_cast<BYTE*>(ptrs), nullptr), FAIL);
  EXPECT_TRUE(saw_error(20289));
  EXPECT_FALSE(dbdead(db));
  DBINT a[2] = {0, 0};
  ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);

  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED);
  EXPECT_EQ(status[1], DBCRS_ROW_FETCHED);
  EXPECT_EQ(a[0], 10);
  EXPECT_EQ(a[1], 20);
  EXPECT_EQ(lens[1], 0);  // b of row 2 is null
  // Rows added after the buffer's last key belong to the next fetch.
  change("insert into t values (4, 40, 'forty')");
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED);
  EXPECT_EQ(status[1], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(a[0], 30);
  EXPECT_EQ(a[1], 40);
  ASSERT_EQ(lens[1], 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ptrs[1]), 5), "forty");
  // Backwards: the two rows before id 3.
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), SUCCEED);
  EXPECT_EQ(a[0], 10);
  EXPECT_EQ(a[1], 20);
  change("delete from t where id = 1");
  // One row before id 2 remains; it moves to the front of the buffer.
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), SUCCEED);
  EXPECT_EQ(a[0], 20);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(status[1], 0);
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_LAST, 0), FAIL);
  EXPECT_TRUE(saw_error(20265));
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 1), FAIL);
  EXPECT_TRUE(saw_error(20264));
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
}

TEST_F(Cursor, ForwardOnlyCursorReadsOnAndNeverBack) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1] = {-1};
  DBCURSOR* c = dbcursoropen(db, "select a from t where a > 100", DBCRS_FORWARD, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  // Nothing matches: the first fetch says so.
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_TRUE(saw_error(20255));
  EXPECT_EQ(status[0], DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(dbcursorclose(c), SUCCEED);

  c = dbcursoropen(db, "select a from t where a >= 20", DBCRS_FORWARD, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  DBINT a = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  std::vector<int> seen;
  while (dbcursorfetch(c, DBCRS_FETCH_NEXT, 0) == SUCCEED && (status[0] & DBCRS_ROW_FETCHED)) {
    seen.push_back(a);
    if (status[0] & DBCRS_ROW_ENDRESULT) break;
  }
  EXPECT_EQ(seen, (std::vector<int>{20, 30}));
  errors().clear();
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), FAIL);
  EXPECT_TRUE(saw_error(20266));
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RELATIVE, 1), FAIL);
  EXPECT_TRUE(saw_error(20264));
  dbclose(db);
  EXPECT_TRUE(sent("select a , t.id from t  where a >= 20 and  ((t.id > 2) )  order by t.id"));
}

TEST_F(Cursor, MixedCursorLoadsTheNextKeysetBlock) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a from t", 2, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  DBINT a = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(a, 10);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(a, 20);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDKEYSET);  // the block is full
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(a, 30);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_LAST, 0), FAIL);
  EXPECT_TRUE(saw_error(20265));
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), FAIL);
  EXPECT_TRUE(saw_error(20268));
  errors().clear();
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RELATIVE, -1), FAIL);
  EXPECT_TRUE(saw_error(20267));
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);  // the first block again
  EXPECT_EQ(a, 10);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_RELATIVE, 1), SUCCEED);
  EXPECT_EQ(a, 20);
  dbclose(db);
  EXPECT_TRUE(sent("select t.id from t  where (t.id > 2) order by t.id"));
}

TEST_F(Cursor, FullyKeysetDrivenCursorNeedsItsWholeResultInTheKeyset) {
  start("create table t (id int primary key, a int);"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 1001) "
        "insert into t select i, i * 10 from n;");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20278));
  DBCURSOR* c = dbcursoropen(db, "select a from t where id > 1", DBCRS_KEYSET, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  DBINT nrows = 0;
  EXPECT_EQ(dbcursorinfo(c, nullptr, &nrows), SUCCEED);
  EXPECT_EQ(nrows, 1000);
  EXPECT_EQ(c->flags & (CRS_ATEND | CRS_ALLIN), CRS_ATEND | CRS_ALLIN);
  DBINT a = 0;
  ASSERT_EQ(bind_ints(c, 1, &a), SUCCEED);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_LAST, 0), SUCCEED);
  EXPECT_EQ(a, 10010);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDKEYSET | DBCRS_ROW_ENDRESULT);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 500), SUCCEED);
  EXPECT_EQ(a, 5010);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_RELATIVE, -9), SUCCEED);
  EXPECT_EQ(a, 4920);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), SUCCEED);
  EXPECT_EQ(a, 4910);
  dbclose(db);
}

// The columns of expressions get the values the server computes, whatever
// kind of cursor reads them: the formats the cursor asks for when it opens
// agree with the rows it fetches.
TEST_F(Cursor, ExpressionColumnsGiveTheComputedValues) {
  start("create table t (id int primary key, f float, s varchar(4));"
        "insert into t values (1, 0.1, 'ab'), (2, 2.5, 'cd');");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  for (int scroll : {DBCRS_FORWARD, DBCRS_DYNAMIC, DBCRS_KEYSET, 2}) {
    SCOPED_TRACE(scroll);
    DBINT status[2];
    DBCURSOR* c = dbcursoropen(db, "select f * 2 twice, s || '!' bang from t", scroll, DBCRS_READONLY, 2, status);
    ASSERT_NE(c, nullptr);
    DBFLT8 twice[2] = {0, 0};
    char bang[2][6] = {};
    ASSERT_EQ(dbcursorbind(c, 1, FLT8BIND, 0, nullptr, reinterpret_cast<BYTE*>(twice), nullptr), SUCCEED);
    ASSERT_EQ(bind_strings(c, 2, bang), SUCCEED);
    ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
    EXPECT_EQ(twice[0], 0.2);
    EXPECT_EQ(twice[1], 5.0);
    EXPECT_STREQ(bang[0], "ab!");
    EXPECT_STREQ(bang[1], "cd!");
    EXPECT_EQ(dbcursorclose(c), SUCCEED);
  }
  dbclose(db);
}

TEST_F(Cursor, OpenRefusesBadStatementsAndOptions) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  struct Case {
    const char* stmt;
    int scroll, concur, nrows, err;
    const char* text;  // expected in the error text, or null
  } cases[] = {
      {"select a from t compute sum(a)", -1, 1, 1, 20262, nullptr},
      {"select a from t union select b from t", -1, 1, 1, 20262, nullptr},
      {"select count(a) from t", -1, 1, 1, 20263, nullptr},
      {"select max  (a) from t", -1, 1, 1, 20263, nullptr},
      {"select a from t where a = 1 order by a", 1, 1, 1, 20259, nullptr},
      {"select a from t order by a where a = 1", -1, 1, 1, 20286, nullptr},
      {"select \"from x\" a", -1, 1, 1, 20277, nullptr},
      {"update t set a = 1", -1, 1, 1, 20277, nullptr},
      {"select a from t", -1, 1, 0, 20194, "nrows"},
      {"select a from t", -1, 5, 1, 20194, "concuropt"},
      {"select a from t", -2, 1, 1, 20194, "scrollopt"},
      {"", -1, 1, 1, 20176, "stmt"},
      {"select a from nosuch", -1, 1, 1, 20283, nullptr},
      {"select a from keyless", -1, 1, 1, 20256, nullptr},
  };
  run_batch(db, "create table keyless (a int)");
  for (const Case& k : cases) {
    errors().clear();
    EXPECT_EQ(dbcursoropen(db, k.stmt, k.scroll, k.concur, k.nrows, status), nullptr) << k.stmt;
    ASSERT_FALSE(errors().empty()) << k.stmt;
    EXPECT_EQ(errors().back().number, k.err) << k.stmt;
    if (k.text) {
      EXPECT_NE(errors().back().text.find(k.text), std::string::npos) << errors().back().text;
    }
  }
  errors().clear();
  EXPECT_EQ(dbcursoropen(db, "select a from t", -1, 1, 1, nullptr), nullptr);
  EXPECT_TRUE(saw_error(20176));
  // Row buffering and DBNOAUTOFREE do not go with cursors.
  ASSERT_EQ(dbsetopt(db, DBBUFFER, "10", 0), SUCCEED);
  EXPECT_EQ(dbcursoropen(db, "select a from t", -1, 1, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20260));
  ASSERT_EQ(dbclropt(db, DBBUFFER, nullptr), SUCCEED);
  ASSERT_EQ(dbsetopt(db, DBNOAUTOFREE, nullptr, 0), SUCCEED);
  EXPECT_EQ(dbcursoropen(db, "select a from t", -1, 1, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20261));
  EXPECT_EQ(dbcursorfetch(nullptr, 1, 0), FAIL);
  dbclose(db);
}

}  // namespace
