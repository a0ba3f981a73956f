// Copying columns of one row into columns of another row with conversion
// between their types, and exchanging two rows of a table.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

namespace {

constexpr int kTextBuf = 1023;

bool is_text(int dtype) { return dtype < 0 || dtype == kTyChar; }

void need_writable(const Table* tp) {
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
}

// Copies an array cell of e elements into one of f >= e elements; the
// elements after e become undefined.
template <class T, class Get, class Put>
void copy_array(int e, int f, T undef, Get get, Put put) {
  std::vector<T> buf(static_cast<std::size_t>(std::max(e, f)), undef);
  if (get(buf.data(), e) < e) vos::error(1, "tbrcsc:  can't read array entry");
  put(buf.data(), f);
}

// One column pair of tbrcsc.
void copy_cell(Table* in, Table* out, Column* ci, Column* co, int inrow, int outrow) {
  const int e = ci->nelem;
  const int dt = ci->dtype;
  if (!is_text(dt) && dt != kTyBool && dt != kTyShort && dt != kTyInt && dt != kTyReal &&
      dt != kTyDouble)
    vos::error(82, "tbrcsc:  bad data type; table or memory corrupted?");
  if (e <= 1) {
    if (is_text(dt)) {
      std::string s;
      tbegtt(in, ci, inrow, s, kTextBuf);
      tbeptt(out, co, outrow, s);
    } else if (dt == kTyBool || dt == kTyShort) {
      short v = 0;
      tbegts(in, ci, inrow, v);
      tbepts(out, co, outrow, v);
    } else if (dt == kTyInt) {
      int v = 0;
      tbegti(in, ci, inrow, v);
      tbepti(out, co, outrow, v);
    } else if (dt == kTyReal) {
      float v = 0;
      tbegtr(in, ci, inrow, v);
      tbeptr(out, co, outrow, v);
    } else {
      double v = 0;
      tbegtd(in, ci, inrow, v);
      tbeptd(out, co, outrow, v);
    }
    return;
  }
  if (out->type == kTextTable || out->type == kColOrdered)
    vos::error(1, "Output table type does not support columns of arrays.");
  const int f = co->nelem;
  if (f < e) vos::error(1, "tbrcsc:  output array is shorter than input array");
  if (is_text(dt)) {
    std::string s;
    for (int i = 1; i <= e; ++i) {
      if (tbagtt(in, ci, inrow, &s, kTextBuf, i, 1) < 1)
        vos::error(1, "tbrcsc:  can't read array entry");
      tbaptt(out, co, outrow, &s, kTextBuf, i, 1);
    }
    const std::string empty;
    for (int i = e + 1; i <= f; ++i) tbaptt(out, co, outrow, &empty, kTextBuf, i, 1);
  } else if (dt == kTyBool || dt == kTyShort) {
    copy_array<short>(
        e, f, kIndefS, [&](short* b, int n) { return tbagts(in, ci, inrow, b, 1, n); },
        [&](const short* b, int n) { tbapts(out, co, outrow, b, 1, n); });
  } else if (dt == kTyInt) {
    copy_array<int>(
        e, f, kIndefI, [&](int* b, int n) { return tbagti(in, ci, inrow, b, 1, n); },
        [&](const int* b, int n) { tbapti(out, co, outrow, b, 1, n); });
  } else if (dt == kTyReal) {
    copy_array<float>(
        e, f, kIndefR, [&](float* b, int n) { return tbagtr(in, ci, inrow, b, 1, n); },
        [&](const float* b, int n) { tbaptr(out, co, outrow, b, 1, n); });
  } else {
    copy_array<double>(
        e, f, kIndefD, [&](double* b, int n) { return tbagtd(in, ci, inrow, b, 1, n); },
        [&](const double* b, int n) { tbaptd(out, co, outrow, b, 1, n); });
  }
}

// Exchanges one cell (all its elements) between rows a and b.
template <class T, class Get, class Put>
void swap_cell(int nelem, Get get, Put put) {
  const std::size_t n = static_cast<std::size_t>(std::max(nelem, 1));
  std::vector<T> va(n), vb(n);
  get(va.data(), 'a');
  get(vb.data(), 'b');
  put(vb.data(), 'a');
  put(va.data(), 'b');
}

// Swaps two rows of a row-ordered table as stored.
void swap_stored(Table* tp, int a, int b) {
  int ra = 0, rb = 0;
  tbswer(tp, std::max(a, b), a > b ? ra : rb);
  tbswer(tp, std::min(a, b), a > b ? rb : ra);
  const long n = std::max(tp->allrowlen, 0);
  if (n == 0) return;
  std::vector<unsigned char> bufa(2 * static_cast<std::size_t>(n)), bufb(bufa.size());
  vos::seek(tp->fd, tbxoff(tp, ra));
  if (vos::read(tp->fd, bufa.data(), n) < n) vos::error(1, "tbrswp:  could not read row");
  vos::seek(tp->fd, tbxoff(tp, rb));
  if (vos::read(tp->fd, bufb.data(), n) < n) vos::error(1, "tbrswp:  could not read row");
  vos::seek(tp->fd, tbxoff(tp, ra));
  vos::write(tp->fd, bufb.data(), n);
  vos::seek(tp->fd, tbxoff(tp, rb));
  vos::write(tp->fd, bufa.data(), n);
}

}  // namespace

// Copies columns icols[k] of row inrow of `in` into ocols[k] of row outrow
// of `out`, converting to the output columns' types.
void tbrcsc(Table* in, Table* out, Column* const* icols, Column* const* ocols, int inrow,
            int outrow, int ncols) {
  need_table(in, "tbrcsc");
  need_table(out, "tbrcsc");
  need_writable(out);
  if (ncols > 0 && (icols == nullptr || ocols == nullptr))
    vos::error(1, "tbrcsc:  null column array");
  for (int k = 0; k < ncols; ++k) {
    need_column(icols[k], "tbrcsc");
    need_column(ocols[k], "tbrcsc");
    copy_cell(in, out, icols[k], ocols[k], inrow, outrow);
  }
  out->modified = true;
}

// Exchanges rows a and b.  Every column of the table takes part (the real
// columns, whatever a column selector shows), arrays element by element.
void tbrswp(Table* tp, int a, int b) {
  need_table(tp, "tbrswp");
  need_writable(tp);
  if (a == b) return;
  if (tp->type == kRowOrdered) {
    swap_stored(tp, a, b);
    tp->modified = true;
    return;
  }
  for (auto& col : tp->cols) {
    Column* cp = col.get();
    const int n = std::max(cp->nelem, 1);
    auto row = [&](char which) { return which == 'a' ? a : b; };
    if (is_text(cp->dtype)) {
      swap_cell<std::string>(
          n,
          [&](std::string* v, char w) {
            if (n == 1)
              tbegtt(tp, cp, row(w), v[0], kTextBuf);
            else
              for (int i = 1; i <= n; ++i) tbagtt(tp, cp, row(w), v + i - 1, kTextBuf, i, 1);
          },
          [&](const std::string* v, char w) {
            if (n == 1)
              tbeptt(tp, cp, row(w), v[0]);
            else
              for (int i = 1; i <= n; ++i) tbaptt(tp, cp, row(w), v + i - 1, kTextBuf, i, 1);
          });
      continue;
    }
    switch (cp->dtype) {
      case kTyBool: {
        // Bool cells travel through plain bool buffers (no vector<bool>).
        std::unique_ptr<bool[]> va(new bool[n]), vb(new bool[n]);
        tbagtb(tp, cp, a, va.get(), 1, n);
        tbagtb(tp, cp, b, vb.get(), 1, n);
        if (n == 1) {
          tbeptb(tp, cp, a, vb[0]);
          tbeptb(tp, cp, b, va[0]);
        } else {
          tbaptb(tp, cp, a, vb.get(), 1, n);
          tbaptb(tp, cp, b, va.get(), 1, n);
        }
        break;
      }
      case kTyShort:
        swap_cell<short>(
            n, [&](short* v, char w) { tbagts(tp, cp, row(w), v, 1, n); },
            [&](const short* v, char w) { tbapts(tp, cp, row(w), v, 1, n); });
        break;
      case kTyInt:
        swap_cell<int>(
            n, [&](int* v, char w) { tbagti(tp, cp, row(w), v, 1, n); },
            [&](const int* v, char w) { tbapti(tp, cp, row(w), v, 1, n); });
        break;
      case kTyReal:
        swap_cell<float>(
            n, [&](float* v, char w) { tbagtr(tp, cp, row(w), v, 1, n); },
            [&](const float* v, char w) { tbaptr(tp, cp, row(w), v, 1, n); });
        break;
      case kTyDouble:
        swap_cell<double>(
            n, [&](double* v, char w) { tbagtd(tp, cp, row(w), v, 1, n); },
            [&](const double* v, char w) { tbaptd(tp, cp, row(w), v, 1, n); });
        break;
      default:
        vos::error(82, "tbrswp:  bad data type; table or memory corrupted?");
    }
  }
  tp->modified = true;
}

}  // namespace tbl
