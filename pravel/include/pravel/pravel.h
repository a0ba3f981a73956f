// Database access layer: numbered connections over the DB client.
//
// A caller names a connection by a small number (0 to 10), hands it login
// items, starts a numbered query on it, appends SQL text, binds result
// columns by name, calls pravel_get_exec until it reports the end, and
// closes the query.  Every failure is reported (and kept for qelt_get_msg)
// and then handed to the connection's error handler; the default handler
// prints the kept error lines and ends the process with exit status 1, so a
// caller that keeps it never sees a failure code.
//
// A C header (C99 and later) with C linkage, for callers in C and C++.
#ifndef PRAVEL_PRAVEL_H
#define PRAVEL_PRAVEL_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// Report levels.
#define QELT_INFO 101
#define QELT_STAT 102
#define QELT_WARN 103
#define QELT_ERR 104

// Query language accepted by pravel_query_setup.
#define QELT_SQL 2

// Results of qelt_connected.
#define QELT_FREE 200
#define QELT_CONNECTED 100

// What the latest pravel_get_exec / qelt_get_exec call did (pravel_fetch_outcome).
enum pravel_fetch {
  PRAVEL_FETCH_NONE = 0,   // nothing delivered: end of results, or a failure
  PRAVEL_FETCH_ROW = 1,    // a row is in the bound variables
  PRAVEL_FETCH_RETRY = 2,  // deadlock pause passed; the next call sends the statement again
  PRAVEL_FETCH_FAILED = 3  // a row fetch failed; the bound variables were not (fully) filled
};

// An error handler: no arguments, no result.  It may return (the failing
// call then returns -1) or end the process.
typedef void (*qelt_handler)(void);

// ---- The calls the tool makes, in its order ------------------------------

// Stores one login item of a connection (trailing blanks of the value are
// removed): 1 user name, 2 password, 3 use an empty password instead of the
// password file, 4 parameter marker (first character), 5 and 6 an integer,
// 7 application name, 8 the command time-out in seconds (how long a read
// may wait for the server; 0 waits for ever; the DB client keeps one
// setting for the whole process, made when the connection is opened).
// Other items do nothing.
void pravel_setup(int conn, int item, const char* value);

// Begins query `query_number` of `module` on a connection, connecting it
// first (server, database; login from pravel_setup) when it is free.
// `query_language` must be QELT_SQL.  `handler` 0 keeps the current handler
// (the default one for a new connection).
void pravel_query_setup(int conn, const char* module, int query_number, int query_language,
                        const char* server, const char* database, qelt_handler handler);

// Appends a blank and `text` to the query's SQL text.  0; a text that would
// overflow the command buffer is refused with -1 through the handler.
int qelt_query(int conn, const char* text);

// Binds the result column `column` (any case, trailing blanks ignored) to a
// string variable of `max_length` bytes.  0 or -1.
int qelt_bind_string(int conn, const char* column, char* variable, int max_length);

// Binds a text or image column: after each row `buffer` holds at most
// `capacity` bytes of the value (a longer value is cut) without a NUL, and
// *length_out the number of bytes stored.  0 or -1.
int qelt_bind_text(int conn, const char* column, char* buffer, int* length_out, int capacity);
int qelt_bind_image(int conn, const char* column, char* buffer, int* length_out, int capacity);

// Sends the statement on its first call and then steps through its results:
// 0 while a row is delivered into the bound variables (or after a deadlock
// pause, or after a failed row fetch: see pravel_fetch_outcome), 1 when the
// statement and all its results are done, -1 on failure (seen only when the
// error handler returns).  Also maps the status into the alternate status.
int pravel_get_exec(int conn);

// What the latest pravel_get_exec (or qelt_get_exec) on `conn` delivered;
// a caller stores a row only for PRAVEL_FETCH_ROW and calls again for
// PRAVEL_FETCH_RETRY, which sends the statement again.
int pravel_fetch_outcome(int conn);

// Ends the query; 0 (also when it is closed already), -1 when the rest of
// the results cannot be cancelled.
int qelt_close_query(int conn);

// ---- Connections and status ----------------------------------------------

int pravel_connect(int conn, int dbms_kind, const char* server, const char* database,
                   qelt_handler handler);
int pravel_connected_query_setup(int conn, const char* module, int query_number,
                                 qelt_handler handler);
int pravel_set_status(int conn, int* out);
int pravel_get_status(int conn);

int qelt_connect_dbms(int dbms_kind, const char* database, const char* server, const char* user,
                      const char* password, int* conn);
int qelt_disconnect_dbms(int conn);
int qelt_connected(int conn);  // QELT_FREE, QELT_CONNECTED, or -1 for a bad number
int qelt_demand_connection(int conn);
int qelt_is_demand_connection(int conn);
int qelt_get_next_proc_num(int* conn);
int qelt_establish_error_handler(int* conn, qelt_handler handler);
int qelt_set_ql(int conn, int type);
int qelt_get_status(int conn);
int qelt_get_alternate_status(int conn);
int qelt_set_alternate_status(int conn, int value);
int qelt_get_current_process(void);
int qelt_suppress(int mode);
int qelt_sig(int status);
void qelt_default_error_handler(void);

// ---- Queries ---------------------------------------------------------------

int qelt_query_setup(int conn, const char* module, int query_number);
int qelt_get_exec(int conn);
int qelt_cancel(int conn);
int qelt_record_count(int conn);
int qelt_current_record_count(int conn);
int qelt_in_transaction(int conn);  // 4 inside a transaction, 5 outside, -1
int qelt_set_textsize(int conn, int size);
double qelt_backend_cpu_time(int conn);

// Substitution parameters of an ordinary query, written into the SQL text in
// place of the marker and the name when the statement is sent.  After
// qelt_stored_command the same calls give the procedure's input parameters
// (see below).
int qelt_int_param(int conn, const char* name, int value);
int qelt_short_param(int conn, const char* name, short value);
int qelt_double_param(int conn, const char* name, double value);
int qelt_real_param(int conn, const char* name, float value);
int qelt_single_char_param(int conn, const char* name, char value);
int qelt_string_param(int conn, const char* name, const char* value);
int qelt_binary_param(int conn, const char* name, const unsigned char* value, int length);
int qelt_text_param(int conn, const char* name, const char* value);
int qelt_null_param(int conn, const char* name);

// ---- Stored procedures -------------------------------------------------------

// Turns the current query into a call of procedure `name` (trailing blanks
// removed, lower-cased).  After it, the parameter calls above give the
// procedure's input parameters (at most 256 values; a text parameter is
// refused) and the next pravel_get_exec sends the call.  0 or -1.
int qelt_stored_command(int conn, const char* name);

// Return parameters of a stored-procedure call (at most 250): the variable
// receives the procedure's output value when all results are read.  A value
// of another datatype than the variable's is not stored (a warning says so);
// a NULL value gives 0.  A string variable needs room for `length`
// characters and a NUL (blank-padded without a NUL for callers with
// fixed-length strings).  0 or -1.
int qelt_int_ret_param(int conn, const char* name, int* variable);
int qelt_short_ret_param(int conn, const char* name, short* variable);
int qelt_double_ret_param(int conn, const char* name, double* variable);
int qelt_float_ret_param(int conn, const char* name, float* variable);
int qelt_single_char_ret_param(int conn, const char* name, char* variable);
int qelt_string_ret_param(int conn, const char* name, char* variable, int length);

// ---- Binding by column name ----------------------------------------------

int qelt_bind_binary(int conn, const char* column, unsigned char* variable, int length);
int qelt_bind_datetime(int conn, const char* column, void* dateparts);  // ten ints
int qelt_bind_double(int conn, const char* column, double* variable);
int qelt_bind_float(int conn, const char* column, float* variable);
int qelt_bind_int(int conn, const char* column, int* variable);
int qelt_bind_short(int conn, const char* column, short* variable);
int qelt_bind_single_char(int conn, const char* column, char* variable);
int qelt_is_null(int conn, const void* variable);  // 3 data, 2 NULL, -1
int qelt_set_null(int conn, int bind_type, int length, const void* value);

// ---- Reports -----------------------------------------------------------------

// Formats and prints one report at `level`; module "dummy" continues the
// previous report.  Texts from SQL or the server go through "%s".
int qelt_report(const char* module, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int qelt_set_report_level(int level);
int qelt_set_report_destination(FILE* first, FILE* second);
// 0 with the next kept error line in `line` (81 bytes), 1 when all were read.
int qelt_get_msg(char* line);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // PRAVEL_PRAVEL_H
