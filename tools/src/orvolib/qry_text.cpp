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
class piece_writer {
 public:
  explicit piece_writer(const std::function<void(const char*)>& send) : send_(send) {}

  void put(char c) {
    if (piece_.size() == static_cast<std::size_t>(QUERY_MAXPIECE)) flush_full();
    piece_.push_back(c);
  }
  void put(const char* s) {
    for (; *s != '\0'; ++s) put(*s);
  }
  std::size_t size() const { return piece_.size(); }
  void send() {
    send_(piece_.c_str());
    piece_.clear();
  }

 private:
  // A full piece is sent without its trailing run of single quotes, which
  // starts the next piece, so a doubled quote is never split by the blank
  // the access layer puts between pieces.
  void flush_full() {
    std::size_t run = piece_.find_last_not_of('\'');
    std::size_t keep = run == std::string::npos ? piece_.size() : run + 1;
    if (keep == 0 || keep == piece_.size()) keep = piece_.size();
    std::string rest = piece_.substr(keep);
    piece_.resize(keep);
    send();
    piece_ = rest;
  }

  const std::function<void(const char*)>& send_;
  std::string piece_;
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
        if (c == ' ' && piece.size() > kBlankFlush) piece.send();
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
