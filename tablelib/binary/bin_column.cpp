// Reading and writing one column over a range of rows, both orders.  A
// column-ordered column is one contiguous block, so a range moves in a few
// large transfers.  A row-ordered column moves with the rows around it: a
// run of rows is read in one transfer and its cells taken out, or patched
// and written back in one transfer (the same bytes as a transfer per cell,
// without a call per cell).
#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "tablelib/tbbackend.h"
#include "binio.h"
#include "binkind.h"
#include "bintext.h"

namespace tbl {

using namespace tbbin;

namespace {

constexpr long kChunkBytes = 1 << 18;

// Elements of `cp` per transfer of a column-ordered range.
long per_chunk(long esz) { return std::max<long>(1, kChunkBytes / (std::max(esz, 1L) * 2)); }

// Rows of a row-ordered range per transfer.
long rows_per_chunk(const Table* tp) { return std::max<long>(1, kChunkBytes / (std::max(tp->allrowlen, 1) * 2L)); }

// Chars from the cell of the first of `rows` rows to the end of the last's.
long row_span(const Table* tp, long rows, long esz) { return (rows - 1) * tp->allrowlen + esz; }

// Cells of a run of `cnt` rows of a row-ordered range that lie wholly within
// the `got` chars read from the first of them.
long whole_cells(const Table* tp, long cnt, long esz, long got) {
  if (got < esz) return 0;
  if (tp->allrowlen <= 0) return cnt;
  return std::min(cnt, (got - esz) / tp->allrowlen + 1);
}

// Scratch for the transfers, kept between calls (one thread).
std::vector<uint8_t>& scratch() {
  static std::vector<uint8_t> buf;
  return buf;
}

// Converts `cnt` cells of column `cp`, `stride` bytes apart from `p`, into
// vals/nulls from index 0.  Text of a string column goes straight into the
// caller's buffers.
template <class T>
void take_cells(const uint8_t* p, std::size_t stride, long cnt, Fam f, Column* cp, int maxch,
                T* vals, bool* nulls) {
  const std::size_t bytes = std::size_t(elem_chars(cp)) * 2;
  if constexpr (std::is_same_v<T, char*>) {
    if (is_string(cp->dtype)) {
      const std::size_t most = std::size_t(std::max(maxch, 0));
      for (long k = 0; k < cnt; ++k, p += stride) {
        char* out = vals[k];
        nulls[k] = (out ? field_to_text(out, p, bytes, most) : field_text_length(p, bytes)) == 0;
      }
      return;
    }
  }
  for (long k = 0; k < cnt; ++k, p += stride) {
    Cell c{cp->dtype, p, bytes};
    bool flag;
    Kind<T>::get(c, f, cp, maxch, vals[k], &flag);
    nulls[k] = flag;
  }
}

// Reads rows first..last of column `cp` into vals/nulls.
template <class T>
void col_get(Table* tp, Column* cp, T* vals, bool* nulls, int maxch, int first, int last,
             bool y) {
  const Who who = routine<T>("tbcgt");
  if (!is_known(cp->dtype)) fail(82, who + ":  invalid data type");
  long n = long(last) - first + 1;
  if (n < 1) return;
  const Fam f = y ? Fam::RangeY : Fam::RangeX;
  const long esz = elem_chars(cp);
  if (y) {
    if (first < 1 || last > tp->allrows) fail(1, who + ":  unexpected end of file");
    // Cells lie a column length apart, which a file may make more (or less)
    // than one element.
    const long stride = std::max(cp->length, 1);
    std::vector<uint8_t>& buf = scratch();
    for (long done = 0; done < n;) {
      long cnt = std::min(per_chunk(std::max(stride, esz)), n - done);
      const long span = (cnt - 1) * stride + esz;
      if (buf.size() < std::size_t(span * 2)) buf.resize(std::size_t(span * 2));
      read_at(tp->fd, yoff(tp, cp, int(first + done)), buf.data(), span, who.c_str());
      take_cells(buf.data(), std::size_t(stride) * 2, cnt, f, cp, maxch, vals + done, nulls + done);
      done += cnt;
    }
    return;
  }
  std::vector<uint8_t>& block = scratch();
  const long pos = tp->bod + long(first - 1) * tp->allrowlen + cp->offset;
  for (long done = 0; done < n;) {
    const long cnt = std::min(rows_per_chunk(tp), n - done);
    const long span = row_span(tp, cnt, esz);
    if (block.size() < std::size_t(span) * 2) block.resize(std::size_t(span) * 2);
    const long got = read_upto(tp->fd, pos + done * tp->allrowlen, block.data(), span);
    // The cells before a short end keep what they read, as cell by cell.
    const long whole = whole_cells(tp, cnt, esz, got);
    take_cells(block.data(), std::size_t(tp->allrowlen) * 2, whole, f, cp, maxch, vals + done,
               nulls + done);
    if (whole < cnt) fail(1, std::string(who.c_str()) + ":  unexpected end of file");
    done += cnt;
  }
}

// Writes vals into rows first..last of column `cp` (the rows exist).
template <class T>
void col_put(Table* tp, Column* cp, const T* vals, int maxch, int first, int last, bool y) {
  const Who who = routine<T>("tbcpt");
  if (!is_known(cp->dtype)) fail(82, who + ":  invalid data type");
  long n = long(last) - first + 1;
  if (n < 1) return;
  const Fam f = y ? Fam::RangeY : Fam::RangeX;
  const long esz = elem_chars(cp);
  if (y) {
    if (first < 1) fail(1, who + ":  invalid row number");
    // A row past the allocation would land in the next column's block.
    if (last > tp->allrows) tbywer(tp, last);
    // Cells lie a column length apart; where that is not one element the
    // bytes between them are read and written back as they are.
    const long stride = std::max(cp->length, 1);
    std::vector<uint8_t>& buf = scratch();
    for (long done = 0; done < n;) {
      long cnt = std::min(per_chunk(std::max(stride, esz)), n - done);
      const long span = (cnt - 1) * stride + esz;
      const long at = yoff(tp, cp, int(first + done));
      // Every cell of the transfer is written below: only growth is needed
      // when the cells touch.
      if (buf.size() < std::size_t(span * 2)) buf.resize(std::size_t(span * 2));
      if (stride != esz) {
        const long got = read_upto(tp->fd, at, buf.data(), span);
        std::fill(buf.begin() + std::ptrdiff_t(got) * 2, buf.begin() + std::ptrdiff_t(span) * 2, 0);
      }
      for (long k = 0; k < cnt; ++k)
        Kind<T>::put(vals[done + k], maxch, cp->dtype, f, buf.data() + k * stride * 2,
                     std::size_t(esz) * 2);
      write_at(tp->fd, at, buf.data(), span);
      done += cnt;
    }
    return;
  }
  std::vector<uint8_t>& block = scratch();
  const long pos = tp->bod + long(first - 1) * tp->allrowlen + cp->offset;
  for (long done = 0; done < n;) {
    const long cnt = std::min(rows_per_chunk(tp), n - done);
    const long span = row_span(tp, cnt, esz);
    const long at = pos + done * tp->allrowlen;
    block.resize(std::size_t(span) * 2);
    // The bytes between the cells stay as they are; past the end of the
    // file they are the zeros a gap would read as.
    const long got = read_upto(tp->fd, at, block.data(), span);
    std::fill(block.begin() + std::ptrdiff_t(got) * 2, block.end(), 0);
    for (long k = 0; k < cnt; ++k)
      Kind<T>::put(vals[done + k], maxch, cp->dtype, f, block.data() + std::size_t(k * tp->allrowlen) * 2,
                   std::size_t(esz) * 2);
    write_at(tp->fd, at, block.data(), span);
    done += cnt;
  }
}

}  // namespace

void tbxcgb(Table* tp, Column* cp, bool* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, false); }
void tbxcgd(Table* tp, Column* cp, double* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, false); }
void tbxcgr(Table* tp, Column* cp, float* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, false); }
void tbxcgi(Table* tp, Column* cp, int* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, false); }
void tbxcgs(Table* tp, Column* cp, short* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, false); }
void tbxcgt(Table* tp, Column* cp, std::string* v, bool* nl, int maxch, int f, int l) {
  col_get(tp, cp, v, nl, maxch, f, l, false);
}
void tbxcgt(Table* tp, Column* cp, char** v, bool* nl, int maxch, int f, int l) {
  col_get(tp, cp, v, nl, maxch, f, l, false);
}
void tbycgb(Table* tp, Column* cp, bool* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, true); }
void tbycgd(Table* tp, Column* cp, double* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, true); }
void tbycgr(Table* tp, Column* cp, float* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, true); }
void tbycgi(Table* tp, Column* cp, int* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, true); }
void tbycgs(Table* tp, Column* cp, short* v, bool* nl, int f, int l) { col_get(tp, cp, v, nl, 0, f, l, true); }
void tbycgt(Table* tp, Column* cp, std::string* v, bool* nl, int maxch, int f, int l) {
  col_get(tp, cp, v, nl, maxch, f, l, true);
}
void tbycgt(Table* tp, Column* cp, char** v, bool* nl, int maxch, int f, int l) {
  col_get(tp, cp, v, nl, maxch, f, l, true);
}

void tbxcpb(Table* tp, Column* cp, const bool* v, int f, int l) { col_put(tp, cp, v, 0, f, l, false); }
void tbxcpd(Table* tp, Column* cp, const double* v, int f, int l) { col_put(tp, cp, v, 0, f, l, false); }
void tbxcpr(Table* tp, Column* cp, const float* v, int f, int l) { col_put(tp, cp, v, 0, f, l, false); }
void tbxcpi(Table* tp, Column* cp, const int* v, int f, int l) { col_put(tp, cp, v, 0, f, l, false); }
void tbxcps(Table* tp, Column* cp, const short* v, int f, int l) { col_put(tp, cp, v, 0, f, l, false); }
void tbxcpt(Table* tp, Column* cp, const std::string* v, int maxch, int f, int l) {
  col_put(tp, cp, v, maxch, f, l, false);
}
void tbxcpt(Table* tp, Column* cp, const char* const* v, int maxch, int f, int l) {
  col_put(tp, cp, v, maxch, f, l, false);
}
void tbycpb(Table* tp, Column* cp, const bool* v, int f, int l) { col_put(tp, cp, v, 0, f, l, true); }
void tbycpd(Table* tp, Column* cp, const double* v, int f, int l) { col_put(tp, cp, v, 0, f, l, true); }
void tbycpr(Table* tp, Column* cp, const float* v, int f, int l) { col_put(tp, cp, v, 0, f, l, true); }
void tbycpi(Table* tp, Column* cp, const int* v, int f, int l) { col_put(tp, cp, v, 0, f, l, true); }
void tbycps(Table* tp, Column* cp, const short* v, int f, int l) { col_put(tp, cp, v, 0, f, l, true); }
void tbycpt(Table* tp, Column* cp, const std::string* v, int maxch, int f, int l) {
  col_put(tp, cp, v, maxch, f, l, true);
}
void tbycpt(Table* tp, Column* cp, const char* const* v, int maxch, int f, int l) {
  col_put(tp, cp, v, maxch, f, l, true);
}

}  // namespace tbl
