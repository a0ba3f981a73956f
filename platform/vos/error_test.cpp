// Raising and catching errors, error actions and clean-up procedures.
#include <gtest/gtest.h>

#include "vos/error.h"

namespace {

struct Seen {
  int action = -1, code = 0;
  std::string message;
};
Seen g_seen;
void record_hook(int action, int code, const std::string& message) {
  g_seen = {action, code, message};
}

class VosError : public ::testing::Test {
 protected:
  void SetUp() override {
    vos::xerret();
    old_ = vos::set_error_action_hook(record_hook);
    g_seen = {};
  }
  void TearDown() override {
    vos::set_error_action_hook(old_);
    vos::xerret();
  }
  vos::ErrorActionHook old_ = nullptr;
};

TEST_F(VosError, RaiseCatchAndReraise) {
  try {
    vos::error(42, "tbbtyp:  bad data type");
    FAIL();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 42);
    EXPECT_EQ(e.message(), "tbbtyp:  bad data type");
  }
  EXPECT_EQ(vos::open_error_blocks(), 0);
  bool failed = vos::iferr([] {
    EXPECT_EQ(vos::open_error_blocks(), 1);
    vos::error(3, "read-only");
  });
  EXPECT_TRUE(failed);
  EXPECT_EQ(vos::open_error_blocks(), 0);
  std::string msg;
  EXPECT_EQ(vos::errget(msg), 3);
  EXPECT_EQ(msg, "read-only");
  try {
    vos::erract(vos::EA_ERROR);  // re-raise
    FAIL();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 3);
  }
  EXPECT_FALSE(vos::error_pending());
  EXPECT_FALSE(vos::iferr([] {}));
  EXPECT_EQ(vos::errget(msg), 0);
  EXPECT_EQ(msg, "");
}

TEST_F(VosError, WarningClearAndFatalGoThroughTheHook) {
  vos::post_error(7, "odd");
  vos::erract(vos::EA_WARN);
  EXPECT_EQ(g_seen.action, vos::EA_WARN);
  EXPECT_EQ(g_seen.code, 7);
  EXPECT_FALSE(vos::error_pending());
  vos::post_error(8, "x");
  vos::erract(vos::EA_CLEAR);
  EXPECT_FALSE(vos::error_pending());
  vos::erract(vos::EA_ERROR);  // nothing pending: nothing happens
  g_seen = {};
  vos::erract(vos::EA_WARN);  // nor a warning of nothing
  EXPECT_EQ(g_seen.action, -1);
  std::string long_msg(5000, 'm');
  vos::post_error(1, long_msg);
  std::string got;
  vos::errget(got);
  EXPECT_EQ(got.size(), vos::kMaxErrorMessage);
}

TEST_F(VosError, NoHookMeansTheDefaultOne) {
  EXPECT_EQ(vos::set_error_action_hook(nullptr), record_hook);
  ::testing::internal::CaptureStderr();
  vos::post_error(7, "odd");
  vos::erract(vos::EA_WARN);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "VOS warning: odd (7)\n");
}

TEST(VosErrorDeath, FatalEndsTheProcess) {
  EXPECT_EXIT(vos::fatal(5, "boom"), ::testing::ExitedWithCode(255),
              "VOS fatal error: boom \\(5\\)\nAborting");
  // Also when the hook returns.
  EXPECT_EXIT(
      {
        vos::set_error_action_hook(record_hook);
        vos::post_error(5, "boom");
        vos::erract(vos::EA_FATAL);
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), "");
}

int g_runs = 0;
void proc_a(int status) { g_runs += status; }
void proc_b(int) { vos::error(9, "cleanup failed"); }
void proc_c(int status) { g_runs += 10 * status; }
void proc_d(int) { vos::error(10, "cleanup failed too"); }

TEST_F(VosError, CleanupProceduresAllRun) {
  g_runs = 0;
  vos::onerror(proc_a);
  vos::onerror(proc_b);
  vos::onerror(proc_c);
  vos::onerror(proc_d);
  vos::onerror(nullptr);  // no procedure: nothing registered
  try {
    vos::xonerr(1);
    FAIL();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 9);  // the first failure
  }
  EXPECT_EQ(g_runs, 11);
  vos::xonerr(1);  // dropped after running
  EXPECT_EQ(g_runs, 11);
  vos::onerror(proc_a);
  vos::onerror_remove(proc_a);
  vos::xonerr(1);
  EXPECT_EQ(g_runs, 11);
}

}  // namespace
