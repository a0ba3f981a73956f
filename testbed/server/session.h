// One client session of the stand-in server: the login exchange, then
// one batch after another until the client goes away.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "batchlog.h"
#include "config.h"
#include "events.h"
#include "proccall.h"
#include "script.h"
#include "sqldialect.h"
#include "sqlengine.h"
#include "wire.h"

namespace standin {

// What all sessions share.
struct Shared {
  const ServerConfig* cfg = nullptr;
  BatchLog* log = nullptr;
  Script* script = nullptr;
  EventHub* events = nullptr;
};

// Fields of the login record the server uses.
struct LoginInfo {
  std::string host, user, password, hostproc, app, server, language, charset, packet_text;
  std::string version;  // the 4 protocol version bytes
  bool encrypted = false;
  bool has_capability = false;
  std::string request_mask, response_mask;
};

// Reads the login record (and the CAPABILITY token after it).  Field
// lengths are bounded by their fields.  False for a message too short to
// hold even the short login record.
bool parse_login(const std::vector<std::uint8_t>& body, LoginInfo& li);

// Encrypts a password under the server's 8-byte key as the client does
// for an encrypted login; false when no encryption is available.
bool encrypt_login_password(const std::string& password, const std::string& key, std::string& out);
// The inverse: the password from its 33 encrypted bytes.
bool decrypt_login_password(const std::string& key, const std::string& encrypted, std::string& password);

class Session {
 public:
  Session(const Shared& shared, int fd, long id);
  void run();

 private:
  bool login();
  bool negotiate_encrypted(const LoginInfo& li);
  void send_login_refusal();
  bool send_login_success(const LoginInfo& li);
  void serve();
  void log(const std::string& event, const std::string& detail = {});
  void log_headers(const Message& m);
  bool batch(const std::string& text);
  bool misbehave(const Rule& r, const std::string& text);
  // Runs the statements of a batch into the writer.
  void run_batch(const std::string& text, ReplyWriter& w);
  bool run_statement(const Statement& st, ReplyWriter& w, bool more);
  void put_error(Bytes& b, const SqlError& e, int line);
  bool use_database(const std::string& name, Bytes& b, SqlError& e);
  bool set_option(const std::vector<std::string>& words, Bytes& b, SqlError& e);
  // Answers a remote procedure call; false when the request is malformed
  // (the session then ends).
  bool answer_rpc(const Message& m);
  // Runs a procedure call into b: its result sets and messages, the
  // RETURNSTATUS, the returned parameters (remote calls only) and the
  // DONEPROC.  An unknown procedure gets ERROR 2812 and a DONE with the
  // error bit, and false.
  bool call_procedure(ProcCall& call, Bytes& b, bool more);
  // Appends the event notifications queued for this session.
  void put_events(Bytes& b);
  // The name resolution context of the statements about to run.
  void update_vars();
  enum class Wait { elapsed, attention, closed };
  // Sends nothing for a while; an attention may end the wait early.
  Wait wait_silently(double seconds, bool answer_attention);

  const Shared& sh_;
  Conn conn_;
  long id_;
  std::size_t packet_size_ = 512;
  std::string database_ = "master";
  std::string language_ = "us_english";
  SqlSession sql_;
  SessionVars vars_;
  ResultLimits limits_;
  bool nocount_ = false;
  // Scripted: end the first result set after its first row with this token.
  int bad_token_after_row_ = -1;
  // Scripted: end the first result set after its format with this error.
  const Rule* error_after_format_ = nullptr;
};

}  // namespace standin
