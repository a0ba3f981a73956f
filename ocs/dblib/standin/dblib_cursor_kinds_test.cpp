// Each kind of client cursor against the stand-in server: every fetch type
// gives the rows and statuses its kind allows (or its error), and under each
// concurrency option an update, delete and insert through the cursor change
// exactly the intended rows of the SQLite table, while a row another
// connection changed meanwhile is refused by the optimistic options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db_crs.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

class CursorKinds : public standin_client::StandinClient {};

// A kind of cursor: its scroll option and a name for the messages.
struct Kind {
  const char* name;
  int scroll;
};

const Kind kKinds[] = {
    {"forward-only", DBCRS_FORWARD},
    {"dynamic", DBCRS_DYNAMIC},
    {"keyset-driven", DBCRS_KEYSET},
    {"mixed", 2},  // keyset blocks of 2 x nrows rows
};

// One fetch and what it must give: the return code, the values of a in the
// two buffer rows (0 when the row holds none), their statuses, or the error.
struct Step {
  int type, rownum;
  RETCODE rc;
  DBINT a0, a1;
  DBINT s0, s1;
  int err;  // 0: no error expected
};

constexpr DBINT F = DBCRS_ROW_FETCHED, EK = DBCRS_ROW_ENDKEYSET, ER = DBCRS_ROW_ENDRESULT;

TEST_F(CursorKinds, EveryFetchTypeGivesWhatTheKindAllows) {
  start("create table t (id int not null, a int);"
        "create unique index t_id on t (id);"
        "insert into t values (1, 10), (2, 20), (3, 30), (4, 40), (5, 50);");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  struct Case {
    const char* name;
    int scroll;
    std::vector<Step> steps;
  } cases[] = {
      {"forward-only",
       DBCRS_FORWARD,
       {
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 30, 40, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 50, 0, F | ER, 0, 0},
           {DBCRS_FETCH_PREV, 0, FAIL, 0, 0, 0, 0, 20266},
           {DBCRS_FETCH_RANDOM, 1, FAIL, 0, 0, 0, 0, 20264},
           {DBCRS_FETCH_RELATIVE, 1, FAIL, 0, 0, 0, 0, 20264},
           {DBCRS_FETCH_LAST, 0, FAIL, 0, 0, 0, 0, 20265},
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},
       }},
      {"dynamic",
       DBCRS_DYNAMIC,
       {
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 30, 40, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 50, 0, F | ER, 0, 0},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 30, 40, F, F, 0},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 10, 20, F, F, 0},
           {DBCRS_FETCH_RANDOM, 1, FAIL, 0, 0, 0, 0, 20264},
           {DBCRS_FETCH_RELATIVE, 1, FAIL, 0, 0, 0, 0, 20264},
           {DBCRS_FETCH_LAST, 0, FAIL, 0, 0, 0, 0, 20265},
       }},
      {"keyset-driven",
       DBCRS_KEYSET,
       {
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 30, 40, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 50, 0, F | EK | ER, 0, 0},
           {DBCRS_FETCH_NEXT, 0, FAIL, 0, 0, 0, 0, 20267},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 30, 40, F, F, 0},
           {DBCRS_FETCH_RANDOM, 2, SUCCEED, 20, 30, F, F, 0},
           {DBCRS_FETCH_RELATIVE, 2, SUCCEED, 40, 50, F, F | EK | ER, 0},
           {DBCRS_FETCH_RELATIVE, -4, FAIL, 0, 0, 0, 0, 20267},
           {DBCRS_FETCH_RANDOM, 6, FAIL, 0, 0, 0, 0, 20267},
           {DBCRS_FETCH_LAST, 0, SUCCEED, 40, 50, F, F | EK | ER, 0},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 20, 30, F, F, 0},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 10, 0, F, 0, 0},
           {DBCRS_FETCH_PREV, 0, FAIL, 0, 0, 0, 0, 20267},
       }},
      {"mixed, the result longer than the keyset of 4 rows",
       2,
       {
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 30, 40, F, F | EK, 0},
           {DBCRS_FETCH_RANDOM, 2, SUCCEED, 20, 30, F, F, 0},
           {DBCRS_FETCH_RELATIVE, 1, SUCCEED, 30, 40, F, F | EK, 0},
           {DBCRS_FETCH_RANDOM, 5, FAIL, 0, 0, 0, 0, 20267},
           {DBCRS_FETCH_LAST, 0, FAIL, 0, 0, 0, 0, 20265},
           {DBCRS_FETCH_NEXT, 0, SUCCEED, 50, 0, F | EK | ER, 0, 0},  // the next block
           {DBCRS_FETCH_PREV, 0, FAIL, 0, 0, 0, 0, 20268},
           {DBCRS_FETCH_FIRST, 0, SUCCEED, 10, 20, F, F, 0},  // the first block again
           {DBCRS_FETCH_PREV, 0, FAIL, 0, 0, 0, 0, 20267},
       }},
      {"mixed, the whole result in the keyset of 6 rows",
       3,
       {
           {DBCRS_FETCH_LAST, 0, SUCCEED, 40, 50, F, F | EK | ER, 0},
           {DBCRS_FETCH_PREV, 0, SUCCEED, 20, 30, F, F, 0},
           {DBCRS_FETCH_RELATIVE, -1, SUCCEED, 10, 20, F, F, 0},
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    DBINT status[2] = {-1, -1};
    DBCURSOR* c = dbcursoropen(db, "select a from t", k.scroll, DBCRS_READONLY, 2, status);
    ASSERT_NE(c, nullptr) << last_error();
    DBINT a[2] = {0, 0};
    ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);
    for (std::size_t i = 0; i < k.steps.size(); ++i) {
      const Step& s = k.steps[i];
      SCOPED_TRACE("step " + std::to_string(i) + ", fetch type " + std::to_string(s.type));
      errors().clear();
      a[0] = a[1] = 0;
      ASSERT_EQ(dbcursorfetch(c, s.type, s.rownum), s.rc);
      if (s.err != 0) {
        EXPECT_TRUE(saw_error(s.err));
        continue;
      }
      EXPECT_TRUE(errors().empty()) << errors().front().number;
      EXPECT_EQ(a[0], s.a0);
      EXPECT_EQ(a[1], s.a1);
      EXPECT_EQ(status[0], s.s0);
      EXPECT_EQ(status[1], s.s1);
    }
    EXPECT_EQ(dbcursorclose(c), SUCCEED);
  }
  EXPECT_TRUE(sent("sp_special_columns @table_name = 't' "));
  dbclose(db);
}

TEST_F(CursorKinds, RowOperationsOfEachKindAndConcurrencyChangeTheirRowOnly) {
  struct Concurrency {
    const char* name;
    int opt;
  } const concurrencies[] = {{"locking", DBCRS_LOCKCC}, {"by timestamp", DBCRS_OPTCC}, {"by values", DBCRS_OPTCCVAL}};
  // One table per case, keyed by a unique index, with a timestamp column.
  std::string schema;
  int n = 0;
  for (std::size_t k = 0; k < std::size(kKinds); ++k)
    for (std::size_t c = 0; c < std::size(concurrencies); ++c, ++n) {
      const std::string t = "t" + std::to_string(n);
      schema += "create table " + t + " (id int not null, a int, b varchar(10), ts timestamp);"
                "create unique index " + t + "_id on " + t + " (id);"
                "insert into " + t + " (id, a, b) values (1, 10, 'one'), (2, 20, 'two'), (3, 30, 'three'),"
                " (4, 40, 'four'), (5, 50, 'five');";
    }
  start(schema);
  DBPROCESS* db = open();
  DBPROCESS* other = open();
  ASSERT_NE(db, nullptr);
  ASSERT_NE(other, nullptr);
  n = 0;
  for (const Kind& kind : kKinds)
    for (const Concurrency& cc : concurrencies) {
      const std::string t = "t" + std::to_string(n++);
      SCOPED_TRACE(std::string(kind.name) + " cursor, " + cc.name + ", table " + t);
      DBINT status[2];
      DBCURSOR* c = dbcursoropen(db, ("select a, b from " + t + " where id > 1").c_str(), kind.scroll, cc.opt, 2, status);
      ASSERT_NE(c, nullptr) << last_error();
      DBINT a[2] = {0, 0};
      char b[2][11] = {};
      ASSERT_EQ(bind_ints(c, 1, a), SUCCEED);
      ASSERT_EQ(bind_strings(c, 2, b), SUCCEED);
      ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_FIRST, 0), SUCCEED);
      ASSERT_EQ(dbcursorfetch(c, DBCRS_FETCH_NEXT, 0), SUCCEED);  // rows 4 and 5
      ASSERT_EQ(a[0], 40);
      ASSERT_EQ(a[1], 50);
      // (A locking cursor's locks are updates: they renew the timestamps.)
      const Rows ts0 = rows("select ts from " + t + " order by id");
      ASSERT_EQ(ts0.size(), 5u);

      // An update of buffer row 2 changes row 5 only, and renews its
      // timestamp only; the buffer shows the new values.
      ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 2, nullptr, "set a = 51, b = 'fifty''1'"), SUCCEED);
      EXPECT_EQ(a[1], 51);
      EXPECT_STREQ(b[1], "fifty'1");
      EXPECT_EQ(rows("select id, a, b from " + t + " order by id"),
                (Rows{{"1", "10", "one"}, {"2", "20", "two"}, {"3", "30", "three"}, {"4", "40", "four"},
                      {"5", "51", "fifty'1"}}));
      Rows ts1 = rows("select ts from " + t + " order by id");
      for (int r = 0; r < 4; ++r) EXPECT_EQ(ts1[r], ts0[r]) << r;
      EXPECT_NE(ts1[4], ts0[4]);
      // A second update of the same row tests what the first left behind
      // (the new timestamp, the new values).
      ASSERT_EQ(dbcursor(c, DBCRS_UPDATE, 2, nullptr, "set a = 52"), SUCCEED);
      EXPECT_EQ(rows("select a from " + t + " where id = 5"), (Rows{{"52"}}));

      // Another connection changes row 4 through the server: the optimistic
      // cursors refuse to update it; the locking one, whose lock SQLite
      // does not hold between calls, finds it by its key.
      ASSERT_TRUE(run_batch(other, "update " + t + " set b = 'other' where id = 4"));
      errors().clear();
      const RETCODE rc = dbcursor(c, DBCRS_UPDATE, 1, nullptr, "set a = 41");
      if (cc.opt == DBCRS_LOCKCC) {
        EXPECT_EQ(rc, SUCCEED);
        EXPECT_EQ(rows("select a, b from " + t + " where id = 4"), (Rows{{"41", "other"}}));
      } else {
        EXPECT_EQ(rc, FAIL);
        EXPECT_TRUE(saw_error(20276));
        EXPECT_EQ(rows("select a, b from " + t + " where id = 4"), (Rows{{"40", "other"}}));
      }

      // A delete removes its row, an insert adds one.
      ASSERT_EQ(dbcursor(c, DBCRS_DELETE, 2, nullptr, nullptr), SUCCEED);
      ASSERT_EQ(dbcursor(c, DBCRS_INSERT, 1, nullptr, "(id, a, b) values (9, 90, 'nine')"), SUCCEED);
      const std::string a4 = cc.opt == DBCRS_LOCKCC ? "41" : "40";
      EXPECT_EQ(rows("select id, a, b from " + t + " order by id"),
                (Rows{{"1", "10", "one"}, {"2", "20", "two"}, {"3", "30", "three"}, {"4", a4, "other"},
                      {"9", "90", "nine"}}));
      EXPECT_NE(rows("select ts from " + t + " where id = 9")[0][0], "NULL");
      EXPECT_EQ(dbcursorclose(c), SUCCEED);
    }
  dbclose(other);
  dbclose(db);
  // The locking dynamic cursor read its rows with shared locks held.
  EXPECT_TRUE(sent("select a, b , t3.id from t3 HOLDLOCK where id > 1 and  ((t3.id > 3) )  order by t3.id"));
}

}  // namespace
