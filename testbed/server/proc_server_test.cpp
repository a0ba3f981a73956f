// Raw-socket tests of procedure calls, event notifications and browse
// information: the request forms the server reads, its answers byte by
// byte, and malformed calls ending the session.
#include <gtest/gtest.h>

#include <string>

#include "standin/standin.h"
#include "test_fixture.h"
#include "textutil.h"

using namespace standin_test;

namespace {

// A parameter of a hand-built call: a variable datatype with its maximum
// length, or a fixed one (max < 0); no data for NULL.
struct P {
  std::string name;
  unsigned status, type;
  int max;
  std::string data;
  bool null = false;
};

void put_name(Buf& b, const std::string& s) {
  b.push_back(static_cast<std::uint8_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}

// A parameter's name, status, user type 0 and datatype, as PARAMFMT and
// RETURNVALUE begin.
void put_param_head(Buf& b, const P& p) {
  put_name(b, p.name);
  b.push_back(static_cast<std::uint8_t>(p.status));
  put32(b, 0);
  b.push_back(static_cast<std::uint8_t>(p.type));
}

// A parameter's value as the request and RETURNVALUE carry it: for a
// variable datatype its maximum length and its length, then the bytes.
void put_length_and_data(Buf& b, const P& p) {
  if (p.max >= 0) {
    b.push_back(static_cast<std::uint8_t>(p.max));
    b.push_back(static_cast<std::uint8_t>(p.null ? 0 : p.data.size()));
  }
  b.insert(b.end(), p.data.begin(), p.data.end());
}

// The DBRPC token with PARAMFMT and PARAMS.
Buf dbrpc(const std::string& name, const std::vector<P>& params) {
  Buf b{0xE6};
  put16(b, static_cast<unsigned>(name.size() + 3));
  put_name(b, name);
  put16(b, params.empty() ? 0 : 2);
  if (params.empty()) return b;
  Buf fmt, vals;
  put16(fmt, static_cast<unsigned>(params.size()));
  for (const P& p : params) {
    put_param_head(fmt, p);
    if (p.max >= 0) {
      fmt.push_back(static_cast<std::uint8_t>(p.max));
      vals.push_back(static_cast<std::uint8_t>(p.null ? 0 : p.data.size()));
    }
    fmt.push_back(0);  // locale
    vals.insert(vals.end(), p.data.begin(), p.data.end());
  }
  b.push_back(0xEC);
  put16(b, static_cast<unsigned>(fmt.size()));
  b.insert(b.end(), fmt.begin(), fmt.end());
  b.push_back(0xD7);
  b.insert(b.end(), vals.begin(), vals.end());
  return b;
}

// The older request: name, options, then each parameter whole.
Buf request(const std::string& name, const std::vector<P>& params) {
  Buf b;
  put_name(b, name);
  put16(b, 0);
  for (const P& p : params) {
    put_name(b, p.name);
    b.push_back(static_cast<std::uint8_t>(p.status));
    b.push_back(static_cast<std::uint8_t>(p.type));
    put_length_and_data(b, p);
  }
  return b;
}

std::string hex(const Buf& b) { return standin::hex_digits(b.data(), b.size()); }

// The reply from its RETURNSTATUS on, in hexadecimal.
std::string tail_from_status(const Buf& body) {
  std::string h = hex(body);
  auto at = h.find("7900000000");
  return at == std::string::npos ? h : h.substr(at);
}

const std::vector<P> kEcho = {{"@n", 1, 38, 4, std::string("\0\0\0\x2a", 4)}, {"@s", 0, 39, 10, "hi"}};

// RETURNSTATUS 0, @n and @s returned (@s as an input), DONEPROC.
const char* const kEchoTail =
    "7900000000"
    "ac000f" "02406e" "01" "00000000" "26" "04" "04" "0000002a"
    "ac000d" "024073" "00" "00000000" "27" "0a" "02" "6869"
    "fe0000000000000000";

}  // namespace

TEST_F(StandinServerTest, RemoteProcedureCallsInEachFormGetTheSameAnswer) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  Buf old = request("echo_params", kEcho);
  Buf token{0xE0};
  put16(token, static_cast<unsigned>(old.size()));
  token.insert(token.end(), old.begin(), old.end());
  for (auto [type, msg] : {std::pair<std::uint8_t, Buf>{15, dbrpc("echo_params", kEcho)}, {15, token}, {3, old}}) {
    SCOPED_TRACE(type);
    c.send_message(type, msg);
    Reply r = c.read_reply();
    ASSERT_TRUE(r.ok);
    auto ts = decode(r.body);
    const Token* fmt = find(ts, 0xEE);
    ASSERT_NE(fmt, nullptr);
    ASSERT_EQ(fmt->cols.size(), 4u);
    const Token* row = find(ts, 0xD1, 0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->values[0].second, "@n");
    EXPECT_EQ(be_int(row->values[1].second), 38);
    EXPECT_EQ(row->values[3].second, "42");
    EXPECT_EQ(find(ts, 0xD1, 1)->values[3].second, "hi");
    const Token* inproc = find(ts, 0xFF);
    ASSERT_NE(inproc, nullptr);
    EXPECT_EQ(inproc->status, 0x11u);
    EXPECT_EQ(inproc->count, 2u);
    EXPECT_EQ(tail_from_status(r.body), kEchoTail);
  }
  auto log = standin::read_log(srv.log_path());
  int params = 0;
  for (const auto& l : log)
    if (l.event == "rpcparam" && l.detail == "@n status=1 type=38 length=4 data=0000002a value=42") ++params;
  EXPECT_EQ(params, 3);
}

namespace {

// The bytes of a hexadecimal text.
std::string unhex(const std::string& h) {
  std::string out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// The RETURNVALUE token the server must send back for a parameter it
// returns unchanged: name, status, user type 0, the format as sent, the
// value's bytes.
std::string retvalue_hex(const P& p) {
  Buf body;
  put_param_head(body, p);
  put_length_and_data(body, p);
  Buf tok{0xAC};
  put16(tok, static_cast<unsigned>(body.size()));
  tok.insert(tok.end(), body.begin(), body.end());
  return hex(tok);
}

}  // namespace

TEST_F(StandinServerTest, OutputParametersOfEveryDatatypeComeBackByteForByte) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  struct Case {
    P param;
    const char* text;  // the value as the server read it
  };
  const Case cases[] = {
      {{"@i1", 1, 48, -1, unhex("fe")}, "254"},
      {{"@i2", 1, 52, -1, unhex("fffe")}, "-2"},
      {{"@i4", 1, 56, -1, unhex("80000000")}, "-2147483648"},
      {{"@f8", 1, 62, -1, unhex("4004000000000000")}, "2.5"},
      {{"@r4", 1, 59, -1, unhex("bfc00000")}, "-1.5"},
      {{"@m8", 1, 60, -1, unhex("fffffffffffffff6")}, "-0.0010"},
      {{"@m4", 1, 122, -1, unhex("0000012c")}, "0.0300"},
      {{"@d8", 1, 61, -1, unhex("00008eac0000012c")}, "2000-01-01 00:00:01.000"},
      {{"@d4", 1, 58, -1, unhex("8eac005a")}, "2000-01-01 01:30:00.000"},
      {{"@bit", 1, 50, -1, unhex("01")}, "1"},
      {{"@n1", 1, 38, 1, unhex("07")}, "7"},
      {{"@n2", 1, 38, 2, unhex("8000")}, "-32768"},
      {{"@fn", 1, 109, 4, unhex("3e800000")}, "0.25"},
      {{"@mn", 1, 110, 8, unhex("0000000000002710")}, "1.0000"},
      {{"@dn", 1, 111, 4, unhex("0000001e")}, "1900-01-01 00:30:00.000"},
      {{"@ch", 1, 47, 10, "a b"}, "a b"},
      {{"@vc", 1, 39, 30, "it's"}, "it's"},
      {{"@bn", 1, 45, 4, unhex("00ff")}, "0x00ff"},
      {{"@vb", 1, 37, 8, unhex("dead")}, "0xdead"},
      {{"@nul", 1, 38, 4, "", true}, "NULL"},
  };
  std::vector<P> params;
  for (const Case& k : cases) params.push_back(k.param);
  c.send_message(15, dbrpc("echo_params", params));
  Reply r = c.read_reply();
  ASSERT_TRUE(r.ok);
  auto ts = decode(r.body);
  std::string expected = "7900000000";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& k = cases[i];
    SCOPED_TRACE(k.param.name);
    const Token* row = find(ts, 0xD1, i);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->values[0].second, k.param.name);
    EXPECT_EQ(be_int(row->values[1].second), static_cast<int>(k.param.type));
    EXPECT_EQ(row->values[3].first ? "NULL" : row->values[3].second, k.text);
    expected += retvalue_hex(k.param);
  }
  EXPECT_EQ(tail_from_status(r.body), expected + "fe0000000000000000");
}

TEST_F(StandinServerTest, ProceduresRunAsStatementsAndFailAsProcedures) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  // A catalogue procedure without exec, then an exec: each ends with its
  // return status and a DONEPROC, the first with the more bit.
  auto ts = decode(c.batch("sp_tables @table_name = 'kelvar%' exec echo_params 7").body);
  const Token* row = find(ts, 0xD1, 0);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->values[2].second, "kelvar_file");
  EXPECT_EQ(find(ts, 0xD1, 1)->values[2].second, "kelvar_row");
  const Token* proc1 = find(ts, 0xFE, 0);
  const Token* proc2 = find(ts, 0xFE, 1);
  ASSERT_TRUE(proc1 && proc2);
  EXPECT_EQ(proc1->status, 0x1u);
  EXPECT_EQ(proc2->status, 0x0u);
  EXPECT_EQ(find(ts, 0x79, 0)->count, 0u);
  EXPECT_EQ(find(ts, 0xAC), nullptr);  // no returned parameters for a statement
  // An error from a procedure: the message names it, the status is -6 and
  // the DONEPROC has the error bit.
  ts = decode(c.batch("exec raise_error 50001, 16, 'out of stock'").body);
  const Token* err = find(ts, 0xAA);
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(err->number, 50001u);
  EXPECT_EQ(err->text, "out of stock");
  EXPECT_EQ(static_cast<int>(find(ts, 0x79)->count), -6);
  EXPECT_EQ(find(ts, 0xFE)->status, 0x2u);
  // An unknown procedure, by name or by call.
  ts = decode(c.batch("exec nosuch 1").body);
  ASSERT_NE(find(ts, 0xAA), nullptr);
  EXPECT_EQ(find(ts, 0xAA)->number, 2812u);
  c.send_message(15, dbrpc("nosuch", {}));
  ts = decode(c.read_reply().body);
  ASSERT_NE(find(ts, 0xAA), nullptr);
  EXPECT_EQ(find(ts, 0xAA)->number, 2812u);
  EXPECT_EQ(find(ts, 0xFD)->status, 0x2u);
}

TEST_F(StandinServerTest, MalformedProcedureCallsEndTheSession) {
  standin::StandinServer srv(options());
  Buf good = dbrpc("echo_params", kEcho);
  Buf long_name = good;
  long_name[2] = 20;  // the DBRPC token's length
  Buf long_fmt = good;
  long_fmt[18] = 0x7F;  // PARAMFMT length far beyond the message
  Buf unknown_type = dbrpc("echo_params", {{"@x", 0, 200, -1, "abcd"}});
  Buf short_value = good;
  short_value.resize(short_value.size() - 3);
  Buf extra = good;
  extra.push_back(0);
  Buf bad_request = request("p", {{"@v", 0, 39, 10, "abc"}});
  bad_request.resize(bad_request.size() - 1);
  const std::pair<const char*, std::pair<std::uint8_t, Buf>> cases[] = {
      {"token length", {15, long_name}},     {"PARAMFMT length", {15, long_fmt}},
      {"unknown datatype", {15, unknown_type}}, {"value cut short", {15, short_value}},
      {"bytes after PARAMS", {15, extra}},   {"request cut short", {3, bad_request}},
  };
  for (const auto& [what, msg] : cases) {
    SCOPED_TRACE(what);
    RawClient c(srv.port());
    logged_in_reply(c);
    c.send_message(msg.first, msg.second);
    EXPECT_TRUE(c.sees_close());
  }
  // The server goes on serving.
  RawClient c(srv.port());
  logged_in_reply(c);
  c.send_message(15, good);
  EXPECT_EQ(tail_from_status(c.read_reply().body), kEchoTail);
  int protocol = 0;
  for (const auto& l : standin::read_log(srv.log_path()))
    if (l.event == "protocol" && l.detail.rfind("bad procedure call: ", 0) == 0) ++protocol;
  EXPECT_EQ(protocol, 6);
}

TEST_F(StandinServerTest, EventsGoToTheWatchingSessionsWithTheirNextReply) {
  standin::StandinServer srv(options());
  RawClient watcher(srv.port()), raiser(srv.port());
  logged_in_reply(watcher);
  logged_in_reply(raiser);
  watcher.batch("watch_event @name = 'ev'");
  auto ts = decode(raiser.batch("raise_event @name = 'ev', @message = 'hi', @n = 5").body);
  EXPECT_EQ(find(ts, 0x79)->count, 1u);  // one session notified
  EXPECT_EQ(find(ts, 0xA2), nullptr);    // the raiser does not watch
  Reply r = watcher.batch("select 1 x");
  // The notification: its name, the message, the parameter, a DONE with
  // 0x40; then the batch's own answer.
  std::string h = hex(r.body);
  EXPECT_EQ(h.substr(0, 12), "a20003026576");
  ts = decode(r.body);
  ASSERT_GE(ts.size(), 5u);
  EXPECT_EQ(ts[0].tok, 0xA2);
  EXPECT_EQ(ts[1].tok, 0xAB);
  EXPECT_EQ(ts[1].text, "hi");
  EXPECT_EQ(ts[2].tok, 0xAC);
  EXPECT_EQ(hex(ts[2].raw), "02406e" "00" "00000000" "26" "04" "04" "00000005");
  EXPECT_EQ(ts[3].tok, 0xFD);
  EXPECT_EQ(ts[3].status, 0x40u);
  EXPECT_EQ(ts[4].tok, 0xEE);
  // Delivered once.
  ts = decode(watcher.batch("select 2 y").body);
  EXPECT_EQ(find(ts, 0xA2), nullptr);
  // An event raised by the watcher's own batch comes after the first row
  // of the select that follows.
  ts = decode(watcher.batch("exec raise_event 'ev' select x from (select 1 x union all select 2)").body);
  std::vector<std::uint8_t> kinds;
  for (const Token& t : ts) kinds.push_back(t.tok);
  auto row1 = std::find(kinds.begin(), kinds.end(), 0xD1);
  ASSERT_NE(row1, kinds.end());
  EXPECT_EQ(*(row1 + 1), 0xA2);
  EXPECT_EQ(*(row1 + 2), 0xFD);
  EXPECT_EQ(*(row1 + 3), 0xD1);
}

TEST_F(StandinServerTest, BrowseInformationAndTimestampsOnTheWire) {
  standin::StandinServer srv(options());
  RawClient c(srv.port());
  logged_in_reply(c);
  c.batch("create table #b (id int primary key, b varchar(5), ts timestamp) insert #b (id, b) values (1, 'x')");
  // The key and the timestamp come hidden; the renamed column has its
  // source name; the expression has no table.
  auto ts = decode(c.batch("select b bee, id + 1 from #b for browse").body);
  const Token* fmt = find(ts, 0xEE);
  ASSERT_NE(fmt, nullptr);
  ASSERT_EQ(fmt->cols.size(), 4u);
  EXPECT_EQ(fmt->cols[3].usertype, 80u);
  EXPECT_EQ(fmt->cols[3].type, 37u);
  EXPECT_EQ(fmt->cols[3].maxlen, 8u);
  EXPECT_EQ(hex(find(ts, 0xA4)->raw), "02" "2362");
  EXPECT_EQ(hex(find(ts, 0xA5)->raw), "010120" "0162" "020004" "030118" "040110");
  std::string stamp = find(ts, 0xD1)->values[3].second;
  ASSERT_EQ(stamp.size(), 8u);
  // An update testing the timestamp returns the new one.
  ts = decode(c.batch("update #b set b = 'y' where id = 1 and tsequal(ts, 0x" + standin::hex_digits(stamp) + ")").body);
  const Token* rv = find(ts, 0xAC);
  ASSERT_NE(rv, nullptr);
  std::string h = hex(rv->raw);
  EXPECT_EQ(h.substr(0, 22), "027473" "01" "00000050" "25" "08" "08");
  EXPECT_NE(h.substr(22), standin::hex_digits(stamp));
  EXPECT_EQ(find(ts, 0xFD)->count, 1u);
  // The old timestamp finds nothing, and nothing comes back.
  ts = decode(c.batch("update #b set b = 'z' where tsequal(ts, 0x" + standin::hex_digits(stamp) + ")").body);
  EXPECT_EQ(find(ts, 0xAC), nullptr);
  EXPECT_EQ(find(ts, 0xFD)->count, 0u);
}
