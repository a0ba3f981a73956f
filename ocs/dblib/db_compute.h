// Compute clauses of a result set: their records, the print list that
// orders each clause's columns for printing, and the routines the result,
// row, binding and cancel code share with the compute-row reader.
#pragma once

#include <cstdint>

#include "dblib/db_internal.h"

struct dbaltcol;

// One node of a clause's print list.  Nodes of one operator form a group,
// ordered by operand column; group heads are chained in order of their
// operator's first appearance.
struct dbprnode {
  dbcolvalue* value;    // the value of the current compute row (valid while it is current)
  dbaltcol* col;
  dbprnode* nextsame;   // next node of the same operator
  dbprnode* nextgroup;  // on a group head: the next group's head
};

// One compute column: its format, control text and binding live in `col`.
struct dbaltcol {
  dbcolumn col;
  unsigned char op;       // aggregate operator
  unsigned char operand;  // select-list column (1-based, visible columns)
  dbprnode node;
  dbaltcol* next;
};

// One compute clause, in the order of the ALTNAME tokens.
struct dbcompute {
  int16_t id;
  unsigned char ncols;
  unsigned char bylen;
  unsigned char bylist[255];  // the whole by-list as sent (its length is one byte)
  unsigned char formatted;    // its ALTFMT has been read
  dbaltcol* cols;
  dbprnode* prlist;           // head of the first operator group
  dbcompute* next;
};

inline dbcompute* db__computes(DBPROCESS* dbproc) { return static_cast<dbcompute*>(dbproc->computes); }

// Token readers; each reads every consecutive token of its kind and then
// the next token.  1 or 0 (a failed read, or a stream error raised here).
namespace dblib {
int svaltname(DBPROCESS* dbproc);
int svaltfmt(DBPROCESS* dbproc);
int svaltcontrol(DBPROCESS* dbproc);
}  // namespace dblib
// Reads one ALTROW into a new row record that becomes the current row.
int dbsvarow(DBPROCESS* dbproc);
// Builds the print list of every clause.
int dbprbuild(DBPROCESS* dbproc);
// The clause with compute id `id`, or null.
dbcompute* dbfcompute(dbcompute* list, int id);
// The column-th node (1-based, print order) of clause `id`, or null.
dbprnode* dbfacol(dbcompute* list, int id, int column);
// Points the current compute row's clause at that row's values; 20038 when
// the row names no clause.
int dbaltdata(DBPROCESS* dbproc);
// Frees the connection's compute clauses.
namespace dblib {
void altfree(DBPROCESS* dbproc);
}  // namespace dblib
// Forgets every variable and null indicator bound to a compute column.
void db__clear_altbinds(DBPROCESS* dbproc);

// The length part of one value of a row (db_rows.cpp): `len` is the value's
// wire length, -1 for NULL.
int dbread_datalen(DBPROCESS* dbproc, dbcolumn* c, dbcolvalue* v, int32_t* len);
// Reads `keep` of a value's `wire` bytes into its buffer, which grows as
// the bytes arrive (a length from the wire never sizes an allocation by
// itself), and skips the rest; the value's length becomes `keep`.
int db__read_value(DBPROCESS* dbproc, dbcolvalue* v, int32_t wire, int32_t keep);
