// Table parameters: sizes and kinds of a table set and read by numeric code.
#include <algorithm>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

namespace tbl {

namespace {

// New allocated row length L (chars) of a row-ordered table.
void set_row_length(Table* tp, int len) {
  if (tp->type != kRowOrdered) return;
  if (!tp->opened) {
    tp->allrowlen = len;
    return;
  }
  const int want = tp->ncols + (len - tp->rowlen) / 2;
  tbtchs(tp, -1, want > tp->maxcols ? want : -1, len, -1);
}

// New allocated row count N of a column-ordered table.
void set_alloc_rows(Table* tp, int n) {
  if (tp->type != kColOrdered) return;
  if (!tp->opened) {
    tp->allrows = n;
    return;
  }
  tbtchs(tp, -1, -1, -1, n);
}

}  // namespace

// Sets one table parameter.
void tbpset(Table* tp, int code, int value) {
  need_table(tp, "tbpset");
  switch (code) {
    case 1: set_row_length(tp, 2 * value); break;
    case 2: set_row_length(tp, tp->allrowlen + 2 * value); break;
    case 8: set_row_length(tp, value); break;
    case 3: set_alloc_rows(tp, value); break;
    case 4: set_alloc_rows(tp, tp->allrows + value); break;
    case 5:
      if (value < kRowOrdered || value > kFitsTable)
        vos::error(1, vos::sprintf_max(255, "tbpset:  %d is not a valid table type", value));
      if (tp->opened) vos::error(31, "can't specify table type after opening table");
      if (tp->type == kFitsTable || value == kFitsTable || tp->type == 15) return;
      tp->type = value;
      break;
    case 6: tbtchs(tp, value, -1, -1, -1); break;
    case 7: tbtchs(tp, -1, value, -1, -1); break;
    case 9:
      if (tp->type != kTextTable) return;
      if (value != kTextByPosition && value != kTextWithDefs)
        vos::error(1, vos::sprintf_max(255, "tbpset:  %d is not a valid text table subtype", value));
      tp->subtype = value;
      break;
    case 31:
      if (!tp->opened) vos::error(32, "table must be open to set I/O advice");
      tbtfst(tp, vos::F_ADVICE, value);
      break;
    default:
      vos::error(33, "invalid option for tbpset");
  }
}

// Reads one table parameter.
int tbpsta(Table* tp, int code) {
  need_table(tp, "tbpsta");
  switch (code) {
    case 1: return (tbrlen(tp, 1) + 1) / 2;
    case 3: return tp->allrows;
    case 5: return tp->type;
    case 6: return tp->maxpar;
    case 7: return tp->maxcols;
    case 8: return tbrlen(tp, 8);
    case 9: return tp->subtype;
    case 21: return tp->rowsel ? tp->nselrows : tp->nrows;
    case 22: return tp->colsel ? tp->nselcols : tp->ncols;
    case 23: return (tbrlen(tp, 23) + 1) / 2;
    case 24: return tp->npar;
    case 25: return tbrlen(tp, 25);
    case 26: return tp->version;
    case 32:
      if (!tp->opened) vos::error(32, "table must be open to get buffer size");
      if (tp->type == kFitsTable) return tbfsiz(tp);
      return static_cast<int>(vos::fstati(tp->fd, vos::F_BUFSIZE));
    case 34: return tp->opened ? tbtszd(tp) : 0;
    default: vos::error(34, "unknown parameter for tbpsta");
  }
}

// A row length in chars by code: allocated (1, 8) or used (23, 25); with a
// column selector the selected columns' total, whatever the code.
int tbrlen(Table* tp, int code) {
  if (tp->colsel) {
    long long sum = 0;
    const int n = std::min(tp->nselcols, static_cast<int>(tp->selcols.size()));
    for (int k = 0; k < n; ++k) {
      const Column* cp = tcscolumn(tp->selcols[k]);
      if (cp != nullptr) sum += cp->length;
    }
    return sum > 2147483647LL ? 2147483647 : static_cast<int>(sum);
  }
  switch (code) {
    case 1:
    case 8: return tp->allrowlen;
    case 23:
    case 25: return tp->rowlen;
    default: return 0;
  }
}

// Size of the table's data in chars.
int tbtszd(Table* tp) {
  const long long n = static_cast<long long>(tbpsta(tp, 21)) * tbrlen(tp, 23);
  return n > 2147483647LL ? 2147483647 : static_cast<int>(n);
}

}  // namespace tbl
