// The same table model over the other storage types: a FITS table and a
// text table written, closed, reopened and read through the core.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl {
namespace {

using testing::ScratchDir;

void write_four_columns(Table* tp) {
  Column *time, *comp;
  tbcdef1(tp, time, "TIME", "", "", -26, 1);
  tbcdef1(tp, comp, "COMPNAME", "", "", -18, 1);
  tbtcre(tp);
  tbeptt(tp, time, 1, "jan 01 2000");
  tbeptt(tp, comp, 1, "acs_f555w");
  tbeptt(tp, time, 2, "feb 02 2001");
  tbeptt(tp, comp, 2, "acs_f814w");
}

void check_four_columns(Table* tp) {
  EXPECT_EQ(tbpsta(tp, 21), 2);
  EXPECT_EQ(tbpsta(tp, 22), 2);
  Column* comp = nullptr;
  tbcfnd1(tp, "compname", comp);
  ASSERT_NE(comp, nullptr);
  std::string t;
  tbegtt(tp, comp, 2, t, 80);
  EXPECT_EQ(t, "acs_f814w");
  std::string name;
  tbcigt(tbcnum(tp, 1), 41, name, 79);
  EXPECT_EQ(name, "TIME");
}

TEST(Storage, FitsTable) {
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("out.fits"), kNewFile, nullptr);
  EXPECT_EQ(tp->type, kFitsTable);
  write_four_columns(tp);
  EXPECT_EQ(tp->fd, 0);  // a FITS file is never a file descriptor
  tbtclo(tp);
  tp = tbtopn(dir.path("out.fits"), kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kFitsTable);
  EXPECT_EQ(tp->fd, 0);
  check_four_columns(tp);
  tbtclo(tp);
  // The primary header opened as a header-only table takes keywords.
  tp = tbtopn(dir.path("out.fits[0]"), kReadWrite, nullptr);
  tbhadt(tp, "INSTRUME", "ZOR");
  tbtclo(tp);
  tp = tbtopn(dir.path("out.fits[0]"), kReadOnly, nullptr);
  std::string v;
  tbhgtt(tp, "INSTRUME", v, 80);
  EXPECT_EQ(v, "ZOR");
  tbtclo(tp);
}

TEST(Storage, ColumnOrderedTable) {
  ScratchDir dir;
  const std::string name = dir.path("col.tab");
  Table* tp = tbtopn(name, kNewFile, nullptr);
  tbpset(tp, 5, kColOrdered);
  Column *i, *t;
  tbcdef1(tp, i, "i", "", "", kTyInt, 1);
  tbcdef1(tp, t, "t", "", "", -8, 1);
  tbtcre(tp);
  tbepti(tp, i, 2, 22);
  tbeptt(tp, t, 150, "last");
  EXPECT_EQ(tbpsta(tp, 21), 150);
  EXPECT_EQ(tbpsta(tp, 3), 280);  // int(150 x 1.2 + 100)
  tbtclo(tp);
  tp = tbtopn(name, kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kColOrdered);
  int v = 0;
  tbegti(tp, tbcnum(tp, 1), 2, v);
  EXPECT_EQ(v, 22);
  tbegti(tp, tbcnum(tp, 1), 149, v);
  EXPECT_EQ(v, kIndefI);
  std::string s;
  tbegtt(tp, tbcnum(tp, 2), 150, s, 20);
  EXPECT_EQ(s, "last");
  tbtclo(tp);
}

TEST(Storage, TextTable) {
  ScratchDir dir;
  dir.write("in.txt", "#k INSTRUME = ZOR\n1 2.5 abc\n3 4.5 def\n");
  Table* tp = tbtopn(dir.path("in.txt"), kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kTextTable);
  EXPECT_EQ(tbpsta(tp, 21), 2);
  EXPECT_EQ(tbpsta(tp, 22), 3);
  double d = 0;
  tbegtd(tp, tbcnum(tp, 2), 2, d);
  EXPECT_EQ(d, 4.5);
  Column* c3 = nullptr;
  tbcfnd1(tp, "3", c3);
  EXPECT_EQ(c3, tbcnum(tp, 3));
  std::string t;
  tbegtt(tp, c3, 1, t, 80);
  EXPECT_EQ(t, "abc");
  tbhgtt(tp, "INSTRUME", t, 80);
  EXPECT_EQ(t, "ZOR");
  tbtclo(tp);

  // A new text table written through the core and read back.
  tp = tbtopn(dir.path("new.txt"), kNewFile, nullptr);
  tbpset(tp, 5, kTextTable);
  tbpset(tp, 9, kTextWithDefs);
  write_four_columns(tp);
  tbhadt(tp, "INSTRUME", "ZOR");
  tbhadi(tp, "NROWS", 2);
  tbhadt(tp, "HISTORY", "made here");
  int n = 0;
  tbhfkw(tp, "NROWS", n);
  EXPECT_EQ(n, 2);
  tbtclo(tp);
  tp = tbtopn(dir.path("new.txt"), kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kTextTable);
  check_four_columns(tp);
  EXPECT_EQ(tbhgti(tp, "NROWS"), 2);
  tbhgtt(tp, "INSTRUME", t, 80);
  EXPECT_EQ(t, "ZOR");
  std::string kw, value;
  int dtype = 0;
  tbhgnp(tp, 3, kw, dtype, value);
  EXPECT_EQ(kw, "HISTORY");
  EXPECT_EQ(value, "made here");
  tbtclo(tp);
}

}  // namespace
}  // namespace tbl
