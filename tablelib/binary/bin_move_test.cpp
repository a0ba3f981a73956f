// Rows moved in blocks by deletion (tbrdel) and insertion (tbrsft) in both
// binary orders.  Each case is checked against a model of the rows, computed
// here, and against the file's own bytes: the size record, the column slots
// and every cell are decoded straight from the file, never through a table
// routine.  The fixture's independent checker then looks at the rows past
// the row count.
#include <cstring>

#include "bin_fixture.h"

namespace bintest {
namespace {

using namespace tbl;

// Four columns: int, double, short and a 32-character text (16 chars).
const std::vector<ColSpec> kCols = {{"i", kTyInt}, {"d", kTyDouble}, {"s", kTyShort}, {"t", -32}};

// The cell values of original row `id` (1-based).
int int_of(int id) { return id; }
double double_of(int id) { return id + 0.25; }
short short_of(int id) { return short(id % 30000 + 1); }
std::string text_of(int id) { return "row" + std::to_string(id); }

// Writes rows 1..n with the values of ids 1..n.
void fill(Table* tp, int n) {
  std::vector<int> iv(static_cast<std::size_t>(n), 0);
  std::vector<double> dv(iv.size());
  std::vector<short> sv(iv.size());
  std::vector<std::string> tv(iv.size());
  for (int k = 1; k <= n; ++k) {
    iv[k - 1] = int_of(k);
    dv[k - 1] = double_of(k);
    sv[k - 1] = short_of(k);
    tv[k - 1] = text_of(k);
  }
  tbcpti(tp, tp->cols[0].get(), iv.data(), 1, n);
  tbcptd(tp, tp->cols[1].get(), dv.data(), 1, n);
  tbcpts(tp, tp->cols[2].get(), sv.data(), 1, n);
  tbcptt(tp, tp->cols[3].get(), tv.data(), 32, 1, n);
}

// The ids the rows hold after the operation (0: a null row).  `shift` < 0
// deletes -shift rows from `first`; > 0 inserts `shift` rows before it, the
// rows in the way keeping their old contents.
std::vector<int> expected(int n, int first, int shift) {
  std::vector<int> ids(static_cast<std::size_t>(n));
  for (int k = 1; k <= n; ++k) ids[std::size_t(k - 1)] = k;
  if (first > n) return ids;
  if (shift < 0) {
    const int last = std::min(n, first - shift - 1);
    ids.erase(ids.begin() + (first - 1), ids.begin() + last);
    return ids;
  }
  std::vector<int> out(std::size_t(n + shift), 0);
  for (int r = 1; r <= n + shift; ++r) {
    int id = 0;
    if (r < first + shift) id = r <= n ? r : 0;  // before the moved rows
    else id = r - shift;                          // a moved row
    out[std::size_t(r - 1)] = id;
  }
  return out;
}

// The table read from the bytes of its file: rows of (int, double bits,
// short, text) per row in use.
struct Decoded {
  int nrows = 0;
  std::vector<int32_t> i;
  std::vector<uint64_t> d;
  std::vector<int16_t> s;
  std::vector<std::string> t;
};

Decoded decode(const std::vector<uint8_t>& b) {
  Decoded out;
  const int maxpar = be32(b, 4), order = be32(b, 32);
  out.nrows = be32(b, 8);
  const long allrows = be32(b, 12), maxcols = be32(b, 20), allrowlen = be32(b, 28);
  const long bod = 25 + 40L * maxpar + 32L * maxcols;
  long offset[4], length[4];
  for (int c = 0; c < 4; ++c) {
    const std::size_t slot = 48 + 80 * std::size_t(maxpar) + 64 * std::size_t(c);
    offset[c] = be32(b, slot + 4);
    length[c] = be32(b, slot + 8);
  }
  // Byte of row r's cell in column c, by the file's own layout.
  auto at = [&](int c, long r) {
    const long pos = order == kRowOrdered ? bod + (r - 1) * allrowlen + offset[c]
                                          : bod + offset[c] * allrows + (r - 1) * length[c];
    return byte_of(pos);
  };
  for (long r = 1; r <= out.nrows; ++r) {
    out.i.push_back(be32(b, at(0, r)));
    out.d.push_back(be64(b, at(1, r)));
    out.s.push_back(be16(b, at(2, r)));
    const std::size_t t0 = at(3, r);
    std::string text(reinterpret_cast<const char*>(&b.at(t0)), std::size_t(length[3]) * 2);
    out.t.push_back(text.substr(0, text.find('\0')));
  }
  return out;
}

uint64_t bits_of(double v) {
  uint64_t u = 0;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// Compares the decoded file with the ids (0: every cell null).
void expect_rows(const Decoded& got, const std::vector<int>& ids) {
  ASSERT_EQ(got.nrows, int(ids.size()));
  for (std::size_t r = 0; r < ids.size(); ++r) {
    const int id = ids[r];
    SCOPED_TRACE("row " + std::to_string(r + 1) + ", id " + std::to_string(id));
    if (id == 0) {
      ASSERT_EQ(uint32_t(got.i[r]), 0x80000001u);
      ASSERT_EQ(got.d[r], 0x47de17b84357691bull);
      ASSERT_EQ(got.s[r], -32767);
      ASSERT_EQ(got.t[r], "");
    } else {
      ASSERT_EQ(got.i[r], int_of(id));
      ASSERT_EQ(got.d[r], bits_of(double_of(id)));
      ASSERT_EQ(got.s[r], short_of(id));
      ASSERT_EQ(got.t[r], text_of(id));
    }
  }
}

// One move: on a table of `nrows` rows, shift < 0 deletes (tbrdel) -shift
// rows from `first`, shift > 0 inserts (tbrsft) `shift` rows there.
struct MoveCase {
  const char* what;
  int nrows, first, shift;
};

// 40000 rows of 23 chars (and a text block of 16 chars a row) make every
// large move more than one block of the move buffer.
const MoveCase kMoves[] = {
    {"delete 10 rows at the start: overlapping runs", 40000, 1, -10},
    {"delete the first half", 40000, 1, -20000},
    {"delete 3 rows in the middle", 40000, 17001, -3},
    {"insert 7 rows at the start: overlapping runs backwards", 40000, 1, 7},
    {"insert more rows than follow", 40000, 30001, 25000},
    {"delete the first row", 9, 1, -1},
    {"delete the last row", 9, 9, -1},
    {"delete past the end", 9, 3, -20},
    {"insert before the last row", 9, 9, 1},
    {"insert with a gap past the old end", 9, 8, 5},
    {"insert past the end: nothing", 9, 10, 2},
};

TEST_F(BinTable, BlockMovesOfRowsMatchTheModelInBothOrders) {
  int seq = 0;
  for (const MoveCase& m : kMoves)
    for (int order : {kRowOrdered, kColOrdered}) {
      SCOPED_TRACE(std::string(m.what) + (order == kRowOrdered ? ", row-ordered" : ", column-ordered"));
      const std::string name = "m" + std::to_string(++seq) + ".tab";
      // A column-ordered table starts with exactly its rows allocated, so an
      // insertion grows the allocation.
      Table* tp = make(name, order, kCols, m.nrows);
      fill(tp, m.nrows);
      if (m.shift < 0) tbrdel(tp, m.first, m.first - m.shift - 1);
      else tbrsft(tp, m.first, m.shift);
      close(tp);
      expect_rows(decode(file(name)), expected(m.nrows, m.first, m.shift));
    }
}

// A column selector leaves every column to the row moves: the columns not
// selected move with the rows.
TEST_F(BinTable, RowMovesUnderAColumnSelectorMoveEveryColumn) {
  for (int order : {kRowOrdered, kColOrdered}) {
    SCOPED_TRACE(order);
    const std::string name = order == kRowOrdered ? "sel11.tab" : "sel12.tab";
    Table* tp = make(name, order, kCols, 6);
    fill(tp, 6);
    close(tp);
    Table* sel = tbtopn(path(name) + "[c:i]", kReadWrite, nullptr);
    open_.push_back(sel);
    tbrdel(sel, 2, 3);  // rows 1, 4, 5, 6
    tbrsft(sel, 2, 1);  // rows 1, 4, 4, 5, 6
    close(sel);
    expect_rows(decode(file(name)), {1, 4, 4, 5, 6});
  }
}

// Shifting from a row below 1 is refused before anything moves.
TEST_F(BinTable, ShiftFromRowZeroIsRefused) {
  for (int order : {kRowOrdered, kColOrdered}) {
    const std::string name = order == kRowOrdered ? "z11.tab" : "z12.tab";
    Table* tp = make(name, order, kCols, 4);
    fill(tp, 4);
    EXPECT_THROW(tbrsft(tp, 0, -1), vos::Error);
    EXPECT_THROW(tbrsft(tp, 0, 2), vos::Error);
    close(tp);
    expect_rows(decode(file(name)), {1, 2, 3, 4});
  }
}

}  // namespace
}  // namespace bintest
