// Internal: the page frames of the change caches (pager.h).
//
// Every change cache of the process takes the frames it holds changed
// pages in (kFrame bytes each) from one pool, and gives them back when it
// writes them back or ends.  The pool makes frames in slabs of kSlabFrames
// and keeps them when they come back, so that a session reuses the memory
// of the sessions before it: no allocation per page, and no fresh memory
// for the system to hand over page by page.  Once no frame is out, the
// pool keeps at most `keep` bytes of slabs (the cache's bound) for the
// next session.  A frame's bytes are undefined when it is taken.
#pragma once

#include <cstddef>

namespace vos::fio::frames {

inline constexpr std::size_t kFrame = 4096;
inline constexpr std::size_t kSlabFrames = 256;

// A frame (its bytes undefined); nullptr when the system has no memory.
unsigned char* take();

// Gives back a frame from take().
void give(unsigned char* frame);

// A cache has ended: when no frame is out, the pool keeps at most `keep`
// bytes of slabs.
void idle(long long keep);

// Frames out, and frames the pool holds (out or not).
std::size_t out();
std::size_t held();

}  // namespace vos::fio::frames
