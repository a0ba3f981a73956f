// The server side of the DB client's fuzz targets: one thread of this
// process listening on 127.0.0.1 for the whole run, serving each connection
// the current input.  Per connection it reads the client's login message,
// then either sends the input as the login answer (Stage::kLogin), or
// answers the login normally, reads the client's next message and sends
// the input as the answer to it (Stage::kReply).  The input goes out as
// response packets of 512 bytes, or raw (its own packet headers, or none).
// After the input the peer closes its sending side, so the client meets the
// end of the stream instead of waiting for more; it then reads until the
// client hangs up and closes the connection.  Nothing outlives the process:
// the thread stops and joins at exit, and every socket is closed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dbfuzz {

using Bytes = std::vector<unsigned char>;

enum class Stage { kLogin, kReply };

class Peer {
 public:
  // Starts listening; port() is the port to connect to.
  Peer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd_, 16) != 0)
      std::abort();
    socklen_t len = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~Peer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int port() const { return port_; }

  // What the connections made from now on are served.  `login` is the
  // normal login answer used in Stage::kReply.
  void set(Stage stage, bool raw, const std::uint8_t* data, std::size_t size, const Bytes& login) {
    std::lock_guard<std::mutex> lock(mu_);
    stage_ = stage;
    raw_ = raw;
    input_.assign(data, data + size);
    login_ = login;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd pf{fd_, POLLIN, 0};
      if (::poll(&pf, 1, 50) <= 0) continue;
      int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      Stage stage;
      bool raw;
      Bytes input, login;
      {
        std::lock_guard<std::mutex> lock(mu_);
        stage = stage_;
        raw = raw_;
        input = input_;
        login = login_;
      }
      if (read_message(c)) {
        if (stage == Stage::kLogin) {
          send_input(c, input, raw);
        } else {
          send_packets(c, login);
          if (read_message(c)) send_input(c, input, raw);
        }
      }
      ::shutdown(c, SHUT_WR);
      drain(c);
      ::close(c);
    }
  }

  // Waits up to 2 s for n bytes; false at the end of the stream.
  static bool read_exact(int c, unsigned char* p, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
      pollfd pf{c, POLLIN, 0};
      if (::poll(&pf, 1, 2000) <= 0) return false;
      ssize_t r = ::recv(c, p + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

  // Reads the client's packets up to the one that ends its message.
  static bool read_message(int c) {
    for (int packets = 0; packets < 1000; ++packets) {
      unsigned char h[8];
      if (!read_exact(c, h, 8)) return false;
      std::size_t len = static_cast<std::size_t>((h[2] << 8) | h[3]);
      Bytes body(len > 8 ? len - 8 : 0);
      if (!body.empty() && !read_exact(c, body.data(), body.size())) return false;
      if (h[1] & 1) return true;
    }
    return false;
  }

  static void send_raw(int c, const Bytes& b) {
    std::size_t off = 0;
    while (off < b.size()) {
      ssize_t n = ::send(c, b.data() + off, b.size() - off, MSG_NOSIGNAL);
      if (n <= 0) return;
      off += static_cast<std::size_t>(n);
    }
  }

  // The bytes as response packets of at most 512 bytes, the last one
  // ending the message.
  static void send_packets(int c, const Bytes& body) {
    Bytes out;
    std::size_t off = 0;
    int number = 0;
    do {
      std::size_t n = std::min<std::size_t>(body.size() - off, 504);
      bool last = off + n == body.size();
      unsigned char h[8] = {4, static_cast<unsigned char>(last ? 1 : 0),
                            static_cast<unsigned char>((n + 8) >> 8),
                            static_cast<unsigned char>((n + 8) & 0xff), 0, 0,
                            static_cast<unsigned char>(number++), 0};
      out.insert(out.end(), h, h + 8);
      out.insert(out.end(), body.begin() + static_cast<long>(off),
                 body.begin() + static_cast<long>(off + n));
      off += n;
    } while (off < body.size());
    send_raw(c, out);
  }

  static void send_input(int c, const Bytes& input, bool raw) {
    if (raw) send_raw(c, input);
    else send_packets(c, input);
  }

  // Reads until the client closes (or 2 s of silence).
  static void drain(int c) {
    unsigned char buf[4096];
    for (;;) {
      pollfd pf{c, POLLIN, 0};
      if (::poll(&pf, 1, 2000) <= 0) return;
      if (::recv(c, buf, sizeof buf, 0) <= 0) return;
    }
  }

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mu_;
  Stage stage_ = Stage::kReply;
  bool raw_ = false;
  Bytes input_, login_;
};

}  // namespace dbfuzz
