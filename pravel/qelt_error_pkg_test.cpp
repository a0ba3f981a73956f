// Reports: banner, module headings, line cutting, kept error lines, the
// default error handler's block, and the statistics file.
#include <regex>

#include "pravel_test_fixture.h"

namespace {

using QeltReport = PravelTest;

std::vector<std::string> kept_lines() {
  std::vector<std::string> out;
  char line[81];
  while (qelt_get_msg(line) == 0) out.emplace_back(line);
  return out;
}

// Reports into a temporary stream and returns what was printed.
struct Capture {
  std::FILE* f = std::tmpfile();
  Capture() { qelt_set_report_destination(f, nullptr); }
  ~Capture() { std::fclose(f); }
  std::string text() {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
  }
};

TEST_F(QeltReport, DefaultErrorHandlerBlockToTheByte) {
  setenv("QELT_REGRESS", "1", 1);
  std::string path = temp_path("stderr");
  auto run = [&] {
    if (std::freopen(path.c_str(), "w", stderr) == nullptr) std::exit(3);
    fakedb::Answer a;
    a.match = "drop";
    a.messages = {{207, 1, 16, "Invalid column name 'x'."}};
    a.fails = true;
    fakedb::script(a);
    pravel_setup(1, 1, "calread");
    pravel_setup(1, 2, "tuvelmark");
    pravel_query_setup(1, "comptab_qry", 4, QELT_SQL, "SRV1", "orvo_ops", nullptr);
    qelt_query(1, "DROP table #temp1");
    pravel_get_exec(1);
    std::exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "");
  const std::string dashes(80, '-');
  const std::string kept =
      "-- Module: comptab_qry,     Query: 4,  <Regress TimeStamp>\n"
      "Msg 207, Level 16, State 1\n"
      "Server 'FAKESRV', \n"
      "Line 1\n"
      "     Invalid column name 'x'.\n"
      "*** DB client error ***\n"
      "     (20018) General DB Server error: Check messages from the DB Server.\n"
      "Syntax error encountered in this query:\n"
      " drop table #temp1\n";
  const std::string expected = "---   OpenQELT Rev 1.8 (July 1998)   ---\n" + kept + "\n" +
                               dashes + "\nQELT_DEFAULT_ERROR_HANDLER has been entered.\n\n" +
                               kept +
                               "\nQELT_DEFAULT_ERROR_HANDLER exiting. Program will be terminated "
                               "due to DB error.\n" +
                               dashes + "\n\n";
  EXPECT_EQ(read_file(path), expected);
}

TEST_F(QeltReport, OnlyErrorsAtTheDefaultLevelAndBannerFirst) {
  setenv("QELT_REGRESS", "", 1);
  Capture c;
  qelt_report("x", QELT_INFO, "info %d", 1);
  qelt_report("x", QELT_STAT, "stat");
  qelt_report("x", QELT_WARN, "warn");
  EXPECT_EQ(c.text(), "");
  qelt_report("x", QELT_ERR, "err %s", "one");
  EXPECT_EQ(c.text(),
            "---   OpenQELT Rev 1.8 (July 1998)   ---\n"
            "-- Module: unknown,     Query: 0,  <Regress TimeStamp>\n"
            "err one\n");
}

TEST_F(QeltReport, LevelFromTheEnvironment) {
  setenv("QELT_REPORT_LEVEL", "QELT_WARN", 1);
  qelt_connected(0);  // starts the layer
  Capture c;
  qelt_report("x", QELT_STAT, "stat");
  qelt_report("x", QELT_WARN, "warn");
  EXPECT_EQ(c.text(), "---   OpenQELT Rev 1.8 (July 1998)   ---\nwarn\n");
}

TEST_F(QeltReport, LongTextsAreCutAfterBlanksTabsOrCommas) {
  qelt_set_report_level(QELT_WARN);
  Capture c;
  qelt_report("x", QELT_WARN, "banner");
  std::string words;
  while (words.size() < 200) words += "abcdefghi ";
  words.resize(200);
  qelt_report("x", QELT_WARN, "%s", words.c_str());
  std::string word(85, 'w');
  qelt_report("x", QELT_WARN, "%s", word.c_str());
  std::string out = c.text();
  std::vector<std::string> lines;
  std::size_t pos = 0, nl;
  while ((nl = out.find('\n', pos)) != std::string::npos) {
    lines.push_back(out.substr(pos, nl - pos));
    pos = nl + 1;
  }
  ASSERT_EQ(lines.size(), 7u);  // banner, "banner", three lines, 80 + 5
  EXPECT_EQ(lines[2], words.substr(0, 80));  // the 80th character is a blank
  EXPECT_EQ(lines[3], words.substr(80, 80));
  EXPECT_EQ(lines[4], words.substr(160));
  EXPECT_EQ(lines[5], std::string(80, 'w'));
  EXPECT_EQ(lines[6], std::string(5, 'w'));

  Capture c2;
  std::string mixed = std::string(70, 'a') + "," + std::string(20, 'b');
  qelt_report("x", QELT_WARN, "%s", mixed.c_str());
  EXPECT_EQ(c2.text(), std::string(70, 'a') + ",\n" + std::string(20, 'b') + "\n");
}

TEST_F(QeltReport, SqlAndServerTextIsNeverAFormat) {
  Capture c;
  qelt_report("x", QELT_WARN, "banner");
  fakedb::Answer a;
  a.match = "like";
  a.messages = {{102, 1, 15, "Incorrect syntax near '%s%n%d'."}};
  a.fails = true;
  fakedb::script(a);
  connect_counting();
  qelt_query(1, "select x from t where y like '%s%n%.FITS'");
  EXPECT_EQ(pravel_get_exec(1), -1);
  std::string out = c.text();
  EXPECT_NE(out.find("     Incorrect syntax near '%s%n%d'.\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" select x from t where y like '%s%n%.FITS'\n"), std::string::npos);
}

TEST_F(QeltReport, HeadingOncePerQueryNumberInARow) {
  setenv("QELT_REGRESS", "yes", 1);
  pravel_setup(1, 1, "u");
  pravel_setup(1, 2, "p");
  pravel_query_setup(1, "mod", 2, QELT_SQL, "SRV1", "db", counting_handler);
  Capture c;
  qelt_report("x", QELT_ERR, "e1");
  qelt_close_query(1);
  qelt_query_setup(1, "mod", 3);
  qelt_report("x", QELT_ERR, "e2");
  qelt_report("x", QELT_ERR, "e3");
  qelt_report("dummy", QELT_ERR, "e4");
  EXPECT_EQ(kept_lines(), (std::vector<std::string>{
                              "-- Module: mod,     Query: 2,  <Regress TimeStamp>", "e1",
                              "-- Module: mod,     Query: 3,  <Regress TimeStamp>", "e2", "e3",
                              "e4"}));
  EXPECT_TRUE(kept_lines().empty());  // reading them all emptied them
}

TEST_F(QeltReport, KeptLinesStopAtTheOverflowLine) {
  Capture c;
  for (int i = 0; i < 2100; ++i) qelt_report("x", QELT_ERR, "error %d", i);
  auto lines = kept_lines();
  ASSERT_EQ(lines.size(), 2001u);
  EXPECT_EQ(lines[1], "error 0");
  EXPECT_EQ(lines[1999], "error 1998");
  EXPECT_EQ(lines[2000],
            "***** Error message buffer overflow. Messages will be truncated *****");
}

TEST_F(QeltReport, SuppressedErrorsReturnMinusOneAndGoOn) {
  EXPECT_EQ(qelt_suppress(1), 1);
  EXPECT_EQ(qelt_suppress(7), 1);
  Capture c;
  EXPECT_EQ(qelt_get_exec(3), -1);  // never connected: no handler runs
  EXPECT_EQ(c.text(), "");
  EXPECT_EQ(qelt_suppress(0), 0);
}

TEST_F(QeltReport, StatisticsLinePerClosedQuery) {
  std::string path = temp_path("stats");
  setenv("QELT_STAT_ON", "True", 1);
  setenv("QELT_STAT_OUT", path.c_str(), 1);
  connect_tool_style();
  qelt_query(1, "drop table #temp1");
  pravel_get_exec(1);
  qelt_close_query(1);
  qelt::qelt_reset_for_tests();  // closes the statistics file
  std::string text = read_file(path);
  std::regex line(
      "date-time/image/module/cmd#/wall/rec/hash/err/stored\n"
      "@@\t\\d\\d-[A-Z][a-z][a-z]-\\d{4}\t\\d\\d:\\d\\d:\\d\\d\tUNKNOWN\tcomptab_qry\t1\t"
      " *\\d+\\.\\d{3}\t-1\t0\t0\t0\n");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(QeltReport, StatisticsWithoutAnOutputFileSayWhyOnce) {
  setenv("QELT_STAT_ON", "t", 1);
  ::testing::internal::CaptureStderr();
  connect_tool_style();
  qelt_query(1, "drop table #temp1");
  pravel_get_exec(1);
  qelt_close_query(1);
  qelt_query_setup(1, "comptab_qry", 2);
  qelt_close_query(1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "QELT_STAT_OUT not defined, even though QELT_STAT_ON is.\n"
            "Query performance statistics will NOT be collected.\n");
}

}  // namespace
