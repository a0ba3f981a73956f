// Packet tracing: per connection a list of handlers (one per trace flag in
// force, newest first), each writing to a stream and/or handing the text to
// the caller's print routine, and a bounded text buffer that the print
// routine reads with dbtracestring.  A process-wide ring keeps the last 512
// packet headers.
#include "db_trace.h"

#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

using PrintFn = int (*)(DBPROCESS*);

struct Handler {
  int flag;
  FILE* file;
  PrintFn print;
};

// A connection's tracing: its flags, handlers and the last trace text.
struct TraceState {
  int flags = 0;
  std::vector<Handler> handlers;  // newest first
  char text[DBTRACE_TEXTSIZE];
  int len = 0;   // length of the text
  int pos = 0;   // read position of dbtracestring
  int left = 0;  // bytes not yet read
};

std::unordered_map<const DBPROCESS*, TraceState>& traces() {
  static std::unordered_map<const DBPROCESS*, TraceState> t;
  return t;
}

// The global defaults applied to new connections.
int g_flags = 0;
FILE* g_file = nullptr;
PrintFn g_print = nullptr;

struct RingEntry {
  unsigned char header[8];
  int direction;
  int spid;
  long long seq;
};
constexpr int kRingSize = 512;
RingEntry g_ring[kRingSize];
long long g_ringcount = 0;  // packets seen; never wraps in practice

TraceState* state_of(DBPROCESS* dbproc) {
  auto it = traces().find(dbproc);
  return it == traces().end() ? nullptr : &it->second;
}

const Handler* find_handler(TraceState* t, int flag) {
  for (const Handler& h : t->handlers)
    if (h.flag == flag) return &h;
  return nullptr;
}

int not_found(DBPROCESS* dbproc) {
  db__raise(dbproc, 20190, 1);
  return 0;
}

// The header of the packet a direction names, and its body.
const BYTE* packet_of(DBPROCESS* dbproc, int direction) {
  return direction == DBTRACE_WRITE ? dbproc->net->sendbuf : dbproc->net->recvbuf;
}

// The length and status a traced header shows; in old-login mode a length
// of 0 stands for a full 512-byte packet and any other marks the end of
// the message.
void shown(DBPROCESS* dbproc, const BYTE* h, int* len, int* status) {
  *len = db__be16(h + 2);
  *status = h[1];
  if (dbproc->oldlogin) {
    if (*len == 0) *len = 512;
    else *status |= 1;
  }
}

// The body length that may be read from the packet buffer.
int body_len(DBPROCESS* dbproc, int len) {
  int body = len - 8;
  int room = dbproc->net->pktsize - 8;
  if (body > room) body = room;
  return body < 0 ? 0 : body;
}

// Calls a handler's print routine with dbtracestring allowed.
int db__handle_printfunc(DBPROCESS* dbproc, PrintFn print) {
  bool was = (dbproc->status & DBST_PRINTFUNC) != 0;
  dbproc->status |= DBST_PRINTFUNC;
  int r = print(dbproc);
  if (!was) dbproc->status &= ~DBST_PRINTFUNC;
  return r;
}

// Hands the trace text to a handler: its stream, then its print routine.
void emit(DBPROCESS* dbproc, TraceState* t, Handler h) {
  if (h.file) {
    std::fwrite(t->text, 1, static_cast<std::size_t>(t->len), h.file);
    std::fflush(h.file);
  }
  t->pos = 0;
  t->left = t->len;
  if (h.print) db__handle_printfunc(dbproc, h.print);
}

// The handler of the header line: flag 2, else flag 4.
const Handler* header_handler(TraceState* t) {
  const Handler* h = find_handler(t, DBTRACE_HEADER);
  return h ? h : find_handler(t, DBTRACE_DATA);
}

void ring_store(DBPROCESS* dbproc, int direction, long long seq) {
  RingEntry& e = g_ring[g_ringcount % kRingSize];
  std::memcpy(e.header, packet_of(dbproc, direction), 8);
  e.direction = direction;
  e.spid = dbproc->spid;
  e.seq = seq;
  ++g_ringcount;
}

void header_line(char* out, int size, int spid, int direction, const BYTE* h, int len, int status,
                 long long seq) {
  int n = 0;
  if (seq >= 0) n = std::snprintf(out, static_cast<std::size_t>(size), "%lld: ", seq);
  std::snprintf(out + n, static_cast<std::size_t>(size - n),
                "spid %d - %s: %s, %s, length=%d, packet=%d\n", spid,
                direction == DBTRACE_WRITE ? "write" : "read", db__wiretype(h[0]),
                db__wirestatus(status), len, h[6]);
}

}  // namespace

const char* db__wiretype(int type) {
  switch (type) {
    case 1: return "sql batch";
    case 2: return "login";
    case 3: return "rpc";
    case 4: return "table response";
    case 5: return "binary response";
    case 6: return "attention";
    case 7: return "bulk load data";
    case 8: return "open channel";
    case 9: return "close channel";
    case 10: return "protocol error";
    case 11: return "protocol ack";
    case 12: return "echo";
    case 15: return "normal";
    case 16: return "urgent";
    default: return "unknown type";
  }
}

const char* db__wirestatus(int status) {
  bool eom = (status & 1) != 0, ack = (status & 2) != 0;
  if (eom) return ack ? "eom, attention ack" : "eom";
  return ack ? "not eom, attention ack" : "not eom";
}

int db__wireheader(DBPROCESS* dbproc, int direction, int seq) {
  TraceState* t = state_of(dbproc);
  const Handler* h = t ? header_handler(t) : nullptr;
  if (!h) return not_found(dbproc);
  const BYTE* p = packet_of(dbproc, direction);
  int len, status;
  shown(dbproc, p, &len, &status);
  header_line(t->text, sizeof t->text, dbproc->spid, direction, p, len, status, seq);
  t->len = static_cast<int>(std::strlen(t->text));
  emit(dbproc, t, *h);
  return 1;
}

int db__wiredata(DBPROCESS* dbproc, int direction) {
  if (!db__wireheader(dbproc, direction, -1)) return 0;
  TraceState* t = state_of(dbproc);
  const Handler* hp = t ? find_handler(t, DBTRACE_DATA) : nullptr;
  if (!hp) return not_found(dbproc);
  Handler h = *hp;
  const BYTE* p = packet_of(dbproc, direction);
  int len, status;
  shown(dbproc, p, &len, &status);
  int body = body_len(dbproc, len);
  const BYTE* data = p + 8;
  static const char kDigits[] = "0123456789abcdef";
  // Lines are gathered in the text buffer and handed out whenever the next
  // one would not fit, so a body of any size is dumped without overrun.
  constexpr int kLine = 8 * 7 + 2 + 16 + 1;
  t->len = 0;
  for (int off = 0; off < body; off += 16) {
    if (t->len + kLine > DBTRACE_TEXTSIZE) {
      emit(dbproc, t, h);
      t->len = 0;
    }
    char* o = t->text + t->len;
    for (int i = 0; i < 16; i += 2) {
      *o++ = '0';
      *o++ = 'x';
      for (int k = i; k < i + 2; ++k) {
        if (off + k < body) {
          *o++ = kDigits[data[off + k] >> 4];
          *o++ = kDigits[data[off + k] & 0xf];
        } else {
          *o++ = '.';
          *o++ = '.';
        }
      }
      *o++ = ' ';
    }
    *o++ = '|';
    *o++ = ' ';
    for (int k = 0; k < 16; ++k) {
      int c = off + k < body ? data[off + k] : ' ';
      *o++ = (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : ' ';
    }
    *o++ = '\n';
    t->len = static_cast<int>(o - t->text);
  }
  if (t->len > 0) emit(dbproc, t, h);
  return 1;
}

int db__wiredump(DBPROCESS* dbproc, int direction) {
  TraceState* t = state_of(dbproc);
  const Handler* h = t ? find_handler(t, DBTRACE_DUMP) : nullptr;
  if (!h) return not_found(dbproc);
  if (!h->file) return 1;  // a dump goes to a stream only
  const BYTE* p = packet_of(dbproc, direction);
  int len, status;
  shown(dbproc, p, &len, &status);
  std::fprintf(h->file, "spid %d - %s: %s, %s, type=%d, len=%d, packet=%d\n", dbproc->spid,
               direction == DBTRACE_WRITE ? "write" : "read", db__wiretype(p[0]),
               db__wirestatus(status), p[0], len, p[6]);
  std::fflush(h->file);
  auto body = static_cast<std::size_t>(body_len(dbproc, len));
  if (std::fwrite(p + 8, 1, body, h->file) != body) return not_found(dbproc);
  std::fflush(h->file);
  return 1;
}

void db__wiretrace(DBPROCESS* dbproc, int direction) { ring_store(dbproc, direction, g_ringcount); }

void db__dump_wiretrace(FILE* out) {
  long long first = g_ringcount > kRingSize ? g_ringcount - kRingSize : 0;
  char line[160];
  for (long long i = first; i < g_ringcount; ++i) {
    const RingEntry& e = g_ring[i % kRingSize];
    int len = db__be16(e.header + 2);
    header_line(line, sizeof line, e.spid, e.direction, e.header, len, e.header[1], e.seq);
    std::fputs(line, out);
  }
  std::fflush(out);
}

void db__trace_packet(DBPROCESS* dbproc, int direction) {
  db__wiretrace(dbproc, direction);
  if (traces().empty()) return;
  TraceState* t = state_of(dbproc);
  if (!t || t->flags == 0) return;
  int flags = t->flags;
  if (flags & DBTRACE_DATA) db__wiredata(dbproc, direction);
  else if (flags & DBTRACE_HEADER) db__wireheader(dbproc, direction, -1);
  if (flags & DBTRACE_DUMP) db__wiredump(dbproc, direction);
}

// Adds a handler for `flag` to a connection; 0 after raising 20010 when
// memory is short.
static int add_handler(DBPROCESS* dbproc, int flag, FILE* file, PrintFn print) {
  try {
    TraceState& t = traces()[dbproc];
    if (!file && !print) file = stderr;
    t.handlers.insert(t.handlers.begin(), Handler{flag, file, print});
    t.flags |= flag;
    return 1;
  } catch (const std::bad_alloc&) {
    db__raise(dbproc, 20010, 8);
    return 0;
  }
}

int db__init_trace(DBPROCESS* dbproc) {
  for (int flag : {DBTRACE_HEADER, DBTRACE_DATA, DBTRACE_DUMP})
    if ((g_flags & flag) && !add_handler(dbproc, flag, g_file, g_print)) return 0;
  return 1;
}

void db__free_trace(DBPROCESS* dbproc) { traces().erase(dbproc); }

RETCODE dbtraceon(DBPROCESS* dbproc, int flag, FILE* file, int (*printfunc)(DBPROCESS*)) {
  if (!dbproc) {
    g_flags |= flag;
    g_file = file;
    g_print = printfunc;
    return SUCCEED;
  }
  if (!db__procchk(dbproc)) return FAIL;
  TraceState* t = state_of(dbproc);
  if (t && (t->flags & flag) == flag) return SUCCEED;
  return add_handler(dbproc, flag, file, printfunc) ? SUCCEED : FAIL;
}

// Switches `flag` off on one connection.
static RETCODE trace_off(DBPROCESS* dbproc, int flag) {
  TraceState* t = state_of(dbproc);
  if (flag == DBTRACE_ALL) {
    if (t) {
      t->handlers.clear();
      t->flags = 0;
    }
    return SUCCEED;
  }
  if (!t || (t->flags & flag) != flag) {
    db__raise(dbproc, 20189, 1);
    return FAIL;
  }
  t->flags &= ~flag;
  for (auto it = t->handlers.begin(); it != t->handlers.end(); ++it)
    if (it->flag == flag) {
      t->handlers.erase(it);
      return SUCCEED;
    }
  db__raise(dbproc, 20190, 1);
  return FAIL;
}

RETCODE dbtraceoff(DBPROCESS* dbproc, int flag) {
  if (dbproc) {
    if (!db__procchk(dbproc)) return FAIL;
    return trace_off(dbproc, flag);
  }
  g_flags = flag == DBTRACE_ALL ? 0 : g_flags & ~flag;
  // Connections where the flag is not on have nothing to switch off.
  RETCODE r = SUCCEED;
  for (DBPROCESS* p = Db__GlobalRec.procs; p; p = p->nextproc) {
    TraceState* t = state_of(p);
    if (!t || (flag != DBTRACE_ALL && (t->flags & flag) != flag)) continue;
    if (trace_off(p, flag) != SUCCEED) r = FAIL;
  }
  return r;
}

int dbtracestring(DBPROCESS* dbproc, char* buffer, int count) {
  if (!dbproc) {
    db__raise(nullptr, 20109, 1);
    return -1;
  }
  if (!(dbproc->status & DBST_PRINTFUNC)) {
    db__raise(dbproc, 20191, 1);
    return -1;
  }
  if (count < 0) {
    db__raise(dbproc, 20192, 1);
    return -1;
  }
  TraceState* t = state_of(dbproc);
  int left = t ? t->left : 0;
  if (!buffer) return t ? t->len : 0;
  int n = (count == 0 || count >= left) ? left : count;
  if (n > 0) std::memcpy(buffer, t->text + t->pos, static_cast<std::size_t>(n));
  buffer[n] = '\0';
  if (t) {
    t->pos += n;
    t->left -= n;
  }
  return n;
}
