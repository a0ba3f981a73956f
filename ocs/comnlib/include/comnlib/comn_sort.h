// Sort orders of the common library: loaded once per character-set
// descriptor from <set>/<name>.srt; a single-byte (class 1) sort order is
// compiled into a weight table.  Results: 1, 0 (bad file), -1, -301, -414.
#pragma once

#include <cstdint>

#include "comnlib/comn_loc.h"
#include "intllib/intl_loc.h"

// Layout of the weight table.
enum : int {
  COMN_SORT_HDR = 4,
  COMN_SORT_NCHARS = 256,
  COMN_SORT_NEXT = 64,
  COMN_SORT_EXTSIZE = 12,
  COMN_SORT_TABSIZE = 4 + 256 * 4 + 64 * 12,
  COMN_SORT_MAXLIGS = 50,
};

int comn__intl_load_sortorder(COMN_CONTEXT* ctx, comn_object* soid, comn_loccache* entry,
                              char* pathbuf, int pathlen);
// Reads the description entries; the name of the first definition entry
// (empty when the section has none) goes to firstdef (64 bytes).
int comn__get_sort_description(COMN_CONTEXT* ctx, comn_sortdesc* desc, char* firstdef,
                               INTL_LOCFILE* lf);
int comn__build_class1(COMN_CONTEXT* ctx, comn_sortorder* so, const char* firstdef,
                       INTL_LOCFILE* lf);
void comn__sortorder_drop(comn_sortorder* so);
int com_intl_sortorder(const comn_locale* loc, const std::uint8_t** table);
