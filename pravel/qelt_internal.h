// Shared state and helpers of the access layer: the connection slots, their
// query contexts, the report routine's internal entries and the small text
// routines.  Not part of the public interface.
#pragma once

#include <cstdarg>

#include <memory>
#include <string>
#include <vector>

#include "dblib/dblib.h"
#include "pravel/pravel.h"
#include "qelt_test_hooks.h"

namespace qelt {

inline constexpr int kSlots = 11;               // connection numbers 0 to 10
inline constexpr int kMaxBindings = 250;        // per binding or parameter table
inline constexpr int kMaxSpValues = 256;        // input values of one stored-procedure call
inline constexpr int kCmdBufSize = 112640;      // SQL text, NUL included
inline constexpr int kModuleMax = 99;           // characters of a module name
inline constexpr int kUserMax = 30;
inline constexpr int kPasswordMax = 32;
inline constexpr int kAppNameMax = 31;
inline constexpr int kNameMax = 31;             // server and database names
inline constexpr int kDeadlockPauseSeconds = 10;
inline constexpr int kMaxFailedFetches = 10;    // failed fetches in a row before giving up

inline constexpr int kStateFree = 1;
inline constexpr int kStateConnected = 4;
inline constexpr int kDbmsKind = 4;

// Bind types of the special table that DB client binding cannot serve.
inline constexpr int kSpecialText = 5;
inline constexpr int kSpecialDateParts = 9;
inline constexpr int kSpecialPadded = 12;

// Execution states of the statement machine.
enum ExecState : int { kSend = 0, kNextResult = 1, kNextRow = 2, kResultDone = 3, kSendRpc = 4 };

struct Slot {
  int state = kStateFree;
  int demand = 0;
  int tran_depth = 0;
  qelt_handler handler = nullptr;
  DBPROCESS* dbproc = nullptr;
  std::string user;
  std::string password;
  int no_password_file = 0;
  char marker = '@';
  int config5 = 3;
  int config6 = 10;
  std::string app_name;
  int textsize = -1;
  int cmd_timeout = -1;  // seconds; -1 leaves the DB client's setting
};

struct Binding {
  std::string name;
  int column = 0;
  int type = 0;
  int length = 0;
  int* length_out = nullptr;
  void* variable = nullptr;
  int capacity = 0;  // text and image: most bytes the buffer takes
};

struct Param {
  std::string name;
  int type = 0;
  int is_null = 0;
  int length = 0;
  long long int_value = 0;
  double float_value = 0.0;
  char ch = 0;
  std::string bytes;  // string and binary values
};

struct Context {
  std::string module = "unknown";
  int query_number = 0;
  int row_counter = 0;
  int status = 0;
  int alt_status = 0;
  int exec_state = kSend;
  std::string sql;
  int closed = 1;
  std::vector<Binding> bound;
  std::vector<Param> params;
  std::vector<Binding> special;
  int sp_flag = 0;
  int end_of_results = 0;
  int rowcount_cache = -1;
  int dead_retry = 0;
  int dead_table = 0;
  double start_time = 0.0;
  double wall_time = 0.0;
  int fixed_strings = 0;
  int interrupt = 0;
  int cancel = 0;
  int fetch_outcome = PRAVEL_FETCH_NONE;
  int failed_fetches = 0;
  std::vector<Binding> ret;  // return parameters of a stored-procedure call
  // Input values of a stored-procedure call.  The DB client reads them when
  // the call is sent, so each lives at a fixed address until the query closes.
  std::vector<std::unique_ptr<std::string>> sp_values;
  std::string sp_name;
};

extern Slot g_slots[kSlots];
extern Context g_ctx[kSlots];
extern int db_current;

bool valid_conn(int conn);

// The start of the layer, once per process.
void qelt_init_connection();

// The frame of a public call: range check, db_current, connected slot.
// False after the failure was reported (the caller returns qelt_sig(-1)).
bool enter_frame(int conn);

// Report a text as is (never used as a format).
void report_text(const char* module, int level, const std::string& text);
// printf-style formatting into a growing string.
std::string vformat(const char* fmt, va_list ap);
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Reports "%d is an invalid process number".
void report_invalid_number(int conn);

// Statement machine and its helpers.
int qelt_mer_get_exec(int conn);
int qelt_get_query(int conn, char marker);
int qelt_mer_init_context(int conn);
int qelt_module_name(int conn, std::string& name, int& query_number);
int qelt_bind_vars(int conn);
// Stored-procedure calls: an input parameter of the call (after the frame),
// the copy of the return values, the summary report, the return status check.
int qelt_rpc_input_param(int conn, const std::string& name, const Param& p);
int qelt_mer_get_ret_param(int conn);
void qelt_mer_print_sto_info(int conn);
bool qelt_sp_status_failed(int conn);
// A substitution or input parameter with the frame (see the parameter calls).
int qelt_add_param(int conn, const char* name, Param p);

// Twins: limits of their string arguments, in characters.
inline constexpr std::size_t kFcStringMax = 299;
inline constexpr std::size_t kFcQueryMax = 20575;
inline constexpr std::size_t kFcNoLimit = static_cast<std::size_t>(-1);
// A string given by address and length (no NUL) as a text: the given number
// of characters, ended early at a NUL among them.  False after a report when
// the length is negative or above `limit` (`conn` names the connection whose
// handler the caller then runs).
bool qelt_fstr_to_cstr(int conn, const char* s, int len, std::size_t limit, std::string& out);
// A numeric argument read from its address; `absent` for a null address.
inline int fc_int(const int* p, int absent = -1) { return p != nullptr ? *p : absent; }
int qelt_mer_special_data(int conn);
int qelt_dead_retry(int conn);
int qelt_report_dead(DBPROCESS* dbproc, int retry);
void qelt_perf_rpt(int record_count, double wall_seconds);
int qelt_mer_check_interrupt(DBPROCESS* dbproc);
int qelt_mer_handle_interrupt(DBPROCESS* dbproc);
int qelt_error_handler(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr,
                       char* oserrstr);
int qelt_msg_handler(DBPROCESS* dbproc, DBINT msgno, int msgstate, int severity, char* msgtext,
                     char* srvname, char* procname, int line);
int qelt_authenticate(const std::string& server, const std::string& user, std::string& password);

// Time routines.
double qelt_time();
void qelt_get_system_time(std::string& date, std::string& time);
std::string qelt_get_current_time();
std::string qelt_get_nodename(int length);
std::string qelt_cuserid();

// Text routines.
void qelt_delete_trailing(std::string& s);
std::string qelt_string_upper(std::string s);
std::string qelt_string_lower(std::string s);
std::string qelt_lowercase_str(const std::string& s);
std::string cut(const char* s, std::size_t max);
int qelt_tolower_query(std::string& text);
bool is_name_char(char c);

void reset_report_state_for_tests();
void reset_perf_for_tests();
void reset_deadlock_for_tests();

}  // namespace qelt
