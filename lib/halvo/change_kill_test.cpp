// Writers killed with SIGKILL in the middle of a change session, for every
// storage type: at every write, cut, sync, creation, link and removal the
// file layer makes (counted through its seam), and at seeded random
// moments.  After each kill the next open through the library must find
// the table's old bytes or its new bytes (those of an uninterrupted run),
// read back the same by a reader that shares no code with the library, and
// nothing beside the table: no journal, no temporary file.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <random>

#include "change_testutil.h"
#include "vos/osio.h"

namespace {

// ---- the seam in the child: count the calls, die at the k-th ----------

long g_calls = 0;
long g_kill_at = 0;  // 0: never

void tick() {
  if (++g_calls == g_kill_at) ::raise(SIGKILL);
}

const vos::osio::Ops kCounting{
    [](int fd, const void* b, size_t n, off_t at) { tick(); return vos::osio::host_ops().pwrite(fd, b, n, at); },
    [](int fd, const void* b, size_t n) { tick(); return vos::osio::host_ops().write(fd, b, n); },
    [](int fd, off_t size) { tick(); return vos::osio::host_ops().ftruncate(fd, size); },
    [](int fd) { tick(); return vos::osio::host_ops().fsync(fd); },
    [](const char* p, int flags, mode_t mode) { tick(); return vos::osio::host_ops().open(p, flags, mode); },
    [](const char* p) { tick(); return vos::osio::host_ops().unlink(p); },
    [](const char* from, const char* to) { tick(); return vos::osio::host_ops().link(from, to); },
    nullptr,  // gathered writes go through the pwrite above
};

// The session, and the number of calls it makes to the file layer.
class KillLoop : public chg::SessionTest {
 protected:
  void SetUp() override {
    chg::SessionTest::SetUp();
    if (HasFatalFailure()) return;
    calls_ = count_in_child(kCounting, g_calls);
  }

  long calls_ = 0;
};

TEST_P(KillLoop, KilledAtEachCallOfTheFileLayer) {
  ASSERT_GT(calls_, 3) << "the session writes through the seam";
  for (long k = 1; k <= calls_; ++k) {
    put_back_before();
    const int code = chg::in_child([&] {
      g_kill_at = k;
      vos::osio::replace(kCounting);
      run_session();
      return 0;
    });
    ASSERT_EQ(code, 128 + SIGKILL) << "call " << k << " of " << calls_ << " is reached";
    expect_old_or_new("killed at call " + std::to_string(k) + " of " + std::to_string(calls_));
  }
}

TEST_P(KillLoop, KilledAtRandomMoments) {
  std::mt19937 rng(20261211u + static_cast<unsigned>(store_ - chg::kStorages) * 2 +
                   static_cast<unsigned>(session_));
  // How long the session runs here, measured once.
  long long span_ns = 0;
  for (int i = 0; i <= 16; ++i) {
    put_back_before();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      const char go = 1;
      if (::write(ready[1], &go, 1) != 1) ::_exit(2);
      ::_exit(run_session() ? 0 : 1);
    }
    ::close(ready[1]);
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    const auto start = std::chrono::steady_clock::now();
    if (i > 0) {
      // Anywhere in the session, and now and then just after it.
      std::uniform_int_distribution<long long> at(0, span_ns + span_ns / 8);
      const long long wait = at(rng);
      const timespec ts{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
      ::nanosleep(&ts, nullptr);
      ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (i == 0) {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      span_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
      continue;
    }
    expect_old_or_new("killed at random moment " + std::to_string(i));
  }
}

INSTANTIATE_TEST_SUITE_P(AllStorages, KillLoop, chg::all_sessions(), chg::session_name);

}  // namespace
