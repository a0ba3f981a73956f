// Heap blocks that raise on exhaustion, and the scratch stack.
#include "vos/memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "vos/error.h"

namespace vos {
namespace {

[[noreturn]] void out_of_memory() { error(SYS_MFULL, "Out of memory"); }

std::vector<std::unique_ptr<unsigned char[]>>& stack() {
  static std::vector<std::unique_ptr<unsigned char[]>> s;
  return s;
}

}  // namespace

void* malloc(std::size_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) out_of_memory();
  return p;
}

void* calloc(std::size_t count, std::size_t bytes) {
  if (count == 0 || bytes == 0) count = bytes = 1;
  void* p = std::calloc(count, bytes);
  if (!p) out_of_memory();
  return p;
}

void* realloc(void* block, std::size_t bytes) {
  // The block's old size is unknown here, so new bytes are not cleared by
  // the C library; callers that need zeros keep their own sizes.
  void* p = std::realloc(block, bytes ? bytes : 1);
  if (!p) out_of_memory();
  return p;
}

void mfree(void* block) { std::free(block); }

StackMark smark() { return stack().size(); }

void* salloc(std::size_t bytes) {
  auto& s = stack();
  std::unique_ptr<unsigned char[]> b(new (std::nothrow) unsigned char[bytes ? bytes : 1]());
  if (!b) out_of_memory();
  s.push_back(std::move(b));
  return s.back().get();
}

void sfree(StackMark mark) {
  auto& s = stack();
  if (mark < s.size()) s.resize(mark);
}

std::size_t stack_depth() { return stack().size(); }

namespace {

// Element 0 of character memory.  Addresses are related to it as integers:
// elements far from it lie in other objects, so no pointer arithmetic on it.
alignas(8) char16_t g_char_base[1];

std::uintptr_t char_base() { return reinterpret_cast<std::uintptr_t>(&g_char_base[0]); }

}  // namespace

char16_t* char_element(std::ptrdiff_t p) {
  const std::uintptr_t at = char_base() + static_cast<std::uintptr_t>(p) * 2u;  // wraps for p < 0
  return reinterpret_cast<char16_t*>(at);
}

std::ptrdiff_t char_index(const void* address) {
  const auto diff = static_cast<std::ptrdiff_t>(reinterpret_cast<std::uintptr_t>(address) - char_base());
  return diff / 2;
}

}  // namespace vos
