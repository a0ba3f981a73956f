// Fuzz target: a journal found beside a table.  The first byte of the input
// says what to make of the rest, the journal: bit 0 stamps the table's own
// identity (device, file system id, inode, birth time) into its header
// (bytes 32..63), bit 1 makes the header's check right (bytes 64..71), as
// a journal the table's writer made would have them.  The
// table is a fixed file of 12,388 bytes.  Rolling it back must end in one
// of two ways: refused with an error, both files left as they were; or
// done, the journal gone and the table cut to the original size its header
// gives.  A journal whose whole header names another file, or anything
// else that is no journal, must be refused; one without a whole header
// (nothing, zeros, or the magic with a header that does not check) is
// removed and changes nothing.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "journal_check_test.h"
#include "vos/error.h"
#include "vos/files.h"

namespace {

constexpr std::size_t kTable = 3 * 4096 + 100;
constexpr std::size_t kHeader = 72;

std::string table_bytes() {
  std::string t(kTable, '\0');
  for (std::size_t i = 0; i < kTable; ++i) t[i] = static_cast<char>((i * 7) & 0xff);
  return t;
}

unsigned long long get_be(const std::string& b, std::size_t at, int bytes) {
  unsigned long long v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

void put_be(std::string& b, std::size_t at, unsigned long long v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) b[at + i] = static_cast<char>(v & 0xff);
}

// The header's check as its layout describes it: over the nonce and the
// header's first 64 bytes.
unsigned long long header_check(const std::string& j) {
  return vos_test::documented_check(get_be(j, 24, 8), j.substr(0, 64));
}

bool names_the_table(const std::string& j, const vos_test::FileIdentity& id) {
  return get_be(j, 48, 8) == id.ino && get_be(j, 56, 8) == id.birth &&
         (get_be(j, 32, 8) == id.dev || (id.fsid != 0 && get_be(j, 40, 8) == id.fsid));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::clear_scratch();
  const std::string table = fuzz::scratch_path("t.tab");
  const std::string journal_name = table + "-journal";
  const std::string before = table_bytes();
  if (!fuzz::write_file(table, before)) return 0;
  const vos_test::FileIdentity id = vos_test::identity_of(table);
  const unsigned flags = data[0];
  std::string journal(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((flags & 1) != 0 && journal.size() >= kHeader) {
    put_be(journal, 32, id.dev, 8);
    put_be(journal, 40, id.fsid, 8);
    put_be(journal, 48, id.ino, 8);
    put_be(journal, 56, id.birth, 8);
  }
  if ((flags & 2) != 0 && journal.size() >= kHeader) put_be(journal, 64, header_check(journal), 8);
  if (!fuzz::write_file(journal_name, journal)) return 0;
  bool refused = false;
  try {
    vos::recover(table);
  } catch (const vos::Error& e) {
    refused = true;
    fuzz::trace("refused: " + e.message());
  }
  const std::string after = fuzz::read_file(table);
  const bool journal_left = vos::access(journal_name);
  if (refused) {
    if (after != before) fuzz::fail(__FILE__, __LINE__, "after == before", "a refused rollback wrote");
    if (!journal_left || fuzz::read_file(journal_name) != journal)
      fuzz::fail(__FILE__, __LINE__, "journal_left", "a refused rollback touched the journal");
    return 0;
  }
  if (journal_left) fuzz::fail(__FILE__, __LINE__, "!journal_left", "the journal stayed");
  const bool whole = journal.size() >= kHeader && journal.compare(0, 8, "qrljrnl2") == 0 &&
                     get_be(journal, 64, 8) == header_check(journal);
  if (whole) {
    const unsigned long long block = get_be(journal, 8, 4), orig = get_be(journal, 16, 8);
    if (!names_the_table(journal, id) || block == 0 || block > (1u << 24) || orig >= (1ULL << 63))
      fuzz::fail(__FILE__, __LINE__, "refused", "a journal that is not the table's was rolled back");
    if (after.size() != orig)
      fuzz::fail(__FILE__, __LINE__, "after.size() == orig",
                 std::to_string(after.size()) + " bytes, header says " + std::to_string(orig));
    fuzz::trace("rolled back");
    return 0;
  }
  const std::size_t head = std::min(journal.size(), kHeader);
  const bool zeros = journal.find_first_not_of('\0', 0) >= head;
  const bool magic = journal.compare(0, std::min<std::size_t>(head, 8), std::string("qrljrnl2").substr(0, std::min<std::size_t>(head, 8))) == 0;
  if (!zeros && !magic) fuzz::fail(__FILE__, __LINE__, "refused", "a file that is no journal was removed");
  if (after != before)
    fuzz::fail(__FILE__, __LINE__, "after == before", "a journal without a header changed the table");
  fuzz::trace("no header");
  return 0;
}
