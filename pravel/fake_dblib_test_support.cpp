// Scripted stand-in for the DB client (see fake_dblib_test_support.h).
#include "fake_dblib_test_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "dblib/dblib.h"

struct dbprocess {
  std::string cmdbuf;
  bool batch_sent = false;
  bool dead = false;
  fakedb::Answer answer;
  bool has_answer = false;
  int result = -1;  // index of the current result set
  int row = -1;     // index of the current row
  int fails_left = 0;
  bool in_rpc = false;
  bool ended = false;  // the last result is read: the return status is known
  struct PendingParam {
    fakedb::RpcParam p;
    const BYTE* value;
  };
  std::string rpc_name;
  std::vector<PendingParam> rpc_params;
  struct Bound {
    int column, type, length;
    BYTE* var;
  };
  std::vector<Bound> binds;
};

struct loginrec {
  std::string user, password, app;
  int encrypt = 0;
};

namespace fakedb {
namespace {

State g_state;
std::vector<std::unique_ptr<dbprocess>> g_procs;
DB_ERRHANDLE_PROC g_err = nullptr;
DB_MSGHANDLE_PROC g_msg = nullptr;

void log(const std::string& s) { g_state.log.push_back(s); }

void raise(DBPROCESS* p, int severity, int err, const char* text) {
  if (g_err != nullptr) g_err(p, severity, err, -1, const_cast<char*>(text), nullptr);
}

void deliver(DBPROCESS* p, const std::vector<Msg>& msgs) {
  for (const Msg& m : msgs)
    if (g_msg != nullptr)
      g_msg(p, m.number, m.state, m.severity, const_cast<char*>(m.text.c_str()),
            const_cast<char*>("FAKESRV"), const_cast<char*>(""), 1);
}

const ResultSet* current(DBPROCESS* p) {
  if (!p->has_answer || p->result < 0 ||
      p->result >= static_cast<int>(p->answer.results.size()))
    return nullptr;
  return &p->answer.results[static_cast<std::size_t>(p->result)];
}

const std::optional<std::string>* cell(DBPROCESS* p, int column) {
  const ResultSet* rs = current(p);
  if (rs == nullptr || p->row < 0 || p->row >= static_cast<int>(rs->rows.size())) return nullptr;
  const auto& r = rs->rows[static_cast<std::size_t>(p->row)];
  if (column < 1 || column > static_cast<int>(r.size())) return nullptr;
  return &r[static_cast<std::size_t>(column - 1)];
}

}  // namespace

State& state() { return g_state; }

void reset() {
  g_state = State{};
  g_procs.clear();
}

void script(Answer a) { g_state.script.push_back(std::move(a)); }

int sends_of(const std::string& fragment) {
  int n = 0;
  for (const std::string& s : g_state.sent)
    if (s.find(fragment) != std::string::npos) ++n;
  return n;
}

std::vector<std::string> calls(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& l : g_state.log)
    for (const std::string& n : names)
      if (l.rfind(n, 0) == 0) {
        out.push_back(l);
        break;
      }
  return out;
}

}  // namespace fakedb

using namespace fakedb;

RETCODE dbinit() { log("dbinit"); return SUCCEED; }
RETCODE dbsetversion(int v) { log("dbsetversion(" + std::to_string(v) + ")"); return SUCCEED; }
RETCODE dbsettime(int seconds) { log("dbsettime(" + std::to_string(seconds) + ")"); return SUCCEED; }
DB_ERRHANDLE_PROC dberrhandle(DB_ERRHANDLE_PROC h) {
  log("dberrhandle");
  auto old = g_err;
  g_err = h;
  return old;
}
DB_MSGHANDLE_PROC dbmsghandle(DB_MSGHANDLE_PROC h) {
  log("dbmsghandle");
  auto old = g_msg;
  g_msg = h;
  return old;
}

LOGINREC* dblogin() { log("dblogin"); return new loginrec; }
void dbloginfree(LOGINREC* l) { log("dbloginfree"); delete l; }
RETCODE dbsetlname(LOGINREC* l, const char* v, int item) {
  std::string s = v != nullptr ? v : "";
  log("dbsetlname(" + std::to_string(item) + ")");
  if (item == DBSETUSER) l->user = s;
  if (item == DBSETPWD) l->password = s;
  if (item == DBSETAPP) l->app = s;
  return SUCCEED;
}
RETCODE dbsetlbool(LOGINREC* l, int v, int item) {
  log("dbsetlbool(" + std::to_string(v) + "," + std::to_string(item) + ")");
  if (item == DBSETENCRYPT) l->encrypt = v;
  return SUCCEED;
}
DBPROCESS* dbopen(LOGINREC* l, const char* server) {
  log(std::string("dbopen(") + server + ")");
  if (g_state.open_fails) return nullptr;
  g_state.login_user = l->user;
  g_state.login_password = l->password;
  g_state.login_app = l->app;
  g_state.encrypt = l->encrypt;
  g_state.server = server;
  ++g_state.opened;
  g_procs.push_back(std::make_unique<dbprocess>());
  return g_procs.back().get();
}
RETCODE dbuse(DBPROCESS*, const char* db) {
  log(std::string("dbuse(") + db + ")");
  if (g_state.use_fails) return FAIL;
  g_state.database = db;
  return SUCCEED;
}
void dbclose(DBPROCESS*) { log("dbclose"); }

RETCODE dbsetopt(DBPROCESS* p, int option, const char* param, int) {
  log("dbsetopt(" + std::to_string(option) + "," + (param ? param : "") + ")");
  if (option == DBTEXTSIZE) dbcmd(p, " ");
  return SUCCEED;
}

RETCODE dbcmd(DBPROCESS* p, const char* text) {
  log(std::string("dbcmd(") + text + ")");
  if (p->batch_sent) {
    p->cmdbuf.clear();
    p->batch_sent = false;
  }
  p->cmdbuf += text;
  return SUCCEED;
}

RETCODE dbsqlexec(DBPROCESS* p) {
  log("dbsqlexec");
  p->batch_sent = true;
  g_state.sent.push_back(p->cmdbuf);
  p->answer = Answer{};
  p->has_answer = true;
  for (auto it = g_state.script.begin(); it != g_state.script.end(); ++it) {
    if (p->cmdbuf.find(it->match) != std::string::npos) {
      p->answer = *it;
      g_state.script.erase(it);
      break;
    }
  }
  p->result = -1;
  p->row = -1;
  p->ended = false;
  p->binds.clear();
  deliver(p, p->answer.messages);
  if (p->answer.fails) {
    p->has_answer = false;
    raise(p, 5, 20018, "General DB Server error: Check messages from the DB Server.");
    return FAIL;
  }
  return SUCCEED;
}

RETCODE dbresults(DBPROCESS* p) {
  log("dbresults");
  if (!p->has_answer) return NO_MORE_RESULTS;
  ++p->result;
  p->row = -1;
  p->binds.clear();
  if (p->result >= static_cast<int>(p->answer.results.size())) {
    p->ended = true;
    return NO_MORE_RESULTS;
  }
  const ResultSet* rs = current(p);
  p->fails_left = rs->fail_times;
  return SUCCEED;
}

int dbnumcols(DBPROCESS* p) {
  const ResultSet* rs = current(p);
  return rs != nullptr ? static_cast<int>(rs->columns.size()) : 0;
}

char* dbcolname(DBPROCESS* p, int column) {
  const ResultSet* rs = current(p);
  if (rs == nullptr || column < 1 || column > static_cast<int>(rs->columns.size())) return nullptr;
  return const_cast<char*>(rs->columns[static_cast<std::size_t>(column - 1)].c_str());
}

RETCODE dbrows(DBPROCESS* p) {
  const ResultSet* rs = current(p);
  return rs != nullptr && !rs->columns.empty() && !rs->rows.empty() ? SUCCEED : FAIL;
}

RETCODE dbcmdrow(DBPROCESS* p) {
  log("dbcmdrow");
  const ResultSet* rs = current(p);
  if (rs == nullptr && p->has_answer && !p->answer.results.empty())
    rs = &p->answer.results.back();
  return rs != nullptr && !rs->columns.empty() ? SUCCEED : FAIL;
}

DBINT dbcount(DBPROCESS* p) { log("dbcount"); return p->answer.count; }

RETCODE dbbind(DBPROCESS* p, int column, int type, DBINT len, BYTE* var) {
  log("dbbind(" + std::to_string(column) + "," + std::to_string(type) + "," +
      std::to_string(len) + ")");
  p->binds.push_back({column, type, len, var});
  return SUCCEED;
}

STATUS dbnextrow(DBPROCESS* p) {
  log("dbnextrow");
  const ResultSet* rs = current(p);
  if (rs == nullptr) return NO_MORE_ROWS;
  int next = p->row + 1;
  if (next == rs->fail_at && p->fails_left > 0) {
    --p->fails_left;
    deliver(p, rs->fail_msgs);
    if (rs->dead_on_fail) p->dead = true;
    if (rs->fail_err != 0) raise(p, 7, rs->fail_err, "Row fetch failed.");
    if (p->fails_left == 0 && !rs->dead_on_fail && rs->fail_msgs.empty()) p->row = next;
    return FAIL;
  }
  if (next >= static_cast<int>(rs->rows.size())) {
    if (p->result + 1 == static_cast<int>(p->answer.results.size())) p->ended = true;
    return NO_MORE_ROWS;
  }
  p->row = next;
  for (const auto& b : p->binds) {
    const auto* c = cell(p, b.column);
    std::string v = c != nullptr && c->has_value() ? **c : "";
    if (b.type == STRINGBIND && b.length > 0) {
      std::size_t room = static_cast<std::size_t>(b.length - 1);
      std::string out = v.substr(0, room);
      out.resize(room, ' ');
      std::memcpy(b.var, out.data(), room);
      b.var[room] = '\0';
    } else if (b.type == INTBIND) {
      DBINT n = static_cast<DBINT>(std::atol(v.c_str()));
      std::memcpy(b.var, &n, sizeof n);
    }
  }
  return REG_ROW;
}

BYTE* dbdata(DBPROCESS* p, int column) {
  const auto* c = cell(p, column);
  if (c == nullptr || !c->has_value()) return nullptr;
  return reinterpret_cast<BYTE*>(const_cast<char*>((*c)->data()));
}

DBINT dbdatlen(DBPROCESS* p, int column) {
  const auto* c = cell(p, column);
  if (c == nullptr) return -1;
  return c->has_value() ? static_cast<DBINT>((*c)->size()) : 0;
}

RETCODE dbdatecrack(DBPROCESS*, DBDATEPARTS* parts, DBDATETIME* value) {
  if (value == nullptr) return FAIL;
  *parts = DBDATEPARTS{};
  parts->year = 1900 + value->days / 365;
  return SUCCEED;
}

DBBOOL dbdead(DBPROCESS* p) { return p != nullptr && p->dead ? TRUE : FALSE; }
RETCODE dbcancel(DBPROCESS* p) {
  log("dbcancel");
  p->in_rpc = false;
  p->rpc_params.clear();
  if (p->has_answer) p->result = static_cast<int>(p->answer.results.size());
  return SUCCEED;
}
RETCODE dbcanquery(DBPROCESS* p) {
  log("dbcanquery");
  if (const ResultSet* rs = current(p)) p->row = static_cast<int>(rs->rows.size());
  return SUCCEED;
}
void dbfreebuf(DBPROCESS* p) {
  log("dbfreebuf");
  p->cmdbuf.clear();
}
RETCODE dbsetinterrupt(DBPROCESS*, DB_INTCHK_PROC, DB_INTHANDLE_PROC) {
  log("dbsetinterrupt");
  return SUCCEED;
}
RETCODE dbsetnull(DBPROCESS*, int type, int, const BYTE*) {
  log("dbsetnull(" + std::to_string(type) + ")");
  return type == 5 ? FAIL : SUCCEED;
}
DBINT dbretstatus(DBPROCESS* p) {
  if (!p->has_answer) return 0;
  const bool seen = p->ended || (p->answer.status_from >= 0 && p->result >= p->answer.status_from);
  return seen ? p->answer.retstatus : 0;
}

RETCODE dbrpcinit(DBPROCESS* p, const char* name, DBSMALLINT options) {
  log(std::string("dbrpcinit(") + name + "," + std::to_string(options) + ")");
  if (g_state.rpcinit_fails || p->in_rpc) {
    raise(p, 1, 20180, "Remote procedure call already initialized.");
    return FAIL;
  }
  p->in_rpc = true;
  p->rpc_name = name;
  p->rpc_params.clear();
  return SUCCEED;
}

RETCODE dbrpcparam(DBPROCESS* p, const char* name, BYTE status, int type, DBINT maxlen,
                   DBINT datalen, const BYTE* value) {
  log(std::string("dbrpcparam(") + name + "," + std::to_string(status) + "," +
      std::to_string(type) + "," + std::to_string(maxlen) + "," + std::to_string(datalen) + ")");
  if (!p->in_rpc) {
    raise(p, 1, 20186, "Must call dbrpcinit() before dbrpcparam() or dbrpcsend().");
    return FAIL;
  }
  for (const std::string& r : g_state.rpcparam_refuse)
    if (r == name) {
      raise(p, 1, 20194, "illegal value for dbrpcparam()");
      return FAIL;
    }
  if ((type == 47 || type == 45) && (datalen < 0 || datalen > 255)) {
    raise(p, 7, 20113, "bad datalen for dbrpcparam()");
    return FAIL;
  }
  RpcParam rp;
  rp.name = name;
  rp.status = status;
  rp.type = type;
  rp.maxlen = maxlen;
  rp.datalen = datalen;
  p->rpc_params.push_back({rp, value});
  return SUCCEED;
}

RETCODE dbrpcsend(DBPROCESS* p) {
  log("dbrpcsend");
  if (!p->in_rpc) {
    raise(p, 1, 20186, "Must call dbrpcinit() before dbrpcparam() or dbrpcsend().");
    return FAIL;
  }
  RpcCall call;
  call.name = p->rpc_name;
  // The values are read now, as the DB client does when it sends the call.
  for (const auto& pp : p->rpc_params) {
    RpcParam rp = pp.p;
    int size = rp.datalen;
    if (rp.datalen == -1) {
      switch (rp.type) {
        case 56: case 59: size = 4; break;
        case 62: size = 8; break;
        case 52: size = 2; break;
        default: size = 0; break;
      }
    }
    if (pp.value != nullptr && size > 0)
      rp.value = std::string(reinterpret_cast<const char*>(pp.value), static_cast<std::size_t>(size));
    call.params.push_back(std::move(rp));
  }
  g_state.rpcs.push_back(call);
  p->in_rpc = false;
  p->rpc_params.clear();
  p->batch_sent = true;
  p->answer = Answer{};
  p->has_answer = true;
  for (auto it = g_state.script.begin(); it != g_state.script.end(); ++it) {
    if (call.name.find(it->match) != std::string::npos) {
      p->answer = *it;
      g_state.script.erase(it);
      break;
    }
  }
  p->result = -1;
  p->row = -1;
  p->ended = false;
  p->binds.clear();
  return SUCCEED;
}

RETCODE dbsqlok(DBPROCESS* p) {
  log("dbsqlok");
  deliver(p, p->answer.messages);
  if (p->answer.fails) {
    p->has_answer = false;
    raise(p, 5, 20018, "General DB Server error: Check messages from the DB Server.");
    return FAIL;
  }
  return SUCCEED;
}

int dbnumrets(DBPROCESS* p) {
  return p->has_answer && p->ended ? static_cast<int>(p->answer.rets.size()) : 0;
}

static const RetVal* ret_of(DBPROCESS* p, int n) {
  if (n < 1 || n > dbnumrets(p)) return nullptr;
  return &p->answer.rets[static_cast<std::size_t>(n - 1)];
}

char* dbretname(DBPROCESS* p, int n) {
  const RetVal* r = ret_of(p, n);
  return r != nullptr ? const_cast<char*>(r->name.c_str()) : nullptr;
}
int dbrettype(DBPROCESS* p, int n) {
  const RetVal* r = ret_of(p, n);
  return r != nullptr ? r->type : -1;
}
DBINT dbretlen(DBPROCESS* p, int n) {
  const RetVal* r = ret_of(p, n);
  if (r == nullptr) return -1;
  return r->data ? static_cast<DBINT>(r->data->size()) : 0;
}
BYTE* dbretdata(DBPROCESS* p, int n) {
  const RetVal* r = ret_of(p, n);
  if (r == nullptr || !r->data || r->data->empty()) return nullptr;
  return reinterpret_cast<BYTE*>(const_cast<char*>(r->data->data()));
}
