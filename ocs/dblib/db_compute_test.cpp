// Tests of compute rows: clause formats, print lists, compute rows read and
// bound (with and without row buffering), and streams that contradict
// themselves.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db_compute.h"
#include "db_testpeer.h"
#include "dblib/db_convert.h"

using namespace testpeer;

namespace {

constexpr int kSum = 0x4D, kAvg = 0x4F, kMax = 0x52;

// A ROWFMT of int columns.
Bytes int_rowfmt(const std::vector<std::string>& names) {
  Bytes body;
  put16(&body, static_cast<int>(names.size()));
  for (const std::string& n : names) {
    body.push_back(static_cast<unsigned char>(n.size()));
    putstr(&body, n);
    body.push_back(0);
    put32(&body, 0);
    body.push_back(MERINT4);
    body.push_back(0);  // locale
  }
  return rowfmt_token(body);
}

Bytes int_row(std::vector<int32_t> values) {
  Bytes b = {0xD1};
  for (int32_t v : values) put32(&b, v);
  return b;
}

Bytes altname(int id, const std::vector<std::string>& names, int extra_len = 0) {
  Bytes body;
  put16(&body, id);
  for (const std::string& n : names) {
    body.push_back(static_cast<unsigned char>(n.size()));
    putstr(&body, n);
  }
  Bytes b = {0xA7};
  put16(&b, static_cast<int>(body.size()) + extra_len);
  return cat({b, body});
}

struct AltCol {
  int op;
  int operand;
  Bytes type;  // datatype byte and its length information
};

// An ALTFMT (at protocol level 7 with a locale byte per column).
Bytes altfmt(int id, const std::vector<AltCol>& cols, const Bytes& bylist, int len_delta = 0,
             bool level7 = true) {
  Bytes body;
  put16(&body, id);
  body.push_back(static_cast<unsigned char>(cols.size()));
  for (const AltCol& c : cols) {
    body.push_back(static_cast<unsigned char>(c.op));
    body.push_back(static_cast<unsigned char>(c.operand));
    put32(&body, 0);
    body.insert(body.end(), c.type.begin(), c.type.end());
    if (level7) body.push_back(0);
  }
  body.push_back(static_cast<unsigned char>(bylist.size()));
  body.insert(body.end(), bylist.begin(), bylist.end());
  Bytes b = {0xA8};
  put16(&b, static_cast<int>(body.size()) + len_delta);
  return cat({b, body});
}

const Bytes kIntN = {MERINTN, 4};

// An ALTROW of int-n values; nullptr-like entries are NULL.
Bytes altrow(int id, const std::vector<const int32_t*>& values) {
  Bytes b = {0xD3};
  put16(&b, id);
  for (const int32_t* v : values) {
    if (!v) {
      b.push_back(0);
      continue;
    }
    b.push_back(4);
    put32(&b, *v);
  }
  return b;
}

// select a, b ... compute sum(a), avg(a), sum(b) by a
Bytes clause_formats() {
  return cat({int_rowfmt({"a", "b"}), altname(1, {"sum", "avg", "sum"}),
              altfmt(1, {{kSum, 1, kIntN}, {kAvg, 1, kIntN}, {kSum, 2, kIntN}}, {1})});
}

class DbCompute : public PeerTest {
 protected:
  // Opens a connection, sends a batch answered by `reply` and reads up to
  // the first result set.
  DBPROCESS* run(Peer& peer, bool buffer = false) {
    DBPROCESS* db = open_to(peer, dir_);
    if (!db) return nullptr;
    if (buffer) dbsetopt(db, DBBUFFER, "10", 0);
    dbcmd(db, "select a, b from t order by a compute sum(a), avg(a), sum(b) by a");
    if (dbsqlexec(db) != SUCCEED) return db;
    dbresults(db);
    return db;
  }
};

TEST_F(DbCompute, ClauseIsReadBoundAndCopiedBesideRegularRows) {
  int32_t three = 3, one = 1;
  Bytes reply = cat({clause_formats(), int_row({1, 10}), int_row({2, 20}),
                     altrow(1, {&three, &one, nullptr}), int_row({5, 50}), done(0x10, 3)});
  Peer peer(session({reply}));
  DBPROCESS* db = run(peer);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(dbnumalts(db, 1), 3);
  EXPECT_EQ(dbnumalts(db, 2), -1);
  dbcompute* rec = dbfcompute(db__computes(db), 1);
  ASSERT_NE(rec, nullptr);
  ASSERT_EQ(rec->bylen, 1);
  EXPECT_EQ(rec->bylist[0], 1);
  // Print order: the sum group (a, then b), then the avg group.
  const int order[3][2] = {{kSum, 1}, {kSum, 2}, {kAvg, 1}};
  for (int i = 0; i < 3; ++i) {
    dbprnode* n = dbfacol(db__computes(db), 1, i + 1);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->col->op, order[i][0]);
    EXPECT_EQ(n->col->operand, order[i][1]);
  }
  EXPECT_EQ(dbfacol(db__computes(db), 1, 4), nullptr);

  DBINT a = 0, suma = 0, sumb = 77, avga = 0, sumbind = 5;
  ASSERT_EQ(dbbind(db, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&a)), SUCCEED);
  ASSERT_EQ(dbaltbind(db, 1, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&suma)), SUCCEED);
  ASSERT_EQ(dbaltbind(db, 1, 2, INTBIND, 0, reinterpret_cast<BYTE*>(&sumb)), SUCCEED);
  ASSERT_EQ(dbaltbind(db, 1, 3, INTBIND, 0, reinterpret_cast<BYTE*>(&avga)), SUCCEED);
  ASSERT_EQ(dbanullbind(db, 1, 2, &sumbind), SUCCEED);

  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(dbrowtype(db), 1);
  EXPECT_EQ(dbcurrow(db), 3);
  EXPECT_EQ(suma, 3);
  EXPECT_EQ(avga, 1);
  EXPECT_EQ(sumbind, -1);  // NULL: the indicator says so ...
  EXPECT_EQ(sumb, 0);      // ... and the variable receives the null value
  EXPECT_EQ(db->currow->values[2].len, 0);
  EXPECT_EQ(a, 2);  // regular variables are left alone by a compute row
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(dbcurrow(db), 4);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);
  EXPECT_TRUE(errors().empty());
  dbclose(db);
}

TEST_F(DbCompute, ComputeRowsJoinTheRowBufferAndLoneOnesAreFreed) {
  int32_t v = 7;
  // Buffered: rows 1 and 3 regular, row 2 a compute row, all kept.
  Bytes buffered = cat({clause_formats(), int_row({1, 1}), altrow(1, {&v, &v, &v}),
                        int_row({2, 2}), done(0x10, 2)});
  // Unbuffered: a compute row before any regular row, one after, and one
  // left current (with no regular row at all) when the connection closes.
  Bytes lone = cat({clause_formats(), altrow(1, {&v, nullptr, &v}), int_row({3, 3}),
                    altrow(1, {&v, &v, &v}), done(0x10, 1)});
  Bytes last = cat({clause_formats(), altrow(1, {&v, &v, &v}), done(0x10, 0)});
  Peer peer(session({buffered, lone, last}));
  DBPROCESS* db = run(peer, true);
  ASSERT_NE(db, nullptr);
  DBINT sum = 0;
  ASSERT_EQ(dbaltbind(db, 1, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&sum)), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(sum, 7);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbfirstrow(db), 1);
  EXPECT_EQ(dblastrow(db), 3);
  EXPECT_EQ(db->firstrow->next->computeid, 1);
  // Moving through the buffer again points the clause at the buffered
  // compute row's values and copies them anew.
  sum = 0;
  db->currow = db->firstrow;
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(sum, 7);
  EXPECT_EQ(dbfacol(db__computes(db), 1, 1)->value, &db->firstrow->next->values[0]);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(db), NO_MORE_RESULTS);

  dbclropt(db, DBBUFFER, nullptr);
  dbcmd(db, "again");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(dbcanquery(db), SUCCEED);
  dbcmd(db, "last");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(dbnumalts(db, 1), 3);
  EXPECT_EQ(dbnextrow(db), 1);
  // Closing drops the compute row still current (the leak sanitizer checks).
  dbclose(db);
}

// Below protocol level 7: column names and formats in their own tokens, no
// locale in ALTFMT, control formats in ALTCONTROL, and no exact numerics.
TEST_F(DbCompute, OlderStreamsCarryControlFormatsAndRefuseNumerics) {
  auto old_login = [](std::vector<Bytes> replies) {
    return [replies](Conn& c) {
      Bytes msg;
      if (!c.read_message(&msg)) return;
      c.send_message(cat({loginack(5, 4, 6), done(0)}));
      for (const Bytes& r : replies) {
        if (!c.read_message(&msg)) return;
        c.send_message(r);
      }
      c.read_message(&msg);
    };
  };
  Bytes colname = {0xA0, 0, 2, 1, 'a'};
  Bytes colfmt = {0xA1, 0, 5};
  put32(&colfmt, 0);
  colfmt.push_back(MERINT4);
  Bytes altcontrol = {0xAF, 0, 6, 0, 1, 3, '$', '%', 'd'};
  int32_t v = 12;
  Bytes good = cat({colname, colfmt, altname(1, {"s"}), altfmt(1, {{kSum, 1, kIntN}}, {}, 0, false),
                    altcontrol, int_row({4}), altrow(1, {&v}), done(0x10, 1)});
  Bytes numeric = cat({colname, colfmt, altname(1, {"s"}),
                       altfmt(1, {{kSum, 1, Bytes{MERNUMERIC, 6, 10, 2}}}, {}, 0, false), done(0)});
  Peer peer(old_login({good}));
  DBPROCESS* db = open_to(peer, dir_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(dbwire(db), 5);
  dbcmd(db, "select a compute sum(a)");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  dbprnode* n = dbfacol(db__computes(db), 1, 1);
  ASSERT_NE(n, nullptr);
  ASSERT_NE(n->col->col.control, nullptr);
  EXPECT_STREQ(n->col->col.control, "$%d");
  DBINT sum = 0;
  ASSERT_EQ(dbaltbind(db, 1, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&sum)), SUCCEED);
  EXPECT_EQ(dbnextrow(db), REG_ROW);
  EXPECT_EQ(dbnextrow(db), 1);
  EXPECT_EQ(sum, 12);
  EXPECT_EQ(dbnextrow(db), NO_MORE_ROWS);
  dbclose(db);

  Peer peer2(old_login({numeric}));
  db = open_to(peer2, dir_);
  ASSERT_NE(db, nullptr);
  dbcmd(db, "select a compute sum(a)");
  ASSERT_EQ(dbsqlexec(db), SUCCEED);
  EXPECT_EQ(dbresults(db), FAIL);
  EXPECT_TRUE(saw_error(20060));
  EXPECT_TRUE(dbdead(db));
  dbclose(db);
}

TEST_F(DbCompute, BindingRefusals) {
  Peer peer(session({cat({clause_formats(), done(0x10, 0)})}));
  DBPROCESS* db = run(peer);
  ASSERT_NE(db, nullptr);
  DBINT var = 0;
  BYTE* p = reinterpret_cast<BYTE*>(&var);
  ASSERT_FALSE(dbbwillconvert(INTBIND, DATETIMEBIND));
  struct Case {
    int id, column, vartype;
    BYTE* var;
    int error;
  } cases[] = {
      {2, 1, INTBIND, p, 20024},         {1, 0, INTBIND, p, 20032},
      {1, 4, INTBIND, p, 20032},         {1, 1, SENSITIVITYBIND, p, 20023},
      {1, 1, 0, p, 20023},               {1, 1, INTBIND, nullptr, 20046},
      {1, 1, DATETIMEBIND, p, 20035},
  };
  for (const Case& c : cases) {
    errors().clear();
    EXPECT_EQ(dbaltbind(db, c.id, c.column, c.vartype, 0, c.var), FAIL) << c.error;
    EXPECT_TRUE(saw_error(c.error)) << c.error;
  }
  errors().clear();
  EXPECT_EQ(dbanullbind(db, 1, 4, &var), FAIL);
  EXPECT_EQ(dbanullbind(db, 3, 1, &var), FAIL);
  EXPECT_EQ(errors().size(), 2u);
  EXPECT_TRUE(saw_error(20032));
  // No compute row is current: the per-row copy refuses.
  errors().clear();
  EXPECT_EQ(dbdoabind(db), FAIL);
  EXPECT_TRUE(saw_error(20024));
  dbclose(db);
}

TEST_F(DbCompute, StreamsThatContradictThemselvesEndTheConnection) {
  int32_t v = 1;
  Bytes numeric = {MERNUMERIC, 6, 10, 2};
  struct Case {
    const char* what;
    Bytes reply;
    int error;
  } cases[] = {
      {"ALTFMT id differs", cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(2, {{kSum, 1, kIntN}}, {})}),
       20030},
      {"operand beyond the select list",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 3, kIntN}}, {})}), 20031},
      {"operand 0", cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 0, kIntN}}, {})}),
       20031},
      {"more columns than names",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 1, kIntN}, {kMax, 1, kIntN}}, {})}),
       20020},
      {"ALTFMT without ALTNAME", cat({int_rowfmt({"a"}), altfmt(1, {{kSum, 1, kIntN}}, {})}), 20020},
      {"second clause has no ALTFMT",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altname(2, {"m"}), altfmt(1, {{kSum, 1, kIntN}}, {}),
            int_row({1})}),
       20020},
      {"name runs past its token", cat({int_rowfmt({"a"}), altname(1, {"sum"}, -2), done(0)}), 20020},
      {"ALTFMT longer than its length",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 1, kIntN}}, {1}, -2)}), 20020},
      {"row of an unknown clause",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 1, kIntN}}, {}), altrow(2, {&v})}),
       20020},
      {"row of clause 0",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 1, kIntN}}, {}), altrow(0, {&v})}),
       20020},
      {"numeric of the wrong length",
       cat({int_rowfmt({"a"}), altname(1, {"s"}), altfmt(1, {{kSum, 1, numeric}}, {}),
            Bytes{0xD3, 0, 1, 3, 1, 2, 3}}),
       20226},
  };
  for (const Case& c : cases) {
    errors().clear();
    Peer peer(session({cat({c.reply, done(0x10, 1)})}));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr) << c.what;
    dbcmd(db, "select");
    ASSERT_EQ(dbsqlexec(db), SUCCEED) << c.what;
    if (dbresults(db) == SUCCEED) {
      while (dbnextrow(db) == REG_ROW) {
      }
    }
    EXPECT_TRUE(saw_error(c.error)) << c.what;
    EXPECT_TRUE(dbdead(db)) << c.what;
    dbclose(db);
  }
}

// A good compute stream with a few bytes changed or cut short: each batch
// ends in results or a client error, never a crash, a hang or a leak.
TEST_F(DbCompute, DamagedComputeStreamsEndInResultsOrErrors) {
  int32_t v = 3;
  Bytes head = int_rowfmt({"a", "b"});
  Bytes tail = cat({altname(1, {"sum", "avg", "sum"}),
                    altfmt(1, {{kSum, 1, kIntN}, {kAvg, 1, kIntN}, {kSum, 2, kIntN}}, {1, 2}),
                    int_row({1, 10}), altrow(1, {&v, nullptr, &v}), int_row({2, 20}),
                    altrow(1, {&v, &v, &v}), done(0x10, 2)});
  std::mt19937 rng(1209);
  for (int round = 0; round < 120; ++round) {
    reset_handlers();
    Bytes t = tail;
    int changes = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < changes; ++i) t[rng() % t.size()] = static_cast<unsigned char>(rng() % 7 == 0 ? rng() : rng() % 4);
    if (rng() % 4 == 0) t.resize(rng() % t.size());
    Bytes reply = cat({head, t});
    Peer peer(answer_once(reply));
    DBPROCESS* db = open_to(peer, dir_);
    ASSERT_NE(db, nullptr);
    dbsettime(2);
    DBINT sum = 0, ind = 0;
    dbcmd(db, "select");
    if (dbsqlexec(db) == SUCCEED) {
      int guard = 0;
      while (dbresults(db) == SUCCEED && ++guard < 1000) {
        dbaltbind(db, 1, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&sum));
        dbanullbind(db, 1, 2, &ind);
        for (STATUS r = dbnextrow(db); (r == REG_ROW || r > 0) && ++guard < 1000; r = dbnextrow(db)) {
        }
      }
      EXPECT_LT(guard, 1000) << "round " << round;
    }
    dbsettime(0);
    dbclose(db);
  }
}

// Print lists built from hand-made clauses: columns given as (operator,
// operand) in arrival order; the expected print order as arrival indexes.
TEST(DbComputePrint, GroupsByOperatorInFirstAppearanceOrderedByOperand) {
  struct Case {
    std::vector<std::pair<int, int>> cols;
    std::vector<int> order;
  } cases[] = {
      {{{kSum, 1}, {kAvg, 1}, {kSum, 2}}, {0, 2, 1}},
      {{{kSum, 2}, {kSum, 1}}, {1, 0}},
      {{{kAvg, 3}, {kSum, 2}, {kSum, 1}, {kAvg, 1}, {kSum, 2}}, {3, 0, 2, 1, 4}},
      {{{kSum, 1}, {kAvg, 3}, {kAvg, 2}, {kMax, 1}}, {0, 2, 1, 3}},
  };
  for (const Case& c : cases) {
    dbprocess proc{};
    std::vector<dbaltcol> cols(c.cols.size());
    dbcompute rec{};
    rec.id = 1;
    for (size_t i = 0; i < cols.size(); ++i) {
      cols[i].op = static_cast<unsigned char>(c.cols[i].first);
      cols[i].operand = static_cast<unsigned char>(c.cols[i].second);
      cols[i].next = i + 1 < cols.size() ? &cols[i + 1] : nullptr;
    }
    rec.cols = cols.data();
    rec.ncols = static_cast<unsigned char>(cols.size());
    proc.computes = &rec;
    ASSERT_EQ(dbprbuild(&proc), 1);
    for (size_t k = 0; k < c.order.size(); ++k) {
      dbprnode* n = dbfacol(&rec, 1, static_cast<int>(k) + 1);
      ASSERT_NE(n, nullptr);
      EXPECT_EQ(n->col, &cols[static_cast<size_t>(c.order[k])]) << "position " << k;
    }
    EXPECT_EQ(dbfacol(&rec, 1, static_cast<int>(c.order.size()) + 1), nullptr);
  }
}

}  // namespace
