// Remote procedure calls and event notifications against the stand-in
// server: parameters of every fixed-size type and of character and binary
// type go out big-endian (as the server's log shows them byte by byte) and
// are read by the server as the values sent; output parameters and the
// return status come back in host order; procedures send result sets and
// errors; events raised by one session reach another.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comnlib/com_types.h"
#include "comnlib/comn_alloc.h"
#include "standin_fixture.h"

using namespace standin_client;

namespace {

class Rpc : public standin_client::StandinClient {
 protected:
  // The server's log lines of one event, in order.
  std::vector<std::string> logged(const std::string& event) const {
    std::vector<std::string> out;
    for (const standin::LogLine& l : srv_->log())
      if (l.event == event) out.push_back(l.detail);
    return out;
  }
};

// The text of column `col` of the current row (an int or a character column).
std::string cell(DBPROCESS* db, int col) {
  BYTE* d = dbdata(db, col);
  if (!d) return "NULL";
  if (dbcoltype(db, col) == MERINT4) {
    DBINT v;
    std::memcpy(&v, d, 4);
    return std::to_string(v);
  }
  return std::string(reinterpret_cast<char*>(d), static_cast<std::size_t>(dbdatlen(db, col)));
}

// The rows of the current result set, as text.
Rows result_rows(DBPROCESS* db) {
  Rows out;
  while (dbnextrow(db) == REG_ROW) {
    std::vector<std::string> r;
    for (int c = 1; c <= dbnumcols(db); ++c) r.push_back(cell(db, c));
    out.push_back(r);
  }
  return out;
}

// Parameters of every fixed-size type, character and binary, a NULL and
// the return status's parameter, each as the client sends it and as the
// server must have read it.
struct Param {
  const char* name;
  bool output;
  int type;
  DBINT maxlen, datalen;
  const void* value;
  std::size_t size;      // bytes of the value in host order
  const char* wire;      // the value's bytes on the wire, in hexadecimal
  int wire_type;
  const char* text;      // the value as the server read it
};

TEST_F(Rpc, ParametersOfEveryTypeGoOutBigEndianAndComeBackInHostOrder) {
  start("");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  static const DBINT one = 1, intn = 0x01020304, status = 3;
  static const DBSMALLINT small = -2;
  static const DBTINYINT tiny = 7;
  static const DBFLT8 dbl = 2.5;
  static const DBREAL real = -1.5f;
  static const DBMONEY money{1, 0x80000002u};
  static const DBMONEY4 money4{300};
  static const DBDATETIME when{36524, 300};
  static const DBDATETIME4 when4{36524, 90};
  static const DBBIT bit = 1;
  static const BYTE bin[] = {0xde, 0xad, 0x00};
  const Param params[] = {
      {"@one", true, MERINT4, -1, -1, &one, 4, "00000001", 38, "1"},
      {"@small", true, MERINT2, -1, -1, &small, 2, "fffe", 38, "-2"},
      {"@tiny", true, MERINT1, -1, -1, &tiny, 1, "07", 38, "7"},
      {"@dbl", true, MERFLT8, -1, -1, &dbl, 8, "4004000000000000", 109, "2.5"},
      {"@real", true, MERREAL, -1, -1, &real, 4, "bfc00000", 109, "-1.5"},
      {"@money", true, MERMONEY, -1, -1, &money, 8, "0000000180000002", 110, "644245.0946"},
      {"@money4", true, MERMONEY4, -1, -1, &money4, 4, "0000012c", 110, "0.0300"},
      {"@when", true, MERDATETIME, -1, -1, &when, 8, "00008eac0000012c", 111, "2000-01-01 00:00:01.000"},
      {"@when4", true, MERDATETIME4, -1, -1, &when4, 4, "8eac005a", 111, "2000-01-01 01:30:00.000"},
      {"@bit", true, MERBIT, -1, -1, &bit, 1, "01", 50, "1"},
      {"@intn", true, MERINTN, 4, 4, &intn, 4, "01020304", 38, "16909060"},
      {"@text", true, MERCHAR, 20, 5, "it's!", 5, "6974277321", 39, "it's!"},
      {"@bin", true, MERBINARY, 10, 3, bin, 3, "dead00", 37, "0xdead00"},
      {"@none", false, MERINT4, -1, 0, nullptr, 0, "NULL", 38, "NULL"},
      {"@status", false, MERINT4, -1, -1, &status, 4, "00000003", 38, "3"},
  };
  ASSERT_EQ(dbrpcinit(db, "echo_params", 0), SUCCEED);
  EXPECT_EQ(dbrpcinit(db, "again", 0), FAIL);
  EXPECT_TRUE(saw_error(20180));
  EXPECT_EQ(dbrpcparam(db, "@t", 0, MERTEXT, -1, 0, nullptr), FAIL);
  EXPECT_TRUE(saw_error(20209));
  DBINT v = 5;
  EXPECT_EQ(dbrpcparam(db, "@a", 0, MERINTN, 3, 3, reinterpret_cast<BYTE*>(&v)), FAIL);  // no such int
  EXPECT_TRUE(saw_error(20114));
  for (const Param& p : params)
    ASSERT_EQ(dbrpcparam(db, p.name, p.output ? DBRPCRETURN : 0, p.type, p.maxlen, p.datalen,
                         static_cast<const BYTE*>(p.value)),
              SUCCEED)
        << p.name;
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  ASSERT_EQ(dbsqlok(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  Rows echoed = result_rows(db);
  while (dbresults(db) == SUCCEED) {
  }
  EXPECT_EQ(dbhasretstat(db), 1);
  EXPECT_EQ(dbretstatus(db), 3);

  // The server's reading of every parameter, and the bytes it received.
  std::vector<std::string> log = logged("rpcparam");
  ASSERT_EQ(log.size(), std::size(params));
  ASSERT_EQ(echoed.size(), std::size(params));
  int outputs = 0;
  for (std::size_t i = 0; i < std::size(params); ++i) {
    const Param& p = params[i];
    SCOPED_TRACE(p.name);
    EXPECT_NE(log[i].find(std::string(p.name) + " status=" + (p.output ? "1" : "0") +
                          " type=" + std::to_string(p.wire_type)),
              std::string::npos)
        << log[i];
    EXPECT_NE(log[i].find(std::string("data=") + p.wire + " value=" + p.text), std::string::npos) << log[i];
    EXPECT_EQ(echoed[i][0], p.name);
    EXPECT_EQ(echoed[i][1], std::to_string(p.wire_type));
    EXPECT_EQ(echoed[i][3], p.text);
    if (!p.output) continue;
    // Output parameters come back as sent, in host order, numbered in turn;
    // the input ones the server echoes too are not numbered.
    ++outputs;
    EXPECT_STREQ(dbretname(db, outputs), p.name);
    ASSERT_EQ(dbretlen(db, outputs), static_cast<DBINT>(p.size));
    ASSERT_NE(dbretdata(db, outputs), nullptr);
    EXPECT_EQ(std::memcmp(dbretdata(db, outputs), p.value, p.size), 0);
  }
  EXPECT_EQ(dbnumrets(db), outputs);
  EXPECT_EQ(dbrettype(db, 1), MERINT4);
  EXPECT_EQ(dbrettype(db, 2), MERINT2);
  EXPECT_EQ(dbrettype(db, 5), MERREAL);
  EXPECT_EQ(dbrettype(db, 9), MERDATETIME4);
  EXPECT_EQ(dbrettype(db, 12), MERCHAR);
  EXPECT_EQ(dbretname(db, outputs + 1), nullptr);
  dbclose(db);
  ASSERT_EQ(logged("rpc").size(), 1u);
  EXPECT_EQ(logged("rpc")[0], "echo_params");
  // The DBRPC token (length: the name's length + 3), the name, options
  // with the parameters bit, then the parameter formats.
  EXPECT_EQ(logged("rpchex")[0].substr(0, 36), "e6000e0b" "6563686f5f706172616d73" "0002" "ec");
}

TEST_F(Rpc, ProcedureResultSetsAndOutputsComputedByTheServer) {
  start(standin_client::kThreeRows);
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  const char* sql =
      "select id, b from t where a >= @min order by id "
      "select count(*) n, max(b) top from t where a >= @min";
  DBINT min = 20, n = -1;
  ASSERT_EQ(dbrpcinit(db, "run_sql", 0), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@sql", 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(sql)),
                       reinterpret_cast<const BYTE*>(sql)),
            SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@min", 0, MERINT4, -1, -1, reinterpret_cast<BYTE*>(&min)), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@n", DBRPCRETURN, MERINT4, -1, -1, reinterpret_cast<BYTE*>(&n)), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@top", DBRPCRETURN, MERVARCHAR, 30, 0, nullptr), SUCCEED);
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  ASSERT_EQ(dbsqlok(db), SUCCEED);
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(result_rows(db), (Rows{{"2", "twenty"}, {"3", "thirty"}}));
  ASSERT_EQ(dbresults(db), SUCCEED);
  EXPECT_EQ(result_rows(db), (Rows{{"2", "twenty"}}));
  while (dbresults(db) == SUCCEED) {
  }
  EXPECT_EQ(dbretstatus(db), 0);
  ASSERT_EQ(dbnumrets(db), 2);
  DBINT got = 0;
  std::memcpy(&got, dbretdata(db, 1), 4);
  EXPECT_EQ(got, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbretdata(db, 2)), static_cast<std::size_t>(dbretlen(db, 2))),
            "twenty");
  dbclose(db);
}

TEST_F(Rpc, AnErrorFromAProcedureAndAnUnknownProcedure) {
  start("");
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  const char* text = "no such component";
  DBINT number = 50001, severity = 16;
  ASSERT_EQ(dbrpcinit(db, "raise_error", 0), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@number", 0, MERINT4, -1, -1, reinterpret_cast<BYTE*>(&number)), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@severity", 0, MERINT4, -1, -1, reinterpret_cast<BYTE*>(&severity)), SUCCEED);
  ASSERT_EQ(dbrpcparam(db, "@message", 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(text)),
                       reinterpret_cast<const BYTE*>(text)),
            SUCCEED);
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  dbsqlok(db);
  while (dbresults(db) == SUCCEED) {
  }
  ASSERT_FALSE(testpeer::messages().empty());
  EXPECT_EQ(testpeer::messages().back().number, 50001);
  EXPECT_EQ(testpeer::messages().back().severity, 16);
  EXPECT_EQ(testpeer::messages().back().text, text);
  EXPECT_EQ(dbhasretstat(db), 1);
  EXPECT_EQ(dbretstatus(db), -6);
  EXPECT_FALSE(dbdead(db));
  // The connection goes on; an unknown procedure is refused by name.
  testpeer::messages().clear();
  ASSERT_EQ(dbrpcinit(db, "no_such_proc", 0), SUCCEED);
  ASSERT_EQ(dbrpcsend(db), SUCCEED);
  dbsqlok(db);
  while (dbresults(db) == SUCCEED) {
  }
  ASSERT_FALSE(testpeer::messages().empty());
  EXPECT_EQ(testpeer::messages().back().number, 2812);
  EXPECT_TRUE(run_batch(db, "select 1"));
  dbclose(db);
}

struct HandlerCall {
  std::string name;
  int nparams = 0, numrets = 0;
  bool flagged = false;             // the connection knows a handler runs
  std::vector<std::string> params;  // name=value
};
std::vector<HandlerCall> g_calls;

int recording_handler(DBPROCESS* db, char* name, int, int nparams) {
  HandlerCall c;
  c.name = name;
  c.nparams = nparams;
  c.numrets = dbnumrets(db);
  c.flagged = (db->status & DBST_EVENTHANDLER) != 0;
  for (int i = 1; i <= dbnumrets(db); ++i) {
    std::string v;
    if (dbrettype(db, i) == MERINT4) {
      DBINT x;
      std::memcpy(&x, dbretdata(db, i), 4);
      v = std::to_string(x);
    } else {
      v.assign(reinterpret_cast<char*>(dbretdata(db, i)), static_cast<std::size_t>(dbretlen(db, i)));
    }
    c.params.push_back(std::string(dbretname(db, i)) + "=" + v);
  }
  g_calls.push_back(c);
  return 1;
}

// A procedure call with int and text parameters, as the events use.
bool call(DBPROCESS* db, const char* proc, const char* name, DBINT* level = nullptr, const char* what = nullptr) {
  if (dbrpcinit(db, proc, 0) != SUCCEED ||
      dbrpcparam(db, "@name", 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(name)),
                 reinterpret_cast<const BYTE*>(name)) != SUCCEED)
    return false;
  if (level && dbrpcparam(db, "@level", 0, MERINT4, -1, -1, reinterpret_cast<BYTE*>(level)) != SUCCEED) return false;
  if (what && dbrpcparam(db, "@what", 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(what)),
                         reinterpret_cast<const BYTE*>(what)) != SUCCEED)
    return false;
  if (what && dbrpcparam(db, "@message", 0, MERCHAR, -1, 9, reinterpret_cast<const BYTE*>("stock low")) != SUCCEED)
    return false;
  if (dbrpcsend(db) != SUCCEED || dbsqlok(db) != SUCCEED) return false;
  while (dbresults(db) == SUCCEED) {
  }
  return true;
}

TEST_F(Rpc, EventsRaisedByOneSessionReachTheSessionsWatchingThem) {
  start(standin_client::kThreeRows);
  DBPROCESS* watcher = open();
  DBPROCESS* other = open();
  DBPROCESS* raiser = open();
  ASSERT_NE(watcher, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_NE(raiser, nullptr);
  ASSERT_TRUE(call(watcher, "watch_event", "stock"));
  DBINT level = 5;
  ASSERT_TRUE(call(raiser, "raise_event", "stock", &level, "low"));
  EXPECT_EQ(dbretstatus(raiser), 1);  // one session notified

  // With its own handler, the watcher's next answer brings the event with
  // its parameters and message; the answer itself is read as ever.
  g_calls.clear();
  testpeer::messages().clear();
  auto* ev = static_cast<dbevent*>(comn_calloc(1, sizeof(dbevent)));
  std::strcpy(ev->name, "stock");
  ev->handler = recording_handler;
  ASSERT_EQ(db__link_eventrec(watcher, ev), 1);
  ASSERT_EQ(dbcmd(watcher, "select a from t order by id"), SUCCEED);
  ASSERT_EQ(dbsqlexec(watcher), SUCCEED);
  ASSERT_EQ(dbresults(watcher), SUCCEED);
  EXPECT_EQ(result_rows(watcher), (Rows{{"10"}, {"20"}, {"30"}}));
  EXPECT_EQ(dbcount(watcher), 3);
  EXPECT_EQ(dbresults(watcher), NO_MORE_RESULTS);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_TRUE(g_calls[0].flagged);
  EXPECT_EQ(watcher->status & DBST_EVENTHANDLER, 0u);
  EXPECT_EQ(ev->params, nullptr);  // dropped once handled
  ASSERT_EQ(testpeer::messages().size(), 1u);
  EXPECT_EQ(testpeer::messages()[0].text, "stock low");
  EXPECT_EQ(g_calls[0].name, "stock");
  EXPECT_EQ(g_calls[0].nparams, 2);
  EXPECT_EQ(g_calls[0].numrets, 2);
  EXPECT_EQ(g_calls[0].params, (std::vector<std::string>{"@level=5", "@what=low"}));
  EXPECT_FALSE(saw_error(20185));
  // A session that did not ask hears nothing.
  EXPECT_TRUE(run_batch(other, "select 1"));
  EXPECT_FALSE(saw_error(20185));

  // Without a handler of its own, an event raised by the session's own
  // batch arrives while the rows of its select are read: it is reported
  // and the rows go on.
  ASSERT_EQ(db__delete_event(watcher, "stock"), 1);
  EXPECT_EQ(db__find_event(watcher, "stock"), nullptr);
  errors().clear();
  ASSERT_EQ(dbcmd(watcher, "exec raise_event @name = 'stock', @level = 6 select a from t order by id"), SUCCEED);
  ASSERT_EQ(dbsqlexec(watcher), SUCCEED);
  RETCODE r;
  Rows rows;
  while ((r = dbresults(watcher)) == SUCCEED) {
    Rows part = result_rows(watcher);
    rows.insert(rows.end(), part.begin(), part.end());
  }
  EXPECT_EQ(r, NO_MORE_RESULTS);
  EXPECT_EQ(rows, (Rows{{"10"}, {"20"}, {"30"}}));
  EXPECT_EQ(dbcount(watcher), 3);
  int reported = 0;
  for (const testpeer::Seen& e : errors())
    if (e.number == 20185) {
      ++reported;
      EXPECT_EQ(e.text, "Unsolicited event notification received.");
    }
  EXPECT_EQ(reported, 1);
  EXPECT_FALSE(dbdead(watcher));
  dbclose(watcher);
  dbclose(other);
  dbclose(raiser);
}

TEST_F(Rpc, AServerCharacterSetIsFetchedOnceWithTheNextCommand) {
  start("", {"--charset", "ascii_8"});
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(logged("rpc").empty());  // not during the login
  EXPECT_TRUE(run_batch(db, "select 1"));
  com_charattrib* attr = dbgetcharattrib(db);
  ASSERT_NE(attr, nullptr);
  EXPECT_EQ(std::string(attr->name, static_cast<std::size_t>(attr->namelen)), "ascii_8");
  EXPECT_EQ(attr->cs_class, 1);
  EXPECT_EQ(attr->id, 50);
  EXPECT_EQ(attr->soundex, attr->typemap + 1028);
  EXPECT_EQ(attr->typemap[4 * 'a'], 'A');      // upper case of a
  EXPECT_EQ(attr->typemap[4 * '7' + 3] & 4, 4);  // a digit
  EXPECT_EQ(attr->soundex['B'], '1');
  // A second connection to a server of the same set finds it loaded.
  DBPROCESS* db2 = open();
  ASSERT_NE(db2, nullptr);
  EXPECT_TRUE(run_batch(db2, "select 2"));
  EXPECT_EQ(dbgetcharattrib(db2), attr);
  dbclose(db);
  dbclose(db2);
  EXPECT_EQ(logged("rpc"), (std::vector<std::string>{"sp_serverinfo"}));
  std::vector<std::string> params = logged("rpcparam");
  ASSERT_EQ(params.size(), 2u);
  EXPECT_NE(params[0].find("value=csdefinition"), std::string::npos);
  EXPECT_NE(params[1].find("value=ascii_8"), std::string::npos);
}

TEST_F(Rpc, AMultibyteSetAndASetTheServerCannotDefine) {
  start("", {"--charset", "utf8"});
  DBPROCESS* db = open();
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(run_batch(db, "select 1"));
  com_charattrib* attr = dbgetcharattrib(db);
  ASSERT_NE(attr, nullptr);
  EXPECT_EQ(std::string(attr->name, static_cast<std::size_t>(attr->namelen)), "utf8");
  EXPECT_EQ(attr->cs_class, 2);
  ASSERT_NE(attr->lentab, nullptr);
  EXPECT_EQ(attr->lentab[0xE2], 3);
  EXPECT_EQ(attr->lentab['a'], 1);
  dbclose(db);
  srv_.reset();
  // A set without a definition leaves the connection on the one it has.
  start("", {"--charset", "nosuchset"});
  db = open();
  ASSERT_NE(db, nullptr);
  com_charattrib* before = dbgetcharattrib(db);
  EXPECT_TRUE(run_batch(db, "select 1"));
  EXPECT_EQ(dbgetcharattrib(db), before);
  EXPECT_FALSE(dbdead(db));
  dbclose(db);
}

}  // namespace
