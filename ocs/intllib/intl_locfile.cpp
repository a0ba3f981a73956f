// The localisation-file reader: sections, entries and values of the
// installation's text files; see intllib/intl_loc.h.
//
// A file states its own punctuation: its first non-blank character is the
// comment character, its first heading line gives the brackets, and an
// optional leading "file format" section sets the version, the list
// separator and the escape character.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "intllib/intl_loc.h"

namespace {

constexpr int kLineMax = 512;
constexpr int kNameMax = 62;

bool blank(char c) { return c == ' ' || c == '\t'; }
bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Index of the first non-blank character of the current line.
int first_nonblank(const INTL_LOCFILE* lf) {
  int i = 0;
  while (i < lf->last && space(lf->line[i])) ++i;
  return i;
}

bool is_heading(const INTL_LOCFILE* lf) {
  if (!lf->open_bracket) return false;
  int i = first_nonblank(lf);
  return i < lf->last && lf->line[i] == lf->open_bracket;
}

// Reads the next physical line: 0 read, 1 end of file, -43 over-long line.
// Sets the at-section flag when the line is a heading.
int read_raw(INTL_LOCFILE* lf) {
  if (lf->eof) return 1;
  if (!intl_iocsfgets(lf->line, kLineMax, lf->file)) {
    lf->eof = 1;
    lf->line[0] = '\n';
    lf->line[1] = '\0';
    lf->last = 0;
    lf->pos = 0;
    return 1;
  }
  ++lf->lineno;
  int n = static_cast<int>(std::strlen(lf->line));
  lf->pos = 0;
  if (n == 0 || lf->line[n - 1] != '\n') {
    lf->last = n;
    return -43;
  }
  lf->last = n - 1;
  if (is_heading(lf)) lf->at_section = 1;
  return 0;
}

// True when the current line ends with the escape character.
bool ends_with_escape(const INTL_LOCFILE* lf) {
  return lf->last > 0 && lf->line[lf->last - 1] == lf->escape;
}

}  // namespace

char* intl_nextline(INTL_LOCFILE* lf, int* status) {
  if (!lf) { *status = -13; return nullptr; }
  if (lf->eof || lf->at_section) { *status = 1; return nullptr; }
  int r = read_raw(lf);
  *status = r;
  if (r != 0) return nullptr;
  if (lf->at_section) { *status = 1; return nullptr; }
  return lf->line;
}

int intl__plucksect(INTL_LOCFILE* lf) {
  int i = first_nonblank(lf) + 1;
  int start = i;
  while (i < lf->last && lf->line[i] != lf->close_bracket) {
    if (i - start >= 63) return -45;
    ++i;
  }
  if (i >= lf->last || i - start > kNameMax) return -45;
  std::memcpy(lf->section, lf->line + start, static_cast<std::size_t>(i - start));
  lf->section[i - start] = '\0';
  return 1;
}

int intl__from_version(const char* text) {
  if (!text || !(text[0] >= '0' && text[0] <= '9')) return -1;
  int i = 0, major = 0, minor = 0, patch = 0;
  while (text[i] >= '0' && text[i] <= '9') {
    if (i >= 2) return -16;
    major = major * 10 + (text[i++] - '0');
  }
  if (text[i] == '\0') return major * 100;
  if (text[i] != '.') return -16;
  ++i;
  if (!(text[i] >= '0' && text[i] <= '9')) return -16;
  minor = text[i++] - '0';
  if (text[i] == '\0') return major * 100 + minor * 10;
  if (text[i] != '.') return -16;
  ++i;
  if (!(text[i] >= '0' && text[i] <= '9')) return -16;
  patch = text[i++] - '0';
  if (text[i] != '\0') return -1;
  return major * 100 + minor * 10 + patch;
}

int intl_fopen(INTL_IOCSFILE* fh, INTL_LOCFILE* lf) {
  if (!fh) return -12;
  if (!lf) return -13;
  std::memset(lf, 0, sizeof *lf);
  lf->file = fh;
  int r = read_raw(lf);
  if (r != 0) return r < 0 ? r : -14;
  // The comment character: the first non-blank character of the file.
  for (;;) {
    int i = first_nonblank(lf);
    if (i < lf->last) { lf->comment = lf->line[i]; break; }
    r = read_raw(lf);
    if (r != 0) return r < 0 ? r : -15;
  }
  // The first heading: skip blank and comment lines.
  for (;;) {
    r = read_raw(lf);
    if (r != 0) return r < 0 ? r : -15;
    int i = first_nonblank(lf);
    if (i < lf->last && lf->line[i] != lf->comment) break;
  }
  int i = first_nonblank(lf);
  lf->open_bracket = lf->line[i];
  int e = lf->last;
  while (e > i + 1 && space(lf->line[e - 1])) --e;
  lf->close_bracket = lf->line[e - 1];
  lf->version = 420;
  lf->separator = ',';
  lf->escape = '\\';
  lf->at_section = 1;
  r = intl__plucksect(lf);
  if (r < 0) return r;
  if (std::strcmp(lf->section, "file format") != 0) return 1;
  // Read the file format section's entries.
  lf->at_section = 0;
  int status = 0;
  while (char* name = intl_nextentry(lf, &status)) {
    bool version = std::strcmp(name, "version") == 0;
    bool sep = std::strcmp(name, "list_separator") == 0;
    bool esc = std::strcmp(name, "escape") == 0;
    if (!version && !sep && !esc) continue;
    char* v = intl_nextvalue(lf, &status);
    if (status < 0) return status;
    if (!v) return -2;
    if (version) {
      int ver = intl__from_version(v);
      if (ver < 0) return ver;
      lf->version = ver;
    } else if (sep) {
      lf->separator = v[0];
    } else {
      lf->escape = v[0];
    }
  }
  if (status < 0) return status;
  lf->at_section = 1;
  return 1;
}

int intl_open(const char* path, INTL_LOCFILE* lf) {
  if (!path) return -32;
  if (!lf) return -13;
  INTL_IOCSFILE* fh = intl_iocsfopen(path, 1);
  if (!fh) return -151;
  int r = intl_fopen(fh, lf);
  if (r < 0) {
    intl_iocsfclose(fh);
    lf->file = nullptr;
  }
  return r;
}

char* intl_nextentry(INTL_LOCFILE* lf, int* status) {
  if (!lf) { *status = -13; return nullptr; }
  *status = 0;
  lf->continued = 0;
  if (lf->at_section || lf->eof) { *status = 1; return nullptr; }
  lf->values_ended = 0;
  // Skip the continuation lines of the previous entry, then take a new line.
  int r;
  while (ends_with_escape(lf)) {
    r = read_raw(lf);
    if (r != 0 || lf->at_section) { *status = r < 0 ? r : 1; return nullptr; }
  }
  r = read_raw(lf);
  if (r != 0 || lf->at_section) { *status = r < 0 ? r : 1; return nullptr; }
  // Skip white space, blank lines and comments.
  for (;;) {
    while (lf->pos < lf->last && space(lf->line[lf->pos])) ++lf->pos;
    if (lf->pos < lf->last && lf->line[lf->pos] != lf->comment) break;
    r = read_raw(lf);
    if (r != 0 || lf->at_section) { *status = r < 0 ? r : 1; return nullptr; }
  }
  // The name, up to "=", white space dropped.
  int n = 0;
  for (;;) {
    if (lf->pos >= lf->last) {
      if (!ends_with_escape(lf)) { *status = -3; return nullptr; }
      r = read_raw(lf);
      if (r != 0) { *status = r < 0 ? r : -3; return nullptr; }
      lf->at_section = 0;
      continue;
    }
    char c = lf->line[lf->pos++];
    if (c == '=') break;
    if (c == lf->escape && lf->pos == lf->last) continue;
    if (space(c)) continue;
    if (n >= kNameMax) { *status = -9; return nullptr; }
    lf->entry[n++] = c;
  }
  lf->entry[n] = '\0';
  return lf->entry;
}

char* intl_nextvalue(INTL_LOCFILE* lf, int* status) {
  if (!lf) { *status = -13; return nullptr; }
  *status = 0;
  if (lf->eof || lf->at_section || lf->values_ended) { *status = 1; return nullptr; }
  char quote = lf->continued ? lf->continued_quote : 0;
  lf->continued = 0;
  bool is_escape_entry = std::strcmp(lf->entry, "escape") == 0;
  bool is_sep_entry = std::strcmp(lf->entry, "list_separator") == 0;
  int vlen = 0, trimmed = 0;
  bool content = quote != 0;
  // Leading blanks (and escaped line ends) before the value.
  if (!quote) {
    for (;;) {
      while (lf->pos < lf->last && blank(lf->line[lf->pos])) ++lf->pos;
      if (lf->pos < lf->last && lf->line[lf->pos] == lf->escape && !is_escape_entry &&
          lf->pos + 1 == lf->last) {
        int r = read_raw(lf);
        if (r < 0) { *status = r; return nullptr; }
        if (r == 1) { lf->values_ended = 1; *status = 1; return nullptr; }
        lf->at_section = 0;
        continue;
      }
      break;
    }
  }
  auto finish = [&](bool ended) -> char* {
    lf->value[trimmed] = '\0';
    if (ended) lf->values_ended = 1;
    if (ended && !content && trimmed == 0) { *status = 1; return nullptr; }
    return lf->value;
  };
  for (;;) {
    if (vlen >= kLineMax) {
      lf->value[vlen] = '\0';
      lf->continued = quote != 0;
      lf->continued_quote = quote;
      *status = 1;
      return lf->value;
    }
    if (lf->pos >= lf->last) return finish(true);  // end of line
    char c = lf->line[lf->pos];
    if (quote) {
      if (c == quote) {
        if (lf->pos + 1 < lf->last && lf->line[lf->pos + 1] == quote) {
          lf->value[vlen++] = c;
          trimmed = vlen;
          lf->pos += 2;
        } else {
          quote = 0;
          ++lf->pos;
        }
        continue;
      }
      lf->value[vlen++] = c;
      trimmed = vlen;
      ++lf->pos;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      content = true;
      ++lf->pos;
      continue;
    }
    if (c == lf->separator) {
      if (is_sep_entry && vlen == 0 && !content) {
        lf->value[vlen++] = c;
        trimmed = vlen;
        ++lf->pos;
        continue;
      }
      ++lf->pos;
      content = true;  // an empty value between separators is still a value
      return finish(false);
    }
    if (c == lf->comment) return finish(true);
    if (c == lf->escape) {
      if (is_escape_entry && vlen == 0 && !content) {
        lf->value[vlen++] = c;
        trimmed = vlen;
        ++lf->pos;
        continue;
      }
      if (lf->pos + 1 >= lf->last) {  // continues on the next line
        int r = read_raw(lf);
        if (r < 0) { *status = r; return nullptr; }
        if (r == 1) return finish(true);
        lf->at_section = 0;
        continue;
      }
      lf->value[vlen++] = lf->line[lf->pos + 1];
      trimmed = vlen;
      lf->pos += 2;
      continue;
    }
    if (c == '0' && lf->pos + 1 < lf->last && lf->line[lf->pos + 1] == 'x') {
      lf->pos += 2;
      for (;;) {
        int hi = lf->pos < lf->last ? hexval(lf->line[lf->pos]) : -1;
        if (hi < 0) break;
        int lo = lf->pos + 1 < lf->last ? hexval(lf->line[lf->pos + 1]) : -1;
        if (lo < 0) { *status = -11; return nullptr; }
        if (vlen >= kLineMax) break;
        lf->value[vlen++] = static_cast<char>(hi * 16 + lo);
        trimmed = vlen;
        lf->pos += 2;
      }
      content = true;
      continue;
    }
    lf->value[vlen++] = c;
    if (!blank(c)) trimmed = vlen;
    ++lf->pos;
  }
}

char* intl_nextsection(INTL_LOCFILE* lf, int* status) {
  if (!lf) { *status = -13; return nullptr; }
  *status = 0;
  lf->continued = 0;
  if (!lf->at_section) {
    int st = 0;
    while (intl_nextentry(lf, &st)) {
    }
    if (st < 0) { *status = st; return nullptr; }
  }
  if (lf->eof) { *status = 1; return nullptr; }
  int r = intl__plucksect(lf);
  if (r < 0) { *status = r; return nullptr; }
  lf->at_section = 0;
  return lf->section;
}

int intl_close(INTL_LOCFILE* lf) {
  if (!lf) return -13;
  int r = intl_iocsfclose(lf->file);
  lf->file = nullptr;
  return r < 0 ? -152 : 1;
}
