// The query template language and SQL quoting.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loadfile/strfn.h"
#include "orvolib/orvo_error.h"
#include "orvolib/query.h"

namespace {

const int kMaxGroups = 8;
const int kMaxPass = 999;
const std::size_t kBlankFlush = 60;
const int kMaxQuoted = 501;  // longest text quoted whole

struct group {
  std::size_t start;     // template position after the "{"
  std::size_t argument;  // argument position at the "{"
  int pass;
  bool marked;  // ends after this pass
};

// Collects characters into pieces of at most QUERY_MAXPIECE characters.
//
// The access layer joins the pieces with a blank between them, so a piece
// never ends inside a quoted literal: a piece that fills up inside one is
// sent up to the literal's opening quote, and the literal begins the next
// piece.  A literal that cannot fit in one piece is fatal error 21.  The
// literal is followed through the text as it goes out: a doubled quote
// continues it, and inside double quotes a backslash escapes the next
// character (as enquote writes them).
class piece_writer {
 public:
  explicit piece_writer(const std::function<void(const char*)>& send) : send_(send) {}

  void put(char c) {
    const bool keep_literal = follow(c);
    if (piece_.size() == static_cast<std::size_t>(QUERY_MAXPIECE)) flush_full(keep_literal);
    piece_.push_back(c);
  }
  void put(const char* s) {
    for (; *s != '\0'; ++s) put(*s);
  }
  std::size_t size() const { return piece_.size(); }
  // True inside a quoted literal (also right after its closing quote, which
  // a second quote may still turn into a doubled one).
  bool in_literal() const { return quote_ != 0 || closed_ != 0; }
  void send() {
    send_(piece_.c_str());
    piece_.clear();
    start_ = 0;
  }

 private:
  // Follows the literal state through c, the next character to go out;
  // returns whether c belongs to a literal that must stay in one piece.
  bool follow(char c) {
    const bool is_quote = c == '\'' || c == '"';
    if (quote_ != 0) {
      if (escaped_) {
        escaped_ = false;
      } else if (quote_ == '"' && c == '\\') {
        escaped_ = true;
      } else if (c == quote_) {
        closed_ = quote_;  // closes, unless the next one doubles it
        quote_ = 0;
      }
      return true;
    }
    if (closed_ != 0) {
      const char q = closed_;
      closed_ = 0;
      if (c == q) {  // a doubled quote: the literal goes on
        quote_ = q;
        return true;
      }
    }
    if (is_quote) {
      quote_ = c;
      start_ = piece_.size();
      return true;
    }
    return false;
  }

  // Sends a full piece: all of it, or only what precedes the literal c
  // belongs to.
  void flush_full(bool keep_literal) {
    if (!keep_literal) {
      send();
      return;
    }
    if (start_ == 0) {
      char head[41];
      safecopy(head, piece_.c_str(), 40);
      orvo_error(ORVO_TOOLONG, "build_qry: %s", head);
    }
    std::string literal = piece_.substr(start_);
    piece_.resize(start_);
    send();
    piece_ = literal;
  }

  const std::function<void(const char*)>& send_;
  std::string piece_;
  char quote_ = 0;          // the quote of the open literal, 0 outside
  char closed_ = 0;         // the quote that has just closed one, else 0
  bool escaped_ = false;    // a backslash inside double quotes came last
  std::size_t start_ = 0;   // where the current literal starts in the piece
};

[[noreturn]] void syntax_error(const char* tmpl) { orvo_error(ORVO_QRYSYNTAX, "%s", tmpl); }

}  // namespace

void expand_qry(const char* tmpl, std::initializer_list<qry_arg> args,
                const std::function<void(const char*)>& send) {
  std::vector<qry_arg> argv(args);
  std::vector<group> groups;
  piece_writer piece(send);
  std::size_t argi = 0;
  std::size_t n = std::strlen(tmpl);
  for (std::size_t i = 0; i < n;) {
    char c = tmpl[i];
    switch (c) {
      case '^': {
        if (argi >= argv.size()) syntax_error(tmpl);
        const qry_arg& a = argv[argi++];
        if (groups.empty() || a.list == nullptr) {
          piece.put(a.text != nullptr ? a.text : "");
        } else {
          group& g = groups.back();
          const char* element = a.list[g.pass];
          piece.put(element);
          if (element[0] == '\0' || a.list[g.pass + 1][0] == '\0') g.marked = true;
        }
        ++i;
        break;
      }
      case '{':
        if (static_cast<int>(groups.size()) == kMaxGroups) syntax_error(tmpl);
        groups.push_back({i + 1, argi, 0, false});
        ++i;
        break;
      case '}': {
        if (groups.empty() || groups.back().pass > kMaxPass) syntax_error(tmpl);
        group& g = groups.back();
        if (g.marked) {
          groups.pop_back();
          ++i;
        } else {
          ++g.pass;
          i = g.start;
          argi = g.argument;
        }
        break;
      }
      case '[':
        if (!groups.empty() && groups.back().pass == 0) {
          const char* close = std::strchr(tmpl + i, ']');
          i = close == nullptr ? n : static_cast<std::size_t>(close - tmpl) + 1;
        } else {
          ++i;
        }
        break;
      case ']':
        ++i;
        break;
      case '\\':
        if (i + 1 < n) piece.put(tmpl[i + 1]);
        i += 2;
        break;
      default:
        piece.put(c);
        ++i;
        // A blank inside a literal is part of it: the piece goes on.
        if (c == ' ' && piece.size() > kBlankFlush && !piece.in_literal()) piece.send();
        break;
    }
  }
  piece.send();
}

const char* enquote(const char* text) {
  static char result[kMaxQuoted + 3];
  std::size_t n = std::strlen(text);
  bool has_double = std::strchr(text, '"') != nullptr;
  bool has_single = std::strchr(text, '\'') != nullptr;
  if (!(has_double && has_single)) {
    if (n >= static_cast<std::size_t>(kMaxQuoted + 1)) {
      char head[41];
      safecopy(head, text, 40);
      orvo_error(ORVO_TOOLONG, "enquote: %s", head);
    }
    char quote = has_double ? '\'' : '"';
    result[0] = quote;
    std::memcpy(result + 1, text, n);
    result[n + 1] = quote;
    result[n + 2] = '\0';
    return result;
  }
  std::size_t out = 0;
  result[out++] = '"';
  for (const char* p = text; *p != '\0'; ++p) {
    std::size_t need = (*p == '"' || *p == '\'') ? 2 : 1;
    if (out - 1 + need > static_cast<std::size_t>(kMaxQuoted - 1)) {
      result[out] = '\0';
      char head[41];
      safecopy(head, result, 40);
      orvo_error(ORVO_TOOLONG, "enquote: %s", head);
    }
    if (need == 2) result[out++] = '\\';
    result[out++] = *p;
  }
  result[out++] = '"';
  result[out] = '\0';
  return result;
}

std::string sql_quote_double(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    out.push_back(*p);
    if (*p == '\'') out.push_back('\'');
  }
  return out;
}

void fill_query_names(query* q) {
  auto pick = [](char* field, const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    safecopy(field, value != nullptr && value[0] != '\0' ? value : fallback, QUERY_MAXNAME);
  };
  q->conn = 1;
  pick(q->server, "ORVO_SERVER_2", QUERY_DEFAULT_SERVER);
  pick(q->database, "ORVO_DB", "orvo_ops");
  pick(q->archive_db, "PELM_DB", "pelmops");
}
