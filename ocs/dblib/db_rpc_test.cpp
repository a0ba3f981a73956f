// Tests of remote procedure calls and event notifications against scripted
// peers: parameter values on the wire, return values in host order and
// their numbering, events inside answers and result sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comnlib/comn_alloc.h"
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

template <typename T>
T host_value(const BYTE* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// Every fixed-size value goes out big-endian, whatever the host's order;
// character bytes go as they are.
TEST_F(DbRpc, ParameterValuesGoOutBigEndian) {
  std::vector<Bytes> got;
  Peer peer(session({done(0, 0, 0xFE)}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT one = 1;
  DBSMALLINT small = -2;
  DBTINYINT tiny = 7;
  DBFLT8 dbl = 2.5;
  DBREAL real = -1.5f;
  DBMONEY money{1, 0x80000002u};
  DBMONEY4 money4{300};
  DBDATETIME dt{36524, 300};
  DBDATETIME4 dt4{0x0102, 0x0304};
  DBBIT bit = 1;
  DBINT intn = 0x01020304;
  struct Case {
    int type;
    DBINT maxlen, datalen;
    const void* value;
    Bytes wire;  // length byte (variable datatypes) and value
  };
  const Case cases[] = {
      {MERINT4, -1, 4, &one, {4, 0, 0, 0, 1}},
      {MERINT2, -1, -1, &small, {2, 0xFF, 0xFE}},
      {MERINT1, -1, -1, &tiny, {1, 7}},
      {MERFLT8, -1, -1, &dbl, {8, 0x40, 0x04, 0, 0, 0, 0, 0, 0}},
      {MERREAL, -1, -1, &real, {4, 0xBF, 0xC0, 0, 0}},
      {MERMONEY, -1, -1, &money, {8, 0, 0, 0, 1, 0x80, 0, 0, 2}},
      {MERMONEY4, -1, -1, &money4, {4, 0, 0, 1, 0x2C}},
      {MERDATETIME, -1, -1, &dt, {8, 0, 0, 0x8E, 0xAC, 0, 0, 1, 0x2C}},
      {MERDATETIME4, -1, -1, &dt4, {4, 1, 2, 3, 4}},
      {MERBIT, -1, -1, &bit, {1}},
      {MERINTN, 4, 4, &intn, {4, 1, 2, 3, 4}},
      {MERINT4, -1, 0, nullptr, {0}},
      {MERCHAR, -1, 3, "abc", {3, 'a', 'b', 'c'}},
  };
  ASSERT_EQ(dbrpcinit(db, "p", 0), SUCCEED);
  Bytes expected;
  for (const Case& c : cases) {
    ASSERT_EQ(dbrpcparam(db, "@v", c.type == MERINT4 && c.value ? DBRPCRETURN : 0, c.type, c.maxlen,
                         c.datalen, static_cast<const BYTE*>(c.value)),
              SUCCEED)
        << c.type;
    expected.insert(expected.end(), c.wire.begin(), c.wire.end());
  }
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  ASSERT_EQ(dbsqlok(db), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(rpc_params_of(got[0]), expected);
}

// A nullable fixed datatype of a size the server has no such type for
// would desynchronise the call; it is refused.
TEST_F(DbRpc, NullableParameterOfAnImpossibleSizeIsRefused) {
  Peer peer(session({}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT v = 5;
  double d = 1;
  ASSERT_EQ(dbrpcinit(db, "p", 0), SUCCEED);
  EXPECT_EQ(dbrpcparam(db, "@a", 0, MERINTN, 3, 3, reinterpret_cast<BYTE*>(&v)), FAIL);
  EXPECT_EQ(dbrpcparam(db, "@b", 0, MERFLTN, 16, 16, reinterpret_cast<BYTE*>(&d)), FAIL);
  EXPECT_TRUE(saw_error(20114));
  EXPECT_EQ(dbrpcparam(db, "@c", 0, MERFLTN, 8, 8, reinterpret_cast<BYTE*>(&d)), SUCCEED);
  dbclose(db);
}

// Return values arrive big-endian and are handed out in host order; only
// output parameters (status bit 1) are numbered.
TEST_F(DbRpc, ReturnValuesInHostOrderNumberingOnlyOutputParameters) {
  Bytes rv = retvalue({
      entry("@count", 1, 38, {0, 0, 0, 42}),
      entry("@in", 0, 38, {0, 0, 0, 9}),
      entry("@ratio", 1, 109, {0x40, 0x04, 0, 0, 0, 0, 0, 0}),
      entry("@when", 1, 111, {0, 0, 0x8E, 0xAC, 0, 0, 1, 0x2C}),
      entry("@cost", 1, 110, {0, 0, 0, 1, 0x80, 0, 0, 2}),
      entry("@small", 1, 38, {0xFF, 0xF7}),
      entry("@name", 1, 39, {'a', 'b'}),
  });
  Bytes status = {0x79, 0, 0, 0, 0};
  Peer peer(session({cat({status, rv, done(0, 0, 0xFE)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbrpcinit(db, "p", 0), SUCCEED);
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  ASSERT_EQ(dbsqlok(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  ASSERT_EQ(dbnumrets(db), 6);
  EXPECT_STREQ(dbretname(db, 1), "@count");
  EXPECT_STREQ(dbretname(db, 2), "@ratio");
  EXPECT_EQ(dbrettype(db, 1), MERINT4);
  EXPECT_EQ(host_value<DBINT>(dbretdata(db, 1)), 42);
  EXPECT_EQ(host_value<DBFLT8>(dbretdata(db, 2)), 2.5);
  DBDATETIME dt = host_value<DBDATETIME>(dbretdata(db, 3));
  EXPECT_EQ(dt.days, 36524);
  EXPECT_EQ(dt.ticks, 300);
  DBMONEY m = host_value<DBMONEY>(dbretdata(db, 4));
  EXPECT_EQ(m.high, 1);
  EXPECT_EQ(m.low, 0x80000002u);
  EXPECT_EQ(dbrettype(db, 5), MERINT2);
  EXPECT_EQ(host_value<DBSMALLINT>(dbretdata(db, 5)), -9);
  EXPECT_EQ(dbretlen(db, 6), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbretdata(db, 6)), 2), "ab");
  EXPECT_EQ(dbretname(db, 7), nullptr);
  EXPECT_EQ(dbretlen(db, 7), -1);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  dbclose(db);
}

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

namespace {

struct HandlerCall {
  std::string name;
  int nparams = 0;
  int numrets = 0;
  bool flagged = false;
  std::string firstname;
  DBINT firstvalue = 0;
};
std::vector<HandlerCall> g_calls;

int recording_handler(DBPROCESS* db, char* name, int, int nparams) {
  HandlerCall c;
  c.name = name;
  c.nparams = nparams;
  c.numrets = dbnumrets(db);
  c.flagged = (db->status & DBST_EVENTHANDLER) != 0;
  if (dbretname(db, 1)) c.firstname = dbretname(db, 1);
  if (dbretdata(db, 1)) c.firstvalue = host_value<DBINT>(dbretdata(db, 1));
  g_calls.push_back(c);
  return 1;
}

}  // namespace

// An event in the middle of a result set: reported (20185, through the
// error handler), its parameters dropped, and the rows after it read.
// An event ahead of the results and another between results go the same
// way; the DONE of an event leaves the batch's count alone.
TEST_F(DbRpc, UnsolicitedEventsAreReportedAndReadingGoesOn) {
  Bytes param = retvalue({entry("@n", 1, 38, {0, 0, 0, 5})});
  Bytes rows = varchar_result("c", {"a", "b"});
  Bytes more = {0xD1, 1, 'c'};
  Bytes reply = cat({event("early", param), rows, event("alert", param), more, done(0x11, 3),
                     event("between", {}), varchar_result("d", {"x"}), done(0x10, 1)});
  Peer peer(session({reply}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbcmd(db, "select c from t"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  std::string seen;
  int r;
  while ((r = dbnextrow(db)) == REG_ROW) seen += std::string(reinterpret_cast<char*>(dbdata(db, 1)), 1);
  EXPECT_EQ(r, NO_MORE_ROWS);
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(dbcount(db), 3);
  EXPECT_EQ(dbnumrets(db), 0);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  int reported = 0;
  for (const Seen& s : errors())
    if (s.number == 20185) {
      ++reported;
      EXPECT_EQ(s.text, "Unsolicited event notification received.");
    }
  EXPECT_EQ(reported, 3);
  EXPECT_FALSE(dbdead(db));
  dbclose(db);
}

// An event with a handler of its own: the handler sees the event's name
// and parameters, numbered as return parameters in host order.
TEST_F(DbRpc, EventHandlerSeesTheEventsParameters) {
  g_calls.clear();
  Bytes params = cat({retvalue({entry("@id", 0, 38, {0, 0, 1, 0})}), message(0xAB, 5701, 0, "note"),
                      retvalue({entry("@x", 0, 38, {0, 0, 0, 2})})});
  Bytes reply = cat({varchar_result("c", {"a"}), event("watch", params), done(0x10, 1)});
  Peer peer(session({reply}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  auto* ev = static_cast<dbevent*>(comn_calloc(1, sizeof(dbevent)));
  std::strcpy(ev->name, "watch");
  ev->handler = recording_handler;
  ASSERT_EQ(db__link_eventrec(db, ev), 1);
  EXPECT_EQ(db__find_event(db, "watch"), ev);
  ASSERT_EQ(dbcmd(db, "select c from t"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].name, "watch");
  EXPECT_EQ(g_calls[0].nparams, 2);
  EXPECT_EQ(g_calls[0].numrets, 2);
  EXPECT_TRUE(g_calls[0].flagged);
  EXPECT_EQ(g_calls[0].firstname, "@id");
  EXPECT_EQ(g_calls[0].firstvalue, 256);
  EXPECT_FALSE(saw_error(20185));
  EXPECT_EQ(ev->params, nullptr);
  EXPECT_EQ(db->status & DBST_EVENTHANDLER, 0u);
  EXPECT_EQ(db__delete_event(db, "watch"), 1);
  EXPECT_EQ(db__find_event(db, "watch"), nullptr);
  dbclose(db);
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
