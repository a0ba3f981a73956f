// Heap blocks and the mark/release scratch stack.
//
// Most callers simply use C++ containers.  These services exist for code
// that wants the VOS shapes: heap blocks that raise SYS_MFULL "Out of memory"
// instead of returning null, and scratch space released in one step back to
// a mark.
#pragma once

#include <cstddef>

namespace vos {

// Heap: zero-size requests give a valid unique block.  Exhaustion raises
// vos::Error(SYS_MFULL, "Out of memory").  `realloc` keeps the contents up to
// the smaller size (new bytes are not cleared); `mfree` of nullptr does nothing.
void* malloc(std::size_t bytes);
void* calloc(std::size_t count, std::size_t bytes);
void* realloc(void* block, std::size_t bytes);
void mfree(void* block);

// Scratch stack.  `smark` returns the current level; `salloc` returns a zero-
// filled block of `bytes` that stays valid until `sfree` releases back to a
// mark taken before it.  Releasing to a mark above the current level does
// nothing.
using StackMark = std::size_t;
StackMark smark();
void* salloc(std::size_t bytes);
void sfree(StackMark mark);

// Characters (bytes) of scratch for a string of `maxch` characters plus NUL.
inline char* salloc_chars(std::size_t maxch) {
  return static_cast<char*>(salloc(maxch + 1));
}

// Number of blocks currently on the scratch stack (for tests).
std::size_t stack_depth();

// Character memory: every 16-bit character the process can address, numbered
// from element 0 at a fixed base of this layer.  Element p lies 2p bytes from
// the base (p may be negative).  `char_element` gives the address of element
// p; `char_index` the element number of an address, (address - base) / 2
// with the division truncating toward zero.  They are inverses for every
// 2-byte-aligned address.
char16_t* char_element(std::ptrdiff_t p);
std::ptrdiff_t char_index(const void* address);

// RAII mark: releases the stack back to the level at construction.
class ScratchMark {
 public:
  ScratchMark() : mark_(smark()) {}
  ~ScratchMark() { sfree(mark_); }
  ScratchMark(const ScratchMark&) = delete;
  ScratchMark& operator=(const ScratchMark&) = delete;

 private:
  StackMark mark_;
};

}  // namespace vos
