// Column formats of FITS tables: TFORM codes in both directions and the
// translation of print formats into display formats (TDISP).
#pragma once

#include <string>
#include <string_view>

namespace tbftform {

// What a TFORM says about a column.  Types are column data type codes
// (1 bool, 3 short, 4 int, 6 real, 7 double, -N string of N characters).
struct ColumnForm {
  int storage_type = 0;  // type as stored in the file
  int data_type = 0;     // type as callers see it (differs for scaled integers)
  int nelem = 1;         // array length
  int length = 0;        // cell length in 2-byte characters
  char letter = 0;       // the TFORM type letter, upper case
  bool wide = false;     // 64-bit integers (binary K, ASCII I of 10 digits or more)
                         // held as doubles
};

// Binary-table TFORM (rL or rAw) with the column's scaling.  A scaled E
// column is double, as scaled integer columns are promoted: its physical
// values need more than a float.  K (64-bit integers) is double too, marked
// wide.  A repeat of 0 is a column without elements (array length 0).
// Refuses complex double, variable-length arrays and anything it does not
// recognize (including a zero repeat or width for A) with error 1.
ColumnForm tbftyb(std::string_view tform, double tscal, double tzero);

// ASCII-table TFORM (Aw, Dw.d, Ew.d, Fw.d, Iw); array length 1.  The width of
// a scaled I column's print format decides between real and double, so the
// caller passes it (-1 when the format gives none).  An unscaled I column
// of 10 characters or more may hold integers beyond an int: it is double,
// marked wide.
ColumnForm tbftya(std::string_view tform, double tscal, double tzero, int print_width);

// The binary-table TFORM written for a column of the given storage type and
// array length (1J, 10E, 20A, 60A20).
std::string binary_tform(int storage_type, int nelem);

// Print format ("%12.5g", "%-20s") to display format ("G12.5", "A20");
// refuses an unknown conversion with error 1 "bad print format `%s'".
std::string tbfptf(std::string_view print_format);

// The display format (TDISP) of a binary-table column stored as
// `storage_type`: tbfptf's, except that an integer display of a float or
// double column ("%20d" of 64-bit integers held as doubles) becomes Fw.0,
// as FITS allows Iw for integer columns only.
std::string column_display(int storage_type, std::string_view print_format);

// TFORM for a new column of an ASCII table.
std::string tbftfo(int data_type, int display_width, std::string_view print_format);

// The width in a print format (the number after "%" or "%-"), -1 when none.
int print_width(std::string_view print_format);

}  // namespace tbftform
