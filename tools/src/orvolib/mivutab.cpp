// The output table writer.
#include "orvolib/mivutab.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "halvo/c_tables.h"
#include "orvolib/catalog.h"
#include "orvolib/orvo_error.h"

namespace {

const int kMaxHeaderParams = 6;
const int kExtraKeywords = 5;

// The files a new table of this name may create: the name without any
// bracket part, and that name with ".tab" when it has no extension (the
// table library's own binary format adds it).
std::vector<std::string> output_files(const char* name) {
  std::string file(name);
  std::size_t bracket = file.find('[');
  if (bracket != std::string::npos) file.resize(bracket);
  std::vector<std::string> files;
  if (file.empty() || file == "STDOUT" || file == "STDERR") return files;
  files.push_back(file);
  char ext[128];
  breakfname(file.c_str(), nullptr, nullptr, ext, 127);
  if (ext[0] == '\0') files.push_back(file + ".tab");
  return files;
}

// The whole contents of a readable file.
std::optional<std::string> contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
}

// Remembers the output files as they were before the write, so that a
// failed write removes the files it created and puts back the bytes of an
// existing file it was appending to (a FITS file gains an extension).
class output_guard {
 public:
  explicit output_guard(const char* name) : name_(name) {
    for (const std::string& f : output_files(name)) {
      struct stat st;
      if (::stat(f.c_str(), &st) != 0) {
        created_.push_back(f);
      } else if (S_ISREG(st.st_mode)) {
        if (auto bytes = contents(f)) kept_.push_back({f, *bytes});
      }
    }
  }

  // Ends the run with fatal error 15 when the binding reports a failure.
  void check() {
    if (c_voserr() == 0) return;
    for (const std::string& f : created_) ::unlink(f.c_str());
    for (const auto& [f, bytes] : kept_) {
      if (contents(f) == bytes) continue;
      std::ofstream out(f, std::ios::binary | std::ios::trunc);
      out << bytes;
    }
    orvo_error(ORVO_WRITEFILE, "%s", name_);
  }

 private:
  const char* name_;
  std::vector<std::string> created_;
  std::vector<std::pair<std::string, std::string>> kept_;
};

}  // namespace

void write_mivutab(table* t, int count, const int* widths, const char* name) {
  if (t->ncols != count) orvo_error(ORVO_NWIDTHS, "%d", count);
  output_guard guard(name);
  TablePtr tp = c_tbtopn(name, TBL_NEW_FILE, nullptr);
  guard.check();
  c_tbpset(tp, kMaxHeaderParams, t->keys.count + kExtraKeywords);
  guard.check();
  std::vector<ColumnPtr> columns(static_cast<std::size_t>(count));
  for (int c = 0; c < count; ++c) {
    c_tbcdef1(tp, &columns[static_cast<std::size_t>(c)], get_tab_colname(t, c), "", "", -widths[c], 1);
    guard.check();
  }
  c_tbtcre(tp);
  guard.check();
  std::string cell;
  for (int r = 0; r < t->rows; ++r) {
    for (int c = 0; c < count; ++c) {
      cell = get_tab_cell_bynum(t, c, r);
      if (static_cast<int>(cell.size()) > widths[c]) cell.resize(static_cast<std::size_t>(widths[c]));
      c_tbeptt(tp, columns[static_cast<std::size_t>(c)], r + 1, cell.c_str());
      guard.check();
    }
  }
  if (is_fitsname(name)) {
    c_tbtclo(tp);
    guard.check();
    std::string primary = std::string(name) + "[0]";
    tp = c_tbtopn(primary.c_str(), TBL_READ_WRITE, nullptr);
    guard.check();
  }
  for (int k = 0; k < t->keys.count; ++k) {
    c_tbhadt(tp, get_tab_keyname_bynum(t, k), get_tab_keyval_bynum(t, k));
    guard.check();
  }
  c_tbtclo(tp);
  guard.check();
}
