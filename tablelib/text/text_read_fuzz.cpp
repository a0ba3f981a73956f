// Fuzz target: text table files.  The input is the file, opened through
// c_tbtopn and read whole (column definitions, keyword lines, comments,
// quoted and continued values); a table that reads cleanly must read back
// the same after being written anew as a text table.
#include <cstdint>

#include "fuzz/table_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::table_file_input(data, size, ".txt", 13, true);
  return 0;
}
