// Loading sort orders: the description of a sort-order file and the list
// of sort orders of each character-set descriptor.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_path.h"
#include "comnlib/comn_sort.h"

namespace {

bool is(const char* e, const char* name) { return std::strcmp(e, name) == 0; }

// Entry names that start the definitions, per class.  The reader drops
// blanks inside entry names, so "ignore char" arrives as "ignorechar".
bool definition_name(int cls, const char* e) {
  static const char* const c1[] = {"lig", "char", "ignore char", "ignorechar"};
  static const char* const c2[] = {"not_found", "lig", "char", "alphabet", "row", "row-low",
                                   "row-high", "plane", "group", "ignore char", "ignorechar",
                                   "ignore row", "ignorerow", "ignore plane", "ignoreplane",
                                   "ignore group", "ignoregroup"};
  if (cls == 1) {
    for (const char* n : c1)
      if (is(e, n)) return true;
  } else {
    for (const char* n : c2)
      if (is(e, n)) return true;
  }
  return false;
}

}  // namespace

// Reads the description entries and checks them.  1, 0 (a rule broken),
// -301.
int comn__get_sort_description(COMN_CONTEXT* ctx, comn_sortdesc* desc, char* firstdef,
                               INTL_LOCFILE* lf) {
  firstdef[0] = '\0';
  desc->preference = 1;
  desc->binary = 0;
  unsigned seen = 0;
  enum { kClass = 1, kId = 2, kName = 4, kCharset = 8, kDescr = 16, kMenu = 32 };
  int st = 0;
  while (char* e = intl_nextentry(lf, &st)) {
    int r = 1;
    if (is(e, "class")) {
      r = comn__get_byteval(ctx, lf, &desc->cls);
      if (r == 1 && desc->cls != 1 && desc->cls != 2) r = 0;
      seen |= kClass;
    } else if (is(e, "id")) {
      r = comn__get_byteval(ctx, lf, &desc->id);
      if (r == 1 && desc->id == 0) r = 0;
      seen |= kId;
    } else if (is(e, "name")) {
      r = comn__get_string(ctx, lf, desc->name, 1, 30);
      seen |= kName;
    } else if (is(e, "charset")) {
      r = comn__get_string(ctx, lf, desc->charset, 1, 30);
      seen |= kCharset;
    } else if (is(e, "description")) {
      r = comn__get_string(ctx, lf, desc->description, 0, 255);
      seen |= kDescr;
    } else if (is(e, "menuname")) {
      r = comn__get_string(ctx, lf, nullptr, 0, 0);
      seen |= kMenu;
    } else if (is(e, "preference")) {
      r = comn__get_boolval(ctx, lf, &desc->preference);
    } else if (is(e, "binary")) {
      r = comn__get_boolval(ctx, lf, &desc->binary);
    } else {
      std::strncpy(firstdef, e, 63);
      firstdef[63] = '\0';
      break;
    }
    if (r != 1) return r;
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  if (seen != (kClass | kId | kName | kCharset | kDescr | kMenu)) return 0;
  if (firstdef[0] == '\0') return desc->binary ? 1 : 0;
  return definition_name(desc->cls, firstdef) ? 1 : 0;
}

void comn__sortorder_drop(comn_sortorder* so) {
  if (so == nullptr) return;
  comn_free(so->desc);
  comn_free(so->table);
  comn_free(so);
}

// Makes the sort order available for the entry's character set, loading
// <set>/<sort order>.srt once per descriptor.
int comn__intl_load_sortorder(COMN_CONTEXT* ctx, comn_object* soid, comn_loccache* entry,
                              char* pathbuf, int pathlen) {
  if (ctx == nullptr || entry == nullptr || entry->chardesc == nullptr ||
      entry->csname == nullptr || entry->soname == nullptr)
    return 0;
  for (comn_sortorder* s = entry->chardesc->sortorders; s != nullptr; s = s->next)
    if (s->soid == soid) {
      entry->sortorder = s;
      return 1;
    }
  auto* so = static_cast<comn_sortorder*>(comn_calloc(1, sizeof(comn_sortorder)));
  if (so == nullptr) return COMN_NOMEM;
  so->soid = soid;
  INTL_LOCFILE lf;
  int r = com__open_charfile(ctx, entry->csname, entry->soname, "srt", &lf, pathbuf, pathlen);
  if (r != 1) {
    comn__sortorder_drop(so);
    return r;
  }
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "sortorder") != 0) {
  }
  if (sect == nullptr) {
    if (st < 0) ctx->intl_err = st;
    r = st < 0 ? COMN_EINTL : 0;
  } else {
    so->desc = static_cast<comn_sortdesc*>(comn_calloc(1, sizeof(comn_sortdesc)));
    char firstdef[64];
    r = so->desc == nullptr ? COMN_NOMEM : comn__get_sort_description(ctx, so->desc, firstdef, &lf);
    if (r == 1) r = so->desc->cls == 1 ? comn__build_class1(ctx, so, firstdef, &lf) : 0;
  }
  const int c = intl_close(&lf);
  if (r == 1 && c != 1) {
    ctx->intl_err = c;
    r = COMN_EINTL;
  }
  if (r != 1) {
    comn__sortorder_drop(so);
    return r;
  }
  so->next = entry->chardesc->sortorders;
  entry->chardesc->sortorders = so;
  entry->sortorder = so;
  return 1;
}

// The weight table of the locale's collation entry's sort order.
int com_intl_sortorder(const comn_locale* loc, const std::uint8_t** table) {
  if (loc == nullptr || table == nullptr) return 0;
  const comn_loccache* e = loc->cat[COMN_LC_COLLATE - 1];
  if (e == nullptr || e->chardesc == nullptr || e->chardesc->sortorders == nullptr) return 0;
  const comn_sortorder* so = e->sortorder != nullptr ? e->sortorder : e->chardesc->sortorders;
  *table = so->table;
  return 1;
}
