// Result binding by column name: binding records, matching them to the
// columns of a result, the per-row copy of the columns DB client binding
// cannot serve, null checks and null values.
#include <cstring>

#include "qelt_internal.h"

namespace qelt {
namespace {

// Appends one binding record to the bound or special table.
int add_binding(int conn, const char* column, Binding b, bool special, const char* call) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  std::vector<Binding>& table = special ? ctx.special : ctx.bound;
  if (static_cast<int>(table.size()) >= kMaxBindings) {
    report_text("qelt", QELT_ERR,
                format("Too many bound columns in this query (at most %d)", kMaxBindings));
    return qelt_sig(-1);
  }
  std::string name = cut(column, 99);
  qelt_delete_trailing(name);
  b.name = qelt_string_lower(name);
  table.push_back(std::move(b));
  report_text("qelt", QELT_INFO, format("finished %s", call));
  return qelt_sig(0);
}

Binding make(int type, int length, void* variable) {
  Binding b;
  b.type = type;
  b.length = length;
  b.variable = variable;
  return b;
}

Binding* find_unmatched(std::vector<Binding>& table, const char* name) {
  for (Binding& b : table)
    if (b.column == 0 && b.name == name) return &b;
  return nullptr;
}

bool has_name(const std::vector<Binding>& table, const char* name) {
  for (const Binding& b : table)
    if (b.name == name) return true;
  return false;
}

// Matches the result's column names to the binding records.  0 or -1.
int qelt_mer_map_col_name_to_num(int conn) {
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  int ncols = dbnumcols(dbproc);
  report_text("qelt", QELT_INFO, format("%d columns in this DB server result", ncols));
  for (int col = 1; col <= ncols; ++col) {
    const char* name = dbcolname(dbproc, col);
    if (name == nullptr) name = "";
    if (Binding* b = find_unmatched(ctx.bound, name)) {
      b->column = col;
    } else if (Binding* s = find_unmatched(ctx.special, name)) {
      s->column = col;
    } else if (has_name(ctx.bound, name)) {
      continue;
    } else if (has_name(ctx.special, name)) {
      report_text("qelt", QELT_WARN,
                  format("Redundant column <%s> found in query statement", name));
      return 0;
    } else {
      report_text("qelt", QELT_ERR,
                  format("Missing bind statement for column <%s> in this query", name));
      return -1;
    }
  }
  return 0;
}

}  // namespace

// Matches and binds the columns of a result set with rows.  0 or -1.
int qelt_bind_vars(int conn) {
  if (qelt_mer_map_col_name_to_num(conn) != 0) return -1;
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  for (const Binding& b : ctx.bound) {
    if (b.column == 0) {
      report_text("qelt", QELT_WARN,
                  format("No binding has been done on column <%s> in this query", b.name.c_str()));
      continue;
    }
    if (dbbind(dbproc, b.column, b.type, b.length, static_cast<BYTE*>(b.variable)) != SUCCEED) {
      report_text("qelt", QELT_ERR, format("Error in binding column <%s>", b.name.c_str()));
      return -1;
    }
  }
  return 0;
}

// Copies text, date-parts and blank-padded columns after a row.  0 or -1.
int qelt_mer_special_data(int conn) {
  Context& ctx = g_ctx[conn];
  if (ctx.special.empty()) return 0;
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  int ncols = dbnumcols(dbproc);
  for (const Binding& b : ctx.special) {
    if (b.column == 0 || b.column > ncols) continue;
    BYTE* data = dbdata(dbproc, b.column);
    DBINT len = dbdatlen(dbproc, b.column);
    if (len < 0) len = 0;
    if (data == nullptr) len = 0;
    switch (b.type) {
      case kSpecialText: {
        // The value is cut to the buffer's capacity.
        int n = len < b.capacity ? len : b.capacity;
        if (n > 0) std::memcpy(b.variable, data, static_cast<std::size_t>(n));
        if (b.length_out != nullptr) *b.length_out = n;
        break;
      }
      case kSpecialDateParts: {
        auto* parts = static_cast<DBDATEPARTS*>(b.variable);
        if (len == 0) {
          *parts = DBDATEPARTS{};
          parts->month = -1;
          break;
        }
        DBDATETIME value{};
        std::memcpy(&value, data, sizeof value < static_cast<std::size_t>(len)
                                      ? sizeof value
                                      : static_cast<std::size_t>(len));
        if (dbdatecrack(dbproc, parts, &value) != SUCCEED) {
          report_text("qelt", QELT_ERR,
                      format("Error retrieving datetime data for bound variable: %s",
                             b.name.c_str()));
          return -1;
        }
        break;
      }
      case kSpecialPadded: {
        int n = len < b.length ? len : b.length;
        auto* dst = static_cast<char*>(b.variable);
        if (n > 0) std::memcpy(dst, data, static_cast<std::size_t>(n));
        if (b.length > n) std::memset(dst + n, ' ', static_cast<std::size_t>(b.length - n));
        break;
      }
      default: break;
    }
  }
  return 0;
}

}  // namespace qelt

using namespace qelt;

int qelt_bind_string(int conn, const char* column, char* variable, int max_length) {
  bool special = valid_conn(conn) && g_ctx[conn].fixed_strings;
  return add_binding(conn, column,
                     make(special ? kSpecialPadded : STRINGBIND, max_length, variable), special,
                     "qelt_mer_bind_string");
}

// Text and image: the buffer takes at most `capacity` bytes of a value.
static int bind_text_like(int conn, const char* column, char* buffer, int* length_out,
                          int capacity, const char* call) {
  Binding b = make(kSpecialText, 0, buffer);
  b.length_out = length_out;
  b.capacity = capacity > 0 ? capacity : 0;
  return add_binding(conn, column, std::move(b), true, call);
}

int qelt_bind_text(int conn, const char* column, char* buffer, int* length_out, int capacity) {
  return bind_text_like(conn, column, buffer, length_out, capacity, "qelt_mer_bind_text");
}

int qelt_bind_image(int conn, const char* column, char* buffer, int* length_out, int capacity) {
  return bind_text_like(conn, column, buffer, length_out, capacity, "qelt_mer_bind_image");
}

int qelt_bind_binary(int conn, const char* column, unsigned char* variable, int length) {
  return add_binding(conn, column, make(BINARYBIND, length, variable), false,
                     "qelt_mer_bind_binary");
}

int qelt_bind_datetime(int conn, const char* column, void* dateparts) {
  return add_binding(conn, column, make(kSpecialDateParts, 0, dateparts), true,
                     "qelt_mer_bind_datetime");
}

int qelt_bind_double(int conn, const char* column, double* variable) {
  return add_binding(conn, column, make(FLT8BIND, 0, variable), false, "qelt_mer_bind_double");
}

int qelt_bind_float(int conn, const char* column, float* variable) {
  return add_binding(conn, column, make(FLT4BIND, 0, variable), false, "qelt_mer_bind_float");
}

int qelt_bind_int(int conn, const char* column, int* variable) {
  return add_binding(conn, column, make(INTBIND, 0, variable), false, "qelt_mer_bind_int");
}

int qelt_bind_short(int conn, const char* column, short* variable) {
  return add_binding(conn, column, make(SMALLBIND, 0, variable), false, "qelt_mer_bind_short");
}

int qelt_bind_single_char(int conn, const char* column, char* variable) {
  return add_binding(conn, column, make(CHARBIND, 1, variable), false,
                     "qelt_mer_bind_single_char");
}

// 3 the variable's column holds data, 2 NULL, -1 the variable is unbound.
int qelt_is_null(int conn, const void* variable) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  for (const std::vector<Binding>* table : {&ctx.bound, &ctx.special}) {
    for (const Binding& b : *table) {
      if (b.variable != variable) continue;
      if (b.column == 0) {
        if (table == &ctx.bound) break;  // look in the special table too
        goto unbound;
      }
      return qelt_sig(dbdatlen(dbproc, b.column) != 0 ? 3 : 2);
    }
  }
unbound:
  report_text("qelt", QELT_ERR, "Can't check for database NULLs on unbound application variable");
  return qelt_sig(-1);
}

// Sets the value a variable of `bind_type` receives for a NULL column.
int qelt_set_null(int conn, int bind_type, int length, const void* value) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  std::string msg;
  switch (value != nullptr ? bind_type : 0) {
    case STRINGBIND:
    case NTBSTRINGBIND:
      msg = format("set %s null to %s", "STRING", static_cast<const char*>(value));
      break;
    case INTBIND: msg = format("set %s null to %d", "INT", *static_cast<const int*>(value)); break;
    case SMALLBIND:
      msg = format("set %s null to %d", "SHORT", *static_cast<const short*>(value));
      break;
    case FLT8BIND:
      msg = format("set %s null to %f", "FLOAT8", *static_cast<const double*>(value));
      break;
    case FLT4BIND:
      msg = format("set %s null to %f", "REAL4", *static_cast<const float*>(value));
      break;
    case CHARBIND: msg = format("set %s null to %c", "CHAR", *static_cast<const char*>(value)); break;
    default: break;
  }
  if (!msg.empty()) report_text("qelt", QELT_INFO, msg);
  if (dbsetnull(g_slots[conn].dbproc, bind_type, length, static_cast<const BYTE*>(value)) <= 0) {
    report_text("qelt", QELT_ERR, "Can't define NULL value for this type");
    return qelt_sig(-1);
  }
  report_text("qelt", QELT_INFO, "no error in setnull");
  return qelt_sig(0);
}
