// Statement execution and row fetch: the state machine behind
// pravel_get_exec, closing and cancelling a query, counts, transaction
// state, text size and the interrupt callbacks.
#include <cstring>

#include "platform/clock.h"
#include "qelt_internal.h"

namespace qelt {
namespace {

// Whether `word` (with its surrounding blanks) is followed, after blanks,
// by "tran" in an unquoted segment.
bool segment_has(const std::string& seg, const char* word) {
  std::size_t pos = 0;
  std::size_t wl = std::strlen(word);
  while ((pos = seg.find(word, pos)) != std::string::npos) {
    std::size_t j = pos + wl;
    while (j < seg.size() && seg[j] == ' ') ++j;
    if (seg.compare(j, 4, "tran") == 0) return true;
    pos += 1;
  }
  return false;
}

// Transaction scan of the SQL text before a send.
void scan_transaction(Slot& slot, const std::string& text) {
  std::string unquoted;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\'' || c == '"') {
      unquoted += '\n';  // a quoted part separates segments
      std::size_t j = i + 1;
      while (j < text.size()) {
        if (text[j] == c) {
          if (j + 1 < text.size() && text[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      i = j + 1;
      continue;
    }
    unquoted += c;
    ++i;
  }
  std::size_t start = 0;
  bool begin = false, commit = false, rollback = false;
  while (start <= unquoted.size()) {
    std::size_t end = unquoted.find('\n', start);
    if (end == std::string::npos) end = unquoted.size();
    std::string seg = unquoted.substr(start, end - start);
    begin = begin || segment_has(seg, " begin ");
    commit = commit || segment_has(seg, " commit ");
    rollback = rollback || segment_has(seg, " rollback ");
    start = end + 1;
  }
  if (begin) ++slot.tran_depth;
  else if (commit) --slot.tran_depth;
  else if (rollback) slot.tran_depth = 0;
}

// The pause before a statement chosen as deadlock victim is sent again.
int deadlock_pause(Context& ctx) {
  ctx.exec_state = kSend;
  report_text("qelt", QELT_STAT,
              format(" Deadlocked: WAIT ... query will be automatically retried in about %d "
                     "seconds",
                     kDeadlockPauseSeconds));
  platform::plat_sleep(kDeadlockPauseSeconds);
  ++ctx.dead_retry;
  ctx.status = 0;
  ctx.fetch_outcome = PRAVEL_FETCH_RETRY;
  return 0;
}

// Rows of a one-value answer read at most: a server sending more is broken,
// and the rest of its answer is cancelled.
constexpr int kMaxAnswerRows = 100000;

// Sends `sql` on the connection, binds its first column as an int and reads
// the rows (the last one read gives the value); the value, or `fallback`
// when no result can be had.
int select_one_int(DBPROCESS* dbproc, const char* sql, int fallback) {
  int value = fallback;
  if (dbcmd(dbproc, sql) != SUCCEED || dbsqlexec(dbproc) != SUCCEED) return fallback;
  if (dbresults(dbproc) != SUCCEED) return fallback;
  DBINT v = 0;
  if (dbbind(dbproc, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&v)) != SUCCEED) return fallback;
  int rows = 0;
  STATUS r;
  while (rows < kMaxAnswerRows && (r = dbnextrow(dbproc)) != NO_MORE_ROWS && r != FAIL) ++rows;
  if (rows > 0) value = v;
  if (rows == kMaxAnswerRows) dbcancel(dbproc);
  return value;
}

int state_send(int conn) {
  Context& ctx = g_ctx[conn];
  Slot& slot = g_slots[conn];
  ctx.start_time = qelt_time();
  report_text("qelt", QELT_INFO, ctx.sql);
  scan_transaction(slot, ctx.sql);
  std::string original = ctx.sql;
  if (qelt_get_query(conn, slot.marker) != 0) {
    report_text("qelt", QELT_ERR, original);
    return -1;
  }
  report_text("qelt", QELT_STAT, "Passing Query Buffer: ");
  report_text("dummy", QELT_STAT, ctx.sql);
  if (dbcmd(slot.dbproc, ctx.sql.c_str()) != SUCCEED) return -1;
  ctx.interrupt = 0;
  ctx.cancel = 0;
  dbsetinterrupt(slot.dbproc, qelt_mer_check_interrupt, qelt_mer_handle_interrupt);
  if (dbsqlexec(slot.dbproc) != SUCCEED) {
    if (ctx.status == 1205) {
      int answer = qelt_dead_retry(conn);
      if (answer == 1) return deadlock_pause(ctx);
      if (answer == 2) {
        report_text("qelt", QELT_ERR, "Query retries for deadlock all failed");
        return -1;
      }
      report_text("qelt", QELT_ERR, "Query execution terminated.");
      return -1;
    }
    report_text("qelt", QELT_ERR, "Syntax error encountered in this query:");
    report_text("dummy", QELT_ERR, ctx.sql);
    return -1;
  }
  report_text("qelt", QELT_INFO, "no error in query statement");
  ctx.exec_state = kNextResult;
  return 1;  // go on
}

int state_next_result(int conn) {
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  ctx.row_counter = 0;
  if (dbresults(dbproc) != SUCCEED) {
    report_text("qelt", QELT_INFO, "no more results in qelt_mers_dbresults...");
    ctx.end_of_results = 1;
    if (qelt_sp_status_failed(conn)) return -1;
    if (ctx.sp_flag) qelt_mer_get_ret_param(conn);
    return 0;  // done
  }
  report_text("qelt", QELT_INFO, "finished qelt_sydb_dbresults call");
  if (ctx.cancel && dbcanquery(dbproc) != SUCCEED)
    report_text("qelt", QELT_ERR, "dbcanquery failed");
  if (qelt_sp_status_failed(conn)) return -1;
  if (dbrows(dbproc) == SUCCEED) {
    if (qelt_bind_vars(conn) != 0) return -1;
    report_text("qelt", QELT_INFO, "finished qelt_bind_vars");
    ctx.end_of_results = 0;
    ctx.exec_state = kNextRow;
  } else {
    ctx.end_of_results = 1;
    ctx.exec_state = kResultDone;
  }
  return 1;
}

// One row fetch: 0 returned to the caller, 1 go on, -1 failure.
int state_next_row(int conn) {
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  if (ctx.cancel) {
    if (dbcanquery(dbproc) == SUCCEED) report_text("qelt", QELT_INFO, "finished dbcanquery");
    else report_text("qelt", QELT_ERR, "dbcanquery failed");
  }
  STATUS r = dbnextrow(dbproc);
  if (r == NO_MORE_ROWS) {
    ctx.end_of_results = 1;
    if (qelt_sp_status_failed(conn)) return -1;
    report_text("qelt", QELT_INFO, "done with getting rows");
    ctx.exec_state = kResultDone;
    return 1;
  }
  if (r == FAIL || r == BUF_FULL) {
    if (ctx.status == 1205) {
      if (ctx.sp_flag) {
        // A stored-procedure call cannot be sent again: its parameters were
        // handed to the DB client once and went with the call.
        report_text("qelt", QELT_ERR, "Query execution terminated.");
        return -1;
      }
      if (ctx.row_counter == 0) {
        int answer = qelt_dead_retry(conn);
        if (answer == 1) return deadlock_pause(ctx);
        if (answer == 2) report_text("qelt", QELT_ERR, "Query retries for deadlock all failed.");
        return -1;
      }
      // Rows of this result were delivered already: the statement cannot
      // be sent again, and the rows after them are lost.
      report_text("qelt", QELT_ERR, "Query execution terminated.");
      return -1;
    }
    if (dbdead(dbproc)) return -1;
    // Nothing (or not all) arrived in the bound variables: not a row.
    ctx.fetch_outcome = PRAVEL_FETCH_FAILED;
    if (++ctx.failed_fetches >= kMaxFailedFetches) {
      report_text("qelt", QELT_ERR,
                  format("Row fetch failed %d times in a row; query abandoned", ctx.failed_fetches));
      return -1;
    }
    return 0;
  }
  if (qelt_mer_special_data(conn) != 0) return -1;
  report_text("qelt", QELT_INFO, "more rows available");
  ++ctx.row_counter;
  ctx.failed_fetches = 0;
  ctx.fetch_outcome = PRAVEL_FETCH_ROW;
  return 0;
}

// Sends the prepared stored-procedure call: 1 go on, -1 failure.
int state_send_rpc(int conn) {
  Context& ctx = g_ctx[conn];
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  ctx.interrupt = 0;
  ctx.cancel = 0;
  dbsetinterrupt(dbproc, qelt_mer_check_interrupt, qelt_mer_handle_interrupt);
  report_text("qelt", QELT_STAT, "passing stored procedure:");
  report_text("dummy", QELT_STAT, ctx.sql);
  qelt_mer_print_sto_info(conn);
  ctx.start_time = qelt_time();
  if (dbrpcsend(dbproc) != SUCCEED) {
    report_text("qelt", QELT_ERR, "get_exec:dbrpcsend failed.");
    return -1;
  }
  report_text("qelt", QELT_INFO, "finished dbrpcsend call");
  if (dbsqlok(dbproc) != SUCCEED) {
    report_text("qelt", QELT_ERR, "get_exec:dbsqlok failed.");
    return -1;
  }
  report_text("qelt", QELT_INFO, "finished dbsqlok call");
  ctx.exec_state = kNextResult;
  return 1;
}

}  // namespace

// Runs the statement machine until a row is delivered (0), the results are
// done (1), or a failure (-1, reported).
int qelt_mer_get_exec(int conn) {
  Context& ctx = g_ctx[conn];
  ctx.fetch_outcome = PRAVEL_FETCH_NONE;
  if (ctx.closed) {
    report_text("qelt", QELT_ERR, "cannot execute get_exec after query closed");
    return -1;
  }
  for (;;) {
    switch (ctx.exec_state) {
      case kSend: {
        int r = state_send(conn);
        if (r != 1) return r;
        break;
      }
      case kNextResult: {
        int r = state_next_result(conn);
        if (r == 0) return 1;
        if (r < 0) return -1;
        break;
      }
      case kNextRow: {
        int r = state_next_row(conn);
        if (r != 1) return r;
        break;
      }
      case kResultDone: ctx.exec_state = kNextResult; break;
      case kSendRpc: {
        int r = state_send_rpc(conn);
        if (r != 1) return r;
        break;
      }
      default:
        report_text("qelt", QELT_ERR, format("Unknown execution state %d", ctx.exec_state));
        return -1;
    }
  }
}

// Answers 1 once when the current connection's interrupt flag is set.
int qelt_mer_check_interrupt(DBPROCESS*) {
  if (!valid_conn(db_current)) return 0;
  Context& ctx = g_ctx[db_current];
  if (ctx.interrupt) {
    ctx.interrupt = 0;
    return 1;
  }
  return 0;
}

// Asks the DB client to send an attention and go on.
int qelt_mer_handle_interrupt(DBPROCESS*) {
  report_text("qelt", QELT_INFO, "qelt_mer_handle_interrupt called");
  return INT_CANCEL;
}

}  // namespace qelt

using namespace qelt;

int qelt_get_exec(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  return qelt_sig(qelt_mer_get_exec(conn));
}

// Ends the query: frees its values, cancels the rest of the results, writes
// the statistics line.  0 also when closed already.
int qelt_close_query(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (ctx.closed) return 0;
  DBPROCESS* dbproc = g_slots[conn].dbproc;
  // The values go only once the DB client has dropped the call that may
  // still point at them.
  if (dbcancel(dbproc) != SUCCEED) return qelt_sig(-1);
  ctx.params.clear();
  ctx.sp_values.clear();
  dbfreebuf(dbproc);
  ctx.wall_time = qelt_time() - ctx.start_time;
  int count = qelt_record_count(conn);
  qelt_perf_rpt(count, ctx.wall_time);
  report_text("qelt", QELT_STAT, format("<%d> recs, wall sec <%7.2e> \n", count, ctx.wall_time));
  ctx.closed = 1;
  report_text("qelt", QELT_INFO, "query closed");
  return qelt_sig(0);
}

// Sets the interrupt and cancel flags: the rest of the results is dropped.
int qelt_cancel(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  g_ctx[conn].interrupt = 1;
  g_ctx[conn].cancel = 1;
  report_text("qelt", QELT_INFO, "qelt_mer_cancel called");
  return qelt_sig(0);
}

// Rows of the current result set, or once the results are done the
// statement's row count (asked of the DB client or the server once).
int qelt_record_count(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (!ctx.end_of_results) return ctx.row_counter;
  if (ctx.rowcount_cache == -1) {
    DBPROCESS* dbproc = g_slots[conn].dbproc;
    if (dbcmdrow(dbproc) == SUCCEED) ctx.rowcount_cache = dbcount(dbproc);
    else ctx.rowcount_cache = select_one_int(dbproc, "select @@rowcount num_row", -1);
  }
  return ctx.rowcount_cache;
}

int qelt_current_record_count(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  int n = qelt_record_count(conn);
  return (n != -1 && n != 0) ? n : g_ctx[conn].row_counter;
}

// 4 inside a server transaction, 5 outside, -1 while results are pending.
int qelt_in_transaction(int conn) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Context& ctx = g_ctx[conn];
  if (!ctx.end_of_results && !ctx.closed) {
    report_text("qelt", QELT_ERR,
                "Application has called qelt_in_transaction before current query processing "
                "completed");
    return qelt_sig(-1);
  }
  int n = select_one_int(g_slots[conn].dbproc, "select @@trancount in_trans", 0);
  return qelt_sig(n == 0 ? 5 : 4);
}

// Sends "set textsize" when the size differs from the one set last.
int qelt_set_textsize(int conn, int size) {
  if (!enter_frame(conn)) return qelt_sig(-1);
  Slot& slot = g_slots[conn];
  if (slot.textsize == size) return qelt_sig(0);
  slot.textsize = size;
  g_ctx[conn].sql.clear();
  std::string cmd = format("set textsize %d", size);
  if (dbcmd(slot.dbproc, cmd.c_str()) != SUCCEED || dbsqlexec(slot.dbproc) != SUCCEED) {
    report_text("qelt", QELT_ERR, "qelt_mer_set_textsize failed");
    return qelt_sig(-1);
  }
  report_text("qelt", QELT_INFO,
              format("finished qelt_mer_set_textsize: textsize set to %d", size));
  return qelt_sig(0);
}

// Asks the server for time statistics; always 0.0.
double qelt_backend_cpu_time(int conn) {
  if (!enter_frame(conn)) {
    qelt_sig(-1);
    return 0.0;
  }
  dbsetopt(g_slots[conn].dbproc, DBSTAT, "TIME", 0);
  return 0.0;
}
