// Tests of locale loading, date information and character-set conversion
// over a small installation with the sets utf8, iso_1 and cp850.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "comnlib/com_charclass.h"
#include "comnlib/com_date.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_loc_testhome.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/comn_path.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A conversion table from a mapping of source characters (one or two
// bytes) to target bytes; everything else has no mapping.  Two-byte
// characters walk three digits: the lead byte, then each nibble.
std::string ctb(const std::map<Bytes, Bytes>& map, int maxmult) {
  std::vector<std::uint16_t> index(256, 0);
  std::vector<std::array<std::uint8_t, 8>> dest(1);  // entry 0: no mapping
  dest[0] = {0, 0, 0, 0, 0, 1, 0, 0};
  auto add_dest = [&](std::array<std::uint8_t, 8> e) {
    dest.push_back(e);
    return static_cast<std::uint16_t>(dest.size() - 1);
  };
  auto new_block = [&]() {
    const size_t base = index.size();
    index.resize(base + 16, 0);
    return base;
  };
  std::map<int, size_t> level2;               // lead -> block
  std::map<std::pair<int, int>, size_t> level3;  // (lead, high nibble) -> block
  for (const auto& [src, dst] : map) {
    std::array<std::uint8_t, 8> e{};
    for (size_t i = 0; i < dst.size(); ++i) e[i] = dst[i];
    e[4] = static_cast<std::uint8_t>(dst.size());
    e[5] = dst.empty() ? 1 : 3;  // no mapping at full depth
    if (src.size() == 1) {
      index[src[0]] = add_dest(e);
      continue;
    }
    const int lead = src[0], hi = src[1] >> 4, lo = src[1] & 15;
    if (!level2.count(lead)) {
      level2[lead] = new_block();
      std::array<std::uint8_t, 8> k{0, 0, 0, 0, 0, 5, 0, 0};
      k[6] = static_cast<std::uint8_t>(level2[lead] >> 8);
      k[7] = static_cast<std::uint8_t>(level2[lead] & 0xFF);
      index[static_cast<size_t>(lead)] = add_dest(k);
    }
    if (!level3.count({lead, hi})) {
      level3[{lead, hi}] = new_block();
      std::array<std::uint8_t, 8> k{0, 0, 0, 0, 0, 5, 0, 0};
      k[6] = static_cast<std::uint8_t>(level3[{lead, hi}] >> 8);
      k[7] = static_cast<std::uint8_t>(level3[{lead, hi}] & 0xFF);
      index[level2[lead] + static_cast<size_t>(hi)] = add_dest(k);
    }
    index[level3[{lead, hi}] + static_cast<size_t>(lo)] = add_dest(e);
  }
  Bytes idx, dst;
  for (auto v : index) {
    idx.push_back(static_cast<std::uint8_t>(v >> 8));
    idx.push_back(static_cast<std::uint8_t>(v & 0xFF));
  }
  for (const auto& e : dest) dst.insert(dst.end(), e.begin(), e.end());
  return ";\n[conversion]\nmin_src_len = 0x01\nmax_multiplier = " + comn_test_hexval(maxmult, 1) +
         "\nnindex = " + comn_test_hexval(static_cast<std::uint32_t>(index.size()), 2) +
         "\nndest = " + comn_test_hexval(static_cast<std::uint32_t>(dest.size()), 2) +
         "\nindex_size = " + comn_test_hexval(static_cast<std::uint32_t>(idx.size()), 4) +
         "\ndest_size = " + comn_test_hexval(static_cast<std::uint32_t>(dst.size()), 4) +
         "\nimage_size = " + comn_test_hexval(static_cast<std::uint32_t>(idx.size() + dst.size()), 4) +
         "\n" + comn_test_definitions(idx) + comn_test_definitions(dst);
}

std::map<Bytes, Bytes> ascii_identity() {
  std::map<Bytes, Bytes> m;
  for (int b = 1; b < 0x80; ++b) m[{static_cast<std::uint8_t>(b)}] = {static_cast<std::uint8_t>(b)};
  return m;
}

const char kBinary[] =
    ";\n[sortorder]\nclass = 0x01\nid = 0x01\nname = binary\ncharset = any\n"
    "description = \"Binary order\"\nmenuname = Binary\nbinary = true\n";

class LocHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    saved_ = cwd;
    ASSERT_EQ(::chdir(home_.dir().c_str()), 0);
    home_.put("config/objectid.dat",
              ";\n[charset]\n1 = utf8\n2 = ucs2\n3 = iso_1\n4 = cp850\n5 = cp437\n6 = roman8\n"
              "7 = mac\n8 = eucjis\n9 = sjis\n10 = deckanji\n[sortorder]\n40 = binary\n"
              "[language]\n50 = us_english\n51 = french\n[datetime]\n60 = frdt\n");
    home_.put("config/mnemonic.dat",
              ";\n[mnemonics]\nmnem = xEu, U+20AC\nmnem = xoe, U+0153\nother = 1\nmnem = \n");
    std::uint8_t len[256];
    for (int b = 0; b < 256; ++b) len[b] = b >= 0xC0 && b < 0xE0 ? 0x12 : b >= 0xE0 ? 0x13 : 0x11;
    home_.put("charsets/utf8/charset.loc", comn_test_charset2("utf8", com_get_typemap(), 1, len));
    home_.put("charsets/utf8/utf8.cfg",
              ";\n[conversion]\nconvertto = iso_1, table, BESTGUESS, 3F\n"
              "convertto = cp850, table, MNEMONIC, 3F\n");
    home_.put("charsets/utf8/binary.srt", kBinary);
    std::map<Bytes, Bytes> to_iso = ascii_identity(), to_850 = ascii_identity();
    std::map<Bytes, Bytes> iso_to = ascii_identity(), c850_to = ascii_identity();
    to_iso[{0xC3, 0xA9}] = {0xE9};
    to_850[{0xC3, 0xA9}] = {0x82};
    to_850[{0xC5, 0x92}] = {};
    to_850[{0xC5, 0x93}] = {};
    iso_to[{0xE9}] = {0xC3, 0xA9};
    c850_to[{0x82}] = {0xC3, 0xA9};
    home_.put("charsets/utf8/iso_1.ctb", ctb(to_iso, 1));
    home_.put("charsets/utf8/cp850.ctb", ctb(to_850, 1));
    home_.put("charsets/iso_1/charset.loc", comn_test_charset1("iso_1", com_get_typemap()));
    home_.put("charsets/iso_1/iso_1.cfg",
              ";\n[conversion]\nconvertto = utf8, table, MATCH, 3F\n"
              "convertto = cp850, sys-algorithm, 1\n");
    home_.put("charsets/iso_1/utf8.ctb", ctb(iso_to, 2));
    home_.put("charsets/iso_1/binary.srt", kBinary);
    home_.put("charsets/cp850/charset.loc", comn_test_charset1("cp850", com_get_typemap()));
    home_.put("charsets/cp850/cp850.cfg", ";\n[conversion]\nconvertto = utf8, table, MATCH, 3F\n");
    home_.put("charsets/cp850/utf8.ctb", ctb(c850_to, 2));
    home_.put("charsets/cp850/binary.srt", kBinary);
    home_.put("locales/locales.dat",
              ";\n[sun_svr4]\nlocale = default, us_english, iso_1\n"
              "locale = fr_FR, french, iso_1\nlocale = fr_PC, french, cp850\n"
              "locale = fr_DT, french, iso_1, binary, frdt\nlocale = nolang, german, iso_1\n"
              "[sun_other]\nlocale = x, y, z\n");
    home_.put("locales/message/us_english/common.loc",
              ";\n[datetime]\nfirstday = 1\ndateformat = ydm\ntimeformat = 24\n");
    home_.put("locales/message/french/common.loc",
              ";\n[datetime]\nmonths = janvier, f\xC3\xA9vrier, mars, avril, mai, juin, juillet, "
              "ao\xC3\xBBt, septembre, octobre, novembre, d\xC3\xA9\x63\x65mbre\n"
              "firstday = 7\ndateformat = dmy\n");
  }
  void TearDown() override {
    comn_intl_exit(&ctx_);
    ASSERT_EQ(::chdir(saved_.c_str()), 0);
  }
  comn_loccache* load(const char* name) {
    comn_loccache* e = nullptr;
    char path[600];
    EXPECT_EQ(comn_intl_load(&ctx_, name, -9, &e, path, sizeof path), 1) << name << " " << path;
    return e;
  }
  static comn_locale locale_of(comn_loccache* e) {
    comn_locale l{};
    for (auto& c : l.cat) c = e;
    return l;
  }

  ComnTestHome home_;
  COMN_CONTEXT ctx_{};
  std::string saved_;
};

TEST_F(LocHome, InitLoadsUtf8Once) {
  char path[600] = {};
  ASSERT_EQ(comn_intl_init(&ctx_, path, sizeof path), 1) << path;
  ASSERT_NE(ctx_.intlstate->utf8desc, nullptr);
  EXPECT_EQ(ctx_.intlstate->utf8desc->attr->cs_class, 2);
  EXPECT_NE(ctx_.intlstate->ucs2id, nullptr);
  EXPECT_NE(ctx_.intlstate->lmctx, nullptr);
  ASSERT_NE(ctx_.intlstate->utf8desc->sortorders, nullptr);
  EXPECT_EQ(ctx_.intlstate->utf8desc->sortorders->table, nullptr);  // binary
  comn_chardesc* d = ctx_.intlstate->utf8desc;
  EXPECT_EQ(comn_intl_init(&ctx_, path, sizeof path), 1);
  EXPECT_EQ(ctx_.intlstate->utf8desc, d);
}

TEST_F(LocHome, InitFailureLeavesNoHalfState) {
  ::unlink((home_.dir() + "/charsets/utf8/binary.srt").c_str());
  char path[600] = {};
  EXPECT_EQ(comn_intl_init(&ctx_, path, sizeof path), COMN_EOPEN);
  EXPECT_EQ(std::string(path), home_.dir() + "/charsets/utf8/binary.srt");
  EXPECT_EQ(ctx_.intlstate->utf8desc, nullptr);
  EXPECT_EQ(ctx_.intlstate->chardescs, nullptr);
  home_.put("charsets/utf8/binary.srt", kBinary);
  EXPECT_EQ(comn_intl_init(&ctx_, path, sizeof path), 1);
}

TEST_F(LocHome, LoadsLocalesWithDatesAndCachesThem) {
  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_loccache* e = load("default");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->langname, "us_english");
  EXPECT_STREQ(e->soname, "binary");
  EXPECT_EQ(e->chardesc->attr->cs_class, 1);
  ASSERT_NE(e->dtinfo, nullptr);
  EXPECT_STREQ(e->dtinfo->days[0], "Monday");
  EXPECT_EQ(e->dtinfo->orderid, 4);
  EXPECT_EQ(e->dtinfo->dtfmt, 13);
  EXPECT_EQ(e->dtinfo->twelvehour, 0);
  // Cached: no file is read again.
  ::unlink((home_.dir() + "/locales/locales.dat").c_str());
  EXPECT_EQ(load("default"), e);
  home_.put("locales/locales.dat",
            ";\n[sun_svr4]\nlocale = fr_FR, french, iso_1\nlocale = fr_PC, french, cp850\n"
            "locale = fr_DT, french, iso_1, binary, frdt\n");
  comn_loccache* fr = load("fr_FR");
  comn_loccache* pc = load("fr_PC");
  ASSERT_NE(fr, nullptr);
  ASSERT_NE(pc, nullptr);
  EXPECT_NE(fr->msgdesc, pc->msgdesc);     // one per (language, set)
  EXPECT_EQ(fr->dtinfo, pc->dtinfo);       // one date record per language
  EXPECT_STREQ(fr->dtinfo->days[0], "Sunday");
  comn_loccache* dt = load("fr_DT");
  EXPECT_STREQ(dt->dtname, "frdt");
  EXPECT_EQ(dt->dtinfo, nullptr);
  comn_loccache* none = nullptr;
  EXPECT_EQ(comn_intl_load(&ctx_, "zz", -9, &none, nullptr, 0), 0);
}

TEST_F(LocHome, LookupRules) {
  struct Case {
    std::string dat;
    int r;
    std::string so;
  } cases[] = {
      {";\n[sun_svr4]\nlocale = a, l, c\n", 1, "binary"},
      {";\n[sun_svr4]\nlocale = a, l, c, , d\n", 1, "binary"},
      {";\n[sun_svr4]\nlocale = a, l, c, dict, d, n, m\n", 1, "dict"},
      {";\n[sun_svr4]\nother = a, l, c\nlocale = a, l, c\n", 0, ""},
      {";\n[sun_svr4]\nlocale = a, l\n", 0, ""},
      {";\n[solaris]\nlocale = a, l, c\n", 0, ""},
  };
  for (const auto& c : cases) {
    home_.put("locales/locales.dat", c.dat);
    comn_lookup look;
    EXPECT_EQ(comn__intl_lookup(&ctx_, "a", 1, &look, nullptr, 0), c.r) << c.dat;
    if (c.r == 1) {
      EXPECT_EQ(std::string(look.sortorder), c.so);
    }
  }
  home_.put("locales/locales.dat", ";\n[sun_svr4]\nlocale = a, l, c, dict, d, n, m\n");
  comn_lookup look;
  ASSERT_EQ(comn__intl_lookup(&ctx_, "a", 1, &look, nullptr, 0), 1);
  EXPECT_STREQ(look.datetime, "d");
  EXPECT_STREQ(look.numeric, "n");
  EXPECT_STREQ(look.money, "m");
}

TEST_F(LocHome, DateAccessors) {
  // Without any locale: the built-in English values.
  COMN_CONTEXT zero{};
  EXPECT_EQ(com_intl_months(&zero, nullptr), com__get_months());
  EXPECT_EQ(com_intl_dateorder_id(&zero, nullptr), 1);
  EXPECT_EQ(com_intl_is12hour(nullptr, nullptr), 1);
  struct Day {
    int day, from, to, want;
  } days[] = {{1, 7, 1, 0}, {2, 7, 7, 2}};
  for (const auto& d : days) EXPECT_EQ(com_intl_convt_firstday(d.day, d.from, d.to), d.want);

  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_loccache* fr = load("fr_FR");
  comn_locale loc = locale_of(fr);
  ctx_.deflocale = &loc;
  EXPECT_EQ(com_intl_dateorder_id(&ctx_, nullptr), 2);
  EXPECT_STREQ(com_intl_dateorder(&ctx_, nullptr), "dmy");
  EXPECT_STREQ(com_intl_months(&ctx_, nullptr)[1], "f\xC3\xA9vrier");
  char buf[32];
  int n = 0;
  EXPECT_EQ(comn_intl_month(&ctx_, nullptr, 7340, 1, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "f\xE9vrier");
  EXPECT_EQ(comn_intl_month(&ctx_, nullptr, 1, 1, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "Feb");
  EXPECT_EQ(comn_intl_month(&ctx_, nullptr, 7340, 12, buf, sizeof buf, &n), 0);
  EXPECT_EQ(comn_intl_day(&ctx_, nullptr, 0, 0, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "Sunday");
  EXPECT_EQ(comn_intl_month(&ctx_, nullptr, 7340, 1, buf, 3, &n), COMN_ETRUNCATED);
  // A locale of its own date format.
  const int fmt = 111;
  ASSERT_EQ(comn_intl_set_dtfmt(&ctx_, nullptr, &fmt), 1);
  EXPECT_NE(loc.cat[5], fr);
  EXPECT_EQ(loc.cat[0], loc.cat[5]);
  EXPECT_EQ(comn_intl_get_dtfmt(&ctx_, nullptr), 111);
  EXPECT_EQ(loc.cat[5]->dtinfo->fmtset, 1);
  EXPECT_STREQ(loc.cat[5]->dtinfo->months[1], "f\xC3\xA9vrier");
  EXPECT_EQ(fr->dtinfo->dtfmt, 3);  // the original keeps its own
  comn_loccache copy{};
  ASSERT_EQ(com__copy_common_info(fr, &copy), 1);
  EXPECT_STREQ(copy.dtinfo->months[7], "ao\xC3\xBBt");
  comn__free_dtinfo(copy.dtinfo);
  ctx_.deflocale = nullptr;
}

TEST_F(LocHome, ConvertsBetweenLocales) {
  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_locale iso = locale_of(load("default"));
  comn_locale fr = locale_of(load("fr_FR"));
  comn_locale pc = locale_of(load("fr_PC"));
  struct Case {
    comn_locale* from;
    comn_locale* to;
    Bytes src;
    int room;
    int status;
    Bytes out;
  } cases[] = {
      {&iso, &fr, {'a', 0xE9, 'b'}, 2, COMN_OK, {'a', 0xE9}},       // one set: bounded copy
      {&iso, &pc, {'a', 0xE9}, 8, COMN_OK, {'a', 0x82}},            // built-in routine
      {&pc, &iso, {'a', 0x82}, 8, COMN_OK, {'a', 0xE9}},            // through utf8
      {&pc, &iso, {'a', 0x83}, 8, COMN_EREPLACED, {'a', '?'}},      // unmapped
      {&pc, &iso, {'a', 'b', 0x82}, 2, COMN_ETRUNCATED, {'a', 'b'}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    COMN_DATAFORMAT sf{}, df{};
    sf.maxlength = static_cast<int>(c.src.size());
    sf.locale = c.from;
    df.maxlength = c.room;
    df.locale = c.to;
    std::uint8_t out[16] = {};
    std::int32_t n = -1;
    EXPECT_EQ(comn_charset_convert(&ctx_, 2, &sf, c.src.data(), &df, out, &n), c.status) << i;
    EXPECT_EQ(Bytes(out, out + std::max(0, n)), c.out) << i;
  }
  std::int32_t mult = 0;
  EXPECT_EQ(comn_convert_max_multiplier(&ctx_, 2, &pc, &iso, &mult), 1);
  EXPECT_EQ(mult, 2);
  EXPECT_EQ(comn_convert_max_multiplier(&ctx_, 2, &iso, &fr, &mult), 1);
  EXPECT_EQ(mult, 1);
}

int upper_conv(COMN_CONTEXT*, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT* df,
               void* dst, std::int32_t* produced) {
  const int n = std::min(sf->maxlength, df->maxlength);
  for (int i = 0; i < n; ++i)
    static_cast<char*>(dst)[i] = static_cast<char>(std::toupper(static_cast<const char*>(src)[i]));
  *produced = n;
  return 1;
}

TEST_F(LocHome, CallerRoutinesAndVaryingTexts) {
  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_locale iso = locale_of(load("default"));
  comn_locale pc = locale_of(load("fr_PC"));
  COMN_USERCONVFN fn = upper_conv;
  std::int32_t mult = 3;
  ASSERT_EQ(comn_set_user_charset_convert(&ctx_, 34, "cp850", -9, "iso_1", -9, &mult, &fn), 1);
  COMN_DATAFORMAT sf{}, df{};
  sf.maxlength = 3;
  sf.locale = &pc;
  df.maxlength = 8;
  df.locale = &iso;
  std::uint8_t out[260] = {};
  std::int32_t n = 0;
  EXPECT_EQ(comn_charset_convert(&ctx_, 2, &sf, "abc", &df, out, &n), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)), "ABC");
  EXPECT_EQ(comn_convert_max_multiplier(&ctx_, 2, &pc, &iso, &mult), 1);
  EXPECT_EQ(mult, 3);
  ASSERT_EQ(comn_set_user_charset_convert(&ctx_, 35, "cp850", -9, "iso_1", -9, nullptr, nullptr), 1);
  // A varying source: its own 16-bit length before the data; a varying
  // target: the data after its length field, which is left to the caller.
  std::uint8_t vsrc[260] = {};
  const std::int16_t len = 2;
  std::memcpy(vsrc, &len, 2);
  vsrc[2] = 'a';
  vsrc[3] = 0xE9;
  vsrc[4] = 'z';  // beyond the length: not converted
  sf = COMN_DATAFORMAT{};
  sf.datatype = COMN_DT_VARCHAR;
  sf.maxlength = 258;
  sf.locale = &iso;
  df = COMN_DATAFORMAT{};
  df.datatype = COMN_DT_VARCHAR;
  df.maxlength = 258;
  df.locale = &pc;
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(comn_charset_convert(&ctx_, 2, &sf, vsrc, &df, out, &n), 1);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(out[2], 'a');
  EXPECT_EQ(out[3], 0x82);
  EXPECT_EQ(out[0], 0);
}

TEST_F(LocHome, MnemonicsForUnmappedCharacters) {
  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_loccache* pc = load("fr_PC");
  comn_loccache u{};
  comn__utf8_lcache(&ctx_, &u);
  comn_convconfig* cfg = nullptr;
  comn__get_convert_config(&ctx_, u.chardesc, pc->chardesc, &cfg);
  ASSERT_NE(cfg, nullptr);
  struct Case {
    Bytes src;
    int status;
    std::string out;
  } cases[] = {
      {{0xC3, 0xA9}, COMN_OK, "\x82"},
      {{0xE2, 0x82, 0xAC}, COMN_EREPLACED, "?"},  // the walk stops early: replacement
      {{0xC5, 0x93}, COMN_EREPLACED, "oe"},
      {{0xC5, 0x92}, COMN_EREPLACED, "U152"},
  };
  for (const auto& c : cases) {
    COMN_DATAFORMAT df{};
    df.maxlength = 16;
    std::uint8_t out[16];
    std::int32_t n = 0;
    EXPECT_EQ(comn__convt_from_utf8(&ctx_, 0, c.src.data(), static_cast<int>(c.src.size()), &df,
                                    pc, out, &n),
              c.status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)), c.out);
  }
  EXPECT_EQ(cfg->tabmult, 2);  // the longest mnemonic over one source byte
}

TEST_F(LocHome, LocaleQueriesAndVariants) {
  ASSERT_EQ(comn_intl_init(&ctx_, nullptr, 0), 1);
  comn_loccache* def = load("default");
  comn_locale a = locale_of(def);
  char buf[32];
  int n = 0;
  EXPECT_EQ(com_intl_getstr(&a, 2, 4, buf, sizeof buf, &n), 1);
  EXPECT_STREQ(buf, "us_english.iso_1");
  EXPECT_EQ(com_intl_getstr(&a, 2, 2, buf, 9, &n), 0);  // one byte short
  EXPECT_EQ(n, 10);
  EXPECT_EQ(com_intl_getstr(&a, 2, 1, buf, 5, &n), 1);
  EXPECT_EQ(std::string(buf, 5), "iso_1");

  ctx_.deflocale = &a;
  EXPECT_EQ(com_intl_get_locname(&ctx_, "f\xC3\xA9" "e", 4, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "f\xE9" "e");
  EXPECT_EQ(com_intl_get_locname(&ctx_, "", 0, buf, sizeof buf, &n), 1);
  EXPECT_EQ(n, 0);
  ctx_.deflocale = nullptr;

  comn_loccache* v = nullptr;
  ASSERT_EQ(comn_intl_load_mertypes(&ctx_, 9, "cp850", -9, nullptr, 0, def, &v), 1);
  EXPECT_STREQ(v->csname, "cp850");
  EXPECT_EQ(v->locname, nullptr);
  EXPECT_NE(v->dtinfo, nullptr);
  comn_loccache* again = nullptr;
  EXPECT_EQ(comn_intl_load_mertypes(&ctx_, 9, "cp850", -9, nullptr, 0, def, &again), 1);
  EXPECT_EQ(again, v);
  EXPECT_EQ(comn_intl_load_mertypes(&ctx_, 8, "klingon", -9, nullptr, 0, def, &again),
            COMN_ENOID);
  comn_locale b = locale_of(v);
  EXPECT_EQ(com_intl_loccmp(2, 1, &a, &b), 1);
  EXPECT_EQ(com_intl_loccmp(2, 2, &a, &a), 0);
  EXPECT_EQ(com_intl_loccmp(2, 3, &a, &b), 1);  // sort orders of different sets
  EXPECT_EQ(com_intl_loccmp(2, 9, &a, &b), 0);
  EXPECT_EQ(com_intl_charattr(nullptr, nullptr), com_get_charattrib());
  COMN_DATAFORMAT f{};
  f.locale = &b;
  EXPECT_EQ(com_intl_charattr(&ctx_, &f), v->chardesc->attr);

  const char* saved_ctype = std::getenv("LC_CTYPE");
  const char* saved_lang = std::getenv("LANG");
  std::string keep_ctype = saved_ctype ? saved_ctype : "", keep_lang = saved_lang ? saved_lang : "";
  ::unsetenv("LC_CTYPE");
  ::setenv("LANG", "fr_FR", 1);
  EXPECT_EQ(com_intl_envloc(&ctx_, 2, buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "fr_FR");
  ::unsetenv("LANG");
  EXPECT_EQ(com_intl_envloc(&ctx_, 2, buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "default");
  ::setenv("LC_CTYPE", "a_rather_long_locale_name", 1);
  EXPECT_EQ(com_intl_envloc(&ctx_, 2, buf, 8), COMN_EINTL);
  if (saved_ctype) {
    ::setenv("LC_CTYPE", keep_ctype.c_str(), 1);
  } else {
    ::unsetenv("LC_CTYPE");
  }
  if (saved_lang) {
    ::setenv("LANG", keep_lang.c_str(), 1);
  } else {
    ::unsetenv("LANG");
  }
}

}  // namespace
