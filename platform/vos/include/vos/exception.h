// Exception handlers for the operating system's signals.  The layer turns
// signals into VOS exceptions with these codes and calls the handler posted
// for that exception with `xwhen`:
//   501 X_ACV    access violation (SIGSEGV, SIGBUS, SIGILL)
//   502 X_ARITH  arithmetic exception (SIGFPE)
//   503 X_INT    keyboard interrupt (SIGINT)
//   504 X_IPC    write to IPC with no reader (SIGPIPE)
#pragma once

#include <string>

namespace vos {

enum : int { X_ACV = 501, X_ARITH = 502, X_INT = 503, X_IPC = 504 };

// An exception handler, called with the exception code.  Handlers are not
// chained.  A handler for X_ACV or X_ARITH must not return (it normally ends
// the process through vos::fatal); if it does, the process ends with status
// -1.  A handler that returns from X_INT or X_IPC lets the program go on.
using XHandler = void (*)(int exception);

// Posts `handler` for `exception` (one of X_ACV..X_IPC) and installs the
// signal catching for it.  Returns the previously posted handler (nullptr when
// none).  An unknown exception code raises SYS_ERROR.
XHandler xwhen(int exception, XHandler handler);

// Operating system's code and text of the last signal turned into an
// exception (code 0 and empty text when the system gave no detail).  The text
// is cut to `maxch` characters.
int zxgmes(std::string& text, std::size_t maxch = 1023);

// Resets the interrupt state (re-arms interrupt catching, forgets a pending
// interrupt).
void intrrt();

// Removes all posted handlers and restores the default signal actions (used by
// tests).
void xwhen_reset();

}  // namespace vos
