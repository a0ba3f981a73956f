#include "orvolib/options.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "orvolib/orvo_error.h"

namespace {

class Options : public ::testing::Test {
 protected:
  void SetUp() override {
    init_option();
    orvo_errorflag = 0;
  }
  void TearDown() override {
    free_option();
    free_param();
    orvo_errorflag = 0;
  }
};

TEST_F(Options, IsOption) {
  struct Case { const char* arg; int is; } cases[] = {
      {"date=jan-1-2000", 1}, {"v+", 1}, {"a=b c", 0}, {"a=b c+", 1}, {"", 0},
      {"-", 1}, {"+", 1}, {"out.tab", 0}, {"date=", 1},
  };
  for (auto& c : cases) EXPECT_EQ(is_option(c.arg), c.is) << c.arg;
}

TEST_F(Options, FirstSettingWinsAndSwitches) {
  put_option("ext=txt");
  put_option("ext=fits");
  put_option("v+");
  put_option("date=");
  put_option("-");
  def_option("date=jan-1-2000,ext=fits,q=1");
  EXPECT_STREQ(get_option("ext"), "txt");
  EXPECT_STREQ(get_option("v"), "yes");
  EXPECT_STREQ(get_option("date"), "");
  EXPECT_STREQ(get_option(""), "no");
  EXPECT_STREQ(get_option("q"), "1");
  char *name, *value;
  EXPECT_EQ(each_option(0, &name, &value), 0);
  EXPECT_STREQ(name, "ext");
  EXPECT_EQ(each_option(5, &name, &value), -1);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(orvo_errorflag, 0);
}

TEST_F(Options, DefaultsStopAtFirstEmptyEntryAndWarnOnBadForm) {
  orvo_errhandler = [](int, const char*) {};
  EXPECT_EQ(def_option("a=1,junk,b=2"), 3);
  orvo_errhandler = nullptr;
  EXPECT_EQ(orvo_errorflag, 1);
  EXPECT_STREQ(get_option("b"), "2");
  EXPECT_EQ(def_option(""), 0);
  EXPECT_EQ(def_option("c=3,,d=4"), 2);  // the splitter skips the empty field
}

TEST_F(Options, UnknownNameIsFatal) {
  EXPECT_EXIT(get_option("nothere"), ::testing::ExitedWithCode(1),
              "^Option name not recognized \\(nothere\\)\n$");
}

TEST_F(Options, PrintVerOnlyForExactYes) {
  EXPECT_EXIT(
      {
        put_option("v+");
        print_ver();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^ORVO task installation date \\(Mon Feb  4 2002\\)\n$");
  EXPECT_EXIT(
      {
        put_option("v=YES");
        print_ver();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
  EXPECT_EXIT(
      {
        print_ver();
        std::exit(std::string(get_option("v")) == "no" ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "^$");
}

std::string make_dir(const std::string& name) {
  std::string dir = ::testing::TempDir() + std::to_string(::getpid()) + "_" + name;
  mkdir(dir.c_str(), 0755);
  return dir;
}

TEST_F(Options, WildExpandMatchesBareNames) {
  std::string dir = make_dir("wild_expand_dir");
  for (const char* f : {"a.fits", "b.fits", "c.tab"}) std::ofstream(dir + "/" + f) << "x";
  std::string pattern = dir + "/*.fits";
  wild_expand(pattern.c_str(), ORVO_MAXPARAM, &nparam, param);
  ASSERT_EQ(nparam, 2);
  std::set<std::string> got{param[0], param[1]};
  EXPECT_EQ(got, (std::set<std::string>{"a.fits", "b.fits"}));
  std::string none = dir + "/no*match";
  wild_expand(none.c_str(), ORVO_MAXPARAM, &nparam, param);
  ASSERT_EQ(nparam, 3);
  EXPECT_EQ(param[2], none);
  wild_expand("*.fits", ORVO_MAXPARAM, &nparam, param);  // no directory part
  EXPECT_STREQ(param[3], "*.fits");
  wild_expand("plain", ORVO_MAXPARAM, &nparam, param);
  EXPECT_STREQ(param[4], "plain");
}

TEST_F(Options, WildExpandStopsAtTheBound) {
  std::string dir = make_dir("wild_bound_dir");
  for (const char* f : {"x1", "x2", "x3"}) std::ofstream(dir + "/" + f) << "x";
  std::string pattern = dir + "/x?";
  wild_expand(pattern.c_str(), 2, &nparam, param);
  EXPECT_EQ(nparam, 2);
  wild_expand("more", 2, &nparam, param);
  EXPECT_EQ(nparam, 2);
}

}  // namespace
