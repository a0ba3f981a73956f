// Raw-socket tests of the running server: the login exchange (clear and
// encrypted), batches and their log, database and option changes,
// attention, stopping, and the test-support library.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "dblib/db_encrypt.h"
#include "standin/standin.h"
#include "test_fixture.h"

using namespace standin_test;

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

  // The log holds the login message byte for byte.
  std::string want;
  for (std::uint8_t byte : login_record({})) {
    static const char digits[] = "0123456789abcdef";
    want += digits[byte >> 4];
    want += digits[byte & 15];
  }
  bool found = false, hex_found = false;
  for (auto& l : srv.log()) {
    if (l.event == "loginhex") {
      hex_found = true;
      EXPECT_EQ(l.detail, want);
    }
  }
  EXPECT_TRUE(hex_found);
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
    LoginFields fields;
    fields.user = user;
    fields.password = pw;
    auto ts = logged_in_reply(c, fields);
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
  LoginFields s;
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

// A "set" statement without the shape of its option is refused as a server
// refuses it -- syntax error 102 near the word it went wrong at, and the
// rest of the batch not run -- while every well-formed one is accepted.
TEST_F(StandinServerTest, MalformedSetStatementsAreSyntaxErrors) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  struct Case {
    const char* batch;
    const char* near;  // the word of the error, or null when accepted
  } cases[] = {
      {"set", "set"},
      {"set rowcount \nset rowcount 3\n", "rowcount"},
      {"set textsize many", "many"},
      {"set showplan", "showplan"},
      {"set showplan maybe", "maybe"},
      {"set nocount on off", "off"},
      {"set dateformat", "dateformat"},
      {"set language", "language"},
      {"set identity_insert  off\n", "off"},
      {"set statistics io", "io"},
      {"set transaction isolation level", "level"},
      {"set transaction level 1", "level"},
      {"set noname", "noname"},
      {"set showplan on", nullptr},
      {"set rowcount 0\nset rowcount 3\n", nullptr},
      {"set dateformat dmy", nullptr},
      {"set identity_insert t on", nullptr},
      {"set offsets from, order on", nullptr},
      {"set statistics io off", nullptr},
      {"set transaction isolation level 1", nullptr},
      {"set datefirst 7", nullptr},
      {"set noname 3", nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.batch);
    auto ts = decode(c.batch(k.batch).body);
    if (!k.near) {  // a DONE a statement, none with the error bit
      ASSERT_FALSE(ts.empty());
      for (const auto& t : ts) {
        EXPECT_EQ(t.tok, 0xFD);
        EXPECT_EQ(t.status & 2u, 0u);
      }
      continue;
    }
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].number, 102u);
    EXPECT_EQ(ts[0].severity, 15u);
    EXPECT_EQ(ts[0].text, std::string("Incorrect syntax near '") + k.near + "'.");
    EXPECT_EQ(ts[1].status, 2u);
  }
  // The refused batch left the row count as it was: no limit.
  c.batch("set rowcount 0");
  c.batch("set rowcount \nset rowcount 1\n");
  auto ts = decode(c.batch("select 1 union all select 2").body);
  ASSERT_NE(find(ts, 0xD1, 1), nullptr);
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
    LoginFields s;
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

TEST(StandinSupport, FreePortIsClosed) {
  int port = standin::free_port();
  EXPECT_GT(port, 0);
  EXPECT_THROW(RawClient c(port), std::runtime_error);
}

namespace {

// True once the process is gone (or only a zombie left for its reaper).
bool process_gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

}  // namespace

// A test process that dies without stopping its server takes the server
// with it.
TEST(StandinSupport, ServerEndsWithTheProcessThatStartedIt) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto* s = new standin::StandinServer;
    pid_t p = s->pid();
    char dir[256] = {};
    std::snprintf(dir, sizeof dir, "%s", s->dir().c_str());
    [[maybe_unused]] auto n1 = ::write(fds[1], &p, sizeof p);
    [[maybe_unused]] auto n2 = ::write(fds[1], dir, sizeof dir);
    ::_exit(0);
  }
  ::close(fds[1]);
  pid_t server = 0;
  char dir[256] = {};
  ASSERT_EQ(::read(fds[0], &server, sizeof server), static_cast<ssize_t>(sizeof server));
  ASSERT_EQ(::read(fds[0], dir, sizeof dir), static_cast<ssize_t>(sizeof dir));
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = process_gone(server);
    if (!gone) ::usleep(10000);
  }
  EXPECT_TRUE(gone);
  standin::remove_tree(dir);
}

// Malformed requests get an error or end their session; the server itself
// keeps serving (and a sanitizer build would report any bad access).
TEST_F(StandinServerTest, MalformedRequestsNeverBringTheServerDown) {
  standin::StandinServer srv(options());
  const std::vector<std::pair<std::uint8_t, Buf>> requests = {
      {15, Buf{0x21, 0xff, 0xff, 0xff, 0xff, 0, 's', 'e', 'l'}},  // length far beyond the text
      {15, Buf{0x21, 0, 0}},                                      // token cut short
      {15, Buf{0x65, 3, 1, 0, 2}},                                // negotiation message out of place
      {15, Buf{0xE6, 0, 40, 30, 'a'}},                            // procedure call cut short
      {3, Buf{200}},                                              // old-style call with a bad name length
      {1, Buf{'s', 'e', 'l', 'e', 'c', 't', ' ', '1'}},           // bare text batch
      {15, Buf{}},                                                // empty message
      {9, Buf{1, 2, 3}},                                          // unknown packet type
  };
  for (const auto& [type, body] : requests) {
    RawClient c(srv.port());
    logged_in_reply(c);
    c.send_message(type, body);
    Reply r = c.read_reply(2000);
    if (r.ok) {
      auto ts = decode(r.body);
      ASSERT_FALSE(ts.empty());
      EXPECT_EQ(ts.back().tok, 0xFD);
    } else {
      EXPECT_TRUE(c.sees_close());
    }
  }
  for (const Buf& junk : {Buf{2, 1, 0, 12, 0, 0, 0, 0, 1, 2, 3, 4}, Buf{15, 1, 0, 9, 0, 0, 0, 0, 0x21}}) {
    RawClient c(srv.port());
    c.send_raw(junk);
    EXPECT_TRUE(c.sees_close());
  }
  RawClient c(srv.port());
  logged_in_reply(c);
  EXPECT_NE(find(decode(c.batch("select 1 one").body), 0xD1), nullptr);
}
