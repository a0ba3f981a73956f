// Unit tests of the printing of values as SQL literals, which browse mode
// and the cursors share, with its print widths.  Browse mode against a
// server is tested in standin/dblib_browse_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db_crs.h"
#include "db_testpeer.h"

using testpeer::errors;
using testpeer::saw_error;

namespace {

class DbBrowse : public testpeer::PeerTest {};

TEST_F(DbBrowse, PrintWidthsByDatatype) {
  struct Case {
    int type, len, width;
  } cases[] = {{MERCHAR, 10, 22}, {MERVARBINARY, 8, 18}, {MERINTN, 2, 6},  {MERINT4, 4, 11},
               {MERMONEY, 8, 25}, {MERFLTN, 8, 20},      {MERDATETIMN, 4, 28}, {MERNUMERIC, 35, 79},
               {MERINT4, 0, 5}};
  for (const Case& c : cases) EXPECT_EQ(db__prlen(nullptr, c.type, c.len), c.width) << c.type;
  // Lengths that no such value has.
  struct Bad {
    int type, len, err;
  } bad[] = {{MERINTN, 3, 20025}, {MERFLTN, 2, 20145}, {MERMONEYN, 5, 20144}, {MERDATETIMN, 6, 20143}, {200, 4, 20060}};
  for (const Bad& b : bad) {
    errors().clear();
    EXPECT_EQ(db__prlen(nullptr, b.type, b.len), -1);
    EXPECT_TRUE(saw_error(b.err)) << b.type;
  }
}

TEST_F(DbBrowse, PrintsValuesAsSqlLiterals) {
  int32_t i = -42;
  DBMONEY m{0, 125000};  // 12.5
  DBMONEY4 m4{-5000};    // -0.5
  DBDATETIME dt{0, 0};
  const BYTE b[] = {0xab, 0x01};
  struct Case {
    int type;
    const void* v;
    int len;
    const char* want;
  } cases[] = {
      {MERINT4, &i, 4, "-42"},
      {MERCHAR, "it's", 4, "'it''s'"},
      {MERVARBINARY, b, 2, "0xab01"},
      {MERMONEY, &m, 8, "$12.5000"},
      {MERMONEY4, &m4, 4, "$-0.5000"},
      {MERMONEYN, &m4, 4, "$-0.5000"},
      {MERDATETIME, &dt, 8, "'Jan  1 1900 12:00:00:000AM'"},
      {MERCHAR, "x", 0, "NULL "},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(db__crs_write_buf(nullptr, c.type, c.len, static_cast<const BYTE*>(c.v), &out), 1) << c.want;
    EXPECT_EQ(out, c.want);
    int width = db__prlen(nullptr, c.type, c.len);
    std::vector<char> dest(static_cast<std::size_t>(width) + 1);
    EXPECT_EQ(db__print_chardata(nullptr, static_cast<const BYTE*>(c.v), c.len, c.type, width, dest.data()), 1);
    EXPECT_STREQ(dest.data(), c.want);
  }
  // A quoted text that does not fit its width fails.
  char small[8];
  EXPECT_EQ(db__print_chardata(nullptr, reinterpret_cast<const BYTE*>("''''"), 4, MERCHAR, 7, small), 0);
}

}  // namespace
