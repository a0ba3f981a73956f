// Tests of the packet reader: the transport is read in large blocks, packets
// are taken whole however the stream is cut, and bytes read ahead never
// outlive their connection.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "db_testpeer.h"

using namespace testpeer;

namespace {

class DbPacket : public PeerTest {};

// Counts the calls of a connection's transport reader.
DB_READ_FN g_reader = nullptr;
int g_reads = 0;
int counting_reader(DBPROCESS* db, BYTE* buf, int len, int first, int* remaining) {
  ++g_reads;
  return g_reader(db, buf, len, first, remaining);
}
void count_reads(DBPROCESS* db) {
  g_reader = db->net->reader;
  db->net->reader = counting_reader;
  g_reads = 0;
}

// `n` distinct values of `width` characters (at most the 30 of the peer's
// varchar column).
std::vector<std::string> values(int n, int width) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) {
    std::string s = "value " + std::to_string(i) + " ";
    s.resize(static_cast<size_t>(width), static_cast<char>('a' + i % 26));
    v.push_back(s);
  }
  return v;
}

// Selects the peer's rows and checks that their column gives `want`.
void expect_rows(DBPROCESS* db, const std::vector<std::string>& want) {
  dbcmd(db, "select v");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  size_t n = 0;
  while (dbnextrow(db) == REG_ROW) {
    ASSERT_LT(n, want.size());
    std::string got(reinterpret_cast<char*>(dbdata(db, 1)), static_cast<size_t>(dbdatlen(db, 1)));
    EXPECT_EQ(got, want[n]) << "row " << n;
    ++n;
  }
  EXPECT_EQ(n, want.size());
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
}

TEST_F(DbPacket, ManyPacketsAreReadInFewTransportReads) {
  // About 130 packets of 512 bytes, written in one go: one read per packet
  // header and body would be some 260 reads.
  std::vector<std::string> rows = values(2000, 30);
  Peer peer(session({cat({varchar_result("v", rows), done(0x10, 2000)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  count_reads(db);
  expect_rows(db, rows);
  EXPECT_LT(g_reads, 30);
  dbclose(db);
  peer.join();
}

TEST_F(DbPacket, PacketsCutAnywhereInTheStreamAreTakenWhole) {
  // The reply arrives in pieces of 1 to 13 bytes: headers and bodies are
  // split across reads at every place.
  std::vector<std::string> rows = values(40, 30);
  Bytes reply = frame(cat({varchar_result("v", rows), done(0x10, 40)}));
  Peer peer([&reply](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    const size_t cuts[] = {1, 2, 3, 5, 7, 11, 13};
    for (size_t at = 0, i = 0; at < reply.size(); ++i) {
      size_t n = std::min(cuts[i % 7], reply.size() - at);
      c.send_raw(Bytes(reply.begin() + static_cast<long>(at), reply.begin() + static_cast<long>(at + n)));
      at += n;
      if (i % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  expect_rows(db, rows);
  EXPECT_TRUE(errors().empty());
  dbclose(db);
  peer.join();
}

TEST_F(DbPacket, PacketSizeChangedMidReplyAppliesToPacketsReadAhead) {
  // The change comes in a packet of its own, the rest of the reply in
  // packets of the new size, all in one write: the buffers change size
  // between two packets already read and no byte is lost.
  std::vector<std::string> rows = values(400, 30);
  Peer peer([&rows](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    Bytes reply = frame(envchange(4, "2048", "512"), 4, 512, 0);
    Bytes rest = frame(cat({varchar_result("v", rows), done(0x10, 400)}), 4, 2048);
    reply.insert(reply.end(), rest.begin(), rest.end());
    c.send_raw(reply);
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  expect_rows(db, rows);
  EXPECT_EQ(db->pktsize, 2048);
  EXPECT_TRUE(errors().empty());
  dbclose(db);
  peer.join();
}

TEST_F(DbPacket, BytesReadAheadDoNotReachTheNextConnection) {
  // The first server redirects the login and writes a stray packet after its
  // answer; the connection to the second must start from its own bytes.
  std::vector<std::string> rows = values(3, 10);
  int connection = 0;
  Peer peer(
      [&rows, &connection](Conn& c) {
        Bytes msg;
        if (!c.read_message(&msg)) return;
        if (connection++ == 0) {
          Bytes answer = frame(cat({message(0xAB, 4014, 10, "Login redirected to node '127.0.0.1'."), done(2)}));
          Bytes stray = frame(Bytes{0x05, 0x05, 0x05, 0x05});
          answer.insert(answer.end(), stray.begin(), stray.end());
          c.send_raw(answer);
          c.read_message(&msg);
          return;
        }
        c.send_message(login_ok(true));
        if (!c.read_message(&msg)) return;
        c.send_message(cat({varchar_result("v", rows), done(0x10, 3)}));
        c.read_message(&msg);
      },
      2);
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  expect_rows(db, rows);
  EXPECT_FALSE(saw_error(20020));
  dbclose(db);
  peer.join();
}

}  // namespace
