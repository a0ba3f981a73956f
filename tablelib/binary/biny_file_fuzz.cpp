// Fuzz target: column-ordered binary table files.  The input is the file; its
// table-type word (the ninth 32-bit word of the size record) is set to 12
// so that the input stays a column-ordered table whatever the mutation did to
// it.  The table is opened through c_tbtopn and read whole; a table that
// reads cleanly must read back the same after being written anew as a
// column-ordered table (columns, cells, header parameters).
#include <cstdint>
#include <vector>

#include "fuzz/table_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(data, data + size);
  if (file.size() >= 36) {
    file[32] = file[33] = file[34] = 0;
    file[35] = 12;
  }
  fuzz::table_file_input(file.data(), file.size(), ".tab", 12, true);
  return 0;
}
