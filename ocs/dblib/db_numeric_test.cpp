// A text column converted through the DB client's conversion entry points to
// integers, floats, money, datetimes and exact numerics.
#include <gtest/gtest.h>
#undef SUCCEED
#undef FAIL

#include "dblib/db_convert.h"
#include "dblib/db_internal.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> g_errors;

int record_error(DBPROCESS*, int, int dberr, int, char*, char*) {
  g_errors.push_back(dberr);
  return INT_CANCEL;
}

struct ClientState {
  DB_ERRHANDLE_PROC old;
  int version;
  ClientState() : old(dberrhandle(record_error)), version(Db__GlobalRec.version) {
    g_errors.clear();
    Db__GlobalRec.version = DBVERSION_50;  // numeric and decimal need version 2
  }
  ~ClientState() {
    dberrhandle(old);
    Db__GlobalRec.version = version;
  }
};

const BYTE* B(const char* s) { return reinterpret_cast<const BYTE*>(s); }

std::string numeric_text(const DBNUMERIC& n) {
  char out[100];
  DBINT r = dbbconvert(nullptr, NUMERICBIND, reinterpret_cast<const BYTE*>(&n), 35,
                       NTBSTRINGBIND, reinterpret_cast<BYTE*>(out), sizeof out, nullptr);
  return r < 0 ? "<error>" : std::string(out);
}

}  // namespace

TEST(DbNumeric, TextColumnThroughDbbconvert) {
  ClientState s;
  DBINT i4 = 0;
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B(" -42  "), 6, INTBIND, reinterpret_cast<BYTE*>(&i4),
                       4, nullptr),
            4);
  EXPECT_EQ(i4, -42);
  double f8 = 0;
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("1.5e3 "), 6, FLT8BIND, reinterpret_cast<BYTE*>(&f8),
                       8, nullptr),
            8);
  EXPECT_EQ(f8, 1500.0);
  DBMONEY m{};
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("$1,234.50"), 9, MONEYBIND,
                       reinterpret_cast<BYTE*>(&m), 8, nullptr),
            8);
  double md = 0;
  EXPECT_EQ(dbbconvert(nullptr, MONEYBIND, reinterpret_cast<const BYTE*>(&m), 8, FLT8BIND,
                       reinterpret_cast<BYTE*>(&md), 8, nullptr),
            8);
  EXPECT_EQ(md, 1234.5);
  DBDATETIME dt{};
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("Mar 15 1999 10:30AM"), 19, DATETIMEBIND,
                       reinterpret_cast<BYTE*>(&dt), 8, nullptr),
            8);
  char out[40];
  EXPECT_EQ(dbbconvert(nullptr, DATETIMEBIND, reinterpret_cast<const BYTE*>(&dt), 8, NTBSTRINGBIND,
                       reinterpret_cast<BYTE*>(out), sizeof out, nullptr),
            26);
  EXPECT_STREQ(out, "Mar 15 1999 10:30:00:000AM");
  DBNUMERIC n{};
  DBTYPEINFO ti{10, 2};
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("12.5"), 4, NUMERICBIND, reinterpret_cast<BYTE*>(&n),
                       35, &ti),
            35);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(numeric_text(n), "12.50");
  // Without precision and scale the target is numeric(18, 0).
  EXPECT_EQ(dbbconvert(nullptr, VARYCHARBIND, B("\x03\x00" "987"), 3, DECIMALBIND,
                       reinterpret_cast<BYTE*>(&n), 35, nullptr),
            35);
  EXPECT_EQ(n.precision, 18);
  EXPECT_EQ(numeric_text(n), "987");
  EXPECT_TRUE(g_errors.empty());
}

// Precision 1 to 77 and scale 0 to the precision, given or taken from an
// exact numeric source; one past either edge is refused with its error.
TEST(DbNumeric, PrecisionAndScaleAtTheirEdges) {
  struct Case { int prec, scale; bool from_source; DBINT rc; int error; } cases[] = {
      {1, 0, false, 35, 0},      {77, 0, false, 35, 0},     {77, 77, false, 35, 0},
      {0, 0, false, 0, 20216},   {78, 0, false, 0, 20216},  {10, -1, false, 0, 20217},
      {10, 11, false, 0, 20217}, {10, 10, false, 35, 0},
      // From a source the length is that of the value's bytes: precision,
      // scale, sign and the digits' bytes.
      {1, 0, true, 4, 0},        {77, 77, true, 35, 0},     {0, 0, true, 0, 20218},
      {78, 0, true, 0, 20218},   {10, 11, true, 0, 20218},  {10, 10, true, 8, 0},
  };
  for (const Case& c : cases) {
    ClientState s;
    DBNUMERIC n{};
    DBINT rc;
    if (c.from_source) {
      DBNUMERIC src{};
      src.precision = static_cast<BYTE>(c.prec);
      src.scale = static_cast<BYTE>(c.scale);
      rc = dbbconvert(nullptr, NUMERICBIND, reinterpret_cast<const BYTE*>(&src), 35, NUMERICBIND,
                      reinterpret_cast<BYTE*>(&n), 35, nullptr);
    } else {
      DBTYPEINFO ti{c.prec, c.scale};
      rc = dbbconvert(nullptr, CHARBIND, B("0"), 1, NUMERICBIND, reinterpret_cast<BYTE*>(&n), 35,
                      &ti);
    }
    const std::string what = std::to_string(c.prec) + "," + std::to_string(c.scale) +
                             (c.from_source ? " from the source" : " given");
    EXPECT_EQ(rc, c.rc) << what;
    EXPECT_EQ(g_errors, c.error ? std::vector<int>{c.error} : std::vector<int>{}) << what;
    if (rc > 0) {
      EXPECT_EQ(n.precision, c.prec) << what;
      EXPECT_EQ(n.scale, c.scale) << what;
    }
  }
  // Two bytes of a source already give its precision and scale.
  ClientState s;
  const BYTE two[2] = {78, 0};
  DBNUMERIC n{};
  EXPECT_EQ(dbbconvert(nullptr, NUMERICBIND, two, 2, NUMERICBIND, reinterpret_cast<BYTE*>(&n), 35,
                       nullptr),
            0);
  EXPECT_EQ(g_errors, std::vector<int>{20218});
}

TEST(DbNumeric, BadTextRaisesItsError) {
  ClientState s;
  DBINT i4 = 0;
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("12x"), 3, INTBIND, reinterpret_cast<BYTE*>(&i4), 4,
                       nullptr),
            -1);
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("99999999999"), 11, INTBIND,
                       reinterpret_cast<BYTE*>(&i4), 4, nullptr),
            -1);
  DBNUMERIC n{};
  DBTYPEINFO ti{10, 2};
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("12.505"), 6, NUMERICBIND,
                       reinterpret_cast<BYTE*>(&n), 35, &ti),
            -1);
  DBDATETIME dt{};
  EXPECT_EQ(dbbconvert(nullptr, CHARBIND, B("Feb 30 1999"), 11, DATETIMEBIND,
                       reinterpret_cast<BYTE*>(&dt), 8, nullptr),
            -1);
  EXPECT_EQ(g_errors, (std::vector<int>{20050, 20049, 20049, 20049}));
}

TEST(DbNumeric, TextColumnThroughDbconvert) {
  ClientState s;
  DBINT i4 = 0;
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, B("77"), 2, MERINT4, reinterpret_cast<BYTE*>(&i4), 4), 4);
  EXPECT_EQ(i4, 77);
  double f8 = 0;
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, B("-0.25"), 5, MERFLT8, reinterpret_cast<BYTE*>(&f8), 8), 8);
  EXPECT_EQ(f8, -0.25);
  DBMONEY m{};
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, B("-12"), 3, MERMONEY, reinterpret_cast<BYTE*>(&m), 8), 8);
  DBDATETIME dt{};
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, B("Jan 2 1900"), 10, MERDATETIME,
                      reinterpret_cast<BYTE*>(&dt), 8),
            8);
  EXPECT_EQ(dt.days, 1);
  DBNUMERIC n{};
  EXPECT_EQ(dbconvert(nullptr, MERCHAR, B("-3"), 2, MERNUMERIC, reinterpret_cast<BYTE*>(&n), 35),
            35);
  EXPECT_EQ(numeric_text(n), "-3");
  char out[20];
  EXPECT_EQ(dbconvert(nullptr, MERNUMERIC, reinterpret_cast<const BYTE*>(&n), 35, MERCHAR,
                      reinterpret_cast<BYTE*>(out), -1),
            2);
  EXPECT_STREQ(out, "-3");
  EXPECT_TRUE(g_errors.empty());
}
