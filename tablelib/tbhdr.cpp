// Binary table header records: the size record at the head of the file and
// the column records after the header-parameter records.  All integers are
// big-endian 32-bit values; texts are one byte per character.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbbytes.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

namespace {

constexpr int kSizeRecChars = 24;  // 48 bytes
constexpr int kColRecChars = 32;   // 64 bytes
constexpr int kMaxSlots = 1000000;     // sanity bound for header slot counts
constexpr int kMaxRowChars = 1 << 26;  // sanity bound for a row length

// Text of a record field: the bytes up to the first zero byte.
std::string field_text(const unsigned char* p, std::size_t n) {
  std::size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

// Packs text into a field of n bytes, ended by a zero byte when shorter.
void put_field(std::string_view text, unsigned char* p, std::size_t n) {
  std::size_t len = std::min(text.size(), n);
  std::memcpy(p, text.data(), len);
  if (len < n) p[len] = 0;
}

[[noreturn]] void corrupt_sizes() { vos::error(81, "tbtrsi:  table size information is corrupt"); }

}  // namespace

// Body offset: first char of the data after maxpar parameter records and
// maxcols column records.
int tbtbod(int maxpar, int maxcols) { return 25 + 40 * maxpar + 32 * maxcols; }

// Writes the size record at the head of a binary table file (FITS tables
// through their back end; text tables have none).
void tbtwsi(Table* tp) {
  if (tp->type == kTextTable) return;
  if (tp->type == kFitsTable) {
    tbfwsi(tp);
    return;
  }
  if (tp->type == kRowOrdered) tp->allrows = tp->nrows;
  std::array<unsigned char, 2 * kSizeRecChars> rec{};
  const int words[12] = {tp->npar,   tp->maxpar, tp->nrows,  tp->allrows,
                         tp->ncols,  tp->maxcols, tp->rowlen, tp->allrowlen,
                         tp->type,   3,           0,          0};
  for (int i = 0; i < 12; ++i) put_i32(words[i], rec.data() + 4 * i);
  vos::seek(tp->fd, 1);
  vos::write(tp->fd, rec.data(), kSizeRecChars);
}

// Reads the size record into the descriptor and computes the body offset.
// A short or empty file, an unknown table type and sizes that cannot
// describe a table (among them a column-ordered table with more rows than
// it allocates, whose last rows would lie in the next column's block) are
// refused before anything is taken from them.
void tbtrsi(Table* tp) {
  if (tp->type == kTextTable) {
    tp->bod = 0;
    return;
  }
  if (tp->type == kFitsTable) {
    tbfrsi(tp);
    return;
  }
  std::array<unsigned char, 2 * kSizeRecChars> rec{};
  vos::seek(tp->fd, 1);
  long n = vos::read(tp->fd, rec.data(), kSizeRecChars);
  if (n < kSizeRecChars) vos::error(83, "table data file is empty");
  int w[12];
  for (int i = 0; i < 12; ++i) w[i] = get_i32(rec.data() + 4 * i);
  tp->type = w[8];
  if (w[8] != kRowOrdered && w[8] != kColOrdered) vos::error(81, "unknown table type");
  const int npar = w[0], maxpar = w[1], nrows = w[2], allrows = w[3];
  const int ncols = w[4], maxcols = w[5], rowlen = w[6], allrowlen = w[7];
  if (npar < 0 || maxpar < npar || maxpar > kMaxSlots || ncols < 0 || maxcols < ncols ||
      maxcols > kMaxSlots || nrows < 0 || allrows < 0 || rowlen < 0 || allrowlen < 0 ||
      rowlen > kMaxRowChars || allrowlen > kMaxRowChars ||
      (tp->type == kColOrdered && nrows > allrows))
    corrupt_sizes();
  tp->npar = npar;
  tp->maxpar = maxpar;
  tp->nrows = nrows;
  tp->allrows = allrows;
  tp->ncols = ncols;
  tp->maxcols = maxcols;
  tp->rowlen = rowlen;
  tp->allrowlen = allrowlen;
  tp->version = w[9];
  tp->bod = tbtbod(maxpar, maxcols);
}

// Array length implied by a column's cell length and data type.
int tbalen(const Column* cp) {
  const int len = cp->length;
  switch (cp->dtype) {
    case kTyBool:
    case kTyInt:
    case kTyReal:
      return std::max(len / 2, 1);
    case kTyShort:
      return std::max(len, 1);
    case kTyDouble:
      return std::max(len / 4, 1);
    case kTyChar:
      return 1;
    default:
      if (cp->dtype < 0) return std::max(len / ((1 - cp->dtype) / 2), 1);
      return 1;
  }
}

// Reads column record colnum into cp.
void tbcrcd(Table* tp, Column* cp, int colnum) {
  if (tp->type == kTextTable || tp->type == kFitsTable) vos::error(1, "tbcrcd:  internal error");
  std::array<unsigned char, 2 * kColRecChars> rec{};
  vos::seek(tp->fd, 25 + 40L * tp->maxpar + 32L * (colnum - 1));
  long n = vos::read(tp->fd, rec.data(), kColRecChars);
  if (n < kColRecChars) vos::error(84, "tbcrcd:  EOF while reading column info for table");
  const int number = get_i32(rec.data()), offset = get_i32(rec.data() + 4);
  const int length = get_i32(rec.data() + 8), dtype = get_i32(rec.data() + 12);
  const bool known_type = dtype == kTyBool || dtype == kTyChar || dtype == kTyShort ||
                          dtype == kTyInt || dtype == kTyReal || dtype == kTyDouble ||
                          (dtype < 0 && dtype >= -kMaxTextWidth);
  const int limit = std::max(tp->allrowlen, tp->rowlen);
  if (!known_type || offset < 0 || length < 1 || offset > limit - length)
    vos::error(84, "tbcrcd:  bad column info for table; table corrupted?");
  cp->number = number;
  cp->offset = offset;
  cp->length = length;
  cp->dtype = dtype;
  cp->nelem = tbalen(cp);
  cp->stored_type = dtype;
  cp->scale = 1.0;
  cp->zero = 0.0;
  if (dtype == kTyChar) cp->dtype = -(2 * length);
  cp->name = field_text(rec.data() + 16, 20);
  cp->units = field_text(rec.data() + 36, 20);
  cp->format = "%" + field_text(rec.data() + 56, 8);
}

// Writes cp's column record into the table file (FITS through the back end;
// nothing for text tables).
void tbcwcd(Table* tp, Column* cp) {
  if (tp->type == kTextTable) return;
  if (tp->type == kFitsTable) {
    tbfwcd(tp, cp);
    return;
  }
  std::array<unsigned char, 2 * kColRecChars> rec{};
  put_i32(cp->number, rec.data());
  put_i32(cp->offset, rec.data() + 4);
  put_i32(cp->length, rec.data() + 8);
  put_i32(cp->dtype, rec.data() + 12);
  auto cut79 = [](const std::string& s) { return std::string_view(s).substr(0, kSzColText); };
  put_field(cut79(cp->name), rec.data() + 16, 20);
  put_field(cut79(cp->units), rec.data() + 36, 20);
  std::string_view fmt = cut79(cp->format);
  put_field(fmt.empty() ? fmt : fmt.substr(1), rec.data() + 56, 8);
  vos::seek(tp->fd, 25 + 40L * tp->maxpar + 32L * (cp->number - 1));
  vos::write(tp->fd, rec.data(), kColRecChars);
}

}  // namespace tbl
