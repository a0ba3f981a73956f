#include "loadfile/loadfile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string write_text(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(LoadFile, ReadsHeaderRowsAndComments) {
  std::string path = write_text("lf_good.lod",
                                "# a load file\n"
                                " instrume =  zor  camera \n"
                                "\n"
                                "COMMENT = first\n"
                                "  second line\n"
                                "endheader  \n"
                                "compname = abc\n"
                                "filename=a.fits\n"
                                "COMMENT=zero\n"
                                "ENDROW\n"
                                "\n"
                                "FILENAME = b.fits\n"
                                "comment =x\n"
                                "# kept in the comment\n"
                                "EndRow\n"
                                "ENDFILE\n"
                                "\n  \n");
  table* t = read_loadfile(path.c_str());
  ASSERT_NE(t, nullptr) << lod_error;
  EXPECT_STREQ(get_tab_key(t, "INSTRUME"), "zor camera");
  EXPECT_STREQ(get_tab_key(t, "COMMENT"), " first\n  second line\n");
  EXPECT_EQ(t->rows, 2);
  EXPECT_EQ(t->ncols, 3);  // COMPNAME, FILENAME, COMMENT
  EXPECT_STREQ(get_tab_cell(t, "COMPNAME", 0), "abc");
  EXPECT_STREQ(get_tab_cell(t, "COMPNAME", 1), "");
  EXPECT_STREQ(get_tab_cell(t, "FILENAME", 1), "b.fits");
  EXPECT_STREQ(get_tab_cell(t, "COMMENT", 0), "zero\n");
  EXPECT_STREQ(get_tab_cell(t, "COMMENT", 1), "x\n# kept in the comment\n");
  free_table(t);
}

TEST(LoadFile, EmptyFileForm) {
  table* t = read_loadfile(write_text("lf_empty.lod", "ENDHEADER\nENDFILE\n").c_str());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->keys.count, 0);
  EXPECT_EQ(t->ncols, 0);
  EXPECT_EQ(t->rows, 0);
  free_table(t);
}

TEST(LoadFile, SyntaxErrorsNameTheLine) {
  struct Case { const char* content; int line; } cases[] = {
      {"ENDHEADER\nA = 1\nENDROW\nB = 2\nENDROW\nENDFILE\n", 4},      // new column after row 0
      {"ENDHEADER\nA = 1\nENDROW\nENDROW\nA = 2\nENDFILE\n", 5},      // empty row
      {"ENDHEADER\nA = 1\nENDROW\nENDFILE\n# late\n", 5},              // comment after ENDFILE
      {"no equals sign\nENDHEADER\nENDFILE\n", 1},
      {"ENDHEADER\nENDFILE", 2},                                       // unterminated last line
      {"ENDHEADER\n  ENDFILE\n", 2},                                   // leading blanks
      {"ENDHEADER\n", 1},                                               // no ENDFILE
  };
  for (auto& c : cases) {
    table* t = read_loadfile(write_text("lf_bad.lod", c.content).c_str());
    EXPECT_EQ(t, nullptr) << c.content;
    EXPECT_EQ(std::string(lod_error), "Syntax error in loadile at line " + std::to_string(c.line))
        << c.content;
  }
  std::string long_line = "A = " + std::string(75, 'v') + "\n";  // 79 characters
  EXPECT_EQ(read_loadfile(write_text("lf_long.lod", long_line + "ENDHEADER\nENDFILE\n").c_str()),
            nullptr);
  std::string max_line = "A = " + std::string(74, 'v') + "\n";  // 78 characters
  table* t = read_loadfile(write_text("lf_max.lod", max_line + "ENDHEADER\nENDFILE\n").c_str());
  ASSERT_NE(t, nullptr);
  free_table(t);
  EXPECT_EQ(read_loadfile("/nonexistent/x.lod"), nullptr);
  EXPECT_STREQ(lod_error, "Cannot open loadfile");
}

TEST(LoadFile, WriteAndReadBackKeepsEverything) {
  table* t = create_table();
  put_tab_key(t, "COMMENT", " two\nlines\n");
  put_tab_key(t, "INSTRUME", "zor");
  put_tab_cell(t, "A", 0, "1");
  put_tab_cell(t, "COMMENT", 0, " c0");
  put_tab_cell(t, "A", 1, "2");
  put_tab_cell(t, "COMMENT", 1, " c1\nmore\n");
  std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_lf_round.lod";
  ASSERT_EQ(write_loadfile(path.c_str(), t), 0);
  EXPECT_EQ(read_text(path),
            "INSTRUME = zor\nCOMMENT = two\nlines\nENDHEADER\n\n"
            "A = 1\nCOMMENT = c0\nENDROW\n\n"
            "A = 2\nCOMMENT = c1\nmore\nENDROW\n\nENDFILE\n");
  table* back = read_loadfile(path.c_str());
  ASSERT_NE(back, nullptr) << lod_error;
  EXPECT_STREQ(get_tab_key(back, "COMMENT"), " two\nlines\n");
  EXPECT_STREQ(get_tab_cell(back, "A", 1), "2");
  EXPECT_STREQ(get_tab_cell(back, "COMMENT", 0), " c0\n");
  EXPECT_STREQ(get_tab_cell(back, "COMMENT", 1), " c1\nmore\n");
  free_table(back);
  free_table(t);
  EXPECT_EQ(write_loadfile("/nonexistent/dir/x.lod", t = create_table()), -1);
  free_table(t);
}

// In a child process: writes the table under a file-size limit (the signal
// ignored, so writes fail instead) and exits 0 when the write failed with
// its message and left no file.
[[noreturn]] void write_under_limit(const std::string& path, table* t, rlim_t limit) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit rl{limit, limit};
  ::setrlimit(RLIMIT_FSIZE, &rl);
  const int rc = write_loadfile(path.c_str(), t);
  const bool gone = ::access(path.c_str(), F_OK) != 0;
  const bool told = lod_error != nullptr && std::string(lod_error) == "Cannot write loadfile";
  std::_Exit(rc == -1 && gone && told ? 0 : 1);
}

// A write that fails after the file was created is a failure, not a
// success: on a full device, and on a regular file that reaches the
// file-size limit (in a child process), where the partial file is removed.
TEST(LoadFile, FailedWritesFailAndLeaveNoPartialFile) {
  table* t = create_table();
  put_tab_key(t, "INSTRUME", "zor");
  for (int r = 0; r < 200; ++r) put_tab_cell(t, "A", r, std::string(60, 'a').c_str());

  lod_error = nullptr;
  EXPECT_EQ(write_loadfile("/dev/full", t), -1);
  EXPECT_STREQ(lod_error, "Cannot write loadfile");
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));  // a device is never removed

  const std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_lf_limit.lod";
  for (rlim_t limit : {rlim_t{0}, rlim_t{100}, rlim_t{4096}, rlim_t{10000}}) {
    EXPECT_EXIT(write_under_limit(path, t, limit), ::testing::ExitedWithCode(0), "")
        << "limit " << limit;
  }
  free_table(t);
}

}  // namespace
