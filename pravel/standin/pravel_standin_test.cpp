// The tool's four statements through the access layer and the real DB client
// against a catalogue served by the stand-in server, compared with the same
// query run by SQLite directly on the catalogue file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "comnlib/com_charclass.h"
#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"
#include "demo_catalogue.h"
#include "pravel/pravel.h"
#include "standin/standin.h"

namespace {

using Row = std::tuple<COM_DATETIME, std::string, std::string, std::string>;

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// A date text in any form the client or SQLite writes, as a datetime.
COM_DATETIME parse_date(const std::string& text) {
  COM_DATETIME dt{};
  int rc = com__datefromchar_mb(&dt, text.c_str(), static_cast<int>(text.size()), 0, 1, Com__Months,
                                Com__Shortmonths, com_get_charattrib());
  EXPECT_EQ(rc, 0) << text;
  return dt;
}

bool same(const Row& a, const Row& b) {
  return std::get<0>(a).dtdays == std::get<0>(b).dtdays &&
         std::get<0>(a).dttime == std::get<0>(b).dttime && std::get<1>(a) == std::get<1>(b) &&
         std::get<2>(a) == std::get<2>(b) && std::get<3>(a) == std::get<3>(b);
}

// The statements as the tool sends them.
const char* kStatement1 =
    "select distinct max(a.useafter_date) useafter_date, compname into #temp1 from kelvar_file a, "
    "kelvar_row b where a.useafter_date < \"Jan 1 2000 01:30:00 pm\" and a.reference_file_type = "
    "'THROUGHPUT' and a.file_name = b.file_name and a.reject_flag = 'N' group by b.compname";
const char* kStatement2 = "create unique nonclustered index tmp_i on #temp1(compname, useafter_date)";
const char* kStatement3 =
    "select a.general_availability_date availability_date, a.file_name file_name, a.comment "
    "comment, b.compname compname from kelvar_file a, kelvar_row b, #temp1 t where "
    "a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and a.reject_flag = 'N' "
    "and t.compname = b.compname and t.useafter_date = a.useafter_date and a.file_name like "
    "'%.FITS' order by b.compname";
const char* kStatement4 = "drop table #temp1";

// The same query in SQLite's own dialect.
const char* kSqlite =
    "with t as (select max(a.useafter_date) useafter_date, compname from kelvar_file a, kelvar_row b "
    "where a.useafter_date < '2000-01-01 13:30:00.000' and a.reference_file_type = 'THROUGHPUT' "
    "and a.file_name = b.file_name and a.reject_flag = 'N' group by b.compname) "
    "select a.general_availability_date, a.file_name, a.comment, b.compname from kelvar_file a, "
    "kelvar_row b, t where a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and "
    "a.reject_flag = 'N' and t.compname = b.compname and t.useafter_date = a.useafter_date and "
    "a.file_name like '%.FITS' order by b.compname";

std::vector<Row> sqlite_rows(const std::string& path) {
  std::vector<Row> rows;
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, kSqlite, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  auto text = [st](int i) {
    const unsigned char* t = sqlite3_column_text(st, i);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  while (sqlite3_step(st) == SQLITE_ROW)
    rows.emplace_back(parse_date(text(0)), text(1), text(2), text(3));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

void run_once(const char* sql, int n) {
  pravel_query_setup(1, "comptab_qry", n, 2, "ORVO_TEST", "orvo_ops", 0);
  qelt_query(1, sql);
  while (pravel_get_exec(1) == 0 && pravel_fetch_outcome(1) == PRAVEL_FETCH_RETRY) {
  }
  qelt_close_query(1);
}

}  // namespace

TEST(PravelStandin, ToolStatementsGiveTheRowsSqliteGives) {
  std::string dir = standin::make_temp_dir("pravel-standin");
  std::string db = dir + "/catalogue.sqlite";
  // 60 components, with older, rejected, future and other-type versions.
  demo::make_demo(dir + "/root/", db, 60);
  std::vector<Row> expected = sqlite_rows(db);
  ASSERT_EQ(expected.size(), 60u);

  standin::ServerOptions o;
  o.db_path = db;
  auto srv = std::make_unique<standin::StandinServer>(o);
  ::setenv("MERROW", srv->make_home("ORVO_TEST").c_str(), 1);

  pravel_setup(1, 1, "calread");
  pravel_setup(1, 2, "tuvelmark");
  run_once(kStatement1, 1);
  run_once(kStatement2, 2);

  pravel_query_setup(1, "comptab_qry", 3, 2, "ORVO_TEST", "orvo_ops", 0);
  qelt_query(1, kStatement3);
  char avail[64], file[64], comp[64], comment[16001];
  int comment_len = 0;
  ASSERT_EQ(qelt_bind_string(1, "availability_date", avail, 63), 0);
  ASSERT_EQ(qelt_bind_string(1, "file_name", file, 63), 0);
  ASSERT_EQ(qelt_bind_string(1, "compname", comp, 63), 0);
  ASSERT_EQ(qelt_bind_text(1, "comment", comment, &comment_len, 16000), 0);
  std::vector<Row> got;
  while (pravel_get_exec(1) == 0) {
    int outcome = pravel_fetch_outcome(1);
    if (outcome == PRAVEL_FETCH_RETRY) continue;
    ASSERT_EQ(outcome, PRAVEL_FETCH_ROW);
    got.emplace_back(parse_date(rtrim(avail)), rtrim(file), std::string(comment, comment_len),
                     rtrim(comp));
  }
  qelt_close_query(1);
  run_once(kStatement4, 4);

  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_TRUE(same(got[i], expected[i])) << "row " << i << ": " << std::get<1>(got[i]) << " vs "
                                           << std::get<1>(expected[i]);
  srv.reset();
  ::unsetenv("MERROW");
  standin::remove_tree(dir);
}
