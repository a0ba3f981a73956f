// Header parameters as 80-character records: reading and writing record n
// (binary file slots or "#k" lines of a text table), finding, reading and
// replacing parameters by number, appending, comments, and copying all
// parameters to another table.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "tbhpar.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace tbl {

namespace {

constexpr std::size_t kRec = kSzParRec;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }

std::string cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

std::string trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

void rtrim_blanks(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

char type_letter(int dtype) {
  switch (dtype) {
    case kTyBool: return 'b';
    case kTyInt: return 'i';
    case kTyReal: return 'r';
    case kTyDouble: return 'd';
    default: return 't';
  }
}

// The value with each single quote preceded by a backslash.
std::string escape_quotes(std::string_view v) {
  std::string out;
  for (char c : v) {
    if (c == '\'') out += '\\';
    out += c;
  }
  return out;
}

int letter_type(char c) {
  switch (c) {
    case 'b': return kTyBool;
    case 'd': return kTyDouble;
    case 'i': return kTyInt;
    case 'r': return kTyReal;
    default: return kTyChar;
  }
}

std::string pad8(std::string_view key) {
  std::string k = cut(key, 8);
  k.resize(8, ' ');
  return k;
}

// True for a control character other than the tab (a blank here).
bool is_control(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7f;
}

// The keyword (8 characters, upper case) of a keyword line whose name starts
// at `q`, which is left after the name: the name ends at a blank or "=",
// and a keyword holds no control characters (any in the name are left out).
std::string line_key(std::string_view line, std::size_t& q) {
  std::string name;
  for (; q < line.size() && !is_blank(line[q]) && line[q] != '='; ++q)
    if (!is_control(line[q])) name += line[q];
  return pad8(vos::upper(name));
}

// The type of the value of keyword `key` (padded to 8) on a keyword line as
// it is read: that of its first word (kTyDouble, kTyInt or kTyChar), which
// ends before `pos`, or kTyChar for a HISTORY or COMMENT line, whose value
// is never a number.
int value_type(const std::string& key, std::string_view value, std::size_t& pos) {
  if (key == "HISTORY " || key == "COMMENT ") return kTyChar;
  std::string word;
  int width = 0, prec = 0, dtype = 0;
  char fc = 0;
  return tbbwrd(value, pos, word, 1023, width, prec, dtype, fc) > 0 ? dtype : kTyChar;
}

// Record of a text table's keyword line n ("#k KEY = value"), of the whole
// line (not cut to a record's size).  A keyword holds no control
// characters: any in the name of the line (a NUL, say) are left out of it,
// and the value is read from its own start, so that the record (and a copy
// written from it) reads the same again.
std::string text_record(Table* tp, int n) {
  const int count = std::min<int>(tp->npar, static_cast<int>(tp->keylines.size()));
  if (n < 1 || n > count) return "";
  const std::string& line = tp->keylines[n - 1];
  std::size_t p = std::min<std::size_t>(2, line.size());
  while (p < line.size() && is_blank(line[p])) ++p;
  std::size_t q = p;
  const std::string key = line_key(line, q);
  if (q >= line.size()) return key + "t";
  while (q < line.size() && is_blank(line[q])) ++q;
  if (q < line.size() && line[q] == '=') ++q;
  while (q < line.size() && is_blank(line[q])) ++q;
  const std::string_view value = std::string_view(line).substr(q);
  std::size_t pos = 0;
  return key + type_letter(value_type(key, value, pos)) + std::string(value);
}

// Record n as its value and comment are read from it: a text table's
// keyword line whole, since the length limits of a value and a comment
// apply to them and not to the line's quotes and escapes (a text quoted when
// it was written reads back as long as it was given).
std::string value_record(Table* tp, int parnum) {
  if (tp->type == kTextTable) return text_record(tp, parnum);
  std::string rec;
  tbhrpr(tp, parnum, rec);
  return rec;
}

// The value of a new keyword line of a text table.  A text value that is
// not quoted is all value (as in a binary table's record), but a line whose
// first word reads as a number holds that word as its value and the rest
// as a comment: such a text is written in quotes, so that it reads back
// whole.  Any other value, and any of a HISTORY or COMMENT line (never
// read as a number), is written as given.
std::string text_value(std::string_view kw, int dtype, std::string_view value) {
  if (dtype != kTyChar) return std::string(value);
  std::size_t q = 0;
  while (q < kw.size() && is_blank(kw[q])) ++q;
  std::size_t pos = 0;
  const int type = value_type(line_key(kw, q), value, pos);  // as the line will be read
  if (type != kTyDouble && type != kTyInt) return std::string(value);
  while (pos < value.size() && is_blank(value[pos])) ++pos;
  if (pos >= value.size()) return std::string(value);
  const std::string val = trim(value);
  // A backslash just before the closing quote would keep that quote in the
  // text: a blank goes between them, as in a quoted cell.
  return "'" + escape_quotes(val) + (val.back() == '\\' ? " '" : "'");
}

// Keyword line of a text table from a record (or a line given as such).
std::string text_line(std::string_view record) {
  if (record.size() >= 3 && record[0] == '#' && (record[1] == 'k' || record[1] == 'K') &&
      record[2] == ' ') {
    std::string line(record);
    std::size_t p = 3;
    while (p < line.size() && is_blank(line[p])) ++p;
    for (; p < line.size() && !is_blank(line[p]) && line[p] != '='; ++p)
      if (line[p] >= 'a' && line[p] <= 'z') line[p] = static_cast<char>(line[p] - 'a' + 'A');
    return line;
  }
  std::string key = pad8(record.substr(0, std::min<std::size_t>(8, record.size())));
  return "#k " + key + " = " + std::string(record.size() > 9 ? record.substr(9) : "");
}

}  // namespace

std::string tbhkey(std::string_view kw) { return vos::upper(kw.substr(0, 8)); }

bool tbhisc(std::string_view kw) {
  const std::string k = vos::upper(kw.substr(0, 8));
  if (k == "HISTORY" || k == "COMMENT") return true;
  return std::all_of(k.begin(), k.end(), [](char c) { return is_blank(c); });
}

bool tbhkeq(std::string_view kw, std::string_view record) {
  if (record.size() < kw.size()) return false;
  if (record.substr(0, kw.size()) != kw) return false;
  if (kw.size() >= 8) return true;
  return record.size() > kw.size() && record[kw.size()] == ' ';
}

std::size_t tbhfcm(std::string_view record) {
  if (record.size() < 10) return std::string::npos;
  if (record[8] == 't' && !is_quote(record[9])) return std::string::npos;
  std::size_t ip = 9;
  std::string word;
  vos::ctowrd(record, ip, word, kRec);
  while (ip < record.size() && is_blank(record[ip])) ++ip;
  return ip < record.size() ? ip : std::string::npos;
}

// Reads record n: an 80-byte slot of a binary file, or keyword line n of a
// text table.
void tbhrpr(Table* tp, int parnum, std::string& record) {
  if (tp->type == kTextTable) {
    record = cut(text_record(tp, parnum), kRec);
    return;
  }
  if (tp->type != kRowOrdered && tp->type != kColOrdered) vos::error(1, "tbhrpr:  internal error");
  if (parnum < 1 || parnum > tp->maxpar) vos::error(1, "tbhrpr:  parnum out of range");
  std::array<unsigned char, kRec> buf{};
  vos::seek(tp->fd, 25 + 40L * (parnum - 1));
  long n = vos::read(tp->fd, buf.data(), kRec / 2);
  if (n < static_cast<long>(kRec / 2))
    vos::error(1, "tbhrpr:  unexpected end of file reading header parameter");
  std::size_t len = 0;
  while (len < kRec && buf[len] != 0) ++len;
  record.assign(reinterpret_cast<const char*>(buf.data()), len);
}

// Writes record n (a text table stores it as keyword line n).
void tbhwpr(Table* tp, int parnum, std::string_view record) {
  if (tp->type == kTextTable) {
    tbzkey(tp, text_line(record), parnum);
    return;
  }
  if (tp->type != kRowOrdered && tp->type != kColOrdered) vos::error(1, "tbhwpr:  internal error");
  if (parnum < 1 || parnum > tp->maxpar) vos::error(1, "tbhwpr:  parnum out of range");
  std::array<unsigned char, kRec> buf{};
  const std::size_t len = std::min(record.size(), kRec);
  std::memcpy(buf.data(), record.data(), len);
  vos::seek(tp->fd, 25 + 40L * (parnum - 1));
  vos::write(tp->fd, buf.data(), kRec / 2);
}

// Reads parameter n: keyword, type code and value (quotes and comment
// removed).  A number outside 1..count gives empty results.
void tbhgnp(Table* tp, int parnum, std::string& kw, int& dtype, std::string& value) {
  need_table(tp, "tbhgnp");
  if (tp->type == kFitsTable) {
    std::string comment;
    tbfgnp(tp, parnum, kw, dtype, value, comment, kSzParRec);
    return;
  }
  kw.clear();
  value.clear();
  dtype = 0;
  if (parnum < 1 || parnum > tp->npar) return;
  std::string rec = value_record(tp, parnum);
  const std::string head = cut(rec, 8);
  kw = head.substr(0, head.find(' '));
  dtype = letter_type(rec.size() > 8 ? rec[8] : ' ');
  const std::size_t cm = tbhfcm(rec);
  if (cm != std::string::npos) {
    std::size_t end = cm;
    while (end > 9 && is_blank(rec[end - 1])) --end;
    rec.resize(end);
  }
  if (rec.size() > 9) {
    if (is_quote(rec[9])) {
      std::size_t ip = 9;
      vos::ctowrd(rec, ip, value, kRec);
    } else {
      value = rec.substr(9, kRec);
    }
  }
  rtrim_blanks(value);
}

// Replaces parameter n (1..maximum) with keyword, type and value; a
// replaced value keeps the old record's comment.
void tbhpnp(Table* tp, int parnum, std::string_view kw, int dtype, std::string_view value) {
  need_table(tp, "tbhpnp");
  if (parnum < 1 || parnum > tp->maxpar) vos::error(1, "tbhpnp:  parnum out of range");
  if (tp->type == kFitsTable) {
    tbfpnp(tp, parnum, kw, dtype, value);
    tp->modified = true;
    return;
  }
  const std::string key = tbhkey(kw);
  const std::string val = cut(trim(value), kRec);
  std::string old;
  if (parnum <= tp->npar) {
    tbhrpr(tp, parnum, old);
    if (old.compare(0, key.size(), key) != 0) old.clear();
  }
  const char letter = type_letter(dtype);
  std::string rec = pad8(key) + letter;
  bool keep_comment = true;
  if (letter == 't') {
    // Quoted, a quote inside the value is written as \' (the escape the
    // reader takes).  A value whose quoted form passes 69 characters, or
    // that ends in a backslash (which would escape the closing quote), is
    // written unquoted instead, so that it reads back unchanged.
    const std::string quoted = escape_quotes(val);
    if (quoted.size() <= 69 && !tbhisc(key) && (val.empty() || val.back() != '\\')) {
      rec += "'" + quoted + "'";
    } else {
      rec += val;
      keep_comment = false;
    }
  } else if (letter == 'b') {
    const std::string v = vos::lower(val);
    rec += (v == "1" || v == "yes" || v == "y" || v == "true" || v == "t") ? "1" : "0";
  } else {
    rec += val;
  }
  if (keep_comment && !old.empty()) {
    const std::size_t cm = tbhfcm(old);
    if (cm != std::string::npos) rec += " " + old.substr(cm);
  }
  tbhwpr(tp, parnum, cut(rec, kRec));
  tp->modified = true;
}

// Appends a parameter; the value text may carry a comment after the value.
void tbhanp(Table* tp, std::string_view kw, int dtype, std::string_view value, int& parnum) {
  need_table(tp, "tbhanp");
  if (tp->type == kTextTable) {
    std::string line = "#k " + std::string(kw) + " = " + text_value(kw, dtype, value);
    tbzkey(tp, cut(line, 1023), 0);
    parnum = tp->npar;
    return;
  }
  if (tp->type == kFitsTable) {
    tbfanp(tp, kw, dtype, value, parnum);
    return;
  }
  std::string val, comment;
  std::size_t ip = 0;
  if (dtype == kTyChar) {
    while (ip < value.size() && is_blank(value[ip])) ++ip;
    if (ip < value.size() && is_quote(value[ip])) {
      vos::ctowrd(value, ip, val, kRec);
      while (ip < value.size() && is_blank(value[ip])) ++ip;
      comment = cut(value.substr(ip), kRec);
    } else {
      val = cut(value.substr(ip), kRec);
    }
  } else {
    vos::ctowrd(value, ip, val, kRec);
    while (ip < value.size() && is_blank(value[ip])) ++ip;
    comment = cut(value.substr(ip), kRec);
  }
  if (tp->npar >= tp->maxpar) tbtchs(tp, tp->maxpar + 5, -1, -1, -1);
  const int n = tp->npar + 1;
  tbhwpr(tp, n, std::string(kRec, ' '));
  tp->npar = n;
  parnum = n;
  tbhpnp(tp, n, kw, dtype, val);
  tbhpcm(tp, kw, comment);
}

// Number of the first parameter of keyword kw, 0 when none.
void tbhfkw(Table* tp, std::string_view kw, int& parnum) {
  need_table(tp, "tbhfkw");
  if (tp->type == kFitsTable) {
    tbffkw(tp, kw, parnum);
    return;
  }
  const std::string key = tbhkey(kw);
  std::string rec;
  for (int i = 1; i <= tp->npar; ++i) {
    tbhrpr(tp, i, rec);
    if (tbhkeq(key, rec)) {
      parnum = i;
      return;
    }
  }
  parnum = 0;
}

// The same walk comparing whole keywords; also gives type and value.
void tbhfkr(Table* tp, std::string_view kw, int& dtype, std::string& value, int& parnum) {
  need_table(tp, "tbhfkr");
  const std::string key = tbhkey(kw);
  std::string k;
  for (int i = 1; i <= tp->npar; ++i) {
    tbhgnp(tp, i, k, dtype, value);
    if (k == key) {
      value = cut(value, kRec);
      parnum = i;
      return;
    }
  }
  parnum = 0;
}

// The comment of a keyword (empty for comment-like keywords).
void tbhgcm(Table* tp, std::string_view kw, std::string& comment, int maxch) {
  need_table(tp, "tbhgcm");
  if (tp->type == kFitsTable) {
    tbfgcm(tp, kw, comment, maxch);
    return;
  }
  comment.clear();
  if (tbhisc(kw)) return;
  int n = 0;
  tbhfkw(tp, kw, n);
  if (n == 0)
    vos::error(1, vos::sprintf("tbhgcm:  keyword `%s' not found in table `%s'", kw, tp->name));
  const std::string rec = value_record(tp, n);
  const std::size_t cm = tbhfcm(rec);
  if (cm != std::string::npos) comment = cut(rec.substr(cm), static_cast<std::size_t>(std::max(maxch, 0)));
  rtrim_blanks(comment);
}

// Sets (replaces) the comment of a keyword.
void tbhpcm(Table* tp, std::string_view kw, std::string_view comment) {
  need_table(tp, "tbhpcm");
  if (comment.empty()) return;
  if (tp->type == kFitsTable) {
    tbfpcm(tp, kw, comment);
    tp->modified = true;
    return;
  }
  if (tbhisc(kw)) return;
  int n = 0;
  tbhfkw(tp, kw, n);
  if (n == 0)
    vos::error(1, vos::sprintf("tbhpcm:  keyword `%s' not found in table `%s'", kw, tp->name));
  std::string rec;
  tbhrpr(tp, n, rec);
  std::string head = cut(rec, 9);
  head.resize(9, ' ');
  std::string out;
  if (head[8] == 't') {
    if (rec.size() > 9 && is_quote(rec[9])) {
      std::size_t ip = 9;
      std::string word;
      vos::ctowrd(rec, ip, word, kRec);
      out = head + "'" + word + "' " + std::string(comment);
    } else {
      if (rec.size() > 78) return;
      out = head + "'" + (rec.size() > 9 ? rec.substr(9) : "") + "' " + std::string(comment);
    }
  } else {
    std::size_t ip = 9;
    std::string word;
    if (rec.size() > 9) vos::ctowrd(rec, ip, word, kRec);
    out = head + word + " " + std::string(comment);
  }
  tbhwpr(tp, n, cut(out, kRec));
  tp->modified = true;
}

// Copies all header parameters of in to out.
void tbhcal(Table* in, Table* out) {
  need_table(in, "tbhcal");
  need_table(out, "tbhcal");
  if (!out->opened) vos::error(1, "tbhcal:  output table is not open yet");
  if (out->readonly) vos::error(3, "tbhcal:  can't write to table; it's readonly");
  if (in->type == kFitsTable || out->type == kFitsTable) {
    tbfcal(in, out);
    out->modified = true;
    return;
  }
  if (out->type == kTextTable && !in->comments.empty()) tbbcmt(out, in->comments);
  if (in->npar + out->npar > out->maxpar) tbtchs(out, in->npar + out->npar + 5, -1, -1, -1);
  std::string rec;
  if (out->npar == 0) {
    for (int i = 1; i <= in->npar; ++i) {
      tbhrpr(in, i, rec);
      tbhwpr(out, i, rec);
    }
    out->npar = in->npar;
  } else {
    std::vector<std::pair<std::string, int>> noted;
    std::string k, v;
    int dt = 0;
    for (int i = 1; i <= out->npar; ++i) {
      tbhgnp(out, i, k, dt, v);
      if (!tbhisc(k)) noted.emplace_back(cut(k, 8), i);
    }
    std::string cm;
    for (int i = 1; i <= in->npar; ++i) {
      tbhgnp(in, i, k, dt, v);
      tbhgcm(in, k, cm, kSzParRec);
      const std::string k8 = cut(k, 8);
      auto it = std::find_if(noted.begin(), noted.end(),
                             [&](const auto& e) { return e.first == k8; });
      if (it != noted.end()) {
        tbhpnp(out, it->second, k, dt, v);
      } else {
        int n = 0;
        tbhanp(out, k, dt, v, n);
      }
      tbhpcm(out, k, cm);
    }
  }
  out->modified = true;
}

}  // namespace tbl
