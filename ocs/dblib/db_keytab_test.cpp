// Tests of the keyed tables and the character-class forwarders.
#include <gtest/gtest.h>

#include "dblib/db_internal.h"

namespace {

TEST(DbKeyTable, AnagramsShareABucketAndDeleteLeavesTheOther) {
  DBKEYTAB* t = db__make_tab(7);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(db__hash_add("listen", 7), db__hash_add("silent", 7));
  ASSERT_EQ(db__add_ent(t, "listen", 1, 0, nullptr), 1);
  ASSERT_EQ(db__add_ent(t, "silent", 2, 0, nullptr), 1);
  ASSERT_EQ(db__add_ent(t, "other", 3, 5, nullptr), 1);
  EXPECT_EQ(db__num_entries(t), 3);
  EXPECT_EQ(get_ent(t, "other", 0), nullptr);  // the second tag must match
  EXPECT_NE(get_ent(t, "other", 5), nullptr);
  EXPECT_EQ(db__delete_ent(t, "listen", 0), 1);
  DBKEYENT* e = nullptr;
  EXPECT_EQ(db__find_ent(t, "silent", 0, &e), 1);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->tag1, 2);
  EXPECT_EQ(db__find_ent(t, "listen", 0, &e), 0);
  char names[2][32];
  EXPECT_EQ(db__list_entries(t, names), 1);
  EXPECT_EQ(db__num_entries(t), 2);
  db__free_tab(t);
  // Signed bytes: -1 - 2 = -3, brought into range as 4.
  EXPECT_EQ(db__hash_add("\xff\xfe", 7), 4);
  EXPECT_EQ(db__hash_add("listen", 7), 655 % 7);
}

TEST(DbCtype, ForwardsToTheCurrentCharacterMap) {
  EXPECT_EQ(db__toupper('a'), 'A');
  EXPECT_EQ(db__tolower('Q'), 'q');
  EXPECT_TRUE(db__isdigit('7'));
  EXPECT_TRUE(db__isspace(' '));
  EXPECT_FALSE(db__isalpha('1'));
  EXPECT_TRUE(db__isxdigit('f'));
}

}  // namespace
