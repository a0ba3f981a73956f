// Fuzz target: row-ordered binary table files.  The input is the file (its
// table-type word set to 11, so that it stays a row-ordered table), opened
// through c_tbtopn and read whole; a table that reads cleanly must read back
// the same after being written anew as a row-ordered table (columns, cells,
// header parameters).
#include <cstdint>

#include "fuzz/table_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::binary_file_input(data, size, 11);
  return 0;
}
