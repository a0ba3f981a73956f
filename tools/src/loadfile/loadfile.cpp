// Reading and writing load files.
#include "loadfile/loadfile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "loadfile/strfn.h"

namespace {

const char kOpenError[] = "Cannot open loadfile";
const char kWriteError[] = "Cannot write loadfile";
const int kReadSize = 80;  // so at most 79 characters with the newline
const int kEndWordSpan = 20;

char syntax_message[64];

// Compares the start of a text line with the END words.
int end_word(const char* line) {
  char word[kEndWordSpan + 1];
  safecopy(word, line, kEndWordSpan);
  strucase(word);
  int n = static_cast<int>(std::strlen(word));
  while (n > 0 && is_blank_like(static_cast<unsigned char>(word[n - 1]))) --n;
  word[n] = '\0';
  if (std::strcmp(word, "ENDROW") == 0) return LOAD_ENDROW;
  if (std::strcmp(word, "ENDHEADER") == 0) return LOAD_ENDHEADER;
  if (std::strcmp(word, "ENDFILE") == 0) return LOAD_ENDFILE;
  return LOAD_TEXT;
}

// Splits a "key = value" line: the key cleaned and upper-cased, the value
// cleaned, or raw for the COMMENT key.  False when there is no "=".
bool split_value_line(const char* line, std::string* key, std::string* value, bool* is_comment) {
  const char* eq = std::strchr(line, '=');
  if (eq == nullptr) return false;
  std::string k(line, static_cast<std::size_t>(eq - line));
  strclean(k.data());
  k.resize(std::strlen(k.c_str()));
  strucase(k.data());
  *key = k;
  *is_comment = k == "COMMENT";
  *value = eq + 1;
  if (!*is_comment) {
    strclean(value->data());
    value->resize(std::strlen(value->c_str()));
  }
  return true;
}

table* syntax_error(load_reader* r, table* t) {
  std::snprintf(syntax_message, sizeof syntax_message, "%s at line %d", "Syntax error in loadile",
                r->line_number);
  lod_error = syntax_message;
  std::fclose(r->file);
  free_table(t);
  return nullptr;
}

// Writes "COMMENT =value" and a newline unless the value ends in one;
// false when a write failed.
bool write_comment(std::FILE* f, const char* value) {
  if (std::fprintf(f, "COMMENT =%s", value) < 0) return false;
  std::size_t n = std::strlen(value);
  if (n == 0 || value[n - 1] != '\n') return std::fputs("\n", f) >= 0;
  return true;
}

// Writes the table's lines; false as soon as a write fails.
bool write_lines(std::FILE* f, table* t) {
  for (int i = 0; i < t->keys.count; ++i) {
    const char* name = get_text(&t->keys, i);
    if (std::strcmp(name, "COMMENT") != 0 &&
        std::fprintf(f, "%s = %s\n", name, get_text(&t->values, i)) < 0)
      return false;
  }
  int comment_key = find_text(&t->keys, "COMMENT");
  if (comment_key >= 0 && !write_comment(f, get_text(&t->values, comment_key))) return false;
  if (std::fputs("ENDHEADER\n\n", f) < 0) return false;
  int comment_col = find_text(&t->columns, "COMMENT");
  for (int r = 0; r < t->rows; ++r) {
    for (int c = 0; c < t->ncols; ++c) {
      if (c == comment_col) continue;
      if (std::fprintf(f, "%s = %s\n", get_text(&t->columns, c), get_tab_cell_bynum(t, c, r)) < 0)
        return false;
    }
    if (comment_col >= 0 && !write_comment(f, get_tab_cell_bynum(t, comment_col, r))) return false;
    if (std::fputs("ENDROW\n\n", f) < 0) return false;
  }
  return std::fputs("ENDFILE\n", f) >= 0 && std::fflush(f) == 0 && !std::ferror(f);
}

}  // namespace

int which_load_token(load_reader* r) {
  if (std::fgets(r->line, kReadSize, r->file) == nullptr) {
    r->line[0] = '\0';
    return r->kind = LOAD_EOF;
  }
  ++r->line_number;
  std::size_t n = std::strlen(r->line);
  if (n == 0 || r->line[n - 1] != '\n') return r->kind = LOAD_NONEWLINE;
  int kind = LOAD_TEXT;
  if (!r->comment_mode) {
    const char* p = r->line;
    while (*p != '\0' && is_blank_like(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') kind = LOAD_BLANK;
    else if (*p == '#') kind = LOAD_COMMENT;
  }
  if (kind == LOAD_TEXT) kind = end_word(r->line);
  return r->kind = kind;
}

table* read_loadfile(const char* path) {
  load_reader r;
  r.file = std::fopen(path, "r");
  if (r.file == nullptr) {
    lod_error = kOpenError;
    return nullptr;
  }
  table* t = create_table();
  std::string key, value;
  bool is_comment = false;
  // Header.
  for (;;) {
    int kind = which_load_token(&r);
    if (kind == LOAD_ENDHEADER) break;
    if (kind == LOAD_BLANK || kind == LOAD_COMMENT) continue;
    if (kind != LOAD_TEXT) return syntax_error(&r, t);
    if (r.comment_mode) {
      if (cat_tab_key(t, "COMMENT", r.line) < 0) return syntax_error(&r, t);
      continue;
    }
    if (!split_value_line(r.line, &key, &value, &is_comment)) return syntax_error(&r, t);
    if (is_comment) r.comment_mode = true;
    put_tab_key(t, key.c_str(), value.c_str());
  }
  // Rows.
  r.row = 0;
  r.comment_mode = false;
  for (;;) {
    int kind = which_load_token(&r);
    if (kind == LOAD_ENDFILE) break;
    if (kind == LOAD_BLANK || kind == LOAD_COMMENT) continue;
    if (kind == LOAD_ENDROW) {
      ++r.row;
      r.comment_mode = false;
      continue;
    }
    if (kind != LOAD_TEXT) return syntax_error(&r, t);
    if (r.comment_mode) {
      if (cat_tab_cell(t, "COMMENT", r.row, r.line) < 0) return syntax_error(&r, t);
      continue;
    }
    if (!split_value_line(r.line, &key, &value, &is_comment)) return syntax_error(&r, t);
    if (is_comment) r.comment_mode = true;
    if (put_tab_cell(t, key.c_str(), r.row, value.c_str()) < 0) return syntax_error(&r, t);
  }
  // Only blank lines may follow.
  int kind;
  while ((kind = which_load_token(&r)) == LOAD_BLANK) {
  }
  if (kind != LOAD_EOF) return syntax_error(&r, t);
  std::fclose(r.file);
  return t;
}

int write_loadfile(const char* path, table* t) {
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) {
    lod_error = kOpenError;
    return -1;
  }
  // A regular file that could not be written whole is removed; a device
  // or a pipe is left as it is.
  struct stat st {};
  const bool regular = ::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode);
  const bool written = write_lines(f, t);
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return 0;
  if (regular) std::remove(path);
  lod_error = kWriteError;
  return -1;
}
