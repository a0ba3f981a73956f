// Tests of how a cursor finds the keys of its tables (catalogue procedure
// in another database, system tables, views) and loads its keyset.
#include <gtest/gtest.h>

#include <string>

#include "db_crs.h"
#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbCursorKeys : public PeerTest {};

const std::vector<Col> kName = {{"name", MERVARCHAR, 30}};
const std::vector<Col> kTables = {
    {"qual", MERVARCHAR, 30}, {"owner", MERVARCHAR, 30}, {"name", MERVARCHAR, 30}, {"type", MERVARCHAR, 30}};
const std::vector<Col> kSpecial = {{"scope", MERVARCHAR, 5}, {"column_name", MERVARCHAR, 30}};
const std::vector<Col> kKey = {{"id", MERINT4}};
const std::vector<Col> kA = {{"a", MERINT4}};

Bytes table_row(const char* type) { return result(kTables, {{str("db"), str("dbo"), str("x"), str(type)}}); }
Bytes use_reply(const std::string& to, const std::string& from) {
  return cat({envchange(1, to, from), done(0)});
}

TEST_F(DbCursorKeys, TableOfAnotherDatabaseIsLookedUpThereAndTheDatabaseRestored) {
  std::vector<Bytes> got;
  std::vector<Bytes> replies = {
      // A table without a unique key: the open fails, the database is restored.
      result(kName, {{str("master")}}), use_reply("other", "master"), table_row("TABLE"),
      result(kSpecial, {}), use_reply("master", "other"),
      // A table with one.
      result(kName, {{str("master")}}), use_reply("other", "master"), table_row("TABLE"),
      result(kSpecial, {{str("1"), str("id")}}), use_reply("master", "other"), result(kKey, {}),
      result(kA, {})};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from other..t", DBCRS_FORWARD, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20256));
  EXPECT_STREQ(dbname(db), "master");
  DBCURSOR* c = dbcursoropen(db, "select a from other..t", DBCRS_FORWARD, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(dbname(db), "master");
  dbclose(db);
  peer.join();
  const char* want[] = {
      "select db_name()",
      "use other",
      "sp_tables @table_name = 't'",
      "sp_special_columns @table_name = 't'  , @table_qualifier = 'other' ",
      "use master",
  };
  ASSERT_EQ(got.size(), 12u);
  for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(sql_of(got[i]), want[i]) << i;
  EXPECT_EQ(sql_of(got[10]), "select other..t.id from other..t where 0 = 1 ");
  EXPECT_EQ(sql_of(got[11]), "select a  from other..t where 0 = 1 ");
}

TEST_F(DbCursorKeys, FallsBackToTheSystemTablesWhenTheCatalogueProcedureFails) {
  std::vector<Bytes> got;
  const std::vector<Col> idx = {{"indid", MERINT2}, {"status", MERINT2}, {"keycnt", MERINT2}};
  std::vector<Bytes> replies = {
      table_row("TABLE"),
      cat({message(0xAA, 2812, 16, "Stored procedure not found."), done(0x2)}),
      result(idx, {{i2(1), i2(0), i2(1)}, {i2(2), i2(2), i2(2)}, {i2(3), i2(2), i2(1)}}),
      result(kName, {{str("k1")}}),
      result(kName, {{str("k2")}}),
      result({{"k1", MERINT4}, {"k2", MERINT4}}, {}),
      result(kA, {})};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  DBCURSOR* c = dbcursoropen(db, "select a from t where a > 0", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr) << (errors().empty() ? 0 : errors().back().number);
  EXPECT_TRUE(errors().empty());  // the failing procedure was silent
  EXPECT_TRUE(messages().empty());
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(sql_of(got[2]),
            "select indid, status, keycnt from sysindexes where indid >= 1 and id = OBJECT_ID('t') "
            "order by indid, keycnt ");
  EXPECT_EQ(sql_of(got[3]), "select INDEX_COL('t', 2, 1) ");
  EXPECT_EQ(sql_of(got[4]), "select INDEX_COL('t', 2, 2) ");
  EXPECT_EQ(sql_of(got[5]), "select t.k1,t.k2 from t  where 0 = 1 ");
  EXPECT_EQ(sql_of(got[6]), "select a  from t  where 0 = 1 ");
}

TEST_F(DbCursorKeys, ViewsTakeTheirKeysFromTheBrowseInformation) {
  std::vector<Bytes> got;
  const std::vector<Col> view = {{"a", MERINT4}, {"k", MERINT4}};
  Bytes hidden_key = result(view, {}, cat({tabname({"base"}), colinfo({{1, 1, 0}, {2, 1, 0x18}})}));
  Bytes key = result(view, {}, cat({tabname({"base"}), colinfo({{1, 1, 0}, {2, 1, 0x08}})}));
  std::vector<Bytes> replies = {table_row("VIEW"), table_row("view"), hidden_key, table_row("VIEW"),
                                key, result({{"k", MERINT4}}, {}), result(kA, {})};
  Peer peer(session(replies, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from v, u", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20257));
  EXPECT_EQ(dbcursoropen(db, "select a from v", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20258));
  DBCURSOR* c = dbcursoropen(db, "select a from v", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->nbrowse, 1);
  ASSERT_EQ(c->keys.size(), 1u);
  EXPECT_EQ(c->keys[0].name, "k");
  EXPECT_EQ(dbcursorclose(c), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(sql_of(got[2]), "select  * from v where 0 = 1 for browse ");
}

TEST_F(DbCursorKeys, FullyKeysetDrivenCursorNeedsItsWholeResultInTheKeyset) {
  for (int n : {1000, 1001}) {
    reset_handlers();
    std::vector<std::vector<Val>> rows;
    for (int i = 1; i <= n; ++i) rows.push_back({i4(i)});
    std::vector<Bytes> replies = {table_row("TABLE"), result(kSpecial, {{str("1"), str("id")}}),
                                  result(kKey, {}), done(0), result(kKey, rows), done(0), result(kA, {})};
    Peer peer(session(replies));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    DBINT status[1];
    DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_READONLY, 1, status);
    if (n == 1000) {
      ASSERT_NE(c, nullptr);
      DBINT nrows = 0;
      EXPECT_EQ(dbcursorinfo(c, nullptr, &nrows), SUCCEED);
      EXPECT_EQ(nrows, 1000);
      EXPECT_EQ(c->flags & (CRS_ATEND | CRS_ALLIN), CRS_ATEND | CRS_ALLIN);
    } else {
      EXPECT_EQ(c, nullptr);
      EXPECT_TRUE(saw_error(20278));
    }
    dbclose(db);
    peer.join();
  }
}

}  // namespace
