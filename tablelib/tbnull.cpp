// The null row of a row-ordered table, big-endian bit copies into row
// buffers, the template copy of mode 7, row-length changes and array
// dimensions.
#include <algorithm>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbbytes.h"
#include "vos/error.h"
#include "vos/format.h"

namespace tbl {

void tbbeqd(double v, unsigned char* out) { put_f64(v, out); }
void tbbeqr(float v, unsigned char* out) { put_f32(v, out); }
void tbbeqi(int v, unsigned char* out) { put_i32(v, out); }
void tbbeqs(short v, unsigned char* out) { put_i16(v, out); }
void tbbeqb(bool v, unsigned char* out) { put_i32(v ? 1 : 0, out); }

// Fills the column's part of the table's null row with its undefined value
// (every element of an array); the buffer grows when it is too short.
void tbbnll(Table* tp, Column* cp) {
  if (cp->offset < 0 || cp->length < 0) return;
  const std::size_t begin = 2 * static_cast<std::size_t>(cp->offset);
  const std::size_t end = begin + 2 * static_cast<std::size_t>(cp->length);
  if (tp->nullrow.size() < end) tp->nullrow.resize(end, 0);
  unsigned char* p = tp->nullrow.data();
  auto fill = [&](std::size_t elem_bytes, auto put) {
    for (std::size_t b = begin; b + elem_bytes <= end; b += elem_bytes) put(p + b);
  };
  switch (cp->dtype) {
    case kTyDouble: fill(8, [](unsigned char* q) { tbbeqd(kStoredIndefD, q); }); break;
    case kTyReal: fill(4, [](unsigned char* q) { tbbeqr(kIndefR, q); }); break;
    case kTyInt: fill(4, [](unsigned char* q) { tbbeqi(kIndefI, q); }); break;
    case kTyShort: fill(2, [](unsigned char* q) { tbbeqs(kIndefS, q); }); break;
    case kTyBool: fill(4, [](unsigned char* q) { tbbeqb(false, q); }); break;
    case kTyChar:
      if (end >= begin + 2) p[begin] = p[begin + 1] = 0;
      break;
    default: std::fill(p + begin, p + end, 0); break;
  }
}

// Gives a new table (mode 7) the template's columns and sizes.
void tbctpe(Table* tp, Table* tmpl) {
  if (tp->type != kFitsTable && tmpl->type != kFitsTable) {
    tp->type = tmpl->type;
    if (tmpl->type == kTextTable) tp->subtype = tmpl->subtype;
  }
  const int ncols = tbpsta(tmpl, 22);
  tp->maxpar = tmpl->maxpar;
  tp->allrows = tmpl->allrows;
  tp->rowlen = tbpsta(tmpl, 25);
  tp->allrowlen = tbpsta(tmpl, 8);
  tp->maxcols = std::max(tp->maxcols, ncols);
  tp->bod = tbtbod(tp->maxpar, tp->maxcols);
  tp->cols.clear();
  int offset = 0;
  for (int i = 1; i <= ncols; ++i) {
    const Column* src = tbcnum(tmpl, i);
    auto col = std::make_unique<Column>();
    if (src != nullptr) {
      col->number = src->number;
      col->offset = src->offset;
      col->length = src->length;
      col->dtype = src->dtype;
      col->stored_type = src->stored_type;
      col->nelem = src->nelem;
      col->scale = src->scale;
      col->zero = src->zero;
      col->name = src->name;
      col->units = src->units;
      col->format = src->format;
    }
    if (tmpl->colsel) {
      col->number = i;
      col->offset = offset;
    }
    offset += col->length;
    tp->cols.push_back(std::move(col));
  }
  tp->ncols = ncols;
  if (tmpl->type == kTextTable || tmpl->type == kFitsTable) {
    int off = 0;
    for (auto& c : tp->cols) {
      c->offset = off;
      off += c->length;
    }
    tp->rowlen = tp->allrowlen = off;
  }
}

// Changes the allocated row length of a row-ordered table.
void tbcchg(Table* tp, int rowlen) {
  if (tp->type != kRowOrdered) return;
  if (!tp->opened) {
    tp->allrowlen = rowlen;
    return;
  }
  const int want = tp->ncols + (rowlen - tp->rowlen) / 2;
  tbtchs(tp, -1, want > tp->maxcols ? want : -1, rowlen, -1);
}

// A column's array dimensions.
void tbciga(Table* tp, Column* cp, int& ndim, int* axlen, int maxdim) {
  if (tp->type == kFitsTable) {
    tbfiga(tp, cp, ndim, axlen, maxdim);
    return;
  }
  ndim = 1;
  if (maxdim >= 1) axlen[0] = cp->nelem;
}

// Sets a column's array dimensions (kept by FITS tables only).
void tbcisa(Table* tp, Column* cp, int ndim, const int* axlen) {
  long long product = 1;
  for (int k = 0; k < ndim; ++k) {
    product *= axlen[k];
    if (product > 2147483647LL || product < -2147483647LL) break;
  }
  const std::string name = cp->name.substr(0, kSzColText);
  if (product != cp->nelem)
    vos::error(1, vos::sprintf("tbcisa:  column `%s', actual array size=%d, specified size=%d",
                               name, cp->nelem, static_cast<long>(product)));
  if (ndim > 7)
    vos::error(1, vos::sprintf("tbcisa:  column `%s', dimension %d is too large", name, ndim));
  if (tp->type == kFitsTable) tbfisa(tp, cp, ndim, axlen);
}

}  // namespace tbl
