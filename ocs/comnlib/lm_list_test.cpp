// Tests of the list manager: key folding, every list kind's operations,
// properties, pools and dropping.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "comnlib/lm_list.h"

namespace {

void* D(std::intptr_t v) { return reinterpret_cast<void*>(v); }
std::intptr_t V(void* p) { return reinterpret_cast<std::intptr_t>(p); }

struct Ctx {
  lm_context* c = nullptr;
  Ctx() { EXPECT_EQ(lm_initlm(1100, "test context", LM_NULLTERM, &c), 1); }
  ~Ctx() { EXPECT_EQ(lm_exit(c, LM_FORCE), 1); }
  lm_list* make(int type, int tabsize = 0) {
    lm_list* l = nullptr;
    EXPECT_EQ(lm_list_alloc(c, type, "list", LM_NULLTERM, &l), 1);
    if (tabsize > 0) {
      EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_TABSIZE, &tabsize, 4, nullptr), 1);
    }
    return l;
  }
};

// Collects the data of a linked list from first to last.
std::vector<std::intptr_t> contents(lm_list* l) {
  std::vector<std::intptr_t> out;
  auto* h = static_cast<lm_linkhead*>(l->head);
  for (lm_node* n = h->first; n != nullptr; n = n->next) out.push_back(V(n->data));
  return out;
}

TEST(LmHash, FoldsKeys) {
  struct Case {
    const char* key;
    int len;
    std::uint32_t want;
  } cases[] = {
      {"", 0, 0},
      {"AB", 2, 0x41425A5Au},
      {"ABCD", 4, 0x41424344u},
      {"ABCDEFGH", 8, 0x41424344u * 37u + 0x45464748u},
      {"ABCDE", 5, 0x41424344u * 37u + 0x455A5A5Au},
  };
  for (const auto& c : cases) {
    std::uint32_t r = 1;
    EXPECT_EQ(lm___api_key_to_uint(c.key, c.len, &r), 1);
    EXPECT_EQ(r, c.want) << c.key;
  }
  std::uint32_t h = 0;
  EXPECT_EQ(lm__api_key_to_hash2("AB", 2, 1, &h), 1);  // one slot: no division by zero
  EXPECT_EQ(h, 1u);
}

TEST(LmDlink, InsertsAtEveryPositionAndDeletes) {
  Ctx ctx;
  lm_list* l = ctx.make(LM_DLINK);
  void* out = nullptr;
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, LM_NOVALUE, D(2), &out), 1);
  EXPECT_EQ(V(out), 2);
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, LM_FIRST, D(1), nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, LM_LAST, D(4), nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, LM_BEFORE, D(3), nullptr), 1);  // before 4
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, LM_AFTER, D(5), nullptr), 1);   // after 3
  EXPECT_EQ(contents(l), (std::vector<std::intptr_t>{1, 2, 3, 5, 4}));
  // A position that names no place is refused and links nothing.
  EXPECT_EQ(lm_list_op(l, LM_INSERT, nullptr, 99, D(9), nullptr), 0);
  EXPECT_EQ(l->props->count, 5);
  EXPECT_EQ(lm_list_op(l, LM_FIRST, nullptr, 0, nullptr, &out), 1);
  EXPECT_EQ(V(out), 1);
  EXPECT_EQ(lm_list_op(l, LM_PREV, nullptr, 0, nullptr, &out), 0);
  EXPECT_EQ(lm_list_op(l, LM_DELETE, nullptr, 0, nullptr, &out), 1);  // head: cursor is new head
  EXPECT_EQ(V(out), 2);
  EXPECT_EQ(lm_list_op(l, LM_NEXT, nullptr, 0, nullptr, &out), 1);
  EXPECT_EQ(lm_list_op(l, LM_DELETE, nullptr, 0, nullptr, &out), 1);  // 3: cursor is 2
  EXPECT_EQ(V(out), 2);
  EXPECT_EQ(lm_list_op(l, LM_REPLACE, nullptr, 0, D(7), &out), 1);
  EXPECT_EQ(contents(l), (std::vector<std::intptr_t>{7, 5, 4}));
  // Dropping a non-empty list needs mode 35.
  EXPECT_EQ(lm_list_drop(l, LM_NOVALUE), 0);
  EXPECT_EQ(lm_list_drop(l, 77), 0);
  EXPECT_EQ(lm_list_drop(l, LM_FORCE), 1);
}

TEST(LmQueueStack, DeleteTakesTheFirstElement) {
  Ctx ctx;
  struct Case {
    int type;
    std::vector<std::intptr_t> after;
    std::intptr_t result;
  } cases[] = {{LM_QUEUE, {2, 3}, 2}, {LM_STACK, {2, 1}, 2}};
  for (const auto& c : cases) {
    lm_list* l = ctx.make(c.type);
    for (int v = 1; v <= 3; ++v) ASSERT_EQ(lm_list_op(l, LM_INSERT, nullptr, 0, D(v), nullptr), 1);
    void* out = nullptr;
    EXPECT_EQ(lm_list_op(l, LM_DELETE, nullptr, 0, nullptr, &out), 1);
    EXPECT_EQ(V(out), c.result);
    EXPECT_EQ(contents(l), c.after);
    EXPECT_EQ(lm_list_op(l, LM_SEARCH, "x", 1, nullptr, nullptr), 0);
  }
}

TEST(LmChash, SharedBucketSearchDeleteAndRehash) {
  Ctx ctx;
  lm_list* l = ctx.make(LM_CHASH, 2000);
  // Find two 2-byte keys that share a bucket.
  static char keys[4096][2];
  int a = -1, b = -1;
  std::vector<int> seen(2000, -1);
  for (int i = 0; i < 4096 && b < 0; ++i) {
    keys[i][0] = static_cast<char>('A' + i / 64);
    keys[i][1] = static_cast<char>(i % 64 + 32);
    std::uint32_t h = 0;
    lm__api_key_to_hash(keys[i], 2, 2000, &h);
    if (seen[h] >= 0) {
      a = seen[h];
      b = i;
    }
    seen[h] = i;
  }
  ASSERT_GE(b, 0);
  ASSERT_EQ(lm_list_op(l, LM_INSERT, keys[a], 2, D(10), nullptr), 1);
  ASSERT_EQ(lm_list_op(l, LM_INSERT, keys[b], 2, D(20), nullptr), 1);
  void* out = nullptr;
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[a], 2, nullptr, &out), 1);
  EXPECT_EQ(V(out), 10);
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[b], 2, nullptr, &out), 1);
  EXPECT_EQ(V(out), 20);
  EXPECT_EQ(lm_list_op(l, LM_DELETE, keys[b], 2, nullptr, nullptr), 1);  // head of the bucket
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[a], 2, nullptr, &out), 1);
  EXPECT_EQ(V(out), 10);
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[b], 2, nullptr, &out), LM_NOTFOUND);
  int size = 3;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_TABSIZE, &size, 4, nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[a], 2, nullptr, &out), 1);
  int got = 0, len = 0;
  EXPECT_EQ(lm_list_prop(l, LM_GET, LM_PROP_TABSIZE, &got, 4, &len), 1);
  EXPECT_EQ(got, 3);
  EXPECT_EQ(len, 4);
}

TEST(LmDhash, FullTableRefusesAndDeletedSlotIsReused) {
  Ctx ctx;
  lm_list* l = ctx.make(LM_DHASH, 3);
  const char* keys[] = {"k1", "k2", "k3", "k4"};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(lm_list_op(l, LM_INSERT, keys[i], 2, D(i + 1), nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_INSERT, keys[3], 2, D(4), nullptr), 0);
  EXPECT_EQ(lm_list_op(l, LM_DELETE, keys[1], 2, nullptr, nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_INSERT, keys[3], 2, D(4), nullptr), 1);
  void* out = nullptr;
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[3], LM_NULLTERM, nullptr, &out), 1);
  EXPECT_EQ(V(out), 4);
  EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[1], 2, nullptr, &out), LM_NOTFOUND);
  int size = 2;  // fewer slots than elements: refused, table kept
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_TABSIZE, &size, 4, nullptr), 0);
  size = 7;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_TABSIZE, &size, 4, nullptr), 1);
  for (int i : {0, 2, 3}) EXPECT_EQ(lm_list_op(l, LM_SEARCH, keys[i], 2, nullptr, nullptr), 1);
}

std::vector<std::intptr_t> g_seen;
int record(void* data, lm_props*) {
  g_seen.push_back(V(data));
  return V(data) == 2 ? 0 : 1;  // stops after 2
}

TEST(LmProps, PropertiesPrintAndPool) {
  Ctx ctx;
  lm_list* l = ctx.make(LM_DLINK);
  int v = 0, len = 0;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_TYPE, &v, 4, &len), 1);  // get only
  EXPECT_EQ(v, LM_DLINK);
  EXPECT_EQ(lm_list_prop(l, LM_GET, LM_PROP_TABSIZE, &v, 4, &len), 0);  // not a hash
  char name[5] = {};
  EXPECT_EQ(lm_list_prop(l, LM_GET, LM_PROP_NAME, name, 4, &len), 0);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(lm_list_prop(l, LM_GET, LM_PROP_NAME, name, 5, &len), 1);
  EXPECT_STREQ(name, "list");
  v = -1;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_POOLSIZE, &v, 4, nullptr), 0);
  v = 4;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_POOLSIZE, &v, 4, nullptr), 1);
  EXPECT_EQ(l->npool, 4);
  v = 1;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_POOLSIZE, &v, 4, nullptr), 1);
  EXPECT_EQ(l->npool, 1);
  for (int i = 1; i <= 3; ++i) lm_list_op(l, LM_INSERT, nullptr, LM_LAST, D(i), nullptr);
  EXPECT_EQ(lm_list_op(l, LM_PRINTALL, nullptr, 0, nullptr, nullptr), 0);  // no routine
  LM_PRINTFN fn = record;
  EXPECT_EQ(lm_list_prop(l, LM_SET, LM_PROP_PRINT, &fn, sizeof fn, nullptr), 1);
  EXPECT_EQ(lm_list_op(l, LM_PRINTALL, nullptr, 0, nullptr, nullptr), 1);
  EXPECT_EQ(g_seen, (std::vector<std::intptr_t>{1, 2}));
  EXPECT_EQ(lm_list_prop(l, LM_GET, LM_PROP_COUNT, &v, 4, &len), 1);
  EXPECT_EQ(v, 3);
}

TEST(LmContext, RefusalsAndExit) {
  lm_context* c = nullptr;
  ASSERT_EQ(lm_initlm(0, "c", 1, &c), 1);
  lm_list* l = nullptr;
  EXPECT_EQ(lm_list_alloc(c, LM_DHASH0, "x", 1, &l), 0);
  EXPECT_EQ(lm_list_alloc(c, LM_QUEUE0, "x", 1, &l), 0);
  EXPECT_EQ(lm_list_alloc(c, 42, "x", 1, &l), 0);
  EXPECT_EQ(lm_list_alloc(nullptr, LM_DLINK, "x", 1, &l), 0);
  ASSERT_EQ(lm_list_alloc(c, LM_NOVALUE, "x", 1, &l), 1);
  EXPECT_EQ(l->props->type, LM_DLINK);
  lm_list_op(l, LM_INSERT, nullptr, 0, D(1), nullptr);
  EXPECT_EQ(lm_exit(c, LM_NOVALUE), 0);
  EXPECT_EQ(lm_exit(nullptr, LM_FORCE), 0);
  EXPECT_EQ(lm_exit(c, LM_FORCE), 1);
}

}  // namespace
