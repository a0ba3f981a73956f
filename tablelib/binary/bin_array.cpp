// Array elements of row-ordered tables: a run of consecutive elements of one
// cell, read or written in one transfer and converted element by element.
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "binio.h"
#include "binkind.h"

namespace tbl {

using namespace tbbin;

namespace {

// Char offset of element `elem` of `cp` in `row`.
long elem_pos(Table* tp, Column* cp, int row, long elem) {
  return long(tbxoff(tp, row)) + cp->offset + (elem - 1) * elem_chars(cp);
}

// Reads elements first.. of the cell into buf; returns how many (never
// negative: 0 when `first` lies past the array's end).
template <class T>
int arr_get(Table* tp, Column* cp, int row, T* buf, int maxch, int first, int n) {
  const Who who = routine<T>("tbagt");
  long cnt = std::min<long>(long(cp->nelem) - first + 1, n);
  if (cnt < 1) return 0;
  if (!is_known(cp->dtype)) fail(1, who + ":  bad data type");
  const long esz = elem_chars(cp);
  std::vector<uint8_t> bytes(std::size_t(cnt * esz) * 2);
  read_at(tp->fd, elem_pos(tp, cp, row, first), bytes.data(), cnt * esz,
          is_string(cp->dtype) ? "tbxgpt" : who.c_str());
  for (long k = 0; k < cnt; ++k) {
    Cell c{cp->dtype, bytes.data() + k * esz * 2, std::size_t(esz) * 2};
    bool flag;
    Kind<T>::get(c, Fam::ArrayX, cp, maxch, buf[k], &flag);
  }
  return int(cnt);
}

// Writes n elements from `first` into the cell.  The row just after the last
// row is appended whole (null row with the given elements) in one transfer.
template <class T>
void arr_put(Table* tp, Column* cp, int row, const T* buf, int first, int n) {
  const Who who = routine<T>("tbapt");
  if (long(cp->nelem) < long(first) + n - 1) fail(1, who + ":  attempt to put too many elements");
  if (!is_known(cp->dtype)) fail(82, who + ":  bad data type; table or memory corrupted?");
  if (n < 1) return;
  const long esz = elem_chars(cp);
  const std::size_t eb = std::size_t(esz) * 2;
  if (row > tp->nrows) {
    check_in_row(tp, cp, (long(first) - 1 + n) * esz, who.c_str());
    if (row > tp->nrows + 1) {
      tbxwer(tp, row - 1);
      tp->nrows = row - 1;
    }
    std::vector<uint8_t> block = null_row(tp);
    block.resize(std::size_t(tp->allrowlen) * 2);
    uint8_t* at = block.data() + (std::size_t(cp->offset) + std::size_t(first - 1) * esz) * 2;
    for (int k = 0; k < n; ++k) Kind<T>::put(buf[k], 1023, cp->dtype, Fam::ArrayX, at + k * eb, eb);
    write_at(tp->fd, tbxoff(tp, row), block.data(), tp->allrowlen);
    tp->nrows = row;
    return;
  }
  std::vector<uint8_t> bytes(eb * std::size_t(n));
  for (int k = 0; k < n; ++k)
    Kind<T>::put(buf[k], 1023, cp->dtype, Fam::ArrayX, bytes.data() + k * eb, eb);
  write_at(tp->fd, elem_pos(tp, cp, row, first), bytes.data(), esz * n);
}

}  // namespace

int tbxagb(Table* tp, Column* cp, int row, bool* b, int f, int n) { return arr_get(tp, cp, row, b, 0, f, n); }
int tbxagd(Table* tp, Column* cp, int row, double* b, int f, int n) { return arr_get(tp, cp, row, b, 0, f, n); }
int tbxagr(Table* tp, Column* cp, int row, float* b, int f, int n) { return arr_get(tp, cp, row, b, 0, f, n); }
int tbxagi(Table* tp, Column* cp, int row, int* b, int f, int n) { return arr_get(tp, cp, row, b, 0, f, n); }
int tbxags(Table* tp, Column* cp, int row, short* b, int f, int n) { return arr_get(tp, cp, row, b, 0, f, n); }
int tbxagt(Table* tp, Column* cp, int row, std::string* b, int maxch, int f, int n) {
  return arr_get(tp, cp, row, b, maxch, f, n);
}

void tbxapb(Table* tp, Column* cp, int row, const bool* b, int f, int n) { arr_put(tp, cp, row, b, f, n); }
void tbxapd(Table* tp, Column* cp, int row, const double* b, int f, int n) { arr_put(tp, cp, row, b, f, n); }
void tbxapr(Table* tp, Column* cp, int row, const float* b, int f, int n) { arr_put(tp, cp, row, b, f, n); }
void tbxapi(Table* tp, Column* cp, int row, const int* b, int f, int n) { arr_put(tp, cp, row, b, f, n); }
void tbxaps(Table* tp, Column* cp, int row, const short* b, int f, int n) { arr_put(tp, cp, row, b, f, n); }
void tbxapt(Table* tp, Column* cp, int row, const std::string* b, int maxch, int f, int n) {
  (void)maxch;  // each text is packed whole (at most 1023 characters)
  arr_put(tp, cp, row, b, f, n);
}

}  // namespace tbl
