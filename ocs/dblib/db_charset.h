// The server character set of a connection: the set's definitions fetched
// from the server once per process, and the query that fetches them.
#pragma once

#include "dblib/db_internal.h"

// One loaded character set: its definition as the server sent it and the
// attribute record built over it.  Loaded sets live until the process ends.
struct dbcharset {
  char name[31];
  int16_t cls;
  unsigned char id;
  BYTE* def;        // owned
  long deflen;
  com_charattrib* attr;  // owned
  dbcharset* next;
};

// Runs sp_serverinfo for set `name` into `rec` (name, class, id and a copy
// of the definition); 1/0.  The connection is left with no results pending
// whenever it can be.
int db__charset_rpc(DBPROCESS* dbproc, const char* name, dbcharset* rec);
// Brings a connection's character set up to date when the server changed
// it.  Called when the connection starts a command, so that the query never
// replaces a result the caller is still reading.
void db__charset_pending(DBPROCESS* dbproc);
// The loaded set of that name, or null.
dbcharset* db__find_charset(const char* name);
