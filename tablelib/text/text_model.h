// The in-memory model of a text table: one array per column (doubles, ints
// or strings), one cell per allocated row.  Shared by the reader, the writer
// and the element access of the text back end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbtypes.h"

namespace tbtext {

// A column's cells.  Only the array of the column's type is used: double
// (type 7), int (type 4) or string (type -N, at most N characters).
struct TextColumn : tbl::BackendData {
  std::vector<double> d;
  std::vector<int> i;
  std::vector<std::string> s;
};

// Per-table state of the text back end.
struct TextTable : tbl::BackendData {
  bool load_failed = false;  // reading the file failed: never rewrite it
};

// The cells of a text table's column; raises when the column has none.
TextColumn& cells(tbl::Column* cp);

// Column kinds as stored in memory.
inline bool is_double(const tbl::Column* cp) { return cp->dtype == tbl::kTyDouble; }
inline bool is_int(const tbl::Column* cp) { return cp->dtype == tbl::kTyInt; }
inline bool is_text(const tbl::Column* cp) { return cp->dtype < 0; }
inline std::size_t text_width(const tbl::Column* cp) {
  return static_cast<std::size_t>(-cp->dtype);
}

// Resizes a column's array to `rows` cells, new cells undefined.
void resize_cells(tbl::Column* cp, int rows);

// Sets one cell undefined; raises `message` for a column of another type.
void undefine(tbl::Column* cp, int row, const char* message);

// Grows the allocated rows to at least `rows` through the table-size change.
void grow_rows(tbl::Table* tp, int rows);

// Raises a table-library error.
[[noreturn]] void fail(int code, const std::string& message);

// Number conversions shared by reading and element access.
// Reads the leading number of `text` (as VOS reads it); false when none.
bool read_double(std::string_view text, double& v);
bool read_long(std::string_view text, long& v);
// Nearest int, halves away from zero; undefined or out of range gives the
// undefined int.
int round_int(double v);

// True when `fmt` is a single conversion ("%[-][0][w][.p]C", nothing else)
// whose letter suits a column of type `dtype`.
bool format_fits(std::string_view fmt, int dtype);

// The print format to use for a column: its own when it fits the type,
// else the type's default.
std::string usable_format(const tbl::Column* cp);

// Writes the whole table to its file (in place under the file layer's
// journal, or to a new file that appears whole at the end) or to the
// standard output or error stream.
void tbzwrt(tbl::Table* tp);

// The text of one string cell as written in a data line: quoted (with
// embedded double quotes escaped by a backslash) when it is empty, all blank,
// holds a blank between words, or holds "#", a quote or a backslash; a
// blank goes before the closing quote of a text ending in a backslash.
std::string quote_cell(std::string_view text);

// One data line (without its newline) for row `row`.
std::string data_line(tbl::Table* tp, int row);

}  // namespace tbtext
