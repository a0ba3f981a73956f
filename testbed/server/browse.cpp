#include "browse.h"

#include <algorithm>

#include "catalogue.h"
#include "sqlrewrite.h"
#include "tokens.h"

namespace standin {
namespace {

// Schema and table of a from-clause name as SQLite writes it ("t",
// "[#t]", "other.t").
void split_name(const std::string& sqlite_name, std::string& schema, std::string& table) {
  std::string n;
  for (char c : sqlite_name)
    if (c != '[' && c != ']' && c != '"') n += c;
  auto dot = n.find('.');
  schema = dot == std::string::npos ? table_schema(n) : n.substr(0, dot);
  table = dot == std::string::npos ? n : n.substr(dot + 1);
}

bool same_column(const ColumnOrigin& o, const std::string& schema, const std::string& table, const std::string& col) {
  return lower(o.schema) == lower(schema) && lower(o.table) == lower(table) && lower(o.column) == lower(col);
}

}  // namespace

bool run_browse(SqlSession& sql, const Translated& tr, const ResultLimits& limits, ResultSet& rs, Bytes& info,
                long& count, SqlError& err) {
  std::vector<ColumnOrigin> origins;
  if (!sql.describe(tr.sql, origins, err)) return false;
  // Key and timestamp columns the select list leaves out become hidden.
  std::string hidden;
  for (const auto& f : tr.from) {
    std::string schema, table;
    split_name(f.sqlite_name, schema, table);
    TableInfo ti;
    if (!find_table(sql.handle(), schema, table, ti) || ti.type != "TABLE") continue;
    std::vector<std::string> wanted = table_key(sql.handle(), schema, ti.name);
    std::string ts = timestamp_column(sql.handle(), schema, ti.name);
    if (!ts.empty()) wanted.push_back(ts);
    for (const std::string& col : wanted) {
      bool present = std::any_of(origins.begin(), origins.end(),
                                 [&](const ColumnOrigin& o) { return same_column(o, schema, ti.name, col); });
      if (!present) hidden += ", " + f.ref + ".\"" + col + "\"";
    }
  }
  std::string text = tr.sql;
  if (!hidden.empty()) {
    std::string head = tr.sql.substr(0, tr.list_end);
    while (!head.empty() && head.back() == ' ') head.pop_back();
    text = head + hidden + " " + tr.sql.substr(tr.list_end);
  }
  const std::size_t visible = origins.size();
  bool has_result = false;
  if (!sql.run(text, limits, rs, has_result, count, err)) return false;
  // The tables read, in the order of their first column.
  std::vector<std::string> names;
  std::vector<std::pair<std::string, std::string>> tables;
  std::vector<std::vector<std::string>> keys;
  std::vector<ColInfoEntry> entries;
  for (std::size_t i = 0; i < rs.origins.size(); ++i) {
    const ColumnOrigin& o = rs.origins[i];
    ColInfoEntry e;
    e.column = static_cast<std::uint8_t>(i + 1);
    if (o.table.empty()) {
      e.status = 4;
    } else {
      auto at = std::find(tables.begin(), tables.end(), std::make_pair(o.schema, o.table));
      if (at == tables.end()) {
        tables.emplace_back(o.schema, o.table);
        names.push_back(o.table);
        keys.push_back(table_key(sql.handle(), o.schema, o.table));
        at = tables.end() - 1;
      }
      std::size_t t = static_cast<std::size_t>(at - tables.begin());
      e.table = static_cast<std::uint8_t>(t + 1);
      for (const std::string& k : keys[t])
        if (lower(k) == lower(o.column)) e.status |= 8;
      if (lower(rs.cols[i].name) != lower(o.column)) {
        e.status |= 0x20;
        e.source = o.column;
      }
    }
    if (i >= visible) e.status |= 0x10;
    entries.push_back(e);
  }
  put_tabname(info, names);
  put_colinfo(info, entries);
  return true;
}

}  // namespace standin
