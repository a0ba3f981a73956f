// End to end: the tool killed with SIGKILL while it writes its output (a
// new FITS file, an existing FITS file it appends to, a new binary table).
// The run is traced, and killed as it is about to make its k-th call that
// changes a file in the output's directory (a write, cut, sync, creation,
// link, removal or rename there), for every k of an uninterrupted run, and
// also at seeded random moments.  After each kill, once the output has been
// opened through the table library (which rolls back what a killed writer
// left), the directory holds exactly what it held before the run, or exactly
// what an uninterrupted run leaves: never a partial output, a journal or a
// temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <set>

#include "e2e_support.h"
#include "halvo/c_tables.h"

namespace {

using Files = std::map<std::string, std::string>;

// The path a descriptor of process `pid` names, "" when none.
std::string fd_path(pid_t pid, long fd) {
  char buf[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

// A string in the memory of process `pid`.
std::string string_at(pid_t pid, std::uint64_t addr) {
  const int mem = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (mem < 0) return "";
  char buf[4096] = {};
  const ssize_t n = ::pread(mem, buf, sizeof buf - 1, static_cast<off_t>(addr));
  ::close(mem);
  return n > 0 ? std::string(buf, strnlen(buf, static_cast<std::size_t>(n))) : "";
}

// True when the system call `nr` (arguments `a`) that process `pid` is
// entering changes something under `dir`.
bool changes_dir(pid_t pid, std::uint64_t nr, const std::uint64_t* a, const std::string& dir) {
  auto under = [&](const std::string& path) { return path.rfind(dir, 0) == 0; };
  constexpr std::uint64_t kMakes = O_CREAT | O_TMPFILE | O_TRUNC;
  switch (nr) {
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
    case SYS_ftruncate:
    case SYS_fsync:
    case SYS_fdatasync:
      return under(fd_path(pid, static_cast<long>(a[0])));
    case SYS_open:
      return (a[1] & kMakes) != 0 && under(string_at(pid, a[0]));
    case SYS_openat:
      return (a[2] & kMakes) != 0 && under(string_at(pid, a[1]));
    case SYS_creat:
    case SYS_unlink:
    case SYS_truncate:
    case SYS_link:
    case SYS_rename:
      return under(string_at(pid, nr == SYS_link || nr == SYS_rename ? a[1] : a[0]));
    case SYS_unlinkat:
      return under(string_at(pid, a[1]));
    case SYS_linkat:
    case SYS_renameat:
    case SYS_renameat2:
      return under(string_at(pid, a[3]));
    default:
      return false;
  }
}

struct Killed {
  int status = -1;  // exit code, or 128 + signal
  long changes = 0;  // calls that changed the directory, before the kill
};

// Runs the tool on `args`; kills it as it enters its `kill_at`-th call that
// changes `dir` (0: never), or `after_ns` after it starts (negative: never;
// the run is then not traced).
Killed run_killed(const std::vector<std::string>& args, std::map<std::string, std::string> env,
                  const std::string& dir, long kill_at, long long after_ns) {
  // The leak checker stops the process with the tracing this test does.
  env["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=1";
  const bool traced = after_ns < 0;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (traced) {
      ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
      ::raise(SIGSTOP);
    }
    e2e::exec_quorel(args, env);
  }
  Killed k;
  int status = 0;
  if (!traced) {
    const timespec ts{static_cast<time_t>(after_ns / 1000000000), static_cast<long>(after_ns % 1000000000)};
    ::nanosleep(&ts, nullptr);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  } else {
    ::waitpid(pid, &status, 0);  // the child's own stop
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC);
    int signal = 0;
    for (;;) {
      ::ptrace(PTRACE_SYSCALL, pid, nullptr, signal);
      signal = 0;
      if (::waitpid(pid, &status, 0) < 0 || WIFEXITED(status) || WIFSIGNALED(status)) break;
      const int stop = WSTOPSIG(status);
      if (stop == (SIGTRAP | 0x80)) {
        __ptrace_syscall_info info{};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) > 0 &&
            info.op == PTRACE_SYSCALL_INFO_ENTRY &&
            changes_dir(pid, info.entry.nr, info.entry.args, dir) && ++k.changes == kill_at) {
          ::kill(pid, SIGKILL);
          ::waitpid(pid, &status, 0);
          break;
        }
      } else if (stop != SIGTRAP && stop != SIGSTOP) {
        signal = stop;  // the process's own signal goes on to it
      }
    }
  }
  k.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return k;
}

// Opens every table file of `dir` for reading through the library, as the
// next program to use them would.
void open_each(const std::string& dir) {
  for (const auto& [name, bytes] : e2e::snapshot(dir)) {
    if (name.find("-journal") != std::string::npos) continue;
    TablePtr tp = c_tbtopn((dir + "/" + name).c_str(), TBL_READ_ONLY, nullptr);
    if (c_voserr() == 0) c_tbtclo(tp);
  }
}

struct Output {
  const char* name;
  bool existing;  // an earlier run's output, appended to
};

const Output kOutputs[] = {{"new.fits", false}, {"old.fits", true}, {"new.tab", false}};

class KilledTool : public ::testing::TestWithParam<Output> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
};

TEST_P(KilledTool, LeavesTheOldOutputOrTheWholeNewOne) {
  const Output& o = GetParam();
  e2e::Installation inst = e2e::small_installation();
  const std::string dir = inst.dir() + "/kill";
  const std::string path = dir + "/" + o.name;
  e2e::put_back(dir, {});
  if (o.existing) {
    ASSERT_EQ(e2e::run_quorel({path}, inst.env()).status, 0);
  }
  const Files before = e2e::snapshot(dir);
  const auto start = std::chrono::steady_clock::now();
  const Killed free_run = run_killed({path}, inst.env(), dir, 0, -1);
  const long long span_ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(free_run.status, 0);
  const Files after = e2e::timeless(e2e::snapshot(dir));
  ASSERT_NE(after, e2e::timeless(before));
  ASSERT_GT(free_run.changes, 2) << "the run's writes are seen";

  auto expect_old_or_new = [&](const std::string& when) {
    open_each(dir);
    const Files now = e2e::snapshot(dir);
    std::string names;
    for (const auto& [name, bytes] : now) names += " " + name + "(" + std::to_string(bytes.size()) + ")";
    EXPECT_TRUE(now == before || e2e::timeless(now) == after)
        << when << ": neither the old output nor the whole new one:" << names;
  };
  for (long k = 1; k <= free_run.changes; ++k) {
    e2e::put_back(dir, before);
    const Killed r = run_killed({path}, inst.env(), dir, k, -1);
    ASSERT_EQ(r.status, 128 + SIGKILL) << "change " << k << " is reached";
    expect_old_or_new("killed at change " + std::to_string(k) + " of " + std::to_string(free_run.changes));
  }
  std::mt19937 rng(4242u + static_cast<unsigned>(&o - kOutputs));
  for (int i = 1; i <= 8; ++i) {
    e2e::put_back(dir, before);
    const long long at = std::uniform_int_distribution<long long>(span_ns / 4, span_ns)(rng);
    run_killed({path}, inst.env(), dir, 0, at);
    expect_old_or_new("killed at random moment " + std::to_string(i));
  }
}

INSTANTIATE_TEST_SUITE_P(QuorelEndToEnd, KilledTool, ::testing::ValuesIn(kOutputs),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

}  // namespace
