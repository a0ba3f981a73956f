// Array elements: a run of consecutive elements of one cell, read or
// written in one call.  A one-element request at element 1 goes through the
// single-element routines (and so works for every storage type); longer runs
// are served by row-ordered binary and FITS tables only.
#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"

namespace tbl {

namespace {

// Checks shared by every get and put: the pointers, then the row and the
// first element (also when nothing is asked for).
void check_request(Table* tp, Column* cp, int row, int first, const char* who) {
  need_table(tp, who);
  need_column(cp, who);
  if (row < 1 || first < 1) vos::error(1, std::string(who) + ":  invalid row or element number");
}

// A request that would reach past the end of the cell is cut by the back
// ends; one that starts beyond it reads nothing.  This keeps the element
// arithmetic of the back ends inside int.
int clip_count(const Column* cp, int first, int n) {
  const long long room = static_cast<long long>(cp->nelem) - first + 1;
  if (room < 1) return 0;
  return n < room ? n : static_cast<int>(room);
}

// The get of one member: single element, or the row mapping and the back
// end of the table's type.
template <class T, class Single, class RowArm, class FitsArm>
int get_run(Table* tp, Column* cp, int row, T* buf, int first, int n, const char* who,
            Single single, RowArm rowarm, FitsArm fitsarm) {
  check_request(tp, cp, row, first, who);
  if (n < 1) return 0;
  if (first == 1 && n == 1) {
    single(buf[0]);
    return 1;
  }
  int actual = 0;
  tbsirow(tp, row, actual);
  if (tp->type == kRowOrdered) return rowarm(actual, clip_count(cp, first, n));
  if (tp->type == kFitsTable) return fitsarm(actual, n);
  vos::error(1, "can't read an array from this type of table");
}

// The put of one member.
template <class Single, class RowArm, class FitsArm>
void put_run(Table* tp, Column* cp, int row, int first, int n, const char* who, Single single,
             RowArm rowarm, FitsArm fitsarm) {
  check_request(tp, cp, row, first, who);
  if (n < 1) return;
  if (first == 1 && n == 1) {
    single();
    return;
  }
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
  if (tp->type != kRowOrdered && tp->type != kFitsTable)
    vos::error(1, "can't write an array to this type of table");
  if (static_cast<long long>(first) + n - 1 > cp->nelem)
    vos::error(1, std::string(who) + ":  attempt to put too many elements");
  int actual = 0;
  tbswer1(tp, row, actual);
  if (tp->type == kRowOrdered)
    rowarm(actual);
  else
    fitsarm(actual);
  tp->modified = true;
}

}  // namespace

// ---- gets ----------------------------------------------------------------------

int tbagtd(Table* tp, Column* cp, int row, double* buf, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagtd", [&](double& v) { tbegtd(tp, cp, row, v); },
      [&](int r, int c) { return tbxagd(tp, cp, r, buf, first, c); },
      [&](int r, int c) { return tbfagd(tp, cp, r, buf, first, c); });
}

int tbagtr(Table* tp, Column* cp, int row, float* buf, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagtr", [&](float& v) { tbegtr(tp, cp, row, v); },
      [&](int r, int c) { return tbxagr(tp, cp, r, buf, first, c); },
      [&](int r, int c) { return tbfagr(tp, cp, r, buf, first, c); });
}

int tbagti(Table* tp, Column* cp, int row, int* buf, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagti", [&](int& v) { tbegti(tp, cp, row, v); },
      [&](int r, int c) { return tbxagi(tp, cp, r, buf, first, c); },
      [&](int r, int c) { return tbfagi(tp, cp, r, buf, first, c); });
}

int tbagts(Table* tp, Column* cp, int row, short* buf, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagts", [&](short& v) { tbegts(tp, cp, row, v); },
      [&](int r, int c) { return tbxags(tp, cp, r, buf, first, c); },
      [&](int r, int c) { return tbfags(tp, cp, r, buf, first, c); });
}

int tbagtb(Table* tp, Column* cp, int row, bool* buf, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagtb", [&](bool& v) { tbegtb(tp, cp, row, v); },
      [&](int r, int c) { return tbxagb(tp, cp, r, buf, first, c); },
      [&](int r, int c) { return tbfagb(tp, cp, r, buf, first, c); });
}

int tbagtt(Table* tp, Column* cp, int row, std::string* buf, int maxch, int first, int n) {
  return get_run(
      tp, cp, row, buf, first, n, "tbagtt",
      [&](std::string& v) { tbegtt(tp, cp, row, v, maxch); },
      [&](int r, int c) { return tbxagt(tp, cp, r, buf, maxch, first, c); },
      [&](int r, int c) { return tbfagt(tp, cp, r, buf, maxch, first, c); });
}

// ---- puts -------------------------------------------------------------------------

void tbaptd(Table* tp, Column* cp, int row, const double* buf, int first, int n) {
  put_run(
      tp, cp, row, first, n, "tbaptd", [&] { tbeptd(tp, cp, row, buf[0]); },
      [&](int r) { tbxapd(tp, cp, r, buf, first, n); },
      [&](int r) { tbfapd(tp, cp, r, buf, first, n); });
}

void tbaptr(Table* tp, Column* cp, int row, const float* buf, int first, int n) {
  put_run(
      tp, cp, row, first, n, "tbaptr", [&] { tbeptr(tp, cp, row, buf[0]); },
      [&](int r) { tbxapr(tp, cp, r, buf, first, n); },
      [&](int r) { tbfapr(tp, cp, r, buf, first, n); });
}

void tbapti(Table* tp, Column* cp, int row, const int* buf, int first, int n) {
  put_run(
      tp, cp, row, first, n, "tbapti", [&] { tbepti(tp, cp, row, buf[0]); },
      [&](int r) { tbxapi(tp, cp, r, buf, first, n); },
      [&](int r) { tbfapi(tp, cp, r, buf, first, n); });
}

void tbapts(Table* tp, Column* cp, int row, const short* buf, int first, int n) {
  put_run(
      tp, cp, row, first, n, "tbapts", [&] { tbepts(tp, cp, row, buf[0]); },
      [&](int r) { tbxaps(tp, cp, r, buf, first, n); },
      [&](int r) { tbfaps(tp, cp, r, buf, first, n); });
}

void tbaptb(Table* tp, Column* cp, int row, const bool* buf, int first, int n) {
  put_run(
      tp, cp, row, first, n, "tbaptb", [&] { tbeptb(tp, cp, row, buf[0]); },
      [&](int r) { tbxapb(tp, cp, r, buf, first, n); },
      [&](int r) { tbfapb(tp, cp, r, buf, first, n); });
}

// Every string is taken to at most maxch characters, whatever the storage.
void tbaptt(Table* tp, Column* cp, int row, const std::string* buf, int maxch, int first,
            int n) {
  std::vector<std::string> v(n > 0 && buf != nullptr ? static_cast<std::size_t>(n) : 0);
  for (std::size_t k = 0; k < v.size(); ++k)
    v[k] = buf[k].substr(0, static_cast<std::size_t>(maxch < 0 ? 0 : maxch));
  put_run(
      tp, cp, row, first, n, "tbaptt", [&] { tbeptt(tp, cp, row, v[0]); },
      [&](int r) { tbxapt(tp, cp, r, v.data(), maxch, first, n); },
      [&](int r) { tbfapt(tp, cp, r, v.data(), maxch, first, n); });
}

}  // namespace tbl
