#include "procedures.h"

#include "sqlrewrite.h"
#include "values.h"

namespace standin {
namespace {

struct Entry {
  const char* name;
  Procedure proc;
};

const Entry kProcedures[] = {
    {"sp_tables", sp_tables},       {"sp_special_columns", sp_special_columns},
    {"sp_serverinfo", sp_serverinfo}, {"echo_params", echo_params},
    {"run_sql", run_sql},           {"raise_error", raise_error},
    {"watch_event", watch_event},   {"raise_event", raise_event},
};

}  // namespace

Procedure find_procedure(const std::string& name) {
  std::string n = lower(name);
  for (const Entry& e : kProcedures)
    if (n == e.name) return e.proc;
  return nullptr;
}

bool is_procedure_name(const std::string& lower_name) { return find_procedure(lower_name) != nullptr; }

ColumnFormat result_column(const char* name, ColumnFormat f) {
  f.name = name;
  f.status = kRowFmtNullable;
  return f;
}

void proc_result(ProcReply& r, const ResultSet& rs) {
  put_rowfmt(r.body, rs.cols);
  for (const auto& row : rs.rows) put_row(r.body, rs.cols, row);
  put_done(r.body, kDoneMore | kDoneCount, 0, static_cast<std::uint32_t>(rs.rows.size()), kTokDoneInProc);
}

void proc_error(const ProcEnv& env, ProcReply& r, const std::string& proc, std::uint32_t number,
                std::uint8_t severity, const std::string& text, std::int32_t status) {
  put_message(r.body, true, number, 1, severity, text, env.cfg.server_name, proc, 1);
  r.failed = true;
  r.status = status;
}

std::string param_text(ProcCall& call, const std::string& name, std::size_t position) {
  ParamValue* p = find_param(call, name, position);
  if (!p) return {};
  auto t = value_text(p->format, p->data);
  return t ? *t : std::string();
}

}  // namespace standin
