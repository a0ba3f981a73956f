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
};

// Binary-table TFORM (rL or rAw) with the column's scaling.  Refuses complex
// double, variable-length arrays and anything it does not recognize
// (including a zero repeat or width for A) with error 1.
ColumnForm tbftyb(std::string_view tform, double tscal, double tzero);

// ASCII-table TFORM (Aw, Dw.d, Ew.d, Fw.d, Iw); array length 1.  The width of
// a scaled I column's print format decides between real and double, so the
// caller passes it (-1 when the format gives none).
ColumnForm tbftya(std::string_view tform, double tscal, double tzero, int print_width);

// The binary-table TFORM written for a column of the given storage type and
// array length (1J, 10E, 20A, 60A20).
std::string binary_tform(int storage_type, int nelem);

// Print format ("%12.5g", "%-20s") to display format ("G12.5", "A20");
// refuses an unknown conversion with error 1 "bad print format `%s'".
std::string tbfptf(std::string_view print_format);

// TFORM for a new column of an ASCII table.
std::string tbftfo(int data_type, int display_width, std::string_view print_format);

// The width in a print format (the number after "%" or "%-"), -1 when none.
int print_width(std::string_view print_format);

}  // namespace tbftform
