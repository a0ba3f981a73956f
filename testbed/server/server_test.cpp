// End-to-end tests of the stand-in server over raw sockets: the login
// exchange, batches and their log, database and option changes,
// attention, and results over SQLite.
#include <gtest/gtest.h>
#include <sqlite3.h>

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
        "insert into kelvar_file values ('B2.TXT', '1999-01-01 00:00:00.000', null, 'not fits', 'THROUGHPUT', 'N');"
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
