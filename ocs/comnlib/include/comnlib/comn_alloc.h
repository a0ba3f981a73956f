// The allocator family of the DB client: every object of the client comes
// from comn_malloc/comn_calloc/comn_realloc and goes back through comn_free.
#pragma once

#include <cstddef>

// A block of `size` bytes from the process heap, or nullptr.
void* comn_malloc(std::size_t size);
// Returns a block from this family (nullptr is ignored).
void comn_free(void* block);
// Resizes a block; nullptr on failure (the old block is then kept).
void* comn_realloc(void* block, std::size_t size);
// A zero-filled block of count * size bytes, or nullptr (also on overflow).
void* comn_calloc(std::size_t count, std::size_t size);
// Same as comn_free.
void comn_cfree(void* block);

// Test seam: blocks larger than `bytes` are refused as if memory ran out
// (0: no limit), and the largest size asked for since is kept.
void comn_alloc_set_limit(std::size_t bytes);
std::size_t comn_alloc_largest_request();
