// The database conversation: four statements on connection 1.
#include <cstring>
#include <string>
#include <vector>

#include "comptab.h"
#include "loadfile/strfn.h"
#include "orvolib/orvo_error.h"
#include "orvolib/query.h"
#include "pravel/pravel.h"

namespace {

const char kModule[] = "comptab_qry";

const char kSelectNewest[] =
    "select distinct max(a.useafter_date) useafter_date, compname into #temp1 from kelvar_file a, "
    "kelvar_row b where a.useafter_date < ^ and a.reference_file_type = 'THROUGHPUT' and "
    "a.file_name = b.file_name and a.reject_flag = 'N' group by b.compname";
const char kIndexTemp[] = "create unique nonclustered index tmp_i on #temp1(compname, useafter_date)";
const char kSelectRows[] =
    "select a.general_availability_date availability_date, a.file_name file_name, a.comment "
    "comment, b.compname compname from kelvar_file a, kelvar_row b, #temp1 t where "
    "a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and a.reject_flag = 'N' "
    "and t.compname = b.compname and t.useafter_date = a.useafter_date and a.file_name like "
    "'%.^' order by b.compname";
const char kDropTemp[] = "drop table #temp1";

void begin(const query* q, int number) {
  pravel_query_setup(q->conn, kModule, number, QELT_SQL, q->server, q->database, nullptr);
}

// Executes a statement that returns no rows; a deadlock pause answers 0
// without a row, and the statement is then sent again.
void run_once(const query* q) {
  while (pravel_get_exec(q->conn) == 0 && pravel_fetch_outcome(q->conn) == PRAVEL_FETCH_RETRY) {
  }
  qelt_close_query(q->conn);
}

// One bound result column of statement 3.
struct fetch_column {
  const char* table_column;
  bool is_text;
  std::vector<char> buffer;
  int length = 0;
};

}  // namespace

void comptab_qry(const char* date, int count, const char* dbcols, const char* tabcols,
                 const char* ext, table* t) {
  if (count < 0) count = 0;
  query* q = init_query();

  begin(q, 1);
  build_qry(q->conn, kSelectNewest, {enquote(date)});
  run_once(q);

  begin(q, 2);
  build_qry(q->conn, kIndexTemp);
  run_once(q);

  std::string pattern_ext(ext);
  strucase(pattern_ext.data());
  pattern_ext = sql_quote_double(pattern_ext.c_str());
  begin(q, 3);
  build_qry(q->conn, kSelectRows, {pattern_ext.c_str()});
  std::string db_copy(dbcols), tab_copy(tabcols);
  std::vector<char*> db_names(static_cast<std::size_t>(count)), tab_names(static_cast<std::size_t>(count));
  strsplit(',', db_copy.data(), db_names.data(), count);
  strsplit(',', tab_copy.data(), tab_names.data(), count);
  std::vector<fetch_column> columns(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    fetch_column& c = columns[static_cast<std::size_t>(i)];
    c.table_column = tab_names[static_cast<std::size_t>(i)];
    c.is_text = std::strcmp(db_names[static_cast<std::size_t>(i)], "comment") == 0;
    if (c.is_text) {
      c.buffer.assign(COMMENT_BUFSIZE, '\0');
      qelt_bind_text(q->conn, db_names[static_cast<std::size_t>(i)], c.buffer.data(), &c.length,
                     COMMENT_MAXLEN);
    } else {
      c.buffer.assign(FETCH_BUFSIZE, '\0');
      qelt_bind_string(q->conn, db_names[static_cast<std::size_t>(i)], c.buffer.data(), FETCH_BOUND);
    }
  }
  int row = 0;
  while (pravel_get_exec(q->conn) == 0) {
    int outcome = pravel_fetch_outcome(q->conn);
    if (outcome == PRAVEL_FETCH_RETRY) continue;  // the next call sends it again
    if (outcome != PRAVEL_FETCH_ROW) {
      // The access layer has reported a fetch that did not fill the
      // buffers; the row is not stored and the run ends as failed.
      orvo_errorflag = 1;
      continue;
    }
    for (fetch_column& c : columns) {
      if (c.is_text)
        end_text_value(c.buffer.data(), c.length, COMMENT_BUFSIZE);
      else
        c.buffer[FETCH_BUFSIZE - 1] = '\0';
      std::string value(c.buffer.data());
      clean_fetched(value.data());
      put_tab_cell(t, c.table_column, row, value.c_str());
    }
    ++row;
  }
  qelt_close_query(q->conn);

  put_tab_key(t, "USEAFTER", "Apr 1 2000 12:00:00 pm");

  begin(q, 4);
  build_qry(q->conn, kDropTemp);
  run_once(q);

  free_query(q);
  if (row == 0) orvo_error(ORVO_NOROWS, "%s", "kelvar_file");
}
