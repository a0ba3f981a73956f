// Tests of the common library's error messages: message files and their
// cache, building messages with fallbacks, reports to the error routine,
// the escape filter and the user converter list.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "comnlib/comn_err.h"
#include "comnlib/comn_loc_testhome.h"
#include "comnlib/comn_path.h"

namespace {

std::vector<comn_climsg> g_reports;
int collect(comn_context*, comn_climsg* m) {
  g_reports.push_back(*m);
  return 7;
}

std::int32_t errnum(int layer, int origin, int severity, int number) {
  return (layer << 24) | (origin << 16) | (severity << 8) | number;
}

// A context whose default locale's message entry is French, with no
// character-set conversion (texts are kept as read).
class ErrHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    saved_ = cwd;
    ASSERT_EQ(::chdir(home_.dir().c_str()), 0);
    entry_.langname = const_cast<char*>("french");
    entry_.langnamelen = 6;
    entry_.msgdesc = &desc_;
    for (auto& c : loc_.cat) c = &entry_;
    ctx_.deflocale = &loc_;
    ctx_.errhandler = collect;
    g_reports.clear();
  }
  void TearDown() override {
    com__errfile_cache_drop(desc_.files);
    com_errdrop(&ctx_);
    ASSERT_EQ(::chdir(saved_.c_str()), 0);
  }
  void put_messages(const std::string& api) {
    home_.put("locales/message/french/comnlib.loc",
              ";\n[comdefaults]\n1 = ZZ000, \"no memory\"\n2 = ZZ000, \"some layer\"\n"
              "3 = ZZ000, \"some origin\"\n4 = ZZ000, \"some error\"\n"
              "[comlayer]\n1 = 00000, \"common library\"\n"
              "[comorigin]\n1 = 00000, internal\n[comapierror]\n" + api);
  }

  ComnTestHome home_;
  COMN_CONTEXT ctx_{};
  comn_loccache entry_{};
  comn_msgdesc desc_{};
  comn_locale loc_{};
  std::string saved_;
};

TEST_F(ErrHome, ReportsWithTextsFromTheFile) {
  put_messages("5 = 42000, \"bad argument %1! in \\n\"\n6 = 22001, \"pair %1! and %2!\"\n");
  ASSERT_EQ(com_errinit(&ctx_), 1);
  comn_errparm p;
  long v = 7;
  com_ep_sd(&p, "comn_thing", &v);
  EXPECT_EQ(com__error(&ctx_, errnum(1, 1, 16, 5), &p), 7);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_STREQ(g_reports[0].text, "comn_thing: common library: internal: bad argument 7 in \n");
  EXPECT_STREQ(g_reports[0].sqlstate, "42000");
  EXPECT_EQ(g_reports[0].severity, 16);
  EXPECT_EQ(g_reports[0].msgnumber, errnum(1, 1, 16, 5));
  com_ep_sds(&p, "f", &v, "x");
  com__error(&ctx_, errnum(1, 1, 0, 6), &p);
  EXPECT_STREQ(g_reports[1].text, "f: common library: internal: pair 7 and x");
  // Origin 5: the localisation library's own text.
  com_ep_s(&p, "g");
  com__error(&ctx_, errnum(1, 5, 0, 43), &p);
  EXPECT_STREQ(g_reports[2].text,
               "g: common library: some origin: Line in localization file too long");
  EXPECT_STREQ(g_reports[2].sqlstate, "ZZZZZ");
  // Unknown layer, origin and error: the "comdefaults" texts.
  com__error(&ctx_, errnum(9, 9, 0, 99), &p);
  EXPECT_STREQ(g_reports[3].text, "g: some layer: some origin: some error");
  // No routine: nothing reported.
  ctx_.errhandler = nullptr;
  EXPECT_EQ(com__error(&ctx_, errnum(1, 1, 0, 5), &p), 0);
}

TEST_F(ErrHome, WithoutAFileTheBuiltInTextsServe) {
  EXPECT_EQ(com_errinit(&ctx_), COMN_EOPEN);
  comn_errparm p;
  com_ep_ss(&p, "r", "arg");
  EXPECT_EQ(com__error(&ctx_, errnum(1, 1, 10, 5), &p), 7);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_STREQ(g_reports[0].text,
               "r: unable to get layer message string: unable to get origin message string: "
               "unable to get error string");
  EXPECT_STREQ(g_reports[0].sqlstate, "ZZZZZ");
  const char* t = nullptr;
  EXPECT_EQ(com__get_failerr(&ctx_, nullptr, 9, &t, nullptr), 1);
  EXPECT_STREQ(t, "bad default error number");
}

TEST_F(ErrHome, TruncationAndRefusal) {
  put_messages("5 = 42000, \"abcdefghij\"\n");
  ASSERT_EQ(com_errinit(&ctx_), 1);
  comn_errparm p;
  com_ep_s(&p, "r");
  const std::string whole = "r: common library: internal: abcdefghij";
  char buf[64];
  int n = 0;
  EXPECT_EQ(com_notrunc_errmsg(&ctx_, ctx_.errfile, errnum(1, 1, 0, 5), &p, nullptr, 0, 4, 0, buf,
                               10, &n),
            0);
  EXPECT_EQ(n, static_cast<int>(whole.size()));
  EXPECT_EQ(com_build_errmsg(&ctx_, ctx_.errfile, errnum(1, 1, 0, 5), &p, nullptr, 0, 4, buf, 10,
                             &n),
            1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), whole.substr(0, 10));
  EXPECT_EQ(com_build_errmsg(&ctx_, ctx_.errfile, errnum(1, 1, 0, 5), &p, "given", -1, 4, buf,
                             sizeof buf, &n),
            1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "r: common library: internal: given");
  char state[8];
  EXPECT_EQ(com_err_sqlstate(&ctx_, ctx_.errfile, 5, 4, state, 4, &n), 0);
  EXPECT_EQ(com_err_sqlstate(&ctx_, ctx_.errfile, 5, 4, state, 5, &n), 1);
  EXPECT_EQ(std::string(state, 5), "42000");
}

TEST_F(ErrHome, CacheHoldsAHundredMessages) {
  std::string api;
  for (int i = 1; i <= 100; ++i) api += std::to_string(i) + " = S" + std::to_string(i) + ", t\n";
  put_messages(api);
  ASSERT_EQ(com_errinit(&ctx_), 1);
  EXPECT_EQ(desc_.nmsgs, 4);
  comn_msgsection* defaults = nullptr;
  for (comn_msgsection* s = desc_.files->sections; s != nullptr; s = s->next)
    if (s->id == 1) defaults = s;
  ASSERT_NE(defaults, nullptr);
  comn_cachedmsg* m = nullptr;
  for (int i = 1; i <= 96; ++i) ASSERT_EQ(com__err_getcache(&ctx_, ctx_.errfile, i, 4, &m), 1);
  EXPECT_EQ(desc_.nmsgs, 100);
  EXPECT_NE(com__scan_cache(defaults, 1), nullptr);
  ASSERT_EQ(com__err_getcache(&ctx_, ctx_.errfile, 97, 4, &m), 1);
  EXPECT_EQ(desc_.nmsgs, 100);
  EXPECT_EQ(com__scan_cache(defaults, 1), nullptr);  // the oldest went
  EXPECT_NE(com__scan_cache(defaults, 2), nullptr);
  EXPECT_STREQ(m->sqlstate, "S97");
  EXPECT_EQ(com__err_getcache(&ctx_, ctx_.errfile, 200, 4, &m), 0);
}

TEST(ComnErr, EscapeFilter) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a\\nb", "a\nb"},   {"\\\"q\\\"", "\"q\""}, {"\\b\\f\\r\\t", "\b\f\r\t"},
      {"x\\qy", "x\\y"},   {"end\\", "end\\"},     {"", ""},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    const int n = com__err_filterescape(s.data());
    EXPECT_EQ(std::string(s.c_str()), c.out) << c.in;
    EXPECT_EQ(n, static_cast<int>(std::strlen(c.out)));
  }
}

int conv_a(COMN_CONTEXT*, COMN_DATAFORMAT*, const void*, COMN_DATAFORMAT*, void*, std::int32_t*) {
  return 1;
}

TEST(ComnErr, UserConverterList) {
  COMN_CONTEXT ctx{};
  for (const char* s : {"iso_1", "cp850", "utf8"}) comn_globalid_add(&ctx, 0, s, -9, s, -9);
  COMN_USERCONVFN fn = conv_a;
  std::int32_t mult = 0;
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 34, "iso_1", -9, "cp850", -9, nullptr, &fn), 1);
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 34, "iso_1", -9, "utf8", -9, &mult, &fn), 1);
  COMN_USERCONVFN got = nullptr;
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 33, "iso_1", -9, "cp850", -9, &mult, &got), 1);
  EXPECT_EQ(got, conv_a);
  EXPECT_EQ(mult, 1);
  // Removing the head keeps the record after it.
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 35, "iso_1", -9, "utf8", -9, nullptr, nullptr), 1);
  ASSERT_NE(ctx.user_convlist, nullptr);
  EXPECT_EQ(std::string(ctx.user_convlist->dstname, ctx.user_convlist->dstlen), "cp850");
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 33, "iso_1", -9, "utf8", -9, &mult, &got), 1);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 34, "iso_1", -9, "klingon", -9, nullptr, &fn),
            COMN_ENOID);
  const std::string longname(300, 'x');
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 34, longname.c_str(), -9, "utf8", -9, nullptr, &fn),
            0);
  EXPECT_EQ(comn_set_user_charset_convert(&ctx, 36, "iso_1", -9, "utf8", -9, nullptr, &fn), 0);
  comn_drop_user_charconv_list(&ctx);
  EXPECT_EQ(ctx.user_convlist, nullptr);
  comn_intlstate_free(&ctx);
}

}  // namespace
