// Tests of browse mode over hand-built "for browse" replies: keys and
// timestamps of the current row, dbqual, dbtsput and the new timestamp, and
// the printing of values as SQL literals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db_crs.h"
#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbBrowse : public PeerTest {};

const std::vector<Col> kCols = {
    {"id", MERINT4}, {"name", MERVARCHAR, 20}, {"ts", MERVARBINARY, 8, 80}, {"note", MERVARCHAR, 10}};
const Bytes kTs = {0, 1, 2, 3, 4, 5, 6, 0xff};

// A browse result over table "t" (keys id and name, timestamp ts) and an
// expression column.
Bytes browse_reply() {
  Bytes extra = cat({tabname({"t"}), colinfo({{1, 1, 8}, {2, 1, 8}, {3, 1, 0}, {4, 0, 4}})});
  return result(kCols, {{i4(1), str("O'Brien"), bin(kTs), str("x")}}, extra);
}

TEST_F(DbBrowse, QualifiesTheCurrentRowByKeysAndTimestamp) {
  Bytes update_reply = cat({retval_varbinary("ts", {9, 9, 9, 9, 9, 9, 9, 9}), affected(1)});
  Peer peer(session({browse_reply(), update_reply}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbcmd(db, "select id, name, ts, note from t for browse"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  // No current row yet.
  EXPECT_EQ(dbqual(db, 1, nullptr), nullptr);
  EXPECT_TRUE(saw_error(20044));
  ASSERT_EQ(dbnextrow(db), REG_ROW);

  char* q = dbqual(db, -1, "t");
  ASSERT_NE(q, nullptr);
  EXPECT_STREQ(q, "where (id = 1) and (name = 'O''Brien') and tsequal(ts, 0x00010203040506ff)");
  dbfreequal(q);

  EXPECT_EQ(dbtabcount(db), 1);
  EXPECT_STREQ(dbtabname(db, 1), "t");
  EXPECT_EQ(dbtabname(db, 2), nullptr);
  EXPECT_EQ(dbnumkeys(db, 1, nullptr), 2);
  EXPECT_STREQ(dbkeyname(db, 2, 1, nullptr), "name");
  EXPECT_EQ(dbkeytype(db, 1, 1, nullptr), MERINT4);
  EXPECT_EQ(dbkeytype(db, 3, 1, nullptr), 255);
  EXPECT_EQ(dbkeydlen(db, 2, 1, nullptr), 7);
  EXPECT_EQ(std::memcmp(dbkeydata(db, 2, 1, nullptr), "O'Brien", 7), 0);
  EXPECT_STREQ(dbtsname(db, 1, nullptr), "ts");
  EXPECT_EQ(dbtslen(db, 1, nullptr), 8);
  EXPECT_TRUE(dbtabbrowse(db, 1));
  EXPECT_TRUE(dbcolbrowse(db, 2));
  EXPECT_FALSE(dbcolbrowse(db, 4));
  EXPECT_EQ(dbcolsource(db, 4), nullptr);  // an expression
  EXPECT_STREQ(dbcolsource(db, 1), "id");
  int tab = 0;
  EXPECT_STREQ(dbtabsource(db, 2, &tab), "t");
  EXPECT_EQ(tab, 1);
  EXPECT_EQ(dbtabsource(db, 4, &tab), nullptr);
  EXPECT_EQ(tab, -1);
  EXPECT_EQ(key2colnum(db, 2, 1), 2);
  EXPECT_EQ(tabname2num(db, "u"), -1);

  // A longer new timestamp goes into the row; a bad one is refused.
  const BYTE longer[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(dbtsput(db, longer, 10, 1, nullptr), SUCCEED);
  EXPECT_EQ(dbtslen(db, 1, nullptr), 10);
  EXPECT_EQ(std::memcmp(dbtimestamp(db, 1, nullptr), longer, 10), 0);
  EXPECT_EQ(dbtsput(db, longer, 0, 1, nullptr), FAIL);
  EXPECT_TRUE(saw_error(20061));
  EXPECT_EQ(dbtsput(db, longer, 4, 7, nullptr), SUCCEED);  // unknown table: nothing changes
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);

  // The server's new timestamp after a browse update.
  ASSERT_EQ(dbcmd(db, "update t set note = 'y' where ..."), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbtsnewlen(db), 8);
  ASSERT_NE(dbtsnewval(db), nullptr);
  EXPECT_EQ(dbtsnewval(db)[0], 9);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  dbclose(db);
}

TEST_F(DbBrowse, PrintWidthsByDatatype) {
  struct Case {
    int type, len, width;
  } cases[] = {{MERCHAR, 10, 22}, {MERVARBINARY, 8, 18}, {MERINTN, 2, 6},  {MERINT4, 4, 11},
               {MERMONEY, 8, 25}, {MERFLTN, 8, 20},      {MERDATETIMN, 4, 28}, {MERNUMERIC, 35, 79},
               {MERINT4, 0, 5}};
  for (const Case& c : cases) EXPECT_EQ(db__prlen(nullptr, c.type, c.len), c.width) << c.type;
  // Lengths that no such value has.
  struct Bad {
    int type, len, err;
  } bad[] = {{MERINTN, 3, 20025}, {MERFLTN, 2, 20145}, {MERMONEYN, 5, 20144}, {MERDATETIMN, 6, 20143}, {200, 4, 20060}};
  for (const Bad& b : bad) {
    errors().clear();
    EXPECT_EQ(db__prlen(nullptr, b.type, b.len), -1);
    EXPECT_TRUE(saw_error(b.err)) << b.type;
  }
}

TEST_F(DbBrowse, PrintsValuesAsSqlLiterals) {
  int32_t i = -42;
  DBMONEY m{0, 125000};  // 12.5
  DBMONEY4 m4{-5000};    // -0.5
  DBDATETIME dt{0, 0};
  const BYTE b[] = {0xab, 0x01};
  struct Case {
    int type;
    const void* v;
    int len;
    const char* want;
  } cases[] = {
      {MERINT4, &i, 4, "-42"},
      {MERCHAR, "it's", 4, "'it''s'"},
      {MERVARBINARY, b, 2, "0xab01"},
      {MERMONEY, &m, 8, "$12.5000"},
      {MERMONEY4, &m4, 4, "$-0.5000"},
      {MERMONEYN, &m4, 4, "$-0.5000"},
      {MERDATETIME, &dt, 8, "'Jan  1 1900 12:00:00:000AM'"},
      {MERCHAR, "x", 0, "NULL "},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(db__crs_write_buf(nullptr, c.type, c.len, static_cast<const BYTE*>(c.v), &out), 1) << c.want;
    EXPECT_EQ(out, c.want);
    int width = db__prlen(nullptr, c.type, c.len);
    std::vector<char> dest(static_cast<std::size_t>(width) + 1);
    EXPECT_EQ(db__print_chardata(nullptr, static_cast<const BYTE*>(c.v), c.len, c.type, width, dest.data()), 1);
    EXPECT_STREQ(dest.data(), c.want);
  }
  // A quoted text that does not fit its width fails.
  char small[8];
  EXPECT_EQ(db__print_chardata(nullptr, reinterpret_cast<const BYTE*>("''''"), 4, MERCHAR, 7, small), 0);
}

}  // namespace
