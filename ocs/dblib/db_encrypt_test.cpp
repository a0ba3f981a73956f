// Tests of the password encryption: FEAL-8 against its published test
// vector, padding, determinism and the round trip.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dblib/db_encrypt.h"

namespace {

TEST(Encrypt, Feal8PublishedVector) {
  const unsigned char key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const unsigned char plain[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const unsigned char cipher[8] = {0xCE, 0xEF, 0x2C, 0x86, 0xF2, 0x49, 0x07, 0x52};
  unsigned char sched[32], out[8], back[8];
  com__charbuf_activate(key, sched);
  com__charbuf_initialize(plain, out, sched);
  EXPECT_EQ(std::memcmp(out, cipher, 8), 0);
  com__charbuf_uninitialize(out, back, sched);
  EXPECT_EQ(std::memcmp(back, plain, 8), 0);
}

TEST(Encrypt, PaddingFollowsTheKeysFirstByte) {
  const unsigned char key[8] = {30, 1, 2, 3, 4, 5, 6, 7};
  unsigned char buf[32];
  com__pad("", 0, key, buf);
  for (unsigned char b : buf) EXPECT_EQ(b, 0x5C);
  com__pad("abc", 3, key, buf);
  EXPECT_EQ(buf[30], 'a');
  EXPECT_EQ(buf[31], 'b');
  EXPECT_EQ(buf[0], 'c');
  EXPECT_EQ(buf[1], 0x5C);
}

TEST(Encrypt, DeterministicCutToThirtyAndReversible) {
  const unsigned char key[8] = {9, 8, 7, 6, 5, 4, 3, 2};
  unsigned char a[33], b[33];
  int alen = 0, blen = 0;
  ASSERT_EQ(com__string_initialize(key, 8, "secret", 6, a, &alen), 1);
  ASSERT_EQ(com__string_initialize(key, 8, "secret", 6, b, &blen), 1);
  EXPECT_EQ(alen, 33);
  EXPECT_EQ(std::memcmp(a, b, 33), 0);
  EXPECT_EQ(a[32], 6);
  char pwd[31];
  int plen = 0;
  ASSERT_EQ(com__string_uninitialize(key, 8, a, 33, pwd, &plen), 1);
  EXPECT_STREQ(pwd, "secret");
  std::string longpw(35, 'z');
  ASSERT_EQ(com__string_initialize(key, 8, longpw.c_str(), 35, a, &alen), 1);
  EXPECT_EQ(a[32], 30);
  ASSERT_EQ(com__string_uninitialize(key, 8, a, 33, pwd, &plen), 1);
  EXPECT_EQ(std::string(pwd), std::string(30, 'z'));
  // Another key gives other bytes; a key of another length fails.
  const unsigned char key2[8] = {1, 8, 7, 6, 5, 4, 3, 2};
  ASSERT_EQ(com__string_initialize(key2, 8, "secret", 6, b, &blen), 1);
  EXPECT_NE(std::memcmp(a, b, 32), 0);
  EXPECT_EQ(com__string_initialize(key, 7, "secret", 6, b, &blen), 0);
  EXPECT_EQ(blen, 0);
}

}  // namespace
