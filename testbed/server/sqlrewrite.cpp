#include "sqlrewrite.h"

#include <algorithm>

#include "catalogue.h"

namespace standin {
namespace {

bool is_punct(const Tok& t, const char* p) { return t.kind == TokKind::punct && t.text == p; }

Tok sqlite_tok(const std::string& text) {
  Tok t;
  t.kind = TokKind::sqlite;
  t.text = text;
  return t;
}

Tok word_tok(const std::string& text) {
  Tok t;
  t.kind = TokKind::word;
  t.text = text;
  return t;
}

Tok space_tok() {
  Tok t;
  t.kind = TokKind::space;
  t.text = " ";
  return t;
}

// One part of a name as SQLite writes it.
std::string part_text(const Tok& t) {
  if (t.kind == TokKind::bracket) return "[" + t.value + "]";
  if (t.kind == TokKind::word && !t.text.empty() && t.text[0] == '#') return "[" + t.text + "]";
  return t.text;
}

bool name_part(const Tok& t) { return t.kind == TokKind::word || t.kind == TokKind::bracket; }

// A dotted name starting at toks[k]: its parts ("" where two dots meet)
// and the index after it.
struct Chain {
  std::size_t begin = 0, end = 0;
  std::vector<std::string> parts;  // as written
  std::vector<std::string> texts;  // as SQLite writes them
};

bool chain_at(const std::vector<Tok>& toks, std::size_t k, Chain& c) {
  if (k >= toks.size() || !name_part(toks[k])) return false;
  if (k > 0 && is_punct(toks[k - 1], ".")) return false;
  c = Chain{};
  c.begin = k;
  c.parts.push_back(toks[k].kind == TokKind::bracket ? toks[k].value : toks[k].text);
  c.texts.push_back(part_text(toks[k]));
  std::size_t j = k + 1;
  while (j + 1 < toks.size() && is_punct(toks[j], ".")) {
    const Tok& n = toks[j + 1];
    if (name_part(n) || is_punct(n, "*")) {
      c.parts.push_back(n.kind == TokKind::bracket ? n.value : n.text);
      c.texts.push_back(part_text(n));
      j += 2;
    } else if (is_punct(n, ".")) {
      c.parts.emplace_back();
      c.texts.emplace_back();
      j += 1;
    } else {
      break;
    }
  }
  c.end = j;
  return true;
}

const std::string* database_path(const SessionVars& vars, const std::string& name) {
  if (!vars.databases) return nullptr;
  for (const auto& [n, path] : *vars.databases)
    if (lower(n) == lower(name)) return &path;
  return nullptr;
}

// The SQLite form of a name whose parts name a database ("db..t",
// "db.owner.t", each optionally followed by a column) or the owner "dbo";
// empty when the name needs no change.  `schema` receives the schema the
// table lives in.
std::string resolve_chain(const Chain& c, const SessionVars& vars, std::vector<Attachment>& attach,
                          std::string* schema) {
  const auto& p = c.parts;
  std::string db;
  std::size_t rest = 0;
  if (p.size() >= 3 && !p[0].empty() && (p[1].empty() || database_path(vars, p[0]))) {
    db = p[0];
    rest = 2;
  } else if (p.size() >= 2 && lower(p[0]) == "dbo" && !p[1].empty()) {
    rest = 1;
  } else {
    return {};
  }
  std::string out;
  const std::string* path = db.empty() ? nullptr : database_path(vars, db);
  bool current = db.empty() || lower(db) == lower(vars.database) ||
                 (path && !path->empty() && *path == vars.path);
  if (!current) {
    std::string name = lower(db);
    if (path) {
      bool known = std::any_of(attach.begin(), attach.end(), [&](const Attachment& a) { return a.schema == name; });
      if (!known) attach.push_back({name, *path});
    }
    out = name + ".";
    if (schema) *schema = name;
  }
  for (std::size_t i = rest; i < c.texts.size(); ++i) out += (i > rest ? "." : "") + c.texts[i];
  return out;
}

// Index of the first of the words outside parentheses from `start` on.
std::size_t find_word(const std::vector<Tok>& toks, std::size_t start, std::initializer_list<const char*> words) {
  int depth = 0;
  for (std::size_t k = start; k < toks.size(); ++k) {
    const Tok& t = toks[k];
    if (is_punct(t, "(")) ++depth;
    if (is_punct(t, ")")) --depth;
    if (depth == 0)
      for (const char* w : words)
        if (is_word(t, w)) return k;
  }
  return toks.size();
}

// The tokens that qualify the target's rowid inside the from list: the
// alias given to the target there, else the target's own tokens.
std::vector<Tok> target_ref(const std::vector<Tok>& toks, std::size_t from, const std::vector<Tok>& target) {
  std::string want;
  for (const Tok& t : target) want += lower(t.text);
  std::size_t end = find_word(toks, from + 1, {"where", "group", "order", "having"});
  std::size_t k = next_solid(toks, from + 1);
  while (k < end) {
    Chain c;
    if (!chain_at(toks, k, c)) break;
    std::string name;
    for (std::size_t i = c.begin; i < c.end; ++i) name += lower(toks[i].text);
    std::size_t a = next_solid(toks, c.end);
    bool alias = a < end && toks[a].kind == TokKind::word && !is_word(toks[a], "holdlock") &&
                 !is_word(toks[a], "noholdlock");
    if (name == want) {
      if (alias) return {toks[a]};
      break;
    }
    while (k < end && !is_punct(toks[k], ",")) ++k;
    k = next_solid(toks, k + 1);
  }
  return target;
}

// True when the from list (starting at toks[from]) names the target alone,
// without a correlation name.
bool target_alone(const std::vector<Tok>& toks, std::size_t from, const std::vector<Tok>& target) {
  std::size_t k = next_solid(toks, from + 1);
  Chain c;
  if (!chain_at(toks, k, c) || c.end - c.begin != target.size()) return false;
  for (std::size_t i = 0; i < target.size(); ++i)
    if (lower(toks[c.begin + i].text) != lower(target[i].text)) return false;
  std::size_t next = next_solid(toks, c.end);
  return next >= toks.size() || is_word(toks[next], "where");
}

// "... from <list> <rest>" after the statement's target becomes
// "where rowid in (select <ref>.rowid from <list> <rest>)", or, when the
// list is the target alone, just "<rest>" (so that views, which have no
// rowid, can be the target too).
void from_to_subquery(std::vector<Tok>& toks, std::size_t from, const std::vector<Tok>& target) {
  if (target_alone(toks, from, target)) {
    std::size_t where = find_word(toks, from + 1, {"where"});
    toks.erase(toks.begin() + static_cast<std::ptrdiff_t>(from), toks.begin() + static_cast<std::ptrdiff_t>(where));
    return;
  }
  std::vector<Tok> ref = target_ref(toks, from, target);
  std::vector<Tok> out(toks.begin(), toks.begin() + static_cast<std::ptrdiff_t>(from));
  out.push_back(sqlite_tok("where rowid in (select "));
  out.insert(out.end(), ref.begin(), ref.end());
  out.push_back(sqlite_tok(".rowid "));
  out.insert(out.end(), toks.begin() + static_cast<std::ptrdiff_t>(from), toks.end());
  out.push_back(sqlite_tok(")"));
  toks = std::move(out);
}

void rewrite_delete(std::vector<Tok>& toks) {
  std::size_t i = next_solid(toks, 1);
  if (i >= toks.size()) return;
  if (!is_word(toks[i], "from")) {
    toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(i), {word_tok("from"), space_tok()});
  }
  std::size_t t = next_solid(toks, i + 1);
  Chain c;
  if (!chain_at(toks, t, c)) return;
  std::vector<Tok> target(toks.begin() + static_cast<std::ptrdiff_t>(c.begin),
                          toks.begin() + static_cast<std::ptrdiff_t>(c.end));
  std::size_t from = find_word(toks, c.end, {"from"});
  if (from < toks.size()) from_to_subquery(toks, from, target);
}

void rewrite_update(std::vector<Tok>& toks, const SessionVars& vars, Translated& tr) {
  Chain c;
  if (!chain_at(toks, next_solid(toks, 1), c)) return;
  std::vector<Attachment> ignored;
  std::string schema = table_schema(c.parts[0]);
  resolve_chain(c, vars, ignored, &schema);
  tr.update_schema = schema;
  std::vector<Tok> target(toks.begin() + static_cast<std::ptrdiff_t>(c.begin),
                          toks.begin() + static_cast<std::ptrdiff_t>(c.end));
  std::size_t set = find_word(toks, c.end, {"set"});
  if (set >= toks.size()) return;
  // Assigned columns lose their qualifiers: "set t.a = 1" is "set a = 1".
  int depth = 0;
  bool start = true;
  for (std::size_t k = set + 1; k < toks.size(); ++k) {
    const Tok& t = toks[k];
    if (t.kind == TokKind::space) continue;
    if (depth == 0 && (is_word(t, "from") || is_word(t, "where"))) break;
    if (start) {
      start = false;
      Chain a;
      if (chain_at(toks, k, a) && a.parts.size() >= 2) {
        std::size_t eq = next_solid(toks, a.end);
        if (eq < toks.size() && is_punct(toks[eq], "=")) {
          toks.erase(toks.begin() + static_cast<std::ptrdiff_t>(a.begin),
                     toks.begin() + static_cast<std::ptrdiff_t>(a.end - 1));
          continue;
        }
      }
    }
    if (is_punct(t, "(")) ++depth;
    if (is_punct(t, ")")) --depth;
    if (depth == 0 && is_punct(t, ",")) start = true;
  }
  for (std::size_t k = 0; k < toks.size(); ++k) {
    std::size_t open = next_solid(toks, k + 1);
    if (is_word(toks[k], "tsequal") && open < toks.size() && is_punct(toks[open], "(")) tr.tests_timestamp = true;
  }
  std::size_t from = find_word(toks, set, {"from"});
  if (from < toks.size()) from_to_subquery(toks, from, target);
}

void rewrite_insert(std::vector<Tok>& toks) {
  std::size_t i = next_solid(toks, 1);
  if (i < toks.size() && !is_word(toks[i], "into"))
    toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(i), {word_tok("into"), space_tok()});
}

}  // namespace

void resolve_names(std::vector<Tok>& toks, const SessionVars& vars, std::vector<Attachment>& attach) {
  for (std::size_t k = 0; k < toks.size(); ++k) {
    Chain c;
    if (!chain_at(toks, k, c)) continue;
    std::string text = c.parts.size() >= 2 ? resolve_chain(c, vars, attach, nullptr) : std::string();
    if (text.empty()) {
      k = c.end - 1;
      continue;
    }
    toks.erase(toks.begin() + static_cast<std::ptrdiff_t>(c.begin), toks.begin() + static_cast<std::ptrdiff_t>(c.end));
    toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(c.begin), sqlite_tok(text));
  }
}

void rewrite_dml(std::vector<Tok>& toks, const SessionVars& vars, Translated& tr) {
  if (toks.empty()) return;
  if (is_word(toks[0], "delete")) rewrite_delete(toks);
  else if (is_word(toks[0], "insert")) rewrite_insert(toks);
  else if (is_word(toks[0], "update")) rewrite_update(toks, vars, tr);
}

bool strip_for_browse(std::vector<Tok>& toks) {
  std::size_t n = toks.size();
  while (n > 0 && toks[n - 1].kind == TokKind::space) --n;
  if (n == 0 || !is_word(toks[n - 1], "browse")) return false;
  std::size_t f = n - 1;
  while (f > 0 && toks[f - 1].kind == TokKind::space) --f;
  if (f == 0 || !is_word(toks[f - 1], "for")) return false;
  toks.erase(toks.begin() + static_cast<std::ptrdiff_t>(f - 1), toks.end());
  while (!toks.empty() && toks.back().kind == TokKind::space) toks.pop_back();
  return true;
}

std::size_t find_from(const std::vector<Tok>& toks, std::size_t start) { return find_word(toks, start, {"from"}); }

std::vector<Translated::FromTable> from_tables(const std::vector<Tok>& toks, std::size_t from) {
  std::vector<Translated::FromTable> out;
  std::size_t end = find_word(toks, from + 1, {"where", "group", "order", "having", "union", "compute"});
  std::size_t k = next_solid(toks, from + 1);
  while (k < end) {
    Translated::FromTable t;
    std::size_t after = k + 1;
    Chain c;
    if (toks[k].kind == TokKind::sqlite) {
      t.sqlite_name = toks[k].text;
    } else if (chain_at(toks, k, c)) {
      for (std::size_t i = 0; i < c.texts.size(); ++i) t.sqlite_name += (i ? "." : "") + c.texts[i];
      after = c.end;
    } else {
      break;
    }
    t.ref = t.sqlite_name;
    std::size_t a = next_solid(toks, after);
    if (a < end && is_word(toks[a], "as")) a = next_solid(toks, a + 1);
    if (a < end && toks[a].kind == TokKind::word && !is_word(toks[a], "holdlock") && !is_word(toks[a], "noholdlock"))
      t.ref = toks[a].text;
    out.push_back(t);
    while (k < end && !is_punct(toks[k], ",")) ++k;
    k = next_solid(toks, k + 1);
  }
  return out;
}

}  // namespace standin
