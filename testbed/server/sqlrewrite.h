// Token-level rewrites of the statement forms the client's cursors and
// browse mode build, into forms SQLite runs:
//
//   other..t, other.dbo.t, dbo.t    database-qualified names: the current
//                                   database's own name is dropped, another
//                                   database is attached under its name
//   delete t ...                    delete from t ...
//   insert t ...                    insert into t ...
//   update t set t.a = 1            update t set a = 1
//   update t set ... from l where c update t set ... where rowid in
//                                   (select t.rowid from l where c)
//   delete t from l where c         delete from t where rowid in
//                                   (select t.rowid from l where c)
//   select ... for browse           the select, marked as a browse query
//
// Binary literals (0x...), holdlock and "$" before money literals are
// handled where the statement is rendered (sqldialect.cpp).
#pragma once

#include <string>
#include <vector>

#include "sqldialect.h"
#include "textutil.h"

namespace standin {

inline bool is_word(const Tok& t, const char* w) { return t.kind == TokKind::word && lower(t.text) == w; }

// Index of the next token that is not space, from i on.
inline std::size_t next_solid(const std::vector<Tok>& toks, std::size_t i) {
  while (i < toks.size() && toks[i].kind == TokKind::space) ++i;
  return i;
}

// Resolves database-qualified names; databases other than the current one
// are added to `attach` (once each).
void resolve_names(std::vector<Tok>& toks, const SessionVars& vars, std::vector<Attachment>& attach);

// Rewrites delete, insert and update statements (the first word decides);
// for an update also fills tr.update_schema and tr.tests_timestamp.
void rewrite_dml(std::vector<Tok>& toks, const SessionVars& vars, Translated& tr);

// Removes a trailing "for browse"; true when there was one.
bool strip_for_browse(std::vector<Tok>& toks);

// Index of the first "from" outside parentheses, or toks.size().
std::size_t find_from(const std::vector<Tok>& toks, std::size_t start = 0);

// The tables of a select's from clause (starting at the "from" token), after
// resolve_names.
std::vector<Translated::FromTable> from_tables(const std::vector<Tok>& toks, std::size_t from);

}  // namespace standin
