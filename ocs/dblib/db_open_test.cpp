// Tests of login records, dbopen's login exchange (clear and encrypted),
// packet-size changes and the server misbehaviours that must end in a
// client error, against scripted peers on the loopback interface.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "db_testpeer.h"
#include "dblib/db_encrypt.h"
#include "dblib/db_internal.h"
#include "platform/clock.h"

using namespace testpeer;

namespace {

class DbOpen : public PeerTest {
 protected:
  LOGINREC* login(const char* user = "reader", const char* pwd = "secret") {
    LOGINREC* l = dblogin();
    DBSETLUSER(l, user);
    DBSETLPWD(l, pwd);
    DBSETLHOST(l, "testhost");
    DBSETLAPP(l, "dbtest");
    return l;
  }
};

// Reads the login message and answers with `reply`.
Peer::Script answer_login(Bytes reply, Bytes* seen = nullptr, std::vector<Packet>* pk = nullptr) {
  return [reply, seen, pk](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg, pk)) return;
    if (seen) *seen = msg;
    c.send_message(reply);
    Bytes rest;
    c.read_message(&rest);  // wait for the client to go away
  };
}

TEST_F(DbOpen, FreshLoginRecordMatchesTheWireLayout) {
  int saved = Db__GlobalRec.version;
  Db__GlobalRec.version = 1;
  LOGINREC* l = dblogin();
  Bytes expect(LOGIN_RECLEN, 0);
  expect[124] = 2; expect[126] = 6; expect[127] = 4; expect[128] = 8;
  expect[129] = 1; expect[130] = 1;
  expect[458] = 4; expect[459] = 6;
  std::memcpy(&expect[462], "DB-Connect", 10);
  expect[472] = 10; expect[473] = 5; expect[478] = 12; expect[479] = 16; expect[511] = 1;
  std::memcpy(&expect[525], "iso_1", 5);
  expect[555] = 5; expect[556] = 1;
  std::memcpy(&expect[557], "512", 3);
  expect[563] = 3;
  EXPECT_EQ(Bytes(l->rec, l->rec + LOGIN_RECLEN), expect);
  dbloginfree(l);
  Db__GlobalRec.version = 2;
  l = dblogin();
  EXPECT_EQ(l->rec[458], 5);
  EXPECT_EQ(l->rec[459], 0);
  dbloginfree(l);
  Db__GlobalRec.version = saved;
}

TEST_F(DbOpen, LoginSettersBoundsAndRemotePasswords) {
  LOGINREC* l = dblogin();
  std::string thirty(30, 'a');
  EXPECT_EQ(dbsetlname(l, thirty.c_str(), DBSETUSER), SUCCEED);
  EXPECT_EQ(dbsetlname(l, (thirty + "b").c_str(), DBSETUSER), FAIL);
  EXPECT_TRUE(saw_error(20042));
  EXPECT_EQ(l->rec[61], 30);
  DBSETLPWD(l, "longerpassword");
  DBSETLPWD(l, "abc");
  EXPECT_EQ(l->rec[92], 3);
  for (int i = 65; i < 92; ++i) EXPECT_EQ(l->rec[i], 0) << i;
  EXPECT_EQ(dbsetlname(l, "x", 99), FAIL);
  EXPECT_TRUE(saw_error(20043));
  EXPECT_EQ(dbsetllong(l, 4096, DBSETPACKET), SUCCEED);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(l->rec + 557), 4), "4096");
  EXPECT_EQ(l->rec[563], 4);
  EXPECT_EQ(dbsetllong(l, 1000000, DBSETPACKET), FAIL);
  EXPECT_TRUE(saw_error(20193));
  EXPECT_EQ(dbrpwset(l, "SRV1", "pw1", 3), SUCCEED);
  EXPECT_EQ(dbrpwset(l, nullptr, "pw2", 3), SUCCEED);
  EXPECT_EQ(l->rec[457], 9 + 5);
  std::string big(240, 'p');
  EXPECT_EQ(dbrpwset(l, "S", big.c_str(), 240), FAIL);
  EXPECT_TRUE(saw_error(20096));
  EXPECT_EQ(l->rec[457], 14);
  EXPECT_EQ(dbsetlname(nullptr, "x", DBSETUSER), FAIL);
  EXPECT_TRUE(saw_error(20041));
  EXPECT_EQ(dbsetversion(2), FAIL);
  EXPECT_TRUE(saw_error(20207));
  dbloginfree(l);
}

TEST_F(DbOpen, ClearLoginSendsRecordAndCapabilityAndLogsIn) {
  Bytes seen;
  std::vector<Packet> packets;
  Peer peer(answer_login(login_ok(true), &seen, &packets));
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  DBPROCESS* db = dbopen(l, "TESTSRV");
  ASSERT_NE(db, nullptr) << (errors().empty() ? 0 : errors()[0].number);
  EXPECT_EQ(dbwire(db), 7);
  EXPECT_STREQ(dbname(db), "master");
  EXPECT_STREQ(dbgetnatlang(db), "us_english");
  dbclose(db);
  peer.join();
  ASSERT_EQ(seen.size(), static_cast<size_t>(LOGIN_RECLEN + 21));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].type, 2);
  EXPECT_EQ(packets[0].length, 512);
  EXPECT_EQ(packets[0].status, 0);
  EXPECT_EQ(packets[1].status, 1);
  EXPECT_EQ(packets[1].number, 1);
  // The record: the fields dbopen fills and those set above.
  Bytes expect(l->rec, l->rec + LOGIN_RECLEN);
  auto field = [&](int off, const std::string& v) {
    std::memset(&expect[static_cast<size_t>(off)], 0, 30);
    std::memcpy(&expect[static_cast<size_t>(off)], v.data(), v.size());
    expect[static_cast<size_t>(off + 30)] = static_cast<unsigned char>(v.size());
  };
  field(L_SERVER, "TESTSRV");
  field(L_HID, std::to_string(::getpid()));
  // The remote password added for the login's time holds the password.
  Bytes rpw = {0, 6};
  rpw.insert(rpw.end(), {'s', 'e', 'c', 'r', 'e', 't'});
  std::copy(rpw.begin(), rpw.end(), expect.begin() + L_RPW);
  expect[L_RPWLEN] = 8;
  EXPECT_EQ(Bytes(seen.begin(), seen.begin() + LOGIN_RECLEN), expect);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&seen[62]), 6), "secret");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&seen[462]), 10), "DB-Connect");
  EXPECT_EQ(seen[472], 10);
  EXPECT_EQ(Bytes(seen.begin() + LOGIN_RECLEN, seen.end()), capability());
  EXPECT_EQ(l->rec[L_RPWLEN], 0);  // the added entry is gone again
  dbloginfree(l);
}

TEST_F(DbOpen, RejectedLoginIsLoginIncorrect) {
  Bytes reply = cat({message(0xAA, 4002, 14, "Login failed."), done(2)});
  Peer peer(answer_login(reply));
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  EXPECT_EQ(dbopen(l, "TESTSRV"), nullptr);
  ASSERT_TRUE(saw_error(20014));
  for (const Seen& s : errors())
    if (s.number == 20014) {
      EXPECT_EQ(s.text, "Login incorrect.");
      EXPECT_EQ(s.severity, 2);
    }
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages()[0].number, 4002);
  dbloginfree(l);
}

// A server that asks for the encrypted password and checks it.
Peer::Script encrypted_server(const std::string& password, bool* saw_zeroed) {
  return [password, saw_zeroed](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    *saw_zeroed = msg.size() > 92 && msg[92] == 0 && msg[62] == 0 && (msg[514] & 1);
    const unsigned char key[8] = {7, 1, 4, 2, 8, 5, 7, 1};
    Bytes ask = cat({loginack(7), Bytes{0x65, 3, 1, 0, 1}});
    // PARAMFMT: one unnamed varbinary(255); PARAMS: the 8-byte key.
    Bytes fmt = {0xEC, 0, 11, 0, 1, 0, 0, 0, 0, 0, 0, 37, 8, 0};
    Bytes vals = {0xD7, 8};
    vals.insert(vals.end(), key, key + 8);
    c.send_message(cat({ask, fmt, vals, done(0)}));
    Bytes answer;
    if (!c.read_message(&answer)) return;
    // MSG 2, PARAMFMT (14 bytes), PARAMS: length byte 33 then the bytes.
    bool ok = answer.size() >= 5 + 14 + 2 + 33 && answer[0] == 0x65 && answer[4] == 2;
    char pwd[32] = {0};
    int plen = 0;
    if (ok) {
      const unsigned char* enc = &answer[5 + 14 + 2];
      ok = answer[5 + 14 + 1] == 33 && com__string_uninitialize(key, 8, enc, 33, pwd, &plen) == 1 &&
           password == pwd;
    }
    if (ok) c.send_message(login_ok(true));
    else c.send_message(cat({message(0xAA, 4002, 14, "Login failed."), done(2)}));
    Bytes rest;
    c.read_message(&rest);
  };
}

TEST_F(DbOpen, EncryptedLoginNegotiatesTheKey) {
  bool zeroed = false;
  Peer peer(encrypted_server("secret", &zeroed));
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  ASSERT_EQ(DBSETLENCRYPT(l, TRUE), SUCCEED);
  DBPROCESS* db = dbopen(l, "TESTSRV");
  EXPECT_NE(db, nullptr);
  if (db) dbclose(db);
  peer.join();
  EXPECT_TRUE(zeroed);
  // The password is back in the record after the send.
  EXPECT_EQ(l->rec[92], 6);
  dbloginfree(l);
}

TEST_F(DbOpen, EncryptedLoginWithWrongPasswordIsLoginIncorrect) {
  bool zeroed = false;
  Peer peer(encrypted_server("other", &zeroed));
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  DBSETLENCRYPT(l, TRUE);
  EXPECT_EQ(dbopen(l, "TESTSRV"), nullptr);
  EXPECT_TRUE(saw_error(20014));
  dbloginfree(l);
}

TEST_F(DbOpen, PacketSizeChangeIsFollowedAndWarned) {
  std::vector<Packet> batch;
  Peer peer([&batch](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(cat({loginack(5), envchange(4, "2048", "512"), envchange(4, "100000", "2048"),
                        capability(), done(0)}));
    if (!c.read_message(&msg, &batch)) return;
    c.send_message(done(0x10, 0), 4, 2048);
    c.read_message(&msg);
  });
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  DBPROCESS* db = dbopen(l, "TESTSRV");
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(saw_error(20201));
  for (const Seen& s : errors())
    if (s.number == 20201) {
      EXPECT_EQ(s.text, "Packet size of 512 not supported -- size of 2048 used instead.");
      EXPECT_EQ(s.severity, 1);
    }
  EXPECT_EQ(db->pktsize, 2048);  // 100000 was ignored
  std::string text(3000, 'x');
  dbcmd(db, text.c_str());
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0].length, 2048);
  EXPECT_EQ(batch[1].length, 8 + 3006 - 2040);
  dbloginfree(l);
}

struct Misbehaviour {
  const char* name;
  Bytes reply;
  bool close_after;
  int error;
};

TEST_F(DbOpen, ServerMisbehaviourEndsInClientError) {
  Bytes too_long = {4, 1, 0x02, 0x58, 0, 0, 0, 0};   // length 600 > 512
  Bytes too_short = {4, 1, 0x00, 0x04, 0, 0, 0, 0};  // length 4 < 8
  Bytes unknown = {4, 1, 0, 9, 0, 0, 0, 0, 0x01};    // token 0x01
  Bytes mid = {4, 1, 0, 100, 0, 0, 0, 0, 0xAD, 0, 20};
  Misbehaviour cases[] = {
      {"length above packet size", too_long, false, 20004},
      {"length below header", too_short, false, 20004},
      {"unknown token", unknown, false, 20020},
      {"close in the middle of a packet", mid, true, 20017},
      {"close before answering", {}, true, 20017},
  };
  for (const Misbehaviour& m : cases) {
    reset_handlers();
    Peer peer([&m](Conn& c) {
      Bytes msg;
      if (!c.read_message(&msg)) return;
      c.send_raw(m.reply);
      if (m.close_after) return;
      c.read_message(&msg);
    });
    write_interfaces(dir_, "TESTSRV", peer.port());
    LOGINREC* l = login();
    EXPECT_EQ(dbopen(l, "TESTSRV"), nullptr) << m.name;
    EXPECT_TRUE(saw_error(m.error)) << m.name;
    dbloginfree(l);
  }
}

TEST_F(DbOpen, SilentServerTimesOutTheLogin) {
  Peer peer([](Conn& c) {
    Bytes msg;
    c.read_message(&msg);
    // Say nothing until the client gives up.
    unsigned char b;
    c.read_exact(&b, 1);
  });
  write_interfaces(dir_, "TESTSRV", peer.port());
  dbsetlogintime(5);
  LOGINREC* l = login();
  std::int64_t start = platform::plat_now_ms();
  EXPECT_EQ(dbopen(l, "TESTSRV"), nullptr);
  EXPECT_TRUE(saw_error(20003));
  EXPECT_LT(platform::plat_now_ms() - start, 5000);
  dbloginfree(l);
}

TEST_F(DbOpen, OldStyleServerGetsTheShortLoginAndTheTextProbe) {
  std::vector<Packet> second;
  Bytes probe;
  Peer peer(
      [&second, &probe](Conn& c) {
        static int round = 0;
        Bytes msg;
        if (!c.read_message(&msg, round == 1 ? &second : nullptr)) return;
        if (round++ == 0) {
          // An old server answers in packets of type 0x46: log in again.
          c.send_message(cat({loginack(5, 4, 2), done(0)}), 0x46);
          c.read_message(&msg);
          return;
        }
        c.send_message(cat({loginack(5, 4, 2), done(0)}), 0x46);
        if (!c.read_message(&probe)) return;
        c.send_message(done(0), 0x46);
        c.read_message(&msg);
      },
      2);
  write_interfaces(dir_, "TESTSRV", peer.port());
  LOGINREC* l = login();
  DBPROCESS* db = dbopen(l, "TESTSRV");
  ASSERT_NE(db, nullptr) << (errors().empty() ? 0 : errors()[0].number);
  EXPECT_EQ(dbwire(db), 2);  // the text probe was accepted
  dbclose(db);
  peer.join();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].length, 8 + LOGIN_OLDLEN);
  EXPECT_EQ(second[0].window, 1);
  EXPECT_EQ(second[0].type, 0x46);  // old-login packets keep the old type byte
  EXPECT_EQ(std::string(probe.begin(), probe.end()), "set textsize 10");
  dbloginfree(l);
}

}  // namespace
