// Accessors of the current result's columns, counts and order-by list.
#include "dblib/db_internal.h"

// Accessors of the current result.
DBCOLINFO* dbfcol(DBPROCESS* dbproc, int column) {
  if (!dbproc || column < 1) return nullptr;
  int n = 0;
  for (dbcolumn* c = dbproc->columns; c; c = c->next) {
    if (c->colstatus & 0x10) continue;
    if (++n == column) return c;
  }
  return nullptr;
}

int dbnumcols(DBPROCESS* dbproc) { return dbproc ? db__calc_numcols(dbproc) : 0; }
int dballcols(DBPROCESS* dbproc) {
  int n = 0;
  for (dbcolumn* c = dbproc ? dbproc->columns : nullptr; c; c = c->next) ++n;
  return n;
}
char* dbcolname(DBPROCESS* dbproc, int column) {
  dbcolumn* c = dbfcol(dbproc, column);
  return c ? c->name : nullptr;
}

int dbcoltype(DBPROCESS* dbproc, int column) {
  dbcolumn* c = dbfcol(dbproc, column);
  if (!c) return -1;
  switch (c->type) {
    case MERINTN: return c->maxlen == 1 ? MERINT1 : c->maxlen == 2 ? MERINT2 : MERINT4;
    case MERFLTN: return c->maxlen == 4 ? MERREAL : MERFLT8;
    case MERMONEYN: return c->maxlen == 4 ? MERMONEY4 : MERMONEY;
    case MERDATETIMN: return c->maxlen == 4 ? MERDATETIME4 : MERDATETIME;
    case MERVARBINARY: return MERBINARY;
    case MERVARCHAR: return MERCHAR;
    default: return c->type;
  }
}

DBINT dbcollen(DBPROCESS* dbproc, int column) {
  dbcolumn* c = dbfcol(dbproc, column);
  return c ? c->maxlen : -1;
}

DBBOOL dbvarylen(DBPROCESS* dbproc, int column) {
  dbcolumn* c = dbfcol(dbproc, column);
  if (!c) return 0;
  if (c->rowfmtstatus & 0x20) return 1;
  switch (c->type) {
    case 0x6F: case 0x6A: case 0x6D: case 0x22: case 0x26: case 0xE1: case 0xAF:
    case 0x6E: case 0x6C: case 0x23: case 0x25: case 0x67: case 0x68: case 0x27:
      return 1;
    default:
      return 0;
  }
}

DBTYPEINFO* dbcoltypeinfo(DBPROCESS* dbproc, int column) {
  dbcolumn* c = dbfcol(dbproc, column);
  if (!c) return nullptr;
  dbproc->typeinfo.precision = c->precision;
  dbproc->typeinfo.scale = c->scale;
  return &dbproc->typeinfo;
}

DBINT dbcount(DBPROCESS* dbproc) {
  if (!dbproc) return -1;
  return (dbproc->donestatus & DONE_COUNT) ? dbproc->donecount : -1;
}
RETCODE dbcmdrow(DBPROCESS* dbproc) { return dbproc && dbproc->columns ? SUCCEED : FAIL; }
RETCODE dbrows(DBPROCESS* dbproc) { return dbproc && (dbproc->status & DBST_ROWS) ? SUCCEED : FAIL; }
DBBOOL dbmorecmds(DBPROCESS* dbproc) { return dbproc && (dbproc->donestatus & DONE_MORE) ? 1 : 0; }
int dbnumorders(DBPROCESS* dbproc) { return dbproc ? dbproc->norders : 0; }
int dbordercol(DBPROCESS* dbproc, int order) {
  if (!dbproc || order < 1 || order > dbproc->norders) {
    db__raise(dbproc, 20039, 7);
    return -1;
  }
  return dbproc->orders[order - 1];
}
