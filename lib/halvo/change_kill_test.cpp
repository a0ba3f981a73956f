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

using chg::Storage;

// What a session does: change an existing table (rewrite cells, append a
// row, add a keyword), or make a new one.
enum class Session { kChange, kCreate };

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
};

class KillLoop : public ::testing::TestWithParam<std::tuple<const Storage*, Session>> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  void SetUp() override {
    store_ = std::get<0>(GetParam());
    session_ = std::get<1>(GetParam());
    dir_ = scratch_.path() + "/t";
    table_ = dir_ + "/t" + store_->ext;
    reset();
    if (session_ == Session::kChange) {
      ASSERT_TRUE(chg::make_table(table_, *store_)) << c_voserrmsg();
      before_ = chg::slurp(table_);
    }
    // The uninterrupted run, which also counts the calls of the session.
    const std::string count_file = scratch_.path() + "/calls";
    const int code = chg::in_child([&] {
      vos::osio::replace(kCounting);
      const bool ok = run_session();
      chg::spill(count_file, std::to_string(g_calls));
      return ok ? 0 : 1;
    });
    ASSERT_EQ(code, 0) << "the uninterrupted session succeeds";
    calls_ = std::stol(chg::slurp(count_file));
    after_ = chg::slurp(table_);
    ASSERT_EQ(chg::names_in(dir_), std::set<std::string>{"t" + std::string(store_->ext)});
    // The two ends, judged by the independent reader.
    after_summary_ = chg::summary(*store_, table_);
    if (chg::is_fits(*store_)) {
      EXPECT_EQ(chg::fitsverify(table_), "");
    }
    if (session_ == Session::kChange) {
      EXPECT_NE(after_summary_.find("CHANGED"), std::string::npos) << after_summary_;
      before_summary_ = put_back_before();
      EXPECT_NE(before_summary_, after_summary_);
      EXPECT_EQ(before_summary_.find("CHANGED"), std::string::npos) << before_summary_;
    }
  }

  bool run_session() {
    return session_ == Session::kChange ? chg::change_table(table_) : chg::make_table(table_, *store_);
  }

  void reset() {
    std::system(("rm -rf " + dir_).c_str());
    ::mkdir(dir_.c_str(), 0755);
  }

  // Puts the table back as it was before the session; its summary.
  std::string put_back_before() {
    reset();
    if (session_ == Session::kCreate) return "";
    chg::spill(table_, before_);
    return chg::summary(*store_, table_);
  }

  // After a kill: the next open through the library finds the old or the
  // new table, whole, and nothing else is left.
  void expect_old_or_new(const std::string& when) {
    const bool exists = ::access(table_.c_str(), F_OK) == 0;
    if (exists) {
      EXPECT_EQ(chg::open_through_library(table_), "") << when;
    }
    const std::string now = chg::slurp(table_);
    const bool is_before = session_ == Session::kCreate ? !exists : now == before_;
    EXPECT_TRUE(is_before || now == after_)
        << when << ": " << now.size() << " bytes, neither the old (" << before_.size()
        << ") nor the new (" << after_.size() << ") table";
    if (exists) {
      EXPECT_EQ(chg::summary(*store_, table_), now == after_ ? after_summary_ : before_summary_) << when;
    }
    std::set<std::string> want;
    if (exists) want.insert("t" + std::string(store_->ext));
    EXPECT_EQ(chg::names_in(dir_), want) << when << ": files left beside the table";
  }

  chg::ScratchDir scratch_;
  const Storage* store_ = nullptr;
  Session session_ = Session::kChange;
  std::string dir_, table_, before_, after_, before_summary_, after_summary_;
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
  std::mt19937 rng(20261211u + static_cast<unsigned>(store_ - chg::kStorages));
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

std::string case_name(const ::testing::TestParamInfo<std::tuple<const Storage*, Session>>& info) {
  return std::string(std::get<0>(info.param)->label) +
         (std::get<1>(info.param) == Session::kChange ? "_Change" : "_Create");
}

INSTANTIATE_TEST_SUITE_P(AllStorages, KillLoop,
                         ::testing::Combine(::testing::ValuesIn(std::vector<const Storage*>{
                                                &chg::kStorages[0], &chg::kStorages[1],
                                                &chg::kStorages[2], &chg::kStorages[3]}),
                                            ::testing::Values(Session::kChange, Session::kCreate)),
                         case_name);

}  // namespace
