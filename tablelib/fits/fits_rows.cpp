// Row operations of FITS tables: undefined cells, extending by undefined
// rows (through a null-row template), deleting and shifting rows, and the
// copy of all header parameters.
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "fits_cards.h"
#include "fits_table.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "vos/error.h"
#include "vos/indef.h"
#include "vos/scan.h"
#include "vos/strings.h"

using namespace tbfio;
using namespace tbfits;
using tbl::Column;
using tbl::Table;

namespace {

// Sets every element of one cell undefined (a cell without elements has
// none to set).
void null_cell(fitsfile* f, const Column* cp, int row, int& status) {
  if (cp->nelem > 0) fspclu(f, cp->number, row, 1, cp->nelem, status);
}

// Refuses, before anything changes, to set undefined the cells of columns
// whose cells cannot be written.
void check_nulls(Column* const* cols, int ncols, const char* what) {
  for (int c = 0; c < ncols; ++c) {
    const FitsColumn* note = column_note(cols[c]);
    if (note != nullptr && !note->refusal.empty())
      fail(1, std::string("can't ") + what + ": " + note->refusal);
  }
}
void check_nulls(Table* tp, const char* what) {
  for (auto& c : tp->cols) {
    Column* cp = c.get();
    if (cp->store) check_nulls(&cp, 1, what);
  }
}

// True for a bit (X) column of a binary table.
bool bit_column(Table* tp, fitsfile* f, const Column* cp) {
  if (tp->subtype != tbl::kFitsBinary) return false;
  int code = 0, status = 0;
  long repeat = 0, width = 0;
  fsgtcl(f, cp->number, code, repeat, width, status);
  tbferr(status);
  return code == TBIT;
}

// Adds the TNULLn a column needs for undefined values.  Byte columns take
// 255 (a byte holds no -32767).
void add_tnull(Table* tp, fitsfile* f, const Column* cp, int& status) {
  std::string key = column_key("TNULL", cp->number);
  const char* comment = "undefined value for column";
  if (tp->subtype == tbl::kFitsAscii) {
    fspkys(f, key, "*", comment, status);
  } else {
    int code = 0;
    long repeat = 0, width = 0;
    fsgtcl(f, cp->number, code, repeat, width, status);
    if (status != 0) return;
    if (code == TBYTE) fspkyj(f, key, 255, comment, status);
    else if (cp->dtype == tbl::kTyInt) fspkyj(f, key, tbl::kIndefI, comment, status);
    else if (cp->dtype == tbl::kTyShort) fspkyj(f, key, tbl::kIndefS, comment, status);
  }
  fsrdef(f, status);
}

// Length of a row in bytes.
long row_bytes(fitsfile* f) {
  int status = 0;
  long naxis1 = 0;
  std::string comment;
  fsgkyj(f, "NAXIS1", naxis1, comment, status);
  tbferr(status);
  return naxis1;
}

// Bytes one block move of rows holds in memory at once.
constexpr long kMoveBytes = 1L << 20;

// Moves rows first..last down by `shift` (> 0) in blocks of whole rows,
// from the last block backwards so that no row is overwritten before it is
// read; rows written past the end extend the table.
void move_rows_down(fitsfile* f, long len, long first, long last, long shift) {
  if (len <= 0 || last < first) return;
  const long per = std::max(1L, kMoveBytes / len);
  std::vector<unsigned char> buf(std::size_t(std::min(per, last - first + 1) * len));
  int status = 0;
  for (long end = last; end >= first && status == 0;) {
    const long cnt = std::min(per, end - first + 1);
    const long from = end - cnt + 1;
    fsgtbb(f, from, 1, cnt * len, buf.data(), status);
    fsptbb(f, from + shift, 1, cnt * len, buf.data(), status);
    end = from - 1;
  }
  tbferr(status);
}

}  // namespace

namespace tbl {

// Sets every cell of rows first..last (within the table) undefined.
void tbfnll(Table* tp, int first, int last) {
  check_nulls(tp, "set rows undefined");
  fitsfile* f = fptr(tp);
  first = std::max(first, 1);
  last = std::min(last, tp->nrows);
  int status = 0;
  for (int r = first; r <= last && status == 0; ++r)
    for (int c = 0; c < tp->ncols && status == 0; ++c) null_cell(f, tp->cols[c].get(), r, status);
  tbferr(status);
}

// Sets the given columns of one row undefined.
void tbfudf(Table* tp, Column** cols, int ncols, int row) {
  check_nulls(cols, ncols, "set cells undefined");
  fitsfile* f = fptr(tp);
  int status = 0;
  for (int c = 0; c < ncols && status == 0; ++c) null_cell(f, cols[c], row, status);
  tbferr(status);
}

// Makes rows old + 1 to new undefined: the first new row through CFITSIO's
// nulls, every further one as a raw copy of that row's bytes.
void tbfwer(Table* tp, int oldn, int newn) {
  if (newn <= oldn) return;
  check_nulls(tp, "add rows");
  check_table_whole(tp);  // the data grow, and TNULL cards may be added
  fitsfile* f = fptr(tp);
  int status = 0;
  int from = oldn + 1;
  if (!tp->fits_null_ready) {
    for (int c = 0; c < tp->ncols; ++c) {
      const Column* cp = tp->cols[c].get();
      null_cell(f, cp, oldn + 1, status);
      if (status == NO_NULL) {
        status = 0;
        ftcmsg();
        if (bit_column(tp, f, cp)) {
          // Bits have no undefined value and get no TNULL: they start clear.
          std::vector<short> zeros(static_cast<std::size_t>(std::max(cp->nelem, 1)), 0);
          fspcli(f, cp->number, oldn + 1, 1, cp->nelem, zeros.data(), status);
        } else {
          add_tnull(tp, f, cp, status);
          null_cell(f, cp, oldn + 1, status);
        }
      }
      tbferr(status);
    }
    fsrdef(f, status);
    tbferr(status);
    long len = row_bytes(f);
    tp->allrowlen = static_cast<int>(len);
    tp->nullrow.assign(static_cast<std::size_t>(std::max(len, 1L)), 0);
    if (len > 0) fsgtbb(f, oldn + 1, 1, len, tp->nullrow.data(), status);
    tbferr(status);
    tp->fits_null_ready = true;
    from = oldn + 2;
  }
  long len = static_cast<long>(tp->allrowlen);
  if (len > 0)
    for (int r = from; r <= newn && status == 0; ++r)
      fsptbb(f, r, 1, len, tp->nullrow.data(), status);
  tbferr(status);
}

// Deletes the last ndel rows.
void tbfchp(Table* tp, int ndel) {
  if (ndel <= 0 || tp->nrows <= 0) return;
  int d = std::min(ndel, tp->nrows);
  check_table_whole(tp);  // the data shrink
  int status = 0;
  fsdrow(fptr(tp), tp->nrows - d + 1, d, status);
  tbferr(status);
  tp->nrows -= d;
}

// Moves rows first..end down by shift (> 0), or removes |shift| rows from
// row first on (< 0), where CFITSIO's own row deletion closes the gap.  A
// removal never reaches rows before `first`; after a move down rows
// first..first+shift-1 keep their old contents.
void tbfsft(Table* tp, int first, int shift) {
  const int n = tp->nrows;
  if (first < 1 || first > n || shift == 0) return;
  check_table_whole(tp);  // the data grow or shrink
  fitsfile* f = fptr(tp);
  if (shift < 0) {
    const long m = std::min(-long(shift), long(n) - first + 1);
    int status = 0;
    fsdrow(f, first, m, status);
    tbferr(status);
    tp->nrows = int(n - m);
  } else {
    if (long(n) + shift > INT_MAX) vos::error(1, "tbfsft:  too many rows");
    move_rows_down(f, row_bytes(f), first, n, shift);
    tp->nrows = std::max(tp->nrows, n + shift);
  }
}

// Copies the header parameters of `in` to `out`, skipping the table
// structure keywords and EXTNAME/EXTVER when the output has them.
void tbfcal(Table* in, Table* out) {
  for (int n = 1; n <= in->npar; ++n) {
    std::string kw, value;
    int dtype = 0;
    tbhgnp(in, n, kw, dtype, value);
    if (tbfcard::tbfres(kw)) continue;
    std::string ukw = vos::upper(kw);
    if (ukw == "EXTNAME" || ukw == "EXTVER") {
      std::string t;
      bool missing = vos::iferr([&] {
        if (ukw == "EXTNAME") tbhgtt(out, kw, t, 80);
        else (void)tbhgti(out, kw);
      });
      if (missing) vos::xerret();
      else continue;
    }
    std::size_t ip = 0;
    if (dtype == kTyBool) {
      std::size_t i = value.find_first_not_of(" \t");
      char c = i == std::string::npos ? ' ' : value[i];
      bool b;
      if (c == 'T' || c == 't') b = true;
      else if (c == 'F' || c == 'f') b = false;
      else {
        int v = 0;
        vos::ctoi(value, ip, v);
        b = v > 0;
      }
      tbhadb(out, kw, b);
    } else if (dtype == kTyChar || dtype < 0) {
      tbhadt(out, kw, value);
    } else if (dtype == kTyInt) {
      int v = kIndefI;
      vos::ctoi(value, ip, v);
      tbhadi(out, kw, v);
    } else if (dtype == kTyReal) {
      double v = kIndefD;
      vos::ctod(value, ip, v);
      tbhadr(out, kw, vos::is_indef(v) || !(std::fabs(v) <= 3.4e38) ? kIndefR : static_cast<float>(v));
    } else if (dtype == kTyDouble) {
      double v = kIndefD;
      vos::ctod(value, ip, v);
      tbhadd(out, kw, v);
    } else {
      vos::error(1, "tbhcal:  bad data type");
    }
    if (!tbfcard::comment_like(kw)) {
      std::string comment;
      tbhgcm(in, kw, comment, 80);
      if (!comment.empty()) tbhpcm(out, kw, comment);
    }
  }
}

}  // namespace tbl
