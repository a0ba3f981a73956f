// The tool's four-statement conversation, row delivery and deadlock retry,
// run against the scripted DB client.
#include <algorithm>
#include <cstring>

#include "pravel_test_fixture.h"

namespace {

const char* kStmt1a = "select distinct max(a.useafter_date) useafter_date, compname into ";
const char* kStmt1b =
    "#temp1 from kelvar_file a, kelvar_row b where a.useafter_date < \"Jan 1 2000 01:30:00 pm\" "
    "and a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and "
    "a.reject_flag = 'N' group by b.compname";
const char* kStmt2 = "create unique nonclustered index tmp_i on #temp1(compname, useafter_date)";
const char* kStmt3a = "select a.general_availability_date availability_date, a.file_name file_name, ";
const char* kStmt3b =
    "a.comment comment, b.compname compname from kelvar_file a, kelvar_row b, #temp1 t where "
    "a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and a.reject_flag = 'N' "
    "and t.compname = b.compname and t.useafter_date = a.useafter_date and a.file_name like "
    "'%.FITS' order by b.compname";
const char* kStmt4 = "drop table #temp1";

fakedb::ResultSet catalogue_rows() {
  fakedb::ResultSet rs;
  rs.columns = {"availability_date", "file_name", "comment", "compname"};
  rs.rows = {{"Mar  3 1999 10:00:00:000AM", "AB12345_TMT.FITS", "  First\tcomment ", "acs_f555w"},
             {"Apr  4 1999 11:00:00:000AM", "CD67890_TMT.FITS", std::nullopt, "wfc3_f814w"}};
  return rs;
}

struct ToolBuffers {
  char date[64], file[64], comp[64];
  char comment[16001];
  int comment_len = -1;
};

// Runs statement 3 as the tool does and returns the rows it would store.
std::vector<std::vector<std::string>> run_statement3(ToolBuffers& b) {
  pravel_query_setup(1, "comptab_qry", 3, QELT_SQL, "SRV1", "orvo_ops", nullptr);
  qelt_query(1, kStmt3a);
  qelt_query(1, kStmt3b);
  qelt_bind_string(1, "availability_date", b.date, 63);
  qelt_bind_string(1, "compname", b.comp, 63);
  qelt_bind_string(1, "file_name", b.file, 63);
  qelt_bind_text(1, "comment", b.comment, &b.comment_len, 16000);
  std::vector<std::vector<std::string>> rows;
  while (pravel_get_exec(1) == 0) {
    if (pravel_fetch_outcome(1) != PRAVEL_FETCH_ROW) continue;
    b.comment[b.comment_len] = '\0';
    rows.push_back({b.date, b.comp, b.file, b.comment});
  }
  qelt_close_query(1);
  return rows;
}

// Sends a statement without rows on the query set up on slot 1, the
// tool's way: repeat the call only while a deadlock retry is pending; then
// closes the query.  The last call's result.
int run_to_end(const std::vector<const char*>& pieces) {
  for (const char* p : pieces) qelt_query(1, p);
  int r;
  do {
    r = pravel_get_exec(1);
  } while (r == 0 && pravel_fetch_outcome(1) == PRAVEL_FETCH_RETRY);
  qelt_close_query(1);
  return r;
}

// One statement without rows as the tool sends it: query number n.
int run_simple(int n, const std::vector<const char*>& pieces) {
  pravel_query_setup(1, "comptab_qry", n, QELT_SQL, "SRV1", "orvo_ops", nullptr);
  return run_to_end(pieces);
}

// Scripts the next batch holding `match` to fail with the server's
// deadlock message.
void script_deadlock(const char* match) {
  fakedb::Answer d;
  d.match = match;
  d.messages = {{1205, 45, 13, "deadlocked"}};
  d.fails = true;
  fakedb::script(d);
}

using PravelExec = PravelTest;

TEST_F(PravelExec, FourStatementConversationRunsInOrder) {
  fakedb::Answer a3;
  a3.match = "general_availability_date";
  a3.results = {catalogue_rows()};
  a3.count = 2;
  fakedb::script(a3);

  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  EXPECT_EQ(run_simple(1, {kStmt1a, kStmt1b}), 1);
  EXPECT_EQ(run_simple(2, {kStmt2}), 1);
  ToolBuffers b;
  auto rows = run_statement3(b);
  EXPECT_EQ(run_simple(4, {kStmt4}), 1);

  // Login as handed over, encrypted password, the database made current.
  const auto& st = fakedb::state();
  EXPECT_EQ(st.login_user, "calread");
  EXPECT_EQ(st.login_password, "tuvelmark");
  EXPECT_EQ(st.encrypt, 1);
  EXPECT_EQ(st.server, "SRV1");
  EXPECT_EQ(st.database, "orvo_ops");
  EXPECT_EQ(st.opened, 1);

  // Statement texts as sent: pieces joined by blanks, lower-cased outside quotes.
  std::vector<std::string> statements;
  for (const auto& s : st.sent)
    if (s.find("@@rowcount") == std::string::npos && s != " ") statements.push_back(s);
  ASSERT_EQ(statements.size(), 4u);
  EXPECT_EQ(statements[0],
            " select distinct max(a.useafter_date) useafter_date, compname into  #temp1 from "
            "kelvar_file a, kelvar_row b where a.useafter_date < \"Jan 1 2000 01:30:00 pm\" and "
            "a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and "
            "a.reject_flag = 'N' group by b.compname");
  EXPECT_EQ(statements[1], std::string(" ") + kStmt2);
  EXPECT_NE(statements[2].find("like '%.FITS' order by b.compname"), std::string::npos);
  EXPECT_EQ(statements[3], " drop table #temp1");

  // The calls of the first statement, connect included, in order.
  std::vector<std::string> expected = {
      "dbinit", "dbsetversion(2)", "dbmsghandle", "dberrhandle", "dblogin",
      "dbsetlbool(1,12)", "dbsetlname(3)", "dbsetlname(2)", "dbopen(SRV1)",
      "dbuse(orvo_ops)", "dbloginfree", "dbsetopt(17,500000)", "dbcmd( )", "dbsqlexec",
      std::string("dbcmd(") + statements[0] + ")", "dbsetinterrupt", "dbsqlexec", "dbresults",
      "dbresults", "dbcancel", "dbfreebuf", "dbcmdrow", "dbcmd(select @@rowcount num_row)",
      "dbsqlexec", "dbresults", "dbbind(1,3,0)", "dbnextrow"};
  ASSERT_GE(st.log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(st.log.begin(), st.log.begin() + expected.size()), expected);

  // Statement by statement: each is sent, read to its end and closed before
  // the next one is sent; statement 3's columns are bound before its rows.
  std::vector<std::string> flow;
  bool side_query = false;  // the row-count query a close sends
  for (const std::string& c : st.log) {
    if (c.rfind("dbcmd(", 0) == 0) {
      side_query = c.find("@@rowcount") != std::string::npos || c == "dbcmd( )";
      if (!side_query) flow.push_back("send");
      continue;
    }
    if (c == "dbcancel") flow.push_back("close");
    if (side_query) continue;
    if (c.rfind("dbbind(", 0) == 0) flow.push_back("bind");
    if ((c == "dbresults" || c == "dbnextrow") && flow.back() != "read") flow.push_back("read");
  }
  EXPECT_EQ(flow, (std::vector<std::string>{"send", "read", "close", "send", "read", "close",
                                            "send", "read", "bind", "bind", "bind", "read",
                                            "close", "send", "read", "close"}));

  // Statement 3: bound by name, fetched row by row, counted from the DB client.
  auto s3 = fakedb::calls({"dbbind(", "dbcount"});
  std::vector<std::string> binds(s3.begin(), s3.end());
  EXPECT_NE(std::find(binds.begin(), binds.end(), "dbbind(1,12,63)"), binds.end());
  EXPECT_NE(std::find(binds.begin(), binds.end(), "dbbind(2,12,63)"), binds.end());
  EXPECT_NE(std::find(binds.begin(), binds.end(), "dbbind(4,12,63)"), binds.end());
  EXPECT_NE(std::find(binds.begin(), binds.end(), "dbcount"), binds.end());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "Mar  3 1999 10:00:00:000AM" + std::string(36, ' '));
  EXPECT_EQ(rows[0][1].substr(0, 9), "acs_f555w");
  EXPECT_EQ(rows[0][2].substr(0, 16), "AB12345_TMT.FITS");
  EXPECT_EQ(rows[0][3], "  First\tcomment ");
  EXPECT_EQ(rows[1][1].substr(0, 10), "wfc3_f814w");
  EXPECT_EQ(rows[1][3], "");  // a NULL text stores length 0
}

TEST_F(PravelExec, StatementWithoutRowsCompletesInOneCall) {
  connect_tool_style();
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(pravel_fetch_outcome(1), PRAVEL_FETCH_NONE);
  EXPECT_EQ(qelt_close_query(1), 0);
  EXPECT_EQ(qelt_close_query(1), 0);  // closing twice does nothing
  EXPECT_EQ(fakedb::sends_of("drop table"), 1);
  EXPECT_EQ(fakedb::calls({"dbcancel"}).size(), 1u);
}

TEST_F(PravelExec, ThreeRowsGiveThreeZerosThenOne) {
  fakedb::script(fakedb::answer("select", fakedb::result({"n"}, {{"1"}, {"2"}, {"3"}})));
  connect_tool_style();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "N ", &n);  // name in any case, trailing blanks ignored
  std::vector<int> got;
  int r;
  while ((r = pravel_get_exec(1)) == 0) {
    got.push_back(n);
    EXPECT_EQ(qelt_record_count(1), static_cast<int>(got.size()));  // rows so far
  }
  EXPECT_EQ(r, 1);
  EXPECT_EQ(got, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(qelt_record_count(1), -1);  // the fake's count is not valid
}

TEST_F(PravelExec, TwoDeadlocksThenSuccessGiveTheServersRowsAndThreeSends) {
  fakedb::Msg dead{1205, 45, 13, "Your server command was deadlocked. Rerun your command."};
  for (int i = 0; i < 2; ++i) {
    fakedb::Answer d;
    d.match = "general_availability_date";
    d.messages = {dead};
    d.fails = true;
    fakedb::script(d);
  }
  fakedb::Answer ok;
  ok.match = "general_availability_date";
  ok.results = {catalogue_rows()};
  fakedb::script(ok);
  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  ToolBuffers b;
  std::memset(b.comp, 'X', sizeof b.comp);
  auto rows = run_statement3(b);
  EXPECT_EQ(fakedb::sends_of("general_availability_date"), 3);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1].substr(0, 9), "acs_f555w");
  EXPECT_EQ(rows[1][1].substr(0, 10), "wfc3_f814w");
  // The deadlock record table was asked for once; it does not exist.
  EXPECT_EQ(fakedb::sends_of("object_id('qelt_deadlock')"), 1);
  EXPECT_EQ(fakedb::sends_of("insert into qelt_deadlock"), 0);
}

TEST_F(PravelExec, AfterADeadlockPauseTheCallReportsRetryAndNoRow) {
  script_deadlock("drop");
  connect_tool_style();
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_fetch_outcome(1), PRAVEL_FETCH_RETRY);
  EXPECT_EQ(qelt_get_status(1), 0);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(fakedb::sends_of("drop table"), 2);
}

TEST_F(PravelExec, ThreeDeadlocksEndTheProcess) {
  auto run = [this] {
    for (int i = 0; i < 3; ++i) script_deadlock("drop");
    connect_tool_style();
    qelt_query(1, kStmt4);
    while (pravel_get_exec(1) == 0) {
    }
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "Query retries for deadlock all failed\n");
}

TEST_F(PravelExec, ThreeDeadlocksSendThreeTimesAndFailWithAReturningHandler) {
  for (int i = 0; i < 3; ++i) script_deadlock("drop");
  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "db", counting_handler);
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(fakedb::sends_of("drop table"), 3);
  EXPECT_EQ(pravel_get_status(1), -1);
  char line[81];
  bool found = false;
  while (qelt_get_msg(line) == 0) found = found || std::strcmp(line, "Query retries for deadlock all failed") == 0;
  EXPECT_TRUE(found);
}

TEST_F(PravelExec, DeadlockOnFirstFetchIsRetriedAndRecorded) {
  fakedb::Answer tbl;  // the record table exists
  tbl.match = "object_id";
  fakedb::ResultSet id;
  id.columns = {"obj_id"};
  id.rows = {{"4711"}};
  tbl.results = {id};
  fakedb::script(tbl);
  fakedb::ResultSet rs = fakedb::result({"n"}, {{"1"}});
  rs.fail_at = 0;
  rs.fail_msgs = {{1205, 45, 13, "deadlocked"}};
  fakedb::script(fakedb::answer("select n", rs));
  fakedb::Answer second;
  second.match = "select n";
  rs.fail_at = -1;
  second.results = {rs};
  fakedb::script(second);

  pravel_setup(1, 1, "o'brien");
  pravel_setup(1, 2, "pw");
  pravel_query_setup(1, "mod'x", 7, QELT_SQL, "SRV1", "db", nullptr);
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_fetch_outcome(1), PRAVEL_FETCH_RETRY);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_fetch_outcome(1), PRAVEL_FETCH_ROW);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(pravel_get_exec(1), 1);
  ASSERT_EQ(fakedb::sends_of("insert into qelt_deadlock"), 1);
  std::string insert;
  for (const auto& s : fakedb::state().sent)
    if (s.find("insert into qelt_deadlock") != std::string::npos) insert = s;
  // Quotes inside the values are doubled.
  EXPECT_NE(insert.find("', 'mod''x', 7, 'UNKNOWN', '"), std::string::npos) << insert;
  EXPECT_NE(insert.find(" values ('"), std::string::npos);
  EXPECT_EQ(insert.substr(insert.size() - 5), "', 0)");
}

TEST_F(PravelExec, DeadlockAfterDeliveredRowsIsNotRetried) {
  fakedb::ResultSet rs = fakedb::result({"n"}, {{"1"}, {"2"}});
  rs.fail_at = 1;
  rs.fail_msgs = {{1205, 45, 13, "deadlocked"}};
  fakedb::script(fakedb::answer("select n", rs));
  connect_counting();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(fakedb::sends_of("select n"), 1);
}

TEST_F(PravelExec, DeadlockInsideATransactionIsNotRetried) {
  script_deadlock("update");
  connect_counting();
  qelt_query(1, "begin   tran update t set x = 1 where y = 'begin tran'");
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(fakedb::sends_of("update t"), 1);
}

// The transaction depth the statements before leave decides whether a
// deadlock is sent again: a commit or a rollback ends what a begin started,
// and words on either side of a quoted part do not join across it.
TEST_F(PravelExec, TransactionWordsDecideTheDeadlockRetry) {
  struct Case {
    std::vector<const char*> before;
    bool retried;
  } cases[] = {
      {{}, true},
      {{"begin tran"}, false},
      {{"begin tran", "commit tran"}, true},
      {{"begin tran", "begin tran", "rollback tran"}, true},
      {{"print 'a' begin 'b' tran"}, true},
  };
  for (const Case& c : cases) {
    qelt::qelt_reset_for_tests();
    fakedb::reset();
    script_deadlock("update u");
    pravel_setup(1, 1, "u");
    pravel_setup(1, 2, "p");
    int n = 0;
    auto run = [&](const char* sql) {
      pravel_query_setup(1, "m", ++n, QELT_SQL, "SRV1", "db", counting_handler);
      return run_to_end({sql});
    };
    for (const char* s : c.before) EXPECT_EQ(run(s), 1) << s;
    const std::string what = c.before.empty() ? "" : c.before.back();
    EXPECT_EQ(run("update u set y = 2"), c.retried ? 1 : -1) << what;
    EXPECT_EQ(fakedb::sends_of("update u"), c.retried ? 2 : 1) << what;
  }
}

TEST_F(PravelExec, FailedFetchIsNotARowAndAStuckFetchEnds) {
  fakedb::ResultSet rs = fakedb::result({"n"}, {{"1"}, {"2"}, {"3"}});
  rs.fail_at = 1;
  rs.fail_err = 20050;  // one conversion failure: the row is skipped
  fakedb::script(fakedb::answer("select n", rs));
  fakedb::Answer stuck;
  stuck.match = "select m";
  rs.fail_times = 1000;
  stuck.results = {rs};
  fakedb::script(stuck);
  connect_counting();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  std::vector<int> outcomes, values;
  while (pravel_get_exec(1) == 0) {
    outcomes.push_back(pravel_fetch_outcome(1));
    if (outcomes.back() == PRAVEL_FETCH_ROW) values.push_back(n);
  }
  EXPECT_EQ(outcomes, (std::vector<int>{PRAVEL_FETCH_ROW, PRAVEL_FETCH_FAILED, PRAVEL_FETCH_ROW}));
  EXPECT_EQ(values, (std::vector<int>{1, 3}));
  EXPECT_EQ(g_handler_calls, 0);
  qelt_close_query(1);

  // Ten failed fetches in a row abandon the query: nine come back as
  // failed fetches, the tenth is the failure.
  pravel_query_setup(1, "m", 2, QELT_SQL, "SRV1", "db", nullptr);
  qelt_query(1, "select m from t");
  qelt_bind_int(1, "n", &n);
  outcomes.clear();
  int r;
  while ((r = pravel_get_exec(1)) == 0) outcomes.push_back(pravel_fetch_outcome(1));
  EXPECT_EQ(r, -1);
  std::vector<int> want(10, PRAVEL_FETCH_FAILED);
  want[0] = PRAVEL_FETCH_ROW;
  EXPECT_EQ(outcomes, want);
  EXPECT_EQ(g_handler_calls, 1);
  qelt_close_query(1);

  // Nine in a row are not yet the limit, and a row starts the count again.
  rs.fail_times = 9;
  fakedb::Answer nine;
  nine.match = "select k";
  nine.results = {rs, rs};
  fakedb::script(nine);
  pravel_query_setup(1, "k", 3, QELT_SQL, "SRV1", "db", nullptr);
  qelt_query(1, "select k from t");
  qelt_bind_int(1, "n", &n);
  values.clear();
  while ((r = pravel_get_exec(1)) == 0)
    if (pravel_fetch_outcome(1) == PRAVEL_FETCH_ROW) values.push_back(n);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(values, (std::vector<int>{1, 3, 1, 3}));
  EXPECT_EQ(g_handler_calls, 1);
}

TEST_F(PravelExec, FailedFetchOnADeadConnectionFails) {
  fakedb::ResultSet rs = fakedb::result({"n"}, {{"1"}});
  rs.fail_at = 0;
  rs.dead_on_fail = true;
  rs.fail_err = 20006;
  fakedb::script(fakedb::answer("select n", rs));
  connect_counting();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(pravel_fetch_outcome(1), PRAVEL_FETCH_NONE);
}

TEST_F(PravelExec, GetExecAfterCloseEndsInTheDefaultHandler) {
  auto run = [this] {
    connect_tool_style();
    qelt_query(1, kStmt4);
    pravel_get_exec(1);
    qelt_close_query(1);
    pravel_get_exec(1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "cannot execute get_exec after query closed");
}

TEST_F(PravelExec, SecondSetupWithoutCloseFails) {
  connect_counting();
  pravel_query_setup(1, "m", 2, QELT_SQL, "SRV1", "db", nullptr);
  EXPECT_EQ(g_handler_calls, 1);
  char line[81];
  std::vector<std::string> kept;
  while (qelt_get_msg(line) == 0) kept.push_back(line);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back(), "Failed to close last query connection before starting a new query");
}

TEST_F(PravelExec, ServerMessage2601GivesAlternateStatus33) {
  fakedb::Answer a;
  a.match = "insert";
  a.messages = {{2601, 1, 14, "Attempt to insert duplicate key row"}};
  a.fails = true;
  fakedb::script(a);
  connect_counting();
  qelt_query(1, "insert into t values (1)");
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(pravel_get_status(1), 33);
  EXPECT_EQ(qelt_get_status(1), 2601);  // not replaced by the client error 20018
}

}  // namespace

namespace {

TEST_F(PravelExec, CancelDropsTheRestOfTheRows) {
  fakedb::script(fakedb::answer("select n", fakedb::result({"n"}, {{"1"}, {"2"}, {"3"}})));
  connect_tool_style();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(qelt_cancel(1), 0);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(fakedb::calls({"dbcanquery"}).size(), 1u);
}

TEST_F(PravelExec, TransactionStateAndTextSize) {
  fakedb::script(fakedb::answer("@@trancount", fakedb::result({"in_trans"}, {{"2"}})));
  fakedb::script(fakedb::answer("select n", fakedb::result({"n"}, {{"1"}})));
  connect_counting();
  qelt_query(1, "select n from t");
  int n = 0;
  qelt_bind_int(1, "n", &n);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(qelt_in_transaction(1), -1);  // still fetching
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(qelt_in_transaction(1), 4);
  EXPECT_EQ(qelt_in_transaction(1), 5);  // no scripted answer: count missing
  qelt_close_query(1);

  EXPECT_EQ(qelt_set_textsize(1, 64000), 0);
  EXPECT_EQ(qelt_set_textsize(1, 64000), 0);  // already set: nothing sent
  EXPECT_EQ(fakedb::sends_of("set textsize 64000"), 1);
}

// A statement without a row count of its own: the count is asked of the
// server, and an answer without a row gives -1.
TEST_F(PravelExec, RowCountAskedOfTheServer) {
  fakedb::script(fakedb::answer("@@rowcount", fakedb::result({"num_row"}, {{"7"}})));
  connect_counting();
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(qelt_record_count(1), 7);
  EXPECT_EQ(qelt_record_count(1), 7);  // asked once
  qelt_close_query(1);
  fakedb::script(fakedb::answer("@@rowcount", fakedb::result({"num_row"}, {})));
  pravel_query_setup(1, "m", 2, QELT_SQL, "SRV1", "db", nullptr);
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 1);
  EXPECT_EQ(qelt_record_count(1), -1);
  qelt_close_query(1);
  EXPECT_EQ(fakedb::sends_of("@@rowcount"), 2);
}

// A one-value question answered with endless rows: the answer is read to
// the 100,000th row and no further, and the rest is cancelled so that the
// connection takes the next statement.
TEST_F(PravelExec, AnOverlongAnswerToAOneValueQuestionIsCutAndCancelled) {
  std::vector<std::vector<std::optional<std::string>>> rows(100001, {"0"});
  rows.back() = {"1"};
  fakedb::script(fakedb::answer("@@trancount", fakedb::result({"in_trans"}, rows)));
  connect_counting();
  qelt_query(1, kStmt4);
  EXPECT_EQ(pravel_get_exec(1), 1);
  const std::size_t fetches = fakedb::calls({"dbnextrow"}).size();
  const std::size_t cancels = fakedb::calls({"dbcancel"}).size();
  EXPECT_EQ(qelt_in_transaction(1), 5);  // the row past the limit is not read
  EXPECT_EQ(fakedb::calls({"dbnextrow"}).size() - fetches, 100000u);
  EXPECT_EQ(fakedb::calls({"dbcancel"}).size() - cancels, 1u);
  EXPECT_EQ(g_handler_calls, 0);
  qelt_close_query(1);
}

TEST_F(PravelExec, ReportFileFromTheEnvironment) {
  std::string path = temp_path("reports");
  setenv("QELT_REPORT_FILE", path.c_str(), 1);
  setenv("QELT_REPORT_LEVEL", "QELT_STAT", 1);
  connect_tool_style();
  qelt_query(1, "drop table #temp1");
  pravel_get_exec(1);
  qelt_close_query(1);
  std::fflush(nullptr);
  std::string text = read_file(path);
  EXPECT_EQ(text.rfind("---   OpenQELT Rev 1.8 (July 1998)   ---\n", 0), 0u) << text;
  EXPECT_NE(text.find("Passing Query Buffer: \n drop table #temp1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("-- Module: comptab_qry, Query: 1 \n"), std::string::npos);
  unsetenv("QELT_REPORT_FILE");
  unsetenv("QELT_REPORT_LEVEL");
}

}  // namespace
