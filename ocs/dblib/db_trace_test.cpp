// Tests of packet tracing (header, data and dump traces, print routines and
// dbtracestring, switching flags on and off) and of batch recording.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db_testpeer.h"
#include "db_trace.h"

using namespace testpeer;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string l; std::getline(ss, l);) out.push_back(l);
  return out;
}

class DbTrace : public PeerTest {
 protected:
  void TearDown() override {
    dbtraceoff(nullptr, DBTRACE_ALL);
    PeerTest::TearDown();
  }
  // Runs "select 1" on `db`, answered by a one-packet reply.
  static void select1(DBPROCESS* db) {
    dbcmd(db, "select 1");
    ASSERT_EQ(dbsqlexec(db), SUCCEED);
    while (dbresults(db) == SUCCEED) {
    }
  }
};

// What a print routine saw: the chunks dbtracestring handed out.
std::vector<std::string> g_chunks;
int g_ask = 10;
int collect(DBPROCESS* db) {
  int total = dbtracestring(db, nullptr, 0);
  char buf[4096];
  std::string whole;
  for (int n; (n = dbtracestring(db, buf, g_ask)) > 0;) {
    g_chunks.push_back(std::string(buf, static_cast<size_t>(n)));
    whole += g_chunks.back();
  }
  EXPECT_EQ(static_cast<int>(whole.size()), total);
  g_chunks.push_back("|");  // marks the end of one call
  return 0;
}

TEST_F(DbTrace, HeaderTracePrintsOneLinePerPacket) {
  Peer peer(session({cat({done(0)}), cat({done(0)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  std::string path = dir_ + "/trace";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(dbtraceon(db, DBTRACE_HEADER, f, nullptr), SUCCEED);
  select1(db);
  std::string spid = std::to_string(db->spid);
  EXPECT_EQ(lines_of(slurp(path)),
            (std::vector<std::string>{
                "spid " + spid + " - write: normal, eom, length=22, packet=0",
                "spid " + spid + " - read: table response, eom, length=17, packet=0"}));
  // Flag 4 is not on: switching it off is refused; flag 2 goes off.
  EXPECT_EQ(dbtraceoff(db, DBTRACE_DATA), FAIL);
  EXPECT_TRUE(saw_error(20189));
  EXPECT_EQ(dbtraceoff(db, DBTRACE_HEADER), SUCCEED);
  select1(db);
  EXPECT_EQ(lines_of(slurp(path)).size(), 2u);
  // The ring kept the last packets whatever was traced, numbered in order.
  std::string ringpath = dir_ + "/ring";
  FILE* r = std::fopen(ringpath.c_str(), "w");
  db__dump_wiretrace(r);
  std::fclose(r);
  std::vector<std::string> ring = lines_of(slurp(ringpath));
  ASSERT_GE(ring.size(), 4u);
  std::string w = ring[ring.size() - 2], rd = ring.back();
  EXPECT_EQ(w.substr(w.find(':')), ": spid " + spid + " - write: normal, eom, length=22, packet=0");
  EXPECT_EQ(rd.substr(rd.find(':')), ": spid " + spid + " - read: table response, eom, length=17, packet=0");
  EXPECT_EQ(std::stoi(rd), std::stoi(w) + 1);
  dbclose(db);
  std::fclose(f);
}

TEST_F(DbTrace, DataTraceDumpsTheBodyInHexAndText) {
  Peer peer(session({cat({done(0)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  std::string path = dir_ + "/data";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(dbtraceon(db, DBTRACE_DATA, f, nullptr), SUCCEED);
  select1(db);
  std::vector<std::string> l = lines_of(slurp(path));
  ASSERT_EQ(l.size(), 4u);
  EXPECT_NE(l[0].find(" - write: normal, eom, length=22, packet=0"), std::string::npos);
  // Body: LANGUAGE token, length 9, status 0, "select 1".
  EXPECT_EQ(l[1], "0x2100 0x0000 0x0900 0x7365 0x6c65 0x6374 0x2031 0x.... | !     select 1  ");
  EXPECT_NE(l[2].find(" - read: table response"), std::string::npos);
  EXPECT_EQ(l[3], "0xfd00 0x0000 0x0000 0x0000 0x00.. 0x.... 0x.... 0x.... |                 ");
  dbclose(db);
  std::fclose(f);
}

TEST_F(DbTrace, DumpWritesTheLineAndTheRawBody) {
  Peer peer(session({cat({done(0)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  std::string path = dir_ + "/dump";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(dbtraceon(db, DBTRACE_DUMP, f, nullptr), SUCCEED);
  select1(db);
  std::string spid = std::to_string(db->spid);
  std::string body = std::string("\x21\0\0\0\x09\0select 1", 14);
  std::string reply = std::string("\xfd\0\0\0\0\0\0\0\0", 9);
  EXPECT_EQ(slurp(path), "spid " + spid + " - write: normal, eom, type=15, len=22, packet=0\n" + body +
                             "spid " + spid + " - read: table response, eom, type=4, len=17, packet=0\n" +
                             reply);
  dbclose(db);
  std::fclose(f);
}

TEST_F(DbTrace, PrintRoutineReadsTheTextInPieces) {
  Peer peer(session({cat({done(0)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  char buf[16];
  EXPECT_EQ(dbtracestring(db, buf, 10), -1);  // outside a print routine
  EXPECT_TRUE(saw_error(20191));
  g_chunks.clear();
  ASSERT_EQ(dbtraceon(db, DBTRACE_HEADER, nullptr, collect), SUCCEED);
  select1(db);
  // Two lines, each handed out 10 bytes at a time, the rest last.
  std::string spid = std::to_string(db->spid);
  std::string first = "spid " + spid + " - write: normal, eom, length=22, packet=0\n";
  std::string got;
  size_t i = 0;
  for (; i < g_chunks.size() && g_chunks[i] != "|"; ++i) {
    if (i + 1 < g_chunks.size() && g_chunks[i + 1] != "|") {
      EXPECT_EQ(g_chunks[i].size(), 10u);
    }
    got += g_chunks[i];
  }
  EXPECT_EQ(got, first);
  EXPECT_EQ(std::count(g_chunks.begin(), g_chunks.end(), "|"), 2);
  dbclose(db);
}

int bad_count(DBPROCESS* db) {
  char buf[8];
  EXPECT_EQ(dbtracestring(db, buf, -1), -1);
  return 0;
}

// A large packet's data trace is handed out in pieces that each fit the
// trace text buffer.
TEST_F(DbTrace, LargePacketsAreDumpedInPiecesThatFit) {
  dbprocess proc{};
  dbnetctx net{};
  std::vector<BYTE> block(2 * 8192, 0x41);
  proc.enabled = 1;
  proc.net = &net;
  db__initserver(&net, block.data(), 8192);
  BYTE* h = net.recvbuf;
  h[0] = 4;
  h[1] = 1;
  h[2] = 8192 >> 8;
  h[3] = 0;
  g_chunks.clear();
  g_ask = 0;
  ASSERT_EQ(dbtraceon(&proc, DBTRACE_DATA, nullptr, collect), SUCCEED);
  ASSERT_EQ(db__wiredata(&proc, DBTRACE_READ), 1);
  size_t lines = 0, calls = 0;
  for (const std::string& c : g_chunks) {
    if (c == "|") {
      ++calls;
      continue;
    }
    EXPECT_LE(c.size(), static_cast<size_t>(DBTRACE_TEXTSIZE));
    lines += static_cast<size_t>(std::count(c.begin(), c.end(), '\n'));
  }
  EXPECT_EQ(lines, 1u + (8192 - 8 + 15) / 16);
  EXPECT_GT(calls, 3u);
  g_ask = 10;
  // Inside a print routine a negative count is refused.
  ASSERT_EQ(dbtraceoff(&proc, DBTRACE_ALL), SUCCEED);
  ASSERT_EQ(dbtraceon(&proc, DBTRACE_HEADER, nullptr, bad_count), SUCCEED);
  db__wireheader(&proc, DBTRACE_READ, 7);
  EXPECT_TRUE(saw_error(20192));
  db__free_trace(&proc);
}

TEST_F(DbTrace, GlobalFlagsReachNewConnectionsAndGoOffEverywhere) {
  Peer peer(session({cat({done(0)}), cat({done(0)})}));
  std::string path = dir_ + "/global";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(dbtraceon(nullptr, DBTRACE_HEADER, f, nullptr), SUCCEED);
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  size_t login_lines = lines_of(slurp(path)).size();
  EXPECT_GE(login_lines, 2u);  // the login was traced
  select1(db);
  EXPECT_EQ(lines_of(slurp(path)).size(), login_lines + 2);
  EXPECT_EQ(dbtraceoff(nullptr, DBTRACE_HEADER), SUCCEED);
  select1(db);
  EXPECT_EQ(lines_of(slurp(path)).size(), login_lines + 2);
  EXPECT_TRUE(errors().empty());
  dbclose(db);
  std::fclose(f);
}

TEST_F(DbTrace, RecordingWritesEachConnectionsBatchesToItsOwnFile) {
  std::string prefix = dir_ + "/rec";
  // The second connection's file is a symbolic link planted beforehand:
  // it is not followed, and that connection goes unrecorded.
  std::string victim = dir_ + "/victim";
  std::ofstream(victim) << "keep";
  ASSERT_EQ(::symlink(victim.c_str(), (prefix + ".1").c_str()), 0);
  dbrecftos(prefix.c_str());
  Peer peer(session({cat({done(0)})}), 3);
  for (int i = 0; i < 3; ++i) {
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    select1(db);
    dbclose(db);
  }
  dbrecftos(nullptr);
  EXPECT_EQ(slurp(victim), "keep");
  for (const char* name : {".0", ".2"}) {
    std::string text = slurp(prefix + name);
    std::vector<std::string> l = lines_of(text);
    ASSERT_EQ(l.size(), 5u) << name;
    EXPECT_EQ(l[0].rfind("/* dbopen() at ", 0), 0u);
    EXPECT_EQ(l[0].size(), std::string("/* dbopen() at  */").size() + 24);
    EXPECT_EQ(l[1], "select 1");
    EXPECT_EQ(l[2].rfind("go /* ", 0), 0u);
    EXPECT_EQ(l[3], "");
    EXPECT_EQ(l[4].rfind("/* dbclose() at ", 0), 0u);
    struct stat st;
    ASSERT_EQ(::stat((prefix + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // private to the user
  }
  // A prefix longer than 100 characters leaves recording off.
  dbrecftos(std::string(101, 'p').c_str());
  Peer peer2(session({cat({done(0)})}));
  DBPROCESS* db = open_to(peer2, dir_);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->recslot, -1);
  dbclose(db);
}

}  // namespace
