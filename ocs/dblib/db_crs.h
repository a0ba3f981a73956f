// Client cursors and browse mode: the cursor record and its key, table,
// optimistic-concurrency and bind records, and the routines the cursor and
// browse files share.  Cursors run over plain SQL: every row is found again
// by the values of a unique key of each table of the statement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dblib/db_internal.h"

// One table of the cursor statement's from part.
struct CURSORTAB {
  std::string written;    // the name as written
  std::string name;       // its name part
  std::string alias;      // correlation name
  std::string qualifier;  // database
  std::string owner;
  bool has_alias = false;
  bool has_qualifier = false;
  bool has_owner = false;
};

// Kinds of key columns.
enum : int { KEY_COLUMN = 1, KEY_TIMESTAMP = 4, KEY_SAVED = 8 };

// One key column (or one optimistic-concurrency column): the qualified
// name, its table, kind, type, and one value per keyset row (or per buffer
// row for optimistic columns).
struct CURSORKEY {
  std::string name;
  int tabnum = 0;
  int kind = KEY_COLUMN;
  int maxlen = 0;
  int type = 0;
  std::vector<BYTE> data;      // maxlen bytes per row
  std::vector<int32_t> lens;   // 0 for a null
};

// Optimistic-concurrency columns of one table.
struct CURSOROPTCC {
  int kind = 1;  // 1 by timestamp, 2 by values
  int tabnum = 0;
  std::vector<CURSORKEY> cols;
};

// The binding of one cursor column for all buffer rows.
struct CURSORBIND {
  int bindtype = 0;            // a bind type, -1 for pointers to the data, 0 unbound
  DBINT* lengths = nullptr;    // caller's, one per buffer row, or null
  int slot = 0;                // bytes between the variables of two rows
  std::vector<BYTE*> addrs;    // one per buffer row
  // The column's bind setting, as dbbind_ps recorded it.
  DBINT bindlen = 0;
  DB_CVTPROC cvtproc = nullptr;
  DBTYPEINFO typeinfo{};
};

// One fetched value of a buffer row.
struct CRSVALUE {
  std::vector<BYTE> data;
  int32_t len = 0;  // 0 for a null
};
using CRSROW = std::vector<CRSVALUE>;

// Cursor flags.
enum : int { CRS_ATEND = 1, CRS_ALLIN = 2, CRS_FULLKEYSET = 4 };

struct dbcursorrec {
  DBPROCESS* dbproc = nullptr;
  int scroll = 0;   // -1 keyset-driven or mixed, 0 forward-only, 1 dynamic
  int concur = 1;
  int nrows = 1;
  DBINT* status = nullptr;
  std::string select_part, from_part, where_part, tail;
  std::string order_asc, order_desc, keyset_select, optcc_select;
  int flags = 0;
  std::vector<CURSORTAB> tabs;
  std::vector<std::string> browse_tabs;  // a view's browse table names
  int nbrowse = 0;                       // those of them that have a name
  std::vector<CURSORKEY> keys;
  std::vector<CURSOROPTCC> optcc;
  int noptcc = 0;
  int keyset_size = 0;
  int keyset_rows = 0;
  int first_rownum = 0;
  int saved_rowcount = 0;
  bool rowcount_set = false;  // the "rowcount" option is ours until restored
  int total_cols = 0;
  dbcolumn* columns = nullptr;  // owned, from the column probe
  int ncols = 0;
  std::vector<CRSROW> rows;     // nrows entries
  std::vector<CURSORBIND> binds;
  int position = 0;
  int buffer_rows = 0;
  int pending = 0;  // 1 update or lock, 2 delete, 3 insert
  // Concurrency 4 over several tables: the table (1-based) of each result
  // column, 0 for none; found at the first update or delete.
  std::vector<int> colowner;
  dbcursorrec* next = nullptr;
};
typedef dbcursorrec CURSORREC;

// ---------------------------------------------------------------------------
// Shared routines

// Raising errors: a plain one, 20194 (illegal value) and 20176 (null).
int db__crs_err(DBPROCESS* dbproc, int dberr, int severity);
int db__crs_null(DBPROCESS* dbproc, const char* routine, const char* param);
int db__crs_illegal(DBPROCESS* dbproc, long value, const char* param, const char* routine);
// Marks the connection dead and raises 20010.
int db__crs_nomem(DBPROCESS* dbproc);

// The check of every cursor call.
int db__crs_verify(DBPROCESS* dbproc, CURSORREC* cursor);
// Release and reset (what: 1 failed open, 2 failed row operation, 4 failed
// fetch, 8 close, 16 connection closing); returns keep.
int db__crs_clean(CURSORREC* cursor, int keep, int what);
void db__crs_close(DBPROCESS* dbproc);
int db__strncasecmp(const char* a, const char* b, int n);
// Finds a lower-case phrase at a word start outside double quotes; mode 1
// also starts words after "(", ")" and ",".  Returns the offset or -1.
long db__crs_search_phrase(const std::string& text, const char* phrase, int mode);

// Sends `sql` (the command buffer is replaced) and waits for the first
// result; 1 or 0.
int db__crs_exec(DBPROCESS* dbproc, const std::string& sql);
// Reads every remaining result and row; 1, or 0 on a failure.
int db__crs_drain(DBPROCESS* dbproc);
// Frees the connection's command text and column list.
void db__crs_tidy(DBPROCESS* dbproc);
// The text of value `index` of the current row (empty for a null).
std::string db__crs_value_text(DBPROCESS* dbproc, int index);
// Doubles the single quotes of a text put between single quotes.
std::string db__crs_quote(const std::string& text);

// Keys and keysets (db_crs_keys.cpp).
int db__crs_find_keys(CURSORREC* c);
int db__crs_bld_keyset_data(CURSORREC* c, int first);
int db__crs_bld_keyset_where(CURSORREC* c, int ksrow, std::string* out);
int db__crs_bld_keyset_where_sub(CURSORREC* c, int ksrow, int tabnum, int optcheck, int bufrow,
                                 std::string* out);
int db__crs_bld_dynamic_where(CURSORREC* c, int direction, std::string* out);
int db__crs_change_row_count(CURSORREC* c, int mode, long count);
int db__crs_bld_optccset(CURSORREC* c);
void db__crs_save_optcc_data(CURSORREC* c, int bufrow, const CRSROW* row);
// Stores a value of at most maxlen bytes at row `r` of a key column.
void db__crs_store_key(CURSORKEY* k, int r, const BYTE* data, int32_t len);
std::string db__get_full_keyname(CURSORREC* c, const CURSORKEY& k);

// Fetch (db_crs_fetch.cpp).
int db__crs_fetch_from_keyset(CURSORREC* c, int count);
int db__crs_fetch_from_keyset_row(CURSORREC* c, int ksrow, int bufrow);

// Row operations (db_crs_rowop.cpp).
int db__crs_lock_keyset_table_row(CURSORREC* c, int ksrow, int tabnum);
const CURSORTAB* db__crs_tabinfo_numtoname(CURSORREC* c, int num);

// Browse mode and SQL literals (db_browse.cpp).
namespace dblib {
int key2colnum(DBPROCESS* dbproc, int keynum, int tabnum);
int tabname2num(DBPROCESS* dbproc, const char* name);
}  // namespace dblib
// Bytes needed to print a value as an SQL literal, or -1 after an error.
int db__prlen(DBPROCESS* dbproc, int type, int len);
// Prints a value as an SQL literal into `dest` (width + 1 bytes); 1 or 0.
int db__print_chardata(DBPROCESS* dbproc, const BYTE* value, int len, int type, int width,
                       char* dest);
// Appends the literal of a value to `out`; 1 or 0.
int db__crs_write_buf(DBPROCESS* dbproc, int type, int len, const BYTE* value, std::string* out);
