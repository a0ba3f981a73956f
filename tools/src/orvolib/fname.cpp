// File-name splitting, logical-name translation and the data root.
#include <cstring>
#include <string>

#include "loadfile/strfn.h"
#include "orvolib/catalog.h"
#include "orvolib/orvo_error.h"

namespace {

const int kMaxName = 127;
const int kMaxDepth = 8;
const int kMaxSubdirs = 8;

std::string root_override;
bool root_overridden = false;
alist* dircat = nullptr;  // loaded by the first translation

// Name characters of a file name: letters, digits, "*", "-", "?", "_", and
// (our choice) every byte of 128 and above, so that names in a multi-byte
// encoding stay whole.
bool is_name_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '*' ||
         c == '-' || c == '?' || c == '_' || c >= 128;
}

// Copies name[from, to) into out, cut to maxch; out may be null.
void put_part(char* out, const char* name, int from, int to, int maxch) {
  if (out == nullptr) return;
  int len = to > from ? to - from : 0;
  if (len > maxch) len = maxch < 0 ? 0 : maxch;
  std::memcpy(out, name + from, static_cast<std::size_t>(len));
  out[len] = '\0';
}

}  // namespace

const char* orvo_root() { return root_overridden ? root_override.c_str() : orvo_default_root(); }

void orvo_set_root(const char* root) {
  root_overridden = root != nullptr;
  root_override = root ? root : "";
  free_alist(dircat);
  dircat = nullptr;
}

std::string thrucat_path() { return std::string(orvo_root()) + "tools/data/thrucat.dat"; }
std::string directory_path() { return std::string(orvo_root()) + "tools/data/directory.dat"; }

void breakfname(const char* name, char* directory, char* root, char* extension, int maxch) {
  int n = static_cast<int>(std::strlen(name));
  int d = 0, p = -1, v = -1;  // d is 0 also when there is no delimiter
  for (int i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '.') p = i;
    else if (c == ';') v = i;
    else if (!is_name_char(c)) d = i;
  }
  if (!(v > d && v > p)) v = n;
  if (!(p >= 0 && p > d && p + 1 != v)) p = n;
  int dir_end = d > 0 ? d + 1 : 0;
  int root_end = p < v ? p : v;
  put_part(directory, name, 0, dir_end, maxch);
  put_part(root, name, dir_end, root_end, maxch);
  put_part(extension, name, p, v, maxch);
}

int addsubdir(const char* base, const char* subdirectories, char* out, int maxch) {
  std::string copy(subdirectories);
  char* parts[kMaxSubdirs];
  strsplit('/', copy.data(), parts, kMaxSubdirs);
  safecopy(out, base, maxch);
  std::size_t n = std::strlen(out);
  if (n > 0 && out[n - 1] == '/') out[n - 1] = '\0';
  int taken = 0;
  for (; taken < kMaxSubdirs && parts[taken][0] != '\0'; ++taken) {
    if (std::strcmp(parts[taken], "..") == 0) {
      if (char* slash = std::strrchr(out, '/')) *slash = '\0';
    } else {
      safecat(out, "/", maxch);
      safecat(out, parts[taken], maxch);
    }
  }
  safecat(out, "/", maxch);
  return taken;
}

void xlate_fname(const char* name, char* out, int maxch) {
  if (dircat == nullptr) dircat = xlate_init(directory_path().c_str());
  char work[kMaxName + 1];
  safecopy(work, name, kMaxName);
  orvo_debug("xlate_fname: after safecopy: name1,fname = %s,%s", work, name);
  for (int depth = 0; char* dollar = std::strchr(work, '$'); ++depth) {
    if (depth == kMaxDepth) orvo_error(ORVO_RECURSIVE, "%s", name);
    std::string logical(work, static_cast<std::size_t>(dollar - work));
    const char* value = find_alist(dircat, logical.c_str());
    if (value == nullptr) orvo_error(ORVO_NOLOGICAL, "%s", logical.c_str());
    std::string next = std::string(value) + (dollar + 1);
    safecopy(work, next.c_str(), kMaxName);
  }
  if (work[0] == '/') {
    safecopy(out, work, maxch);
    return;
  }
  char dir[kMaxName + 1], root[kMaxName + 1], ext[kMaxName + 1];
  breakfname(work, dir, root, ext, kMaxName);
  std::string path(static_cast<std::size_t>(maxch > 0 ? maxch : 0) + 1, '\0');
  addsubdir(orvo_root(), dir, path.data(), maxch);
  safecat(path.data(), root, maxch);
  safecat(path.data(), ext, maxch);
  safecopy(out, path.c_str(), maxch);
}

int is_fitsname(const char* name) {
  char ext[kMaxName + 1];
  breakfname(name, nullptr, nullptr, ext, kMaxName);
  if (std::strcmp(ext, ".fits") == 0 || std::strcmp(ext, ".fit") == 0) return 1;
  return std::strlen(ext) == 4 && ext[3] == 'f' ? 1 : 0;
}
