// Character classes of the client (forwarded to the common layer's current
// character map), the server character set a connection points at, and
// the keyed tables of named entries.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

int db__toupper(int c) { return com_toupper(c); }
int db__tolower(int c) { return com_tolower(c); }
int db__isalpha(int c) { return com_isalpha(c); }
int db__isupper(int c) { return com_isupper(c); }
int db__islower(int c) { return com_islower(c); }
int db__isdigit(int c) { return com_isdigit(c); }
int db__isxdigit(int c) { return com_isxdigit(c); }
int db__isspace(int c) { return com_isspace(c); }
int db__isgraph(int c) { return com_isgraph(c); }

// Keyed tables: entries hashed by the sum of their name's characters.
int db__hash_add(const char* name, int buckets) {
  int sum = 0;
  for (const char* p = name; *p; ++p) sum += static_cast<signed char>(*p);
  int h = sum % buckets;
  return h < 0 ? h + buckets : h;
}

DBKEYTAB* db__make_tab(int buckets) {
  if (buckets < 1) return nullptr;
  auto* t = static_cast<DBKEYTAB*>(comn_calloc(1, sizeof(DBKEYTAB)));
  auto* heads = static_cast<DBKEYENT**>(comn_calloc(static_cast<std::size_t>(buckets), sizeof(DBKEYENT*)));
  if (!t || !heads) {
    comn_free(t);
    comn_free(heads);
    db__raise(nullptr, 20010, 8, errno);
    return nullptr;
  }
  t->buckets = buckets;
  t->heads = heads;
  return t;
}

DBKEYENT* dblib::get_ent(DBKEYTAB* t, const char* name, int tag) {
  if (!t || !name) return nullptr;
  for (DBKEYENT* e = t->heads[db__hash_add(name, t->buckets)]; e; e = e->next)
    if (e->tag2 == tag && std::strcmp(e->name, name) == 0) return e;
  return nullptr;
}

int db__find_ent(DBKEYTAB* t, const char* name, int tag, DBKEYENT** entry) {
  DBKEYENT* e = get_ent(t, name, tag);
  if (entry) *entry = e;
  return e ? 1 : 0;
}

int db__add_ent(DBKEYTAB* t, const char* name, int tag1, int tag2, void* data) {
  if (!t || !name) return 0;
  auto* e = static_cast<DBKEYENT*>(comn_calloc(1, sizeof(DBKEYENT)));
  if (!e) {
    db__raise(nullptr, 20010, 8, errno);
    return 0;
  }
  std::snprintf(e->name, sizeof e->name, "%s", name);
  e->tag1 = tag1;
  e->tag2 = tag2;
  e->data = data;
  DBKEYENT** head = &t->heads[db__hash_add(e->name, t->buckets)];
  e->next = *head;
  if (*head) (*head)->link = &e->next;
  e->link = head;
  *head = e;
  ++t->count;
  return 1;
}

int db__delete_ent(DBKEYTAB* t, const char* name, int tag) {
  DBKEYENT* e = get_ent(t, name, tag);
  if (!e) return 0;
  *e->link = e->next;
  if (e->next) e->next->link = e->link;
  comn_free(e->data);
  comn_free(e);
  --t->count;
  return 1;
}

int db__num_entries(DBKEYTAB* t) { return t ? t->count : 0; }

int db__list_entries(DBKEYTAB* t, char (*names)[32]) {
  if (!t || !names) return 0;
  int n = 0;
  for (int b = 0; b < t->buckets; ++b)
    for (DBKEYENT* e = t->heads[b]; e; e = e->next) std::memcpy(names[n++], e->name, sizeof e->name);
  return 1;
}

int db__print_tbl(DBKEYTAB* t) {
  if (!t || t->count == 0) {
    std::fprintf(stderr, "db__print_tbl: Zero length table to print\n");
    return 0;
  }
  for (int b = 0; b < t->buckets; ++b)
    for (DBKEYENT* e = t->heads[b]; e; e = e->next)
      std::printf("%d: %s (%d, %d)\n", b, e->name, e->tag1, e->tag2);
  return 1;
}

void db__free_tab(DBKEYTAB* t) {
  if (!t) return;
  for (int b = 0; b < t->buckets; ++b) {
    for (DBKEYENT* e = t->heads[b]; e;) {
      DBKEYENT* next = e->next;
      comn_free(e->data);
      comn_free(e);
      e = next;
    }
  }
  comn_free(t->heads);
  comn_free(t);
}
