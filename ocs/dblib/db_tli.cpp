// The client's transport over TLI: opening and connecting an endpoint for
// one interfaces-file address, and the reader, writer, closer and
// attention senders installed in a connection's net context.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dblib/db_internal.h"
#include "platform/clock.h"
#include "tli/tli.h"

namespace {

struct NetType {
  const char* name;
  int type;
};
const NetType kNetTypes[] = {
    {"tcp", 1},     {"tli", 5},          {"tcp-wol", 4},         {"decnet", 2},
    {"dna", 2},     {"stranet", 3},      {"tssnet", 6},          {"tcp_HostAccess", 7},
    {"tcp_exos", 7}, {"tcp_exos_inband", 8}, {"tcp_MacTCP", 8},
};

// Copies `src` into a field of `size` bytes, cut to fit.
void put(char* field, int size, const char* src) {
  std::snprintf(field, static_cast<std::size_t>(size), "%s", src);
}

// Sets or clears non-blocking mode.
void set_nonblocking(int fd, bool on) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return;
  ::fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

}  // namespace

int dblib::commtype_token(const char* word) {
  if (!word || !*word) return 0;
  std::size_t n = std::strlen(word);
  for (const NetType& t : kNetTypes)
    if (std::strncmp(t.name, word, n) == 0) return t.type;
  return 0;
}

int dblib::getxchar(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Converts an address text into at most `destmax` bytes; the count, or -1
// for an invalid text or one that does not fit.
int dblib::mer_strtodata(unsigned char* dest, int destmax, const char* text) {
  if (!text) return -1;
  int n = 0;
  if (text[0] == '\\') {
    if (text[1] != 'x') return -1;
    const char* p = text + 2;
    while (getxchar(*p) >= 0) {
      int hi = getxchar(*p++);
      bool odd = getxchar(*p) < 0;
      int lo = odd ? 0 : getxchar(*p++);
      if (n >= destmax) return -1;
      dest[n++] = static_cast<unsigned char>(hi * 16 + lo);
      if (odd) break;
    }
    return n;
  }
  for (const char* p = text; *p; ++p) {
    if (n >= destmax) return -1;
    dest[n++] = static_cast<unsigned char>(*p);
  }
  return n;
}

// Resolves the host (dotted address or name) and rewrites the entry's host
// and address fields in the TLI form: device "/dev/tcp", address
// "\x0002" + port (4 hex digits) + address (8 hex digits) + 16 zeros.
int db__tcp2tli(char* host, int hostsize, char* address, int addrsize) {
  in_addr addr{};
  if (::inet_aton(host, &addr) == 0) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return 0;
    addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
  }
  char* end = nullptr;
  long port = std::strtol(address, &end, 10);
  if (end == address || port < 0 || port > 65535) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(&addr.s_addr);
  char text[64];
  std::snprintf(text, sizeof text, "\\x0002%04lx%02x%02x%02x%02x0000000000000000", port, b[0],
                b[1], b[2], b[3]);
  put(host, hostsize, "/dev/tcp");
  put(address, addrsize, text);
  return 1;
}

// Connects with the login time-out; a non-blocking connect completes when
// the endpoint becomes writable.
static int doconnect(int fd, tli::t_call* call, int timeout, int* err, int* sev, int* oserr) {
  if (timeout == 0) {
    if (tli::t_connect(fd, call, nullptr) < 0) {
      *err = 20009; *sev = 9; *oserr = errno;
      return 0;
    }
    return 1;
  }
  set_nonblocking(fd, true);
  if (tli::t_connect(fd, call, nullptr) < 0) {
    if (tli::t_errno != TNODATA) {
      *err = 20009; *sev = 9; *oserr = errno;
      return 0;
    }
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
      r = ::poll(&p, 1, platform::plat_timeout_ms(timeout));
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
      *err = 20003; *sev = 6; *oserr = -1;
      return 0;
    }
    if (r < 0) {
      *err = 20009; *sev = 9; *oserr = errno;
      return 0;
    }
    if (tli::t_rcvconnect(fd, call) < 0) {
      *err = 20009; *sev = 9; *oserr = errno;
      return 0;
    }
  }
  set_nonblocking(fd, false);
  return 1;
}

int dblib::tli_open(iface_entry* entry, int* rfd, int* wfd, int* err, int* sev, int* oserr,
                    int logintime) {
  tli::t_info info{};
  int fd = tli::t_open(entry->host, O_RDWR, &info);
  if (fd < 0) {
    *err = 20008; *sev = 9; *oserr = errno;
    return 0;
  }
  if (info.servtype != T_COTS && info.servtype != T_COTS_ORD) {
    tli::t_close(fd);
    *err = 20009; *sev = 9; *oserr = errno;
    return 0;
  }
  if (tli::t_bind(fd, nullptr, nullptr) < 0) {
    tli::t_close(fd);
    *err = 20009; *sev = 9; *oserr = errno;
    return 0;
  }
  auto* call = static_cast<tli::t_call*>(tli::t_alloc(fd, T_CALL_STR, T_ALL));
  if (!call) {
    tli::t_close(fd);
    *err = 20008; *sev = 9; *oserr = errno;
    return 0;
  }
  int n = mer_strtodata(reinterpret_cast<unsigned char*>(call->addr.buf),
                        static_cast<int>(call->addr.maxlen), entry->address);
  if (n < 0 || n > info.addr) {
    tli::t_free(call, T_CALL_STR);
    tli::t_close(fd);
    *err = 20008; *sev = 9; *oserr = -1;
    return 0;
  }
  // The address always has the provider's full length, zero-filled.
  std::memset(call->addr.buf + n, 0, call->addr.maxlen - static_cast<unsigned>(n));
  call->addr.len = static_cast<unsigned>(info.addr);
  int ok = doconnect(fd, call, logintime, err, sev, oserr);
  tli::t_free(call, T_CALL_STR);
  if (!ok) {
    tli::t_close(fd);
    return 0;
  }
  *rfd = *wfd = fd;
  return info.etsdu == -2 ? -1 : 1;
}

int dblib::tli_read(DBPROCESS* dbproc, BYTE* buf, int len, int /*firstcall*/, int* remaining) {
  int fd = dbproc->net->rfd;
  pollfd p{fd, POLLIN, 0};
  int r = ::poll(&p, 1, platform::plat_timeout_ms(1.0));
  if (r < 0) {
    if (errno == EINTR) return -3;
    int e = errno;
    dbsetdead(dbproc);
    db__raise(dbproc, 20002, 9, e);
    return -2;
  }
  if (r == 0) {
    if (*remaining > 0) --*remaining;
    return -1;
  }
  for (;;) {
    int flags = 0;
    int n = tli::t_rcv(fd, reinterpret_cast<char*>(buf), static_cast<unsigned>(len), &flags);
    if (n > 0) return n;
    if (n == 0) {
      int ev = tli::t_look(fd);
      if (ev == 0 || ev == T_DATA) return -1;  // nothing after all; poll again
      dbsetdead(dbproc);
      db__raise(dbproc, 20017, 9);
      return -2;
    }
    if (tli::t_errno == TSYSERR && errno == EINTR) return -3;
    if (tli::t_errno == TNODATA) return -1;
    if (tli::t_errno == TLOOK) {
      int ev = tli::t_look(fd);
      dbsetdead(dbproc);
      if (ev == T_DISCONNECT || ev == T_ORDREL) db__raise(dbproc, 20017, 9);
      else db__raise(dbproc, 20004, 9, errno);
      return -2;
    }
    dbsetdead(dbproc);
    db__raise(dbproc, 20004, 9, errno);
    return -2;
  }
}

int dblib::tli_write(DBPROCESS* dbproc, const BYTE* buf, int len, int /*eom*/) {
  int n = tli::t_snd(dbproc->net->wfd, reinterpret_cast<const char*>(buf),
                     static_cast<unsigned>(len), 0);
  if (n >= 0) return n;
  if (tli::t_errno == TSYSERR && errno == EINTR) return -3;
  int e = errno;
  dbsetdead(dbproc);
  db__raise(dbproc, 20006, 9, e);
  return -2;
}

int dblib::tli_close_connection(DBPROCESS* dbproc) {
  int fd = dbproc->net->rfd;
  if (fd < 0) return 1;
  tli::t_info info{};
  tli::t_getinfo(fd, &info);
  if (info.servtype == T_COTS) {
    if (tli::t_look(fd) == T_DISCONNECT) tli::t_rcvdis(fd, nullptr);
    else tli::t_snddis(fd, nullptr);
  }
  if (info.servtype == T_COTS || info.servtype == T_COTS_ORD) {
    int ev = tli::t_look(fd);
    if (ev == T_DISCONNECT) tli::t_rcvdis(fd, nullptr);
    else if (ev == T_ORDREL) tli::t_rcvrel(fd);
    else tli::t_sndrel(fd);
  }
  dbproc->net->rfd = dbproc->net->wfd = -1;
  if (tli::t_close(fd) < 0) {
    int e = errno;
    dbsetdead(dbproc);
    db__raise(dbproc, 20056, 9, e);
    return 0;
  }
  return 1;
}

int dblib::tli_sendattn_oob(DBPROCESS* dbproc, int attnbyte) {
  char b = static_cast<char>(attnbyte);
  if (tli::t_snd(dbproc->net->wfd, &b, 1, T_EXPEDITED) != 1) {
    int e = errno;
    dbsetdead(dbproc);
    db__raise(dbproc, 20022, 9, e);
    return 0;
  }
  return 1;
}

int dblib::tli_sendattn_inband(DBPROCESS* dbproc, int) {
  static const char kAttn[8] = {6, 1, 0, 8, 0, 0, 0, 1};
  int sent = 0;
  while (sent < 8) {
    int n = tli::t_snd(dbproc->net->wfd, kAttn + sent, static_cast<unsigned>(8 - sent), 0);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n < 0 && tli::t_errno == TSYSERR && errno == EINTR) continue;
    int e = errno;
    dbsetdead(dbproc);
    db__raise(dbproc, 20022, 9, e);
    return 0;
  }
  return 1;
}

int dblib::tli_sendattn_unknown(DBPROCESS* dbproc, int attnbyte) {
  if (dbproc->protolevel == 0) return tli_sendattn_oob(dbproc, attnbyte);
  dbproc->net->attn = dbproc->protolevel < 7 ? tli_sendattn_oob : tli_sendattn_inband;
  return dbproc->net->attn(dbproc, attnbyte);
}
