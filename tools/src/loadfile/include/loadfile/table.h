// The in-memory table of text: header keywords in insertion order, column
// names, and cells stored row by row.  Cell (r, c) is cells entry
// 1 + r * ncols + c; cells entry 0 is the empty string that every cell not
// yet set shares.  Failures return -1 or null and leave the message in
// lod_error.  Returned strings belong to the table and are valid until its
// next change.
#pragma once

#include "loadfile/text.h"

struct table {
  text keys;     // header keyword names
  text values;   // header keyword values, parallel to keys
  text columns;  // column names
  text cells;
  int rows = 0;
  int ncols = 0;
};

table* create_table();
void free_table(table* t);

// Appends a column (only while the table has at most one row) and makes
// row 0; an existing column returns its index.
int add_tab_col(table* t, const char* name);

int put_tab_key(table* t, const char* key, const char* value);
char* get_tab_key(table* t, const char* key);
int cat_tab_key(table* t, const char* key, const char* s);
char* get_tab_keyname_bynum(table* t, int i);
char* get_tab_keyval_bynum(table* t, int i);

char* get_tab_colname(table* t, int i);
int get_tab_colnum(table* t, const char* name);

// Sets a cell; creates a missing column only in row 0 of a table with at
// most one row, and creates the row equal to the current row count.
int put_tab_cell(table* t, const char* column, int row, const char* s);
char* get_tab_cell(table* t, const char* column, int row);
char* get_tab_cell_bynum(table* t, int column, int row);
int cat_tab_cell(table* t, const char* column, int row, const char* s);

// Rows := n when n is below the row count (cells stay allocated).
void trunc_table(table* t, int n);
