#include "loadfile/strfn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Splits a copy of s and returns the n field texts.
std::vector<std::string> split(char sep, std::string s, int n, int* found = nullptr) {
  std::vector<char*> f(static_cast<std::size_t>(n));
  int k = strsplit(sep, s.data(), f.data(), n);
  if (found) *found = k;
  return std::vector<std::string>(f.begin(), f.end());
}

TEST(StrSplit, FieldsQuotesAndEmptySlots) {
  int found = 0;
  EXPECT_EQ(split(',', "a,,b", 3, &found), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(found, 2);
  EXPECT_EQ(split(',', "a,,b", 1), (std::vector<std::string>{"a"}));
  EXPECT_EQ(split(' ', "one\ttwo\t three", 3), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(split(' ', "key \"a b  c\" rest", 2), (std::vector<std::string>{"key", "a b  c"}));
  EXPECT_EQ(split(' ', "'x y'z", 2), (std::vector<std::string>{"x y", "z"}));
  EXPECT_EQ(split(' ', "ab'c d", 2), (std::vector<std::string>{"ab'c", "d"}));
  EXPECT_EQ(split(' ', "", 3), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(split(' ', "\"open quote", 2), (std::vector<std::string>{"open quote", ""}));
  EXPECT_EQ(split('-', "jan-1-2000-13:30", 5),
            (std::vector<std::string>{"jan", "1", "2000", "13:30", ""}));
  // High bytes count as blanks.
  EXPECT_EQ(split(' ', "a\xA0" "b", 2), (std::vector<std::string>{"a", "b"}));
}

TEST(StrClean, BlanksControlsAndHighBytes) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"   ", ""},
      {"", ""},
      {"  Two\twords \n here ", "Two words here"},
      {"a\x80\x81z", "a z"},
      {"x", "x"},
  };
  for (auto& c : cases) {
    std::string s = c.in;
    strclean(s.data());
    EXPECT_STREQ(s.c_str(), c.out) << c.in;
  }
}

TEST(StrBounded, SafecopyAndSafecat) {
  char buf[16];
  EXPECT_STREQ(safecopy(buf, "abcdef", 3), "abc");
  EXPECT_STREQ(safecopy(buf, "abcdef", 0), "");
  EXPECT_STREQ(safecopy(buf, "abc", -5), "");
  safecopy(buf, "12345", 15);
  EXPECT_STREQ(safecat(buf, "abcdefghij", 8), "12345abc");
  EXPECT_STREQ(safecat(buf, "zz", 8), "12345abc");
  EXPECT_STREQ(safecat(buf, "zz", 4), "12345abc");  // already past the bound
}

TEST(StrCase, OnlyAsciiLettersChange) {
  std::string s = "AbZ-\xC9z";
  strlcase(s.data());
  EXPECT_EQ(s, "abz-\xC9z");
  EXPECT_STREQ(strucase(s.data()), "ABZ-\xC9Z");
  char* c = strclone("copy");
  EXPECT_STREQ(c, "copy");
  delete[] c;
}

TEST(StrAbbrev, PrefixOfExactlyOneEntry) {
  const char* months =
      "january|february|march|april|may|june|july|august|september|october|november|december";
  struct Case { const char* word; int index; } cases[] = {
      {"jun", 6}, {"ju", 0}, {"december", 12}, {"decembers", 0}, {"DEC", 12},
      {"", 0}, {"s", 9}, {"ma", 0}, {"a", 0}, {"mar", 3},
  };
  for (auto& c : cases) EXPECT_EQ(strabbrev(c.word, months), c.index) << c.word;
}

TEST(StrMatch, ExactLowerCasedEntry) {
  EXPECT_EQ(strmatch("PM", "am|pm"), 2);
  EXPECT_EQ(strmatch("a", "am|pm"), 0);
  EXPECT_EQ(strmatch("", "am|pm"), 0);
  EXPECT_EQ(strmatch("", "am||pm"), 2);
}

}  // namespace
