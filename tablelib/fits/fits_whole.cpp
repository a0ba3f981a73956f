// Whole FITS files: a change that moves, rewrites or extends HDUs is made
// only when those HDUs are all in the file.
//
// A FITS file cut short (a copy that stopped, a full disk) still reads up
// to the cut, but CFITSIO changes it as if it were whole: it shifts the
// part that is missing, pads it with zeros or cuts what follows.  So before
// a change that reaches an HDU and everything after it (a header or a data
// unit that grows or shrinks, an HDU inserted, appended or deleted), the
// HDUs from that one on are checked: each header ends with its END card,
// each data unit ends inside the file, and the last one ends where the file
// does.  A file that fails is refused before anything in it changes.
#include <memory>
#include <string>

#include "fits_table.h"
#include "tablelib/tbcore.h"

using namespace tbfio;
using tbl::Table;

namespace tbfits {
namespace {

// Kept in a table's back end slot once its HDU and every HDU after it were
// found whole; the table's own changes keep them so.
struct WholeMark final : tbl::BackendData {};

// The first HDU from `first` on (1: the primary) that is not whole, or 0
// when they all are.  An HDU after the last whole one that CFITSIO cannot
// read (a header cut short, or without END) counts as not whole when the
// file holds bytes past the last whole HDU.  Moves over the HDUs as a
// reader, writing nothing (an HDU cut short left as a writer would be
// padded out), and leaves the file at an undefined HDU.
int first_cut(fitsfile* f, int first) {
  const long long size = fsleng(f);
  long long end = -1;
  for (int n = first;; ++n) {
    int status = 0, type = 0;
    fsmahr(f, n, type, status);
    if (status != 0) {
      ftcmsg();
      return n > first && end == size ? 0 : n;
    }
    long long head = 0, data = 0, next = 0;
    fsghad(f, head, data, next, status);
    if (status != 0) {
      ftcmsg();
      return n;
    }
    if (next > size) return n;
    end = next;
  }
}

// The refusal for a file that is not whole in HDU n.
[[noreturn]] void refuse(const Table* tp, int n) {
  std::string where = n <= 1 ? "its primary HDU" : "extension " + std::to_string(n - 1);
  fail(1, "can't change FITS file `" + tp->name + "': it is cut short or damaged in " + where);
}

// Moves back to HDU n after a check, as a reader: the HDU the check
// stopped at may be one cut short.
void move_back(fitsfile* f, int n) {
  int status = 0, type = 0;
  fsmahr(f, n, type, status);
  tbferr(status);
}

}  // namespace

// Checks HDU `hdunum` on, then moves back to it (see fits_table.h).
void check_whole_from(Table* tp, int hdunum) {
  fitsfile* f = fptr(tp);
  // The file is judged as it stands, the session's own changes in it: the
  // buffers CFITSIO holds changed go to the file first (through the
  // session's own descriptor).  A reader moving over the HDUs could not
  // make room for others while they are changed.
  int status = 0;
  fsflsh(f, status);
  tbferr(status);
  int cut = first_cut(f, hdunum);
  tbl::tbtchk(tp);  // a transfer that failed on the way is no cut
  move_back(f, hdunum);
  if (cut != 0) refuse(tp, cut);
}

// Checks the table's HDU on, once for the table (see fits_table.h).
void check_table_whole(Table* tp) {
  if (dynamic_cast<const WholeMark*>(tp->store.get()) != nullptr) return;
  check_whole_from(tp, tp->hdu + 1);
  mark_whole(tp);
}

// Checks that the current HDU ends inside the file (see fits_table.h).
void check_hdu_whole(Table* tp) {
  fitsfile* f = fptr(tp);
  int status = 0;
  long long head = 0, data = 0, next = 0;
  fsghad(f, head, data, next, status);
  tbferr(status);
  if (next > fsleng(f)) refuse(tp, tp->hdu + 1);
}

// Marks or unmarks the table as whole from its HDU on (see fits_table.h).
void mark_whole(Table* tp) { tp->store = std::make_unique<WholeMark>(); }

void forget_whole(Table* tp) {
  if (dynamic_cast<const WholeMark*>(tp->store.get()) != nullptr) tp->store.reset();
}

}  // namespace tbfits
