// Public interface of the DB client: login records, connections, command
// batches, results and rows, binding and conversion, options, cancel, errors
// and server messages.
//
// Conventions: operations answer SUCCEED (1) or FAIL (0) unless stated;
// dbresults also NO_MORE_RESULTS (2); dbnextrow REG_ROW (-1), a compute id,
// NO_MORE_ROWS (-2), BUF_FULL (-3) or FAIL.  Client failures are reported
// through the installed error handler with a client error number (20000 and
// up) and a severity; server messages through the message handler.
//
// A C header (C99 and later) with C linkage, for callers in C and C++.
#ifndef DBLIB_DBLIB_H
#define DBLIB_DBLIB_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// Basic types

typedef int RETCODE;
typedef int32_t DBINT;
typedef int16_t DBSMALLINT;
typedef uint16_t DBUSMALLINT;
typedef unsigned char DBTINYINT;
typedef unsigned char DBBIT;
typedef char DBCHAR;
typedef unsigned char BYTE;
typedef unsigned char DBBINARY;
typedef int DBBOOL;
typedef double DBFLT8;
typedef float DBREAL;
typedef int STATUS;

// (A test framework's SUCCEED()/FAIL() macros give way to these.)
#ifdef SUCCEED
#undef SUCCEED
#endif
#ifdef FAIL
#undef FAIL
#endif
#define SUCCEED 1
#define FAIL 0
#define TRUE 1
#define FALSE 0

// dbresults
#define NO_MORE_RESULTS 2
// dbnextrow
#define REG_ROW (-1)
#define NO_MORE_ROWS (-2)
#define BUF_FULL (-3)
#define MORE_ROWS (-1)

// Datetime value: days since 1 January 1900 and 1/300-second ticks since
// midnight (both big-endian on the wire, host order in memory).
typedef struct DBDATETIME {
  DBINT days;
  DBINT ticks;
} DBDATETIME;
// 4-byte datetime: days since 1 January 1900 and minutes since midnight.
typedef struct DBDATETIME4 {
  DBUSMALLINT days;
  DBUSMALLINT minutes;
} DBDATETIME4;
typedef struct DBMONEY {
  DBINT high;
  uint32_t low;
} DBMONEY;
typedef struct DBMONEY4 {
  DBINT value;
} DBMONEY4;
// Exact numeric as bound: precision, scale, sign byte and magnitude (35 bytes).
typedef struct DBNUMERIC {
  unsigned char precision;
  unsigned char scale;
  unsigned char array[33];
} DBNUMERIC;
typedef DBNUMERIC DBDECIMAL;
// Varying character and binary program variables.
typedef struct DBVARYCHAR {
  DBSMALLINT len;
  char str[256];
} DBVARYCHAR;
typedef struct DBVARYBIN {
  DBSMALLINT len;
  BYTE array[256];
} DBVARYBIN;

// Date parts filled by dbdatecrack: ten 32-bit words; the last is not written.
typedef struct DBDATEPARTS {
  DBINT year;      // e.g. 1998
  DBINT month;     // 0..11
  DBINT mday;      // 1..31
  DBINT yday;      // 1..366
  DBINT wday;      // 0 = Sunday
  DBINT hour;      // 0..23
  DBINT minute;    // 0..59
  DBINT second;    // 0..59
  DBINT msecond;   // 0..999
  DBINT spare;     // not written
} DBDATEPARTS;
typedef DBDATEPARTS DBDATEREC;

// Precision and scale for numeric/decimal binding and conversion.
typedef struct DBTYPEINFO {
  DBINT precision;
  DBINT scale;
} DBTYPEINFO;

struct dbprocess;          // a connection (see dblib/db_internal.h)
typedef struct dbprocess DBPROCESS;
struct loginrec;           // a login description
typedef struct loginrec LOGINREC;
struct dbstring;           // one node of the command buffer or option text
typedef struct dbstring DBSTRING;
struct dbcolumn;           // one result column record
typedef struct dbcolumn DBCOLINFO;
struct com_charattrib;     // character-set attributes (common layer)

// ---------------------------------------------------------------------------
// Server datatypes

#define MERIMAGE 34
#define MERTEXT 35
#define MERVARBINARY 37
#define MERINTN 38
#define MERVARCHAR 39
#define MERBINARY 45
#define MERCHAR 47
#define MERINT1 48
#define MERBIT 50
#define MERINT2 52
#define MERINT4 56
#define MERDATETIME4 58
#define MERREAL 59
#define MERMONEY 60
#define MERDATETIME 61
#define MERFLT8 62
#define MERSENSITIVITY 103
#define MERBOUNDARY 104
#define MERDECIMAL 106
#define MERNUMERIC 108
#define MERFLTN 109
#define MERMONEYN 110
#define MERDATETIMN 111
#define MERMONEY4 122
#define MERVOID 31

// ---------------------------------------------------------------------------
// Bind types (program-variable types)

#define TINYBIND 1
#define SMALLBIND 2
#define INTBIND 3
#define CHARBIND 4
#define BINARYBIND 6
#define BITBIND 8
#define DATETIMEBIND 9
#define MONEYBIND 10
#define FLT8BIND 11
#define STRINGBIND 12
#define NTBSTRINGBIND 13
#define VARYCHARBIND 14
#define VARYBINBIND 15
#define DATE4BIND 16
#define MNY4BIND 17
#define FLT4BIND 18
#define NUMERICBIND 19
#define DECIMALBIND 20
#define SENSITIVITYBIND 21
#define BOUNDARYBIND 22
#define MAXBIND 22

// ---------------------------------------------------------------------------
// Login record items (dbsetlname, dbsetlbool, dbsetllong)

#define DBSETHOST 1
#define DBSETUSER 2
#define DBSETPWD 3
#define DBSETHID 4
#define DBSETAPP 5
#define DBSETBCP 6
#define DBSETNATLANG 7
#define DBSETNOSHORT 8
#define DBSETCHARSET 10
#define DBSETPACKET 11
#define DBSETENCRYPT 12
#define DBSETLABELED 13

#define DBSETLHOST(l, x) dbsetlname((l), (x), DBSETHOST)
#define DBSETLUSER(l, x) dbsetlname((l), (x), DBSETUSER)
#define DBSETLPWD(l, x) dbsetlname((l), (x), DBSETPWD)
#define DBSETLHID(l, x) dbsetlname((l), (x), DBSETHID)
#define DBSETLAPP(l, x) dbsetlname((l), (x), DBSETAPP)
#define DBSETLNATLANG(l, x) dbsetlname((l), (x), DBSETNATLANG)
#define DBSETLCHARSET(l, x) dbsetlname((l), (x), DBSETCHARSET)
#define DBSETLPACKET(l, x) dbsetllong((l), (x), DBSETPACKET)
#define DBSETLENCRYPT(l, x) dbsetlbool((l), (x), DBSETENCRYPT)

// Library versions (dbsetversion): the 4.6 login and the 5.0 login.
#define DBVERSION_46 1
#define DBVERSION_50 2

// ---------------------------------------------------------------------------
// Options (dbsetopt, dbclropt, dbisopt)

#define DBPARSEONLY 0
#define DBESTIMATE 1
#define DBSHOWPLAN 2
#define DBNOEXEC 3
#define DBARITHIGNORE 4
#define DBNOCOUNT 5
#define DBARITHABORT 6
#define DBTEXTLIMIT 7
#define DBBROWSE 8
#define DBOFFSET 9
#define DBSTAT 10
#define DBERRLVL 11
#define DBCONFIRM 12
#define DBSTORPROCID 13
#define DBBUFFER 14
#define DBNOAUTOFREE 15
#define DBROWCOUNT 16
#define DBTEXTSIZE 17
#define DBNATLANG 18
#define DBDATEFORMAT 19
#define DBPRPAD 20
#define DBPRCOLSEP 21
#define DBPRLINELEN 22
#define DBPRLINESEP 23
#define DBLFCONVERT 24
#define DBDATEFIRST 25
#define DBCHAINXACTS 26
#define DBFIPSFLAG 27
#define DBISOLATION 28
#define DBAUTH 29
#define DBIDENTITY 30
#define DBNOIDCOL 31
#define DBDATESHORT 32
#define DBNUMOPTIONS 33

// ---------------------------------------------------------------------------
// Handlers

// Answers of error and interrupt handlers.
#define INT_EXIT 0
#define INT_CONTINUE 1
#define INT_CANCEL 2
#define INT_TIMEOUT 3

// Error handler: (connection, severity, client error number, operating-system
// error number or -1, client text, operating-system text or NULL) -> answer.
typedef int (*DB_ERRHANDLE_PROC)(DBPROCESS*, int severity, int dberr, int oserr,
                                 char* dberrstr, char* oserrstr);
// Message handler: (connection, message number, state, severity, text,
// server name, procedure name, line) -> 0 drop, 1 store.
typedef int (*DB_MSGHANDLE_PROC)(DBPROCESS*, DBINT msgno, int msgstate, int severity,
                                 char* msgtext, char* srvname, char* procname, int line);
// Interrupt check (1 = interrupt pending) and interrupt handler (answer).
typedef int (*DB_INTCHK_PROC)(DBPROCESS*);
typedef int (*DB_INTHANDLE_PROC)(DBPROCESS*);
// Busy routine (result kept) and idle routine (busy result, connection).
typedef int (*DB_BUSY_PROC)(DBPROCESS*);
typedef void (*DB_IDLE_PROC)(int busyresult, DBPROCESS*);
// Generic handler pointer for the calling styles of dbrealerrhandle.
typedef int (*DB_ANYHANDLE_PROC)(void);

// ---------------------------------------------------------------------------
// Login records (start-up)

RETCODE dbinit(void);
LOGINREC* dblogin(void);
void dbloginfree(LOGINREC* login);
RETCODE dbsetlname(LOGINREC* login, const char* value, int item);
RETCODE dbsetlbool(LOGINREC* login, int value, int item);
RETCODE dbsetllong(LOGINREC* login, long value, int item);
RETCODE dbsetlshort(LOGINREC* login, int value, int item);
RETCODE dbgetlhier(LOGINREC* login, char* buffer, int size);
RETCODE dbsetlrole(LOGINREC* login, const char* role);
RETCODE dbsetlcomp(LOGINREC* login, const char* compartment);
RETCODE dbgetlrole(LOGINREC* login, char* buffer, int size);
int dbgetslstatus(void* label);
void* dbgetslcomp(void* label);
RETCODE dbrpwset(LOGINREC* login, const char* srvname, const char* password, int pwlen);
void dbrpwclr(LOGINREC* login);
RETCODE dbsetversion(int version);
RETCODE dbsetmaxprocs(int maxprocs);
int dbgetmaxprocs(void);
RETCODE dbsetsecurity(LOGINREC* login, const char* name, const char* value);
// Time-outs in seconds: login (default 60) and command reads (0 = none).
RETCODE dbsetlogintime(int seconds);
RETCODE dbsettime(int seconds);

// ---------------------------------------------------------------------------
// Interfaces file and connections

char* dbsetifile(const char* path);
RETCODE dbsetconnect(const char* service, const char* netword, const char* protocol,
                     const char* host, const char* address);
DBPROCESS* dbopen(LOGINREC* login, const char* server);
void dbclose(DBPROCESS* dbproc);
void dbexit(void);

// ---------------------------------------------------------------------------
// Commands

RETCODE dbcmd(DBPROCESS* dbproc, const char* text);
RETCODE dbfcmd(DBPROCESS* dbproc, const char* format, ...);
void dbfreebuf(DBPROCESS* dbproc);
RETCODE dbsqlsend(DBPROCESS* dbproc);
RETCODE dbsqlexec(DBPROCESS* dbproc);
RETCODE dbsqlok(DBPROCESS* dbproc);
RETCODE dbsafestr(DBPROCESS* dbproc, const char* src, long srclen, char* dest,
                  long destlen, int quotetype);
int dbstrbuild(DBPROCESS* dbproc, char* buffer, int size, const char* text,
               const char* formats, ...);
int dbprstring(DBSTRING* cmdbuf, int linenumbers);
int dbfprstring(FILE* stream, DBSTRING* cmdbuf, int linenumbers);
RETCODE dbuse(DBPROCESS* dbproc, const char* dbname);

// Quote types of dbsafestr.
#define DBSINGLE 0
#define DBDOUBLE 1
#define DBBOTH 2

// ---------------------------------------------------------------------------
// Results

RETCODE dbresults(DBPROCESS* dbproc);
int dbnumcols(DBPROCESS* dbproc);
char* dbcolname(DBPROCESS* dbproc, int column);
int dbcoltype(DBPROCESS* dbproc, int column);
DBINT dbcollen(DBPROCESS* dbproc, int column);
DBBOOL dbvarylen(DBPROCESS* dbproc, int column);
DBTYPEINFO* dbcoltypeinfo(DBPROCESS* dbproc, int column);
DBINT dbcount(DBPROCESS* dbproc);
RETCODE dbcmdrow(DBPROCESS* dbproc);
RETCODE dbrows(DBPROCESS* dbproc);
DBBOOL dbmorecmds(DBPROCESS* dbproc);
int dbcurcmd(DBPROCESS* dbproc);
int dbnumorders(DBPROCESS* dbproc);
int dbordercol(DBPROCESS* dbproc, int order);
DBCOLINFO* dbfcol(DBPROCESS* dbproc, int column);
int dballcols(DBPROCESS* dbproc);

// ---------------------------------------------------------------------------
// Rows and column data

STATUS dbnextrow(DBPROCESS* dbproc);
void dbclrbuf(DBPROCESS* dbproc, DBINT n);
void dbpurgebuf(DBPROCESS* dbproc);
DBBOOL dbbuffull(DBPROCESS* dbproc);
DBINT dbcurrow(DBPROCESS* dbproc);
DBINT dbfirstrow(DBPROCESS* dbproc);
DBINT dblastrow(DBPROCESS* dbproc);
STATUS dbrowtype(DBPROCESS* dbproc);
DBBOOL dbmorerows(DBPROCESS* dbproc);
BYTE* dbdata(DBPROCESS* dbproc, int column);
DBINT dbdatlen(DBPROCESS* dbproc, int column);
RETCODE dbdatecrack(DBPROCESS* dbproc, DBDATEPARTS* parts, DBDATETIME* value);

// ---------------------------------------------------------------------------
// Binding and conversion

RETCODE dbbind(DBPROCESS* dbproc, int column, int vartype, DBINT varlen, BYTE* varaddr);
RETCODE dbbind_ps(DBPROCESS* dbproc, int column, int vartype, DBINT varlen, BYTE* varaddr,
                  DBTYPEINFO* typeinfo);
RETCODE dbaltbind(DBPROCESS* dbproc, int computeid, int column, int vartype, DBINT varlen,
                  BYTE* varaddr);
RETCODE dbaltbind_ps(DBPROCESS* dbproc, int computeid, int column, int vartype,
                     DBINT varlen, BYTE* varaddr, DBTYPEINFO* typeinfo);
RETCODE dbnullbind(DBPROCESS* dbproc, int column, DBINT* indicator);
RETCODE dbanullbind(DBPROCESS* dbproc, int computeid, int column, DBINT* indicator);
int dbmer2bind(DBPROCESS* dbproc, int datatype, DBINT length);
DBBOOL dbwillconvert(int srctype, int desttype);
DBBOOL dbbwillconvert(int srcbind, int destbind);
typedef int (*DB_CVTPROC)(void);
DB_CVTPROC dbcvtproc(int srcbind, int destbind);
DBINT dbconvert(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen, int desttype,
                BYTE* dest, DBINT destlen);
DBINT dbconvert_ps(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen,
                   int desttype, BYTE* dest, DBINT destlen, DBTYPEINFO* typeinfo);
DBINT dbbconvert(DBPROCESS* dbproc, int srcbind, const BYTE* src, DBINT srclen,
                 int destbind, BYTE* dest, DBINT destlen, DBTYPEINFO* typeinfo);
RETCODE dbsetnull(DBPROCESS* dbproc, int bindtype, int bindlen, const BYTE* value);
void dbfltfmt(const char* format);

// ---------------------------------------------------------------------------
// Remote procedure calls, return values, compute rows

RETCODE dbrpcinit(DBPROCESS* dbproc, const char* rpcname, DBSMALLINT options);
RETCODE dbrpcparam(DBPROCESS* dbproc, const char* paramname, BYTE status, int type,
                   DBINT maxlen, DBINT datalen, const BYTE* value);
RETCODE dbrpcsend(DBPROCESS* dbproc);
DBBOOL dbhasretstat(DBPROCESS* dbproc);
DBINT dbretstatus(DBPROCESS* dbproc);
int dbnumrets(DBPROCESS* dbproc);
char* dbretname(DBPROCESS* dbproc, int n);
int dbrettype(DBPROCESS* dbproc, int n);
DBINT dbretlen(DBPROCESS* dbproc, int n);
BYTE* dbretdata(DBPROCESS* dbproc, int n);
int dbnumalts(DBPROCESS* dbproc, int computeid);

// RPC options and parameter status.
#define DBRPCRECOMPILE 1
#define DBRPCRETURN 1

// ---------------------------------------------------------------------------
// Cancel and attention

RETCODE dbattention(DBPROCESS* dbproc);
RETCODE dbcancel(DBPROCESS* dbproc);
RETCODE dbcanquery(DBPROCESS* dbproc);

// ---------------------------------------------------------------------------
// Options

RETCODE dbsetopt(DBPROCESS* dbproc, int option, const char* param, int int_param);
RETCODE dbclropt(DBPROCESS* dbproc, int option, const char* param);
DBBOOL dbisopt(DBPROCESS* dbproc, int option, const char* param);
RETCODE dbsendopts(DBPROCESS* dbproc);

// ---------------------------------------------------------------------------
// Errors, handlers and server messages

DB_ERRHANDLE_PROC dberrhandle(DB_ERRHANDLE_PROC handler);
DB_MSGHANDLE_PROC dbmsghandle(DB_MSGHANDLE_PROC handler);
DB_ERRHANDLE_PROC dbrealerrhandle(DB_ERRHANDLE_PROC handler, int style);
DB_MSGHANDLE_PROC dbrealmsghandle(DB_MSGHANDLE_PROC handler, int style);
int dbdoerrhandle(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr,
                  char* oserrstr);
int dbdomsghandle(DBPROCESS* dbproc, DBINT msgno, int msgstate, int severity, char* msgtext,
                  char* srvname, char* procname, int line);
// Raises a client error (origin 4 = library); returns the answer acted on.
int merseterr(DBPROCESS* dbproc, int origin, int dberr, int severity, int oserr,
              const char* text, const char* ostext);
const char* dberrstr(int dberr);
int dberrno(void);
const char* dboserrstr(int oserr);
void dbperror(int dberr);
void dbsetdead(DBPROCESS* dbproc);
RETCODE dbsetinterrupt(DBPROCESS* dbproc, DB_INTCHK_PROC check, DB_INTHANDLE_PROC handler);
RETCODE dbsetbusy(DBPROCESS* dbproc, DB_BUSY_PROC busy);
RETCODE dbsetidle(DBPROCESS* dbproc, DB_IDLE_PROC idle);

char* dbgetmsg(DBPROCESS* dbproc);
RETCODE dbsetmsg(DBPROCESS* dbproc, int n);
int dbnummsg(DBPROCESS* dbproc);
char* dbservermsg(DBPROCESS* dbproc, DBINT* msgno, int* msgstate, int* severity);

// ---------------------------------------------------------------------------
// Accessors

int dbwire(DBPROCESS* dbproc);
DBBOOL dbisavail(DBPROCESS* dbproc);
DBBOOL dbdead(DBPROCESS* dbproc);
int dbiordesc(DBPROCESS* dbproc);
int dbiowdesc(DBPROCESS* dbproc);
DBBOOL dbrbuf(DBPROCESS* dbproc);
struct com_charattrib* dbgetcharattrib(DBPROCESS* dbproc);
DBSTRING* dbgetoptcmd(DBPROCESS* dbproc);
int dbgetcuroffset(DBPROCESS* dbproc);
DBSTRING* dbgetcmdbuf(DBPROCESS* dbproc);
int dbgetstrtotlen(DBSTRING* node);
DBCOLINFO* dbgetcols(DBPROCESS* dbproc);
DBCOLINFO* dbgetnextcol(DBCOLINFO* col);
int dbgetcoltype(DBCOLINFO* col);
DBINT dbgetudtype(DBCOLINFO* col);
DBINT dbgetcollen(DBCOLINFO* col);
char* dbgetcolname(DBCOLINFO* col);
char* dbgetcolcontrol(DBCOLINFO* col);
const char* dbgetnatlang(DBPROCESS* dbproc);
char* dbgetenv(const char* name);
void dbfree_env(char* value);
int dbsethome(const char* directory);
int dbgethome(char* buffer, int size);
RETCODE dbsetdeflang(const char* language);
RETCODE dbsetdefcharset(const char* name);
// The current database name of a connection (empty until the server says).
const char* dbname(DBPROCESS* dbproc);

// ---------------------------------------------------------------------------
// Client cursors
//
// A cursor runs over a plain select statement: every row is found again by
// the values of a unique key of each of the statement's tables.

struct dbcursorrec;
typedef struct dbcursorrec DBCURSOR;

// Scroll options: -1 fully keyset-driven, 0 forward-only, 1 dynamic, n > 1
// mixed (a keyset of n times nrows rows).
#define DBCRS_KEYSET (-1)
#define DBCRS_FORWARD 0
#define DBCRS_DYNAMIC 1
// Concurrency options.
#define DBCRS_READONLY 1
#define DBCRS_LOCKCC 2
#define DBCRS_OPTCC 3
#define DBCRS_OPTCCVAL 4
// Fetch types.
#define DBCRS_FETCH_FIRST 1
#define DBCRS_FETCH_NEXT 2
#define DBCRS_FETCH_PREV 3
#define DBCRS_FETCH_RANDOM 4
#define DBCRS_FETCH_RELATIVE 5
#define DBCRS_FETCH_LAST 6
// Row status bits.
#define DBCRS_ROW_FETCHED 1
#define DBCRS_ROW_MISSING 2
#define DBCRS_ROW_ENDKEYSET 4
#define DBCRS_ROW_ENDRESULT 8
// Row operations of dbcursor.
#define DBCRS_UPDATE 1
#define DBCRS_DELETE 2
#define DBCRS_INSERT 3
#define DBCRS_REFRESH 4
#define DBCRS_LOCK 5
// Bind type of dbcursorbind that hands out pointers to the fetched data.
#define DBCRS_NOBIND (-1)

DBCURSOR* dbcursoropen(DBPROCESS* dbproc, const char* stmt, int scrollopt, int concuropt,
                       int nrows, DBINT* pstatus);
RETCODE dbcursorinfo(DBCURSOR* cursor, DBINT* ncols, DBINT* nrows);
// `colname` receives the column name (at most 30 characters and a NUL).
RETCODE dbcursorcolinfo(DBCURSOR* cursor, DBINT column, char* colname, DBINT* coltype,
                        DBINT* collen, DBINT* usertype);
// Binds a column for all nrows buffer rows: row r uses the variable at
// varaddr + r * (width of one variable) and the length at poutlen[r].  With
// DBCRS_NOBIND, varaddr is an array of nrows BYTE* that receive pointers to
// the fetched data (valid until the next fetch) and poutlen is required.
// String binds (CHARBIND, BINARYBIND, STRINGBIND, NTBSTRINGBIND) need a
// varlen of at least 1.
RETCODE dbcursorbind(DBCURSOR* cursor, int column, int vartype, DBINT varlen, DBINT* poutlen,
                     BYTE* varaddr, DBTYPEINFO* typeinfo);
RETCODE dbcursorfetch(DBCURSOR* cursor, int fetchtype, int rownum);
RETCODE dbcursor(DBCURSOR* cursor, int optype, int bufno, const char* table, const char* values);
RETCODE dbcursorclose(DBCURSOR* cursor);

// ---------------------------------------------------------------------------
// Browse mode (results of "for browse" selects).  A table is named by its
// number, or by its name when the number is -1.

char* dbqual(DBPROCESS* dbproc, int tabnum, const char* tabname);
void dbfreequal(char* qual);
RETCODE dbtsput(DBPROCESS* dbproc, const BYTE* newts, int newtslen, int tabnum,
                const char* tabname);
BYTE* dbtsnewval(DBPROCESS* dbproc);
int dbtsnewlen(DBPROCESS* dbproc);
BYTE* dbtimestamp(DBPROCESS* dbproc, int tabnum, const char* tabname);
int dbtslen(DBPROCESS* dbproc, int tabnum, const char* tabname);
char* dbtsname(DBPROCESS* dbproc, int tabnum, const char* tabname);
int dbnumkeys(DBPROCESS* dbproc, int tabnum, const char* tabname);
char* dbkeyname(DBPROCESS* dbproc, int n, int tabnum, const char* tabname);
int dbkeytype(DBPROCESS* dbproc, int n, int tabnum, const char* tabname);
BYTE* dbkeydata(DBPROCESS* dbproc, int n, int tabnum, const char* tabname);
DBINT dbkeydlen(DBPROCESS* dbproc, int n, int tabnum, const char* tabname);
int dbtabcount(DBPROCESS* dbproc);
char* dbtabname(DBPROCESS* dbproc, int n);
char* dbtabsource(DBPROCESS* dbproc, int column, int* tabnum);
char* dbcolsource(DBPROCESS* dbproc, int column);
DBBOOL dbtabbrowse(DBPROCESS* dbproc, int tabnum);
DBBOOL dbcolbrowse(DBPROCESS* dbproc, int column);
int dbspid(DBPROCESS* dbproc);

// ---------------------------------------------------------------------------
// Tracing and recording

RETCODE dbtraceon(DBPROCESS* dbproc, int flag, FILE* file, int (*printfunc)(DBPROCESS*));
RETCODE dbtraceoff(DBPROCESS* dbproc, int flag);
int dbtracestring(DBPROCESS* dbproc, char* buffer, int count);
void dbrecftos(const char* prefix);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // DBLIB_DBLIB_H
