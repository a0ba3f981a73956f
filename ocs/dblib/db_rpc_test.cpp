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

class DbRpc : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Db__GlobalRec.version == 0) dbsetversion(2);
    reset_handlers();
    dir_ = temp_dir();
    dbsetlogintime(60);
    dbsettime(0);
  }
  void TearDown() override {
    dbexit();
    dberrhandle(nullptr);
    dbmsghandle(nullptr);
  }
  std::string dir_;
};

// A RETURNVALUE token with one entry per part (each part: name length,
// name, status, user type, datatype, length information and value).
Bytes retvalue(std::initializer_list<Bytes> entries) {
  Bytes body;
  for (const Bytes& e : entries) body.insert(body.end(), e.begin(), e.end());
  Bytes b = {0xAC};
  put16(&b, static_cast<int>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// One entry of a nullable fixed datatype holding `value` (big-endian).
Bytes entry(const std::string& name, int status, int type, Bytes value) {
  Bytes e = {static_cast<unsigned char>(name.size())};
  putstr(&e, name);
  e.push_back(static_cast<unsigned char>(status));
  put32(&e, 0);
  e.push_back(static_cast<unsigned char>(type));
  e.push_back(static_cast<unsigned char>(type == 39 ? 30 : value.size()));
  e.push_back(static_cast<unsigned char>(value.size()));
  e.insert(e.end(), value.begin(), value.end());
  return e;
}

// An event notification named `name` with one int-n(4) parameter.
Bytes event(const std::string& name, Bytes params, int done_status = 0x40) {
  Bytes b = {0xA2};
  put16(&b, 1 + static_cast<int>(name.size()));
  b.push_back(static_cast<unsigned char>(name.size()));
  putstr(&b, name);
  return cat({b, params, done(done_status)});
}

// The PARAMS values of a DBRPC message: what follows the PARAMFMT token.
Bytes params_of(const Bytes& msg) {
  size_t at = 3 + msg[3] + 1 + 2;  // DBRPC token, length, name, options
  if (at + 3 > msg.size() || msg[at] != 0xEC) return {};
  size_t fmtlen = static_cast<size_t>((msg[at + 1] << 8) | msg[at + 2]);
  at += 3 + fmtlen;
  if (at >= msg.size() || msg[at] != 0xD7) return {};
  return Bytes(msg.begin() + static_cast<long>(at) + 1, msg.end());
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
  EXPECT_EQ(params_of(got[0]), expected);
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
