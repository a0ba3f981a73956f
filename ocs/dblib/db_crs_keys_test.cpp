// A view cursor over a server that marks a view's key column hidden (the
// view leaves it out): the open is refused with 20258.  The stand-in server
// never sends such column information, so a scripted peer does; cursors
// against the server are tested in standin/dblib_cursor_keys_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "db_crs.h"
#include "db_crs_testrows.h"

using namespace testpeer;
using namespace crstest;

namespace {

class DbCursorKeys : public PeerTest {};

TEST_F(DbCursorKeys, AViewWhoseKeyIsHiddenIsRefused) {
  const std::vector<Col> tables = {
      {"qual", MERVARCHAR, 30}, {"owner", MERVARCHAR, 30}, {"name", MERVARCHAR, 30}, {"type", MERVARCHAR, 30}};
  const std::vector<Col> view = {{"a", MERINT4}, {"k", MERINT4}};
  Bytes hidden_key = result(view, {}, cat({tabname({"base"}), colinfo({{1, 1, 0}, {2, 1, 0x18}})}));
  std::vector<Bytes> got;
  Peer peer(session({result(tables, {{str("db"), str("dbo"), str("v"), str("VIEW")}}), hidden_key}, &got));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  DBINT status[1];
  EXPECT_EQ(dbcursoropen(db, "select a from v", DBCRS_DYNAMIC, DBCRS_READONLY, 1, status), nullptr);
  EXPECT_TRUE(saw_error(20258));
  dbclose(db);
  peer.join();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(sql_of(got[1]), "select  * from v where 0 = 1 for browse ");
}

}  // namespace
