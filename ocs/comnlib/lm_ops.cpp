// List manager: the numbered operations on each kind of list, key hashing
// and rehashing.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/lm_list.h"

// Folds a key to 32 bits: 4-byte big-endian words combined in pairs with
// the multiplier 37, a last partial word padded on the right with 'Z'.
int lm___api_key_to_uint(const void* key, int len, std::uint32_t* result) {
  if (result == nullptr) return 0;
  const auto* b = static_cast<const std::uint8_t*>(key);
  std::uint32_t acc = 0;
  std::uint32_t pending = 0;
  bool has_pending = false;
  int i = 0;
  if (b == nullptr) len = 0;
  for (; i + 4 <= len; i += 4) {
    std::uint32_t w = (std::uint32_t{b[i]} << 24) | (std::uint32_t{b[i + 1]} << 16) |
                      (std::uint32_t{b[i + 2]} << 8) | b[i + 3];
    if (!has_pending) {
      pending = w;
      has_pending = true;
    } else {
      acc = (acc * 37u + pending) * 37u + w;
      has_pending = false;
    }
  }
  if (i < len) {
    std::uint32_t w = 0;
    for (int k = 0; k < 4; ++k) w = (w << 8) | (i + k < len ? b[i + k] : 90u);
    if (has_pending) acc = acc * 37u + pending;
    acc = acc * 37u + w;
  } else if (has_pending) {
    acc = acc * 37u + pending;
  }
  *result = acc;
  return 1;
}

// The fold modulo the table size.
int lm__api_key_to_hash(const void* key, int len, int size, std::uint32_t* result) {
  std::uint32_t f = 0;
  if (size < 1 || lm___api_key_to_uint(key, len, &f) != 1) return 0;
  *result = f % static_cast<std::uint32_t>(size);
  return 1;
}

// (7 times the fold) modulo (size - 1), plus 1; 1 for a table of one slot.
int lm__api_key_to_hash2(const void* key, int len, int size, std::uint32_t* result) {
  std::uint32_t f = 0;
  if (size < 1 || lm___api_key_to_uint(key, len, &f) != 1) return 0;
  *result = size == 1 ? 1u : (7u * f) % static_cast<std::uint32_t>(size - 1) + 1u;
  return 1;
}

namespace {

bool key_given(const void* key, int len) { return key != nullptr && len != LM_NOVALUE; }

// Resolves a -9 key length; -1 for an unusable key.
int key_length(const void* key, int len) {
  if (key == nullptr) return -1;
  if (len == LM_NULLTERM) return static_cast<int>(std::strlen(static_cast<const char*>(key)));
  return len < 0 ? -1 : len;
}

bool same_key(const lm_node* n, const void* key, int len) {
  return n->keylen == len && (len == 0 || std::memcmp(n->key, key, static_cast<size_t>(len)) == 0);
}

// Result of a successful operation: the current element's data.
int done(void** dataout, const lm_node* cur) {
  if (dataout != nullptr) *dataout = cur != nullptr ? cur->data : nullptr;
  return 1;
}

// ---- doubly linked lists, queues and stacks --------------------------------

void unlink_node(lm_linkhead* h, lm_node* n) {
  if (n->prev != nullptr) n->prev->next = n->next; else h->first = n->next;
  if (n->next != nullptr) n->next->prev = n->prev; else h->last = n->prev;
  n->prev = n->next = nullptr;
}

int walk(lm_list* l, lm_node* first, LM_PRINTFN fn) {
  if (fn == nullptr) return 0;
  for (lm_node* n = first; n != nullptr; n = n->next)
    if (fn(n->data, l->props) == 0) break;
  return 1;
}

// One operation on a linked list; `cursor` is the caller's node or null.
int dlink_op(lm_list* l, int op, lm_node** cursor, int pos, void* data, void** dataout) {
  auto* h = static_cast<lm_linkhead*>(l->head);
  lm_node* cur = (cursor != nullptr && *cursor != nullptr) ? *cursor : l->current;
  switch (op) {
    case LM_INSERT: {
      if (h->first != nullptr && pos != LM_FIRST && pos != LM_LAST &&
          !((pos == LM_BEFORE || pos == LM_AFTER) && cur != nullptr))
        return 0;
      lm_node* n = nullptr;
      if (lm__get_dlinknode(l, &n) != 1) return -1;
      n->data = data;
      n->mark = LM_MARK_LINKED;
      if (h->first == nullptr) {
        h->first = h->last = n;
      } else if (pos == LM_FIRST || (pos == LM_BEFORE && cur == h->first)) {
        n->next = h->first;
        h->first->prev = n;
        h->first = n;
      } else if (pos == LM_LAST || (pos == LM_AFTER && cur == h->last)) {
        n->prev = h->last;
        h->last->next = n;
        h->last = n;
      } else if (pos == LM_BEFORE) {
        n->prev = cur->prev;
        n->next = cur;
        cur->prev->next = n;
        cur->prev = n;
      } else {
        n->next = cur->next;
        n->prev = cur;
        cur->next->prev = n;
        cur->next = n;
      }
      l->props->count++;
      cur = n;
      break;
    }
    case LM_DELETE: {
      if (cur == nullptr) return 0;
      lm_node* nc = cur->prev;
      const bool head = cur == h->first;
      unlink_node(h, cur);
      if (head) nc = h->first;
      l->props->count--;
      lm__free_dlinknode(l, cur);
      cur = nc;
      break;
    }
    case LM_REPLACE:
      if (cur == nullptr) return 0;
      cur->data = data;
      break;
    case LM_NEXT:
      if (cur == nullptr || cur->next == nullptr) return 0;
      cur = cur->next;
      break;
    case LM_PREV:
      if (cur == nullptr || cur->prev == nullptr) return 0;
      cur = cur->prev;
      break;
    case LM_PEEK:
    case LM_FIRST:
      cur = h->first;
      break;
    case LM_LAST:
      cur = h->last;
      break;
    case LM_PRINT:
      if (l->props->print == nullptr || cur == nullptr) return 0;
      l->props->print(cur->data, l->props);
      break;
    case LM_PRINTALL:
      if (walk(l, h->first, l->props->print) != 1) return 0;
      break;
    case LM_APPLY: {
      LM_PRINTFN fn = nullptr;
      std::memcpy(&fn, &data, sizeof fn);
      if (walk(l, h->first, fn) != 1) return 0;
      break;
    }
    default:
      return 0;
  }
  if (cursor != nullptr && *cursor != nullptr) *cursor = cur; else l->current = cur;
  return done(dataout, cur);
}

int queue_op(lm_list* l, int op, void* data, void** dataout) {
  switch (op) {
    case LM_INSERT:
      return dlink_op(l, op, nullptr, l->props->type == LM_STACK ? LM_FIRST : LM_LAST, data,
                      dataout);
    case LM_DELETE:
      l->current = static_cast<lm_linkhead*>(l->head)->first;
      return dlink_op(l, op, nullptr, 0, data, dataout);
    case LM_PEEK:
    case LM_PRINT:
    case LM_PRINTALL:
    case LM_APPLY:
      return dlink_op(l, op, nullptr, 0, data, dataout);
    default:
      return 0;
  }
}

// ---- chained hash tables ----------------------------------------------------

lm_node* chash_find(lm_chash* h, const void* key, int len) {
  std::uint32_t b = 0;
  if (h->hash(key, len, h->nbuckets, &b) != 1) return nullptr;
  for (lm_node* n = h->buckets[b]; n != nullptr; n = n->next)
    if (same_key(n, key, len)) return n;
  return nullptr;
}

int chash_op(lm_list* l, int op, const void* key, int keylen, void* data, void** dataout) {
  auto* h = static_cast<lm_chash*>(l->head);
  const bool haskey = key_given(key, keylen);
  const int len = haskey ? key_length(key, keylen) : -1;
  if (haskey && len < 0) return 0;
  if (haskey && (op == LM_SEARCH || op == LM_DELETE || op == LM_REPLACE || op == LM_PRINT)) {
    lm_node* n = chash_find(h, key, len);
    if (n == nullptr) return LM_NOTFOUND;
    l->current = n;
  }
  lm_node* cur = l->current;
  switch (op) {
    case LM_INSERT: {
      if (!haskey) return 0;
      std::uint32_t b = 0;
      if (h->hash(key, len, h->nbuckets, &b) != 1) return 0;
      lm_node* n = nullptr;
      if (lm__get_dlinknode(l, &n) != 1) return -1;
      n->key = key;
      n->keylen = len;
      n->data = data;
      n->mark = LM_MARK_USED;
      n->next = h->buckets[b];
      if (n->next != nullptr) n->next->prev = n;
      h->buckets[b] = n;
      l->props->count++;
      l->current = n;
      break;
    }
    case LM_SEARCH:
      if (!haskey) return 0;
      break;
    case LM_DELETE: {
      if (cur == nullptr) return 0;
      std::uint32_t b = 0;
      h->hash(cur->key, cur->keylen, h->nbuckets, &b);
      if (cur->prev != nullptr) cur->prev->next = cur->next; else h->buckets[b] = cur->next;
      if (cur->next != nullptr) cur->next->prev = cur->prev;
      l->current = cur->prev != nullptr ? cur->prev : cur->next;
      l->props->count--;
      lm__free_dlinknode(l, cur);
      break;
    }
    case LM_REPLACE:
      if (cur == nullptr) return 0;
      cur->data = data;
      break;
    case LM_PRINT:
      if (cur == nullptr || l->props->print == nullptr) return 0;
      l->props->print(cur->data, l->props);
      break;
    case LM_PRINTALL:
    case LM_APPLY: {
      LM_PRINTFN fn = l->props->print;
      if (op == LM_APPLY) std::memcpy(&fn, &data, sizeof fn);
      if (fn == nullptr) return 0;
      for (int i = 0; i < h->nbuckets; ++i) {
        if (op == LM_PRINTALL)
          for (lm_node* n = h->buckets[i]; n != nullptr; n = n->next)
            if (fn(const_cast<void*>(n->key), l->props) == 0) return done(dataout, l->current);
        for (lm_node* n = h->buckets[i]; n != nullptr; n = n->next)
          if (fn(n->data, l->props) == 0) return done(dataout, l->current);
      }
      break;
    }
    default:
      return 0;
  }
  return done(dataout, l->current);
}

// ---- open-addressing hash tables --------------------------------------------

int dhash_first(lm_dhash* h, const void* key, int len) {
  std::uint32_t a = 0, b = 0;
  if (h->hash1(key, len, h->nslots, &a) != 1 || h->hash2(key, len, h->nslots, &b) != 1) return -1;
  return static_cast<int>((static_cast<std::uint64_t>(a) + b) % static_cast<std::uint32_t>(h->nslots));
}

lm_node* dhash_find(lm_dhash* h, const void* key, int len) {
  int s = dhash_first(h, key, len);
  if (s < 0) return nullptr;
  for (int i = 0; i < h->nslots; ++i) {
    lm_node* n = &h->slots[(s + i) % h->nslots];
    if (n->mark == LM_MARK_USED && same_key(n, key, len)) return n;
  }
  return nullptr;
}

int dhash_op(lm_list* l, int op, const void* key, int keylen, void* data, void** dataout) {
  auto* h = static_cast<lm_dhash*>(l->head);
  const bool haskey = key_given(key, keylen);
  const int len = haskey ? key_length(key, keylen) : -1;
  if (haskey && len < 0) return 0;
  if (haskey && (op == LM_SEARCH || op == LM_DELETE || op == LM_REPLACE || op == LM_PRINT)) {
    lm_node* n = dhash_find(h, key, len);
    if (n == nullptr) return LM_NOTFOUND;
    l->current = n;
  }
  lm_node* cur = l->current;
  switch (op) {
    case LM_INSERT: {
      if (!haskey) return 0;
      int s = dhash_first(h, key, len);
      if (s < 0) return 0;
      for (int i = 0; i < h->nslots; ++i) {
        lm_node* n = &h->slots[(s + i) % h->nslots];
        if (n->mark == LM_MARK_USED) continue;
        n->key = key;
        n->keylen = len;
        n->data = data;
        n->mark = LM_MARK_USED;
        l->props->count++;
        l->current = n;
        return done(dataout, n);
      }
      return 0;
    }
    case LM_SEARCH:
      if (!haskey) return 0;
      break;
    case LM_DELETE:
      if (cur == nullptr || cur->mark != LM_MARK_USED) return 0;
      l->props->count--;
      cur->key = nullptr;
      cur->keylen = 0;
      cur->data = nullptr;
      cur->mark = LM_MARK_DELETED;
      l->current = nullptr;
      break;
    case LM_REPLACE:
      if (cur == nullptr || cur->mark != LM_MARK_USED) return 0;
      cur->data = data;
      break;
    case LM_PRINT:
      if (cur == nullptr || l->props->print == nullptr) return 0;
      l->props->print(cur->data, l->props);
      break;
    case LM_PRINTALL:
    case LM_APPLY: {
      LM_PRINTFN fn = l->props->print;
      if (op == LM_APPLY) std::memcpy(&fn, &data, sizeof fn);
      if (fn == nullptr) return 0;
      if (op == LM_PRINTALL)
        for (int i = 0; i < h->nslots; ++i)
          if (h->slots[i].mark == LM_MARK_USED &&
              fn(const_cast<void*>(h->slots[i].key), l->props) == 0)
            return done(dataout, l->current);
      for (int i = 0; i < h->nslots; ++i)
        if (h->slots[i].mark == LM_MARK_USED && fn(h->slots[i].data, l->props) == 0) break;
      break;
    }
    default:
      return 0;
  }
  return done(dataout, l->current);
}

}  // namespace

// Runs one numbered operation on a list, dispatched on its type.
int lm_list_op(lm_list* list, int op, const void* key, int keylen, void* data, void** dataout) {
  if (list == nullptr || list->mark != LM_MARK_VALID || list->props == nullptr) return 0;
  switch (list->props->type) {
    case LM_DLINK: {
      auto* cursor = const_cast<lm_node**>(static_cast<lm_node* const*>(key));
      return dlink_op(list, op, cursor, keylen, data, dataout);
    }
    case LM_CHASH:
      return chash_op(list, op, key, keylen, data, dataout);
    case LM_DHASH0:
    case LM_DHASH:
      return dhash_op(list, op, key, keylen, data, dataout);
    case LM_QUEUE0:
    case LM_QUEUE:
    case LM_STACK:
      return queue_op(list, op, data, dataout);
    default:
      return 0;
  }
}

// Moves every node of a chained table into a new table of `size` buckets.
int lm___chash_rehash(lm_list* list, int size) {
  auto* h = static_cast<lm_chash*>(list->head);
  auto** nb = static_cast<lm_node**>(comn_calloc(static_cast<size_t>(size), sizeof(lm_node*)));
  if (nb == nullptr) return -1;
  for (int i = 0; i < h->nbuckets; ++i) {
    lm_node* n = h->buckets[i];
    while (n != nullptr) {
      lm_node* nx = n->next;
      std::uint32_t b = 0;
      h->hash(n->key, n->keylen, size, &b);
      n->prev = nullptr;
      n->next = nb[b];
      if (nb[b] != nullptr) nb[b]->prev = n;
      nb[b] = n;
      n = nx;
    }
  }
  comn_free(h->buckets);
  h->buckets = nb;
  h->nbuckets = size;
  list->props->tabsize = size;
  return 1;
}

// Re-inserts every used slot into a new table of `size` slots; the old
// table is kept when one does not fit.
int lm___dhash_rehash(lm_list* list, int size) {
  auto* h = static_cast<lm_dhash*>(list->head);
  auto* ns = static_cast<lm_node*>(comn_calloc(static_cast<size_t>(size), sizeof(lm_node)));
  if (ns == nullptr) return -1;
  for (int i = 0; i < size; ++i) ns[i].mark = LM_MARK_VALID;
  lm_dhash nh = *h;
  nh.slots = ns;
  nh.nslots = size;
  for (int i = 0; i < h->nslots; ++i) {
    const lm_node& o = h->slots[i];
    if (o.mark != LM_MARK_USED) continue;
    int s = dhash_first(&nh, o.key, o.keylen);
    bool placed = false;
    for (int k = 0; s >= 0 && k < size && !placed; ++k) {
      lm_node* n = &ns[(s + k) % size];
      if (n->mark == LM_MARK_USED) continue;
      *n = o;
      n->prev = n->next = nullptr;
      placed = true;
    }
    if (!placed) {
      comn_free(ns);
      return 0;
    }
  }
  comn_free(h->slots);
  h->slots = ns;
  h->nslots = size;
  list->current = nullptr;
  list->props->tabsize = size;
  return 1;
}
