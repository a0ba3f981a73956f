// Twins for callers with fixed-length strings: connections, queries,
// status and reports (see pravel/pravel_fc.h).
#include <cstdio>
#include <cstring>

#include "pravel/pravel_fc.h"
#include "qelt_internal.h"

namespace qelt {

// See qelt_internal.h.
bool qelt_fstr_to_cstr(int conn, const char* s, int len, std::size_t limit, std::string& out) {
  out.clear();
  if (valid_conn(conn)) db_current = conn;
  if (len < 0 || (s == nullptr && len > 0)) {
    report_text("qelt", QELT_ERR, format("Invalid string argument of length <%d>", len));
    return false;
  }
  if (static_cast<std::size_t>(len) > limit) {
    report_text("qelt", QELT_ERR,
                format("String argument of <%d> characters exceeds the limit of <%zu>", len,
                       limit));
    return false;
  }
  if (len > 0) out.assign(s, strnlen(s, static_cast<std::size_t>(len)));
  return true;
}

namespace {

// Report files opened by qelt_rpt_dest_fc, closed when replaced.
std::FILE* g_fc_dest[2] = {nullptr, nullptr};

// A server or database name: the text without its trailing blanks.
bool fc_name(int conn, const char* s, int len, std::string& out) {
  if (!qelt_fstr_to_cstr(conn, s, len, kFcStringMax, out)) return false;
  qelt_delete_trailing(out);
  return true;
}

}  // namespace
}  // namespace qelt

using namespace qelt;

int pravel_set_status_f(const int* conn, int* out) { return pravel_set_status(fc_int(conn), out); }
int pravel_get_status_fc(const int* conn) { return pravel_get_status(fc_int(conn)); }
int pravel_get_exec_fc(const int* conn) { return pravel_get_exec(fc_int(conn)); }

int pravel_connect_fc(const int* conn, const int* dbms_kind, const char* server, int server_len,
                      const char* database, int database_len, qelt_handler handler) {
  int c = fc_int(conn);
  std::string srv, db;
  if (!fc_name(c, server, server_len, srv) || !fc_name(c, database, database_len, db))
    return qelt_sig(-1);
  return pravel_connect(c, fc_int(dbms_kind, 0), srv.c_str(), db.c_str(), handler);
}

void pravel_setup_fc(const int* conn, const int* item, const char* value, int value_len) {
  int c = fc_int(conn);
  int it = fc_int(item, 0);
  if (it == 3) {
    pravel_setup(c, 3, "TRUE");
    return;
  }
  std::string v;
  if (!qelt_fstr_to_cstr(c, value, value_len, kFcStringMax, v)) {
    qelt_sig(-1);
    return;
  }
  pravel_setup(c, it, v.c_str());
}

void pravel_query_setup_fc(const int* conn, const char* module, int module_len,
                           const int* query_number, const int* query_language,
                           const char* server, int server_len, const char* database,
                           int database_len, qelt_handler handler) {
  int c = fc_int(conn);
  std::string mod, srv, db;
  if (!qelt_fstr_to_cstr(c, module, module_len, kFcStringMax, mod) ||
      !fc_name(c, server, server_len, srv) || !fc_name(c, database, database_len, db)) {
    qelt_sig(-1);
    return;
  }
  pravel_query_setup(c, mod.c_str(), fc_int(query_number, 0), fc_int(query_language, 0),
                     srv.c_str(), db.c_str(), handler);
}

int pravel_connected_query_setup_fc(const int* conn, const char* module, int module_len,
                                    const int* query_number, qelt_handler handler) {
  int c = fc_int(conn);
  std::string mod;
  if (!qelt_fstr_to_cstr(c, module, module_len, kFcStringMax, mod)) return qelt_sig(-1);
  return pravel_connected_query_setup(c, mod.c_str(), fc_int(query_number, 0), handler);
}

int qelt_connect_dbms_fc(const int* dbms_kind, const char* database, int database_len,
                         const char* server, int server_len, const char* user, int user_len,
                         const char* password, int password_len, int* conn) {
  int c = fc_int(conn);
  std::string db, srv, usr, pwd;
  if (!qelt_fstr_to_cstr(c, database, database_len, kFcNoLimit, db) ||
      !qelt_fstr_to_cstr(c, server, server_len, kFcNoLimit, srv) ||
      !qelt_fstr_to_cstr(c, user, user_len, kFcNoLimit, usr) ||
      !qelt_fstr_to_cstr(c, password, password_len, kFcNoLimit, pwd))
    return qelt_sig(-1);
  if (conn == nullptr) return qelt_connect_dbms(fc_int(dbms_kind, 0), db.c_str(), srv.c_str(),
                                                usr.c_str(), pwd.c_str(), &c);
  return qelt_connect_dbms(fc_int(dbms_kind, 0), db.c_str(), srv.c_str(), usr.c_str(), pwd.c_str(),
                           conn);
}

int qelt_disconnect_dbms_fc(const int* conn) { return qelt_disconnect_dbms(fc_int(conn)); }
int qelt_connected_f(const int* conn) { return qelt_connected(fc_int(conn)); }
int qelt_demand_connection_f(const int* conn) { return qelt_demand_connection(fc_int(conn)); }
int qelt_suppress_f(const int* mode) { return qelt_suppress(fc_int(mode)); }

int qelt_establish_error_handler_fc(int* conn, qelt_handler handler) {
  if (conn == nullptr) {
    int c = -1;
    return qelt_establish_error_handler(&c, handler);
  }
  return qelt_establish_error_handler(conn, handler);
}

int qelt_query_setup_fc(const int* conn, const char* module, int module_len,
                        const int* query_number) {
  int c = fc_int(conn);
  std::string mod;
  if (!qelt_fstr_to_cstr(c, module, module_len, kFcStringMax, mod)) return qelt_sig(-1);
  return qelt_query_setup(c, mod.c_str(), fc_int(query_number, 0));
}

int qelt_query_fc(const int* conn, const char* text, int text_len) {
  int c = fc_int(conn);
  std::string t;
  if (!qelt_fstr_to_cstr(c, text, text_len, kFcQueryMax, t)) return qelt_sig(-1);
  return qelt_query(c, t.c_str());
}

int qelt_get_exec_fc(const int* conn) { return qelt_get_exec(fc_int(conn)); }
int qelt_close_query_fc(const int* conn) { return qelt_close_query(fc_int(conn)); }
int qelt_set_ql_fc(const int* conn, const int* type) {
  return qelt_set_ql(fc_int(conn), fc_int(type));
}
double qelt_backend_cpu_time_f(const int* conn) { return qelt_backend_cpu_time(fc_int(conn)); }
int qelt_record_count_fc(const int* conn) { return qelt_record_count(fc_int(conn)); }
int qelt_current_record_count_fc(const int* conn) {
  return qelt_current_record_count(fc_int(conn));
}
int qelt_get_current_process_f() { return qelt_get_current_process(); }
int qelt_get_status_fc(const int* conn) { return qelt_get_status(fc_int(conn)); }
int qelt_get_alternate_status_fc(const int* conn) {
  return qelt_get_alternate_status(fc_int(conn));
}
int qelt_set_alternate_status_fc(const int* conn, const int* value) {
  return qelt_set_alternate_status(fc_int(conn), fc_int(value, 0));
}
int qelt_set_textsize_fc(const int* conn, const int* size) {
  return qelt_set_textsize(fc_int(conn), fc_int(size, 0));
}
int qelt_in_transaction_fc(const int* conn) { return qelt_in_transaction(fc_int(conn)); }

int qelt_set_report_level_fc(const int* level) {
  return qelt_set_report_level(fc_int(level, QELT_ERR));
}

// Opens both report files first, so a failure leaves the destinations as
// they were; then installs them and closes the files this call opened
// before (never a stream the caller handed in).
int qelt_rpt_dest_fc(const char* first, int first_len, const char* second, int second_len) {
  std::string names[2];
  if (!qelt_fstr_to_cstr(-1, first, first_len, kFcStringMax, names[0]) ||
      !qelt_fstr_to_cstr(-1, second, second_len, kFcStringMax, names[1]))
    return -1;
  std::FILE* opened[2] = {nullptr, nullptr};
  for (int i = 0; i < 2; ++i) {
    if (names[i].rfind("NULL", 0) == 0) continue;
    qelt_delete_trailing(names[i]);
    opened[i] = std::fopen(names[i].c_str(), "w");
    if (opened[i] == nullptr) {
      report_text("qelt", QELT_ERR, format("Failed to open file <%s>", names[i].c_str()));
      if (i == 1 && opened[0] != nullptr) std::fclose(opened[0]);
      return -1;
    }
  }
  std::FILE* old[2] = {g_fc_dest[0], g_fc_dest[1]};
  g_fc_dest[0] = opened[0];
  g_fc_dest[1] = opened[1];
  qelt_set_report_destination(opened[0], opened[1]);
  for (std::FILE* f : old)
    if (f != nullptr && f != stderr) std::fclose(f);
  return 0;
}

int qelt_get_msg_fc(char* line, int line_len) {
  char buf[81];
  int r = qelt_get_msg(buf);
  if (line != nullptr && line_len > 0) {
    std::size_t n = strnlen(buf, sizeof buf);
    for (std::size_t i = 0; i < static_cast<std::size_t>(line_len); ++i)
      line[i] = i < n ? buf[i] : '\0';
  }
  return r;
}
