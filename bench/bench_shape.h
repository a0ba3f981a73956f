// The table the table benchmarks work on: a double "d", an int "i" and a
// text "t" of kShapeText characters per row, defined through the c_ entry
// points or made as a FITS binary table (1D, 1J, 16A) by CFITSIO.
#pragma once

#include <fitsio.h>

#include <string>

#include "halvo/c_tables.h"

namespace bench {

constexpr int kShapeText = 16;

// Defines the three columns of the table `tp` (not yet created); `cols`
// receives them.
inline void define_shape(TablePtr tp, ColumnPtr* cols) {
  c_tbcdef1(tp, &cols[0], "d", "", "", TBL_TY_DOUBLE, 1);
  c_tbcdef1(tp, &cols[1], "i", "", "", TBL_TY_INT, 1);
  c_tbcdef1(tp, &cols[2], "t", "", "", -kShapeText, 1);
}

// A new FITS file `name` holding an empty primary array and an empty binary
// table of the three columns, left open on that table (CFITSIO's status in
// `status`).
inline fitsfile* new_fits_shape(const std::string& name, int* status) {
  fitsfile* f = nullptr;
  ffinit(&f, name.c_str(), status);
  char* ttype[] = {const_cast<char*>("d"), const_cast<char*>("i"), const_cast<char*>("t")};
  char* tform[] = {const_cast<char*>("1D"), const_cast<char*>("1J"), const_cast<char*>("16A")};
  char* tunit[] = {const_cast<char*>(""), const_cast<char*>(""), const_cast<char*>("")};
  ffcrtb(f, BINARY_TBL, 0, 3, ttype, tform, tunit, "", status);
  return f;
}

}  // namespace bench
