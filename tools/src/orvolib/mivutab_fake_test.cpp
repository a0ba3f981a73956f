// The output table writer against a recording stand-in for the host
// binding: the order of the calls, cutting of cells, the keywords of the
// FITS primary header in the same change, and the handling of a failing
// call.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "halvo/c_tables.h"
#include "orvolib/mivutab.h"

namespace {

std::vector<std::string> calls;
int fail_at = -1;  // index of the call that fails, -1 for none
int error_code = 0;
std::string abandon_mark;  // a file the stand-in writes when a table is abandoned

void record(const std::string& call) {
  error_code = static_cast<int>(calls.size()) == fail_at ? 7 : 0;
  calls.push_back(call);
}

TablePtr table_handle() { return reinterpret_cast<TablePtr>(0x10); }

}  // namespace

extern "C" {
int c_voserr(void) { return error_code; }
TablePtr c_tbtopn(const char* name, int mode, TablePtr) {
  record("open " + std::string(name) + " " + std::to_string(mode));
  return error_code != 0 ? nullptr : table_handle();  // a failed open has no table
}
void c_tbpset(TablePtr, int param, int value) {
  record("pset " + std::to_string(param) + " " + std::to_string(value));
}
void c_tbcdef1(TablePtr, ColumnPtr* cp, const char* name, const char* units, const char* fmt,
               int type, int nelem) {
  record("cdef " + std::string(name) + " '" + units + "' '" + fmt + "' " + std::to_string(type) +
         " " + std::to_string(nelem));
  *cp = reinterpret_cast<ColumnPtr>(static_cast<std::uintptr_t>(calls.size()));
}
void c_tbtcre(TablePtr) { record("create"); }
void c_tbeptt(TablePtr, ColumnPtr, int row, const char* text) {
  record("put " + std::to_string(row) + " " + text);
}
void c_tbtclo(TablePtr) { record("close"); }
void c_tbhadtp(TablePtr, const char* key, const char* value) {
  record("key " + std::string(key) + "=" + value);
}
void c_tbtabn(TablePtr) {
  if (!abandon_mark.empty()) std::ofstream(abandon_mark) << calls.size();
  calls.push_back("abandon");
}
}

namespace {

class Writer : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    fail_at = -1;
    abandon_mark.clear();
    t_ = create_table();
    put_tab_key(t_, "INSTRUME", "ZOR");
    put_tab_key(t_, "DBTABLE", "CRCOMPLIST");
    put_tab_cell(t_, "A", 0, "abcdef");
    put_tab_cell(t_, "B", 0, "x");
    put_tab_cell(t_, "A", 1, "ab");
  }
  void TearDown() override { free_table(t_); }
  table* t_;
  const int widths_[2] = {3, 10};
};

TEST_F(Writer, BinaryTableCallsInOrder) {
  write_mivutab(t_, 2, widths_, "out.tab");
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "open out.tab 5", "pset 6 7", "cdef A '' '' -3 1", "cdef B '' '' -10 1",
                       "create", "put 1 abc", "put 1 x", "put 2 ab", "put 2 ",
                       "key INSTRUME=ZOR", "key DBTABLE=CRCOMPLIST", "close"}));
}

// The primary keywords are written before the one close: the table and its
// keywords are one change of the file.
TEST_F(Writer, FitsKeywordsGoToThePrimaryHeaderInTheSameChange) {
  write_mivutab(t_, 2, widths_, "out.fits");
  std::vector<std::string> tail(calls.begin() + 9, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"key INSTRUME=ZOR", "key DBTABLE=CRCOMPLIST", "close"}));
}

TEST_F(Writer, WrongWidthCountIsFatalBeforeAnyCall) {
  EXPECT_EXIT(write_mivutab(t_, 3, widths_, "out.tab"), ::testing::ExitedWithCode(1),
              "^Number of widths does not match columns \\(3\\)\n$");
}

TEST_F(Writer, EveryFailingCallIsFatalFifteen) {
  // Count the calls of a good run, then make each of them fail in turn.
  write_mivutab(t_, 2, widths_, "out.fits");
  int total = static_cast<int>(calls.size());
  for (int i = 0; i < total; ++i) {
    EXPECT_EXIT(
        {
          calls.clear();
          fail_at = i;
          write_mivutab(t_, 2, widths_, "out.fits");
          std::exit(0);
        },
        ::testing::ExitedWithCode(1), "^Cannot write to file \\(out.fits\\)\n$")
        << "call " << i;
  }
}

// A failing call abandons the open table (the library then leaves no new
// file and an existing one as it was) before the fatal error; a failing
// open or close leaves nothing to abandon.
TEST_F(Writer, FailureAbandonsTheOpenTable) {
  const std::string mark = ::testing::TempDir() + "mivutab_abandon_" + std::to_string(::getpid());
  write_mivutab(t_, 2, widths_, "out.fits");
  const int total = static_cast<int>(calls.size());
  for (int i = 0; i < total; ++i) {
    std::remove(mark.c_str());
    EXPECT_EXIT(
        {
          calls.clear();
          fail_at = i;
          abandon_mark = mark;
          write_mivutab(t_, 2, widths_, "out.fits");
          std::exit(0);
        },
        ::testing::ExitedWithCode(1), "Cannot write to file")
        << "call " << i;
    struct stat st;
    const bool abandoned = stat(mark.c_str(), &st) == 0;
    EXPECT_EQ(abandoned, i != 0 && i != total - 1) << "call " << i;
  }
  std::remove(mark.c_str());
}

}  // namespace
