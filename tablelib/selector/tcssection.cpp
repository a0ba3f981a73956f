// Column selector entries: one selected column with its array section.
//
// A section is "(" axis {"," axis} ")", one axis per axis of the column;
// an axis is first[:last[:step]], where "*" as first is the whole axis and
// "*" or nothing as last runs to the end of the axis.  A single number
// selects one element.  Every element named must lie inside the axis.
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "tablelib/tbcore.h"
#include "tablelib/tbselector.h"
#include "tcsintern.h"
#include "vos/error.h"
#include "vos/scan.h"

namespace tbl {

namespace {

constexpr int kMaxAxes = 7;

[[noreturn]] void bad_section() { vos::error(1, "Syntax error in array section"); }

// A whole decimal number, or a syntax error.
int whole_number(std::string_view field) {
  std::size_t ip = 0;
  int v = 0;
  if (field.empty() || vos::ctoi(field, ip, v) == 0 || ip != field.size()) bad_section();
  return v;
}

// Reads one axis of section from pos (just after "(" or ","), through the
// "," or ")" that ends it; len is the axis length.
void tcsget(std::string_view section, std::size_t& pos, int len, int& first, int& last,
            int& step) {
  std::string_view fields[3];
  int nfields = 0;
  while (true) {
    const std::size_t end = section.find_first_of("(),:", pos);
    if (end == std::string_view::npos || section[end] == '(') bad_section();
    if (nfields == 3) bad_section();  // a fourth number
    fields[nfields++] = section.substr(pos, end - pos);
    pos = end + 1;
    if (section[end] != ':') break;
  }
  first = 1;
  last = 1;
  step = 1;
  bool to_end = false;
  if (fields[0] == "*") {
    to_end = true;
  } else if (!fields[0].empty()) {
    first = whole_number(fields[0]);
  }
  if (nfields >= 2) {
    if (fields[1].empty() || fields[1] == "*")
      to_end = true;
    else
      last = whole_number(fields[1]);
  }
  if (nfields == 3 && !fields[2].empty()) step = whole_number(fields[2]);
  if (to_end)
    last = len;
  else if (nfields == 1)
    last = first;
  if (first < 1 || step < 1 || last < first || last > len) bad_section();
}

}  // namespace

// Makes the entry of one column; section is "" or "(...)" without blanks.
ColumnSelector* tcsfit(Table* tp, Column* cp, std::string_view section) {
  int axlen[kMaxAxes] = {};
  int d = 0;
  tbciga(tp, cp, d, axlen, kMaxAxes);
  d = std::clamp(d, 0, kMaxAxes);
  auto cs = std::make_unique<ColumnSelector>();
  cs->column = cp;
  cs->axes.assign(3 * static_cast<std::size_t>(d), 1);
  for (int k = 0; k < d; ++k) cs->axes[3 * k + 1] = std::max(axlen[k], 1);
  if (!section.empty()) {
    std::size_t pos = 1;  // after "("
    for (int k = 0; k < d; ++k) {
      if (pos >= section.size())
        vos::error(1, "Dimension of section does not match column");
      tcsget(section, pos, std::max(axlen[k], 1), cs->axes[3 * k], cs->axes[3 * k + 1],
             cs->axes[3 * k + 2]);
      const bool more = section[pos - 1] == ',';
      if (more != (k + 1 < d)) vos::error(1, "Dimension of section does not match column");
    }
    if (d == 0 || pos != section.size())
      vos::error(1, "Dimension of section does not match column");
  }
  int nd = d;
  while (nd > 0 && axlen[nd - 1] < 2) --nd;
  cs->ndim = nd;
  return cs.release();
}

// Appends a whole column.
void tcsaddcol(Table* tp, Column* cp, ColumnSelector** list, int& count, int cap) {
  if (count >= cap) vos::error(1, "Overflow in descriptor array");
  list[count] = tcsfit(tp, cp, "");
  ++count;
}

// Frees the entries of a list.
void tcsclose(ColumnSelector** list, int count) {
  for (int k = 0; k < count; ++k) {
    delete list[k];
    list[k] = nullptr;
  }
}

// Column of an entry.
Column* tcscolumn(ColumnSelector* cs) { return cs == nullptr ? nullptr : cs->column; }

}  // namespace tbl
