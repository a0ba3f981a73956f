// Tests of binding: a column bound again between rows is converted the way
// of its latest binding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbBind : public PeerTest {};

// A float value as the server sends it (big-endian).
Val flt8(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  Val v;
  for (int s = 56; s >= 0; s -= 8) v.bytes.push_back(static_cast<unsigned char>(u >> s));
  return v;
}

TEST_F(DbBind, ColumnBoundAgainBetweenRowsIsConvertedTheNewWay) {
  // Float to float and float to text use routines called differently: the
  // second binding must not be called the way of the first.
  const std::vector<Col> cols = {{"f", MERFLT8}};
  Peer peer(session({result(cols, {{flt8(2.5)}, {flt8(-0.75)}, {flt8(4.0)}})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select f");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  double d = 0;
  char text[32] = "";
  ASSERT_EQ(dbbind(db, 1, FLT8BIND, 0, reinterpret_cast<BYTE*>(&d)), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(d, 2.5);
  ASSERT_EQ(dbbind(db, 1, NTBSTRINGBIND, sizeof text, reinterpret_cast<BYTE*>(text)), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(text), "-0.75");
  EXPECT_EQ(d, 2.5);  // no longer bound
  ASSERT_EQ(dbbind(db, 1, FLT8BIND, 0, reinterpret_cast<BYTE*>(&d)), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(d, 4.0);
  EXPECT_EQ(std::string(text), "-0.75");
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbclose(db);
  peer.join();
}

// A datetime bound as text is written in the connection's date style, the
// short form while DBDATESHORT is set, row by row.
TEST_F(DbBind, DatetimeBoundAsTextTakesTheConnectionsDateStyle) {
  const std::vector<Col> cols = {{"d", MERDATETIME}};
  Val noon;  // 1 January 1999, 12:30
  put32(&noon.bytes, 36159);
  put32(&noon.bytes, 12 * 1080000 + 30 * 18000);
  Peer peer(session({result(cols, {{noon}, {noon}, {noon}})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select d");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  char text[27] = "";
  ASSERT_EQ(dbbind(db, 1, STRINGBIND, sizeof text, reinterpret_cast<BYTE*>(text)), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(text), "Jan  1 1999 12:30:00:000PM");
  ASSERT_EQ(dbsetopt(db, DBDATESHORT, nullptr, 0), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(text), "Jan  1 1999 12:30PM       ");  // padded to the variable
  ASSERT_EQ(dbclropt(db, DBDATESHORT, nullptr), SUCCEED);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(text), "Jan  1 1999 12:30:00:000PM");
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbclose(db);
  peer.join();
}

}  // namespace
