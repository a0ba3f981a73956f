// A scripted server peer for the DB client's tests: listens on 127.0.0.1,
// accepts connections one after another and runs a script on each; helpers
// read the client's packets and build the server's tokens.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dblib/db_internal.h"
#include "dblib/dblib.h"

namespace testpeer {

using Bytes = std::vector<unsigned char>;

// One packet as received.
struct Packet {
  int type = -1;
  int status = 0;
  int length = 0;
  int number = 0;
  int window = 0;
  Bytes body;
};

// The packets of a message of `body` of at most `size` bytes each, the
// last with status `last_status`.
inline Bytes frame(const Bytes& body, int type = 4, int size = 512, int last_status = 1) {
  Bytes out;
  size_t off = 0;
  int number = 0;
  do {
    size_t n = body.size() - off;
    if (n > static_cast<size_t>(size - 8)) n = static_cast<size_t>(size - 8);
    bool last = off + n == body.size();
    Bytes pk = {static_cast<unsigned char>(type), static_cast<unsigned char>(last ? last_status : 0),
                static_cast<unsigned char>((n + 8) >> 8), static_cast<unsigned char>((n + 8) & 0xff),
                0, 0, static_cast<unsigned char>(number++), 0};
    out.insert(out.end(), pk.begin(), pk.end());
    out.insert(out.end(), body.begin() + static_cast<long>(off), body.begin() + static_cast<long>(off + n));
    off += n;
  } while (off < body.size());
  return out;
}

// One accepted connection.
class Conn {
 public:
  explicit Conn(int fd) : fd_(fd) {}
  int fd() const { return fd_; }

  // Reads exactly n bytes; false at end of stream or after 5 seconds.
  bool read_exact(unsigned char* p, int n) {
    int got = 0;
    while (got < n) {
      pollfd pf{fd_, POLLIN, 0};
      if (::poll(&pf, 1, 5000) <= 0) return false;
      ssize_t r = ::recv(fd_, p + got, static_cast<size_t>(n - got), 0);
      if (r <= 0) return false;
      got += static_cast<int>(r);
    }
    return true;
  }

  bool read_packet(Packet* pk) {
    unsigned char h[8];
    if (!read_exact(h, 8)) return false;
    pk->type = h[0];
    pk->status = h[1];
    pk->length = (h[2] << 8) | h[3];
    pk->number = h[6];
    pk->window = h[7];
    int body = pk->length > 8 ? pk->length - 8 : 0;
    pk->body.assign(static_cast<size_t>(body), 0);
    return body == 0 || read_exact(pk->body.data(), body);
  }

  // Reads packets up to the end-of-message one; the packets are kept.
  bool read_message(Bytes* body, std::vector<Packet>* packets = nullptr) {
    body->clear();
    for (;;) {
      Packet pk;
      if (!read_packet(&pk)) return false;
      body->insert(body->end(), pk.body.begin(), pk.body.end());
      if (packets) packets->push_back(pk);
      if (pk.status & 1) return true;
    }
  }

  void send_raw(const Bytes& b) {
    size_t off = 0;
    while (off < b.size()) {
      ssize_t n = ::send(fd_, b.data() + off, b.size() - off, MSG_NOSIGNAL);
      if (n <= 0) return;
      off += static_cast<size_t>(n);
    }
  }

  // Sends a message as packets of at most `size` bytes, all in one write.
  void send_message(const Bytes& body, int type = 4, int size = 512, int last_status = 1) {
    send_raw(frame(body, type, size, last_status));
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Token builders (big-endian).
inline void put16(Bytes* b, int v) {
  b->push_back(static_cast<unsigned char>((v >> 8) & 0xff));
  b->push_back(static_cast<unsigned char>(v & 0xff));
}
inline void put32(Bytes* b, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int s = 24; s >= 0; s -= 8) b->push_back(static_cast<unsigned char>(u >> s));
}
inline void putstr(Bytes* b, const std::string& s) { b->insert(b->end(), s.begin(), s.end()); }

inline Bytes loginack(int status = 5, int major = 5, int minor = 0) {
  Bytes b = {0xAD};
  std::string prog = "StandIn";
  put16(&b, 1 + 4 + 1 + static_cast<int>(prog.size()) + 4);
  b.push_back(static_cast<unsigned char>(status));
  Bytes v = {static_cast<unsigned char>(major), static_cast<unsigned char>(minor), 0, 0};
  b.insert(b.end(), v.begin(), v.end());
  b.push_back(static_cast<unsigned char>(prog.size()));
  putstr(&b, prog);
  Bytes pv = {1, 0, 0, 0};
  b.insert(b.end(), pv.begin(), pv.end());
  return b;
}

inline Bytes envchange(int type, const std::string& newv, const std::string& oldv) {
  Bytes b = {0xE3};
  put16(&b, 3 + static_cast<int>(newv.size() + oldv.size()));
  b.push_back(static_cast<unsigned char>(type));
  b.push_back(static_cast<unsigned char>(newv.size()));
  putstr(&b, newv);
  b.push_back(static_cast<unsigned char>(oldv.size()));
  putstr(&b, oldv);
  return b;
}

inline Bytes done(int status = 0, int32_t count = 0, int token = 0xFD) {
  Bytes b = {static_cast<unsigned char>(token)};
  put16(&b, status);
  put16(&b, 0);
  put32(&b, count);
  return b;
}

inline Bytes message(int token, int32_t number, int severity, const std::string& text, int state = 1) {
  Bytes b = {static_cast<unsigned char>(token)};
  std::string server = "STANDIN";
  put16(&b, 4 + 1 + 1 + 2 + static_cast<int>(text.size()) + 1 + static_cast<int>(server.size()) + 1 + 2);
  put32(&b, number);
  b.push_back(static_cast<unsigned char>(state));
  b.push_back(static_cast<unsigned char>(severity));
  put16(&b, static_cast<int>(text.size()));
  putstr(&b, text);
  b.push_back(static_cast<unsigned char>(server.size()));
  putstr(&b, server);
  b.push_back(0);
  put16(&b, 1);
  return b;
}

inline Bytes capability() {
  return {0xE2, 0x00, 0x12, 0x01, 0x07, 0x00, 0x60, 0x81, 0xCF, 0xFF, 0xFE, 0x3E,
          0x02, 0x07, 0x00, 0x00, 0x00, 0x78, 0xC0, 0x00, 0x0E};
}

// Puts the start of one column's format in a ROWFMT: its name, status
// 0x20, user type and datatype; its length and locale are the caller's.
inline void put_column(Bytes* body, const std::string& name, int type, int32_t usertype = 0) {
  body->push_back(static_cast<unsigned char>(name.size()));
  putstr(body, name);
  body->push_back(0x20);
  put32(body, usertype);
  body->push_back(static_cast<unsigned char>(type));
}

// A ROWFMT token of `body`: the column count and the columns' formats.
inline Bytes rowfmt_token(const Bytes& body) {
  Bytes b = {0xEE};
  put16(&b, static_cast<int>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A one-column ROWFMT of a varchar column and the ROW tokens for `values`.
inline Bytes varchar_result(const std::string& name, const std::vector<std::string>& values) {
  Bytes body;
  put16(&body, 1);
  put_column(&body, name, 39);
  body.push_back(30);
  body.push_back(0);
  Bytes b = rowfmt_token(body);
  for (const std::string& v : values) {
    b.push_back(0xD1);
    b.push_back(static_cast<unsigned char>(v.size()));
    putstr(&b, v);
  }
  return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The usual successful login answer at protocol 5.0.
inline Bytes login_ok(bool with_capability) {
  Bytes b = cat({loginack(5), envchange(1, "master", ""), envchange(2, "us_english", ""),
                 envchange(3, "iso_1", "")});
  if (with_capability) b = cat({b, capability()});
  return cat({b, done(0)});
}

// The peer: a listening socket and a thread running `script` per accepted
// connection until `connections` have been served.
class Peer {
 public:
  using Script = std::function<void(Conn&)>;

  explicit Peer(Script script, int connections = 1) : script_(std::move(script)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(fd_, 8);
    socklen_t len = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this, connections] {
      for (int i = 0; i < connections && !stop_; ++i) {
        pollfd pf{fd_, POLLIN, 0};
        while (!stop_ && ::poll(&pf, 1, 50) == 0) {
        }
        if (stop_) break;
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) break;
        Conn conn(c);
        script_(conn);
        conn.close();
        ++served_;
      }
    });
  }
  ~Peer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }
  int served() const { return served_; }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  Script script_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

// Writes an interfaces file naming `server` at 127.0.0.1:port and points the
// client at it.  Returns the file's path.
inline std::string write_interfaces(const std::string& dir, const std::string& server, int port,
                                    const std::string& header_extra = "") {
  std::string path = dir + "/interfaces";
  std::ofstream f(path);
  f << "# test interfaces\n" << server << header_extra << "\n"
    << "\tquery tcp ether 127.0.0.1 " << port << "\n";
  f.close();
  dbsetifile(path.c_str());
  return path;
}

// A fresh temporary directory.
inline std::string temp_dir() {
  char tmpl[] = "/tmp/dbtestXXXXXX";
  char* d = ::mkdtemp(tmpl);
  return d ? d : "/tmp";
}

// A script that answers the login, then answers each further message the
// client sends with the next reply (packets of `size` bytes), keeping what
// it received.  An empty reply closes the connection.
inline Peer::Script session(std::vector<Bytes> replies, std::vector<Bytes>* received = nullptr,
                            std::vector<std::vector<Packet>>* packets = nullptr, int size = 512) {
  return [replies, received, packets, size](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    for (const Bytes& r : replies) {
      std::vector<Packet> pk;
      if (!c.read_message(&msg, &pk)) return;
      if (received) received->push_back(msg);
      if (packets) packets->push_back(pk);
      if (r.empty()) return;
      c.send_message(r, 4, size);
    }
    Bytes rest;
    c.read_message(&rest);
  };
}

// A script that answers the login, then the next message with `reply`, and
// closes the connection.
inline Peer::Script answer_once(Bytes reply) {
  return [reply](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    if (!c.read_message(&msg)) return;
    c.send_message(reply);
  };
}

// One entry of a RETURNVALUE token of a variable or nullable datatype
// (maximum length `maxlen`) holding `value` (big-endian where it matters).
inline Bytes retvalue_entry(const std::string& name, int status, int type, int maxlen,
                            const Bytes& value) {
  Bytes e = {static_cast<unsigned char>(name.size())};
  putstr(&e, name);
  e.push_back(static_cast<unsigned char>(status));
  put32(&e, 0);
  e.push_back(static_cast<unsigned char>(type));
  e.push_back(static_cast<unsigned char>(maxlen));
  e.push_back(static_cast<unsigned char>(value.size()));
  e.insert(e.end(), value.begin(), value.end());
  return e;
}

// A RETURNVALUE token of these entries.
inline Bytes retvalue(std::initializer_list<Bytes> entries) {
  Bytes body;
  for (const Bytes& e : entries) body.insert(body.end(), e.begin(), e.end());
  Bytes b = {0xAC};
  put16(&b, static_cast<int>(body.size()));
  return cat({b, body});
}

// The PARAMS values of a DBRPC message: what follows its PARAMFMT token.
inline Bytes rpc_params_of(const Bytes& msg) {
  if (msg.size() < 4) return {};
  size_t at = 3 + msg[3] + 1 + 2;  // DBRPC token, length, name, options
  if (at + 3 > msg.size() || msg[at] != 0xEC) return {};
  at += 3 + static_cast<size_t>((msg[at + 1] << 8) | msg[at + 2]);
  if (at >= msg.size() || msg[at] != 0xD7) return {};
  return Bytes(msg.begin() + static_cast<long>(at) + 1, msg.end());
}

// Opens a connection to the peer (login "reader"/"secret").
inline DBPROCESS* open_to(Peer& peer, const std::string& dir) {
  write_interfaces(dir, "TESTSRV", peer.port());
  LOGINREC* l = dblogin();
  DBSETLUSER(l, "reader");
  DBSETLPWD(l, "secret");
  DBPROCESS* db = dbopen(l, "TESTSRV");
  dbloginfree(l);
  return db;
}

// Records every client error and server message the handlers see.
struct Seen {
  int number;
  int severity;
  std::string text;
};
inline std::vector<Seen>& errors() {
  static std::vector<Seen> v;
  return v;
}
inline std::vector<Seen>& messages() {
  static std::vector<Seen> v;
  return v;
}
inline int g_err_answer = INT_CANCEL;
inline int g_msg_answer = 1;
inline int record_error(DBPROCESS*, int severity, int dberr, int, char* text, char*) {
  errors().push_back({dberr, severity, text ? text : ""});
  return g_err_answer;
}
inline int record_message(DBPROCESS*, DBINT msgno, int, int severity, char* text, char*, char*, int) {
  messages().push_back({msgno, severity, text ? text : ""});
  return g_msg_answer;
}
// Installs the recording handlers and clears what was seen.
inline void reset_handlers() {
  errors().clear();
  messages().clear();
  g_err_answer = INT_CANCEL;
  g_msg_answer = 1;
  dberrhandle(record_error);
  dbmsghandle(record_message);
}
// The number of the last client error seen, or 0.
inline int last_error() { return errors().empty() ? 0 : errors().back().number; }
inline bool saw_error(int number) {
  for (const Seen& s : errors())
    if (s.number == number) return true;
  return false;
}

// Readies the client for a test: its version chosen (once a process), the
// recording handlers installed, a login time-out of `logintime` seconds and
// no command time-out.
inline void client_setup(int logintime = 60) {
  if (Db__GlobalRec.version == 0) dbsetversion(2);
  reset_handlers();
  dbsetlogintime(logintime);
  dbsettime(0);
}

// Shuts the client down after a test: its command time-out back to none
// and the handlers removed.
inline void client_teardown() {
  dbexit();
  dbsettime(0);
  dberrhandle(nullptr);
  dbmsghandle(nullptr);
}

// Runs a batch to its end, reading every row; true when every result was
// read.
inline bool run_batch(DBPROCESS* db, const std::string& sql) {
  if (dbcmd(db, sql.c_str()) != SUCCEED || dbsqlexec(db) != SUCCEED) return false;
  RETCODE r;
  while ((r = dbresults(db)) == SUCCEED)
    while (dbnextrow(db) == REG_ROW) {
    }
  return r == NO_MORE_RESULTS;
}

// A test against scripted peers: the client readied (client_setup) and a
// fresh directory for the interfaces file; the client is shut down after.
class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_setup();
    dir_ = temp_dir();
  }
  void TearDown() override { client_teardown(); }
  std::string dir_;
};

}  // namespace testpeer
