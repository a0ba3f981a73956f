// Shared pieces of the FITS back end: the FITS handle of a table and helpers
// used by the open/create, column, element and header files.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "fits_io.h"
#include "tablelib/tbtypes.h"

namespace tbl {

// The open FITS file of a table (Table::fits).  A file open for writing is
// edited in a temporary copy beside it, which replaces it at close
// (fits_file.cpp).
struct FitsHandle {
  fitsfile* f = nullptr;
  bool writing = false;
  std::string path;             // host file
  int fd = 0;                   // file-layer descriptor (0: CFITSIO reads the file itself)
  long long size = 0;           // length of the file as CFITSIO wrote it
  bool failed = false;          // a transfer failed: the change is rolled back at close
  long failed_at = 0;           // tbfio::tbferr_count() when it failed
  std::unique_ptr<tbfio::Backing> backing;  // the file as CFITSIO's file
  FitsHandle() = default;
  FitsHandle(const FitsHandle&) = delete;
  FitsHandle& operator=(const FitsHandle&) = delete;
  ~FitsHandle();                // discards whatever is still open
};

}  // namespace tbl

namespace tbfits {

// The CFITSIO file of an open FITS table; raises when the table has none.
fitsfile* fptr(tbl::Table* tp);

// Opens the FITS file `host` for writing: an existing file is changed in
// place under the file layer's rollback journal; a new one (`create`:
// `host` does not exist yet) is staged and gets its name at close.  Fills
// `h` and returns the CFITSIO handle; on failure `h` holds nothing open.
fitsfile* open_for_writing(tbl::FitsHandle& h, const std::string& host, bool create);

// Opens the existing FITS file `host` for reading: through the file layer,
// or by CFITSIO itself when it is not a plain FITS file (compressed).
// Fills `h` and returns the CFITSIO handle; on failure `h` holds nothing
// open.
fitsfile* open_for_reading(tbl::FitsHandle& h, const std::string& host);

// Closes the file of `h` (forgotten first, whatever the close returns).  A
// file open for writing then commits its change (a new file appears whole),
// unless `discard` or a failed transfer says to leave the file as it was:
// the change is then rolled back (a new file never appears).  Raises the first failure; with `discard` it raises nothing but a
// failed transfer that no error has reported yet.
void close_file(tbl::FitsHandle& h, bool discard);

// Raises a table-library error (code, message).
[[noreturn]] void fail(int code, const std::string& message);

// Finds the table's HDU from its HDU number, EXTVER and EXTNAME and moves
// there.  Returns the library's HDU number (0 primary, n the n-th
// extension), or -2 when an HDU chosen by name or version does not exist;
// fills the EXTNAME and EXTVER found (empty / -1 when absent) and the
// CFITSIO HDU type.
int tbffnd(tbl::Table* tp, std::string& extname, int maxch, int& extver, int& hdutype);

// Whole files (fits_whole.cpp).  Each check raises, naming the table's
// file, before anything in it changes.
// HDU `hdunum` (1: the primary) and every HDU after it must be whole:
// each header ends with END, each data unit ends inside the file, and the
// file ends where the last HDU does.  Leaves the file at HDU `hdunum`.
void check_whole_from(tbl::Table* tp, int hdunum);
// The same from the table's own HDU on, once for the table: after it
// passes (or mark_whole) it passes at once.
void check_table_whole(tbl::Table* tp);
// The table's own HDU (the current one) must end inside the file.
void check_hdu_whole(tbl::Table* tp);
// Tells that the table's HDU and every HDU after it are whole (a table just
// made); forget_whole drops that for a table (re)opened on a file.
void mark_whole(tbl::Table* tp);
void forget_whole(tbl::Table* tp);

// The file name without its directory ("root.ext").
std::string tbfrot(std::string_view filename);

// Column keyword "TTYPE12" and friends.
std::string column_key(const char* stem, int n);

// The text a get gives for a string element CFITSIO read as `raw` (a part
// of it): trailing blanks dropped, cut to maxch characters, trailing blanks
// dropped again.  `undefined` tells whether the element is empty or INDEF
// before the cut.
std::string_view string_text(std::string_view raw, std::size_t maxch, bool& undefined);

}  // namespace tbfits
