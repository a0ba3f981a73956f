// The list manager of the common library: a context owns lists of five
// kinds (doubly linked lists with a pool of spare nodes, chained hash
// tables, open-addressing hash tables, queues and stacks), manipulated by
// numbered operations through lm_list_op and tuned through numbered
// properties with lm_list_prop.  Keys and data belong to the caller; only
// names are copied.  Results: 1 success, 0 invalid argument or failure,
// -1 memory exhausted, 34 key not found.
#pragma once

#include <cstdint>

enum : int {
  LM_MARK_NEW = 11,     // record being built / new node
  LM_MARK_FREED = 12,   // record freed
  LM_MARK_VALID = 13,   // valid record / empty slot / pooled node
  LM_MARK_POOLED = 14,  // node returned to the pool
  LM_MARK_LINKED = 15,  // node of a linked list
  LM_MARK_USED = 16,    // used hash node or slot
  LM_MARK_DELETED = 17, // deleted open-addressing slot

  LM_DLINK = 13,
  LM_CHASH = 14,
  LM_DHASH0 = 15,       // dispatched like 16, cannot be allocated
  LM_DHASH = 16,
  LM_QUEUE0 = 17,       // dispatched like 18, cannot be allocated
  LM_QUEUE = 18,
  LM_STACK = 19,

  LM_INSERT = 20,
  LM_DELETE = 21,
  LM_SEARCH = 22,
  LM_REPLACE = 23,
  LM_NEXT = 24,
  LM_PREV = 25,
  LM_PEEK = 26,
  LM_FIRST = 27,   // also: insert at the head
  LM_LAST = 28,    // also: insert at the tail
  LM_PRINT = 29,
  LM_PRINTALL = 30,
  LM_APPLY = 31,
  LM_BEFORE = 32,  // insert before the current element
  LM_AFTER = 33,   // insert after it; property action get
  LM_GET = 33,
  LM_SET = 34,
  LM_NOTFOUND = 34,
  LM_RESET = 35,
  LM_FORCE = 35,   // drop even when not empty

  LM_NOVALUE = -99999,
  LM_NULLTERM = -9,

  LM_PROP_TYPE = 1,
  LM_PROP_TABSIZE = 2,
  LM_PROP_POOLSIZE = 3,
  LM_PROP_COUNT = 8,
  LM_PROP_CONTEXT = 9,
  LM_PROP_NAME = 10,
  LM_PROP_PRINT = 11,
  LM_PROP_COMPARE = 12,
};

struct lm_context;
struct lm_props;

// Print and apply routines: called with an element's data (or key) and the
// list's property record; a zero result stops a walk.
using LM_PRINTFN = int (*)(void* data, lm_props* props);
using LM_CMPFN = int (*)(const void* a, const void* b);

// A node of a list, also a slot of an open-addressing table.
struct lm_node {
  std::int32_t mark;
  const void* key;
  std::int32_t keylen;
  void* data;
  lm_node* prev;
  lm_node* next;
};

struct lm_props {
  std::int32_t mark;
  std::int32_t type;
  std::int32_t tabsize;
  std::int32_t poolsize;
  std::int32_t count;
  lm_context* ctx;
  char* name;
  std::int32_t namelen;
  LM_PRINTFN print;
  LM_CMPFN compare;
};

// Head of a linked list, queue or stack.
struct lm_linkhead {
  std::int32_t mark;
  lm_node* first;
  lm_node* last;
};

using LM_HASHFN = int (*)(const void* key, int len, int size, std::uint32_t* result);

struct lm_chash {
  std::int32_t mark;
  lm_node** buckets;
  std::int32_t nbuckets;
  LM_HASHFN hash;
};

struct lm_dhash {
  std::int32_t mark;
  lm_node* slots;
  std::int32_t nslots;
  LM_HASHFN hash1;
  LM_HASHFN hash2;
};

struct lm_list {
  std::int32_t mark;
  lm_props* props;
  void* head;  // lm_linkhead, lm_chash or lm_dhash by type
  lm_node* pool;
  std::int32_t npool;
  lm_node* current;
  lm_list* next;
};

struct lm_private {
  std::int32_t mark;
  std::int32_t deftype;
  std::int32_t deftabsize;
  std::int32_t defpoolsize;
  std::int32_t checklevel;
  std::int32_t nlists;
  char* lastname;
  lm_list* last;
};

struct lm_context {
  std::int32_t mark;
  char* name;
  std::int32_t namelen;
  std::int32_t check;
  lm_private* priv;
  lm_list* lists;
};

using LM_CONTEXT = lm_context;
using LM_LIST = lm_list;

// Context.
int lm_initlm(int checklevel, const char* name, int namelen, lm_context** ctx);
int lm_exit(lm_context* ctx, int mode);

// Lists.
int lm_list_alloc(lm_context* ctx, int type, const char* name, int namelen, lm_list** list);
int lm_list_op(lm_list* list, int op, const void* key, int keylen, void* data, void** dataout);
int lm_list_prop(lm_list* list, int action, int prop, void* value, int valuelen, int* lenout);
int lm_list_drop(lm_list* list, int mode);

// Hashing.
int lm___api_key_to_uint(const void* key, int len, std::uint32_t* result);
int lm__api_key_to_hash(const void* key, int len, int size, std::uint32_t* result);
int lm__api_key_to_hash2(const void* key, int len, int size, std::uint32_t* result);

// Node pool.
int lm__get_dlinknode(lm_list* list, lm_node** node);
int lm__free_dlinknode(lm_list* list, lm_node* node);
int lm__api_dlink_mpool_init(lm_list* list, int from);
int lm__api_dlink_mpool_drop(lm_list* list, int size);

// Byte routines.  A length of -9 means the text is NUL-ended.
int lm___api_reallength(const char* text, int len, int withnul, int* lenout, int* sizeout);
int lm__api_cp_bytes(const char* text, int len, int withnul, char* buf, int bufsize, int* sizeout);
int lm__api_prop_cpbytes(const char* text, int len, int withnul, char* buf, int bufsize,
                         int* sizeout);
int lm__api_setdata(const char* text, int len, int withnul, char** out, int* lenout);
int lm__api_prop_setdata(const char* text, int len, int withnul, char** out, int* lenout);

int lm___pchk_list_alloc(lm_context* ctx, const char* name);
int lm___api_listalloc_fail();

// Rehash into a table of `size` buckets or slots; the old table is kept on failure.
int lm___chash_rehash(lm_list* list, int size);
int lm___dhash_rehash(lm_list* list, int size);
