// Test support for readers and writers of one table: a writer held in a
// child process at its first write into the table (when it holds the table
// and has written part of its change), a reader held halfway through its
// rows, children run side by side, and the table as a reader of the
// library sees it beside the same table as the independent readers of
// change_testutil.h see it.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "change_testutil.h"
#include "platform/clock.h"
#include "vos/osio.h"

namespace meet {

// ---- a writer held at its first write into the table -------------------

// The table the holding seam watches (it stops after the first write into
// it), the writes into it so far, and the pipes it signals and waits on.
struct Hold {
  dev_t dev = 0;
  ino_t ino = 0;
  int ready = -1, go = -1;
  int seen = 0;
  std::function<void()> in_place;  // run there instead of waiting, when set
};
inline Hold g_hold;

inline bool is_held_table(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && st.st_dev == g_hold.dev && st.st_ino == g_hold.ino;
}

// After a write into the table: at the first, tells the parent and waits
// for its word (or runs `in_place`).
inline void after_table_write(int fd) {
  if (!is_held_table(fd) || ++g_hold.seen != 1) return;
  if (g_hold.in_place) {
    g_hold.in_place();
    return;
  }
  char c = 1;
  if (::write(g_hold.ready, &c, 1) != 1 || ::read(g_hold.go, &c, 1) != 1) ::_exit(3);
}

inline const vos::osio::Ops kHolding{
    [](int fd, const void* b, size_t n, off_t at) {
      const ssize_t k = vos::osio::host_ops().pwrite(fd, b, n, at);
      after_table_write(fd);
      return k;
    },
    [](int fd, const void* b, size_t n) {
      const ssize_t k = vos::osio::host_ops().write(fd, b, n);
      after_table_write(fd);
      return k;
    },
    [](int fd, off_t size) {
      const int r = vos::osio::host_ops().ftruncate(fd, size);
      after_table_write(fd);
      return r;
    },
    [](int fd) { return vos::osio::host_ops().fsync(fd); },
    [](const char* p, int flags, mode_t mode) { return vos::osio::host_ops().open(p, flags, mode); },
    [](const char* p) { return vos::osio::host_ops().unlink(p); },
    [](const char* from, const char* to) { return vos::osio::host_ops().link(from, to); },
    nullptr,  // gathered writes go through the pwrite above
};

// Watches the table at `path` in this process (for a writer run here).
inline void watch(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  g_hold.dev = st.st_dev;
  g_hold.ino = st.st_ino;
  g_hold.seen = 0;
}

// The change session (change_table) on the table at `path`, run here with
// `what` done at its first write into the table; the calls in force and the
// hold are put back after it.  Whether the session succeeded.
inline bool change_doing_at_first_write(const std::string& path, std::function<void()> what) {
  watch(path);
  g_hold.in_place = std::move(what);
  const vos::osio::Ops was = vos::osio::replace(kHolding);
  const bool changed = chg::change_table(path);
  vos::osio::replace(was);
  g_hold.in_place = nullptr;
  return changed;
}

// A child process run beside the test.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }

  // Starts `body` in a child, which exits with the code it returns.
  void start(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) ::_exit(body());
  }

  // Its exit code (or 128 + the signal that ended it), once it has ended.
  int wait() {
    if (pid_ <= 0) return code_;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return code_;
  }

  // True when it is still running after `ms` milliseconds.
  bool still_running_after(int ms) {
    ::usleep(static_cast<useconds_t>(ms) * 1000);
    int status = 0;
    if (pid_ <= 0) return false;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    pid_ = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }

 private:
  pid_t pid_ = -1;
  int code_ = -1;
};

// A child held at a point of its work until release(): there it tells the
// parent on one pipe and waits for its word on the other.
class HeldChild {
 public:
  HeldChild(const HeldChild&) = delete;
  HeldChild& operator=(const HeldChild&) = delete;
  ~HeldChild() {
    release();
    for (int fd : {ready_[0], ready_[1], go_[0], go_[1]}) ::close(fd);
  }

  // True once the child stands there (within 20 s).
  bool held() {
    pollfd p{ready_[0], POLLIN, 0};
    char c = 0;
    return ::poll(&p, 1, 20000) == 1 && ::read(ready_[0], &c, 1) == 1;
  }

  // Lets it go on; its exit code.
  int release() {
    if (!released_) {
      released_ = true;
      char c = 1;
      (void)!::write(go_[1], &c, 1);
    }
    return child_.wait();
  }

 protected:
  HeldChild() = default;

  // Starts `body` in the child (when the pipes could be made).
  void start(const std::function<int()>& body) {
    if (::pipe(ready_) != 0 || ::pipe(go_) != 0) return;
    child_.start(body);
  }

  // In the child, where it is to be held: tells the parent and waits for
  // its word; ends the child with `code` when a pipe fails.
  void stand_here(int code) {
    char c = 1;
    if (::write(ready_[1], &c, 1) != 1 || ::read(go_[0], &c, 1) != 1) ::_exit(code);
  }

  int ready_[2] = {-1, -1}, go_[2] = {-1, -1};

 private:
  bool released_ = false;
  Child child_;
};

// A writer running `session` in a child, held after its first write into
// the table at `path` until release() (whose exit code 0: the session
// succeeded).
class HeldWriter : public HeldChild {
 public:
  HeldWriter(const std::string& path, const std::function<bool()>& session) {
    start([&] {
      watch(path);
      g_hold.ready = ready_[1];
      g_hold.go = go_[0];
      vos::osio::replace(kHolding);
      return session() ? 0 : 1;
    });
  }
};

// ---- what a reader sees ------------------------------------------------

// The table as rows, the x column's values and whether the keyword CHANGED
// is there.
inline std::string view(long rows, const std::vector<double>& x, bool changed) {
  std::ostringstream out;
  out << "rows=" << rows << " x=";
  for (double v : x) out << v << ",";
  out << " changed=" << changed;
  return out.str();
}

// What a reader of the library sees of the table: its view, or "error: "
// and the message.  `midway` runs after half of the rows are read.
inline std::string library_view(const std::string& path, const std::function<void()>& midway = {}) {
  TablePtr tp = c_tbtopn(path.c_str(), TBL_READ_ONLY, nullptr);
  if (!chg::ok()) return std::string("error: ") + c_voserrmsg();
  ColumnPtr x = nullptr;
  c_tbcfnd1(tp, "x", &x);
  const int rows = chg::ok() ? c_tbpsta(tp, 21) : 0;
  std::vector<double> values;
  for (int r = 1; chg::ok() && r <= rows; ++r) {
    if (r == rows / 2 + 1 && midway) midway();
    double v = 0;
    c_tbegtd(tp, x, r, &v);
    values.push_back(v);
  }
  std::string why = chg::ok() ? "" : c_voserrmsg();
  char text[80] = "";
  bool changed = false;
  if (why.empty()) {
    c_tbhgtt(tp, "CHANGED", text, sizeof text - 1);
    changed = chg::ok();
  }
  c_tbtclo(tp);
  if (why.empty() && !chg::ok()) why = c_voserrmsg();
  return why.empty() ? view(rows, values, changed) : "error: " + why;
}

// A reader of the library (library_view) in a child, held after it has
// read half of the rows of the table at `path` until release() (whose exit
// code 0: it left what it saw in the file `seen`).
class HeldReader : public HeldChild {
 public:
  HeldReader(const std::string& path, const std::string& seen) {
    start([&] {
      chg::spill(seen, library_view(path, [&] { stand_here(2); }));
      return 0;
    });
  }
};

// The same as the independent reader of its storage type sees it.
inline std::string independent_view(const chg::Storage& s, const std::string& path) {
  chg::Read t;
  std::string x = "x";
  if (chg::is_binary(s)) {
    t = chg::read_binary(path);
  } else if (chg::is_fits(s)) {
    const auto hdus = chg::read_fits(path);
    if (hdus.size() >= 2) t = hdus[1];
  } else {
    t = chg::read_text(path);
    x = "2";  // the second field of a data line
  }
  bool changed = false;
  for (const auto& k : t.keys) changed = changed || k.find("CHANGED") != std::string::npos;
  return view(t.rows, t.values[x], changed) + (t.problem.empty() ? "" : " (" + t.problem + ")");
}

// Runs `body` in a child with the clock seam's scale `scale` and keeps
// what it returns in `out`; its exit code.
inline int in_child_saying(const std::string& out, double scale, const std::function<std::string()>& body) {
  return chg::in_child([&] {
    platform::plat_set_time_scale(scale);
    chg::spill(out, body());
    return 0;
  });
}

}  // namespace meet
