// The frame every c_ entry point follows: the error state cleared, the
// table routine called inside an error-catching block with the caller's
// strings, a caught error captured into the error state, and the output
// strings delivered into the caller's buffers (also after an error).
//
// Strings cross by their string slot's number but not through the slot's
// 16-bit buffer: widening the caller's bytes into the slot and narrowing
// them back (signed widening, low byte kept, both stopping at the
// terminator, at most maxch characters) gives back exactly the bytes the
// caller passed, so the entries hand over those bytes directly.  Each slot
// keeps scratch strings between calls, so that a call allocates nothing
// once the strings have been that long before (one thread, as the slots).
#pragma once

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
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

// A string in: the caller's bytes up to the NUL (none for a null pointer).
inline std::string in(const char* s) { return s ? std::string(s) : std::string(); }
inline std::string_view in_view(const char* s) { return s ? std::string_view(s) : std::string_view(); }

// A string array in of count strings, each cut to maxch (a null pointer is
// an empty string); valid until the slot is used again.
inline const std::vector<std::string>& in_array(const char* const* s, std::size_t maxch,
                                                std::size_t count, int slot) {
  std::vector<std::string>& v = slot_scratch_array(slot);
  v.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char* p = s ? s[i] : nullptr;
    if (p) v[i].assign(p, strnlen(p, maxch));
    else v[i].clear();
  }
  return v;
}

// A string out: `value` (the slot's scratch string, emptied) is what the
// routine produced; deliver() puts it into the caller's buffer as the
// narrowing of a slot does (at most maxch characters, stopping at a NUL).
struct Out {
  int maxch;
  std::string& value;
  Out(int slot, int m) : maxch(m), value(slot_scratch(slot)) { value.clear(); }
  void deliver(char* buf) { tbl::copy_text(buf, value, maxch); }
};

// A string array out of count buffers of maxch + 1 bytes.
struct OutArray {
  int maxch;
  std::size_t count;
  std::vector<std::string>& value;
  OutArray(int slot, int m, std::size_t n) : maxch(m), count(n), value(slot_scratch_array(slot)) {
    value.resize(count);
    for (std::string& v : value) v.clear();
  }
  void deliver(char* const* bufs) {
    if (bufs == nullptr) return;
    for (std::size_t i = 0; i < count; ++i) tbl::copy_text(bufs[i], value[i], maxch);
  }
};

}  // namespace xtables
