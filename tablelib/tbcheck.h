// Checks of the table and column pointers at the public routines: a
// caller's bad handle gives a VOS error, never a crash, and a table whose
// change failed takes no more calls.
#pragma once

#include <string>

#include "tablelib/tbcore.h"
#include "tablelib/tbtypes.h"
#include "vos/error.h"

namespace tbl {

// Every public routine that reads or changes a table passes here first:
// once a change of the table has failed, each call raises that failure
// again (see tbtchk).
inline void need_table(const Table* tp, const char* who) {
  if (tp == nullptr) vos::error(1, std::string(who) + ":  null table pointer");
  if (tp->fd != 0 || tp->fits != nullptr) tbtchk(tp);
}

inline void need_column(const Column* cp, const char* who) {
  if (cp == nullptr) vos::error(1, std::string(who) + ":  null column pointer");
}

}  // namespace tbl
