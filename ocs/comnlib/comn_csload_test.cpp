// Tests of character-set loading: charset.loc images, conversion
// configurations and their error reports, conversion tables and the value
// readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_loc_testhome.h"
#include "comnlib/comn_path.h"

namespace {

const char kObjectIds[] =
    ";\n[charset]\n1 = utf8\n2 = ucs2\n3 = iso_1\n4 = cp850\n5 = cp437\n6 = roman8\n7 = mac\n"
    "8 = eucjis\n9 = sjis\n10 = deckanji\n11 = koi8\n[sortorder]\n40 = binary\n41 = dict\n"
    "[language]\n50 = us_english\n51 = french\n";

// A conversion table for single-byte sources: byte b maps to the given
// target bytes (kind 3), or has no mapping (kind 1) when empty.
std::string ctb_single(const std::vector<std::vector<std::uint8_t>>& map, int maxmult) {
  std::vector<std::uint8_t> index, dest;
  for (int b = 0; b < 256; ++b) {
    index.push_back(0);
    index.push_back(static_cast<std::uint8_t>(b));
    std::uint8_t e[8] = {};
    const auto& t = map[static_cast<size_t>(b)];
    for (size_t i = 0; i < t.size() && i < 4; ++i) e[i] = t[i];
    e[4] = static_cast<std::uint8_t>(t.size());
    e[5] = t.empty() ? 1 : 3;
    dest.insert(dest.end(), e, e + 8);
  }
  return ";\n[conversion]\nmin_src_len = 0x01\nmax_multiplier = " + comn_test_hexval(maxmult, 1) +
         "\nnindex = 0x0100\nndest = 0x0100\nindex_size = 0x00000200\ndest_size = 0x00000800\n"
         "image_size = 0x00000A00\n" +
         comn_test_definitions(index) + comn_test_definitions(dest);
}

// iso_1 to utf8 and back (the upper half of utf8 left unmapped).
std::vector<std::vector<std::uint8_t>> iso1_to_utf8() {
  std::vector<std::vector<std::uint8_t>> m(256);
  for (int b = 0; b < 256; ++b) {
    if (b < 0x80) {
      m[static_cast<size_t>(b)] = {static_cast<std::uint8_t>(b)};
    } else {
      m[static_cast<size_t>(b)] = {static_cast<std::uint8_t>(0xC0 | (b >> 6)),
                                   static_cast<std::uint8_t>(0x80 | (b & 0x3F))};
    }
  }
  return m;
}

// An installation with utf8 and iso_1, run from its own directory so that
// merinit.err lands there.
class CsHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    saved_ = cwd;
    ASSERT_EQ(::chdir(home_.dir().c_str()), 0);
    home_.put("config/objectid.dat", kObjectIds);
    home_.put("charsets/utf8/charset.loc", comn_test_charset2("utf8", com_get_typemap()));
    home_.put("charsets/utf8/utf8.cfg",
              ";\n[conversion]\nconvertto = iso_1, table, BESTGUESS, 3F\n"
              "convertto = ucs2, sys-algorithm, 2\n");
    std::vector<std::vector<std::uint8_t>> back(256);
    for (int b = 0; b < 0x80; ++b) back[static_cast<size_t>(b)] = {static_cast<std::uint8_t>(b)};
    home_.put("charsets/utf8/iso_1.ctb", ctb_single(back, 1));
    home_.put("charsets/iso_1/charset.loc", comn_test_charset1("iso_1", com_get_typemap()));
    home_.put("charsets/iso_1/iso_1.cfg",
              ";\n[conversion]\nconvertto = utf8, table, MATCH, 3F\n"
              "convertto = cp850, sys-algorithm, 1\n");
    home_.put("charsets/iso_1/utf8.ctb", ctb_single(iso1_to_utf8(), 2));
    ASSERT_EQ(comn__load_objectids(&ctx_), 1);
  }
  void TearDown() override {
    com_intl_chardesc_drop(&ctx_);
    comn_intl_drop_mnemdb(&ctx_);
    comn_intlstate_free(&ctx_);
    for (auto* e : entries_) delete e;
    ASSERT_EQ(::chdir(saved_.c_str()), 0);
  }
  comn_loccache* entry(const char* set) {
    auto* e = new comn_loccache{};
    e->csname = const_cast<char*>(set);
    e->csnamelen = static_cast<int>(std::strlen(set));
    entries_.push_back(e);
    return e;
  }
  comn_object* id(const char* set) {
    comn_object* o = nullptr;
    comn__lookup_id(&ctx_, COMN_GID_CHARSET, set, -9, &o);
    return o;
  }
  int load(const char* set, comn_loccache** out = nullptr) {
    comn_loccache* e = entry(set);
    if (out != nullptr) *out = e;
    char path[600] = {};
    int r = comn__intl_load_charset(&ctx_, id(set), e, path, sizeof path);
    last_path_ = path;
    return r;
  }
  int load_utf8() {
    comn_loccache* e = nullptr;
    int r = load("utf8", &e);
    if (r == 1) ctx_.intlstate->utf8desc = e->chardesc;
    return r;
  }

  ComnTestHome home_;
  COMN_CONTEXT ctx_{};
  std::string saved_;
  std::string last_path_;
  std::vector<comn_loccache*> entries_;
};

TEST_F(CsHome, LoadsSetsOnceAndKeepsTheirConfiguration) {
  ASSERT_EQ(load_utf8(), 1);
  comn_loccache* e = nullptr;
  ASSERT_EQ(load("iso_1", &e), 1);
  const COM_CHARATTRIB* a = e->chardesc->attr;
  EXPECT_EQ(a->cs_class, 1);
  EXPECT_EQ(std::string(a->name, a->namelen), "iso_1");
  EXPECT_EQ(std::memcmp(a->typemap, com_get_typemap(), 1024), 0);
  EXPECT_EQ(a->soundex[256], 0);  // 257th byte of the fourth table
  // Entries are kept in reverse file order.
  ASSERT_NE(e->chardesc->configs, nullptr);
  EXPECT_STREQ(e->chardesc->configs->toname, "cp850");
  EXPECT_EQ(e->chardesc->configs->method, 2);
  EXPECT_EQ(e->chardesc->configs->sysalgo, &comn__iso1_to_cp850);
  const comn_convconfig* u = e->chardesc->configs->next;
  EXPECT_EQ(u->matchmode, 1);
  EXPECT_EQ(u->repllen, 1);
  EXPECT_EQ(u->repl[0], 0x3F);
  // A second load finds the descriptor without reading a file.
  ::unlink((home_.dir() + "/charsets/iso_1/charset.loc").c_str());
  comn_loccache* again = nullptr;
  EXPECT_EQ(load("iso_1", &again), 1);
  EXPECT_EQ(again->chardesc, e->chardesc);
  // The table loads on first use.
  comn_convconfig* cfg = e->chardesc->configs->next;
  char path[600];
  ASSERT_EQ(comn__load_conv_table(&ctx_, e, cfg, path, sizeof path), 1);
  EXPECT_EQ(cfg->tabmult, 2);
  EXPECT_EQ(cfg->table->nindex, 256);
  EXPECT_EQ(cfg->table->index[0xE9], 0xE9);
  EXPECT_EQ(cfg->table->dest[8 * 0xE9], 0xC3);
  // Corrupt tables are refused and reported on first use.
  struct Bad {
    std::string text;
  } bad[] = {
      {";\n[conversion]\nnindex = 0x0001\nndest = 0x0001\nindex_size = 0x00000003\n"
       "dest_size = 0x00000008\nimage_size = 0x0000000B\ndefinition = 000000\n"},
      {";\n[conversion]\nnindex = 0x0001\nndest = 0x0001\nindex_size = 0x00000002\n"
       "dest_size = 0x00000008\nimage_size = 0x00000009\ndefinition = 0000\n"},
      {";\n[conversion]\nnindex = 0x0001\nndest = 0x0001\nindex_size = 0x00000002\n"
       "dest_size = 0x00000008\nimage_size = 0x0000000A\ndefinition = 0000, 0000000000000000\n"},
      {";\n[conversion]\nmin_src_len = 0x01\n"},
      {";\n[other]\n"},
  };
  for (const auto& b : bad) {
    home_.put("charsets/iso_1/utf8.ctb", b.text);
    comn__convtable_drop(cfg);
    EXPECT_EQ(comn__load_conv_table(&ctx_, e, cfg, path, sizeof path), COMN_ECTBCORRUPT) << b.text;
    EXPECT_EQ(cfg->table, nullptr);
  }
}

TEST_F(CsHome, ConfigurationErrorsAreReportedAndReturned) {
  ASSERT_EQ(load_utf8(), 1);
  struct Case {
    std::string cfg;
    int code;
    std::string report;  // the tail of the printed line
  } cases[] = {
      {";\n[conversion]\nfoo = utf8\n", COMN_ENOCONVERTTO,
       "/charsets/koi8/koi8.cfg: Can't not find any `convertto' entry in the Conversion "
       "Configuration File.\n"},
      {";\n[other]\n", COMN_ENOCONVSECT, "Can't not find `conversion' section"},
      {";\n[conversion]\nconvertto = utf8, table, MATCH, 3F\nconvertto = ucs2, table, MATCH, 3F\n"
       "convertto = utf8, table, SOMETIMES, 3F\n",
       COMN_EBADMATCH,
       "/charsets/koi8/koi8.cfg, on line 5, The `convertto' entry has wrong match mode specified "
       "in the Conversion Configuration file.\n"},
      {";\n[conversion]\nconvertto = ucs2, table, MATCH, 3F\n", COMN_ENOUTF8,
       "Conversion to utf8 is not provided! \n"},
      {";\n[conversion]\nconvertto = utf8, table, MATCH, 3\n", COMN_EBADHEX, "bad hexadecimal"},
      {";\n[conversion]\nconvertto = utf8, table, MATCH, 112233445566\n", COMN_EBADHEX, ""},
      {";\n[conversion]\nconvertto = ,\n", COMN_ENOTONAME, ""},
      {";\n[conversion]\nconvertto = nosuch, table\n", COMN_ENOTOID, ""},
      {";\n[conversion]\nconvertto = utf8\n", COMN_ENOMETHOD, ""},
      {";\n[conversion]\nconvertto = utf8, magic\n", COMN_EBADMETHOD, ""},
      {";\n[conversion]\nconvertto = utf8, sys-algorithm\n", COMN_ENOMULT, ""},
      {";\n[conversion]\nconvertto = utf8, sys-algorithm, 0\n", COMN_EBADMULT, ""},
      {";\n[conversion]\nconvertto = utf8, sys-algorithm, 2\n", 0, "on line 3, Failed to load"},
      {";\n[conversion]\nconvertto = cp850, table, MATCH, 3F\n", COMN_ENOCTB,
       "/charsets/koi8/cp850.ctb: This Conversion Table File is not installed! \n"},
  };
  home_.put("charsets/koi8/charset.loc", comn_test_charset1("koi8", com_get_typemap()));
  for (const auto& c : cases) {
    home_.put("charsets/koi8/koi8.cfg", c.cfg);
    home_.put("charsets/koi8/utf8.ctb", ctb_single(iso1_to_utf8(), 2));
    home_.put("charsets/koi8/ucs2.ctb", ctb_single(iso1_to_utf8(), 2));
    testing::internal::CaptureStderr();
    comn_loccache* e = nullptr;
    EXPECT_EQ(load("koi8", &e), c.code) << c.cfg;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.report), std::string::npos) << err;
    EXPECT_EQ(e->chardesc, nullptr);
  }
  EXPECT_EQ(ctx_.intlstate->chardescs, ctx_.intlstate->utf8desc);  // nothing half-made kept
}

TEST_F(CsHome, ReplacementBytesAndUtf8Coverage) {
  ASSERT_EQ(load_utf8(), 1);
  home_.put("charsets/koi8/charset.loc", comn_test_charset1("koi8", com_get_typemap()));
  home_.put("charsets/koi8/utf8.ctb", ctb_single(iso1_to_utf8(), 2));
  struct Case {
    const char* repl;
    int len;
    std::uint8_t b0, b1;
  } cases[] = {{"3F", 1, 0x3F, 0}, {"003F", 2, 0x00, 0x3F}, {"", 0, 0, 0}};
  for (const auto& c : cases) {
    home_.put("charsets/koi8/koi8.cfg",
              std::string(";\n[conversion]\nconvertto = utf8, table, MNEMONIC, \"") + c.repl +
                  "\"\n");
    testing::internal::CaptureStderr();
    comn_loccache* e = nullptr;
    // utf8.cfg names no conversion to koi8: refused after the configuration.
    EXPECT_EQ(load("koi8", &e), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Conversion from utf8 to koi8 is not defined in $MERROW/charsets/utf8/utf8.cfg\n"),
              std::string::npos);
    // Read the configuration alone to see the replacement.
    comn_chardesc d{};
    e->chardesc = &d;
    int line = -1;
    ASSERT_EQ(comn__load_conv_config(&ctx_, e, nullptr, 0, &line), 1) << c.repl;
    EXPECT_EQ(line, 0);
    EXPECT_EQ(d.configs->repllen, c.len);
    EXPECT_EQ(d.configs->repl[0], c.b0);
    EXPECT_EQ(d.configs->repl[1], c.b1);
    comn__convconfig_drop(d.configs);
    e->chardesc = nullptr;
  }
}

TEST_F(CsHome, CharsetImageRules) {
  ASSERT_EQ(load_utf8(), 1);
  home_.put("charsets/utf8/utf8.cfg",
            ";\n[conversion]\nconvertto = koi8, sys-algorithm, 1\n");
  struct Case {
    std::string loc;
    int code;
  } cases[] = {
      {comn_test_charset1("koi8", com_get_typemap(), 1284), 0},
      {comn_test_charset2("koi8", com_get_typemap(), 2), 0},  // type map size disagrees
      {";\n[charset]\nclass = 0x03\n", 0},
      {";\n[charset]\nclass = 0x01\nflavour = 0x01\n", 0},
      {";\n[charset]\nclass = 0x01\n", 0},  // no image
      {";\n[nothing]\n", 0},
  };
  home_.put("charsets/koi8/koi8.cfg", ";\n[conversion]\nconvertto = utf8, sys-algorithm, 1\n");
  for (const auto& c : cases) {
    home_.put("charsets/koi8/charset.loc", c.loc);
    comn_loccache* e = nullptr;
    EXPECT_EQ(load("koi8", &e), c.code) << c.loc.substr(0, 60);
    EXPECT_EQ(e->chardesc, nullptr);
  }
  ::unlink((home_.dir() + "/charsets/koi8/charset.loc").c_str());
  EXPECT_EQ(load("koi8"), COMN_EOPEN);
  EXPECT_EQ(last_path_, home_.dir() + "/charsets/koi8/charset.loc");
}

TEST(ComnCsValue, TruncateAndHex) {
  std::uint8_t len[256];
  for (auto& l : len) l = 1;
  len[0x82] = 2;
  COM_CHARATTRIB a{};
  a.lentab = len;
  const std::uint8_t text[] = {'a', 0x82, 'b', 0x82, 'c'};
  EXPECT_EQ(comnb_truncate_chars(&a, text, 5, 4), 3);
  EXPECT_EQ(comnb_truncate_chars(&a, text, 3, 4), 3);
  EXPECT_EQ(comnb_truncate_chars(&a, text, 5, 0), 0);
  EXPECT_EQ(comnb_truncate_chars(nullptr, text, 5, 4), 4);
  EXPECT_EQ(comn__check_hexadecimal(""), 1);
  EXPECT_EQ(comn__check_hexadecimal("0aF9"), 1);
  EXPECT_EQ(comn__check_hexadecimal("abc"), 0);
  EXPECT_EQ(comn__check_hexadecimal("0g"), 0);
}

}  // namespace
