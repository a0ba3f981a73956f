#include "views.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "catalogue.h"
#include "sqlengine.h"
#include "textutil.h"

namespace standin {
namespace {

std::vector<std::string> names_of(sqlite3* db, const std::string& sql) {
  std::vector<std::string> out;
  for (auto& r : query_rows(db, sql)) out.push_back(r[0]);
  return out;
}

struct ViewColumn {
  std::string name, origin;
};

// The view's columns and the one table they all come from; false when
// they come from several tables or some are expressions.
bool view_source(sqlite3* db, const std::string& schema, const std::string& view, std::vector<ViewColumn>& cols,
                 std::string& table) {
  sqlite3_stmt* st = nullptr;
  std::string sql = "select * from " + quoted(schema) + "." + quoted(view);
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
  bool ok = true;
  for (int i = 0; i < sqlite3_column_count(st) && ok; ++i) {
    ColumnOrigin o = column_origin(st, i);
    ok = !o.column.empty() && schema == o.schema && (table.empty() || table == o.table);
    if (ok) {
      table = o.table;
      cols.push_back({sqlite3_column_name(st, i), o.column});
    }
  }
  sqlite3_finalize(st);
  return ok && !cols.empty();
}

}  // namespace

void add_view_triggers(sqlite3* db, const std::string& schema) {
  const std::string master = schema_master(schema);
  std::vector<std::string> triggers = names_of(db, "select name from sqlite_temp_master where type = 'trigger'");
  for (const std::string& view : names_of(db, "select name from " + master + " where type = 'view'")) {
    const std::string tag = "standin_v_" + schema + "_" + view;
    if (std::find(triggers.begin(), triggers.end(), tag + "_u") != triggers.end()) continue;
    std::vector<ViewColumn> cols;
    std::string table;
    if (!view_source(db, schema, view, cols, table)) continue;
    // The table's row is found by its key, which the view must show.
    std::string where;
    for (const std::string& k : table_key(db, schema, table)) {
      auto c = std::find_if(cols.begin(), cols.end(), [&](const ViewColumn& v) { return lower(v.origin) == lower(k); });
      if (c == cols.end()) {
        where.clear();
        break;
      }
      where += (where.empty() ? "" : " and ") + quoted(k) + " = old." + quoted(c->name);
    }
    if (where.empty()) continue;
    std::string set, list, values;
    for (const ViewColumn& c : cols) {
      set += (set.empty() ? "" : ", ") + quoted(c.origin) + " = new." + quoted(c.name);
      list += (list.empty() ? "" : ", ") + quoted(c.origin);
      values += (values.empty() ? "" : ", ") + std::string("new.") + quoted(c.name);
    }
    const std::string on = " on " + quoted(schema) + "." + quoted(view) + " begin select standin_view_change(); ";
    // Statements inside triggers may not name a schema: the table is found
    // by name (temporary tables first, then main, then attached ones).
    const std::string base = quoted(table);
    std::string sql = "create temp trigger " + quoted(tag + "_u") + " instead of update" + on + "update " + base +
                      " set " + set + " where " + where + "; end;"
                      "create temp trigger " + quoted(tag + "_d") + " instead of delete" + on + "delete from " + base +
                      " where " + where + "; end;"
                      "create temp trigger " + quoted(tag + "_i") + " instead of insert" + on + "insert into " + base +
                      " (" + list + ") values (" + values + "); end;";
    exec_all_or_none(db, sql);
  }
}

}  // namespace standin
