// Twins of the access layer's calls for callers that pass every argument by
// address and every string as an address followed by its length (no NUL),
// and that keep strings blank-padded to a fixed length.
//
// A twin reads its numeric arguments from their addresses, copies each
// string (the given number of characters, ended early by a NUL inside
// them) and calls the call without the suffix, returning what it returns.
// Names, module names and server and database names take at most 299
// characters and SQL text at most 20,575 per call; a longer string, or a
// negative length, is reported and refused with -1 through the error
// handler.  Parameter values and login strings have no such limit.
//
// The string twins make the query treat its strings as fixed-length: a
// string column bound with qelt_bind_string_fc arrives blank-padded to its
// length without a NUL, a string substitution parameter counts exactly its
// given length (trailing blanks dropped), and single-character and string
// return parameters arrive blank-padded.  The flag holds until the next
// query setup on the connection.
//
// A C header (C99 and later) with C linkage, for callers in C and C++.
#ifndef PRAVEL_PRAVEL_FC_H
#define PRAVEL_PRAVEL_FC_H

#include "pravel/pravel.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- Connections, queries and status -------------------------------------
int pravel_set_status_f(const int* conn, int* out);
int pravel_get_status_fc(const int* conn);
int pravel_get_exec_fc(const int* conn);
int pravel_connect_fc(const int* conn, const int* dbms_kind, const char* server, int server_len,
                      const char* database, int database_len, qelt_handler handler);
// Item 3 passes "TRUE" without reading the value.
void pravel_setup_fc(const int* conn, const int* item, const char* value, int value_len);
void pravel_query_setup_fc(const int* conn, const char* module, int module_len,
                           const int* query_number, const int* query_language,
                           const char* server, int server_len, const char* database,
                           int database_len, qelt_handler handler);
int pravel_connected_query_setup_fc(const int* conn, const char* module, int module_len,
                                    const int* query_number, qelt_handler handler);
int qelt_connect_dbms_fc(const int* dbms_kind, const char* database, int database_len,
                         const char* server, int server_len, const char* user, int user_len,
                         const char* password, int password_len, int* conn);
int qelt_disconnect_dbms_fc(const int* conn);
int qelt_connected_f(const int* conn);
int qelt_demand_connection_f(const int* conn);
int qelt_suppress_f(const int* mode);
int qelt_establish_error_handler_fc(int* conn, qelt_handler handler);
int qelt_query_setup_fc(const int* conn, const char* module, int module_len,
                        const int* query_number);
int qelt_query_fc(const int* conn, const char* text, int text_len);
int qelt_get_exec_fc(const int* conn);
int qelt_close_query_fc(const int* conn);
int qelt_set_ql_fc(const int* conn, const int* type);
double qelt_backend_cpu_time_f(const int* conn);
int qelt_record_count_fc(const int* conn);
int qelt_current_record_count_fc(const int* conn);
int qelt_get_current_process_f(void);
int qelt_get_status_fc(const int* conn);
int qelt_get_alternate_status_fc(const int* conn);
int qelt_set_alternate_status_fc(const int* conn, const int* value);
int qelt_set_textsize_fc(const int* conn, const int* size);
int qelt_in_transaction_fc(const int* conn);

// ---- Reports -----------------------------------------------------------------
int qelt_set_report_level_fc(const int* level);
// Opens the named files (trailing blanks removed; created or emptied) as the
// two report destinations; a name starting with "NULL" means none.  A file
// that cannot be opened is reported and gives -1, leaving the destinations
// as they were.  Files this call opened before are closed when replaced.
int qelt_rpt_dest_fc(const char* first, int first_len, const char* second, int second_len);
// The next kept error line into `line` of `line_len` bytes, padded with
// NULs, without a NUL when the line fills the buffer.  0, or 1 when all
// lines were read.
int qelt_get_msg_fc(char* line, int line_len);

// ---- Binding -------------------------------------------------------------------
int qelt_set_null_f(const int* conn, const int* bind_type, const int* length, const void* value);
int qelt_bind_float_fc(const int* conn, const char* column, int column_len, float* variable);
int qelt_bind_double_fc(const int* conn, const char* column, int column_len, double* variable);
int qelt_bind_int_fc(const int* conn, const char* column, int column_len, int* variable);
int qelt_bind_short_fc(const int* conn, const char* column, int column_len, short* variable);
int qelt_bind_datetime_fc(const int* conn, const char* column, int column_len, void* dateparts);
// The variable receives the value blank-padded to `*length`, without a NUL.
int qelt_bind_string_fc(const int* conn, const char* column, int column_len, char* variable,
                        const int* length);
int qelt_bind_text_fc(const int* conn, const char* column, int column_len, char* buffer,
                      int* length_out, const int* capacity);
int qelt_bind_image_fc(const int* conn, const char* column, int column_len, char* buffer,
                       int* length_out, const int* capacity);
int qelt_bind_binary_fc(const int* conn, const char* column, int column_len,
                        unsigned char* variable, const int* length);
// As qelt_is_null, but -1 without a report when the variable is bound to
// nothing.
int qelt_is_null_f(const int* conn, const void* variable);

// ---- Parameters and stored procedures ------------------------------------------
int qelt_stored_command_fc(const int* conn, const char* name, int name_len);
int qelt_int_param_fc(const int* conn, const char* name, int name_len, const int* value);
int qelt_short_param_fc(const int* conn, const char* name, int name_len, const short* value);
int qelt_double_param_fc(const int* conn, const char* name, int name_len, const double* value);
int qelt_real_param_fc(const int* conn, const char* name, int name_len, const float* value);
int qelt_binary_param_fc(const int* conn, const char* name, int name_len,
                         const unsigned char* value, const int* length);
// The value is the string's first character (a blank for an empty string).
int qelt_single_char_param_fc(const int* conn, const char* name, int name_len, const char* value,
                              int value_len);
int qelt_string_param_fc(const int* conn, const char* name, int name_len, const char* value,
                         int value_len);
// In a stored-procedure call the text goes as a string parameter.
int qelt_text_param_fc(const int* conn, const char* name, int name_len, const char* value,
                       int value_len);
int qelt_null_param_fc(const int* conn, const char* name, int name_len);
int qelt_int_ret_param_fc(const int* conn, const char* name, int name_len, int* variable);
int qelt_short_ret_param_fc(const int* conn, const char* name, int name_len, short* variable);
int qelt_double_ret_param_fc(const int* conn, const char* name, int name_len, double* variable);
int qelt_float_ret_param_fc(const int* conn, const char* name, int name_len, float* variable);
int qelt_single_char_ret_param_fc(const int* conn, const char* name, int name_len,
                                  char* variable);
// The variable receives the value blank-padded to `*length`, without a NUL.
int qelt_string_ret_param_fc(const int* conn, const char* name, int name_len, char* variable,
                             const int* length);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // PRAVEL_PRAVEL_FC_H
