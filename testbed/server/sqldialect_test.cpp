#include "sqldialect.h"

#include <gtest/gtest.h>

#include <map>

using namespace standin;

namespace {

std::vector<Statement> split(const std::string& sql) {
  std::vector<Tok> toks;
  std::string err;
  EXPECT_TRUE(tokenize(sql, toks, err)) << err;
  return split_statements(toks);
}

std::string text_of(const Statement& st) {
  std::string s;
  for (const auto& t : st.toks) s += t.text;
  return s;
}

Translated tr(const std::string& sql, SessionVars v = {}) {
  auto st = split(sql);
  EXPECT_EQ(st.size(), 1u) << sql;
  return st.empty() ? Translated{} : translate(st[0], v);
}

}  // namespace

TEST(StandinDialect, BatchesSplitIntoStatementsWithoutSeparators) {
  struct Case { const char* sql; std::vector<std::string> parts; };
  const Case cases[] = {
      {"select 1 select 2", {"select 1", "select 2"}},
      {"set textsize 500000\n", {"set textsize 500000"}},
      {"  ", {}},
      {"select 1; select 2;", {"select 1", "select 2"}},
      {"insert into t select a from u", {"insert into t select a from u"}},
      {"select a from t union all select b from u", {"select a from t union all select b from u"}},
      {"update t set a = 1 select @@rowcount", {"update t set a = 1", "select @@rowcount"}},
      {"select a from t where a in (select b from u) drop table x",
       {"select a from t where a in (select b from u)", "drop table x"}},
      {"begin tran insert into t values (1) commit tran",
       {"begin tran", "insert into t values (1)", "commit tran"}},
      {"select 'use x' -- select 2\nuse db", {"select 'use x'", "use db"}},
      {"select \"a;b\" /* drop */ x", {"select \"a;b\" /* drop */ x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    auto st = split(c.sql);
    ASSERT_EQ(st.size(), c.parts.size());
    for (std::size_t i = 0; i < st.size(); ++i) EXPECT_EQ(text_of(st[i]), c.parts[i]);
  }
  auto st = split("select 1\n\nselect 2");
  ASSERT_EQ(st.size(), 2u);
  EXPECT_EQ(st[1].line, 3);
}

TEST(StandinDialect, UnterminatedTextIsAnError) {
  std::vector<Tok> toks;
  std::string err;
  EXPECT_FALSE(tokenize("select 'abc", toks, err));
  EXPECT_FALSE(tokenize("select \"abc", toks, err));
  EXPECT_FALSE(tokenize("select 1 /* open", toks, err));
  EXPECT_FALSE(tokenize("select [x", toks, err));
  EXPECT_TRUE(tokenize("select 'it''s'", toks, err));
  EXPECT_EQ(toks.back().value, "it's");
}

TEST(StandinDialect, StatementsAreRewrittenForSqlite) {
  SessionVars v;
  v.rowcount = 7;
  v.trancount = 2;
  struct Case { const char* sql; StmtKind kind; const char* out; };
  const Case cases[] = {
      {"select \"it's\" x", StmtKind::select, "select 'it''s' x"},
      {"select a from t where d < \"Jan 1 2000 01:30:00 pm\"", StmtKind::select,
       "select a from t where d < '2000-01-01 13:30:00.000'"},
      {"select a from t where f like '%.FITS'", StmtKind::select, "select a from t where f like '%.FITS'"},
      {"select @@rowcount num_row, @@trancount in_trans", StmtKind::select, "select 7 num_row, 2 in_trans"},
      {"select * from #temp1 t", StmtKind::select, "select * from [#temp1] t"},
      {"create unique nonclustered index tmp_i on #temp1(compname, useafter_date)", StmtKind::other,
       "create unique index tmp_i on [#temp1](compname, useafter_date)"},
      {"create clustered index i on t(a)", StmtKind::other, "create index i on t(a)"},
      {"create table #t (a int)", StmtKind::other, "create temp table [#t] (a int)"},
      {"drop table #temp1", StmtKind::other, "drop table [#temp1]"},
      {"select isnull(a, 0) from t", StmtKind::select, "select ifnull(a, 0) from t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    Translated t = tr(c.sql, v);
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.sql, c.out);
  }
}

TEST(StandinDialect, SelectIntoIsSplitFromItsTarget) {
  Translated t = tr("select distinct max(a.d) d, compname into #temp1 from x a group by compname");
  EXPECT_EQ(t.kind, StmtKind::select_into);
  EXPECT_EQ(t.target, "[#temp1]");
  EXPECT_TRUE(t.temp_target);
  EXPECT_EQ(t.sql, "select distinct max(a.d) d, compname from x a group by compname");
  t = tr("select a into keep from x");
  EXPECT_EQ(t.target, "keep");
  EXPECT_FALSE(t.temp_target);
  // "into" inside a sub-select is not the target.
  EXPECT_EQ(tr("select (select 1) x from t").kind, StmtKind::select);
}

TEST(StandinDialect, ServerStatementsAreClassified) {
  Translated t = tr("use orvo_ops");
  EXPECT_EQ(t.kind, StmtKind::use);
  ASSERT_EQ(t.args.size(), 1u);
  EXPECT_EQ(t.args[0], "orvo_ops");
  t = tr("SET TextSize 500000");
  EXPECT_EQ(t.kind, StmtKind::set);
  EXPECT_EQ(t.args, (std::vector<std::string>{"textsize", "500000"}));
  EXPECT_EQ(tr("begin transaction").kind, StmtKind::begin_tran);
  EXPECT_EQ(tr("commit tran").kind, StmtKind::commit_tran);
  EXPECT_EQ(tr("rollback").kind, StmtKind::rollback_tran);
  t = tr("print \"hello\"");
  EXPECT_EQ(t.kind, StmtKind::print);
  EXPECT_EQ(t.args[0], "hello");
  t = tr("exec sp_who");
  EXPECT_EQ(t.kind, StmtKind::exec);
  EXPECT_EQ(t.args[0], "sp_who");
}

TEST(StandinDialect, CursorAndBrowseFormsAreRewritten) {
  std::map<std::string, std::string> dbs = {{"master", "/db/cat"}, {"orvo_ops", "/db/cat"}, {"other", "/db/other"}};
  SessionVars v;
  v.database = "master";
  v.path = "/db/cat";
  v.databases = &dbs;
  struct Case { const char* sql; const char* out; };
  const Case cases[] = {
      {"delete t  from t where t.id = 2 and t.b = 'y'", "delete from t where t.id = 2 and t.b = 'y'"},
      {"delete t from t,u where t.id = 2 and u.id = 2",
       "delete from t where rowid in (select t.rowid from t,u where t.id = 2 and u.id = 2)"},
      {"delete t where t.id = 2", "delete from t where t.id = 2"},
      {"delete from t from t x, u where x.id = u.id", "delete from t where rowid in (select x.rowid from t x, u where x.id = u.id)"},
      {"insert t values (5, 'new') ", "insert into t values (5, 'new')"},
      {"insert t (a, b)values ( NULL , 'q''')", "insert into t (a, b)values ( NULL , 'q''')"},
      {"update t set t.id = t.id where t.id = 1", "update t set id = t.id where t.id = 1"},
      {"update t set a = 11, t.b = 'x'  from t where t.id = 1 and t.a = 10",
       "update t set a = 11, b = 'x' where t.id = 1 and t.a = 10"},
      {"update u set c = 1 from t,u x where t.id = 1",
       "update u set c = 1 where rowid in (select x.rowid from t,u x where t.id = 1)"},
      {"update t set a = 11 where t.id = 1 and  tsequal(t.ts, 0x0101010101010101)",
       "update t set a = 11 where t.id = 1 and tsequal(t.ts, X'0101010101010101')"},
      {"select a , t.id from t HOLDLOCK , u x holdlock order by t.id", "select a , t.id from t , u x order by t.id"},
      {"select 0x, 0xabc, 0X01", "select X'', X'0abc', X'01'"},
      {"select a from t where m = $12.5000 or m = $-0.5000", "select a from t where m = 12.5000 or m = -0.5000"},
      {"select other..t.id from other..t where 0 = 1 ", "select other.t.id from other.t where 0 = 1"},
      {"select a from other.dbo.t, dbo.u, master..v, orvo_ops..w", "select a from other.t, u, v, w"},
      {"select db_name()", "select db_name()"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    Translated t = tr(c.sql, v);
    EXPECT_EQ(t.sql, c.out);
  }
  // Another database is attached once, under its own name.
  Translated t = tr("select other..t.a from other..t, other.dbo.u", v);
  ASSERT_EQ(t.attach.size(), 1u);
  EXPECT_EQ(t.attach[0].schema, "other");
  EXPECT_EQ(t.attach[0].path, "/db/other");
  EXPECT_TRUE(tr("select a from orvo_ops..t", v).attach.empty());  // the same file
  // An update testing a timestamp, and the schema of its table.
  t = tr("update other..t set a = 1 where tsequal(ts, 0x01)", v);
  EXPECT_TRUE(t.tests_timestamp);
  EXPECT_EQ(t.update_schema, "other");
  EXPECT_EQ(tr("update #t set a = 1", v).update_schema, "temp");
  EXPECT_FALSE(tr("update t set a = 1", v).tests_timestamp);
}

TEST(StandinDialect, ForBrowseMarksTheSelectAndItsTables) {
  Translated t = tr("select a, b from t x, #u holdlock where x.a = 1 for browse ");
  EXPECT_TRUE(t.browse);
  EXPECT_EQ(t.sql, "select a, b from t x, [#u] where x.a = 1");
  EXPECT_EQ(t.sql.substr(t.list_end, 4), "from");
  ASSERT_EQ(t.from.size(), 2u);
  EXPECT_EQ(t.from[0].sqlite_name, "t");
  EXPECT_EQ(t.from[0].ref, "x");
  EXPECT_EQ(t.from[1].sqlite_name, "[#u]");
  EXPECT_EQ(t.from[1].ref, "[#u]");
  EXPECT_FALSE(tr("select browse from t").browse);
}

TEST(StandinDialect, BuiltInProceduresNeedNoExec) {
  SessionVars v;
  v.is_procedure = [](const std::string& n) { return n == "sp_tables"; };
  Translated t = tr("sp_tables @table_name = 't' , @table_owner = 'dbo' ", v);
  EXPECT_EQ(t.kind, StmtKind::exec);
  ASSERT_FALSE(t.call.toks.empty());
  EXPECT_EQ(t.call.toks[0].text, "sp_tables");
  t = tr("exec sp_tables 't'", v);
  EXPECT_EQ(t.kind, StmtKind::exec);
  EXPECT_EQ(t.call.toks[0].text, "sp_tables");
  EXPECT_EQ(tr("sp_unknown 1", v).kind, StmtKind::other);
}
