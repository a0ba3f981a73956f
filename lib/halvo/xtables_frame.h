// The frame every c_ entry point follows: output slots sized, the error
// state cleared, the table routine called inside an error-catching block
// with its strings taken from the slots, a caught error captured into the
// error state, and the output strings converted back (also after an error).
#pragma once

#include <new>
#include <string>
#include <vector>

#include "halvo/c_tables.h"
#include "halvo/halvo.h"
#include "tablelib/tables.h"
#include "vos/error.h"

namespace xtables {

inline tbl::Table* T(TablePtr p) { return reinterpret_cast<tbl::Table*>(p); }
inline TablePtr P(tbl::Table* t) { return reinterpret_cast<TablePtr>(t); }
inline tbl::Column* C(ColumnPtr p) { return reinterpret_cast<tbl::Column*>(p); }
inline ColumnPtr P(tbl::Column* c) { return reinterpret_cast<ColumnPtr>(c); }
inline tbl::Column** C(ColumnPtr* p) { return reinterpret_cast<tbl::Column**>(p); }
inline tbl::Column* const* C(const ColumnPtr* p) { return reinterpret_cast<tbl::Column* const*>(p); }

// A caller's length or count as a size (negative values count as 0).
inline std::size_t nch(int n) { return n < 0 ? 0 : static_cast<std::size_t>(n); }

// Steps 2, 3, 5 and 6 of the frame around `body`.
template <class F>
void run(F&& body) {
  clear_halvoerr();
  vos::xerret();  // only an error of this call is captured
  vos::ErrorBlock block;
  try {
    body();
  } catch (const vos::Error& e) {
    vos::post_error(e.code(), e.message());
  } catch (const std::bad_alloc&) {
    vos::post_error(vos::SYS_MFULL, "Out of memory");
  } catch (const std::exception& e) {
    vos::post_error(1, e.what());
  } catch (...) {
    vos::post_error(1, "Unknown error");
  }
  if (vos::error_pending()) set_halvoerr();
}

// A string in: widened into its slot, then read back for the routine.
inline std::string in(const char* s, int slot) {
  char2vos(s, slot);
  return slot_string(slot);
}

// A string array in of count strings cut to maxch.
inline std::vector<std::string> in_array(const char* const* s, std::size_t maxch, std::size_t count,
                                         int slot) {
  std::vector<std::string> v(count);
  if (count == 0) return v;
  twodchar2vos(s, maxch, count, slot);
  for (std::size_t i = 0; i < count; ++i) v[i] = slot_string(slot, i * (maxch + 1));
  return v;
}

// A string out: the slot is sized before the call (step 1); `value` is what
// the routine produced; deliver() converts it into the caller's buffer.
struct Out {
  int slot;
  std::size_t maxch;
  std::string value;
  Out(int s, int m) : slot(s), maxch(nch(m)) {
    CH2I_chk_buffer(slot, maxch);
    slot_put(slot, "", 0, 0);
  }
  void deliver(char* buf) {
    slot_put(slot, value, 0, maxch);
    vos2char(buf, maxch, slot);
  }
};

// A string array out of count buffers of maxch + 1 bytes.
struct OutArray {
  int slot;
  std::size_t maxch, count;
  std::vector<std::string> value;
  OutArray(int s, int m, std::size_t n) : slot(s), maxch(nch(m)), count(n), value(n) {
    if (count > 0) CH2I_chk_buffer(slot, (maxch + 1) * count);
  }
  void deliver(char* const* bufs) {
    if (count == 0) return;
    for (std::size_t i = 0; i < count; ++i) slot_put(slot, value[i], i * (maxch + 1), maxch);
    vos2twodchar(bufs, maxch, count, slot);
  }
};

}  // namespace xtables
