// gtest's SUCCEED() and FAIL() give way to the client's return codes here.
#include <gtest/gtest.h>
#undef SUCCEED
#undef FAIL

#include "comnlib/comn_alloc.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> g_errors;

int record_error(DBPROCESS*, int, int dberr, int, char*, char*) {
  g_errors.push_back(dberr);
  return INT_CANCEL;
}

struct Handler {
  DB_ERRHANDLE_PROC old;
  Handler() : old(dberrhandle(record_error)) { g_errors.clear(); }
  ~Handler() { dberrhandle(old); }
};

}  // namespace

TEST(DbConvert, ServerTypesToBindTypes) {
  Handler h;
  int version = Db__GlobalRec.version;
  Db__GlobalRec.version = DBVERSION_46;  // dbsetversion takes only the first setting
  struct { int type, len, bind; } cases[] = {
      {MERINT1, 1, 1},     {MERINTN, 1, 1},       {MERINTN, 2, 2},   {MERINTN, 4, 3},
      {MERINT2, 2, 2},     {MERINT4, 4, 3},       {MERCHAR, 10, 4},  {MERVARCHAR, -2, 12},
      {MERTEXT, -1, 13},   {MERBINARY, 4, 6},     {MERBIT, 1, 8},    {MERDATETIME, 8, 9},
      {MERDATETIMN, 8, 9}, {MERDATETIMN, 4, 16},  {MERMONEYN, 4, 17}, {MERFLTN, 8, 11},
      {MERREAL, 4, 18},    {MERDATETIME4, 4, 16}, {MERMONEY4, 4, 17}};
  for (auto c : cases) EXPECT_EQ(dbmer2bind(nullptr, c.type, c.len), c.bind) << c.type;
  EXPECT_TRUE(g_errors.empty());
  EXPECT_EQ(dbmer2bind(nullptr, MERINTN, 3), -1);
  EXPECT_EQ(dbmer2bind(nullptr, MERDATETIMN, 2), -1);
  EXPECT_EQ(dbmer2bind(nullptr, 33, 1), -1);  // unknown variable-length type
  EXPECT_EQ(dbmer2bind(nullptr, 7, 1), -1);   // unknown fixed-length type
  EXPECT_EQ(dbmer2bind(nullptr, MERNUMERIC, 35), -1);  // version 1
  EXPECT_EQ(g_errors, (std::vector<int>{20025, 20143, 20028, 20029, 20060}));
  Db__GlobalRec.version = DBVERSION_50;
  EXPECT_EQ(dbmer2bind(nullptr, MERNUMERIC, 35), NUMERICBIND);
  Db__GlobalRec.version = version;
}

TEST(DbConvert, ConvertsThroughTheMatrix) {
  Handler h;
  char out[64];
  // Character to a null-terminated string (target length -1).
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, reinterpret_cast<const BYTE*>("abc  "), 5, MERCHAR,
                      reinterpret_cast<BYTE*>(out), -1),
            3);
  EXPECT_STREQ(out, "abc");
  // Binary to character: hexadecimal digits without a prefix.
  const BYTE bin[] = {0xDE, 0xAD};
  EXPECT_EQ(dbconvert(nullptr, MERBINARY, bin, 2, MERCHAR, reinterpret_cast<BYTE*>(out), -1), 4);
  EXPECT_STREQ(out, "dead");
  // A datetime as a 63-byte string.
  DBDATETIME dt{-53690, 25919999};
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(dbbconvert(nullptr, DATETIMEBIND, reinterpret_cast<const BYTE*>(&dt), 8, STRINGBIND,
                       reinterpret_cast<BYTE*>(out), 63, nullptr),
            26);
  EXPECT_EQ(std::string(out, 26), "Jan  1 1753 11:59:59:996PM");
  EXPECT_EQ(out[61], ' ');
  EXPECT_EQ(out[62], '\0');
  // NULL source: the null setter of the target.
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, nullptr, 0, STRINGBIND, reinterpret_cast<BYTE*>(out), 4,
                       nullptr),
            0);
  EXPECT_EQ(std::string(out, 4), std::string("   \0", 4));
  EXPECT_TRUE(g_errors.empty());
  // Overflow, an empty cell, a bad type and a missing target raise their errors.
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, reinterpret_cast<const BYTE*>("abcdef"), 6, STRINGBIND,
                       reinterpret_cast<BYTE*>(out), 4, nullptr),
            -1);
  DBINT i4 = 5;
  EXPECT_EQ(dbbconvert(nullptr, INTBIND, reinterpret_cast<const BYTE*>(&i4), 4, DATETIMEBIND,
                       reinterpret_cast<BYTE*>(out), 8, nullptr),
            -1);
  EXPECT_EQ(dbbconvert(nullptr, 5, reinterpret_cast<const BYTE*>(&i4), 4, CHARBIND,
                       reinterpret_cast<BYTE*>(out), 8, nullptr),
            -1);
  EXPECT_EQ(dbbconvert(nullptr, INTBIND, reinterpret_cast<const BYTE*>(&i4), 4, CHARBIND, nullptr,
                       8, nullptr),
            -1);
  EXPECT_EQ(g_errors, (std::vector<int>{20049, 20053, 20053, 20148}));
}

TEST(DbConvert, NullValuesOfAConnection) {
  Handler h;
  DBPROCESS* p = newdbproc();
  binddefault(p);
  const void* v;
  int len;
  db__getnull_value(p, NTBSTRINGBIND, &v, &len);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(dbsetnull(p, NTBSTRINGBIND, 0, reinterpret_cast<const BYTE*>("none")), SUCCEED);
  db__getnull_value(p, NTBSTRINGBIND, &v, &len);
  EXPECT_EQ(std::string(static_cast<const char*>(v), static_cast<size_t>(len)), "none");
  char out[16];
  EXPECT_EQ(dbbconvert(p, CHARBIND, nullptr, 0, NTBSTRINGBIND, reinterpret_cast<BYTE*>(out), 16,
                       nullptr),
            4);
  EXPECT_STREQ(out, "none");
  EXPECT_EQ(dbsetnull(p, BITBIND, 1, reinterpret_cast<const BYTE*>("\1")), FAIL);
  EXPECT_EQ(dbsetnull(p, CHARBIND, -1, reinterpret_cast<const BYTE*>("x")), FAIL);
  EXPECT_EQ(dbsetnull(p, CHARBIND, 1, nullptr), FAIL);
  EXPECT_EQ(g_errors, (std::vector<int>{20023, 20215, 20153}));
  db__free_nulls(p);
  comn_free(p);
}

TEST(DbConvert, DateCrack) {
  Handler h;
  DBDATEPARTS parts{};
  parts.spare = 77;
  DBDATETIME dt{36249, 300 * 61};  // 1999-04-01 00:01:01
  ASSERT_EQ(dbdatecrack(nullptr, &parts, &dt), SUCCEED);
  EXPECT_EQ(parts.year, 1999);
  EXPECT_EQ(parts.month, 3);
  EXPECT_EQ(parts.mday, 1);
  EXPECT_EQ(parts.minute, 1);
  EXPECT_EQ(parts.second, 1);
  EXPECT_EQ(parts.spare, 77);
  EXPECT_EQ(dbdatecrack(nullptr, &parts, nullptr), FAIL);
  DBDATETIME bad{3000000, 0};
  EXPECT_EQ(dbdatecrack(nullptr, &parts, &bad), FAIL);  // outside the datetime range
  EXPECT_EQ(g_errors, (std::vector<int>{20155, 20218}));
}

// A negative source length other than the two that dbconvert resolves is
// refused at every entry point, for every cell of the matrix, before any byte
// is copied.
// A bind type outside 1 to MAXBIND, or one of the exact numerics before
// version 2, is refused on either side with 20053.
TEST(DbConvert, BindTypesOutsideTheRangeAreRefused) {
  Handler h;
  int version = Db__GlobalRec.version;
  BYTE src[8] = {'1', 0, 0, 0, 0, 0, 0, 0}, out[64];
  struct Case { int ver, s, d; DBINT rc; } cases[] = {
      {DBVERSION_50, 0, CHARBIND, -1},           {DBVERSION_50, CHARBIND, 0, -1},
      {DBVERSION_50, MAXBIND + 1, CHARBIND, -1}, {DBVERSION_50, CHARBIND, MAXBIND + 1, -1},
      {DBVERSION_50, CHARBIND, MAXBIND - 2, 1},  {DBVERSION_46, CHARBIND, 19, -1},
      {DBVERSION_46, CHARBIND, 18, 1},
  };
  for (const Case& c : cases) {
    Db__GlobalRec.version = c.ver;
    g_errors.clear();
    EXPECT_EQ(dbbconvert(nullptr, c.s, src, 1, c.d, out, sizeof out, nullptr) < 0 ? -1 : 1, c.rc)
        << c.s << " to " << c.d;
    EXPECT_EQ(g_errors, c.rc < 0 ? std::vector<int>{20053} : std::vector<int>{}) << c.s << " to " << c.d;
  }
  Db__GlobalRec.version = version;
}

TEST(DbConvert, NegativeSourceLengthsAreRefused) {
  Handler h;
  int version = Db__GlobalRec.version;
  Db__GlobalRec.version = DBVERSION_50;  // every bind type, 19 to 22 included
  BYTE src[300];
  std::memset(src, '1', sizeof src);
  src[0] = 10;  // numeric sources: precision 10, scale 2
  src[1] = 2;
  const int lengths[] = {-1, -2, -5, -32768, INT32_MIN};
  for (int s = 1; s <= MAXBIND; ++s)
    for (int d = 1; d <= MAXBIND; ++d) {
      if (!dbbwillconvert(s, d)) continue;
      for (int len : lengths) {
        BYTE out[300];
        std::memset(out, 0x5A, sizeof out);
        g_errors.clear();
        EXPECT_EQ(dbbconvert(nullptr, s, src, len, d, out, 10, nullptr), -1)
            << s << " to " << d << " length " << len;
        EXPECT_EQ(g_errors, std::vector<int>{20218}) << s << " to " << d << " length " << len;
        EXPECT_TRUE(std::all_of(out, out + sizeof out, [](BYTE b) { return b == 0x5A; }))
            << s << " to " << d << " length " << len;
      }
    }
  // Server datatypes whose bind type does not depend on the length: only -1,
  // and -2 for the character types, have a meaning.
  const int types[] = {MERIMAGE, MERTEXT, MERVARBINARY, MERVARCHAR, MERBINARY, MERCHAR,
                       MERINT1, MERBIT, MERINT2, MERINT4, MERDATETIME4, MERREAL, MERMONEY,
                       MERDATETIME, MERFLT8, MERSENSITIVITY, MERBOUNDARY, MERDECIMAL,
                       MERNUMERIC, MERMONEY4};
  auto is_char = [](int t) { return t == MERTEXT || t == MERVARCHAR || t == MERCHAR; };
  for (int s : types)
    for (int d : types) {
      if (!dbwillconvert(s, d)) continue;
      for (int len : lengths) {
        if (len == -1 || (len == -2 && is_char(s))) continue;
        for (bool ps : {false, true}) {
          BYTE out[300];
          std::memset(out, 0x5A, sizeof out);
          g_errors.clear();
          DBINT r = ps ? dbconvert_ps(nullptr, s, src, len, d, out, 10, nullptr)
                       : dbconvert(nullptr, s, src, len, d, out, 10);
          EXPECT_EQ(r, -1) << s << " to " << d << " length " << len;
          EXPECT_EQ(g_errors, std::vector<int>{20218}) << s << " to " << d << " length " << len;
          EXPECT_TRUE(std::all_of(out, out + sizeof out, [](BYTE b) { return b == 0x5A; }))
              << s << " to " << d << " length " << len;
        }
      }
    }
  Db__GlobalRec.version = version;
}

// dbconvert takes -1 as "work the length out" and, for character types, -2
// as a NUL-ended string.
TEST(DbConvert, SourceLengthsMinusOneAndMinusTwo) {
  Handler h;
  const BYTE* abc = reinterpret_cast<const BYTE*>("abc");
  const DBINT i4 = 1234;
  const BYTE* i4p = reinterpret_cast<const BYTE*>(&i4);
  struct Case {
    int srctype;
    const BYTE* src;
    DBINT srclen;
    int desttype;
    DBINT destlen;
    DBINT result;
    std::string out;
  } cases[] = {
      {MERCHAR, abc, -2, MERCHAR, 10, 3, "abc       "},
      {MERCHAR, abc, -1, MERCHAR, 10, 3, "abc       "},
      {MERTEXT, abc, -2, MERCHAR, -1, 3, std::string("abc\0", 4)},
      {MERVARCHAR, abc, -1, MERCHAR, 5, 3, "abc  "},
      {MERVARCHAR, abc, -2, MERCHAR, 5, 3, "abc  "},
      {MERCHAR, nullptr, -2, MERCHAR, 3, 0, "   "},
      {MERINT4, i4p, -1, MERCHAR, 6, 4, "1234  "},
      {MERBINARY, abc, -1, MERCHAR, 2, 0, "  "},  // no length to work out: a NULL value
  };
  for (const Case& c : cases) {
    char out[32];
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(dbconvert(nullptr, c.srctype, c.src, c.srclen, c.desttype,
                        reinterpret_cast<BYTE*>(out), c.destlen),
              c.result)
        << c.srctype << " length " << c.srclen;
    EXPECT_EQ(std::string(out, c.out.size()), c.out) << c.srctype << " length " << c.srclen;
  }
  EXPECT_TRUE(g_errors.empty());
}
