// Language batches of a session: scripted misbehaviour, then statement
// by statement over SQLite.
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "browse.h"
#include "session.h"
#include "setoptions.h"
#include "textutil.h"
#include "timestamps.h"
#include "tokens.h"

namespace standin {
namespace {

// Rows are handed to the writer in chunks of about this size, so that an
// attention is noticed while a large result goes out.
constexpr std::size_t kChunk = 8192;

// The reply stored in a replay file, framed in packets of `packet_size`:
// read and framed once per server while the file keeps its size and
// modification time, so that a replayed reply costs no reading.  Null when
// the file cannot be read.
std::shared_ptr<const std::vector<std::uint8_t>> replay_packets(const std::string& path,
                                                                std::size_t packet_size) {
  struct Cached {
    off_t size;
    timespec mtime;
    std::shared_ptr<const std::vector<std::uint8_t>> packets;
  };
  static std::mutex mu;
  static std::map<std::pair<std::string, std::size_t>, Cached> cache;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return nullptr;
  std::lock_guard<std::mutex> lock(mu);
  Cached& c = cache[{path, packet_size}];
  if (c.packets && c.size == st.st_size && c.mtime.tv_sec == st.st_mtim.tv_sec &&
      c.mtime.tv_nsec == st.st_mtim.tv_nsec)
    return c.packets;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return nullptr;
  c = Cached{st.st_size, st.st_mtim,
             std::make_shared<const std::vector<std::uint8_t>>(ReplyWriter::frame(
                 reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), packet_size))};
  return c.packets;
}

}  // namespace

bool Session::batch(const std::string& text) {
  log("batch", text);
  if (auto r = sh_.script->take_batch(text)) return misbehave(*r, text);
  ReplyWriter w(&conn_, packet_size_);
  Bytes events;
  put_events(events);
  w.put(events);
  run_batch(text, w);
  return w.finish();
}

bool Session::misbehave(const Rule& r, const std::string& text) {
  auto header = [&](std::size_t length, bool eom) {
    Bytes h;
    h.u8(kPacketReply);
    h.u8(eom ? kStatusEom : 0);
    h.u16(static_cast<std::uint32_t>(length));
    h.u16(0);
    h.u8(0);
    h.u8(0);
    return h;
  };
  switch (r.action) {
    case Action::error: {
      log("script", "error " + std::to_string(r.number));
      if (r.after_format) {
        ReplyWriter w(&conn_, packet_size_);
        error_after_format_ = &r;
        run_batch(text, w);
        error_after_format_ = nullptr;
        return w.finish();
      }
      Bytes b;
      put_message(b, true, r.number, 1, r.severity, r.text, sh_.cfg->server_name, "", 1);
      put_done(b, kDoneError, 0, 0);
      ReplyWriter w(&conn_, packet_size_);
      w.put(b);
      return w.finish();
    }
    case Action::bad_length_big: {
      log("script", "badlength big");
      std::size_t len = std::min<std::size_t>(packet_size_ + 64, 65535);
      Bytes b = header(len, true);
      std::vector<std::uint8_t> body(len - kHeaderSize, 0);
      body[0] = kTokDone;
      b.raw(body.data(), body.size());
      return conn_.write_all(b.data(), b.size());
    }
    case Action::bad_length_small: {
      log("script", "badlength small");
      Bytes b = header(4, true);
      return conn_.write_all(b.data(), b.size());
    }
    case Action::bad_token: {
      log("script", "badtoken " + std::to_string(r.token));
      ReplyWriter w(&conn_, packet_size_);
      if (r.after_rows) {
        bad_token_after_row_ = r.token;
        run_batch(text, w);
        bad_token_after_row_ = -1;
      } else {
        Bytes b;
        b.u8(r.token);
        b.raw("\0\0\0\0\0\0\0\0", 8);
        w.put(b);
      }
      return w.finish();
    }
    case Action::replay: {
      // The whole reply goes out in one write, as from a server that holds
      // its result already.
      log("script", "replay " + r.file);
      ReplyWriter w(&conn_, packet_size_);
      auto packets = replay_packets(r.file, w.packet_size());
      if (packets) return w.finish_framed(*packets);
      log("protocol", "cannot read " + r.file);
      return w.finish();
    }
    case Action::record: {
      log("script", "record " + r.file);
      std::vector<std::uint8_t> tee;
      ReplyWriter w(&conn_, packet_size_);
      w.set_tee(&tee);
      run_batch(text, w);
      std::ofstream out(r.file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(tee.data()), static_cast<std::streamsize>(tee.size()));
      if (!out) log("protocol", "cannot write " + r.file);
      return w.finish();
    }
    case Action::close:
      log("script", "close");
      return false;
    case Action::close_mid_packet: {
      log("script", "closemid");
      Bytes b = header(100, true);
      b.u8(kTokDone);
      b.raw("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 19);
      conn_.write_all(b.data(), b.size());
      ::shutdown(conn_.fd(), SHUT_RDWR);
      return false;
    }
    case Action::silent: {
      log("script", "silent");
      Wait wt = wait_silently(r.seconds, r.answer_attention);
      if (wt == Wait::closed) return false;
      if (wt == Wait::attention) return true;
      ReplyWriter w(&conn_, packet_size_);
      run_batch(text, w);
      return w.finish();
    }
    default:
      return true;
  }
}

void Session::put_error(Bytes& b, const SqlError& e, int line) {
  put_message(b, true, e.number, e.state, e.severity, e.text, sh_.cfg->server_name, "",
              static_cast<std::uint16_t>(std::clamp(line, 0, 65535)));
}

void Session::run_batch(const std::string& text, ReplyWriter& w) {
  std::vector<Tok> toks;
  std::string error;
  if (!tokenize(text, toks, error)) {
    Bytes b;
    put_error(b, SqlError{105, 15, 1, error}, 1);
    put_done(b, kDoneError, 0, 0);
    w.put(b);
    return;
  }
  auto stmts = split_statements(toks);
  if (stmts.empty()) {
    Bytes b;
    put_done(b, 0, 0, 0);
    w.put(b);
    return;
  }
  for (std::size_t i = 0; i < stmts.size(); ++i) {
    if (!run_statement(stmts[i], w, i + 1 < stmts.size())) return;
    if (w.cancelled() || w.broken()) return;
  }
}

bool Session::use_database(const std::string& name, Bytes& b, SqlError& e) {
  auto it = sh_.cfg->databases.find(name);
  if (it == sh_.cfg->databases.end()) it = sh_.cfg->databases.find(lower(name));
  if (it == sh_.cfg->databases.end()) {
    e = {911, 16, 1,
         "Attempt to locate entry in Sysdatabases for database '" + name +
             "' by name failed - no entry found under that name. Make sure that name is entered properly."};
    return false;
  }
  if (it->second != sql_.path() || it->second.empty()) {
    std::string error;
    if (!sql_.open(it->second, error)) {
      e = {911, 16, 2, "Cannot open database '" + name + "': " + error};
      return false;
    }
  }
  put_envchange(b, 1, it->first, database_);
  sql_.set_name(it->first);
  put_message(b, false, 5701, 2, 10, "Changed database context to '" + it->first + "'.", sh_.cfg->server_name, "", 1);
  database_ = it->first;
  return true;
}

bool Session::set_option(const std::vector<std::string>& words, Bytes& b, SqlError& e) {
  if (!check_set_statement(words, e)) return false;
  const std::string& opt = words[0];
  const std::string& arg = words[1];
  if (opt == "textsize" || opt == "rowcount") {
    long v = 0;
    parse_long(arg, v);
    (opt == "textsize" ? limits_.textsize : limits_.rowcount) = v;
  } else if (opt == "nocount") {
    nocount_ = arg == "on";
  } else if (opt == "language") {
    put_envchange(b, 2, arg, language_);
    put_message(b, false, 5703, 1, 10, "Changed language setting to " + arg + ".", sh_.cfg->server_name, "", 1);
    language_ = arg;
  }
  // Every other option is accepted and has no effect here.
  return true;
}

bool Session::run_statement(const Statement& st, ReplyWriter& w, bool more) {
  update_vars();
  Translated tr = translate(st, vars_);
  Bytes b;
  SqlError e;
  for (const Attachment& a : tr.attach) {
    if (sql_.attach(a.schema, a.path, e)) continue;
    vars_.error = e.number;
    put_error(b, e, st.line);
    put_done(b, kDoneError, 0, 0);
    w.put(b);
    return false;
  }
  const std::uint16_t more_bit = more ? kDoneMore : 0;
  bool ok = true;
  long count = 0;
  bool counted = false;
  switch (tr.kind) {
    case StmtKind::use:
      ok = use_database(tr.args.empty() ? std::string() : tr.args[0], b, e);
      break;
    case StmtKind::set:
      ok = set_option(tr.args, b, e);
      break;
    case StmtKind::begin_tran:
      ok = vars_.trancount > 0 || sql_.exec_plain("begin", e);
      if (ok) ++vars_.trancount;
      break;
    case StmtKind::commit_tran:
      if (vars_.trancount == 0) {
        e = {3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."};
        ok = false;
      } else if (--vars_.trancount == 0) {
        ok = sql_.exec_plain("commit", e);
      }
      break;
    case StmtKind::rollback_tran:
      if (vars_.trancount == 0) {
        e = {3903, 16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."};
        ok = false;
      } else {
        vars_.trancount = 0;
        ok = sql_.exec_plain("rollback", e);
      }
      break;
    case StmtKind::print:
      put_message(b, false, 0, 1, 0, tr.args.empty() ? std::string() : tr.args[0], sh_.cfg->server_name, "",
                  static_cast<std::uint16_t>(st.line));
      break;
    case StmtKind::exec: {
      ProcCall call;
      std::string error;
      if (!parse_language_call(tr.call.toks, call, error)) {
        e = {102, 15, 1, error};
        ok = false;
        break;
      }
      bool known = call_procedure(call, b, more);
      w.put(b);
      return known;
    }
    case StmtKind::select_into:
      ok = sql_.select_into(tr.sql, tr.target, tr.temp_target, count, e);
      counted = true;
      break;
    case StmtKind::select:
    case StmtKind::other: {
      ResultSet rs;
      bool has_result = false;
      Bytes browse_info;
      if (tr.browse) {
        ok = run_browse(sql_, tr, limits_, rs, browse_info, count, e);
        has_result = ok;
      } else {
        ok = sql_.run(tr.sql, limits_, rs, has_result, count, e);
      }
      if (!ok) break;
      std::string first;
      for (const Tok& t : st.toks)
        if (t.kind == TokKind::word) {
          first = lower(t.text);
          break;
        }
      counted = has_result || first == "insert" || first == "update" || first == "delete";
      if (first == "create" || first == "alter") sql_.prepare_schema();
      std::int64_t ts = 0;
      if (tr.tests_timestamp && count > 0 && last_timestamp(sql_.handle(), tr.update_schema, ts)) {
        // The row's new timestamp, for the client's browse and cursor code.
        ParamValue p;
        p.name = "ts";
        p.status = 1;
        p.user_type = kUserTypeTimestamp;
        p.format.type = kTypeVarBinary;
        p.format.max_length = 8;
        p.data = timestamp_bytes(ts);
        put_returnvalue(b, p);
      }
      if (has_result) {
        put_rowfmt(b, rs.cols);
        b.raw(browse_info);
        if (error_after_format_) {
          const Rule& r = *error_after_format_;
          put_message(b, true, r.number, 1, r.severity, r.text, sh_.cfg->server_name, "", 1);
          put_done(b, kDoneError, 0, 0);
          w.put(b);
          return false;
        }
        for (const auto& row : rs.rows) {
          put_row(b, rs.cols, row);
          put_events(b);
          if (bad_token_after_row_ >= 0) {
            b.u8(static_cast<std::uint32_t>(bad_token_after_row_));
            w.put(b);
            return false;
          }
          if (b.size() >= kChunk) {
            w.put(b);
            b.clear();
            if (w.cancelled() || w.broken()) return false;
          }
        }
      }
      break;
    }
  }
  if (!ok) {
    vars_.error = e.number;
    put_error(b, e, st.line);
    put_done(b, kDoneError, 0, 0);
    w.put(b);
    return false;
  }
  vars_.error = 0;
  vars_.rowcount = counted ? count : 0;
  std::uint16_t status = more_bit;
  if (counted && !nocount_) status |= kDoneCount;
  if (bad_token_after_row_ >= 0) {
    b.u8(static_cast<std::uint32_t>(bad_token_after_row_));
    w.put(b);
    return false;
  }
  put_done(b, status, 0, counted ? static_cast<std::uint32_t>(count) : 0);
  w.put(b);
  return true;
}

}  // namespace standin
