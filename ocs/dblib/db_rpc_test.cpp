// Remote procedure calls and event notifications against scripted peers
// that break the token format: a return value overrunning its length and
// malformed notifications end the connection.  Calls and events against a
// server are tested in standin/dblib_rpc_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

class DbRpc : public PeerTest {};

// One entry of a nullable fixed or a varchar datatype holding `value`.
Bytes entry(const std::string& name, int status, int type, Bytes value) {
  return retvalue_entry(name, status, type, type == 39 ? 30 : static_cast<int>(value.size()), value);
}

// An event notification named `name`: its parameter tokens and its DONE.
Bytes event(const std::string& name, Bytes params, int done_status = 0x40) {
  Bytes b = {0xA2};
  put16(&b, 1 + static_cast<int>(name.size()));
  b.push_back(static_cast<unsigned char>(name.size()));
  putstr(&b, name);
  return cat({b, params, done(done_status)});
}

}  // namespace

// A RETURNVALUE whose entries run past its length: the stream is out of
// step and the connection ends.
TEST_F(DbRpc, ReturnValueOverrunningItsLengthKillsTheConnection) {
  Bytes rv = retvalue({entry("@a", 1, 38, {0, 0, 0, 1})});
  rv[2] = static_cast<unsigned char>(rv[2] - 2);  // the entry is 2 bytes longer
  Peer peer(session({cat({rv, Bytes{0, 0}, done(0, 0, 0xFE)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbrpcinit(db, "p", 0), SUCCEED);
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  EXPECT_EQ(dbsqlok(db), FAIL);
  EXPECT_TRUE(saw_error(20020));
  EXPECT_TRUE(dbdead(db));
  dbclose(db);
}

// A return value of a nullable fixed datatype is as long as its maximum
// length says (its type goes by that length): another length ends the
// reading with the datatype's length error and the connection dead, and no
// value shorter than its type is offered.
TEST_F(DbRpc, NullableFixedReturnValueOfAnotherLengthKillsTheConnection) {
  const struct {
    int type, maxlen;
    Bytes value;
    int err;
  } cases[] = {{38, 4, {0, 0, 1}, 20025}, {38, 2, {0, 0, 0, 1}, 20025},
               {109, 8, {0, 0, 0, 0}, 20145}, {110, 4, {1, 2}, 20144},
               {111, 8, {0, 0, 0, 0, 0, 0, 0}, 20143}};
  for (const auto& c : cases) {
    reset_handlers();
    Bytes rv = retvalue({retvalue_entry("@a", 1, c.type, c.maxlen, c.value)});
    Peer peer(session({cat({rv, Bytes{0x79}, Bytes{0, 0, 0, 0}, done(0, 0, 0xFE), done()})}));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(dbrpcinit(db, "p", 0), SUCCEED);
    ASSERT_EQ(dbrpcsend(db), SUCCEED);
    std::string what = "type " + std::to_string(c.type) + " of " + std::to_string(c.maxlen) +
                       " with " + std::to_string(c.value.size());
    EXPECT_EQ(dbsqlok(db), FAIL) << what;
    EXPECT_TRUE(saw_error(c.err)) << what;
    EXPECT_TRUE(dbdead(db)) << what;
    EXPECT_EQ(dbretdata(db, 1), nullptr) << what;
    dbclose(db);
  }
}

// A notification that breaks its own format ends the connection.
TEST_F(DbRpc, MalformedEventKillsTheConnection) {
  struct Case {
    const char* what;
    Bytes tokens;
  };
  Bytes ok_param = retvalue({entry("@n", 1, 38, {0, 0, 0, 5})});
  Bytes two_entries = retvalue({entry("@n", 1, 38, {0, 0, 0, 5}), entry("@m", 1, 38, {0, 0, 0, 6})});
  Bytes long_name = {0xA2, 0, 4, 2, 'e', 'v', 'x'};
  const Case cases[] = {
      {"length not used exactly", cat({long_name, done(0x40)})},
      {"a parameter token of two entries", event("e", two_entries)},
      {"a row inside the event", cat({Bytes{0xA2, 0, 2, 1, 'e'}, ok_param, Bytes{0xD1, 1, 'x'}, done(0x40)})},
  };
  for (const Case& c : cases) {
    reset_handlers();
    Peer peer(session({cat({varchar_result("c", {"a"}), c.tokens, done(0x10, 1)})}));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(dbcmd(db, "select c from t"), SUCCEED);
    ASSERT_EQ(dbsqlexec(db), SUCCEED);
    ASSERT_EQ(dbresults(db), SUCCEED);
    // The row before the event is read in the same call, which fails.
    EXPECT_EQ(dbnextrow(db), FAIL) << c.what;
    EXPECT_TRUE(saw_error(20020)) << c.what;
    EXPECT_TRUE(dbdead(db)) << c.what;
    dbclose(db);
    dbexit();
  }
}
