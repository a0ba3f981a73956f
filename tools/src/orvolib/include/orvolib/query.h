// The database conversation helpers: the query record, the template
// language that sends SQL text in pieces, and SQL quoting.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

// Longest server, database and archive database name.
inline constexpr int QUERY_MAXNAME = 63;

// The record of one database conversation.
struct query {
  int conn = 1;  // the access layer's connection slot
  char server[QUERY_MAXNAME + 1] = {};
  char database[QUERY_MAXNAME + 1] = {};
  char archive_db[QUERY_MAXNAME + 1] = {};
};

// The server used when ORVO_SERVER_2 is absent.
inline constexpr const char* QUERY_DEFAULT_SERVER = "MERROW_1";

// A new record from the environment (ORVO_SERVER_2, ORVO_DB, PELM_DB; unset
// or empty means the default), after handing the login items to the access
// layer.
query* init_query();
void free_query(query* q);

// Fills a record's names from the environment without touching the access
// layer.
void fill_query_names(query* q);

// One argument of a template: a string, or (inside a repeat group) an array
// of strings ended by an empty string.
struct qry_arg {
  qry_arg(const char* s) : text(s) {}           // NOLINT: implicit by design
  qry_arg(const char* const* l) : list(l) {}    // NOLINT
  const char* text = nullptr;
  const char* const* list = nullptr;
};

// Longest piece handed to the sink.
inline constexpr int QUERY_MAXPIECE = 511;

// Expands a template (see build_qry) and hands each piece to `send`.
void expand_qry(const char* tmpl, std::initializer_list<qry_arg> args,
                const std::function<void(const char*)>& send);

// Expands a template and appends it to the statement of a connection in
// pieces (qelt_query).  "^" inserts the next argument; "{" ... "}" repeats a
// group over array arguments; "[" ... "]" inside a group is left out on its
// first pass; "\" copies the next character.  A piece is sent after a
// template blank once it holds more than 60 characters, when it is full,
// and at the end.  A malformed template is fatal error 47.
void build_qry(int conn, const char* tmpl, std::initializer_list<qry_arg> args = {});

// The text between double quotes (single quotes when it holds a double
// quote; double quotes with backslashes before every quote when it holds
// both), in a static buffer the next call overwrites.  A text too long for
// the buffer is fatal error 21.
const char* enquote(const char* text);

// The text with every single quote doubled, for use inside an SQL literal.
std::string sql_quote_double(const char* text);
