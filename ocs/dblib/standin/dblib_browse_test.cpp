// Browse mode against the stand-in server: a "for browse" select brings the
// tables read and each column's key and expression marks; dbqual names
// the current row by its keys and timestamp, so that an update with it
// hits exactly that row, and none once the row's timestamp has changed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db_crs.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

const char* const kTable =
    "create table t (id int not null, name varchar(20) not null, ts timestamp, note varchar(10),"
    " primary key (id, name));"
    "insert into t (id, name, note) values (1, 'O''Brien', 'x'), (2, 'Smith', 'y');";

class Browse : public standin_client::StandinClient {};

// The 16 hexadecimal digits of a timestamp as SQLite holds it.
std::string ts_hex(const std::string& value) {
  unsigned long long v = std::stoull(value);
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", v);
  return buf;
}

// Runs an update and returns its row count (-1 when it failed).
DBINT update(DBPROCESS* db, const std::string& sql) {
  if (dbcmd(db, sql.c_str()) != SUCCEED || dbsqlexec(db) != SUCCEED || dbresults(db) != SUCCEED) return -1;
  DBINT n = dbcount(db);
  while (dbresults(db) == SUCCEED) {
  }
  return n;
}

TEST_F(Browse, QualifiesTheCurrentRowByKeysAndTimestamp) {
  start(kTable);
  DBPROCESS* reader = open();
  DBPROCESS* writer = open();
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(dbcmd(reader, "select id, name, ts, upper(note) big from t where id = 1 for browse"), SUCCEED);
  ASSERT_EQ(dbsqlexec(reader), SUCCEED);
  ASSERT_EQ(dbresults(reader), SUCCEED);
  // No current row yet.
  EXPECT_EQ(dbqual(reader, 1, nullptr), nullptr);
  EXPECT_TRUE(saw_error(20044));
  ASSERT_EQ(dbnextrow(reader), REG_ROW);

  const std::string ts1 = rows("select ts from t where id = 1")[0][0];
  char* q = dbqual(reader, -1, "t");
  ASSERT_NE(q, nullptr);
  const std::string qual1 = q;
  EXPECT_EQ(qual1, "where (id = 1) and (name = 'O''Brien') and tsequal(ts, 0x" + ts_hex(ts1) + ")");
  dbfreequal(q);

  EXPECT_EQ(dbtabcount(reader), 1);
  EXPECT_STREQ(dbtabname(reader, 1), "t");
  EXPECT_EQ(dbtabname(reader, 2), nullptr);
  EXPECT_EQ(dbnumkeys(reader, 1, nullptr), 2);
  EXPECT_STREQ(dbkeyname(reader, 2, 1, nullptr), "name");
  EXPECT_EQ(dbkeytype(reader, 1, 1, nullptr), MERINT4);
  EXPECT_EQ(dbkeydlen(reader, 2, 1, nullptr), 7);
  EXPECT_EQ(std::memcmp(dbkeydata(reader, 2, 1, nullptr), "O'Brien", 7), 0);
  EXPECT_STREQ(dbtsname(reader, 1, nullptr), "ts");
  EXPECT_EQ(dbtslen(reader, 1, nullptr), 8);
  EXPECT_TRUE(dbtabbrowse(reader, 1));
  EXPECT_TRUE(dbcolbrowse(reader, 2));
  EXPECT_FALSE(dbcolbrowse(reader, 4));
  EXPECT_EQ(dbcolsource(reader, 4), nullptr);  // an expression
  EXPECT_STREQ(dbcolsource(reader, 1), "id");
  int tab = 0;
  EXPECT_STREQ(dbtabsource(reader, 2, &tab), "t");
  EXPECT_EQ(tab, 1);
  EXPECT_EQ(dbtabsource(reader, 4, &tab), nullptr);
  EXPECT_EQ(tab, -1);
  EXPECT_EQ(key2colnum(reader, 2, 1), 2);

  // Another connection updates the row with the qualification: exactly
  // that row changes, and the server returns its new timestamp.
  EXPECT_EQ(update(writer, "update t set note = 'z' " + qual1), 1);
  const std::string ts2 = rows("select ts from t where id = 1")[0][0];
  EXPECT_NE(ts2, ts1);
  ASSERT_EQ(dbtsnewlen(writer), 8);
  BYTE newts[8];
  std::memcpy(newts, dbtsnewval(writer), 8);
  char hex[17] = "";
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 2 * i, 3, "%02x", newts[i]);
  EXPECT_EQ(hex, ts_hex(ts2));
  EXPECT_EQ(rows("select id, note from t order by id"), (Rows{{"1", "z"}, {"2", "y"}}));
  // The old qualification no longer finds the row, and no new timestamp
  // comes back.
  EXPECT_EQ(update(writer, "update t set note = 'w' " + qual1), 0);
  EXPECT_EQ(dbtsnewval(writer), nullptr);
  EXPECT_EQ(rows("select note from t where id = 1"), (Rows{{"z"}}));
  // The reader takes the new timestamp into its row and may update again.
  ASSERT_EQ(dbtsput(reader, newts, 8, 1, nullptr), SUCCEED);
  q = dbqual(reader, 1, nullptr);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::string(q), "where (id = 1) and (name = 'O''Brien') and tsequal(ts, 0x" + ts_hex(ts2) + ")");
  EXPECT_EQ(update(writer, std::string("update t set note = 'v' ") + q), 1);
  dbfreequal(q);
  EXPECT_EQ(dbnextrow(reader), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(reader), NO_MORE_RESULTS);
  EXPECT_EQ(rows("select id, note from t order by id"), (Rows{{"1", "v"}, {"2", "y"}}));
  dbclose(reader);
  dbclose(writer);
}

TEST_F(Browse, KeysAndTimestampLeftOutOfTheSelectListComeHidden) {
  start(kTable);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbcmd(db, "select note from t x where x.id = 2 for browse"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnumcols(db), 1);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  char* q = dbqual(db, 1, nullptr);
  ASSERT_NE(q, nullptr);
  const std::string ts = rows("select ts from t where id = 2")[0][0];
  EXPECT_EQ(std::string(q), "where (id = 2) and (name = 'Smith') and tsequal(ts, 0x" + ts_hex(ts) + ")");
  dbfreequal(q);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbclose(db);
}

}  // namespace
