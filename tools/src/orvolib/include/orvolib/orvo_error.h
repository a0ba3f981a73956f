// The tool's messages: one table of 65 numbered texts, each line written as
// the text, " (", a printf-formatted detail and ")".  A fatal error ends the
// process with status 1; a warning marks the run as failed; information and
// debug lines just return.
#pragma once

// Number of message codes (0 to 64).
inline constexpr int ORVO_NCODES = 65;

// Message codes this tool raises.
enum orvo_code : int {
  ORVO_BADCODE = 0,
  ORVO_OPENFILE = 1,
  ORVO_DATEFORMAT = 12,
  ORVO_WRITEFILE = 15,
  ORVO_TOOLONG = 21,
  ORVO_NARGS = 23,
  ORVO_NWIDTHS = 24,
  ORVO_NOTHRUCOL = 25,
  ORVO_RECURSIVE = 26,
  ORVO_NOLOGICAL = 27,
  ORVO_NOTHRUMATCH = 30,
  ORVO_NOROWS = 41,
  ORVO_INSTALLDATE = 42,
  ORVO_BADOPTNAME = 43,
  ORVO_BADOPTION = 44,
  ORVO_QRYSYNTAX = 47,
};

// Hook levels.
enum orvo_level : int { ORVO_LEVEL_INFO = 0, ORVO_LEVEL_WARN = 1, ORVO_LEVEL_FATAL = 2, ORVO_LEVEL_DEBUG = 3 };

// The text of each code.
extern const char* const error_msg[ORVO_NCODES];

// 0 at start; set to 1 by every warning.
extern int orvo_errorflag;

// When set, finished lines go to the hook instead of the standard error
// stream.  Null at start; the tool never sets it (tests do).
using orvo_hook = void (*)(int level, const char* line);
extern orvo_hook orvo_errhandler;

// Longest line written, without its NUL.
inline constexpr int ORVO_MAXLINE = 511;

// Fatal error: writes the line and ends the process with status 1.
[[noreturn]] void orvo_error(int code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Warning: writes the line, sets orvo_errorflag, returns.
void orvo_warn(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Information: writes the line, returns.
void orvo_info(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Debug line "-DEBUG- (detail)", written only when ORVO_DEBUG was set at
// the first debug call.
void orvo_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Hands a finished text to the hook, or writes it unchanged to the standard
// error stream; level 1 sets orvo_errorflag, level 2 ends the process with
// status 1.
void orvo_message(int level, const char* text);
