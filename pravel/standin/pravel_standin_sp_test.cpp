// A stored-procedure call through the access layer and the real DB client
// against the stand-in server.  A process of its own: the DB client reads
// its installation (and so the server's address) once per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "pravel/pravel.h"
#include "standin/standin.h"

namespace {
int g_sp_handler_calls = 0;
void sp_handler() { ++g_sp_handler_calls; }
}  // namespace

// The stand-in server keeps no stored procedures: a call with input and
// return parameters goes out through the real DB client, reaches the server
// by name, and comes back refused with message 2812 through the handler.
TEST(PravelStandinRpc, StoredProcedureCallReachesTheServerAndIsRefused) {
  std::string dir = standin::make_temp_dir("pravel-standin-sp");
  auto srv = std::make_unique<standin::StandinServer>(standin::ServerOptions{});
  ::setenv("MERROW", srv->make_home("ORVO_TEST").c_str(), 1);

  pravel_setup(2, 1, "calread");
  pravel_setup(2, 2, "tuvelmark");
  pravel_query_setup(2, "sp", 1, 2, "ORVO_TEST", "master", sp_handler);
  ASSERT_EQ(g_sp_handler_calls, 0);
  ASSERT_EQ(qelt_stored_command(2, "Get_Comp  "), 0);
  EXPECT_EQ(qelt_int_param(2, "n", 42), 0);
  EXPECT_EQ(qelt_string_param(2, "name", "acs_f555w"), 0);
  EXPECT_EQ(qelt_null_param(2, "z"), 0);
  int count = -1;
  char label[11] = "";
  EXPECT_EQ(qelt_int_ret_param(2, "count", &count), 0);
  EXPECT_EQ(qelt_string_ret_param(2, "label", label, 10), 0);
  EXPECT_EQ(g_sp_handler_calls, 0);

  int r;
  while ((r = pravel_get_exec(2)) == 0) {
  }
  EXPECT_EQ(r, -1);
  EXPECT_GE(g_sp_handler_calls, 1);
  EXPECT_EQ(qelt_get_status(2), 2812);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(qelt_close_query(2), 0);

  bool seen = false;
  for (const standin::LogLine& l : srv->log())
    if (l.event == "rpc" && l.detail == "get_comp") seen = true;
  EXPECT_TRUE(seen);
  qelt_disconnect_dbms(2);
  srv.reset();
  ::unsetenv("MERROW");
  standin::remove_tree(dir);
}
