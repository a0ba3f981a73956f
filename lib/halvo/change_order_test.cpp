// The order and the number of a change session's calls to the disk, for
// every storage type, watched through the file layer's seam in a child
// process: every write, cut and sync of the table and of its journal is
// recorded, and the journal is read back from what was written to it.
//   - No byte of the table's original size is written or cut off before
//     the journal record that holds its block was synced, nor any byte of
//     the table before the journal's header and directory entry were.
//   - A session whose changes fit in the cache syncs at most four times
//     (journal, its directory entry, the table, the directory after the
//     journal goes), however many changes it makes; one larger than the
//     cache syncs its journal once per batch that fills the cache.
//   - A block whose bytes do not change is neither saved in the journal
//     nor written: a one-cell change writes one block of the table.
//   - A call of the seam that fails, at any place in the session, fails the
//     session with its reason, and the table is the old or the new one.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "change_testutil.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

constexpr long long kBlock = 4096;

const vos::osio::Ops& host() { return vos::osio::host_ops(); }

// ---- the recorder, in the child -----------------------------------------------

struct Ident {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const Ident& o) const { return dev == o.dev && ino == o.ino; }
};

Ident ident_of_fd(int fd) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) return {};
  return {st.st_dev, st.st_ino};
}

Ident ident_of_path(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino};
}

struct Record {
  Ident table, dir;
  std::string journal, synced;  // the journal's bytes as written, and as last synced
  Ident journal_id;
  bool journal_named = false;   // its directory entry synced since it was made
  long syncs = 0, journal_syncs = 0;
  long long table_bytes = 0;    // bytes written to the table
  long long since_sync = 0;     // ... since the journal's last sync
  std::vector<long long> batches;  // table bytes written between two journal syncs
  std::map<long long, int> writes;  // times each block of the table was written
  std::string violations;
} g_rec;

std::uint64_t be(const std::string& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// The original size and the blocks (by offset) of the synced journal, read
// as its layout is described: a 72-byte header ("qrljrnl2", block size,
// 0, original size, nonce, the file's identity, check), then records of
// offset (u64), length (u32), the bytes and an 8-byte check.  -1 when the
// header is not synced.
long long synced_blocks(std::set<long long>& blocks) {
  const std::string& j = g_rec.synced;
  if (j.size() < 72 || j.compare(0, 8, "qrljrnl2") != 0) return -1;
  for (std::size_t at = 72; at + 12 <= j.size();) {
    const long long off = static_cast<long long>(be(j, at, 8));
    const std::size_t len = static_cast<std::size_t>(be(j, at + 8, 4));
    if (at + 12 + len + 8 > j.size()) break;
    blocks.insert(off);
    at += 12 + len + 8;
  }
  return static_cast<long long>(be(j, 16, 8));
}

// Checks that the table may now change its bytes [lo, hi) (its original
// ones among them saved and synced).
void check_covered(const char* what, long long lo, long long hi) {
  if (lo >= hi) return;
  std::set<long long> blocks;
  const long long orig = synced_blocks(blocks);
  std::string v;
  if (orig < 0) v = "before the journal's header was synced";
  else if (!g_rec.journal_named) v = "before the journal's directory entry was synced";
  for (long long b = lo / kBlock * kBlock; v.empty() && b < std::min(hi, orig); b += kBlock)
    if (blocks.count(b) == 0) v = "before the record of block " + std::to_string(b) + " was synced";
  if (!v.empty()) g_rec.violations += std::string(what) + " [" + std::to_string(lo) + ", " + std::to_string(hi) + ") " + v + "\n";
}

// Before `n` bytes are written at `at` to the table open on `fd`: checks
// the blocks whose bytes they change (a rollback writes back bytes that
// never changed, too).
void before_write(int fd, const void* buf, size_t n, off_t at) {
  if (!(ident_of_fd(fd) == g_rec.table)) return;
  std::string old(n, '\0');
  const ssize_t got = ::pread(fd, old.data(), n, at);
  old.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  const char* now = static_cast<const char*>(buf);
  for (size_t i = 0; i < n;) {
    const size_t end = std::min<size_t>(n, static_cast<size_t>(((at + static_cast<off_t>(i)) / kBlock + 1) * kBlock - at));
    if (end - i > 0 && (i >= old.size() || std::memcmp(old.data() + i, now + i, std::min(end, old.size()) - i) != 0 ||
                        end > old.size()))
      check_covered("table written at", at + static_cast<off_t>(i), at + static_cast<off_t>(end));
    i = end;
  }
}

void on_write(int fd, const void* buf, size_t n, off_t at, ssize_t k) {
  if (k <= 0) return;
  const Ident id = ident_of_fd(fd);
  if (id == g_rec.table) {
    g_rec.table_bytes += k;
    g_rec.since_sync += k;
    for (long long b = at / kBlock; b * kBlock < at + k; ++b) ++g_rec.writes[b];
  } else if (g_rec.journal_id.ino != 0 && id == g_rec.journal_id) {
    if (g_rec.journal.size() < static_cast<std::size_t>(at + k)) g_rec.journal.resize(static_cast<std::size_t>(at + k));
    g_rec.journal.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(k), static_cast<const char*>(buf),
                          static_cast<std::size_t>(k));
  }
  (void)n;
}

// The messages of the errors the session reported, one a line.
std::string g_reported;
void keep_report() { g_reported += std::string(c_voserrmsg()) + "\n"; }

// The k-th call of the seam fails (0: none) with errno kFailWith.
long g_calls = 0, g_fail_at = 0;
constexpr int kFailWith = EIO;
bool failing() {
  if (++g_calls != g_fail_at) return false;
  errno = kFailWith;
  return true;
}

const vos::osio::Ops kRecording{
    [](int fd, const void* b, size_t n, off_t at) -> ssize_t {
      if (failing()) return -1;
      before_write(fd, b, n, at);
      const ssize_t k = host().pwrite(fd, b, n, at);
      on_write(fd, b, n, at, k);
      return k;
    },
    [](int fd, const void* b, size_t n) -> ssize_t {
      if (failing()) return -1;
      const off_t at = ::lseek(fd, 0, SEEK_CUR);
      before_write(fd, b, n, at);
      const ssize_t k = host().write(fd, b, n);
      on_write(fd, b, n, at, k);
      return k;
    },
    [](int fd, off_t size) -> int {
      if (failing()) return -1;
      struct stat st{};
      ::fstat(fd, &st);
      if (ident_of_fd(fd) == g_rec.table) {
        if (size < st.st_size) check_covered("table cut off at", size, st.st_size);
        else check_covered("table extended at", st.st_size, size);
      }
      return host().ftruncate(fd, size);
    },
    [](int fd) -> int {
      if (failing()) return -1;
      const int r = host().fsync(fd);
      if (r != 0) return r;
      ++g_rec.syncs;
      const Ident id = ident_of_fd(fd);
      if (g_rec.journal_id.ino != 0 && id == g_rec.journal_id) {
        g_rec.synced = g_rec.journal;
        ++g_rec.journal_syncs;
        if (g_rec.journal_syncs > 1) g_rec.batches.push_back(g_rec.since_sync);
        g_rec.since_sync = 0;
      } else if (id == g_rec.dir && g_rec.journal_id.ino != 0) {
        g_rec.journal_named = true;
      }
      return r;
    },
    [](const char* p, int flags, mode_t mode) -> int {
      if (failing()) return -1;
      const int fd = host().open(p, flags, mode);
      const std::string path = p;
      if (fd >= 0 && path.size() > 8 && path.compare(path.size() - 8, 8, "-journal") == 0) {
        g_rec.journal_id = ident_of_fd(fd);
        g_rec.journal.clear();
        g_rec.synced.clear();
        g_rec.journal_named = false;
      }
      return fd;
    },
    [](const char* p) -> int {
      if (failing()) return -1;
      return host().unlink(p);
    },
    [](const char* from, const char* to) -> int {
      if (failing()) return -1;
      return host().link(from, to);
    },
    nullptr,  // gathered writes go through the pwrite above
};

// What a session did, as the child reports it.
struct Seen {
  bool ok = false;
  std::string messages;  // the errors reported, one a line
  long calls = 0, syncs = 0, journal_syncs = 0, records = 0;
  long rewritten = 0;  // blocks of the table written more than once
  long long table_bytes = 0;
  std::vector<long long> batches;
  std::string violations;
};

// ---- the sessions ----------------------------------------------------------------

// One cell changed: x of row 20.
bool change_one_cell(const std::string& path) {
  TablePtr tp = c_tbtopn(path.c_str(), TBL_READ_WRITE, nullptr);
  if (!chg::ok()) return false;
  ColumnPtr x = nullptr;
  c_tbcfnd1(tp, "x", &x);
  if (chg::ok()) c_tbeptd(tp, x, 20, 1234.5);
  const bool good = chg::ok();
  c_tbtclo(tp);
  return good && chg::ok();
}

class Order : public chg::SessionTest {
 protected:
  // Runs `session` in a child with the recorder in force (the `fail_at`-th
  // call of the seam failing, 0: none), from the table as it was before.
  Seen watch(const std::function<bool()>& session, long fail_at = 0) {
    put_back_before();
    const std::string file = scratch_.path() + "/seen";
    const int code = chg::in_child([&] {
      g_rec = Record{};
      g_rec.table = ident_of_path(table_);
      g_rec.dir = ident_of_path(dir_);
      g_calls = 0;
      g_fail_at = fail_at;
      g_reported.clear();
      c_pusherr(keep_report);
      vos::osio::replace(kRecording);
      const bool ok = session();
      vos::osio::replace(host());
      std::set<long long> blocks;
      g_rec.synced = g_rec.journal;
      synced_blocks(blocks);
      std::ostringstream out;
      out << ok << " " << g_calls << " " << g_rec.syncs << " " << g_rec.journal_syncs << " " << blocks.size()
          << " " << g_rec.table_bytes << " " << g_rec.batches.size();
      for (long long b : g_rec.batches) out << " " << b;
      long rewritten = 0;
      for (const auto& [b, times] : g_rec.writes) rewritten += times > 1;
      out << " " << rewritten;
      out << "\n" << g_rec.violations;
      chg::spill(file + ".messages", g_reported);
      chg::spill(file, out.str());
      return 0;
    });
    Seen s;
    EXPECT_EQ(code, 0);
    std::istringstream in(chg::slurp(file));
    std::size_t nbatches = 0;
    in >> s.ok >> s.calls >> s.syncs >> s.journal_syncs >> s.records >> s.table_bytes >> nbatches;
    s.batches.resize(nbatches);
    for (auto& b : s.batches) in >> b;
    in >> s.rewritten;
    in.ignore(1);
    std::ostringstream rest;
    rest << in.rdbuf();
    s.violations = rest.str();
    s.messages = chg::slurp(file + ".messages");
    return s;
  }
};


// Every byte the session changes of the table's original size reaches the
// table only after its journal record was synced; a session that fits in
// the cache syncs at most four times, one larger than the cache once per
// batch that fills it.
TEST_P(Order, NoByteOfTheTableChangesBeforeItsRecordIsSynced) {
  if (session_ == chg::Session::kCreate) GTEST_SKIP() << "a new table has no journal";
  const Seen s = watch([&] { return run_session(); });
  ASSERT_TRUE(s.ok) << s.messages;
  EXPECT_EQ(chg::slurp(table_), after_);
  EXPECT_EQ(s.violations, "");
  EXPECT_GT(s.records, 0);
  if (session_ == chg::Session::kChange) {
    EXPECT_LE(s.syncs, 4);
    EXPECT_EQ(s.journal_syncs, 1);
  } else {
    std::string sizes;
    for (long long b : s.batches) sizes += " " + std::to_string(b);
    EXPECT_GE(s.batches.size(), 3u) << "the session is larger than the cache";
    // Every batch but the last (which the record leaves out) fills the
    // cache: none is written back early.
    for (std::size_t i = 0; i < s.batches.size(); ++i)
      EXPECT_GE(s.batches[i], chg::kSpillCache - kBlock) << "batch " << i << " of" << sizes;
    EXPECT_EQ(s.syncs, s.journal_syncs + 3) << "batches:" << sizes;
    // Blocks written back were changed again (a text table is written
    // once, at close).
    if (store_->type != 13) {
      EXPECT_GT(s.rewritten, 0);
    }
  }
}

// One cell changed: the journal synced once with one record, and one block
// of the table written; the blocks around it (a FITS header among them,
// which CFITSIO writes again unchanged) are left alone.
TEST_P(Order, OneCellChangesOneBlockWithFourSyncs) {
  if (session_ != chg::Session::kChange) GTEST_SKIP() << "one session per storage type";
  const Seen s = watch([&] { return change_one_cell(table_); });
  ASSERT_TRUE(s.ok) << s.messages;
  EXPECT_EQ(s.violations, "");
  EXPECT_LE(s.syncs, 4);
  EXPECT_EQ(s.records, 1);
  EXPECT_LE(s.table_bytes, kBlock);
  const std::string now = chg::slurp(table_);
  ASSERT_EQ(now.size(), before_.size());
  long long first = -1, last = -1;
  for (std::size_t i = 0; i < now.size(); ++i)
    if (now[i] != before_[i]) {
      if (first < 0) first = static_cast<long long>(i);
      last = static_cast<long long>(i);
    }
  ASSERT_GE(first, 0) << "the cell changed";
  EXPECT_EQ(first / kBlock, last / kBlock) << "the change lies in one block";
}

// The k-th call of the file layer's seam fails, for each k: the session
// reports the failure, and the next open finds the old table (or the new
// one when only the end of the commit failed), nothing beside it.
TEST_P(Order, AFailedCallFailsTheSessionAndLeavesTheOldOrTheNewTable) {
  const Seen clean = watch([&] { return run_session(); });
  ASSERT_TRUE(clean.ok) << clean.messages;
  ASSERT_GT(clean.calls, 3);
  for (long k = 1; k <= clean.calls; ++k) {
    const std::string when = "call " + std::to_string(k) + " of " + std::to_string(clean.calls) + " failed";
    const Seen s = watch([&] { return run_session(); }, k);
    EXPECT_FALSE(s.ok) << when;
    EXPECT_NE(s.messages, "") << when;
    EXPECT_EQ(s.violations, "") << when;
    // A change's reason is told (a FITS table's own writes on the way are
    // told as CFITSIO tells them).
    if (session_ == chg::Session::kChange || (session_ == chg::Session::kSpill && !chg::is_fits(*store_))) {
      EXPECT_NE(s.messages.find(std::strerror(kFailWith)), std::string::npos) << when << ": " << s.messages;
    }
    expect_old_or_new(when);
  }
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Order, chg::all_sessions(), chg::session_name);

}  // namespace
