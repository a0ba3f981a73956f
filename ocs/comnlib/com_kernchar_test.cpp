#include "comnlib/com_kern.h"
#include "comnlib/com_num.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>

namespace {

struct K {
  COMN_CONTEXT ctx{};
  COMN_DATAFORMAT sf{}, df{};
  std::int32_t out = -1;
  unsigned char buf[300];
  K(int srclen, int maxlen = 0, int fmt = 0) {
    sf.maxlength = srclen;
    df.maxlength = maxlen;
    df.format = fmt;
    std::memset(buf, 'x', sizeof buf);
  }
  int run(ComnKernel k, const void* src) { return k(&ctx, &sf, src, &df, buf, &out); }
  std::string text(int n) const { return std::string(reinterpret_cast<const char*>(buf), n); }
};

int L(const char* s) { return static_cast<int>(std::strlen(s)); }

}  // namespace

TEST(KernBin, FixedTargets) {
  const unsigned char b[5] = {1, 2, 3, 4, 5};
  K three(3);
  EXPECT_EQ(three.run(comn_bintoi4, b), COMN_EUNDERFLOW);
  EXPECT_EQ(three.out, 3);
  K five(5);
  EXPECT_EQ(five.run(comn_bintoi4, b), COMN_ETRUNCATED);
  EXPECT_EQ(five.out, 4);
  const unsigned char vb[7] = {5, 0, 1, 2, 3, 4, 5};
  K v(0);
  EXPECT_EQ(v.run(comn_varbintoi4, vb), COMN_EOVERFLOW);
  K num(2);
  num.df.precision = 5;
  const unsigned char two[2] = {0, 5};
  EXPECT_EQ(num.run(comn_bintonum, two), COMN_EUNDERFLOW);
  EXPECT_EQ(num.buf[0], 5);
  EXPECT_EQ(num.buf[3], 5);
  num.df.precision = 78;
  EXPECT_EQ(num.run(comn_bintonum, two), COMN_EPRECISION);
}

TEST(KernBin, HexText) {
  const unsigned char b[2] = {0x0A, 0xFF};
  K four(2, 4);
  EXPECT_EQ(four.run(comn_bintochar, b), COMN_OK);
  EXPECT_EQ(four.text(4), "0aff");
  K nul(2, 4, COMN_FMT_NULLTERM);
  EXPECT_EQ(nul.run(comn_bintochar, b), COMN_EOVERFLOW);
  K three(2, 3);
  EXPECT_EQ(three.run(comn_bintochar, b), COMN_ETRUNCATED);
  EXPECT_EQ(three.text(2), "0a");
  EXPECT_EQ(three.buf[2], 'x');
  const unsigned char vb[4] = {2, 0, 0x0A, 0xFF};
  K vthree(0, 3);
  EXPECT_EQ(vthree.run(comn_varbintochar, vb), COMN_EOVERFLOW);
  K vc(2);
  EXPECT_EQ(vc.run(comn_bintovarchar, b), COMN_OK);
  EXPECT_EQ(vc.out, 258);
  EXPECT_EQ(vc.buf[0], 4);
  K copy(0);
  EXPECT_EQ(copy.run(comn_varbintovarbin, vb), COMN_OK);
  EXPECT_EQ(std::memcmp(copy.buf, vb, 4), 0);
}

TEST(KernChar, HexToBinary) {
  const char* t = "  0x1F2 ";
  K k(L(t), 4, COMN_FMT_PADZERO);
  EXPECT_EQ(k.run(comn_chartobin, t), COMN_OK);
  EXPECT_EQ(k.out, 4);
  EXPECT_EQ(k.buf[0], 0x01);
  EXPECT_EQ(k.buf[1], 0xF2);
  EXPECT_EQ(k.buf[2], 0);
  EXPECT_EQ(k.buf[3], 0);
  K bad(4, 4);
  EXPECT_EQ(bad.run(comn_chartobin, "0x1G"), COMN_ESYNTAX);
  EXPECT_EQ(bad.out, 0);
  K cut(6, 2);
  EXPECT_EQ(cut.run(comn_chartobin, "123456"), COMN_ETRUNCATED);
  K odd(3);
  EXPECT_EQ(odd.run(comn_chartovarbin, "G12"), COMN_ESYNTAX);
  EXPECT_EQ(odd.buf[0], 0);
  EXPECT_EQ(odd.buf[1], 0);
  K none(2, 0);
  EXPECT_EQ(none.run(comn_chartobin, "12"), COMN_EOVERFLOW);
}

TEST(KernChar, Numbers) {
  struct { const char* t; int st; double v; } f8[] = {
      {"1.5 ", COMN_OK, 1.5}, {"1.5x", COMN_ESYNTAX, 0}, {"1e-400", COMN_EUNDERFLOW, 0},
      {"1e400", COMN_EOVERFLOW, DBL_MAX}, {"", COMN_OK, 0.0}, {"   ", COMN_OK, 0.0}};
  for (auto c : f8) {
    K k(L(c.t));
    EXPECT_EQ(k.run(comn_chartoflt8, c.t), c.st) << c.t;
    if (c.st != COMN_ESYNTAX) {
      double d;
      std::memcpy(&d, k.buf, 8);
      EXPECT_EQ(d, c.v) << c.t;
    }
  }
  std::string longtext(1024, '1');
  K lk(1024);
  EXPECT_EQ(lk.run(comn_chartoflt8, longtext.data()), COMN_ESYNTAX);
  K i1(3);
  EXPECT_EQ(i1.run(comn_chartoi1, "300"), COMN_EOVERFLOW);
  std::string blanks(12, ' ');
  K b(12);
  EXPECT_EQ(b.run(comn_chartoi1, blanks.data()), COMN_OK);
  EXPECT_EQ(b.buf[0], 0);
  K m(9);
  EXPECT_EQ(m.run(comn_chartomoney, "$1,234.50"), COMN_OK);
  EXPECT_EQ(m.out, 8);
  K syn(2);
  EXPECT_EQ(syn.run(comn_chartomny4, "1x"), COMN_ESYNTAX);
  EXPECT_EQ(syn.out, 0);
  K dt(11);
  EXPECT_EQ(dt.run(comn_chartodatetime, "Mar 15 1999"), COMN_OK);
  EXPECT_EQ(dt.run(comn_chartodatetime, "Feb 30 1999"), COMN_EOVERFLOW);
}

TEST(KernChar, ToNumeric) {
  K k(5);
  k.df.precision = 10;
  k.df.scale = 2;
  EXPECT_EQ(k.run(comn_chartonum, "12.5 "), COMN_OK);
  EXPECT_EQ(k.out, comn_num_getlen(10) + 2);
  K own(8);
  own.df.precision = own.df.scale = COMN_SRC_PRECSCALE;
  EXPECT_EQ(own.run(comn_chartonum, "-123.450"), COMN_OK);
  EXPECT_EQ(own.buf[0], 6);
  EXPECT_EQ(own.buf[1], 3);
  COM_EXCTNUME x{comn_num_getlen(6), 6, 3, own.buf + 2};
  char area[COM_NUME_TEXTMAX];
  int at = com__subexctnumetochar(&x, area, sizeof area);
  EXPECT_EQ(std::string(area + at, sizeof area - at), "-123.450");
  EXPECT_EQ(own.df.precision, COMN_SRC_PRECSCALE);
  K lost(6);
  lost.df.precision = 10;
  lost.df.scale = 1;
  EXPECT_EQ(lost.run(comn_chartonum, "12.505"), COMN_ETRUNCATED);
}

TEST(KernChar, ToCharacter) {
  K k(5, 5, COMN_FMT_NULLTERM);
  EXPECT_EQ(k.run(comn_chartochar, "hello"), COMN_ETRUNCATED);
  EXPECT_EQ(k.text(5), std::string("hell\0", 5));
  K p(5, 8, COMN_FMT_NULLTERM | COMN_FMT_PADBLANK);
  EXPECT_EQ(p.run(comn_chartochar, "hello"), COMN_OK);
  EXPECT_EQ(p.text(8), std::string("hello  \0", 8));
  K q(4, 10, COMN_FMT_QUOTES);
  EXPECT_EQ(q.run(comn_chartochar, "it's"), COMN_OK);
  EXPECT_EQ(q.text(q.out), "it''s");
  K q3(4, 3, COMN_FMT_QUOTES);
  EXPECT_EQ(q3.run(comn_chartochar, "it's"), COMN_ETRUNCATED);
  EXPECT_EQ(q3.text(2), "it");
  K v(3);
  EXPECT_EQ(v.run(comn_chartovarchar, "abc"), COMN_OK);
  EXPECT_EQ(v.out, 258);
  EXPECT_EQ(v.buf[0], 3);
}

#include "comnlib/com_charclass.h"
#include "comnlib/comn_loc.h"

TEST(KernChar, LocaleCharacterSet) {
  // A character set in which "#" has the single-byte form "5".
  static std::uint8_t typemap[1024];
  std::memcpy(typemap, com_get_typemap(), sizeof typemap);
  typemap[4 * '#' + 1] = '5';
  COM_CHARATTRIB attr = *com_get_charattrib();
  attr.typemap = typemap;
  attr.flags[0] = 2;  // read through the single-byte forms
  comn_chardesc desc{};
  desc.attr = &attr;
  comn_loccache entry{};
  entry.chardesc = &desc;
  comn_locale loc{};
  for (auto& c : loc.cat) c = &entry;

  K plain(2);
  EXPECT_EQ(plain.run(comn_chartoi4, "1#"), COMN_ESYNTAX);
  K local(2);
  local.ctx.deflocale = &loc;
  EXPECT_EQ(local.run(comn_chartoi4, "1#"), COMN_OK);
  std::int32_t v;
  std::memcpy(&v, local.buf, 4);
  EXPECT_EQ(v, 15);
  K fmtlocale(2);
  fmtlocale.sf.locale = &loc;
  EXPECT_EQ(fmtlocale.run(comn_chartomoney, "1#"), COMN_OK);
  // Without a context the format's locale still applies.
  std::int32_t n = 0;
  EXPECT_EQ(comn_chartoi4(nullptr, &fmtlocale.sf, "1#", &fmtlocale.df, &v, &n), COMN_OK);
  COMN_DATAFORMAT datefmt = fmtlocale.sf;
  datefmt.maxlength = 10;
  EXPECT_EQ(comn_chartodatetime(nullptr, &datefmt, "Jan 2 1900", &fmtlocale.df, fmtlocale.buf, &n),
            COMN_OK);
  EXPECT_EQ(n, 8);
  // Both sides in one set: text is copied, not converted.
  K same(3, 3);
  same.ctx.deflocale = &loc;
  EXPECT_EQ(same.run(comn_chartochar, "a#b"), COMN_OK);
  EXPECT_EQ(same.text(3), "a#b");
}
