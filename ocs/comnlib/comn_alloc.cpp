// Allocator family of the DB client; see comnlib/comn_alloc.h.
#include "comnlib/comn_alloc.h"

#include <cstdlib>
#include <cstring>

// A block from the process heap (a zero size still gives a unique block).
void* comn_malloc(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

// Returns a block to the heap.
void comn_free(void* block) { std::free(block); }

// Resizes a block, keeping the old one on failure.
void* comn_realloc(void* block, std::size_t size) {
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
