// End-to-end tests of the stand-in server over raw sockets: the login
// exchange, batches and their log, database and option changes,
// attention, and results over SQLite.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "dblib/db_encrypt.h"
#include "standin/standin.h"
#include "test_client.h"

using namespace standin_test;

namespace {

void sql(sqlite3* db, const char* text) {
  char* err = nullptr;
  ASSERT_EQ(sqlite3_exec(db, text, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// A small catalogue file in a private directory.
struct Catalogue {
  std::string dir = standin::make_temp_dir("standin-cat-");
  std::string path = dir + "/catalogue.sqlite";
  Catalogue() {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sql(db,
        "create table kelvar_file (file_name varchar(50) not null, useafter_date datetime not null,"
        " general_availability_date datetime null, comment text null, reference_file_type char(12) not null,"
        " reject_flag char(1) not null);"
        "create table kelvar_row (file_name varchar(50) not null, compname varchar(18) not null);"
        "create table sample (c char(5) not null, v varchar(10) null, t text null, d datetime null, i int null,"
        " n int not null);"
        "insert into sample values ('ab', 'xyz', 'long text', '2000-01-01 13:30:00.000', 42, 7);"
        "insert into sample values ('cdefg', null, null, null, null, -1);"
        "insert into kelvar_file values ('A1.FITS', '1999-01-01 00:00:00.000', '1999-02-01 00:00:00.000', "
        "'first', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('A2.FITS', '1999-06-01 00:00:00.000', '1999-07-01 00:00:00.000', "
        "'second', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('A3.FITS', '2001-01-01 00:00:00.000', '2001-02-01 00:00:00.000', "
        "'too new', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('B1.FITS', '1998-01-01 00:00:00.000', null, "
        "'  spaced  comment ', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('B2.TXT', '1997-01-01 00:00:00.000', null, 'not fits', 'THROUGHPUT', 'N');"
        "insert into kelvar_file values ('C1.FITS', '1999-01-01 00:00:00.000', null, 'rejected', 'THROUGHPUT', 'Y');"
        "insert into kelvar_row values ('A1.FITS', 'acomp'), ('A2.FITS', 'acomp'), ('A3.FITS', 'acomp'),"
        " ('B1.FITS', 'bcomp'), ('B2.TXT', 'bcomp'), ('C1.FITS', 'ccomp');");
    sqlite3_close(db);
  }
  ~Catalogue() { standin::remove_tree(dir); }
};

class StandinServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cat_ = new Catalogue; }
  static void TearDownTestSuite() { delete cat_; }
  standin::ServerOptions options(const std::string& script = {}) {
    standin::ServerOptions o;
    o.db_path = cat_->path;
    o.script = script;
    return o;
  }
  static Catalogue* cat_;
};
Catalogue* StandinServerTest::cat_ = nullptr;

std::vector<Token> logged_in_reply(RawClient& c, const LoginSpec& s = {}) {
  Reply r = c.login(s);
  EXPECT_TRUE(r.ok);
  return decode(r.body);
}

}  // namespace

TEST_F(StandinServerTest, ClearLoginIsAcknowledgedWithEnvironmentAndCapability) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  Reply r = c.login();
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, 4);
  auto ts = decode(r.body);
  ASSERT_GE(ts.size(), 6u);
  EXPECT_EQ(ts[0].tok, 0xAD);
  EXPECT_EQ(ts[0].ackstatus, 5u);
  // The LOGINACK carries protocol version 5.0.
  EXPECT_EQ(r.body[4], 5);
  EXPECT_EQ(r.body[5], 0);
  ASSERT_EQ(ts[1].tok, 0xE3);
  EXPECT_EQ(ts[1].envtype, 1u);
  EXPECT_EQ(ts[1].now, "master");
  EXPECT_EQ(ts[2].envtype, 2u);
  EXPECT_EQ(ts[2].now, "us_english");
  EXPECT_EQ(ts[3].envtype, 3u);
  EXPECT_EQ(ts[3].now, "iso_1");
  ASSERT_EQ(ts[4].tok, 0xE2);
  const Buf caps{1, 7, 0x00, 0x60, 0x81, 0xCF, 0xFF, 0xFE, 0x3E, 2, 7, 0x00, 0x00, 0x00, 0x78, 0xC0, 0x00, 0x0E};
  EXPECT_EQ(ts[4].raw, caps);
  EXPECT_EQ(ts[5].tok, 0xFD);
  EXPECT_EQ(ts[5].status, 0u);

  bool found = false;
  for (auto& l : srv.log())
    if (l.event == "login") {
      found = true;
      EXPECT_NE(l.detail.find("user=calread password=tuvelmark"), std::string::npos) << l.detail;
    }
  EXPECT_TRUE(found);
}

TEST_F(StandinServerTest, WrongPasswordIsRefusedAndClosed) {
  standin::StandinServer srv(options());
  for (auto [user, pw] : {std::pair{"calread", "wrong"}, std::pair{"nobody", "tuvelmark"}}) {
    RawClient c(srv.port());
    LoginSpec spec;
    spec.user = user;
    spec.password = pw;
    auto ts = logged_in_reply(c, spec);
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].tok, 0xAA);
    EXPECT_EQ(ts[0].number, 4002u);
    EXPECT_EQ(ts[0].text, "Login incorrect.");
    EXPECT_EQ(ts[1].tok, 0xFD);
    EXPECT_EQ(ts[1].status & 2u, 2u);
    EXPECT_TRUE(c.sees_close());
  }
}

TEST_F(StandinServerTest, LoginWithoutCapabilityGetsNoneAndLanguageAndPacketSizeAreFollowed) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  LoginSpec s;
  s.capability = false;
  s.language = "french";
  s.packet = "1024";
  auto ts = logged_in_reply(c, s);
  EXPECT_EQ(find(ts, 0xE2), nullptr);
  ASSERT_NE(find(ts, 0xE3, 1), nullptr);
  EXPECT_EQ(find(ts, 0xE3, 1)->now, "french");
  ASSERT_NE(find(ts, 0xE3, 3), nullptr);
  EXPECT_EQ(find(ts, 0xE3, 3)->envtype, 4u);
  EXPECT_EQ(find(ts, 0xE3, 3)->now, "1024");
  EXPECT_EQ(find(ts, 0xE3, 3)->before, "512");
  // A large result now comes in packets of 1024 bytes.
  Reply r = c.batch("select t from sample union all select file_name from kelvar_file union all "
                    "select comment from kelvar_file union all select compname from kelvar_row");
  ASSERT_TRUE(r.ok);
  c.batch("");
  std::string big(3000, 'x');
  r = c.batch("select '" + big + "' t");
  ASSERT_TRUE(r.ok);
  ASSERT_GE(r.headers.size(), 3u);
  EXPECT_EQ(r.headers[0].length, 1024u);
  EXPECT_EQ(r.headers[1].number, 1u);
  EXPECT_EQ(r.headers.back().status, 1u);
}

TEST_F(StandinServerTest, BatchesAreLoggedWithTheirPacketHeaders) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  std::string text = "select 1 ";
  while (text.size() < 1200) text += "+ 1 ";
  Reply r = c.batch(text);
  ASSERT_TRUE(r.ok);
  auto ts = decode(r.body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  auto batches = srv.batches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0], text);
  std::vector<std::string> packets;
  for (auto& l : srv.log())
    if (l.event == "packet") packets.push_back(l.detail);
  // Login (two packets of type 2) then the batch in three packets of type 15.
  ASSERT_EQ(packets.size(), 5u);
  EXPECT_EQ(packets[2], "type=15 status=0 length=512 channel=0 number=0 window=0");
  EXPECT_EQ(packets[3], "type=15 status=0 length=512 channel=0 number=1 window=0");
  EXPECT_EQ(packets[4].substr(0, 25), "type=15 status=1 length=2");
}

TEST_F(StandinServerTest, UseSetAndEmptyBatchesAnswerAsTheClientExpects) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("use orvo_ops").body);
  ASSERT_EQ(ts.size(), 3u);
  EXPECT_EQ(ts[0].envtype, 1u);
  EXPECT_EQ(ts[0].now, "orvo_ops");
  EXPECT_EQ(ts[0].before, "master");
  EXPECT_EQ(ts[1].tok, 0xAB);
  EXPECT_EQ(ts[1].number, 5701u);
  EXPECT_EQ(ts[2].tok, 0xFD);
  EXPECT_EQ(ts[2].status, 0u);

  ts = decode(c.batch("use nosuchdb").body);
  ASSERT_EQ(ts.size(), 2u);
  EXPECT_EQ(ts[0].number, 911u);
  EXPECT_GT(ts[0].severity, 10u);
  EXPECT_EQ(ts[1].status, 2u);

  ts = decode(c.batch("set textsize 500000\n").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].tok, 0xFD);
  EXPECT_EQ(ts[0].status, 0u);

  ts = decode(c.batch(" ").body);
  ASSERT_EQ(ts.size(), 1u);
  EXPECT_EQ(ts[0].status, 0u);

  ts = decode(c.batch("set language french").body);
  ASSERT_EQ(ts.size(), 3u);
  EXPECT_EQ(ts[0].envtype, 2u);
  EXPECT_EQ(ts[0].now, "french");
}

TEST_F(StandinServerTest, AttentionIsAcknowledgedWithDoneStatus0x20) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.send_attention();
  Reply r = c.read_reply();
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.body.size(), 9u);
  EXPECT_EQ(r.body[0], 0xFD);
  EXPECT_EQ(r.body[2], 0x20);
  // The session goes on.
  auto ts = decode(c.batch("select 5 five").body);
  ASSERT_NE(find(ts, 0xD1), nullptr);
  EXPECT_EQ(be_int(find(ts, 0xD1)->values[1 - 1].second.substr(0)), 5);
}

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
    // The session ends in the middle of a packet.
    Buf half{15, 0, 0, 200, 0, 0, 0, 0, 0x21};
    a.send_raw(half);
  }
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("select object_id('#t') obj_id").body);
  EXPECT_TRUE(find(ts, 0xD1)->values[0].first);
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

TEST_F(StandinServerTest, ScriptedErrorsComeTheGivenNumberOfTimesThenTheBatchRuns) {
  standin::StandinServer srv(options("batch \"use orvo_ops\" error 922 14 times 2\n"
                                     "batch \"deadlock_me\" error 1205 13 times 1\n"));
  RawClient c(srv.port());
  logged_in_reply(c);
  for (int k = 0; k < 2; ++k) {
    auto ts = decode(c.batch("use orvo_ops").body);
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].number, 922u);
    EXPECT_EQ(ts[0].severity, 14u);
    EXPECT_EQ(ts[1].status, 2u);
  }
  auto ts = decode(c.batch("use orvo_ops").body);
  EXPECT_EQ(ts[0].tok, 0xE3);
  ts = decode(c.batch("select 1 deadlock_me").body);
  EXPECT_EQ(ts[0].number, 1205u);
  ts = decode(c.batch("select 1 deadlock_me").body);
  EXPECT_NE(find(ts, 0xD1), nullptr);
}

TEST_F(StandinServerTest, ScriptedLoginRefusalAndGrantedPacketSize) {
  standin::StandinServer srv(options("login refuse times 1\nlogin packetsize 2048\n"));
  {
    RawClient c(srv.port());
    auto ts = logged_in_reply(c);
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].number, 4002u);
  }
  RawClient c(srv.port());
  auto ts = logged_in_reply(c);
  EXPECT_EQ(ts[0].ackstatus, 5u);
  ASSERT_NE(find(ts, 0xE3, 3), nullptr);
  EXPECT_EQ(find(ts, 0xE3, 3)->now, "2048");
}

// Broken packets, unknown tokens and closes arrive as scripted; the
// server itself goes on serving other sessions.
TEST_F(StandinServerTest, ScriptedProtocolBreachesArriveAsDescribed) {
  standin::StandinServer srv(options("batch \"big\" badlength big\n"
                                     "batch \"small\" badlength small\n"
                                     "batch \"tok\" badtoken 0x05\n"
                                     "batch \"rows\" badtoken 0x07 rows\n"
                                     "batch \"shut\" close\n"
                                     "batch \"mid\" closemid\n"));
  auto header_of = [&](const std::string& text, Buf& hdr, Buf& rest) {
    RawClient c(srv.port());
    logged_in_reply(c);
    c.send_message(15, language_token(text));
    hdr.assign(8, 0);
    bool closed = false;
    if (!c.read_exact(hdr.data(), 8, 5000, closed)) hdr.clear();
    rest.clear();
    std::uint8_t b;
    while (c.read_exact(&b, 1, 300, closed)) rest.push_back(b);
    return closed;
  };
  Buf hdr, rest;
  header_of("select 'big'", hdr, rest);
  ASSERT_EQ(hdr.size(), 8u);
  EXPECT_EQ((hdr[2] << 8 | hdr[3]), 512 + 64);
  header_of("select 'small'", hdr, rest);
  ASSERT_EQ(hdr.size(), 8u);
  EXPECT_EQ((hdr[2] << 8 | hdr[3]), 4);
  header_of("select 'tok'", hdr, rest);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest[0], 0x05);
  header_of("select 'rows' r union all select 'two'", hdr, rest);
  auto ts = decode(rest);
  ASSERT_EQ(ts.size(), 3u);
  EXPECT_EQ(ts[0].tok, 0xEE);
  EXPECT_EQ(ts[1].tok, 0xD1);
  EXPECT_EQ(ts[2].tok, 0);
  EXPECT_EQ(ts[2].raw[0], 0x07);
  EXPECT_TRUE(header_of("select 'shut'", hdr, rest));
  EXPECT_TRUE(hdr.empty());
  EXPECT_TRUE(header_of("select 'mid'", hdr, rest));
  ASSERT_EQ(hdr.size(), 8u);
  EXPECT_EQ((hdr[2] << 8 | hdr[3]), 100);
  EXPECT_EQ(rest.size(), 20u);

  RawClient c(srv.port());
  logged_in_reply(c);
  EXPECT_NE(find(decode(c.batch("select 1 one").body), 0xD1), nullptr);
}

TEST_F(StandinServerTest, SilenceEndsWithTheAttentionOrAfterItsTime) {
  standin::StandinServer srv(options("batch \"hush\" silent 6000\n"
                                     "batch \"deaf\" silent 6000 noattention\n"
                                     "batch \"brief\" silent 0.5\n"));
  RawClient c(srv.port());
  logged_in_reply(c);
  c.send_message(15, language_token("select 'hush'"));
  Reply r = c.read_reply(200);
  EXPECT_FALSE(r.ok);
  c.send_attention();
  r = c.read_reply();
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.body.size(), 9u);
  EXPECT_EQ(r.body[2], 0x20);

  c.send_message(15, language_token("select 'deaf'"));
  c.send_attention();
  EXPECT_FALSE(c.read_reply(300).ok);

  // A silence shorter than the wait (the time scale of the tests applies
  // to the server too) ends with the normal answer.
  RawClient d(srv.port());
  logged_in_reply(d);
  r = d.batch("select 'brief' b");
  ASSERT_TRUE(r.ok);
  EXPECT_NE(find(decode(r.body), 0xD1), nullptr);
}

TEST_F(StandinServerTest, LoginSilenceNeverAnswers) {
  standin::StandinServer srv(options("login silent 0.2\n"));
  RawClient c(srv.port());
  c.send_message(2, login_record({}));
  Reply r = c.read_reply(5000);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.closed);
}

TEST_F(StandinServerTest, AttentionDuringALargeResultCutsItShort) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  // About 2 MB of rows: more than the socket buffers hold.
  c.send_message(15, language_token("with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
                                    "select i, 'row text that fills the packets of the reply quickly' || i t from n"));
  Buf first(8);
  bool closed = false;
  ASSERT_TRUE(c.read_exact(first.data(), 8, 5000, closed));
  Buf body(static_cast<std::size_t>((first[2] << 8 | first[3]) - 8));
  ASSERT_TRUE(c.read_exact(body.data(), body.size(), 5000, closed));
  c.send_attention();
  // Read until the acknowledgement: a final packet that ends with a DONE
  // whose status has 0x20.
  std::size_t packets = 1;
  for (;;) {
    Reply r = c.read_reply();
    ASSERT_TRUE(r.ok || !r.headers.empty());
    packets += r.headers.size();
    if (r.ok && r.body.size() >= 9 && r.body[r.body.size() - 9] == 0xFD && (r.body[r.body.size() - 7] & 0x20)) break;
  }
  EXPECT_LT(packets, 4000u);  // far fewer than the whole result
  EXPECT_NE(find(decode(c.batch("select 1 one").body), 0xD1), nullptr);
}

TEST_F(StandinServerTest, TermStopsTheServerCleanlyWithSessionsOpen) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  RawClient idle(srv.port());
  EXPECT_EQ(srv.stop(), 0);
  EXPECT_TRUE(c.sees_close());
}

TEST(StandinSupport, HomeHoldsTheLocalesAndAnInterfacesFileNamingTheServer) {
  standin::StandinServer srv;
  std::string home = srv.make_home("QSERVER", 2, 5);
  std::ifstream in(home + "/interfaces");
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "# Written by the stand-in server's test support.\nQSERVER 2 5\n\tmaster tcp ether 127.0.0.1 " +
                          std::to_string(srv.port()) + "\n\tquery tcp ether 127.0.0.1 " +
                          std::to_string(srv.port()) + "\n");
  for (const char* f : {"/locales/italian/iso_1/common.loc", "/locales/italian/iso_1/dblib.loc"})
    EXPECT_TRUE(std::ifstream(home + f).good()) << f;
  EXPECT_EQ(standin::interfaces_entry("S", 4100), "S\n\tmaster tcp ether 127.0.0.1 4100\n\tquery tcp ether 127.0.0.1 4100\n");
}

namespace {

// The client's answer to the key: MSG 2 with the encrypted password and
// MSG 3 with one remote password (empty server name).
Buf negotiation_answer(const std::string& key, const std::string& password) {
  unsigned char enc[33];
  int len = 0;
  com__string_initialize(reinterpret_cast<const unsigned char*>(key.data()), 8, password.data(),
                         static_cast<int>(password.size()), enc, &len);
  Buf b{0x65, 3, 1, 0, 2};
  b.insert(b.end(), {0xEC, 0, 11, 0, 1, 0, 0, 0, 0, 0, 0, 37, 255, 0});
  b.push_back(0xD7);
  b.push_back(33);
  b.insert(b.end(), enc, enc + 33);
  b.insert(b.end(), {0x65, 3, 1, 0, 3});
  b.insert(b.end(), {0xEC, 0, 20, 0, 2, 0, 0, 0, 0, 0, 0, 39, 255, 0, 0, 0, 0, 0, 0, 0, 37, 255, 0});
  b.push_back(0xD7);
  b.push_back(0);
  b.push_back(33);
  b.insert(b.end(), enc, enc + 33);
  return b;
}

}  // namespace

TEST_F(StandinServerTest, EncryptedLoginNegotiatesTheKeyAndChecksThePassword) {
  standin::StandinServer srv(options());
  for (auto [password, good] : {std::pair{"tuvelmark", true}, std::pair{"wrong", false}}) {
    SCOPED_TRACE(password);
    RawClient c(srv.port());
    LoginSpec s;
    s.encrypted = true;
    auto ts = logged_in_reply(c, s);
    ASSERT_EQ(ts.size(), 5u);
    EXPECT_EQ(ts[0].tok, 0xAD);
    EXPECT_EQ(ts[0].ackstatus, 7u);
    EXPECT_EQ(ts[1].tok, 0x65);
    EXPECT_EQ(ts[1].number, 1u);
    EXPECT_EQ(ts[1].status, 1u);
    EXPECT_EQ(ts[2].tok, 0xEC);
    ASSERT_EQ(ts[3].tok, 0xD7);
    ASSERT_EQ(ts[3].text.size(), 8u);
    EXPECT_EQ(ts[4].tok, 0xFD);
    EXPECT_EQ(ts[4].status, 0u);
    c.send_message(15, negotiation_answer(ts[3].text, password));
    Reply r = c.read_reply();
    std::string all;
    for (auto& l : srv.log())
      if (l.event != "loginhex") all += l.event + " " + l.detail + "\n";
    ASSERT_TRUE(r.ok) << all;
    ts = decode(r.body);
    if (good) {
      EXPECT_EQ(ts[0].ackstatus, 5u);
      EXPECT_NE(find(ts, 0xE2), nullptr);
      EXPECT_EQ(find(ts, 0xFD)->status, 0u);
      EXPECT_NE(find(decode(c.batch("select 1 one").body), 0xD1), nullptr);
    } else {
      ASSERT_EQ(ts.size(), 2u);
      EXPECT_EQ(ts[0].number, 4002u);
      EXPECT_EQ(ts[1].status, 2u);
    }
  }
  std::string all;
  for (auto& l : srv.log()) all += l.event + " " + l.detail + "\n";
  EXPECT_NE(all.find("login decrypted password=tuvelmark\n"), std::string::npos) << all;
}

// A reply recorded once is sent again, byte for byte, by the replay mode.
TEST_F(StandinServerTest, RecordedRepliesReplay) {
  std::string file = cat_->dir + "/reply.bin";
  std::string body;
  {
    standin::StandinServer srv(options("batch \"kelvar\" record " + file + "\n"));
    RawClient c(srv.port());
    logged_in_reply(c);
    Reply r = c.batch("select * from kelvar_row");
    ASSERT_TRUE(r.ok);
    body.assign(r.body.begin(), r.body.end());
  }
  standin::StandinServer srv(options("batch * replay " + file + "\n"));
  RawClient c(srv.port());
  logged_in_reply(c);
  Reply r = c.batch("select anything at all");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(std::string(r.body.begin(), r.body.end()), body);
  EXPECT_EQ(find(decode(r.body), 0xFD)->count, 6u);
}

TEST_F(StandinServerTest, AClientPacketShorterThanItsHeaderEndsTheSession) {
  standin::StandinServer srv(options());
  for (bool logged_in : {false, true}) {
    RawClient c(srv.port());
    if (logged_in) logged_in_reply(c);
    c.send_raw(Buf{15, 1, 0, 4, 0, 0, 0, 0});
    EXPECT_TRUE(c.sees_close());
  }
  int protocol_errors = 0;
  for (auto& l : srv.log())
    if (l.event == "protocol" && l.detail == "packet length below 8") ++protocol_errors;
  EXPECT_EQ(protocol_errors, 2);
  RawClient c(srv.port());
  logged_in_reply(c);
  EXPECT_NE(find(decode(c.batch("select 1 one").body), 0xD1), nullptr);
}

TEST_F(StandinServerTest, ScriptedLoginRedirectAndBreach) {
  standin::StandinServer srv(options("login redirect nodeA times 1\nlogin badtoken 0x09 times 1\n"));
  {
    RawClient c(srv.port());
    auto ts = logged_in_reply(c);
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].tok, 0xAB);
    EXPECT_EQ(ts[0].number, 4014u);
    EXPECT_EQ(ts[0].text, "Login redirected to node 'nodeA'.");
    EXPECT_EQ(ts[1].status, 2u);
    EXPECT_TRUE(c.sees_close());
  }
  {
    RawClient c(srv.port());
    Reply r = c.login();
    ASSERT_TRUE(r.ok);
    ASSERT_FALSE(r.body.empty());
    EXPECT_EQ(r.body[0], 0x09);
  }
  RawClient c(srv.port());
  EXPECT_EQ(logged_in_reply(c)[0].ackstatus, 5u);
}

TEST(StandinSupport, FreePortIsClosed) {
  int port = standin::free_port();
  EXPECT_GT(port, 0);
  EXPECT_THROW(RawClient c(port), std::runtime_error);
}
