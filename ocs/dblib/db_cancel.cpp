// Cancel and attention: abandoning a batch (an attention, then every packet
// dropped until the server acknowledges it) or the rest of a result set.
#include <signal.h>

#include "dblib/db_internal.h"
#include "db_compute.h"

int dblib::GetAttnAck(DBPROCESS* dbproc) {
  if (!(dbproc->status & DBST_EOM)) return 0;
  if (dbproc->protolevel < 7) return 1;
  dbnetctx* net = dbproc->net;
  int body = net->lastlen - 8;
  // The DONE (9 bytes) must lie inside the body just read.
  if (body < 9) return 0;
  const BYTE* end = net->recvbuf + net->lastlen;
  const BYTE* done = end - 9;
  if (done[0] != TK_DONE && done[0] != TK_DONEPROC) return 0;
  uint16_t st = db__be16(done + 1);
  return (st & DONE_ATTN) ? 1 : 0;
}

RETCODE dbattention(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &old);
  int ok = dbproc->net->attn ? dbproc->net->attn(dbproc, 65) : 0;
  sigaction(SIGINT, &old, nullptr);
  if (!ok) return FAIL;
  dbproc->batch |= DBB_ATTNSINCE | DBB_ATTNSENT;
  return SUCCEED;
}

RETCODE dbcancel(DBPROCESS* dbproc) {
  if (!dbproc) {
    db__raise(nullptr, 20109, 1);
    return FAIL;
  }
  if (dbproc->status & DBST_ATTNWAIT) return FAIL;
  if (dbproc->status & DBST_EOM) {
    dbproc->status &= ~DBST_ROWS;
    dbproc->batch |= DBB_NORESULTS;
    if (dbproc->net) dbproc->net->recvavail = 0;
    dbproc->batch &= ~DBB_ATTNSENT;
    return SUCCEED;
  }
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->avail = 0;
  if (dbproc->status & DBST_RPC) {
    dbproc->status &= ~DBST_RPC;
    dbproc->batch |= DBB_NORESULTS;
    return SUCCEED;
  }
  if (dbproc->batch & DBB_NORESULTS) return SUCCEED;
  dbproc->status |= DBST_ATTNWAIT;
  if (!(dbproc->batch & DBB_ATTNSENT) && dbattention(dbproc) != SUCCEED) {
    dbproc->status &= ~DBST_ATTNWAIT;
    return FAIL;
  }
  // Drop the rest of the packet being read, then whole packets.
  dbproc->net->recvavail = 0;
  for (;;) {
    int r = recvfill(dbproc);
    if (r != 1) {
      dbproc->status &= ~DBST_ATTNWAIT;
      if (r == 2 && !dbproc->dead) {
        dbsetdead(dbproc);
        db__raise(dbproc, 20017, 9);
      }
      return FAIL;
    }
    if (GetAttnAck(dbproc)) break;
  }
  dbproc->net->recvavail = 0;
  dbproc->batch &= ~DBB_ATTNSENT;
  dbproc->batch |= DBB_NORESULTS;
  dbproc->status |= DBST_EOM | DBST_CANCELLED;
  dbproc->status &= ~(DBST_ATTNWAIT | DBST_ROWS);
  return SUCCEED;
}

RETCODE dbcanquery(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  for (dbcolumn* c = dbproc->columns; c; c = c->next) {
    c->varaddr = nullptr;
    c->nullind = nullptr;
  }
  db__clear_altbinds(dbproc);
  for (;;) {
    int r = dbnextrow(dbproc);
    if (r == NO_MORE_ROWS) return SUCCEED;
    if (r == FAIL) return FAIL;
    if (r == BUF_FULL) dbclrbuf(dbproc, 1);
  }
}
