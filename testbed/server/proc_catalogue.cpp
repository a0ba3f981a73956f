// The catalogue procedures: sp_tables, sp_special_columns, sp_serverinfo.
#include <cstdlib>

#include "catalogue.h"
#include "charsets.h"
#include "procedures.h"
#include "sqlrewrite.h"
#include "timestamps.h"
#include "values.h"

namespace standin {
namespace {

ColumnFormat varchar_col(const char* name, std::uint32_t length) {
  return result_column(name, varchar_format(length));
}

ColumnFormat fixed_col(const char* name, std::uint8_t type) {
  ColumnFormat f;
  f.name = name;
  f.type = type;
  f.max_length = static_cast<std::uint32_t>(fixed_size(type));
  f.user_type = type == 48 ? 5 : type == 52 ? 6 : 7;
  return f;
}

WireValue small(long v) { return be_bytes(static_cast<std::uint64_t>(v), 2); }
WireValue integer(long v) { return be_bytes(static_cast<std::uint64_t>(v), 4); }

struct TypeInfo {
  int data_type;
  const char* name;
  long precision, length, scale;
};

// What sp_special_columns reports of a column's declared type.
TypeInfo type_info(const std::string& decl) {
  long n = 0;
  auto open = decl.find('(');
  if (open != std::string::npos) n = std::strtol(decl.c_str() + open + 1, nullptr, 10);
  if (is_timestamp_decl(decl)) return {-2, "timestamp", 8, 8, 0};
  if (decl.find("varbinary") != std::string::npos) return {-3, "varbinary", n, n, 0};
  if (decl.find("binary") != std::string::npos) return {-2, "binary", n, n, 0};
  if (decl.find("date") != std::string::npos || decl.find("time") != std::string::npos)
    return {11, "datetime", 23, 16, 3};
  if (decl.find("varchar") != std::string::npos) return {12, "varchar", n, n, 0};
  if (decl.find("char") != std::string::npos) return {1, "char", n, n, 0};
  if (decl.find("text") != std::string::npos) return {-1, "text", 2147483647, 2147483647, 0};
  if (decl.find("smallint") != std::string::npos) return {5, "smallint", 5, 2, 0};
  if (decl.find("tinyint") != std::string::npos) return {-6, "tinyint", 3, 1, 0};
  if (decl.find("int") != std::string::npos) return {4, "int", 10, 4, 0};
  if (decl.find("real") != std::string::npos) return {7, "real", 7, 4, 0};
  if (decl.find("floa") != std::string::npos || decl.find("doub") != std::string::npos) return {8, "float", 15, 8, 0};
  return {12, "varchar", 255, 255, 0};
}

// The owner and qualifier a catalogue procedure was given must be ours.
bool qualifier_ok(const ProcEnv& env, ProcReply& r, const char* proc, const std::string& qualifier) {
  if (qualifier.empty() || lower(qualifier) == lower(env.database)) return true;
  proc_error(env, r, proc, 18039, 16, "Table qualifier must be name of current database.", 1);
  return false;
}

}  // namespace

void sp_tables(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string pattern = param_text(call, "@table_name", 0);
  std::string owner = param_text(call, "@table_owner", 1);
  std::string qualifier = param_text(call, "@table_qualifier", 2);
  std::string types = param_text(call, "@table_type", 3);
  if (!qualifier_ok(env, r, "sp_tables", qualifier)) return;
  ResultSet rs;
  rs.cols = {varchar_col("table_qualifier", 32), varchar_col("table_owner", 32), varchar_col("table_name", 32),
             varchar_col("table_type", 32), varchar_col("remarks", 254)};
  bool owner_ok = owner.empty() || owner == "%" || lower(owner) == "dbo";
  for (const TableInfo& t : list_tables(env.sql.handle(), pattern.empty() ? "%" : pattern)) {
    if (!owner_ok) break;
    if (!types.empty() && types.find(t.type) == std::string::npos) continue;
    rs.rows.push_back({env.database, std::string("dbo"), t.name, t.type, WireValue{}});
  }
  proc_result(r, rs);
}

void sp_special_columns(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string table = param_text(call, "@table_name", 0);
  std::string owner = param_text(call, "@table_owner", 1);
  std::string qualifier = param_text(call, "@table_qualifier", 2);
  std::string col_type = param_text(call, "@col_type", 3);
  if (!qualifier_ok(env, r, "sp_special_columns", qualifier)) return;
  ResultSet rs;
  rs.cols = {fixed_col("scope", 52),      varchar_col("column_name", 32), fixed_col("data_type", 52),
             varchar_col("type_name", 32), fixed_col("precision", 56),    fixed_col("length", 56),
             fixed_col("scale", 52),       fixed_col("pseudo_column", 52)};
  TableInfo ti;
  bool owner_ok = owner.empty() || lower(owner) == "dbo";
  std::string schema = table_schema(table);
  if (owner_ok && find_table(env.sql.handle(), schema, table, ti) && ti.type == "TABLE") {
    std::vector<std::string> cols;
    if (lower(col_type) == "v") {
      std::string ts = timestamp_column(env.sql.handle(), schema, ti.name);
      if (!ts.empty()) cols.push_back(ts);
    } else {
      cols = table_key(env.sql.handle(), schema, ti.name);
    }
    auto desc = table_columns(env.sql.handle(), schema, ti.name);
    for (const std::string& c : cols) {
      std::string decl;
      for (const ColumnDesc& d : desc)
        if (d.name == c) decl = d.decl;
      TypeInfo t = type_info(decl);
      rs.rows.push_back({small(2), c, small(t.data_type), std::string(t.name), integer(t.precision),
                         integer(t.length), small(t.scale), small(1)});
    }
  }
  proc_result(r, rs);
}

void sp_serverinfo(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string request = lower(param_text(call, "@request", 0));
  if (request == "server_csname") {
    ResultSet rs;
    rs.cols = {varchar_col("name", 30)};
    rs.rows.push_back({env.cfg.charset});
    proc_result(r, rs);
    return;
  }
  if (request != "csdefinition") {
    proc_error(env, r, "sp_serverinfo", 18000, 16, "Unknown request '" + request + "'.", 1);
    return;
  }
  ColumnFormat image;
  image.name = "definition";
  image.status = kRowFmtNullable;
  image.type = kTypeImage;
  image.max_length = 2147483647u;
  image.user_type = 20;
  ResultSet rs;
  rs.cols = {fixed_col("class", 52), fixed_col("id", 48), image};
  if (auto d = charset_definition(param_text(call, "@name", 1)))
    rs.rows.push_back({small(d->cls), be_bytes(static_cast<std::uint64_t>(d->id), 1), d->bytes});
  proc_result(r, rs);
}

}  // namespace standin
