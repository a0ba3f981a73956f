// Connection slots: the start of the layer, connecting and disconnecting,
// login data and password files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

#include "qelt_internal.h"

namespace qelt {

Slot g_slots[kSlots];
Context g_ctx[kSlots];
int db_current = 0;

namespace {

bool g_initialised = false;

// Opens the report file named by QELT_REPORT_FILE as the only destination.
void open_report_file() {
  const char* name = std::getenv("QELT_REPORT_FILE");
  if (name == nullptr) return;
  std::FILE* f = std::fopen(name, "w");
  if (f == nullptr) {
    report_text("qelt", QELT_WARN, format("Failed to open file <%s>", name));
    return;
  }
  qelt_set_report_destination(f, nullptr);
}

// Logs in and opens a connection, then makes the database current.
int qelt_mer_init_database(std::string database, const std::string& server_in,
                           const std::string& user, const std::string& password,
                           const std::string& app_name, DBPROCESS** out) {
  std::string server = qelt_string_upper(server_in);
  LOGINREC* login = dblogin();
  if (login == nullptr) {
    report_text("qelt", QELT_ERR,
                format("Could not allocate a MERROW login record to database <%s> on server <%s>",
                       database.c_str(), server.c_str()));
    return -1;
  }
  auto fail = [&](const std::string& msg) {
    report_text("qelt", QELT_ERR, msg);
    dbloginfree(login);
    return -1;
  };
  if (dbsetlbool(login, 1, DBSETENCRYPT) != SUCCEED)
    return fail("Error on sending enrypted password request to the server");
  if (dbsetlname(login, password.c_str(), DBSETPWD) != SUCCEED)
    return fail(format("Couldn't set internal MERROW login password on server <%s>",
                       server.c_str()));
  report_text("qelt", QELT_INFO, "Resetting user name");
  if (dbsetlname(login, user.c_str(), DBSETUSER) != SUCCEED)
    return fail(format("Couldn't set internal MERROW username on server <%s>", server.c_str()));
  if (!app_name.empty()) {
    report_text("qelt", QELT_STAT, format("Setting process name to: %s", app_name.c_str()));
    if (dbsetlname(login, app_name.c_str(), DBSETAPP) != SUCCEED)
      return fail(format("Couldn't set process name in LOGINREC <%s>", app_name.c_str()));
  }
  report_text("qelt", QELT_INFO, "about to call dbopen");
  DBPROCESS* dbproc = dbopen(login, server.c_str());
  if (dbproc == nullptr)
    return fail(format("Couldn't connect with server <%s>", server.c_str()));
  database = qelt_string_lower(database);
  report_text("qelt", QELT_INFO, format("about to use database %s", database.c_str()));
  report_text("qelt", QELT_STAT, format("Using database: %s", database.c_str()));
  if (dbuse(dbproc, database.c_str()) != SUCCEED) {
    dbclose(dbproc);
    return fail(format("Cannot access database <%s> on server <%s>", database.c_str(),
                       server.c_str()));
  }
  dbloginfree(login);
  *out = dbproc;
  return 0;
}

// Completes user and password of a login (see qelt_connect_dbms).
int qelt_get_username_password(const Slot& slot, const std::string& server, std::string& user,
                               std::string& password) {
  if (user.empty()) user = slot.user;
  if (!password.empty()) return 0;
  if (!slot.password.empty()) {
    password = slot.password;
    return 0;
  }
  if (slot.no_password_file) return 0;
  return qelt_authenticate(server, user, password);
}

}  // namespace

bool valid_conn(int conn) { return conn >= 0 && conn < kSlots; }

// Starts the layer once: free slots with default login items, the DB client
// and its handlers, report settings from the environment.
void qelt_init_connection() {
  if (g_initialised) return;
  g_initialised = true;
  std::string user = qelt_string_lower(cut(qelt_cuserid().c_str(), kUserMax));
  for (int i = 0; i < kSlots; ++i) {
    g_slots[i] = Slot{};
    g_slots[i].user = user;
  }
  if (dbinit() != SUCCEED) {
    std::fputs("%ERROR: Failed to initialize DB client\n", stdout);
    std::fflush(stdout);
    std::exit(-1);
  }
  dbsetversion(DBVERSION_50);
  dbmsghandle(qelt_msg_handler);
  dberrhandle(qelt_error_handler);
  if (const char* lv = std::getenv("QELT_REPORT_LEVEL")) {
    int level = QELT_ERR;
    if (std::strcmp(lv, "QELT_INFO") == 0) level = QELT_INFO;
    else if (std::strcmp(lv, "QELT_STAT") == 0) level = QELT_STAT;
    else if (std::strcmp(lv, "QELT_WARN") == 0) level = QELT_WARN;
    qelt_set_report_level(level);
  }
  open_report_file();
}

// Password of `user` on `server` from the user's password file.
int qelt_authenticate(const std::string& server_in, const std::string& user_in,
                      std::string& password) {
  password.clear();
  std::string server = qelt_string_lower(server_in);
  std::string user = qelt_string_lower(user_in);
  const char* area = std::getenv("ACAREA");
  if (area == nullptr) {
    report_text("qelt", QELT_ERR, "Couldn't translate logical name for password files directory.");
    return -1;
  }
  std::string path = std::string(area) + user + ".dat";
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) {
    report_text("qelt", QELT_ERR, format("Couldn't open password file for user (%s).", user.c_str()));
    return -1;
  }
  char line[100];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f) != nullptr) {
    std::string l = qelt_string_lower(line);
    char word1[100];
    char word2[100];
    if (std::sscanf(l.c_str(), "%99s %99s", word1, word2) != 2) continue;
    if (server != word1) continue;
    found = true;
    if (std::strcmp(word2, "null") != 0) password = cut(word2, kPasswordMax);
  }
  std::fclose(f);
  if (!found) {
    report_text("qelt", QELT_ERR,
                format("Couldn't find password in password file for user (%s) on this server (%s)",
                       user.c_str(), server.c_str()));
    return -1;
  }
  return 0;
}

}  // namespace qelt

using namespace qelt;

// 200 free, 100 connected, -1 (reported) for a number outside 0 to 10.
int qelt_connected(int conn) {
  qelt_init_connection();
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    return -1;
  }
  return g_slots[conn].state == kStateConnected ? QELT_CONNECTED : QELT_FREE;
}

int qelt_demand_connection(int conn) {
  if (valid_conn(conn)) g_slots[conn].demand = 1;
  return 1;
}

int qelt_is_demand_connection(int conn) {
  return valid_conn(conn) && g_slots[conn].demand ? 1 : 0;
}

// The lowest free slot number into *conn; -1 when none is free.
int qelt_get_next_proc_num(int* conn) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_slots[i].state == kStateFree) {
      *conn = i;
      return 0;
    }
  }
  report_text("qelt", QELT_ERR, "Too many database connections");
  return -1;
}

// Stores a handler into a slot; a slot neither demanded nor connected is
// replaced by the lowest free one, whose number is written back.
int qelt_establish_error_handler(int* conn, qelt_handler handler) {
  qelt_init_connection();
  if (!valid_conn(*conn)) {
    report_invalid_number(*conn);
    return -1;
  }
  Slot& s = g_slots[*conn];
  if (!s.demand && s.state != kStateConnected) {
    if (qelt_get_next_proc_num(conn) != 0) return -1;
  }
  g_slots[*conn].handler = handler;
  return 0;
}

// Logs a slot in to the server and opens the database.
int qelt_connect_dbms(int dbms_kind, const char* database, const char* server, const char* user,
                      const char* password, int* conn) {
  qelt_init_connection();
  if (dbms_kind != kDbmsKind) {
    report_text("qelt", QELT_ERR, "Invalid DBMS connection");
    return qelt_sig(-1);
  }
  if (!valid_conn(*conn)) {
    report_invalid_number(*conn);
    return qelt_sig(-1);
  }
  if (!g_slots[*conn].demand && qelt_get_next_proc_num(conn) != 0) return qelt_sig(-1);
  int n = *conn;
  Slot& slot = g_slots[n];
  db_current = n;
  if (slot.handler == nullptr) slot.handler = qelt_default_error_handler;
  slot.state = kStateConnected;

  std::string srv = server ? server : "";
  std::string db = database ? database : "";
  std::string usr = user ? user : "";
  std::string pwd = password ? password : "";
  qelt_delete_trailing(srv);
  qelt_delete_trailing(db);
  qelt_delete_trailing(usr);
  qelt_delete_trailing(pwd);
  if (!usr.empty()) usr = qelt_string_lower(usr);

  if (srv.empty() || srv.rfind("MERROW_1", 0) == 0) {
    const char* dsquery = std::getenv("DSQUERY");
    if (dsquery == nullptr) {
      report_text("qelt", QELT_ERR,
                  "Couldn't translate default server name environment variable (DSQUERY)");
      slot.state = kStateFree;
      return qelt_sig(-1);
    }
    srv = cut(dsquery, kNameMax);
  }
  if (qelt_get_username_password(slot, srv, usr, pwd) != 0) {
    slot.state = kStateFree;
    return qelt_sig(-1);
  }
  if (slot.cmd_timeout >= 0) dbsettime(slot.cmd_timeout);
  DBPROCESS* dbproc = nullptr;
  if (qelt_mer_init_database(db, srv, usr, pwd, slot.app_name, &dbproc) != 0) {
    slot.state = kStateFree;
    return qelt_sig(-1);
  }
  slot.dbproc = dbproc;
  qelt_mer_init_context(n);
  dbsetopt(dbproc, DBTEXTSIZE, "500000", 0);
  dbsqlexec(dbproc);
  *conn = n;
  return qelt_sig(0);
}

// Closes a connected slot and frees it.
int qelt_disconnect_dbms(int conn) {
  if (!valid_conn(conn)) {
    report_invalid_number(conn);
    return qelt_sig(-1);
  }
  db_current = conn;
  Slot& slot = g_slots[conn];
  if (slot.state != kStateConnected) {
    report_text("qelt", QELT_ERR, "Invalid DBMS connection");
    return qelt_sig(-1);
  }
  if (!g_ctx[conn].closed) qelt_perf_rpt(qelt_record_count(conn), g_ctx[conn].wall_time);
  dbclose(slot.dbproc);
  slot.state = kStateFree;
  slot.demand = 0;
  slot.handler = nullptr;
  slot.dbproc = nullptr;
  report_text("qelt", QELT_INFO, format("QELT DBMS connection %d to MERROW now terminated", conn));
  return qelt_sig(0);
}

// Resets every slot, context and report setting (tests only).
void qelt::qelt_reset_for_tests() {
  g_initialised = false;
  for (int i = 0; i < kSlots; ++i) {
    g_slots[i] = Slot{};
    g_ctx[i] = Context{};
  }
  db_current = 0;
  qelt::reset_report_state_for_tests();
  qelt::reset_perf_for_tests();
  qelt::reset_deadlock_for_tests();
}
