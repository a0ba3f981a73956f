// TLI calls over BSD stream sockets; see tli/tli.h.
#include "tli/tli.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tli {

int t_errno = 0;

namespace {

constexpr long kAddrLen = 16;  // the internet socket address

// Events latched per endpoint: a 0-byte read or a reset is remembered here
// and reported by t_look until t_rcvrel / t_rcvdis / t_close.
std::map<int, int>& pending() {
  static std::map<int, int> events;
  return events;
}

int fail(int terr) {
  t_errno = terr;
  return -1;
}

int event_of(int fd) {
  auto it = pending().find(fd);
  return it == pending().end() ? 0 : it->second;
}

// Fills `info` with what this provider offers.
void fill_info(t_info* info) {
  info->addr = kAddrLen;
  info->options = -2;
  info->tsdu = 0;
  info->etsdu = -2;
  info->connect = -2;
  info->discon = -2;
  info->servtype = T_COTS_ORD;
}

// Converts the 16 address bytes into a socket address; false if malformed.
bool to_sockaddr(const netbuf& nb, sockaddr_in* sa) {
  if (!nb.buf || nb.len < 8) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(nb.buf);
  int family = (b[0] << 8) | b[1];
  if (family != AF_INET) return false;
  std::memset(sa, 0, sizeof *sa);
  sa->sin_family = AF_INET;
  std::memcpy(&sa->sin_port, b + 2, 2);       // already network order
  std::memcpy(&sa->sin_addr.s_addr, b + 4, 4);  // already network order
  return true;
}

}  // namespace

// Opens a stream endpoint for "/dev/tcp"; any other device fails (TBADF).
int t_open(const char* path, int /*oflag*/, t_info* info) {
  if (!path || std::strcmp(path, "/dev/tcp") != 0) {
    errno = ENOENT;
    return fail(TSYSERR);
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail(TSYSERR);
  // Packets are written whole; do not hold small ones back.
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  pending().erase(fd);
  if (info) fill_info(info);
  return fd;
}

// Binding without an address leaves the choice to connect.
int t_bind(int fd, void*, void*) {
  if (fd < 0) return fail(TBADF);
  return 0;
}

// Allocates a call record with an address buffer of the provider's size.
void* t_alloc(int fd, int struct_type, int /*fields*/) {
  if (fd < 0) { t_errno = TBADF; return nullptr; }
  if (struct_type != T_CALL_STR) { t_errno = TNOTSUPPORT; return nullptr; }
  auto* call = static_cast<t_call*>(std::calloc(1, sizeof(t_call)));
  if (!call) { t_errno = TSYSERR; return nullptr; }
  call->addr.buf = static_cast<char*>(std::calloc(1, kAddrLen));
  if (!call->addr.buf) {
    std::free(call);
    t_errno = TSYSERR;
    return nullptr;
  }
  call->addr.maxlen = kAddrLen;
  return call;
}

// Frees what t_alloc made.
int t_free(void* ptr, int struct_type) {
  if (!ptr) return 0;
  if (struct_type == T_CALL_STR) {
    auto* call = static_cast<t_call*>(ptr);
    std::free(call->addr.buf);
    std::free(call->opt.buf);
    std::free(call->udata.buf);
  }
  std::free(ptr);
  return 0;
}

// Starts a connection; a non-blocking endpoint answers TNODATA while the
// connect is in progress (completion shows as writable).
int t_connect(int fd, t_call* sndcall, t_call*) {
  sockaddr_in sa{};
  if (!sndcall || !to_sockaddr(sndcall->addr, &sa)) return fail(TBADADDR);
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return 0;
  if (errno == EINPROGRESS || errno == EALREADY) return fail(TNODATA);
  return fail(TSYSERR);
}

// Completes a non-blocking connect: the socket's pending error decides.
int t_rcvconnect(int fd, t_call*) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return fail(TSYSERR);
  if (err != 0) {
    errno = err;
    return fail(TSYSERR);
  }
  sockaddr_in peer{};
  socklen_t plen = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &plen) < 0) {
    return fail(errno == ENOTCONN ? TNODATA : TSYSERR);
  }
  return 0;
}

// Sends normal data without SIGPIPE; expedited data is not supported.
int t_snd(int fd, const char* buf, unsigned nbytes, int flags) {
  if (flags & T_EXPEDITED) {
    errno = EOPNOTSUPP;
    return fail(TNOTSUPPORT);
  }
  if (event_of(fd) == T_DISCONNECT) return fail(TLOOK);
  ssize_t n = ::send(fd, buf, nbytes, MSG_NOSIGNAL);
  if (n < 0) {
    if (errno == EPIPE || errno == ECONNRESET) pending()[fd] = T_DISCONNECT;
    return fail(TSYSERR);
  }
  return static_cast<int>(n);
}

// Receives data.  End of stream and resets become T_ORDREL / T_DISCONNECT
// events (t_rcv fails with TLOOK); no data on a non-blocking endpoint is
// TNODATA.
int t_rcv(int fd, char* buf, unsigned nbytes, int* flags) {
  if (flags) *flags = 0;
  if (event_of(fd) != 0) return fail(TLOOK);
  if (nbytes == 0) return 0;
  ssize_t n = ::recv(fd, buf, nbytes, 0);
  if (n > 0) return static_cast<int>(n);
  if (n == 0) {
    pending()[fd] = T_ORDREL;
    return fail(TLOOK);
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return fail(TNODATA);
  if (errno == ECONNRESET || errno == ENOTCONN || errno == ETIMEDOUT) {
    pending()[fd] = T_DISCONNECT;
    return fail(TLOOK);
  }
  return fail(TSYSERR);
}

// The pending event: a latched release or disconnect, else T_DATA when
// bytes are waiting, else 0.
int t_look(int fd) {
  if (fd < 0) return fail(TBADF);
  if (int ev = event_of(fd)) return ev;
  pollfd p{fd, POLLIN, 0};
  int r = ::poll(&p, 1, 0);
  if (r < 0) return fail(TSYSERR);
  if (r > 0 && (p.revents & POLLIN)) {
    char c;
    ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) return T_DATA;
    if (n == 0) {
      pending()[fd] = T_ORDREL;
      return T_ORDREL;
    }
  }
  if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
    pending()[fd] = T_DISCONNECT;
    return T_DISCONNECT;
  }
  return 0;
}

int t_getinfo(int fd, t_info* info) {
  if (fd < 0) return fail(TBADF);
  if (info) fill_info(info);
  return 0;
}

// Aborts the connection (a reset is sent to the peer).
int t_snddis(int fd, t_call*) {
  linger lg{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  ::shutdown(fd, SHUT_RDWR);
  pending()[fd] = T_DISCONNECT;
  return 0;
}

// Acknowledges a disconnect.
int t_rcvdis(int fd, void*) {
  if (event_of(fd) != T_DISCONNECT) return fail(TNODIS);
  return 0;
}

// Orderly release of our sending side.
int t_sndrel(int fd) {
  if (::shutdown(fd, SHUT_WR) < 0) return fail(TSYSERR);
  return 0;
}

// Acknowledges the peer's orderly release.
int t_rcvrel(int fd) {
  if (event_of(fd) != T_ORDREL) return fail(TNOREL);
  pending()[fd] = T_DISCONNECT;
  return 0;
}

int t_close(int fd) {
  pending().erase(fd);
  if (::close(fd) < 0) return fail(TSYSERR);
  return 0;
}

}  // namespace tli
