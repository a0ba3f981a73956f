// Association list: two parallel string lists, unique keys in order of
// first insertion and their values.
#pragma once

#include "loadfile/text.h"

struct alist {
  text keys;
  text values;
};

// A new empty list (both lists sized 10 entries and 100 characters).
alist* create_alist();

// Sets the value of an existing key, or appends the pair; returns the
// entry's index.
int add_alist(alist* a, const char* key, const char* value);

// The key's value (owned by the list), or null.
char* find_alist(alist* a, const char* key);

// The i-th pair; 0, or -1 when i is past the end (both outputs null).
int each_alist(alist* a, int i, char** key, char** value);

void free_alist(alist* a);
