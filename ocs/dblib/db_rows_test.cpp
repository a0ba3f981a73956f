// Tests of rows: the reused row record, the bounded row buffer, NULL
// values, text limits and hidden columns.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

class DbRows : public PeerTest {
 protected:
  // Opens a connection to `peer` into `*db`, sets `option` to `value` (not
  // when the value is empty) and sends `sql`, reading up to its first
  // result set.
  void open_select(Peer& peer, DBPROCESS** db, const char* sql, int option = DBBUFFER,
                   const char* value = "") {
    *db = open_to(peer, dir_);
    ASSERT_NE(*db, nullptr);
    if (*value) {
      ASSERT_EQ(dbsetopt(*db, option, value, 0), SUCCEED);
    }
    dbcmd(*db, sql);
    ASSERT_EQ(dbsqlexec(*db), SUCCEED);
    ASSERT_EQ(dbresults(*db), SUCCEED);
  }
};

std::string value(DBPROCESS* db, int col) {
  BYTE* d = dbdata(db, col);
  return d ? std::string(reinterpret_cast<char*>(d), static_cast<size_t>(dbdatlen(db, col))) : "<null>";
}

TEST_F(DbRows, BufferHoldsRowsUpToItsLimit) {
  Bytes rows = cat({varchar_result("v", {"r1", "r2", "r3"}), done(0x10, 3)});
  Peer peer(session({rows}));
  DBPROCESS* db = nullptr;
  ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select v", DBBUFFER, "2"));
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "r1");
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "r2");
  EXPECT_EQ(dbnextrow(db), BUF_FULL);
  EXPECT_EQ(dbfirstrow(db), 1);
  EXPECT_EQ(dblastrow(db), 2);
  dbclrbuf(db, 1);
  EXPECT_EQ(dbfirstrow(db), 2);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "r3");
  EXPECT_EQ(dbcurrow(db), 3);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  dbclose(db);
}

// Ends the process when a call under test has not returned in time, so
// that a hang fails the test run instead of stalling it.
class Watchdog {
 public:
  explicit Watchdog(const char* what) : thread_([this, what] {
    std::unique_lock<std::mutex> lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::seconds(20), [this] { return done_; })) {
      std::fprintf(stderr, "%s did not return\n", what);
      std::abort();
    }
  }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      done_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// A buffer of one row: dbnextrow walks every row, the held row giving way
// to the next (dropping rows always keeps the last one, so BUF_FULL could
// never be cleared).
TEST_F(DbRows, OneRowBufferWalksEveryRow) {
  Peer peer(session({cat({varchar_result("v", {"r1", "r2", "r3"}), done(0x10, 3)})}));
  DBPROCESS* db = nullptr;
  ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select v", DBBUFFER, "1"));
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(dbnextrow(db), REG_ROW) << i;
    EXPECT_EQ(value(db, 1), "r" + std::to_string(i));
    EXPECT_EQ(dbcurrow(db), i);
    EXPECT_EQ(dbfirstrow(db), i);
    EXPECT_EQ(dblastrow(db), i);
  }
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  dbclose(db);
}

// dbcanquery after the first row, whatever the buffer holds: the rest of
// the result set is read and dropped, the bound variable left alone, and
// the next result set is read as usual.
TEST_F(DbRows, CanqueryDropsTheRestWhateverTheBufferHolds) {
  for (const char* limit : {"0", "1", "2", "1000"}) {
    Bytes rows = cat({varchar_result("v", {"r1", "r2", "r3"}), done(0x11, 3),
                      varchar_result("w", {"s1"}), done(0x10, 1)});
    Peer peer(session({rows}));
    DBPROCESS* db = nullptr;
    const char* buffer = std::string(limit) == "0" ? "" : limit;
    ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select v; select w", DBBUFFER, buffer));
    char bound[8] = "";
    ASSERT_EQ(dbbind(db, 1, NTBSTRINGBIND, sizeof bound, reinterpret_cast<BYTE*>(bound)), SUCCEED);
    ASSERT_EQ(dbnextrow(db), REG_ROW);
    EXPECT_STREQ(bound, "r1");
    std::strcpy(bound, "kept");
    {
      Watchdog dog("dbcanquery");
      EXPECT_EQ(dbcanquery(db), SUCCEED) << limit;
    }
    EXPECT_STREQ(bound, "kept") << limit;
    EXPECT_EQ(dbcount(db), 3) << limit;
    ASSERT_EQ(dbresults(db), SUCCEED) << limit;
    ASSERT_EQ(dbnextrow(db), REG_ROW) << limit;
    EXPECT_EQ(value(db, 1), "s1");
    EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
    EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
    dbclose(db);
  }
}

// A buffered row whose stream goes bad after it is dropped with the
// connection (it was left outside the buffer, where nothing freed it).
TEST_F(DbRows, BufferedRowBeforeABadTokenIsFreed) {
  Bytes rows = cat({varchar_result("v", {"r1", "r2"}), Bytes{0x03}});
  Peer peer(session({rows}));
  DBPROCESS* db = nullptr;
  ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select v", DBBUFFER, "3"));
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "r1");
  EXPECT_EQ(dbnextrow(db), FAIL);
  EXPECT_TRUE(saw_error(20020));
  EXPECT_TRUE(dbdead(db));
  EXPECT_EQ(dbcurrow(db), 1);
  EXPECT_EQ(dblastrow(db), 1);
  dbclose(db);
}

// A ROWFMT of one text column, and a ROW of that column announcing `len`
// bytes followed by `data`.
Bytes text_format() {
  Bytes body;
  put16(&body, 1);
  put_column(&body, "c", 35);
  put32(&body, 0x7fffffff);
  put16(&body, 1); body.push_back('t'); body.push_back(0);
  return rowfmt_token(body);
}
Bytes text_row(int32_t len, const std::string& data) {
  Bytes r = {0xD1, 8};
  for (int i = 0; i < 16; ++i) r.push_back(static_cast<unsigned char>(i));
  put32(&r, len);
  putstr(&r, data);
  return r;
}

// Rows read the same wherever the packets break them: each row of a
// varchar(5), a datetime, an int and a text column is sent in packets of
// 512 bytes (most rows inside one packet), of sizes that break rows at
// every place, and of one body byte each.  NULLs, a varchar longer than
// its column (cut), text cut at the text limit, and the integers put into
// the host's order are the same in every case.
TEST_F(DbRows, RowsReadTheSameWherePacketsBreakThem) {
  Bytes body;
  put16(&body, 4);
  put_column(&body, "v", 39); body.push_back(5); body.push_back(0);
  put_column(&body, "d", 61); body.push_back(0);
  put_column(&body, "n", 56); body.push_back(0);
  put_column(&body, "t", 35); put32(&body, 1000); put16(&body, 1); body.push_back('x'); body.push_back(0);
  const Bytes fmt = rowfmt_token(body);
  struct Row { bool vnull; std::string v; int32_t days, ticks, n; bool tnull; std::string t; };
  std::vector<Row> want;
  Bytes rows;
  for (int r = 0; r < 40; ++r) {
    Row w{r % 4 == 0, std::string(static_cast<size_t>(1 + r % 8), static_cast<char>('a' + r % 26)),
          r * 1000 - 20000, r * 301, r * 1001 - 7, r % 5 == 0,
          std::string(static_cast<size_t>(1 + r * 7 % 40), static_cast<char>('A' + r % 26))};
    want.push_back(w);
    rows.push_back(0xD1);
    if (w.vnull) rows.push_back(0);
    else { rows.push_back(static_cast<unsigned char>(w.v.size())); putstr(&rows, w.v); }
    put32(&rows, w.days);
    put32(&rows, w.ticks);
    put32(&rows, w.n);
    if (w.tnull) {
      rows.push_back(0);
    } else {
      rows.push_back(16);
      for (int i = 0; i < 24; ++i) rows.push_back(static_cast<unsigned char>(r + i));
      put32(&rows, static_cast<int32_t>(w.t.size()));
      putstr(&rows, w.t);
    }
  }
  Bytes reply = cat({fmt, rows, done(0x10, static_cast<int32_t>(want.size()))});
  for (int size : {512, 97, 61, 9}) {
    reset_handlers();
    Peer peer(session({reply}, nullptr, nullptr, size));
    DBPROCESS* db = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select v, d, n, t", DBTEXTLIMIT, "10"));
    for (const Row& w : want) {
      ASSERT_EQ(dbnextrow(db), REG_ROW) << size;
      EXPECT_EQ(value(db, 1), w.vnull ? "<null>" : w.v.substr(0, 5)) << size;
      ASSERT_EQ(dbdatlen(db, 2), 8);
      int32_t dt[2];
      std::memcpy(dt, dbdata(db, 2), 8);
      EXPECT_EQ(dt[0], w.days) << size;
      EXPECT_EQ(dt[1], w.ticks) << size;
      int32_t n;
      std::memcpy(&n, dbdata(db, 3), 4);
      EXPECT_EQ(n, w.n) << size;
      EXPECT_EQ(value(db, 4), w.tnull ? "<null>" : w.t.substr(0, 10)) << size;
      if (!w.tnull) {
        const dbcolvalue& t = db->currow->values[3];
        EXPECT_EQ(t.textptrlen, 16);
        EXPECT_EQ(t.textptr[15], static_cast<BYTE>(&w - want.data() + 15)) << size;
        EXPECT_EQ(t.timestamp[7], static_cast<BYTE>(&w - want.data() + 23)) << size;
      }
    }
    EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
    EXPECT_TRUE(errors().empty());
    dbclose(db);
    peer.join();
  }
}

// A text value's length from the wire sizes no allocation: a reply of a few
// dozen bytes announcing a 2 GB value that never comes ends in the read
// error with the connection dead, and no block near that size is asked
// for.  Values that do arrive, large and small, are read whole.
TEST_F(DbRows, TextLengthFromTheWireSizesNoAllocation) {
  Bytes reply = cat({text_format(), text_row(0x7fffffff, "")});
  ASSERT_LT(reply.size(), 64u);
  Peer peer(answer_once(reply));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  comn_alloc_set_limit(64u << 20);
  dbcmd(db, "select c");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), FAIL);
  std::size_t largest = comn_alloc_largest_request();
  comn_alloc_set_limit(0);
  EXPECT_LT(largest, 1u << 20);
  EXPECT_TRUE(saw_error(20017));
  EXPECT_FALSE(saw_error(20010));
  EXPECT_TRUE(dbdead(db));
  dbclose(db);
  peer.join();

  for (const char* buffer : {"", "5"}) {
    reset_handlers();
    std::string big(300000, 'x');
    for (size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>('a' + i % 26);
    Bytes rows = cat({text_format(), text_row(static_cast<int32_t>(big.size()), big), text_row(3, "abc"),
                      text_row(static_cast<int32_t>(big.size()), big), done(0x10, 3)});
    Peer whole(session({rows}));
    ASSERT_NO_FATAL_FAILURE(open_select(whole, &db, "select c", DBBUFFER, buffer));
    ASSERT_EQ(dbnextrow(db), REG_ROW);
    EXPECT_EQ(value(db, 1), big);
    ASSERT_EQ(dbnextrow(db), REG_ROW);
    EXPECT_EQ(value(db, 1), "abc");
    ASSERT_EQ(dbnextrow(db), REG_ROW);
    EXPECT_EQ(value(db, 1), big);
    EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
    EXPECT_TRUE(errors().empty());
    dbclose(db);
  }
}

// A negative text length (-1 included, which is not NULL on the wire) is a
// broken stream: the row fails with 20020 and the connection is dead, in the
// first row as in the reused record of a later one.
TEST_F(DbRows, NegativeTextLengthKillsTheConnection) {
  for (int32_t len : {-1, -2, INT32_MIN})
    for (bool later : {false, true}) {
    reset_handlers();
    Bytes rows = later ? cat({text_format(), text_row(3, "abc"), text_row(len, ""), done(0x10, 2)})
                       : cat({text_format(), text_row(len, ""), done(0x10, 1)});
    Peer peer(session({rows}));
    DBPROCESS* db = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select c"));
    if (later) {
      ASSERT_EQ(dbnextrow(db), REG_ROW);
      EXPECT_EQ(value(db, 1), "abc");
    }
    EXPECT_EQ(dbnextrow(db), FAIL) << len;
    EXPECT_TRUE(saw_error(20020)) << len;
    EXPECT_TRUE(dbdead(db)) << len;
    dbclose(db);
  }
}

// A value of a nullable fixed datatype is as long as its format says: the
// column's type (and so every reader of its value) goes by that length.  A
// value of another length ends the row with the datatype's length error and
// the connection dead, buffered or not; the value of the right length
// before it reads as usual.
TEST_F(DbRows, NullableFixedValueOfAnotherLengthKillsTheConnection) {
  const struct {
    int type, maxlen, wrong, err;
  } cases[] = {{38, 4, 3, 20025}, {38, 1, 4, 20025}, {109, 8, 4, 20145},
               {110, 4, 8, 20144}, {111, 8, 2, 20143}};
  for (const auto& c : cases) {
    for (const char* buffer : {"", "4"}) {
      reset_handlers();
      Bytes body;
      put16(&body, 1);
      put_column(&body, "n", c.type);
      body.push_back(static_cast<unsigned char>(c.maxlen));
      body.push_back(0);
      auto row = [](int len) {
        Bytes r = {0xD1, static_cast<unsigned char>(len)};
        for (int i = 0; i < len; ++i) r.push_back(static_cast<unsigned char>(i + 1));
        return r;
      };
      Peer peer(answer_once(cat({rowfmt_token(body), row(c.maxlen), row(c.wrong), done(0x10, 2)})));
      DBPROCESS* db = nullptr;
      ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select n", DBBUFFER, buffer));
      std::string what = "type " + std::to_string(c.type) + " of " + std::to_string(c.maxlen) +
                         " with " + std::to_string(c.wrong) + (*buffer ? ", buffered" : "");
      ASSERT_EQ(dbnextrow(db), REG_ROW) << what;
      EXPECT_EQ(dbdatlen(db, 1), c.maxlen) << what;
      EXPECT_EQ(dbnextrow(db), FAIL) << what;
      EXPECT_TRUE(saw_error(c.err)) << what;
      EXPECT_TRUE(dbdead(db)) << what;
      dbclose(db);
      peer.join();
    }
  }
}

TEST_F(DbRows, NullValuesTextLimitAndHiddenColumns) {
  // Three columns: varchar a, text t, int-n h (hidden by COLINFO).
  Bytes body;
  put16(&body, 3);
  put_column(&body, "a", 39); body.push_back(20); body.push_back(0);
  put_column(&body, "t", 35); put32(&body, 1000);
  put16(&body, 2); body.push_back('t'); body.push_back('1'); body.push_back(0);
  put_column(&body, "h", 38); body.push_back(4); body.push_back(0);
  const Bytes fmt = rowfmt_token(body);
  Bytes colinfo = {0xA5, 0, 3, 3, 1, 0x10};
  auto row = [](const std::string* a, const std::string& t) {
    Bytes r = {0xD1};
    if (a) { r.push_back(static_cast<unsigned char>(a->size())); putstr(&r, *a); }
    else r.push_back(0);
    r.push_back(16);
    for (int i = 0; i < 16; ++i) r.push_back(static_cast<unsigned char>(i));
    for (int i = 0; i < 8; ++i) r.push_back(0);
    put32(&r, static_cast<int>(t.size()));
    putstr(&r, t);
    r.push_back(4);
    put32(&r, 9);
    return r;
  };
  std::string abc = "abc";
  Bytes reply = cat({fmt, colinfo, row(&abc, std::string(100, 'T')), row(nullptr, "short"), done(0x10, 2)});
  Peer peer(session({reply}));
  DBPROCESS* db = nullptr;
  ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select a, t", DBTEXTLIMIT, "10"));
  EXPECT_EQ(dbnumcols(db), 2);
  EXPECT_EQ(dballcols(db), 3);
  EXPECT_EQ(dbcolname(db, 3), nullptr);
  EXPECT_EQ(dbcollen(db, 1), 20);
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "abc");
  EXPECT_EQ(value(db, 2), std::string(10, 'T'));  // cut at the text limit, rest skipped
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbdata(db, 1), nullptr);
  EXPECT_EQ(dbdatlen(db, 1), 0);
  EXPECT_EQ(value(db, 2), "short");
  EXPECT_EQ(dbdatlen(db, 3), -1);
  EXPECT_EQ(dbdata(db, 3), nullptr);
  EXPECT_TRUE(saw_error(20026));
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbcount(db), 2);
  dbclose(db);
}

TEST_F(DbRows, LongNamesFromTheServerAreCutToTheirFields) {
  std::string longname(200, 'n');
  Peer peer(session({cat({varchar_result(longname, {"v"}), done(0x10, 1)}),
                     cat({envchange(1, std::string(255, 'd'), "master"), done(0)})}));
  DBPROCESS* db = nullptr;
  ASSERT_NO_FATAL_FAILURE(open_select(peer, &db, "select"));
  EXPECT_EQ(std::string(dbcolname(db, 1)), std::string(30, 'n'));
  ASSERT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(value(db, 1), "v");
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbcmd(db, "use");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(std::string(dbname(db)), std::string(30, 'd'));
  dbclose(db);
}

}  // namespace
