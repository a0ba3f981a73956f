// Stored-procedure calls through the scripted DB client: the parameters
// handed over, the call's description, results and return values, the
// return status and the limits of the call's tables.
#include <algorithm>
#include <cstring>

#include "pravel_test_fixture.h"

namespace {

class QeltStoredProc : public PravelTest {
 protected:
  void SetUp() override {
    PravelTest::SetUp();
    pravel_setup(1, 3, "");
    pravel_query_setup(1, "sp", 1, QELT_SQL, "SRV1", "db", counting_handler);
  }
  static std::vector<std::string> kept() {
    std::vector<std::string> out;
    char line[81];
    while (qelt_get_msg(line) == 0) out.emplace_back(line);
    return out;
  }
  static bool kept_has(const std::string& text) {
    auto lines = kept();
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
  // Calls pravel_get_exec until it returns something other than 0.
  static int run_to_end(int* rows = nullptr) {
    int r, n = 0;
    while ((r = pravel_get_exec(1)) == 0) ++n;
    if (rows != nullptr) *rows = n;
    return r;
  }
  static std::string bytes_of(const void* p, std::size_t n) {
    return std::string(static_cast<const char*>(p), n);
  }
};

// An answer without results for the procedure `name`.
fakedb::Answer answer_for(const char* name) {
  fakedb::Answer a;
  a.match = name;
  return a;
}

template <typename T>
std::string raw(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

TEST_F(QeltStoredProc, ParametersAfterTheCallStartGoToTheProcedureAndReturnValuesComeBack) {
  qelt_int_param(1, "early", 5);  // before the call: a substitution record
  EXPECT_TRUE(fakedb::calls({"dbrpcparam"}).empty());
  ASSERT_EQ(qelt_stored_command(1, "Get_Comp  "), 0);
  qelt_int_param(1, "N ", -42);
  qelt_short_param(1, "s", 7);
  qelt_double_param(1, "d", 0.5);
  qelt_real_param(1, "r", 1.5f);
  qelt_single_char_param(1, "c", 'Y');
  qelt_string_param(1, "name", "acs_f555w");
  const unsigned char bin[] = {0x0a, 0xff};
  qelt_binary_param(1, "b", bin, 2);
  qelt_null_param(1, "z");
  int count = -1;
  short total = -1;
  double ratio = -1;
  float scale = -1;
  char flag = '?';
  char label[11];
  std::memset(label, '#', sizeof label);
  qelt_int_ret_param(1, "Count", &count);
  qelt_short_ret_param(1, "total", &total);
  qelt_double_ret_param(1, "ratio", &ratio);
  qelt_float_ret_param(1, "scale", &scale);
  qelt_single_char_ret_param(1, "flag", &flag);
  qelt_string_ret_param(1, "label", label, 10);
  char comp[64];
  qelt_bind_string(1, "compname", comp, 63);

  fakedb::Answer a;
  a.match = "get_comp";
  fakedb::ResultSet rs;
  rs.columns = {"compname"};
  rs.rows = {{"acs"}, {"wfc3"}};
  a.results = {rs, fakedb::ResultSet{}};
  a.rets = {{"@count", 56, raw<int>(3)},   {"@total", 52, raw<short>(-9)},
            {"@ratio", 62, raw<double>(2.25)}, {"@scale", 59, raw<float>(0.5f)},
            {"@flag", 47, std::string("Z")}, {"@label", 47, std::string("abcd")}};
  fakedb::script(a);

  int rows = 0;
  EXPECT_EQ(run_to_end(&rows), 1);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(g_handler_calls, 0);
  ASSERT_EQ(fakedb::state().rpcs.size(), 1u);
  const fakedb::RpcCall& call = fakedb::state().rpcs[0];
  EXPECT_EQ(call.name, "get_comp");
  struct Want {
    const char* name;
    int status, type, maxlen, datalen;
    std::optional<std::string> value;
  };
  const std::vector<Want> want = {
      {"@n", 0, 56, -1, -1, raw<int>(-42)},
      {"@s", 0, 52, -1, -1, raw<short>(7)},
      {"@d", 0, 62, -1, -1, raw<double>(0.5)},
      {"@r", 0, 59, -1, -1, raw<float>(1.5f)},
      {"@c", 0, 47, -1, 1, std::string("Y")},
      {"@name", 0, 47, -1, 9, std::string("acs_f555w")},
      {"@b", 0, 45, -1, 2, std::string("\x0a\xff")},
      {"@z", 0, 45, -1, 0, std::nullopt},
      {"@count", 1, 56, -1, -1, raw<int>(-1)},
      {"@total", 1, 52, -1, -1, raw<short>(-1)},
      {"@ratio", 1, 62, -1, -1, raw<double>(-1)},
      {"@scale", 1, 59, -1, -1, raw<float>(-1)},
      {"@flag", 1, 47, -1, 1, std::string("?")},
      {"@label", 1, 47, -1, 10, std::string(10, '#')},
  };
  ASSERT_EQ(call.params.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    const fakedb::RpcParam& p = call.params[i];
    EXPECT_EQ(p.name, want[i].name);
    EXPECT_EQ(p.status, want[i].status) << p.name;
    EXPECT_EQ(p.type, want[i].type) << p.name;
    EXPECT_EQ(p.maxlen, want[i].maxlen) << p.name;
    EXPECT_EQ(p.datalen, want[i].datalen) << p.name;
    EXPECT_EQ(p.value, want[i].value) << p.name;
  }
  EXPECT_EQ(count, 3);
  EXPECT_EQ(total, -9);
  EXPECT_EQ(ratio, 2.25);
  EXPECT_EQ(scale, 0.5f);
  EXPECT_EQ(flag, 'Z');
  EXPECT_STREQ(label, "abcd");  // the value and a NUL
  EXPECT_EQ(label[5], '#');
  EXPECT_EQ(qelt_close_query(1), 0);
  EXPECT_EQ(fakedb::sends_of("stored procedure"), 0);  // no language batch was sent
}

TEST_F(QeltStoredProc, TheCallIsDescribedInLinesOf80Columns) {
  std::string path = temp_path("report");
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  qelt_set_report_destination(f, nullptr);
  qelt_set_report_level(QELT_STAT);
  qelt_stored_command(1, "p");
  // 26 characters around the value: a line of exactly 80.
  std::string v(54, 'v');
  qelt_string_param(1, "s", v.c_str());
  char out[8];
  qelt_string_ret_param(1, "out", out, 7);
  fakedb::script(answer_for("p"));
  EXPECT_EQ(run_to_end(), 1);
  std::fclose(f);
  qelt_set_report_destination(stderr, nullptr);

  std::string expected = "stored procedure: p" + std::string(61, ' ') +
                         "string input param @s = \"" + v + "\"" + std::string(80, ' ') +
                         "string(7) return param @out" + std::string(53, ' ');
  std::istringstream in(read_file(path));
  std::string line, text;
  std::vector<std::string> lines;
  bool inside = false;
  while (std::getline(in, line)) {
    lines.push_back(line);
    if (line == "passing stored procedure:") {
      inside = true;
      continue;
    }
    if (line.rfind("sending stored procedure '", 0) == 0) inside = false;
    if (inside) text += line;
  }
  EXPECT_EQ(text, expected);
  // The summary's table of return parameters.
  auto has = [&](const std::string& l) {
    return std::find(lines.begin(), lines.end(), l) != lines.end();
  };
  // The title follows an empty line.
  const auto title = std::find(lines.begin(), lines.end(), "return parameter:");
  ASSERT_NE(title, lines.end());
  ASSERT_NE(title, lines.begin());
  EXPECT_EQ(*(title - 1), "");
  EXPECT_TRUE(has("@out" + std::string(27, ' ') + "string    "));
}

TEST_F(QeltStoredProc, NonZeroReturnStatusFailsAtTheEndOfTheResults) {
  qelt_stored_command(1, "p");
  int out = 11;
  qelt_int_ret_param(1, "out", &out);
  char comp[64];
  qelt_bind_string(1, "compname", comp, 63);
  fakedb::Answer a;
  a.match = "p";
  fakedb::ResultSet rs;
  rs.columns = {"compname"};
  rs.rows = {{"acs"}};
  a.results = {rs};
  a.retstatus = 3;
  a.rets = {{"@out", 56, raw<int>(99)}};
  fakedb::script(a);
  EXPECT_EQ(pravel_get_exec(1), 0);  // the row
  EXPECT_EQ(g_handler_calls, 0);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  EXPECT_EQ(out, 11);
  EXPECT_TRUE(kept_has("Stored procedure p returned status 3"));
}

// A status that has failed by the time a result set begins stops the call
// there: the rows of that set are neither bound nor delivered.
TEST_F(QeltStoredProc, FailedStatusBeforeAResultSetStopsBeforeItsRows) {
  qelt_stored_command(1, "p");
  char comp[64] = "unset";
  qelt_bind_string(1, "compname", comp, 63);
  fakedb::Answer a;
  a.match = "p";
  a.results = {fakedb::result({"compname"}, {{"acs"}}), fakedb::result({"compname"}, {{"wfc"}})};
  a.retstatus = 4;
  a.status_from = 1;
  fakedb::script(a);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(std::string(comp, 3), "acs");
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(std::string(comp, 3), "acs");
  EXPECT_TRUE(kept_has("Stored procedure p returned status 4"));
}

// A procedure that returns no rows, only a failed status, fails.
TEST_F(QeltStoredProc, FailedStatusWithoutRowsFails) {
  qelt_stored_command(1, "p");
  fakedb::Answer a;
  a.match = "p";
  a.retstatus = 5;
  fakedb::script(a);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_TRUE(kept_has("Stored procedure p returned status 5"));
}

TEST_F(QeltStoredProc, RefusalsReportAndFail) {
  // A text value cannot be a procedure's parameter.
  qelt_stored_command(1, "p");
  EXPECT_EQ(qelt_text_param(1, "t", "long text"), -1);
  EXPECT_TRUE(kept_has("Text column cannot be used as parameter to stored procedures"));
  // The DB client refuses a return parameter.
  fakedb::state().rpcparam_refuse = {"@bad"};
  int v = 0;
  EXPECT_EQ(qelt_int_ret_param(1, "bad", &v), -1);
  EXPECT_TRUE(kept_has("error on qelt_mer_int_ret_param"));
  char s[4];
  EXPECT_EQ(qelt_string_ret_param(1, "neg", s, -1), -1);
  EXPECT_TRUE(kept_has("error on qelt_mer_string_ret_param"));
  EXPECT_EQ(g_handler_calls, 3);
  qelt_close_query(1);
  // The DB client cannot start the call.
  qelt_query_setup(1, "sp", 2);
  fakedb::state().rpcinit_fails = true;
  EXPECT_EQ(qelt_stored_command(1, "p"), -1);
  EXPECT_TRUE(kept_has("qelt_mer_stored_command:dbrpcinit failed"));
  // The call's answer fails at dbsqlok.
  qelt_close_query(1);
  fakedb::state().rpcinit_fails = false;
  qelt_query_setup(1, "sp", 3);
  qelt_stored_command(1, "p");
  fakedb::Answer a;
  a.match = "p";
  a.fails = true;
  fakedb::script(a);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_TRUE(kept_has("get_exec:dbsqlok failed."));
}

TEST_F(QeltStoredProc, TablesOfTheCallAreBounded) {
  qelt_stored_command(1, "p");
  for (int i = 0; i < 256; ++i) ASSERT_EQ(qelt_int_param(1, "p", i), 0) << i;
  EXPECT_EQ(qelt_int_param(1, "p", 256), -1);
  EXPECT_EQ(qelt_null_param(1, "n"), 0);  // a NULL holds no value
  EXPECT_TRUE(kept_has("Too many stored procedure parameters (at most 256 values)"));
  std::vector<int> vars(251);
  for (int i = 0; i < 250; ++i) ASSERT_EQ(qelt_int_ret_param(1, "r", &vars[i]), 0) << i;
  EXPECT_EQ(qelt_int_ret_param(1, "r", &vars[250]), -1);
  EXPECT_TRUE(kept_has("Too many return parameters in this query (at most 250)"));
  EXPECT_EQ(g_handler_calls, 2);
}

TEST_F(QeltStoredProc, InputValuesStayWhereTheClientReadsThemUntilTheCallIsSent) {
  qelt_stored_command(1, "p");
  for (int i = 0; i < 40; ++i)
    qelt_string_param(1, ("v" + std::to_string(i)).c_str(), ("x" + std::to_string(i)).c_str());
  fakedb::script(answer_for("p"));
  EXPECT_EQ(run_to_end(), 1);
  const auto& params = fakedb::state().rpcs.at(0).params;
  ASSERT_EQ(params.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(params[i].value, "x" + std::to_string(i));
}

TEST_F(QeltStoredProc, ReturnValuesOfAnotherTypeOrNullAreHandledSafely) {
  qelt_stored_command(1, "p");
  int wide = 5, null_int = 5;
  short narrow = 5;
  char s[6];
  std::memset(s, '#', sizeof s);
  qelt_int_ret_param(1, "wide", &wide);
  qelt_short_ret_param(1, "narrow", &narrow);
  qelt_int_ret_param(1, "nothing", &null_int);
  qelt_string_ret_param(1, "s", s, 3);
  fakedb::Answer a;
  a.match = "p";
  a.rets = {{"@wide", 62, raw<double>(1e300)},      // would not fit an int
            {"@narrow", 56, raw<int>(0x7fffffff)},  // would run past a short
            {"@nothing", 56, std::nullopt},
            {"@s", 47, std::string("toolong")},
            {"@other", 56, raw<int>(1)}};
  fakedb::script(a);
  EXPECT_EQ(run_to_end(), 1);
  EXPECT_EQ(wide, 5);
  EXPECT_EQ(narrow, 5);
  EXPECT_EQ(null_int, 0);
  EXPECT_EQ(std::string(s, 4), std::string("too\0", 4));
  EXPECT_EQ(s[4], '#');
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltStoredProc, DeadlockInACallIsNotRetried) {
  qelt_stored_command(1, "p");
  char comp[64];
  qelt_bind_string(1, "compname", comp, 63);
  fakedb::ResultSet rs = fakedb::result({"compname"}, {{"acs"}});
  rs.fail_at = 0;
  rs.fail_msgs = {{1205, 1, 13, "deadlock"}};
  fakedb::script(fakedb::answer("p", rs));
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_TRUE(kept_has("Query execution terminated."));
  EXPECT_EQ(fakedb::state().rpcs.size(), 1u);
  EXPECT_EQ(fakedb::sends_of("stored procedure"), 0);
}

TEST_F(QeltStoredProc, ClosingAnUnsentCallDropsItAndTheNextQueryRuns) {
  qelt_stored_command(1, "p");
  qelt_string_param(1, "s", "value");
  EXPECT_EQ(qelt_close_query(1), 0);
  EXPECT_TRUE(fakedb::state().rpcs.empty());
  qelt_query_setup(1, "sp", 2);
  qelt_query(1, "select 1");
  EXPECT_EQ(run_to_end(), 1);
  EXPECT_EQ(fakedb::sends_of("select 1"), 1);
  EXPECT_EQ(g_handler_calls, 0);
}

}  // namespace
