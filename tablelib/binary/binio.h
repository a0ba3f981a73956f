// File transfers and descriptor helpers shared by the binary back ends.
// Positions are 1-based 2-byte chars; lengths are chars unless named bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tablelib/tbtypes.h"
#include "bincell.h"

namespace tbbin {

// Raises the table error `code` with `message` (never returns).
[[noreturn]] void fail(int code, const std::string& message);

// Reads exactly `nchars` chars at `pos` into `buf`.  Fewer chars (a file
// that ends early) raise table error 1 "<who>:  unexpected end of file":
// the one place where a short read of table data is reported.
void read_at(int fd, long pos, void* buf, long nchars, const char* who);

// Reads up to `nchars` chars at `pos` into `buf`; returns the chars read
// (fewer at the end of the file, 0 past it).
long read_upto(int fd, long pos, void* buf, long nchars);

// Writes `nchars` chars from `buf` at `pos` (file-layer errors pass through).
void write_at(int fd, long pos, const void* buf, long nchars);

// Chars one block move holds in memory at once (1 MB).
inline constexpr long kMoveChars = 1L << 19;

// Moves the `nchars` chars at `from` to `to` within the file, in runs of at
// most kMoveChars chars.  Each run is read whole before it is written, and
// the runs go in the order that never overwrites chars not yet moved
// (ascending when moving towards the start, descending otherwise), so the
// two ranges may overlap.  A short read raises "<who>:  unexpected end of
// file"; the first failure ends the move with the runs before it done.
void move_chars(int fd, long from, long to, long nchars, const char* who);

// Chars of one element of column `cp` (string: its storage length).
int elem_chars(const tbl::Column* cp);

// Raises table error 1 "<who>:  column lies outside the row; table
// corrupted?" unless `chars` chars from the column's offset lie within the
// allocated row (the guard for column records read from a damaged file).
void check_in_row(const tbl::Table* tp, const tbl::Column* cp, long chars, const char* who);

// The null row of a row-ordered table, made at least as long as the
// allocated row length (new chars zero).
std::vector<unsigned char>& null_row(tbl::Table* tp);

// Char offset of element (row, 1) of column `cp` in a column-ordered table.
long yoff(const tbl::Table* tp, const tbl::Column* cp, int row);

// The table's real columns 1..min(count, number of columns), never the
// selected-column view.
std::vector<tbl::Column*> real_columns(tbl::Table* tp, int count);

// Writes the stored null value of `cp`'s type over `n` elements at `p`.
void fill_null(unsigned char* p, const tbl::Column* cp, long n);

// Writes the header area of a freshly opened binary file: the size record,
// blank parameter records, the column records and number-only records for
// the free column slots.
void write_header(tbl::Table* tp);

// Drops the new file a failed operation was making, ignoring further errors.
void discard_file(int fd);

// Opens a new binary file for `tp` (staged: it appears at its name, whole,
// when the table is closed) and runs `fill`; on failure the file is
// dropped, so a failed creation leaves nothing.
int open_new(tbl::Table* tp);
template <class F>
void create_file(tbl::Table* tp, F fill) {
  int fd = open_new(tp);
  try {
    fill();
  } catch (...) {
    discard_file(fd);
    tp->fd = 0;
    throw;
  }
}

}  // namespace tbbin

namespace tbl {

// Column-ordered helpers used across the back end's files.
int tbyoff(Table* tp, Column* cp, int row);
void tbyscn(Table* tp, int fd, Column** cols, int n, int first, int last);
void tbyncn(Table* tp, Column** cols, int n);

}  // namespace tbl
