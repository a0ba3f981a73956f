// A small table of every column type for the row, column-range, array and
// whole-table tests, in any of the four storage types.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl::testing {

// Columns of the test table; `a` (an int array of 3) only where the
// storage type has arrays (row-ordered and FITS).
struct Cols {
  Column* i = nullptr;  // int
  Column* d = nullptr;  // double
  Column* r = nullptr;  // real
  Column* s = nullptr;  // short
  Column* b = nullptr;  // bool
  Column* t = nullptr;  // text of 12
  Column* a = nullptr;  // int[3]
};

inline bool has_arrays(int type) { return type == kRowOrdered || type == kFitsTable; }

inline std::string file_for(const ScratchDir& dir, const std::string& stem, int type) {
  switch (type) {
    case kFitsTable: return dir.path(stem + ".fits");
    case kTextTable: return dir.path(stem + ".txt");
    default: return dir.path(stem + ".tab");
  }
}

// Creates the table (no rows) and returns it open read-write.
inline Table* make_table(const std::string& name, int type, Cols& c) {
  Table* tp = tbtopn(name, kNewFile, nullptr);
  if (type != kFitsTable) tbpset(tp, 5, type);
  tbpset(tp, 7, 8);
  tbcdef1(tp, c.i, "I", "", "", kTyInt, 1);
  tbcdef1(tp, c.d, "D", "", "", kTyDouble, 1);
  tbcdef1(tp, c.r, "R", "", "", kTyReal, 1);
  tbcdef1(tp, c.s, "S", "", "", kTyShort, 1);
  tbcdef1(tp, c.b, "B", "", "", kTyBool, 1);
  tbcdef1(tp, c.t, "T", "", "", -12, 1);
  if (has_arrays(type)) tbcdef1(tp, c.a, "A", "", "", kTyInt, 3);
  tbtcre(tp);
  return tp;
}

// Reopens a table and finds its columns again.
inline Table* reopen(const std::string& name, int mode, Cols& c) {
  Table* tp = tbtopn(name, mode, nullptr);
  tbcfnd1(tp, "I", c.i);
  tbcfnd1(tp, "D", c.d);
  tbcfnd1(tp, "R", c.r);
  tbcfnd1(tp, "S", c.s);
  tbcfnd1(tp, "B", c.b);
  tbcfnd1(tp, "T", c.t);
  c.a = nullptr;
  if (tp->type == kRowOrdered || tp->type == kFitsTable) tbcfnd1(tp, "A", c.a);
  return tp;
}

// The code and message of the error fn raises ("(no error)" when none).
template <class F>
std::string error_of(F&& fn, int* code = nullptr) {
  try {
    fn();
  } catch (const vos::Error& e) {
    if (code) *code = e.code();
    return e.message();
  }
  return "(no error)";
}

// Closes a table at the end of a test, also when an assertion failed.
struct Closer {
  Table*& tp;
  explicit Closer(Table*& t) : tp(t) {}
  ~Closer() {
    try {
      tbtclo(tp);
    } catch (const vos::Error&) {
    }
  }
};

constexpr int kAllTypes[] = {kRowOrdered, kColOrdered, kTextTable, kFitsTable};

}  // namespace tbl::testing
