// Query context: starting a query, appending SQL text, substitution
// parameters and the preparation of the text before it is sent.
#include <cctype>
#include <cstring>

#include "qelt_internal.h"

namespace qelt {
namespace {

// Value text of a substitution parameter; false (reported) when it has none.
bool qelt_param_val(const Context& ctx, const std::string& name, std::string& out) {
  const Param* p = nullptr;
  for (const Param& q : ctx.params) {
    if (q.name == name) {
      p = &q;
      break;
    }
  }
  if (p == nullptr) {
    report_text("qelt", QELT_ERR,
                format("query parameter <@%s> has no value.  check query against "
                       "qelt_<type>_param calls",
                       name.c_str()));
    return false;
  }
  if (p->is_null) {
    out = "NULL";
  } else {
    switch (p->type) {
      case INTBIND:
      case SMALLBIND: out = format("%lld", p->int_value); break;
      case FLT8BIND: out = format("%.15e", p->float_value); break;
      case FLT4BIND: out = format("%e", p->float_value); break;
      case CHARBIND:
        // A quote as the value is doubled so the literal stays balanced.
        out = p->ch == '\'' ? std::string("''''") : std::string("'") + p->ch + "'";
        break;
      case BINARYBIND:
        out = "0x";
        for (unsigned char b : p->bytes) out += format("%02x", b);
        break;
      case STRINGBIND: {
        std::string v = p->bytes;
        if (ctx.fixed_strings && static_cast<int>(v.size()) > p->length)
          v.resize(static_cast<std::size_t>(p->length));
        qelt_delete_trailing(v);
        out = "'";
        for (char c : v) {
          out += c;
          if (c == '\'') out += '\'';
        }
        out += "'";
        break;
      }
      default: out.clear(); break;
    }
  }
  report_text("qelt", QELT_INFO,
              format("Query parameter <@%s> has value of <%s>", name.c_str(), out.c_str()));
  return true;
}

}  // namespace

// Appends a substitution record to the current query, or in a
// stored-procedure call gives the procedure an input parameter (frame
// included).
int qelt_add_param(int conn, const char* name, Param p) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (ctx.sp_flag) {
    std::string n = name != nullptr ? name : "";
    qelt_delete_trailing(n);
    return qelt_sig(qelt_rpc_input_param(conn, qelt_string_lower(n), p));
  }
  if (static_cast<int>(ctx.params.size()) >= kMaxBindings) {
    report_text("qelt", QELT_ERR,
                format("Too many query parameters (at most %d)", kMaxBindings));
    return qelt_sig(-1);
  }
  std::string n = name != nullptr ? name : "";
  qelt_delete_trailing(n);
  p.name = qelt_string_lower(n);
  ctx.params.push_back(std::move(p));
  report_text("qelt", QELT_INFO, "finished qelt_mer_param");
  return qelt_sig(0);
}

// Connect-time initialisation of a slot's query context.
int qelt_mer_init_context(int conn) {
  Context& ctx = g_ctx[conn];
  ctx = Context{};
  ctx.closed = 1;
  ctx.module = "unknown";
  ctx.query_number = 0;
  report_text("qelt", QELT_INFO, "context initialized");
  return 0;
}

// The module name and query number of a context.
int qelt_module_name(int conn, std::string& name, int& query_number) {
  name = g_ctx[conn].module;
  query_number = g_ctx[conn].query_number;
  return 0;
}

// Substitutes the parameters and lower-cases the text outside quotes, in
// place of the context's SQL text.  0, or -1 after a report.
int qelt_get_query(int conn, char marker) {
  Context& ctx = g_ctx[conn];
  const std::string& text = ctx.sql;
  std::string out;
  out.reserve(text.size());
  bool in_single = false;
  bool in_double = false;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != marker) {
      if (c == '\'' && !in_double) in_single = !in_single;
      else if (c == '"' && !in_single) in_double = !in_double;
      out += c;
      ++i;
      continue;
    }
    if (in_single || in_double) {
      out += c;
      ++i;
      continue;
    }
    if (marker == '@' && i + 1 < text.size() && text[i + 1] == '@') {
      out += "@@";
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    while (j < text.size() && j - (i + 1) < 512 && is_name_char(text[j])) ++j;
    std::string name = qelt_string_lower(text.substr(i + 1, j - (i + 1)));
    std::string value;
    if (!qelt_param_val(ctx, name, value)) return -1;
    std::size_t size = out.size() + value.size() + (text.size() - j);
    if (size >= static_cast<std::size_t>(kCmdBufSize)) {
      report_text("qelt", QELT_ERR,
                  format("Query size <%zu> exceeded maximum command buffer size <%d>", size,
                         kCmdBufSize));
      return -1;
    }
    out += value;
    i = j;
  }
  int rc = qelt_tolower_query(out);
  ctx.sql = std::move(out);
  return rc;
}

}  // namespace qelt

using namespace qelt;

// Starts query `query_number` of `module` on a connected slot.
int qelt_query_setup(int conn, const char* module, int query_number) {
  std::string mod = cut(module, kModuleMax);
  qelt_delete_trailing(mod);
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    return qelt_sig(-1);
  }
  db_current = conn;
  report_text("qelt", QELT_STAT, format("-- Module: %s, Query: %d ", mod.c_str(), query_number));
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (!ctx.closed) {
    report_text("qelt", QELT_ERR,
                "Failed to close last query connection before starting a new query");
    return qelt_sig(-1);
  }
  ctx.closed = 0;
  ctx.module = mod;
  ctx.query_number = query_number;
  ctx.exec_state = kSend;
  ctx.bound.clear();
  ctx.params.clear();
  ctx.special.clear();
  ctx.sql.clear();
  ctx.sp_flag = 0;
  ctx.rowcount_cache = -1;
  ctx.dead_retry = 0;
  ctx.dead_table = 0;
  ctx.fixed_strings = 0;
  ctx.status = 0;
  ctx.alt_status = 0;
  ctx.row_counter = 0;
  ctx.fetch_outcome = PRAVEL_FETCH_NONE;
  ctx.failed_fetches = 0;
  ctx.ret.clear();
  ctx.sp_values.clear();
  ctx.sp_name.clear();
  report_text("qelt", QELT_INFO, "finished qelt_mer_query_setup");
  return qelt_sig(0);
}

// Appends a blank and the text to the SQL text; a text that would not fit
// the command buffer is refused and nothing is appended.
int qelt_query(int conn, const char* text) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  std::size_t add = 1 + (text != nullptr ? std::strlen(text) : 0);
  std::size_t size = ctx.sql.size() + add;
  if (size >= static_cast<std::size_t>(kCmdBufSize)) {
    report_text("qelt", QELT_ERR,
                format("Query size <%zu> exceeded maximum command buffer size <%d>", size,
                       kCmdBufSize));
    return qelt_sig(-1);
  }
  ctx.sql += ' ';
  if (text != nullptr) ctx.sql += text;
  return 0;
}

int qelt_int_param(int conn, const char* name, int value) {
  Param p;
  p.type = INTBIND;
  p.int_value = value;
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_short_param(int conn, const char* name, short value) {
  Param p;
  p.type = SMALLBIND;
  p.int_value = value;
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_double_param(int conn, const char* name, double value) {
  Param p;
  p.type = FLT8BIND;
  p.float_value = value;
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_real_param(int conn, const char* name, float value) {
  Param p;
  p.type = FLT4BIND;
  p.float_value = value;
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_single_char_param(int conn, const char* name, char value) {
  Param p;
  p.type = CHARBIND;
  p.ch = value;
  p.length = 1;
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_string_param(int conn, const char* name, const char* value) {
  Param p;
  p.type = STRINGBIND;
  p.bytes = value != nullptr ? value : "";
  p.length = static_cast<int>(p.bytes.size());
  return qelt_add_param(conn, name, std::move(p));
}

int qelt_binary_param(int conn, const char* name, const unsigned char* value, int length) {
  Param p;
  p.type = BINARYBIND;
  if (value != nullptr && length > 0)
    p.bytes.assign(reinterpret_cast<const char*>(value), static_cast<std::size_t>(length));
  p.length = static_cast<int>(p.bytes.size());
  return qelt_add_param(conn, name, std::move(p));
}

// A text parameter: a string parameter below the command buffer's size,
// refused in a stored-procedure call.
int qelt_text_param(int conn, const char* name, const char* value) {
  std::size_t len = value != nullptr ? std::strlen(value) : 0;
  if (len >= static_cast<std::size_t>(kCmdBufSize)) {
    if (!enter_frame(conn)) return qelt_sig(-1);
    report_text("qelt", QELT_ERR,
                format("Text column <%s> data size <%zu> exceeded maximum command buffer size "
                       "<%d>",
                       name != nullptr ? name : "", len, kCmdBufSize));
    return qelt_sig(-1);
  }
  if (valid_conn(conn) && g_ctx[conn].sp_flag) {
    if (!enter_frame(conn)) return qelt_sig(-1);
    report_text("qelt", QELT_ERR, "Text column cannot be used as parameter to stored procedures");
    return qelt_sig(-1);
  }
  return qelt_string_param(conn, name, value);
}

int qelt_null_param(int conn, const char* name) {
  Param p;
  p.is_null = 1;
  return qelt_add_param(conn, name, std::move(p));
}
