// The hand-off of failures to the connection's error handler, the default
// handler, and the handlers the layer installs in the DB client.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qelt_internal.h"

using namespace qelt;

// With the suppress flag clear, -1 calls the handler of the current slot
// (the default handler when it has none).  The status is returned unchanged.
int qelt_sig(int status) {
  int suppressed = qelt_suppress(-1);
  if (!suppressed && status == -1) {
    qelt_handler h = nullptr;
    if (valid_conn(db_current)) h = g_slots[db_current].handler;
    if (h != nullptr) {
      h();
    } else {
      qelt_default_error_handler();
    }
  }
  return status;
}

// Writes the kept error lines in a framed block to the standard error
// stream and ends the process with exit status 1.
void qelt_default_error_handler() {
  const std::string dashes(80, '-');
  std::fprintf(stderr, "\n%s\n", dashes.c_str());
  std::fprintf(stderr, "QELT_DEFAULT_ERROR_HANDLER has been entered.\n\n");
  char line[81];
  while (qelt_get_msg(line) == 0) std::fprintf(stderr, "%s\n", line);
  std::fprintf(stderr, "\nQELT_DEFAULT_ERROR_HANDLER exiting. "
                       "Program will be terminated due to DB error.\n");
  std::fprintf(stderr, "%s\n\n", dashes.c_str());
  std::fflush(stderr);
  std::exit(1);
}

namespace qelt {

// DB client error handler: reports the error and records it as the current
// query's status unless a status is already set (the first serious failure
// of a query wins, so a server message such as a deadlock is not hidden by
// the client error that follows it).  Always answers cancel.
int qelt_error_handler(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr,
                       char* oserrstr) {
  int level = severity < 2 ? QELT_INFO : QELT_ERR;
  const char* text = dberrstr != nullptr ? dberrstr : "";
  int status = dberr;
  if (dbproc != nullptr && !dbdead(dbproc)) {
    report_text("qelt", level, "*** DB client error ***");
    report_text("dummy", level, format("     (%d) %s", dberr, text));
    if (oserr != -1) {
      report_text("qelt", level, "*** Operating-system error ***");
      report_text("dummy", level,
                  format("     (%d) %s", oserr, oserrstr != nullptr ? oserrstr : ""));
      if (oserr != 0) status = oserr;
    }
  } else {
    report_text("qelt", level, "*** DBDEAD or dbproc is NULL ***");
    report_text("dummy", level, format("     (%d) %s", dberr, text));
  }
  if (valid_conn(db_current) && g_ctx[db_current].status == 0) g_ctx[db_current].status = status;
  return INT_CANCEL;
}

// Server message handler: reports the message; the first serious message of
// a query becomes its status.  Answers 0 so the message is not stored.
int qelt_msg_handler(DBPROCESS*, DBINT msgno, int msgstate, int severity, char* msgtext,
                     char* srvname, char* procname, int line) {
  int level = severity <= 10 ? QELT_INFO : QELT_ERR;
  if (valid_conn(db_current)) {
    Context& ctx = g_ctx[db_current];
    if (ctx.status == 0 && level == QELT_ERR) ctx.status = msgno;
  }
  report_text("qelt", level, format("Msg %d, Level %d, State %d", static_cast<int>(msgno),
                                    severity, msgstate));
  if (srvname != nullptr && srvname[0] != '\0')
    report_text("dummy", level, format("Server '%s', ", srvname));
  if (procname != nullptr && procname[0] != '\0') {
    report_text("dummy", level, format("Procedure %s:", procname));
    if (valid_conn(db_current)) report_text("dummy", level, g_ctx[db_current].sql);
  }
  if (line > 0) report_text("dummy", level, format("Line %d", line));
  report_text("dummy", level, format("     %s", msgtext != nullptr ? msgtext : ""));
  return 0;
}

}  // namespace qelt
