// Tests of the built-in converters, the converter table and the UTF-8 and
// UCS-2 coders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comnlib/comn_cs.h"
#include "comnlib/comn_path.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ConvRun {
  int status;
  Bytes out;
  int consumed;
  int produced;
};

ConvRun run(COMN_SYSALGO fn, const Bytes& src, int room) {
  Bytes dst(static_cast<size_t>(room) + 4, 0xEE);
  ConvRun r{};
  r.status = fn(nullptr, src.data(), static_cast<int>(src.size()), dst.data(), room, &r.consumed,
                &r.produced);
  r.out.assign(dst.begin(), dst.begin() + r.produced);
  EXPECT_EQ(dst[static_cast<size_t>(room)], 0xEE) << "wrote past the room";
  return r;
}

TEST(ComnSysAlgo, SingleByteConverters) {
  struct Case {
    COMN_SYSALGO fn;
    Bytes src;
    int room;
    int status;
    Bytes out;
  } cases[] = {
      {comn__iso1_to_cp437, {0x41, 0xA4}, 4, COMN_EREPLACED, {0x41, 0x3F}},
      {comn__iso1_to_cp437, {0xA0, 0xA1, 0xA2, 0xA3}, 4, COMN_OK, {0xFF, 0xAD, 0x9B, 0x9C}},
      {comn__iso1_to_cp437, {0x85}, 4, COMN_EREPLACED, {0x3F}},  // C1 control
      {comn__iso1_to_cp437, {0xB5}, 4, COMN_EREPLACED, {0x3F}},  // listed as unmapped
      {comn__cp437_to_cp850, {0x9B, 0x9C, 0x9D}, 2, COMN_ETRUNCATED, {0xBD, 0x9C}},
      {comn__cp437_to_cp850, {0x9E}, 2, COMN_EREPLACED, {0x3F}},
      {comn__cp437_to_cp850, {0x80, 0x9A}, 2, COMN_OK, {0x80, 0x9A}},  // copied range
      {comn__cp437_to_mac, {0xE4}, 1, COMN_OK, {0xB7}},
      {comn__mac_to_iso1, {0xD0, 0xDB}, 2, COMN_EREPLACED, {0xAD, 0x3F}},
      {comn__iso1_to_mac, {0xAD, 0xE9}, 2, COMN_OK, {0xD0, 0x8E}},
      {comn__cp850_to_mac, {0xF0}, 1, COMN_OK, {0xD0}},
      {comn__mac_to_cp850, {0xC4, 0x80}, 2, COMN_EREPLACED, {0x3F, 0x8E}},
      {comn__roman8_to_cp437, {0xA1}, 1, COMN_EREPLACED, {0x3F}},
      {comn__iso1_to_cp850, {0x41, 0x85}, 1, COMN_ETRUNCATED, {0x41}},
      {comn__iso1_to_cp850, {0x85, 0x41}, 1, COMN_EREPLACED, {0x3F}},  // -117 wins
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    ConvRun r = run(c.fn, c.src, c.room);
    EXPECT_EQ(r.status, c.status) << i;
    EXPECT_EQ(r.out, c.out) << i;
    EXPECT_EQ(r.consumed, r.produced) << i;
  }
}

TEST(ComnSysAlgo, JapaneseConverters) {
  struct Case {
    COMN_SYSALGO fn;
    Bytes src;
    int room;
    int status;
    Bytes out;
    int consumed;
  } cases[] = {
      {comn__eucjis_to_sjis, {0xB0, 0xA1}, 8, COMN_OK, {0x88, 0x9F}, 2},
      {comn__eucjis_to_sjis, {0x8E, 0xB1, 0x41}, 8, COMN_OK, {0xB1, 0x41, 0x00}, 3},
      {comn__eucjis_to_sjis, {0x41, 0xB0}, 8, COMN_OK, {0x41}, 1},  // cut-off pair
      {comn__eucjis_to_sjis, {0xB0, 0x41}, 8, COMN_EREPLACED, {0x3F, 0x3F}, 2},
      {comn__eucjis_to_deckanji, {0x8F, 0xB0, 0xA1, 0xB0, 0xA1}, 8, COMN_EREPLACED,
       {0x3F, 0x3F, 0x3F, 0xB0, 0xA1}, 5},
      {comn__eucjis_to_deckanji, {0x8E, 0xB1}, 8, COMN_EREPLACED, {0x3F, 0x3F}, 2},
      {comn__deckanji_to_eucjis, {0x8E, 0xB0, 0xFF}, 8, COMN_EREPLACED, {0x3F, 0x3F, 0x3F}, 3},
      {comn__deckanji_to_sjis, {0xB0, 0xA1}, 8, COMN_OK, {0x88, 0x9F}, 2},
      {comn__sjis_to_eucjis_deckanji, {0x88, 0x9F}, 8, COMN_OK, {0xB0, 0xA1}, 2},
      {comn__sjis_to_eucjis_deckanji, {0xB1, 0x41}, 8, COMN_OK, {0x8E, 0xB1, 0x41}, 2},
      {comn__sjis_to_eucjis_deckanji, {0x41, 0xB1}, 2, COMN_ETRUNCATED, {0x41}, 1},
      {comn__sjis_to_eucjis_deckanji, {0xF0, 0x40, 0xFD}, 8, COMN_EREPLACED,
       {0x3F, 0x3F, 0x3F}, 3},
      {comn__sjis_to_eucjis_deckanji, {0x88, 0x7F}, 8, COMN_EREPLACED, {0x3F, 0x3F}, 2},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    ConvRun r = run(c.fn, c.src, c.room);
    EXPECT_EQ(r.status, c.status) << i;
    EXPECT_EQ(r.out, c.out) << i;
    EXPECT_EQ(r.consumed, c.consumed) << i;
  }
}

TEST(ComnSysAlgo, Utf8AndUcs2) {
  std::uint16_t code = 0;
  const std::uint8_t overlong[] = {0xC0, 0x80};
  EXPECT_EQ(comn__one_utf8_to_ucs2(overlong, 2, &code), COMN_EBADUTF8);
  const std::uint8_t e_acute[] = {0xC3, 0xA9};
  EXPECT_EQ(comn__one_utf8_to_ucs2(e_acute, 2, &code), 2);
  EXPECT_EQ(code, 0xE9);
  EXPECT_EQ(comn__one_utf8_to_ucs2(e_acute, 1, &code), COMN_EBADUTF8);
  const std::uint8_t badcont[] = {0xE2, 0x28, 0xA1};
  EXPECT_EQ(comn__one_utf8_to_ucs2(badcont, 3, &code), COMN_EBADUTF8);
  // Characters beyond 16 bits have no code (they were cut to another one).
  const std::uint8_t beyond[] = {0xF0, 0x9F, 0x98, 0x80};
  EXPECT_EQ(comn__one_utf8_to_ucs2(beyond, 4, &code), COMN_EBADUTF8);
  const std::uint8_t last16[] = {0xEF, 0xBF, 0xBF};
  EXPECT_EQ(comn__one_utf8_to_ucs2(last16, 3, &code), 3);
  EXPECT_EQ(code, 0xFFFF);
  std::uint8_t out[4];
  int n = 0;
  EXPECT_EQ(comn__one_ucs2_to_utf8(0x20AC, out, 3, &n), COMN_ETRUNCATED);  // one byte spare
  EXPECT_EQ(comn__one_ucs2_to_utf8(0x20AC, out, 4, &n), COMN_OK);
  EXPECT_EQ(Bytes(out, out + n), (Bytes{0xE2, 0x82, 0xAC}));

  ConvRun r = run(comn__utf8_to_ucs2, {0x41, 0xC3, 0xA9, 0xFF, 0xE2, 0x82}, 16);
  EXPECT_EQ(r.status, COMN_EREPLACED);
  EXPECT_EQ(r.out, (Bytes{0x00, 0x41, 0x00, 0xE9, 0x00, 0x3F, 0x00, 0x3F}));
  EXPECT_EQ(r.consumed, 6);
  r = run(comn__utf8_to_ucs2, {0xF0, 0xB2, 0xA4, 0xA2, 0x41}, 16);
  EXPECT_EQ(r.status, COMN_EREPLACED);
  EXPECT_EQ(r.out, (Bytes{0x00, 0x3F, 0x00, 0x41}));
  r = run(comn__utf8_to_ucs2, {0x41, 0x42}, 3);
  EXPECT_EQ(r.status, COMN_ETRUNCATED);
  EXPECT_EQ(r.consumed, 1);
  r = run(comn__ucs2_to_utf8, {0x00, 0x41, 0x20, 0xAC}, 8);
  EXPECT_EQ(r.status, COMN_OK);
  EXPECT_EQ(r.out, (Bytes{0x41, 0xE2, 0x82, 0xAC}));
  r = run(comn__ucs2_to_utf8, {0x00, 0x41, 0x20, 0xAC}, 4);
  EXPECT_EQ(r.status, COMN_ETRUNCATED);
  EXPECT_EQ(r.out, (Bytes{0x41}));
}

TEST(ComnSysAlgo, TableAndHelpers) {
  COMN_CONTEXT ctx{};
  EXPECT_EQ(comn__init_sys_algos_table(&ctx), COMN_ENOID);
  const char* sets[] = {"utf8", "ucs2", "iso_1", "cp850", "cp437", "roman8",
                        "mac",  "eucjis", "sjis", "deckanji"};
  for (const char* s : sets) ASSERT_EQ(comn_globalid_add(&ctx, 0, s, -9, s, -9), 1);
  EXPECT_EQ(comn__init_sys_algos_table(&ctx), 1);
  comn_object *a = nullptr, *b = nullptr;
  comn__lookup_id(&ctx, 0, "sjis", -9, &a);
  comn__lookup_id(&ctx, 0, "deckanji", -9, &b);
  COMN_SYSALGO fn = nullptr;
  EXPECT_EQ(comn__get_sys_algo(&ctx, a, b, &fn), 1);
  EXPECT_EQ(fn, &comn__sjis_to_eucjis_deckanji);
  EXPECT_EQ(comn__get_sys_algo(&ctx, b, b, &fn), 0);
  EXPECT_EQ(fn, nullptr);
  comn_intlstate_free(&ctx);

  struct Cmp {
    const char* a;
    const char* b;
    int want;
  } cmps[] = {{"abc", "abd", -1}, {"ab", "abc", -1}, {"abc", "abc", 0}, {"b", "abc", 1},
              {"\xE9", "e", 1}};
  for (const auto& c : cmps)
    EXPECT_EQ(com_memhilo(c.a, static_cast<int>(strlen(c.a)), c.b, static_cast<int>(strlen(c.b))),
              c.want)
        << c.a << " " << c.b;
  char tid[4] = {1, 1, 1, 1};
  int len = 0;
  EXPECT_EQ(comn_get_default_tid(tid, 3, &len), 0);
  EXPECT_EQ(comn_get_default_tid(tid, 4, &len), 1);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(tid[0] | tid[1] | tid[2] | tid[3], 0);
}

}  // namespace
