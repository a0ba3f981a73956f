// Association lists of string keys and values.
#include "loadfile/alist.h"

alist* create_alist() {
  alist* a = new alist;
  init_text(&a->keys, 10, 100);
  init_text(&a->values, 10, 100);
  return a;
}

int add_alist(alist* a, const char* key, const char* value) {
  int i = find_text(&a->keys, key);
  if (i >= 0) return put_text(&a->values, i, value);
  add_text(&a->keys, key);
  return add_text(&a->values, value);
}

char* find_alist(alist* a, const char* key) {
  int i = find_text(&a->keys, key);
  return i < 0 ? nullptr : get_text(&a->values, i);
}

int each_alist(alist* a, int i, char** key, char** value) {
  if (i < 0 || i >= a->keys.count) {
    *key = *value = nullptr;
    return -1;
  }
  *key = get_text(&a->keys, i);
  *value = get_text(&a->values, i);
  return 0;
}

void free_alist(alist* a) {
  if (a == nullptr) return;
  free_text(&a->keys);
  free_text(&a->values);
  delete a;
}
