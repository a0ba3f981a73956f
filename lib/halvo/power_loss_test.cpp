// The power lost in the middle of a change session, for every storage type.
//
// In a child process the file layer's calls go through recorders that pass
// them on but keep what each one would lose on a power failure: for every
// write and cut of a file, the bytes and size it replaced (a per-file undo
// log, cleared when the file is synced); for every creation, link and
// removal of a directory entry, how to undo it (cleared when the directory
// is synced).  At the k-th sync of the session (each k in turn) the power
// "goes": every file's unsynced writes are undone, and then a chosen part of
// them (none, all, or a seeded random choice of 512-byte sectors) is put
// back in order, as a disk that wrote some of its cache would have; the unsynced directory
// changes are undone after a seeded prefix of them (a journaling file
// system keeps them in order).  The child then dies, and the next open
// through the library must find the old or the new table, and nothing
// beside it.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <random>

#include "change_testutil.h"
#include "vos/osio.h"

namespace {

const vos::osio::Ops& host() { return vos::osio::host_ops(); }

// One unsynced change of a file's bytes or size.
struct Change {
  off_t at;  // first byte written, or the size cut to
  std::string old_bytes, new_bytes;
  off_t old_size, new_size;
  bool cut;
};

// A file's unsynced changes, with a descriptor kept to reach it later.
struct FileLog {
  int fd = -1;
  std::vector<Change> changes;
};

// One unsynced change of a directory's entries.
struct DirChange {
  bool created;  // else removed
  std::string path, stash;  // a removed file is kept alive under `stash`
  dev_t dir_dev;
  ino_t dir_ino;
};

std::map<std::pair<dev_t, ino_t>, FileLog> g_files;
std::vector<DirChange> g_dir_changes;
std::string g_stash_dir;
long g_syncs = 0;
long g_lose_at = 0;  // the sync at which the power goes; 0: never
enum class Keep { kNone, kAll, kSome } g_keep = Keep::kNone;
unsigned g_seed = 0;
constexpr int kLost = 42;
constexpr off_t kSector = 512;  // the child's exit code after the power went

// The log of the regular file open on `fd`; nullptr for anything else.
FileLog* log_of(int fd, struct stat& st) {
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  FileLog& log = g_files[{st.st_dev, st.st_ino}];
  if (log.fd < 0) log.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 100);
  return &log;
}

std::string read_at(int fd, off_t at, off_t n) {
  std::string b(static_cast<std::size_t>(std::max<off_t>(n, 0)), '\0');
  const ssize_t k = b.empty() ? 0 : ::pread(fd, b.data(), b.size(), at);
  b.resize(k > 0 ? static_cast<std::size_t>(k) : 0);
  return b;
}

// Passes on a write of n bytes at `at` (`do_write` makes it), first keeping
// what it replaces.
template <class Write>
ssize_t recorded_write(int fd, const void* buf, size_t n, off_t at, Write do_write) {
  struct stat st;
  FileLog* log = log_of(fd, st);
  std::string old_bytes =
      log != nullptr ? read_at(log->fd, at, std::min<off_t>(static_cast<off_t>(n), st.st_size - at)) : "";
  const ssize_t k = do_write();
  if (log == nullptr || k <= 0) return k;
  old_bytes.resize(std::min<std::size_t>(old_bytes.size(), static_cast<std::size_t>(k)));
  log->changes.push_back({at, std::move(old_bytes),
                          std::string(static_cast<const char*>(buf), static_cast<std::size_t>(k)), st.st_size,
                          std::max<off_t>(st.st_size, at + k), false});
  return k;
}

std::pair<dev_t, ino_t> dir_key(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  struct stat st{};
  ::stat(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(), &st);
  return {st.st_dev, st.st_ino};
}

void record_entry(bool created, const std::string& path, const std::string& stash) {
  const auto key = dir_key(path);
  g_dir_changes.push_back({created, path, stash, key.first, key.second});
}

// The disk after the power went: see the top of the file.
void lose_power() {
  std::mt19937 rng(g_seed);
  for (auto& [key, log] : g_files) {
    for (auto c = log.changes.rbegin(); c != log.changes.rend(); ++c) {
      if (host().ftruncate(log.fd, c->old_size) != 0) ::_exit(3);
      const off_t at = c->cut ? c->new_size : c->at;
      if (!c->old_bytes.empty() && host().pwrite(log.fd, c->old_bytes.data(), c->old_bytes.size(), at) < 0)
        ::_exit(3);
    }
    // A write reaches the disk by sectors, any of them or none.
    auto keep = [&] { return g_keep == Keep::kAll || (g_keep == Keep::kSome && rng() % 2 == 0); };
    for (const Change& c : log.changes) {
      if (c.cut) {
        if (keep() && host().ftruncate(log.fd, c.new_size) != 0) ::_exit(3);
        continue;
      }
      for (off_t at = c.at; at < c.at + static_cast<off_t>(c.new_bytes.size());) {
        const off_t end = std::min<off_t>((at / kSector + 1) * kSector, c.at + static_cast<off_t>(c.new_bytes.size()));
        if (keep() && host().pwrite(log.fd, c.new_bytes.data() + (at - c.at), static_cast<size_t>(end - at), at) < 0)
          ::_exit(3);
        at = end;
      }
    }
  }
  std::size_t kept = g_keep == Keep::kAll ? g_dir_changes.size() : 0;
  if (g_keep == Keep::kSome) kept = rng() % (g_dir_changes.size() + 1);
  for (std::size_t i = g_dir_changes.size(); i > kept; --i) {
    const DirChange& d = g_dir_changes[i - 1];
    if (d.created) ::unlink(d.path.c_str());
    else ::link(d.stash.c_str(), d.path.c_str());
  }
  ::_exit(kLost);
}

const vos::osio::Ops kRecording{
    [](int fd, const void* b, size_t n, off_t at) {
      return recorded_write(fd, b, n, at, [&] { return host().pwrite(fd, b, n, at); });
    },
    [](int fd, const void* b, size_t n) {
      struct stat st{};
      ::fstat(fd, &st);
      const off_t at = (::fcntl(fd, F_GETFL) & O_APPEND) ? st.st_size : ::lseek(fd, 0, SEEK_CUR);
      return recorded_write(fd, b, n, at, [&] { return host().write(fd, b, n); });
    },
    [](int fd, off_t size) {
      struct stat st;
      FileLog* log = log_of(fd, st);
      std::string cut_off = log != nullptr ? read_at(log->fd, size, st.st_size - size) : "";
      const int r = host().ftruncate(fd, size);
      if (log != nullptr && r == 0) log->changes.push_back({size, std::move(cut_off), "", st.st_size, size, true});
      return r;
    },
    [](int fd) {
      if (++g_syncs == g_lose_at) lose_power();
      const int r = host().fsync(fd);
      struct stat st;
      if (r == 0 && ::fstat(fd, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
          std::erase_if(g_dir_changes, [&](const DirChange& d) {
            return d.dir_dev == st.st_dev && d.dir_ino == st.st_ino;
          });
        } else if (auto it = g_files.find({st.st_dev, st.st_ino}); it != g_files.end()) {
          it->second.changes.clear();
        }
      }
      return r;
    },
    [](const char* p, int flags, mode_t mode) {
      const bool was = ::access(p, F_OK) == 0;
      const int fd = host().open(p, flags, mode);
      if (fd >= 0 && (flags & O_CREAT) && (flags & O_TMPFILE) != O_TMPFILE && !was) record_entry(true, p, "");
      return fd;
    },
    [](const char* p) {
      static long serial = 0;
      const std::string stash = g_stash_dir + "/kept" + std::to_string(++serial);
      const bool stashed = ::link(p, stash.c_str()) == 0;
      const int r = host().unlink(p);
      if (r == 0 && stashed) record_entry(false, p, stash);
      return r;
    },
    [](const char* from, const char* to) {
      const int r = host().link(from, to);
      if (r == 0) record_entry(true, to, "");
      return r;
    },
    nullptr,  // gathered writes go through the pwrite above
};

class PowerLoss : public chg::SessionTest {};

TEST_P(PowerLoss, AtEachSyncWhateverPartOfTheUnsyncedWritesReachedTheDisk) {
  g_stash_dir = scratch_.path() + "/stash";
  ::mkdir(g_stash_dir.c_str(), 0700);
  const long syncs = count_in_child(kRecording, g_syncs);
  ASSERT_GT(syncs, 1) << "the session succeeds and syncs what it writes";
  ASSERT_EQ(chg::slurp(table_), after_) << "the recorders change nothing";

  struct Choice {
    Keep keep;
    unsigned seed;
  };
  const Choice choices[] = {{Keep::kNone, 0}, {Keep::kAll, 0}, {Keep::kSome, 1}, {Keep::kSome, 2},
                            {Keep::kSome, 3}, {Keep::kSome, 4}};
  // k = syncs + 1: the power goes after the session has ended; its change
  // must stay.
  for (long k = 1; k <= syncs + 1; ++k) {
    for (const Choice& choice : choices) {
      put_back_before();
      const int code = chg::in_child([&] {
        g_lose_at = k;
        g_keep = choice.keep;
        g_seed = choice.seed * 7919u + static_cast<unsigned>(k);
        vos::osio::replace(kRecording);
        run_session();
        lose_power();
        return 0;
      });
      const std::string when = "power lost at sync " + std::to_string(k) + " of " + std::to_string(syncs) +
                               ", keeping " + (choice.keep == Keep::kNone ? "nothing"
                                               : choice.keep == Keep::kAll ? "everything"
                                                                           : "part " + std::to_string(choice.seed));
      ASSERT_EQ(code, kLost) << when;
      expect_old_or_new(when, k > syncs);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllStorages, PowerLoss, chg::all_sessions(), chg::session_name);

}  // namespace
