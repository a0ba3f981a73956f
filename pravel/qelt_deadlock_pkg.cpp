// Deadlock retry decision and the deadlock record table.
#include "qelt_internal.h"

namespace qelt {
namespace {

// The connection for which the record table's existence was last asked.
int g_last_asked = -1;

// A text as the inside of a single-quoted SQL literal.
std::string sql_quoted(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace

void reset_deadlock_for_tests() { g_last_asked = -1; }

// Writes one row into qelt_deadlock when the table exists.  1 written or no
// table, 0 when writing failed.
int qelt_report_dead(DBPROCESS* dbproc, int retry) {
  if (!valid_conn(db_current)) return 0;
  Context& ctx = g_ctx[db_current];
  if (db_current != g_last_asked) {
    g_last_asked = db_current;
    ctx.dead_table = 0;
    if (dbcmd(dbproc, "select object_id('qelt_deadlock') obj_id") == SUCCEED &&
        dbsqlexec(dbproc) == SUCCEED && dbresults(dbproc) == SUCCEED) {
      DBINT id = 0;
      dbbind(dbproc, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&id));
      int guard = 0;
      STATUS r;
      while ((r = dbnextrow(dbproc)) != NO_MORE_ROWS && r != FAIL && ++guard < 100000) {
      }
      ctx.dead_table = id != 0 ? 1 : 0;
    }
  }
  if (!ctx.dead_table) return 1;
  std::string date, time;
  qelt_get_system_time(date, time);
  std::string sql = "insert into qelt_deadlock ";
  sql += "(date_time, module, cmd, relname, dbuser, node, dead_retry)";
  sql += " values (";
  sql += format("'%s %s ', '%s', %d, 'UNKNOWN', '%s', '%s', %d)", date.c_str(), time.c_str(),
                sql_quoted(ctx.module).c_str(), ctx.query_number,
                sql_quoted(qelt_cuserid()).c_str(), sql_quoted(qelt_get_nodename(15)).c_str(),
                retry);
  report_text("qelt", QELT_INFO, "report deadlock");
  report_text("qelt", QELT_INFO, sql);
  if (dbcmd(dbproc, sql.c_str()) != SUCCEED) return 0;
  if (dbsqlexec(dbproc) != SUCCEED) return 0;
  return dbresults(dbproc) == SUCCEED ? 1 : 0;
}

// 1 retry, 2 all retries used, 0 no retry (inside a transaction).
int qelt_dead_retry(int conn) {
  Slot& slot = g_slots[conn];
  Context& ctx = g_ctx[conn];
  if (slot.tran_depth != 0) {
    report_text("qelt", QELT_ERR,
                "Database deadlock encountered in transaction. QELT cannot retry the query.");
    if (!qelt_report_dead(slot.dbproc, 0))
      report_text("qelt", QELT_WARN, "Couldn't append deadlock record to qelt_deadlock table");
    return 0;
  }
  if (ctx.dead_retry >= 2) {
    if (!qelt_report_dead(slot.dbproc, 2))
      report_text("qelt", QELT_INFO,
                  "Couldn't append a deadlock record to qelt_deadlock table.");
    return 2;
  }
  if (!qelt_report_dead(slot.dbproc, ctx.dead_retry))
    report_text("qelt", QELT_INFO, "Couldn't append a deadlock record to qelt_deadlock table.");
  return 1;
}

}  // namespace qelt
