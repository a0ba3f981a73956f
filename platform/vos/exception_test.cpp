// Signals reach the handler posted for their exception.
#include <gtest/gtest.h>

#include <csignal>

#include "vos/error.h"
#include "vos/exception.h"

namespace {

int g_seen = 0;
void remember(int exception) { g_seen = exception; }
void fatal_handler(int exception) { vos::fatal(exception, "trapped"); }

TEST(VosException, InterruptAndPipeHandlersMayReturn) {
  g_seen = 0;
  EXPECT_EQ(vos::xwhen(vos::X_INT, remember), nullptr);
  std::raise(SIGINT);
  EXPECT_EQ(g_seen, vos::X_INT);
  vos::xwhen(vos::X_IPC, remember);
  std::raise(SIGPIPE);
  EXPECT_EQ(g_seen, vos::X_IPC);
  std::string text;
  EXPECT_EQ(vos::zxgmes(text), 0);  // a raised signal carries no detail
  EXPECT_EQ(text, "");
  EXPECT_EQ(vos::xwhen(vos::X_INT, nullptr), remember);
  vos::xwhen_reset();
  EXPECT_THROW(vos::xwhen(42, remember), vos::Error);
}

TEST(VosExceptionDeath, FaultHandlersEndTheProcess) {
  EXPECT_EXIT(
      {
        vos::xwhen(vos::X_ARITH, fatal_handler);
        std::raise(SIGFPE);
      },
      ::testing::ExitedWithCode(255), "VOS fatal error: trapped \\(502\\)");
  EXPECT_EXIT(
      {
        vos::xwhen_reset();
        vos::xwhen(vos::X_ACV, remember);  // returns: the process cannot go on
        std::raise(SIGSEGV);
      },
      ::testing::ExitedWithCode(255), "unhandled exception");
}

// Re-arming the interrupt handler when none is posted leaves the default:
// an interrupt ends the process as it would without the run-time layer.
TEST(VosExceptionDeath, InterruptWithoutAHandlerKeepsTheDefault) {
  EXPECT_EXIT(
      {
        vos::xwhen_reset();
        vos::intrrt();
        std::raise(SIGINT);
      },
      ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
