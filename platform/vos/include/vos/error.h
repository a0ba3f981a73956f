// VOS errors: a numeric code and a message, raised as a C++ exception and
// caught by the nearest error-catching block (in practice, every host-binding
// entry frame).  This is the failure convention of the whole table library.
//
// Besides the exception itself the layer keeps one pending-error state (what
// `errget` reports): a caught error is posted there by `iferr`/`catch_error`,
// and `erract` then decides what happens to it (re-raise, fatal end of the
// process, warning, or clear).
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vos {

// A raised VOS error.  `code` is the VOS/table-library error code, `message`
// the text exactly as it is to be reported (e.g. "tbcgtd:  invalid data type").
class Error : public std::exception {
 public:
  Error(int code, std::string message) : code_(code), message_(std::move(message)) {}
  int code() const noexcept { return code_; }
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int code_;
  std::string message_;
};

// Longest message the error state keeps (longer ones are cut).
inline constexpr std::size_t kMaxErrorMessage = 1023;

// Error codes of the layer's own failures.
enum : int {
  SYS_ERROR = 1,        // generic (syntax errors, bad arguments)
  SYS_MFULL = 1101,     // out of memory
  SYS_FOPEN = 1201,     // cannot open a file
  SYS_FCLOSE = 1202,    // bad file descriptor / not open
  SYS_FREAD = 1203,     // read failed
  SYS_FWRITE = 1204,    // write failed
  SYS_FSEEK = 1205,     // seek failed
  SYS_FDELETE = 1206,   // delete failed
  SYS_FRENAME = 1207,   // rename failed
  SYS_FACCESS = 1208,   // file exists (new-file mode) or bad access mode
  SYS_FMKTEMP = 1209,   // cannot make a temporary file name
  SYS_FCOPY = 1210,     // copy failed
  SYS_FMODE = 1211,     // illegal file mode or type for the operation
  SYS_FLOCKED = 1212,   // a reader met the file's writer (or a writer its readers) past the
                        // time-out, or in this program: the same call may pass later
};

// Error actions for `erract`.
enum : int {
  EA_CLEAR = 0,     // forget the pending error
  EA_FATAL = 1,     // end the process through the error-action hook
  EA_ERROR = 2,     // re-raise the pending error (throws vos::Error)
  EA_WARN = 3,      // report the pending error as a warning and clear it
  EA_RESTART = -99  // reset the error machinery (clears the pending error)
};

// Raises a VOS error: never returns.
[[noreturn]] void error(int code, std::string_view message);

// Raises a fatal VOS error: posts it and runs the error action EA_FATAL, which
// ends the process (see set_error_action_hook).  Never returns.
[[noreturn]] void fatal(int code, std::string_view message);

// ---- pending-error state -------------------------------------------------

// Posts an error as pending without raising it (code, message cut to
// kMaxErrorMessage).
void post_error(int code, std::string_view message);

// True while a posted error has not been cleared.
bool error_pending();

// Code of the pending error (0 when none) and its message into `message`
// (empty when none).
int errget(std::string& message);

// Clears the pending error (same as erract(EA_CLEAR)).
void xerret();

// Acts on the pending error: EA_CLEAR clears it; EA_ERROR re-raises it as
// vos::Error (and clears the state); EA_WARN reports it through the hook as a
// warning and clears it; EA_FATAL hands it to the hook, which ends the process;
// EA_RESTART resets.  With no error pending every action but EA_FATAL does
// nothing.
void erract(int action);

// The error-action hook decides what EA_WARN and EA_FATAL do.  The default
// writes "VOS warning: %s (%d)\n" for a warning, and for a fatal error
// "VOS fatal error: %s (%d)\nAborting...\n" to stderr, flushes and exits with
// status -1.  The host binding installs its own.  A fatal hook must not return
// (if it does, the process exits with status -1).  Returns the previous hook.
using ErrorActionHook = void (*)(int action, int code, const std::string& message);
ErrorActionHook set_error_action_hook(ErrorActionHook hook);

// ---- error-catching blocks ----------------------------------------------

// Number of error-catching blocks currently open (iferr/catch_error and every
// ErrorBlock).  The host binding's error action looks at it.
int open_error_blocks();

// RAII marker of an open error-catching block (counts in open_error_blocks).
class ErrorBlock {
 public:
  ErrorBlock();
  ~ErrorBlock();
  ErrorBlock(const ErrorBlock&) = delete;
  ErrorBlock& operator=(const ErrorBlock&) = delete;
};

// Runs `body` inside an error-catching block.  Returns false when it finished
// normally; when it raised vos::Error the error is posted as pending (see
// errget) and true is returned.  Other exceptions pass through.
template <class F>
bool iferr(F&& body) {
  ErrorBlock block;
  try {
    body();
    return false;
  } catch (const Error& e) {
    post_error(e.code(), e.message());
    return true;
  }
}

// ---- clean-up procedures ---------------------------------------------------

// Posts a clean-up procedure to be run by xonerr (at error recovery or by an
// explicit call).  Procedures run in the order posted and are then dropped.
using OnErrorProc = void (*)(int status);
void onerror(OnErrorProc proc);

// Removes a posted procedure (no-op when not posted).
void onerror_remove(OnErrorProc proc);

// Runs and drops every posted clean-up procedure with `status`.  A procedure
// that raises does not stop the others; the first such error is re-raised
// after all ran.
void xonerr(int status);

}  // namespace vos
