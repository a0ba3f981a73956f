// Column ranges of FITS text columns: a range is served in groups of rows,
// and must give the values, null flags and file bytes that the cells give
// one by one.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"

using namespace fitstest;
using tbl::Column;
using tbl::Table;

namespace {

// More rows than one group call covers, so that groups meet inside a range.
constexpr int kRows = 2 * 8192 + 7;

// Texts a cell may be given: blanks, undefined words, too long for the
// column (10 characters), cut by an embedded NUL, and bytes above 127.
const std::vector<std::string> kTexts = {"hello",       "",           "   ",
                                         "INDEF",       "indef",      "INDEFINITE",
                                         "  lead",      "tail   ",    "exactly10c",
                                         "much too long for it",      std::string("a\0b", 3),
                                         "caf\xc3\xa9"};

std::string text_of(int row) { return kTexts[static_cast<std::size_t>(row) % kTexts.size()]; }

// A new table of a 10-character string column S, a column A of two
// 4-character strings per row (not served by group calls) and an int N.
struct Tables {
  Table* tp = nullptr;
  Column *s = nullptr, *a = nullptr, *n = nullptr;
  explicit Tables(const std::string& path) {
    tp = tbl::tbtopn(path, tbl::kNewFile, nullptr);
    tbl::tbcdef1(tp, s, "S", "", "", -10, 1);
    tbl::tbcdef1(tp, a, "A", "", "", -4, 2);
    tbl::tbcdef1(tp, n, "N", "", "", tbl::kTyInt, 1);
    tbl::tbtcre(tp);
  }
};

}  // namespace

TEST(FitsRange, TextPutsWriteTheBytesOfCellPuts) {
  TempFile file("put");  // one name for both: the header holds it
  for (int maxch : {10, 4, 0}) {
    std::vector<std::string> texts(kRows);
    std::vector<int> numbers(kRows);
    for (int r = 0; r < kRows; ++r) {
      texts[r] = text_of(r);
      numbers[r] = r + 1;
    }
    std::remove(file.path.c_str());
    Tables x(file.path);
    tbl::tbcptt(x.tp, x.s, texts.data(), maxch, 1, kRows);
    tbl::tbcptt(x.tp, x.a, texts.data() + 1, maxch, 2, kRows);
    tbl::tbcpti(x.tp, x.n, numbers.data(), 1, kRows);
    tbl::tbtclo(x.tp);
    const std::string bytes = slurp(file.path);
    std::remove(file.path.c_str());
    Tables y(file.path);
    for (int r = 1; r <= kRows; ++r) {
      const std::string cut = texts[r - 1].substr(0, static_cast<std::size_t>(maxch));
      tbl::tbeptt(y.tp, y.s, r, cut);
      if (r > 1) tbl::tbeptt(y.tp, y.a, r, texts[r - 1].substr(0, static_cast<std::size_t>(maxch)));
      tbl::tbepti(y.tp, y.n, r, r);
    }
    tbl::tbtclo(y.tp);
    EXPECT_GT(bytes.size(), static_cast<std::size_t>(kRows) * 22) << "maxch " << maxch;
    EXPECT_TRUE(bytes == slurp(file.path)) << "maxch " << maxch;
  }
}

TEST(FitsRange, TextGetsGiveTheCellsAndTheirNullFlags) {
  TempFile file("range_get");
  {
    Tables x(file.path);
    for (int r = 1; r <= kRows; ++r) {
      tbl::tbeptt(x.tp, x.s, r, text_of(r));
      tbl::tbepti(x.tp, x.n, r, r);
    }
    tbl::tbtclo(x.tp);
  }
  Table* tp = tbl::tbtopn(file.path, tbl::kReadOnly, nullptr);
  Column* s = tbl::tbcnum(tp, 1);
  Column* a = tbl::tbcnum(tp, 2);
  for (Column* cp : {s, a}) {
    for (int maxch : {20, 7, 5, 0}) {
      // A range over the group boundaries, not starting at row 1.
      const int first = 3, last = kRows - 1, count = last - first + 1;
      // Into strings, and into buffers of maxch + 1 bytes.
      std::vector<std::string> got(count, "stale");
      std::unique_ptr<bool[]> nulls(new bool[count]), bnulls(new bool[count]);
      tbl::tbcgtt(tp, cp, got.data(), nulls.get(), maxch, first, last);
      std::vector<char> store(static_cast<std::size_t>(count) * (maxch + 1), 'x');
      std::vector<char*> bufs(count);
      for (int k = 0; k < count; ++k) bufs[k] = store.data() + static_cast<std::size_t>(k) * (maxch + 1);
      tbl::tbcgtt(tp, cp, bufs.data(), bnulls.get(), maxch, first, last);
      int wrong = 0;
      for (int k = 0; k < count && wrong < 5; ++k) {
        std::string want;
        bool null = false;
        tbl::tbfagt(tp, cp, first + k, &want, maxch, 1, 1, &null);
        if (got[k] != want || nulls[k] != null || bufs[k] != want || bnulls[k] != null) {
          ++wrong;
          ADD_FAILURE() << "column " << cp->name << " maxch " << maxch << " row " << first + k
                        << ": got \"" << got[k] << "\" null " << nulls[k] << ", in a buffer \""
                        << bufs[k] << "\" null " << bnulls[k] << ", the cell gives \"" << want
                        << "\" null " << null;
        }
      }
    }
  }
  std::string t;
  tbl::tbegtt(tp, s, 3, t, 20);  // row 3 holds INDEF: the cell get agrees on the flag
  EXPECT_EQ(t, "INDEF");
  tbl::tbtclo(tp);

  // Through a row selection the selected rows are read one by one.
  tp = tbl::tbtopn(file.path + "[1][row:N = 8190:8195]", tbl::kReadOnly, nullptr);
  std::vector<std::string> got(6);
  bool nulls[6];
  tbl::tbcgtt(tp, tbl::tbcnum(tp, 1), got.data(), nulls, 20, 1, 6);
  for (int k = 0; k < 6; ++k) {
    std::string want;
    bool null = false;
    tbl::tbfagt(tp, tbl::tbcnum(tp, 1), 8190 + k, &want, 20, 1, 1, &null);
    EXPECT_EQ(got[k], want) << k;
    EXPECT_EQ(nulls[k], null) << k;
  }
  tbl::tbtclo(tp);
}
