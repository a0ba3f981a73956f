// Twins for callers with fixed-length strings: blank-padded arguments and
// results, the string limits, report files and kept lines.
#include <algorithm>
#include <cstring>

#include "pravel/pravel_fc.h"
#include "pravel_test_fixture.h"

namespace {

class QeltTwins : public PravelTest {
 protected:
  void SetUp() override {
    PravelTest::SetUp();
    const int item3 = 3;
    pravel_setup_fc(&kConn, &item3, "ignored", 7);
    const int number = 1, sql = QELT_SQL;
    pravel_query_setup_fc(&kConn, "MODULE    ", 10, &number, &sql, "SRV1      ", 10,
                          "orvo_ops  ", 10, counting_handler);
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
  static inline const int kConn = 1;
};

TEST_F(QeltTwins, PaddedLoginAndQueryArgumentsReachTheCallsTrimmed) {
  EXPECT_EQ(qelt_connected_f(&kConn), QELT_CONNECTED);
  EXPECT_EQ(fakedb::state().server, "SRV1");
  EXPECT_EQ(fakedb::state().database, "orvo_ops");
  EXPECT_EQ(fakedb::state().login_password, "");  // item 3: no password file
  std::string text = "SELECT a FROM t";
  text.resize(40, ' ');
  EXPECT_EQ(qelt_query_fc(&kConn, text.data(), static_cast<int>(text.size())), 0);
  EXPECT_EQ(qelt_get_exec_fc(&kConn), 1);
  EXPECT_EQ(fakedb::sends_of(" select a from t"), 1);
  EXPECT_EQ(qelt_close_query_fc(&kConn), 0);
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltTwins, StringColumnArrivesBlankPaddedWithoutNul) {
  qelt_query_fc(&kConn, "select name from t", 18);
  char name[11];
  std::memset(name, '#', sizeof name);
  const int len = 10;
  ASSERT_EQ(qelt_bind_string_fc(&kConn, "NAME      ", 10, name, &len), 0);
  fakedb::script(fakedb::answer("select name", fakedb::result({"name"}, {{"abc"}})));
  EXPECT_EQ(pravel_get_exec_fc(&kConn), 0);
  EXPECT_EQ(std::string(name, 11), "abc       #");
  int is_null = qelt_is_null_f(&kConn, name);
  EXPECT_EQ(is_null, 3);
}

TEST_F(QeltTwins, StringParameterCountsItsGivenLength) {
  qelt_query_fc(&kConn, "select @v, @w, @c", 17);
  // "O'Neil" in a field of 10, and a field whose padding holds more text
  // than the given length admits.
  ASSERT_EQ(qelt_string_param_fc(&kConn, "V         ", 10, "O'Neil    ", 10), 0);
  ASSERT_EQ(qelt_text_param_fc(&kConn, "w", 1, "ab   cd", 4), 0);
  ASSERT_EQ(qelt_single_char_param_fc(&kConn, "c", 1, "YES", 3), 0);
  EXPECT_EQ(pravel_get_exec_fc(&kConn), 1);
  EXPECT_EQ(fakedb::sends_of(" select 'O''Neil', 'ab', 'Y'"), 1);
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltTwins, ReturnParametersArriveBlankPadded) {
  ASSERT_EQ(qelt_stored_command_fc(&kConn, "PROC      ", 10), 0);
  const int n = 4;
  qelt_int_param_fc(&kConn, "n", 1, &n);
  qelt_string_param_fc(&kConn, "s", 1, "abc  ", 5);
  char out[10];
  std::memset(out, ' ', sizeof out);
  const int len = 10;
  char flag = '?';
  int count = 0;
  ASSERT_EQ(qelt_string_ret_param_fc(&kConn, "out", 3, out, &len), 0);
  ASSERT_EQ(qelt_single_char_ret_param_fc(&kConn, "flag", 4, &flag), 0);
  ASSERT_EQ(qelt_int_ret_param_fc(&kConn, "count", 5, &count), 0);
  fakedb::Answer a;
  a.match = "proc";
  a.rets = {{"@out", 47, std::string("abcd")},
            {"@flag", 47, std::nullopt},
            {"@count", 56, std::string("\x07\0\0\0", 4)}};
  fakedb::script(a);
  EXPECT_EQ(pravel_get_exec_fc(&kConn), 1);
  EXPECT_EQ(std::string(out, 10), "abcd      ");
  EXPECT_EQ(flag, ' ');
  EXPECT_EQ(count, 7);
  const auto& params = fakedb::state().rpcs.at(0).params;
  EXPECT_EQ(fakedb::state().rpcs[0].name, "proc");
  EXPECT_EQ(params.at(0).value, std::string("\x04\0\0\0", 4));
  EXPECT_EQ(params.at(1).value, "abc  ");  // a procedure's string keeps its blanks
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltTwins, OverLongOrNegativeStringsAreRefused) {
  std::string name(300, 'n');
  int v = 0;
  EXPECT_EQ(qelt_bind_int_fc(&kConn, name.data(), 300, &v), -1);
  EXPECT_TRUE(kept_has("String argument of <300> characters exceeds the limit of <299>"));
  EXPECT_EQ(qelt_bind_int_fc(&kConn, name.data(), 299, &v), 0);  // cut to 99 by the binding
  std::string text(20576, 'x');
  EXPECT_EQ(qelt_query_fc(&kConn, text.data(), 20576), -1);
  EXPECT_EQ(qelt_query_fc(&kConn, text.data(), 20575), 0);
  EXPECT_EQ(qelt_null_param_fc(&kConn, "p", -1), -1);
  EXPECT_TRUE(kept_has("Invalid string argument of length <-1>"));
  EXPECT_EQ(g_handler_calls, 3);
}

TEST_F(QeltTwins, IsNullOnAnUnboundVariableGivesMinusOneQuietly) {
  int unbound = 0;
  EXPECT_EQ(qelt_is_null_f(&kConn, &unbound), -1);
  EXPECT_EQ(g_handler_calls, 0);
  EXPECT_TRUE(kept().empty());
  EXPECT_EQ(qelt_is_null(1, &unbound), -1);  // the public call reports
  EXPECT_EQ(g_handler_calls, 1);
}

TEST_F(QeltTwins, GetMsgFillsTheCallersBuffer) {
  qelt_report("x", QELT_ERR, "%s", std::string(85, 'a').c_str());  // 80 + 5
  kept();  // drop the heading and these lines
  qelt_report("x", QELT_ERR, "%s", (std::string(80, 'b') + "cc").c_str());
  char line[80];
  std::vector<std::string> got;
  while (qelt_get_msg_fc(line, 80) == 0) got.emplace_back(line, 80);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], std::string(80, 'b'));  // filled: no NUL
  EXPECT_EQ(got[1], std::string("cc") + std::string(78, '\0'));
  EXPECT_EQ(qelt_get_msg_fc(line, 80), 1);
  EXPECT_EQ(line[0], '\0');
}

TEST_F(QeltTwins, ReportFilesFromPaddedNames) {
  std::string path = temp_path("rpt");
  std::string padded = path + "     ";
  ASSERT_EQ(qelt_rpt_dest_fc(padded.data(), static_cast<int>(padded.size()), "NULL", 4), 0);
  qelt_report("x", QELT_ERR, "to the file");
  // Both silenced: the file is closed and further reports go nowhere.
  ASSERT_EQ(qelt_rpt_dest_fc("NULL      ", 10, "NULL", 4), 0);
  qelt_report("x", QELT_ERR, "into the void");
  std::string content = read_file(path);
  EXPECT_NE(content.find("to the file\n"), std::string::npos);
  EXPECT_EQ(content.find("into the void"), std::string::npos);
  // A file that cannot be opened leaves the destinations alone.
  std::string bad = temp_path("no/such/dir/rpt");
  EXPECT_EQ(qelt_rpt_dest_fc(bad.data(), static_cast<int>(bad.size()), "NULL", 4), -1);
  std::string joined;
  for (const std::string& l : kept()) joined += l;
  EXPECT_NE(joined.find("Failed to open file <" + bad + ">"), std::string::npos) << joined;
}

TEST_F(QeltTwins, NumericTwinsPassTheirValues) {
  qelt_query_fc(&kConn, "select @i, @s, @d, @r, @b", 25);
  const int i = -3;
  const short s = 12;
  const double d = 0.5;
  const float r = 2.0f;
  const unsigned char b[] = {0xab};
  const int blen = 1;
  qelt_int_param_fc(&kConn, "i", 1, &i);
  qelt_short_param_fc(&kConn, "s", 1, &s);
  qelt_double_param_fc(&kConn, "d", 1, &d);
  qelt_real_param_fc(&kConn, "r", 1, &r);
  qelt_binary_param_fc(&kConn, "b", 1, b, &blen);
  EXPECT_EQ(qelt_get_exec_fc(&kConn), 1);
  EXPECT_EQ(fakedb::sends_of(" select -3, 12, 5.000000000000000e-01, 2.000000e+00, 0xab"), 1);
  const int level = QELT_WARN;
  EXPECT_EQ(qelt_set_report_level_fc(&level), 0);
  EXPECT_EQ(qelt_get_status_fc(&kConn), 0);
  const int alt = 33;
  qelt_set_alternate_status_fc(&kConn, &alt);
  EXPECT_EQ(qelt_get_alternate_status_fc(&kConn), 33);
  EXPECT_EQ(qelt_get_current_process_f(), 1);
  EXPECT_EQ(g_handler_calls, 0);
}

}  // namespace
