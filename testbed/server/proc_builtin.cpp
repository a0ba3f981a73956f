// The procedures that exercise calls: echo_params, run_sql, raise_error,
// watch_event and raise_event.
#include <cstdlib>

#include "procedures.h"
#include "sqlrewrite.h"
#include "values.h"

namespace standin {
namespace {

// An int parameter, or the default when it is missing or not a number.
long int_param(ProcCall& call, const char* name, std::size_t position, long fallback) {
  std::string t = param_text(call, name, position);
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 10);
  return t.empty() || *end ? fallback : v;
}

bool is(const ParamValue& p, const char* name) { return lower(p.name) == name; }

// The event a call names (@name, or its first parameter); empty, with the
// error reported as `proc`'s, when it names none or the server keeps no
// events.
std::string event_name(const ProcEnv& env, ProcCall& call, ProcReply& r, const char* proc) {
  std::string name = param_text(call, "@name", 0);
  if (!name.empty() && env.events) return name;
  proc_error(env, r, proc, 18001, 16, "An event needs a name.", 1);
  return {};
}

}  // namespace

void echo_params(const ProcEnv&, ProcCall& call, ProcReply& r) {
  ResultSet rs;
  rs.cols = {result_column("name", varchar_format(31)), result_column("type", int_format()),
             result_column("length", int_format()), result_column("value", varchar_format(255))};
  for (const ParamValue& p : call.params) {
    auto text = value_text(p.format, p.data);
    rs.rows.push_back({p.name, be_bytes(p.format.type, 4), be_bytes(p.format.max_length, 4),
                       text ? WireValue(text->substr(0, 255)) : WireValue{}});
  }
  proc_result(r, rs);
  r.status = static_cast<std::int32_t>(int_param(call, "@status", static_cast<std::size_t>(-1), 0));
  r.echo_inputs = true;
}

void run_sql(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string text = param_text(call, "@sql", 0);
  std::vector<std::pair<std::string, BindValue>> binds;
  for (const ParamValue& p : call.params)
    if (!p.name.empty() && !is(p, "@sql") && !is(p, "@status"))
      binds.emplace_back(with_at(p.name), bind_value(p.format, p.data));
  std::vector<Tok> toks;
  std::string error;
  if (!tokenize(text, toks, error)) {
    proc_error(env, r, "run_sql", 105, 15, error, -6);
    return;
  }
  ResultSet last;
  for (const Statement& st : split_statements(toks)) {
    Translated tr = translate(st, SessionVars{});
    if (tr.kind != StmtKind::select && tr.kind != StmtKind::other) {
      proc_error(env, r, "run_sql", 156, 15, "Only plain statements run inside run_sql.", -6);
      return;
    }
    ResultSet rs;
    bool has_result = false;
    long count = 0;
    SqlError e;
    if (!env.sql.run(tr.sql, env.limits, rs, has_result, count, e, &binds)) {
      proc_error(env, r, "run_sql", e.number, e.severity, e.text, -6);
      return;
    }
    if (has_result) {
      proc_result(r, rs);
      last = std::move(rs);
    }
  }
  r.status = static_cast<std::int32_t>(int_param(call, "@status", static_cast<std::size_t>(-1), 0));
  // Output parameters take the columns of their names from the last row.
  for (ParamValue& p : call.params) {
    if (!(p.status & 1) || last.rows.empty()) continue;
    std::string want = lower(p.name[0] == '@' ? p.name.substr(1) : p.name);
    for (std::size_t i = 0; i < last.cols.size(); ++i) {
      if (lower(last.cols[i].name) != want) continue;
      auto cell = value_text(last.cols[i], last.rows.back()[i]);
      WireValue v;
      if (!cell) p.data.reset();
      else if (value_from_text(p.format, *cell, v)) p.data = v;
    }
  }
}

void raise_error(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  long number = int_param(call, "@number", 0, 50000);
  long severity = int_param(call, "@severity", 1, 16);
  proc_error(env, r, "raise_error", static_cast<std::uint32_t>(number), static_cast<std::uint8_t>(severity),
             param_text(call, "@message", 2), static_cast<std::int32_t>(int_param(call, "@status", 3, -6)));
}

void watch_event(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string name = event_name(env, call, r, "watch_event");
  if (name.empty()) return;
  env.events->watch(name, env.session);
}

void raise_event(const ProcEnv& env, ProcCall& call, ProcReply& r) {
  std::string name = event_name(env, call, r, "raise_event");
  if (name.empty()) return;
  Bytes b;
  put_event(b, name);
  bool named_first = !call.params.empty() && is(call.params[0], "@name");
  for (std::size_t i = 0; i < call.params.size(); ++i) {
    const ParamValue& p = call.params[i];
    if (is(p, "@name") || (i == 0 && !named_first && p.name.empty())) continue;
    if (is(p, "@message")) {
      auto text = value_text(p.format, p.data);
      put_message(b, false, 0, 1, 10, text ? *text : std::string(), env.cfg.server_name, "raise_event", 1);
      continue;
    }
    ParamValue e = p;
    e.status = 0;
    put_returnvalue(b, e);
  }
  put_done(b, kDoneEvent, 0, 0);
  r.status = env.events->raise(name, b);
}

}  // namespace standin
