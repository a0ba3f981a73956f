// Shared pieces of the FITS back end: the FITS handle of a table and helpers
// used by the open/create, column, element and header files.
#pragma once

#include <string>
#include <string_view>

#include "fits_io.h"
#include "tablelib/tbtypes.h"

namespace tbl {

// The open FITS file of a table (Table::fits).
struct FitsHandle {
  fitsfile* f = nullptr;
};

}  // namespace tbl

namespace tbfits {

// The CFITSIO file of an open FITS table; raises when the table has none.
fitsfile* fptr(tbl::Table* tp);

// Raises a table-library error (code, message).
[[noreturn]] void fail(int code, const std::string& message);

// Finds the table's HDU from its HDU number, EXTVER and EXTNAME and moves
// there.  Returns the library's HDU number (0 primary, n the n-th
// extension), or -2 when an HDU chosen by name or version does not exist;
// fills the EXTNAME and EXTVER found (empty / -1 when absent) and the
// CFITSIO HDU type.
int tbffnd(tbl::Table* tp, std::string& extname, int maxch, int& extver, int& hdutype);

// The file name without its directory ("root.ext").
std::string tbfrot(std::string_view filename);

// Column keyword "TTYPE12" and friends.
std::string column_key(const char* stem, int n);

}  // namespace tbfits
