// The global-id cache: objects of twelve kinds with their ids and local
// names, looked up by name or by id, filled from config/objectid.dat.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_path.h"

namespace {

char* dup_bytes(const char* s, int len) {
  auto* p = static_cast<char*>(comn_malloc(static_cast<size_t>(len) + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, s, static_cast<size_t>(len));
  p[len] = '\0';
  return p;
}

int real_len(const char* s, int len) {
  if (s == nullptr) return -1;
  return len == -9 ? static_cast<int>(std::strlen(s)) : len;
}

const char* const kKindSections[] = {"charset", "numeric", "money",
                                     "datetime", "sortorder", "language"};

}  // namespace

// Makes the context's localisation state when it has none.
int comn_intlstate_alloc(COMN_CONTEXT* ctx) {
  if (ctx == nullptr) return 0;
  if (ctx->intlstate != nullptr) return 1;
  ctx->intlstate = static_cast<comn_intlstate*>(comn_calloc(1, sizeof(comn_intlstate)));
  return ctx->intlstate != nullptr ? 1 : COMN_NOMEM;
}

void comn_intlstate_free(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  comn__drop_objectids(ctx);
  comn_free(ctx->intlstate);
  ctx->intlstate = nullptr;
}

void comn__drop_objectids(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  for (auto& head : ctx->intlstate->gid) {
    while (head != nullptr) {
      comn_object* o = head;
      head = o->next;
      while (o->names != nullptr) {
        comn_objname* n = o->names;
        o->names = n->next;
        comn_free(n->name);
        comn_free(n);
      }
      comn_free(o->id);
      comn_free(o);
    }
  }
}

// Adds a local name to the object of that id in that kind (made when new).
int comn_globalid_add(COMN_CONTEXT* ctx, int kind, const char* id, int idlen, const char* name,
                      int namelen) {
  idlen = real_len(id, idlen);
  namelen = real_len(name, namelen);
  if (kind < 0 || kind >= COMN_GID_KINDS || idlen < 0 || namelen < 0) return 0;
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_object*& head = ctx->intlstate->gid[kind];
  comn_object* o = head;
  while (o != nullptr && !(o->idlen == idlen && std::memcmp(o->id, id, idlen) == 0)) o = o->next;
  bool fresh = o == nullptr;
  if (fresh) {
    o = static_cast<comn_object*>(comn_calloc(1, sizeof(comn_object)));
    if (o == nullptr) return COMN_NOMEM;
    o->id = reinterpret_cast<std::uint8_t*>(dup_bytes(id, idlen));
    if (o->id == nullptr) {
      comn_free(o);
      return COMN_NOMEM;
    }
    o->idlen = idlen;
  }
  auto* n = static_cast<comn_objname*>(comn_calloc(1, sizeof(comn_objname)));
  char* copy = n != nullptr ? dup_bytes(name, namelen) : nullptr;
  if (copy == nullptr) {
    comn_free(n);
    if (fresh) {
      comn_free(o->id);
      comn_free(o);
    }
    return COMN_NOMEM;
  }
  n->name = copy;
  n->len = namelen;
  // Keep local names in the order given.
  comn_objname** tail = &o->names;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = n;
  o->nnames++;
  if (fresh) {
    o->next = head;
    head = o;
  }
  return 1;
}

// 1 when one of the node's local names equals the name (a name whose
// length counts its final NUL also matches).
int comn__find_lclname(COMN_CONTEXT*, const comn_object* node, const char* name, int len) {
  if (node == nullptr || name == nullptr || len < 0) return 0;
  for (const comn_objname* n = node->names; n != nullptr; n = n->next) {
    if (n->len == len && std::memcmp(n->name, name, static_cast<size_t>(len)) == 0) return 1;
    if (len > 0 && name[len - 1] == '\0' && n->len == len - 1 &&
        std::memcmp(n->name, name, static_cast<size_t>(len - 1)) == 0)
      return 1;
  }
  return 0;
}

// Finds the object with a local name, in one kind or (kind null or
// -99999) in all twelve.  1 or 0.
int comn__nametooid(COMN_CONTEXT* ctx, comn_object** out, const int* kind, const char* name,
                    int namelen) {
  if (out != nullptr) *out = nullptr;
  namelen = real_len(name, namelen);
  if (ctx == nullptr || ctx->intlstate == nullptr || out == nullptr || namelen < 0) return 0;
  int lo = 0, hi = COMN_GID_KINDS - 1;
  if (kind != nullptr && *kind != -99999) {
    if (*kind < 0 || *kind >= COMN_GID_KINDS) return 0;
    lo = hi = *kind;
  }
  for (int k = lo; k <= hi; ++k)
    for (comn_object* o = ctx->intlstate->gid[k]; o != nullptr; o = o->next)
      if (comn__find_lclname(ctx, o, name, namelen) == 1) {
        *out = o;
        return 1;
      }
  return 0;
}

// Finds the object of an id; gives its kind, its name count and the local
// name at `index` (from 1; below 1 the first).  1 or 0.
int comn__oidtoname(COMN_CONTEXT* ctx, const comn_oid* oid, int* kind, int index, char* buf,
                    int buflen, int* namecount, int* namelenout) {
  if (ctx == nullptr || ctx->intlstate == nullptr || oid == nullptr || oid->len < 0) return 0;
  for (int k = 0; k < COMN_GID_KINDS; ++k) {
    for (comn_object* o = ctx->intlstate->gid[k]; o != nullptr; o = o->next) {
      if (o->idlen != oid->len || std::memcmp(o->id, oid->id, static_cast<size_t>(oid->len)) != 0)
        continue;
      if (kind != nullptr) *kind = k;
      if (namecount != nullptr) *namecount = o->nnames;
      if (buf == nullptr) return 1;
      if (index < 1) index = 1;
      if (index > o->nnames) return 0;
      comn_objname* n = o->names;
      for (int i = 1; i < index; ++i) n = n->next;
      if (namelenout != nullptr) *namelenout = n->len;
      if (n->len > buflen) return 0;
      std::memcpy(buf, n->name, static_cast<size_t>(n->len));
      return 1;
    }
  }
  return 0;
}

int comn_globalid(COMN_CONTEXT* ctx, int op, void* object, int* kind, int index, char* name,
                  int namelen, int* namecount, int* namelenout) {
  if (op == 2) return comn__nametooid(ctx, static_cast<comn_object**>(object), kind, name, namelen);
  return comn__oidtoname(ctx, static_cast<const comn_oid*>(object), kind, index, name, namelen,
                         namecount, namelenout);
}

int comn__lookup_id(COMN_CONTEXT* ctx, int kind, const char* name, int namelen,
                    comn_object** out) {
  return comn_globalid(ctx, 2, out, &kind, 0, const_cast<char*>(name), namelen, nullptr,
                       nullptr) == 1
             ? 1
             : COMN_ENOID;
}

// Reads config/objectid.dat into the cache.
int comn__load_objectids(COMN_CONTEXT* ctx) {
  INTL_LOCFILE lf;
  int r = com__open_cfgfile(ctx, "objectid.dat", &lf);
  if (r != 1) return r;
  int st = 0;
  int result = 1;
  while (result == 1) {
    char* sect = intl_nextsection(&lf, &st);
    if (sect == nullptr) break;
    int kind = -1;
    for (int k = 0; k < 6; ++k)
      if (std::strcmp(sect, kKindSections[k]) == 0) kind = k;
    if (kind < 0) continue;
    while (result == 1) {
      char* entry = intl_nextentry(&lf, &st);
      if (entry == nullptr) break;
      char id[64];
      std::strncpy(id, entry, sizeof id - 1);
      id[sizeof id - 1] = '\0';
      while (char* v = intl_nextvalue(&lf, &st)) {
        r = comn_globalid_add(ctx, kind, id, -9, v, -9);
        if (r != 1) {
          result = r;
          break;
        }
      }
      if (st < 0 && result == 1) break;
    }
    if (st < 0) break;
  }
  if (result == 1 && st < 0) {
    ctx->intl_err = st;
    result = COMN_EINTL;
  }
  int c = intl_close(&lf);
  if (result == 1 && c != 1) {
    ctx->intl_err = c;
    result = COMN_EINTL;
  }
  return result;
}
