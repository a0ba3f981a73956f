// The table targets' common work: read an open table whole through the
// host binding's c_ entry points (every table parameter, column
// description, cell, array, row, column range and header parameter, each
// value through every getter), keep what it holds, and write that back as
// a new table, so that a table written then read can be compared with what
// was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "halvo/c_tables.h"

namespace fuzz {

// Bounds that keep one input's work small whatever sizes a file claims.
inline constexpr int kSnapMaxRows = 32;     // rows read
inline constexpr int kSnapMaxCols = 24;     // columns read
inline constexpr int kSnapMaxElems = 64;    // elements read of an array cell
inline constexpr int kSnapMaxText = 1100;   // characters read of a text value

struct SnapColumn {
  std::string name, units, format;
  int dtype = 0;
  int nelem = 1;
};

struct SnapKeyword {
  std::string name;
  int dtype = 0;
  std::string text;   // the value as tbhgnp gives it
  std::string value;  // the text (text type), else the typed value by its bits
};

// What a table holds (its first kSnapMaxCols columns and kSnapMaxRows
// rows), each value as text that compares exactly: text cells as read,
// numbers by their bits (every NaN alike).
struct Snapshot {
  int nrows = 0;   // rows the table claims
  std::vector<SnapColumn> cols;
  std::vector<std::vector<std::vector<std::string>>> cells;  // [row][col][element], rows read
  std::vector<SnapKeyword> keywords;
  bool clean = true;     // no getter reported an error
  std::string first_error;
};

// Reads the open table whole into `snap`.  Errors of the entry points are
// expected for damaged tables and only recorded; memory errors and the
// other sanitizer reports are what the targets look for.  Also checks that
// the element, row and column-range getters agree on every value they all
// deliver.
void read_whole(TablePtr tp, Snapshot* snap);

// Opens the named table read-only, reads it whole and closes it; false
// (with `snap->first_error`) when it cannot be opened.
bool read_table(const std::string& name, Snapshot* snap);

// Writes the snapshot as a new table of storage type `type` (11, 12, 13 or
// 14: a FITS table needs a FITS name): its columns, every cell read and,
// when `keywords`, its header parameters.  Returns "" or the message of the
// first call that failed.
std::string write_table(const Snapshot& snap, const std::string& name, int type, bool keywords);

// "" when the columns and cells (and, when `keywords`, the header
// parameters) are equal, else a description of the first difference.
// Header parameters of a text table (type 13) are compared by their text,
// which is all such a table keeps of them; others by their typed values.
std::string compare(const Snapshot& a, const Snapshot& b, bool keywords, int type);

// The round trip of a table read whole: write it as `type` to `name`, read
// it back and compare.  Skipped (returning true) when the first read was not
// clean or the library refuses to write what it read; false, with the
// difference in `why`, when what was read back differs.
bool round_trip(const Snapshot& snap, const std::string& name, int type, bool keywords,
                std::string* why);

// The body of the table-file targets: the input as the file in<ext> of
// the scratch directory, opened read-only through c_tbtopn and read whole;
// when it reads cleanly, the round trip through out<ext> of storage type
// `type`.  Then the file is opened and read whole again under each of the
// names in<ext><suffix> of `also`.  Starts VOS on first use.
void table_file_input(const std::uint8_t* data, std::size_t size, const std::string& ext,
                      int type, bool keywords, const std::vector<std::string>& also = {});

// The body of the binary-table targets: the input as a binary table file
// whose table-type word (the ninth 32-bit word of its size record) is set
// to `type` (11 or 12), so that it stays a table of that order whatever the
// mutation did to it; then as table_file_input with extension ".tab".
void binary_file_input(const std::uint8_t* data, std::size_t size, int type);

}  // namespace fuzz
