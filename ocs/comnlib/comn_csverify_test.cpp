// Tests of the file checks and the diagnosis of a context that cannot
// load its localisation files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "comnlib/comn_cs.h"
#include "comnlib/comn_loc_testhome.h"

namespace {

// Runs the diagnosis with LC_ALL and LANG set as given (null: unset) and
// returns what it printed.
std::string diagnose(const char* lc_all, const char* lang) {
  const char* old_all = std::getenv("LC_ALL");
  const char* old_lang = std::getenv("LANG");
  const std::string keep_all = old_all ? old_all : "", keep_lang = old_lang ? old_lang : "";
  auto set = [](const char* n, const char* v) {
    if (v != nullptr) {
      ::setenv(n, v, 1);
    } else {
      ::unsetenv(n);
    }
  };
  set("LC_ALL", lc_all);
  set("LANG", lang);
  COMN_CONTEXT ctx{};
  testing::internal::CaptureStderr();
  com_intl_verify_ctxloc(&ctx);
  std::string out = testing::internal::GetCapturedStderr();
  set("LC_ALL", old_all ? keep_all.c_str() : nullptr);
  set("LANG", old_lang ? keep_lang.c_str() : nullptr);
  return out;
}

class VerifyHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    saved_ = cwd;
    ASSERT_EQ(::chdir(home_.dir().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(saved_.c_str()), 0); }
  ComnTestHome home_;
  std::string saved_;
};

TEST_F(VerifyHome, StopsAtTheFirstMissingFile) {
  const std::string h = home_.dir();
  std::string out = diagnose(nullptr, nullptr);
  EXPECT_EQ(out,
            "\n\nThe context allocation routine failed when it tried to load localization "
            "files!!\nOne or more following problems may caused the failure\n\n"
            "Your merrow home directory is " + h +
                ". Check the environment variable MERROW if it is not the one you want!\n"
                "Cannot access file " + h + "/config/objectid.dat\n");
  home_.put("config/objectid.dat", ";\n");
  out = diagnose(nullptr, nullptr);
  EXPECT_NE(out.find("Cannot access file " + h + "/locales/locales.dat\n"), std::string::npos);
  home_.put("locales/locales.dat", ";\n[sun_svr4]\nlocale = fr_FR, french, iso_1, dict\n");
  out = diagnose(nullptr, "zz");
  EXPECT_NE(out.find("Using locale name \"zz\" defined in environment variable LANG\n"),
            std::string::npos);
  EXPECT_NE(out.find("Locale name \"zz\" doesn't exist in your " + h + "/locales/locales.dat file\n"),
            std::string::npos);
}

TEST_F(VerifyHome, ListsEveryUnreadableFileOfTheLocale) {
  const std::string h = home_.dir();
  home_.put("config/objectid.dat", ";\n");
  home_.put("locales/locales.dat", ";\n[sun_svr4]\nlocale = fr_FR, french, iso_1, dict\n");
  home_.put("locales/message/french/common.loc", ";\n");
  home_.put("charsets/iso_1/charset.loc", ";\n");
  std::string out = diagnose("fr_FR", "zz");
  EXPECT_NE(out.find("Using locale name \"fr_FR\" defined in environment variable LC_ALL\n"),
            std::string::npos);
  const std::string tail = "Cannot access " + h + "/locales/message/french/cslib.loc file\n" +
                           "Cannot access " + h + "/charsets/iso_1/dict.srt file\n" +
                           "Cannot access " + h + "/charsets/iso_1/iso_1.cfg file\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  home_.put("locales/locales.dat", ";\n[sun_svr4]\nlocale = default, french, iso_1\n");
  out = diagnose(nullptr, nullptr);
  EXPECT_NE(out.find("Using default locale name: \"default\"\n"), std::string::npos);
  EXPECT_NE(out.find("/charsets/iso_1/binary.srt file\n"), std::string::npos);
}

TEST_F(VerifyHome, FileChecks) {
  home_.put("charsets/iso_1/charset.loc", ";\n");
  char path[300];
  COMN_CONTEXT ctx{};
  EXPECT_EQ(com__verify_charfile(&ctx, "iso_1", "charset", "loc", path, sizeof path), 1);
  EXPECT_EQ(com__verify_charfile(&ctx, "iso_1", "iso_1", "cfg", path, sizeof path), 0);
  EXPECT_EQ(com__verify_charfile(&ctx, "iso_1", "iso_1", "cfg", path, 5), 0);
  EXPECT_STREQ(path, "*");
  EXPECT_EQ(com__verify_msgfile(&ctx, "french", 6, "common.loc", 10, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), home_.dir() + "/locales/message/french/common.loc");
}

}  // namespace
