// Growable character and int buffers and the string list built on them.
#include "loadfile/text.h"

#include <cstdint>
#include <cstring>
#include <string>

const char* lod_error = nullptr;

namespace {

const char kIndexError[] = "Text line index out of bounds";

// The offset of s in the buffer's allocation, or -1 when s lies elsewhere
// (compared as integers: s is usually in another object).
long offset_in(const char_buf* b, const char* s) {
  const auto base = reinterpret_cast<std::uintptr_t>(b->buffer.data());
  const auto at = reinterpret_cast<std::uintptr_t>(s);
  if (b->buffer.empty() || at < base || at - base >= b->buffer.size()) return -1;
  return static_cast<long>(at - base);
}

}  // namespace

void init_char_buf(char_buf* b, int size) {
  if (size < 1) size = 100;
  b->buffer.assign(static_cast<std::size_t>(size), '\0');
  b->used = 0;
  b->increment = size;
}

void init_int_buf(int_buf* b, int size) {
  if (size < 1) size = 100;
  b->buffer.assign(static_cast<std::size_t>(size), 0);
  b->used = 0;
  b->increment = size;
}

int put_char_buf(char_buf* b, const char* s) {
  std::size_t n = std::strlen(s) + 1;
  std::size_t need = static_cast<std::size_t>(b->used) + n;
  std::size_t size = b->buffer.size();
  // s may be a string of this very buffer (taken from the list it is put
  // back into): growing moves the buffer, so find s again by its offset.
  const long from = offset_in(b, s);
  if (need > size) {
    std::size_t step = static_cast<std::size_t>(b->increment);
    size += ((need - size + step - 1) / step) * step;
    b->buffer.resize(size);
    if (from >= 0) s = b->buffer.data() + from;
  }
  int offset = b->used;
  std::memmove(b->buffer.data() + offset, s, n);  // s may end where it goes
  b->used = static_cast<int>(need);
  return offset;
}

int put_int_buf(int_buf* b, int value) {
  if (static_cast<std::size_t>(b->used) >= b->buffer.size())
    b->buffer.resize(b->buffer.size() + static_cast<std::size_t>(b->increment));
  b->buffer[static_cast<std::size_t>(b->used)] = value;
  return b->used++;
}

int top_char_buf(const char_buf* b, int offset) {
  if (offset < 0 || offset >= b->used) return -1;
  int end = offset + static_cast<int>(std::strlen(b->buffer.data() + offset));
  return end == b->used - 1 ? end : -1;
}

void init_text(text* t, int entries, int chars) {
  init_char_buf(&t->chars, chars);
  init_int_buf(&t->offsets, entries);
  t->count = 0;
}

int add_text(text* t, const char* s) {
  int offset = put_char_buf(&t->chars, s);
  put_int_buf(&t->offsets, offset);
  return t->count++;
}

int put_text(text* t, int i, const char* s) {
  if (i == t->count) return add_text(t, s);
  if (i < 0 || i > t->count) {
    lod_error = kIndexError;
    return -1;
  }
  t->offsets.buffer[static_cast<std::size_t>(i)] = put_char_buf(&t->chars, s);
  return i;
}

char* get_text(text* t, int i) {
  if (i < 0 || i >= t->count) {
    lod_error = kIndexError;
    return nullptr;
  }
  return t->chars.buffer.data() + t->offsets.buffer[static_cast<std::size_t>(i)];
}

int find_text(text* t, const char* s) {
  for (int i = 0; i < t->count; ++i)
    if (std::strcmp(get_text(t, i), s) == 0) return i;
  return -1;
}

int copy_text(text* t, int src, int dst) {
  if (src < 0 || src >= t->count || dst < 0 || dst > t->count) {
    lod_error = kIndexError;
    return -1;
  }
  int offset = t->offsets.buffer[static_cast<std::size_t>(src)];
  if (dst == t->count) {
    put_int_buf(&t->offsets, offset);
    ++t->count;
  } else {
    t->offsets.buffer[static_cast<std::size_t>(dst)] = offset;
  }
  return dst;
}

int cat_text(text* t, int i, const char* s) {
  if (i < 0 || i >= t->count) {
    lod_error = kIndexError;
    return -1;
  }
  // s may lie in this list's buffer, which the private copy below can move.
  std::string own;
  if (offset_in(&t->chars, s) >= 0) {
    own = s;
    s = own.c_str();
  }
  int& offset = t->offsets.buffer[static_cast<std::size_t>(i)];
  bool shared = false;
  for (int j = 0; j < t->count && !shared; ++j)
    shared = j != i && t->offsets.buffer[static_cast<std::size_t>(j)] == offset;
  if (shared || top_char_buf(&t->chars, offset) == -1) {
    // Another string follows, or another entry shares this one: extend a
    // private copy at the end of the buffer.
    std::string copy(t->chars.buffer.data() + offset);
    offset = put_char_buf(&t->chars, copy.c_str());
  }
  --t->chars.used;  // drop the final NUL, then append s with its own
  put_char_buf(&t->chars, s);
  return i;
}

void free_text(text* t) {
  t->chars.buffer.clear();
  t->offsets.buffer.clear();
  t->offsets.buffer.shrink_to_fit();
  t->chars.used = t->offsets.used = 0;
  t->count = 0;
}
