// Load files: the plain-text form of an in-memory table.
//
// Header lines "KEYWORD = value" up to ENDHEADER, then per row lines
// "COLUMN = value" ended by ENDROW, then ENDFILE.  Blank lines and "#"
// comment lines are skipped; a COMMENT key keeps its raw text and every
// following line up to the next END line.  A line holds at most 78
// characters before its newline.
#pragma once

#include <cstdio>

#include "loadfile/table.h"

// Line kinds returned by which_load_token.
enum load_token : int {
  LOAD_NONEWLINE = 0,  // too long, or an unterminated last line
  LOAD_EOF = 1,
  LOAD_BLANK = 2,
  LOAD_COMMENT = 3,
  LOAD_TEXT = 4,
  LOAD_ENDROW = 5,
  LOAD_ENDHEADER = 6,
  LOAD_ENDFILE = 7,
};

// The reader's state.
struct load_reader {
  std::FILE* file = nullptr;
  char line[81] = {};
  int kind = LOAD_EOF;
  int line_number = 0;
  int row = 0;
  bool comment_mode = false;
};

// Reads the next line into the state and returns its kind.
int which_load_token(load_reader* r);

// The table of a load file, or null with the message in lod_error.
table* read_loadfile(const char* path);

// Writes a table as a load file; 0, or -1 with lod_error "Cannot open
// loadfile" (not created) or "Cannot write loadfile" (a write or the close
// failed; a regular file is then removed).
int write_loadfile(const char* path, table* t);
