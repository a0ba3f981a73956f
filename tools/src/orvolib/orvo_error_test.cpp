#include "orvolib/orvo_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Line {
  int level;
  std::string text;
};
std::vector<Line> captured;

void capture(int level, const char* line) { captured.push_back({level, line}); }

class Messages : public ::testing::Test {
 protected:
  void SetUp() override {
    captured.clear();
    orvo_errhandler = capture;
    orvo_errorflag = 0;
  }
  void TearDown() override {
    orvo_errhandler = nullptr;
    orvo_errorflag = 0;
  }
};

TEST_F(Messages, TableHoldsSixtyFiveTexts) {
  EXPECT_STREQ(error_msg[0], "Unrecognized error code");
  EXPECT_STREQ(error_msg[23], "Wrong number of arguments to task");
  EXPECT_STREQ(error_msg[42], "ORVO task installation date");
  EXPECT_STREQ(error_msg[64], "Invalid keyword value");
}

TEST_F(Messages, WarningSetsFlagInformationDoesNot) {
  orvo_info(42, "%s", "Mon Feb  4 2002");
  EXPECT_EQ(orvo_errorflag, 0);
  orvo_warn(25, "%s", "/x/y.fits");
  EXPECT_EQ(orvo_errorflag, 1);
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0].level, ORVO_LEVEL_INFO);
  EXPECT_EQ(captured[0].text, "ORVO task installation date (Mon Feb  4 2002)\n");
  EXPECT_EQ(captured[1].level, ORVO_LEVEL_WARN);
  EXPECT_EQ(captured[1].text, "No throughput column found in table (/x/y.fits)\n");
}

TEST_F(Messages, LongDetailIsCutAtTheLineBound) {
  std::string detail(3000, 'x');
  orvo_warn(12, "%s", detail.c_str());
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].text.size(), 511u);
  EXPECT_EQ(captured[0].text.rfind("Error in date format (xxx", 0), 0u);
  // A short text, separator and detail is not cut.
  orvo_info(9, "%d", 7);
  EXPECT_EQ(captured[1].text, "Wrote file (7)\n");
}

TEST(MessagesDeath, FatalErrorWritesLineAndExitsOne) {
  EXPECT_EXIT(orvo_error(30, "%s", "foo.fits"), ::testing::ExitedWithCode(1),
              "^Match not found in throughput catalog \\(foo.fits\\)\n$");
}

TEST(MessagesDeath, UnknownCodeIsFatalErrorZero) {
  EXPECT_EXIT(orvo_warn(99, "%s", "x"), ::testing::ExitedWithCode(1),
              "^Unrecognized error code \\(99\\)\n$");
  EXPECT_EXIT(orvo_info(-1, "%s", "x"), ::testing::ExitedWithCode(1),
              "Unrecognized error code \\(-1\\)");
}

TEST(MessagesDeath, FatalThreeThousandCharacterDetailIsBounded) {
  std::string detail(3000, 'd');
  EXPECT_EXIT(orvo_error(12, "%s", detail.c_str()), ::testing::ExitedWithCode(1),
              "^Error in date format \\(d{489}$");
}

TEST(MessagesDeath, MessageLevelsDecideTheEnd) {
  EXPECT_EXIT(orvo_message(ORVO_LEVEL_FATAL, "plain text"), ::testing::ExitedWithCode(1),
              "^plain text$");
  EXPECT_EXIT(
      {
        orvo_message(ORVO_LEVEL_WARN, "w\n");
        std::exit(orvo_errorflag == 1 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "^w\n$");
}

TEST(MessagesDeath, DebugLinesFollowTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("ORVO_DEBUG", "", 1);
        orvo_debug("opened %s", "a.fits");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^-DEBUG- \\(opened a.fits\\)\n$");
  EXPECT_EXIT(
      {
        unsetenv("ORVO_DEBUG");
        orvo_debug("opened %s", "a.fits");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
