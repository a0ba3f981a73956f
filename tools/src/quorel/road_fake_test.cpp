// The task's road (database conversation, column choice, FILENAME cells)
// against scripted stand-ins for the access layer and the host binding.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "comptab.h"
#include "halvo/c_tables.h"
#include "orvolib/catalog.h"
#include "orvolib/options.h"
#include "orvolib/orvo_error.h"
#include "pravel/pravel.h"

namespace {

// ---- access layer stand-in ----------------------------------------------

struct answer {
  int rc;       // what pravel_get_exec returns
  int outcome;  // what pravel_fetch_outcome then reports
  std::map<std::string, std::string> row;
};

struct binding {
  char* buffer;
  int size;  // bound length (string) or capacity (text)
  int* length;
};

std::vector<std::string> log_lines;               // calls, in order
std::map<int, std::vector<std::string>> sent;     // statement -> texts as sent
std::map<int, std::deque<answer>> script;         // statement -> answers
std::map<std::string, binding> bindings;
std::string sql;
int statement = 0;
int last_outcome = PRAVEL_FETCH_NONE;
bool must_send = false;

answer end_answer() { return {1, PRAVEL_FETCH_NONE, {}}; }
answer row_answer(std::map<std::string, std::string> row) { return {0, PRAVEL_FETCH_ROW, row}; }
answer retry_answer() { return {0, PRAVEL_FETCH_RETRY, {}}; }

void reset_access() {
  log_lines.clear();
  sent.clear();
  script.clear();
  bindings.clear();
  statement = 0;
}

// A value as the access layer delivers it into the tool's buffer.
void deliver(const std::string& column, const std::string& value) {
  auto it = bindings.find(column);
  if (it == bindings.end()) return;
  binding& b = it->second;
  if (b.length != nullptr) {  // text: at most the capacity, no NUL
    std::size_t n = std::min(value.size(), static_cast<std::size_t>(b.size));
    std::memcpy(b.buffer, value.data(), n);
    *b.length = static_cast<int>(n);
  } else {  // string bound with length L: L - 1 characters, blank-padded, NUL
    std::string v = value.substr(0, static_cast<std::size_t>(b.size - 1));
    v.resize(static_cast<std::size_t>(b.size - 1), ' ');
    std::memcpy(b.buffer, v.c_str(), v.size() + 1);
  }
}

// ---- host binding stand-in ----------------------------------------------

std::map<std::string, std::vector<std::string>> files;  // translated path -> columns
const std::vector<std::string>* open_table = nullptr;
int vos_error = 0;
std::string column_name_of;

}  // namespace

void pravel_setup(int conn, int item, const char* value) {
  log_lines.push_back("setup " + std::to_string(conn) + " " + std::to_string(item) + " " + value);
}
void pravel_query_setup(int conn, const char* module, int n, int ql, const char* server,
                        const char* database, qelt_handler handler) {
  log_lines.push_back("query_setup " + std::to_string(conn) + " " + module + " " +
                      std::to_string(n) + " " + std::to_string(ql) + " " + server + " " +
                      database + (handler ? " handler" : ""));
  statement = n;
  sql.clear();
  bindings.clear();
  must_send = true;
}
int qelt_query(int, const char* text) {
  sql += " ";
  sql += text;
  return 0;
}
int qelt_bind_string(int, const char* column, char* variable, int max_length) {
  bindings[column] = {variable, max_length, nullptr};
  return 0;
}
int qelt_bind_text(int, const char* column, char* buffer, int* length_out, int capacity) {
  bindings[column] = {buffer, capacity, length_out};
  return 0;
}
// The statement with runs of blanks made one (the pieces add blanks).
std::string flat(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!(c == ' ' && !out.empty() && out.back() == ' ')) out.push_back(c);
  return out;
}

int pravel_get_exec(int) {
  if (must_send) {
    sent[statement].push_back(flat(sql));
    must_send = false;
  }
  auto& answers = script[statement];
  answer a = answers.empty() ? end_answer() : answers.front();
  if (!answers.empty()) answers.pop_front();
  last_outcome = a.outcome;
  if (a.outcome == PRAVEL_FETCH_RETRY) must_send = true;
  for (auto& [column, value] : a.row) deliver(column, value);
  if (statement == 4) std::fputs("[drop sent]\n", stderr);
  return a.rc;
}
int pravel_fetch_outcome(int) { return last_outcome; }
int qelt_close_query(int) {
  log_lines.push_back("close " + std::to_string(statement));
  return 0;
}

extern "C" {
int c_voserr(void) { return vos_error; }
TablePtr c_tbtopn(const char* name, int, TablePtr) {
  auto it = files.find(name);
  vos_error = it == files.end() ? 1 : 0;
  open_table = it == files.end() ? nullptr : &it->second;
  return reinterpret_cast<TablePtr>(0x20);
}
ColumnPtr c_tbcnum(TablePtr, int n) {
  vos_error = 0;
  if (open_table == nullptr || n < 1 || n > static_cast<int>(open_table->size())) return nullptr;
  return reinterpret_cast<ColumnPtr>(static_cast<std::uintptr_t>(n));
}
void c_tbcigt(ColumnPtr cp, int, char* out, int maxch) {
  vos_error = 0;
  std::string name = (*open_table)[reinterpret_cast<std::uintptr_t>(cp) - 1];
  std::snprintf(out, static_cast<std::size_t>(maxch) + 1, "%s", name.c_str());
}
void c_tbtclo(TablePtr) {
  vos_error = 0;
  open_table = nullptr;
}
}

namespace {

const char kCols[] = "TIME,COMPNAME,FILENAME,COMMENT";
const char kDbCols[] = "availability_date,compname,file_name,comment";

std::map<std::string, std::string> db_row(const std::string& date, const std::string& comp,
                                          const std::string& file, const std::string& comment) {
  return {{"availability_date", date}, {"compname", comp}, {"file_name", file}, {"comment", comment}};
}

class Conversation : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_access();
    unsetenv("ORVO_USER");
    unsetenv("ORVO_SERVER_2");
    unsetenv("ORVO_DB");
    orvo_errorflag = 0;
    t_ = create_table();
    init_comptab(kCols, t_);
  }
  void TearDown() override {
    free_table(t_);
    orvo_errorflag = 0;
  }
  void run(const char* ext = "fits") { comptab_qry("Jan 1 2000 01:30:00 pm", 4, kDbCols, kCols, ext, t_); }
  table* t_;
};

TEST_F(Conversation, FourStatementsInOrderAndCleanedCells) {
  script[3] = {row_answer(db_row("Jan  1 2000 12:00AM", "ABC", "ABC_001.FITS",
                                 "  A comment\twith  TWO\nlines ")),
               row_answer(db_row("Feb 2 2001", "def", "def_002.fits", "")), end_answer()};
  run();
  EXPECT_EQ(log_lines[0], "setup 1 1 calread");
  EXPECT_EQ(log_lines[1], "setup 1 2 tuvelmark");
  EXPECT_EQ(log_lines[2], "setup 1 8 300");
  EXPECT_EQ(log_lines[3], "query_setup 1 comptab_qry 1 2 MERROW_1 orvo_ops");
  ASSERT_EQ(sent[1].size(), 1u);
  EXPECT_NE(sent[1][0].find("a.useafter_date < \"Jan 1 2000 01:30:00 pm\" and"), std::string::npos);
  EXPECT_NE(sent[2][0].find("create unique nonclustered index tmp_i on #temp1(compname, useafter_date)"),
            std::string::npos);
  EXPECT_NE(sent[3][0].find("like '%.FITS' order by b.compname"), std::string::npos);
  EXPECT_EQ(sent[4][0], " drop table #temp1");
  ASSERT_EQ(t_->rows, 2);
  EXPECT_STREQ(get_tab_cell(t_, "TIME", 0), "jan 1 2000 12:00am");
  EXPECT_STREQ(get_tab_cell(t_, "COMPNAME", 0), "abc");
  EXPECT_STREQ(get_tab_cell(t_, "FILENAME", 0), "abc_001.fits");
  EXPECT_STREQ(get_tab_cell(t_, "COMMENT", 0), "a comment with two lines");
  EXPECT_STREQ(get_tab_cell(t_, "COMMENT", 1), "");
  EXPECT_STREQ(get_tab_keyname_bynum(t_, 4), "USEAFTER");
  EXPECT_STREQ(get_tab_key(t_, "USEAFTER"), "Apr 1 2000 12:00:00 pm");
  EXPECT_EQ(orvo_errorflag, 0);
}

TEST_F(Conversation, LoginFromEnvironment) {
  setenv("ORVO_USER", "someone", 1);
  setenv("ORVO_SERVER_2", "SRV2", 1);
  script[3] = {row_answer(db_row("d", "c", "f.fits", "x"))};
  run();
  unsetenv("ORVO_USER");
  unsetenv("ORVO_SERVER_2");
  EXPECT_EQ(log_lines[0], "setup 1 1 someone");
  EXPECT_EQ(log_lines[1], "setup 1 8 300");
  EXPECT_EQ(log_lines[2].rfind("query_setup 1 comptab_qry 1 2 SRV2 ", 0), 0u);
}

TEST_F(Conversation, ExtIsUpperCasedAndQuotesDoubled) {
  script[3] = {row_answer(db_row("d", "c", "f.txt", "x"))};
  run("txt");
  EXPECT_NE(sent[3][0].find("like '%.TXT' order"), std::string::npos);
  reset_access();
  script[3] = {row_answer(db_row("d", "c", "f", "x"))};
  run("t'x");
  EXPECT_NE(sent[3][0].find("like '%.T''X' order"), std::string::npos);
}

// A long ext reaches the server whole in the pattern of statement 3 (the
// blanks between pieces never fall inside the quoted literal); one whose
// pattern cannot fit in a piece is refused.
TEST_F(Conversation, LongExtStaysWholeInThePattern) {
  const struct {
    std::string ext, pattern;
  } cases[] = {
      {std::string(505, 'e'), "'%." + std::string(505, 'E') + "'"},  // 509 with its quotes
      {std::string(420, 'e') + std::string(42, '\''), "'%." + std::string(420, 'E') + std::string(84, '\'') + "'"},
  };
  for (const auto& c : cases) {
    reset_access();
    script[3] = {row_answer(db_row("d", "c", "f", "x"))};
    run(c.ext.c_str());
    EXPECT_NE(sent[3][0].find(" like " + c.pattern + " order"), std::string::npos) << sent[3][0];
  }
  const std::string too_long(510, 'e');
  EXPECT_EXIT(run(too_long.c_str()), ::testing::ExitedWithCode(1),
              "String too long for internal buffer \\(build_qry: '%\\.E{37}\\)\n");
}

TEST_F(Conversation, DeadlockRetriesResendAndStoreNoEmptyRow) {
  script[1] = {retry_answer(), retry_answer(), end_answer()};
  script[2] = {retry_answer(), end_answer()};
  script[3] = {retry_answer(), row_answer(db_row("d1", "a", "a.fits", "c1")),
               row_answer(db_row("d2", "b", "b.fits", "c2")), end_answer()};
  script[4] = {retry_answer(), end_answer()};
  run();
  EXPECT_EQ(sent[1].size(), 3u);
  EXPECT_EQ(sent[2].size(), 2u);
  EXPECT_EQ(sent[3].size(), 2u);
  EXPECT_EQ(sent[4].size(), 2u);
  ASSERT_EQ(t_->rows, 2);
  EXPECT_STREQ(get_tab_cell(t_, "COMPNAME", 0), "a");
  EXPECT_STREQ(get_tab_cell(t_, "COMPNAME", 1), "b");
}

TEST_F(Conversation, FailedFetchIsNotStoredAndFailsTheRun) {
  script[3] = {row_answer(db_row("d1", "a", "a.fits", "c1")),
               {0, PRAVEL_FETCH_FAILED, db_row("zz", "zz", "zz", "zz")},
               row_answer(db_row("d2", "b", "b.fits", "c2")), end_answer()};
  run();
  ASSERT_EQ(t_->rows, 2);
  EXPECT_STREQ(get_tab_cell(t_, "COMPNAME", 1), "b");
  EXPECT_EQ(orvo_errorflag, 1);
}

TEST_F(Conversation, LongCommentIsCutAtSixteenThousand) {
  std::string comment = "Z" + std::string(19999, 'q');
  script[3] = {row_answer(db_row("d", "c", "f.fits", comment))};
  run();
  std::string stored = get_tab_cell(t_, "COMMENT", 0);
  EXPECT_EQ(stored.size(), 16000u);
  EXPECT_EQ(stored[0], 'z');
}

TEST_F(Conversation, LongStringValuesArriveCut) {
  script[3] = {row_answer(db_row("d", std::string(80, 'C'), "f.fits", "x"))};
  run();
  EXPECT_EQ(std::string(get_tab_cell(t_, "COMPNAME", 0)), std::string(62, 'c'));
}

TEST_F(Conversation, NoRowsDropsTheTableThenFails) {
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
              "\\[drop sent\\]\nNo rows matched in database table \\(kelvar_file\\)\n$");
}

// ---- FILENAME cells through the catalogues --------------------------------

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ::testing::TempDir() + "road_root_" + std::to_string(::getpid()) + "/";
    for (const char* d : {"", "tools", "tools/data"}) mkdir((root_ + d).c_str(), 0755);
    std::ofstream(root_ + "tools/data/thrucat.dat") << "# patterns\n"
                                                       "*_thr.fits crcomp$\n"
                                                       "abs*.fits /abs/\n";
    std::ofstream(root_ + "tools/data/directory.dat") << "crcomp comp/\n";
    orvo_set_root(root_.c_str());
    files.clear();
    orvo_errorflag = 0;
    t_ = create_table();
    init_comptab(kCols, t_);
  }
  void TearDown() override {
    free_table(t_);
    orvo_set_root(nullptr);
    orvo_errhandler = nullptr;
    orvo_errorflag = 0;
  }
  void row(int r, const char* comp, const char* file) {
    put_tab_cell(t_, "COMPNAME", r, comp);
    put_tab_cell(t_, "FILENAME", r, file);
  }
  std::string root_;
  table* t_;
};

TEST_F(Catalogue, PathAndColumnPerRow) {
  files[root_ + "comp/a_thr.fits"] = {"WAVELENGTH", "THROUGHPUT", "ERROR"};
  files[root_ + "comp/b_thr.fits"] = {"wavelength", "x12", "abc", "abc_err"};
  files["/abs/abs1.fits"] = {"wavelength", "abc", "abc_x1"};
  row(0, "acs_a", "a_thr.fits");
  row(1, "abc_x12", "b_thr.fits");
  row(2, "abc_x12", "abs1.fits");
  update_comp(t_);
  EXPECT_STREQ(get_tab_cell(t_, "FILENAME", 0), "crcomp$a_thr.fits");
  EXPECT_STREQ(get_tab_cell(t_, "FILENAME", 1), "crcomp$b_thr.fits[x12]");
  EXPECT_STREQ(get_tab_cell(t_, "FILENAME", 2), "/abs/abs1.fits[abc_x1]");
  EXPECT_EQ(orvo_errorflag, 0);
}

TEST_F(Catalogue, NoCandidateWarnsAndKeepsEmptyBrackets) {
  static std::string line;
  orvo_errhandler = [](int, const char* l) { line = l; };
  files[root_ + "comp/e_thr.fits"] = {"wavelength", "error"};
  row(0, "c", "e_thr.fits");
  update_comp(t_);
  EXPECT_STREQ(get_tab_cell(t_, "FILENAME", 0), "crcomp$e_thr.fits[]");
  EXPECT_EQ(line, "No throughput column found in table (crcomp$e_thr.fits)\n");
  EXPECT_EQ(orvo_errorflag, 1);
}

TEST_F(Catalogue, Failures) {
  row(0, "c", "nomatch.tab");
  EXPECT_EXIT(update_comp(t_), ::testing::ExitedWithCode(1),
              "^Match not found in throughput catalog \\(nomatch.tab\\)\n$");
  row(0, "c", "missing_thr.fits");
  EXPECT_EXIT(update_comp(t_), ::testing::ExitedWithCode(1),
              "^Cannot open file \\(crcomp\\$missing_thr.fits\\)\n$");
  std::remove((root_ + "tools/data/thrucat.dat").c_str());
  EXPECT_EXIT(update_comp(t_), ::testing::ExitedWithCode(1), "^Cannot open file \\(.*thrucat.dat\\)\n$");
}

}  // namespace
