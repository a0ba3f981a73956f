// Positional arguments and their wildcard expansion.
#include <dirent.h>

#include <cstring>

#include "loadfile/strfn.h"
#include "orvolib/catalog.h"
#include "orvolib/options.h"

char* param[ORVO_MAXPARAM + 1] = {};
int nparam = 0;

namespace {
const int kMaxPart = 127;
}

void wild_expand(const char* arg, int max, int* count, char** array) {
  if (std::strpbrk(arg, "?*") == nullptr) {
    if (*count < max) array[(*count)++] = strclone(arg);
    return;
  }
  char dir[kMaxPart + 1], root[kMaxPart + 1], ext[kMaxPart + 1], pattern[kMaxPart + 1];
  breakfname(arg, dir, root, ext, kMaxPart);
  safecopy(pattern, root, kMaxPart);
  safecat(pattern, ext, kMaxPart);
  bool appended = false;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d)) {
      if (patmatch(pattern, e->d_name) && *count < max) {
        array[(*count)++] = strclone(e->d_name);
        appended = true;
      }
    }
    closedir(d);
  }
  if (!appended && *count < max) array[(*count)++] = strclone(arg);
}

void free_param() {
  for (int i = 0; i < nparam; ++i) {
    delete[] param[i];
    param[i] = nullptr;
  }
  nparam = 0;
}
