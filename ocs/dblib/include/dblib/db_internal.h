// Internal records of the DB client: the process-wide record, the
// connection (DBPROCESS), the login record, the small records hanging off a
// connection, and the routines the client's own files share.  Other layers
// of the client (conversions, localisation, cursors) may read these fields.
//
// The shared routines are named db__x (dbx for token readers and the like)
// or sit in namespace dblib under their ordinary names, so that none of
// them clashes with a name of a program that links the client; the
// client's own files call the latter unqualified (see the end).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dblib/dblib.h"
#include "intllib/intl_loc.h"

// ---------------------------------------------------------------------------
// Records

// One node of the command buffer, option text and other string lists.
struct dbstring {
  char* data;     // owned, not NUL-terminated
  int32_t len;
  dbstring* next;
};

// How a bound column's values are converted into its variable, worked out
// at the first row copied (db_bind.cpp) and kept while the column's type
// and length and the binding's type and routine stay those it follows from.
struct dbcvtplan {
  unsigned char type;
  int32_t maxlen;
  int bindtype;
  DB_CVTPROC cvtproc;
  int srcbind;    // bind type of the column's values (0: not worked out)
  int calltype;   // calling convention of the routine (db__call_type)
};

// One result column.
struct dbcolumn {
  char name[31];            // at most 30 characters
  unsigned char type;       // server datatype
  int32_t usertype;
  int32_t maxlen;
  int32_t displen;
  char* control;            // owned CONTROL format text
  // Binding.
  BYTE* varaddr;
  DBINT bindlen;
  int bindtype;
  DB_CVTPROC cvtproc;
  DBINT* nullind;
  DBTYPEINFO typeinfo;
  dbcvtplan cvtplan;
  unsigned char tabnum;
  unsigned char colstatus;     // 0x10 hidden, 0x20 has a source name
  unsigned char rowfmtstatus;  // 0x20 nullable
  char* srcname;               // owned
  char* texttable;             // owned table name of a text/image column
  int32_t precision;
  int32_t scale;
  int isnull;                  // the current value is NULL
  dbcolumn* next;
};

// One value of a row.
struct dbcolvalue {
  BYTE* data;           // owned
  int32_t len;          // 0 for NULL
  int32_t allocsize;
  BYTE textptr[16];
  int32_t textptrlen;
  BYTE timestamp[8];
  int32_t tslen;
};

// One row.
struct dbrow {
  int32_t rownum;
  int16_t computeid;    // 0 for a regular row
  dbcolvalue* values;   // owned array
  int32_t nvalues;
  int altnull;
  dbrow* prev;
  dbrow* next;
};

struct dboffset {
  int16_t type;
  int16_t offset;
  dboffset* next;
};

// A stored server message.
struct dbmsgrec {
  int32_t number;
  unsigned char state;
  unsigned char severity;
  char* text;      // owned
  char* server;    // owned
  char* proc;      // owned
  int16_t line;
  dbmsgrec* next;
};

// A parameter of a negotiation message (and later of RPCs).
struct dbparam {
  char name[31];
  unsigned char namelen;
  unsigned char status;
  int32_t usertype;
  unsigned char type;
  int32_t maxlen;
  int32_t precision;
  int32_t scale;
  int32_t datalen;
  BYTE* data;        // owned
  dbparam* next;
};

struct DBKEYTAB;

// An event the server can notify: its handler and, while a notification
// is read and handled, its parameters.
typedef int (*DB_EVENT_PROC)(DBPROCESS* dbproc, char* name, int reserved, int nparams);
struct dbevent {
  char name[31];
  DB_EVENT_PROC handler;
  dbparam* params;   // owned, in arrival order
  int32_t nparams;
  dbevent* next;     // unused by the library
};

// A negotiation MSG read during login.
struct dbnegmsg {
  int16_t id;
  int16_t nparams;
  dbparam* params;
};

struct dbtabrec {  // one browse table name
  char name[32];
  dbtabrec* next;
};

// One address of a server from the interfaces file.
struct iface_entry {
  char server[32];
  int32_t retries;
  int32_t delay;
  char service[16];
  char netword[32];
  char protocol[32];
  char host[32];
  char address[64];
  iface_entry* next;
};

// Transport routines of a connection.
typedef int (*DB_ATTN_FN)(DBPROCESS*, int attnbyte);
typedef int (*DB_READ_FN)(DBPROCESS*, BYTE* buf, int len, int firstcall, int* remaining);
typedef int (*DB_WRITE_FN)(DBPROCESS*, const BYTE* buf, int len, int eom);
typedef int (*DB_CLOSE_FN)(DBPROCESS*);

// Packet buffers and transport of one connection.
struct dbnetctx {
  BYTE* block;        // owned: 2 * packet size
  BYTE* sendbuf;      // first half: header + body being filled
  int32_t sendpos;    // next free byte of the send buffer
  int32_t sendleft;   // space left in the send buffer
  int32_t pktsize;
  int wfd;
  BYTE* recvbuf;      // header + body of the packet read: in the read-ahead block, or the second half
  int32_t recvpos;    // next unread body byte (index into recvbuf)
  int32_t recvavail;  // unread body bytes
  int32_t recvwant;
  int rfd;
  int nettype;
  DB_ATTN_FN attn;
  DB_READ_FN reader;
  void* unused;
  DB_WRITE_FN writer;
  DB_CLOSE_FN closer;
  BYTE lasttype;      // type byte of the last packet read
  int32_t lastlen;    // length (header included) of the last packet read
  int32_t pktno;      // packet number of the message being sent
  int64_t consumed;   // body bytes handed out so far (token lengths are checked with it)
  // Bytes read from the transport ahead of the packet being taken: the
  // transport is read in large blocks and packets are taken from here.
  BYTE* stage;        // owned: kDbStageSize bytes, allocated at the first read
  int32_t stagepos;   // next byte not yet taken
  int32_t stagelen;   // end of the bytes read
};

// Size of a connection's read-ahead block; holds the largest packet.
constexpr int32_t kDbStageSize = 262144;

// One option of a connection.
struct dboption {
  const char* name;
  dbstring* params;   // owned
  uint16_t flags;     // 1 client side, 2 parameter, 4 on by default, 8 one value
  int set;
};

// The locale of one national language.
struct dbmoneyfmt {
  int before;         // the entry's first value begins with "B"
  char text[6];
  dbmoneyfmt* next;
};
struct dberrtext {
  char mnemonic[9];
  char text[257];
};
struct DBLOCALE {
  char language[32];
  INTL_DATETIME* datetime;   // owned
  const char* shortmonths[12];  // datetime's short month names, as a list
  int32_t dateorder;         // 1 mdy, 2 dmy, 3 ymd, 4 ydm, 5 myd, 6 dym
  char copyright[512];
  dbmoneyfmt* money;         // owned list
  dberrtext errors[299];     // 20001..20299
  int32_t usecount;
  DBLOCALE* next;
};

// A security label of a login.
struct dblabel {
  dblabel* next;
  char* name;
  char* value;
};

// The login description: the 568-byte wire record and its labels.
struct loginrec {
  unsigned char* rec;   // owned, LOGIN_RECLEN bytes
  dblabel* labels;
  void* chalresp;       // never filled by the library
};

#define LOGIN_RECLEN 568
#define LOGIN_OLDLEN 172
// Offsets of the login record's fields.
enum LoginOff {
  L_HOST = 0, L_USER = 31, L_PWD = 62, L_HID = 93,
  L_INT2 = 124, L_INT4 = 125, L_CHAR = 126, L_FLT = 127, L_DATE = 128, L_USEDB = 129,
  L_DMPLD = 130, L_APP = 140, L_SERVER = 171, L_RPW = 202, L_RPWLEN = 457,
  L_PROTO = 458, L_PROG = 462, L_PROGLEN = 472, L_PROGVER = 473, L_NOSHORT = 477,
  L_FLT4 = 478, L_DATE4 = 479, L_LANG = 480, L_SETLANG = 511, L_OLDSEC = 512,
  L_SECLOGIN = 514, L_SECBULK = 515, L_HALOGIN = 516, L_SESSION = 517,
  L_CHARSET = 525, L_SETCHARSET = 556, L_PACKET = 557, L_PACKETLEN = 563,
};

// Status bits of a connection.
enum : uint32_t {
  DBST_ROWS = 0x2,
  DBST_PROCID = 0x4,
  DBST_SQLOK_DONE = 0x8,
  DBST_DBCHANGED = 0x10,
  DBST_RPC = 0x20,
  DBST_PRINTFUNC = 0x400,
  DBST_EVENTHANDLER = 0x2000,  // an event handler is running
  DBST_RETTEXT = 0x4000,
  DBST_ATTNWAIT = 0x10000,
  DBST_TIMEDOUT = 0x20000,
  DBST_INTERRUPTED = 0x80000,
  DBST_EOM = 0x100000,
  DBST_CANCELLED = 0x200000,
};
// Batch flags.
enum : uint32_t {
  DBB_NORESULTS = 0x1,
  DBB_ATTNSENT = 0x2,
  DBB_ATTNSINCE = 0x4,
  DBB_ATTNACKED = 0x8,
};
// DONE status bits.
enum : uint16_t {
  DONE_MORE = 0x1,
  DONE_ERROR = 0x2,
  DONE_COUNT = 0x10,
  DONE_ATTN = 0x20,
  DONE_EVENT = 0x40,
};
// Stream tokens.
enum : unsigned char {
  TK_LANGUAGE = 0x21, TK_OLDCOLFMT = 0x2A, TK_MSG = 0x65, TK_OFFSET = 0x78,
  TK_RETURNSTATUS = 0x79, TK_PROCID = 0x7C, TK_COLNAME = 0xA0, TK_COLFMT = 0xA1,
  TK_EVENT = 0xA2, TK_TABNAME = 0xA4, TK_COLINFO = 0xA5, TK_OPTIONCMD = 0xA6,
  TK_ALTNAME = 0xA7, TK_ALTFMT = 0xA8, TK_ORDERBY = 0xA9, TK_ERROR = 0xAA, TK_INFO = 0xAB,
  TK_RETURNVALUE = 0xAC, TK_LOGINACK = 0xAD, TK_CONTROL = 0xAE, TK_ALTCONTROL = 0xAF,
  TK_ROW = 0xD1, TK_ALTROW = 0xD3, TK_PARAMS = 0xD7, TK_CAPABILITY = 0xE2,
  TK_ENVCHANGE = 0xE3, TK_EED = 0xE5, TK_PARAMFMT = 0xEC, TK_ROWFMT = 0xEE,
  TK_DONE = 0xFD, TK_DONEPROC = 0xFE, TK_DONEINPROC = 0xFF,
};
// Packet types.
enum : unsigned char {
  PKT_LANGUAGE = 1, PKT_LOGIN = 2, PKT_RPC = 3, PKT_RESPONSE = 4, PKT_ATTENTION = 6,
  PKT_NORMAL = 15, PKT_OLDSTYLE = 0x46,
};

// A connection.
struct dbprocess {
  dbnetctx* net;
  uint32_t status;
  unsigned char token;
  dbstring* cmdbuf;
  int32_t curcmd;
  int32_t procid;
  dbcolumn* columns;
  void* computes;
  dbrow* firstrow;
  dbrow* currow;
  dbrow* lastrow;
  dboffset* offsets;
  int16_t curoffset;
  dboption* options;      // owned, DBNUMOPTIONS entries
  dbstring* optcmd;       // owned
  dbmsgrec* msgs;         // owned
  dbmsgrec* msgcursor;    // last record handed out (nullptr: before the first)
  dbnegmsg* curmsg;       // owned
  BYTE* savedkey;
  unsigned char savedkeylen;
  uint16_t donestatus;
  uint16_t donecmd;
  int32_t donecount;
  DB_BUSY_PROC busy;
  DB_IDLE_PROC idle;
  DB_INTCHK_PROC intcheck;
  DB_INTHANDLE_PROC inthandler;
  int32_t rowbuflimit;
  uint32_t batch;
  int32_t norders;
  int32_t* orders;        // owned
  unsigned char avail;
  int32_t recslot;
  unsigned char dead;
  unsigned char enabled;
  unsigned char batchsent;
  dbtabrec* tabnames;     // owned
  dbparam* retvals;      // owned: RETURNVALUE parameters of the last procedure
  unsigned char textopen;
  int32_t retstatus;
  unsigned char hasretstat;
  int32_t textlimit;
  int32_t lastmsgno;
  char redirect[31];
  int32_t numcols;
  unsigned char oldlogin;
  int32_t protolevel;
  DBLOCALE* locale;
  // The locale found by the last look-up without a language while neither
  // the connection's nor the default locale was set, and the locale lists'
  // generation it was found in: good while that generation lasts.
  DBLOCALE* lookedup;
  uint32_t lookedupgen;
  void* rpc;
  int32_t spid;
  unsigned char tokenread;
  int32_t pktsize;
  unsigned char loggingin;
  unsigned char textprobe;
  unsigned char textprobeok;
  char charsetname[31];
  void* charset;
  unsigned char charsetquery;
  uint16_t pending;        // 1 database, 2 language, 4 character set, 8 packet size
  void* rowscratch;
  int32_t askedpktsize;
  BYTE* capmasks;          // owned, 14 bytes
  dbprocess* nextproc;
  void* cursors;
  // dbuse and environment
  char dbname[31];
  unsigned char inuse;
  unsigned char useretry;
  // loginack status during login
  int32_t ackstatus;
  int32_t prlinelen;
  unsigned char datestyle;  // option 32
  DBTYPEINFO typeinfo;      // scratch for dbcoltypeinfo
  int32_t prevcount;        // the previous valid DONE count
  // Events
  DBKEYTAB* events;         // owned: event records by name (none unless linked)
  dbevent* defevent;        // owned: takes every event not in the table
  dbevent* curevent;        // the event whose handler is running
};

// The process-wide record.
struct DbGlobal {
  DBLOCALE* deflocale;
  DBLOCALE* locales;
  dbstring* nolocales;
  uint32_t locgen;           // changes whenever locales or nolocales does (from 1)
  char* defcharset;          // 30-byte buffer or nullptr
  dbprocess* procs;
  int32_t maxprocs;
  int32_t nprocs;
  int32_t logintime;
  int32_t cmdtime;
  char ifile[1024];
  FILE* ifstream;
  iface_entry* defentry;
  int32_t olddatestyle;
  int32_t version;           // 0 unset, 1, 2
  int32_t defrowbuf;
  DB_ERRHANDLE_PROC errhandler;
  DB_MSGHANDLE_PROC msghandler;
  int32_t style;
  int32_t lasterr;
  int32_t lastsev;
  // interactive-client settings
  int32_t header, isqlid, msgs, time;
  unsigned char debug, argid;
};
extern DbGlobal Db__GlobalRec;

// ---------------------------------------------------------------------------
// Shared routines

// Errors (db_errors.cpp).
const char* db__geterrstr(DBPROCESS* dbproc, int dberr);
const char* db__oserrstr(int oserr);
// Raises `dberr` with its text; answer of merseterr.
int db__raise(DBPROCESS* dbproc, int dberr, int severity, int oserr = -1,
              const char* text = nullptr);
// Marks the connection dead and raises `dberr`; 0, the failure answer of
// the token readers.
int db__dead_error(DBPROCESS* dbproc, int dberr, int severity = 11);
[[noreturn]] void db__exraise(const char* text);
void db__perror(int dberr);

// Checks (db_global.cpp).
int db__procchk(DBPROCESS* dbproc);
int db__check_null(DBPROCESS* dbproc, const void* p, const char* routine, const char* param);
int db__getDbTimeout(DBPROCESS* dbproc);

// Records (db_records.cpp).
namespace dblib {
DBPROCESS* newdbproc();
void tidyproc(DBPROCESS* dbproc);
dbstring* strnew();
dbstring* strfree(dbstring* list);
dbstring* strlast(dbstring* list);
int savestr(DBPROCESS* dbproc, dbstring* node, const char* bytes, int len);
dbcolumn* colnew();
dbcolumn* colfree(dbcolumn* list);
dbrow* rownew(int nvalues);
dbrow* rowfree(dbrow* list);
dboffset* offfree(dboffset* list);
dbmsgrec* infonew();
dbmsgrec* infofree(dbmsgrec* list);
dbparam* paramfree(dbparam* list);
dbnegmsg* msgnew();
dbnegmsg* msgfree(dbnegmsg* m);
}  // namespace dblib
void db__free_msg(dbmsgrec* m);
dbtabrec* dbtabfree(dbtabrec* list);
char* db__strdup(const char* s, int len);
// Zeroed memory from the client allocator; when memory runs out the
// connection is marked dead, 20010 raised and null returned.
void* db__alloc(DBPROCESS* dbproc, std::size_t size);

// Login records (db_login.cpp).
int db__save_label(LOGINREC* login, const char* name, int namelen, const char* value, int valuelen);
dblabel* db__labelfree(dblabel* labels);
int db__send_labels(DBPROCESS* dbproc, LOGINREC* login);

// Interfaces file (db_iface.cpp).
iface_entry* db__getconnectlist(const char* server, const char* service);
void db__free_iface_list(iface_entry* list);
int db__initnet(dbnetctx* net, DBPROCESS* dbproc, const char* server, const char* service,
                iface_entry* saved, int redirect, int logintime);
int db__hostname(char* buffer, int size);

// Transport (db_tli.cpp).
int db__tcp2tli(char* host, int hostsize, char* address, int addrsize);
namespace dblib {
int commtype_token(const char* word);
int mer_strtodata(unsigned char* dest, int destmax, const char* text);
int getxchar(int c);
int tli_open(iface_entry* entry, int* rfd, int* wfd, int* err, int* sev, int* oserr,
             int logintime);
int tli_read(DBPROCESS* dbproc, BYTE* buf, int len, int firstcall, int* remaining);
int tli_write(DBPROCESS* dbproc, const BYTE* buf, int len, int eom);
int tli_close_connection(DBPROCESS* dbproc);
int tli_sendattn_oob(DBPROCESS* dbproc, int attnbyte);
int tli_sendattn_inband(DBPROCESS* dbproc, int attnbyte);
int tli_sendattn_unknown(DBPROCESS* dbproc, int attnbyte);
}  // namespace dblib

// Packets (db_packet.cpp).
void db__initserver(dbnetctx* net, BYTE* block, int pktsize);
int db__realloc_bufs(DBPROCESS* dbproc);
namespace dblib {
int sendserver(DBPROCESS* dbproc, const void* bytes, int count, int pkttype);
int sendeom(DBPROCESS* dbproc, int pkttype, int flag);
int sendflush(DBPROCESS* dbproc, int eom, int flag);
int recvfill(DBPROCESS* dbproc);
}  // namespace dblib
// Copies `count` bytes of the packet bodies to `dest` (none when null),
// reading further packets as needed; 1/0.
int db__recv_across(DBPROCESS* dbproc, BYTE* dest, int count);
// The next `count` bytes of the body being read, taken, when they all lie
// in it; null otherwise (nothing is taken then).
inline const BYTE* db__take_inside(dbnetctx* net, int count) {
  if (count > net->recvavail) return nullptr;
  const BYTE* p = net->recvbuf + net->recvpos;
  net->recvpos += count;
  net->recvavail -= count;
  net->consumed += count;
  return p;
}
// Copies `count` bytes of the packet bodies to `dest`; 1/0.  A read that
// lies inside the packet being read is taken in place.
inline int recvserver(DBPROCESS* dbproc, void* dest, int count) {
  if (count <= 0) return 1;
  if (const BYTE* p = db__take_inside(dbproc->net, count)) {
    if (dest) std::memcpy(dest, p, static_cast<std::size_t>(count));
    return 1;
  }
  return db__recv_across(dbproc, static_cast<BYTE*>(dest), count);
}
// Skips `count` bytes of the packet bodies; a count below 1 succeeds at once.
inline int db__discard(DBPROCESS* dbproc, int count) {
  if (count < 1) return 1;
  return recvserver(dbproc, nullptr, count);
}
// Forgets the bytes read ahead (a new transport connection starts).
void db__drop_stage(dbnetctx* net);
// Token-stream helpers over recvserver.
inline int db__getbyte(DBPROCESS* dbproc, unsigned char* b) {
  if (const BYTE* p = db__take_inside(dbproc->net, 1)) {
    *b = *p;
    return 1;
  }
  return db__recv_across(dbproc, b, 1);
}
int db__get16(DBPROCESS* dbproc, int16_t* v);
int db__getu16(DBPROCESS* dbproc, uint16_t* v);
// The big-endian 16-bit value in the two bytes at `p`.
inline uint16_t db__be16(const BYTE* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
// The big-endian 32-bit value in the four bytes at `p`.
inline uint32_t db__be32(const BYTE* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
inline int db__get32(DBPROCESS* dbproc, int32_t* v) {
  BYTE b[4];
  if (!recvserver(dbproc, b, 4)) return 0;
  *v = static_cast<int32_t>(db__be32(b));
  return 1;
}
inline int db__next_token(DBPROCESS* dbproc) { return db__getbyte(dbproc, &dbproc->token); }
// Reads a length-prefixed name into a field of `size` bytes (cut, the rest
// skipped); `len` is the length on the wire.
int db__read_name(DBPROCESS* dbproc, int len, char* field, int size);
int db__send16(DBPROCESS* dbproc, int v, int pkttype);
int db__send32(DBPROCESS* dbproc, int32_t v, int pkttype);

// Login negotiation (db_negotiate.cpp).
int dbsvlogin(DBPROCESS* dbproc, LOGINREC* login);
int db__read_login_ack(DBPROCESS* dbproc);
int db__send_capability(DBPROCESS* dbproc);
int db__handle_capability(DBPROCESS* dbproc);

// Login (db_open.cpp).
int db__textok(DBPROCESS* dbproc);
void db__set_login_node(DBPROCESS* dbproc, const char* text);

// Commands (db_cmd.cpp).
int db__sqlxactsend(DBPROCESS* dbproc, int flag);
int db__check_timeout(DBPROCESS* dbproc);
int db__send_language_header(DBPROCESS* dbproc, int32_t textlen);

// Results (db_results.cpp).
int dbdone(DBPROCESS* dbproc);
int dbdoneproc(DBPROCESS* dbproc, int* ended);
int dbdoneinproc(DBPROCESS* dbproc, int keepcount);
int db__calc_numcols(DBPROCESS* dbproc);
int db__typelen(DBPROCESS* dbproc, int type);
// Whether values of datatype `type` carry their length on the wire (the
// variable-length and nullable datatypes) in parameter formats and values.
bool db__is_varytype(int type);
int dbread_collen(DBPROCESS* dbproc, dbcolumn* c);
// A non-NULL value of a nullable fixed datatype (int-n, float-n, money-n,
// datetime-n) is exactly as long as its format's maximum length, which is
// what its type and its readers go by.  The length error of such a
// datatype; 0 for any other.
inline int db__nlen_error(int type) {
  switch (type) {
    case MERINTN: return 20025;
    case MERFLTN: return 20145;
    case MERMONEYN: return 20144;
    case MERDATETIMN: return 20143;
    default: return 0;
  }
}
// Whether a non-NULL value of `len` bytes is of a length its datatype
// `type` (format maximum `maxlen`) allows.
inline bool db__nlen_ok(int type, int32_t maxlen, int32_t len) {
  return len == maxlen || db__nlen_error(type) == 0;
}
// 1 when the value's length is allowed (db__nlen_ok); otherwise raises the
// datatype's length error and drops the connection (0).
int db__check_nlen(DBPROCESS* dbproc, int type, int32_t maxlen, int32_t len);
// 1 when `len` is the length a numeric or decimal (`type`) of `precision`
// has on the wire; otherwise raises that datatype's length error and drops
// the connection (0).
int db__check_numlen(DBPROCESS* dbproc, int type, int precision, int32_t len);
int dbsvoff(DBPROCESS* dbproc);
int db__skip_token(DBPROCESS* dbproc);
int dbsvcolinfo(DBPROCESS* dbproc);
int dbsvtabname(DBPROCESS* dbproc);
int dbsvorder(DBPROCESS* dbproc);
int dbsvcoff(DBPROCESS* dbproc);
namespace dblib {
int svrowfmt(DBPROCESS* dbproc);
int svcontrol(DBPROCESS* dbproc);
}  // namespace dblib
void db__badtoken(DBPROCESS* dbproc);
void db__run_charset_query(DBPROCESS* dbproc);

// Rows (db_rows.cpp) and binding.
int dbsvrow(DBPROCESS* dbproc);
// A row record of n zeroed values; under memory pressure the row buffer is
// purged once; a failure marks the connection dead and raises 20010.
dbrow* db__new_row(DBPROCESS* dbproc, int n);
int dbdobind(DBPROCESS* dbproc);

// RPC and return values (db_rpc.cpp).
void db__free_rpcrec(DBPROCESS* dbproc);
int dbsvretval(DBPROCESS* dbproc);
// Reads one entry of a RETURNVALUE token into `p`: name, status, format and
// the value, fixed-size values put into host order.
int db__read_retval_entry(DBPROCESS* dbproc, dbparam* p);

// Events (db_event.cpp).
int db__handle_event(DBPROCESS* dbproc);
int db__read_param(DBPROCESS* dbproc, dbevent* event);
void db__free_event_data(DBPROCESS* dbproc, dbevent* event);
int db__def_event_handler(DBPROCESS* dbproc, char* name, int reserved, int nparams);
int db__init_defeventrec(DBPROCESS* dbproc);
void db__free_events(DBPROCESS* dbproc);
dbevent* db__find_event(DBPROCESS* dbproc, const char* name);
int db__link_eventrec(DBPROCESS* dbproc, dbevent* event);
int db__delete_event(DBPROCESS* dbproc, const char* name);

// Cursors (db_crs_open.cpp): releases every cursor of a closing connection.
void db__crs_close(DBPROCESS* dbproc);

// Cancel (db_cancel.cpp).
namespace dblib {
int GetAttnAck(DBPROCESS* dbproc);
}  // namespace dblib

// Options (db_options.cpp).
int dboptinit(DBPROCESS* dbproc);
void dboptfree(DBPROCESS* dbproc);

// Environment changes and messages.
int db__envchange(DBPROCESS* dbproc);
void dbuse_msg_handler(DBPROCESS* dbproc);
int dbsvinfo(DBPROCESS* dbproc);
int db__save_msg(DBPROCESS* dbproc, dbmsgrec* m);
void dbdbchange(DBPROCESS* dbproc, dbmsgrec* m);

// Locales (db_locale.cpp).
DBLOCALE* db__getloc(DBPROCESS* dbproc, const char* language);
void db__freeloc(DBLOCALE* loc);
void db__loc_count(DBPROCESS* dbproc);
int db__getmonthlist(DBPROCESS* dbproc, const char* months[12]);
int db__getshortmonths(DBPROCESS* dbproc, const char* months[12]);
// The connection's short month names: its locale's, or the built-in ones.
const char* const* db__shortmonth_list(DBPROCESS* dbproc);
// The date order (1 mdy ... 6 dym) text read as a datetime takes on
// `dbproc` (may be null): that of the locale db__getloc gives without a
// language -- the connection's, else the default one -- else 1.
int db__date_order(DBPROCESS* dbproc);
// The style a datetime converted to text takes on `dbproc` (may be null):
// 0, without seconds, while DBDATESHORT is set; 9 otherwise.
inline int db__date_style(const DBPROCESS* dbproc) { return dbproc && dbproc->datestyle == 1 ? 0 : 9; }
int db__init_charset(DBPROCESS* dbproc, LOGINREC* login);
namespace dblib {
int dateorder(const char* format);
}  // namespace dblib

// Character classes, server character set, keyed tables (db_ctype.cpp).
int db__toupper(int c);
int db__tolower(int c);
int db__isalpha(int c);
int db__isupper(int c);
int db__islower(int c);
int db__isdigit(int c);
int db__isxdigit(int c);
int db__isspace(int c);
int db__isgraph(int c);
void db__getcharset(DBPROCESS* dbproc);
// Attribute records of character sets (db_charset.cpp).  The definition's
// length bounds every table the record points at.
com_charattrib* com_alloc_char_attrib();
void com_free_char_attrib(com_charattrib* rec);
int com_build_char_attrib(int cls, int id, const char* name, const BYTE* def, long deflen,
                          com_charattrib* rec);
struct DBKEYENT {
  DBKEYENT* next;
  DBKEYENT** link;   // the link that points at this entry
  int32_t tag1;
  int32_t tag2;
  char name[32];
  void* data;        // owned
};
struct DBKEYTAB {
  int32_t buckets;
  int32_t count;
  DBKEYENT** heads;
};
int db__hash_add(const char* name, int buckets);
DBKEYTAB* db__make_tab(int buckets);
namespace dblib {
DBKEYENT* get_ent(DBKEYTAB* t, const char* name, int tag);
}  // namespace dblib
int db__find_ent(DBKEYTAB* t, const char* name, int tag, DBKEYENT** entry);
int db__add_ent(DBKEYTAB* t, const char* name, int tag1, int tag2, void* data);
int db__delete_ent(DBKEYTAB* t, const char* name, int tag);
int db__num_entries(DBKEYTAB* t);
int db__list_entries(DBKEYTAB* t, char (*names)[32]);
int db__print_tbl(DBKEYTAB* t);
void db__free_tab(DBKEYTAB* t);

// Encryption (db_encrypt.cpp / dblib/db_encrypt.h).
int db__encrypt_handler(DBPROCESS* dbproc, const char* pwd, int pwdlen, const BYTE* key,
                        int keylen, BYTE* out, int outsize, int* outlen);

// The client's files call the routines of namespace dblib by their names.
using namespace dblib;
