// Header parameters by keyword in the caller's types: add or replace
// (tbhad*), replace existing (tbhpt*) and read (tbhgt*).
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "tbconv.h"
#include "tbhpar.h"
#include "vos/error.h"
#include "vos/format.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace tbl {

namespace {

void refuse_readonly(Table* tp) {
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
}

// Replaces the parameter of keyword kw, or appends it when there is none.
void add_or_replace(Table* tp, std::string_view kw, int dtype, const std::string& text) {
  int n = 0;
  tbhfkw(tp, kw, n);
  if (n > 0)
    tbhpnp(tp, n, kw, dtype, text);
  else
    tbhanp(tp, kw, dtype, text, n);
  tp->modified = true;
}

// Replaces an existing parameter; a missing one raises error 61 with
// "<who>:  `kw' not found; use <add> to add new parameter".
void replace_existing(Table* tp, std::string_view kw, int dtype, const std::string& text,
                      const char* who, const char* add) {
  int n = 0;
  tbhfkw(tp, kw, n);
  if (n == 0)
    vos::error(61, vos::sprintf("%s:  `%s' not found; use %s to add new parameter", who, kw, add));
  tbhpnp(tp, n, kw, dtype, text);
  tp->modified = true;
}

// Finds the parameter of keyword kw for a get; error 61 when missing.
void find_for_get(Table* tp, std::string_view kw, int& dtype, std::string& value,
                  const char* who) {
  int n = 0;
  tbhfkr(tp, kw, dtype, value, n);
  if (n == 0)
    vos::error(61, vos::sprintf("%s:  table header parameter `%s' not found", who, kw));
}

double scan_or_indef(const std::string& value, bool& read) {
  double x = kIndefD;
  vos::sscan(value);
  vos::gargd(x);
  read = vos::nscan() >= 1;
  return x;
}

}  // namespace

// ---- add or replace -------------------------------------------------------------

void tbhadd(Table* tp, std::string_view kw, double v) {
  need_table(tp, "tbhadd");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhadd:  can't put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpd(tp, kw, v); tp->modified = true; return; }
  add_or_replace(tp, kw, kTyDouble, vos::sprintf("%-25.16g", v));
}

void tbhadr(Table* tp, std::string_view kw, float v) {
  need_table(tp, "tbhadr");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhadr:  can't put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpr(tp, kw, v); tp->modified = true; return; }
  add_or_replace(tp, kw, kTyReal, vos::sprintf("%-15.7g", v));
}

void tbhadi(Table* tp, std::string_view kw, int v) {
  need_table(tp, "tbhadi");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhadi:  can't put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpi(tp, kw, v); tp->modified = true; return; }
  add_or_replace(tp, kw, kTyInt, vos::sprintf("%-11d", v));
}

void tbhadb(Table* tp, std::string_view kw, bool v) {
  need_table(tp, "tbhadb");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhadb:  can't put Boolean parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpb(tp, kw, v); tp->modified = true; return; }
  add_or_replace(tp, kw, kTyBool, vos::sprintf("%-11d", v ? 1 : 0));
}

void tbhadtp(Table* tp, std::string_view kw, std::string_view text) {
  need_table(tp, "tbhadtp");
  refuse_readonly(tp);
  if (tp->type != kFitsTable) return tbhadt(tp, kw, text);
  tbfppt(tp, kw, text);
  tp->modified = true;
}

void tbhadt(Table* tp, std::string_view kw, std::string_view text) {
  need_table(tp, "tbhadt");
  refuse_readonly(tp);
  if (tp->type == kFitsTable) { tbfhpt(tp, kw, text); tp->modified = true; return; }
  if (tbhisc(kw)) {
    int n = 0;
    tbhanp(tp, kw, kTyChar, text, n);
    tp->modified = true;
    return;
  }
  add_or_replace(tp, kw, kTyChar, std::string(text));
}

// ---- replace existing -------------------------------------------------------------

void tbhptd(Table* tp, std::string_view kw, double v) {
  need_table(tp, "tbhptd");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhptd:  may not put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpd(tp, kw, v); tp->modified = true; return; }
  replace_existing(tp, kw, kTyDouble, vos::sprintf("%-25.16g", v), "tbhptd", "tbhadd");
}

void tbhptr(Table* tp, std::string_view kw, float v) {
  need_table(tp, "tbhptr");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhptr:  may not put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpr(tp, kw, v); tp->modified = true; return; }
  replace_existing(tp, kw, kTyReal, vos::sprintf("%-15.7g", v), "tbhptr", "tbhadr");
}

void tbhpti(Table* tp, std::string_view kw, int v) {
  need_table(tp, "tbhpti");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhpti:  may not put numeric parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpi(tp, kw, v); tp->modified = true; return; }
  replace_existing(tp, kw, kTyInt, vos::sprintf("%-11d", v), "tbhpti", "tbhadi");
}

void tbhptb(Table* tp, std::string_view kw, bool v) {
  need_table(tp, "tbhptb");
  refuse_readonly(tp);
  if (tbhisc(kw)) vos::error(63, "tbhptb:  may not put Boolean parameter as comment or history");
  if (tp->type == kFitsTable) { tbfhpb(tp, kw, v); tp->modified = true; return; }
  replace_existing(tp, kw, kTyBool, vos::sprintf("%-11d", v ? 1 : 0), "tbhptb", "tbhadb");
}

void tbhptt(Table* tp, std::string_view kw, std::string_view text) {
  need_table(tp, "tbhptt");
  refuse_readonly(tp);
  if (tp->type == kFitsTable) { tbfhpt(tp, kw, text); tp->modified = true; return; }
  if (tbhisc(kw)) vos::error(62, "use tbhadt, not tbhptt, to add new comment or history");
  replace_existing(tp, kw, kTyChar, std::string(text), "tbhptt", "tbhadt");
}

// ---- read by keyword ------------------------------------------------------------------

double tbhgtd(Table* tp, std::string_view kw) {
  need_table(tp, "tbhgtd");
  if (tp->type == kFitsTable) { double v = kIndefD; tbfhgd(tp, kw, v); return v; }
  int dtype = 0;
  std::string value;
  find_for_get(tp, kw, dtype, value, "tbhgtd");
  bool read = false;
  return scan_or_indef(value, read);
}

float tbhgtr(Table* tp, std::string_view kw) {
  need_table(tp, "tbhgtr");
  if (tp->type == kFitsTable) { float v = kIndefR; tbfhgr(tp, kw, v); return v; }
  int dtype = 0;
  std::string value;
  find_for_get(tp, kw, dtype, value, "tbhgtr");
  float x = kIndefR;
  vos::sscan(value);
  vos::gargr(x);
  return x;
}

int tbhgti(Table* tp, std::string_view kw) {
  need_table(tp, "tbhgti");
  if (tp->type == kFitsTable) { int v = kIndefI; tbfhgi(tp, kw, v); return v; }
  int dtype = 0;
  std::string value;
  find_for_get(tp, kw, dtype, value, "tbhgti");
  bool read = false;
  const double x = scan_or_indef(value, read);
  return x == kIndefD ? kIndefI : nearest_int(x);
}

bool tbhgtb(Table* tp, std::string_view kw) {
  need_table(tp, "tbhgtb");
  if (tp->type == kFitsTable) { bool v = false; tbfhgb(tp, kw, v); return v; }
  int dtype = 0;
  std::string value;
  find_for_get(tp, kw, dtype, value, "tbhgtb");
  bool read = false;
  double x = scan_or_indef(value, read);
  if (!read && dtype == kTyChar) {
    const std::string v = vos::lower(value);
    if (v == "yes" || v == "y" || v == "true" || v == "t") x = 1.0;
    if (v == "no" || v == "n" || v == "false" || v == "f") x = 0.0;
  }
  return x != kIndefD && nearest_int(x) == 1;
}

void tbhgtt(Table* tp, std::string_view kw, std::string& text, int maxch) {
  need_table(tp, "tbhgtt");
  if (tp->type == kFitsTable) { tbfhgt(tp, kw, text, maxch); return; }
  int dtype = 0;
  std::string value;
  find_for_get(tp, kw, dtype, value, "tbhgtt");
  text = value.substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
}

}  // namespace tbl
