// Storage-type detection: the type of a table from its file's first bytes,
// or from its name's extension when the file does not exist.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "tablelib/tables.h"
#include "tbbytes.h"
#include "tbfile.h"
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

  std::array<unsigned char, 2880> buf{};
  long nread = vos::read_head(fname, buf.data(), 2880);
  if (nread < 0) nread = vos::read_head(fname + ".tab", buf.data(), 2880);
  if (nread < 0) {
    exists = 0;
    const std::size_t n = fname.size();
    if (ends_with(fname, ".fits") || ends_with(fname, ".fit") ||
        (n >= 4 && fname[n - 4] == '.' && fname[n - 1] == 'f'))
      return kFitsTable;
    return kRowOrdered;
  }

  if (nread <= 0) return kTextTable;

  int type = 0;
  // (The first 1440 two-byte units, as a binary file is read: a last odd
  // byte counts as a unit.)
  if (nread >= 2879) {
    if ((starts_with_at(buf.data(), 0, "SIMPLE  =                    T") ||
         starts_with_at(buf.data(), 0, "SIMPLE  =                    F")) &&
        starts_with_at(buf.data(), 80, "BITPIX  =                ") &&
        starts_with_at(buf.data(), 160, "NAXIS   =                "))
      type = kFitsTable;
    if (std::find(buf.begin(), buf.begin() + 1440, '\n') != buf.begin() + 1440) type = 0;
  }
  if (type == 0 && nread >= 47) {
    int t = get_i32(buf.data() + 32);
    if (t == kRowOrdered || t == kColOrdered) type = t;
    if (type != 0 && get_i32(buf.data() + 36) < 0) type = 0;
  }
  return type == 0 ? kTextTable : type;
}

}  // namespace tbl
