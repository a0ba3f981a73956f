#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comptab.h"
#include "orvolib/orvo_error.h"

namespace {

TEST(Similar, Scores) {
  struct Case { const char* a; const char* b; int score; } cases[] = {
      {"abc", "cab", 2}, {"aaab", "aaaab", 4}, {"abc_x12", "x12", 3}, {"abc_x12", "abc", 3},
      {"abc_x12", "abc_x1", 6}, {"", "abc", 0}, {"abc", "", 0}, {"ABC", "abc", 3},
      {"xyz", "abc", 0}, {"wfpc2_f555w", "wfpc2_f555w", 11},
  };
  for (auto& c : cases) EXPECT_EQ(similar(c.a, c.b), c.score) << c.a << " / " << c.b;
}

// The candidates kept from a sequence of lower-cased column names.
std::vector<std::string> candidates(std::vector<std::string> names) {
  text list;
  init_text(&list, 5, 100);
  for (auto& n : names) add_thru_candidate(&list, n.data());
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i) out.push_back(get_text(&list, i));
  free_text(&list);
  return out;
}

TEST(Candidates, SkipRulesAndRewriting) {
  EXPECT_EQ(candidates({"wavelength", "throughput", "error", "throughput_err"}),
            (std::vector<std::string>{"throughput"}));
  EXPECT_EQ(candidates({"a#b#c"}), (std::vector<std::string>{"a##"}));
  EXPECT_EQ(candidates({"thru_err#", "thru_err##", "x_err#y#z#"}), (std::vector<std::string>{}));
  EXPECT_EQ(candidates({"thru_err####"}), (std::vector<std::string>{"thru_err####"}));
  EXPECT_EQ(candidates({"thru#1", "thru#2"}), (std::vector<std::string>{"thru#"}));
  EXPECT_EQ(candidates({"_err", "err", "x_err"}), (std::vector<std::string>{"err"}));
  EXPECT_EQ(candidates({"abc", "abc"}), (std::vector<std::string>{"abc"}));
}

class Choice : public ::testing::Test {
 protected:
  void SetUp() override {
    init_text(&list_, 5, 100);
    orvo_errorflag = 0;
  }
  void TearDown() override {
    free_text(&list_);
    orvo_errhandler = nullptr;
    orvo_errorflag = 0;
  }
  std::string choose(std::vector<std::string> names, const char* component) {
    for (auto& n : names) add_text(&list_, n.c_str());
    char column[64];
    choose_thrucol(&list_, component, "/p/f.fits", column, 63);
    return column;
  }
  text list_;
};

// The column of the best score, the first of equal scores, the first when
// nothing is shared, and a single candidate whatever its score.
TEST_F(Choice, BestScoreFirstOfEqualScores) {
  struct Case { std::vector<std::string> names; const char* component; const char* chosen; } cases[] = {
      {{"x12", "abc"}, "abc_x12", "x12"},
      {{"abc", "abc_x1"}, "abc_x12", "abc_x1"},
      {{"qqq", "www"}, "abc", "qqq"},
      {{"throughput"}, "abc", "throughput"},
  };
  for (auto& c : cases) {
    free_text(&list_);
    init_text(&list_, 5, 100);
    EXPECT_EQ(choose(c.names, c.component), c.chosen) << c.component;
  }
}

TEST_F(Choice, NoCandidateWarns) {
  static std::string line;
  orvo_errhandler = [](int, const char* l) { line = l; };
  EXPECT_EQ(choose({}, "abc"), "");
  EXPECT_EQ(orvo_errorflag, 1);
  EXPECT_EQ(line, "No throughput column found in table (/p/f.fits)\n");
}

TEST(ThruCell, BarePathOrColumnInBrackets) {
  char out[200];
  thru_cell("crcomp$a.fits", "throughput", out, 199);
  EXPECT_STREQ(out, "crcomp$a.fits");
  thru_cell("crcomp$a.fits", "f555w", out, 199);
  EXPECT_STREQ(out, "crcomp$a.fits[f555w]");
  thru_cell("crcomp$a.fits", "", out, 199);
  EXPECT_STREQ(out, "crcomp$a.fits[]");
}

TEST(Fetched, CleaningAndTextEnd) {
  std::string v = "  A Comment\twith  two\nLINES  ";
  clean_fetched(v.data());
  EXPECT_STREQ(v.c_str(), "a comment with two lines");
  std::string f = "ABC.FITS" + std::string(54, ' ');
  clean_fetched(f.data());
  EXPECT_STREQ(f.c_str(), "abc.fits");
  std::vector<char> buf(COMMENT_BUFSIZE, 'x');
  end_text_value(buf.data(), 20000, COMMENT_BUFSIZE);
  EXPECT_EQ(buf[COMMENT_MAXLEN], '\0');
  end_text_value(buf.data(), 5, COMMENT_BUFSIZE);
  EXPECT_EQ(std::string(buf.data()), "xxxxx");
  end_text_value(buf.data(), -3, COMMENT_BUFSIZE);
  EXPECT_EQ(buf[0], '\0');
}

}  // namespace
