// Storage-type detection: the type of a table from its file's first bytes,
// or from its name's extension when the file does not exist.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "tbbytes.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

namespace {

bool is_std_stream(std::string_view name) {
  static constexpr std::string_view kStreams[] = {"STDIN",    "STDOUT",   "STDERR",
                                                  "STDGRAPH", "STDIMAGE", "STDPLOT"};
  return std::find(std::begin(kStreams), std::end(kStreams), name) != std::end(kStreams);
}

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The first bytes of the file `name` (at most n), or -1 when it is no
// file that can be read.  A file that exists and is readable but cannot
// be read as a file (a directory, a FIFO) is an error.
long first_bytes(const std::string& name, unsigned char* buf, long n) {
  const long got = vos::peek(name, buf, n);
  if (got < 0 && vos::access(name, vos::READ_ONLY))
    vos::error(vos::SYS_FOPEN, "Cannot open file (" + name + ")");
  return got;
}

bool starts_with_at(const unsigned char* buf, std::size_t at, std::string_view text) {
  return std::memcmp(buf + at, text.data(), text.size()) == 0;
}

}  // namespace

// Storage type of the table name (0 for an empty name); exists := 1 when the
// file (or the name with ".tab") can be opened, or the name is a stream.
int tbttyp(std::string_view name, int& exists) {
  exists = 1;
  if (is_std_stream(name)) return kTextTable;
  if (name.empty()) {
    exists = 0;
    return 0;
  }
  std::string fname(name);
  if (name.back() == ']') {
    std::string br;
    int hdu = -1;
    tbparse(name, fname, br, kSzName, hdu);
  }

  // The file's first bytes tell its type; its content is read, as one of
  // its readers, by the table's open.
  std::array<unsigned char, 2880> buf{};
  long got = first_bytes(fname, buf.data(), static_cast<long>(buf.size()));
  if (got < 0) got = first_bytes(fname + ".tab", buf.data(), static_cast<long>(buf.size()));
  if (got < 0) {
    exists = 0;
    const std::size_t n = fname.size();
    if (ends_with(fname, ".fits") || ends_with(fname, ".fit") ||
        (n >= 4 && fname[n - 4] == '.' && fname[n - 1] == 'f'))
      return kFitsTable;
    return kRowOrdered;
  }
  if (got == 0) return kTextTable;
  // Counted in 2-byte units, a final odd byte as one.
  const long nread = (got + 1) / 2;
  // A compressed file is taken for FITS, the one kind of table kept
  // compressed: its back end reads a gzip-compressed file as CFITSIO does
  // and refuses to change any.
  if (tbfcmp(buf.data(), got) != nullptr) return kFitsTable;

  int type = 0;
  if (nread >= 1440) {
    if ((starts_with_at(buf.data(), 0, "SIMPLE  =                    T") ||
         starts_with_at(buf.data(), 0, "SIMPLE  =                    F")) &&
        starts_with_at(buf.data(), 80, "BITPIX  =                ") &&
        starts_with_at(buf.data(), 160, "NAXIS   =                "))
      type = kFitsTable;
    if (std::find(buf.begin(), buf.begin() + 1440, '\n') != buf.begin() + 1440) type = 0;
  }
  if (type == 0 && nread >= 24) {
    int t = get_i32(buf.data() + 32);
    if (t == kRowOrdered || t == kColOrdered) type = t;
    if (type != 0 && get_i32(buf.data() + 36) < 0) type = 0;
  }
  return type == 0 ? kTextTable : type;
}

}  // namespace tbl
