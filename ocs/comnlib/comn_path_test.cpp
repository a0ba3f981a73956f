// Tests of the path builders, the file openers and the global-id cache.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "comnlib/comn_loc_testhome.h"
#include "comnlib/comn_path.h"

namespace {

TEST(ComnPath, BuildsEveryKindOfPath) {
  ComnTestHome home;
  COMN_CONTEXT ctx{};
  const std::string h = home.dir();
  char buf[300];
  struct Case {
    int r;
    std::string want;  // documents the path; checked one by one below
  };
  Case cases[] = {
      {com_path_anyfile(&ctx, buf, sizeof buf, "interfacesXX", 10), h + "/interfaces"},
      {com_path_ifile(&ctx, buf, sizeof buf), h + "/interfaces"},
      {com_path_cfgfile(&ctx, "objectid.dat", buf, sizeof buf), h + "/config/objectid.dat"},
      {com__path_locfile(&ctx, nullptr, "cp850", "locales.dat", buf, sizeof buf),
       h + "/locales/locales.dat"},
      {com__path_locfile(&ctx, "french", "cp850", "common.loc", buf, sizeof buf),
       h + "/locales/french/cp850/common.loc"},
      {com__path_locfile(&ctx, "french", nullptr, "common.loc", buf, sizeof buf),
       h + "/locales/french/common.loc"},
      {comn__path_msgfile(&ctx, "frenchXX", 6, "comnlib.locX", 11, buf, sizeof buf),
       h + "/locales/message/french/comnlib.loc"},
      {com__path_charfile(&ctx, "cp850", "cp850", "cfg", buf, sizeof buf),
       h + "/charsets/cp850/cp850.cfg"},
      {com__path_charfile(&ctx, nullptr, "x", nullptr, buf, sizeof buf), h + "/charsets/x"},
      {comn__path_locdata(&ctx, 6, "us_english", buf, sizeof buf),
       h + "/locales/datetime/us_english.dt"},
      {comn__path_locdata(&ctx, 4, "m", buf, sizeof buf), h + "/locales/money/m.mon"},
      {comn__path_locdata(&ctx, 5, "n", buf, sizeof buf), h + "/locales/numeric/n.num"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.r, 1);
  // Each call above overwrote buf, so rebuild and compare one at a time.
  EXPECT_EQ(comn__path_locdata(&ctx, 7, "x", buf, sizeof buf), 0);
  EXPECT_EQ(com__path_charfile(&ctx, "cp850", "cp850", "cfg", buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), h + "/charsets/cp850/cp850.cfg");
  EXPECT_EQ(com__path_locfile(&ctx, nullptr, "cp850", "locales.dat", buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), h + "/locales/locales.dat");
  EXPECT_EQ(com__path_locfile(&ctx, "french", "cp850", "common.loc", buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), h + "/locales/french/cp850/common.loc");
  EXPECT_EQ(comn__path_msgfile(&ctx, "frenchXX", 6, "comnlib.locX", 11, buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), h + "/locales/message/french/comnlib.loc");
  EXPECT_EQ(comn__path_locdata(&ctx, 6, "us_english", buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), h + "/locales/datetime/us_english.dt");
  EXPECT_EQ(com_path_anyfile(&ctx, buf, sizeof buf, "interfacesXX", 10), 1);
  EXPECT_EQ(std::string(buf), h + "/interfaces");
}

TEST(ComnPath, FitChecksAndMissingHome) {
  ComnTestHome home;
  COMN_CONTEXT ctx{};
  const std::string h = home.dir();
  std::string want = h + "/config/objectid.dat";
  std::string buf(want.size() + 1, 'x');
  EXPECT_EQ(com_path_cfgfile(&ctx, "objectid.dat", buf.data(), static_cast<int>(buf.size())), 1);
  EXPECT_EQ(com_path_cfgfile(&ctx, "objectid.dat", buf.data(), static_cast<int>(buf.size() - 1)),
            0);
  EXPECT_EQ(std::string(buf.c_str()), h + "/config/");  // the pieces that fitted
  EXPECT_EQ(com_path_ifile(&ctx, buf.data(), 3), 0);       // home itself too long

  intl_sethome(nullptr);
  const char* saved = std::getenv("MERROW");
  std::string keep = saved != nullptr ? saved : "";
  ::setenv("MERROW", "", 1);
  char b[100];
  if (intl_home(b, sizeof b) < 0) {  // only when there is no account to fall back to
    EXPECT_EQ(com_path_ifile(&ctx, b, sizeof b), COMN_EINTL);
    EXPECT_LT(ctx.intl_err, 0);
    INTL_LOCFILE lf;
    EXPECT_EQ(com__open_cfgfile(&ctx, "x", &lf), COMN_EINTL);
  }
  if (saved != nullptr) ::setenv("MERROW", keep.c_str(), 1); else ::unsetenv("MERROW");
}

TEST(ComnPath, OpenersKeepThePathAndReportOpenFailures) {
  ComnTestHome home;
  COMN_CONTEXT ctx{};
  home.put("locales/locales.dat", ";\n[sun_svr4]\nlocale = default, us_english, iso_1\n");
  INTL_LOCFILE lf;
  char path[12];
  EXPECT_EQ(com__open_locfile(&ctx, nullptr, nullptr, "locales.dat", &lf, path, sizeof path), 1);
  EXPECT_EQ(std::string(path), home.dir().substr(0, 11));
  intl_close(&lf);
  char full[400];
  EXPECT_EQ(com__open_charfile(&ctx, "iso_1", "charset", "loc", &lf, full, sizeof full),
            COMN_EOPEN);
  EXPECT_EQ(std::string(full), home.dir() + "/charsets/iso_1/charset.loc");
  EXPECT_EQ(ctx.intl_err, -151);
}

TEST(ComnGid, LooksNamesAndIdsUp) {
  ComnTestHome home;
  home.put("config/objectid.dat",
           ";\n[charset]\n1.1 = iso_1, iso88591\n1.2 = utf8\n[sortorder]\n4.1 = binary\n"
           "[language]\n5.1 = us_english\n[other]\n9.9 = zz\n");
  COMN_CONTEXT ctx{};
  ASSERT_EQ(comn__load_objectids(&ctx), 1);
  comn_object* o = nullptr;
  EXPECT_EQ(comn__lookup_id(&ctx, 0, "iso88591", -9, &o), 1);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(o->id), o->idlen), "1.1");
  EXPECT_EQ(comn__lookup_id(&ctx, 0, "utf8", 5, &o), 1);  // length counts the NUL
  EXPECT_EQ(comn__lookup_id(&ctx, 0, "utf", 3, &o), COMN_ENOID);
  EXPECT_EQ(comn__lookup_id(&ctx, 0, "binary", -9, &o), COMN_ENOID);  // other kind
  EXPECT_EQ(comn__nametooid(&ctx, &o, nullptr, "binary", 6), 1);     // all kinds
  EXPECT_EQ(comn__nametooid(&ctx, &o, nullptr, "zz", 2), 0);

  comn_oid id{reinterpret_cast<const std::uint8_t*>("1.1"), 3};
  int kind = -1, count = 0, len = 0;
  char buf[16];
  EXPECT_EQ(comn_globalid(&ctx, 1, &id, &kind, 2, buf, sizeof buf, &count, &len), 1);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(std::string(buf, len), "iso88591");
  EXPECT_EQ(comn_globalid(&ctx, 1, &id, &kind, 0, buf, sizeof buf, nullptr, &len), 1);
  EXPECT_EQ(std::string(buf, len), "iso_1");
  EXPECT_EQ(comn_globalid(&ctx, 1, &id, &kind, 3, buf, sizeof buf, nullptr, &len), 0);
  EXPECT_EQ(comn_globalid(&ctx, 1, &id, &kind, 2, buf, 7, nullptr, &len), 0);  // too long
  comn_oid none{reinterpret_cast<const std::uint8_t*>("7"), 1};
  EXPECT_EQ(comn_globalid(&ctx, 1, &none, &kind, 1, nullptr, 0, nullptr, nullptr), 0);
  comn_intlstate_free(&ctx);
}

}  // namespace
