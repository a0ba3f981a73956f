// TFORM reading and writing, display formats.
#include "fits_tform.h"

#include <gtest/gtest.h>
#include <string>

#include "vos/error.h"

using namespace tbftform;

namespace {

std::string error_of(void (*f)()) {
  try {
    f();
  } catch (const vos::Error& e) {
    return std::to_string(e.code()) + ":" + e.message();
  }
  return "none";
}

std::string tyb_error(const char* tform) {
  try {
    tbftyb(tform, 1.0, 0.0);
  } catch (const vos::Error& e) {
    return std::to_string(e.code()) + ":" + e.message();
  }
  return "none";
}

}  // namespace

TEST(FitsTform, BinaryForms) {
  struct Case { const char* tform; double scal, zero; int st, dt, nelem, len; };
  const Case cases[] = {
      {"20A", 1, 0, -20, -20, 1, 10},   {"60A20", 1, 0, -20, -20, 3, 30},
      {"1J", 0.5, 0, 4, 7, 1, 4},       {"J", 1, 0, 4, 4, 1, 2},
      {"8X", 1, 0, 3, 3, 1, 1},         {"9X", 1, 0, 3, 3, 2, 2},
      {"3I", 1, 100, 3, 6, 3, 6},       {"1B", 1, 0, 3, 3, 1, 1},
      {"2d", 1, 0, 7, 7, 2, 8},         {"1C", 1, 0, 7, 7, 1, 4},
      {"4E", 1, 0, 6, 6, 4, 8},         {"1L", 1, 0, 1, 1, 1, 2},
      {"1A", 1, 0, -1, -1, 1, 1},
      // A scaled float needs a double for its physical values.
      {"1E", 1, 2450868.5, 6, 7, 1, 4}, {"2E", 0.5, 0, 6, 7, 2, 8},
      // A scaled 16-bit integer is real only where a float holds all its
      // values: a whole offset within 24 bits and no scale.
      {"1I", 1, 32768, 3, 6, 1, 2},     {"1I", 1, 16744448, 3, 6, 1, 2},
      {"1I", 1, 16744449, 3, 7, 1, 4},  {"1I", 1, 0.5, 3, 7, 1, 4},
      {"2B", 0.001, 2450868.5, 3, 7, 2, 8},
      // 64-bit integers are held as doubles; a zero repeat has no elements.
      {"1K", 1, 0, 7, 7, 1, 4},         {"0D", 1, 0, 7, 7, 0, 0},
      {"0J", 1, 0, 4, 4, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tform);
    ColumnForm f = tbftyb(c.tform, c.scal, c.zero);
    EXPECT_EQ(f.storage_type, c.st);
    EXPECT_EQ(f.data_type, c.dt);
    EXPECT_EQ(f.nelem, c.nelem);
    EXPECT_EQ(f.length, c.len);
    EXPECT_EQ(f.wide, std::string(c.tform) == "1K");
  }
}

TEST(FitsTform, BinaryRefusals) {
  EXPECT_EQ(tyb_error("1M"), "1:can't handle complex double precision");
  EXPECT_EQ(tyb_error("1PE(10)"), "1:can't handle variable length arrays");
  EXPECT_EQ(tyb_error("1W"), "1:unrecognized TFORM:  `1W'");
  // A zero width or a zero repeat for strings would divide by zero or give a
  // type-0 column: both are refused.
  EXPECT_EQ(tyb_error("20A0"), "1:unrecognized TFORM:  `20A0'");
  EXPECT_EQ(tyb_error("0A"), "1:unrecognized TFORM:  `0A'");
  EXPECT_EQ(tyb_error("10A20"), "1:unrecognized TFORM:  `10A20'");
  EXPECT_EQ(tyb_error(""), "1:unrecognized TFORM:  `'");
  EXPECT_EQ(tyb_error("2J3"), "1:unrecognized TFORM:  `2J3'");
}

TEST(FitsTform, AsciiForms) {
  ColumnForm a = tbftya("A12", 1, 0, -1);
  EXPECT_EQ(a.data_type, -12);
  EXPECT_EQ(a.length, 6);
  EXPECT_EQ(tbftya("E15.7", 1, 0, -1).data_type, 6);
  EXPECT_EQ(tbftya("F8.3", 1, 0, -1).data_type, 6);
  EXPECT_EQ(tbftya("D25.17", 1, 0, -1).length, 4);
  EXPECT_EQ(tbftya("I9", 1, 0, -1).data_type, 4);
  // Ten characters or more may hold integers beyond an int.
  EXPECT_EQ(tbftya("I10", 1, 0, -1).data_type, 7);
  EXPECT_TRUE(tbftya("I20", 1, 0, -1).wide);
  EXPECT_FALSE(tbftya("I9", 1, 0, -1).wide);
  // A scaled I column is real for a print width of at most 7, else double.
  EXPECT_EQ(tbftya("I10", 1, 100, 5).data_type, 6);
  EXPECT_EQ(tbftya("I10", 1, 100, 10).data_type, 7);
  EXPECT_EQ(tbftya("I10", 1, 100, -1).data_type, 7);
  // A scaled float needs a double, as in a binary table.
  EXPECT_EQ(tbftya("E15.7", 1, 2450868.5, -1).data_type, 7);
  EXPECT_EQ(tbftya("F8.3", 0.5, 0, -1).length, 4);
  EXPECT_THROW(tbftya("A", 1, 0, -1), vos::Error);
  EXPECT_THROW(tbftya("L5", 1, 0, -1), vos::Error);
}

TEST(FitsTform, WrittenForms) {
  EXPECT_EQ(binary_tform(4, 1), "1J");
  EXPECT_EQ(binary_tform(6, 10), "10E");
  EXPECT_EQ(binary_tform(-20, 1), "20A");
  EXPECT_EQ(binary_tform(-20, 3), "60A20");
  EXPECT_EQ(binary_tform(1, 1), "1L");
  EXPECT_EQ(binary_tform(3, 2), "2I");
  EXPECT_EQ(binary_tform(7, 1), "1D");
}

TEST(FitsTform, DisplayFormats) {
  struct Case { const char* pf; const char* disp; };
  const Case cases[] = {
      {"%12.5g", "G12.5"}, {"%-20s", "A20"}, {"%11d", "I11"}, {"%6b", "L6"},
      {"%05d", "I5.5"},    {"%12.2h", "F16.6"}, {"%12h", "F16.4"}, {"%10.1m", "F12.3"},
      {"%25.16g", "G25.16"}, {"%8x", "Z8"}, {"%7.3e", "E7.3"},
  };
  for (const auto& c : cases) EXPECT_EQ(tbfptf(c.pf), c.disp) << c.pf;
  EXPECT_EQ(error_of([] { tbfptf("%12q"); }), "1:bad print format `%12q'");
  EXPECT_THROW(tbfptf(""), vos::Error);
}

TEST(FitsTform, AsciiTformForNewColumns) {
  EXPECT_EQ(tbftfo(-12, 12, "%-12s"), "A12");
  EXPECT_EQ(tbftfo(4, 11, "%11d"), "I11");
  EXPECT_EQ(tbftfo(6, 15, "%15.7g"), "E15.7");
  EXPECT_EQ(tbftfo(7, 25, "%25.16g"), "D25.16");
  EXPECT_EQ(error_of([] { tbftfo(1, 6, "%6b"); }),
            "1:Boolean column not supported in FITS ASCII table");
  EXPECT_EQ(error_of([] { tbftfo(7, 10, "%10.3f"); }),
            "1:Use E format for double precision in FITS ASCII table");
  EXPECT_EQ(error_of([] { tbftfo(6, 10, "%10d"); }),
            "1:Use simple Fortran format for new column in FITS ASCII table");
}
