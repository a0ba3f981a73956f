// Table-driven tests of the localisation-file reader, the datetime section
// and the home-directory look-up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "intllib/intl_loc.h"

namespace {

// Writes `text` to a fresh temporary file and returns its path.
std::string write_temp(const std::string& text) {
  char path[] = "/tmp/intl_locXXXXXX";
  int fd = ::mkstemp(path);
  EXPECT_GE(fd, 0);
  ::close(fd);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Reads a whole file as "[section] name=v1|v2 ..." lines; errors as "ERR n".
std::string dump(const std::string& text) {
  std::string path = write_temp(text);
  INTL_LOCFILE lf;
  int r = intl_open(path.c_str(), &lf);
  std::string out;
  if (r < 0) {
    ::unlink(path.c_str());
    return "OPEN " + std::to_string(r);
  }
  int st = 0;
  while (char* sect = intl_nextsection(&lf, &st)) {
    out += "[" + std::string(sect) + "]";
    while (char* name = intl_nextentry(&lf, &st)) {
      out += " " + std::string(name) + "=";
      bool first = true;
      while (char* v = intl_nextvalue(&lf, &st)) {
        if (!first) out += "|";
        out += v;
        first = false;
      }
      if (st < 0) break;
    }
    if (st < 0) break;
    out += ";";
  }
  if (st < 0) out += " ERR " + std::to_string(st);
  intl_close(&lf);
  ::unlink(path.c_str());
  return out;
}

TEST(IntlLocfile, ReadsSectionsEntriesAndValues) {
  struct { const char* name; std::string text; std::string expect; } cases[] = {
      {"plain", "; comment\n[one]\n a = x, y\nb = z\n[two]\nc = w\n", "[one] a=x|y b=z;[two] c=w;"},
      {"semicolon comment", "; c\n[s]\nname = v ; trailing comment\n", "[s] name=v;"},
      {"hash comment", "# c\n\n[s]\n# skipped\nname = v\n", "[s] name=v;"},
      // A file that starts with a heading takes "[" as its comment character,
      // so every "[" line is a comment and the next line is the heading.
      {"starts with heading", "[skipped]\n[real]\n<x>\nk = 1\n", "[x] k=1;"},
      {"quotes keep separators", "; c\n[s]\nk = 'a, b'\n", "[s] k=a, b;"},
      {"doubled quote", "; c\n[s]\nk = 'it''s'\n", "[s] k=it's;"},
      {"double quotes", "; c\n[s]\nk = \"x;y\", z\n", "[s] k=x;y|z;"},
      {"hex bytes", "; c\n[s]\nk = 0x414243\n", "[s] k=ABC;"},
      {"hex then text", "; c\n[s]\nk = 0x41g\n", "[s] k=Ag;"},
      {"escape char", "; c\n[s]\nk = a\\,b\n", "[s] k=a,b;"},
      {"continued entry", "; c\n[s]\nk = a, \\\n  b\nn = c\n", "[s] k=a|b n=c;"},
      {"name white space dropped", "; c\n[s]\nmy name = v\n", "[s] myname=v;"},
      {"trailing blanks trimmed", "; c\n[s]\nk =   v   \n", "[s] k=v;"},
      {"last line without newline", "; c\n[s]\nk = v\nn = w", "[s] k=v;"},
      {"file format section", "# c\n[file format]\nversion = 5\nlist_separator = ;\n[s]\nk = a;b\n",
       "[s] k=a|b;"},
      {"escape redefined", "; c\n[file format]\nescape = /\n[s]\nk = a/,b\n", "[s] k=a,b;"},
      {"empty value at line end", "; c\n[s]\nk =\nn = 1\n", "[s] k= n=1;"},
      {"odd hex digits", "; c\n[s]\nk = 0x414\n", "[s] k= ERR -11"},
      {"long line", "; c\n[s]\nk = " + std::string(510, 'a') + "\n", "[s] ERR -43"},
      {"missing equals", "; c\n[s]\njust a word\n", "[s] ERR -3"},
      {"name too long", "; c\n[s]\n" + std::string(63, 'n') + " = v\n", "[s] ERR -9"},
      {"bad heading", "; c\n[s]\nk = v\n[broken\n", "[s] k=v; ERR -45"},
      {"bad version", "; c\n[file format]\nversion = 4.x\n[s]\n", "OPEN -16"},
      {"version junk", "; c\n[file format]\nversion = 4.2.1a\n[s]\n", "OPEN -1"},
      {"version without value", "; c\n[file format]\nversion =\n[s]\n", "OPEN -2"},
      {"empty file", "", "OPEN -14"},
      {"only a comment", "; nothing else\n", "OPEN -15"},
  };
  for (auto& c : cases) EXPECT_EQ(dump(c.text), c.expect) << c.name;
}

TEST(IntlLocfile, LineOfExactly512BytesIsAccepted) {
  std::string line = "k = " + std::string(507, 'a') + "\n";  // 512 with newline
  ASSERT_EQ(line.size(), 512u);
  EXPECT_EQ(dump("; c\n[s]\n" + line), "[s] k=" + std::string(507, 'a') + ";");
  EXPECT_EQ(dump("; c\n[s]\nk = " + std::string(508, 'a') + "\n"), "[s] ERR -43");
}

TEST(IntlLocfile, SectionNameOf62CharactersIsTheLongest) {
  const std::string n62(62, 's'), n63(63, 's');
  EXPECT_EQ(dump("; c\n[" + n62 + "]\nk = v\n"), "[" + n62 + "] k=v;");
  EXPECT_EQ(dump("; c\n[" + n63 + "]\nk = v\n"), "OPEN -45");
}

TEST(IntlLocfile, VersionTexts) {
  struct { const char* text; int value; } cases[] = {
      {"5", 500}, {"4.2", 420}, {"10.0.1", 1001}, {"4.x", -16}, {"4.2.1a", -1},
      {"x", -1},  {"123", -16}, {"4.", -16},      {"4.2.", -16},
  };
  for (auto& c : cases) EXPECT_EQ(intl__from_version(c.text), c.value) << c.text;
}

TEST(IntlLocfile, OpenArgumentChecks) {
  INTL_LOCFILE lf;
  EXPECT_EQ(intl_open(nullptr, &lf), -32);
  EXPECT_EQ(intl_open("/tmp/x", nullptr), -13);
  EXPECT_EQ(intl_open("/nonexistent/dir/file.loc", &lf), -151);
  EXPECT_EQ(intl_fopen(nullptr, &lf), -12);
  EXPECT_EQ(intl_close(nullptr), -13);
}

// Reads the datetime section of a file; returns intl_datetime's result.
int read_dt(const std::string& body, INTL_DATETIME* dt) {
  std::string path = write_temp("; c\n[datetime]\n" + body);
  INTL_LOCFILE lf;
  EXPECT_EQ(intl_open(path.c_str(), &lf), 1);
  int st = 0;
  EXPECT_NE(intl_nextsection(&lf, &st), nullptr);
  int r = intl_datetime(&lf, dt);
  intl_close(&lf);
  ::unlink(path.c_str());
  return r;
}

TEST(IntlDatetime, DefaultsAndErrors) {
  INTL_DATETIME dt;
  EXPECT_EQ(read_dt("", &dt), 1);
  EXPECT_STREQ(dt.months[0], "January");
  EXPECT_STREQ(dt.shortmonths[11], "Dec");
  EXPECT_STREQ(dt.days[6], "Sunday");
  EXPECT_EQ(dt.firstday, 7);
  EXPECT_STREQ(dt.dateformat, "mdy");
  EXPECT_EQ(dt.twelvehour, 1);
  struct { std::string body; int result; } cases[] = {
      {"months = a,b,c,d,e,f,g,h,i,j,k\n", -39},
      {"shortmonths = a,b\n", -40},
      {"days = a,b,c,d,e,f\n", -41},
      {"firstday = 0\n", -4},
      {"firstday = 8\n", -4},
      {"firstday =\n", -2},
      {"dateformat = ddm\n", -44},
      {"dateformat = dmx\n", -5},
      {"dateformat = dm\n", -5},
      {"timeformat = 13\n", -6},
      {"dateformat = dmy\n", 1},
      {"timeformat = 24\n", 1},
  };
  for (auto& c : cases) EXPECT_EQ(read_dt(c.body, &dt), c.result) << c.body;
}

TEST(IntlDatetime, NamesOrderAndSecondDateformatStops) {
  INTL_DATETIME dt;
  ASSERT_EQ(read_dt("months = janvier,fevrier,mars,avril,mai,juin,juillet,aout,septembre,"
                    "octobre,novembre,decembre\n"
                    "shortmonths = janv,fevr,mars,avr,mai,juin,juil,aout,sept,oct,nov,dec\n"
                    "dateformat = dmy\nfirstday = 1\ndateformat = ymd\ntimeformat = 24\n",
                    &dt),
            1);
  EXPECT_STREQ(dt.months[1], "fevrier");
  EXPECT_STREQ(dt.shortmonths[0], "janv");
  EXPECT_STREQ(dt.dateformat, "dmy");
  EXPECT_EQ(dt.firstday, 1);
  EXPECT_EQ(dt.twelvehour, 1);  // after the second dateformat nothing is read
  // Over-long names are cut to their fields.
  ASSERT_EQ(read_dt("shortmonths = " + std::string(40, 'x') + ",b,c,d,e,f,g,h,i,j,k,l\n", &dt), 1);
  EXPECT_EQ(std::string(dt.shortmonths[0]), std::string(9, 'x'));
}

TEST(IntlHome, SetPathEnvironmentAndBufferSize) {
  char buf[64];
  ::setenv("MERROW", "/opt/merrow", 1);
  EXPECT_EQ(intl_sethome(nullptr), 1);
  EXPECT_EQ(intl_home(buf, sizeof buf), 11);
  EXPECT_STREQ(buf, "/opt/merrow");
  EXPECT_EQ(intl_home(buf, 11), -7);
  EXPECT_EQ(intl_home(nullptr, 10), -27);
  EXPECT_EQ(intl_home(buf, -1), -28);
  EXPECT_EQ(intl_sethome("/set/home"), 1);
  EXPECT_EQ(intl_home(buf, sizeof buf), 9);
  EXPECT_STREQ(buf, "/set/home");
  EXPECT_EQ(intl_sethome(std::string(512, 'p').c_str()), -42);
  EXPECT_EQ(intl_sethome(nullptr), 1);
  EXPECT_EQ(intlgetenv(buf, sizeof buf, nullptr), 0);
  EXPECT_EQ(intlgetenv(buf, sizeof buf, "QUOREL_SURELY_UNSET_VAR"), 0);
  EXPECT_EQ(intlgetenv(buf, 5, "MERROW"), -7);
  EXPECT_EQ(intlgetenv(buf, 11, "MERROW"), -7);  // no room for the terminator
  EXPECT_EQ(intlgetenv(buf, 12, "MERROW"), 11);
  EXPECT_STREQ(buf, "/opt/merrow");
  ::unsetenv("MERROW");
}

}  // namespace
