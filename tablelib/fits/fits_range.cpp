// Column ranges of FITS tables: a string column holding one string per row
// is read or written over many rows with one CFITSIO call per group of
// rows, where the generic layer would make one call per cell.  Values, null
// flags and file bytes are those of the cell-by-cell loop, which still
// serves every other column and takes over when a group call fails, so that
// an error and a range left partly done come out as they always did.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fits_table.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"

using namespace tbfio;
using namespace tbfits;
using tbl::Column;
using tbl::Table;

namespace {

constexpr int kGroup = 8192;  // rows per CFITSIO call

// True when every row of the column holds exactly one string, as the table
// library and CFITSIO both see it.
bool one_string_per_row(Table* tp, fitsfile* f, const Column* cp) {
  if (cp->dtype >= 0 || cp->nelem != 1) return false;
  int status = 0, type = 0;
  long repeat = 0, width = 0;
  fsgtcl(f, cp->number, type, repeat, width, status);
  if (status != 0) {
    ftcmsg();
    return false;
  }
  return type == TSTRING && width > 0 && (repeat == width || tp->subtype == tbl::kFitsAscii);
}

// Drops a failed group call's status and messages: the cell loop repeats
// the range and reports the failure as its own.
bool give_up() {
  ftcmsg();
  return false;
}

// Reads the texts of rows first..last, handing each to store(k, text) with
// k counted from 0, and their null flags; false, with no status left, when
// the cell loop must serve the range.
template <class Store>
bool get_text(Table* tp, Column* cp, bool* nulls, int maxch, int first, int last, Store store) {
  fitsfile* f = fptr(tp);
  if (first > last || !one_string_per_row(tp, f, cp)) return false;
  // Read wide enough to tell INDEF from a longer word, as a cell get does.
  const int width = std::max(maxch, 6);
  const std::size_t m = static_cast<std::size_t>(std::max(maxch, 0));
  std::vector<std::string> raw;
  for (int r = first; r <= last; r += kGroup) {
    const int n = std::min(kGroup, last - r + 1);
    int status = 0;
    fsgcvs(f, cp->number, r, 1, n, width, "", raw, status);
    if (status != 0 || static_cast<int>(raw.size()) != n) return give_up();
    for (int j = 0; j < n; ++j) store(r - first + j, string_text(raw[j], m, nulls[r - first + j]));
    if (last - r < kGroup) break;  // r + kGroup would pass INT_MAX at the end
  }
  return true;
}

}  // namespace

namespace tbl {

bool tbfcgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first,
            int last) {
  return get_text(tp, cp, nulls, maxch, first, last,
                  [&](int k, std::string_view text) { vals[k] = text; });
}

bool tbfcgt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last) {
  return get_text(tp, cp, nulls, maxch, first, last,
                  [&](int k, std::string_view text) { copy_text(vals[k], text, maxch); });
}

bool tbfcpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last) {
  fitsfile* f = fptr(tp);
  if (first > last || !one_string_per_row(tp, f, cp)) return false;
  for (int r = first; r <= last; r += kGroup) {
    const int n = std::min(kGroup, last - r + 1);
    int status = 0;
    fspcls(f, cp->number, r, 1, n, std::max(maxch, 0), vals + (r - first), status);
    if (status != 0) return give_up();
    if (last - r < kGroup) break;
  }
  tp->nrows = std::max(tp->nrows, last);
  return true;
}

}  // namespace tbl
