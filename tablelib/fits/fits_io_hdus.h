// The CFITSIO interface layer's own bookkeeping of open files (see
// fits_io.h): the HDUs changed through the layer in a file open for writing,
// and how the layer leaves an HDU that was not.  Used by fits_io.cpp and
// fits_io_hdus.cpp only.
#pragma once

#include <string>

#include "fits_io.h"

namespace tbfio {

// True for a file open for writing.
bool writable(Handle f);
// The HDU touch() marked last, so that cell after cell of one HDU costs no
// look-up; forgotten whenever HDUs are renumbered or a file is closed.
inline const FITSfile* g_touched_file = nullptr;
inline int g_touched_hdu = -1;
void touch_first(Handle f);
// Marks the handle's current HDU changed: a call is about to write to it.
inline void touch(Handle f) {
  if (f != nullptr && f->Fptr == g_touched_file && f->HDUposition == g_touched_hdu) return;
  touch_first(f);
}
// True when the handle's current HDU was changed through the layer.
bool changed_here(Handle f);
// Takes the file for read-only (`reader`) or gives it back for writing.
void take_as_reader(Handle f, bool reader);

// Runs `body`, a CFITSIO call that may leave (close) the current HDU.  An
// HDU not changed through this layer (or any HDU, with `reader`) is left as
// a reader would leave it: CFITSIO, leaving an HDU as a writer, places its
// END card anew, rewrites its data fill and brings NAXIS2 up to date, which
// changes the bytes of headers other writers made (blank cards before END,
// fill that is not zero) although nothing in them changed.  Buffers
// changed before are written first, as a file taken for reading takes no
// writes.
template <class F>
int leave(Handle f, int& status, bool reader, F body) {
  if (status != 0 || !writable(f) || (!reader && changed_here(f))) {
    body();
    return status;
  }
  if (fsflsh(f, status) != 0) return status;
  take_as_reader(f, true);
  body();
  take_as_reader(f, false);
  return status;
}

// The bytes an insertion after the current HDU rewrites in it (the tail of
// its header from the last card to the data, the last block of its data),
// kept when that HDU was not changed through the layer, and put back after
// the insertion, which moves nothing of that HDU.
struct HduTail {
  struct Part {
    long long at = 0;
    std::string bytes;
  } parts[2];
  bool kept = false;
};
HduTail keep_tail(Handle f);
void put_back(Handle f, const HduTail& tail, int& status);
// Renumbers the changed HDUs after an HDU was inserted after HDU `at` (the
// new one is changed).
void inserted_after(Handle f, int at);

}  // namespace tbfio
