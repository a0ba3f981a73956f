// Unit tests of the cursor's SQL building: the phrase search and the key
// comparisons of dynamic cursors.  Cursors against a server are tested in
// standin/dblib_cursor_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "db_crs.h"

namespace {

TEST(DbCursorSql, PhraseSearchAndDynamicConditions) {
  struct Case {
    const char* text;
    const char* phrase;
    int mode;
    long at;
  } cases[] = {
      {"  SELECT a FROM t", "from ", 0, 11},
      {"select \"a from b\" from t", "from ", 0, 18},
      {"select x from t where y=1", "where ", 0, 16},
      {"select a,count(b) from t", "count", 1, 9},
      {"select a,count(b) from t", "count", 0, -1},
      {"select afrom t", "from ", 0, -1},
      {"select a from\t\tt", "from ", 0, 9},
  };
  for (const Case& k : cases) EXPECT_EQ(db__crs_search_phrase(k.text, k.phrase, k.mode), k.at) << k.text;

  CURSORREC c;
  c.keyset_rows = 1;
  CURSORKEY k1, k2;
  k1.name = "t.a";
  k1.type = MERINT4;
  k1.maxlen = 4;
  k1.data.assign(4, 0);
  k1.lens = {0};  // a null
  k2.name = "t.b";
  k2.type = MERINT4;
  k2.maxlen = 4;
  int32_t v = 7;
  k2.data.assign(reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4);
  k2.lens = {4};
  c.keys = {k1, k2};
  std::string next, prev;
  ASSERT_EQ(db__crs_bld_dynamic_where(&c, 2, &next), 1);
  EXPECT_EQ(next, "(t.a is not NULL) or (t.a is NULL  and t.b > 7)");
  ASSERT_EQ(db__crs_bld_dynamic_where(&c, 3, &prev), 1);
  EXPECT_EQ(prev, "(t.a is NULL  and t.b < 7)");
}

}  // namespace
