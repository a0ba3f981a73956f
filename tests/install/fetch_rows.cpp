// An outside program, built against an installed quorel through
// find_package(Quorel) (Quorel::dblib): logs in to the server named on the
// command line (looked up in $MERROW/interfaces), fills a temporary table and
// fetches its rows back through the DB client.
//
//   fetch_rows SERVERNAME      exit status 0 when the rows came back
#include <dblib/dblib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int on_error(DBPROCESS*, int severity, int dberr, int, char* text, char*) {
  std::fprintf(stderr, "fetch_rows: client error %d (severity %d): %s\n", dberr, severity,
               text ? text : "");
  return INT_CANCEL;
}

int on_message(DBPROCESS*, DBINT msgno, int, int severity, char* text, char*, char*, int) {
  if (severity > 10)
    std::fprintf(stderr, "fetch_rows: server message %d: %s\n", static_cast<int>(msgno),
                 text ? text : "");
  return 0;
}

// Sends one batch and appends "id:name" for each row of the results that
// have columns; false when anything failed.
bool run(DBPROCESS* db, const char* sql, std::vector<std::string>& rows) {
  if (dbcmd(db, sql) != SUCCEED || dbsqlexec(db) != SUCCEED) return false;
  RETCODE rc;
  while ((rc = dbresults(db)) != NO_MORE_RESULTS) {
    if (rc == FAIL) return false;
    if (dbnumcols(db) == 0) continue;
    DBINT id = 0;
    char name[21];
    if (dbbind(db, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&id)) != SUCCEED ||
        dbbind(db, 2, NTBSTRINGBIND, sizeof name, reinterpret_cast<BYTE*>(name)) != SUCCEED)
      return false;
    while (dbnextrow(db) == REG_ROW) rows.push_back(std::to_string(id) + ":" + name);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fetch_rows SERVERNAME\n");
    return 2;
  }
  if (dbinit() != SUCCEED) return 1;
  dberrhandle(on_error);
  dbmsghandle(on_message);
  LOGINREC* login = dblogin();
  DBSETLUSER(login, "calread");
  DBSETLPWD(login, "tuvelmark");
  DBPROCESS* db = dbopen(login, argv[1]);
  dbloginfree(login);
  if (db == nullptr) return 1;

  // The table in one batch, the rows in the next.
  std::vector<std::string> rows;
  bool ok = run(db,
                "create table #parts (id int not null, name varchar(20) null)\n"
                "insert into #parts values (1, 'first')\n"
                "insert into #parts values (2, null)\n"
                "insert into #parts values (3, 'third part')\n",
                rows) &&
            rows.empty() && run(db, "select id, name from #parts order by id", rows);
  dbclose(db);
  dbexit();

  const std::vector<std::string> expected = {"1:first", "2:", "3:third part"};
  if (!ok || rows != expected) {
    std::fprintf(stderr, "fetch_rows: %zu rows:", rows.size());
    for (const std::string& r : rows) std::fprintf(stderr, " [%s]", r.c_str());
    std::fprintf(stderr, "\n");
    return 1;
  }
  std::printf("fetch_rows: %zu rows from %s\n", rows.size(), argv[1]);
  return 0;
}
