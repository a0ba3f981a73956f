// Tests of character-set attribute records built from definitions.
#include <gtest/gtest.h>

#include <vector>

#include "comnlib/com_types.h"
#include "dblib/db_internal.h"

namespace {

void put32(std::vector<BYTE>& d, int at, uint32_t v) {
  d[static_cast<size_t>(at)] = static_cast<BYTE>(v >> 24);
  d[static_cast<size_t>(at) + 1] = static_cast<BYTE>(v >> 16);
  d[static_cast<size_t>(at) + 2] = static_cast<BYTE>(v >> 8);
  d[static_cast<size_t>(at) + 3] = static_cast<BYTE>(v);
}

TEST(DbCharset, SingleByteDefinition) {
  std::vector<BYTE> def(1028 + 256, 0);
  com_charattrib* rec = com_alloc_char_attrib();
  ASSERT_EQ(com_build_char_attrib(1001, 9, "cp850", def.data(), static_cast<long>(def.size()), rec), 1);
  EXPECT_EQ(rec->cs_class, 1);
  EXPECT_EQ(rec->id, 9);
  EXPECT_EQ(rec->namelen, 5);
  EXPECT_EQ(rec->typemap, def.data());
  EXPECT_EQ(rec->soundex, def.data() + 1028);
  EXPECT_EQ(rec->lentab, nullptr);
  EXPECT_EQ(rec->flags[2], 0);
  EXPECT_EQ(com_build_char_attrib(1001, 9, "short", def.data(), 1000, rec), 0);  // too short
  com_free_char_attrib(rec);
}

TEST(DbCharset, MultibyteDefinitionAndBounds) {
  std::vector<BYTE> def(44 + 256 + 1024 + 256 + 64, 0);
  def[0] = 0; def[1] = 7; def[2] = 2;
  for (int i = 3; i < 8; ++i) def[static_cast<size_t>(i)] = static_cast<BYTE>(i);
  put32(def, 12, 44); put32(def, 16, 256);            // character lengths
  put32(def, 20, 0); put32(def, 24, 0);               // no multibyte map
  put32(def, 28, 300); put32(def, 36, 1324);          // type map, Soundex
  com_charattrib* rec = com_alloc_char_attrib();
  ASSERT_EQ(com_build_char_attrib(1002, 3, "sjis", def.data(), static_cast<long>(def.size()), rec), 1);
  EXPECT_EQ(rec->status, 7);
  EXPECT_EQ(rec->cs_class, 2);
  EXPECT_EQ(rec->id, 3);
  EXPECT_EQ(rec->flags[0], 3);
  EXPECT_EQ(rec->flags[2], 6);  // bytes 3, 4, 6, 5, 7 in that order
  EXPECT_EQ(rec->flags[3], 5);
  EXPECT_EQ(rec->lentab, def.data() + 44);
  EXPECT_EQ(rec->mbmap, nullptr);
  EXPECT_EQ(rec->typemap, def.data() + 300);
  // A table pointing past the definition is refused, never pointed at.
  put32(def, 36, 0xFFFFFF00u);
  EXPECT_EQ(com_build_char_attrib(1002, 3, "sjis", def.data(), static_cast<long>(def.size()), rec), 0);
  EXPECT_EQ(com_build_char_attrib(1003, 3, "x", def.data(), static_cast<long>(def.size()), rec), 0);
  com_free_char_attrib(rec);
}

}  // namespace
