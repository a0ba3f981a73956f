// File layout of both orders: creation, null rows and blocks, growth,
// shifts, rewrites with new sizes and their failure safety.
#include <cstring>

#include "bin_fixture.h"

namespace bintest {
namespace {

using namespace tbl;

const std::vector<ColSpec> kEveryType = {
    {"flag", kTyBool}, {"count", kTyShort}, {"id", kTyInt},      {"ratio", kTyReal},
    {"wave", kTyDouble}, {"s5", -5},        {"s6", -6},
};

// Size record words 1..12 of a file image.
std::vector<int32_t> size_record(const std::vector<uint8_t>& b) {
  std::vector<int32_t> w;
  for (int i = 0; i < 12; ++i) w.push_back(be32(b, std::size_t(i) * 4));
  return w;
}

TEST_F(BinTable, NewRowOrderedTableHasOnlyTheHeaderArea) {
  Table* tp = make("row.tab", kRowOrdered, kEveryType);
  const int maxpar = tp->maxpar, maxcols = tp->maxcols;
  close(tp);
  auto b = file("row.tab");
  auto w = size_record(b);
  // 2+1+2+2+4+3+3 chars of columns, used and allocated: each column
  // defined grows the allocated row length to the used one.
  EXPECT_EQ(w, (std::vector<int32_t>{0, maxpar, 0, 0, 7, maxcols, 17, 17, 11, 3, 0, 0}));
  const long bod = 25 + 40L * maxpar + 32L * maxcols;
  EXPECT_EQ(b.size(), byte_of(bod));
  for (int n = 0; n < maxpar; ++n)
    EXPECT_EQ(std::string(b.begin() + 48 + 80 * n, b.begin() + 48 + 80 * (n + 1)), std::string(80, ' '));
  const std::size_t c0 = 48 + 80 * std::size_t(maxpar);
  const int offsets[] = {0, 2, 3, 5, 7, 11, 14}, lengths[] = {2, 1, 2, 2, 4, 3, 3};
  const int types[] = {1, 3, 4, 6, 7, -5, -6};
  for (int c = 0; c < 7; ++c) {
    std::size_t at = c0 + 64 * std::size_t(c);
    EXPECT_EQ(be32(b, at), c + 1);
    EXPECT_EQ(be32(b, at + 4), offsets[c]);
    EXPECT_EQ(be32(b, at + 8), lengths[c]);
    EXPECT_EQ(be32(b, at + 12), types[c]);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[c0 + 16])), "flag");
  for (int c = 7; c < maxcols; ++c) {  // free slots carry only their number
    std::size_t at = c0 + 64 * std::size_t(c);
    EXPECT_EQ(be32(b, at), c + 1);
    EXPECT_EQ(be32(b, at + 4), 0);
    EXPECT_EQ(be32(b, at + 12), 0);
  }
}

TEST_F(BinTable, BodyOffsetFollowsTheSlotCounts) {
  EXPECT_EQ(tbtbod(5, 5), 385);
  EXPECT_EQ(tbtbod(0, 0), 25);
}

TEST_F(BinTable, NewColumnOrderedTableHoldsNullBlocks) {
  Table* tp = make("col.tab", kColOrdered, kEveryType, 10);
  const int maxpar = tp->maxpar, maxcols = tp->maxcols;
  close(tp);
  auto b = file("col.tab");
  auto w = size_record(b);
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(w[3], 10);
  EXPECT_EQ(w[8], 12);
  const long bod = 25 + 40L * maxpar + 32L * maxcols;
  EXPECT_EQ(b.size(), byte_of(bod) + 2 * 10 * 17);
  std::size_t at = byte_of(bod);
  for (int r = 0; r < 10; ++r) EXPECT_EQ(be32(b, at + 4 * r), 0);  // bool
  at += 40;
  for (int r = 0; r < 10; ++r) EXPECT_EQ(be16(b, at + 2 * r), -32767);
  at += 20;
  for (int r = 0; r < 10; ++r) EXPECT_EQ(uint32_t(be32(b, at + 4 * r)), 0x80000001u);
  at += 40;
  for (int r = 0; r < 10; ++r) EXPECT_EQ(uint32_t(be32(b, at + 4 * r)), 0x7ef0bdc2u);
  at += 40;
  for (int r = 0; r < 10; ++r) EXPECT_EQ(be64(b, at + 8 * r), 0x47de17b84357691bull);
  at += 80;
  for (std::size_t k = at; k < b.size(); ++k) EXPECT_EQ(b[k], 0) << "string blocks are zero";
}

TEST_F(BinTable, ColumnOrderedAllocationDefaultsTo100) {
  Table* t2 = tbtopn(path("c0.tab"), kNewFile, nullptr);
  open_.push_back(t2);
  tbpset(t2, 5, kColOrdered);
  Column* cp = nullptr;
  tbcdef1(t2, cp, "x", "", "", kTyInt, 1);
  t2->allrows = 0;
  tbtcre(t2);
  EXPECT_EQ(t2->allrows, 100);
  close(t2);
  auto b = file("c0.tab");
  EXPECT_EQ(be32(b, 12), 100);
}

TEST_F(BinTable, RowOrderedAppendAndNullRows) {
  Table* tp = make("app.tab", kRowOrdered, kEveryType);
  tbxwer(tp, 3);  // three null rows; the count is the caller's
  EXPECT_EQ(tp->nrows, 0);
  tp->nrows = 3;
  tbxwer(tp, 2);  // existing rows: nothing
  Column* c3 = tp->cols[2].get();
  int v = 42;
  tbxcpi(tp, c3, &v, 2, 2);
  tbxnll(tp, 0, 10);  // clipped to rows 1..3
  int got = 0;
  bool nul = false;
  tbxcgi(tp, c3, &got, &nul, 2, 2);
  EXPECT_TRUE(nul);
  tp->modified = true;
  const long R = tp->allrowlen, bod = tp->bod;
  close(tp);
  auto b = file("app.tab");
  EXPECT_EQ(b.size(), byte_of(bod) + std::size_t(3 * R * 2));
  // Row r, column c lies at body + (r - 1) * R + offset: row 2 of "id" (offset 3)
  // was nulled again, row 1 of "count" (offset 2) holds the short null.
  EXPECT_EQ(uint32_t(be32(b, byte_of(bod + R + 3))), 0x80000001u);
  EXPECT_EQ(be16(b, byte_of(bod + 2)), -32767);
  EXPECT_EQ(be32(b, 12), 3) << "row-ordered files write the row count as allocated rows";
}

TEST_F(BinTable, RowOrderedShifts) {
  Table* tp = make("sft.tab", kRowOrdered, {{"n", kTyInt}});
  Column* cp = tp->cols[0].get();
  std::vector<int> vals = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  tbxwer(tp, 10);
  tp->nrows = 10;
  tbxcpi(tp, cp, vals.data(), 1, 10);
  tbxsft(tp, 3, -2);  // rows 5..10 move to 3..8
  EXPECT_EQ(tp->nrows, 8);
  std::vector<int> got(10);
  std::vector<char> nul(10);
  tbxcgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 8);
  EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 8), (std::vector<int>{1, 2, 5, 6, 7, 8, 9, 10}));
  tbxcgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 9, 10);  // nulled, past the count
  EXPECT_TRUE(nul[0] && nul[1]);
  tbxsft(tp, 7, -3);  // fewer than 3 rows from 7: rows 7, 8 nulled
  EXPECT_EQ(tp->nrows, 6);
  tbxsft(tp, 4, 2);   // rows 4..6 move down by 2
  EXPECT_EQ(tp->nrows, 8);
  tbxcgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 8);
  EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 8), (std::vector<int>{1, 2, 5, 6, 7, 6, 7, 8}));
  tbxsft(tp, 20, 2);  // past the last row: nothing
  EXPECT_EQ(tp->nrows, 8);
  tp->modified = true;
}

TEST_F(BinTable, ColumnOrderedGrowthRewritesWithNullTail) {
  Table* tp = make("grow.tab", kColOrdered, {{"a", kTyInt}, {"b", kTyDouble}}, 100);
  Column* a = tp->cols[0].get();
  Column* d = tp->cols[1].get();
  std::vector<int> iv(100);
  std::vector<double> dv(100);
  for (int k = 0; k < 100; ++k) { iv[k] = k + 1; dv[k] = 0.5 * k; }
  tp->nrows = 100;
  tbycpi(tp, a, iv.data(), 1, 100);
  tbycpd(tp, d, dv.data(), 1, 100);
  tbywer(tp, 101);
  EXPECT_EQ(tp->allrows, 221);
  tbywer(tp, 222);
  EXPECT_EQ(tp->allrows, 366);
  std::vector<int> got(366);
  std::vector<char> nul(366);
  tbycgi(tp, a, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 366);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(got[k], k + 1);
  for (int k = 100; k < 366; ++k) ASSERT_TRUE(nul[k]) << k;
  std::vector<double> gd(100);
  tbycgd(tp, d, gd.data(), reinterpret_cast<bool*>(nul.data()), 1, 100);
  EXPECT_EQ(gd, dv);
  tp->modified = true;
  const long bod = tp->bod;
  close(tp);
  auto b = file("grow.tab");
  EXPECT_EQ(be32(b, 12), 366);
  EXPECT_EQ(b.size(), byte_of(bod) + 2 * 366 * 6);
  // Row r of a column at offset o and length L lies at body + o * A + (r - 1) * L.
  EXPECT_EQ(be32(b, byte_of(bod + 0 * 366 + 4 * 2)), 5);
  EXPECT_EQ(be64(b, byte_of(bod + 2 * 366 + 4 * 4)), 0x4000000000000000ull);  // 2.0
  EXPECT_EQ(be64(b, byte_of(bod + 2 * 366 + 200 * 4)), 0x47de17b84357691bull);
  EXPECT_EQ(listing(), std::vector<std::string>{"grow.tab"}) << "no temporary file is left";
}

TEST_F(BinTable, ColumnOrderedShifts) {
  Table* tp = make("ysft.tab", kColOrdered, {{"n", kTyInt}, {"s", -8}}, 12);
  Column* cp = tp->cols[0].get();
  Column* sp = tp->cols[1].get();
  std::vector<int> vals = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  std::vector<std::string> txt = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
  tp->nrows = 10;
  tbycpi(tp, cp, vals.data(), 1, 10);
  tbycpt(tp, sp, txt.data(), 8, 1, 10);
  tbysft(tp, 2, 5);  // grows the allocation to 15 * 1.2 + 100 rows
  EXPECT_EQ(tp->allrows, 118);
  EXPECT_EQ(tp->nrows, 15);
  std::vector<int> got(15);
  std::vector<char> nul(15);
  tbycgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 15);
  EXPECT_EQ(got, (std::vector<int>{1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  std::vector<std::string> gt(15);
  tbycgt(tp, sp, gt.data(), reinterpret_cast<bool*>(nul.data()), 8, 7, 7);
  EXPECT_EQ(gt[0], "b");
  tbysft(tp, 13, -3);  // rows 13..15 are the last three: nulled
  EXPECT_EQ(tp->nrows, 12);
  tbysft(tp, 20, 2);   // past the rows: nothing but allocation
  EXPECT_EQ(tp->nrows, 12);
  tbysft(tp, 1, -4);
  EXPECT_EQ(tp->nrows, 8);
  tbycgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 12);
  EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 8), (std::vector<int>{5, 6, 2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(nul[8] && nul[11]);
  tp->modified = true;
}

TEST_F(BinTable, RewriteWithMoreSlotsKeepsRowsAndZeroesNewSlots) {
  Table* tp = make("re.tab", kRowOrdered, {{"n", kTyInt}, {"t", -6}});
  Column* cp = tp->cols[0].get();
  std::vector<int> vals = {7, 8, 9};
  tbxwer(tp, 3);
  tp->nrows = 3;
  tbxcpi(tp, cp, vals.data(), 1, 3);
  tbhadt(tp, "KEY", "value");
  const int oldmaxpar = tp->maxpar, oldmaxcols = tp->maxcols;
  tbtchs(tp, oldmaxpar + 3, oldmaxcols + 2, -1, -1);
  EXPECT_EQ(tp->bod, 25 + 40 * (oldmaxpar + 3) + 32 * (oldmaxcols + 2));
  std::vector<int> got(3);
  std::vector<char> nul(3);
  tbxcgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 3);
  EXPECT_EQ(got, vals);
  const int maxpar = tp->maxpar, maxcols = tp->maxcols;
  const long R = tp->allrowlen;
  close(tp);
  auto b = file("re.tab");
  EXPECT_EQ(be32(b, 4), maxpar);
  EXPECT_EQ(be32(b, 20), maxcols);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[48]), 3), "KEY");
  for (int n = 1; n < maxpar; ++n)
    EXPECT_EQ(std::string(b.begin() + 48 + 80 * n, b.begin() + 48 + 80 * (n + 1)), std::string(80, ' '));
  std::size_t c0 = 48 + 80 * std::size_t(maxpar);
  for (int c = 2; c < maxcols; ++c)
    for (int k = 0; k < 64; ++k) ASSERT_EQ(b[c0 + 64 * c + k], 0) << "slot " << c + 1;
  EXPECT_EQ(b.size(), byte_of(25 + 40L * maxpar + 32L * maxcols) + std::size_t(3 * R * 2));
  EXPECT_EQ(listing(), std::vector<std::string>{"re.tab"});
}

TEST_F(BinTable, LongerRowGetsAZeroFilledNullTail) {
  Table* tp = make("tail.tab", kRowOrdered, {{"n", kTyInt}});
  tbxwer(tp, 2);
  tp->nrows = 2;
  tbtchs(tp, -1, -1, tp->allrowlen + 10, -1);
  for (std::size_t k = std::size_t(tp->rowlen) * 2; k < tp->nullrow.size(); ++k)
    ASSERT_EQ(tp->nullrow[k], 0);
  const long R = tp->allrowlen, bod = tp->bod;
  close(tp);
  auto b = file("tail.tab");
  for (int r = 0; r < 2; ++r)
    for (long k = 2; k < R; ++k) ASSERT_EQ(b[byte_of(bod) + r * R * 2 + k * 2], 0);
}

// A resize that fails part-way ends the table's change: every later call,
// one that asks nothing of the file too, and the close raise the same
// failure, and the close leaves the file byte for byte as it was at the
// open, with no journal or other file beside it.  The write fails at the
// first transfer and further on, in the middle of moving the rows; or
// (fault -1) the file was cut short in its rows, so that the rewrite meets
// the file's end while it reads, a failure that is no write's.
TEST_F(BinTable, FailedRewriteLeavesTheOldFileUntouched) {
  for (int order : {kRowOrdered, kColOrdered}) {
    for (int fault : {0, 1, 3, -1}) {
      std::string name = "safe" + std::to_string(order) + "_" + std::to_string(fault) + ".tab";
      Table* tp = make(name, order, {{"n", kTyInt}, {"t", -10}}, 20);
      std::vector<int> vals(300);
      for (int i = 0; i < 300; ++i) vals[std::size_t(i)] = i + 1;
      if (order == kRowOrdered) tbxwer(tp, 300);
      tp->nrows = 300;
      if (order == kRowOrdered) tbxcpi(tp, tp->cols[0].get(), vals.data(), 1, 300);
      else tbycpi(tp, tp->cols[0].get(), vals.data(), 1, 300);
      tp->modified = true;
      close(tp);
      if (fault < 0) fs::resize_file(path(name), fs::file_size(path(name)) - 100);
      const auto before = file(name);
      const auto names_before = listing();
      tp = reopen(name);
      const int one = 7;
      if (order == kRowOrdered) tbxcpi(tp, tp->cols[0].get(), &one, 2, 2);
      else tbycpi(tp, tp->cols[0].get(), &one, 2, 2);
      if (fault >= 0) vos::fault::fail_write_after(fault);
      std::string failure;
      int code = 0;
      try {
        tbtchs(tp, tp->maxpar + 2, -1, -1, order == kColOrdered ? 600 : -1);
      } catch (const vos::Error& e) {
        failure = e.message();
        code = e.code();
      }
      vos::fault::clear();
      EXPECT_NE(failure, "") << name;
      // The failure stays: the next call and the close raise it again.
      auto raises_it_again = [&](const char* what, auto&& call) {
        try {
          call();
          ADD_FAILURE() << name << ": " << what << " after the failure succeeded";
        } catch (const vos::Error& e) {
          EXPECT_EQ(e.message(), failure) << name;
          EXPECT_EQ(e.code(), code) << name;
        }
      };
      raises_it_again("a call", [&] { tbtchs(tp, tp->maxpar + 3, -1, -1, -1); });
      raises_it_again("a call", [&] { (void)tbpsta(tp, 21); });  // asks nothing of the file
      raises_it_again("the close", [&] { close(tp); });
      EXPECT_EQ(file(name), before) << name;
      EXPECT_EQ(listing(), names_before) << name;
      if (fault < 0) fs::remove(path(name));  // the checker would refuse it
    }
  }
}

// A failing write stops a shift at once: no value of the table is lost, as
// it would be if later copies went on over rows not yet moved.
TEST_F(BinTable, FailedShiftLosesNoRow) {
  for (int order : {kRowOrdered, kColOrdered}) {
    int failures = 0;
    for (long after = 0; after < 8; ++after) {
      std::string name = "fs" + std::to_string(order) + "_" + std::to_string(after) + ".tab";
      Table* tp = make(name, order, {{"n", kTyInt}}, 20);
      Column* cp = tp->cols[0].get();
      std::vector<int> vals = {1, 2, 3, 4, 5, 6};
      if (order == kRowOrdered) tbxwer(tp, 6);
      tp->nrows = 6;
      if (order == kRowOrdered) tbxcpi(tp, cp, vals.data(), 1, 6);
      else tbycpi(tp, cp, vals.data(), 1, 6);
      vos::fault::fail_write_after(after);
      bool failed = false;
      try {
        order == kRowOrdered ? tbxsft(tp, 1, 2) : tbysft(tp, 1, 2);
      } catch (const vos::Error&) {
        failed = true;
        ++failures;
      }
      vos::fault::clear();
      // Row-ordered rows exist up to the count; column-ordered ones up to
      // the allocation.
      const int rows = order == kRowOrdered ? tp->nrows : 8;
      std::vector<int> got(static_cast<std::size_t>(rows), 0);
      std::vector<char> nul(static_cast<std::size_t>(rows), 0);
      if (order == kRowOrdered) tbxcgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, rows);
      else tbycgi(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, rows);
      for (int v : vals)
        EXPECT_NE(std::find(got.begin(), got.end(), v), got.end())
            << name << (failed ? " (failed)" : "") << " lost " << v;
      tp->nrows = std::min(tp->nrows, rows);
      tp->modified = true;
      if (failed) {
        EXPECT_THROW(close(tp), vos::Error) << name << ": the close raises the failure again";
      } else {
        close(tp);
      }
    }
    EXPECT_GT(failures, 0) << "the injected faults reach the shift";
  }
}

// A creation that fails half-way leaves no partial file.
TEST_F(BinTable, FailedCreationLeavesNoFile) {
  for (int order : {kRowOrdered, kColOrdered}) {
    Table* tp = tbtopn(path("half.tab"), kNewFile, nullptr);
    open_.push_back(tp);
    if (order == kColOrdered) tbpset(tp, 5, kColOrdered);
    Column* cp = nullptr;
    tbcdef1(tp, cp, "n", "", "", kTyInt, 1);
    vos::fault::fail_write_after(3);
    EXPECT_THROW(tbtcre(tp), vos::Error);
    vos::fault::clear();
    EXPECT_TRUE(listing().empty()) << order;
    close(tp);
  }
}

TEST_F(BinTable, NewColumnsOfATableWithRowsAreNull) {
  for (int order : {kRowOrdered, kColOrdered}) {
    std::string name = "nc" + std::to_string(order) + ".tab";
    Table* tp = make(name, order, {{"n", kTyInt}}, 10);
    if (order == kRowOrdered) tbxwer(tp, 3);
    tp->nrows = 3;
    tp->modified = true;
    Column* cp = nullptr;
    tbcdef1(tp, cp, "d", "", "", kTyDouble, 1);
    Column* cs = nullptr;
    tbcdef1(tp, cs, "s", "", "", -7, 1);
    std::vector<double> got(3);
    std::vector<char> nul(3);
    if (order == kRowOrdered) tbxcgd(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 3);
    else tbycgd(tp, cp, got.data(), reinterpret_cast<bool*>(nul.data()), 1, 3);
    EXPECT_TRUE(nul[0] && nul[1] && nul[2]) << name;
    EXPECT_EQ(got[2], 1.6e308);
    close(tp);
  }
}

// Operations over every column use the table's columns, not a column
// selector's view of them.
TEST_F(BinTable, WholeRowOperationsIgnoreAColumnSelector) {
  Table* tp = make("sel.tab", kColOrdered, {{"a", kTyInt}, {"b", kTyInt}}, 10);
  std::vector<int> v = {5, 6};
  tp->nrows = 2;
  for (auto& c : tp->cols) tbycpi(tp, c.get(), v.data(), 1, 2);
  tp->colsel = true;  // as if only column "a" were selected
  tp->nselcols = 1;
  tbynll(tp, 1, 1);
  tbywer(tp, 50);  // a rewrite with longer blocks under the selector
  tbysft(tp, 2, -1);
  tp->colsel = false;
  tp->nselcols = 0;
  int got[2] = {};
  bool nul[2] = {};
  tbycgi(tp, tp->cols[1].get(), got, nul, 1, 2);
  EXPECT_TRUE(nul[0]) << "column b is nulled too";
  EXPECT_TRUE(nul[1]) << "column b is shifted too";
  EXPECT_EQ(tp->nrows, 1);
  tp->nrows = 2;
  std::vector<int> w = {8, 9};
  tbycpi(tp, tp->cols[1].get(), w.data(), 1, 2);
  tp->colsel = true;
  tbywer(tp, 200);
  tp->colsel = false;
  tbycgi(tp, tp->cols[1].get(), got, nul, 1, 2);
  EXPECT_EQ(got[1], 9) << "column b survives the rewrite";
  tp->modified = true;
}

TEST_F(BinTable, CheckerRejectsAnUnknownOrderWord) {
  Table* tp = make("bad.tab", kRowOrdered, {{"n", kTyInt}});
  close(tp);
  EXPECT_EQ(run_checker(path("bad.tab")), 0);
  auto b = file("bad.tab");
  b[35] = 13;  // order word (bytes 32..35) := 13
  std::string other = dir_ + "/patched.bin";
  std::ofstream(other, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
#ifdef QUOREL_PYTHON
  EXPECT_NE(run_checker(other), 0);
#endif
}

}  // namespace
}  // namespace bintest
