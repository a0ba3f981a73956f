// The server's SQL dialect, turned into SQLite statements.
//
// A batch is split into statements (the dialect needs no separators:
// "select 1 select 2" is two statements), each statement is classified,
// and the ones SQLite runs are rewritten: "#name" temporary tables become
// bracket-quoted names of per-session temporary tables, double-quoted
// strings become string literals, literals in the server's datetime text
// forms become the stored datetime form, "@@rowcount", "@@trancount",
// "@@error" and "@@spid" become their values, "select ... into t" is split
// into its select and its target, and index kinds are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class TokKind { word, number, squote, dquote, bracket, punct, space };

struct Tok {
  TokKind kind = TokKind::space;
  std::string text;   // as written
  std::string value;  // string literals: the content with doubled quotes undone
  std::size_t offset = 0;
};

// Splits SQL text into tokens.  Returns false with a message for an
// unterminated string or comment.
bool tokenize(std::string_view sql, std::vector<Tok>& out, std::string& error);

struct Statement {
  std::vector<Tok> toks;  // without leading and trailing space
  int line = 1;           // line of the batch where the statement starts
};

// Splits a token list into statements.
std::vector<Statement> split_statements(const std::vector<Tok>& toks);

enum class StmtKind { use, set, begin_tran, commit_tran, rollback_tran, print, exec, select, select_into, other };

// Values of the session's global variables at the time of translation.
struct SessionVars {
  long rowcount = 0;
  long trancount = 0;
  long error = 0;
  long spid = 0;
};

struct Translated {
  StmtKind kind = StmtKind::other;
  std::string sql;                // SQLite text for select, select_into, other
  std::string target;             // select_into: target table as SQLite names it
  bool temp_target = false;       // select_into: a "#" table
  std::vector<std::string> args;  // use: database; set: lower-cased words; print: text; exec: name
};

// Rewrites one statement.
Translated translate(const Statement& st, const SessionVars& vars);

// The SQLite name of a dialect table name ("#t" becomes "[#t]").
std::string sqlite_table_name(const std::string& name);

}  // namespace standin
