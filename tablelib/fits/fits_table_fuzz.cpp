// Fuzz target: FITS files.  The input is the file, opened through c_tbtopn
// as a table (its first extension) and read whole through CFITSIO and the
// FITS back end; a table that reads cleanly must read back the same after
// being written anew as a FITS binary table.  Its primary header is also
// opened as a header-only table and read whole.
#include <cstdint>

#include "fuzz/table_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::table_file_input(data, size, ".fits", 14, true, {"[0]"});
  return 0;
}
