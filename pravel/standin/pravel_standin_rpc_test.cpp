// Stored-procedure calls through the access layer and the real DB client
// against the stand-in server's procedures: input parameters of each kind
// reach the server as the values given (its log shows their bytes), the
// procedure's result set is read through bindings, return parameters
// receive the values the procedure computed, and a non-zero return status
// fails the query.  A process of its own: the DB client
// reads its installation (and so the server's address) once per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pravel/pravel.h"
#include "standin/standin.h"

namespace {

int g_failures = 0;
void count_failure() { ++g_failures; }

// A bound string as the access layer delivers it, without its padding.
std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<std::string> logged(const standin::StandinServer& srv, const std::string& event) {
  std::vector<std::string> out;
  for (const standin::LogLine& l : srv.log())
    if (l.event == event) out.push_back(l.detail);
  return out;
}

}  // namespace

TEST(PravelStandinRpc, ReturnParametersReceiveWhatTheProcedureComputed) {
  auto srv = std::make_unique<standin::StandinServer>(standin::ServerOptions{});
  ::setenv("MERROW", srv->make_home("ORVO_TEST").c_str(), 1);
  pravel_setup(3, 1, "calread");
  pravel_setup(3, 2, "tuvelmark");
  pravel_query_setup(3, "sp", 1, 2, "ORVO_TEST", "orvo_ops", count_failure);

  const char* sql =
      "select @n + 1 count, @s - 7 total, @x * 2 ratio, @r / 3 scale, upper(@name) label,"
      " upper(@c) initial, hex(@b) hexed, (@z is null) missing";
  const unsigned char bytes[] = {0xca, 0xfe};
  ASSERT_EQ(qelt_stored_command(3, "Run_SQL  "), 0);
  ASSERT_EQ(qelt_string_param(3, "sql", sql), 0);
  ASSERT_EQ(qelt_int_param(3, "n", 42), 0);
  ASSERT_EQ(qelt_short_param(3, "s", -2), 0);
  ASSERT_EQ(qelt_double_param(3, "x", 1.125), 0);
  ASSERT_EQ(qelt_real_param(3, "r", 1.5f), 0);
  ASSERT_EQ(qelt_string_param(3, "name", "abcd"), 0);
  ASSERT_EQ(qelt_single_char_param(3, "c", 'q'), 0);
  ASSERT_EQ(qelt_binary_param(3, "b", bytes, 2), 0);
  ASSERT_EQ(qelt_null_param(3, "z"), 0);
  int count = 1, missing = -1;
  short total = -1;
  double ratio = -1;
  float scale = -1;
  char label[11], hexed[11], initial = '#';
  std::memset(label, '#', sizeof label);
  std::memset(hexed, '#', sizeof hexed);
  ASSERT_EQ(qelt_int_ret_param(3, "count", &count), 0);
  ASSERT_EQ(qelt_short_ret_param(3, "total", &total), 0);
  ASSERT_EQ(qelt_double_ret_param(3, "ratio", &ratio), 0);
  ASSERT_EQ(qelt_float_ret_param(3, "scale", &scale), 0);
  ASSERT_EQ(qelt_string_ret_param(3, "label", label, 10), 0);
  ASSERT_EQ(qelt_single_char_ret_param(3, "initial", &initial), 0);
  ASSERT_EQ(qelt_string_ret_param(3, "hexed", hexed, 10), 0);
  ASSERT_EQ(qelt_int_ret_param(3, "missing", &missing), 0);
  // The procedure's result set is read through bindings as any other.
  int row_count = 0, row_missing = 0, rows = 0;
  short row_total = 0;
  double row_ratio = 0;
  float row_scale = 0;
  char row_label[11] = "", row_initial = 0, row_hexed[11] = "";
  ASSERT_EQ(qelt_bind_int(3, "count", &row_count), 0);
  ASSERT_EQ(qelt_bind_short(3, "total", &row_total), 0);
  ASSERT_EQ(qelt_bind_double(3, "ratio", &row_ratio), 0);
  ASSERT_EQ(qelt_bind_float(3, "scale", &row_scale), 0);
  ASSERT_EQ(qelt_bind_string(3, "label", row_label, 10), 0);
  ASSERT_EQ(qelt_bind_single_char(3, "initial", &row_initial), 0);
  ASSERT_EQ(qelt_bind_string(3, "hexed", row_hexed, 10), 0);
  ASSERT_EQ(qelt_bind_int(3, "missing", &row_missing), 0);
  int r;
  while ((r = pravel_get_exec(3)) == 0) ++rows;
  EXPECT_EQ(r, 1);
  EXPECT_EQ(g_failures, 0);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(row_count, 43);
  EXPECT_EQ(row_total, -9);
  EXPECT_EQ(row_ratio, 2.25);
  EXPECT_EQ(row_scale, 0.5f);
  EXPECT_EQ(rtrim(row_label), "ABCD");
  EXPECT_EQ(row_initial, 'Q');
  EXPECT_EQ(rtrim(row_hexed), "CAFE");
  EXPECT_EQ(row_missing, 1);
  // The return parameters receive the same values as output parameters.
  EXPECT_EQ(count, 43);
  EXPECT_EQ(total, -9);
  EXPECT_EQ(ratio, 2.25);
  EXPECT_EQ(scale, 0.5f);
  EXPECT_STREQ(label, "ABCD");
  EXPECT_EQ(initial, 'Q');
  EXPECT_STREQ(hexed, "CAFE");
  EXPECT_EQ(missing, 1);
  EXPECT_EQ(qelt_close_query(3), 0);

  // The server's reading of each parameter: bytes on the wire and value.
  std::vector<std::string> params = logged(*srv, "rpcparam");
  const char* want[] = {
      "@n status=0 type=38 length=4 data=0000002a value=42",
      "@s status=0 type=38 length=2 data=fffe value=-2",
      "@x status=0 type=109 length=8 data=3ff2000000000000 value=1.125",
      "@r status=0 type=109 length=4 data=3fc00000 value=1.5",
      "@name status=0 type=39 length=255 data=61626364 value=abcd",
      "@c status=0 type=39 length=255 data=71 value=q",
      "@b status=0 type=37 length=255 data=cafe value=0xcafe",
      "@z status=0 type=37 length=255 data=NULL value=NULL",
      "@count status=1 type=38 length=4 data=00000001 value=1",
      "@total status=1 type=38 length=2 data=ffff value=-1",
      "@ratio status=1 type=109 length=8 data=bff0000000000000 value=-1",
      "@scale status=1 type=109 length=4 data=bf800000 value=-1",
      "@label status=1 type=39 length=255 data=23232323232323232323 value=##########",
      "@initial status=1 type=39 length=255 data=23 value=#",
      "@hexed status=1 type=39 length=255 data=23232323232323232323 value=##########",
      "@missing status=1 type=38 length=4 data=ffffffff value=-1",
  };
  ASSERT_EQ(params.size(), 1 + std::size(want));  // @sql first
  for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(params[i + 1], want[i]) << i;
  EXPECT_EQ(logged(*srv, "rpc"), (std::vector<std::string>{"run_sql"}));

  // A procedure whose return status is not 0 fails the query at its end.
  ASSERT_EQ(qelt_stored_command(3, "run_sql"), 0);
  ASSERT_EQ(qelt_string_param(3, "sql", "create table #scratch (a int)"), 0);
  ASSERT_EQ(qelt_int_param(3, "status", 3), 0);
  while ((r = pravel_get_exec(3)) == 0) {
  }
  EXPECT_EQ(r, -1);
  EXPECT_EQ(g_failures, 1);  // the query's handler hears of it once
  EXPECT_EQ(qelt_close_query(3), 0);
  qelt_disconnect_dbms(3);
  srv.reset();
  ::unsetenv("MERROW");
}
