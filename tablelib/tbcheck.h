// Refusal of null table and column pointers at the public routines: a
// caller's bad handle gives a VOS error, never a crash.
#pragma once

#include <string>

#include "tablelib/tbtypes.h"
#include "vos/error.h"

namespace tbl {

inline void need_table(const Table* tp, const char* who) {
  if (tp == nullptr) vos::error(1, std::string(who) + ":  null table pointer");
}

inline void need_column(const Column* cp, const char* who) {
  if (cp == nullptr) vos::error(1, std::string(who) + ":  null column pointer");
}

}  // namespace tbl
