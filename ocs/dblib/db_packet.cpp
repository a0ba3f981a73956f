// Wire packets and buffered I/O: outgoing bytes are packed into packets of
// the connection's packet size; incoming bytes are read from the transport
// in large blocks into the connection's read-ahead block, packets are read
// there in place (one that arrived only in part is put together in the
// receive half of the buffer block) and their bodies handed out byte by
// byte.  Every read is bounded by the connection's
// time-out while the caller's callbacks are polled.
#include <cerrno>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"
#include "db_trace.h"

namespace {

// Makes at least `want` bytes wait in the read-ahead block, reading the
// transport as often as needed: the count waiting, or -1 failure, -2 end
// of data reported by the transport, -4 attention not acknowledged.
int read_buffer(DBPROCESS* dbproc, int want, int* busyres);

// Polls the caller's interrupt check; 0 when an attention could not be sent.
int do_wait_stuff(DBPROCESS* dbproc, int* busyres) {
  if (!dbproc->intcheck) return 1;
  if (dbproc->intcheck(dbproc) != 1) return 1;
  int answer = dbproc->inthandler ? dbproc->inthandler(dbproc) : INT_CONTINUE;
  if (answer == INT_EXIT) {
    dbattention(dbproc);
    db__exraise("Interrupt. Exiting.");
  }
  if (answer == INT_CANCEL && !(dbproc->batch & DBB_ATTNSENT)) {
    if (dbattention(dbproc) != SUCCEED) return 0;
    dbproc->status |= DBST_INTERRUPTED;
  }
  if (dbproc->busy) *busyres = dbproc->busy(dbproc);
  return 1;
}

int read_buffer(DBPROCESS* dbproc, int want, int* busyres) {
  dbnetctx* net = dbproc->net;
  int got = net->stagelen - net->stagepos;
  if (got >= want) return got;
  if (!net->stage) {
    net->stage = static_cast<BYTE*>(comn_malloc(kDbStageSize));
    if (!net->stage) {
      db__raise(dbproc, 20010, 8, errno);
      return -1;
    }
  }
  // Keep the waiting bytes at the start, so that the rest of the block
  // can take whatever the transport has.
  if (net->stagepos > 0) {
    if (got > 0) std::memmove(net->stage, net->stage + net->stagepos, static_cast<std::size_t>(got));
    net->stagepos = 0;
    net->stagelen = got;
  }
  bool attnwait = (dbproc->status & DBST_ATTNWAIT) != 0;
  int full = attnwait ? 30 : db__getDbTimeout(dbproc);
  int remaining = full;
  int attn_resent = 0;
  int first = 1;
  while (got < want) {
    int r = net->reader(dbproc, net->stage + net->stagelen, kDbStageSize - net->stagelen, first,
                        &remaining);
    if (r > 0) {
      net->stagelen += r;
      got += r;
    } else if (r == -1 || r == -3) {
      first = 0;
    } else if (r == -2) {
      return -1;
    } else if (r == -4) {
      return -2;
    }
    if (!do_wait_stuff(dbproc, busyres)) return -1;
    if (got >= want) break;
    attnwait = (dbproc->status & DBST_ATTNWAIT) != 0;
    if (attnwait && remaining <= 0) {
      if (attn_resent == 0) {
        attn_resent = 1;
        remaining = 30;
        if (dbattention(dbproc) != SUCCEED) return -1;
      } else {
        db__raise(dbproc, 20296, 6);
        return -4;
      }
    } else if (!attnwait && full != 0 && remaining <= 0) {
      int answer = db__raise(dbproc, 20003, 6);
      if (answer == INT_CONTINUE) {
        if (dbproc->busy) *busyres = dbproc->busy(dbproc);
        remaining = full;
      } else if (answer == INT_CANCEL) {
        if (!(dbproc->batch & DBB_ATTNSENT) && !dbproc->dead) {
          if (dbattention(dbproc) != SUCCEED) return -1;
        }
        dbproc->status |= DBST_INTERRUPTED;
        dbsetdead(dbproc);
        return -1;
      } else if (answer == INT_TIMEOUT) {
        return -1;
      } else {
        remaining = full;
      }
    }
    if (dbproc->dead) return -1;
  }
  return got;
}

int write_buffer(DBPROCESS* dbproc, const BYTE* bytes, int count, int flag) {
  int done = 0;
  while (done < count) {
    int r = dbproc->net->writer(dbproc, bytes + done, count - done, flag);
    if (r == -3) continue;
    if (r < 0) return 0;
    done += r;
  }
  return 1;
}

void set_eom_bit(DBPROCESS* dbproc, const BYTE* header) {
  if (header[1] & 1) dbproc->status |= DBST_EOM;
  else dbproc->status &= ~DBST_EOM;
}

// Takes the next `want` bytes of the stream into `dest`: `want`, or the
// failure of read_buffer, the bytes that did arrive being taken all the same.
int take(DBPROCESS* dbproc, BYTE* dest, int want, int* busyres) {
  int r = read_buffer(dbproc, want, busyres);
  dbnetctx* net = dbproc->net;
  int n = net->stagelen - net->stagepos;
  if (n > want) n = want;
  if (n > 0) {
    std::memcpy(dest, net->stage + net->stagepos, static_cast<std::size_t>(n));
    net->stagepos += n;
  }
  return r < 0 ? r : want;
}

}  // namespace

void db__initserver(dbnetctx* net, BYTE* block, int pktsize) {
  net->block = block;
  net->pktsize = pktsize;
  net->sendbuf = block;
  net->recvbuf = block + pktsize;
  std::memset(net->sendbuf, 0, 8);
  net->sendbuf[0] = PKT_OLDSTYLE;
  net->sendpos = 8;
  net->sendleft = pktsize - 8;
  net->recvpos = 8;
  net->recvavail = 0;
  net->recvwant = 0;
  net->pktno = 0;
}

int db__realloc_bufs(DBPROCESS* dbproc) {
  dbnetctx* net = dbproc->net;
  int size = dbproc->pktsize;
  auto* block = static_cast<BYTE*>(comn_calloc(2, static_cast<std::size_t>(size)));
  if (!block) {
    db__raise(dbproc, 20010, 8, errno);
    return 0;
  }
  comn_free(net->block);
  db__initserver(net, block, size);
  return 1;
}

void db__drop_stage(dbnetctx* net) {
  net->stagepos = 0;
  net->stagelen = 0;
}

int dblib::sendflush(DBPROCESS* dbproc, int eom, int flag) {
  dbnetctx* net = dbproc->net;
  dbproc->batch &= ~DBB_ATTNSINCE;
  if (net->sendleft < 0) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20005, 11);
    return 0;
  }
  int len = net->pktsize - net->sendleft;
  int lenfield = (dbproc->oldlogin && !eom && len == 512) ? 0 : len;
  BYTE* h = net->sendbuf;
  h[1] = eom ? 1 : 0;
  h[2] = static_cast<BYTE>(lenfield >> 8);
  h[3] = static_cast<BYTE>(lenfield & 0xff);
  h[4] = h[5] = 0;
  h[6] = static_cast<BYTE>(net->pktno);
  h[7] = dbproc->oldlogin ? 1 : 0;
  int ok = write_buffer(dbproc, net->sendbuf, len, eom ? flag : 0);
  if (ok) db__trace_packet(dbproc, DBTRACE_WRITE);
  net->sendpos = 8;
  net->sendleft = net->pktsize - 8;
  net->pktno = eom ? 0 : net->pktno + 1;
  return ok;
}

int dblib::sendserver(DBPROCESS* dbproc, const void* bytes, int count, int pkttype) {
  dbnetctx* net = dbproc->net;
  const auto* p = static_cast<const BYTE*>(bytes);
  while (count > 0) {
    if (net->sendleft <= 0) {
      net->sendbuf[0] = static_cast<BYTE>(pkttype);
      if (!sendflush(dbproc, 0, 0)) return 0;
    }
    int n = count < net->sendleft ? count : net->sendleft;
    std::memcpy(net->sendbuf + net->sendpos, p, static_cast<std::size_t>(n));
    net->sendpos += n;
    net->sendleft -= n;
    p += n;
    count -= n;
  }
  if (dbproc->oldlogin && net->sendleft == 0) {
    if (!sendflush(dbproc, 0, 0)) return 0;
  }
  return 1;
}

int dblib::sendeom(DBPROCESS* dbproc, int pkttype, int flag) {
  dbnetctx* net = dbproc->net;
  if (!dbproc->oldlogin) net->sendbuf[0] = static_cast<BYTE>(pkttype);
  int ok = sendflush(dbproc, 1, flag);
  if (dbproc->oldlogin) net->sendbuf[0] = PKT_OLDSTYLE;
  return ok;
}

// Reads the next packet: 1 with its body available (possibly empty), 2 at
// the transport's end of data, 0 on failure.
int dblib::recvfill(DBPROCESS* dbproc) {
  dbnetctx* net = dbproc->net;
  int busyres = dbproc->busy ? dbproc->busy(dbproc) : 0;
  if (dbproc->pending & 8) {
    if (!db__realloc_bufs(dbproc)) return 0;
    net = dbproc->net;
    dbproc->pending &= static_cast<uint16_t>(~8);
  }
  net->recvpos = 8;
  net->recvavail = 0;
  // A packet that lies whole in the read-ahead block is read where it is;
  // any other is put together in the receive half of the buffer block.
  if (net->block) net->recvbuf = net->block + net->pktsize;
  const int waiting = net->stagelen - net->stagepos;
  if (waiting >= 8) {
    BYTE* at = net->stage + net->stagepos;
    const int whole = db__be16(at + 2);
    if (whole >= 8 && whole <= net->pktsize && whole <= waiting) {
      net->recvbuf = at;
      net->stagepos += whole;
      net->lasttype = at[0];
      set_eom_bit(dbproc, at);
      net->lastlen = whole;
      net->recvavail = whole - 8;
      db__trace_packet(dbproc, DBTRACE_READ);
      if (dbproc->idle) dbproc->idle(busyres, dbproc);
      return 1;
    }
  }
  BYTE* h = net->recvbuf;
  int r = take(dbproc, h, 8, &busyres);
  if (r == -4) return 0;
  if (r == -1) {
    if (dbproc->idle) dbproc->idle(busyres, dbproc);
    return 0;
  }
  if (r == -2) {
    if (dbproc->idle) dbproc->idle(busyres, dbproc);
    set_eom_bit(dbproc, h);
    return 2;
  }
  net->lasttype = h[0];
  set_eom_bit(dbproc, h);
  int len = db__be16(h + 2);
  net->lastlen = len;
  // A length below the header or above the buffer can only come from a
  // broken stream: reading it would under- or overflow the buffer.
  if (len < 8 || len > net->pktsize) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20004, 9);
    return 0;
  }
  if (len > 8) {
    r = take(dbproc, h + 8, len - 8, &busyres);
    if (r < 0) {
      if (dbproc->idle) dbproc->idle(busyres, dbproc);
      return 0;
    }
    net->recvavail = len - 8;
  }
  db__trace_packet(dbproc, DBTRACE_READ);
  if (dbproc->idle) dbproc->idle(busyres, dbproc);
  return 1;
}

int db__recv_across(DBPROCESS* dbproc, BYTE* out, int count) {
  dbnetctx* net = dbproc->net;
  while (count > 0) {
    if (net->recvavail == 0) {
      int r = recvfill(dbproc);
      net = dbproc->net;
      if (r != 1) {
        if (r == 2 && !dbproc->dead) {
          dbsetdead(dbproc);
          db__raise(dbproc, 20017, 9);
        }
        return 0;
      }
      continue;
    }
    int n = count < net->recvavail ? count : net->recvavail;
    if (out) {
      std::memcpy(out, net->recvbuf + net->recvpos, static_cast<std::size_t>(n));
      out += n;
    }
    net->recvpos += n;
    net->recvavail -= n;
    net->consumed += n;
    count -= n;
  }
  return 1;
}

int db__getu16(DBPROCESS* dbproc, uint16_t* v) {
  BYTE b[2];
  if (!recvserver(dbproc, b, 2)) return 0;
  *v = db__be16(b);
  return 1;
}

int db__get16(DBPROCESS* dbproc, int16_t* v) {
  uint16_t u;
  if (!db__getu16(dbproc, &u)) return 0;
  *v = static_cast<int16_t>(u);
  return 1;
}

int db__read_name(DBPROCESS* dbproc, int len, char* field, int size) {
  int keep = len < size - 1 ? len : size - 1;
  if (keep > 0 && !recvserver(dbproc, field, keep)) return 0;
  field[keep > 0 ? keep : 0] = '\0';
  return db__discard(dbproc, len - keep);
}

int db__send16(DBPROCESS* dbproc, int v, int pkttype) {
  BYTE b[2] = {static_cast<BYTE>((v >> 8) & 0xff), static_cast<BYTE>(v & 0xff)};
  return sendserver(dbproc, b, 2, pkttype);
}

int db__send32(DBPROCESS* dbproc, int32_t v, int pkttype) {
  auto u = static_cast<uint32_t>(v);
  BYTE b[4] = {static_cast<BYTE>(u >> 24), static_cast<BYTE>(u >> 16), static_cast<BYTE>(u >> 8),
               static_cast<BYTE>(u)};
  return sendserver(dbproc, b, 4, pkttype);
}

void dbbmove(const void* src, void* dest, int count) {
  if (count > 0) std::memmove(dest, src, static_cast<std::size_t>(count));
}
