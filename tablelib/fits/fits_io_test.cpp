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

namespace {

// A file in memory as CFITSIO's file, cut for real when CFITSIO cuts it;
// its writes fail while `full` is set.
class MemoryFile final : public Backing {
 public:
  bool full = false;
  explicit MemoryFile(std::string bytes, std::string name = "memory.fits")
      : bytes_(std::move(bytes)), name_(std::move(name)) {}
  const std::string& name() const override { return name_; }
  const std::string& bytes() const { return bytes_; }
  int size(long long& n) override {
    n = static_cast<long long>(bytes_.size());
    return 0;
  }
  int read(long long at, void* buf, long n) override {
    if (at < 0 || n < 0 || at + n > static_cast<long long>(bytes_.size())) return END_OF_FILE;
    bytes_.copy(static_cast<char*>(buf), static_cast<std::size_t>(n), static_cast<std::size_t>(at));
    return 0;
  }
  int write(long long at, const void* buf, long n) override {
    if (at < 0 || n < 0 || full) return WRITE_ERROR;
    const std::size_t end = static_cast<std::size_t>(at + n);
    if (bytes_.size() < end) bytes_.resize(end, '\0');
    bytes_.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(n), static_cast<const char*>(buf),
                   static_cast<std::size_t>(n));
    return 0;
  }
  int truncate(long long n) override {
    if (n >= 0 && n < static_cast<long long>(bytes_.size())) bytes_.resize(static_cast<std::size_t>(n));
    return 0;
  }
  int flush() override { return 0; }

 private:
  std::string bytes_;
  std::string name_;
};

}  // namespace

// When CFITSIO cuts the file (the last HDU deleted), what it writes next
// lands at the new end, where the next HDU starts.
TEST(FitsIo, WritesAfterACutGoWhereTheFileNowEnds) {
  std::string name = temp_name("cut");
  unlink(name.c_str());
  Handle f = nullptr;
  int status = 0, type = 0;
  fsinit(f, name, status);
  fsphpr(f, true, 16, 0, {}, 0, 1, true, status);
  fscrhd(f, status);
  fsphbn(f, 0, {"N"}, {"1J"}, {""}, "OLD", status);
  std::vector<int> n(1000, 5);
  fspclj(f, 1, 1, 1, 1000, n.data(), status);
  fsclos(f, status);
  ASSERT_EQ(status, 0);
  std::string bytes;
  {
    FILE* in = fopen(name.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char buf[4096];
    for (std::size_t k; (k = fread(buf, 1, sizeof buf, in)) > 0;) bytes.append(buf, k);
    fclose(in);
  }

  MemoryFile mem(bytes);
  fsobck(f, &mem, READWRITE, status);
  fsmahd(f, 2, type, status);
  fsdhdu(f, type, status);  // the file is cut to its primary HDU
  fsmahd(f, 1, type, status);
  fsibin(f, 0, {"M"}, {"1E"}, {""}, "NEW", status);
  fsrdef(f, status);
  fsflus(f, status);
  fsclos(f, status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(mem.bytes().size(), 2u * 2880u);
  EXPECT_EQ(mem.bytes().substr(2880, 8), "XTENSION");

  FILE* out = fopen(name.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  fwrite(mem.bytes().data(), 1, mem.bytes().size(), out);
  fclose(out);
  fitsfile* g = nullptr;
  char extname[FLEN_VALUE] = {0};
  ffopen(&g, name.c_str(), READONLY, &status);
  ffmahd(g, 2, &type, &status);
  ffgkys(g, "EXTNAME", extname, nullptr, &status);
  ffclos(g, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(extname), "NEW");
  unlink(name.c_str());
}

// The message tbferr raises, "" when it raises none.
std::string raised_by_tbferr(int status, int* code = nullptr) {
  try {
    tbferr(status);
  } catch (const vos::Error& e) {
    if (code != nullptr) *code = e.code();
    return e.message();
  }
  return "";
}

// CFITSIO names a file on a Backing by the driver's name of it; the errors
// name the file instead.  A failing status with no message still gives one,
// and a failure a Backing hands over is raised as it is.
TEST(FitsIo, ErrorsNameTheFileAndAreNeverEmpty) {
  ftcmsg();
  MemoryFile mem("", "/data/orvo1/full.fits");
  mem.full = true;
  Handle f = nullptr;
  int status = 0;
  fsibck(f, &mem, status);
  fsphpr(f, true, 16, 0, {}, 0, 1, true, status);
  fsflus(f, status);
  EXPECT_NE(status, 0) << "the write fails";
  const std::string written = raised_by_tbferr(status);
  EXPECT_NE(written.find("/data/orvo1/full.fits"), std::string::npos) << written;
  EXPECT_EQ(written.find("tbbacking"), std::string::npos) << written;
  status = 0;
  fsclos(f, status);
  const std::string closed = raised_by_tbferr(status);
  EXPECT_EQ(closed.find("tbbacking"), std::string::npos) << closed;

  ftcmsg();
  EXPECT_NE(raised_by_tbferr(WRITE_ERROR), "");

  int code = 0;
  backing_failed(1204, "Cannot write to file (t.fits): No space left on device");
  ffpmsg("Error writing data buffer to file:");
  EXPECT_EQ(raised_by_tbferr(WRITE_ERROR, &code), "Cannot write to file (t.fits): No space left on device");
  EXPECT_EQ(code, 1204);
  EXPECT_EQ(fsgmsg(), "") << "CFITSIO's messages are dropped";
  backing_failed(1204, "Cannot write to file (t.fits): No space left on device");
  ftcmsg();
  EXPECT_EQ(raised_by_tbferr(WRITE_ERROR).find("t.fits"), std::string::npos) << "ftcmsg drops it";
}
