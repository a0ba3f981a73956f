#include "loadfile/alist.h"
#include "loadfile/table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Text, PutGetCopyAndBounds) {
  text t;
  init_text(&t, 2, 4);
  EXPECT_EQ(add_text(&t, "alpha"), 0);
  EXPECT_EQ(put_text(&t, 1, "beta"), 1);  // i == count appends
  EXPECT_EQ(put_text(&t, 5, "x"), -1);
  EXPECT_STREQ(lod_error, "Text line index out of bounds");
  EXPECT_EQ(get_text(&t, 2), nullptr);
  EXPECT_EQ(copy_text(&t, 0, 2), 2);
  EXPECT_STREQ(get_text(&t, 2), "alpha");
  EXPECT_EQ(copy_text(&t, 3, 0), -1);
  EXPECT_EQ(find_text(&t, "beta"), 1);
  EXPECT_EQ(find_text(&t, "gamma"), -1);
  put_text(&t, 0, "replaced");
  EXPECT_STREQ(get_text(&t, 0), "replaced");
  EXPECT_STREQ(get_text(&t, 2), "alpha");
  free_text(&t);
}

TEST(Text, CatNeverChangesAnotherEntry) {
  text t;
  init_text(&t, 1, 1);
  add_text(&t, "ab");
  copy_text(&t, 0, 1);  // entry 1 shares the last string in the buffer
  EXPECT_EQ(cat_text(&t, 1, "cd"), 1);
  EXPECT_STREQ(get_text(&t, 0), "ab");
  EXPECT_STREQ(get_text(&t, 1), "abcd");
  add_text(&t, "zz");
  cat_text(&t, 0, "!");  // not at the top: copied first
  EXPECT_STREQ(get_text(&t, 0), "ab!");
  EXPECT_STREQ(get_text(&t, 2), "zz");
  cat_text(&t, 0, "?");  // now at the top: extended in place
  EXPECT_STREQ(get_text(&t, 0), "ab!?");
  EXPECT_EQ(cat_text(&t, 9, "x"), -1);
  free_text(&t);
}

// A string taken from a list and handed back to a change of the same list
// is read before the change can move (and free) the buffer it lies in.
TEST(Text, StringsOfTheListItselfGoBackIn) {
  const struct {
    const char* what;
    void (*change)(text*);
    int entry;
    const char* want;
  } cases[] = {
      {"put over itself", [](text* t) { put_text(t, 0, get_text(t, 0)); }, 0, "abcdef"},
      {"put into another", [](text* t) { put_text(t, 1, get_text(t, 0)); }, 1, "abcdef"},
      {"append", [](text* t) { add_text(t, get_text(t, 0)); }, 2, "abcdef"},
      {"cat to itself", [](text* t) { cat_text(t, 1, get_text(t, 1)); }, 1, "xyxy"},
      {"cat to one not on top", [](text* t) { cat_text(t, 0, get_text(t, 1)); }, 0, "abcdefxy"},
  };
  for (const auto& c : cases) {
    text t;
    init_text(&t, 2, 8);  // small steps: every change grows the buffer
    add_text(&t, "abcdef");
    add_text(&t, "xy");
    c.change(&t);
    EXPECT_STREQ(get_text(&t, c.entry), c.want) << c.what;
    free_text(&t);
  }
}

TEST(Buffers, TopAndGrowth) {
  char_buf b;
  init_char_buf(&b, 0);
  EXPECT_EQ(b.increment, 100);
  int first = put_char_buf(&b, "x");
  EXPECT_EQ(top_char_buf(&b, first), 1);
  int second = put_char_buf(&b, std::string(250, 'y').c_str());
  EXPECT_EQ(top_char_buf(&b, first), -1);
  EXPECT_EQ(top_char_buf(&b, second), second + 250);
  EXPECT_GE(b.buffer.size(), 253u);
  int_buf ib;
  init_int_buf(&ib, 2);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(put_int_buf(&ib, i * 10), i);
  EXPECT_EQ(ib.buffer[4], 40);
}

// A list grown by many megabytes in small steps keeps every string.
TEST(Buffers, LargeListsKeepTheirStrings) {
  text t;
  init_text(&t, 100, 4000);
  const std::string s(99, 'z');
  for (int i = 0; i < 50000; ++i) add_text(&t, (std::to_string(i) + s).c_str());
  for (int i : {0, 1, 10000, 49999}) EXPECT_EQ(get_text(&t, i), std::to_string(i) + s);
  text copy = t;  // a copy owns its own bytes
  free_text(&t);
  EXPECT_EQ(get_text(&copy, 49999), "49999" + s);
  free_text(&copy);
}

TEST(Alist, FirstInsertionOrderAndReplacement) {
  alist* a = create_alist();
  EXPECT_EQ(add_alist(a, "k1", "v1"), 0);
  EXPECT_EQ(add_alist(a, "k2", "v2"), 1);
  EXPECT_EQ(add_alist(a, "k1", "v3"), 0);
  EXPECT_STREQ(find_alist(a, "k1"), "v3");
  EXPECT_EQ(find_alist(a, "k3"), nullptr);
  char *k, *v;
  EXPECT_EQ(each_alist(a, 1, &k, &v), 0);
  EXPECT_STREQ(k, "k2");
  EXPECT_STREQ(v, "v2");
  EXPECT_EQ(each_alist(a, 2, &k, &v), -1);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(v, nullptr);
  free_alist(a);
}

TEST(Table, ColumnsRowsAndCells) {
  table* t = create_table();
  EXPECT_EQ(add_tab_col(t, "A"), 0);
  EXPECT_EQ(add_tab_col(t, "B"), 1);
  EXPECT_EQ(add_tab_col(t, "A"), 0);
  EXPECT_EQ(t->rows, 1);
  EXPECT_STREQ(get_tab_cell(t, "A", 0), "");
  EXPECT_STREQ(get_tab_cell(t, "B", 0), "");
  EXPECT_EQ(put_tab_cell(t, "B", 1, "b1"), 0);
  EXPECT_EQ(t->rows, 2);
  EXPECT_STREQ(get_tab_cell(t, "A", 1), "");
  EXPECT_STREQ(get_tab_cell(t, "B", 1), "b1");
  EXPECT_EQ(get_tab_cell(t, "A", 2), nullptr);
  EXPECT_STREQ(lod_error, "Table row not found");
  EXPECT_EQ(get_tab_cell(t, "Z", 0), nullptr);
  EXPECT_STREQ(lod_error, "Table column not found");
  EXPECT_EQ(put_tab_cell(t, "B", 3, "x"), -1);
  EXPECT_STREQ(lod_error, "Cannot create table row");
  EXPECT_EQ(put_tab_cell(t, "C", 0, "x"), -1);
  EXPECT_STREQ(lod_error, "Cannot create table column");
  EXPECT_EQ(add_tab_col(t, "C"), -1);
  EXPECT_EQ(get_tab_colnum(t, "B"), 1);
  EXPECT_EQ(get_tab_colnum(t, "Q"), -1);
  EXPECT_STREQ(get_tab_colname(t, 0), "A");
  EXPECT_EQ(get_tab_colname(t, 2), nullptr);
  EXPECT_EQ(cat_tab_cell(t, "B", 1, "+"), 0);
  EXPECT_STREQ(get_tab_cell_bynum(t, 1, 1), "b1+");
  EXPECT_STREQ(get_tab_cell(t, "A", 0), "");  // the shared empty cell is unchanged
  free_table(t);
}

TEST(Table, CellsCreateColumnsInRowZeroAndTruncReuses) {
  table* t = create_table();
  EXPECT_EQ(put_tab_cell(t, "X", 0, "x0"), 0);
  EXPECT_EQ(put_tab_cell(t, "Y", 0, "y0"), 0);
  EXPECT_EQ(put_tab_cell(t, "X", 1, "x1"), 0);
  EXPECT_EQ(put_tab_cell(t, "Y", 1, "y1"), 0);
  trunc_table(t, 1);
  EXPECT_EQ(t->rows, 1);
  EXPECT_EQ(put_tab_cell(t, "X", 1, "again"), 0);
  EXPECT_STREQ(get_tab_cell(t, "Y", 1), "");
  EXPECT_STREQ(get_tab_cell(t, "X", 1), "again");
  EXPECT_STREQ(get_tab_cell(t, "Y", 0), "y0");
  // Many replacements grow the cell buffer without disturbing other cells.
  for (int i = 0; i < 2000; ++i) put_tab_cell(t, "X", 0, std::to_string(i).c_str());
  EXPECT_STREQ(get_tab_cell(t, "X", 0), "1999");
  EXPECT_STREQ(get_tab_cell(t, "Y", 0), "y0");
  free_table(t);
}

// Cells and keyword values put back into the table they were taken from.
TEST(Table, CellsAndKeywordsOfTheTableItselfGoBackIn) {
  table* t = create_table();
  put_tab_cell(t, "A", 0, std::string(100, 'c').c_str());
  for (int r = 1; r < 500; ++r) ASSERT_EQ(put_tab_cell(t, "A", r, get_tab_cell(t, "A", r - 1)), 0);
  EXPECT_EQ(get_tab_cell(t, "A", 499), std::string(100, 'c'));
  cat_tab_cell(t, "A", 3, get_tab_cell(t, "A", 3));
  EXPECT_EQ(get_tab_cell(t, "A", 3), std::string(200, 'c'));

  put_tab_key(t, "K0", std::string(300, 'k').c_str());
  for (int k = 1; k < 5; ++k) {
    const std::string key = "K" + std::to_string(k), prev = "K" + std::to_string(k - 1);
    put_tab_key(t, key.c_str(), get_tab_key(t, prev.c_str()));
    cat_tab_key(t, key.c_str(), get_tab_key(t, key.c_str()));
  }
  EXPECT_EQ(std::string(get_tab_key(t, "K3")), std::string(300 * 8, 'k'));
  free_table(t);

  alist* a = create_alist();
  add_alist(a, "k1", std::string(150, 'v').c_str());
  for (int k = 0; k < 10; ++k) add_alist(a, ("n" + std::to_string(k)).c_str(), find_alist(a, "k1"));
  EXPECT_EQ(std::string(find_alist(a, "n9")), std::string(150, 'v'));
  free_alist(a);
}

TEST(Table, HeaderKeywords) {
  table* t = create_table();
  put_tab_key(t, "INSTRUME", "ZOR");
  put_tab_key(t, "DBTABLE", "X");
  put_tab_key(t, "DBTABLE", "CRCOMPLIST");
  EXPECT_STREQ(get_tab_keyname_bynum(t, 1), "DBTABLE");
  EXPECT_STREQ(get_tab_keyval_bynum(t, 1), "CRCOMPLIST");
  EXPECT_EQ(get_tab_keyname_bynum(t, 2), nullptr);
  EXPECT_STREQ(lod_error, "Header keyword not found");
  EXPECT_EQ(cat_tab_key(t, "INSTRUME", "-1"), 0);
  EXPECT_STREQ(get_tab_key(t, "INSTRUME"), "ZOR-1");
  EXPECT_EQ(get_tab_key(t, "NOPE"), nullptr);
  EXPECT_EQ(cat_tab_key(t, "NOPE", "x"), -1);
  free_table(t);
}

}  // namespace
