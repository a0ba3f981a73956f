// Bounded string routines, the in-place splitter and the keyword matchers.
#include "loadfile/strfn.h"

#include <cstring>
#include <string>

char* safecopy(char* dst, const char* src, int maxch) {
  int i = 0;
  if (maxch > 0) {
    for (; i < maxch && src[i] != '\0'; ++i) dst[i] = src[i];
  }
  dst[i] = '\0';
  return dst;
}

char* safecat(char* dst, const char* src, int maxch) {
  int n = static_cast<int>(std::strlen(dst));
  if (n >= maxch) return dst;
  while (n < maxch && *src != '\0') dst[n++] = *src++;
  dst[n] = '\0';
  return dst;
}

char* strclone(const char* s) {
  std::size_t n = std::strlen(s);
  char* copy = new char[n + 1];
  std::memcpy(copy, s, n + 1);
  return copy;
}

void strlcase(char* s) {
  for (; *s != '\0'; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s - 'A' + 'a');
}

char* strucase(char* s) {
  for (char* p = s; *p != '\0'; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return s;
}

void strclean(char* s) {
  char* out = s;
  bool pending_blank = false;
  for (const char* in = s; *in != '\0'; ++in) {
    if (is_blank_like(static_cast<unsigned char>(*in))) {
      pending_blank = out != s;  // never a leading blank
      continue;
    }
    if (pending_blank) *out++ = ' ';
    pending_blank = false;
    *out++ = *in;
  }
  *out = '\0';
}

int strsplit(char separator, char* s, char** fields, int n) {
  int found = 0;
  char* p = s;
  while (found < n && *p != '\0') {
    if (is_blank_like(static_cast<unsigned char>(*p))) *p = ' ';
    if (*p == separator) {
      ++p;
      continue;
    }
    char quote = (*p == '"' || *p == '\'') ? *p : '\0';
    char* start = quote ? p + 1 : p;
    fields[found++] = start;
    char* q = start;
    for (; *q != '\0'; ++q) {
      if (is_blank_like(static_cast<unsigned char>(*q))) *q = ' ';
      if (quote ? *q == quote : *q == separator) break;
    }
    if (*q == '\0') {
      p = q;
      break;
    }
    *q = '\0';
    p = q + 1;
  }
  char* end = p + std::strlen(p);
  for (int i = found; i < n; ++i) fields[i] = end;
  return found;
}

namespace {

// Lower-cased copy of a word.
std::string lowered(const char* word) {
  std::string w(word);
  strlcase(w.data());
  return w;
}

// Calls f(index, entry) for each "|"-separated entry of list (from 1);
// stops early when f returns true.
template <typename F>
void each_entry(const char* list, F f) {
  std::string all(list);
  std::size_t start = 0;
  for (int index = 1;; ++index) {
    std::size_t bar = all.find('|', start);
    std::string entry = all.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (f(index, entry)) return;
    if (bar == std::string::npos) return;
    start = bar + 1;
  }
}

}  // namespace

int strabbrev(const char* word, const char* list) {
  std::string w = lowered(word);
  if (w.empty()) return 0;
  int match = 0, count = 0;
  each_entry(list, [&](int index, const std::string& entry) {
    if (entry.compare(0, w.size(), w) == 0 && entry.size() >= w.size()) {
      match = index;
      ++count;
    }
    return false;
  });
  return count == 1 ? match : 0;
}

int strmatch(const char* word, const char* list) {
  std::string w = lowered(word);
  int match = 0;
  each_entry(list, [&](int index, const std::string& entry) {
    if (entry == w) match = index;
    return match != 0;
  });
  return match;
}
