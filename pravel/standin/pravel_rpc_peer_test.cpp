// A stored-procedure call through the access layer and the real DB client
// against a scripted peer that answers with return values: the input and
// return parameters' values on the wire, and the values the return
// parameters' variables receive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db_testpeer.h"
#include "pravel/pravel.h"

using namespace testpeer;

namespace {

// Answers the login, every batch with a DONE (a "use" with its database
// change), and the procedure call with its status and return values; the
// call's message is kept.
Peer::Script procedure_server(Bytes* call) {
  return [call](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(login_ok(true));
    while (c.read_message(&msg)) {
      if (!msg.empty() && msg[0] == 0xE6) {
        *call = msg;
        Bytes rv = retvalue({retvalue_entry("@count", 1, 38, 4, {0, 0, 0, 42}),
                             retvalue_entry("@in", 0, 38, 4, {0, 0, 0, 7}),
                             retvalue_entry("@total", 1, 38, 2, {0xFF, 0xF7}),
                             retvalue_entry("@ratio", 1, 109, 8, {0x40, 0x02, 0, 0, 0, 0, 0, 0}),
                             retvalue_entry("@scale", 1, 109, 4, {0x3F, 0, 0, 0}),
                             retvalue_entry("@label", 1, 39, 10, {'a', 'b', 'c', 'd'})});
        c.send_message(cat({Bytes{0x79, 0, 0, 0, 0}, rv, done(0, 0, 0xFE)}));
      } else if (std::string(msg.begin(), msg.end()).find("use ") != std::string::npos) {
        c.send_message(cat({envchange(1, "orvo", "master"), done(0)}));
      } else {
        c.send_message(done(0));
      }
    }
  };
}

}  // namespace

TEST(PravelRpcPeer, ReturnParametersReceiveTheValuesInHostOrder) {
  Bytes call;
  Peer peer(procedure_server(&call));
  std::string dir = temp_dir();
  write_interfaces(dir, "PEERSRV", peer.port());

  pravel_setup(3, 1, "calread");
  pravel_setup(3, 2, "secret");
  pravel_query_setup(3, "sp", 1, 2, "PEERSRV", "orvo", nullptr);
  ASSERT_EQ(qelt_stored_command(3, "get_comp"), 0);
  ASSERT_EQ(qelt_int_param(3, "n", 42), 0);
  int count = 1;
  short total = -1;
  double ratio = -1;
  float scale = -1;
  char label[11];
  std::memset(label, '#', sizeof label);
  ASSERT_EQ(qelt_int_ret_param(3, "count", &count), 0);
  ASSERT_EQ(qelt_short_ret_param(3, "total", &total), 0);
  ASSERT_EQ(qelt_double_ret_param(3, "ratio", &ratio), 0);
  ASSERT_EQ(qelt_float_ret_param(3, "scale", &scale), 0);
  ASSERT_EQ(qelt_string_ret_param(3, "label", label, 10), 0);
  int r;
  while ((r = pravel_get_exec(3)) == 0) {
  }
  EXPECT_EQ(r, 1);
  EXPECT_EQ(count, 42);
  EXPECT_EQ(total, -9);
  EXPECT_EQ(ratio, 2.25);
  EXPECT_EQ(scale, 0.5f);
  EXPECT_STREQ(label, "abcd");
  EXPECT_EQ(qelt_close_query(3), 0);
  qelt_disconnect_dbms(3);
  peer.join();

  // @n = 42 and the return variables' values as they were sent: int-n,
  // int-n, float-n, float-n, each big-endian, then the string's bytes.
  Bytes sent = rpc_params_of(call);
  Bytes want = {4, 0, 0, 0, 42,  4, 0, 0, 0, 1,  2, 0xFF, 0xFF,
                8, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0,  4, 0xBF, 0x80, 0, 0,  10};
  want.insert(want.end(), 10, '#');
  EXPECT_EQ(sent, want);
}
