// Login data, password files, server and database names, connection
// numbers and the failures of connecting.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "pravel_test_fixture.h"

namespace {

class QeltConn : public PravelTest {
 protected:
  void SetUp() override {
    PravelTest::SetUp();
    dir_ = ::testing::TempDir() + "pravel_pw_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::create_directories(dir_);
    setenv("ACAREA", dir_.c_str(), 1);
  }
  void write_pw(const std::string& user, const std::string& text) {
    std::FILE* f = std::fopen((dir_ + user + ".dat").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  // Connects slot 1 with only a user name, as the tool does for ORVO_USER.
  void connect_user(const char* user, const char* server = "SRV1") {
    pravel_setup(1, 1, user);
    pravel_query_setup(1, "m", 1, QELT_SQL, server, "orvo_ops", nullptr);
  }
  std::string dir_;
};

std::vector<std::string> kept_lines() {
  std::vector<std::string> out;
  char line[81];
  while (qelt_get_msg(line) == 0) out.emplace_back(line);
  return out;
}

TEST_F(QeltConn, PasswordFileOfTheLowerCasedUser) {
  write_pw("smith", "other   xyz\n  SRV1\tSecret99 trailing\nsrv1 second\n");
  connect_user("Smith  ");
  EXPECT_EQ(qelt_connected(1), QELT_CONNECTED);
  EXPECT_EQ(fakedb::state().login_user, "Smith");  // the slot's user is sent as handed over
  EXPECT_EQ(fakedb::state().login_password, "secret99");  // lines are lower-cased
}

TEST_F(QeltConn, NullPasswordAndLongPasswordsAreCut) {
  write_pw("ann", "srv1 null\n");
  connect_user("ann");
  EXPECT_EQ(fakedb::state().login_password, "");

  SetUp();
  write_pw("bob", "srv1 " + std::string(40, 'k') + "\n");
  connect_user("bob");
  EXPECT_EQ(fakedb::state().login_password, std::string(32, 'k'));
}

TEST_F(QeltConn, NoMatchingLineEndsTheProcess) {
  write_pw("carl", "srv2 pw\nsrv1\n");
  EXPECT_EXIT(connect_user("carl"), ::testing::ExitedWithCode(1),
              "Couldn't find password in password file for user \\(carl\\) on this server "
              "\\(srv1\\)");
}

TEST_F(QeltConn, PasswordFileFailuresFreeTheSlot) {
  struct Case {
    bool unset_area;
    const char* user;
    const char* message;
  };
  for (const Case& c : {Case{true, "dan", "Couldn't translate logical name for password files "
                                          "directory."},
                        Case{false, "nofile", "Couldn't open password file for user (nofile)."}}) {
    SetUp();
    if (c.unset_area) unsetenv("ACAREA");
    pravel_setup(1, 1, c.user);
    pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "orvo_ops", counting_handler);
    EXPECT_EQ(qelt_connected(1), QELT_FREE);
    EXPECT_GE(g_handler_calls, 1);
    auto kept = kept_lines();
    EXPECT_NE(std::find(kept.begin(), kept.end(), c.message), kept.end()) << c.message;
    EXPECT_NE(std::find(kept.begin(), kept.end(), "Unable to QELT connect to: orvo_ops"),
              kept.end());
    EXPECT_EQ(fakedb::state().opened, 0);
  }
}

TEST_F(QeltConn, NoPasswordFileFlagUsesAnEmptyPassword) {
  pravel_setup(1, 3, "");
  connect_user("erin");  // no password file exists for erin
  EXPECT_EQ(qelt_connected(1), QELT_CONNECTED);
  EXPECT_EQ(fakedb::state().login_password, "");
}

// The command time-out item reaches the DB client before the connection
// is opened, so that it bounds every read after the login; without it
// the client's setting is left alone.
TEST_F(QeltConn, CommandTimeOutIsSetBeforeConnecting) {
  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  pravel_setup(1, 8, "1800 ");
  pravel_query_setup(1, "m", 1, QELT_SQL, "srv", "db", nullptr);
  auto log = fakedb::calls({"dbsettime", "dbopen"});
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "dbsettime(1800)");
  EXPECT_EQ(log[1].rfind("dbopen(", 0), 0u);

  SetUp();
  pravel_setup(1, 3, "");
  pravel_query_setup(1, "m", 1, QELT_SQL, "srv", "db", nullptr);
  EXPECT_TRUE(fakedb::calls({"dbsettime"}).empty());
}

TEST_F(QeltConn, ServerAndDatabaseNamesFromTheEnvironment) {
  setenv("SRVX", "realsrv", 1);
  setenv("ORVO_OPS", "Other_DB", 1);
  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  pravel_setup(1, 7, "quorel");
  pravel_query_setup(1, "m", 1, QELT_SQL, "srvx", "orvo_ops", nullptr);
  EXPECT_EQ(fakedb::state().server, "REALSRV");
  EXPECT_EQ(fakedb::state().database, "other_db");
  EXPECT_EQ(fakedb::state().login_app, "quorel");

  for (const char* srv : {"", "MERROW_1", "MERROW_1_B"}) {
    SetUp();
    setenv("DSQUERY", "dsq", 1);
    pravel_setup(1, 3, "");
    pravel_query_setup(1, "m", 1, QELT_SQL, srv, "orvo_ops", nullptr);
    EXPECT_EQ(fakedb::state().server, "DSQ") << srv;
  }
}

TEST_F(QeltConn, MissingDsqueryFailsTheConnect) {
  pravel_setup(1, 3, "");
  pravel_query_setup(1, "m", 1, QELT_SQL, "", "orvo_ops", counting_handler);
  EXPECT_EQ(qelt_connected(1), QELT_FREE);
  auto kept = kept_lines();
  EXPECT_NE(std::find(kept.begin(), kept.end(),
                      "Couldn't translate default server name environment variable (DSQUERY)"),
            kept.end());
}

TEST_F(QeltConn, OpenAndUseFailures) {
  for (bool open_fails : {true, false}) {
    SetUp();
    fakedb::state().open_fails = open_fails;
    fakedb::state().use_fails = !open_fails;
    pravel_setup(1, 3, "");
    pravel_query_setup(1, "m", 1, QELT_SQL, "srv1", "Orvo_Ops", counting_handler);
    EXPECT_EQ(qelt_connected(1), QELT_FREE);
    auto kept = kept_lines();
    const char* msg = open_fails ? "Couldn't connect with server <SRV1>"
                                 : "Cannot access database <orvo_ops> on server <SRV1>";
    EXPECT_NE(std::find(kept.begin(), kept.end(), msg), kept.end()) << msg;
    // The login record is freed either way.
    auto logins = fakedb::calls({"dblogin"});
    EXPECT_EQ(std::count(logins.begin(), logins.end(), "dblogin"),
              std::count(logins.begin(), logins.end(), "dbloginfree"));
  }
}

TEST_F(QeltConn, ConnectionNumbersAreRangeChecked) {
  qelt_suppress(1);
  qelt_set_report_level(QELT_ERR);
  for (int n : {-1, 11}) {
    EXPECT_EQ(qelt_connected(n), -1);
    EXPECT_EQ(qelt_get_exec(n), -1);
    EXPECT_EQ(qelt_query(n, "x"), -1);
    EXPECT_EQ(qelt_close_query(n), -1);
    EXPECT_EQ(qelt_is_demand_connection(n), 0);
  }
  qelt_suppress(0);
  qelt_connected(11);
  auto kept = kept_lines();
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back(), "11 is an invalid process number");
  EXPECT_EXIT(pravel_setup(12, 1, "u"), ::testing::ExitedWithCode(1),
              "12 is an invalid process number");
}

TEST_F(QeltConn, CallOnANeverConnectedSlotEndsTheProcess) {
  EXPECT_EXIT(pravel_get_exec(2), ::testing::ExitedWithCode(1), "Invalid DBMS connection");
}

TEST_F(QeltConn, WrongQueryLanguageRunsTheHandler) {
  pravel_setup(1, 3, "");
  pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "db", counting_handler);
  qelt_close_query(1);
  pravel_query_setup(1, "m", 2, 1, "SRV1", "db", nullptr);
  EXPECT_EQ(g_handler_calls, 1);
  auto kept = kept_lines();
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back(), "Invalid query language type");
}

TEST_F(QeltConn, SlotsAndHandlers) {
  int conn = 5;
  EXPECT_EQ(qelt_establish_error_handler(&conn, counting_handler), 0);
  EXPECT_EQ(conn, 0);  // neither demanded nor connected: the lowest free slot
  qelt_demand_connection(5);
  conn = 5;
  EXPECT_EQ(qelt_establish_error_handler(&conn, counting_handler), 0);
  EXPECT_EQ(conn, 5);
  EXPECT_EQ(qelt_is_demand_connection(5), 1);
  int next = -1;
  EXPECT_EQ(qelt_get_next_proc_num(&next), 0);
  EXPECT_EQ(next, 0);

  pravel_setup(1, 3, "");
  EXPECT_EQ(pravel_connect(1, 4, "SRV1", "db", nullptr), 0);
  EXPECT_EQ(qelt_get_current_process(), 1);
  qelt_suppress(1);
  EXPECT_EQ(pravel_connect(1, 4, "SRV1", "db", nullptr), -1);  // connection already exists
  qelt_suppress(0);
  EXPECT_EQ(qelt_disconnect_dbms(1), 0);
  EXPECT_EQ(qelt_connected(1), QELT_FREE);
  EXPECT_EQ(fakedb::calls({"dbclose"}).size(), 1u);
}

}  // namespace
