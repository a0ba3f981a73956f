// The binding's error state, handler stack, string slots and start-up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "halvo/c_tables.h"
#include "halvo/halvo.h"
#include "vos/env.h"
#include "vos/error.h"

namespace {

TEST(HalvoSlots, GrowOnlyInStepsOf512) {
  std::string s600(600, 'x');
  char2vos(s600.c_str(), 4);
  EXPECT_EQ(CH2I_buffersize(4), 1024u);
  char2vos("short", 4);  // never shrinks
  EXPECT_EQ(CH2I_buffersize(4), 1024u);
  CH2I_chk_buffer(4, 1022);  // n + 1 below the size: nothing happens
  EXPECT_EQ(CH2I_buffersize(4), 1024u);
  CH2I_chk_buffer(4, 1023);
  EXPECT_EQ(CH2I_buffersize(4), 1536u);
  EXPECT_EQ(CH2I_buffersize(0), 256u);  // the error message slot
}

// Element numbers of character memory and addresses convert both ways: a
// slot's characters are consecutive elements, and a write through the
// address of an element lands in the slot.
TEST(HalvoSlots, CharacterMemoryAddressesAndElements) {
  char16_t* buf = char2vos("abc", 2);
  const ptrdiff_t p = c_VosPointer(buf);
  EXPECT_EQ(c_VosString(p), static_cast<void*>(buf));
  EXPECT_EQ(c_VosPointer(buf + 2), p + 2);
  static_cast<char16_t*>(c_VosString(p + 1))[0] = u'X';
  EXPECT_EQ(slot_string(2), "aXc");
  for (ptrdiff_t q : {ptrdiff_t{0}, ptrdiff_t{-7}, ptrdiff_t{123456}})
    EXPECT_EQ(c_VosPointer(c_VosString(q)), q) << q;
}

TEST(HalvoSlots, LongArgumentsDoNotEndTheProcess) {
  // Sizes are not 16-bit counts: a 40000-character string crosses intact.
  std::string big(40000, 'q');
  big[39999] = 'z';
  char2vos(big.c_str(), 3);
  EXPECT_GE(CH2I_buffersize(3), 40001u);
  std::string back(40001, '\0');
  vos2char(back.data(), 40000, 3);
  EXPECT_EQ(std::string(back.c_str()), big);
}

TEST(HalvoSlots, WideningAndNarrowing) {
  const char text[] = {'a', static_cast<char>(0xe9), 'b', 0};
  char16_t* b = char2vos(text, 1);
  EXPECT_EQ(b[1], 65513);  // a byte of 128 or more widens as a signed value
  char out[8];
  vos2char(out, 7, 1);
  EXPECT_STREQ(out, text);
  vos2char(out, 2, 1);  // at most maxch characters, then NUL
  EXPECT_STREQ(out, "a\xe9");
  vos2char(out, 0, 1);
  EXPECT_STREQ(out, "");
}

TEST(HalvoSlots, StringArrays) {
  const char* in[] = {"abc", "abcdefgh"};
  char16_t* b = twodchar2vos(in, 5, 2, 2);
  const char16_t want[12] = {u'a', u'b', u'c', 0, 0, 0, u'a', u'b', u'c', u'd', u'e', 0};
  for (int i = 0; i < 12; ++i) {
    if (i == 4 || i == 5) continue;  // beyond the first terminator: unspecified
    EXPECT_EQ(b[i], want[i]) << i;
  }
  char o1[6], o2[6];
  char* outs[] = {o1, o2};
  vos2twodchar(outs, 5, 2, 2);
  EXPECT_STREQ(o1, "abc");
  EXPECT_STREQ(o2, "abcde");
}

int g_handler_calls = 0;
void counting_handler() { ++g_handler_calls; }

TEST(HalvoErrors, HandlerStackBounds) {
  for (int i = 1; i <= 32; ++i) ASSERT_EQ(c_pusherr(counting_handler), i);
  EXPECT_EQ(c_pusherr(counting_handler), -1);
  for (int i = 31; i >= 0; --i) ASSERT_EQ(c_poperr(), i);
  EXPECT_EQ(c_poperr(), -1);
}

TEST(HalvoErrors, FailedCallSetsStateAndNextCallClearsIt) {
  c_vosinit();
  char tmpl[] = "/tmp/halvoXXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  std::string missing = dir + "/missing.tab";
  c_pusherr(counting_handler);
  g_handler_calls = 0;
  TablePtr tp = c_tbtopn(missing.c_str(), TBL_READ_ONLY, 0);
  EXPECT_NE(c_voserr(), 0);
  EXPECT_STREQ(c_voserrmsg(), "tbtopn:  Table file does not exist or cannot be opened.");
  EXPECT_EQ(tp, nullptr);
  EXPECT_EQ(g_handler_calls, 1);  // told at once
  c_poperr();
  char fname[64] = "junk", brackets[64] = "junk";
  int hdu = 0;
  int n = c_tbparse("cat.fits[3]", fname, brackets, 63, &hdu);  // a call that succeeds
  EXPECT_EQ(c_voserr(), 0);
  EXPECT_STREQ(c_voserrmsg(), "");
  EXPECT_EQ(n, 11);
  EXPECT_STREQ(fname, "cat.fits");
  EXPECT_STREQ(brackets, "[3]");
  EXPECT_EQ(hdu, 3);
  // A failing call with string outputs still leaves terminated strings.
  std::strcpy(fname, "stale");
  c_tbparse("cat.fits]", fname, brackets, 63, &hdu);
  EXPECT_NE(c_voserr(), 0);
  EXPECT_STREQ(fname, "");
  // Output bounds are the caller's maxch, whatever the name holds: the file
  // name is cut, never written past the caller's buffer.
  char small[4];
  c_tbparse("abcdefgh.fits", small, brackets, 3, &hdu);
  EXPECT_STREQ(small, "abc");
  ::rmdir(dir.c_str());
}

// A caught error always reaches the caller with a code and with words: code
// 0 becomes 99, an error raised without a message gets one naming its code,
// and a long message is cut to the buffer.
TEST(HalvoErrors, CaughtErrorsHaveACodeAndWords) {
  const struct {
    int code;
    std::string message;
    int want_code;
    std::string want;
  } cases[] = {
      {0, "zero", 99, "zero"},
      {5, "", 5, "Error 5"},
      {0, "", 99, "Error 99"},
      {5, std::string(1000, 'm'), 5, std::string(255, 'm')},
  };
  for (const auto& c : cases) {
    vos::post_error(c.code, c.message);
    set_halvoerr();
    EXPECT_EQ(c_voserr(), c.want_code) << c.want;
    EXPECT_EQ(std::string(c_voserrmsg()), c.want);
  }
  clear_halvoerr();
}

TEST(HalvoErrors, RaisingInsideAndOutsideABlock) {
  vos::xerret();
  {
    vos::ErrorBlock block;
    try {
      halvoer(0, "inside");  // the open block takes the error (code at least 1)
      FAIL();
    } catch (const vos::Error& e) {
      EXPECT_EQ(e.code(), 1);
      EXPECT_EQ(e.message(), "inside");
    }
  }
  vos::post_error(7, "pending");
  halvoer(7, "same code");  // ignored while the first is pending
  std::string msg;
  EXPECT_EQ(vos::errget(msg), 7);
  EXPECT_EQ(msg, "pending");
  ceract(vos::EA_CLEAR);
  EXPECT_FALSE(vos::error_pending());
  ::testing::internal::CaptureStderr();
  vos::post_error(4, "careful");
  ceract(vos::EA_WARN);  // no block open: printed, the run goes on
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "VOS warning: careful (4)\n");
  vos::xerret();
}

TEST(HalvoStartupDeath, ErrorWithoutBlockEndsTheProcess) {
  EXPECT_EXIT(halvoer(12, "no block"), ::testing::ExitedWithCode(255),
              "VOS error: no block \\(12\\)\nNo user-posted exception handler!  Aborting...");
}

TEST(HalvoStartupDeath, UncaughtErrorEndsTheProcess) {
  EXPECT_EXIT(
      {
        c_vosinit();
        [] () noexcept { vos::error(17, "nobody catches this"); }();
      },
      ::testing::ExitedWithCode(255),
      "VOS error: nobody catches this \\(17\\)\nNo user-posted exception handler!  Aborting...");
}

TEST(HalvoStartupDeath, ArithmeticTrapIsFatal) {
  EXPECT_EXIT(
      {
        c_vosinit();
        std::raise(SIGFPE);
      },
      ::testing::ExitedWithCode(255),
      "VOS error: Arithmetic exception \\(502\\)\nNo user-posted exception handler!  Aborting");
}

TEST(HalvoStartupDeath, FatalInsideAnEntryAborts) {
  EXPECT_EXIT(
      {
        c_vosinit();
        vos::ErrorBlock block;
        vos::fatal(3, "broken");
      },
      ::testing::ExitedWithCode(255), "VOS fatal error: broken \\(3\\)\nAborting...");
}

TEST(HalvoStartup, ReadsZzsetenvQuietlyAndNothingFromStdin) {
  // Start-up happens once per process: run the child afresh, not as a fork
  // of a process whose run time an earlier test may have started.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        char tmpl[] = "/tmp/halvoenvXXXXXX";
        std::string dir = ::mkdtemp(tmpl);
        if (::chdir(dir.c_str()) != 0) std::_Exit(3);
        std::ofstream("zzsetenv.def") << "set halvo_test_dir = /somewhere/\nbad line\n";
        std::fclose(stdin);  // reading from it would fail
        c_vosinit();
        auto v = vos::envgets("halvo_test_dir");
        std::_Exit(v && *v == "/somewhere/" ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "^$");
}

TEST(HalvoStartup, NoZzsetenvCompletesSilently) {
  EXPECT_EXIT(
      {
        char tmpl[] = "/tmp/halvoenvXXXXXX";
        std::string dir = ::mkdtemp(tmpl);
        if (::chdir(dir.c_str()) != 0) std::_Exit(3);
        c_vosinit();
        c_vosinit();  // runs once
        std::_Exit(halvo_vosinit == 1 ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
