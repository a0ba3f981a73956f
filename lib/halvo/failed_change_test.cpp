// A change that fails stays failed on its handle, for every storage type.
//
// A session of many calls on one handle (keywords within and past the
// slots, cells, rows appended and deleted, a column added, reads) meets a
// fault of the disk at one call of the file layer (no space, a write that
// fails, a sync that fails), each call position in turn.  The rest of the
// session's calls and the close go on as a careless caller would make
// them.  Whatever the position: the call that meets the fault and every
// call after it, the close too, report failure, the same failure each
// time; every message names the table, the system's reason and, where the
// journal could not be written or synced, the journal; and the table is
// the old one, byte for byte and as the independent reader of its storage
// type finds it, with nothing left beside it.  A table given up instead of
// closed after the failure is undone as asked, without an error.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "change_testutil.h"
#include "vos/osio.h"

namespace {

const vos::osio::Ops& host() { return vos::osio::host_ops(); }

// ---- the fault ---------------------------------------------------------------

enum class Call { kWrite, kSync };

struct Fault {
  const char* label;
  Call call;  // the calls counted and the one failed: writes or syncs
  int err;    // errno of the failed call
};

const Fault kFaults[] = {{"NoSpace", Call::kWrite, ENOSPC},
                         {"WriteFails", Call::kWrite, EIO},
                         {"SyncFails", Call::kSync, EIO}};

// The calls of the kind counted so far, the one to fail (0: none), and
// what it reached.
Call g_call = Call::kWrite;
int g_err = 0;
long g_count = 0;
long g_fail_at = 0;
std::string g_hit;    // the path of the file or directory the failed call was for
bool g_hit_dir = false;

// True when this call of kind `c` on `fd` is the one to fail (errno set).
bool strike(Call c, int fd) {
  if (c != g_call || ++g_count != g_fail_at) return false;
  char buf[PATH_MAX] = "";
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf - 1);
  g_hit.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  struct stat st{};
  g_hit_dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  errno = g_err;
  return true;
}

const vos::osio::Ops kFaulty{
    [](int fd, const void* b, size_t n, off_t at) -> ssize_t {
      return strike(Call::kWrite, fd) ? -1 : host().pwrite(fd, b, n, at);
    },
    [](int fd, const void* b, size_t n) -> ssize_t {
      return strike(Call::kWrite, fd) ? -1 : host().write(fd, b, n);
    },
    [](int fd, off_t size) { return host().ftruncate(fd, size); },
    [](int fd) { return strike(Call::kSync, fd) ? -1 : host().fsync(fd); },
    [](const char* p, int flags, mode_t mode) { return host().open(p, flags, mode); },
    [](const char* p) { return host().unlink(p); },
    [](const char* from, const char* to) { return host().link(from, to); },
    nullptr,  // gathered writes go through the pwrite above
};

// ---- the table and the session -------------------------------------------------

constexpr int kRows = 12;

// Makes the table: columns n (int), x (double) and s (text), kRows rows,
// one keyword (OBJECT); a binary table with five keyword slots and room for
// two rows more.
bool make_small_table(const std::string& path, const chg::Storage& s) {
  return chg::make_table(path, s, {}, kRows, [&](TablePtr tp) {
    c_tbpset(tp, 6, 5);
    if (chg::ok() && chg::is_binary(s)) c_tbpset(tp, 3, kRows + 2);
  });
}

// What one call of the session reported.
struct Report {
  std::string call;
  int code;
  std::string message;
};

// The session: every call is made whatever the ones before it reported, and
// each one's report kept; `more` rows are appended.  The last report is the
// close's (with `abandon`, c_tbtabn's).
std::vector<Report> run_session(const std::string& path, int more, bool abandon) {
  std::vector<Report> out;
  auto note = [&](const std::string& call) { out.push_back({call, c_voserr(), c_voserrmsg()}); };
  TablePtr tp = c_tbtopn(path.c_str(), TBL_READ_WRITE, nullptr);
  note("open");
  if (tp == nullptr) return out;
  ColumnPtr n = nullptr, x = nullptr;
  c_tbcfnd1(tp, "n", &n);
  c_tbcfnd1(tp, "x", &x);
  note("find");
  c_tbhadt(tp, "OBSERVER", "someone");
  note("keyword 2");
  c_tbhadi(tp, "EXPOSURE", 12);
  note("keyword 3");
  for (int k = 4; k <= 9; ++k) {  // past the five slots
    c_tbhadd(tp, ("KEY" + std::to_string(k)).c_str(), k / 4.0);
    note("keyword " + std::to_string(k));
  }
  for (int r = 1; r <= 3; ++r) {
    c_tbeptd(tp, x, r, -r);
    note("cell x" + std::to_string(r));
  }
  std::vector<double> xs(kRows);
  for (int r = 1; r <= kRows; ++r) xs[static_cast<std::size_t>(r - 1)] = -r;
  c_tbcptd(tp, x, xs.data(), 1, kRows);
  note("column x");
  // Past the rows allocated, and in a FITS file more than CFITSIO's
  // buffers hold.
  std::vector<int> ns(static_cast<std::size_t>(more));
  for (int i = 0; i < more; ++i) ns[static_cast<std::size_t>(i)] = 7 * (kRows + 1 + i);
  c_tbcpti(tp, n, ns.data(), kRows + 1, kRows + more);
  note("rows appended");
  c_tbrdel(tp, 2, 4);
  note("rows deleted");
  ColumnPtr y = nullptr;
  c_tbcdef1(tp, &y, "y", "", "", TBL_TY_DOUBLE, 1);
  note("column added");
  c_tbeptd(tp, y, 1, 1.5);
  note("cell y1");
  double v = 0;
  c_tbegtd(tp, x, 2, &v);
  note("cell read");
  (void)c_tbhgti(tp, "EXPOSURE");
  note("keyword read");
  (void)c_tbpsta(tp, 21);
  note("rows read");
  c_tbhadt(tp, "OBJECT", "renamed");
  note("keyword changed");
  if (abandon) c_tbtabn(tp);
  else c_tbtclo(tp);
  note("close");
  return out;
}

class FailedChange : public ::testing::TestWithParam<std::tuple<const chg::Storage*, const Fault*>> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  void SetUp() override {
    store_ = std::get<0>(GetParam());
    fault_ = std::get<1>(GetParam());
    dir_ = scratch_.path() + "/t";
    ::mkdir(dir_.c_str(), 0755);
    table_ = dir_ + "/t" + store_->ext;
    ASSERT_TRUE(make_small_table(table_, *store_)) << c_voserrmsg();
    before_ = chg::slurp(table_);
    before_summary_ = chg::summary(*store_, table_);
    char real[PATH_MAX];
    ASSERT_NE(::realpath(table_.c_str(), real), nullptr);
    journal_ = std::string(real) + "-journal";
  }

  // Runs the session with the fault at call `at` of its kind (0: none);
  // the reports.  The calls of that kind made are in g_count.  The change
  // cache holds one block, so that a write reaches the file at the call
  // that makes it: the fault is met inside the session, with calls after
  // it, and not only by the close.
  std::vector<Report> session(long at, bool abandon = false) {
    chg::spill(table_, before_);
    g_call = fault_->call;
    g_err = fault_->err;
    g_count = 0;
    g_fail_at = at;
    g_hit.clear();
    g_hit_dir = false;
    const long long bound = vos::set_change_cache(1);
    const vos::osio::Ops old = vos::osio::replace(kFaulty);
    std::vector<Report> reports = run_session(table_, chg::is_fits(*store_) ? 6000 : 1500, abandon);
    vos::osio::replace(old);
    vos::set_change_cache(bound);
    return reports;
  }

  chg::ScratchDir scratch_;
  const chg::Storage* store_ = nullptr;
  const Fault* fault_ = nullptr;
  std::string dir_, table_, journal_, before_, before_summary_;
};

std::string listing(const std::vector<Report>& reports) {
  std::string out;
  for (const Report& r : reports)
    out += "\n  " + r.call + ": " + (r.code == 0 ? "ok" : std::to_string(r.code) + " " + r.message);
  return out;
}

TEST_P(FailedChange, EveryCallAfterTheFailureAndTheCloseReportItAndTheTableIsTheOldOne) {
  const std::vector<Report> clean = session(0);
  for (const Report& r : clean) ASSERT_EQ(r.code, 0) << "without a fault:" << listing(clean);
  const long calls = g_count;
  ASSERT_GT(calls, 0) << "the session writes and syncs";
  const std::string after = chg::slurp(table_);
  ASSERT_NE(after, before_);
  const std::string reason = std::strerror(fault_->err);

  for (long k = 1; k <= calls; ++k) {
    const std::vector<Report> reports = session(k);
    const std::string when = std::string(fault_->label) + " at call " + std::to_string(k) + " of " +
                             std::to_string(calls) + " (" + g_hit + ")";
    SCOPED_TRACE(when + ":" + listing(reports));
    ASSERT_FALSE(g_hit.empty()) << "the fault was met";
    std::size_t first = 0;
    while (first < reports.size() && reports[first].code == 0) ++first;
    ASSERT_LT(first, reports.size()) << "some call reports the fault";
    if (k == 1 && store_->type != 13) {
      EXPECT_LT(first + 1, reports.size()) << "the first write is met before the close";
    }
    const Report& failure = reports[first];
    EXPECT_FALSE(failure.message.empty());
    EXPECT_NE(failure.message.find(table_), std::string::npos) << "the message names the table";
    EXPECT_NE(failure.message.find(reason), std::string::npos) << "the message gives the reason";
    if (g_hit == journal_) {
      EXPECT_NE(failure.message.find(journal_), std::string::npos) << "the message names the journal";
    }
    for (std::size_t i = first + 1; i < reports.size(); ++i) {
      EXPECT_EQ(reports[i].code, failure.code) << reports[i].call;
      EXPECT_EQ(reports[i].message, failure.message) << reports[i].call;
    }
    const std::string now = chg::slurp(table_);
    // A directory that cannot be synced once the journal is gone leaves the
    // change to the disk: the table is then the old or the new one.
    const bool may_be_new = g_hit_dir && first + 1 == reports.size();
    EXPECT_TRUE(now == before_ || (may_be_new && now == after))
        << now.size() << " bytes, neither the old (" << before_.size() << ") nor the new (" << after.size()
        << ") table";
    if (now == before_) {
      EXPECT_EQ(chg::summary(*store_, table_), before_summary_);
    }
    EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{"t" + std::string(store_->ext)});
  }
}

// A table given up after its change failed: the change is undone, as
// asked, and the giving up reports no error.  The session's first write
// already reaches the file.  (A text table is written only at its close:
// given up, it writes nothing and meets no fault.)
TEST_P(FailedChange, GivingUpAfterTheFailureUndoesTheChangeAsAsked) {
  const std::vector<Report> reports = session(1, true);
  SCOPED_TRACE(listing(reports));
  EXPECT_EQ(g_hit.empty(), store_->type == 13) << "the fault is met by all but a text table";
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.back().code, 0) << "c_tbtabn";
  EXPECT_TRUE(chg::slurp(table_) == before_) << "the table is the old one";
  EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{"t" + std::string(store_->ext)});
}

INSTANTIATE_TEST_SUITE_P(
    AllStorages, FailedChange,
    ::testing::Combine(chg::all_storages(), ::testing::Values(&kFaults[0], &kFaults[1], &kFaults[2])),
    [](const auto& info) {
      return std::string(std::get<0>(info.param)->label) + "_" + std::get<1>(info.param)->label;
    });

}  // namespace
