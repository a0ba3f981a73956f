// The in-memory table of text cells with header keywords.
#include "loadfile/table.h"

namespace {

const char kKeyError[] = "Header keyword not found";
const char kColError[] = "Table column not found";
const char kRowError[] = "Table row not found";
const char kNewColError[] = "Cannot create table column";
const char kNewRowError[] = "Cannot create table row";

int cell_index(const table* t, int column, int row) { return 1 + row * t->ncols + column; }

// Makes row `row` (== rows) with every cell sharing the empty cell, reusing
// cells left allocated by trunc_table.
void make_row(table* t, int row) {
  for (int c = 0; c < t->ncols; ++c) copy_text(&t->cells, 0, cell_index(t, c, row));
  t->rows = row + 1;
}

// Cells entry of (column, row), or -1 with the message set.
int checked_cell(table* t, int column, int row) {
  if (column < 0 || column >= t->ncols) {
    lod_error = kColError;
    return -1;
  }
  if (row < 0 || row >= t->rows) {
    lod_error = kRowError;
    return -1;
  }
  return cell_index(t, column, row);
}

}  // namespace

table* create_table() {
  table* t = new table;
  init_text(&t->keys, 10, 100);
  init_text(&t->values, 10, 400);
  init_text(&t->columns, 10, 100);
  init_text(&t->cells, 100, 4000);
  add_text(&t->cells, "");
  return t;
}

void free_table(table* t) {
  if (t == nullptr) return;
  free_text(&t->keys);
  free_text(&t->values);
  free_text(&t->columns);
  free_text(&t->cells);
  delete t;
}

int add_tab_col(table* t, const char* name) {
  if (t->rows > 1) {
    lod_error = kNewColError;
    return -1;
  }
  int i = find_text(&t->columns, name);
  if (i >= 0) return i;
  i = add_text(&t->columns, name);
  t->ncols = i + 1;
  copy_text(&t->cells, 0, cell_index(t, i, 0));
  t->rows = 1;
  return i;
}

int put_tab_key(table* t, const char* key, const char* value) {
  int i = find_text(&t->keys, key);
  if (i >= 0) return put_text(&t->values, i, value);
  add_text(&t->keys, key);
  return add_text(&t->values, value);
}

char* get_tab_key(table* t, const char* key) {
  int i = find_text(&t->keys, key);
  if (i < 0) {
    lod_error = kKeyError;
    return nullptr;
  }
  return get_text(&t->values, i);
}

int cat_tab_key(table* t, const char* key, const char* s) {
  int i = find_text(&t->keys, key);
  if (i < 0) {
    lod_error = kKeyError;
    return -1;
  }
  return cat_text(&t->values, i, s);
}

char* get_tab_keyname_bynum(table* t, int i) {
  if (i < 0 || i >= t->keys.count) {
    lod_error = kKeyError;
    return nullptr;
  }
  return get_text(&t->keys, i);
}

char* get_tab_keyval_bynum(table* t, int i) {
  if (i < 0 || i >= t->values.count) {
    lod_error = kKeyError;
    return nullptr;
  }
  return get_text(&t->values, i);
}

char* get_tab_colname(table* t, int i) {
  if (i < 0 || i >= t->ncols) {
    lod_error = kColError;
    return nullptr;
  }
  return get_text(&t->columns, i);
}

int get_tab_colnum(table* t, const char* name) {
  int i = find_text(&t->columns, name);
  if (i < 0) lod_error = kColError;
  return i;
}

int put_tab_cell(table* t, const char* column, int row, const char* s) {
  int c = find_text(&t->columns, column);
  if (c < 0) {
    if (t->rows > 1 || row != 0) {
      lod_error = kNewColError;
      return -1;
    }
    c = add_tab_col(t, column);
  }
  if (row < 0 || row > t->rows) {
    lod_error = kNewRowError;
    return -1;
  }
  if (row == t->rows) make_row(t, row);
  put_text(&t->cells, cell_index(t, c, row), s);
  return 0;
}

char* get_tab_cell(table* t, const char* column, int row) {
  int c = find_text(&t->columns, column);
  if (c < 0) {
    lod_error = kColError;
    return nullptr;
  }
  return get_tab_cell_bynum(t, c, row);
}

char* get_tab_cell_bynum(table* t, int column, int row) {
  int i = checked_cell(t, column, row);
  return i < 0 ? nullptr : get_text(&t->cells, i);
}

int cat_tab_cell(table* t, const char* column, int row, const char* s) {
  int c = find_text(&t->columns, column);
  if (c < 0) {
    lod_error = kColError;
    return -1;
  }
  int i = checked_cell(t, c, row);
  if (i < 0) return -1;
  return cat_text(&t->cells, i, s) < 0 ? -1 : 0;
}

void trunc_table(table* t, int n) {
  if (n >= 0 && n < t->rows) t->rows = n;
}
