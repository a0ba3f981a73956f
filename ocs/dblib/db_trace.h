// Packet tracing and batch recording: the hooks the packet, login and
// command code call, and the trace outputs behind them.
#pragma once

#include "dblib/db_internal.h"

// Trace flags.
enum : int {
  DBTRACE_ALL = 1,      // dbtraceoff only: every flag
  DBTRACE_HEADER = 2,   // one line per packet
  DBTRACE_DATA = 4,     // the line and a hexadecimal dump of the body
  DBTRACE_DUMP = 32,    // the line and the raw body
};
// Direction of a traced packet: the send buffer's packet; any other value
// means the receive buffer's.
constexpr int DBTRACE_WRITE = 2;
constexpr int DBTRACE_READ = 1;
// Size of a connection's trace text buffer.
constexpr int DBTRACE_TEXTSIZE = 3000;

// Runs the trace hooks for the packet just written or read: the trace ring
// always, then the data trace (flag 4) or else the header trace (flag 2),
// and the dump (flag 32).
void db__trace_packet(DBPROCESS* dbproc, int direction);
// Applies the global flags 2, 4 and 32 to a new connection; 1/0.
int db__init_trace(DBPROCESS* dbproc);
// Drops a connection's trace handlers and text.
void db__free_trace(DBPROCESS* dbproc);

// The three trace outputs; 1, or 0 after raising 20190.  A negative
// sequence number prints none.
int db__wireheader(DBPROCESS* dbproc, int direction, int seq);
int db__wiredata(DBPROCESS* dbproc, int direction);
int db__wiredump(DBPROCESS* dbproc, int direction);
const char* db__wiretype(int type);
const char* db__wirestatus(int status);
// The trace ring: the last 512 packet headers of every connection.
void db__wiretrace(DBPROCESS* dbproc, int direction);
void db__dump_wiretrace(FILE* out);

// Recording of the batches a connection sends.
namespace dblib {
void ftos_open(DBPROCESS* dbproc);
void ftos_write(DBPROCESS* dbproc, const char* bytes, int count);
void ftos_eom(DBPROCESS* dbproc);
void ftos_close(DBPROCESS* dbproc);
// The first free recording slot, or -1.
int ftos_getfilepointer();
// The current local time as ctime prints it, without its newline (at least
// 25 bytes).
void get_timestr(char* buffer);
}  // namespace dblib
