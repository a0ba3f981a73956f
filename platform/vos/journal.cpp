// The rollback journal of a file changed in place.
#include "journal.h"

#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <signal.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>

#include "vos/osio.h"

namespace vos::fio {
namespace {

constexpr char kMagic[8] = {'q', 'r', 'l', 'j', 'r', 'n', 'l', '2'};
constexpr char kOldMagic[8] = {'q', 'r', 'l', 'j', 'r', 'n', 'l', '1'};
constexpr std::size_t kHeader = 72;
constexpr std::size_t kChecked = 64;  // the header's bytes its check covers
constexpr std::size_t kRecordHead = 12;  // offset, length
constexpr std::size_t kCheck = 8;
constexpr long long kMaxBlock = 1 << 24;

void put_be(unsigned char* p, unsigned long long v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    p[i] = static_cast<unsigned char>(v & 0xff);
    v >>= 8;
  }
}

unsigned long long get_be(const unsigned char* p, int bytes) {
  unsigned long long v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// The 8 bytes at `p` as a little-endian number.
unsigned long long load_le(const unsigned char* p) {
  unsigned long long w;
  std::memcpy(&w, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap64(w);
#endif
  return w;
}

// The check of a header or a record: a 64-bit hash of its n bytes, seeded
// with the nonce and the count n.  The whole 8-byte words
// (little-endian) go in turn into four lanes, word k into lane k mod 4;
// the lanes are joined, then the bytes after the last whole word go in one
// at a time and the result is mixed:
//   lane j = nonce ^ 0x9E3779B97F4A7C15 ^ n ^ j
//   word w into a lane h:  h = (h ^ w) * 0xFF51AFD7ED558CCD;  h ^= h >> 32
//   h = lane 0, then lanes 1, 2, 3 go into h as words do
//   per byte b:  h = (h ^ b) * 0x100000001B3
//   h ^= h >> 29;  h *= 0xC4CEB9FE1A85EC53;  h ^= h >> 32
unsigned long long check_of(unsigned long long nonce, const unsigned char* rec, std::size_t n) {
  constexpr unsigned long long kMul = 0xFF51AFD7ED558CCDULL;
  auto mix = [](unsigned long long& h, unsigned long long w) {
    h = (h ^ w) * kMul;
    h ^= h >> 32;
  };
  unsigned long long lane[4];
  for (unsigned j = 0; j < 4; ++j) lane[j] = nonce ^ 0x9E3779B97F4A7C15ULL ^ n ^ j;
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    mix(lane[0], load_le(rec + i));
    mix(lane[1], load_le(rec + i + 8));
    mix(lane[2], load_le(rec + i + 16));
    mix(lane[3], load_le(rec + i + 24));
  }
  for (unsigned j = 0; i + 8 <= n; i += 8, ++j) mix(lane[j], load_le(rec + i));
  unsigned long long h = lane[0];
  for (unsigned j = 1; j < 4; ++j) mix(h, lane[j]);
  for (; i < n; ++i) h = (h ^ rec[i]) * 0x100000001B3ULL;
  h ^= h >> 29;
  h *= 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 32;
  return h;
}

// Moves exactly n bytes at `at` with `step` (pread or pwrite); false when
// the file ends first or the call fails.
template <class Step, class Ptr>
bool transfer_full(Step step, int fd, Ptr p, std::size_t n, long long at) {
  while (n > 0) {
    const ssize_t k = step(fd, p, n, static_cast<off_t>(at));
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
    at += k;
  }
  return true;
}

std::string sys_why(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// What names a file: the header's identity fields.
struct Identity {
  unsigned long long dev = 0, fsid = 0, ino = 0;
  long long birth = 0;  // ns since the epoch; 0 where the file system keeps none
};

bool identity_of(int fd, Identity& id) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  id.dev = static_cast<unsigned long long>(st.st_dev);
  id.ino = static_cast<unsigned long long>(st.st_ino);
  struct statfs fs;
  id.fsid = 0;
  if (::fstatfs(fd, &fs) == 0) {
    unsigned int v[2];
    std::memcpy(v, &fs.f_fsid, sizeof v);
    id.fsid = (static_cast<unsigned long long>(v[0]) << 32) | v[1];
  }
  struct statx sx;
  id.birth = 0;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) != 0)
    id.birth = static_cast<long long>(sx.stx_btime.tv_sec) * 1000000000LL + sx.stx_btime.tv_nsec;
  return true;
}

// The same file: its inode and birth time, on the same device or (a disk
// that came back under another device number) the same file system.
bool same_file(const Identity& a, const Identity& b) {
  return a.ino == b.ino && a.birth == b.birth && (a.dev == b.dev || (a.fsid != 0 && a.fsid == b.fsid));
}

// A whole header's fields.
struct Header {
  long long block = 0, orig = 0;
  unsigned long long nonce = 0;
  Identity id;
};

void encode(const Header& h, unsigned char* head) {
  std::memset(head, 0, kHeader);
  std::memcpy(head, kMagic, 8);
  put_be(head + 8, static_cast<unsigned long long>(h.block), 4);
  put_be(head + 16, static_cast<unsigned long long>(h.orig), 8);
  put_be(head + 24, h.nonce, 8);
  put_be(head + 32, h.id.dev, 8);
  put_be(head + 40, h.id.fsid, 8);
  put_be(head + 48, h.id.ino, 8);
  put_be(head + 56, static_cast<unsigned long long>(h.id.birth), 8);
  put_be(head + kChecked, check_of(h.nonce, head, kChecked), 8);
}

// True when `head` (kHeader bytes) is a whole header: the magic and the
// check.
bool decode(const unsigned char* head, Header& h) {
  if (std::memcmp(head, kMagic, 8) != 0) return false;
  h.nonce = get_be(head + 24, 8);
  if (get_be(head + kChecked, 8) != check_of(h.nonce, head, kChecked)) return false;
  h.block = static_cast<long long>(get_be(head + 8, 4));
  h.orig = static_cast<long long>(get_be(head + 16, 8));
  h.id.dev = get_be(head + 32, 8);
  h.id.fsid = get_be(head + 40, 8);
  h.id.ino = get_be(head + 48, 8);
  h.id.birth = static_cast<long long>(get_be(head + 56, 8));
  return true;
}

// True when the n bytes at the start of a file are what a header its
// writer had not synced can leave: nothing, zeros, or the magic with a
// header that does not check.
bool unfinished_header(const unsigned char* head, std::size_t n) {
  if (std::all_of(head, head + n, [](unsigned char b) { return b == 0; })) return true;
  return std::memcmp(head, kMagic, std::min<std::size_t>(n, 8)) == 0;
}

struct Saved {
  long long at;   // position of the bytes in the journal
  long long off;  // their place in the file
  std::size_t len;
};

// True when the saved ranges cover every byte of [lo, hi).
bool covers(std::vector<Saved> saved, long long lo, long long hi) {
  std::sort(saved.begin(), saved.end(), [](const Saved& a, const Saved& b) { return a.off < b.off; });
  for (const Saved& r : saved) {
    if (lo >= hi) break;
    if (r.off > lo) return false;
    lo = std::max(lo, r.off + static_cast<long long>(r.len));
  }
  return lo >= hi;
}

// True when user `uid` is a member of group `gid` (its own group or one
// that lists it).
bool member_of(uid_t uid, gid_t gid) {
  std::vector<char> buf(16384);
  struct passwd pw, *pwp = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &pwp) != 0 || pwp == nullptr) return false;
  if (pw.pw_gid == gid) return true;
  const std::string user = pw.pw_name;
  struct group gr, *grp = nullptr;
  if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &grp) != 0 || grp == nullptr) return false;
  for (char** m = gr.gr_mem; *m != nullptr; ++m)
    if (user == *m) return true;
  return false;
}

// True when the owner of a journal (stat `js`) may have been the writer of
// the file (stat `st`): its owner, the super-user, or a member of the
// file's group when the group may write it (such a writer gives its
// journal the file's group).
bool trusted_owner(const struct stat& js, const struct stat& st) {
  if (js.st_uid == st.st_uid || js.st_uid == 0) return true;
  return (st.st_mode & S_IWGRP) != 0 && js.st_gid == st.st_gid && member_of(js.st_uid, st.st_gid);
}

// The name of the file at a journal's name, for a message.
std::string at_name(const std::string& jpath) { return "the name of its journal (" + jpath + ")"; }

}  // namespace

bool read_full(int fd, void* buf, std::size_t n, long long at) {
  return transfer_full(::pread, fd, static_cast<char*>(buf), n, at);
}

long long read_upto(int fd, void* buf, std::size_t n, long long at) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t k = ::pread(fd, static_cast<char*>(buf) + got, n - got, static_cast<off_t>(at + static_cast<long long>(got)));
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) return -1;
    if (k == 0) break;
    got += static_cast<std::size_t>(k);
  }
  return static_cast<long long>(got);
}

bool write_full(int fd, const void* buf, std::size_t n, long long at) {
  return transfer_full(osio::pwrite, fd, static_cast<const char*>(buf), n, at);
}

bool write_fullv(int fd, struct iovec* iov, int cnt, long long at) {
  while (cnt > 0) {
    const ssize_t k = osio::pwritev(fd, iov, cnt, static_cast<off_t>(at));
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    at += k;
    // Past the buffers written whole, into the one written in part.
    std::size_t left = static_cast<std::size_t>(k);
    for (; cnt > 0 && left >= iov->iov_len; ++iov, --cnt) left -= iov->iov_len;
    if (cnt > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return true;
}

void start_writing(int fd, long long at, long long n) {
  (void)::sync_file_range(fd, static_cast<off_t>(at), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
}

namespace {

// The thread that closes removed journals (see close_removed()), and the
// descriptors it has yet to close.  `lock` guards the list (callers only
// ever wait for it); the thread holds `closing` for each close it makes.
// A fork copies neither the thread nor what it was doing: the fork takes
// `closing` first, so that no descriptor is half-way out of the list, and
// the child closes its copies of those still listed and makes its own
// thread when it needs one.
struct Closer {
  pthread_mutex_t closing = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t work = PTHREAD_COND_INITIALIZER;
  std::vector<int> fds;
  bool running = false;
};

Closer& closer() {
  static Closer* c = [] {
    auto* made = new Closer;  // never destroyed: its thread may outlive static destruction
    ::pthread_atfork(
        [] {
          ::pthread_mutex_lock(&closer().closing);
          ::pthread_mutex_lock(&closer().lock);
        },
        [] {
          ::pthread_mutex_unlock(&closer().lock);
          ::pthread_mutex_unlock(&closer().closing);
        },
        [] {
          Closer& k = closer();
          for (int fd : k.fds) ::close(fd);
          k.fds.clear();
          k.running = false;
          ::pthread_cond_init(&k.work, nullptr);
          ::pthread_mutex_unlock(&k.lock);
          ::pthread_mutex_unlock(&k.closing);
        });
    return made;
  }();
  return *c;
}

void* close_all(void*) {
  Closer& k = closer();
  for (;;) {
    ::pthread_mutex_lock(&k.lock);
    while (k.fds.empty()) ::pthread_cond_wait(&k.work, &k.lock);
    ::pthread_mutex_unlock(&k.lock);
    // One at a time, out of the list and closed while `closing` is held.
    ::pthread_mutex_lock(&k.closing);
    ::pthread_mutex_lock(&k.lock);
    int fd = -1;
    if (!k.fds.empty()) {
      fd = k.fds.back();
      k.fds.pop_back();
    }
    ::pthread_mutex_unlock(&k.lock);
    if (fd >= 0) ::close(fd);
    ::pthread_mutex_unlock(&k.closing);
  }
  return nullptr;
}

// Starts the closing thread, with every signal blocked: the program's
// signals go to its own threads.
bool start_closer() {
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) return false;
  sigset_t all, old;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  pthread_t t;
  const bool made = ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
                    ::pthread_create(&t, &attr, close_all, nullptr) == 0;
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ::pthread_attr_destroy(&attr);
  return made;
}

}  // namespace

void close_removed(int jfd) {
  Closer& k = closer();
  ::pthread_mutex_lock(&k.lock);
  if (!k.running) k.running = start_closer();
  bool aside = k.running;
  if (aside) {
    try {
      k.fds.push_back(jfd);
    } catch (const std::bad_alloc&) {
      aside = false;
    }
  }
  ::pthread_mutex_unlock(&k.lock);
  if (aside) ::pthread_cond_signal(&k.work);
  else ::close(jfd);
}

std::string journal_path(const std::string& path) { return path + "-journal"; }

std::string dir_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool sync_dir(const std::string& dir) {
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return false;
  const bool ok = osio::fsync(dfd) == 0;
  ::close(dfd);
  return ok;
}

std::string named_journal(int fd) {
  char buf[4096];
  const ssize_t n = ::fgetxattr(fd, kJournalAttr, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

Found examine(const std::string& jpath, int fd, int& jfd, std::string& why) {
  jfd = -1;
  struct stat js, st;
  if (::lstat(jpath.c_str(), &js) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Found::None;
    why = sys_why("cannot look at " + at_name(jpath));
    return Found::Foreign;
  }
  if (::fstat(fd, &st) != 0) {
    why = sys_why("cannot read the file's owner");
    return Found::Foreign;
  }
  if (S_ISLNK(js.st_mode)) {
    why = "a symbolic link is at " + at_name(jpath);
  } else if (!S_ISREG(js.st_mode)) {
    why = "something other than a file is at " + at_name(jpath);
  } else if (js.st_nlink != 1) {
    why = "the file at " + at_name(jpath) + " has " + std::to_string(js.st_nlink) + " names";
  } else if (!trusted_owner(js, st)) {
    why = "the file at " + at_name(jpath) + " belongs to user " + std::to_string(js.st_uid) +
          ", who is neither the file's owner nor the super-user nor of its group";
  }
  if (!why.empty()) return Found::Foreign;
  jfd = ::open(jpath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat now;
  if (jfd < 0 || ::fstat(jfd, &now) != 0 || now.st_dev != js.st_dev || now.st_ino != js.st_ino) {
    why = jfd < 0 ? sys_why("cannot read " + at_name(jpath))
                  : "the file at " + at_name(jpath) + " changed while it was looked at";
    if (jfd >= 0) ::close(jfd);
    jfd = -1;
    return Found::Foreign;
  }
  unsigned char head[kHeader] = {};
  const std::size_t n = static_cast<std::size_t>(std::max(0LL, read_upto(jfd, head, kHeader, 0)));
  Header h;
  Identity id;
  const bool whole = n == kHeader && decode(head, h);
  if (whole && (h.block <= 0 || h.block > kMaxBlock || h.orig < 0)) {
    why = "its journal (" + jpath + ") is damaged";
  } else if (whole && (!identity_of(fd, id) || !same_file(h.id, id))) {
    why = "its journal (" + jpath + ") is the journal of another file";
  } else if (whole) {
    return Found::Ours;
  } else if (unfinished_header(head, n)) {
    return Found::Unfinished;
  } else if (n >= 8 && std::memcmp(head, kOldMagic, 8) == 0) {
    why = "its journal (" + jpath + ") is in the format of an earlier version, which does not name its file";
  } else {
    why = "the file at " + at_name(jpath) + " is not a journal";
  }
  ::close(jfd);
  jfd = -1;
  return Found::Foreign;
}

bool replay(int jfd, int fd, std::string& why) {
  unsigned char head[kHeader];
  Header h;
  if (!read_full(jfd, head, kHeader, 0) || !decode(head, h)) {
    why = "its journal has no header";
    return false;
  }
  const long long block = h.block, orig = h.orig;
  std::vector<unsigned char> rec(kRecordHead + static_cast<std::size_t>(block) + kCheck);
  std::vector<Saved> saved;
  for (long long at = kHeader;;) {
    if (!read_full(jfd, rec.data(), kRecordHead, at)) break;
    const long long off = static_cast<long long>(get_be(rec.data(), 8));
    const std::size_t len = static_cast<std::size_t>(get_be(rec.data() + 8, 4));
    if (len == 0 || static_cast<long long>(len) > block || off < 0 || off > orig - static_cast<long long>(len)) break;
    if (!read_full(jfd, rec.data() + kRecordHead, len + kCheck, at + static_cast<long long>(kRecordHead))) break;
    if (get_be(rec.data() + kRecordHead + len, 8) != check_of(h.nonce, rec.data(), kRecordHead + len)) break;
    saved.push_back({at + static_cast<long long>(kRecordHead), off, len});
    at += static_cast<long long>(kRecordHead + len + kCheck);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    why = sys_why("cannot read the file's size");
    return false;
  }
  if (orig > st.st_size && !covers(saved, st.st_size, orig)) {
    why = "its journal is damaged (it misses bytes the file no longer has)";
    return false;
  }
  // A block the file still holds as it was saved is left as it is: the
  // change had not reached it.
  std::vector<unsigned char> now(static_cast<std::size_t>(block));
  for (const Saved& r : saved) {
    if (!read_full(jfd, rec.data(), r.len, r.at)) {
      why = sys_why("cannot read its journal");
      return false;
    }
    if (read_full(fd, now.data(), r.len, r.off) && std::memcmp(now.data(), rec.data(), r.len) == 0) continue;
    if (!write_full(fd, rec.data(), r.len, r.off)) {
      why = sys_why("cannot write the saved bytes back");
      return false;
    }
  }
  if (osio::ftruncate(fd, static_cast<off_t>(orig)) != 0) {
    why = sys_why("cannot cut the file back to its size");
    return false;
  }
  if (osio::fsync(fd) != 0) {
    why = sys_why("cannot sync the file");
    return false;
  }
  return true;
}

bool remove_journal(const std::string& jpath, int jfd, std::string& why) {
  struct stat js, mine;
  if (::fstat(jfd, &mine) != 0) {
    why = sys_why("cannot read its journal (" + jpath + ")");
    return false;
  }
  if (::lstat(jpath.c_str(), &js) == 0 && (js.st_dev != mine.st_dev || js.st_ino != mine.st_ino)) {
    why = "its journal (" + jpath + ") was replaced by another file, which is left as it is";
    return false;
  }
  if (osio::unlink(jpath.c_str()) != 0 && errno != ENOENT) {
    why = sys_why("cannot remove its journal (" + jpath + ")");
    return false;
  }
  if (!sync_dir(dir_of(jpath))) {
    why = sys_why("cannot sync the directory (" + dir_of(jpath) + ")");
    return false;
  }
  return true;
}

namespace {

// Records are written to the journal in batches of at most this many
// bytes.
constexpr std::size_t kPendingBatch = 256 * 1024;
// The room a large journal takes ahead of its records.
constexpr long long kAllocateAhead = 8LL << 20;

}  // namespace

Journal::Journal(std::string path, int fd, long long size)
    : path_(std::move(path)), jpath_(journal_path(path_)), dir_(dir_of(path_)), fd_(fd),
      orig_(size), saved_(static_cast<std::size_t>((size + kBlock - 1) / kBlock), false) {
  struct stat st;
  if (::fstat(fd_, &st) == 0) key_ = lock::key_of(st);
  // The nonce tells this journal's records from bytes an earlier one
  // left: a fresh one each time (the clock alone where the system gives
  // no random bytes).
  unsigned long long r = 0;
  if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) r = 0;
  nonce_ = r ^ static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
}

Journal::~Journal() {
  if (jfd_ >= 0) ::close(jfd_);
  if (exclusive_) lock::drop_exclusive(fd_, key_);
}

bool Journal::still_ours() {
  struct stat js, mine;
  return ::fstat(jfd_, &mine) == 0 && ::lstat(jpath_.c_str(), &js) == 0 && js.st_dev == mine.st_dev &&
         js.st_ino == mine.st_ino;
}

bool Journal::start() {
  if (begin()) return true;
  // Nothing of the file was touched: the journal made here goes again
  // (only that one).
  if (jfd_ >= 0) {
    if (still_ours()) osio::unlink(jpath_.c_str());
    ::close(jfd_);
    jfd_ = -1;
  }
  return false;
}

bool Journal::begin() {
  struct stat st;
  Header h;
  if (::fstat(fd_, &st) != 0 || !identity_of(fd_, h.id)) {
    why_ = sys_why("cannot read the file's owner");
    return false;
  }
  // Made here and nowhere else: never through a link, never over a file
  // that is there already.
  jfd_ = osio::open(jpath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (jfd_ < 0) {
    why_ = errno == EEXIST ? "a file is already at the name of its journal (" + jpath_ + ")"
                           : sys_why("cannot make its journal in the directory (" + dir_ + ")");
    return false;
  }
  // The journal holds the file's bytes: only its owner reads it (whatever
  // a default access list of the directory would give), and the file's
  // owner owns it, so that the owner can roll it back.  When the owner
  // cannot be given (not the super-user), the journal stays the writer's,
  // in the file's group when the writer is of it.
  (void)::fchmod(jfd_, 0600);
  (void)::fchown(jfd_, ::geteuid() == 0 ? st.st_uid : static_cast<uid_t>(-1), st.st_gid);
  h.block = kBlock;
  h.orig = orig_;
  h.nonce = nonce_;
  unsigned char head[kHeader];
  encode(h, head);
  if (!write_full(jfd_, head, kHeader, 0)) {
    why_ = sys_why("cannot write its journal (" + jpath_ + ")");
    return false;
  }
  jsize_ = kHeader;
  unsynced_ = true;  // synced with the first records (before_table_write)
  return true;
}

bool Journal::write_pending() {
  if (npending_ == 0) return true;
  if (jfd_ < 0 && !start()) return false;
  const bool large = npending_ >= kPendingBatch / 2;
  const long long end = jsize_ + static_cast<long long>(npending_);
  if (large && end > allocated_) {
    // A large journal grows into room taken ahead in large steps, not a
    // block at a time as it is written (where the file system can).
    allocated_ = end + kAllocateAhead;
    (void)::fallocate(jfd_, FALLOC_FL_KEEP_SIZE, jsize_, allocated_ - jsize_);
  }
  if (!write_full(jfd_, pending_.get(), npending_, jsize_)) {
    why_ = sys_why("cannot write its journal (" + jpath_ + ")");
    return false;
  }
  // A full batch goes to the disk while the change goes on.
  if (large) start_writing(jfd_, jsize_, static_cast<long long>(npending_));
  jsize_ += static_cast<long long>(npending_);
  unsynced_ = true;
  npending_ = 0;
  return true;
}

bool Journal::save(long long b, const unsigned char* bytes) {
  if (!needs_saving(b)) return true;
  const long long off = b * kBlock;
  const std::size_t len = static_cast<std::size_t>(std::min(kBlock, orig_ - off));
  const std::size_t need = kRecordHead + len + kCheck;
  if (npending_ + need > kPendingBatch && !write_pending()) return false;
  if (npending_ + need > pending_cap_) {
    // Room for a few records at first, more as the change grows.
    const std::size_t cap = std::min(kPendingBatch, std::max(2 * pending_cap_, 2 * need));
    std::unique_ptr<unsigned char[]> grown(new unsigned char[cap]);
    if (npending_ > 0) std::memcpy(grown.get(), pending_.get(), npending_);
    pending_ = std::move(grown);
    pending_cap_ = cap;
  }
  unsigned char* rec = pending_.get() + npending_;
  npending_ += kRecordHead + len + kCheck;
  put_be(rec, static_cast<unsigned long long>(off), 8);
  put_be(rec + 8, len, 4);
  std::memcpy(rec + kRecordHead, bytes, len);
  put_be(rec + kRecordHead + len, check_of(nonce_, rec, kRecordHead + len), 8);
  saved_[static_cast<std::size_t>(b)] = true;
  return true;
}

bool Journal::save_from(long long at) {
  std::vector<unsigned char> block(static_cast<std::size_t>(kBlock));
  for (long long b = std::max(at, 0LL) / kBlock; b * kBlock < orig_; ++b) {
    if (!needs_saving(b)) continue;
    const long long off = b * kBlock;
    const std::size_t len = static_cast<std::size_t>(std::min(kBlock, orig_ - off));
    // A file shorter than at the start (cut by someone else): what is gone
    // reads as zeros.
    std::fill(block.begin(), block.end(), 0);
    (void)read_full(fd_, block.data(), len, off);
    if (!save(b, block.data())) return false;
  }
  return true;
}

bool Journal::before_table_write() {
  if (jfd_ < 0 && !start()) return false;
  if (!write_pending()) return false;
  if (unsynced_) {
    if (osio::fsync(jfd_) != 0) {
      why_ = sys_why("cannot sync its journal (" + jpath_ + ")");
      return false;
    }
    unsynced_ = false;
  }
  // The journal's name must be on disk before the file is touched.
  if (!dir_synced_) {
    if (!sync_dir(dir_)) {
      why_ = sys_why("cannot sync the directory (" + dir_ + ")");
      return false;
    }
    dir_synced_ = true;
  }
  if (exclusive_) return true;
  const lock::Result r = lock::take_exclusive(fd_, key_);
  if (r != lock::Result::Ok) {
    why_ = r == lock::Result::Own    ? "it is open for reading through another handle of this program"
           : r == lock::Result::Busy ? "it is being read by another program (waited " +
                                           std::to_string(static_cast<int>(lock::kWriterWait)) + " s)"
                                     : sys_why("cannot lock it");
    return false;
  }
  exclusive_ = true;
  // Through its other names the file's journal is found by the attribute.
  // A file system that keeps no attributes leaves only the name beside
  // which the journal lies.
  struct stat st;
  if (::fstat(fd_, &st) == 0 && st.st_nlink > 1) {
    if (::fsetxattr(fd_, kJournalAttr, jpath_.data(), jpath_.size(), 0) == 0) {
      named_ = true;
      if (osio::fsync(fd_) != 0) {
        why_ = sys_why("cannot sync the file");
        return false;
      }
    } else if (errno != ENOTSUP) {
      why_ = sys_why("cannot record where its journal is");
      return false;
    }
  }
  return true;
}

bool Journal::finish() {
  // The journal goes only while its name holds the journal made here.
  if (!remove_journal(jpath_, jfd_, why_)) return false;
  close_removed(jfd_);
  jfd_ = -1;
  if (named_ && (::fremovexattr(fd_, kJournalAttr) == 0 || errno == ENODATA)) named_ = false;
  if (exclusive_) {
    lock::drop_exclusive(fd_, key_);
    exclusive_ = false;
  }
  return true;
}

bool Journal::commit() {
  npending_ = 0;
  if (jfd_ < 0) return true;
  if (exclusive_ && osio::fsync(fd_) != 0) {
    why_ = sys_why("cannot sync the file");
    return false;
  }
  return finish();
}

bool Journal::rollback() {
  // Records not yet written cover blocks the file never received.
  npending_ = 0;
  if (jfd_ < 0) return true;
  // Without EXCLUSIVE, nothing of the file was written.
  if (exclusive_ && !replay(jfd_, fd_, why_)) return false;
  return finish();
}

}  // namespace vos::fio
