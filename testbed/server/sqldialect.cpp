#include "sqldialect.h"

#include <algorithm>
#include <cctype>

#include "datetime.h"
#include "sqlrewrite.h"

namespace standin {
namespace {

bool word_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool word_char(char c) {
  return word_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

// Words that begin a statement when they appear outside parentheses.
bool starter(const std::string& w) {
  static const char* const words[] = {"select", "insert",   "update",  "delete", "create", "drop",
                                      "set",    "use",      "begin",   "commit", "rollback", "print",
                                      "truncate", "alter",  "exec",    "execute", "declare", "grant",
                                      "revoke"};
  return std::find(std::begin(words), std::end(words), w) != std::end(words);
}

std::string quote_literal(const std::string& v) {
  std::string out = "'";
  for (char c : v) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

bool tokenize(std::string_view sql, std::vector<Tok>& out, std::string& error) {
  out.clear();
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    Tok t;
    t.offset = i;
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < n && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      t.kind = TokKind::space;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      t.kind = TokKind::space;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t e = sql.find("*/", i + 2);
      if (e == std::string_view::npos) {
        error = "Missing end comment mark '*/'.";
        return false;
      }
      i = e + 2;
      t.kind = TokKind::space;
    } else if (c == '\'' || c == '"') {
      t.kind = c == '\'' ? TokKind::squote : TokKind::dquote;
      ++i;
      bool closed = false;
      while (i < n) {
        if (sql[i] == c) {
          if (i + 1 < n && sql[i + 1] == c) {
            t.value += c;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        t.value += sql[i++];
      }
      if (!closed) {
        error = "Unclosed quote before the end of the batch.";
        return false;
      }
    } else if (c == '[') {
      std::size_t e = sql.find(']', i);
      if (e == std::string_view::npos) {
        error = "Unclosed bracket before the end of the batch.";
        return false;
      }
      t.kind = TokKind::bracket;
      t.value = std::string(sql.substr(i + 1, e - i - 1));
      i = e + 1;
    } else if (word_start(c)) {
      while (i < n && word_char(sql[i])) ++i;
      t.kind = TokKind::word;
    } else if (c == '0' && i + 1 < n && (sql[i + 1] == 'x' || sql[i + 1] == 'X')) {
      // A binary literal: 0x and hexadecimal digits (none: an empty value).
      i += 2;
      while (i < n && std::isxdigit(static_cast<unsigned char>(sql[i]))) ++i;
      t.kind = TokKind::number;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      while (i < n && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
        if (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) {
          i = j;
          while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
        }
      }
      t.kind = TokKind::number;
    } else {
      static const char* const two[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||"};
      t.kind = TokKind::punct;
      std::size_t len = 1;
      for (const char* op : two)
        if (sql.substr(i, 2) == op) len = 2;
      i += len;
    }
    t.text = std::string(sql.substr(t.offset, i - t.offset));
    out.push_back(std::move(t));
  }
  return true;
}

std::vector<Statement> split_statements(const std::vector<Tok>& toks) {
  std::vector<Statement> out;
  Statement cur;
  int depth = 0;
  int line = 1;
  std::string first, prev;  // lower-cased first and previous words of the statement
  auto flush = [&]() {
    while (!cur.toks.empty() && cur.toks.back().kind == TokKind::space) cur.toks.pop_back();
    if (!cur.toks.empty()) out.push_back(std::move(cur));
    cur = Statement{};
    first.clear();
    prev.clear();
    depth = 0;
  };
  for (const Tok& t : toks) {
    if (t.kind == TokKind::punct && t.text == ";" && depth == 0) {
      flush();
    } else if (t.kind == TokKind::space) {
      if (!cur.toks.empty()) cur.toks.push_back(t);
    } else {
      if (t.kind == TokKind::punct && t.text == "(") ++depth;
      if (t.kind == TokKind::punct && t.text == ")" && depth > 0) --depth;
      if (t.kind == TokKind::word) {
        std::string w = lower(t.text);
        bool split = depth == 0 && !first.empty() && starter(w);
        // Words that continue the statement they appear in.
        if (w == "select" && (first == "insert" || prev == "union" || prev == "all" || prev == "as" ||
                              prev == "exists"))
          split = false;
        if (w == "set" && first == "update") split = false;
        if ((first == "begin" || first == "commit" || first == "rollback") && prev == first) split = false;
        if (split) flush();
        if (cur.toks.empty()) cur.line = line;
        if (first.empty()) first = w;
        prev = w;
      } else if (cur.toks.empty()) {
        cur.line = line;
      }
      cur.toks.push_back(t);
    }
    line += static_cast<int>(std::count(t.text.begin(), t.text.end(), '\n'));
  }
  flush();
  return out;
}

std::string sqlite_table_name(const std::string& name) {
  if (!name.empty() && name[0] == '#') return "[" + name + "]";
  return name;
}

namespace {

// Rewrites the tokens of a statement into SQLite text.
std::string render(const std::vector<Tok>& toks, const SessionVars& vars) {
  std::string out;
  for (std::size_t k = 0; k < toks.size(); ++k) {
    const Tok& t = toks[k];
    switch (t.kind) {
      case TokKind::space:
        if (!out.empty() && out.back() != ' ') out += ' ';
        break;
      case TokKind::squote:
      case TokKind::dquote:
        if (auto dt = parse_datetime(t.value))
          out += quote_literal(to_stored(*dt));
        else
          out += quote_literal(t.value);
        break;
      case TokKind::bracket:
        out += "[" + t.value + "]";
        break;
      case TokKind::number:
        if (is_binary_literal(t))
          out += "X'" + std::string(t.text.size() % 2 ? "0" : "") + t.text.substr(2) + "'";
        else
          out += t.text;
        break;
      case TokKind::punct:
        // "$12.5000": a money literal as the client prints it.
        if (t.text == "$" && k + 1 < toks.size() && toks[k + 1].kind == TokKind::number) break;
        if (t.text == "$" && k + 2 < toks.size() && toks[k + 1].text == "-" && toks[k + 2].kind == TokKind::number)
          break;
        out += t.text;
        break;
      case TokKind::word: {
        std::string w = lower(t.text);
        if (w == "@@rowcount")
          out += std::to_string(vars.rowcount);
        else if (w == "@@trancount")
          out += std::to_string(vars.trancount);
        else if (w == "@@error")
          out += std::to_string(vars.error);
        else if (w == "@@spid")
          out += std::to_string(vars.spid);
        else if (w == "@@version")
          out += "'Stand-in Server 1.0'";
        else if (t.text[0] == '#')
          out += sqlite_table_name(t.text);
        else if (w == "isnull" && k + 1 < toks.size() && toks[k + 1].text == "(")
          out += "ifnull";
        else if (w == "holdlock" || w == "noholdlock")
          ;  // locks are SQLite's business
        else
          out += t.text;
        break;
      }
      default:
        out += t.text;
    }
  }
  return out;
}

std::string word_or_string(const Tok& t) {
  if (t.kind == TokKind::squote || t.kind == TokKind::dquote || t.kind == TokKind::bracket) return t.value;
  return t.text;
}

}  // namespace

Translated translate(const Statement& st, const SessionVars& vars) {
  Translated tr;
  const auto& toks = st.toks;
  std::vector<std::string> words;  // lower-cased solid tokens
  for (const Tok& t : toks)
    if (t.kind != TokKind::space) words.push_back(lower(word_or_string(t)));
  const std::string first = words.empty() ? std::string() : words[0];

  if (first == "use") {
    tr.kind = StmtKind::use;
    std::size_t i = next_solid(toks, 1);
    if (i < toks.size()) tr.args.push_back(word_or_string(toks[i]));
    return tr;
  }
  if (first == "set") {
    tr.kind = StmtKind::set;
    tr.args.assign(words.begin() + 1, words.end());
    return tr;
  }
  if (first == "begin" && words.size() >= 2 && (words[1] == "tran" || words[1] == "transaction")) {
    tr.kind = StmtKind::begin_tran;
    return tr;
  }
  if (first == "commit") {
    tr.kind = StmtKind::commit_tran;
    return tr;
  }
  if (first == "rollback") {
    tr.kind = StmtKind::rollback_tran;
    return tr;
  }
  if (first == "print") {
    tr.kind = StmtKind::print;
    std::size_t i = next_solid(toks, 1);
    if (i < toks.size()) tr.args.push_back(word_or_string(toks[i]));
    return tr;
  }
  if (first == "exec" || first == "execute" || (vars.is_procedure && vars.is_procedure(first))) {
    // A procedure call: "exec name args" or, for a built-in procedure, the
    // name alone.
    tr.kind = StmtKind::exec;
    bool bare = first != "exec" && first != "execute";
    std::size_t i = bare ? 0 : next_solid(toks, 1);
    tr.call.line = st.line;
    tr.call.toks.assign(toks.begin() + static_cast<std::ptrdiff_t>(i), toks.end());
    if (i < toks.size()) tr.args.push_back(word_or_string(toks[i]));
    return tr;
  }

  std::vector<Tok> body = toks;
  rewrite_dml(body, vars, tr);
  resolve_names(body, vars, tr.attach);
  if (first == "select") {
    tr.kind = StmtKind::select;
    tr.browse = strip_for_browse(body);
    // "select <list> into <target> from ...": find "into" outside parentheses.
    int depth = 0;
    for (std::size_t k = 0; k < body.size(); ++k) {
      const Tok& t = body[k];
      if (t.kind == TokKind::punct && t.text == "(") ++depth;
      if (t.kind == TokKind::punct && t.text == ")") --depth;
      if (depth == 0 && is_word(t, "from")) break;
      if (depth == 0 && is_word(t, "into")) {
        std::size_t j = next_solid(body, k + 1);
        if (j >= body.size()) break;
        tr.kind = StmtKind::select_into;
        std::string name = word_or_string(body[j]);
        tr.temp_target = !name.empty() && name[0] == '#';
        tr.target = sqlite_table_name(name);
        body.erase(body.begin() + static_cast<std::ptrdiff_t>(k), body.begin() + static_cast<std::ptrdiff_t>(j + 1));
        break;
      }
    }
  } else if (first == "create") {
    // Index kinds have no meaning here; "create table #t" makes a
    // temporary table of the session.
    for (std::size_t k = 1; k < body.size(); ++k) {
      if (is_word(body[k], "clustered") || is_word(body[k], "nonclustered")) {
        body.erase(body.begin() + static_cast<std::ptrdiff_t>(k));
        --k;
        continue;
      }
      if (is_word(body[k], "table")) {
        std::size_t j = next_solid(body, k + 1);
        if (j < body.size() && body[j].kind == TokKind::word && body[j].text[0] == '#') {
          Tok temp;
          temp.kind = TokKind::word;
          temp.text = "temp ";
          body.insert(body.begin() + static_cast<std::ptrdiff_t>(k), temp);
        }
        break;
      }
      if (is_word(body[k], "index") || is_word(body[k], "view")) break;
    }
  }
  if (tr.browse) {
    std::size_t from = find_from(body);
    tr.from = from_tables(body, from);
    std::vector<Tok> head(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(from));
    std::vector<Tok> tail(body.begin() + static_cast<std::ptrdiff_t>(from), body.end());
    tr.sql = render(head, vars);
    if (!tr.sql.empty() && tr.sql.back() != ' ') tr.sql += ' ';
    tr.list_end = tr.sql.size();
    tr.sql += render(tail, vars);
    return tr;
  }
  tr.sql = render(body, vars);
  return tr;
}

}  // namespace standin
