// Header parameters of FITS tables: the keyword cards of the table's HDU.
#include <algorithm>
#include <cmath>
#include <string>

#include "fits_cards.h"
#include "fits_table.h"
#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/format.h"
#include "vos/indef.h"
#include "vos/scan.h"
#include "vos/strings.h"

using namespace tbfio;
using namespace tbfits;
using tbl::Table;

namespace {

std::string cut(std::string s, int maxch) {
  if (maxch < 0) maxch = 0;
  if (s.size() > static_cast<std::size_t>(maxch)) s.resize(static_cast<std::size_t>(maxch));
  return s;
}

std::string rtrim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

// Counts one appended card; the maximum follows the header's growth.
void count_appended(Table* tp) {
  tp->npar += 1;
  tp->maxpar = std::max(tp->maxpar, tp->npar);
}

// Reads a keyword's value text and comment; a missing keyword is raised.
void get_key(Table* tp, std::string_view kw, std::string& value, std::string& comment) {
  int status = 0;
  fsgkey(fptr(tp), kw, value, comment, status);
  tbferr(status);
}

// Numeric reading of a keyword value: a leading quote is skipped, T reads 1
// and F 0; otherwise the leading number, or `undef`.
double value_number(const std::string& value, double undef) {
  std::size_t ip = (!value.empty() && value[0] == '\'') ? 1 : 0;
  std::size_t p = value.find_first_not_of(' ', ip);
  if (p != std::string::npos && value[p] == 'T') return 1.0;
  if (p != std::string::npos && value[p] == 'F') return 0.0;
  double d = undef;
  vos::ctod(value, ip, d);
  return d;
}

// The common part of the typed puts: the keyword keeps the kind of value it
// has (string, logical or number); a missing keyword is appended.
template <class Str, class Log, class Num, class New>
void put_value(Table* tp, std::string_view kw, Str as_string, Log as_logical, Num as_number,
               New append) {
  fitsfile* f = fptr(tp);
  int status = 0;
  std::string value, comment;
  fsgkey(f, kw, value, comment, status);
  if (status == 0) {
    if (!value.empty() && value[0] == '\'') fsmkys(f, kw, as_string(), comment, status);
    else if (!value.empty() && (value[0] == 'T' || value[0] == 'F'))
      fsmkyl(f, kw, as_logical(), comment, status);
    else as_number(f, comment, status);
    tbferr(status);
  } else if (status == KEY_NO_EXIST) {
    status = 0;
    ftcmsg();
    check_table_whole(tp);  // a card more may grow the header
    append(f, status);
    tbferr(status);
    count_appended(tp);
  } else {
    tbferr(status);
  }
}

// Appends a HISTORY, COMMENT or blank-keyword card.
void append_comment_card(Table* tp, const std::string& key, std::string_view text) {
  fitsfile* f = fptr(tp);
  check_table_whole(tp);  // a card more may grow the header
  int status = 0;
  if (key == "HISTORY") fsphis(f, text, status);
  else if (key == "COMMENT") fspcom(f, text, status);
  else fsprec(f, "          " + std::string(text), status);
  tbferr(status);
  count_appended(tp);
}

}  // namespace

namespace tbl {

bool tbfres(std::string_view kw) { return tbfcard::tbfres(kw); }

void tbfhpd(Table* tp, std::string_view kw, double v) {
  put_value(
      tp, kw, [&] { return vos::sprintf("%-25.15g", v); }, [&] { return v != 0.0; },
      [&](fitsfile* f, const std::string& c, int& st) { fsmkyd(f, kw, v, -15, c, st); },
      [&](fitsfile* f, int& st) { fspkyd(f, kw, v, -15, "", st); });
}

void tbfhpr(Table* tp, std::string_view kw, float v) {
  put_value(
      tp, kw, [&] { return vos::sprintf("%-15.7g", v); }, [&] { return v != 0.0f; },
      [&](fitsfile* f, const std::string& c, int& st) { fsmkye(f, kw, v, -7, c, st); },
      [&](fitsfile* f, int& st) { fspkye(f, kw, v, -7, "", st); });
}

void tbfhpi(Table* tp, std::string_view kw, int v) {
  put_value(
      tp, kw, [&] { return vos::sprintf("%-10d", v); }, [&] { return v != 0; },
      [&](fitsfile* f, const std::string& c, int& st) { fsmkyj(f, kw, v, c, st); },
      [&](fitsfile* f, int& st) { fspkyj(f, kw, v, "", st); });
}

void tbfhpb(Table* tp, std::string_view kw, bool v) {
  put_value(
      tp, kw, [&] { return std::string(v ? "TRUE" : "FALSE"); }, [&] { return v; },
      [&](fitsfile* f, const std::string& c, int& st) { fsmkyl(f, kw, v, c, st); },
      [&](fitsfile* f, int& st) { fspkyl(f, kw, v, "", st); });
}

void tbfhpt(Table* tp, std::string_view kw, std::string_view text) {
  std::string key = tbfcard::card_keyword(kw);
  if (tbfcard::comment_like(key)) {
    append_comment_card(tp, key, text);
    return;
  }
  fitsfile* f = fptr(tp);
  int status = 0;
  std::string value, comment;
  fsgkys(f, kw, value, comment, status);
  if (status == 0) {
    fsmkys(f, kw, text, comment, status);
    tbferr(status);
  } else if (status == KEY_NO_EXIST) {
    status = 0;
    ftcmsg();
    check_table_whole(tp);  // a card more may grow the header
    fspkys(f, kw, text, "", status);
    tbferr(status);
    count_appended(tp);
  } else {
    tbferr(status);
  }
}

void tbfppt(Table* tp, std::string_view kw, std::string_view text) {
  fitsfile* f = fptr(tp);
  int status = 0, type = 0;
  if (tp->hdu <= 0) return tbfhpt(tp, kw, text);
  // The cards of the primary header are not the table's: its counts stay.
  const int npar = tp->npar, maxpar = tp->maxpar;
  fsmahd(f, 1, type, status);
  tbferr(status);
  auto back = [&] {
    tp->npar = npar;
    tp->maxpar = maxpar;
    int st = 0, ty = 0;
    fsmahd(f, tp->hdu + 1, ty, st);
    return st;
  };
  try {
    tbfhpt(tp, kw, text);
  } catch (...) {
    back();
    throw;
  }
  tbferr(back());
}

void tbfanp(Table* tp, std::string_view kw, int dtype, std::string_view value, int& parnum) {
  std::string key = tbfcard::card_keyword(kw);
  fitsfile* f = fptr(tp);
  if (tbfcard::comment_like(key)) {
    append_comment_card(tp, key, value);
  } else {
    check_table_whole(tp);  // a card more may grow the header
    int status = 0;
    fsprec(f, tbfcard::anp_card(key, dtype == kTyBool ? 1 : (dtype == kTyChar ? 2 : dtype), value),
           status);
    tbferr(status);
  }
  int status = 0, nexist = 0, nmore = 0;
  fsghsp(f, nexist, nmore, status);
  tbferr(status);
  parnum = nexist;
  tp->npar = nexist;
  tp->maxpar = std::max(tp->maxpar, nexist + std::max(nmore, 0));
}

void tbfgnp(Table* tp, int parnum, std::string& kw, int& dtype, std::string& value,
            std::string& comment, int maxch) {
  fitsfile* f = fptr(tp);
  int status = 0;
  std::string card, v, c;
  fsgrec(f, parnum, card, status);
  tbferr(status);
  fspsvc(card, v, c, status);
  tbferr(status);
  tbfcard::Parsed p = tbfcard::parse_card(card, v, c);
  kw = p.keyword;
  dtype = p.type;
  value = cut(p.value, maxch);
  comment = cut(p.comment, maxch);
}

void tbfpnp(Table* tp, int parnum, std::string_view kw, int dtype, std::string_view value) {
  std::string key = tbfcard::card_keyword(kw);
  std::string old_comment;
  if (!tbfcard::comment_like(key)) {
    std::string okw, ovalue, ocomment;
    int otype = 0;
    tbfgnp(tp, parnum, okw, otype, ovalue, ocomment, 1023);
    if (vos::upper(okw) == key) old_comment = ocomment;
  }
  int type = dtype == kTyBool ? 1 : (dtype == kTyChar || dtype < 0 ? 2 : dtype);
  int status = 0;
  fsmrec(fptr(tp), parnum, tbfcard::pnp_card(key, type, value, old_comment), status);
  tbferr(status);
}

void tbffkw(Table* tp, std::string_view kw, int& parnum) {
  std::string key = vos::upper(kw.substr(0, 8));
  fitsfile* f = fptr(tp);
  parnum = 0;
  for (int n = 1; n <= tp->npar; ++n) {
    int status = 0;
    std::string card;
    fsgrec(f, n, card, status);
    tbferr(status);
    if (tbhkeq(key, card)) {
      parnum = n;
      return;
    }
  }
}

void tbfgcm(Table* tp, std::string_view kw, std::string& comment, int maxch) {
  comment.clear();
  if (tbfcard::comment_like(kw)) return;
  std::string value, c;
  get_key(tp, kw, value, c);
  comment = cut(c, maxch);
}

void tbfpcm(Table* tp, std::string_view kw, std::string_view comment) {
  if (comment.empty()) return;
  int status = 0;
  fsmcom(fptr(tp), kw, comment, status);
  tbferr(status);
}

void tbfhgd(Table* tp, std::string_view kw, double& v) {
  std::string value, comment;
  get_key(tp, kw, value, comment);
  v = value_number(value, kIndefD);
}

void tbfhgr(Table* tp, std::string_view kw, float& v) {
  std::string value, comment;
  get_key(tp, kw, value, comment);
  std::size_t ip = (!value.empty() && value[0] == '\'') ? 1 : 0;
  std::size_t p = value.find_first_not_of(' ', ip);
  if (p != std::string::npos && (value[p] == 'T' || value[p] == 'F')) {
    v = value[p] == 'T' ? 1.0f : 0.0f;
    return;
  }
  float r = kIndefR;
  vos::ctor(value, ip, r);
  v = r;
}

void tbfhgi(Table* tp, std::string_view kw, int& v) {
  std::string value, comment;
  get_key(tp, kw, value, comment);
  double d = value_number(value, kIndefD);
  v = vos::is_indef(d) ? kIndefI : tbfcard::nearest_int(d);
}

void tbfhgb(Table* tp, std::string_view kw, bool& v) {
  std::string value, comment;
  get_key(tp, kw, value, comment);
  std::string u = vos::upper(value);
  std::size_t i = (!u.empty() && u[0] == '\'') ? 1 : 0;
  if (i < u.size() && u[i] == 'T') {
    v = true;
    return;
  }
  if (i < u.size() && u[i] == 'F') {
    v = false;
    return;
  }
  double d = value_number(value, kIndefD);
  v = !vos::is_indef(d) && tbfcard::nearest_int(d) != 0;
}

void tbfhgt(Table* tp, std::string_view kw, std::string& text, int maxch) {
  int status = 0;
  std::string value, comment;
  // A HISTORY or COMMENT card has no value to read as a string: its text is
  // what CFITSIO gives as the comment.
  if (tbfcard::comment_like(kw)) fsgkey(fptr(tp), kw, value, comment, status);
  else fsgkys(fptr(tp), kw, value, comment, status);
  tbferr(status);
  text = cut(rtrim(tbfcard::comment_like(kw) ? comment : value), maxch);
}

}  // namespace tbl
