// The rollback journal of a file changed in place.
#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "vos/osio.h"

namespace vos::fio {
namespace {

// Journals are written in the second version; the first one (whose check
// is slower) is still rolled back.
constexpr char kMagic1[8] = {'q', 'r', 'l', 'j', 'r', 'n', 'l', '1'};
constexpr char kMagic[8] = {'q', 'r', 'l', 'j', 'r', 'n', 'l', '2'};
constexpr std::size_t kHeader = 32;
constexpr std::size_t kRecordHead = 12;  // offset, length
constexpr std::size_t kCheck = 8;

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

// The check of a record of the first version: 64-bit FNV-1a over the
// nonce, then the record's offset, length and bytes.
unsigned long long check_v1(unsigned long long nonce, const unsigned char* rec, std::size_t n) {
  unsigned long long h = 1469598103934665603ULL;
  auto mix = [&h](unsigned char b) {
    h ^= b;
    h *= 1099511628211ULL;
  };
  for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(nonce >> (8 * i)));
  for (std::size_t i = 0; i < n; ++i) mix(rec[i]);
  return h;
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

// The check of a record: a 64-bit hash of the record's offset, length and
// bytes, seeded with the nonce and the count n.  The whole 8-byte words
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

// Writes the saved blocks of the journal open on `jfd` back into `fd`
// where they differ from what it holds, and cuts `fd` to the original size.  `restored` says whether the journal had
// a whole header (a journal without one changed nothing).  The records are
// read and checked first: a journal whose original size lies past the end
// of the file without saved bytes for all that is missing is damaged, and
// nothing is written.
bool replay(int jfd, int fd, bool& restored, std::string& why) {
  restored = false;
  unsigned char head[kHeader];
  if (!read_full(jfd, head, kHeader, 0)) return true;
  const bool v1 = std::memcmp(head, kMagic1, 8) == 0;
  if (!v1 && std::memcmp(head, kMagic, 8) != 0) return true;
  const auto check = v1 ? check_v1 : check_of;
  const long long block = static_cast<long long>(get_be(head + 8, 4));
  const long long orig = static_cast<long long>(get_be(head + 16, 8));
  const unsigned long long nonce = get_be(head + 24, 8);
  if (block <= 0 || block > (1 << 24) || orig < 0) return true;  // never a header we wrote
  restored = true;
  std::vector<unsigned char> rec(kRecordHead + static_cast<std::size_t>(block) + kCheck);
  std::vector<Saved> saved;
  for (long long at = kHeader;;) {
    if (!read_full(jfd, rec.data(), kRecordHead, at)) break;
    const long long off = static_cast<long long>(get_be(rec.data(), 8));
    const std::size_t len = static_cast<std::size_t>(get_be(rec.data() + 8, 4));
    if (len == 0 || static_cast<long long>(len) > block || off < 0 || off > orig - static_cast<long long>(len)) break;
    if (!read_full(jfd, rec.data() + kRecordHead, len + kCheck, at + static_cast<long long>(kRecordHead))) break;
    if (get_be(rec.data() + kRecordHead + len, 8) != check(nonce, rec.data(), kRecordHead + len)) break;
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

}  // namespace

bool read_full(int fd, void* buf, std::size_t n, long long at) {
  return transfer_full(::pread, fd, static_cast<char*>(buf), n, at);
}

bool write_full(int fd, const void* buf, std::size_t n, long long at) {
  return transfer_full(osio::pwrite, fd, static_cast<const char*>(buf), n, at);
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

bool roll_back_hot(const std::string& path, int fd, std::string& why) {
  const std::string jpath = journal_path(path);
  const int jfd = ::open(jpath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (jfd < 0) {
    if (errno == ENOENT) return true;
    why = sys_why("cannot read its journal (" + jpath + ")");
    return false;
  }
  bool restored = false;
  const bool ok = replay(jfd, fd, restored, why);
  ::close(jfd);
  if (!ok) return false;
  if (osio::unlink(jpath.c_str()) != 0 && errno != ENOENT) {
    why = sys_why("cannot remove its journal (" + jpath + ")");
    return false;
  }
  if (!sync_dir(dir_of(path))) {
    why = sys_why("cannot sync the directory (" + dir_of(path) + ")");
    return false;
  }
  return true;
}

namespace {

// Records are written to the journal in batches of at most this many
// bytes.
constexpr std::size_t kPendingBatch = 256 * 1024;

}  // namespace

Journal::Journal(std::string path, int fd, long long size)
    : path_(std::move(path)), jpath_(journal_path(path_)), dir_(dir_of(path_)), fd_(fd),
      orig_(size), saved_(static_cast<std::size_t>((size + kBlock - 1) / kBlock), false) {
  std::random_device rd;
  nonce_ = (static_cast<unsigned long long>(rd()) << 32) ^ rd() ^
           static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
}

Journal::~Journal() {
  if (jfd_ >= 0) ::close(jfd_);
}

bool Journal::start() {
  if (begin()) return true;
  // Nothing of the file was touched: the journal goes again.
  if (jfd_ >= 0) {
    ::close(jfd_);
    jfd_ = -1;
    osio::unlink(jpath_.c_str());
  }
  return false;
}

bool Journal::begin() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    why_ = sys_why("cannot read the file's mode");
    return false;
  }
  // The journal holds the file's bytes: nobody may read it who may not
  // read the file, and the file's owner must be able to roll it back.  A
  // name taken meanwhile (the writer's lock keeps every other writer out)
  // is never followed or reused.
  jfd_ = osio::open(jpath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (jfd_ < 0) {
    why_ = sys_why("cannot make its journal in the directory (" + dir_ + ")");
    return false;
  }
  // When the owner cannot be given (not the super-user), the journal stays
  // the writer's: only the owner's own rollback of it could then fail.
  if (::geteuid() == 0) (void)::fchown(jfd_, st.st_uid, st.st_gid);
  (void)::fchmod(jfd_, st.st_mode & 0666);
  unsigned char head[kHeader] = {};
  std::memcpy(head, kMagic, 8);
  put_be(head + 8, static_cast<unsigned long long>(kBlock), 4);
  put_be(head + 16, static_cast<unsigned long long>(orig_), 8);
  put_be(head + 24, nonce_, 8);
  if (!write_full(jfd_, head, kHeader, 0)) {
    why_ = sys_why("cannot write its journal (" + jpath_ + ")");
    return false;
  }
  jsize_ = kHeader;
  unsynced_ = true;
  return true;
}

bool Journal::write_pending() {
  if (npending_ == 0) return true;
  if (jfd_ < 0 && !start()) return false;
  if (!write_full(jfd_, pending_.get(), npending_, jsize_)) {
    why_ = sys_why("cannot write its journal (" + jpath_ + ")");
    return false;
  }
  jsize_ += static_cast<long long>(npending_);
  unsynced_ = true;
  npending_ = 0;
  return true;
}

bool Journal::save(long long b, const unsigned char* bytes) {
  if (!needs_saving(b)) return true;
  const long long off = b * kBlock;
  const std::size_t len = static_cast<std::size_t>(std::min(kBlock, orig_ - off));
  if (!pending_) pending_.reset(new unsigned char[kPendingBatch]);
  if (npending_ + kRecordHead + len + kCheck > kPendingBatch && !write_pending()) return false;
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
  touched_ = true;
  return true;
}

bool Journal::finish() {
  ::close(jfd_);
  jfd_ = -1;
  if (osio::unlink(jpath_.c_str()) != 0) {
    why_ = sys_why("cannot remove its journal (" + jpath_ + ")");
    return false;
  }
  if (!sync_dir(dir_)) {
    why_ = sys_why("cannot sync the directory (" + dir_ + ")");
    return false;
  }
  return true;
}

bool Journal::commit() {
  npending_ = 0;
  if (jfd_ < 0) return true;
  if (touched_ && osio::fsync(fd_) != 0) {
    why_ = sys_why("cannot sync the file");
    return false;
  }
  return finish();
}

bool Journal::rollback() {
  // Records not yet written cover blocks the file never received.
  npending_ = 0;
  if (jfd_ < 0) return true;
  if (touched_) {
    bool restored = false;
    if (!replay(jfd_, fd_, restored, why_)) return false;
  }
  return finish();
}

}  // namespace vos::fio
