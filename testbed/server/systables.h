// The system table and function the client's cursors fall back on when the
// catalogue procedure fails: a view sysindexes (id, indid, status, keycnt,
// name) of every table's indexes (indid 1 for a rowid primary key, 2 on for
// the others; status bit 2 for a unique index), and INDEX_COL(table,
// indid, n), the n-th column of that index.  Both belong to the session's
// connection (a temporary view and a function) and leave the file alone;
// the view is made the first time a statement names it.
#pragma once

struct sqlite3;

namespace standin {

void add_system_functions(sqlite3* db);
void add_system_views(sqlite3* db);

}  // namespace standin
