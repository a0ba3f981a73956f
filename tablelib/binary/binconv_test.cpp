// Unit tests of the element conversion rules (binconv.h): the shared case
// table through the column-range families of both orders, plus the rules in
// which the row and array families differ.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binconv.h"
#include "conv_cases.h"

namespace {

using namespace tbbin;

// Bytes of a stored cell of the case table.
std::vector<uint8_t> encode(const convcases::Stored& s) {
  std::vector<uint8_t> b;
  switch (s.type) {
    case kBool: case kInt: b.resize(4); put_i32(b.data(), int32_t(s.num)); break;
    case kShort: b.resize(2); put_i16(b.data(), int16_t(s.num)); break;
    case kReal: b.resize(4); put_f32(b.data(), float(s.num)); break;
    case kDouble: b.resize(8); put_f64(b.data(), s.num); break;
    default:
      b.assign(std::size_t(string_chars(s.type, 0)) * 2, 0);
      std::memcpy(b.data(), s.text, std::min(b.size(), std::strlen(s.text)));
  }
  return b;
}

const char* fmt_of(int type) {
  return type == kBool ? "%b" : (type == kShort || type == kInt) ? "%d" : "%g";
}

// Reads a cell as `req`; the number result (bool as 0/1) or the text.
double read_as(const Cell& c, char req, Fam f, bool* flag, std::string* text) {
  switch (req) {
    case 'b': return read_b(c, f, flag) != 0;
    case 'd': return read_d(c, f, flag);
    case 'r': return read_r(c, f, flag);
    case 'i': return read_i(c, f, flag);
    case 's': return read_s(c, f, flag);
    default: *text = read_t(c, f, fmt_of(c.type), 40, flag); return 0;
  }
}

// The stored number of a number cell.
double decode(int type, const uint8_t* p) {
  switch (type) {
    case kBool: case kInt: return get_i32(p);
    case kShort: return get_i16(p);
    case kReal: return get_f32(p);
    default: return get_f64(p);
  }
}

TEST(BinConv, CaseTableReadsInBothOrders) {
  for (const auto& rc : convcases::kReadCases) {
    auto bytes = encode(rc.cell);
    Cell c{rc.cell.type, bytes.data(), bytes.size()};
    for (Fam f : {Fam::RangeX, Fam::RangeY}) {
      bool flag = false;
      std::string text;
      double v = read_as(c, rc.req, f, &flag, &text);
      std::string what = std::string("type ") + std::to_string(rc.cell.type) + " value " +
                         (rc.cell.text ? rc.cell.text : std::to_string(rc.cell.num)) + " as " +
                         rc.req + (f == Fam::RangeX ? " (row-ordered)" : " (column-ordered)");
      if (rc.req == 't') EXPECT_EQ(text, rc.text) << what;
      else if (rc.req == 'r') EXPECT_EQ(float(v), float(rc.want)) << what;
      else EXPECT_EQ(v, rc.want) << what;
      EXPECT_EQ(flag, f == Fam::RangeX ? rc.flag_x : rc.flag_y) << what;
    }
  }
}

TEST(BinConv, CaseTableWritesInBothOrders) {
  for (const auto& wc : convcases::kWriteCases) {
    std::size_t bytes = is_string(wc.type) ? std::size_t(string_chars(wc.type, 0)) * 2
                                           : std::size_t(number_chars(wc.type)) * 2;
    for (Fam f : {Fam::RangeX, Fam::RangeY}) {
      std::vector<uint8_t> cell(bytes, 0xAA);
      switch (wc.given) {
        case 'b': write_b(int32_t(wc.num), wc.type, f, cell.data(), bytes); break;
        case 'd': write_d(wc.num, wc.type, f, cell.data(), bytes); break;
        case 'r': write_r(float(wc.num), wc.type, f, cell.data(), bytes); break;
        case 'i': write_i(int32_t(wc.num), wc.type, f, cell.data(), bytes); break;
        case 's': write_s(int16_t(wc.num), wc.type, f, cell.data(), bytes); break;
        default: write_t(wc.text, 1023, wc.type, f, cell.data(), bytes); break;
      }
      std::string what = std::string("given ") + wc.given + " " +
                         (wc.text ? wc.text : std::to_string(wc.num)) + " into type " +
                         std::to_string(wc.type) + (f == Fam::RangeX ? " (row)" : " (column)");
      if (wc.field) {
        EXPECT_EQ(std::string(reinterpret_cast<char*>(cell.data()), std::size_t(wc.field_len)),
                  std::string(wc.field, std::size_t(wc.field_len)))
            << what;
      } else {
        double want = f == Fam::RangeX ? wc.want_x : wc.want_y;
        double got = decode(wc.type, cell.data());
        if (wc.type == kReal) EXPECT_EQ(float(got), float(want)) << what;
        else EXPECT_EQ(got, want) << what;
      }
    }
  }
}

// Rules where the row, append and array families differ from the ranges.
TEST(BinConv, FamilyDifferences) {
  uint8_t cell[8];
  bool flag;
  // A column-ordered row write of a huge double into bool stores false.
  write_d(1e12, kBool, Fam::RowY, cell, 4);
  EXPECT_EQ(get_i32(cell), 0);
  write_r(3e9f, kBool, Fam::RowY, cell, 4);
  EXPECT_EQ(get_i32(cell), 0);
  write_d(1e12, kBool, Fam::RowX, cell, 4);
  EXPECT_EQ(get_i32(cell), 1);
  // Arrays: no rounding for bool; reals beyond 9.9e36 are undefined.
  write_d(0.4, kBool, Fam::ArrayX, cell, 4);
  EXPECT_EQ(get_i32(cell), 1);
  put_f32(cell, 0.4f);
  EXPECT_EQ(read_b(Cell{kReal, cell, 4}, Fam::ArrayX, &flag), 1);
  EXPECT_EQ(read_b(Cell{kReal, cell, 4}, Fam::RangeX, &flag), 0);
  write_d(1e37, kReal, Fam::ArrayX, cell, 4);
  EXPECT_EQ(get_f32(cell), 1.6e38f);
  write_t("1e37", 1023, kReal, Fam::ArrayX, cell, 4);
  EXPECT_EQ(get_f32(cell), 1.6e38f);
  uint8_t text[8] = {'1', 'e', '3', '7', 0, 0, 0, 0};
  EXPECT_EQ(read_r(Cell{-8, text, 8}, Fam::ArrayX, &flag), 1.6e38f);
  // Numbers into string elements of arrays carry no padding.
  uint8_t field[8];
  write_d(2.5, -8, Fam::ArrayX, field, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 4), std::string("2.5\0", 4));
  write_r(0.1f, -8, Fam::ArrayX, field, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 4), std::string("0.1\0", 4));
  // An appended row formats doubles with 16 digits, other rows with 17.
  uint8_t wide[30];
  write_d(0.1, -30, Fam::RowAppendX, wide, 30);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(wide), 25), "0.1                      ");
  write_d(0.1, -30, Fam::RowX, wide, 30);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(wide), 25), "0.10000000000000001      ");
  // Row reads: int from text rounding to -2147483647 is flagged only in
  // column-ordered tables; short from int -32767 likewise.
  uint8_t t2[12] = {};
  std::memcpy(t2, "-2147483647", 11);
  EXPECT_EQ(read_i(Cell{-12, t2, 12}, Fam::RowX, &flag), -2147483647);
  EXPECT_FALSE(flag);
  read_i(Cell{-12, t2, 12}, Fam::RowY, &flag);
  EXPECT_TRUE(flag);
  put_i32(cell, -32767);
  read_s(Cell{kInt, cell, 4}, Fam::RowX, &flag);
  EXPECT_FALSE(flag);
  read_s(Cell{kInt, cell, 4}, Fam::RowY, &flag);
  EXPECT_TRUE(flag);
}

TEST(BinConv, NullValuesAreTheFileImages) {
  uint8_t b[8];
  put_null(b, kReal, 4);
  EXPECT_EQ(get_u32(b), 0x7ef0bdc2u);
  put_null(b, kDouble, 8);
  EXPECT_EQ(get_u32(b), 0x47de17b8u);
  EXPECT_EQ(get_u32(b + 4), 0x4357691bu);
  put_null(b, kInt, 4);
  EXPECT_EQ(get_u32(b), 0x80000001u);
  put_null(b, kShort, 2);
  EXPECT_EQ(get_i16(b), -32767);
  EXPECT_EQ(b[0], 0x80);
}

}  // namespace
