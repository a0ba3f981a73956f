// Growable bytes: small blocks from malloc, large ones mapped on their own
// and grown by remapping.
#include "loadfile/bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Blocks of at least this many bytes are mappings of their own.
constexpr std::size_t kMapped = 1 << 20;

std::size_t page_round(std::size_t n) {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (n + page - 1) / page * page;
}

char* map_bytes(std::size_t n) {
  void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<char*>(p);
}

}  // namespace

byte_store::byte_store(const byte_store& other) {
  if (other.size_ == 0) return;
  reserve(other.size_);
  std::memcpy(p_, other.p_, other.size_);
  size_ = other.size_;
}

byte_store& byte_store::operator=(const byte_store& other) {
  if (this != &other) {
    byte_store copy(other);
    std::swap(p_, copy.p_);
    std::swap(size_, copy.size_);
    std::swap(capacity_, copy.capacity_);
    std::swap(mapped_, copy.mapped_);
  }
  return *this;
}

byte_store::~byte_store() { release(); }

void byte_store::resize(std::size_t n) {
  if (n > capacity_) reserve(std::max(n, capacity_ * 2));
  if (n > size_) std::memset(p_ + size_, 0, n - size_);
  size_ = n;
}

void byte_store::assign(std::size_t n, char c) {
  resize(n);
  if (n > 0) std::memset(p_, c, n);
}

void byte_store::clear() {
  release();
  size_ = capacity_ = 0;
}

// Makes room for n bytes (n above the capacity), keeping those in use.
void byte_store::reserve(std::size_t n) {
  if (n < kMapped) {
    void* q = std::realloc(p_, n);
    if (q == nullptr) throw std::bad_alloc();
    p_ = static_cast<char*>(q);
    capacity_ = n;
    return;
  }
  n = page_round(n);
  char* q = nullptr;
  if (mapped_) {
#ifdef MREMAP_MAYMOVE
    void* r = ::mremap(p_, capacity_, n, MREMAP_MAYMOVE);
    if (r == MAP_FAILED) throw std::bad_alloc();
    q = static_cast<char*>(r);
#else
    q = map_bytes(n);
    std::memcpy(q, p_, size_);
    ::munmap(p_, capacity_);
#endif
  } else {
    q = map_bytes(n);
    if (size_ > 0) std::memcpy(q, p_, size_);
    std::free(p_);
  }
  p_ = q;
  capacity_ = n;
  mapped_ = true;
}

void byte_store::release() {
  if (mapped_) ::munmap(p_, capacity_);
  else std::free(p_);
  p_ = nullptr;
  mapped_ = false;
}
