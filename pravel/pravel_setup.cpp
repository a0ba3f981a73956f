// The tool-facing calls: login items, query setup with connecting, status
// mapping, and the small slot and status calls sharing the call frame.
#include <cstdlib>
#include <cstring>

#include "qelt_internal.h"

namespace qelt {

// The frame every public call on a connection shares.
bool enter_frame(int conn) {
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    return false;
  }
  db_current = conn;
  if (g_slots[conn].state != kStateConnected) {
    report_text("qelt", QELT_ERR, "Invalid DBMS connection");
    return false;
  }
  return true;
}

}  // namespace qelt

using namespace qelt;

// Stores one login item of a slot (items as in the header).
void pravel_setup(int conn, int item, const char* value) {
  qelt_init_connection();
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    qelt_sig(-1);
    return;
  }
  db_current = conn;
  std::string v = value != nullptr ? value : "";
  qelt_delete_trailing(v);
  Slot& s = g_slots[conn];
  switch (item) {
    case 1: s.user = cut(v.c_str(), kUserMax); break;
    case 2: s.password = cut(v.c_str(), kPasswordMax); break;
    case 3: s.no_password_file = 1; break;
    case 4:
      if (!v.empty()) s.marker = v[0];
      break;
    case 5: s.config5 = std::atoi(v.c_str()); break;
    case 6: s.config6 = std::atoi(v.c_str()); break;
    case 7: s.app_name = cut(v.c_str(), kAppNameMax); break;
    case 8: {
      int seconds = std::atoi(v.c_str());
      s.cmd_timeout = seconds > 0 ? seconds : 0;
      break;
    }
    default: break;
  }
}

// Connects a free slot with the login handed before; database and server
// names may be replaced by environment variables named like them.
int pravel_connect(int conn, int dbms_kind, const char* server, const char* database,
                   qelt_handler handler) {
  int state = qelt_connected(conn);
  if (state == -1) {
    report_text("qelt", QELT_ERR, "use QELT_CONN_1 .. QELT_CONN_10");
    return -1;
  }
  if (state == QELT_CONNECTED) {
    report_text("qelt", QELT_ERR, "connection already exists");
    return -1;
  }
  g_slots[conn].demand = 1;
  if (handler != nullptr) qelt_establish_error_handler(&conn, handler);

  std::string db = database != nullptr ? database : "";
  if (const char* env = std::getenv(qelt_string_upper(db).c_str()); env != nullptr && !db.empty())
    db = env;
  db = qelt_string_lower(cut(db.c_str(), kNameMax));
  std::string srv = server != nullptr ? server : "";
  if (const char* env = std::getenv(qelt_string_upper(srv).c_str()); env != nullptr && !srv.empty())
    srv = env;
  srv = qelt_string_upper(cut(srv.c_str(), kNameMax));

  if (qelt_connect_dbms(dbms_kind, db.c_str(), srv.c_str(), "", "", &conn) != 0) {
    report_text("qelt", QELT_ERR, format("Unable to QELT connect to: %s", db.c_str()));
    return -1;
  }
  return 0;
}

// Begins a query, connecting the slot first when it is free.
void pravel_query_setup(int conn, const char* module, int query_number, int query_language,
                        const char* server, const char* database, qelt_handler handler) {
  qelt_init_connection();
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    qelt_sig(-1);
    return;
  }
  db_current = conn;
  if (query_language != QELT_SQL) {
    report_text("qelt", QELT_ERR, "Invalid query language type");
    qelt_sig(-1);
    return;
  }
  if (qelt_connected(conn) == QELT_FREE) {
    if (pravel_connect(conn, kDbmsKind, server, database, handler) == -1) qelt_sig(-1);
  } else if (handler != nullptr) {
    qelt_establish_error_handler(&conn, handler);
  }
  qelt_query_setup(conn, module, query_number);
}

// Installs a non-zero handler, then starts the query.
int pravel_connected_query_setup(int conn, const char* module, int query_number,
                                 qelt_handler handler) {
  if (handler != nullptr) qelt_establish_error_handler(&conn, handler);
  return qelt_query_setup(conn, module, query_number);
}

// The alternate status from the status: 2601 gives 33, other non-zero -1.
int pravel_set_status(int conn, int* out) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  int status = g_ctx[conn].status;
  int alt = status == 0 ? 0 : (status == 2601 ? 33 : -1);
  if (out != nullptr) *out = alt;
  return qelt_set_alternate_status(conn, alt);
}

int pravel_get_status(int conn) { return qelt_get_alternate_status(conn); }

// Executes or fetches (see qelt_mer_get_exec) and maps the status.
int pravel_get_exec(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  int result = qelt_mer_get_exec(conn);
  int alt = 0;
  pravel_set_status(conn, &alt);
  return qelt_sig(result);
}

int pravel_fetch_outcome(int conn) {
  return valid_conn(conn) ? g_ctx[conn].fetch_outcome : PRAVEL_FETCH_NONE;
}

int qelt_get_status(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  return g_ctx[conn].status;
}

int qelt_get_alternate_status(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  return g_ctx[conn].alt_status;
}

int qelt_set_alternate_status(int conn, int value) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  g_ctx[conn].alt_status = value;
  return 0;
}

int qelt_get_current_process() { return db_current; }

// Chooses the query language; only SQL on a connected slot is known.
int qelt_set_ql(int conn, int type) {
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    return qelt_sig(-1);
  }
  db_current = conn;
  if (type == -1) {
    report_text("qelt", QELT_ERR, "Invalid query type");
    return qelt_sig(-1);
  }
  if (g_slots[conn].state != kStateConnected) {
    report_text("qelt", QELT_ERR, "Invalid DBMS Query Language");
    return qelt_sig(-1);
  }
  return qelt_sig(0);
}
