// The end of a benchmark program on a wrong result: a failed entry point
// (its error message) or a failing CFITSIO status (its oldest message), told
// on the standard error stream with the program's name before exit(1).
#pragma once

#include <fitsio.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "halvo/c_tables.h"

namespace bench {

// Ends the program unless `ok` holds and the last entry point succeeded.
inline void check(bool ok, const char* what) {
  if (ok && c_voserr() == 0) return;
  std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, what,
               c_voserr() ? c_voserrmsg() : "wrong result");
  std::exit(1);
}

// Ends the program on a non-zero CFITSIO status.
inline void check_status(int status, const char* what) {
  if (status == 0) return;
  char text[FLEN_ERRMSG] = {0};
  ffgmsg(text);
  std::fprintf(stderr, "%s: %s: CFITSIO status %d %s\n", program_invocation_short_name, what,
               status, text);
  std::exit(1);
}

}  // namespace bench
