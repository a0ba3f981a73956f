// A raw-socket client for the server's own tests: hand-built packets and a
// small decoder of the reply tokens.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin_test {

using Buf = std::vector<std::uint8_t>;

inline void put16(Buf& b, unsigned v) { b.push_back(static_cast<std::uint8_t>(v >> 8)); b.push_back(static_cast<std::uint8_t>(v)); }
inline void put32(Buf& b, unsigned v) { put16(b, v >> 16); put16(b, v & 0xffff); }

struct LoginFields {
  std::string user = "calread";
  std::string password = "tuvelmark";
  std::string language;
  std::string packet = "512";
  bool encrypted = false;
  bool capability = true;
};

// The 568-byte login record (and the CAPABILITY token) as a client sends it.
inline Buf login_record(const LoginFields& s) {
  Buf b(568, 0);
  auto text = [&](std::size_t off, std::size_t size, const std::string& v) {
    std::size_t n = std::min(size, v.size());
    std::memcpy(b.data() + off, v.data(), n);
    b[off + size] = static_cast<std::uint8_t>(n);
  };
  text(0, 30, "testhost");
  text(31, 30, s.user);
  if (!s.encrypted) text(62, 30, s.password);
  text(93, 30, "4242");
  b[124] = 2; b[126] = 6; b[127] = 4; b[128] = 8; b[129] = 1; b[130] = 1;
  text(140, 30, "rawtest");
  text(171, 30, "STANDIN");
  b[458] = 5;
  std::memcpy(b.data() + 462, "DB-Connect", 10);
  b[472] = 10;
  b[473] = 5; b[478] = 12; b[479] = 16;
  text(480, 30, s.language);
  b[511] = 1;
  if (s.encrypted) b[514] = 1;
  text(525, 30, "iso_1");
  b[556] = 1;
  text(557, 6, s.packet);
  if (s.capability) {
    const std::uint8_t cap[] = {0xE2, 0, 18, 1, 7, 0x00, 0x60, 0x81, 0xCF, 0xFF, 0xFE, 0x3E,
                                2, 7, 0x00, 0x00, 0x00, 0x78, 0xC0, 0x00, 0x0E};
    b.insert(b.end(), cap, cap + sizeof cap);
  }
  return b;
}

inline Buf language_token(const std::string& text) {
  Buf b{0x21};
  put32(b, static_cast<unsigned>(text.size() + 1));
  b.push_back(0);
  b.insert(b.end(), text.begin(), text.end());
  return b;
}

struct Header {
  std::uint8_t type, status;
  unsigned length;
  std::uint8_t number;
};

struct Reply {
  bool ok = false;       // a whole message arrived
  bool closed = false;   // the server closed the connection
  std::uint8_t type = 0;
  Buf body;
  std::vector<Header> headers;
};

class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("connect");
  }
  ~RawClient() { if (fd_ >= 0) ::close(fd_); }
  int fd() const { return fd_; }
  void close() { ::close(fd_); fd_ = -1; }

  void send_raw(const Buf& b) { ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL); }

  // Sends a message as packets of the given size.
  void send_message(std::uint8_t type, const Buf& body, std::size_t packet = 512, std::uint8_t window = 0) {
    std::size_t room = packet - 8, off = 0;
    std::uint8_t num = 0;
    do {
      std::size_t n = std::min(room, body.size() - off);
      bool last = off + n >= body.size();
      Buf p{type, static_cast<std::uint8_t>(last ? 1 : 0)};
      put16(p, static_cast<unsigned>(n + 8));
      put16(p, 0);
      p.push_back(num++);
      p.push_back(window);
      p.insert(p.end(), body.begin() + static_cast<long>(off), body.begin() + static_cast<long>(off + n));
      send_raw(p);
      off += n;
    } while (off < body.size());
  }
  void send_attention() { send_raw(Buf{6, 1, 0, 8, 0, 0, 0, 1}); }

  // Reads exactly n bytes within the time-out; false on end or time-out.
  bool read_exact(std::uint8_t* p, std::size_t n, int timeout_ms, bool& closed) {
    std::size_t got = 0;
    while (got < n) {
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, timeout_ms) <= 0) return false;
      ssize_t k = ::recv(fd_, p + got, n - got, 0);
      if (k <= 0) { closed = true; return false; }
      got += static_cast<std::size_t>(k);
    }
    return true;
  }

  // Reads one whole message (packets up to the end-of-message status).
  Reply read_reply(int timeout_ms = 5000) {
    Reply r;
    for (;;) {
      std::uint8_t h[8];
      if (!read_exact(h, 8, timeout_ms, r.closed)) return r;
      Header hd{h[0], h[1], static_cast<unsigned>(h[2] << 8 | h[3]), h[6]};
      r.headers.push_back(hd);
      if (r.headers.size() == 1) r.type = h[0];
      if (hd.length < 8) return r;
      Buf body(hd.length - 8);
      if (!body.empty() && !read_exact(body.data(), body.size(), timeout_ms, r.closed)) return r;
      r.body.insert(r.body.end(), body.begin(), body.end());
      if (h[1] & 1) { r.ok = true; return r; }
    }
  }

  Reply login(const LoginFields& s = {}) {
    send_message(2, login_record(s));
    return read_reply();
  }
  Reply batch(const std::string& text, std::size_t packet = 512) {
    send_message(15, language_token(text), packet);
    return read_reply();
  }
  // True when the server closed the connection (within the time-out).
  bool sees_close(int timeout_ms = 5000) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeout_ms) <= 0) return false;
    char c;
    return ::recv(fd_, &c, 1, 0) == 0;
  }

 private:
  int fd_ = -1;
};

// One decoded token of a reply.
struct Token {
  std::uint8_t tok = 0;
  unsigned status = 0, count = 0;                 // DONE; RETURNSTATUS in count
  unsigned number = 0, severity = 0;              // ERROR, INFO
  std::string text;                               // ERROR, INFO text; LOGINACK program
  unsigned envtype = 0;                           // ENVCHANGE
  std::string now, before;                        // ENVCHANGE values
  unsigned ackstatus = 0;                         // LOGINACK
  Buf raw;                                        // CAPABILITY body, PARAMS data, bodies of
                                                  // RETURNVALUE, event, TABNAME, COLINFO
  struct Col { std::string name; unsigned status, usertype, type, maxlen; std::string table; };
  std::vector<Col> cols;                          // ROWFMT
  std::vector<std::pair<bool, std::string>> values;  // ROW: (null, bytes)
};

// Decodes a reply's tokens; stops with a token 0 entry holding the rest
// when it meets a byte it does not know.
inline std::vector<Token> decode(const Buf& b) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto u8 = [&]() -> unsigned { return i < b.size() ? b[i++] : 0; };
  auto u16 = [&]() { unsigned v = u8() << 8; return v | u8(); };
  auto u32 = [&]() { unsigned v = u16() << 16; return v | u16(); };
  auto str = [&](std::size_t n) { std::string s; for (std::size_t k = 0; k < n && i < b.size(); ++k) s += static_cast<char>(b[i++]); return s; };
  std::vector<Token::Col> fmt;
  while (i < b.size()) {
    Token t;
    t.tok = static_cast<std::uint8_t>(u8());
    switch (t.tok) {
      case 0xFD: case 0xFE: case 0xFF:
        t.status = u16(); u16(); t.count = u32(); break;
      case 0xAA: case 0xAB: {
        u16(); t.number = u32(); u8(); t.severity = u8();
        t.text = str(u16()); str(u8()); str(u8()); u16(); break;
      }
      case 0xE3: { std::size_t end = u16(); end += i; t.envtype = u8(); t.now = str(u8()); t.before = str(u8()); i = end; break; }
      case 0xAD: { u16(); t.ackstatus = u8(); str(4); t.text = str(u8()); str(4); break; }
      case 0xE2: { std::size_t n = u16(); t.raw.assign(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(std::min(i + n, b.size()))); i += n; break; }
      case 0x65: { u8(); t.status = u8(); t.number = u16(); break; }
      case 0xEC: { std::size_t n = u16(); i += n; break; }
      case 0x79: t.count = u32(); break;  // RETURNSTATUS
      case 0xAC: case 0xA2: case 0xA4: case 0xA5: {  // RETURNVALUE, event, TABNAME, COLINFO: the body
        std::size_t n = u16();
        t.raw.assign(b.begin() + static_cast<long>(std::min(i, b.size())),
                     b.begin() + static_cast<long>(std::min(i + n, b.size())));
        i += n;
        break;
      }
      case 0xD7: { t.raw = Buf(b.begin() + static_cast<long>(i), b.end()); std::size_t n = u8(); t.text = str(n); break; }
      case 0xEE: {
        u16();
        unsigned n = u16();
        for (unsigned k = 0; k < n; ++k) {
          Token::Col c;
          c.name = str(u8()); c.status = u8(); c.usertype = u32(); c.type = u8(); c.maxlen = 0;
          if (c.type == 35) { c.maxlen = u32(); c.table = str(u16()); }
          else if (c.type != 56 && c.type != 61 && c.type != 62) c.maxlen = u8();
          u8();
          t.cols.push_back(c);
        }
        fmt = t.cols;
        break;
      }
      case 0xD1:
        for (const auto& c : fmt) {
          if (c.type == 56) t.values.push_back({false, str(4)});
          else if (c.type == 61 || c.type == 62) t.values.push_back({false, str(8)});
          else if (c.type == 35) {
            unsigned pl = u8();
            if (!pl) { t.values.push_back({true, ""}); continue; }
            str(pl); str(8);
            t.values.push_back({false, str(u32())});
          } else {
            unsigned n = u8();
            t.values.push_back({n == 0, str(n)});
          }
        }
        break;
      default:
        t.tok = 0;
        t.raw = Buf(b.begin() + static_cast<long>(i - 1), b.end());
        out.push_back(t);
        return out;
    }
    out.push_back(t);
  }
  return out;
}

inline const Token* find(const std::vector<Token>& ts, std::uint8_t tok, std::size_t nth = 0) {
  for (const auto& t : ts)
    if (t.tok == tok && nth-- == 0) return &t;
  return nullptr;
}

inline std::int32_t be_int(const std::string& s) {
  std::uint32_t v = 0;
  for (char c : s) v = v << 8 | static_cast<std::uint8_t>(c);
  return static_cast<std::int32_t>(v);
}

}  // namespace standin_test
