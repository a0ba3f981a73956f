// Raw-socket tests of the scripted misbehaviour: errors, login refusal,
// protocol breaches, silence, redirects, recording and replay.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dblib/db_encrypt.h"
#include "standin/standin.h"
#include "test_fixture.h"

using namespace standin_test;

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

// A deadlock may also strike after the result's format, before any row.
TEST_F(StandinServerTest, ScriptedErrorAfterTheResultFormat) {
  standin::StandinServer srv(options("batch \"victim\" error 1205 13 afterformat times 1\n"));
  RawClient c(srv.port());
  logged_in_reply(c);
  auto ts = decode(c.batch("select 1 victim").body);
  ASSERT_EQ(ts.size(), 3u);
  EXPECT_EQ(ts[0].tok, 0xEE);
  EXPECT_EQ(ts[1].number, 1205u);
  EXPECT_EQ(ts[2].status, 2u);
  ts = decode(c.batch("select 1 victim").body);
  EXPECT_NE(find(ts, 0xD1), nullptr);
}
