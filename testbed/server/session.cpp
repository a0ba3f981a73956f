#include "session.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/clock.h"
#include "textutil.h"
#include "tokens.h"

namespace standin {
namespace {

const char* const kProgram = "Stand-in Server";
constexpr std::size_t kLoginRecordSize = 568;
constexpr std::size_t kShortLoginSize = 172;

// A text field of the login record: `size` bytes followed by a length byte.
std::string field(const std::vector<std::uint8_t>& b, std::size_t off, std::size_t size) {
  if (off + size + 1 > b.size()) return {};
  std::size_t n = std::min<std::size_t>(b[off + size], size);
  return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}

}  // namespace

bool parse_login(const std::vector<std::uint8_t>& b, LoginInfo& li) {
  if (b.size() < kShortLoginSize) return false;
  li.host = field(b, 0, 30);
  li.user = field(b, 31, 30);
  li.password = field(b, 62, 30);
  li.hostproc = field(b, 93, 30);
  li.app = field(b, 140, 30);
  li.server = field(b, 171, 30);
  if (b.size() < kLoginRecordSize) return true;
  li.version = std::string(reinterpret_cast<const char*>(b.data() + 458), 4);
  li.language = field(b, 480, 30);
  li.encrypted = (b[514] & 0x01) != 0;
  li.charset = field(b, 525, 30);
  li.packet_text = field(b, 557, 6);
  if (b.size() >= kLoginRecordSize + 3 && b[kLoginRecordSize] == kTokCapability) {
    Reader r(b.data() + kLoginRecordSize + 1, b.size() - kLoginRecordSize - 1);
    std::size_t len = r.u16();
    if (len > r.left()) return true;  // the masks are not used then
    Reader caps(b.data() + kLoginRecordSize + 3, len);
    li.has_capability = true;
    while (caps.left() >= 2) {
      std::uint32_t type = caps.u8();
      std::size_t n = caps.u8();
      std::string mask = caps.bytes(n);
      if (caps.failed()) break;
      if (type == 1) li.request_mask = mask;
      if (type == 2) li.response_mask = mask;
    }
  }
  return true;
}

Session::Session(const Shared& shared, int fd, long id) : sh_(shared), conn_(fd), id_(id) {
  vars_.spid = id;
}

void Session::log(const std::string& event, const std::string& detail) {
  if (sh_.log) sh_.log->write(id_, event, detail);
}

void Session::log_headers(const Message& m) {
  for (const auto& h : m.headers) log("packet", describe_header(h));
}

void Session::run() {
  log("connect");
  if (login()) serve();
  if (sh_.events) sh_.events->forget(id_);
  log("close");
}

bool Session::login() {
  Message m;
  ReadStatus st = conn_.read_message(m, -1);
  if (st == ReadStatus::bad_packet) {
    log_headers(m);
    log("protocol", "packet length below 8");
    return false;
  }
  if (st != ReadStatus::ok) return false;
  log_headers(m);
  if (m.type != kPacketLogin) {
    log("protocol", "expected a login packet");
    return false;
  }
  LoginInfo li;
  if (!parse_login(m.body, li)) {
    log("protocol", "login record too short");
    return false;
  }
  log("login", "user=" + li.user + " password=" + li.password + " host=" + li.host + " app=" + li.app +
                   " server=" + li.server + " language=" + li.language + " charset=" + li.charset +
                   " packetsize=" + li.packet_text + " encrypted=" + (li.encrypted ? "1" : "0") +
                   " capability=" + (li.has_capability ? "1" : "0"));
  log("loginhex", hex_digits(m.body.data(), std::min<std::size_t>(m.body.size(), 2048)));  // a login is ~600 bytes
  if (auto r = sh_.script->take_login_breach()) {
    switch (r->action) {
      case Action::silent_login:
        log("script", "login silent");
        wait_silently(r->seconds, false);
        return false;
      case Action::refuse_login:
        log("script", "login refuse");
        send_login_refusal();
        return false;
      case Action::redirect: {
        log("script", "login redirect " + r->text);
        Bytes b;
        put_message(b, false, 4014, 1, 10, "Login redirected to node '" + r->text + "'.", sh_.cfg->server_name, "",
                    0);
        put_done(b, kDoneError, 0, 0);
        ReplyWriter w(&conn_, 512);
        w.put(b);
        w.finish();
        return false;
      }
      default:
        misbehave(*r, std::string());
        return false;
    }
  }
  if (li.encrypted) return negotiate_encrypted(li);
  auto u = sh_.cfg->users.find(li.user);
  if (u == sh_.cfg->users.end() || u->second != li.password) {
    send_login_refusal();
    return false;
  }
  return send_login_success(li);
}

void Session::send_login_refusal() {
  Bytes b;
  put_message(b, true, 4002, 1, 14, "Login incorrect.", sh_.cfg->server_name, "", 0);
  put_done(b, kDoneError, 0, 0);
  ReplyWriter w(&conn_, 512);
  w.put(b);
  w.finish();
}

bool Session::send_login_success(const LoginInfo& li) {
  long asked = 0;
  std::size_t granted = 512;
  if (parse_long(li.packet_text, asked)) granted = static_cast<std::size_t>(std::clamp(asked, 512L, 65535L));
  if (auto r = sh_.script->take_login(Action::packet_size)) granted = static_cast<std::size_t>(r->value);
  if (!li.language.empty()) language_ = li.language;
  std::string error;
  auto db = sh_.cfg->databases.find("master");
  if (!sql_.open(db == sh_.cfg->databases.end() ? std::string() : db->second, error)) {
    log("protocol", "cannot open the database: " + error);
    Bytes b;
    put_message(b, true, 4060, 1, 11, "Cannot open the session's database.", sh_.cfg->server_name, "", 0);
    put_done(b, kDoneError, 0, 0);
    ReplyWriter w(&conn_, 512);
    w.put(b);
    w.finish();
    return false;
  }
  Bytes b;
  put_loginack(b, 5, kProgram);
  put_envchange(b, 1, database_, "");
  put_envchange(b, 2, language_, "");
  put_envchange(b, 3, sh_.cfg->charset, "");
  sql_.set_name(database_);
  if (granted != 512) put_envchange(b, 4, std::to_string(granted), "512");
  if (li.has_capability) put_capability(b, li.request_mask, li.response_mask);
  put_done(b, 0, 0, 0);
  ReplyWriter w(&conn_, 512);
  w.put(b);
  bool ok = w.finish();
  packet_size_ = granted;
  return ok;
}

bool Session::negotiate_encrypted(const LoginInfo& li) {
  std::string key = "\x51\x6f\x72\x65\x6c\x4b\x65\x79";
  key[7] = static_cast<char>(key[7] ^ static_cast<char>(id_ & 0xff));
  Bytes b;
  put_loginack(b, 7, kProgram);
  put_msg(b, 1, true);
  put_params(b, {Param{"", kTypeVarBinary, key}});
  put_done(b, 0, 0, 0);
  {
    ReplyWriter w(&conn_, 512);
    w.put(b);
    if (!w.finish()) return false;
  }
  Message m;
  ReadStatus st = conn_.read_message(m, -1);
  if (st != ReadStatus::ok) return false;
  log_headers(m);
  // MSG tokens, each followed by its parameter formats and values.
  Reader r(m.body.data(), m.body.size());
  std::string login_pw;
  bool got_login = false;
  while (r.left() > 0 && !r.failed()) {
    if (r.u8() != kTokMsg) {
      log("protocol", "expected a MSG token in the negotiation");
      return false;
    }
    std::size_t len = r.u8();
    std::uint32_t status = r.u8();
    std::uint32_t id = r.u16();
    if (len != 3) r.skip(len > 3 ? len - 3 : 0);
    std::vector<std::string> values;
    if (status & 1) {
      if (r.u8() != kTokParamFmt) {
        log("protocol", "expected PARAMFMT");
        return false;
      }
      std::size_t flen = r.u16();
      Reader f(m.body.data() + r.pos(), std::min(flen, r.left()));
      r.skip(flen);
      std::size_t count = f.u16();
      std::vector<std::uint8_t> types;
      for (std::size_t i = 0; i < count && !f.failed(); ++i) {
        f.skip(f.u8());  // name
        f.u8();          // status
        f.u32();         // user type
        std::uint8_t t = static_cast<std::uint8_t>(f.u8());
        f.u8();  // maximum length
        f.skip(f.u8());  // locale
        types.push_back(t);
      }
      if (r.u8() != kTokParams) {
        log("protocol", "expected PARAMS");
        return false;
      }
      for (std::size_t i = 0; i < types.size(); ++i) values.push_back(r.bytes(r.u8()));
    }
    log("msg", std::to_string(id) + (values.empty() ? "" : " " + hex_digits(values[0])));
    if (id == 2 && !values.empty()) {
      login_pw = values[0];
      got_login = true;
    }
  }
  auto u = sh_.cfg->users.find(li.user);
  std::string expected, clear;
  bool ok = got_login && u != sh_.cfg->users.end() && encrypt_login_password(u->second, key, expected) &&
            expected == login_pw;
  if (got_login && decrypt_login_password(key, login_pw, clear)) log("login", "decrypted password=" + clear);
  if (!ok) {
    send_login_refusal();
    return false;
  }
  return send_login_success(li);
}

Session::Wait Session::wait_silently(double seconds, bool answer_attention) {
  const std::int64_t deadline = platform::plat_now_ms() + platform::plat_timeout_ms(seconds);
  for (;;) {
    std::int64_t left = deadline - platform::plat_now_ms();
    if (left <= 0) return Wait::elapsed;
    pollfd pfd{conn_.fd(), POLLIN, 0};
    int r = ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(left, 1000)));
    if (r < 0 && errno != EINTR) return Wait::closed;
    if (r <= 0) continue;
    char c;
    if (::recv(conn_.fd(), &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return Wait::closed;
    Message m;
    if (conn_.read_message(m, 30000) != ReadStatus::ok) return Wait::closed;
    log_headers(m);
    if (m.type == kPacketAttention) {
      log("attention");
      if (answer_attention) {
        static const std::uint8_t ack[] = {0xFD, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        Bytes b;
        b.raw(ack, sizeof ack);
        ReplyWriter w(&conn_, packet_size_);
        w.put(b);
        w.finish();
        return Wait::attention;
      }
    } else {
      log("protocol", "message while the server was silent");
    }
  }
}

void Session::serve() {
  for (;;) {
    Message m;
    ReadStatus st = conn_.read_message(m, -1);
    if (st == ReadStatus::bad_packet) {
      log_headers(m);
      log("protocol", "packet length below 8");
      return;
    }
    if (st == ReadStatus::too_long) {
      log("protocol", "message longer than " + std::to_string(kMaxMessage) + " bytes");
      return;
    }
    if (st != ReadStatus::ok) return;
    log_headers(m);
    switch (m.type) {
      case kPacketAttention: {
        log("attention");
        static const std::uint8_t ack[] = {0xFD, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        Bytes b;
        b.raw(ack, sizeof ack);
        ReplyWriter w(&conn_, packet_size_);
        w.put(b);
        if (!w.finish()) return;
        break;
      }
      case kPacketNormal: {
        if (m.body.empty()) {
          log("protocol", "empty message");
          return;
        }
        std::uint8_t tok = m.body[0];
        if (tok == kTokLanguage) {
          Reader r(m.body.data() + 1, m.body.size() - 1);
          std::size_t len = r.u32();
          r.u8();  // status
          std::size_t have = r.left();
          if (r.failed() || len == 0 || len - 1 != have)
            log("protocol", "language token length " + std::to_string(len) + " for " + std::to_string(have) +
                                " bytes of text");
          std::string text(reinterpret_cast<const char*>(m.body.data() + 6), m.body.size() >= 6 ? have : 0);
          if (!batch(text)) return;
        } else if (tok == 0xE6 || tok == 0xE0) {
          if (!answer_rpc(m)) return;
        } else {
          log("protocol", "unexpected token " + std::to_string(tok));
          Bytes b;
          put_message(b, true, 102, 1, 15, "Incorrect syntax: unexpected request.", sh_.cfg->server_name, "", 0);
          put_done(b, kDoneError, 0, 0);
          ReplyWriter w(&conn_, packet_size_);
          w.put(b);
          if (!w.finish()) return;
        }
        break;
      }
      case kPacketLanguage:
        if (!batch(std::string(m.body.begin(), m.body.end()))) return;
        break;
      case kPacketRpc:
        if (!answer_rpc(m)) return;
        break;
      default:
        log("protocol", "unexpected packet type " + std::to_string(m.type));
        return;
    }
  }
}

}  // namespace standin
