// Tests of the server character-set query: run when the connection starts
// its next command (never inside a result the caller is reading), once per
// set and process, and what a failed or unusable answer leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "comnlib/com_types.h"
#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

Bytes login_with_set(const std::string& set) {
  return cat({loginack(5), envchange(1, "master", ""), envchange(2, "us_english", ""),
              envchange(3, set, ""), capability(), done(0)});
}

// The answer of sp_serverinfo: class (smallint), id (tinyint) and the
// definition (image), then the procedure's end.
Bytes definition(int cls, int id, const Bytes& def) {
  Bytes body;
  put16(&body, 3);
  put_column(&body, "class", MERINT2);
  body.push_back(0);
  put_column(&body, "id", MERINT1);
  body.push_back(0);
  put_column(&body, "definition", MERIMAGE);
  put32(&body, 100000);
  put16(&body, 0);
  body.push_back(0);
  Bytes row = {0xD1};
  put16(&row, cls);
  row.push_back(static_cast<unsigned char>(id));
  row.push_back(16);
  row.insert(row.end(), 16 + 8, 0);
  put32(&row, static_cast<int32_t>(def.size()));
  row.insert(row.end(), def.begin(), def.end());
  Bytes retstat = {0x79};
  put32(&retstat, 0);
  return cat({rowfmt_token(body), row, done(0x11, 1, 0xFF), retstat, done(0, 0, 0xFE)});
}

// A script answering the login with `set`, then each message with the next
// reply, keeping the messages received.
Peer::Script session_in(const std::string& set, std::vector<Bytes> replies, std::vector<Bytes>* received) {
  return [set, replies, received](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_with_set(set));
    for (const Bytes& r : replies) {
      if (!c.read_message(&msg)) return;
      received->push_back(msg);
      c.send_message(r);
    }
    c.read_message(&msg);
  };
}

bool holds(const Bytes& b, const std::string& s) {
  return std::search(b.begin(), b.end(), s.begin(), s.end()) != b.end();
}

class DbCharsetQuery : public PeerTest {};

TEST_F(DbCharsetQuery, FetchedAtTheNextCommandAndOncePerProcess) {
  Bytes def(1028 + 256, 0x11);
  // The server changes its set in the middle of a result: the caller's
  // rows and count stay as they were; the next command asks for the set
  // first, and a failed query leaves the connection on the set it had.
  Bytes result = cat({varchar_result("v", {"x", "y"}), envchange(3, "cp437", "cp850"), done(0x10, 2)});
  Bytes notfound = cat({message(0xAA, 2812, 16, "Stored procedure not found."), done(0x2, 0, 0xFE)});
  std::vector<Bytes> got1, got2;
  Peer peer1(session_in("cp850", {definition(1001, 9, def), result, notfound, cat({done(0)})}, &got1));
  DBPROCESS* db = open_to(peer1, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select v");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  com_charattrib* attr = dbgetcharattrib(db);
  ASSERT_NE(attr, nullptr);
  EXPECT_EQ(std::string(attr->name, static_cast<size_t>(attr->namelen)), "cp850");
  EXPECT_EQ(attr->cs_class, 1);
  EXPECT_EQ(attr->id, 9);
  EXPECT_EQ(attr->soundex, attr->typemap + 1028);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbdata(db, 1)), 1), "y");
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbcount(db), 2);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  EXPECT_EQ(got1.size(), 2u);  // no query inside the result
  dbcmd(db, "select 2");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbgetcharattrib(db), attr);
  EXPECT_FALSE(dbdead(db));
  dbclose(db);
  peer1.join();
  ASSERT_EQ(got1.size(), 4u);
  EXPECT_TRUE(holds(got1[0], "sp_serverinfo") && holds(got1[0], "csdefinition") && holds(got1[0], "cp850"));
  EXPECT_TRUE(holds(got1[1], "select v"));
  EXPECT_TRUE(holds(got1[2], "sp_serverinfo") && holds(got1[2], "cp437"));
  EXPECT_TRUE(holds(got1[3], "select 2"));

  // A second connection to a server with the same set finds it loaded.
  Peer peer2(session_in("cp850", {cat({done(0)})}, &got2));
  db = open_to(peer2, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select 3");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbgetcharattrib(db), attr);
  dbclose(db);
  peer2.join();
  ASSERT_EQ(got2.size(), 1u);
  EXPECT_TRUE(holds(got2[0], "select 3"));
}

TEST_F(DbCharsetQuery, UnusableDefinitionsEndTheConnection) {
  struct Case {
    const char* set;
    int cls;
    size_t size;
  } cases[] = {
      {"cp1003", 1003, 2000},  // unknown class
      {"cp_short", 1001, 1000},  // too short for its Soundex table
  };
  for (const Case& c : cases) {
    errors().clear();
    std::vector<Bytes> got;
    Peer peer(session_in(c.set, {definition(c.cls, 1, Bytes(c.size, 0))}, &got));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr) << c.set;
    dbcmd(db, "select 1");
    EXPECT_EQ(dbsqlexec(db), FAIL) << c.set;
    EXPECT_TRUE(saw_error(20221)) << c.set;
    EXPECT_TRUE(dbdead(db)) << c.set;
    dbclose(db);
  }
}

}  // namespace
