// Column ranges: one column over a range of rows, read or written in one
// call.  The caller's rows are translated through the row selection; the
// binary and text back ends take the whole range, FITS tables are served
// element by element, or, for the text members, by a range of the FITS
// back end where the column allows one.
//
// With a row selector the selected rows need not be consecutive table rows,
// so the range is then handed over one row at a time: the caller's arrays
// (last - first + 1 entries) are never overrun.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"

namespace tbl {

namespace {

[[noreturn]] void bad_type(const char* who) {
  vos::error(81, std::string(who) + ":  table type is messed up");
}

// No FITS range for a member: the cells are served one by one.
constexpr auto kNoFitsRange = [](int, int, int) { return false; };

// The get of one member.  `arm(first, last, at)` reads underlying rows
// first..last into the arrays from index `at`; `fits(row, at)` reads one
// FITS cell; `fits_range(first, last, at)` reads FITS rows first..last and
// returns true, or returns false having done nothing.
template <class Arm, class Fits, class FitsRange = decltype(kNoFitsRange)>
void get_range(Table* tp, Column* cp, int first, int last, const char* who, Arm arm, Fits fits,
               FitsRange fits_range = kNoFitsRange) {
  need_table(tp, who);
  need_column(cp, who);
  int f = 0, l = 0;
  tbsirow(tp, first, f);
  tbsirow(tp, last, l);
  if (tp->type != kRowOrdered && tp->type != kColOrdered && tp->type != kTextTable &&
      tp->type != kFitsTable)
    bad_type(who);
  if (f > l && !tp->rowsel) return;
  for (int sel = first; sel <= last; ++sel) {
    // Without a selector one pass covers the range (rows f..l).
    int r0 = f, r1 = l;
    if (tp->rowsel) {
      tbsirow(tp, sel, r0);
      r1 = r0;
    }
    const int at = sel - first;
    if (tp->type == kFitsTable) {
      if (tp->rowsel || !fits_range(r0, r1, at))
        for (int r = r0; r <= r1; ++r) fits(r, at + (r - r0));
    } else {
      arm(r0, r1, at);
    }
    if (!tp->rowsel) return;
  }
}

// The put of one member (the functions as for the get).
template <class Arm, class Fits, class FitsRange = decltype(kNoFitsRange)>
void put_range(Table* tp, Column* cp, int first, int last, const char* who, Arm arm, Fits fits,
               FitsRange fits_range = kNoFitsRange) {
  need_table(tp, who);
  need_column(cp, who);
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
  if (last < first) vos::error(1, std::string(who) + ":  lastrow is less than firstrow");
  if (tp->type != kRowOrdered && tp->type != kColOrdered && tp->type != kTextTable &&
      tp->type != kFitsTable)
    bad_type(who);
  int f = 0, l = 0;
  tbswer(tp, last, l);
  tbswer(tp, first, f);
  for (int sel = first; sel <= last; ++sel) {
    int r0 = f, r1 = l;
    if (tp->rowsel) {
      tbswer(tp, sel, r0);
      r1 = r0;
    }
    const int at = sel - first;
    if (tp->type == kFitsTable) {
      if (tp->rowsel || !fits_range(r0, r1, at))
        for (int r = r0; r <= r1; ++r) fits(r, at + (r - r0));
    } else {
      arm(r0, r1, at);
    }
    if (!tp->rowsel) break;
  }
  tp->modified = true;
}

// Calls the back end of the table's storage type.
#define TB_RANGE_ARM(x, y, z, ...)                         \
  switch (tp->type) {                                      \
    case kRowOrdered: x(__VA_ARGS__); break;               \
    case kColOrdered: y(__VA_ARGS__); break;               \
    default: z(__VA_ARGS__); break;                        \
  }

}  // namespace

// ---- gets ----------------------------------------------------------------------

void tbcgtd(Table* tp, Column* cp, double* vals, bool* nulls, int first, int last) {
  get_range(
      tp, cp, first, last, "tbcgtd",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcgd, tbycgd, tbzcgd, tp, cp, vals + at, nulls + at, f, l) },
      [&](int r, int at) {
        tbfagd(tp, cp, r, vals + at, 1, 1);
        nulls[at] = vals[at] == kIndefD;
      });
}

void tbcgtr(Table* tp, Column* cp, float* vals, bool* nulls, int first, int last) {
  get_range(
      tp, cp, first, last, "tbcgtr",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcgr, tbycgr, tbzcgr, tp, cp, vals + at, nulls + at, f, l) },
      [&](int r, int at) {
        tbfagr(tp, cp, r, vals + at, 1, 1);
        nulls[at] = vals[at] == kIndefR;
      });
}

void tbcgti(Table* tp, Column* cp, int* vals, bool* nulls, int first, int last) {
  get_range(
      tp, cp, first, last, "tbcgti",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcgi, tbycgi, tbzcgi, tp, cp, vals + at, nulls + at, f, l) },
      [&](int r, int at) {
        tbfagi(tp, cp, r, vals + at, 1, 1);
        nulls[at] = vals[at] == kIndefI;
      });
}

void tbcgts(Table* tp, Column* cp, short* vals, bool* nulls, int first, int last) {
  get_range(
      tp, cp, first, last, "tbcgts",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcgs, tbycgs, tbzcgs, tp, cp, vals + at, nulls + at, f, l) },
      [&](int r, int at) {
        tbfags(tp, cp, r, vals + at, 1, 1);
        nulls[at] = vals[at] == kIndefS;
      });
}

// FITS bools are read as ints: the undefined int is false and null, any
// other value is true only when it is 1.
void tbcgtb(Table* tp, Column* cp, bool* vals, bool* nulls, int first, int last) {
  get_range(
      tp, cp, first, last, "tbcgtb",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcgb, tbycgb, tbzcgb, tp, cp, vals + at, nulls + at, f, l) },
      [&](int r, int at) {
        int v = 0;
        tbfagi(tp, cp, r, &v, 1, 1);
        nulls[at] = v == kIndefI;
        vals[at] = !nulls[at] && v == 1;
      });
}

void tbcgtt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first,
            int last) {
  get_range(
      tp, cp, first, last, "tbcgtt",
      [&](int f, int l, int at) {
        TB_RANGE_ARM(tbxcgt, tbycgt, tbzcgt, tp, cp, vals + at, nulls + at, maxch, f, l)
      },
      [&](int r, int at) { tbfagt(tp, cp, r, vals + at, maxch, 1, 1, nulls + at); },
      [&](int f, int l, int at) { return tbfcgt(tp, cp, vals + at, nulls + at, maxch, f, l); });
}

void tbcgtt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last) {
  std::string text;
  get_range(
      tp, cp, first, last, "tbcgtt",
      [&](int f, int l, int at) {
        switch (tp->type) {
          case kRowOrdered: tbxcgt(tp, cp, vals + at, nulls + at, maxch, f, l); break;
          case kColOrdered: tbycgt(tp, cp, vals + at, nulls + at, maxch, f, l); break;
          default:  // text tables go through strings, row by row
            for (int r = f; r <= l; ++r) {
              text.clear();
              tbzcgt(tp, cp, &text, nulls + at + (r - f), maxch, r, r);
              copy_text(vals[at + (r - f)], text, maxch);
            }
            break;
        }
      },
      [&](int r, int at) {
        text.clear();
        tbfagt(tp, cp, r, &text, maxch, 1, 1, nulls + at);
        copy_text(vals[at], text, maxch);
      },
      [&](int f, int l, int at) { return tbfcgt(tp, cp, vals + at, nulls + at, maxch, f, l); });
}

// ---- puts ----------------------------------------------------------------------------

void tbcptd(Table* tp, Column* cp, const double* vals, int first, int last) {
  put_range(
      tp, cp, first, last, "tbcptd",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcpd, tbycpd, tbzcpd, tp, cp, vals + at, f, l) },
      [&](int r, int at) { tbfapd(tp, cp, r, vals + at, 1, 1); });
}

void tbcptr(Table* tp, Column* cp, const float* vals, int first, int last) {
  put_range(
      tp, cp, first, last, "tbcptr",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcpr, tbycpr, tbzcpr, tp, cp, vals + at, f, l) },
      [&](int r, int at) { tbfapr(tp, cp, r, vals + at, 1, 1); });
}

void tbcpti(Table* tp, Column* cp, const int* vals, int first, int last) {
  put_range(
      tp, cp, first, last, "tbcpti",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcpi, tbycpi, tbzcpi, tp, cp, vals + at, f, l) },
      [&](int r, int at) { tbfapi(tp, cp, r, vals + at, 1, 1); });
}

void tbcpts(Table* tp, Column* cp, const short* vals, int first, int last) {
  put_range(
      tp, cp, first, last, "tbcpts",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcps, tbycps, tbzcps, tp, cp, vals + at, f, l) },
      [&](int r, int at) { tbfaps(tp, cp, r, vals + at, 1, 1); });
}

void tbcptb(Table* tp, Column* cp, const bool* vals, int first, int last) {
  put_range(
      tp, cp, first, last, "tbcptb",
      [&](int f, int l, int at) { TB_RANGE_ARM(tbxcpb, tbycpb, tbzcpb, tp, cp, vals + at, f, l) },
      [&](int r, int at) { tbfapb(tp, cp, r, vals + at, 1, 1); });
}

// Every string is taken to at most maxch characters, whatever the storage.
void tbcptt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last) {
  const long long n = static_cast<long long>(last) - first + 1;
  const std::size_t count = n > 0 && vals != nullptr ? static_cast<std::size_t>(n) : 0;
  const std::size_t cut = static_cast<std::size_t>(maxch < 0 ? 0 : maxch);
  // The back ends see every value cut to maxch; a copy is made only when
  // some value is longer.
  std::vector<std::string> copy;
  const std::string* v = vals;
  for (std::size_t k = 0; k < count; ++k) {
    if (vals[k].size() <= cut) continue;
    copy.assign(vals, vals + count);
    for (std::string& s : copy) s.resize(std::min(s.size(), cut));
    v = copy.data();
    break;
  }
  put_range(
      tp, cp, first, last, "tbcptt",
      [&](int f, int l, int at) {
        TB_RANGE_ARM(tbxcpt, tbycpt, tbzcpt, tp, cp, v + at, maxch, f, l)
      },
      [&](int r, int at) { tbfapt(tp, cp, r, v + at, maxch, 1, 1); },
      [&](int f, int l, int at) { return tbfcpt(tp, cp, v + at, maxch, f, l); });
}

// The binary back ends take the caller's strings as they are; text and
// FITS tables are given std::strings, made once when first needed.
void tbcptt(Table* tp, Column* cp, const char* const* vals, int maxch, int first, int last) {
  const long long n = static_cast<long long>(last) - first + 1;
  const std::size_t count = n > 0 && vals != nullptr ? static_cast<std::size_t>(n) : 0;
  const std::size_t cut = static_cast<std::size_t>(maxch < 0 ? 0 : maxch);
  std::vector<std::string> texts;
  auto strings = [&]() -> const std::string* {
    if (texts.size() != count) {
      texts.resize(count);
      for (std::size_t k = 0; k < count; ++k)
        if (vals[k] != nullptr) texts[k].assign(vals[k], strnlen(vals[k], cut));
    }
    return texts.data();
  };
  put_range(
      tp, cp, first, last, "tbcptt",
      [&](int f, int l, int at) {
        switch (tp->type) {
          case kRowOrdered: tbxcpt(tp, cp, vals + at, maxch, f, l); break;
          case kColOrdered: tbycpt(tp, cp, vals + at, maxch, f, l); break;
          default: tbzcpt(tp, cp, strings() + at, maxch, f, l); break;
        }
      },
      [&](int r, int at) { tbfapt(tp, cp, r, strings() + at, maxch, 1, 1); },
      [&](int f, int l, int at) { return tbfcpt(tp, cp, strings() + at, maxch, f, l); });
}

#undef TB_RANGE_ARM

}  // namespace tbl
