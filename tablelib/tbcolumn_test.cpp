// Column definition and lookup on binary and text tables.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl {
namespace {

using testing::ScratchDir;

using testing::message_of;

TEST(Columns, FindByNameAndNumber) {
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("c.tab"), kNewFile, nullptr);
  Column *flux, *wave, *dup;
  tbcdef1(tp, flux, "Flux", "Jy", "", kTyReal, 1);
  tbcdef1(tp, wave, "WAVELENGTH", "A", "%-25.16g", kTyDouble, 1);
  ::testing::internal::CaptureStderr();
  tbcdef1(tp, dup, "flux", "", "", kTyInt, 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Warning:  column `flux' already exists.\n");
  EXPECT_EQ(tp->ncols, 3);
  Column* found = nullptr;
  tbcfnd1(tp, "FLUX", found);
  EXPECT_EQ(found, flux);
  tbcfnd1(tp, "wave", found);
  EXPECT_EQ(found, nullptr);
  tbcfnd1(tp, "2", found);
  EXPECT_EQ(found, nullptr);  // numbers name columns in text tables only
  // The second search of one call starts where the first one matched.
  const std::string names[2] = {"wavelength", "flux"};
  Column* cols[2];
  tbcfnd(tp, names, cols, 2);
  EXPECT_EQ(cols[0], wave);
  EXPECT_EQ(cols[1], dup);
  EXPECT_EQ(tbcnum(tp, -1), nullptr);
  EXPECT_EQ(tbcnum(tp, 4), nullptr);
  EXPECT_EQ(tbcnum(tp, 2), wave);
  EXPECT_EQ(tbcdes(tp, wave), nullptr);
  tbtclo(tp);
}

TEST(Columns, Information) {
  Column c;
  c.number = 3;
  c.dtype = kTyDouble;
  c.length = 4;
  c.nelem = 1;
  c.name = "NAME";
  c.units = "deg";
  c.format = "%-25.16g";
  EXPECT_EQ(tbcigi(&c, 46), 25);
  c.format = "%g";
  EXPECT_EQ(tbcigi(&c, 46), 25);
  c.format = "%11d";
  EXPECT_EQ(tbcigi(&c, 46), 11);
  Column s;
  s.dtype = -5;
  s.length = 3;
  s.format = "%s";
  EXPECT_EQ(tbcigi(&s, 46), 6);
  s.dtype = -20;
  EXPECT_EQ(tbcigi(&s, 44), -20);
  s.dtype = kTyChar;
  EXPECT_EQ(tbcigi(&s, 44), -6);
  int code = 0;
  EXPECT_EQ(message_of([&] { tbcigi(&c, 41); }, &code), "tbcigi:  unknown parameter");
  EXPECT_EQ(code, 34);
  std::string t = "x";
  EXPECT_EQ(message_of([&] { tbcigt(&c, 44, t, 10); }, &code), "tbcigt:  unknown parameter");
  tbcigt(&c, 41, t, 0);
  EXPECT_EQ(t, "");
  tbcigt(&c, 42, t, 2);
  EXPECT_EQ(t, "de");
  int num, dtype, nelem, width;
  std::string name, units, fmt;
  tbcinf(&c, num, name, units, fmt, dtype, nelem, width);
  EXPECT_EQ(num, 3);
  EXPECT_EQ(name, "NAME");
  EXPECT_EQ(fmt, "%11d");
  EXPECT_EQ(dtype, kTyDouble);
  EXPECT_EQ(width, 11);
}

TEST(Columns, DefineOnOpenTableAndRename) {
  ScratchDir dir;
  const std::string name = dir.path("d.tab");
  Table* tp = tbtopn(name, kNewFile, nullptr);
  Column* a;
  tbcdef1(tp, a, "a", "", "", kTyInt, 1);
  tbtcre(tp);
  tbepti(tp, a, 2, 5);
  Column* arr;
  tbcdef1(tp, arr, "arr", "m", "%15.7g", kTyReal, 3);
  EXPECT_EQ(arr->length, 6);
  tbcfmt(tp, arr, "bad");
  EXPECT_EQ(arr->format, "%15.7g");
  tbcnam(tp, a, "renamed");
  tbcnit(tp, a, "kg");
  int code = 0;
  EXPECT_EQ(message_of([&] { tbcdef1(tp, arr, "z", "", "", 9, 1); }, &code),
            "invalid data type for a table column");
  EXPECT_EQ(code, 42);
  EXPECT_EQ(tp->ncols, 2);
  tbtclo(tp);

  // The column record keeps the format without its "%".
  const std::string bytes = dir.read("d.tab");
  const std::size_t rec2 = 48 + 80 * 5 + 64;
  EXPECT_EQ(bytes.substr(rec2 + 56, 6), std::string("15.7g\0", 6));

  tp = tbtopn(name, kReadOnly, nullptr);
  Column* r = tbcnum(tp, 1);
  EXPECT_EQ(r->name, "renamed");
  EXPECT_EQ(r->units, "kg");
  EXPECT_EQ(tbcnum(tp, 2)->nelem, 3);
  float v = 0;
  tbegtr(tp, tbcnum(tp, 2), 2, v);
  EXPECT_EQ(v, kIndefR);
  tbcnam(tp, r, "memory only");
  EXPECT_EQ(r->name, "memory only");
  EXPECT_EQ(message_of([&] { tbcdef1(tp, arr, "z", "", "", kTyInt, 1); }, &code),
            "can't define new columns in readonly table");
  EXPECT_EQ(code, 3);
  tbtclo(tp);
  tp = tbtopn(name, kReadOnly, nullptr);
  EXPECT_EQ(tbcnum(tp, 1)->name, "renamed");
  tbtclo(tp);
}

TEST(Columns, NullHandlesAreRefused) {
  Column* c = nullptr;
  std::string t;
  double d = 0;
  EXPECT_EQ(message_of([&] { tbcigt(c, 41, t, 10); }), "tbcigt:  null column pointer");
  EXPECT_EQ(message_of([&] { tbcnum(nullptr, 1); }), "tbcnum:  null table pointer");
  EXPECT_EQ(message_of([&] { tbegtd(nullptr, c, 1, d); }), "tbegtd:  null table pointer");
  EXPECT_EQ(message_of([&] { tbhadt(nullptr, "A", "b"); }), "tbhadt:  null table pointer");
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("n.tab"), kNewFile, nullptr);
  tbtcre(tp);
  EXPECT_EQ(message_of([&] { tbeptt(tp, c, 1, "x"); }), "tbeptt:  null column pointer");
  tbtclo(tp);
}

TEST(Columns, ArraysOnlyWhereSupported) {
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("y.tab"), kNewFile, nullptr);
  tbpset(tp, 5, kColOrdered);
  Column* c = nullptr;
  int code = 0;
  EXPECT_EQ(message_of([&] { tbcdef1(tp, c, "a", "", "", kTyInt, 3); }, &code),
            "This table type doesn't support arrays.");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(tp->ncols, 0);
  tbtclo(tp);
}

TEST(Columns, ReadPastTheEndOfTheFile) {
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("e.tab"), kNewFile, nullptr);
  Column* d;
  tbcdef1(tp, d, "d", "", "", kTyDouble, 1);
  tbtcre(tp);
  tbeptd(tp, d, 1, 1.0);
  tbtflu(tp);
  const long chars = static_cast<long>(dir.read("e.tab").size() / 2);
  double v = 0;
  EXPECT_EQ(message_of([&] { tbegpd(tp, d, static_cast<int>(chars - 2), 1, v); }),
            "tbegpd:  unexpected end of file");
  tbtclo(tp);
}

}  // namespace
}  // namespace tbl
