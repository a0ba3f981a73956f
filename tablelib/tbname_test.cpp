// Table-name parsing: file name, bracket text, extension expression and
// selector groups, and the exact messages of bad names.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tables.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl {
namespace {

struct Parsed {
  int count = 0;
  std::string fname, extname, brackets, rowsel, colsel;
  int extver = 0, hdu = 0, overwrite = 0;
};

Parsed parse(const std::string& name, int maxch = 255, int maxselect = 1023) {
  Parsed p;
  p.count = tbnparse(name, p.fname, p.extname, p.brackets, maxch, p.extver, p.hdu,
                     p.overwrite, p.rowsel, p.colsel, maxselect);
  return p;
}

std::string parse_error(const std::string& name) {
  try {
    parse(name);
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 1) << name;
    return e.message();
  }
  return "(no error)";
}

TEST(TableName, PlainNameAndBlankName) {
  Parsed p = parse("cat.fits");
  EXPECT_EQ(p.count, 8);
  EXPECT_EQ(p.fname, "cat.fits");
  EXPECT_EQ(p.brackets, "");
  EXPECT_EQ(p.hdu, -1);
  EXPECT_EQ(p.extver, -1);
  EXPECT_EQ(p.overwrite, 0);
  EXPECT_EQ(p.extname, "");

  Parsed b;
  b.fname = "old";
  b.hdu = 7;
  b.count = tbnparse("  \t ", b.fname, b.extname, b.brackets, 255, b.extver, b.hdu,
                     b.overwrite, b.rowsel, b.colsel, 1023);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(b.fname, "");
  EXPECT_EQ(b.hdu, -1);
  EXPECT_EQ(b.extver, -1);
}

struct Case {
  const char* name;
  const char* fname;
  const char* brackets;
  const char* extname;
  int hdu, extver, overwrite;
  const char* rowsel;
  const char* colsel;
};

TEST(TableName, GroupsAndExpressions) {
  const Case cases[] = {
      {"cat.fits[3]", "cat.fits", "[3]", "", 3, -1, 0, "", ""},
      {"cat.fits[sci,2]", "cat.fits", "[sci,2]", "sci", -1, 2, 0, "", ""},
      {"cat.fits[extname=SCI;extver=2][overwrite]", "cat.fits",
       "[extname=SCI;extver=2][overwrite]", "SCI", -1, 2, 1, "", ""},
      {"cat.tab[row:flux>2][c:name]", "cat.tab", "[row:flux>2][c:name]", "", -1, -1, 0,
       "flux>2", "name"},
      {"cat.fits[1][row:a>0]", "cat.fits", "[1][row:a>0]", "", 1, -1, 0, "a>0", ""},
      {"cat.fits[0]", "cat.fits", "[0]", "", 0, -1, 0, "", ""},
      {"cat.fits[3,sci,overwrite]", "cat.fits", "[3,sci,overwrite]", "sci", 3, -1, 1, "", ""},
      {"cat.fits[exte=2]", "cat.fits", "[exte=2]", "", 2, -1, 0, "", ""},
      {"cat.fits[o]", "cat.fits", "[o]", "", -1, -1, 1, "", ""},
      {"cat.fits[\"o\"]", "cat.fits", "[\"o\"]", "o", -1, -1, 0, "", ""},
      {"cat.fits[overwrite=no]", "cat.fits", "[overwrite=no]", "", -1, -1, 0, "", ""},
      {"cat.fits[overwrite,4]", "cat.fits", "[overwrite,4]", "", 4, -1, 1, "", ""},
      {"cat.fits[1] [row:a>0]", "cat.fits", "[1] [row:a>0]", "", 1, -1, 0, "", ""},
      {"cat.fits[2sci]", "cat.fits", "[2sci]", "2sci", -1, -1, 0, "", ""},
      {"dir/cat.fits[extension=4]", "dir/cat.fits", "[extension=4]", "", 4, -1, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parsed p = parse(c.name);
    EXPECT_EQ(p.fname, c.fname);
    EXPECT_EQ(p.brackets, c.brackets);
    EXPECT_EQ(p.extname, c.extname);
    EXPECT_EQ(p.hdu, c.hdu);
    EXPECT_EQ(p.extver, c.extver);
    EXPECT_EQ(p.overwrite, c.overwrite);
    EXPECT_EQ(p.rowsel, c.rowsel);
    EXPECT_EQ(p.colsel, c.colsel);
  }
}

// A bracket of the file's own name is written with a backslash before it;
// the file name holds the bracket alone, and the groups after it still
// read as the extension expression.
TEST(TableName, BracketsOfTheFileNameItself) {
  struct Case {
    const char* name;
    const char* fname;
    int hdu;
  } cases[] = {
      {R"(a\[b\].fits[2])", "a[b].fits", 2},
      {R"(a\]b.fits[1])", "a]b.fits", 1},
      {R"(dir/x\[1\].fits)", "dir/x[1].fits", -1},
      {R"(a\b.fits[3])", R"(a\b.fits)", 3},
      {R"(a\[[1])", "a[", 1},
      // Brackets at the end are a group, a backslash before them or not.
      {R"(cat.fits\[1\])", "cat.fits", 1},
      {R"(cat.fits\[2])", "cat.fits", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parsed p = parse(c.name);
    EXPECT_EQ(p.fname, c.fname);
    EXPECT_EQ(p.hdu, c.hdu);
    EXPECT_EQ(p.extname, "");
  }
}

TEST(TableName, ErrorMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {"cat.fits[extension=0]", "extension number must be positive"},
      {"cat.fits[3,sci]", "can't give extension number and EXTNAME or EXTVER"},
      {"cat.fits[extver=2,3]", "tbnparse:  ambiguous number in table name"},
      {"cat.fits[ext]", "`ext' is ambiguous"},
      {"cat.fits[a[1]]", "tbnparse:  nested brackets not allowed"},
      {"cat.fits]", "tbnparse:  unmatched ] in file name"},
      {"cat.fits[1", "No closing bracket (cat.fits[1)"},
      {"cat.tab[r:x>1][row:y>2]", "Unrecognized selector (cat.tab[r:x>1][row:y>2])"},
      {"[3]", "tbnparse:  no file name specified"},
      {"cat.fits[3][extension=2]", "can't specify extension number twice"},
      {"cat.fits[extension 2]", "table name syntax:  [extension=<n>]"},
      {"cat.fits[extension=x]", "tbnparse:  can't read extension number"},
      {"cat.fits[extname]", "table name syntax:  [extname=<n>]"},
      {"cat.fits[extname=]", "tbnparse:  missing EXTNAME string"},
      {"cat.fits[extver]", "table name syntax:  [extver=<n>]"},
      {"cat.fits[extver=q]", "tbnparse:  invalid EXTVER number"},
      {"cat.fits['x']", "unrecognized character in table name"},
      {"cat.fits[a+b]", "syntax error:  `[a+b]'"},
      {"cat.fits[overwrite=junk]", "syntax error:  `[overwrite=junk]'"},
      {"cat.fits[\"sci]", "tbnparse:  unmatched quote in table name"},
      {"ca]t.fits", "tbnparse:  unmatched bracket in file name"},
  };
  for (const auto& [name, msg] : cases) EXPECT_EQ(parse_error(name), msg) << name;
}

TEST(TableName, LengthLimits) {
  std::string longname(300, 'a');
  EXPECT_EQ(parse_error(longname), "tbnparse:  file name is too long");
  // tbparse cuts a long file name to 255 characters without an error.
  std::string fname, br;
  int hdu = 0;
  EXPECT_EQ(tbparse(longname + "[2]", fname, br, 80, hdu), 303);
  EXPECT_EQ(fname.size(), 255u);
  std::string f2, e2, b2, r2, c2;
  int v2, h2, o2;
  try {
    tbnparse("cat.fits[" + std::string(20, 'x') + "]", f2, e2, b2, 12, v2, h2, o2, r2, c2, 1023);
    ADD_FAILURE() << "expected an error";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbnparse:  name in brackets is too long");
  }
}

// A bracket group is held in 255 characters; one that does not fit (or a
// selector longer than maxselect) is refused, never cut.
TEST(TableName, GroupsThatDoNotFitAreRefused) {
  const std::string row255 = "cat.tab[row:" + std::string(248, ' ') + "a>0]";  // 255 in brackets
  EXPECT_EQ(parse(row255).rowsel, std::string(248, ' ') + "a>0");
  const std::string ext253 = "cat.fits[" + std::string(253, 'x') + "]";
  EXPECT_EQ(parse(ext253).extname, std::string(253, 'x'));
  const struct {
    std::string name;
    int maxselect;
  } refused[] = {
      {"cat.tab[row:" + std::string(249, ' ') + "a>0]", 1023},
      {"cat.tab[r:row = 1:" + std::string(245, ' ') + "5]", 1023},
      {"cat.tab[c:" + std::string(300, '*') + "]", 1023},
      {"cat.fits[" + std::string(254, 'x') + "]", 1023},
      {"cat.fits[1][" + std::string(400, 'x') + "]", 1023},
      {"cat.tab[row:a>0 || b>0]", 8},
  };
  for (const auto& r : refused) {
    Parsed p;
    int code = 0;
    EXPECT_EQ(testing::message_of([&] { p = parse(r.name, 255, r.maxselect); }, &code),
              "Bracket group too long (" + r.name + ")");
    EXPECT_EQ(code, 1);
  }
}

TEST(TableName, ShortFormKeepsBracketsOnlyOnSuccess) {
  std::string fname, br = "old";
  int hdu = 0;
  EXPECT_EQ(tbparse("cat.fits[2]", fname, br, 2, hdu), 11);
  EXPECT_EQ(fname, "cat.fits");
  EXPECT_EQ(br, "[2");
  EXPECT_EQ(hdu, 2);
  br = "old";
  EXPECT_THROW(tbparse("cat.fits[3,sci]", fname, br, 255, hdu), vos::Error);
  EXPECT_EQ(br, "old");
}

}  // namespace
}  // namespace tbl
