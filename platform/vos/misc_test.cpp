// Dictionary look-up, strings, patterns, sort, environment, memory.
#include <gtest/gtest.h>

#include <fstream>

#include "vos/env.h"
#include "vos/error.h"
#include "vos/memory.h"
#include "vos/pattern.h"
#include "vos/sort.h"
#include "vos/strings.h"

namespace {

TEST(VosStrings, Strdic) {
  struct Case {
    const char* word;
    const char* dict;
    int index;
    const char* entry;
  };
  const Case cases[] = {
      {"row", "|row|column|", 1, "row"},        {"c", "|row|column|", 2, "column"},
      {"co", "|row|column|", 2, "column"},      {"x", "|row|column|", 0, ""},
      {"", "|row|column|", 0, ""},              {"ext", "|extension|extname|extver|overwrite", 0, ""},
      {"extn", "|extension|extname|extver|overwrite", 2, "extname"},
      {"overwrite", "|extension|extname|extver|overwrite", 4, "overwrite"},
      {"+", "|+|yes|true|-|no|false", 1, "+"},  {"no", "|+|yes|true|-|no|false", 5, "no"},
      {"ab", "|ab|abc|", 1, "ab"},              // an exact match beats an abbreviation
      {"", "|row|", 0, ""},
  };
  for (const Case& c : cases) {
    std::string entry = "junk";
    EXPECT_EQ(vos::strdic(c.word, entry, c.dict), c.index) << c.word;
    EXPECT_EQ(entry, c.entry) << c.word;
  }
  std::string entry;
  EXPECT_EQ(vos::strdic("col", entry, "|row|column|", 3), 2);
  EXPECT_EQ(entry, "col");  // the entry cut to maxch
}

TEST(VosStrings, CaseBlanksAndUnsignedOrder) {
  std::string s = "MiXeD";
  vos::strlwr(s);
  EXPECT_EQ(s, "mixed");
  EXPECT_EQ(vos::upper("abc"), "ABC");
  EXPECT_EQ(vos::nowhite(" a b\tc\n d "), "abcd");
  EXPECT_EQ(vos::nowhite(" a b c", 2), "ab");
  EXPECT_LT(vos::strcmp("a", "\xe9"), 0);  // 0xe9 sorts after ASCII
  EXPECT_GT(vos::strcmp("ab", "a"), 0);
  EXPECT_EQ(vos::strcmp("x", "x"), 0);
}

TEST(VosPattern, CompileAndMatch) {
  struct Case {
    const char* pat;
    const char* text;
    std::size_t want;  // 1-based index just past the match, 0 none
  };
  const Case cases[] = {
      {"^flux?*$", "flux_err", 9}, {"^flux?*$", "xflux", 0},   {"^fl?x$", "flux", 5},
      {"lu", "flux", 4},           {"^a*b$", "aaab", 5},        {"^a*b$", "b", 2},
      {"^[abc]?*$", "cat", 4},     {"^[^abc]", "cat", 0},       {"^[a-c]x", "bx", 3},
      {"^{FLUX}$", "flux", 5},     {"^FLUX$", "flux", 0},       {"^a\\*$", "a*", 3},
      {"^$", "", 1},               {"x$", "xax", 4},
      {"^a$b$", "a$b", 4},         // only a final "$" anchors
      {"^[a-]$", "-", 2},          {"^[a-]$", "a", 2},  // a "-" before "]" is itself
  };
  for (const Case& c : cases) {
    vos::Pattern p;
    ASSERT_TRUE(vos::patmake(c.pat, p)) << c.pat;
    EXPECT_EQ(vos::patmatch(c.text, p), c.want) << c.pat << " / " << c.text;
  }
  vos::Pattern p;
  for (const char* bad : {"[abc", "*a", "a**", "{ab", "{{a}", "a}", "a\\", "[]"})
    EXPECT_FALSE(vos::patmake(bad, p)) << bad;
}

// Many closures against a long text that almost matches: a backtracking
// matcher tries every way of sharing the text among the closures and never
// finishes (the test's time limit fails it); the table of match ends takes
// pattern length x text length steps.
TEST(VosPattern, ManyClosuresMatchInBoundedWork) {
  std::string stars;
  for (int k = 0; k < 120; ++k) stars += "?*";
  const std::string text(200, 'a');
  const struct {
    std::string pat, text;
    std::size_t want;
  } cases[] = {
      {"^" + stars + "q$", text, 0},
      {"^" + stars + "q$", text + "q", 202},
      {stars + "q", text + "qa", 202},
      {"^" + stars + "[ab]*q$", text + "b", 0},
      {"^{" + stars + "A}$", text, 201},
  };
  for (const auto& c : cases) {
    vos::Pattern p;
    ASSERT_TRUE(vos::patmake(c.pat, p));
    EXPECT_EQ(vos::patmatch(c.text, p), c.want) << c.pat.substr(c.pat.size() - 6);
  }
}

TEST(VosSort, CompareRoutineOrdersRows) {
  std::vector<std::string> key = {"", "b", "\xe9", "a", "b"};  // rows 1..4
  int rows[] = {1, 2, 3, 4};
  vos::qsort(rows, 4, [&](int x, int y) { return vos::strcmp(key[x], key[y]); });
  EXPECT_EQ(std::vector<int>(rows, rows + 4), (std::vector<int>{3, 1, 4, 2}));
  int again[] = {4, 3, 2, 1};
  EXPECT_THROW(vos::qsort(again, 4, [](int, int) -> int { vos::error(1, "cmp"); }), vos::Error);
  EXPECT_EQ(std::vector<int>(again, again + 4), (std::vector<int>{4, 3, 2, 1}));
}

TEST(VosEnv, DefinitionsAndSetStatements) {
  vos::envreset();
  ::setenv("VOS_TEST_VAR", "from process", 1);
  EXPECT_EQ(vos::envgets("VOS_TEST_VAR").value_or(""), "from process");
  vos::envputs("VOS_TEST_VAR", "own");
  EXPECT_EQ(vos::envgets("VOS_TEST_VAR").value_or(""), "own");
  EXPECT_FALSE(vos::envgets("VOS_SURELY_UNSET").has_value());
  char tmpl[] = "/tmp/vosenvXXXXXX";
  int fd = ::mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::ofstream(tmpl) << "# comment\n\nset home = /h/\nset quoted=\"a b\"\nset crlf = v\r\n";
  vos::envscan(std::string("set @") + tmpl + "\nreset flag = yes");
  EXPECT_EQ(vos::envgets("home").value_or(""), "/h/");
  EXPECT_EQ(vos::envgets("quoted").value_or(""), "a b");
  EXPECT_EQ(vos::envgets("crlf").value_or(""), "v");
  EXPECT_TRUE(vos::envgetb("flag"));
  vos::envscan("set one = 1\nset zero = 0\nset empty =");
  EXPECT_TRUE(vos::envgetb("one"));
  EXPECT_FALSE(vos::envgetb("zero"));
  EXPECT_FALSE(vos::envgetb("empty"));
  EXPECT_THROW(vos::envscan("nonsense here"), vos::Error);
  EXPECT_THROW(vos::envscan("set novalue"), vos::Error);
  EXPECT_THROW(vos::envscan("set x y"), vos::Error);
  EXPECT_THROW(vos::envscan("set = 1"), vos::Error);
  EXPECT_THROW(vos::envscan("set @/nonexistent/file"), vos::Error);
  ::unlink(tmpl);
  vos::envreset();
}

// Files that include files: nine deep are read, ten deep are refused (a
// file that includes itself ends there too).
TEST(VosEnv, IncludedFilesNineDeep) {
  char tmpl[] = "/tmp/vosenvdirXXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  auto file = [&](int k) { return dir + "/f" + std::to_string(k); };
  for (int depth : {9, 10}) {
    vos::envreset();
    for (int k = 1; k < depth; ++k) std::ofstream(file(k)) << "set @" << file(k + 1) << "\n";
    std::ofstream(file(depth)) << "set deep = yes\n";
    if (depth == 9) {
      vos::envscan("set @" + file(1));
      EXPECT_TRUE(vos::envgetb("deep"));
    } else {
      try {
        vos::envscan("set @" + file(1));
        ADD_FAILURE() << "ten files deep were read";
      } catch (const vos::Error& e) {
        EXPECT_EQ(e.message(), "Bad environment statement (set @" + file(10) + ")");
      }
    }
  }
  std::ofstream(file(1)) << "set @" << file(1) << "\n";
  EXPECT_THROW(vos::envscan("set @" + file(1)), vos::Error);
  vos::envreset();
  EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

TEST(VosMemory, ScratchStackReleasesToMark) {
  std::size_t base = vos::stack_depth();
  {
    vos::ScratchMark mark;
    char* s = vos::salloc_chars(255);
    EXPECT_EQ(s[255], '\0');
    vos::StackMark inner = vos::smark();
    vos::salloc(10);
    vos::salloc(10);
    EXPECT_EQ(vos::stack_depth(), base + 3);
    vos::sfree(inner);
    EXPECT_EQ(vos::stack_depth(), base + 1);
    vos::sfree(inner + 5);  // a mark above the stack frees nothing
    EXPECT_EQ(vos::stack_depth(), base + 1);
  }
  EXPECT_EQ(vos::stack_depth(), base);
  void* p = vos::calloc(4, 4);
  p = vos::realloc(p, 64);
  vos::mfree(p);
}

}  // namespace
