// A scripted stand-in for the DB client's public entry points, linked only
// into the access layer's tests.  Each dbsqlexec takes the first scripted
// answer whose text fragment occurs in the batch sent (a batch without one
// succeeds with no rows), and every call is logged for the tests to check.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fakedb {

struct Msg {
  int number = 0;
  int state = 1;
  int severity = 16;
  std::string text;
};

struct ResultSet {
  std::vector<std::string> columns;  // none: a result without columns (DONE only)
  std::vector<std::vector<std::optional<std::string>>> rows;
  int fail_at = -1;           // dbnextrow fails instead of delivering this row
  std::vector<Msg> fail_msgs; // server messages raised by that failure
  int fail_err = 0;           // client error raised by that failure (0 none)
  bool dead_on_fail = false;  // the failure marks the connection dead
  int fail_times = 1;         // consecutive failures at that row
};

// A return value of a stored-procedure call (no data: NULL).
struct RetVal {
  std::string name;
  int type = 56;
  std::optional<std::string> data;
};

struct Answer {
  std::string match;           // fragment of the batch text (or procedure name) this answers
  std::vector<Msg> messages;   // messages delivered while executing
  bool fails = false;          // dbsqlexec fails with client error 20018
  std::vector<ResultSet> results{ResultSet{}};
  int count = -1;              // dbcount of the batch
  int retstatus = 0;           // return status, seen once the last result is read
  int status_from = -1;        // or seen from this result set on (a nested call's)
  std::vector<RetVal> rets;    // return values of a procedure
};

// A result set of these columns and rows.
inline ResultSet result(std::vector<std::string> columns,
                        std::vector<std::vector<std::optional<std::string>>> rows) {
  ResultSet rs;
  rs.columns = std::move(columns);
  rs.rows = std::move(rows);
  return rs;
}

// An answer with one result set for the batches that hold `match`.
inline Answer answer(std::string match, ResultSet rs) {
  Answer a;
  a.match = std::move(match);
  a.results = {std::move(rs)};
  return a;
}

// A parameter of a remote procedure call as it was sent.
struct RpcParam {
  std::string name;
  int status = 0, type = 0, maxlen = 0, datalen = 0;
  std::optional<std::string> value;  // the bytes read when the call was sent
};

struct RpcCall {
  std::string name;
  std::vector<RpcParam> params;
};

struct State {
  std::vector<std::string> log;       // every call, e.g. "dbcmd(select 1)"
  std::vector<std::string> sent;      // each batch text sent by dbsqlexec
  std::vector<Answer> script;
  bool open_fails = false;
  bool use_fails = false;
  std::string login_user, login_password, login_app, server, database;
  int encrypt = 0;
  int opened = 0;
  std::vector<RpcCall> rpcs;          // each call sent by dbrpcsend
  bool rpcinit_fails = false;
  std::vector<std::string> rpcparam_refuse;  // parameter names dbrpcparam refuses
};

// The fake's state; reset() empties it and frees every connection.
State& state();
void reset();
void script(Answer a);
// Number of batches sent whose text contains `fragment`.
int sends_of(const std::string& fragment);
// Log entries whose text starts with any of the given call names.
std::vector<std::string> calls(const std::vector<std::string>& names);

}  // namespace fakedb
