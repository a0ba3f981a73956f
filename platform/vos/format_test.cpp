// Formatting: a table of formats, arguments and expected texts.
#include <gtest/gtest.h>

#include "vos/format.h"
#include "vos/indef.h"

namespace {

TEST(VosFormat, ConversionTable) {
  struct Case {
    std::string got, want;
  };
  const Case cases[] = {
      {vos::sprintf("%d|%5d|%-5d|%05d", 42, 42, 42, -42), "42|   42|42   |-0042"},
      {vos::sprintf("%-11d|", 7), "7          |"},
      {vos::sprintf("%b %b %-3b| %6b", true, false, true, 0), "yes no yes|     no"},
      {vos::sprintf("%s|%-6s|%6s|%.2s", "ab", "ab", "ab", "abc"), "ab|ab    |    ab|ab"},
      {vos::sprintf("%15.7g|", 3.25), "           3.25|"},
      {vos::sprintf("%-25.17g|", 0.1), "0.10000000000000001      |"},
      {vos::sprintf("%25.16g", 1.5), "                      1.5"},
      {vos::sprintf("%-15.7g|", 2.5f), "2.5            |"},
      {vos::sprintf("%8.3f|%e", -1.5, 1000.0), "  -1.500|1.000000e+03"},
      {vos::sprintf("%x %o %x", 255, 8, -1), "ff 10 ffffffff"},
      {vos::sprintf("%08.3d|%.3d", 12, -5), "     012|-005"},
      {vos::sprintf("%d", 2.5), "3"},       // floating to integer: halves away from zero
      {vos::sprintf("%d", -2.5), "-3"},
      {vos::sprintf("%s %s", 12, 0.5), "12 0.5"},
      {vos::sprintf("%d", "17"), "17"},
      {vos::sprintf("%c%c", 'x', "yz"), "xy"},
      {vos::sprintf("100%%"), "100%"},
      {vos::sprintf("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |"},
      {vos::sprintf("[%s]", std::string("sel")), "[sel]"},
      {vos::sprintf("-%ds", 18), "-18s"},
      {vos::sprintf("%12.1h", 12.5824), "  12:34:56.6"},
      {vos::sprintf("%h", -1.5), "-1:30:00"},
      {vos::sprintf("%.1m", 1.5), "1:30.0"},
      // too many seconds for the decimals asked: fewer decimals, not fewer digits
      {vos::sprintf("%.9m", 245452200.0), "245452200:00.00000000"},
      {vos::sprintf("%h", 1e300), "1.0000000000000001e+300"},  // too many to count: the whole number
      {vos::sprintf("%d and %s"), " and "},            // missing arguments print nothing
      {vos::sprintf("%q%d", 3), "%q3"},                  // unknown letters are copied
      {vos::sprintf(std::string_view("abc%-5d", 6)), "abc%-5"},  // so is a conversion cut short
      {vos::sprintf("%*d|", -3, 1), "1  |"},             // a negative width aligns left
      {vos::sprintf("%.150f", 1.0), "1." + std::string(100, '0')},  // at most 100 decimals
      {vos::sprintf("%.12h", 1.5), "1:30:00.000000000"},            // at most 9
      {vos::sprintf("%h|%m", -1e-9, -1e-9), "0:00:00|0:00"},  // no sign on a zero
      {vos::sprintf("%x %x", -2147483647L - 1, 4294967296L), "80000000 100000000"},
      {vos::sprintf("%b %b %b %b %b", "true", "T", "no", "", -0.5), "yes yes no no yes"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(VosFormat, UndefinedValuesPrintIndef) {
  EXPECT_EQ(vos::sprintf("%d", vos::INDEFI), "INDEF");
  EXPECT_EQ(vos::sprintf("%6d|", vos::INDEFS), " INDEF|");
  EXPECT_EQ(vos::sprintf("%-8g|", vos::INDEFR), "INDEF   |");
  EXPECT_EQ(vos::sprintf("%25.16g", vos::INDEFD), std::string(20, ' ') + "INDEF");
  EXPECT_EQ(vos::sprintf("%s", vos::INDEFD), "INDEF");
  EXPECT_EQ(vos::sprintf("%05d", vos::INDEFI), "INDEF");  // no zero padding
  EXPECT_EQ(vos::sprintf("%d", "not a number"), "INDEF");
  EXPECT_EQ(vos::sprintf("%d", 1e300), "INDEF");           // does not fit
  // Ordinary values next to the undefined ones still print.
  EXPECT_EQ(vos::sprintf("%d", -32767), "-32767");           // an int, not a short
}

TEST(VosFormat, BoundedAndItoc) {
  EXPECT_EQ(vos::sprintf_max(4, "%s", "abcdefgh"), "abcd");
  EXPECT_EQ(vos::itoc(-120), "-120");
  std::string wide(5000, 'w');
  EXPECT_EQ(vos::sprintf("%s", wide).size(), 5000u);
  // A field is at most 4096 wide, however the width is given.
  EXPECT_EQ(vos::sprintf("%*d", 100000, 1).size(), 4096u);
  EXPECT_EQ(vos::sprintf("%4097d", 1).size(), 4096u);
  EXPECT_EQ(vos::sprintf("%99999999999999999999999d", 1).size(), 4096u);
}

}  // namespace
