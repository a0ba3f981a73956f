// Catalogue line reading, catalogue loading and glob matching.
#include "orvolib/catalog.h"

#include <cstring>
#include <memory>
#include <string>

#include "loadfile/strfn.h"
#include "orvolib/orvo_error.h"

namespace {
const int kPhysicalMax = 511;  // a physical line must be shorter than this
const int kLogicalMax = 511;
}  // namespace

int first_char(const char* s) {
  int i = 0;
  while (s[i] != '\0' && is_blank_like(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

int is_continued(char* line) {
  char* slash = std::strrchr(line, '\\');
  if (slash == nullptr) return 0;
  for (const char* p = slash + 1; *p != '\0'; ++p)
    if (!is_blank_like(static_cast<unsigned char>(*p))) return 0;
  *slash = '\0';
  return 1;
}

int rdlines(std::FILE* stream, char* out, int maxch) {
  out[0] = '\0';
  bool in_progress = false;
  char line[kPhysicalMax + 1];
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    std::size_t n = std::strlen(line);
    bool has_newline = n > 0 && line[n - 1] == '\n';
    if (!has_newline && n >= static_cast<std::size_t>(kPhysicalMax)) {
      char head[41];
      safecopy(head, line, 40);
      orvo_error(ORVO_TOOLONG, "%s ...", head);
    }
    if (has_newline) line[n - 1] = '\0';
    int f = first_char(line);
    if (line[f] == '\0' || line[f] == '#') {
      if (in_progress) break;
      continue;
    }
    int continued = is_continued(line);
    safecat(out, in_progress ? line + f : line, maxch);
    in_progress = true;
    if (!continued) break;
  }
  return out[0] != '\0' ? 0 : -1;
}

alist* read_alist(const char* path) {
  // The file and the list are released however reading ends (a caller's
  // message hook may unwind from a fatal error instead of exiting).
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path, "r"), std::fclose);
  if (f == nullptr) orvo_error(ORVO_OPENFILE, "%s", path);
  std::unique_ptr<alist, void (*)(alist*)> list(create_alist(), free_alist);
  char line[kLogicalMax + 1];
  while (rdlines(f.get(), line, kLogicalMax) == 0) {
    char* fields[2];
    strsplit(' ', line, fields, 2);
    add_alist(list.get(), fields[0], fields[1]);
  }
  return list.release();
}

alist* xlate_init(const char* path) { return read_alist(path); }

int patmatch(const char* pattern, const char* name) {
  // Iterative form of the recursive rule: on a mismatch, let the latest "*"
  // absorb one more character and try again.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return 0;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0' ? 1 : 0;
}

char* patmatch_alist(alist* list, const char* name) {
  for (int i = 0; i < list->keys.count; ++i)
    if (patmatch(get_text(&list->keys, i), name)) return get_text(&list->values, i);
  return nullptr;
}

char* match_alist(alist* list, const char* pattern, int* index) {
  for (int i = *index < 0 ? 0 : *index; i < list->keys.count; ++i) {
    if (patmatch(pattern, get_text(&list->keys, i))) {
      *index = i + 1;
      return get_text(&list->values, i);
    }
  }
  *index = list->keys.count;
  return nullptr;
}
