// Fuzz target: a journal found beside a table.  The input is the journal;
// the table is a fixed file of 12,388 bytes.  Rolling it back must end in
// one of two ways: refused with an error, both files left as they were; or
// done, the journal gone and the table cut to the original size its header
// gives (a journal without a whole header changes nothing at all).
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "vos/error.h"
#include "vos/files.h"

namespace {

constexpr std::size_t kTable = 3 * 4096 + 100;

std::string table_bytes() {
  std::string t(kTable, '\0');
  for (std::size_t i = 0; i < kTable; ++i) t[i] = static_cast<char>((i * 7) & 0xff);
  return t;
}

unsigned long long header_size(const std::uint8_t* data, std::size_t size, bool& whole) {
  whole = size >= 32 && (std::memcmp(data, "qrljrnl1", 8) == 0 || std::memcmp(data, "qrljrnl2", 8) == 0);
  unsigned long long block = 0, orig = 0;
  for (int i = 0; whole && i < 4; ++i) block = (block << 8) | data[8 + i];
  for (int i = 0; whole && i < 8; ++i) orig = (orig << 8) | data[16 + i];
  if (block == 0 || block > (1u << 24) || orig >= (1ULL << 63)) whole = false;
  return orig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::clear_scratch();
  const std::string table = fuzz::scratch_path("t.tab");
  const std::string journal = table + "-journal";
  const std::string before = table_bytes();
  if (!fuzz::write_file(table, before) || !fuzz::write_file(journal, data, size)) return 0;
  bool refused = false;
  try {
    vos::recover(table);
  } catch (const vos::Error& e) {
    refused = true;
    fuzz::trace("refused: " + e.message());
  }
  const std::string after = fuzz::read_file(table);
  const bool journal_left = vos::access(journal);
  if (refused) {
    if (after != before) fuzz::fail(__FILE__, __LINE__, "after == before", "a refused rollback wrote");
    if (!journal_left) fuzz::fail(__FILE__, __LINE__, "journal_left", "a refused rollback removed the journal");
    return 0;
  }
  if (journal_left) fuzz::fail(__FILE__, __LINE__, "!journal_left", "the journal stayed");
  bool whole = false;
  const unsigned long long orig = header_size(data, size, whole);
  if (!whole && after != before)
    fuzz::fail(__FILE__, __LINE__, "after == before", "a journal without a header changed the table");
  if (whole && after.size() != orig)
    fuzz::fail(__FILE__, __LINE__, "after.size() == orig",
               std::to_string(after.size()) + " bytes, header says " + std::to_string(orig));
  fuzz::trace(whole ? "rolled back" : "no header");
  return 0;
}
