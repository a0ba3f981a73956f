// Tests of the client's locales and of the error raise without and with
// handlers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "comnlib/comn_alloc.h"
#include "db_testpeer.h"
#include "dblib/db_internal.h"

using namespace testpeer;

namespace {

// Forgets every loaded locale and the no-locale list.
void reset_locales() {
  Db__GlobalRec.deflocale = nullptr;
  while (DBLOCALE* l = Db__GlobalRec.locales) {
    l->usecount = 0;
    db__freeloc(l);
  }
  Db__GlobalRec.nolocales = strfree(Db__GlobalRec.nolocales);
  ++Db__GlobalRec.locgen;  // connections look their locale up again
}

void write_file(const std::string& path, const std::string& text) {
  std::string dir = path.substr(0, path.rfind('/'));
  std::string cmd = "mkdir -p '" + dir + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ofstream(path) << text;
}

const char* kFrenchCommon =
    "; French dates and money\n"
    "[datetime]\n"
    "months = janvier, fevrier, mars, avril, mai, juin, juillet, aout, septembre, octobre, novembre, decembre\n"
    "shortmonths = janv, fevr, mars, avr, mai, juin, juil, aout, sept, oct, nov, dec\n"
    "dateformat = dmy\n"
    "[money]\n"
    "moneyformat = Before, $\n"
    "moneyformat = after, EUROSXX\n";

const char* kFrenchDblib =
    "; French client texts\n"
    "[copyright]\n"
    "copyright = \"Droits reserves.\"\n"
    "[dbliberrors]\n"
    "47 = DEADPROC, \"Le DBPROCESS est mort ou non active.\"\n"
    "137 = MONEYFMT, \"Format monetaire illisible.\"\n"
    "0 = ZERO, \"ignored\"\n"
    "300 = TOOBIG, \"ignored\"\n";

class DbLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    client_setup();
    reset_locales();
    home_ = temp_dir();
    dbsethome(home_.c_str());
  }
  void TearDown() override {
    client_teardown();
    reset_locales();
    dbsethome(nullptr);
  }
  std::string home_;
};

TEST_F(DbLocale, EnglishNeedsNoFilesAndNeverReadsDblibLoc) {
  // A broken dblib.loc for us_english must not be touched.
  write_file(home_ + "/locales/us_english/iso_1/dblib.loc", "[[[ not a localisation file");
  EXPECT_EQ(db__getloc(nullptr, "us_english"), nullptr);
  EXPECT_TRUE(errors().empty());
  const char* months[12];
  db__getmonthlist(nullptr, months);
  EXPECT_STREQ(months[0], "January");
  EXPECT_STREQ(db__geterrstr(nullptr, 20047), "DBPROCESS is dead or not enabled.");
  // With a common.loc the English locale loads, still without dblib.loc.
  reset_locales();
  write_file(home_ + "/locales/us_english/iso_1/common.loc", "; c\n[datetime]\n");
  DBLOCALE* loc = db__getloc(nullptr, "us_english");
  ASSERT_NE(loc, nullptr);
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(Db__GlobalRec.deflocale, loc);
}

TEST_F(DbLocale, SecondLanguageFromTheInstallationTree) {
  write_file(home_ + "/locales/french/iso_1/common.loc", kFrenchCommon);
  write_file(home_ + "/locales/french/iso_1/dblib.loc", kFrenchDblib);
  DBLOCALE* loc = db__getloc(nullptr, "french");
  ASSERT_NE(loc, nullptr) << (errors().empty() ? "" : errors()[0].text);
  EXPECT_EQ(loc->dateorder, 2);
  EXPECT_STREQ(loc->copyright, "Droits reserves.");
  EXPECT_STREQ(loc->errors[137 - 1].text, "Format monetaire illisible.");
  EXPECT_STREQ(loc->errors[137 - 1].mnemonic, "MONEYFMT");
  ASSERT_NE(loc->money, nullptr);
  EXPECT_EQ(loc->money->before, 1);
  EXPECT_STREQ(loc->money->text, "$");
  ASSERT_NE(loc->money->next, nullptr);
  EXPECT_EQ(loc->money->next->before, 0);
  EXPECT_STREQ(loc->money->next->text, "EUROS");
  // The server announces the language at login; texts and months follow.
  Bytes reply = cat({loginack(5), envchange(1, "master", ""), envchange(2, "french", "us_english"),
                     capability(), done(0)});
  Peer peer([reply](Conn& c) {
    Bytes msg;
    if (!c.read_message(&msg)) return;
    c.send_message(reply);
    c.read_message(&msg);
  });
  write_interfaces(home_, "TESTSRV", peer.port());
  LOGINREC* l = dblogin();
  DBPROCESS* db = dbopen(l, "TESTSRV");
  ASSERT_NE(db, nullptr);
  EXPECT_STREQ(dbgetnatlang(db), "french");
  EXPECT_STREQ(db__geterrstr(db, 20047), "Le DBPROCESS est mort ou non active.");
  EXPECT_STREQ(db__geterrstr(db, 20014), "Login incorrect.");  // no translation given
  const char* months[12];
  db__getmonthlist(db, months);
  EXPECT_STREQ(months[1], "fevrier");
  db__getshortmonths(db, months);
  EXPECT_STREQ(months[6], "juil");
  // A raise on the connection hands the translated text to the handler.
  dbsetdead(db);
  errors().clear();
  dbcmd(db, "x");
  ASSERT_TRUE(saw_error(20047));
  EXPECT_EQ(errors()[0].text, "Le DBPROCESS est mort ou non active.");
  dbclose(db);
  dbloginfree(l);
}

TEST_F(DbLocale, BrokenLanguageIsReportedOnceAndRemembered) {
  write_file(home_ + "/locales/nodates/iso_1/common.loc", "; c\n[money]\nmoneyformat = B, x\n");
  EXPECT_EQ(db__getloc(nullptr, "nodates"), nullptr);
  ASSERT_TRUE(saw_error(20134));
  errors().clear();
  EXPECT_EQ(db__getloc(nullptr, "nodates"), nullptr);
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(db__getloc(nullptr, "absent"), nullptr);
  EXPECT_TRUE(saw_error(20133));
  write_file(home_ + "/locales/badmoney/iso_1/common.loc", "; c\n[datetime]\n[money]\nmoneyformat = B\n");
  EXPECT_EQ(db__getloc(nullptr, "badmoney"), nullptr);
  EXPECT_TRUE(saw_error(20137));
  write_file(home_ + "/locales/badlines/iso_1/common.loc",
             "; c\n[datetime]\nmonths = " + std::string(600, 'm') + "\n");
  EXPECT_EQ(db__getloc(nullptr, "badlines"), nullptr);
  EXPECT_TRUE(saw_error(20134));
}

TEST_F(DbLocale, DefaultLocaleSurvivesRelease) {
  write_file(home_ + "/locales/french/iso_1/common.loc", kFrenchCommon);
  write_file(home_ + "/locales/french/iso_1/dblib.loc", kFrenchDblib);
  DBLOCALE* first = db__getloc(nullptr, "french");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Db__GlobalRec.deflocale, first);
  db__freeloc(first);
  EXPECT_EQ(db__getloc(nullptr, "french"), first);
}

// A connection remembers the locale its look-up without a language found
// only while the locale lists stay as they were: one released since is
// looked up again, not read where it was.
TEST_F(DbLocale, RememberedLookUpFollowsTheLocaleLists) {
  write_file(home_ + "/locales/french/iso_1/common.loc", kFrenchCommon);
  write_file(home_ + "/locales/french/iso_1/dblib.loc", kFrenchDblib);
  write_file(home_ + "/locales/us_english/iso_1/common.loc", kFrenchCommon);
  ASSERT_NE(db__getloc(nullptr, "french"), nullptr);  // the default
  DBLOCALE* english = db__getloc(nullptr, "us_english");
  ASSERT_NE(english, nullptr);
  dbexit();  // the default released: English alone is listed
  ASSERT_EQ(Db__GlobalRec.deflocale, nullptr);
  dbprocess p{};
  EXPECT_STREQ(db__shortmonth_list(&p)[0], "janv");
  db__freeloc(english);
  EXPECT_STREQ(db__shortmonth_list(&p)[0], "janv");
  EXPECT_TRUE(errors().empty());
}

// Days since 1 January 1900 of a date, as the calendar library counts them.
DBINT days_of(std::chrono::year_month_day d) {
  using namespace std::chrono;
  return static_cast<DBINT>((sys_days(d) - sys_days(year(1900) / January / 1)).count());
}

// Without a connection, and on a connection without a locale of its own,
// text read as a datetime takes the month names and date order of the
// default language, and datetimes written as text its short month names:
// here the installation tree's italian (dmy).
TEST_F(DbLocale, ConversionsWithoutALocaleOfTheirOwnTakeTheDefaultLanguage) {
  using namespace std::chrono;
  std::filesystem::copy(std::string(QUOREL_FIXTURE_HOME) + "/locales", home_ + "/locales",
                        std::filesystem::copy_options::recursive);
  ASSERT_EQ(dbsetdeflang("italian"), SUCCEED) << (errors().empty() ? "" : errors()[0].text);
  // The server announces us_english, which has no files here: the
  // connection keeps no locale.
  Peer peer(session({}));
  DBPROCESS* db = open_to(peer, home_);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(db->locale, nullptr);
  const DBINT afternoon = (14 * 3600 + 5 * 60 + 6) * 300;
  const DBINT june3 = days_of(year(2001) / June / 3);
  struct Case {
    const char* text;
    DBINT days, ticks;
  } cases[] = {
      {"3 giugno 2001 14:05:06", june3, afternoon},
      {"3 giu 2001 14:05:06", june3, afternoon},
      {"giugno 3 2001", june3, 0},
      {"03/04/2001", days_of(year(2001) / April / 3), 0},
      {"13/04/2001", days_of(year(2001) / April / 13), 0},
  };
  for (DBPROCESS* on : {static_cast<DBPROCESS*>(nullptr), db}) {
    SCOPED_TRACE(on ? "on a connection" : "without a connection");
    for (const Case& k : cases) {
      DBDATETIME dt{-1, -1};
      EXPECT_EQ(dbconvert(on, MERCHAR, reinterpret_cast<const BYTE*>(k.text), -1, MERDATETIME,
                          reinterpret_cast<BYTE*>(&dt), -1),
                8)
          << k.text;
      EXPECT_EQ(dt.days, k.days) << k.text;
      EXPECT_EQ(dt.ticks, k.ticks) << k.text;
    }
    DBDATETIME dt{june3, afternoon};
    char out[64] = {};
    ASSERT_GT(dbconvert(on, MERDATETIME, reinterpret_cast<const BYTE*>(&dt), 8, MERCHAR,
                        reinterpret_cast<BYTE*>(out), -1),
              0);
    EXPECT_EQ(std::string(out).rfind("giu  3 2001", 0), 0U) << out;
  }
  EXPECT_TRUE(errors().empty()) << errors()[0].text;
  dbclose(db);
  peer.join();
}

TEST(DbErrors, TextsAndRememberedErrors) {
  EXPECT_EQ(dberrstr(20298), nullptr);
  EXPECT_STREQ(dberrstr(20014), "Login incorrect.");
  EXPECT_STREQ(db__geterrstr(nullptr, 20298), "");
  EXPECT_STREQ(db__geterrstr(nullptr, 19999), "");
  dberrhandle(nullptr);
  // Without a handler a conversion error is only remembered.
  EXPECT_EQ(db__raise(nullptr, 20049, 4), INT_CANCEL);
  EXPECT_EQ(dberrno(), 20049);
}

TEST(DbErrorsDeathTest, ProgramErrorsWithoutAHandlerEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  dberrhandle(nullptr);
  EXPECT_EXIT(db__raise(nullptr, 20046, 7), ::testing::ExitedWithCode(255), "");
  dberrhandle(record_error);
  g_err_answer = INT_CONTINUE;
  EXPECT_EXIT(db__raise(nullptr, 20049, 4), ::testing::ExitedWithCode(255),
              "Attempt to INT_CONTINUE on a non-timeout error:");
  g_err_answer = INT_CANCEL;
  dberrhandle(nullptr);
}

}  // namespace
