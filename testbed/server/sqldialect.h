// The server's SQL dialect, turned into SQLite statements.
//
// A batch is split into statements (the dialect needs no separators:
// "select 1 select 2" is two statements), each statement is classified,
// and the ones SQLite runs are rewritten: "#name" temporary tables become
// bracket-quoted names of per-session temporary tables, double-quoted
// strings become string literals, literals in the server's datetime text
// forms become the stored datetime form, "@@rowcount", "@@trancount",
// "@@error" and "@@spid" become their values, "select ... into t" is split
// into its select and its target, and index kinds are dropped.  The forms
// the client's cursors and browse mode build are rewritten too (see
// sqlrewrite.h): database-qualified names, 0x binary literals, holdlock,
// "delete t" / "insert t", qualified columns in "set", "update ... from"
// and "delete ... from", and "for browse".
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// sqlite: text already in SQLite's form (made by the rewrites).
enum class TokKind { word, number, squote, dquote, bracket, punct, space, sqlite };

struct Tok {
  TokKind kind = TokKind::space;
  std::string text;   // as written
  std::string value;  // string literals: the content with doubled quotes undone
  std::size_t offset = 0;
};

// True for a binary literal: a number token "0x" and hexadecimal digits.
inline bool is_binary_literal(const Tok& t) {
  return t.kind == TokKind::number && t.text.size() >= 2 && (t.text[1] == 'x' || t.text[1] == 'X');
}

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

// Values of the session's global variables at the time of translation,
// and what database-qualified names are resolved against.
struct SessionVars {
  long rowcount = 0;
  long trancount = 0;
  long error = 0;
  long spid = 0;
  std::string database;  // the session's current database
  std::string path;      // its SQLite file
  const std::map<std::string, std::string>* databases = nullptr;  // name -> file
  // True for the name of a built-in procedure, which a statement may call
  // without "exec".
  bool (*is_procedure)(const std::string& lower_name) = nullptr;
};

// A database a statement names that must be attached under a schema name.
struct Attachment {
  std::string schema;
  std::string path;
};

struct Translated {
  StmtKind kind = StmtKind::other;
  std::string sql;                // SQLite text for select, select_into, other
  std::string target;             // select_into: target table as SQLite names it
  bool temp_target = false;       // select_into: a "#" table
  std::vector<std::string> args;  // use: database; set: lower-cased words; print: text; exec: name
  std::vector<Attachment> attach;  // databases to attach before running
  // select ... for browse: the select list ends at sql[list_end] (hidden
  // key columns go there) and the tables of the from clause.
  bool browse = false;
  std::size_t list_end = 0;
  struct FromTable {
    std::string sqlite_name;  // as SQLite names it
    std::string ref;          // how columns are qualified: alias or name
  };
  std::vector<FromTable> from;
  // update: the schema of its table and whether its where clause tests a
  // timestamp (then the server returns the row's new timestamp).
  std::string update_schema;
  bool tests_timestamp = false;
  Statement call;  // exec: the procedure call's tokens (see proccall.h)
};

// Rewrites one statement.
Translated translate(const Statement& st, const SessionVars& vars);

// The SQLite name of a dialect table name ("#t" becomes "[#t]").
std::string sqlite_table_name(const std::string& name);

}  // namespace standin
