// The write-back cache of files changed in place.
#include "pager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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
constexpr long long kStagePages = 64;  // most pages joined in one write

std::string sys_why(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

long long Pager::bound() { return g_cache; }

Pager::Pager(int fd, Journal& journal)
    : fd_(fd),
      journal_(journal),
      max_pages_(static_cast<std::size_t>(std::max(1LL, bound() / kPage))),
      size_(journal.original_size()),
      disk_(size_),
      kept_(size_) {}

unsigned char* Pager::find(long long b) {
  if (b == hot_b_) return hot_;
  const auto it = pages_.find(b);
  if (it == pages_.end()) return nullptr;
  hot_b_ = b;
  hot_ = it->second.get();
  return hot_;
}

long Pager::from_file(unsigned char* out, std::size_t n, long long at) {
  std::size_t got = 0;
  std::size_t want = 0;
  if (at < kept_) {
    want = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(n), kept_ - at));
    while (got < want) {
      const ssize_t k = ::pread(fd_, out + got, want - got, static_cast<off_t>(at) + static_cast<off_t>(got));
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) {
        why_ = sys_why("cannot read the file");
        return -1;
      }
      if (k == 0) break;  // shorter than it was: cut by someone else
      got += static_cast<std::size_t>(k);
    }
  }
  std::memset(out + got, 0, n - got);
  return got < want ? static_cast<long>(got) : static_cast<long>(n);
}

const unsigned char* Pager::current(long long b) {
  if (b >= ahead_b_ && b < ahead_b_ + ahead_n_) return ahead_.get() + (b - ahead_b_) * kPage;
  if (!ahead_) ahead_.reset(new unsigned char[static_cast<std::size_t>(kAheadPages * kPage)]);
  // One page after a jump; more the longer the calls go on in order.
  const long long n = ahead_n_ > 0 && b == ahead_b_ + ahead_n_ ? std::min(kAheadPages, ahead_n_ * 2) : 1;
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
  Buffer page;
  if (!spare_.empty()) {
    page = std::move(spare_.back());
    spare_.pop_back();
  } else {
    page.reset(new unsigned char[static_cast<std::size_t>(kPage)]);  // filled below
  }
  if (!whole) std::memcpy(page.get(), now, static_cast<std::size_t>(kPage));
  hot_b_ = b;
  hot_ = page.get();
  pages_.emplace(b, std::move(page));
  return hot_;
}

long Pager::read(char* out, std::size_t n, long long at) {
  if (at < 0 || at >= size_ || n == 0) return 0;
  n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(n), size_ - at));
  unsigned char* dst = reinterpret_cast<unsigned char*>(out);
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
      const auto next = pages_.upper_bound(b);
      const long long stop = next == pages_.end() ? at + static_cast<long long>(n)
                                                  : std::min(at + static_cast<long long>(n), next->first * kPage);
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
    for (auto it = pages_.lower_bound(size % kPage == 0 ? b : b + 1); it != pages_.end();) {
      spare_.push_back(std::move(it->second));
      it = pages_.erase(it);
    }
    if (size % kPage != 0) {
      const auto it = pages_.find(b);
      if (it != pages_.end())
        std::memset(it->second.get() + (size - b * kPage), 0, static_cast<std::size_t>((b + 1) * kPage - size));
    }
    kept_ = std::min(kept_, size);
  }
  size_ = size;
  hot_b_ = -1;
  ahead_n_ = 0;
  return true;
}

void Pager::release_all() {
  for (auto& [b, page] : pages_) spare_.push_back(std::move(page));
  pages_.clear();
  hot_b_ = -1;
  ahead_n_ = 0;
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
  if (!stage_) stage_.reset(new unsigned char[static_cast<std::size_t>(kStagePages * kPage)]);
  for (auto it = pages_.begin(); it != pages_.end();) {
    const long long first = it->first;
    long long n = 0;
    for (; it != pages_.end() && it->first == first + n && n < kStagePages; ++it, ++n)
      std::memcpy(stage_.get() + n * kPage, it->second.get(), static_cast<std::size_t>(kPage));
    const long long at = first * kPage;
    const long long len = std::min(n * kPage, size_ - at);
    if (len > 0 && !write_full(fd_, stage_.get(), static_cast<std::size_t>(len), at)) {
      why_ = sys_why("cannot write the file");
      return false;
    }
    disk_ = std::max(disk_, at + len);
  }
  if (disk_ != size_) {
    if (osio::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
      why_ = sys_why("cannot extend the file");
      return false;
    }
    disk_ = size_;
  }
  kept_ = disk_;
  release_all();
  return true;
}

void Pager::drop() {
  release_all();
  spare_.clear();
}

}  // namespace fio
}  // namespace vos
