// Tests of cursor fetches across keyset blocks and of row operations under
// each concurrency option: optimistic by timestamp, locking, by values with
// bound variables, and forward-only fetches of an empty result.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db_crs.h"
#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbCursorOps : public PeerTest {
 protected:
  // Runs `body` on a connection to a peer answering with `replies`; the
  // texts the peer received are kept in got_.
  template <typename F>
  void run(const std::vector<Bytes>& replies, F body) {
    Peer peer(session(replies, &got_));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    body(db);
    dbclose(db);
    peer.join();
  }
  std::vector<Bytes> got_;
};

const std::vector<Col> kTables = {
    {"qual", MERVARCHAR, 30}, {"owner", MERVARCHAR, 30}, {"name", MERVARCHAR, 30}, {"type", MERVARCHAR, 30}};
const std::vector<Col> kSpecial = {{"scope", MERVARCHAR, 5}, {"column_name", MERVARCHAR, 30}};
const std::vector<Col> kKey = {{"id", MERINT4}};
const std::vector<Col> kA = {{"a", MERINT4}};
const std::vector<Col> kAB = {{"a", MERINT4}, {"b", MERVARCHAR, 10}};

std::vector<Bytes> keys_replies() {
  return {result(kTables, {{str("db"), str("dbo"), str("t"), str("TABLE")}}),
          result(kSpecial, {{str("1"), str("id")}}), result(kKey, {})};
}
std::vector<std::vector<Val>> ids(std::initializer_list<int> v) {
  std::vector<std::vector<Val>> rows;
  for (int id : v) rows.push_back({i4(id)});
  return rows;
}
std::vector<Bytes> operator+(std::vector<Bytes> a, const std::vector<Bytes>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(DbCursorOps, MixedCursorLoadsTheNextKeysetBlock) {
  auto replies = keys_replies() +
                 std::vector<Bytes>{done(0), result(kKey, ids({1, 2, 3})), done(0), result(kA, {}),
                                    result(kA, {{i4(10)}}), result(kA, {{i4(20)}}), done(0),
                                    result(kKey, ids({3})), done(0), result(kA, {{i4(30)}})};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a from t", 2, DBCRS_READONLY, 1, status);
    ASSERT_NE(c, nullptr);
    DBINT a = 0;
    ASSERT_EQ(dbcursorbind(c, 1, INTBIND, 0, nullptr, reinterpret_cast<BYTE*>(&a), nullptr), SUCCEED);
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
  });
  ASSERT_EQ(got_.size(), 13u);
  EXPECT_EQ(sql_of(got_[3]), "set rowcount 3\n");
  EXPECT_EQ(sql_of(got_[10]), "select t.id from t  where (t.id > 2) order by t.id");
  EXPECT_EQ(sql_of(got_[12]), "select a  from t where t.id = 3");
}

TEST_F(DbCursorOps, OptimisticUpdateTestsTheTimestampAndKeepsTheNewOne) {
  const std::vector<Col> all = {{"id", MERINT4}, {"a", MERINT4}, {"ts", MERVARBINARY, 8, 80}};
  const std::vector<Col> ats = {{"a", MERINT4}, {"ts", MERVARBINARY, 8, 80}};
  Bytes ts1(8, 1), ts2(8, 2);
  auto replies = keys_replies() +
                 std::vector<Bytes>{result(all, {}), done(0), result(kKey, ids({1})), done(0), result(kA, {}),
                                    result(ats, {{i4(10), bin(ts1)}}),
                                    cat({retval_varbinary("ts", ts2), affected(1)}),
                                    result(ats, {{i4(11), bin(ts2)}}), affected(0)};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_OPTCC, 1, status);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
    EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, "t", "set a = 11"), SUCCEED);
    EXPECT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, "update t set a = 12"), FAIL);
    EXPECT_TRUE(saw_error(20276));
    EXPECT_EQ(status[0], DBCRS_ROW_FETCHED | DBCRS_ROW_ENDKEYSET | DBCRS_ROW_ENDRESULT);
  });
  ASSERT_EQ(got_.size(), 12u);
  EXPECT_EQ(sql_of(got_[3]), "select * from t where 0 = 1 ");
  EXPECT_EQ(sql_of(got_[8]), "select a ,t.ts from t where t.id = 1");
  EXPECT_EQ(sql_of(got_[9]), "update t set a = 11 where t.id = 1 and  tsequal(t.ts, 0x0101010101010101)");
  EXPECT_EQ(sql_of(got_[11]), "update t set a = 12 where t.id = 1 and  tsequal(t.ts, 0x0202020202020202)");
}

TEST_F(DbCursorOps, LockingCursorLocksEveryRowItFetches) {
  auto replies = keys_replies() + std::vector<Bytes>{done(0), result(kKey, ids({1})), done(0), result(kA, {}),
                                                     affected(1), result(kA, {{i4(10)}}), affected(1),
                                                     result(kA, {{i4(10)}})};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_LOCKCC, 1, status);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
    EXPECT_EQ(dbcursor(c, DBCRS_LOCK, 1, nullptr, nullptr), SUCCEED);
  });
  ASSERT_EQ(got_.size(), 11u);
  EXPECT_EQ(sql_of(got_[7]), "update t set t.id = t.id where t.id = 1");
  EXPECT_EQ(sql_of(got_[8]), "select a  from t where t.id = 1");
  EXPECT_EQ(sql_of(got_[9]), "update t set t.id = t.id where t.id = 1");
}

TEST_F(DbCursorOps, BoundVariablesBecomeLiteralsOfUpdateAndInsert) {
  auto replies = keys_replies() + std::vector<Bytes>{done(0), result(kKey, ids({1})), done(0), result(kAB, {}),
                                                     result(kAB, {{i4(10), str("x")}}), affected(1),
                                                     result(kAB, {{i4(11), str("q'")}}), affected(1)};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a, b from t", DBCRS_KEYSET, DBCRS_OPTCCVAL, 1, status);
    ASSERT_NE(c, nullptr);
    DBINT a = 0, alen = -1;
    char b[11] = "";
    ASSERT_EQ(dbcursorbind(c, 1, INTBIND, 0, &alen, reinterpret_cast<BYTE*>(&a), nullptr), SUCCEED);
    ASSERT_EQ(dbcursorbind(c, 2, NTBSTRINGBIND, 11, nullptr, reinterpret_cast<BYTE*>(b), nullptr), SUCCEED);
    EXPECT_EQ(dbcursorbind(c, 2, STRINGBIND, 0, nullptr, reinterpret_cast<BYTE*>(b), nullptr), FAIL);
    ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
    EXPECT_STREQ(b, "x");
    a = 11;
    std::strcpy(b, "q'");
    ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 1, nullptr, nullptr), SUCCEED);
    EXPECT_EQ(a, 11);
    alen = 0;  // a null
    ASSERT_EQ(dbcursor(c, DBCRS_INSERT, 1, nullptr, nullptr), SUCCEED);
  });
  ASSERT_EQ(got_.size(), 11u);
  EXPECT_EQ(sql_of(got_[8]), "update t set a = 11, b = 'q'''  from t where t.id = 1 and t.a = 10 and t.b = 'x'");
  EXPECT_EQ(sql_of(got_[10]), "insert t (a, b)values ( NULL , 'q''')");
}

TEST_F(DbCursorOps, TwoTableCursorsNeedATableAndAValuesText) {
  const std::vector<Col> two = {{"a", MERINT4}, {"id", MERINT4}, {"id", MERINT4}};
  Bytes table = result(kTables, {{str("db"), str("dbo"), str("x"), str("TABLE")}});
  Bytes special = result(kSpecial, {{str("1"), str("id")}});
  std::vector<Bytes> replies = {table, special, table, special, result({{"id", MERINT4}, {"id", MERINT4}}, {}),
                                result(kA, {}), done(0), result(two, {{i4(10), i4(1), i4(2)}}), done(0)};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a from t, u x", DBCRS_DYNAMIC, DBCRS_OPTCCVAL, 1, status);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
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
    ASSERT_EQ(dbsetopt(db, DBNOCOUNT, nullptr, 0), SUCCEED);
    EXPECT_EQ(dbcursor(c, DBCRS_DELETE, 1, "t", nullptr), FAIL);
    EXPECT_TRUE(saw_error(20270));
  });
  ASSERT_EQ(got_.size(), 9u);
  EXPECT_EQ(sql_of(got_[4]), "select t.id,x.id from t, u x where 0 = 1 ");
  EXPECT_EQ(sql_of(got_[7]), "select a , t.id,x.id from t, u x  order by t.id,x.id");
}

TEST_F(DbCursorOps, ForwardOnlyFirstFetchOfAnEmptyResult) {
  auto replies = keys_replies() + std::vector<Bytes>{result(kA, {}), done(0),
                                                     result({{"a", MERINT4}, {"id", MERINT4}}, {}), done(0)};
  run(replies, [](DBPROCESS* db) {
    DBINT status[1] = {-1};
    DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_FORWARD, DBCRS_READONLY, 1, status);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);
    EXPECT_TRUE(saw_error(20255));
    EXPECT_EQ(status[0], DBCRS_ROW_ENDRESULT);
    EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_PREV, 0), FAIL);
    EXPECT_TRUE(saw_error(20266));
    EXPECT_EQ(dbcursorfetch(c, DBCRS_FETCH_RANDOM, 1), FAIL);
    EXPECT_TRUE(saw_error(20264));
  });
  ASSERT_EQ(got_.size(), 7u);
  EXPECT_EQ(sql_of(got_[5]), "select a , t.id from t  order by t.id");
}

}  // namespace
