// The tool's message table and its four reporting routines.
#include "orvolib/orvo_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "loadfile/strfn.h"

const char* const error_msg[ORVO_NCODES] = {
    "Unrecognized error code",
    "Cannot open file",
    "Illegal value",
    "Ambiguous value",
    "Cannot determine reference file type",
    "Unrecognized data file type",
    "Record not in linked list",
    "Unrecognized rule function",
    "Internal error: value not in list",
    "Wrote file",
    "Column not found in catalog",
    "Too many keywords in catalog line",
    "Error in date format",
    "Cannot rename file",
    "Cannot process load file",
    "Cannot write to file",
    "Unrecognized instrument name",
    "Cannot determine vos directory",
    "Unrecognized reference file type",
    "Query variable not in list",
    "Can't break query at blank",
    "String too long for internal buffer",
    "File renamed",
    "Wrong number of arguments to task",
    "Number of widths does not match columns",
    "No throughput column found in table",
    "Recursive logical name translation",
    "No translation for logical name",
    "Column not found in table",
    "Rule file syntax error",
    "Match not found in throughput catalog",
    "Illegal value in template file field",
    "Unknown extension for reference file",
    "Cannot read file as its supposed type",
    "Could not match keywords in header",
    "Header keyword not found in file",
    "Cannot get number of rows in file",
    "File has already been expanded",
    "Contained file can't be renamed",
    "Can't generate unique file name",
    "Can't modify filenames in file",
    "No rows matched in database table",
    "ORVO task installation date",
    "Option name not recognized",
    "Could not parse option",
    "Only one observation may be queried",
    "Cannot pass file name list as an arg",
    "Syntax error in query format",
    "Can't get instrument from file name",
    "Observation mode not found in list",
    "Root name not found in database",
    "Reference file not found in database",
    "Too many arguments on command line",
    "Can't add column to table",
    "Database table column name is ambiguous",
    "No translation for string in dictionary",
    "Closing quote missing from string",
    "Closing dot missing from operator",
    "Too many database tables in query",
    "Database columns not found",
    "Instrument not found in database table",
    "Observation set locked in database",
    "Internal array overflow",
    "Could not sort table",
    "Invalid keyword value",
};

int orvo_errorflag = 0;
orvo_hook orvo_errhandler = nullptr;

namespace {

// Writes one finished line to the hook or the standard error stream.
void emit(int level, const char* line) {
  if (orvo_errhandler != nullptr) {
    orvo_errhandler(level, line);
  } else {
    std::fputs(line, stderr);
    std::fflush(stderr);
  }
}

// Builds "<head> (<detail>)\n" in `line` (ORVO_MAXLINE + 1 bytes).  The
// detail is formatted with a bound, so any argument text is cut, never
// overflows.
void form_line(char* line, const char* head, const char* format, va_list args) {
  char detail[ORVO_MAXLINE + 1];
  std::vsnprintf(detail, sizeof detail, format, args);
  safecopy(line, head, ORVO_MAXLINE);
  safecat(line, " (", ORVO_MAXLINE);
  safecat(line, detail, ORVO_MAXLINE);
  safecat(line, ")\n", ORVO_MAXLINE);
}

// Reports a code outside the table as fatal error 0.
[[noreturn]] void bad_code(int code) { orvo_error(ORVO_BADCODE, "%d", code); }

bool known(int code) { return static_cast<unsigned>(code) < ORVO_NCODES; }

}  // namespace

void orvo_error(int code, const char* format, ...) {
  if (!known(code)) bad_code(code);
  char line[ORVO_MAXLINE + 1];
  va_list args;
  va_start(args, format);
  form_line(line, error_msg[code], format, args);
  va_end(args);
  emit(ORVO_LEVEL_FATAL, line);
  std::exit(1);
}

void orvo_warn(int code, const char* format, ...) {
  if (!known(code)) bad_code(code);
  char line[ORVO_MAXLINE + 1];
  va_list args;
  va_start(args, format);
  form_line(line, error_msg[code], format, args);
  va_end(args);
  emit(ORVO_LEVEL_WARN, line);
  orvo_errorflag = 1;
}

void orvo_info(int code, const char* format, ...) {
  if (!known(code)) bad_code(code);
  char line[ORVO_MAXLINE + 1];
  va_list args;
  va_start(args, format);
  form_line(line, error_msg[code], format, args);
  va_end(args);
  emit(ORVO_LEVEL_INFO, line);
}

void orvo_debug(const char* format, ...) {
  static const bool on = std::getenv("ORVO_DEBUG") != nullptr;
  if (!on) return;
  char line[ORVO_MAXLINE + 1];
  va_list args;
  va_start(args, format);
  form_line(line, "-DEBUG-", format, args);
  va_end(args);
  emit(ORVO_LEVEL_DEBUG, line);
}

void orvo_message(int level, const char* text) {
  emit(level, text);
  if (level == ORVO_LEVEL_WARN) orvo_errorflag = 1;
  if (level == ORVO_LEVEL_FATAL) std::exit(1);
}
