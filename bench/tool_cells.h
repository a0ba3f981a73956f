// The cells of the tool's output table that the table benchmarks write and
// read: 10^5 rows of four text columns of 26, 18, 50 and 68 characters,
// made once, column by column, and cut to the column widths as the tool
// does.
#pragma once

#include <string>
#include <vector>

namespace bench {

constexpr int kRows = 100000;
constexpr int kCols = 4;
inline const char* const kNames[kCols] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
inline constexpr int kWidths[kCols] = {26, 18, 50, 68};

struct Cells {
  std::vector<std::string> text[kCols];
  std::vector<const char*> ptr[kCols];
  Cells() {
    for (int c = 0; c < kCols; ++c) {
      text[c].reserve(kRows);
      for (int r = 1; r <= kRows; ++r) {
        std::string s;
        switch (c) {
          case 0: s = "Mar  3 1999 14:20:" + std::to_string(10 + r % 50) + ":000PM"; break;
          case 1: s = "zor_comp_" + std::to_string(r); break;
          case 2: s = "crcomp$zor_" + std::to_string(r) + "_thru.fits[throughput]"; break;
          default: s = "throughput of component " + std::to_string(r) + " after recalibration"; break;
        }
        if (s.size() > std::size_t(kWidths[c])) s.resize(std::size_t(kWidths[c]));
        text[c].push_back(std::move(s));
      }
      for (const std::string& s : text[c]) ptr[c].push_back(s.c_str());
    }
  }
};

inline const Cells& cells() {
  static const Cells k;
  return k;
}

// Room for whole columns read back: each column's kRows values of its
// width, as the char* arrays the column getters fill, and a null flag a row.
struct ColumnBuffers {
  std::vector<char> col[kCols];
  std::vector<char*> colptr[kCols];
  std::vector<int> nulls;
  ColumnBuffers() : nulls(kRows) {
    for (int c = 0; c < kCols; ++c) {
      const std::size_t w = std::size_t(kWidths[c]) + 1;
      col[c].resize(w * kRows);
      for (int r = 0; r < kRows; ++r) colptr[c].push_back(col[c].data() + w * std::size_t(r));
    }
  }
  // True when every column holds the cells.
  bool same() const {
    const Cells& k = cells();
    for (int c = 0; c < kCols; ++c)
      for (int r = 0; r < kRows; ++r)
        if (k.text[c][std::size_t(r)] != colptr[c][std::size_t(r)]) return false;
    return true;
  }
};

}  // namespace bench
