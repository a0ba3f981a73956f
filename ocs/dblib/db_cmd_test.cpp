// Tests of commands, results, options, dbuse, cancel, time-outs and server
// messages against scripted peers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <string>

#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

class DbCmd : public PeerTest {};

std::string text_of(const Bytes& b, size_t from = 0) {
  return from < b.size() ? std::string(b.begin() + static_cast<long>(from), b.end()) : "";
}

TEST_F(DbCmd, BatchGoesOutAsLanguageTokenInPacketsOfThePacketSize) {
  std::vector<Bytes> got;
  std::vector<std::vector<Packet>> packets;
  Peer peer(session({done(0x10, 0), done(0x10, 0)}, &got, &packets));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  std::string big(1200, 'q');
  EXPECT_EQ(dbcmd(db, big.c_str()), SUCCEED);
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  EXPECT_EQ(dbcmd(db, "select 1234"), SUCCEED);
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(packets.size(), 2u);
  const auto& p = packets[0];
  ASSERT_EQ(p.size(), 3u);
  int lens[3] = {512, 512, 8 + 1206 - 2 * 504};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p[i].type, 15);
    EXPECT_EQ(p[i].length, lens[i]);
    EXPECT_EQ(p[i].number, i);
    EXPECT_EQ(p[i].status, i == 2 ? 1 : 0);
  }
  Bytes head = {0x21, 0, 0, 0x04, 0xB1, 0};
  EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 6), head);
  EXPECT_EQ(text_of(got[0], 6), big);
  EXPECT_EQ(packets[1].size(), 1u);
  EXPECT_EQ(packets[1][0].number, 0);  // numbering restarts with the message
  EXPECT_EQ(text_of(got[1], 6), "select 1234");
}

TEST_F(DbCmd, CommandBufferJoinsAutoFreesAndRefusesEmptyBatches) {
  std::vector<Bytes> got;
  Peer peer(session({done(0), done(0), done(0)}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20091));
  dbcmd(db, "select ");
  dbcmd(db, "");
  dbcmd(db, nullptr);
  dbfcmd(db, "%d", 42);
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbresults(db);
  dbcmd(db, "second");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbresults(db);
  dbsetopt(db, DBNOAUTOFREE, nullptr, 0);
  dbcmd(db, " third");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbresults(db);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(text_of(got[0], 6), "select 42");
  EXPECT_EQ(text_of(got[1], 6), "second");
  EXPECT_EQ(text_of(got[2], 6), "second third");
}

TEST_F(DbCmd, FormattedCommandsGrowPastTheScratchSize) {
  std::vector<Bytes> got;
  Peer peer(session({done(0)}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  std::string arg(5000, 'z');
  EXPECT_EQ(dbfcmd(db, "select '%s' -- %d", arg.c_str(), 7), SUCCEED);
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(text_of(got[0], 6), "select '" + arg + "' -- 7");
}

TEST_F(DbCmd, ResultsCountsAndErrors) {
  Bytes two_selects = cat({varchar_result("a", {"x"}), done(0x11, 1), varchar_result("b", {"y", "z"}),
                           done(0x10, 2)});
  Bytes update = cat({done(0x11, 5), done(0x01, 0), done(0x00, 0)});
  Bytes failing = cat({message(0xAA, 208, 16, "#nosuch not found."), done(0x02, 0)});
  Peer peer(session({two_selects, update, failing}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select a; select b");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnumcols(db), 1);
  EXPECT_STREQ(dbcolname(db, 1), "a");
  EXPECT_EQ(dbcoltype(db, 1), MERCHAR);
  EXPECT_EQ(dbvarylen(db, 1), 1);
  EXPECT_EQ(dbcolname(db, 2), nullptr);
  EXPECT_EQ(dbresults(db), FAIL);  // rows still pending
  EXPECT_TRUE(saw_error(20019));
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbdata(db, 1)), static_cast<size_t>(dbdatlen(db, 1))), "x");
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbcount(db), 1);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_STREQ(dbcolname(db, 1), "b");
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbcurrow(db), 1);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbcurrow(db), 2);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbcount(db), 2);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);

  dbcmd(db, "update t set a = 1");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnumcols(db), 0);
  EXPECT_EQ(dbcount(db), 5);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbcount(db), -1);  // each result starts afresh; this DONE has no count
  EXPECT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);

  dbcmd(db, "select * from #nosuch");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20018));
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  dbclose(db);
}

TEST_F(DbCmd, OptionsAreSentAsSetTextsBeforeTheBatch) {
  std::vector<Bytes> got;
  Peer peer(session({done(0), done(0), done(0), done(0)}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(dbsetopt(db, DBTEXTSIZE, "500000", 0), SUCCEED);
  EXPECT_EQ(dbsetopt(db, DBSHOWPLAN, nullptr, 0), SUCCEED);
  EXPECT_EQ(dbsetopt(db, DBSHOWPLAN, nullptr, 0), SUCCEED);
  EXPECT_TRUE(dbisopt(db, DBTEXTSIZE, nullptr));
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbresults(db);
  EXPECT_EQ(dbclropt(db, DBTEXTSIZE, nullptr), SUCCEED);  // left alone
  EXPECT_EQ(dbclropt(db, DBSHOWPLAN, nullptr), SUCCEED);
  dbcmd(db, "select 1");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbsetopt(db, 40, nullptr, 0), FAIL);
  EXPECT_TRUE(saw_error(20115));
  EXPECT_EQ(dbsetopt(db, DBPRLINELEN, "0", 0), SUCCEED);
  EXPECT_EQ(db->prlinelen, 80);
  EXPECT_EQ(dbsetopt(db, DBPRCOLSEP, nullptr, -1), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(text_of(got[0], 6), "set textsize 500000\nset showplan on\n");
  EXPECT_EQ(text_of(got[1], 6), "  ");  // one blank per queued option
  EXPECT_EQ(text_of(got[2], 6), "set showplan off\n");
  EXPECT_EQ(text_of(got[3], 6), " select 1");  // the queued blank, then the text
}

// Only complete statements are queued: a new value of an option that is a
// name and a parameter replaces the old one with its own text alone; a
// single-valued "on" option is turned off by the parameter it held.
TEST_F(DbCmd, ReplacedAndClearedOptionsQueueCompleteStatements) {
  Peer peer(session({}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  struct Step {
    bool set;
    int opt;
    const char* param;
  };
  struct Case {
    std::vector<Step> steps;
    const char* queued;
  } cases[] = {  // none depends on what an earlier one left set
      {{{true, DBROWCOUNT, "0"}, {true, DBROWCOUNT, "3"}}, "set rowcount 0\nset rowcount 3\n"},
      {{{true, DBTEXTSIZE, "10"}, {true, DBTEXTSIZE, "20"}}, "set textsize 10\nset textsize 20\n"},
      {{{true, DBDATEFORMAT, "dmy"}, {false, DBDATEFORMAT, nullptr}}, "set dateformat dmy\n"},
      {{{true, DBDATEFORMAT, "dmy"}, {false, DBDATEFORMAT, "mdy"}},
       "set dateformat dmy\nset dateformat mdy\n"},
      {{{true, DBIDENTITY, "a"}, {false, DBIDENTITY, nullptr}},
       "set identity_insert a on\nset identity_insert a off\n"},
      {{{true, DBIDENTITY, "a"}, {true, DBIDENTITY, "b"}},
       "set identity_insert a on\nset identity_insert a off\nset identity_insert b on\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.queued);
    for (const Step& s : k.steps)
      ASSERT_EQ(s.set ? dbsetopt(db, s.opt, s.param, -1) : dbclropt(db, s.opt, s.param), SUCCEED);
    std::string queued;
    for (const dbstring* t = db->optcmd; t; t = t->next) queued.append(t->data, static_cast<size_t>(t->len));
    EXPECT_EQ(queued, k.queued);
    db->optcmd = strfree(db->optcmd);
    db->cmdbuf = strfree(db->cmdbuf);
  }
  dbclose(db);
  peer.join();
}

TEST_F(DbCmd, RejectedOptionFailsTheNextBatch) {
  Peer peer(session({cat({message(0xAA, 195, 15, "bad option"), done(0x02)})}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbsetopt(db, DBROWCOUNT, "x", 0);
  dbcmd(db, "select 1");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20018));
  dbclose(db);
}

TEST_F(DbCmd, UseRetriesWhileTheDatabaseIsInRecovery) {
  Bytes recovering = cat({message(0xAB, 922, 14, "Database 'cat' is being recovered."), done(0x02)});
  Bytes used = cat({envchange(1, "cat", "master"), message(0xAB, 5701, 10, "Changed database context to 'cat'."),
                    done(0)});
  std::vector<Bytes> got;
  Peer peer(session({recovering, recovering, used, cat({message(0xAA, 911, 11, "no such db"), done(2)})}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  messages().clear();
  EXPECT_EQ(dbuse(db, "cat"), SUCCEED);
  EXPECT_STREQ(dbname(db), "cat");
  EXPECT_TRUE(db->status & DBST_DBCHANGED);
  for (const Seen& m : messages()) EXPECT_NE(m.number, 922);  // the handler never sees 922
  EXPECT_EQ(dbnummsg(db), 0);  // 5701 is never stored
  EXPECT_EQ(dbuse(db, "nosuch"), FAIL);
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(text_of(got[static_cast<size_t>(i)], 6), "use cat");
}

TEST_F(DbCmd, MessagesAreStoredWrappedAndCounted) {
  std::string long_text;
  while (long_text.size() < 150) long_text += "word" + std::to_string(long_text.size()) + " ";
  long_text.resize(150);
  Bytes reply = cat({message(0xAA, 2601, 16, long_text, 3), message(0xAB, 1, 10, "one\\ntwo"), done(0x02)});
  Bytes many;
  for (int i = 0; i < 105; ++i) many = cat({many, message(0xAB, 2, 10, "line " + std::to_string(i))});
  many = cat({many, done(0)});
  Peer peer(session({reply, many}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "insert");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  ASSERT_GE(dbnummsg(db), 4);
  DBINT no;
  int state, sev;
  char* t = dbservermsg(db, &no, &state, &sev);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t, "Msg 2601, Level 16, State 3:");
  EXPECT_EQ(no, 2601);
  std::string joined, first;
  for (int i = 0; i < 3; ++i) {
    char* line = dbgetmsg(db);
    ASSERT_NE(line, nullptr);
    EXPECT_LE(std::strlen(line), 70u);
    if (i == 0) first = line;
    joined += std::string(i ? " " : "") + line;
  }
  EXPECT_EQ(joined, long_text.substr(0, joined.size()));
  EXPECT_STREQ(dbgetmsg(db), "one two");
  EXPECT_EQ(dbsetmsg(db, 2), SUCCEED);
  EXPECT_EQ(std::string(dbgetmsg(db)), first);
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages()[0].number, 2601);
  dbcmd(db, "chatty");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbnummsg(db), 102);
  dbsetmsg(db, 102);
  EXPECT_STREQ(dbgetmsg(db), "Maximum (100) Data Server messages processed.");
  dbclose(db);
}

TEST_F(DbCmd, CancelSendsOneAttentionAndDropsUntilAcknowledged) {
  bool got_attention = false;
  Peer peer([&got_attention](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    // A long result: the first packet only, no end of message.
    std::vector<std::string> rows(200, std::string(20, 'r'));
    Bytes result = varchar_result("c", rows);
    Bytes first(result.begin(), result.begin() + 504);
    c.send_message(first, 4, 512, 0);
    Packet pk;
    if (!c.read_packet(&pk)) return;
    got_attention = pk.type == 6 && pk.length == 8 && pk.window == 1;
    c.send_message(Bytes(result.begin() + 504, result.begin() + 900), 4, 512, 0);
    c.send_message(done(0x20), 4, 512, 1);
    if (!c.read_message(&msg)) return;
    c.send_message(done(0x10, 0));
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select c from big");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbcancel(db), SUCCEED);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbcmd(db, "select 1");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbcancel(db), SUCCEED);  // nothing pending: nothing sent
  dbclose(db);
  peer.join();
  EXPECT_TRUE(got_attention);
}

TEST_F(DbCmd, CommandTimeOutRaisesAndTheHandlerDecides) {
  // Answer 3 (time out): the batch is cancelled with an attention.
  Peer peer([](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    Packet pk;
    if (!c.read_packet(&pk) || pk.type != 6) return;
    c.send_message(done(0x20));
    if (!c.read_message(&msg)) return;
    c.send_message(done(0));
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbsettime(3);
  g_err_answer = INT_TIMEOUT;
  dbcmd(db, "waitfor");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20003));
  EXPECT_FALSE(dbdead(db));
  g_err_answer = INT_CANCEL;
  dbsettime(0);
  db->status &= ~DBST_TIMEDOUT;
  dbcmd(db, "select 1");
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbclose(db);
}

TEST_F(DbCmd, CommandTimeOutWithCancelAnswerKillsTheConnection) {
  Peer peer([](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    c.read_message(&msg);
    unsigned char b[64];
    while (c.read_exact(b, 1)) {
    }
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  dbsettime(2);
  dbcmd(db, "waitfor");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20003));
  EXPECT_TRUE(dbdead(db));
  errors().clear();
  EXPECT_EQ(dbcmd(db, "x"), FAIL);
  EXPECT_TRUE(saw_error(20047));
  dbclose(db);
}

TEST_F(DbCmd, BadTokensAndBrokenPacketsAfterLogin) {
  // A packet one byte longer than the packet size (512), all of it sent;
  // and the same after an empty packet, so that it lies whole in the bytes
  // read ahead.
  Bytes one_over = {4, 1, 0x02, 0x01, 0, 0, 0, 0};
  one_over.resize(513, 0);
  Bytes read_ahead = {4, 0, 0, 8, 0, 0, 0, 0};
  Bytes seven_ahead = read_ahead;
  read_ahead.insert(read_ahead.end(), one_over.begin(), one_over.end());
  seven_ahead.insert(seven_ahead.end(), {4, 1, 0, 7, 0, 0, 0, 0, 0xFD, 0, 0, 0, 0, 0, 0, 0, 0});
  struct Case {
    const char* name;
    Bytes raw;
    int error;
  } cases[] = {
      {"unknown token", {4, 1, 0, 9, 0, 0, 0, 0, 0x02}, 20020},
      {"length above packet size", {4, 1, 0x10, 0x00, 0, 0, 0, 0}, 20004},
      {"length one above packet size", one_over, 20004},
      {"length one above packet size, read ahead", read_ahead, 20004},
      {"length 7", {4, 1, 0, 7, 0, 0, 0, 0}, 20004},
      {"length 7, read ahead", seven_ahead, 20004},
  };
  for (auto& k : cases) {
    reset_handlers();
    Peer peer([&k](Conn& c) {
      Bytes msg;
      if (!c.read_message(&msg)) return;
      c.send_message(login_ok(true));
      if (!c.read_message(&msg)) return;
      c.send_raw(k.raw);
      c.read_message(&msg);
    });
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr) << k.name;
    dbcmd(db, "select 1");
    EXPECT_EQ(dbsqlexec(db), FAIL) << k.name;
    EXPECT_TRUE(saw_error(k.error)) << k.name;
    EXPECT_TRUE(dbdead(db)) << k.name;
    dbclose(db);
  }
}

TEST_F(DbCmd, SafeStringAndMessageBuilding) {
  char out[32];
  EXPECT_EQ(dbsafestr(nullptr, "O'Neil", -1, out, -1, DBSINGLE), SUCCEED);
  EXPECT_STREQ(out, "O''Neil");
  EXPECT_EQ(dbsafestr(nullptr, "O'Neil", -1, out, -1, DBDOUBLE), SUCCEED);
  EXPECT_STREQ(out, "O'Neil");
  EXPECT_EQ(dbsafestr(nullptr, "a\"b'c", 5, out, sizeof out, DBBOTH), SUCCEED);
  EXPECT_STREQ(out, "a\"\"b''c");
  EXPECT_EQ(dbsafestr(nullptr, "abcd", 4, out, 4, DBSINGLE), FAIL);
  EXPECT_TRUE(saw_error(20054));
  char buf[128];
  EXPECT_EQ(dbstrbuild(nullptr, buf, sizeof buf, "%1! is an illegal value for the %2! parameter of %3!.",
                       "%d %s %s", 0, "int_param", "dbsetopt()"),
            64);
  EXPECT_STREQ(buf, "0 is an illegal value for the int_param parameter of dbsetopt().");
  EXPECT_LT(dbstrbuild(nullptr, buf, sizeof buf, "%1!", "%Q", 1), 0);
  EXPECT_TRUE(saw_error(20124));
  EXPECT_LT(dbstrbuild(nullptr, buf, 4, "%1!", "%d", 123456), 0);
  EXPECT_TRUE(saw_error(20125));
}

TEST(DbAttention, AcknowledgementNeedsTheWholeDoneInTheBody) {
  dbprocess p{};
  dbnetctx net{};
  BYTE block[64] = {};
  net.recvbuf = block;
  p.net = &net;
  p.protolevel = 7;
  p.status = DBST_EOM;
  // A body of 3 bytes cannot hold a DONE: never look before the packet.
  block[8] = 0xFD;
  net.lastlen = 11;
  EXPECT_EQ(GetAttnAck(&p), 0);
  Bytes ack = done(0x20);
  std::copy(ack.begin(), ack.end(), block + 8);
  net.lastlen = 8 + 9;
  EXPECT_EQ(GetAttnAck(&p), 1);
  block[9] = 0;
  block[10] = 0;
  EXPECT_EQ(GetAttnAck(&p), 0);
  p.status = 0;
  EXPECT_EQ(GetAttnAck(&p), 0);
}

TEST(DbChecks, NullAndDeadConnections) {
  reset_handlers();
  EXPECT_EQ(dbdead(nullptr), 0);
  EXPECT_EQ(dbcmd(nullptr, "x"), FAIL);
  EXPECT_TRUE(saw_error(20109));
  EXPECT_EQ(dbresults(nullptr), FAIL);
  EXPECT_EQ(dbnextrow(nullptr), FAIL);
  EXPECT_EQ(dbsqlexec(nullptr), FAIL);
  dberrhandle(nullptr);
}

int g_checks = 0;
int g_handled = 0;
int always_interrupted(DBPROCESS*) {
  ++g_checks;
  return 1;
}
int cancel_it(DBPROCESS*) {
  ++g_handled;
  return INT_CANCEL;
}

TEST_F(DbCmd, InterruptHandlerCancelSendsOneAttention) {
  int attentions = 0;
  Peer peer([&attentions](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    Packet pk;
    while (c.read_packet(&pk)) {
      if (pk.type != 6) break;
      ++attentions;
      // Give the client time to poll again before answering.
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      c.send_message(done(0x20));
      break;
    }
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  g_checks = g_handled = 0;
  ASSERT_EQ(dbsetinterrupt(db, always_interrupted, cancel_it), SUCCEED);
  dbcmd(db, "waitfor delay");
  dbsqlexec(db);
  EXPECT_GT(g_handled, 1);  // asked more than once ...
  dbsetinterrupt(db, nullptr, nullptr);
  dbclose(db);
  peer.join();
  EXPECT_EQ(attentions, 1);  // ... but only one attention went out
}

TEST_F(DbCmd, BelowLevelSevenABatchIsBareTextInLanguagePackets) {
  std::vector<Packet> packets;
  Peer peer([&packets](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(cat({loginack(5, 4, 6), done(0)}));
    if (!c.read_message(&msg, &packets)) return;
    c.send_message(done(0));
    c.read_message(&msg);
  });
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(dbwire(db), 5);
  std::string text(1200, 'b');
  dbcmd(db, text.c_str());
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  dbclose(db);
  peer.join();
  ASSERT_EQ(packets.size(), 3u);
  int lens[3] = {512, 512, 200};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(packets[static_cast<size_t>(i)].type, 1);
    EXPECT_EQ(packets[static_cast<size_t>(i)].length, lens[i]);
    EXPECT_EQ(packets[static_cast<size_t>(i)].number, i);
    EXPECT_EQ(packets[static_cast<size_t>(i)].status, i == 2 ? 1 : 0);
  }
}

}  // namespace
