// Choosing a throughput column by name similarity to the component name.
#include <cstdio>
#include <cstring>
#include <string>

#include "comptab.h"
#include "loadfile/strfn.h"
#include "orvolib/orvo_error.h"

namespace {
const char kErrSuffix[] = "_err###";
}

int common_length(const char* first1, const char* last1, const char* first2, const char* last2) {
  int best = 0;
  const char* at1 = nullptr;
  const char* at2 = nullptr;
  for (const char* i = first1; i <= last1 - best; ++i) {
    const char* j = first2;
    while (j <= last2 - best) {
      if (*i != *j) {
        ++j;
        continue;
      }
      int k = 0;
      while (i + k <= last1 && j + k <= last2 && i[k] == j[k]) ++k;
      if (k > best) {
        best = k;
        at1 = i;
        at2 = j;
      }
      j += k;
    }
  }
  if (best == 0) return 0;
  int total = best;
  if (at1 > first1 && at2 > first2) total += common_length(first1, at1 - 1, first2, at2 - 1);
  if (at1 + best <= last1 && at2 + best <= last2)
    total += common_length(at1 + best, last1, at2 + best, last2);
  return total;
}

int similar(const char* a, const char* b) {
  if (a[0] == '\0' || b[0] == '\0') return 0;
  std::string la(a), lb(b);
  strlcase(la.data());
  strlcase(lb.data());
  return common_length(la.data(), la.data() + la.size() - 1, lb.data(), lb.data() + lb.size() - 1);
}

void add_thru_candidate(text* list, char* name) {
  if (std::strcmp(name, "wavelength") == 0 || std::strcmp(name, "error") == 0) return;
  if (char* hash = std::strchr(name, '#')) {
    orvo_debug("getthrulist: found a parameterized column: %s", name);
    int k = 1;
    for (const char* p = hash + 1; *p != '\0'; ++p) k += *p == '#';
    // Keep the text up to the first mark and one mark per mark in all; the
    // original holds k marks from `hash` on, so this stays in the string.
    for (int h = 1; h < k; ++h) hash[h] = '#';
    hash[k] = '\0';
    int len = static_cast<int>(std::strlen(name));
    int tail = k + 4;
    if (tail <= static_cast<int>(sizeof kErrSuffix - 1) && len >= tail &&
        std::strncmp(name + len - tail, kErrSuffix, static_cast<std::size_t>(tail)) == 0) {
      orvo_debug("getthrulist: SKIPPING, its an err column");
      return;
    }
  } else {
    std::size_t len = std::strlen(name);
    if (len >= 4 && std::strcmp(name + len - 4, "_err") == 0) return;
  }
  if (find_text(list, name) >= 0) return;
  orvo_debug("getthrulist: adding column %s", name);
  add_text(list, name);
}

void choose_thrucol(text* list, const char* component, const char* path, char* column, int maxch) {
  if (list->count == 0) {
    orvo_warn(ORVO_NOTHRUCOL, "%s", path);
    safecopy(column, "", maxch);
    return;
  }
  int chosen = 0;
  if (list->count > 1) {
    int best = -1;
    for (int i = 0; i < list->count; ++i) {
      int score = similar(component, get_text(list, i));
      if (score > best) {
        best = score;
        chosen = i;
      }
    }
  }
  safecopy(column, get_text(list, chosen), maxch);
}

void thru_cell(const char* path, const char* column, char* out, int maxch) {
  std::string cell = std::strcmp(column, "throughput") == 0
                         ? std::string(path)
                         : std::string(path) + "[" + column + "]";
  safecopy(out, cell.c_str(), maxch);
}

void clean_fetched(char* value) {
  strclean(value);
  strlcase(value);
}

void end_text_value(char* buffer, int length, int size) {
  if (length < 0) length = 0;
  if (length > size - 1) length = size - 1;
  buffer[length] = '\0';
}
