// Header card building and reading (see fits_cards.h).
#include "fits_cards.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tbfcard {
namespace {

std::string upper(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string rtrim_blanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Appends `add` to the card, never past 80 characters.
void put(std::string& card, std::string_view add) {
  if (card.size() >= kCardLen) return;
  card.append(add.substr(0, kCardLen - card.size()));
}

void pad_to(std::string& card, std::size_t n) {
  if (card.size() < n) card.append(n - card.size(), ' ');
}

// First word of a value text and what follows it.  A word in single or double
// quotes ends at the matching quote; the quotes are dropped.  Inside, the
// quote character preceded by a backslash, or doubled as FITS writes it,
// stands for itself.
void first_word(std::string_view s, std::string& word, std::string_view& rest) {
  std::size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  word.clear();
  if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
    char q = s[i++];
    for (; i < s.size(); ++i) {
      bool escaped = (s[i] == '\\' || s[i] == q) && i + 1 < s.size() && s[i + 1] == q;
      if (escaped) ++i;
      else if (s[i] == q) break;
      word += s[i];
    }
    if (i < s.size()) ++i;
  } else {
    while (i < s.size() && !blank(s[i])) word += s[i++];
  }
  while (i < s.size() && blank(s[i])) ++i;
  rest = s.substr(i);
}

std::string padded_key(std::string_view key) {
  std::string k(key);
  pad_to(k, 8);
  return k;
}

}  // namespace

bool tbfres(std::string_view keyword) {
  std::string k = upper(keyword.substr(0, 8));
  for (const char* w : {"XTENSION", "BITPIX", "PCOUNT", "GCOUNT", "TFIELDS", "END", "THEAP"})
    if (k == w) return true;
  std::string_view k5 = std::string_view(k).substr(0, 5);
  for (const char* w : {"NAXIS", "TBCOL", "TFORM", "TTYPE", "TUNIT", "TSCAL", "TZERO", "TNULL",
                        "TDISP"})
    if (k5 == w) return true;
  return std::string_view(k).substr(0, 4) == "TDIM";
}

bool comment_like(std::string_view keyword) {
  std::string k = upper(keyword.substr(0, 8));
  if (k == "HISTORY" || k == "COMMENT") return true;
  for (char c : k)
    if (!blank(c)) return false;
  return true;
}

std::string card_keyword(std::string_view keyword) {
  std::string k = upper(keyword.substr(0, 8));
  while (!k.empty() && blank(k.back())) k.pop_back();
  return k;
}

std::string quote_value(std::string_view value, std::size_t room) {
  std::string out = "'";
  std::size_t limit = room >= 2 ? room - 1 : 1;  // leave space for the closing quote
  for (char c : value) {
    std::size_t need = (c == '\'') ? 2 : 1;
    if (out.size() + need > limit) break;
    out += c;
    if (c == '\'') out += '\'';
  }
  while (out.size() < 9 && out.size() < limit) out += ' ';
  out += '\'';
  return out;
}

std::string unquote_value(std::string_view value) {
  if (value.empty() || value[0] != '\'') return std::string(value);
  std::string out;
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '\'') {
      if (i + 1 >= value.size() || value[i + 1] != '\'') break;
      ++i;
    }
    out += value[i];
  }
  return out;
}

std::string anp_card(std::string_view keyword, int type, std::string_view value_text) {
  std::string key = padded_key(card_keyword(keyword));
  std::string card;
  if (type == 2) {
    std::string value;
    std::string_view comment;
    bool has_comment = false;
    std::string_view t = value_text;
    std::size_t i = 0;
    while (i < t.size() && blank(t[i])) ++i;
    if (!t.empty() && (t[0] == '\'' || t[0] == '"')) {
      first_word(t, value, comment);
      has_comment = !comment.empty();
    } else {
      value = std::string(value_text);
    }
    put(card, key + "= ");
    put(card, quote_value(value, kCardLen - card.size()));
    pad_to(card, 30);
    put(card, " / ");
    if (has_comment) put(card, comment);
    return card.substr(0, kCardLen);
  }
  std::string word;
  std::string_view comment;
  first_word(value_text, word, comment);
  if (type == 1) {
    std::string w = lower(word);
    bool t = w == "t" || w == "true" || w == "yes" || std::atoi(w.c_str()) == 1;
    put(card, key + "=                    " + (t ? "T" : "F") + " / ");
  } else if (word.size() < 21) {
    put(card, key + "=" + std::string(21 - word.size(), ' ') + word + " / ");
  } else {
    put(card, key + "=" + word + " / ");
  }
  put(card, comment);
  return card;
}

std::string pnp_card(std::string_view keyword, int type, std::string_view value_text,
                     std::string_view old_comment) {
  std::string key = padded_key(card_keyword(keyword));
  std::string text(trim(value_text).substr(0, 1023));
  std::string card;
  bool clike = comment_like(keyword);
  if (type == 2 && clike) {
    put(card, key + " " + text);
    return card;
  }
  if (type == 2) {
    put(card, key + "= ");
    std::string q = quote_value(text, kCardLen - card.size());
    put(card, q);
    std::size_t inner = q.size() - 2;
    if (inner < 18) pad_to(card, 30);
    put(card, " / ");
  } else if (type == 1) {
    std::string v = lower(text);
    bool t = v == "yes" || v == "y" || v == "true" || v == "t" || v == "1";
    put(card, key + "=                    " + (t ? "T" : "F") + " / ");
  } else if (text.size() <= 20) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%20s", text.c_str());
    put(card, key + "= " + buf + " / ");
  } else {
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) d = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%20g", d);
    put(card, key + "= " + buf + " / ");
  }
  if (!old_comment.empty()) put(card, old_comment);
  return card;
}

Parsed parse_card(std::string_view card, std::string_view value, std::string_view comment) {
  Parsed p;
  std::string_view k = card.substr(0, 8);
  std::size_t sp = k.find(' ');
  p.keyword = std::string(k.substr(0, sp));
  bool clike = comment_like(p.keyword);
  std::string v(value), c(comment);
  if (clike) {
    v = c;
    c.clear();
    std::size_t i = 0;
    while (i < v.size() && v[i] == ' ') ++i;
    std::size_t eq = std::string::npos;
    if (i < v.size() && v[i] == '=') {
      eq = i++;
      while (i < v.size() && v[i] == ' ') ++i;
    }
    if (i < v.size() && (v[i] == '\'' || v[i] == '"')) {
      char q = v[i];
      if (eq != std::string::npos) v[eq] = ' ';
      v[i] = ' ';
      for (std::size_t j = i + 1; j < v.size(); ++j) {
        if (v[j] == q && v[j - 1] != '\\') {
          v.resize(j);
          break;
        }
      }
    }
  } else {
    v = unquote_value(v);
  }
  p.value = rtrim_blanks(v);
  p.comment = rtrim_blanks(c);
  if (clike || (card.size() > 10 && card[10] == '\'')) {
    p.type = 2;
  } else if (card.size() > 29 && (card[29] == 'T' || card[29] == 'F')) {
    p.type = 1;
  } else {
    std::string u = upper(card);
    u = u.substr(0, u.find('/'));
    std::string span = u.size() > 10 ? u.substr(10, 20) : std::string();
    p.type = span.find_first_of(".ED") != std::string::npos ? 7 : 4;
  }
  return p;
}

int nearest_int(double d) {
  if (!(d > -2147483648.5 && d < 2147483647.5)) return -2147483647;
  double r = std::round(d);
  if (r < -2147483647.0 || r > 2147483647.0) return -2147483647;
  return static_cast<int>(r);
}

}  // namespace tbfcard
