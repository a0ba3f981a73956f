// The page frames of the change caches.
#include "frames.h"

#include <sys/mman.h>

#include <vector>

namespace vos::fio::frames {
namespace {

constexpr std::size_t kSlab = kFrame * kSlabFrames;

struct Pool {
  std::vector<unsigned char*> slabs;
  std::vector<unsigned char*> free;  // the frames not out; taken from the back
  std::size_t out = 0;
};

Pool& pool() {
  static Pool p;
  return p;
}

// Puts the frames of `slab` on the free list, to be taken in the order of
// their addresses.
void free_all_of(Pool& p, unsigned char* slab) {
  for (std::size_t i = kSlabFrames; i-- > 0;) p.free.push_back(slab + i * kFrame);
}

bool grow(Pool& p) {
  void* m = ::mmap(nullptr, kSlab, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return false;
  unsigned char* slab = static_cast<unsigned char*>(m);
  p.slabs.push_back(slab);
  free_all_of(p, slab);
  return true;
}

// With no frame out: keeps the first slabs up to `keep` bytes and returns
// the others.
void settle(Pool& p, long long keep) {
  const long long slab = static_cast<long long>(kSlab);
  const std::size_t kept = keep <= slab ? 1 : static_cast<std::size_t>((keep + slab - 1) / slab);
  while (p.slabs.size() > kept) {
    ::munmap(p.slabs.back(), kSlab);
    p.slabs.pop_back();
  }
  p.free.clear();
  for (unsigned char* slab : p.slabs) free_all_of(p, slab);
}

}  // namespace

unsigned char* take() {
  Pool& p = pool();
  if (p.free.empty() && !grow(p)) return nullptr;
  unsigned char* f = p.free.back();
  p.free.pop_back();
  ++p.out;
  return f;
}

void give(unsigned char* frame) {
  Pool& p = pool();
  p.free.push_back(frame);
  --p.out;
}

void idle(long long keep) {
  Pool& p = pool();
  if (p.out == 0) settle(p, keep);
}

std::size_t out() { return pool().out; }

std::size_t held() { return pool().slabs.size() * kSlabFrames; }

}  // namespace vos::fio::frames
