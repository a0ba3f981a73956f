// Tests of sort-order loading and the class 1 weight table.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "comnlib/comn_loc_testhome.h"
#include "comnlib/comn_sort.h"

namespace {

const char kDescription[] =
    ";\n[sortorder]\nclass = 0x01\nid = 0x32\nname = dict\ncharset = iso_1\n"
    "description = \"Dictionary order\"\nmenuname = \"Dictionary\"\n";

std::string hexbyte(int b) { return comn_test_hexval(static_cast<std::uint32_t>(b), 1); }

// "char" entries for every byte 1..255 not named in `done`, one each.
std::string remaining_chars(const std::set<int>& done) {
  std::string out;
  for (int b = 1; b < 256; ++b)
    if (done.count(b) == 0) out += "char = " + hexbyte(b) + "\n";
  return out;
}

struct Loaded {
  int r;
  comn_sortorder* so;
};

class SortHome : public ::testing::Test {
 protected:
  void TearDown() override {
    while (desc_.sortorders != nullptr) {
      comn_sortorder* s = desc_.sortorders;
      desc_.sortorders = s->next;
      comn__sortorder_drop(s);
    }
  }
  Loaded load(const std::string& text) {
    home_.put("charsets/iso_1/dict.srt", text);
    comn_loccache e{};
    e.csname = const_cast<char*>("iso_1");
    e.soname = const_cast<char*>("dict");
    e.chardesc = &desc_;
    ids_.emplace_back();
    int r = comn__intl_load_sortorder(&ctx_, &ids_.back(), &e, nullptr, 0);
    return {r, e.sortorder};
  }
  static const std::uint8_t* chr(const comn_sortorder* so, int b) {
    return so->table + COMN_SORT_HDR + 4 * b;
  }
  static const std::uint8_t* ext(const comn_sortorder* so, int i) {
    return so->table + COMN_SORT_HDR + 4 * 256 + COMN_SORT_EXTSIZE * i;
  }

  ComnTestHome home_;
  COMN_CONTEXT ctx_{};
  comn_chardesc desc_{};
  std::vector<comn_object> ids_ = std::vector<comn_object>();
};

TEST_F(SortHome, FirstEntriesTakeTheFirstWeights) {
  ids_.reserve(8);
  Loaded l = load(std::string(kDescription) + "char = a\nchar = b\n" +
                  remaining_chars({'a', 'b'}));
  ASSERT_EQ(l.r, 1);
  ASSERT_NE(l.so->table, nullptr);
  EXPECT_EQ(l.so->desc->id, 0x32);
  EXPECT_STREQ(l.so->desc->name, "dict");
  EXPECT_EQ(l.so->desc->preference, 1);
  const std::uint8_t* a = chr(l.so, 'a');
  const std::uint8_t* b = chr(l.so, 'b');
  EXPECT_EQ((std::vector<int>{a[0], a[1], a[2]}), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ((std::vector<int>{b[0], b[1], b[2]}), (std::vector<int>{2, 0, 1}));
  // The map gives, for weight p, the first character of the first entry above p.
  EXPECT_EQ(a[3], 'b');
  EXPECT_EQ(chr(l.so, 0)[2], 1);
  EXPECT_EQ(l.so->table[2], 255);  // last character read
}

TEST_F(SortHome, ChainsLigaturesAndExtensions) {
  ids_.reserve(8);
  Loaded l = load(std::string(kDescription) + "lig = " + hexbyte(0xE6) + ", after ae\n" +
                  "char = a=A, " + hexbyte(0xE1) + "\nchar = e=E\n" +
                  remaining_chars({'a', 'A', 'e', 'E', 0xE1, 0xE6}));
  ASSERT_EQ(l.r, 1);
  const std::uint8_t* a = chr(l.so, 'a');
  const std::uint8_t* A = chr(l.so, 'A');
  EXPECT_EQ((std::vector<int>{a[0], a[1], a[2]}), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ((std::vector<int>{A[0], A[1], A[2]}), (std::vector<int>{1, 0, 2}));
  // "a" is an expansion character of an "after" ligature: one secondary
  // reserved, so the next value gets secondary 2.
  const std::uint8_t* aa = chr(l.so, 0xE1);
  EXPECT_EQ((std::vector<int>{aa[0], aa[1], aa[2]}), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(l.so->table[0] & 0x38, 0x38);  // ligatures and chains
  // The ligature's chain: a kind 3 entry with the expansion's weights.
  const std::uint8_t* lig = chr(l.so, 0xE6);
  ASSERT_NE(lig[3], 255);
  const std::uint8_t* x = ext(l.so, lig[3]);
  EXPECT_EQ(x[1], 3);
  EXPECT_EQ((std::vector<int>{x[4], x[5], x[6]}), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ((std::vector<int>{x[8], x[9], x[10]}), (std::vector<int>{2, 1, 1}));
}

TEST_F(SortHome, RejectedFiles) {
  ids_.reserve(16);
  std::string all = remaining_chars({});
  struct Case {
    std::string text;
    int r;
  } cases[] = {
      {std::string(kDescription) + remaining_chars({'q'}), 0},  // 'q' never defined
      {";\n[sortorder]\nclass = 0x01\nid = 0x32\nname = dict\ncharset = iso_1\n"
       "description = x\n" + all, 0},  // no menuname
      {std::string(kDescription) + "char = a\nchar = a\n" + remaining_chars({'a'}), 0},
      {std::string(kDescription) + "row = a\n", 0},
      {std::string(kDescription), 0},  // no definitions, not binary
      {";\n[sortorder]\nclass = 0x02\nid = 0x32\nname = dict\ncharset = iso_1\n"
       "description = x\nmenuname = y\nrow = a\n", 0},
      {";\n[sortorder]\nclass = 0x01\nid = 0x00\nname = dict\ncharset = iso_1\n"
       "description = x\nmenuname = y\n" + all, 0},
      {";\n[sortorder]\nclass = 0x01\nid = 0x01\nname = 9dict\ncharset = iso_1\n"
       "description = x\nmenuname = y\n" + all, 0},
      // A ligature whose expansion names the ligature itself.
      {std::string(kDescription) + "lig = a, after ab\n" + remaining_chars({'a'}), 0},
      {";\n[other]\n", 0},
  };
  for (const auto& c : cases) {
    Loaded l = load(c.text);
    EXPECT_EQ(l.r, c.r) << c.text.substr(0, 200);
    EXPECT_EQ(l.so, nullptr);
  }
  EXPECT_EQ(desc_.sortorders, nullptr);
}

// A class 1 file holds at most 50 ligatures.  Ligature bytes get their
// weights from their expansions, so no "char" entry may name them.
TEST_F(SortHome, FiftyLigaturesLoadAndAFiftyFirstIsRefused) {
  ids_.reserve(8);
  struct Case {
    int ligatures;
    int r;
  } cases[] = {{1, 1}, {50, 1}, {51, 0}};
  for (const Case& c : cases) {
    std::string ligs;
    std::set<int> bytes;
    for (int i = 0; i < c.ligatures; ++i) {
      ligs += "lig = " + hexbyte(0x80 + i) + ", equal ab\n";
      bytes.insert(0x80 + i);
    }
    Loaded l = load(std::string(kDescription) + ligs + remaining_chars(bytes));
    ASSERT_EQ(l.r, c.r) << c.ligatures << " ligatures";
    if (c.r != 1) {
      EXPECT_EQ(l.so, nullptr);
      continue;
    }
    // Every ligature byte has its kind 3 entry with the weights of "a" and "b".
    const std::uint8_t* a = chr(l.so, 'a');
    const std::uint8_t* b = chr(l.so, 'b');
    for (int byte : bytes) {
      const std::uint8_t* e = chr(l.so, byte);
      ASSERT_NE(e[3], 255) << byte;
      const std::uint8_t* x = ext(l.so, e[3]);
      EXPECT_EQ(x[1], 3) << byte;
      EXPECT_EQ(x[4], a[0]) << byte;
      EXPECT_EQ(x[8], b[0]) << byte;
    }
  }
}

TEST_F(SortHome, BinaryOrderHasNoTableAndLoadsOnce) {
  ids_.reserve(4);
  Loaded l = load(std::string(kDescription) + "binary = true\n");
  ASSERT_EQ(l.r, 1);
  EXPECT_EQ(l.so->table, nullptr);
  EXPECT_EQ(l.so->desc->binary, 1);
  // Same id again: the record already on the descriptor's list.
  home_.put("charsets/iso_1/dict.srt", "garbage");
  comn_loccache e{};
  e.csname = const_cast<char*>("iso_1");
  e.soname = const_cast<char*>("dict");
  e.chardesc = &desc_;
  EXPECT_EQ(comn__intl_load_sortorder(&ctx_, &ids_[0], &e, nullptr, 0), 1);
  EXPECT_EQ(e.sortorder, l.so);
  comn_locale loc{};
  loc.cat[0] = &e;
  const std::uint8_t* table = reinterpret_cast<const std::uint8_t*>(1);
  EXPECT_EQ(com_intl_sortorder(&loc, &table), 1);
  EXPECT_EQ(table, nullptr);
  comn_locale empty{};
  EXPECT_EQ(com_intl_sortorder(&empty, &table), 0);
}

}  // namespace
