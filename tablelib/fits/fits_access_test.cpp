// Cells, arrays, rows and header keywords of FITS tables, through the core's
// routines and the back end's own array and row routines.
#include <dirent.h>
#include <fitsio.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fits_table.h"
#include "fits_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "vos/error.h"

using namespace fitstest;
using tbl::Column;
using tbl::Table;

namespace {

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const vos::Error& e) {
    return e.message();
  }
  return "";
}

// A new FITS table with an int array column, a double, a short and a string.
struct Fixture {
  TempFile file{"access"};
  Table* tp = nullptr;
  Column *arr = nullptr, *dbl = nullptr, *sht = nullptr, *str = nullptr;
  Fixture() {
    tp = tbl::tbtopn(file.path, tbl::kNewFile, nullptr);
    tbl::tbcdef1(tp, arr, "ARR", "", "", tbl::kTyInt, 3);
    tbl::tbcdef1(tp, dbl, "DBL", "m", "%8.3f", tbl::kTyDouble, 1);
    tbl::tbcdef1(tp, sht, "SHT", "", "", tbl::kTyShort, 1);
    tbl::tbcdef1(tp, str, "STR", "", "", -10, 1);
    tbl::tbtcre(tp);
  }
  ~Fixture() {
    if (tp != nullptr) tbl::tbtclo(tp);
  }
  void reopen(int mode) {
    tbl::tbtclo(tp);
    tp = tbl::tbtopn(file.path, mode, nullptr);
    arr = tbl::tbcnum(tp, 1);
    dbl = tbl::tbcnum(tp, 2);
    sht = tbl::tbcnum(tp, 3);
    str = tbl::tbcnum(tp, 4);
  }
};

}  // namespace

TEST(FitsAccess, ElementsRoundTrip) {
  Fixture fx;
  int a[3] = {1, tbl::kIndefI, 3};
  tbl::tbfapi(fx.tp, fx.arr, 1, a, 1, 3);
  tbl::tbeptd(fx.tp, fx.dbl, 1, 2.5);
  tbl::tbeptt(fx.tp, fx.sht, 1, "INDEF");
  tbl::tbeptt(fx.tp, fx.str, 1, "hello");
  tbl::tbeptt(fx.tp, fx.dbl, 2, "7.25");
  fx.reopen(tbl::kReadOnly);
  ASSERT_EQ(tbl::tbpsta(fx.tp, 21), 2);
  int got[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(tbl::tbfagi(fx.tp, fx.arr, 1, got, 2, 5), 2);  // only to the last element
  EXPECT_EQ(got[0], tbl::kIndefI);
  EXPECT_EQ(got[1], 3);
  EXPECT_EQ(tbl::tbfagi(fx.tp, fx.arr, 1, got, 4, 1), 0);
  double d = 0;
  tbl::tbegtd(fx.tp, fx.dbl, 1, d);
  EXPECT_EQ(d, 2.5);
  std::string t;
  tbl::tbegtt(fx.tp, fx.dbl, 2, t, 20);
  EXPECT_EQ(t, "   7.250");
  short s = 0;
  tbl::tbegts(fx.tp, fx.sht, 1, s);
  EXPECT_EQ(s, tbl::kIndefS);
  tbl::tbegtt(fx.tp, fx.str, 1, t, 20);
  EXPECT_EQ(t, "hello");
  tbl::tbegtt(fx.tp, fx.str, 2, t, 20);  // a new row's text cell is empty
  EXPECT_EQ(t, "");
  int i = 0;
  tbl::tbegti(fx.tp, fx.sht, 2, i);  // extended rows are undefined
  EXPECT_EQ(i, tbl::kIndefI);
  // Doubles become the nearest int; out of range they are undefined.
  tbl::tbegti(fx.tp, fx.dbl, 1, i);
  EXPECT_EQ(i, 3);
  tbl::tbegti(fx.tp, fx.dbl, 2, i);
  EXPECT_EQ(i, 7);
  fx.reopen(tbl::kReadWrite);
  tbl::tbeptd(fx.tp, fx.dbl, 1, -2.5);
  tbl::tbeptd(fx.tp, fx.dbl, 2, 3e9);
  tbl::tbegti(fx.tp, fx.dbl, 1, i);
  EXPECT_EQ(i, -3);
  tbl::tbegti(fx.tp, fx.dbl, 2, i);
  EXPECT_EQ(i, tbl::kIndefI);
  short sv = 0;
  tbl::tbegts(fx.tp, fx.dbl, 2, sv);
  EXPECT_EQ(sv, tbl::kIndefS);
  // An int column takes the nearest int; a value it cannot hold is undefined.
  double vals[3] = {2.5, -2.5, 5e9};
  tbl::tbfapd(fx.tp, fx.arr, 1, vals, 1, 3);
  int back[3];
  tbl::tbfagi(fx.tp, fx.arr, 1, back, 1, 3);
  EXPECT_EQ(std::vector<int>(back, back + 3), (std::vector<int>{3, -3, tbl::kIndefI}));
}

// An integer column holds the values of its type but the lowest two (the
// lowest but one is its undefined value): a value written past that is
// stored undefined, and a floating cell read as that type past that reads
// undefined.  Each bound and one past it, read back with CFITSIO.
TEST(FitsAccess, IntegerColumnBounds) {
  Fixture fx;
  Table* tp = fx.tp;
  auto int_put = [&](Column* cp, int v) {
    return [=](int r) { tbl::tbfapi(tp, cp, r, &v, 1, 1); };
  };
  auto double_put = [&](Column* cp, double v) {
    return [=](int r) { tbl::tbfapd(tp, cp, r, &v, 1, 1); };
  };
  const long none = 0;  // undefined
  struct Put {
    const char* what;
    int colnum;
    std::function<void(int row)> put;
    long want;
  } puts[] = {
      {"short 32767", 3, int_put(fx.sht, 32767), 32767},
      {"short 32768", 3, int_put(fx.sht, 32768), none},
      {"short 32767.4", 3, double_put(fx.sht, 32767.4), 32767},
      {"short 32767.5", 3, double_put(fx.sht, 32767.5), none},
      {"short -32766", 3, int_put(fx.sht, -32766), -32766},
      {"short -32769", 3, int_put(fx.sht, -32769), none},
      {"int 2147483647", 1, int_put(fx.arr, 2147483647), 2147483647},
      {"int 2147483647.4", 1, double_put(fx.arr, 2147483647.4), 2147483647},
      {"int 2147483647.5", 1, double_put(fx.arr, 2147483647.5), none},
      {"int -2147483646", 1, int_put(fx.arr, -2147483646), -2147483646},
      {"int -2147483648", 1, int_put(fx.arr, -2147483647 - 1), none},
  };
  const int n = static_cast<int>(std::size(puts));
  for (int r = 1; r <= n; ++r) puts[r - 1].put(r);

  const struct Get {
    double stored;
    short as_short;
    int as_int;
  } gets[] = {
      {32767.4, 32767, 32767},
      {32767.5, tbl::kIndefS, 32768},
      {-32766.4, -32766, -32766},
      {2147483647.4, tbl::kIndefS, 2147483647},
      {2147483647.5, tbl::kIndefS, tbl::kIndefI},
      {-2147483646.4, tbl::kIndefS, -2147483646},
  };
  int r = 0;
  for (const Get& g : gets) tbl::tbeptd(tp, fx.dbl, ++r, g.stored);
  r = 0;
  for (const Get& g : gets) {
    short s = 0;
    int i = 0;
    tbl::tbegts(tp, fx.dbl, ++r, s);
    tbl::tbegti(tp, fx.dbl, r, i);
    EXPECT_EQ(s, g.as_short) << g.stored;
    EXPECT_EQ(i, g.as_int) << g.stored;
  }
  tbl::tbtclo(tp);
  fx.tp = nullptr;

  fitsfile* f = nullptr;
  int status = 0, hdutype = 0;
  ffopen(&f, fx.file.path.c_str(), READONLY, &status);
  ffmahd(f, 2, &hdutype, &status);
  for (int k = 0; k < n; ++k) {
    long got = 0;
    char null = 0;
    int anynul = 0;
    ffgcfj(f, puts[k].colnum, k + 1, 1, 1, &got, &null, &anynul, &status);
    if (puts[k].want == none) EXPECT_TRUE(null) << puts[k].what;
    else EXPECT_EQ(got, puts[k].want) << puts[k].what;
  }
  ffclos(f, &status);
  EXPECT_EQ(status, 0);
}

// Text reads are cut to maxch, a string cell without the blanks the cut
// leaves at its end; an undefined number put into a bool column is stored
// undefined (checked with CFITSIO).
TEST(FitsAccess, TextReadsCutAndUndefinedBools) {
  TempFile file("bools");
  Table* tp = tbl::tbtopn(file.path, tbl::kNewFile, nullptr);
  Column *b = nullptr, *s = nullptr, *d = nullptr;
  tbl::tbcdef1(tp, b, "B", "", "", tbl::kTyBool, 1);
  tbl::tbcdef1(tp, s, "S", "", "", -8, 1);
  tbl::tbcdef1(tp, d, "D", "", "%8.3f", tbl::kTyDouble, 1);
  tbl::tbtcre(tp);
  tbl::tbepti(tp, b, 1, tbl::kIndefI);
  tbl::tbepti(tp, b, 2, 5);
  tbl::tbeptt(tp, s, 1, "ab cd");
  tbl::tbeptd(tp, d, 1, 2.5);
  std::string t;
  tbl::tbegtt(tp, s, 1, t, 3);
  EXPECT_EQ(t, "ab");
  tbl::tbegtt(tp, d, 1, t, 7);
  EXPECT_EQ(t, "   2.50");
  tbl::tbegtt(tp, b, 2, t, 5);
  EXPECT_EQ(t, "   ye");
  tbl::tbtclo(tp);

  fitsfile* f = nullptr;
  int status = 0, hdutype = 0, anynul = 0;
  char v[2] = {0, 0}, nul[2] = {0, 0};
  ffopen(&f, file.path.c_str(), READONLY, &status);
  ffmahd(f, 2, &hdutype, &status);
  ffgcfl(f, 1, 1, 1, 2, v, nul, &anynul, &status);
  ffclos(f, &status);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(nul[0]);
  EXPECT_FALSE(nul[1]);
  EXPECT_TRUE(v[1]);
}

// A file cut by someone else while it is open for writing: a read of the
// part that is gone is an error, never the bytes that were there.
TEST(FitsAccess, ReadOfAPartCutAwayMeanwhileIsAnError) {
  Fixture fx;
  const int n = 2000;
  std::vector<double> v(n, 1.5);
  tbl::tbcptd(fx.tp, fx.dbl, v.data(), 1, n);
  fx.reopen(tbl::kReadWrite);
  ASSERT_EQ(::truncate(fx.file.path.c_str(), 2 * 2880), 0);  // the headers only
  double d = 0;
  std::string failure;
  try {
    tbl::tbegtd(fx.tp, fx.dbl, n, d);
    ADD_FAILURE() << "read " << d;
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), vos::SYS_FREAD) << e.message();
    EXPECT_NE(e.message().find(fx.file.path), std::string::npos) << e.message();
    failure = e.message();
  }
  // The failure stays with the table: its close reports it again.
  try {
    tbl::tbtclo(fx.tp);
    ADD_FAILURE() << "the close reported no failure";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), failure);
  }
  fx.tp = nullptr;
}

// A number reads as a bool true when it is defined and not 0, whatever its
// sign.
TEST(FitsAccess, NumbersReadAsBools) {
  Fixture fx;
  const int a[3] = {-3, 0, tbl::kIndefI};
  tbl::tbfapi(fx.tp, fx.arr, 1, a, 1, 3);
  tbl::tbeptd(fx.tp, fx.dbl, 1, -0.5);
  tbl::tbepts(fx.tp, fx.sht, 1, -1);
  bool got[3] = {false, true, true};
  EXPECT_EQ(tbl::tbfagb(fx.tp, fx.arr, 1, got, 1, 3), 3);
  EXPECT_EQ(std::vector<bool>(got, got + 3), (std::vector<bool>{true, false, false}));
  bool b = false;
  tbl::tbegtb(fx.tp, fx.dbl, 1, b);
  EXPECT_TRUE(b);
  b = false;
  tbl::tbegtb(fx.tp, fx.sht, 1, b);
  EXPECT_TRUE(b);
}

TEST(FitsAccess, PutPastTheCellIsRefused) {
  Fixture fx;
  int a[3] = {1, 2, 3};
  tbl::tbfapi(fx.tp, fx.arr, 1, a, 1, 3);
  tbl::tbfapi(fx.tp, fx.arr, 2, a, 1, 3);
  int more[3] = {7, 8, 9};
  EXPECT_EQ(error_of([&] { tbl::tbfapi(fx.tp, fx.arr, 1, more, 2, 3); }),
            "tbapti:  attempt to put too many elements");
  int got[3];
  tbl::tbfagi(fx.tp, fx.arr, 2, got, 1, 3);
  EXPECT_EQ(std::vector<int>(got, got + 3), (std::vector<int>{1, 2, 3}));
}

// A text cell put stores the cell's bytes itself where it can: they must be
// the bytes CFITSIO's string write stores (cut to the column, at a NUL,
// blanks after), whatever the text.
TEST(FitsAccess, TextCellPutsStoreWhatCfitsioStores) {
  Fixture fx;
  const std::string texts[] = {"hello", "", "  ", "exactly10c", "much longer than ten",
                               std::string("a\0bc", 4), "caf\xc3\xa9", "INDEF", "tail  "};
  int row = 0;
  for (const std::string& t : texts) {
    tbl::tbeptt(fx.tp, fx.sht, ++row, "1");  // the row made, then its string
    tbl::tbeptt(fx.tp, fx.str, row, t);       // stored directly
    tbl::tbeptt(fx.tp, fx.sht, ++row, "1");
    const std::string s(t);
    tbl::tbfapt(fx.tp, fx.str, row, &s, static_cast<int>(s.size()), 1, 1);  // through CFITSIO
  }
  fx.reopen(tbl::kReadOnly);
  fitsfile* f = tbfits::fptr(fx.tp);
  long width = 0;
  int status = 0;
  ffgkyj(f, "NAXIS1", &width, nullptr, &status);
  ASSERT_EQ(status, 0);
  for (int r = 1; r < row; r += 2) {
    // The two rows differ in nothing but how the string cell was stored.
    std::vector<unsigned char> mine(width), theirs(width);
    ffgtbb(f, r, 1, width, mine.data(), &status);
    ffgtbb(f, r + 1, 1, width, theirs.data(), &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(mine, theirs) << texts[r / 2];
    std::string back;
    tbl::tbegtt(fx.tp, fx.str, r, back, 20);
    std::string want;
    tbl::tbegtt(fx.tp, fx.str, r + 1, want, 20);
    EXPECT_EQ(back, want) << texts[r / 2];
  }
}

TEST(FitsAccess, ExtendingAndShiftingRows) {
  Fixture fx;
  for (int r = 1; r <= 5; ++r) tbl::tbepti(fx.tp, fx.sht, r, r * 10);
  // Rows beyond the end are made undefined through one template row.
  tbl::tbepti(fx.tp, fx.sht, 8, 80);
  int v = 0;
  for (int r : {6, 7}) {
    tbl::tbegti(fx.tp, fx.sht, r, v);
    EXPECT_EQ(v, tbl::kIndefI) << r;
  }
  tbl::tbfchp(fx.tp, 3);
  EXPECT_EQ(fx.tp->nrows, 5);
  auto column = [&] {
    std::vector<int> out;
    for (int r = 1; r <= fx.tp->nrows; ++r) {
      tbl::tbegti(fx.tp, fx.sht, r, v);
      out.push_back(v);
    }
    return out;
  };
  tbl::tbfsft(fx.tp, 2, 2);  // down: rows 2.. move to 4..
  EXPECT_EQ(column(), (std::vector<int>{10, 20, 30, 20, 30, 40, 50}));
  tbl::tbfsft(fx.tp, 2, -2);  // up: rows 2 and 3 removed
  EXPECT_EQ(column(), (std::vector<int>{10, 20, 30, 40, 50}));
  // Removing more rows than follow the given row removes only those.
  tbl::tbfsft(fx.tp, 4, -3);
  EXPECT_EQ(column(), (std::vector<int>{10, 20, 30}));
}

TEST(FitsAccess, NullValuesAddedForExistingColumns) {
  TempFile file("tnull");
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, file.path.c_str(), &status);
  ffcrim(f, SHORT_IMG, 0, nullptr, &status);
  char* tt[] = {const_cast<char*>("B"), const_cast<char*>("J"), const_cast<char*>("X")};
  char* tf[] = {const_cast<char*>("1B"), const_cast<char*>("1J"), const_cast<char*>("9X")};
  char* tu[] = {const_cast<char*>(""), const_cast<char*>(""), const_cast<char*>("")};
  ffcrtb(f, BINARY_TBL, 0, 3, tt, tf, tu, "T", &status);
  short b = 7;
  int j = 9;
  ffpcli(f, 1, 1, 1, 1, &b, &status);
  ffpclk(f, 2, 1, 1, 1, &j, &status);
  ffclos(f, &status);
  ASSERT_EQ(status, 0);

  Table* tp = tbl::tbtopn(file.path, tbl::kReadWrite, nullptr);
  Column* cb = tbl::tbcnum(tp, 1);
  tbl::tbepti(tp, cb, 3, 5);
  int v = 0;
  tbl::tbegti(tp, cb, 2, v);
  EXPECT_EQ(v, tbl::kIndefI);
  tbl::tbtclo(tp);

  ffopen(&f, file.path.c_str(), READONLY, &status);
  int type = 0;
  ffmahd(f, 2, &type, &status);
  long tnull1 = 0, tnull2 = 0;
  ffgkyj(f, "TNULL1", &tnull1, nullptr, &status);
  ffgkyj(f, "TNULL2", &tnull2, nullptr, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tnull1, 255);
  EXPECT_EQ(tnull2, -2147483647);
  long tnull3 = 0;
  ffgkyj(f, "TNULL3", &tnull3, nullptr, &status);
  EXPECT_EQ(status, KEY_NO_EXIST);  // bits get no undefined value
  status = 0;
  ffcmsg();
  ffclos(f, &status);
  std::string report = run("fitsverify " + file.path + " 2>&1");
  EXPECT_NE(report.find("0 error(s)"), std::string::npos) << report;
}

TEST(FitsAccess, HeaderKeywords) {
  Fixture fx;
  fx.reopen(tbl::kReadWrite);
  Table* tp = fx.tp;
  tbl::tbhadt(tp, "HISTORY", "same text");
  tbl::tbhadt(tp, "history ", "same text");
  tbl::tbhadi(tp, "NUMBER", 5);
  tbl::tbhpcm(tp, "NUMBER", "a count");
  tbl::tbhadt(tp, "NUMBER", "now text");
  tbl::tbhadt(tp, "NAME", "abc");
  tbl::tbhadd(tp, "NAME", 2.5);
  tbl::tbhadb(tp, "FLAG", true);
  tbl::tbhadd(tp, "FLAG", 0.0);
  tbl::tbhadd(tp, "NEWNUM", 1.25);
  tbl::tbhadt(tp, "WORD", "x");
  tbl::tbhadb(tp, "WORD", false);
  tbl::tbhadd(tp, "BIG", 3e9);
  tbl::tbhadt(tp, "QUOTED", "it's a 'test'");
  int parnum = 0;
  tbl::tbhanp(tp, "APPENDED", tbl::kTyChar, "abc", parnum);
  tbl::tbhanp(tp, "QANP", tbl::kTyChar, "'don''t' as written", parnum);
  tbl::tbhanp(tp, "QLONG", tbl::kTyChar, std::string(40, 'q') + "'" + std::string(40, 'q'),
              parnum);
  tbl::tbhanp(tp, "BOOL", tbl::kTyBool, "yes", parnum);
  tbl::tbhpnp(tp, parnum, "BOOL", tbl::kTyBool, "y");

  std::string text;
  tbl::tbhgtt(tp, "HISTORY", text, 80);
  EXPECT_EQ(text, "same text");
  tbl::tbhgtt(tp, "NUMBER", text, 80);
  EXPECT_EQ(text, "now text");
  std::string comment;
  tbl::tbhgcm(tp, "NUMBER", comment, 80);
  EXPECT_EQ(comment, "a count");
  tbl::tbhgtt(tp, "NAME", text, 80);
  EXPECT_EQ(text, "2.5");
  EXPECT_FALSE(tbl::tbhgtb(tp, "FLAG"));
  tbl::tbhgtt(tp, "WORD", text, 80);
  EXPECT_EQ(text, "FALSE");
  EXPECT_EQ(tbl::tbhgtd(tp, "NEWNUM"), 1.25);
  EXPECT_EQ(tbl::tbhgti(tp, "BIG"), tbl::kIndefI);  // outside the int range
  EXPECT_TRUE(tbl::tbhgtb(tp, "BOOL"));
  tbl::tbhgtt(tp, "QUOTED", text, 80);
  EXPECT_EQ(text, "it's a 'test'");

  std::string kw, value;
  int dtype = 0, n = 0;
  tbl::tbhfkw(tp, "APPENDED", n);
  ASSERT_GT(n, 0);
  tbl::tbhgnp(tp, n, kw, dtype, value);
  EXPECT_EQ(kw, "APPENDED");
  EXPECT_EQ(dtype, tbl::kTyChar);
  EXPECT_EQ(value, "abc");
  tbl::tbhfkw(tp, "NEWNUM", n);
  tbl::tbhgnp(tp, n, kw, dtype, value);
  EXPECT_EQ(dtype, tbl::kTyDouble);
  tbl::tbtclo(fx.tp);

  fitsfile* f = nullptr;
  int status = 0, type = 0, nkeys = 0, histories = 0;
  ffopen(&f, fx.file.path.c_str(), READONLY, &status);
  ffmahd(f, 2, &type, &status);
  ffghsp(f, &nkeys, nullptr, &status);
  for (int i = 1; i <= nkeys; ++i) {
    char card[FLEN_CARD] = {0};
    ffgrec(f, i, card, &status);
    if (std::string(card).rfind("HISTORY same text", 0) == 0) ++histories;
    if (std::string(card).rfind("BOOL", 0) == 0) {
      EXPECT_EQ(card[29], 'T');
    }
  }
  EXPECT_EQ(histories, 2);
  char v[FLEN_VALUE] = {0};
  ffgkys(f, "QUOTED", v, nullptr, &status);
  EXPECT_EQ(std::string(v), "it's a 'test'");
  ffgkys(f, "QANP", v, nullptr, &status);
  EXPECT_EQ(std::string(v), "don't");
  ffgkys(f, "QLONG", v, nullptr, &status);
  EXPECT_EQ(std::string(v).substr(0, 41), std::string(40, 'q') + "'");
  ffclos(f, &status);
  EXPECT_EQ(status, 0);
  std::string report = run("fitsverify " + fx.file.path + " 2>&1");
  EXPECT_NE(report.find("0 error(s)"), std::string::npos) << report;
}

// An extension number beyond what the file's blocks can hold is refused as
// past the end without asking CFITSIO to move there (which would make room
// for the places of every HDU up to it: gigabytes for a number in the
// hundreds of millions); the table's own extension still opens.
TEST(FitsAccess, ExtensionNumberFarPastTheEndIsRefusedAtOnce) {
  Fixture fx;
  tbl::tbtclo(fx.tp);
  fx.tp = nullptr;
  std::string far = error_of([&] { tbl::tbtopn(fx.file.path + "[777777777]", tbl::kReadOnly, nullptr); });
  EXPECT_NE(far.find("HDU number 777777778 is beyond the end of the file"), std::string::npos) << far;
  Table* tp = tbl::tbtopn(fx.file.path + "[1]", tbl::kReadOnly, nullptr);
  EXPECT_EQ(tbl::tbcnum(tp, 4)->name, "STR");
  tbl::tbtclo(tp);
}

// Row moves larger than one block of the move buffer (40000 rows of 32
// bytes), read back through CFITSIO directly: an insertion near the start
// keeps the rows in its way, and a deletion closes the gap.
TEST(FitsAccess, LargeRowMovesKeepEveryRow) {
  const int n = 40000;
  Fixture fx;
  std::vector<double> ids(n);
  for (int k = 0; k < n; ++k) ids[std::size_t(k)] = k + 1;
  tbl::tbcptd(fx.tp, fx.dbl, ids.data(), 1, n);
  tbl::tbfsft(fx.tp, 2, 3);      // rows 2..n move to 5..n+3; 2..4 stay
  tbl::tbfsft(fx.tp, 6, -1000);  // rows 6..1005 go
  EXPECT_EQ(fx.tp->nrows, n + 3 - 1000);
  tbl::tbtclo(fx.tp);
  // The model: 1, 2, 3, 4, then the old rows from 2 on, less rows 6..1005.
  std::vector<double> want = {1, 2, 3, 4};
  for (int k = 2; k <= n; ++k) want.push_back(k);
  want.erase(want.begin() + 5, want.begin() + 1005);

  fitsfile* f = nullptr;
  int status = 0, hdutype = 0, anynul = 0;
  long nrows = 0;
  ffopen(&f, fx.file.path.c_str(), READONLY, &status);
  ffmahd(f, 2, &hdutype, &status);
  ffgnrw(f, &nrows, &status);
  std::vector<double> got(std::size_t(std::max(nrows, 1L)));
  ffgcvd(f, 2, 1, 1, nrows, 0.0, got.data(), &anynul, &status);
  ffclos(f, &status);
  ASSERT_EQ(status, 0);
  got.resize(std::size_t(nrows));
  EXPECT_EQ(got, want);
}

// A table opened for reading is read through the file layer: its cells,
// also past the blocks read first, and nothing left open once it is
// closed, after a failed open too.
TEST(FitsAccess, ReadOnlyOpensReadTheCellsAndLeaveNothingOpen) {
  auto open_descriptors = [] {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
      while (::readdir(d) != nullptr) ++n;
      ::closedir(d);
    }
    return n;
  };
  Fixture fx;
  const int rows = 3000;
  for (int r = 1; r <= rows; ++r) tbl::tbeptd(fx.tp, fx.dbl, r, r * 0.5);
  fx.reopen(tbl::kReadOnly);
  tbl::tbtclo(fx.tp);
  fx.tp = nullptr;
  const int before = open_descriptors();
  for (int i = 0; i < 20; ++i) {
    Table* tp = tbl::tbtopn(fx.file.path, tbl::kReadOnly, nullptr);
    for (int r : {1, rows / 2, rows}) {
      double v = 0;
      tbl::tbegtd(tp, tbl::tbcnum(tp, 2), r, v);
      EXPECT_EQ(v, r * 0.5) << "row " << r;
    }
    tbl::tbtclo(tp);
    EXPECT_NE(error_of([&] { tbl::tbtopn(fx.file.path + "[nosuch]", tbl::kReadOnly, nullptr); }), "");
  }
  EXPECT_EQ(open_descriptors(), before);
}
