// Table parameters and size changes, on prepared tables (descriptor only)
// and on open row-ordered tables (the file is rewritten).
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {
namespace {

using testing::ScratchDir;

using testing::message_of;

struct Prepared {
  explicit Prepared(const std::string& name) : tp(tbtopn(name, kNewFile, nullptr)) {}
  ~Prepared() { tbtclo(tp); }
  Table* tp;
};

TEST(TableParams, StorageTypeAndSubtype) {
  ScratchDir dir;
  Prepared fits(dir.path("x.fits"));
  tbpset(fits.tp, 5, kRowOrdered);
  EXPECT_EQ(tbpsta(fits.tp, 5), kFitsTable);  // a FITS name stays FITS

  Prepared bin(dir.path("x.tab"));
  int code = 0;
  EXPECT_EQ(message_of([&] { tbpset(bin.tp, 5, 15); }, &code),
            "tbpset:  15 is not a valid table type");
  EXPECT_EQ(code, 1);
  tbpset(bin.tp, 5, kColOrdered);
  EXPECT_EQ(tbpsta(bin.tp, 5), kColOrdered);
  tbpset(bin.tp, 9, 1303);  // ignored for a binary table
  tbpset(bin.tp, 1, 10);    // ignored for a column-ordered table
  EXPECT_EQ(tbpsta(bin.tp, 8), 0);
  tbpset(bin.tp, 3, 500);
  EXPECT_EQ(tbpsta(bin.tp, 3), 500);
  tbpset(bin.tp, 4, 20);
  EXPECT_EQ(tbpsta(bin.tp, 3), 520);

  Prepared text("STDOUT");
  EXPECT_EQ(message_of([&] { tbpset(text.tp, 9, 1303); }),
            "tbpset:  1303 is not a valid text table subtype");
  tbpset(text.tp, 9, kTextWithDefs);
  EXPECT_EQ(tbpsta(text.tp, 9), kTextWithDefs);
}

TEST(TableParams, RowLengthAndCounts) {
  ScratchDir dir;
  Prepared p(dir.path("r.tab"));
  tbpset(p.tp, 8, 7);
  EXPECT_EQ(tbpsta(p.tp, 1), 4);  // (7 + 1) / 2
  tbpset(p.tp, 1, 5);
  EXPECT_EQ(tbpsta(p.tp, 8), 10);
  tbpset(p.tp, 2, 3);
  EXPECT_EQ(tbpsta(p.tp, 8), 16);
  tbpset(p.tp, 3, 77);  // ignored for a row-ordered table
  EXPECT_EQ(tbpsta(p.tp, 3), 100);
  tbpset(p.tp, 6, 12);
  tbpset(p.tp, 7, 9);
  EXPECT_EQ(tbpsta(p.tp, 6), 12);
  EXPECT_EQ(tbpsta(p.tp, 7), 9);
  EXPECT_EQ(p.tp->bod, tbtbod(12, 9));
  EXPECT_EQ(tbpsta(p.tp, 34), 0);
  EXPECT_EQ(tbpsta(p.tp, 26), 3);
  int code = 0;
  EXPECT_EQ(message_of([&] { tbpsta(p.tp, 32); }, &code), "table must be open to get buffer size");
  EXPECT_EQ(code, 32);
  EXPECT_EQ(message_of([&] { tbpsta(p.tp, 2); }, &code), "unknown parameter for tbpsta");
  EXPECT_EQ(code, 34);
  EXPECT_EQ(message_of([&] { tbpset(p.tp, 21, 1); }, &code), "invalid option for tbpset");
  EXPECT_EQ(code, 33);
  EXPECT_EQ(message_of([&] { tbpset(p.tp, 31, 1); }, &code), "table must be open to set I/O advice");
  EXPECT_EQ(code, 32);

  // All four sizes negative: nothing changes.
  const int bod = p.tp->bod;
  tbtchs(p.tp, -1, -1, -1, -1);
  EXPECT_EQ(p.tp->bod, bod);
  EXPECT_EQ(p.tp->maxpar, 12);
}

TEST(TableParams, OpenTableGrowsItsFile) {
  ScratchDir dir;
  const std::string name = dir.path("g.tab");
  Table* tp = tbtopn(name, kNewFile, nullptr);
  Column* a;
  tbcdef1(tp, a, "a", "", "", kTyInt, 1);
  tbtcre(tp);
  for (int r = 1; r <= 3; ++r) tbepti(tp, a, r, r * 10);
  int code = 0;
  EXPECT_EQ(message_of([&] { tbpset(tp, 5, kRowOrdered); }, &code),
            "can't specify table type after opening table");
  EXPECT_EQ(code, 31);
  EXPECT_EQ(tbpsta(tp, 32), 4096);  // the file layer's default buffer
  tbtfst(tp, vos::F_BUFSIZE, 8192);
  // More header parameters, more columns and a longer row: the file is
  // rewritten (keeping its buffer size) and the rows keep their values.
  tbpset(tp, 6, 20);
  tbpset(tp, 8, 12);
  EXPECT_EQ(tbpsta(tp, 7), 1 + (12 - 2) / 2);
  Column* b;
  tbcdef1(tp, b, "b", "", "", kTyDouble, 1);
  tbeptd(tp, b, 2, 2.5);
  EXPECT_EQ(tbpsta(tp, 32), 8192);
  EXPECT_EQ(tbpsta(tp, 34), 3 * 6);
  tbtclo(tp);

  tp = tbtopn(name, kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 6), 20);
  EXPECT_EQ(tbpsta(tp, 8), 12);
  int v = 0;
  for (int r = 1; r <= 3; ++r) {
    tbegti(tp, tbcnum(tp, 1), r, v);
    EXPECT_EQ(v, r * 10);
  }
  double d = 0;
  tbegtd(tp, tbcnum(tp, 2), 2, d);
  EXPECT_EQ(d, 2.5);
  tbegtd(tp, tbcnum(tp, 2), 1, d);
  EXPECT_EQ(d, kIndefD);
  EXPECT_EQ(message_of([&] { tbtflu(tp); }, &code), "tbtflu:  table is readonly");
  tbtclo(tp);
}

TEST(TableParams, NullRowAndArrays) {
  Table t;
  t.type = kRowOrdered;
  const std::string names[3] = {"s", "i", "t"};
  const std::string empty[3] = {"", "", ""};
  const int types[3] = {kTyShort, kTyInt, -3};
  const int counts[3] = {2, 1, 1};
  Column* cols[3];
  tbcadd(&t, cols, names, empty, empty, types, counts, 3);
  t.allrowlen = t.rowlen;
  t.nullrow.assign(2 * t.allrowlen, 0xff);
  for (Column* c : cols) tbbnll(&t, c);
  const std::vector<unsigned char> want = {0x80, 0x01, 0x80, 0x01,             // two shorts
                                           0x80, 0x00, 0x00, 0x01,             // int
                                           0, 0, 0, 0};                        // text
  EXPECT_EQ(t.nullrow, want);

  int ndim = 0, ax[3] = {0, 0, 0};
  tbciga(&t, cols[0], ndim, ax, 3);
  EXPECT_EQ(ndim, 1);
  EXPECT_EQ(ax[0], 2);
  const int good[1] = {2};
  tbcisa(&t, cols[0], 1, good);
  const int bad[2] = {3, 1};
  EXPECT_EQ(message_of([&] { tbcisa(&t, cols[0], 2, bad); }),
            "tbcisa:  column `s', actual array size=2, specified size=3");
  const int many[8] = {1, 1, 1, 1, 1, 1, 1, 2};
  EXPECT_EQ(message_of([&] { tbcisa(&t, cols[0], 8, many); }),
            "tbcisa:  column `s', dimension 8 is too large");
}

}  // namespace
}  // namespace tbl
