// Fuzz target: the catalogue files and file-name translation.  The input is
// three parts separated by lines "%%": thrucat.dat (file-name patterns to
// directories), directory.dat (logical names to directories), and file
// names, one per line.  Both catalogues are read from an installation root
// in the scratch directory as the tool reads them; each file name is
// matched against the patterns and its path translated through the logical
// names, as the tool finds a throughput file.  Fatal errors (a line too
// long, a name too deeply nested or unknown) end one input, not the
// process.  Matching agrees with the C library's fnmatch wherever the two
// mean the same (no "[" or backslash in the pattern), and translations are
// cut to their room.
#include <fnmatch.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "loadfile/alist.h"
#include "loadfile/strfn.h"
#include "orvolib/catalog.h"
#include "orvolib/orvo_error.h"

namespace {

constexpr int kMaxPath = 127;  // the tool's room for a throughput path

void on_message(int level, const char*) {
  if (level == ORVO_LEVEL_FATAL) throw std::runtime_error("fatal");
}

std::vector<std::string> split(const std::string& text, const std::string& sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + sep.size();
  }
}

void check_match(const char* pattern, const char* name) {
  int ours = patmatch(pattern, name);
  if (std::strpbrk(pattern, "[\\") == nullptr)
    FUZZ_CHECK(ours == (::fnmatch(pattern, name, 0) == 0 ? 1 : 0),
               std::string("pattern '") + pattern + "' and '" + name + "': " + std::to_string(ours));
}

// One file name as the tool looks up its throughput file.
void look_up(alist* catalogue, const std::string& file) {
  for (int i = 0; i < catalogue->keys.count; ++i)
    check_match(get_text(&catalogue->keys, i), file.c_str());
  int index = 0;
  match_alist(catalogue, file.c_str(), &index);
  const char* directory = patmatch_alist(catalogue, file.c_str());
  if (directory == nullptr) return;
  char path[kMaxPath + 1];
  safecopy(path, directory, kMaxPath);
  safecat(path, file.c_str(), kMaxPath);
  char xpath[kMaxPath + 2];
  xpath[kMaxPath + 1] = 'X';
  xlate_fname(path, xpath, kMaxPath);
  FUZZ_CHECK(std::strlen(xpath) <= static_cast<std::size_t>(kMaxPath),
             "translation longer than its room: " + std::string(xpath));
  char dir[kMaxPath + 1], root[kMaxPath + 1], ext[kMaxPath + 1];
  breakfname(xpath, dir, root, ext, kMaxPath);
  is_fitsname(xpath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvo_errhandler = on_message;
  static const std::string root = fuzz::scratch_path("orvo") + "/";
  static const bool made = [] {
    std::filesystem::create_directories(root + "tools/data");
    return true;
  }();
  (void)made;
  std::vector<std::string> parts =
      split(std::string(reinterpret_cast<const char*>(data), size), "\n%%\n");
  parts.resize(3);
  FUZZ_CHECK(fuzz::write_file(root + "tools/data/thrucat.dat", parts[0]), "thrucat.dat");
  FUZZ_CHECK(fuzz::write_file(root + "tools/data/directory.dat", parts[1]), "directory.dat");
  orvo_set_root(root.c_str());  // also drops the directory catalogue read before
  try {
    std::unique_ptr<alist, void (*)(alist*)> catalogue(read_alist(thrucat_path().c_str()),
                                                       free_alist);
    std::vector<std::string> names = split(parts[2], "\n");
    for (std::size_t i = 0; i < names.size() && i < 16; ++i) {
      names[i].resize(std::strlen(names[i].c_str()));
      try {
        look_up(catalogue.get(), names[i]);
      } catch (const std::runtime_error&) {
      }
    }
  } catch (const std::runtime_error&) {
  }
  orvo_set_root(nullptr);
  return 0;
}
