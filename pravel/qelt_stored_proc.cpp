// Stored-procedure calls: starting the call, its input and return
// parameters (sent with the DB client's remote procedure calls), the copy
// of the return values, the return status and the call's summary report.
//
// While a call is being built the query's SQL text holds a readable
// description of it, one 80-column line per item, so that error reports
// show what was called.
#include <cstring>

#include "qelt_internal.h"

namespace qelt {
namespace {

constexpr std::size_t kLineWidth = 80;

// Appends `line` to the call's description and pads the text with blanks to
// the next multiple of 80 characters (a whole line of blanks when it ends on
// one).  A description that would not fit the command buffer is not
// extended: it only serves the reports.
void describe(Context& ctx, const std::string& line) {
  std::size_t size = ctx.sql.size() + line.size();
  size += kLineWidth - size % kLineWidth;
  if (size >= static_cast<std::size_t>(kCmdBufSize)) return;
  ctx.sql += line;
  ctx.sql.append(kLineWidth - ctx.sql.size() % kLineWidth, ' ');
}

std::string hex_of(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) out += format("%02x", b);
  return out;
}

// The server datatype a return variable of bind type `type` holds.
int server_type_of(int type) {
  switch (type) {
    case INTBIND: return MERINT4;
    case SMALLBIND: return MERINT2;
    case FLT8BIND: return MERFLT8;
    case FLT4BIND: return MERREAL;
    default: return MERCHAR;
  }
}

// Stores one return value into a return record's variable.
void copy_ret(const Context& ctx, const Binding& b, int rettype, const BYTE* data, DBINT len) {
  bool null = data == nullptr || len <= 0;
  std::size_t size = 0;
  switch (rettype) {
    case MERINT4:
    case MERREAL: size = 4; break;
    case MERFLT8: size = 8; break;
    case MERINT2: size = 2; break;
    case MERCHAR: break;
    default: return;  // datatypes no return variable holds
  }
  if (rettype != server_type_of(b.type)) {
    report_text("qelt", QELT_WARN,
                format("Return parameter <%s> came back as datatype %d, which its variable "
                       "cannot hold; the variable is unchanged",
                       b.name.c_str(), rettype));
    return;
  }
  auto* var = static_cast<char*>(b.variable);
  if (size > 0) {
    // A NULL (or short) value gives 0.
    if (null || static_cast<std::size_t>(len) < size) std::memset(var, 0, size);
    else std::memcpy(var, data, size);
    return;
  }
  if (b.type == CHARBIND) {
    *var = null ? (ctx.fixed_strings ? ' ' : '\0') : static_cast<char>(data[0]);
    return;
  }
  int cap = b.length > 0 ? b.length : 0;
  int n = null ? 0 : (len < cap ? static_cast<int>(len) : cap);
  if (n > 0) std::memcpy(var, data, static_cast<std::size_t>(n));
  if (ctx.fixed_strings) {
    if (cap > n) std::memset(var + n, ' ', static_cast<std::size_t>(cap - n));
  } else {
    var[n] = '\0';
  }
}

// Appends a return record and its RPC parameter.  0 or -1.
int add_ret_param(int conn, const char* name, int type, int length, void* variable,
                  const char* kind) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (static_cast<int>(ctx.ret.size()) >= kMaxBindings) {
    report_text("qelt", QELT_ERR,
                format("Too many return parameters in this query (at most %d)", kMaxBindings));
    return qelt_sig(-1);
  }
  if (variable == nullptr || length < 0) {
    report_text("qelt", QELT_ERR, format("error on qelt_mer_%s_ret_param", kind));
    return qelt_sig(-1);
  }
  std::string n = cut(name, 99);
  qelt_delete_trailing(n);
  Binding b;
  b.name = "@" + qelt_string_lower(n);
  b.type = type;
  b.length = length;
  b.variable = variable;
  std::string line = type == STRINGBIND
                         ? format("string(%-d) return param %s", length, b.name.c_str())
                         : format("%s return param %s", kind, b.name.c_str());
  describe(ctx, line);
  DBINT datalen = type == STRINGBIND ? length : (type == CHARBIND ? 1 : -1);
  if (dbrpcparam(g_slots[conn].dbproc, b.name.c_str(), DBRPCRETURN, server_type_of(type), -1,
                 datalen, static_cast<const BYTE*>(variable)) != SUCCEED) {
    report_text("qelt", QELT_ERR, format("error on qelt_mer_%s_ret_param", kind));
    return qelt_sig(-1);
  }
  ctx.ret.push_back(std::move(b));
  report_text("qelt", QELT_INFO, format("finished qelt_mer_%s_ret_param", kind));
  return qelt_sig(0);
}

const char* type_name(int type) {
  switch (type) {
    case SMALLBIND: return "smallint";
    case INTBIND: return "int";
    case BINARYBIND: return "binary";
    case FLT8BIND: return "float";
    case STRINGBIND: return "string";
    case FLT4BIND: return "real";
    default: return " ";
  }
}

}  // namespace

// Gives the call being built an input parameter: the value is copied into
// the call's value list and handed to the DB client with its description.
// 0, or -1 after a report (the DB client reports its own refusals).
int qelt_rpc_input_param(int conn, const std::string& name, const Param& p) {
  Context& ctx = g_ctx[conn];
  std::string at = "@" + name;
  int type = MERBINARY;
  DBINT datalen = -1;
  std::string value;
  std::string line;
  if (p.is_null) {
    datalen = 0;
    line = format("input param %s = NULL", at.c_str());
  } else {
    switch (p.type) {
      case INTBIND: {
        DBINT v = static_cast<DBINT>(p.int_value);
        value.assign(reinterpret_cast<const char*>(&v), sizeof v);
        type = MERINT4;
        line = format("int input param %s = %d", at.c_str(), static_cast<int>(v));
        break;
      }
      case SMALLBIND: {
        DBSMALLINT v = static_cast<DBSMALLINT>(p.int_value);
        value.assign(reinterpret_cast<const char*>(&v), sizeof v);
        type = MERINT2;
        line = format("short input param %s = %d", at.c_str(), static_cast<int>(v));
        break;
      }
      case FLT8BIND: {
        double v = p.float_value;
        value.assign(reinterpret_cast<const char*>(&v), sizeof v);
        type = MERFLT8;
        line = format("double input param %s = %f", at.c_str(), v);
        break;
      }
      case FLT4BIND: {
        float v = static_cast<float>(p.float_value);
        value.assign(reinterpret_cast<const char*>(&v), sizeof v);
        type = MERREAL;
        line = format("real input param %s = %f", at.c_str(), static_cast<double>(v));
        break;
      }
      case CHARBIND:
        value.assign(1, p.ch);
        type = MERCHAR;
        datalen = 1;
        line = format("char input param %s = \"%c\"", at.c_str(), p.ch);
        break;
      case STRINGBIND:
        value = p.bytes;
        type = MERCHAR;
        datalen = static_cast<DBINT>(value.size());
        line = format("string input param %s = \"%s\"", at.c_str(), value.c_str());
        break;
      default:  // binary
        value = p.bytes;
        datalen = static_cast<DBINT>(value.size());
        line = format("binary input param %s = 0x", at.c_str()) + hex_of(value);
        break;
    }
  }
  if (!p.is_null && static_cast<int>(ctx.sp_values.size()) >= kMaxSpValues) {
    report_text("qelt", QELT_ERR,
                format("Too many stored procedure parameters (at most %d values)", kMaxSpValues));
    return -1;
  }
  describe(ctx, line);
  const BYTE* data = nullptr;
  if (!p.is_null) {
    // The text keeps its NUL in the list; only its characters are sent.
    ctx.sp_values.push_back(std::make_unique<std::string>(std::move(value)));
    data = reinterpret_cast<const BYTE*>(ctx.sp_values.back()->c_str());
  }
  if (dbrpcparam(g_slots[conn].dbproc, at.c_str(), 0, type, -1, datalen, data) != SUCCEED) {
    if (!p.is_null) ctx.sp_values.pop_back();
    return -1;
  }
  report_text("qelt", QELT_INFO, "finished qelt_mer_rpc_param");
  return 0;
}

// Copies the procedure's return values into the return records' variables
// (every record of the value's name); values of other datatypes are skipped.
int qelt_mer_get_ret_param(int conn) {
  Context& ctx = g_ctx[conn];
  if (ctx.ret.empty()) return 0;
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  int n = dbnumrets(dbproc);
  for (int i = 1; i <= n; ++i) {
    const char* name = dbretname(dbproc, i);
    if (name == nullptr) continue;
    int rettype = dbrettype(dbproc, i);
    const BYTE* data = dbretdata(dbproc, i);
    DBINT len = dbretlen(dbproc, i);
    for (const Binding& b : ctx.ret)
      if (b.name == name) copy_ret(ctx, b, rettype, data, len);
  }
  return 0;
}

// True (after a report) when a stored-procedure call has a non-zero return
// status.
bool qelt_sp_status_failed(int conn) {
  Context& ctx = g_ctx[conn];
  if (!ctx.sp_flag) return false;
  DBINT st = dbretstatus(g_slots[conn].dbproc);
  if (st == 0) return false;
  report_text("qelt", QELT_ERR,
              format("Stored procedure %s returned status %d", ctx.sp_name.c_str(),
                     static_cast<int>(st)));
  return true;
}

// Reports the call's description and its binding, input and return tables
// at the statistics level.
void qelt_mer_print_sto_info(int conn) {
  const Context& ctx = g_ctx[conn];
  report_text("qelt", QELT_STAT, format("sending stored procedure '%s'", ctx.sql.c_str()));
  const std::string dashes(30, '-');
  auto title = [&](const char* heading, bool with_value) {
    report_text("dummy", QELT_STAT, heading);
    std::string t = format("%-30s %-10s", "name", "type");
    std::string d = format("%-30.30s %-10.10s", dashes.c_str(), dashes.c_str());
    if (with_value) {
      t += format(" %-20s", "value");
      d += format(" %-20.20s", dashes.c_str());
    }
    report_text("dummy", QELT_STAT, t);
    report_text("dummy", QELT_STAT, d);
  };
  if (!ctx.bound.empty()) {
    title("\nbind column:", false);
    for (const Binding& b : ctx.bound)
      report_text("dummy", QELT_STAT, format("%-30s %-10s", b.name.c_str(), type_name(b.type)));
  }
  if (!ctx.params.empty()) {
    title("\ninput parameter:", true);
    for (const Param& p : ctx.params) {
      std::string value;
      if (!p.is_null) {
        switch (p.type) {
          case INTBIND:
          case SMALLBIND: value = format("%d", static_cast<int>(p.int_value)); break;
          case FLT8BIND:
          case FLT4BIND: value = format("%f", p.float_value); break;
          case BINARYBIND: value = "0x" + hex_of(p.bytes); break;
          case CHARBIND: value.assign(1, p.ch); break;
          default:
            value = p.bytes.substr(0, static_cast<std::size_t>(p.length > 0 ? p.length : 0));
            break;
        }
      }
      report_text("dummy", QELT_STAT,
                  format("%-30s %-10s %s", p.name.c_str(), p.is_null ? "null" : type_name(p.type),
                         value.c_str()));
    }
  }
  if (!ctx.ret.empty()) {
    title("\nreturn parameter:", false);
    for (const Binding& b : ctx.ret)
      report_text("dummy", QELT_STAT, format("%-30s %-10s", b.name.c_str(), type_name(b.type)));
  }
}

}  // namespace qelt

using namespace qelt;

// Starts a stored-procedure call on the current query.
int qelt_stored_command(int conn, const char* name) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  std::string n = name != nullptr ? name : "";
  qelt_delete_trailing(n);
  n = qelt_string_lower(n);
  ctx.sql.clear();
  describe(ctx, format("stored procedure: %s", n.c_str()));
  ctx.sp_flag = 1;
  ctx.sp_name = n;
  if (dbrpcinit(g_slots[conn].dbproc, n.c_str(), 0) != SUCCEED) {
    report_text("qelt", QELT_ERR, "qelt_mer_stored_command:dbrpcinit failed");
    return qelt_sig(-1);
  }
  ctx.exec_state = kSendRpc;
  report_text("qelt", QELT_INFO, format("finished init qelt_mer_stored_command %s", n.c_str()));
  return qelt_sig(0);
}

int qelt_int_ret_param(int conn, const char* name, int* variable) {
  return add_ret_param(conn, name, INTBIND, 0, variable, "int");
}

int qelt_short_ret_param(int conn, const char* name, short* variable) {
  return add_ret_param(conn, name, SMALLBIND, 0, variable, "short");
}

int qelt_double_ret_param(int conn, const char* name, double* variable) {
  return add_ret_param(conn, name, FLT8BIND, 0, variable, "double");
}

int qelt_float_ret_param(int conn, const char* name, float* variable) {
  return add_ret_param(conn, name, FLT4BIND, 0, variable, "float");
}

int qelt_single_char_ret_param(int conn, const char* name, char* variable) {
  return add_ret_param(conn, name, CHARBIND, 1, variable, "single_char");
}

int qelt_string_ret_param(int conn, const char* name, char* variable, int length) {
  return add_ret_param(conn, name, STRINGBIND, length, variable, "string");
}
