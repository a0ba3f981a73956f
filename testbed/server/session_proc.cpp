// Procedure calls of a session: remote procedure calls and "exec"
// statements run the built-in procedures (procedures.h); event
// notifications queued for the session go into its replies.
#include <algorithm>

#include "procedures.h"
#include "session.h"
#include "textutil.h"
#include "tokens.h"
#include "values.h"

namespace standin {

void Session::update_vars() {
  vars_.database = database_;
  vars_.path = sql_.path();
  vars_.databases = &sh_.cfg->databases;
  vars_.is_procedure = is_procedure_name;
}

void Session::put_events(Bytes& b) {
  if (sh_.events) b.raw(sh_.events->take(id_));
}

bool Session::answer_rpc(const Message& m) {
  ProcCall call;
  std::string error;
  if (!parse_rpc(m, call, error)) {
    log("protocol", "bad procedure call: " + error);
    return false;
  }
  log("rpc", call.name);
  log("rpchex", hex_digits(m.body.data(), std::min<std::size_t>(m.body.size(), 2048)));
  for (const ParamValue& p : call.params) log("rpcparam", describe_param(p));
  Bytes b;
  put_events(b);
  call_procedure(call, b, false);
  ReplyWriter w(&conn_, packet_size_);
  w.put(b);
  return w.finish();
}

bool Session::call_procedure(ProcCall& call, Bytes& b, bool more) {
  Procedure proc = find_procedure(call.name);
  if (!proc) {
    vars_.error = 2812;
    put_message(b, true, 2812, 1, 16, "Could not find stored procedure '" + call.name + "'.", sh_.cfg->server_name,
                "", 1);
    put_done(b, kDoneError, 0, 0);
    return false;
  }
  update_vars();
  ProcEnv env{sql_, *sh_.cfg, sh_.events, id_, database_, limits_};
  ProcReply r;
  proc(env, call, r);
  b.raw(r.body);
  put_returnstatus(b, r.status);
  if (call.rpc)
    for (ParamValue& p : call.params)
      if ((p.status & 1) || r.echo_inputs) put_returnvalue(b, p);
  vars_.error = r.failed ? 50000 : 0;
  put_done(b, static_cast<std::uint16_t>((more ? kDoneMore : 0) | (r.failed ? kDoneError : 0)), 0, 0, kTokDoneProc);
  return true;
}

}  // namespace standin
