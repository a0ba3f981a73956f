// The DB client against the stand-in server: logins (clear, encrypted,
// refused), batches and options as the server logs them, dbuse with its
// recovery retry, a second language from the installation tree, and every
// scripted misbehaviour ending in the client error it calls for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "db_testpeer.h"
#include "dblib/db_internal.h"
#include "platform/clock.h"
#include "standin/standin.h"

using testpeer::errors;
using testpeer::messages;
using testpeer::reset_handlers;
using testpeer::run_batch;
using testpeer::saw_error;

namespace {

class Standin : public ::testing::Test {
 protected:
  void SetUp() override { testpeer::client_setup(); }
  void TearDown() override {
    testpeer::client_teardown();
    dbsetifile(nullptr);
    ::unsetenv("MERROW");
    dbsethome(nullptr);
  }
  // Starts a server with `script` and points the client at it as SERVER.
  void start(const std::string& script = "") {
    standin::ServerOptions o;
    o.script = script;
    srv_ = std::make_unique<standin::StandinServer>(o);
    home_ = srv_->make_home("SERVER");
    ::setenv("MERROW", home_.c_str(), 1);
    dbsetifile((home_ + "/interfaces").c_str());
  }
  DBPROCESS* open(const char* user = "calread", const char* pwd = "tuvelmark", bool encrypt = false,
                  const char* lang = nullptr, long packet = 0) {
    LOGINREC* l = dblogin();
    DBSETLUSER(l, user);
    DBSETLPWD(l, pwd);
    DBSETLAPP(l, "dblib_standin_test");
    if (encrypt) DBSETLENCRYPT(l, TRUE);
    if (lang) DBSETLNATLANG(l, lang);
    if (packet) DBSETLPACKET(l, packet);
    DBPROCESS* db = dbopen(l, "SERVER");
    dbloginfree(l);
    return db;
  }
  std::unique_ptr<standin::StandinServer> srv_;
  std::string home_;
};

TEST_F(Standin, ClearAndEncryptedLoginsAndWrongPassword) {
  start();
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr) << (errors().empty() ? "" : errors()[0].text);
  EXPECT_EQ(dbwire(db), 7);
  EXPECT_STREQ(dbname(db), "master");
  dbclose(db);
  db = open("calread", "tuvelmark", true);
  ASSERT_NE(db, nullptr) << (errors().empty() ? "" : errors()[0].text);
  dbclose(db);
  EXPECT_EQ(open("calread", "wrong"), nullptr);
  EXPECT_TRUE(saw_error(20014));
  errors().clear();
  EXPECT_EQ(open("calread", "wrong", true), nullptr);
  EXPECT_TRUE(saw_error(20014));
  bool encrypted_seen = false;
  for (const standin::LogLine& l : srv_->log())
    if (l.event == "login" && l.detail.find("encrypted=1") != std::string::npos) encrypted_seen = true;
  EXPECT_TRUE(encrypted_seen);
}

TEST_F(Standin, BatchesOptionsAndUseReachTheServer) {
  start();
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbsetopt(db, DBTEXTSIZE, "500000", 0), SUCCEED);
  EXPECT_EQ(dbsqlexec(db), SUCCEED);
  while (dbresults(db) == SUCCEED) {
  }
  EXPECT_EQ(dbuse(db, "orvo_ops"), SUCCEED);
  EXPECT_STREQ(dbname(db), "orvo_ops");
  EXPECT_TRUE(run_batch(db, "create table t1 (a varchar(10) null)"));
  EXPECT_TRUE(run_batch(db, "insert into t1 values (\"one\") insert into t1 values (\"two\")"));
  ASSERT_EQ(dbcmd(db, "select a from t1 order by a"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  std::vector<std::string> got;
  while (dbnextrow(db) == REG_ROW)
    got.emplace_back(reinterpret_cast<char*>(dbdata(db, 1)), static_cast<size_t>(dbdatlen(db, 1)));
  EXPECT_EQ(got, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(dbcount(db), 2);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  EXPECT_EQ(dbuse(db, "nosuchdb"), FAIL);
  dbclose(db);
  std::vector<std::string> b = srv_->batches();
  ASSERT_GE(b.size(), 3u);
  EXPECT_EQ(b[0], "set textsize 500000\n");
  EXPECT_EQ(b[2], "use orvo_ops");
}

TEST_F(Standin, UseRetriesThroughRecoveryAndDeadlockIsReported) {
  start("batch \"use orvo_ops\" error 922 14 times 2\nbatch \"select 1205\" error 1205 13 times 1\n");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  messages().clear();
  std::int64_t t0 = platform::plat_now_ms();
  EXPECT_EQ(dbuse(db, "orvo_ops"), SUCCEED);
  EXPECT_GE(platform::plat_now_ms() - t0, static_cast<std::int64_t>(2000 * platform::plat_time_scale()));
  for (const testpeer::Seen& m : messages()) EXPECT_NE(m.number, 922);
  dbcmd(db, "select 1205");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20018));
  bool deadlock = false;
  for (const testpeer::Seen& m : messages()) deadlock |= m.number == 1205;
  EXPECT_TRUE(deadlock);
  EXPECT_FALSE(dbdead(db));
  EXPECT_TRUE(run_batch(db, "select 1"));
  dbclose(db);
  int uses = 0;
  for (const std::string& s : srv_->batches()) uses += s == "use orvo_ops";
  EXPECT_EQ(uses, 3);
}

TEST_F(Standin, RefusedLoginAndUnknownServerAndClosedPort) {
  start("login refuse times 1\n");
  EXPECT_EQ(open(), nullptr);
  EXPECT_TRUE(saw_error(20014));
  DBPROCESS* db = open();
  EXPECT_NE(db, nullptr);
  dbclose(db);
  errors().clear();
  LOGINREC* l = dblogin();
  EXPECT_EQ(dbopen(l, "NOSUCHSERVER"), nullptr);
  EXPECT_TRUE(saw_error(20012));
  std::string ifile = home_ + "/interfaces2";
  standin::write_text_file(ifile, standin::interfaces_entry("CLOSED", standin::free_port(), 1, 2));
  dbsetifile(ifile.c_str());
  EXPECT_EQ(dbopen(l, "CLOSED"), nullptr);
  EXPECT_TRUE(saw_error(20009));
  dbloginfree(l);
}

struct Breach {
  const char* name;
  const char* script;
  const char* sql;
  int error;
};

TEST_F(Standin, ScriptedMisbehaviourEndsInClientError) {
  const Breach cases[] = {
      {"length above packet size", "batch \"big\" badlength big", "select 'big'", 20004},
      {"length below 8", "batch \"small\" badlength small", "select 'small'", 20004},
      {"unknown token", "batch \"tok\" badtoken 0x05", "select 'tok'", 20020},
      {"unknown token among rows", "batch \"rows\" badtoken 0x07 rows", "select 'rows' union select 'x'", 20020},
      {"close", "batch \"shut\" close", "select 'shut'", 20017},
      {"close mid-packet", "batch \"mid\" closemid", "select 'mid'", 20017},
  };
  for (const Breach& b : cases) {
    reset_handlers();
    start(b.script);
    DBPROCESS* db = open();
    ASSERT_NE(db, nullptr) << b.name;
    EXPECT_FALSE(run_batch(db, b.sql)) << b.name;
    EXPECT_TRUE(saw_error(b.error)) << b.name;
    EXPECT_TRUE(dbdead(db)) << b.name;
    dbclose(db);
    srv_.reset();
  }
  const Breach logins[] = {
      {"login length above packet size", "login badlength big", "", 20004},
      {"login unknown token", "login badtoken 0x09", "", 20020},
      {"login close mid-packet", "login closemid", "", 20017},
  };
  for (const Breach& b : logins) {
    reset_handlers();
    start(b.script);
    EXPECT_EQ(open(), nullptr) << b.name;
    EXPECT_TRUE(saw_error(b.error)) << b.name;
    srv_.reset();
  }
}

TEST_F(Standin, SilenceEndsInTimeOutOrCancel) {
  start("batch \"hush\" silent 30\n");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  dbsettime(5);
  // Cancelling through the time-out answer keeps the connection usable.
  testpeer::g_err_answer = INT_TIMEOUT;
  std::int64_t t0 = platform::plat_now_ms();
  dbcmd(db, "select 'hush'");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(saw_error(20003));
  EXPECT_FALSE(dbdead(db));
  EXPECT_LT(platform::plat_now_ms() - t0, static_cast<std::int64_t>(30000 * platform::plat_time_scale()));
  testpeer::g_err_answer = INT_CANCEL;
  db->status &= ~DBST_TIMEDOUT;
  dbsettime(0);
  EXPECT_TRUE(run_batch(db, "select 2"));
  // Answered with a cancel, the time-out marks the connection dead.
  dbsettime(5);
  dbcmd(db, "select 'hush' -- again");
  EXPECT_EQ(dbsqlexec(db), FAIL);
  EXPECT_TRUE(dbdead(db));
  dbclose(db);
  // A silent login ends with the login time-out.
  reset_handlers();
  srv_.reset();
  start("login silent 30\n");
  dbsetlogintime(3);
  EXPECT_EQ(open(), nullptr);
  EXPECT_TRUE(saw_error(20003));
}

TEST_F(Standin, SecondLanguageAndGrantedPacketSize) {
  start();
  DBPROCESS* db = open("calread", "tuvelmark", false, "italian", 2048);
  ASSERT_NE(db, nullptr) << (errors().empty() ? "" : errors()[0].text);
  EXPECT_STREQ(dbgetnatlang(db), "italian");
  EXPECT_STREQ(db__geterrstr(db, 20014), "Login non corretto.");
  const char* months[12];
  db__getmonthlist(db, months);
  EXPECT_STREQ(months[0], "gennaio");
  EXPECT_EQ(db->pktsize, 2048);
  std::string big = "select '" + std::string(3000, 'w') + "'";
  EXPECT_TRUE(run_batch(db, big.c_str()));
  dbclose(db);
  bool big_packet = false;
  for (const standin::LogLine& l : srv_->log())
    if (l.event == "packet" && l.detail.find("length=2048") != std::string::npos) big_packet = true;
  EXPECT_TRUE(big_packet);
}

TEST_F(Standin, RedirectedLoginReconnectsToTheNamedNode) {
  start("login redirect 127.0.0.1 times 1\n");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(run_batch(db, "select 1"));
  dbclose(db);
  int logins = 0;
  for (const standin::LogLine& l : srv_->log()) logins += l.event == "login";
  EXPECT_EQ(logins, 2);
  // A server that redirects every login is given up, not followed for ever.
  srv_.reset();
  reset_handlers();
  start("login redirect 127.0.0.1\n");
  EXPECT_EQ(open(), nullptr);
  EXPECT_TRUE(saw_error(20014));
}

}  // namespace
