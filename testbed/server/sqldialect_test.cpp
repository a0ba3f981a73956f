#include "sqldialect.h"

#include <gtest/gtest.h>

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
