// Tests of client cursors against scripted peers: opening (checks, keys,
// keyset), fetching keyset-driven and dynamic cursors into bound arrays,
// row operations, and the SQL texts the cursor sends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db_crs.h"
#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbCursor : public PeerTest {};

const std::vector<Col> kTables = {
    {"qual", MERVARCHAR, 30}, {"owner", MERVARCHAR, 30}, {"name", MERVARCHAR, 30}, {"type", MERVARCHAR, 30}};
const std::vector<Col> kSpecial = {{"scope", MERVARCHAR, 5}, {"column_name", MERVARCHAR, 30}};
const std::vector<Col> kKey = {{"id", MERINT4}};
const std::vector<Col> kAB = {{"a", MERINT4}, {"b", MERVARCHAR, 10}};
const std::vector<Col> kABKey = {{"a", MERINT4}, {"b", MERVARCHAR, 10}, {"id", MERINT4}};

// The replies to opening a cursor over "select a, b from t" whose key is id.
std::vector<Bytes> open_replies(bool keyset, const std::vector<int>& ids) {
  std::vector<Bytes> r = {result(kTables, {{str("db"), str("dbo"), str("t"), str("TABLE")}}),
                          result(kSpecial, {{str("1"), str("id")}}), result(kKey, {})};
  if (keyset) {
    std::vector<std::vector<Val>> rows;
    for (int id : ids) rows.push_back({i4(id)});
    r.push_back(done(0));  // set rowcount
    r.push_back(result(kKey, rows));
    r.push_back(done(0));  // set rowcount back
  }
  r.push_back(result(kAB, {}));
  return r;
}

std::vector<Bytes> operator+(std::vector<Bytes> a, const std::vector<Bytes>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(DbCursor, KeysetCursorFetchesByKeysIntoBoundArrays) {
  std::vector<Bytes> got;
  auto replies = open_replies(true, {1, 2, 3}) +
                 std::vector<Bytes>{result(kAB, {{i4(10), str("ten")}}), result(kAB, {{i4(20), null()}}),
                                    result(kAB, {{i4(30), str("thirty")}}), result(kAB, {})};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[2] = {-1, -1};
  DBCURSOR* c = dbcursoropen(db, "  select a, b from t", DBCRS_KEYSET, DBCRS_READONLY, 2, status);
  ASSERT_NE(c, nullptr) << (errors().empty() ? 0 : errors().back().number);
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
  ASSERT_EQ(dbcursorbind(c, 1, INTBIND, 0, alen, reinterpret_cast<BYTE*>(a), nullptr), SUCCEED);
  ASSERT_EQ(dbcursorbind(c, 2, NTBSTRINGBIND, 11, blen, reinterpret_cast<BYTE*>(b), nullptr), SUCCEED);

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

  // The row was deleted since: a refresh finds it missing.
  EXPECT_EQ(dbcursor(c, DBCRS_REFRESH, 1, nullptr, nullptr), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_MISSING);
  // Read-only cursors neither update nor lock.
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 1"), FAIL);
  EXPECT_TRUE(saw_error(20269));
  dbclose(db);  // releases the cursor
  peer.join();

  const char* want[] = {
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
  };
  ASSERT_GE(got.size(), std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(sql_of(got[i]), want[i]) << i;
}

TEST_F(DbCursor, DynamicCursorContinuesAfterTheKeysOfItsBuffer) {
  std::vector<Bytes> got;
  auto replies = open_replies(false, {}) +
                 std::vector<Bytes>{done(0),
                                    result(kABKey, {{i4(10), str("x"), i4(1)},
                                                    {i4(20), str("y"), i4(2)},
                                                    {i4(30), str("z"), i4(3)}}),
                                    done(0), done(0), result(kABKey, {{i4(30), str("z"), i4(3)}}), done(0),
                                    done(0), result(kABKey, {{i4(20), str("y"), i4(2)}}),
                                    result(kABKey, {{i4(20), str("y"), i4(2)}}), done(0)};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
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

  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED);
  EXPECT_EQ(status[1], DBCRS_ROW_FETCHED);
  ASSERT_EQ(lens[1], 1);
  EXPECT_EQ(ptrs[1][0], 'y');
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(ptrs[0][0], 'z');
  // Backwards: one row before id 3, moved to the front of the buffer.
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), SUCCEED);
  EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDRESULT);
  EXPECT_EQ(status[1], 0);
  EXPECT_EQ(ptrs[0][0], 'y');
  EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_LAST, 0), FAIL);
  EXPECT_TRUE(saw_error(20265));
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
  peer.join();

  const char* want[] = {
      "set rowcount 3\n",
      "select a, b , t.id from t  order by t.id",
      "set rowcount 0\n",
      "set rowcount 3\n",
      "select a, b , t.id from t where (t.id > 2) order by t.id",
      "set rowcount 0\n",
      "set rowcount 2\n",
      "select a, b , t.id from t where (t.id < 3) order by t.id desc",
      "select a, b , t.id from t where t.id = 2",
      "set rowcount 0\n",
  };
  ASSERT_GE(got.size(), 4 + std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(sql_of(got[4 + i]), want[i]) << i;
}

TEST_F(DbCursor, OpenRefusesBadStatementsAndOptions) {
  Peer peer(session({}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  struct Case {
    const char* stmt;
    int scroll, concur, nrows, err;
    const char* text;  // expected in the error text, or null
  } cases[] = {
      {"select a from t compute sum(a)", -1, 1, 1, 20262, nullptr},
      {"select a from t union select b from u", -1, 1, 1, 20262, nullptr},
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
  };
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

TEST_F(DbCursor, RowOperationsNameTheRowByItsKeysAndValues) {
  std::vector<Bytes> got;
  auto replies = open_replies(true, {1, 2}) +
                 std::vector<Bytes>{result(kAB, {{i4(10), str("it's")}}), result(kAB, {{i4(20), str("y")}}),
                                    affected(1), result(kAB, {{i4(11), str("it's")}}), affected(0),
                                    affected(1)};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[2];
  DBCURSOR* c = dbcursoropen(db, "select a, b from t", DBCRS_KEYSET, DBCRS_OPTCCVAL, 2, status);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
  struct Bad {
    int op, row;
    const char* values;
    int err;
  } bad[] = {
      {DBCRS_UPDATE, 1, "set a = 1 where a = 2", 20273},
      {DBCRS_UPDATE, 1, "a = 1", 20274},
      {DBCRS_UPDATE, 1, nullptr, 20279},
      {DBCRS_DELETE, 0, nullptr, 20194},
      {DBCRS_INSERT, 1, "(1, 'a')", 20274},
      {9, 1, nullptr, 20194},
  };
  for (const Bad& k : bad) {
    errors().clear();
    EXPECT_EQ(dbcursor(c, k.op, k.row, nullptr, k.values), FAIL) << k.err;
    EXPECT_TRUE(saw_error(k.err)) << k.err;
  }
  ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 11"), SUCCEED);
  errors().clear();
  EXPECT_EQ(dbcursor(c, DBCRS_DELETE, 2, "t", nullptr), FAIL);  // the row changed meanwhile
  EXPECT_TRUE(saw_error(20276));
  EXPECT_EQ(dbcursor(c, DBCRS_INSERT, 1, nullptr, "values (5, 'new')"), SUCCEED);
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
  peer.join();

  const char* want[] = {
      "update t set a = 11  from t where t.id = 1 and t.a = 10 and t.b = 'it''s'",
      "select a, b  from t where t.id = 1",
      "delete t  from t where t.id = 2 and t.a = 20 and t.b = 'y'",
      "insert t values (5, 'new') ",
  };
  ASSERT_EQ(got.size(), 9 + std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(sql_of(got[9 + i]), want[i]) << i;
}

TEST(DbCursorSql, PhraseSearchAndDynamicConditions) {
  struct Case {
    const char* text;
    const char* phrase;
    int mode;
    long at;
  } cases[] = {
      {"  SELECT a FROM t", "from ", 0, 11},
      {"select \"a from b\" from t", "from ", 0, 18},
      {"select x from t where y=1", "where ", 0, 16},
      {"select a,count(b) from t", "count", 1, 9},
      {"select a,count(b) from t", "count", 0, -1},
      {"select afrom t", "from ", 0, -1},
      {"select a from\t\tt", "from ", 0, 9},
  };
  for (const Case& k : cases) EXPECT_EQ(db__crs_search_phrase(k.text, k.phrase, k.mode), k.at) << k.text;

  CURSORREC c;
  c.keyset_rows = 1;
  CURSORKEY k1, k2;
  k1.name = "t.a";
  k1.type = MERINT4;
  k1.maxlen = 4;
  k1.data.assign(4, 0);
  k1.lens = {0};  // a null
  k2.name = "t.b";
  k2.type = MERINT4;
  k2.maxlen = 4;
  int32_t v = 7;
  k2.data.assign(reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4);
  k2.lens = {4};
  c.keys = {k1, k2};
  std::string next, prev;
  ASSERT_EQ(db__crs_bld_dynamic_where(&c, 2, &next), 1);
  EXPECT_EQ(next, "(t.a is not NULL) or (t.a is NULL  and t.b > 7)");
  ASSERT_EQ(db__crs_bld_dynamic_where(&c, 3, &prev), 1);
  EXPECT_EQ(prev, "(t.a is NULL  and t.b < 7)");
}

}  // namespace
