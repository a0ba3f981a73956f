// Column selectors: names, quoted names, patterns, negation, array
// sections, included lists, capacity, and their errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sel_testutil.h"
#include "tablelib/tables.h"
#include "tablelib/tbselector.h"

namespace tbl {
namespace {

using seltest::error_of;
using seltest::Scratch;

class ColumnSelectors : public ::testing::Test {
 protected:
  void SetUp() override {
    tp_ = tbtopn(dir_.path("cols"), kNewFile, nullptr);
    const char* names[] = {"flux", "fwhm", "dflux", "a b", "a*b", "a?b", "w(1)", "Mixed"};
    for (const char* n : names) {
      Column* cp = nullptr;
      tbcdef1(tp_, cp, n, "", "", kTyDouble, 1);
    }
    tbcdef1(tp_, arr_, "arr", "", "", kTyDouble, 20);
    tbtcre(tp_);
  }
  void TearDown() override { tbtclo(tp_); }

  // The names of the columns text selects, space-separated.
  std::string select(const std::string& text, int cap = 100) {
    std::vector<ColumnSelector*> list(static_cast<std::size_t>(cap), nullptr);
    int count = -1;
    tcsopen(tp_, text, list.data(), count, cap);
    std::string out;
    for (int k = 0; k < count; ++k) out += (k ? " " : "") + tcscolumn(list[k])->name;
    tcsclose(list.data(), count);
    return out;
  }

  // The section of the only column text selects: "first:last:step" per axis.
  std::string section(const std::string& text) {
    ColumnSelector* list[1] = {};
    int count = 0;
    tcsopen(tp_, text, list, count, 1);
    std::string out;
    if (count == 1) {
      out = "ndim " + std::to_string(list[0]->ndim);
      for (std::size_t k = 0; k + 2 < list[0]->axes.size(); k += 3)
        out += " " + std::to_string(list[0]->axes[k]) + ":" + std::to_string(list[0]->axes[k + 1]) +
               ":" + std::to_string(list[0]->axes[k + 2]);
    }
    tcsclose(list, count);
    return out;
  }

  Scratch dir_;
  Table* tp_ = nullptr;
  Column* arr_ = nullptr;
};

TEST_F(ColumnSelectors, NamesPatternsAndNegation) {
  const std::string all = "flux fwhm dflux a b a*b a?b w(1) Mixed arr";
  struct Case {
    const char* text;
    const char* names;
  } cases[] = {
      {"flux", "flux"},
      {"Flux FLUX flux", "flux"},
      {"fwhm,flux", "fwhm flux"},
      {" fwhm , , flux ", "fwhm flux"},
      {"f*", "flux fwhm"},
      {"*flux", "flux dflux"},
      {"?flux", "dflux"},
      {"[df]*", "flux fwhm dflux"},
      {"mixed", "Mixed"},
      {"{MIXED}", "Mixed"},
      {"MIX*", "Mixed"},
      {"'a b'", "a b"},
      {"\"A B\"", "a b"},
      {"a\\*b", "a*b"},
      {"a*b", "a b a*b a?b"},
      {"a?b", "a b a*b a?b"},
      {"a\\?b", "a?b"},
      {"a[*]b", "a*b"},  // in a set, "*" and "?" are themselves
      {"a[?]b", "a?b"},
      {"a[*?]b", "a*b a?b"},
      {"[a]*", "a b a*b a?b arr"},  // after the set, "*" is a wildcard again
      {"'w(1)'", "w(1)"},
      {"nosuch", ""},
      {"nosuch*", ""},
      {"!", ""},
      {"! flux", "fwhm dflux a b a*b a?b w(1) Mixed arr"},
      {"~flux, f*", "dflux a b a*b a?b w(1) Mixed arr"},
      {"flux !", "flux"},
      {"", "flux fwhm dflux a b a*b a?b w(1) Mixed arr"},
  };
  for (const Case& c : cases) EXPECT_EQ(select(c.text), c.names) << c.text;
  EXPECT_EQ(select("*", 3), "flux fwhm dflux");
  EXPECT_EQ(select("", 2), "flux fwhm");
  EXPECT_EQ(select("!flux", 2), "fwhm dflux");
  EXPECT_EQ(error_of([&] { select("[abc"); }), "Syntax error in wildcard pattern (^[abc$)");
  // Stars by the hundred select in bounded work (backtracking never ends).
  EXPECT_EQ(select(std::string(120, '*') + "q"), "");
  EXPECT_EQ(select(std::string(120, '*') + "x"), "flux dflux");
}

TEST_F(ColumnSelectors, ArraySections) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"arr", "ndim 1 1:20:1"},
      {"arr(1:10:2)", "ndim 1 1:10:2"},
      {"arr(5)", "ndim 1 5:5:1"},
      {"'arr'(2:3)", "ndim 1 2:3:1"},
      {"arr(*)", "ndim 1 1:20:1"},
      {"arr(3:*)", "ndim 1 3:20:1"},
      {"arr(3:)", "ndim 1 3:20:1"},
      {"arr(:4)", "ndim 1 1:4:1"},
      {"arr(2:20:)", "ndim 1 2:20:1"},
      {"arr(1:5) arr(7)", "ndim 1 1:5:1"},
      {"flux", "ndim 0 1:1:1"},
      {"flux(1)", "ndim 0 1:1:1"},
  };
  for (const Case& c : cases) EXPECT_EQ(section(c.text), c.want) << c.text;

  const std::string dim = "Dimension of section does not match column";
  const std::string syntax = "Syntax error in array section";
  struct Bad {
    const char* text;
    const std::string& message;
  } bad[] = {
      {"arr(1:10,1:2)", dim}, {"arr(10:1)", syntax},   {"arr(1:30)", syntax},
      {"arr(0:3)", syntax},   {"arr(1:9:0)", syntax},  {"arr(1:2:3:4)", syntax},
      {"arr(a)", syntax},     {"arr(1:3)x", syntax},   {"arr(1:3", syntax},
      {"arr(2.5)", syntax},   {"arr((1))", syntax},    {"flux(2)", syntax},
      {"arr( 1:2 )", syntax},  // a blank ends the word
  };
  for (const Bad& b : bad) EXPECT_EQ(error_of([&] { section(b.text); }), b.message) << b.text;
}

TEST_F(ColumnSelectors, IncludedLists) {
  dir_.write("list", "# the widths\nfwhm  # and more\n\n  flux,arr(2:3)\n");
  dir_.write("comments", "# nothing here\n   # nor here\n");
  EXPECT_EQ(select("dflux @" + dir_.path("list")), "dflux fwhm flux arr");
  EXPECT_EQ(select("@" + dir_.path("comments")), "flux fwhm dflux a b a*b a?b w(1) Mixed arr");
  EXPECT_EQ(select("!@" + dir_.path("list")), "dflux a b a*b a?b w(1) Mixed");
  // "#" is an ordinary character in the selector text itself.
  EXPECT_EQ(select("#flux"), "");

  for (int k = 1; k <= 8; ++k)
    dir_.write("n" + std::to_string(k),
               k < 8 ? "@" + dir_.path("n" + std::to_string(k + 1)) : "fwhm");
  EXPECT_EQ(select("@" + dir_.path("n2")), "fwhm");
  EXPECT_EQ(error_of([&] { select("@" + dir_.path("n1")); }),
            "Column list has too many nested files");
  EXPECT_NE(error_of([&] { select("flux @" + dir_.path("missing")); }), "(no error)");
}

TEST_F(ColumnSelectors, AddingColumnsAndOverflow) {
  ColumnSelector* list[2] = {};
  int count = 0;
  tcsopen(tp_, "flux", list, count, 2);
  tcsaddcol(tp_, arr_, list, count, 2);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(tcscolumn(list[1]), arr_);
  EXPECT_EQ(list[1]->axes, (std::vector<int>{1, 20, 1}));
  EXPECT_EQ(error_of([&] { tcsaddcol(tp_, arr_, list, count, 2); }),
            "Overflow in descriptor array");
  EXPECT_EQ(count, 2);
  tcsclose(list, count);
  EXPECT_EQ(tcscolumn(nullptr), nullptr);
}

}  // namespace
}  // namespace tbl
