// Fuzz target: load files.  The input is the file, read into a table; a
// table read is written back as a load file, and when every line written
// fits the format (78 characters before the newline), reading that file
// gives the same keywords, columns and cells.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "loadfile/loadfile.h"
#include "loadfile/table.h"

namespace {

// A value as it survives a load file: a COMMENT value written as a line
// reads back ending in that line's end, so an empty one reads back as a
// line end alone; the comparison leaves that line end out.
std::string kept(const char* name, const char* value) {
  std::string v = value != nullptr ? value : "(none)";
  if (std::strcmp(name, "COMMENT") == 0 && !v.empty() && v.back() == '\n') v.pop_back();
  return v;
}

// Keywords, columns and cells, one per line, for comparison.
std::string contents(table* t) {
  std::string out;
  for (int i = 0; get_tab_keyname_bynum(t, i) != nullptr; ++i) {
    const char* name = get_tab_keyname_bynum(t, i);
    out += std::string("key ") + name + "=" + kept(name, get_tab_keyval_bynum(t, i)) + "\n";
  }
  for (int c = 0; c < t->ncols; ++c) {
    const char* name = get_tab_colname(t, c);
    out += std::string("column ") + name + "\n";
    for (int r = 0; r < t->rows; ++r)
      out += "cell " + std::to_string(r) + "=" + kept(name, get_tab_cell_bynum(t, c, r)) + "\n";
  }
  return out;
}

bool lines_fit(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.size() > 78) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = fuzz::scratch_path("in.lod"), out = fuzz::scratch_path("out.lod");
  FUZZ_CHECK(fuzz::write_file(in, data, size), "cannot write " + in);
  table* t = read_loadfile(in.c_str());
  fuzz::trace(t != nullptr ? "read" : std::string("refused: ") + lod_error);
  if (t == nullptr) return 0;
  FUZZ_CHECK(write_loadfile(out.c_str(), t) == 0, std::string("write_loadfile: ") + lod_error);
  std::string written = fuzz::read_file(out);
  if (lines_fit(written)) {
    table* back = read_loadfile(out.c_str());
    FUZZ_CHECK(back != nullptr, std::string("the file written does not read: ") + lod_error +
                                    "\n" + written);
    std::string a = contents(t), b = contents(back);
    FUZZ_CHECK(a == b, "read back differs:\n" + a + "---\n" + b);
    free_table(back);
  }
  free_table(t);
  return 0;
}
