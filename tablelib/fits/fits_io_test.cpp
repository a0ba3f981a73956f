// The CFITSIO interface layer: status reporting and string bounds.
#include "fits_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "vos/error.h"

using namespace tbfio;

namespace {

std::string temp_name(const char* tag) {
  return "/tmp/tbfio_" + std::to_string(getpid()) + "_" + tag + ".fits";
}

}  // namespace

TEST(FitsIo, ErrorCarriesTheWholeMessageStack) {
  ftcmsg();
  ffpmsg("first");
  ffpmsg("second");
  ffpmsg("third");
  try {
    tbferr(202);
    FAIL() << "no error raised";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 202);
    EXPECT_EQ(e.message(), "first second third");
  }
  EXPECT_EQ(fsgmsg(), "");
  EXPECT_NO_THROW(tbferr(0));
}

TEST(FitsIo, KeywordsAndMissingKeywords) {
  std::string name = temp_name("kw");
  unlink(name.c_str());
  Handle f = nullptr;
  int status = 0;
  fsinit(f, name, status);
  fsphpr(f, true, 16, 0, {}, 0, 1, true, status);
  fspkys(f, "LONGVAL", std::string(100, 'v'), std::string(100, 'c'), status);
  ASSERT_EQ(status, 0);
  std::string value = "keep", comment = "keep";
  fsgkys(f, "NOSUCH", value, comment, status);
  EXPECT_EQ(status, 202);
  EXPECT_EQ(value, "keep");
  EXPECT_EQ(comment, "keep");
  status = 0;
  ftcmsg();
  fsgkys(f, "LONGVAL", value, comment, status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(value, std::string(68, 'v'));  // a whole card holds no more
  std::string card;
  fsgrec(f, 1, card, status);
  EXPECT_EQ(card.substr(0, 6), "SIMPLE");
  fsclos(f, status);
  EXPECT_EQ(status, 0);
  unlink(name.c_str());
}

TEST(FitsIo, StringElementsAreCutToTheCallersWidth) {
  std::string name = temp_name("col");
  unlink(name.c_str());
  Handle f = nullptr;
  int status = 0;
  fsinit(f, name, status);
  fsphpr(f, true, 16, 0, {}, 0, 1, true, status);
  fscrhd(f, status);
  fsphbn(f, 0, {"NAME"}, {"20A"}, {""}, "T", status);
  std::string v[1] = {"abcdefghijklmnopqrst"};
  fspcls(f, 1, 1, 1, 1, 20, v, status);
  std::vector<std::string> out;
  fsgcvs(f, 1, 1, 1, 1, 5, "", out, status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "abcde");
  fsgcvs(f, 1, 1, 1, 1, 40, "", out, status);
  EXPECT_EQ(out[0], "abcdefghijklmnopqrst");
  fsclos(f, status);
  unlink(name.c_str());
}
