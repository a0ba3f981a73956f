// Raw-socket tests of the server's SQL over SQLite: column formats and
// values, several result sets, errors, global variables, the tool's four
// statements, temporary tables and datetime literals.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dblib/db_encrypt.h"
#include "standin/standin.h"
#include "test_fixture.h"

using namespace standin_test;

TEST_F(StandinServerTest, SelectSendsColumnFormatsAndExactValues) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("use orvo_ops");
  auto ts = decode(c.batch("select c, v, t, d, i, n from sample order by n desc").body);
  const Token* fmt = find(ts, 0xEE);
  ASSERT_NE(fmt, nullptr);
  ASSERT_EQ(fmt->cols.size(), 6u);
  struct Want { const char* name; unsigned status, usertype, type, maxlen; };
  const Want want[] = {{"c", 0, 1, 47, 5},  {"v", 0x20, 2, 39, 10}, {"t", 0x20, 19, 35, 2147483647u},
                       {"d", 0x20, 12, 111, 8}, {"i", 0x20, 7, 38, 4}, {"n", 0, 7, 56, 0}};
  for (std::size_t k = 0; k < 6; ++k) {
    SCOPED_TRACE(want[k].name);
    EXPECT_EQ(fmt->cols[k].name, want[k].name);
    EXPECT_EQ(fmt->cols[k].status, want[k].status);
    EXPECT_EQ(fmt->cols[k].usertype, want[k].usertype);
    EXPECT_EQ(fmt->cols[k].type, want[k].type);
    EXPECT_EQ(fmt->cols[k].maxlen, want[k].maxlen);
  }
  EXPECT_EQ(fmt->cols[2].table, "sample");
  const Token* r1 = find(ts, 0xD1, 0);
  const Token* r2 = find(ts, 0xD1, 1);
  ASSERT_TRUE(r1 && r2);
  EXPECT_EQ(r1->values[0].second, "ab   ");  // char(5) not null is blank-padded
  EXPECT_EQ(r1->values[1].second, "xyz");
  EXPECT_EQ(r1->values[2].second, "long text");
  // 1 January 2000 is day 36524; 13:30 is 14580000 ticks of 1/300 s.
  EXPECT_EQ(be_int(r1->values[3].second.substr(0, 4)), 36524);
  EXPECT_EQ(be_int(r1->values[3].second.substr(4, 4)), 14580000);
  EXPECT_EQ(be_int(r1->values[4].second), 42);
  EXPECT_EQ(be_int(r1->values[5].second), 7);
  EXPECT_EQ(r2->values[0].second, "cdefg");
  for (int k = 1; k <= 4; ++k) EXPECT_TRUE(r2->values[static_cast<std::size_t>(k)].first) << k;
  EXPECT_EQ(be_int(r2->values[5].second), -1);
  const Token* done = find(ts, 0xFD);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->status, 0x10u);
  EXPECT_EQ(done->count, 2u);
}

// Expressions are typed by their values; a select asking only for its
// formats ("where 0 = 1", as cursors send it) types them by the first row
// the select would find, so that it agrees with the selects of rows.
TEST_F(StandinServerTest, FormatsOnlySelectTypesExpressionsAsTheRowsWillBe) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("create table #e (a int, s varchar(4)) insert #e values (3, 'ab')");
  auto formats = [&](const std::string& sql) {
    auto ts = decode(c.batch(sql).body);
    const Token* fmt = find(ts, 0xEE);
    std::vector<std::pair<unsigned, unsigned>> out;
    if (fmt)
      for (const auto& col : fmt->cols) out.emplace_back(col.type, col.maxlen);
    return out;
  };
  const std::string list = "select a * 1.5 x, s || 'cd' y, a + 1 z, x'00ff' w from #e";
  auto rows = formats(list + " where a = 3");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].first, 109u);  // a float
  EXPECT_EQ(formats(list + " where 0 = 1"), rows);
  EXPECT_EQ(formats(list + " WHERE 0 = 1 for browse"), rows);
  EXPECT_EQ(formats(list + " where 0=1"), rows);  // however it is spaced
  // Without a row to look at, an expression stays an integer.
  c.batch("delete #e");
  EXPECT_EQ(formats(list + " where 0 = 1")[0].first, 38u);
}

TEST_F(StandinServerTest, SeveralSelectsInOneBatchGiveSeveralResultSets) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("select 1 one select 'a' letter, 2 two").body);
  const Token* d1 = find(ts, 0xFD, 0);
  const Token* d2 = find(ts, 0xFD, 1);
  ASSERT_TRUE(d1 && d2);
  EXPECT_EQ(d1->status, 0x11u);  // more results follow, count valid
  EXPECT_EQ(d2->status, 0x10u);
  ASSERT_NE(find(ts, 0xEE, 1), nullptr);
  EXPECT_EQ(find(ts, 0xEE, 1)->cols[0].name, "letter");
  EXPECT_EQ(find(ts, 0xEE, 1)->cols[1].type, 38u);
}

TEST_F(StandinServerTest, SqlErrorsComeBackAsErrorAndFailingDone) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  for (const char* bad : {"select * from no_such_table", "select nosuch from sample", "selec 1",
                          "select 'unclosed"}) {
    SCOPED_TRACE(bad);
    auto ts = decode(c.batch(bad).body);
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].tok, 0xAA);
    EXPECT_GT(ts[0].severity, 10u);
    EXPECT_EQ(ts[1].tok, 0xFD);
    EXPECT_EQ(ts[1].status, 2u);
  }
  auto ts = decode(c.batch("select * from no_such_table").body);
  EXPECT_EQ(ts[0].number, 208u);
  EXPECT_EQ(ts[0].text, "Invalid object name 'no_such_table'.");
}

TEST_F(StandinServerTest, GlobalVariablesAndObjectIdAnswer) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("use orvo_ops");
  c.batch("select * from kelvar_row");
  auto ts = decode(c.batch("select @@rowcount num_row").body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  EXPECT_EQ(find(ts, 0xEE)->cols[0].name, "num_row");
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 6);
  ts = decode(c.batch("select @@trancount in_trans").body);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 0);
  c.batch("begin tran");
  ts = decode(c.batch("select @@trancount in_trans").body);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 1);
  c.batch("commit tran");
  ts = decode(c.batch("select object_id('qelt_deadlock') obj_id").body);
  EXPECT_TRUE(find(ts, 0xD1)->values[0].first);  // NULL: no such table
  ts = decode(c.batch("select object_id('kelvar_file') obj_id").body);
  EXPECT_FALSE(find(ts, 0xD1)->values[0].first);
  EXPECT_GT(be_int(find(ts, 0xD1)->values[0].second), 0);
}

// The tool's four statements, as the access layer sends them (lower-cased
// outside quotes), give the rows SQLite gives for the same question.
TEST_F(StandinServerTest, ToolStatementsRunAgainstTheCatalogue) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("use orvo_ops");
  auto ts = decode(c.batch(" select distinct max(a.useafter_date) useafter_date, compname into #temp1 from "
                           "kelvar_file a, kelvar_row b where a.useafter_date < \"Jan 1 2000 01:30:00 pm\" "
                           "and a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and "
                           "a.reject_flag = 'N' group by b.compname").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].status, 0x10u);
  EXPECT_EQ(ts[0].count, 2u);
  ts = decode(c.batch(" create unique nonclustered index tmp_i on #temp1(compname, useafter_date)").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].status, 0u);
  ts = decode(c.batch(" select a.general_availability_date availability_date, a.file_name file_name, "
                      "a.comment comment, b.compname compname from kelvar_file a, kelvar_row b, #temp1 t "
                      "where a.reference_file_type = 'THROUGHPUT' and a.file_name = b.file_name and "
                      "a.reject_flag = 'N' and t.compname = b.compname and t.useafter_date = a.useafter_date "
                      "and a.file_name like '%.FITS' order by b.compname").body);
  const Token* fmt = find(ts, 0xEE);
  ASSERT_NE(fmt, nullptr);
  ASSERT_EQ(fmt->cols.size(), 4u);
  EXPECT_EQ(fmt->cols[0].name, "availability_date");
  EXPECT_EQ(fmt->cols[0].type, 111u);
  EXPECT_EQ(fmt->cols[2].type, 35u);
  const Token* r1 = find(ts, 0xD1, 0);
  const Token* r2 = find(ts, 0xD1, 1);
  ASSERT_TRUE(r1 && r2);
  EXPECT_EQ(find(ts, 0xD1, 2), nullptr);
  EXPECT_EQ(r1->values[1].second, "A2.FITS");
  EXPECT_EQ(r1->values[2].second, "second");
  EXPECT_EQ(r1->values[3].second, "acomp");
  EXPECT_EQ(r2->values[1].second, "B1.FITS");
  EXPECT_TRUE(r2->values[0].first);
  EXPECT_EQ(r2->values[2].second, "  spaced  comment ");
  ts = decode(c.batch(" drop table #temp1").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].status, 0u);
  ts = decode(c.batch("select object_id('#temp1') obj_id").body);
  EXPECT_TRUE(find(ts, 0xD1)->values[0].first);
}

TEST_F(StandinServerTest, TemporaryTablesBelongToTheirSessionAndEndWithIt) {
  standin::StandinServer srv(options());
  {
    RawClient a(srv.port()), b(srv.port());
    logged_in_reply(a);
    logged_in_reply(b);
    auto ts = decode(a.batch("select 1 x into #t").body);
    EXPECT_EQ(ts[0].count, 1u);
    ts = decode(b.batch("select 2 x, 3 y into #t").body);
    EXPECT_EQ(ts[0].count, 1u);
    ts = decode(a.batch("select * from #t").body);
    EXPECT_EQ(find(ts, 0xEE)->cols.size(), 1u);
    // One session ends in the middle of a packet, the other with a reset.
    Buf half{15, 0, 0, 200, 0, 0, 0, 0, 0x21};
    a.send_raw(half);
    linger hard{1, 0};
    ::setsockopt(b.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("select object_id('#t') obj_id").body);
  EXPECT_TRUE(find(ts, 0xD1)->values[0].first);
  ts = decode(c.batch("select * from #t").body);
  EXPECT_EQ(ts[0].number, 208u);
}

TEST_F(StandinServerTest, DatabasesByName) {
  std::string other = cat_->dir + "/other.sqlite";
  {
    sqlite3* db = nullptr;
    sqlite3_open(other.c_str(), &db);
    sql(db, "create table only_here (x int not null); insert into only_here values (5);");
    sqlite3_close(db);
  }
  standin::ServerOptions o = options();
  o.extra_args = {"--database", "archive=" + other};
  standin::StandinServer srv(o);
  RawClient c(srv.port());
  logged_in_reply(c);
  // A session starts in master, which holds the catalogue too.
  EXPECT_NE(find(decode(c.batch("select count(*) from kelvar_row").body), 0xD1), nullptr);
  auto ts = decode(c.batch("use archive select x from only_here").body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 5);
  ts = decode(c.batch("use orvo_ops select x from only_here").body);
  EXPECT_EQ(find(ts, 0xAA)->number, 208u);
}

TEST_F(StandinServerTest, DatetimeLiteralsInTheServerFormsCompareWithStoredValues) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("use orvo_ops");
  for (const char* lit : {"\"Jan 1 2000 01:30:00 pm\"", "'01/01/2000 13:30'", "'2000-01-01 13:30:00'",
                          "\"jan 1 2000 1:30pm\""}) {
    SCOPED_TRACE(lit);
    auto ts = decode(c.batch(std::string("select c from sample where d = ") + lit).body);
    EXPECT_EQ(find(ts, 0xFD)->count, 1u);
  }
  auto ts = decode(c.batch("select c from sample where d < \"Dec 31 1999\"").body);
  EXPECT_EQ(find(ts, 0xFD)->count, 0u);
}

// Changes get DONE counts; session options limit what selects return;
// a rolled-back transaction leaves nothing behind.
TEST_F(StandinServerTest, ChangesOptionsAndTransactions) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("create table #w (k int not null, s varchar(20) null, t text null, d datetime null)").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].status, 0u);
  ts = decode(c.batch("insert into #w values (1, \"one\", 'a long text value', \"Feb 3 2001 4:05:06:007PM\") "
                      "insert into #w values (2, '', null, null) "
                      "update #w set s = 'x' where k > 0").body);
  ASSERT_EQ(ts.size(), 3u);
  EXPECT_EQ(ts[0].status, 0x11u);
  EXPECT_EQ(ts[0].count, 1u);
  EXPECT_EQ(ts[2].status, 0x10u);
  EXPECT_EQ(ts[2].count, 2u);
  ts = decode(c.batch("select @@rowcount n").body);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 2);

  // The datetime literal was stored in the sortable form.
  ts = decode(c.batch("select d from #w where d = '2001-02-03 16:05:06.007'").body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second.substr(0, 4)), 36923);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second.substr(4)), 17371802);

  // A value longer than its declared length widens the column.
  c.batch("insert into #w values (3, 'twenty-five characters!!!', null, null)");
  ts = decode(c.batch("select s from #w where k = 3").body);
  EXPECT_EQ(find(ts, 0xEE)->cols[0].maxlen, 25u);
  EXPECT_EQ(find(ts, 0xD1)->values[0].second, "twenty-five characters!!!");
  c.batch("delete from #w where k = 3");

  ts = decode(c.batch("set textsize 6 set rowcount 1 select t from #w order by k").body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  EXPECT_EQ(find(ts, 0xD1)->values[0].second, "a long");
  EXPECT_EQ(find(ts, 0xD1, 1), nullptr);
  ts = decode(c.batch("set rowcount 0 set nocount on select k from #w").body);
  EXPECT_EQ(find(ts, 0xFD, 2)->status & 0x10u, 0u);
  c.batch("set nocount off update #w set s = '' where k = 2");
  // An empty varchar goes out as one blank: a length of 0 would mean NULL.
  ts = decode(c.batch("select s from #w where k = 2").body);
  EXPECT_FALSE(find(ts, 0xD1)->values[0].first);
  EXPECT_EQ(find(ts, 0xD1)->values[0].second, " ");

  c.batch("begin tran delete from #w");
  ts = decode(c.batch("select count(*) from #w").body);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 0);
  ts = decode(c.batch("rollback tran select count(*) from #w").body);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[0].second), 2);
  ts = decode(c.batch("commit tran").body);
  EXPECT_EQ(ts[0].number, 3902u);

  ts = decode(c.batch("print \"hello\"").body);
  ASSERT_EQ(ts.size(), 2u);
  EXPECT_EQ(ts[0].tok, 0xAB);
  EXPECT_EQ(ts[0].text, "hello");
}
