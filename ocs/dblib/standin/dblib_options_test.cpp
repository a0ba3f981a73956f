// Options against the stand-in server: a new row count reaches the server
// as complete statements however the old one was set, and the server then
// limits the rows of the next query to it.
#include <gtest/gtest.h>

#include "standin_fixture.h"

using namespace standin_client;

namespace {

using Options = standin_client::StandinClient;

// The ids a query returns on `db`, or {-1} when the batch failed.
std::vector<int> ids(DBPROCESS* db) {
  if (dbcmd(db, "select id from t order by id") != SUCCEED || dbsqlexec(db) != SUCCEED) return {-1};
  std::vector<int> out;
  while (dbresults(db) == SUCCEED)
    while (dbnextrow(db) == REG_ROW) out.push_back(*reinterpret_cast<DBINT*>(dbdata(db, 1)));
  return out;
}

TEST_F(Options, ANewRowCountGoesOutAsCompleteStatements) {
  struct Case {
    const char* name;
    void (*before)(DBPROCESS*);  // how the row count was set before
    std::vector<std::string> sent;  // the option batches of the new setting
  } cases[] = {
      {"set to 0 by the caller",
       [](DBPROCESS* db) {
         ASSERT_EQ(dbsetopt(db, DBROWCOUNT, "0", -1), SUCCEED);
         ASSERT_EQ(ids(db), (std::vector<int>{1, 2, 3}));
       },
       {"set rowcount 2\n"}},
      {"set to 1 by the caller",
       [](DBPROCESS* db) {
         ASSERT_EQ(dbsetopt(db, DBROWCOUNT, "1", -1), SUCCEED);
         ASSERT_EQ(ids(db), (std::vector<int>{1}));
       },
       {"set rowcount 2\n"}},
      {"set twice before the batch",
       [](DBPROCESS* db) { ASSERT_EQ(dbsetopt(db, DBROWCOUNT, "1", -1), SUCCEED); },
       {"set rowcount 1\nset rowcount 2\n"}},
      {"restored to 0 by a keyset cursor",
       [](DBPROCESS* db) {
         DBINT status[2];
         DBCURSOR* c = dbcursoropen(db, "select a from t", DBCRS_KEYSET, DBCRS_READONLY, 2, status);
         ASSERT_NE(c, nullptr) << last_error();
         ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
         dbcursorclose(c);
       },
       {"set rowcount 2\n"}},
  };
  start(kThreeRows);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    DBPROCESS* db = open();
    ASSERT_NE(db, nullptr) << last_error();
    k.before(db);
    std::size_t from = batches().size();
    errors().clear();
    ASSERT_EQ(dbsetopt(db, DBROWCOUNT, "2", -1), SUCCEED);
    EXPECT_EQ(ids(db), (std::vector<int>{1, 2})) << last_error();
    EXPECT_TRUE(errors().empty()) << last_error();
    std::vector<std::string> got = batches(from);
    ASSERT_GE(got.size(), k.sent.size() + 1);
    for (std::size_t i = 0; i < k.sent.size(); ++i) EXPECT_EQ(got[i], k.sent[i]) << i;
    dbclose(db);
  }
}

}  // namespace
