#include "orvolib/catalog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Writes `content` to a fresh file under the test temp dir; returns its path.
// The name carries the test's name and the process id: CTest runs the cases
// of this file as parallel processes.
std::string write_file(const std::string& name, const std::string& content) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_" +
                     (info ? info->name() : "") + "_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// Every logical line rdlines reads from the text.
std::vector<std::string> logical_lines(const std::string& content) {
  std::string path = write_file("rdlines.txt", content);
  std::FILE* f = std::fopen(path.c_str(), "r");
  std::vector<std::string> out;
  char line[512];
  while (rdlines(f, line, 511) == 0) out.push_back(line);
  std::fclose(f);
  return out;
}

TEST(Rdlines, CommentsBlanksAndContinuation) {
  EXPECT_TRUE(logical_lines("# only\n\n   \n\t# more\n").empty());
  EXPECT_EQ(logical_lines("  a b\n"), (std::vector<std::string>{"  a b"}));
  EXPECT_EQ(logical_lines("one \\\n   two\nthree"),
            (std::vector<std::string>{"one two", "three"}));
  // A continued line ends at a comment line, which is not part of it.
  EXPECT_EQ(logical_lines("a \\\n# c\nb\n"), (std::vector<std::string>{"a ", "b"}));
  EXPECT_EQ(logical_lines("x\\  \n"), (std::vector<std::string>{"x"}));
  EXPECT_EQ(logical_lines("p\\q\n"), (std::vector<std::string>{"p\\q"}));
}

TEST(Rdlines, OverlongPhysicalLineIsFatal) {
  std::string content = std::string(511, 'L') + "\n";
  EXPECT_EXIT(logical_lines(content), ::testing::ExitedWithCode(1),
              "^String too long for internal buffer \\(L{40} ...\\)\n$");
  EXPECT_EQ(logical_lines(std::string(510, 'k') + "\n")[0].size(), 510u);
}

TEST(Catalogue, FieldsQuotesAndRepeatedKeys) {
  std::string path = write_file("cat.dat",
                                "# throughput catalogue\n"
                                "*.fits   crcomp$  extra text\n"
                                "abc*\t'/dir with blank/'\n"
                                "lonely\n"
                                "*.fits crnew$\n");
  alist* a = read_alist(path.c_str());
  ASSERT_EQ(a->keys.count, 3);
  EXPECT_STREQ(get_text(&a->keys, 0), "*.fits");
  EXPECT_STREQ(get_text(&a->values, 0), "crnew$");  // replaced, position kept
  EXPECT_STREQ(find_alist(a, "abc*"), "/dir with blank/");
  EXPECT_STREQ(find_alist(a, "lonely"), "");
  // Patterns are tried in file order.
  EXPECT_STREQ(patmatch_alist(a, "abc1.fits"), "crnew$");
  EXPECT_STREQ(patmatch_alist(a, "abc1.tab"), "/dir with blank/");
  EXPECT_EQ(patmatch_alist(a, "zzz.tab"), nullptr);
  int index = 0;
  EXPECT_STREQ(match_alist(a, "*", &index), "crnew$");
  EXPECT_EQ(index, 1);
  EXPECT_STREQ(match_alist(a, "l*", &index), "");
  EXPECT_EQ(index, 3);
  EXPECT_EQ(match_alist(a, "q*", &index), nullptr);
  EXPECT_EQ(index, 3);
  free_alist(a);
}

TEST(Catalogue, MissingFileIsFatal) {
  EXPECT_EXIT(read_alist("/nonexistent/thrucat.dat"), ::testing::ExitedWithCode(1),
              "^Cannot open file \\(/nonexistent/thrucat.dat\\)\n$");
}

TEST(Patmatch, Glob) {
  struct Case { const char* pattern; const char* name; int match; } cases[] = {
      {"", "", 1}, {"", "a", 0}, {"*", "", 1}, {"*", "anything", 1},
      {"?", "", 0}, {"a?c", "abc", 1}, {"a?c", "ac", 0}, {"*.fits", "x.fits", 1},
      {"*.fits", "x.FITS", 0}, {"a*b*c", "aXbYbZc", 1}, {"a*b*c", "aXbYbZ", 0},
      {"*a", "bbba", 1}, {"**x", "x", 1}, {"[a]", "a", 0}, {"abc", "abcd", 0},
  };
  // Stars by the hundred against a long name: bounded work, no backtracking
  // through every way of sharing the name among the stars.
  std::string stars;
  for (int k = 0; k < 120; ++k) stars += "*a";
  const std::string name(300, 'a');
  EXPECT_EQ(patmatch((stars + "q").c_str(), name.c_str()), 0);
  EXPECT_EQ(patmatch((stars + "q").c_str(), (name + "q").c_str()), 1);
  for (auto& c : cases) EXPECT_EQ(patmatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(Breakfname, Parts) {
  struct Case { const char* name; const char* dir; const char* root; const char* ext; } cases[] = {
      {"/data/x/file.fits", "/data/x/", "file", ".fits"},
      {"crcomp$file.fits;2", "crcomp$", "file", ".fits"},
      {"file.", "", "file.", ""},
      {"a.b.c", "", "a.b", ".c"},
      {"dir.d/name", "dir.d/", "name", ""},
      {"./*.fits", "./", "*", ".fits"},
      {"*.fits", "", "*", ".fits"},
      {"", "", "", ""},
  };
  for (auto& c : cases) {
    char d[128], r[128], e[128];
    breakfname(c.name, d, r, e, 127);
    EXPECT_STREQ(d, c.dir) << c.name;
    EXPECT_STREQ(r, c.root) << c.name;
    EXPECT_STREQ(e, c.ext) << c.name;
  }
  char r[4];
  breakfname("/x/longroot.fits", nullptr, r, nullptr, 3);
  EXPECT_STREQ(r, "lon");
}

TEST(Fname, FitsNames) {
  struct Case { const char* name; int fits; } cases[] = {
      {"a.fits", 1}, {"a.fit", 1}, {"a.imf", 1}, {"a.FITS", 0}, {"a.f", 0},
      {"a.tab", 0}, {"STDOUT", 0}, {"dir.fits/out", 0},
  };
  for (auto& c : cases) EXPECT_EQ(is_fitsname(c.name), c.fits) << c.name;
}

TEST(Fname, Addsubdir) {
  char out[128];
  EXPECT_EQ(addsubdir("/data/orvo1/", "tools/data/", out, 127), 2);
  EXPECT_STREQ(out, "/data/orvo1/tools/data/");
  EXPECT_EQ(addsubdir("/data/orvo1/", "a/../b", out, 127), 3);
  EXPECT_STREQ(out, "/data/orvo1/b/");
  EXPECT_EQ(addsubdir("/base", "", out, 127), 0);
  EXPECT_STREQ(out, "/base/");
  addsubdir("/data/orvo1/", "tools/data/", out, 10);
  EXPECT_STREQ(out, "/data/orvo");
}

// A data root in the test temp dir with a directory catalogue.
class Translation : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ::testing::TempDir() + "xlate_root/";
    mkdir(root_.c_str(), 0755);
    mkdir((root_ + "tools").c_str(), 0755);
    mkdir((root_ + "tools/data").c_str(), 0755);
    std::ofstream(root_ + "tools/data/directory.dat")
        << "comp tables/comp/\n"
           "abs /abs/dir/\n"
           "nest comp$sub/\n"
           "l0 l1$\nl1 l2$\nl2 l3$\nl3 l4$\nl4 l5$\nl5 l6$\nl6 l7$\nl7 l8$\nl8 /deep/\n";
    orvo_set_root(root_.c_str());
  }
  void TearDown() override { orvo_set_root(nullptr); }
  std::string root_;
};

TEST_F(Translation, LogicalNamesAndRelativePaths) {
  char out[128];
  xlate_fname("comp$x.fits", out, 127);
  EXPECT_EQ(std::string(out), root_ + "tables/comp/x.fits");
  xlate_fname("abs$y.fits", out, 127);
  EXPECT_STREQ(out, "/abs/dir/y.fits");
  xlate_fname("nest$z.fits", out, 127);
  EXPECT_EQ(std::string(out), root_ + "tables/comp/sub/z.fits");
  xlate_fname("/plain/path.fits", out, 127);
  EXPECT_STREQ(out, "/plain/path.fits");
  xlate_fname("l1$w", out, 127);  // eight translations are allowed
  EXPECT_STREQ(out, "/deep/w");
  xlate_fname("abs$y.fits", out, 5);
  EXPECT_STREQ(out, "/abs/");
}

TEST_F(Translation, Failures) {
  char out[128];
  EXPECT_EXIT(xlate_fname("l0$w", out, 127), ::testing::ExitedWithCode(1),
              "^Recursive logical name translation \\(l0\\$w\\)\n$");
  EXPECT_EXIT(xlate_fname("nope$w", out, 127), ::testing::ExitedWithCode(1),
              "^No translation for logical name \\(nope\\)\n$");
  orvo_set_root("/nonexistent-root/");
  EXPECT_EXIT(xlate_fname("x.fits", out, 127), ::testing::ExitedWithCode(1),
              "^Cannot open file \\(/nonexistent-root/tools/data/directory.dat\\)\n$");
}

TEST(Fname, BuiltInRootPaths) {
  EXPECT_EQ(thrucat_path(), std::string(orvo_root()) + "tools/data/thrucat.dat");
  EXPECT_EQ(directory_path(), std::string(orvo_root()) + "tools/data/directory.dat");
  EXPECT_EQ(std::string(orvo_root()).back(), '/');
}

}  // namespace
