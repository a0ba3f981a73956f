// List manager: contexts, list allocation and dropping, properties, the
// spare-node pool and the byte-copy helpers.
#include "comnlib/lm_list.h"

#include <cstring>

#include "comnlib/comn_alloc.h"

namespace {

template <typename T>
T* zalloc() {
  return static_cast<T*>(comn_calloc(1, sizeof(T)));
}

// Frees every node of a NULL-terminated chain linked through `next`.
void free_chain(lm_node* n) {
  while (n != nullptr) {
    lm_node* nx = n->next;
    comn_free(n);
    n = nx;
  }
}

bool valid_list(const lm_list* l) {
  return l != nullptr && l->mark == LM_MARK_VALID && l->props != nullptr;
}

// Makes the structure head of a new list of `type`; 1, 0 or -1.
int init_structure(lm_list* l) {
  const int type = l->props->type;
  if (type == LM_DLINK || type == LM_QUEUE || type == LM_STACK) {
    auto* h = zalloc<lm_linkhead>();
    if (h == nullptr) return -1;
    h->mark = LM_MARK_VALID;
    l->head = h;
    return 1;
  }
  const int size = l->props->tabsize;
  if (size < 1) return 0;
  if (type == LM_CHASH) {
    auto* h = zalloc<lm_chash>();
    if (h == nullptr) return -1;
    h->buckets = static_cast<lm_node**>(comn_calloc(size, sizeof(lm_node*)));
    if (h->buckets == nullptr) {
      comn_free(h);
      return -1;
    }
    h->nbuckets = size;
    h->hash = lm__api_key_to_hash;
    h->mark = LM_MARK_VALID;
    l->head = h;
    return lm__api_dlink_mpool_init(l, 0);
  }
  if (type == LM_DHASH) {
    auto* h = zalloc<lm_dhash>();
    if (h == nullptr) return -1;
    h->slots = static_cast<lm_node*>(comn_calloc(size, sizeof(lm_node)));
    if (h->slots == nullptr) {
      comn_free(h);
      return -1;
    }
    for (int i = 0; i < size; ++i) h->slots[i].mark = LM_MARK_VALID;
    h->nslots = size;
    h->hash1 = lm__api_key_to_hash;
    h->hash2 = lm__api_key_to_hash2;
    h->mark = LM_MARK_VALID;
    l->head = h;
    return 1;
  }
  return 0;
}

// Frees the structure head of a list with every node it holds.
void drop_structure(lm_list* l) {
  if (l->head == nullptr) return;
  const int type = l->props->type;
  if (type == LM_CHASH) {
    auto* h = static_cast<lm_chash*>(l->head);
    for (int i = 0; i < h->nbuckets; ++i) free_chain(h->buckets[i]);
    comn_free(h->buckets);
    h->mark = LM_MARK_FREED;
  } else if (type == LM_DHASH) {
    auto* h = static_cast<lm_dhash*>(l->head);
    comn_free(h->slots);
    h->mark = LM_MARK_FREED;
  } else {
    auto* h = static_cast<lm_linkhead*>(l->head);
    free_chain(h->first);
    h->mark = LM_MARK_FREED;
  }
  comn_free(l->head);
  l->head = nullptr;
  free_chain(l->pool);
  l->pool = nullptr;
  l->npool = 0;
}

void free_list_record(lm_list* l) {
  if (l->props != nullptr) {
    comn_free(l->props->name);
    l->props->mark = LM_MARK_FREED;
    comn_free(l->props);
  }
  l->mark = LM_MARK_FREED;
  comn_free(l);
}

}  // namespace

// Length of a text (strlen when len is -9) and the size it needs with or
// without its NUL; 0 for a null text or a bad length.
int lm___api_reallength(const char* text, int len, int withnul, int* lenout, int* sizeout) {
  if (text == nullptr) return 0;
  if (len == LM_NULLTERM) len = static_cast<int>(std::strlen(text));
  if (len < 0) return 0;
  if (lenout != nullptr) *lenout = len;
  if (sizeout != nullptr) *sizeout = len + (withnul ? 1 : 0);
  return 1;
}

// Copies a text (and its NUL when asked) into buf when it fits; the size
// needed goes to sizeout either way.  1 copied, 0 not.
int lm__api_cp_bytes(const char* text, int len, int withnul, char* buf, int bufsize,
                     int* sizeout) {
  int n = 0;
  int size = 0;
  if (lm___api_reallength(text, len, withnul, &n, &size) != 1) return 0;
  if (sizeout != nullptr) *sizeout = size;
  if (buf == nullptr || size > bufsize) return 0;
  std::memcpy(buf, text, static_cast<size_t>(n));
  if (withnul) buf[n] = '\0';
  return 1;
}

int lm__api_prop_cpbytes(const char* text, int len, int withnul, char* buf, int bufsize,
                         int* sizeout) {
  return lm__api_cp_bytes(text, len, withnul, buf, bufsize, sizeout);
}

// Copies a text into a new allocation (always NUL-ended so it can be
// printed; lenout excludes the NUL unless withnul).  1, 0 or -1.
int lm__api_setdata(const char* text, int len, int withnul, char** out, int* lenout) {
  int n = 0;
  if (out == nullptr || lm___api_reallength(text, len, withnul, &n, nullptr) != 1) return 0;
  auto* p = static_cast<char*>(comn_malloc(static_cast<size_t>(n) + 1));
  if (p == nullptr) return -1;
  std::memcpy(p, text, static_cast<size_t>(n));
  p[n] = '\0';
  *out = p;
  if (lenout != nullptr) *lenout = n + (withnul ? 1 : 0);
  return 1;
}

// As lm__api_setdata, freeing the previous allocation first.
int lm__api_prop_setdata(const char* text, int len, int withnul, char** out, int* lenout) {
  if (out == nullptr) return 0;
  comn_free(*out);
  *out = nullptr;
  return lm__api_setdata(text, len, withnul, out, lenout);
}

int lm___pchk_list_alloc(lm_context* ctx, const char* name) {
  return (ctx != nullptr && name != nullptr) ? 1 : 0;
}

int lm___api_listalloc_fail() { return 0; }

// Makes a list-manager context with the default type 13, table size 10
// and pool size 0.  1; -1 when the name cannot be copied; 0 otherwise.
int lm_initlm(int checklevel, const char* name, int namelen, lm_context** ctx) {
  if (ctx == nullptr) return 0;
  *ctx = nullptr;
  auto* c = zalloc<lm_context>();
  if (c == nullptr) return 0;
  c->mark = LM_MARK_NEW;
  c->priv = zalloc<lm_private>();
  if (c->priv == nullptr) {
    comn_free(c);
    return 0;
  }
  c->priv->mark = LM_MARK_VALID;
  c->priv->deftype = LM_DLINK;
  c->priv->deftabsize = 10;
  c->priv->defpoolsize = 0;
  c->priv->checklevel = checklevel;
  if (name != nullptr) {
    int r = lm__api_setdata(name, namelen, namelen == LM_NULLTERM, &c->name, &c->namelen);
    if (r != 1) {
      comn_free(c->priv);
      comn_free(c);
      return r == -1 ? -1 : 0;
    }
  }
  c->check = 0;
  c->mark = LM_MARK_VALID;
  *ctx = c;
  return 1;
}

// Drops every list (unless mode is -99999 and lists remain) and frees the
// context.  1, or 0.
int lm_exit(lm_context* ctx, int mode) {
  if (ctx == nullptr || ctx->mark != LM_MARK_VALID) return 0;
  if (mode == LM_NOVALUE && ctx->lists != nullptr) return 0;
  while (ctx->lists != nullptr) {
    int r = lm_list_drop(ctx->lists, LM_FORCE);
    if (r != 1) return r;
  }
  comn_free(ctx->name);
  ctx->name = nullptr;
  ctx->namelen = 0;
  ctx->priv->mark = LM_MARK_FREED;
  comn_free(ctx->priv);
  ctx->mark = LM_MARK_FREED;
  comn_free(ctx);
  return 1;
}

// Makes a list of `type` (-99999: the context's default).  Types other
// than 13, 14, 16, 18 and 19 are refused with 0.
int lm_list_alloc(lm_context* ctx, int type, const char* name, int namelen, lm_list** list) {
  if (list != nullptr) *list = nullptr;
  if (ctx == nullptr || ctx->mark != LM_MARK_VALID || list == nullptr) return 0;
  if (ctx->check == 1 && lm___pchk_list_alloc(ctx, name) != 1) return 0;
  if (type == LM_NOVALUE) type = ctx->priv->deftype;
  if (type != LM_DLINK && type != LM_CHASH && type != LM_DHASH && type != LM_QUEUE &&
      type != LM_STACK)
    return lm___api_listalloc_fail();
  auto* l = zalloc<lm_list>();
  if (l == nullptr) return -1;
  l->mark = LM_MARK_NEW;
  l->props = zalloc<lm_props>();
  if (l->props == nullptr) {
    comn_free(l);
    return -1;
  }
  lm_props* p = l->props;
  p->mark = LM_MARK_VALID;
  p->type = type;
  p->tabsize = ctx->priv->deftabsize;
  p->poolsize = type == LM_DHASH ? 0 : ctx->priv->defpoolsize;
  p->ctx = ctx;
  if (name != nullptr) {
    int r = lm__api_setdata(name, namelen, namelen == LM_NULLTERM, &p->name, &p->namelen);
    if (r != 1) {
      free_list_record(l);
      return r;
    }
  }
  int r = init_structure(l);
  if (r != 1) {
    drop_structure(l);
    free_list_record(l);
    return r;
  }
  l->mark = LM_MARK_VALID;
  l->next = ctx->lists;
  ctx->lists = l;
  ctx->priv->nlists++;
  ctx->priv->last = l;
  ctx->priv->lastname = p->name;
  *list = l;
  return 1;
}

// Drops a list: mode -99999 only when empty, 35 always, other modes 0.
int lm_list_drop(lm_list* list, int mode) {
  if (!valid_list(list)) return 0;
  if (mode != LM_NOVALUE && mode != LM_FORCE) return 0;
  if (mode == LM_NOVALUE && list->props->count > 0) return 0;
  lm_context* ctx = list->props->ctx;
  drop_structure(list);
  if (ctx != nullptr) {
    for (lm_list** pp = &ctx->lists; *pp != nullptr; pp = &(*pp)->next) {
      if (*pp == list) {
        *pp = list->next;
        ctx->priv->nlists--;
        break;
      }
    }
    if (ctx->priv->last == list) {
      ctx->priv->last = ctx->lists;
      ctx->priv->lastname = ctx->lists != nullptr ? ctx->lists->props->name : nullptr;
    }
  }
  free_list_record(list);
  return 1;
}

// Takes a pooled node, or makes one.  1 or -1.
int lm__get_dlinknode(lm_list* list, lm_node** node) {
  lm_node* n = list->pool;
  if (n != nullptr) {
    list->pool = n->next;
    list->npool--;
    std::memset(n, 0, sizeof *n);
  } else {
    n = static_cast<lm_node*>(comn_calloc(1, sizeof(lm_node)));
    if (n == nullptr) return -1;
  }
  n->mark = LM_MARK_NEW;
  *node = n;
  return 1;
}

// Returns a node to the pool while it holds fewer than the pool size,
// else frees it.
int lm__free_dlinknode(lm_list* list, lm_node* node) {
  if (node == nullptr) return 0;
  if (list->npool < list->props->poolsize) {
    std::memset(node, 0, sizeof *node);
    node->mark = LM_MARK_POOLED;
    node->next = list->pool;
    list->pool = node;
    list->npool++;
  } else {
    comn_free(node);
  }
  return 1;
}

// Adds pool-size minus `from` fresh nodes to the pool.  1 or -1.
int lm__api_dlink_mpool_init(lm_list* list, int from) {
  for (int i = from; i < list->props->poolsize; ++i) {
    auto* n = static_cast<lm_node*>(comn_calloc(1, sizeof(lm_node)));
    if (n == nullptr) return -1;
    n->mark = LM_MARK_VALID;
    n->next = list->pool;
    list->pool = n;
    list->npool++;
  }
  return 1;
}

// Frees pooled nodes from the head: all when `size` equals the pool-size
// property, else size minus the property (never more than the pool holds).
int lm__api_dlink_mpool_drop(lm_list* list, int size) {
  int n = size == list->props->poolsize ? list->npool : size - list->props->poolsize;
  while (n-- > 0 && list->pool != nullptr) {
    lm_node* x = list->pool;
    list->pool = x->next;
    list->npool--;
    comn_free(x);
  }
  return 1;
}

namespace {

int put_int(void* value, int v, int* lenout) {
  if (value == nullptr) return 0;
  std::memcpy(value, &v, sizeof v);
  if (lenout != nullptr) *lenout = static_cast<int>(sizeof v);
  return 1;
}

template <typename P>
int put_ptr(void* value, P p, int* lenout) {
  if (value == nullptr) return 0;
  std::memcpy(value, &p, sizeof p);
  if (lenout != nullptr) *lenout = static_cast<int>(sizeof p);
  return 1;
}

int get_int(const void* value, int* v) {
  if (value == nullptr) return 0;
  std::memcpy(v, value, sizeof *v);
  return 1;
}

}  // namespace

// Gets (33), sets (34) or resets (35) a property of a list.
int lm_list_prop(lm_list* list, int action, int prop, void* value, int valuelen, int* lenout) {
  if (!valid_list(list)) return 0;
  if (action != LM_GET && action != LM_SET && action != LM_RESET) return 0;
  lm_props* p = list->props;
  lm_private* pv = p->ctx != nullptr ? p->ctx->priv : nullptr;
  switch (prop) {
    case LM_PROP_TYPE:
      return put_int(value, p->type, lenout);
    case LM_PROP_COUNT:
      return put_int(value, p->count, lenout);
    case LM_PROP_CONTEXT:
      return put_ptr(value, p->ctx, lenout);
    case LM_PROP_NAME:
      if (p->name == nullptr) return 0;
      return lm__api_prop_cpbytes(p->name, LM_NULLTERM, 1, static_cast<char*>(value), valuelen,
                                  lenout);
    case LM_PROP_TABSIZE: {
      if (p->type != LM_CHASH && p->type != LM_DHASH) return 0;
      if (action == LM_GET) return put_int(value, p->tabsize, lenout);
      int size = pv != nullptr ? pv->deftabsize : 10;
      if (action == LM_SET && get_int(value, &size) != 1) return 0;
      if (size < 1) return 0;
      if (p->type == LM_DHASH && size < p->count) return 0;
      if (size == p->tabsize) return 1;
      return p->type == LM_CHASH ? lm___chash_rehash(list, size) : lm___dhash_rehash(list, size);
    }
    case LM_PROP_POOLSIZE: {
      if (action == LM_GET) return put_int(value, p->poolsize, lenout);
      int size = pv != nullptr ? pv->defpoolsize : 0;
      if (action == LM_SET && get_int(value, &size) != 1) return 0;
      if (size < 0) return 0;
      const int old = p->poolsize;
      p->poolsize = size;
      if (size > old) return lm__api_dlink_mpool_init(list, list->npool);
      if (size < old) return lm__api_dlink_mpool_drop(list, old);
      return 1;
    }
    case LM_PROP_PRINT:
      if (action == LM_GET) return put_ptr(value, p->print, lenout);
      if (action == LM_RESET) {
        p->print = nullptr;
        return 1;
      }
      if (value == nullptr) return 0;
      std::memcpy(&p->print, value, sizeof p->print);
      return 1;
    case LM_PROP_COMPARE:
      if (action == LM_GET) return put_ptr(value, p->compare, lenout);
      if (action == LM_RESET) {
        p->compare = nullptr;
        return 1;
      }
      if (value == nullptr) return 0;
      std::memcpy(&p->compare, value, sizeof p->compare);
      return 1;
    default:
      return 0;
  }
}
