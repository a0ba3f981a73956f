// Changing a column's type in memory while a table without column
// definitions is read.
#include <algorithm>
#include <string>

#include "text_read.h"
#include "vos/format.h"

using tbl::Column;
using tbl::Table;

namespace tbtext {
namespace {

// Makes the column a string column of `width` characters.
void become_text(Column* cp, int width) {
  cp->dtype = cp->stored_type = -width;
  cp->length = (width + 1) / 2;
}

std::string cut(std::string s, int width) {
  if (s.size() > static_cast<std::size_t>(width)) s.resize(static_cast<std::size_t>(width));
  return s;
}

}  // namespace

void tbzd2t(Table* tp, Column* cp, int width, int prec, char fmtchar) {
  width = std::clamp(width, 1, tbl::kMaxTextWidth);
  TextColumn& tc = cells(cp);
  std::string fmt = double_format(width, prec, fmtchar, true);
  std::vector<std::string> s(static_cast<std::size_t>(tp->allrows));
  for (int r = 0; r < tp->nrows && r < static_cast<int>(tc.d.size()); ++r)
    if (tc.d[r] != tbl::kIndefD) s[r] = cut(vos::sprintf(fmt, tc.d[r]), width);
  tc.d.clear();
  tc.d.shrink_to_fit();
  tc.s = std::move(s);
  become_text(cp, width);
}

void tbzi2t(Table* tp, Column* cp, int width) {
  width = std::clamp(width, 1, tbl::kMaxTextWidth);
  TextColumn& tc = cells(cp);
  std::vector<std::string> s(static_cast<std::size_t>(tp->allrows));
  for (int r = 0; r < tp->nrows && r < static_cast<int>(tc.i.size()); ++r)
    if (tc.i[r] != tbl::kIndefI) s[r] = cut(std::to_string(tc.i[r]), width);
  tc.i.clear();
  tc.i.shrink_to_fit();
  tc.s = std::move(s);
  become_text(cp, width);
}

void tbzt2t(Table* tp, Column* cp, int width) {
  (void)tp;
  if (width <= static_cast<int>(text_width(cp))) return;
  if (width > tbl::kMaxTextWidth)
    fail(1, "string is too long for a table; the maximum is 1022");
  become_text(cp, width);
}

void tbzi2d(Table* tp, Column* cp) {
  TextColumn& tc = cells(cp);
  std::vector<double> d(static_cast<std::size_t>(tp->allrows), tbl::kIndefD);
  for (int r = 0; r < tp->nrows && r < static_cast<int>(tc.i.size()); ++r)
    d[r] = tc.i[r] == tbl::kIndefI ? tbl::kIndefD : static_cast<double>(tc.i[r]);
  tc.i.clear();
  tc.i.shrink_to_fit();
  tc.d = std::move(d);
  cp->dtype = cp->stored_type = tbl::kTyDouble;
  cp->length = 4;
}

}  // namespace tbtext
