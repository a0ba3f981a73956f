// Header parameters of binary tables: records, add/replace/get, comments,
// comment-like keywords, growth and copying.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl {
namespace {

using testing::ScratchDir;

using testing::message_of;

class HeaderParams : public ::testing::Test {
 protected:
  void SetUp() override {
    tp = tbtopn(dir.path("h.tab"), kNewFile, nullptr);
    Column* c;
    tbcdef1(tp, c, "a", "", "", kTyInt, 1);
    tbtcre(tp);
  }
  void TearDown() override { tbtclo(tp); }
  std::string record(int n) {
    std::string r;
    tbhrpr(tp, n, r);
    return r;
  }
  ScratchDir dir;
  Table* tp = nullptr;
};

TEST_F(HeaderParams, RecordsOfEachType) {
  tbhadd(tp, "dval", 1.5);
  tbhadi(tp, "ival", 42);
  tbhadb(tp, "bval", true);
  tbhadr(tp, "rval", 0.25f);
  tbhadt(tp, "tval", "some text");
  EXPECT_EQ(record(1), "DVAL    d1.5");
  EXPECT_EQ(record(2), "IVAL    i42");
  EXPECT_EQ(record(3), "BVAL    b1");
  EXPECT_EQ(record(4), "RVAL    r0.25");
  EXPECT_EQ(record(5), "TVAL    t'some text'");
  std::string t;
  tbhgtt(tp, "dval", t, 80);
  EXPECT_EQ(t, "1.5");
  EXPECT_EQ(tbhgti(tp, "dval"), 2);
  EXPECT_EQ(tbhgtd(tp, "ival"), 42.0);
  EXPECT_TRUE(tbhgtb(tp, "bval"));
  EXPECT_EQ(tbhgtr(tp, "rval"), 0.25f);
  tbhgtt(tp, "TVAL", t, 4);
  EXPECT_EQ(t, "some");
  std::string kw, value;
  int dtype = -1;
  tbhgnp(tp, 5, kw, dtype, value);
  EXPECT_EQ(kw, "TVAL");
  EXPECT_EQ(dtype, kTyChar);
  EXPECT_EQ(value, "some text");
  tbhgnp(tp, 0, kw, dtype, value);
  EXPECT_EQ(kw, "");
  EXPECT_EQ(dtype, 0);
}

TEST_F(HeaderParams, CommentLikeKeywordsAppend) {
  tbhadt(tp, "history", "one");
  tbhadt(tp, "HISTORY", "two");
  tbhadt(tp, "", "blank");
  EXPECT_EQ(tp->npar, 3);
  EXPECT_EQ(record(1), "HISTORY tone");
  EXPECT_EQ(record(2), "HISTORY ttwo");
  EXPECT_EQ(record(3), "        tblank");
  int code = 0;
  EXPECT_EQ(message_of([&] { tbhadd(tp, "comment", 1.0); }, &code),
            "tbhadd:  can't put numeric parameter as comment or history");
  EXPECT_EQ(code, 63);
  EXPECT_EQ(message_of([&] { tbhptb(tp, "history", true); }, &code),
            "tbhptb:  may not put Boolean parameter as comment or history");
  EXPECT_EQ(message_of([&] { tbhptt(tp, "history", "x"); }, &code),
            "use tbhadt, not tbhptt, to add new comment or history");
  EXPECT_EQ(code, 62);
  // "HISTORY " with a trailing blank is an ordinary keyword, found by the
  // record match (so it replaces) but not by the keyword comparison.
  tbhadt(tp, "HISTORY ", "three");
  EXPECT_EQ(tp->npar, 3);
  EXPECT_EQ(record(1), "HISTORY t'three'");
  EXPECT_EQ(message_of([&] { std::string t; tbhgtt(tp, "HISTORY ", t, 80); }, &code),
            "tbhgtt:  table header parameter `HISTORY ' not found");
  EXPECT_EQ(code, 61);
}

TEST_F(HeaderParams, ReplaceKeepsPlaceAndComment) {
  tbhadt(tp, "OBJECT", "star");
  tbhpcm(tp, "object", "the target");
  EXPECT_EQ(record(1), "OBJECT  t'star' the target");
  tbhadt(tp, "object", "galaxy");
  EXPECT_EQ(tp->npar, 1);
  EXPECT_EQ(record(1), "OBJECT  t'galaxy' the target");
  std::string c;
  tbhgcm(tp, "OBJECT", c, 80);
  EXPECT_EQ(c, "the target");
  tbhadd(tp, "EXPTIME", 10.0);
  tbhpcm(tp, "EXPTIME", "seconds");
  tbhptd(tp, "exptime", 20.0);
  EXPECT_EQ(record(2), "EXPTIME d20 seconds");
  int code = 0;
  EXPECT_EQ(message_of([&] { tbhptd(tp, "MISSING", 1.0); }, &code),
            "tbhptd:  `MISSING' not found; use tbhadd to add new parameter");
  EXPECT_EQ(code, 61);
  EXPECT_EQ(message_of([&] { tbhpcm(tp, "MISSING", "x"); }, &code),
            "tbhpcm:  keyword `MISSING' not found in table `" + tp->name + "'");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message_of([&] { tbhpnp(tp, 0, "X", 2, "y"); }),
            "tbhpnp:  parnum out of range");
  // A long keyword is cut to 8 and found again by the same long keyword.
  tbhadi(tp, "LONGKEYWORD", 3);
  EXPECT_EQ(tbhgti(tp, "LONGKEYWORD"), 3);
  EXPECT_EQ(record(3), "LONGKEYWi3");
}

TEST_F(HeaderParams, LongTextValues) {
  const std::string v69(69, 'x'), v70(70, 'y');
  tbhadt(tp, "A", v69);
  tbhadt(tp, "B", v70);
  EXPECT_EQ(record(1).size(), 80u);
  EXPECT_EQ(record(1), "A       t'" + v69 + "'");
  EXPECT_EQ(record(2), "B       t" + v70);
  tbhpcm(tp, "B", "no room");
  EXPECT_EQ(record(2), "B       t" + v70);
  std::string t;
  tbhgtt(tp, "B", t, 80);
  EXPECT_EQ(t, v70);
}

// Text values holding quotes or backslashes read back as written.
TEST_F(HeaderParams, QuotesAndBackslashesInTextValues) {
  struct Case {
    const char* value;
    const char* record;
  } cases[] = {
      {"R'", "A       t'R\\''"},
      {"it's here", "A       t'it\\'s here'"},
      {"say \"hi\"", "A       t'say \"hi\"'"},
      {"back\\slash", "A       t'back\\slash'"},
      {"ends in \\", "A       tends in \\"},
      {"\\\\'\\", "A       t\\\\'\\"},
  };
  for (const Case& c : cases) {
    tbhadt(tp, "A", c.value);
    EXPECT_EQ(record(1), c.record) << c.value;
    std::string kw, value;
    int dtype = 0;
    tbhgnp(tp, 1, kw, dtype, value);
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(tp->npar, 1);
}

TEST_F(HeaderParams, BooleansAndNumbersFromText) {
  tbhadt(tp, "Y1", "Yes");
  tbhadt(tp, "N1", "no");
  tbhadt(tp, "X1", "perhaps");
  tbhadd(tp, "D1", 1.4);
  tbhadd(tp, "D2", 1.6);
  tbhadt(tp, "ABC", "abc");
  EXPECT_TRUE(tbhgtb(tp, "Y1"));
  EXPECT_FALSE(tbhgtb(tp, "N1"));
  EXPECT_FALSE(tbhgtb(tp, "X1"));
  EXPECT_TRUE(tbhgtb(tp, "D1"));
  EXPECT_FALSE(tbhgtb(tp, "D2"));
  EXPECT_EQ(tbhgti(tp, "ABC"), kIndefI);
  EXPECT_EQ(tbhgtd(tp, "ABC"), kIndefD);
  tbhadd(tp, "BIG", 3e10);
  EXPECT_EQ(tbhgti(tp, "BIG"), kIndefI);
}

TEST_F(HeaderParams, AppendingGrowsTheFileAndReopens) {
  for (int k = 1; k <= 12; ++k) tbhadi(tp, "K" + std::to_string(k), k);
  EXPECT_EQ(tp->npar, 12);
  EXPECT_GE(tp->maxpar, 12);
  tbepti(tp, tbcnum(tp, 1), 1, 7);
  const std::string name = tp->name;
  tbtclo(tp);
  tp = tbtopn(name, kReadOnly, nullptr);
  for (int k = 1; k <= 12; ++k) EXPECT_EQ(tbhgti(tp, "K" + std::to_string(k)), k);
  int v = 0;
  tbegti(tp, tbcnum(tp, 1), 1, v);
  EXPECT_EQ(v, 7);
  int code = 0;
  EXPECT_EQ(message_of([&] { tbhadi(tp, "X", 1); }, &code), "can't write to table; it's readonly");
  EXPECT_EQ(code, 3);
}

TEST_F(HeaderParams, CopyAll) {
  tbhadt(tp, "INSTRUME", "ZOR");
  tbhadd(tp, "EPOCH", 2000.0);
  tbhadt(tp, "HISTORY", "made");
  Table* out = tbtopn(dir.path("o.tab"), kNewFile, nullptr);
  int code = 0;
  EXPECT_EQ(message_of([&] { tbhcal(tp, out); }, &code), "tbhcal:  output table is not open yet");
  tbtcre(out);
  tbhcal(tp, out);
  EXPECT_EQ(out->npar, 3);
  std::string r;
  tbhrpr(out, 2, r);
  EXPECT_EQ(r, record(2));
  // Into an output that has parameters: same keywords keep their place.
  Table* out2 = tbtopn(dir.path("o2.tab"), kNewFile, nullptr);
  tbtcre(out2);
  tbhadd(out2, "EPOCH", 1950.0);
  tbhadt(out2, "OTHER", "x");
  tbhcal(tp, out2);
  EXPECT_EQ(out2->npar, 4);
  EXPECT_EQ(tbhgtd(out2, "EPOCH"), 2000.0);
  int n = 0;
  tbhfkw(out2, "EPOCH", n);
  EXPECT_EQ(n, 1);
  tbhfkw(out2, "INSTRUME", n);
  EXPECT_EQ(n, 3);
  tbtclo(out2);
  tbtclo(out);
}

}  // namespace
}  // namespace tbl
