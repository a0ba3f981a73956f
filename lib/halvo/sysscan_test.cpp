// Host task argument scanning: assignments, parameter files, redirections.
#include "halvo/sysscan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "vos/error.h"
#include "vos/files.h"

namespace {

class SysScan : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sysscanXXXXXX";
    dir_ = ::mkdtemp(tmpl);
    clcint();
  }
  void TearDown() override {
    vos::fredir_reset();
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string path(const std::string& n) const { return dir_ + "/" + n; }
  static std::string slurp(const std::string& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::pair<int, std::string> fails(const std::string& list) {
    try {
      int s = vos::stropen("", vos::READ_ONLY);
      syssct(s, list);
      vos::close(s);
    } catch (const vos::Error& e) {
      return {e.code(), e.message()};
    }
    return {0, ""};
  }
  std::string dir_;
};

TEST_F(SysScan, EmptyListReadsNothing) {
  for (int s = 1; s <= 9; ++s) vos::fseti(s, 35, 7);
  int stream = vos::stropen("x=1\n", vos::READ_ONLY);
  syssct(stream, "");
  for (int s = 1; s <= 9; ++s) EXPECT_EQ(vos::fstati(s, 35), 0) << s;
  std::string line;
  EXPECT_EQ(vos::getline(stream, line), 4);  // nothing was read from the stream
  vos::close(stream);
  EXPECT_FALSE(clcget("x").has_value());
}

TEST_F(SysScan, Assignments) {
  int stream = vos::stropen("cont=yes\n", vos::READ_ONLY);
  // The value of y ends at the backslash, which then continues the list on
  // the next line of the stream.
  syssct(stream, R"(a=1 b+ c- x="a b" q='it\'s' $dollar=d n.m = 5 y=a\)");
  vos::close(stream);
  struct Want {
    const char* name;
    const char* value;
  } const want[] = {{"a", "1"}, {"b", "yes"}, {"c", "no"}, {"x", "a b"}, {"y", "a"},
                    {"q", "it's"}, {"$dollar", "d"}, {"n.m", "5"}, {"cont", "yes"}};
  for (const Want& w : want) EXPECT_EQ(clcget(w.name).value_or("<unset>"), w.value) << w.name;
}

TEST_F(SysScan, SyntaxErrors) {
  const std::pair<int, std::string> syntax{1, "VOS Main: command syntax error"};
  EXPECT_EQ(fails("name value"), syntax);
  EXPECT_EQ(fails("name"), syntax);
  EXPECT_EQ(fails("3!file"), syntax);
  const std::pair<int, std::string> illegal{2, "VOS Main: illegal redirection"};
  EXPECT_EQ(fails("2<" + path("f")), illegal);
  EXPECT_EQ(fails("3>" + path("f")), illegal);
  EXPECT_EQ(fails("9>" + path("f")), illegal);
}

TEST_F(SysScan, Redirections) {
  std::ofstream(path("in.txt")) << "input\n";
  std::ofstream(path("out.txt")) << "old\n";
  std::size_t ip = 0;
  std::string in = "3<" + path("in.txt");
  EXPECT_EQ(sysret(in, ip), vos::STDIN);
  std::string line;
  EXPECT_EQ(vos::getline(vos::STDIN, line), 6);
  EXPECT_EQ(line, "input\n");

  ip = 0;
  std::string app = "4>>" + path("out.txt");
  EXPECT_EQ(sysret(app, ip), vos::STDOUT);
  vos::putline(vos::STDOUT, "appended\n");
  vos::fredir_reset();
  EXPECT_EQ(slurp(path("out.txt")), "old\nappended\n");

  ip = 0;
  std::string fresh = " > " + path("out.txt");  // new file: replaces
  EXPECT_EQ(sysret(fresh, ip), vos::STDOUT);
  vos::putline(vos::STDOUT, "new\n");
  vos::fredir_reset();
  EXPECT_EQ(slurp(path("out.txt")), "new\n");

  ip = 0;
  EXPECT_EQ(sysret("5>$", ip), vos::STDERR);
  EXPECT_EQ(vos::fstati(vos::STDERR, 35), 1);
  ip = 0;
  EXPECT_EQ(sysret("b>", ip), vos::STDOUT);
  EXPECT_EQ(vos::fstati(vos::STDOUT, 35), 1);
  vos::fseti(vos::STDERR, 35, 0);
  vos::fseti(vos::STDOUT, 35, 0);
}

TEST_F(SysScan, ParameterFiles) {
  std::ofstream(path("p.par")) << "first second\n# comment\n\n  good = 'v 1'\nbad\n";
  ::testing::internal::CaptureStderr();
  syssct(vos::CLIN, "@" + path("p.par") + " after+");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "Bad param assignment, line 1: `first second'\n"
            "Bad param assignment, line 5: `bad'\n");
  EXPECT_EQ(clcget("good").value_or(""), "v 1");
  EXPECT_EQ(clcget("after").value_or(""), "yes");
  EXPECT_THROW(sysges(path("missing.par")), vos::Error);
}

TEST_F(SysScan, StringValues) {
  std::string v;
  std::size_t ip = 0;
  sysgsg("  \"a b\\\"c\" rest", ip, v, 100);
  EXPECT_EQ(v, "a b\"c");
  ip = 0;
  sysgsg("abc<def", ip, v, 100);
  EXPECT_EQ(v, "abc");
  EXPECT_EQ(ip, 3u);
  ip = 0;
  sysgsg("abcdef", ip, v, 2);
  EXPECT_EQ(v, "ab");
}

TEST_F(SysScan, CommandLines) {
  int s = vos::stropen("\n# skipped\n  $ mytask a=1\n!ls\nnext_task\n", vos::READ_ONLY);
  std::string cmd, task;
  std::size_t argip = 0;
  bool timing = false;
  ASSERT_EQ(sysged(s, cmd, task, argip, timing, 1), 0);
  EXPECT_EQ(task, "mytask");
  EXPECT_TRUE(timing);
  EXPECT_EQ(cmd.substr(argip), "a=1");
  ASSERT_EQ(sysged(s, cmd, task, argip, timing, 1), 0);
  EXPECT_EQ(task, "!");
  EXPECT_EQ(cmd.substr(argip), "ls");
  ASSERT_EQ(sysged(s, cmd, task, argip, timing, 1), 0);
  EXPECT_EQ(task, "next_task");
  EXPECT_FALSE(timing);
  EXPECT_EQ(sysged(s, cmd, task, argip, timing, 1), -2);
  vos::close(s);
}

}  // namespace
