// Growable buffers and the string list `text`.
//
// A `text` keeps its strings one after another in a character buffer and
// one offset per entry into it.  Several entries may share one string.
// Growing the character buffer moves it: offsets stay valid, but a pointer
// returned by get_text is valid only until the next change of that list.
// Handing such a pointer to that very change (putting a string of the list
// back into it) works: the string is read before it can move.
#pragma once

#include <vector>

#include "loadfile/bytes.h"

// The message of the last failed list or table operation; never cleared.
extern const char* lod_error;

struct char_buf {
  byte_store buffer;         // size() is the allocated size
  int used = 0;              // bytes in use
  int increment = 100;       // growth step (the initial size)
};

struct int_buf {
  std::vector<int> buffer;
  int used = 0;
  int increment = 100;
};

struct text {
  char_buf chars;
  int_buf offsets;
  int count = 0;
};

// Allocate `size` bytes (ints); a size below 1 means 100.
void init_char_buf(char_buf* b, int size);
void init_int_buf(int_buf* b, int size);

// Appends s with its NUL; returns the offset of s.  s may lie in b itself.
int put_char_buf(char_buf* b, const char* s);

// Appends value; returns its index.
int put_int_buf(int_buf* b, int value);

// The index of the NUL ending the string at offset when that NUL is the
// last byte in use, else -1.
int top_char_buf(const char_buf* b, int offset);

void init_text(text* t, int entries, int chars);

// Appends an entry holding a copy of s; returns its index.
int add_text(text* t, const char* s);

// Entry i (0 <= i < count) now holds a copy of s; i == count appends.
// Returns i, or -1 ("Text line index out of bounds").
int put_text(text* t, int i, const char* s);

// Entry i's string, or null ("Text line index out of bounds").
char* get_text(text* t, int i);

// Index of the first entry equal to s, or -1.
int find_text(text* t, const char* s);

// Entry dst shares entry src's string (dst == count appends).  Returns dst,
// or -1 ("Text line index out of bounds").
int copy_text(text* t, int src, int dst);

// Appends s to entry i's string without changing any other entry.  Returns
// i, or -1 ("Text line index out of bounds").
int cat_text(text* t, int i, const char* s);

void free_text(text* t);
