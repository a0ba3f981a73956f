// Allocator family of the DB client; see comnlib/comn_alloc.h.
#include "comnlib/comn_alloc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<std::size_t> g_limit{0};
std::atomic<std::size_t> g_largest{0};

// Notes a request; false when the test limit refuses it.
bool admit(std::size_t size) {
  std::size_t seen = g_largest.load(std::memory_order_relaxed);
  while (size > seen && !g_largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
  std::size_t limit = g_limit.load(std::memory_order_relaxed);
  return limit == 0 || size <= limit;
}

}  // namespace

void comn_alloc_set_limit(std::size_t bytes) {
  g_limit.store(bytes, std::memory_order_relaxed);
  g_largest.store(0, std::memory_order_relaxed);
}

std::size_t comn_alloc_largest_request() { return g_largest.load(std::memory_order_relaxed); }

// A block from the process heap (a zero size still gives a unique block).
void* comn_malloc(std::size_t size) {
  if (!admit(size)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

// Returns a block to the heap.
void comn_free(void* block) { std::free(block); }

// Resizes a block, keeping the old one on failure.
void* comn_realloc(void* block, std::size_t size) {
  if (!admit(size)) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

// Zero-filled count * size bytes; refuses products that overflow.
void* comn_calloc(std::size_t count, std::size_t size) {
  if (size != 0 && count > static_cast<std::size_t>(-1) / size) return nullptr;
  void* p = comn_malloc(count * size);
  if (p) std::memset(p, 0, count * size == 0 ? 1 : count * size);
  return p;
}

// Same as comn_free.
void comn_cfree(void* block) { comn_free(block); }
