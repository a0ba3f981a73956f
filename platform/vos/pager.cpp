// The write-back cache of files changed in place.
#include "pager.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "frames.h"

#include "vos/files.h"
#include "vos/osio.h"

namespace vos {
namespace {

constexpr long long kDefaultCache = 32LL << 20;
long long g_cache = kDefaultCache;

}  // namespace

long long set_change_cache(long long bytes) {
  const long long old = g_cache;
  g_cache = bytes <= 0 ? kDefaultCache : std::max(bytes, fio::Pager::kPage);
  return old;
}

namespace fio {
namespace {

constexpr long long kAheadPages = 16;  // most pages read ahead at once
constexpr long long kRunPages = 256;   // most pages in one write
constexpr long long kStartPages = 16;  // a run this long starts for the disk at once
constexpr std::size_t kFirstSlots = 64;  // index slots at first (32 or more: see slot_of)

static_assert(frames::kFrame == static_cast<std::size_t>(Pager::kPage));

std::string sys_why(const std::string& what) { return what + ": " + std::strerror(errno); }

// The first slot to try for block `b` among `n` (a power of two, 32 or
// more): the blocks of a run of 16 lie in adjacent slots, and the runs are
// spread by the high bits of a multiplicative hash, so that a change that
// goes on in order meets slots at hand.
std::size_t slot_of(long long b, std::size_t n) {
  const unsigned long long run = static_cast<unsigned long long>(b) >> 4;
  const std::size_t spread = static_cast<std::size_t>((run * 0x9E3779B97F4A7C15ULL) >> (68 - __builtin_ctzll(n)));
  return (spread << 4) | static_cast<std::size_t>(b & 15);
}

}  // namespace

long long Pager::bound() { return g_cache; }

Pager::Pager(int fd, Journal& journal)
    : fd_(fd),
      journal_(journal),
      max_pages_(static_cast<std::size_t>(std::max(1LL, bound() / kPage))),
      size_(journal.original_size()),
      disk_(size_),
      kept_(size_),
      slots_(kFirstSlots, Page{-1, nullptr}),
      lo_b_(std::numeric_limits<long long>::max()) {}

Pager::~Pager() {
  drop();
  frames::idle(bound());
}

unsigned char* Pager::lookup(long long b) const {
  if (b < lo_b_ || b > hi_b_) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = slot_of(b, slots_.size());; i = (i + 1) & mask) {
    if (slots_[i].b == b) return slots_[i].frame;
    if (slots_[i].b < 0) return nullptr;
  }
}

unsigned char* Pager::find(long long b) {
  if (b == hot_b_) return hot_;
  unsigned char* frame = lookup(b);
  if (frame != nullptr) {
    hot_b_ = b;
    hot_ = frame;
  }
  return frame;
}

void Pager::index(long long b, unsigned char* frame) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot_of(b, slots_.size());
  while (slots_[i].b >= 0) i = (i + 1) & mask;
  slots_[i] = Page{b, frame};
  lo_b_ = std::min(lo_b_, b);
  hi_b_ = std::max(hi_b_, b);
}

void Pager::reindex() {
  std::fill(slots_.begin(), slots_.end(), Page{-1, nullptr});
  lo_b_ = std::numeric_limits<long long>::max();
  hi_b_ = -1;
  for (const Page& p : pages_) index(p.b, p.frame);
  hot_b_ = -1;
}

long Pager::from_file(unsigned char* out, std::size_t n, long long at) {
  std::size_t got = 0;
  std::size_t want = 0;
  if (at < kept_) {
    want = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(n), kept_ - at));
    // Short when the file is shorter than it was: cut by someone else.
    const long long k = read_upto(fd_, out, want, at);
    if (k < 0) {
      why_ = sys_why("cannot read the file");
      return -1;
    }
    got = static_cast<std::size_t>(k);
  }
  std::memset(out + got, 0, n - got);
  return got < want ? static_cast<long>(got) : static_cast<long>(n);
}

const unsigned char* Pager::current(long long b) {
  if (b >= ahead_b_ && b < ahead_b_ + ahead_n_) return ahead_.get() + (b - ahead_b_) * kPage;
  // One page after a jump; more the longer the calls go on in order.
  const long long n = ahead_n_ > 0 && b == ahead_b_ + ahead_n_ ? std::min(kAheadPages, ahead_n_ * 2) : 1;
  if (n > ahead_cap_) {
    ahead_.reset(new unsigned char[static_cast<std::size_t>(n * kPage)]);  // filled below
    ahead_cap_ = n;
  }
  ahead_b_ = b;
  ahead_n_ = 0;
  // Bytes cut off by someone else read as zeros here: they are changed
  // as the session's bytes.
  if (from_file(ahead_.get(), static_cast<std::size_t>(n * kPage), b * kPage) < 0) return nullptr;
  ahead_n_ = n;
  return ahead_.get();
}

unsigned char* Pager::add(long long b, const unsigned char* now, bool whole) {
  if (!journal_.save(b, now)) {
    why_ = journal_.why();
    return nullptr;
  }
  // A write-back leaves the bytes read ahead in memory (those of page `b`
  // are still the file's: it is not cached), only no longer known.
  if (pages_.size() >= max_pages_ && !write_back()) return nullptr;
  unsigned char* frame = frames::take();
  if (frame == nullptr) {
    why_ = "no memory for the change cache";
    return nullptr;
  }
  if (!whole) std::memcpy(frame, now, static_cast<std::size_t>(kPage));
  pages_.push_back(Page{b, frame});
  if (2 * pages_.size() > slots_.size()) {
    slots_.resize(slots_.size() * 2);
    reindex();
  } else {
    index(b, frame);
  }
  hot_b_ = b;
  hot_ = frame;
  return frame;
}

long Pager::read(char* out, std::size_t n, long long at) {
  if (at < 0 || at >= size_ || n == 0) return 0;
  n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(n), size_ - at));
  unsigned char* dst = reinterpret_cast<unsigned char*>(out);
  const long long end = at + static_cast<long long>(n);
  for (std::size_t done = 0; done < n;) {
    const long long pos = at + static_cast<long long>(done);
    const long long b = pos / kPage;
    const std::size_t off = static_cast<std::size_t>(pos - b * kPage);
    std::size_t k;
    if (const unsigned char* page = find(b)) {
      k = std::min(static_cast<std::size_t>(kPage) - off, n - done);
      std::memcpy(dst + done, page + off, k);
    } else {
      // The file's bytes, up to the next cached page.
      long long stop = end;
      for (long long c = std::max(b + 1, lo_b_); c <= hi_b_ && c * kPage < end; ++c) {
        if (lookup(c) != nullptr) {
          stop = c * kPage;
          break;
        }
      }
      k = static_cast<std::size_t>(stop - pos);
      const long got = from_file(dst + done, k, pos);
      if (got < 0) return -1;
      // A file cut short by someone else ends there.
      if (static_cast<std::size_t>(got) < k) return static_cast<long>(done) + got;
    }
    done += k;
  }
  return static_cast<long>(n);
}

bool Pager::write(long long at, const char* data, std::size_t n) {
  const unsigned char* src = reinterpret_cast<const unsigned char*>(data);
  while (n > 0) {
    const long long b = at / kPage;
    const std::size_t off = static_cast<std::size_t>(at - b * kPage);
    const std::size_t k = std::min(static_cast<std::size_t>(kPage) - off, n);
    unsigned char* page = find(b);
    if (page == nullptr) {
      const unsigned char* now = current(b);
      if (now == nullptr) return false;
      // Bytes the file holds already change nothing.
      if (std::memcmp(now + off, src, k) != 0 && (page = add(b, now, k == static_cast<std::size_t>(kPage))) == nullptr)
        return false;
    }
    if (page != nullptr) std::memcpy(page + off, src, k);
    at += static_cast<long long>(k);
    src += k;
    n -= k;
    size_ = std::max(size_, at);
  }
  return true;
}

bool Pager::cut(long long size) {
  size = std::max(size, 0LL);
  if (size < size_) {
    if (!journal_.save_from(size)) {
      why_ = journal_.why();
      return false;
    }
    const long long b = size / kPage;
    const long long first_gone = size % kPage == 0 ? b : b + 1;
    std::size_t kept = 0;
    for (const Page& p : pages_) {
      if (p.b >= first_gone) frames::give(p.frame);
      else pages_[kept++] = p;
    }
    if (kept < pages_.size()) {
      pages_.resize(kept);
      reindex();
    }
    if (size % kPage != 0) {
      if (unsigned char* page = lookup(b))
        std::memset(page + (size - b * kPage), 0, static_cast<std::size_t>((b + 1) * kPage - size));
    }
    kept_ = std::min(kept_, size);
  }
  size_ = size;
  hot_b_ = -1;
  ahead_n_ = 0;
  return true;
}

void Pager::drop() {
  for (const Page& p : pages_) frames::give(p.frame);
  pages_.clear();
  reindex();
  ahead_n_ = 0;
}

bool Pager::write_run(std::size_t first, std::size_t last) {
  struct iovec iov[kRunPages];
  const long long at = pages_[first].b * kPage;
  const long long len = std::min(static_cast<long long>(last - first) * kPage, size_ - at);
  if (len <= 0) return true;
  int cnt = 0;
  for (long long left = len; left > 0; left -= kPage, ++first) {
    iov[cnt].iov_base = pages_[first].frame;
    iov[cnt++].iov_len = static_cast<std::size_t>(std::min(left, kPage));
  }
  if (!write_fullv(fd_, iov, cnt, at)) {
    why_ = sys_why("cannot write the file");
    return false;
  }
  // A long run goes to the disk while the next ones are written.
  if (len >= kStartPages * kPage) start_writing(fd_, at, len);
  disk_ = std::max(disk_, at + len);
  return true;
}

bool Pager::write_back() {
  const bool cut_due = kept_ < disk_;
  if (pages_.empty() && !cut_due && disk_ == size_) return true;
  if (!journal_.before_table_write()) {
    why_ = journal_.why();
    return false;
  }
  if (cut_due) {
    if (osio::ftruncate(fd_, static_cast<off_t>(kept_)) != 0) {
      why_ = sys_why("cannot cut the file");
      return false;
    }
    disk_ = kept_;
  }
  const auto by_block = [](const Page& x, const Page& y) { return x.b < y.b; };
  if (!std::is_sorted(pages_.begin(), pages_.end(), by_block)) std::sort(pages_.begin(), pages_.end(), by_block);
  for (std::size_t i = 0; i < pages_.size();) {
    std::size_t j = i + 1;
    while (j < pages_.size() && pages_[j].b == pages_[j - 1].b + 1 && static_cast<long long>(j - i) < kRunPages) ++j;
    if (!write_run(i, j)) return false;
    i = j;
  }
  if (disk_ != size_) {
    if (osio::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
      why_ = sys_why("cannot extend the file");
      return false;
    }
    disk_ = size_;
  }
  kept_ = disk_;
  drop();
  return true;
}

}  // namespace fio
}  // namespace vos
