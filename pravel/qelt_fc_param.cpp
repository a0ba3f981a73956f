// Twins for callers with fixed-length strings: binding, parameters and
// stored procedures (see pravel/pravel_fc.h).
#include "pravel/pravel_fc.h"
#include "qelt_internal.h"

namespace qelt {
namespace {

// Marks the connection's query as one with fixed-length strings.
void set_fixed(int conn) {
  if (valid_conn(conn)) g_ctx[conn].fixed_strings = 1;
}

bool in_stored_call(int conn) { return valid_conn(conn) && g_ctx[conn].sp_flag != 0; }

// A name argument (column, parameter or procedure name).
bool fc_arg(int conn, const char* s, int len, std::string& out) {
  return qelt_fstr_to_cstr(conn, s, len, kFcStringMax, out);
}

// A string or text parameter: in an ordinary query a substitution record
// of exactly the given length in a query with fixed-length strings; in a
// stored-procedure call the value as a string parameter.
int fc_string_param(const int* conn, const char* name, int name_len, const char* value,
                    int value_len, bool text) {
  int c = fc_int(conn);
  std::string n, v;
  if (!fc_arg(c, name, name_len, n) || !qelt_fstr_to_cstr(c, value, value_len, kFcNoLimit, v))
    return qelt_sig(-1);
  if (in_stored_call(c)) return qelt_string_param(c, n.c_str(), v.c_str());
  if (text && v.size() >= static_cast<std::size_t>(kCmdBufSize))
    return qelt_text_param(c, n.c_str(), v.c_str());  // refused with its report
  set_fixed(c);
  Param p;
  p.type = STRINGBIND;
  p.bytes = std::move(v);
  p.length = value_len;
  return qelt_add_param(c, n.c_str(), std::move(p));
}

}  // namespace
}  // namespace qelt

using namespace qelt;

int qelt_set_null_f(const int* conn, const int* bind_type, const int* length, const void* value) {
  return qelt_set_null(fc_int(conn), fc_int(bind_type, 0), fc_int(length, 0), value);
}

// Binding twins: the name converted, the variable's address unchanged.
#define QELT_FC_BIND(twin, call, T)                                          \
  int twin(const int* conn, const char* column, int column_len, T* variable) { \
    int c = fc_int(conn);                                                    \
    std::string n;                                                           \
    if (!fc_arg(c, column, column_len, n)) return qelt_sig(-1);              \
    return call(c, n.c_str(), variable);                                     \
  }
QELT_FC_BIND(qelt_bind_float_fc, qelt_bind_float, float)
QELT_FC_BIND(qelt_bind_double_fc, qelt_bind_double, double)
QELT_FC_BIND(qelt_bind_int_fc, qelt_bind_int, int)
QELT_FC_BIND(qelt_bind_short_fc, qelt_bind_short, short)
QELT_FC_BIND(qelt_bind_datetime_fc, qelt_bind_datetime, void)
QELT_FC_BIND(qelt_int_ret_param_fc, qelt_int_ret_param, int)
QELT_FC_BIND(qelt_short_ret_param_fc, qelt_short_ret_param, short)
QELT_FC_BIND(qelt_double_ret_param_fc, qelt_double_ret_param, double)
QELT_FC_BIND(qelt_float_ret_param_fc, qelt_float_ret_param, float)
#undef QELT_FC_BIND

int qelt_bind_string_fc(const int* conn, const char* column, int column_len, char* variable,
                        const int* length) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, column, column_len, n)) return qelt_sig(-1);
  set_fixed(c);
  return qelt_bind_string(c, n.c_str(), variable, fc_int(length, 0));
}

int qelt_bind_text_fc(const int* conn, const char* column, int column_len, char* buffer,
                      int* length_out, const int* capacity) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, column, column_len, n)) return qelt_sig(-1);
  return qelt_bind_text(c, n.c_str(), buffer, length_out, fc_int(capacity, 0));
}

int qelt_bind_image_fc(const int* conn, const char* column, int column_len, char* buffer,
                       int* length_out, const int* capacity) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, column, column_len, n)) return qelt_sig(-1);
  return qelt_bind_image(c, n.c_str(), buffer, length_out, fc_int(capacity, 0));
}

int qelt_bind_binary_fc(const int* conn, const char* column, int column_len,
                        unsigned char* variable, const int* length) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, column, column_len, n)) return qelt_sig(-1);
  return qelt_bind_binary(c, n.c_str(), variable, fc_int(length, 0));
}

// -1 without a report for a variable bound in neither table.
int qelt_is_null_f(const int* conn, const void* variable) {
  int c = fc_int(conn);
  if (valid_conn(c)) {
    const Context& ctx = g_ctx[c];
    bool bound = false;
    for (const std::vector<Binding>* table : {&ctx.bound, &ctx.special})
      for (const Binding& b : *table)
        if (b.variable == variable) bound = true;
    if (!bound) return -1;
  }
  return qelt_is_null(c, variable);
}

int qelt_stored_command_fc(const int* conn, const char* name, int name_len) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  return qelt_stored_command(c, n.c_str());
}

// Numeric parameter twins: the value read from its address.
#define QELT_FC_PARAM(twin, call, T)                                                        \
  int twin(const int* conn, const char* name, int name_len, const T* value) {               \
    int c = fc_int(conn);                                                                   \
    std::string n;                                                                          \
    if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);                                 \
    return call(c, n.c_str(), value != nullptr ? *value : T{});                             \
  }
QELT_FC_PARAM(qelt_int_param_fc, qelt_int_param, int)
QELT_FC_PARAM(qelt_short_param_fc, qelt_short_param, short)
QELT_FC_PARAM(qelt_double_param_fc, qelt_double_param, double)
QELT_FC_PARAM(qelt_real_param_fc, qelt_real_param, float)
#undef QELT_FC_PARAM

int qelt_binary_param_fc(const int* conn, const char* name, int name_len,
                         const unsigned char* value, const int* length) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  return qelt_binary_param(c, n.c_str(), value, fc_int(length, 0));
}

int qelt_single_char_param_fc(const int* conn, const char* name, int name_len, const char* value,
                              int value_len) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  char ch = value != nullptr && value_len > 0 ? value[0] : ' ';
  return qelt_single_char_param(c, n.c_str(), ch);
}

int qelt_string_param_fc(const int* conn, const char* name, int name_len, const char* value,
                         int value_len) {
  return fc_string_param(conn, name, name_len, value, value_len, false);
}

int qelt_text_param_fc(const int* conn, const char* name, int name_len, const char* value,
                       int value_len) {
  return fc_string_param(conn, name, name_len, value, value_len, true);
}

int qelt_null_param_fc(const int* conn, const char* name, int name_len) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  return qelt_null_param(c, n.c_str());
}

int qelt_single_char_ret_param_fc(const int* conn, const char* name, int name_len,
                                  char* variable) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  set_fixed(c);
  return qelt_single_char_ret_param(c, n.c_str(), variable);
}

int qelt_string_ret_param_fc(const int* conn, const char* name, int name_len, char* variable,
                             const int* length) {
  int c = fc_int(conn);
  std::string n;
  if (!fc_arg(c, name, name_len, n)) return qelt_sig(-1);
  set_fixed(c);
  return qelt_string_ret_param(c, n.c_str(), variable, fc_int(length, 0));
}
