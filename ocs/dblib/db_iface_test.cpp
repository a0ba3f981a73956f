// Tests of the interfaces file, address texts and the connection rounds.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "db_testpeer.h"
#include "dblib/db_internal.h"
#include "platform/clock.h"

using namespace testpeer;

namespace {

class DbIface : public ::testing::Test {
 protected:
  void SetUp() override {
    client_setup();
    dir_ = temp_dir();
    path_ = dir_ + "/interfaces";
    dbsetifile(path_.c_str());
    dbsetconnect(nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  void TearDown() override { client_teardown(); }
  void write(const std::string& text) { std::ofstream(path_) << text; }
  std::string dir_, path_;
};

// A port with nothing listening.
int closed_port() {
  Peer p([](Conn&) {}, 0);
  return p.port();
}

TEST_F(DbIface, LooksUpServersByExactName) {
  write("# comment\nOTHER\n\tquery tcp ether 10.0.0.1 1000\n"
        "MAIN 2 5\n\tquery tcp ether 10.1.2.3 4100\n\tmaster tcp ether 10.1.2.3 4101\n"
        "\tquery tcp ether host2 4200\n"
        " MAINX\nMAINX\n\tquery tli tcp /dev/tcp \\x00021004\n");
  iface_entry* list = db__getconnectlist("MAIN", "query");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->retries, 2);
  EXPECT_EQ(list->delay, 5);
  EXPECT_STREQ(list->host, "10.1.2.3");
  EXPECT_STREQ(list->address, "4100");
  ASSERT_NE(list->next, nullptr);
  EXPECT_STREQ(list->next->host, "host2");
  EXPECT_EQ(list->next->next, nullptr);
  db__free_iface_list(list);
  EXPECT_EQ(db__getconnectlist("main", "query"), nullptr);  // case counts
  EXPECT_TRUE(saw_error(20012));
  list = db__getconnectlist("OTHER", "query");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->retries, 0);
  EXPECT_EQ(list->delay, 1);
  db__free_iface_list(list);
}

TEST_F(DbIface, MissingFileShortLinesAndOverlongWords) {
  dbsetifile((dir_ + "/nonexistent").c_str());
  EXPECT_EQ(db__getconnectlist("MAIN", "query"), nullptr);
  EXPECT_TRUE(saw_error(20015));
  dbsetifile(path_.c_str());
  errors().clear();
  write("BAD\n\tquery tcp ether 10.0.0.1\n");
  EXPECT_EQ(db__getconnectlist("BAD", "query"), nullptr);
  EXPECT_TRUE(saw_error(20016));
  EXPECT_TRUE(saw_error(20055));
  errors().clear();
  write("GOOD\n\tquery tcp ether 10.0.0.1 1000\n\tquery tcp ether\n");
  iface_entry* list = db__getconnectlist("GOOD", "query");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(saw_error(20016));
  db__free_iface_list(list);
  errors().clear();
  // Words longer than their fields never overrun them; such entries are skipped.
  std::string longhost(200, 'h');
  write("LONG\n\tquery tcp ether " + longhost + " 1000\n\tquery tcp ether 10.0.0.2 1001\n" +
        std::string(300, 'S') + "\n\tquery tcp ether 10.0.0.3 1\n");
  list = db__getconnectlist("LONG", "query");
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->host, "10.0.0.2");
  EXPECT_EQ(list->next, nullptr);
  db__free_iface_list(list);
  EXPECT_EQ(db__getconnectlist(std::string(300, 'S').c_str(), "query"), nullptr);
  EXPECT_TRUE(saw_error(20012));
}

TEST_F(DbIface, AddressTextsAndNetworkWords) {
  char host[32] = "10.1.2.3", addr[64] = "4100";
  ASSERT_EQ(db__tcp2tli(host, sizeof host, addr, sizeof addr), 1);
  EXPECT_STREQ(host, "/dev/tcp");
  EXPECT_STREQ(addr, "\\x00021004" "0a010203" "0000000000000000");
  unsigned char bytes[16];
  EXPECT_EQ(mer_strtodata(bytes, 16, addr), 16);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[2], 0x10);
  EXPECT_EQ(bytes[3], 0x04);
  EXPECT_EQ(mer_strtodata(bytes, 16, "\\xAbC"), 2);
  EXPECT_EQ(bytes[0], 0xAB);
  EXPECT_EQ(bytes[1], 0xC0);
  EXPECT_EQ(mer_strtodata(bytes, 16, "\\y12"), -1);
  EXPECT_EQ(mer_strtodata(bytes, 2, "abc"), -1);
  EXPECT_EQ(commtype_token("tc"), 1);
  EXPECT_EQ(commtype_token("tli"), 5);
  EXPECT_EQ(commtype_token("dna"), 2);
  EXPECT_EQ(commtype_token("bogus"), 0);
  char badhost[32] = "no.such.host.invalid", port[64] = "1";
  EXPECT_EQ(db__tcp2tli(badhost, sizeof badhost, port, sizeof port), 0);
}

TEST_F(DbIface, ClosedPortFailsAfterEveryRound) {
  int port = closed_port();
  write("DOWN 2 5\n\tquery tcp ether 127.0.0.1 " + std::to_string(port) +
        "\n\tquery tcp ether 127.0.0.1 " + std::to_string(port) + "\n");
  LOGINREC* l = dblogin();
  std::int64_t start = platform::plat_now_ms();
  EXPECT_EQ(dbopen(l, "DOWN"), nullptr);
  std::int64_t elapsed = platform::plat_now_ms() - start;
  EXPECT_TRUE(saw_error(20009));
  // Three passes, each followed by a 5-second (scaled) pause.
  EXPECT_GE(elapsed, static_cast<std::int64_t>(15000 * platform::plat_time_scale()) - 1);
  dbloginfree(l);
}

TEST_F(DbIface, SecondRoundReachesAServerThatWasDown) {
  // The first entry is dead; the second answers.
  Peer peer(session({}));
  write("TWO 1 1\n\tquery tcp ether 127.0.0.1 " + std::to_string(closed_port()) +
        "\n\tquery tcp ether 127.0.0.1 " + std::to_string(peer.port()) + "\n");
  LOGINREC* l = dblogin();
  DBPROCESS* db = dbopen(l, "TWO");
  EXPECT_NE(db, nullptr);
  dbclose(db);
  dbloginfree(l);
}

TEST_F(DbIface, DefaultEntryAndDsqueryReplaceTheName) {
  Peer peer(session({}), 2);
  dbsetconnect("query", "tcp", "ether", "127.0.0.1", std::to_string(peer.port()).c_str());
  dbsetifile((dir_ + "/nonexistent").c_str());
  LOGINREC* l = dblogin();
  DBPROCESS* db = dbopen(l, nullptr);  // the file is not read
  EXPECT_NE(db, nullptr);
  dbclose(db);
  dbsetconnect(nullptr, nullptr, nullptr, nullptr, nullptr);
  dbsetifile(path_.c_str());
  write("FROMENV\n\tquery tcp ether 127.0.0.1 " + std::to_string(peer.port()) + "\n");
  ::setenv("DSQUERY", "FROMENV", 1);
  db = dbopen(l, "");
  EXPECT_NE(db, nullptr);
  dbclose(db);
  ::unsetenv("DSQUERY");
  dbloginfree(l);
}

}  // namespace
