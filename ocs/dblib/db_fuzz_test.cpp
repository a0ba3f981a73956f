// Random token streams after a good login: whatever the server sends, the
// client ends each batch with a result or a client error, never a crash or
// a hang (the peer closes the stream when its bytes are sent).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

// Token bytes the client knows, so that random streams reach deep readers.
const unsigned char kTokens[] = {0xEE, 0xD1, 0xFD, 0xFE, 0xFF, 0xAA, 0xAB, 0xE3, 0xA5, 0xA4,
                                 0xA9, 0xAE, 0x78, 0x79, 0xAC, 0xE5, 0xD3, 0xA7, 0xA8, 0x21};

Bytes random_stream(std::mt19937& rng) {
  Bytes b;
  int n = static_cast<int>(rng() % 400);
  for (int i = 0; i < n; ++i) {
    unsigned r = rng() % 10;
    if (r < 3) b.push_back(kTokens[rng() % sizeof kTokens]);
    else if (r < 6) b.push_back(static_cast<unsigned char>(rng() % 8));
    else b.push_back(static_cast<unsigned char>(rng()));
  }
  // Often a plausible start: a one-column result.
  if (rng() % 2) b = cat({varchar_result("c", {"x", "yy"}), b});
  return b;
}

TEST(DbFuzz, RandomReplyStreamsEndInResultsOrErrors) {
  if (Db__GlobalRec.version == 0) dbsetversion(2);
  std::string dir = temp_dir();
  std::mt19937 rng(20261210);
  for (int round = 0; round < 150; ++round) {
    reset_handlers();
    Bytes reply = random_stream(rng);
    Peer peer(answer_once(reply.empty() ? Bytes{0} : reply));
    DBPROCESS* db = open_to(peer, dir);
    ASSERT_NE(db, nullptr);
    dbsettime(2);
    dbcmd(db, "select c");
    if (dbsqlexec(db) == SUCCEED) {
      int guard = 0;
      RETCODE r;
      while ((r = dbresults(db)) == SUCCEED && ++guard < 1000) {
        while (dbnextrow(db) == REG_ROW && ++guard < 1000) {
        }
      }
      EXPECT_LT(guard, 1000) << "round " << round << " token " << int(db->token);
    }
    dbsettime(0);
    dbclose(db);
  }
  dberrhandle(nullptr);
  dbmsghandle(nullptr);
}

TEST(DbFuzz, RandomLoginAnswersEndInALoginOrAnError) {
  if (Db__GlobalRec.version == 0) dbsetversion(2);
  std::string dir = temp_dir();
  std::mt19937 rng(7);
  const Bytes starts[] = {loginack(5), loginack(7), cat({loginack(7), Bytes{0x65, 3, 1, 0, 1}}),
                          cat({loginack(5), envchange(4, "4096", "512")}), Bytes{}};
  for (int round = 0; round < 120; ++round) {
    reset_handlers();
    Bytes reply = cat({starts[rng() % 5], random_stream(rng)});
    Peer peer([reply](Conn& c) {
      Bytes msg;
      if (!c.read_message(&msg)) return;
      c.send_message(reply.empty() ? Bytes{0} : reply);
      c.read_message(&msg);
    });
    write_interfaces(dir, "TESTSRV", peer.port());
    LOGINREC* l = dblogin();
    DBSETLUSER(l, "u");
    DBSETLPWD(l, "p");
    if (round % 2) DBSETLENCRYPT(l, TRUE);
    dbsetlogintime(2);
    DBPROCESS* db = dbopen(l, "TESTSRV");
    if (db) dbclose(db);
    else EXPECT_FALSE(errors().empty()) << "round " << round;
    dbloginfree(l);
  }
  dbsetlogintime(60);
  dberrhandle(nullptr);
  dbmsghandle(nullptr);
}

}  // namespace
