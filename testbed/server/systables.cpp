#include "systables.h"

#include <sqlite3.h>

#include <string>

#include "catalogue.h"

namespace standin {
namespace {

// The first column of the first row of a query with text parameters.
bool first_text(sqlite3* db, const char* sql, std::initializer_list<std::string> args, std::string& out) {
  auto rows = query_rows(db, sql, args);
  if (rows.empty() || rows[0][0].empty()) return false;
  out = rows[0][0];
  return true;
}

void index_col_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string table;
  if (!object_name_arg(argv[0], table)) {
    sqlite3_result_null(ctx);
    return;
  }
  long indid = sqlite3_value_int(argv[1]), n = sqlite3_value_int(argv[2]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  std::string name;
  bool found = false;
  if (indid == 1 && n == 1) {
    found = first_text(db, "select name from pragma_table_info(?1) where pk = 1 and lower(type) = 'integer'", {table},
                       name);
  } else if (indid >= 2 && n >= 1) {
    std::string index;
    if (first_text(db, "select name from pragma_index_list(?1) where seq = cast(?2 as integer)",
                   {table, std::to_string(indid - 2)}, index))
      found = first_text(db, "select name from pragma_index_info(?1) where seqno = cast(?2 as integer)",
                         {index, std::to_string(n - 1)}, name);
  }
  if (found)
    sqlite3_result_text(ctx, name.c_str(), -1, SQLITE_TRANSIENT);
  else
    sqlite3_result_null(ctx);
}

const char* const kSysindexes =
    "create temp view if not exists sysindexes (id, indid, status, keycnt, name) as "
    "select object_id(m.name), 1, 2, 1, 'rowid' from sqlite_master m where m.type = 'table' and exists "
    "(select 1 from pragma_table_info(m.name) p where p.pk = 1 and lower(p.type) = 'integer') "
    "union all "
    "select object_id(m.name), il.seq + 2, case when il.\"unique\" then 2 else 0 end, "
    "(select count(*) from pragma_index_info(il.name)), il.name "
    "from sqlite_master m, pragma_index_list(m.name) il where m.type = 'table'";

}  // namespace

void add_system_functions(sqlite3* db) {
  sqlite3_create_function(db, "index_col", 3, SQLITE_UTF8, nullptr, index_col_fn, nullptr, nullptr);
}

void add_system_views(sqlite3* db) { sqlite3_exec(db, kSysindexes, nullptr, nullptr, nullptr); }

}  // namespace standin
