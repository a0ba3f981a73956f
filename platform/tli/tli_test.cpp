// Tests of the TLI calls over sockets: connect (blocking and not), data,
// end of stream as an orderly-release event, refused connects.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tli/tli.h"

namespace {

// A listening socket on 127.0.0.1 and an ephemeral port.
struct Listener {
  int fd = -1;
  int port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(fd, 4);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    port = ntohs(sa.sin_port);
  }
  ~Listener() { ::close(fd); }
};

void fill_addr(tli::t_call* call, int port) {
  unsigned char b[16] = {0x00, 0x02, static_cast<unsigned char>(port >> 8),
                         static_cast<unsigned char>(port & 0xff), 127, 0, 0, 1};
  std::memcpy(call->addr.buf, b, 16);
  call->addr.len = 16;
}

TEST(Tli, OpenReportsStreamServiceWithoutExpeditedData) {
  tli::t_info info{};
  int fd = tli::t_open("/dev/tcp", O_RDWR, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(info.servtype, T_COTS_ORD);
  EXPECT_EQ(info.etsdu, -2);
  EXPECT_EQ(info.addr, 16);
  EXPECT_EQ(tli::t_close(fd), 0);
  EXPECT_EQ(tli::t_open("/dev/none", O_RDWR, &info), -1);
  EXPECT_EQ(tli::t_errno, TSYSERR);
}

TEST(Tli, DataThenEndOfStreamIsAnOrderlyRelease) {
  Listener l;
  int fd = tli::t_open("/dev/tcp", O_RDWR, nullptr);
  ASSERT_EQ(tli::t_bind(fd, nullptr, nullptr), 0);
  auto* call = static_cast<tli::t_call*>(tli::t_alloc(fd, T_CALL_STR, T_ALL));
  ASSERT_NE(call, nullptr);
  fill_addr(call, l.port);
  ASSERT_EQ(tli::t_connect(fd, call, nullptr), 0);
  tli::t_free(call, T_CALL_STR);
  int peer = ::accept(l.fd, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  EXPECT_EQ(tli::t_snd(fd, "ping", 4, 0), 4);
  char buf[8] = {};
  EXPECT_EQ(::recv(peer, buf, 4, MSG_WAITALL), 4);
  ::send(peer, "pong", 4, 0);
  int flags = -1;
  int got = 0;
  while (got < 4) {
    int n = tli::t_rcv(fd, buf + got, 4 - got, &flags);
    ASSERT_GT(n, 0);
    got += n;
  }
  EXPECT_EQ(std::memcmp(buf, "pong", 4), 0);
  ::close(peer);
  EXPECT_EQ(tli::t_rcv(fd, buf, 4, &flags), -1);
  EXPECT_EQ(tli::t_errno, TLOOK);
  EXPECT_EQ(tli::t_look(fd), T_ORDREL);
  EXPECT_EQ(tli::t_rcv(fd, buf, 4, &flags), -1);  // stays latched, no busy zero reads
  EXPECT_EQ(tli::t_rcvrel(fd), 0);
  // Writing to the closed peer never raises SIGPIPE.
  for (int i = 0; i < 3; ++i) tli::t_snd(fd, "x", 1, 0);
  EXPECT_EQ(tli::t_close(fd), 0);
}

TEST(Tli, NonBlockingConnectCompletesAsWritable) {
  Listener l;
  int fd = tli::t_open("/dev/tcp", O_RDWR, nullptr);
  auto* call = static_cast<tli::t_call*>(tli::t_alloc(fd, T_CALL_STR, T_ALL));
  fill_addr(call, l.port);
  ::fcntl(fd, F_SETFL, O_RDWR | O_NONBLOCK);
  int r = tli::t_connect(fd, call, nullptr);
  if (r < 0) {
    EXPECT_EQ(tli::t_errno, TNODATA);
    pollfd p{fd, POLLOUT, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
  }
  EXPECT_EQ(tli::t_rcvconnect(fd, nullptr), 0);
  tli::t_free(call, T_CALL_STR);
  tli::t_close(fd);
}

TEST(Tli, RefusedConnectIsASystemError) {
  int port;
  {
    Listener l;
    port = l.port;
  }
  int fd = tli::t_open("/dev/tcp", O_RDWR, nullptr);
  auto* call = static_cast<tli::t_call*>(tli::t_alloc(fd, T_CALL_STR, T_ALL));
  fill_addr(call, port);
  ::fcntl(fd, F_SETFL, O_RDWR | O_NONBLOCK);
  int r = tli::t_connect(fd, call, nullptr);
  if (r < 0 && tli::t_errno == TNODATA) {
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 2000);
    EXPECT_EQ(tli::t_rcvconnect(fd, nullptr), -1);
  } else {
    EXPECT_EQ(r, -1);
  }
  EXPECT_EQ(tli::t_errno, TSYSERR);
  EXPECT_EQ(errno, ECONNREFUSED);
  tli::t_free(call, T_CALL_STR);
  tli::t_close(fd);
}

}  // namespace

namespace {

using namespace tli;

// An endpoint connected to a peer socket accepted from `l`.
int connect_to(Listener& l, int* peer) {
  int fd = t_open("/dev/tcp", O_RDWR, nullptr);
  t_bind(fd, nullptr, nullptr);
  auto* call = static_cast<t_call*>(t_alloc(fd, T_CALL_STR, T_ALL));
  fill_addr(call, l.port);
  t_connect(fd, call, nullptr);
  t_free(call, T_CALL_STR);
  *peer = ::accept(l.fd, nullptr, nullptr);
  return fd;
}

// Every refusal of the data calls with its t_errno, and the events that
// stay latched once seen: a release after end of stream, a disconnect
// after a reset (which a later send meets too).
TEST(Tli, RefusalsAndLatchedEvents) {
  Listener l;
  int peer = -1;
  int fd = connect_to(l, &peer);
  ASSERT_GE(peer, 0);
  char buf[8];
  int flags = 0;
  EXPECT_EQ(t_snd(fd, "x", 1, T_EXPEDITED), -1);
  EXPECT_EQ(t_errno, TNOTSUPPORT);
  EXPECT_EQ(t_look(-1), -1);
  EXPECT_EQ(t_errno, TBADF);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  EXPECT_EQ(t_rcv(fd, buf, 4, &flags), -1);
  EXPECT_EQ(t_errno, TNODATA);
  EXPECT_EQ(t_look(fd), 0);
  ::close(peer);
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_EQ(t_rcv(fd, buf, 4, &flags), -1);
  EXPECT_EQ(t_errno, TLOOK);
  EXPECT_EQ(t_look(fd), T_ORDREL);
  t_errno = 0;
  EXPECT_EQ(t_rcv(fd, buf, 4, &flags), -1);
  EXPECT_EQ(t_errno, TLOOK);
  EXPECT_EQ(t_close(fd), 0);

  fd = connect_to(l, &peer);
  ASSERT_GE(peer, 0);
  linger lg{1, 0};  // closing sends a reset
  ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  ::close(peer);
  p = pollfd{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_EQ(t_rcv(fd, buf, 4, &flags), -1);
  EXPECT_EQ(t_errno, TLOOK);
  EXPECT_EQ(t_look(fd), T_DISCONNECT);
  t_errno = 0;
  EXPECT_EQ(t_snd(fd, "x", 1, 0), -1);
  EXPECT_EQ(t_errno, TLOOK);
  EXPECT_EQ(t_close(fd), 0);
}

}  // namespace
