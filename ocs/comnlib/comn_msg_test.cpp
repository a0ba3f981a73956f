// Tests of the localisation error texts and the message builder.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "comnlib/comn_alloc.h"
#include "comnlib/intl_msg.h"

namespace {

INTL_ARGVAL arg_int(const char* fmt, int v) {
  INTL_ARGVAL a{};
  a.kind = INTL_KIND_INT;
  std::strcpy(a.format, fmt);
  a.value.i = v;
  return a;
}
INTL_ARGVAL arg_str(const char* fmt, const char* s) {
  INTL_ARGVAL a{};
  a.kind = INTL_KIND_POINTER;
  std::strcpy(a.format, fmt);
  a.value.p = s;
  return a;
}

TEST(IntlErrstr, CodesAndOutOfRange) {
  struct { int code; const char* text; } cases[] = {
      {-156, "Couldn't find the user 'merrow'"},
      {-150, "General operating system error"},
      {-157, "Unable to access file information"},
      {-45, "Syntax error in section heading"},
      {-7, "Copying string would result in overflow of buffer"},
      {0, "Unknown error"},
      {-46, "Unknown error"},
      {-200, "Unknown error"},
      {-149, "Unknown error"},
      {-158, "Unknown error"},
      {1, "Unknown error"},
      {-1000, "Unknown error"},
  };
  for (auto& c : cases) EXPECT_STREQ(intl_errstr(c.code), c.text) << c.code;
}

TEST(IntlStrblist, TableOfExpansions) {
  INTL_ARGVAL two[] = {arg_int("%d", 512), arg_str("%s", "abc")};
  struct { const char* templ; int buflen; int count; int result; const char* out; } cases[] = {
      {"plain text", 64, 0, 10, "plain text"},
      {"100%% sure", 64, 0, 9, "100% sure"},
      {"size %1! used", 64, 2, 13, "size 512 used"},
      {"%2! then %1!", 64, 2, 12, "abc then 512"},
      {"ends %1!", 64, 2, 8, "ends 512"},   // placeholder at the very end
      {"ends %1", 64, 2, 8, "ends 512"},    // terminator missing at the end
      {"bad %2!", 64, 1, -17, nullptr},
      {"bad %0!", 64, 2, -17, nullptr},
      {"x", 1, 0, -7, nullptr},
      {"abcd", 5, 0, 4, "abcd"},             // fits exactly
      {"abcde", 5, 0, -7, nullptr},
      {"n=%1!", 5, 2, -7, nullptr},          // "n=512" needs 6 bytes
  };
  for (auto& c : cases) {
    char buf[64];
    std::memset(buf, 'Z', sizeof buf);
    int r = intl_strblist(buf, c.buflen, c.templ, two, c.count);
    EXPECT_EQ(r, c.result) << c.templ;
    if (c.out && r >= 0) {
      EXPECT_STREQ(buf, c.out) << c.templ;
    }
  }
}

TEST(IntlStrblist, ArgumentChecks) {
  char buf[16];
  INTL_ARGVAL a = arg_int("%d", 1);
  EXPECT_EQ(intl_strblist(nullptr, 16, "x", &a, 1), -27);
  EXPECT_EQ(intl_strblist(buf, 0, "x", &a, 1), -28);
  EXPECT_EQ(intl_strblist(buf, 16, nullptr, &a, 1), -33);
  EXPECT_EQ(intl_strblist(buf, 16, "", &a, 1), -33);
  EXPECT_EQ(intl_strblist(buf, 16, "x", nullptr, 1), -34);
  EXPECT_EQ(intl_strblist(buf, 16, "x", &a, -1), -35);
  INTL_ARGVAL bad = a;
  bad.kind = 9;
  EXPECT_EQ(intl_strblist(buf, 16, "%1!", &bad, 1), -18);
  bad = a;
  bad.nstars = 3;
  EXPECT_EQ(intl_strblist(buf, 16, "%1!", &bad, 1), -38);
}

TEST(IntlStrblist, LongStringsNullPointersAndPercentN) {
  std::string longtext(1500, 'q');
  INTL_ARGVAL a = arg_str("%s", longtext.c_str());
  std::string out(2000, '\0');
  EXPECT_EQ(intl_strblist(out.data(), 2000, "%1!", &a, 1), 1500);
  // Through the work area a long expansion is refused, never overrun.
  INTL_ARGVAL w = arg_str("%-5s", longtext.c_str());
  EXPECT_EQ(intl_strblist(out.data(), 2000, "%1!", &w, 1), -7);
  // A null pointer for %s is printed as a marker, not dereferenced.
  char buf[32];
  INTL_ARGVAL n = arg_str("%-3s", nullptr);
  EXPECT_GT(intl_strblist(buf, 32, "[%1!]", &n, 1), 0);
  INTL_ARGVAL n2 = arg_str("%s", nullptr);
  EXPECT_EQ(intl_strblist(buf, 32, "[%1!]", &n2, 1), 8);
  EXPECT_STREQ(buf, "[(null)]");
  // %n never writes through the pointer.
  int target = 77;
  INTL_ARGVAL pn = arg_str("%n", reinterpret_cast<const char*>(&target));
  EXPECT_EQ(intl_strblist(buf, 32, "a%1!b", &pn, 1), 2);
  EXPECT_EQ(target, 77);
  // A conversion that does not match the kind is refused.
  INTL_ARGVAL mismatch = arg_int("%s", 5);
  EXPECT_EQ(intl_strblist(buf, 32, "%1!", &mismatch, 1), -18);
}

TEST(IntlStrbuild, FormatsTextDrivesTheArguments) {
  char buf[128];
  EXPECT_EQ(intl_strbuild(nullptr, buf, 128, "Packet size of %1! not supported -- size of %2! used instead.",
                          "%d %d", 4096, 512),
            62);
  EXPECT_STREQ(buf, "Packet size of 4096 not supported -- size of 512 used instead.");
  EXPECT_GT(intl_strbuild(nullptr, buf, 128, "%1! / %2! / %3!", "%5.2f %*d %hx", 3.14159, 4, 7,
                          static_cast<int>(0xFFFF)),
            0);
  EXPECT_STREQ(buf, " 3.14 /    7 / ffff");
  EXPECT_EQ(intl_strbuild(nullptr, buf, 128, "no placeholders", nullptr), 15);
  EXPECT_EQ(intl_strbuild(nullptr, buf, 128, "%1!", nullptr), -24);
  EXPECT_EQ(intl_strbuild(nullptr, buf, 128, "%1!", ""), -24);
  EXPECT_EQ(intl_strbuild(nullptr, nullptr, 128, "%1!", "%d", 1), -33);
  EXPECT_EQ(intl_strbuild(nullptr, buf, 0, "%1!", "%d", 1), -28);
  EXPECT_EQ(intl_strbuild(nullptr, buf, 128, "%1! %2!", "%ld %s", 123456L, "x"), 8);
  EXPECT_STREQ(buf, "123456 x");
}

int shout(const char*, const void* value, char* out) {
  const char* s = static_cast<const char*>(value);
  int n = static_cast<int>(std::strlen(s));
  if (out) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  }
  return n;
}

TEST(IntlStrbuild, CustomFormats) {
  INTL_CUSTFMT entries[1] = {{INTL_KIND_POINTER, shout, "Shout"}};
  INTL_CUSTLIST list{1, entries};
  char buf[64];
  EXPECT_EQ(intl_strbuild(&list, buf, 64, "<%1!>", "%Shout", "abc"), 5);
  EXPECT_STREQ(buf, "<ABC>");
  EXPECT_EQ(intl_strbuild(&list, buf, 64, "<%1!>", "%Lower", "abc"), -21);
  EXPECT_EQ(intl_strbuild(&list, buf, 64, "<%1!>", "%Abcdefghijklmnopqrstuvwxyz", "abc"), -20);
}

TEST(CommonAllocators, ZeroFillAndOverflow) {
  auto* p = static_cast<unsigned char*>(comn_calloc(10, 4));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(p[i], 0);
  p = static_cast<unsigned char*>(comn_realloc(p, 100));
  ASSERT_NE(p, nullptr);
  comn_free(p);
  EXPECT_EQ(comn_calloc(static_cast<std::size_t>(-1), 16), nullptr);
}

}  // namespace
