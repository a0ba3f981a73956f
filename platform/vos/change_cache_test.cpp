// Changes in place through a cache smaller than the change: scattered
// writes, reads, cuts and extensions against a model of the file, the file
// on disk untouched by a change given up, and the cache's bound.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "frames.h"
#include "journal_check_test.h"
#include "platform/clock.h"
#include "scratch_files_test.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

using vos_test::slurp;

// The cache set to `bytes` for the sessions a test opens, and the default
// again after it.
class ChangeCache : public vos_test::ScratchFiles {
 protected:
  void TearDown() override {
    vos::set_change_cache(0);
    ScratchFiles::TearDown();
  }

  // A file of `n` bytes of a seeded pattern.
  std::string make(const std::string& p, std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 251 + 1);
    std::ofstream(p, std::ios::binary) << bytes;
    return bytes;
  }
};

// Runs `steps` random steps on the change session `fd` and the model `m`
// of its bytes: writes (small, and now and then larger than a window of
// the file layer) at random places up to a little past the end, reads
// checked against the model, cuts and extensions, and the size checked
// after every step.
void random_steps(int fd, std::string& m, std::mt19937& rng, int steps) {
  auto pick = [&](std::size_t lo, std::size_t hi) { return std::uniform_int_distribution<std::size_t>(lo, hi)(rng); };
  for (int i = 0; i < steps; ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const std::size_t at = pick(0, m.size() + 9000);
    const std::size_t n = pick(0, 12) == 0 ? pick(70000, 140000) : pick(1, 5000);
    switch (pick(0, 9)) {
      case 0: case 1: case 2: case 3: {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(pick(0, 3) == 0 ? 0 : pick(1, 255));
        vos::seek(fd, static_cast<long>(at) + 1);
        vos::write(fd, s.data(), static_cast<long>(n));
        if (at > m.size()) m.resize(at, '\0');
        m.replace(at, std::min(n, m.size() - at), s);
        break;
      }
      case 4: case 5: case 6: {
        std::string got(n, '\0');
        const std::string want = at < m.size() ? m.substr(at, n) : "";
        vos::seek(fd, static_cast<long>(at) + 1);
        const long k = vos::read(fd, got.data(), static_cast<long>(n));
        ASSERT_EQ(k, want.empty() ? vos::EOF_ : static_cast<long>(want.size()));
        ASSERT_EQ(got.substr(0, want.size()), want);
        break;
      }
      case 7: case 8: {  // a cut somewhere, or an extension
        const std::size_t size = pick(0, 3) == 0 ? m.size() + pick(1, 9000) : pick(0, m.size());
        vos::truncate_open(fd, static_cast<long long>(size));
        m.resize(size, '\0');
        break;
      }
      default:
        vos::flush(fd);
        break;
    }
    ASSERT_EQ(vos::fstati(fd, vos::F_FILESIZE), static_cast<long>(m.size()));
  }
}

// The session sees its own bytes and size through a cache of two blocks;
// the file gets them whole at close, and keeps its old bytes when the
// session is given up.
TEST_F(ChangeCache, ScatteredChangesThroughASmallCacheMatchAModelOfTheFile) {
  const std::string p = path("c.dat");
  for (long long cache : {8192LL, 1LL << 20}) {
    SCOPED_TRACE("cache " + std::to_string(cache));
    for (unsigned seed : {1u, 2u, 3u}) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      const std::string before = make(p, 300000, seed);
      vos::set_change_cache(cache);
      std::mt19937 rng(seed);
      std::string m = before;
      int fd = vos::open_change(p, vos::TEXT_FILE);
      random_steps(fd, m, rng, 300);
      vos::close(fd);
      ASSERT_EQ(slurp(p), m);
      EXPECT_FALSE(vos::has_journal(p));

      const std::string kept = m;
      fd = vos::open_change(p, vos::TEXT_FILE);
      random_steps(fd, m, rng, 300);
      vos::abandon(fd);
      ASSERT_EQ(slurp(p), kept);
      EXPECT_FALSE(vos::has_journal(p));
    }
  }
}

long g_pwrites = 0;
long long g_written = 0;
long g_syncs = 0;

// A change larger than the cache is written back in batches of the
// cache's size, each after one sync of the journal, in large writes; one
// that fits is written once at close.  Bytes that do not change are not
// written.
TEST_F(ChangeCache, ChangesAreWrittenBackInBatchesOfTheCachesSize) {
  const std::string p = path("b.dat");
  const std::string before = make(p, 1 << 20, 7);
  vos::osio::Ops ops = vos::osio::host_ops();
  ops.pwrite = [](int fd, const void* b, size_t n, off_t at) {
    ++g_pwrites;
    g_written += static_cast<long long>(n);
    return vos::osio::host_ops().pwrite(fd, b, n, at);
  };
  ops.fsync = [](int fd) {
    ++g_syncs;
    return vos::osio::host_ops().fsync(fd);
  };
  const vos::osio::Ops old = vos::osio::replace(ops);
  struct Case {
    long long cache;
    long syncs;  // the most syncs
  } cases[] = {{64 * 1024, 4 + 16}, {32LL << 20, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE("cache " + std::to_string(c.cache));
    std::ofstream(p, std::ios::binary) << before;
    vos::set_change_cache(c.cache);
    g_pwrites = g_syncs = 0;
    g_written = 0;
    const int fd = vos::open_change(p, vos::BINARY_FILE);
    std::string m = before;
    // Every fourth byte of the file changed, 1 byte at a time, with
    // unchanged bytes written between; then the first half written again
    // unchanged.
    for (std::size_t at = 0; at < m.size(); at += 4) {
      m[at] = static_cast<char>(~m[at]);
      vos::seek(fd, static_cast<long>(at / 2) + 1);
      vos::write(fd, m.data() + at, 2);
    }
    vos::seek(fd, 1);
    vos::write(fd, m.data(), static_cast<long>(m.size() / 4));
    vos::close(fd);
    EXPECT_EQ(slurp(p), m);
    EXPECT_LE(g_syncs, c.syncs);
    // The file's megabyte and as much journal, in writes of many blocks.
    EXPECT_LE(g_written, 2 * (1LL << 20) + 64 * 1024);
    EXPECT_LE(g_pwrites, 80);
  }
  vos::osio::replace(old);

  // Nothing changed, nothing written.
  g_pwrites = g_syncs = 0;
  vos::osio::replace(ops);
  const int fd = vos::open_change(p, vos::BINARY_FILE);
  const std::string same = slurp(p);
  vos::write(fd, same.data(), static_cast<long>(same.size() / 2));
  vos::close(fd);
  vos::osio::replace(old);
  EXPECT_EQ(g_pwrites, 0);
  EXPECT_EQ(g_syncs, 0);
  EXPECT_EQ(slurp(p), same);
}

// The writes a seam over pwrite alone saw, by file.
struct Seen {
  ino_t ino;
  off_t at;
  std::string bytes;
};
std::vector<Seen> g_seen;

// A test that puts its own pwrite between the file layer and the disk
// sees every byte the cache writes back, also in runs of many blocks
// gathered from the cache's frames: played on the file's old bytes, its
// writes give the file the change made.
TEST_F(ChangeCache, ASeamOverPwriteSeesTheGatheredWriteBack) {
  const std::string p = path("g.dat");
  const std::string before = make(p, 3 << 20, 5);
  struct stat st{};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  vos::osio::Ops ops = vos::osio::host_ops();
  ops.pwrite = [](int fd, const void* b, size_t n, off_t at) {
    struct stat fs{};
    ::fstat(fd, &fs);
    g_seen.push_back({fs.st_ino, at, std::string(static_cast<const char*>(b), n)});
    return vos::osio::host_ops().pwrite(fd, b, n, at);
  };
  const vos::osio::Ops old = vos::osio::replace(ops);
  g_seen.clear();
  vos::set_change_cache(1 << 20);  // three batches at least
  std::string m = before;
  const int fd = vos::open_change(p, vos::BINARY_FILE);
  // Runs of adjacent blocks with gaps between, and the last bytes (2-byte
  // units: the file's size is even).
  for (std::size_t at = 4096 * 10; at < m.size() - 100; at += (at / 4096) % 97 == 0 ? 4096 * 3 : 4096 / 2) {
    m[at] = static_cast<char>(~m[at]);
    vos::seek(fd, static_cast<long>(at / 2) + 1);
    vos::write(fd, m.data() + at, 1);
  }
  m.back() = static_cast<char>(~m.back());
  vos::seek(fd, static_cast<long>(m.size() / 2));
  vos::write(fd, m.data() + m.size() - 2, 1);
  vos::close(fd);
  vos::osio::replace(old);
  ASSERT_EQ(slurp(p), m);
  std::string played = before;
  std::size_t writes = 0;
  for (const Seen& w : g_seen) {
    if (w.ino != st.st_ino) continue;
    ++writes;
    ASSERT_LE(static_cast<std::size_t>(w.at) + w.bytes.size(), played.size());
    played.replace(static_cast<std::size_t>(w.at), w.bytes.size(), w.bytes);
  }
  EXPECT_TRUE(played == m) << "the seam missed bytes written to the file";
  EXPECT_LE(writes, 40u) << "the blocks were written one at a time";
}

std::uint64_t be_at(const std::string& b, std::size_t at, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
  return v;
}

// A writer killed as it removes its journal, after several batches: the
// journal holds, as its layout is documented, the original bytes of every
// block the change wrote and only those, each once; the next open puts
// them back.
TEST_F(ChangeCache, AJournalLeftBehindHoldsTheOriginalBlocksAsDocumented) {
  const std::string p = path("j.dat");
  const std::string before = make(p, 300000, 11);
  std::string m = before;
  const std::size_t changed[] = {5, 4096, 4097, 70000, 299999, 150000, 4100, 123456};
  for (std::size_t at : changed) m[at] = static_cast<char>(~m[at]);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    vos::set_change_cache(8192);
    vos::osio::Ops ops = vos::osio::host_ops();
    ops.unlink = [](const char*) -> int { ::raise(SIGKILL); return -1; };
    vos::osio::replace(ops);
    const int fd = vos::open_change(p, vos::TEXT_FILE);
    for (std::size_t at : changed) {
      vos::seek(fd, static_cast<long>(at) + 1);
      vos::write(fd, m.data() + at, 1);
    }
    vos::close(fd);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ASSERT_EQ(slurp(p), m) << "the change was written before the journal went";

  const std::string j = slurp(p + "-journal");
  ASSERT_GE(j.size(), 72u);
  EXPECT_EQ(j.substr(0, 8), "qrljrnl2");
  EXPECT_EQ(be_at(j, 8, 4), 4096u);
  EXPECT_EQ(be_at(j, 16, 8), before.size());
  const std::uint64_t nonce = be_at(j, 24, 8);
  std::map<std::uint64_t, int> saved;
  EXPECT_EQ(be_at(j, 64, 8), vos_test::documented_check(nonce, j.substr(0, 64))) << "header";
  for (std::size_t at = 72; at < j.size();) {
    ASSERT_LE(at + 12, j.size());
    const std::uint64_t off = be_at(j, at, 8), len = be_at(j, at + 8, 4);
    ASSERT_LE(at + 12 + len + 8, j.size());
    EXPECT_EQ(be_at(j, at + 12 + len, 8), vos_test::documented_check(nonce, j.substr(at, 12 + len))) << "record at " << off;
    EXPECT_EQ(off % 4096, 0u);
    EXPECT_EQ(len, std::min<std::uint64_t>(4096, before.size() - off));
    EXPECT_EQ(j.substr(at + 12, len), before.substr(off, len)) << "record at " << off;
    ++saved[off];
    at += 12 + len + 8;
  }
  std::map<std::uint64_t, int> want;
  for (std::size_t at : changed) want[at / 4096 * 4096] = 1;
  EXPECT_EQ(saved, want);
  vos::recover(p);
  EXPECT_EQ(slurp(p), before);
  EXPECT_FALSE(vos::has_journal(p));
}

// The descriptors of this process open on journals whose names are gone.
int removed_journals_open() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (const dirent* e = ::readdir(d)) {
      char buf[4096];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t k = ::readlink(link.c_str(), buf, sizeof buf - 1);
      const std::string to(buf, k > 0 ? static_cast<std::size_t>(k) : 0);
      if (to.find("-journal (deleted)") != std::string::npos) ++n;
    }
    ::closedir(d);
  }
  return n;
}

// True once no removed journal is open here, waiting up to `seconds`
// (scaled).
bool removed_journals_close(double seconds) {
  const std::int64_t until = platform::plat_now_ms() + platform::plat_timeout_ms(seconds);
  while (removed_journals_open() > 0) {
    if (platform::plat_now_ms() >= until) return false;
    platform::plat_sleep(0.05);
  }
  return true;
}

// Changes of two bytes of `p` (to `mark` and a count), each in a session
// of its own.
void small_sessions(const std::string& p, int n, char mark) {
  for (int i = 0; i < n; ++i) {
    const int fd = vos::open_change(p, vos::BINARY_FILE);
    const char two[2] = {mark, static_cast<char>(i)};
    vos::seek(fd, 1 + i % 1000);
    vos::write(fd, two, 1);
    vos::close(fd);
  }
}

// The journals removed as their changes end are closed soon after (off
// the caller's way), also in a child forked while some wait to be: none
// stays open.
TEST_F(ChangeCache, RemovedJournalsAreClosedSoonAfterAlsoInAForkedChild) {
  const std::string p = path("r.dat");
  make(p, 100000, 3);
  small_sessions(p, 40, 'a');
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    small_sessions(p, 40, 'b');
    ::_exit(removed_journals_close(60) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child kept removed journals open";
  EXPECT_TRUE(removed_journals_close(60)) << removed_journals_open() << " removed journals still open";
  EXPECT_FALSE(vos::has_journal(p));
}

// The frames of a cache go back to the process's pool when its change
// ends, kept or given up, and then the pool keeps at most the bound; two
// changes open at once hold a bound each.
TEST_F(ChangeCache, FramesGoBackWhenAChangeEndsAndThePoolKeepsTheBound) {
  const std::string p = path("f.dat"), q = path("g.dat");
  const std::string before = make(p, 3 << 20, 8);
  make(q, 3 << 20, 9);
  const long long bound = 1 << 20;
  const std::size_t bound_frames = static_cast<std::size_t>(bound) / vos::fio::frames::kFrame;
  vos::set_change_cache(bound);
  std::string m = before;
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "kept" : "given up");
    std::string was = m;
    for (char& c : m) c = static_cast<char>(c ^ 0x5a);
    const int a = vos::open_change(p, vos::BINARY_FILE);
    const int b = vos::open_change(q, vos::BINARY_FILE);
    vos::write(a, m.data(), static_cast<long>(m.size() / 2));
    vos::write(b, m.data(), static_cast<long>(m.size() / 2));
    EXPECT_GE(vos::fio::frames::out(), 2 * bound_frames - 2);
    EXPECT_LE(vos::fio::frames::held(), 2 * bound_frames + vos::fio::frames::kSlabFrames);
    if (keep) {
      vos::close(a);
      vos::close(b);
    } else {
      vos::abandon(a);
      vos::abandon(b);
    }
    EXPECT_EQ(vos::fio::frames::out(), 0u);
    EXPECT_LE(vos::fio::frames::held(), std::max(bound_frames, vos::fio::frames::kSlabFrames));
    EXPECT_GE(vos::fio::frames::held(), bound_frames) << "the pool keeps the bound for the next change";
    if (!keep) m = was;
    EXPECT_EQ(slurp(p), m);
  }
}

TEST_F(ChangeCache, TheBoundIsAtLeastOneBlockAndZeroGivesTheDefault) {
  const long long first = vos::set_change_cache(1);
  EXPECT_EQ(first, 32LL << 20);
  EXPECT_EQ(vos::set_change_cache(0), 4096);
  EXPECT_EQ(vos::set_change_cache(100000), 32LL << 20);
  EXPECT_EQ(vos::set_change_cache(-5), 100000);
}

}  // namespace
