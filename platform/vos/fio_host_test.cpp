// Host files through their window buffer: scattered transfers against a
// model of the file, what other readers see, and failed write-backs.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <random>
#include <string>

#include "scratch_files_test.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

using vos_test::slurp;
using HostFiles = vos_test::ScratchFiles;

// A binary file as the file layer should show it: bytes, and a position.
struct Model {
  std::string bytes;
  std::size_t pos = 0;
  void write(const std::string& s) {
    if (pos > bytes.size()) bytes.resize(pos, '\0');  // a gap reads as zeros
    bytes.replace(pos, std::min(s.size(), bytes.size() - pos), s);
    pos += s.size();
  }
  std::string read(std::size_t n) {
    std::string s = pos < bytes.size() ? bytes.substr(pos, n) : std::string();
    pos += s.size();
    return s;
  }
};

// Runs `steps` random seeks, writes, reads and flushes on `fd` and `m`;
// writes and reads are small, larger than the window now and then, and the
// seeks reach past the end.
void random_steps(int fd, Model& m, std::mt19937& rng, int steps, const std::string& p) {
  auto pick = [&](std::size_t lo, std::size_t hi) {
    return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
  };
  for (int i = 0; i < steps; ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const std::size_t units = pick(0, 9) == 0 ? pick(33000, 70000) : pick(1, 60);
    switch (pick(0, 9)) {
      case 0: case 1: case 2: {  // seek anywhere up to a little past the end
        const std::size_t unit = pick(0, m.bytes.size() / 2 + 40000);
        vos::seek(fd, static_cast<long>(unit) + 1);
        m.pos = unit * 2;
        break;
      }
      case 3: case 4: case 5: {
        std::string s(units * 2, '\0');
        for (char& c : s) c = static_cast<char>(pick(1, 255));
        vos::write(fd, s.data(), static_cast<long>(units));
        m.write(s);
        break;
      }
      case 6: case 7: case 8: {
        std::string got(units * 2, '\0');
        const std::string want = m.read(units * 2);
        const long n = vos::read(fd, got.data(), static_cast<long>(units));
        ASSERT_EQ(n, want.empty() ? vos::EOF_ : static_cast<long>(want.size() / 2));
        ASSERT_EQ(got.substr(0, want.size()), want);
        break;
      }
      default:
        vos::flush(fd);
        ASSERT_EQ(slurp(p), m.bytes);
        break;
    }
    ASSERT_EQ(vos::note(fd), static_cast<long>(m.pos / 2) + 1);
    ASSERT_EQ(vos::fstati(fd, vos::F_FILESIZE), static_cast<long>(m.bytes.size() / 2));
  }
}

TEST_F(HostFiles, ScatteredTransfersMatchAModelOfTheFile) {
  const std::string p = path("r.dat");
  std::mt19937 rng(1234);
  Model m;
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  random_steps(fd, m, rng, 400, p);
  vos::close(fd);
  EXPECT_EQ(slurp(p), m.bytes);

  // Again on the existing file: windows now start over bytes already there.
  fd = vos::open(p, vos::READ_WRITE, vos::BINARY_FILE);
  m.pos = 0;
  random_steps(fd, m, rng, 400, p);
  vos::seek(fd, vos::EOF_);
  EXPECT_EQ(vos::note(fd), static_cast<long>(m.bytes.size() / 2) + 1);
  vos::close(fd);
  EXPECT_EQ(slurp(p), m.bytes);
}

// Writes that go in turn to a few distant regions (the column blocks of a
// table) are kept in a window each and written back in large transfers;
// the bytes between them read as zeros before and after a flush.
long g_pwrites = 0;
ssize_t counting_pwrite(int fd, const void* buf, size_t n, off_t at) {
  ++g_pwrites;
  return vos::osio::host_ops().pwrite(fd, buf, n, at);
}

TEST_F(HostFiles, WritesInTurnToDistantRegionsAreWrittenBackInLargeTransfers) {
  const std::string p = path("regions.dat");
  Model m;
  vos::osio::Ops ops = vos::osio::host_ops();
  ops.pwrite = counting_pwrite;
  const vos::osio::Ops old = vos::osio::replace(ops);
  g_pwrites = 0;
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  const int kRegions = 5, kSteps = 6000;
  for (int i = 0; i < kSteps; ++i) {
    const std::size_t unit = std::size_t(i % kRegions) * 400000 + std::size_t(i / kRegions) * 3;
    std::string s(6, static_cast<char>('a' + i % 26));
    vos::seek(fd, static_cast<long>(unit) + 1);
    m.pos = unit * 2;
    vos::write(fd, s.data(), 3);
    m.write(s);
  }
  // A read between two regions, before any is written back.
  std::string got(8, 'x');
  ASSERT_EQ(vos::read_at(fd, 300000, got.data(), 4), 4);
  EXPECT_EQ(got, std::string(8, '\0'));
  vos::close(fd);
  vos::osio::replace(old);
  EXPECT_EQ(slurp(p), m.bytes);
  EXPECT_LT(g_pwrites, kSteps / 50) << "cells were written back one at a time";
}

TEST_F(HostFiles, TextLinesAcrossWindowsAndAppends) {
  const std::string p = path("t.txt");
  std::string all;
  int fd = vos::open(p, vos::NEW_FILE, vos::TEXT_FILE);
  for (int i = 0; i < 6000; ++i) {
    const std::string line = "line " + std::to_string(i) + std::string(i % 37, '.') + "\n";
    vos::putline(fd, line);
    all += line;
  }
  vos::close(fd);
  fd = vos::open(p, vos::APPEND, vos::TEXT_FILE);
  vos::seek(fd, vos::BOF);  // appending writes at the end wherever the position is
  vos::putline(fd, "appended\n");
  all += "appended\n";
  vos::close(fd);
  ASSERT_EQ(slurp(p), all);

  fd = vos::open(p, vos::READ_ONLY, vos::TEXT_FILE);
  std::string line, back;
  while (vos::getline(fd, line) != vos::EOF_) back += line;
  vos::close(fd);
  EXPECT_EQ(back, all);
}

TEST_F(HostFiles, OtherDescriptorsSeeWritesAfterAFlush) {
  const std::string p = path("s.dat");
  int w = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  int r = vos::open(p, vos::READ_ONLY, vos::BINARY_FILE);
  char buf[8] = {};
  EXPECT_EQ(vos::read(r, buf, 2), vos::EOF_);
  vos::write(w, "abcd", 2);
  vos::flush(w);
  EXPECT_EQ(slurp(p), "abcd");
  EXPECT_EQ(vos::read(r, buf, 2), 2);  // the reader was at the end before
  EXPECT_EQ(std::string(buf, 4), "abcd");
  vos::write(w, "ef", 1);
  vos::close(w);
  EXPECT_EQ(vos::fstati(r, vos::F_FILESIZE), 3);
  vos::close(r);
}

TEST_F(HostFiles, FailedWriteBackIsReportedByTheFlushOrCloseThatMeetsIt) {
  ASSERT_EQ(::access("/dev/full", W_OK), 0) << "the test needs the full device /dev/full";
  const std::string failure = "Cannot write to file (/dev/full): No space left on device";
  // Small writes wait in the window: the flush meets the full device, and
  // every write, flush and the close after it fail with the same error, as
  // the bytes are lost.
  int fd = vos::open("/dev/full", vos::WRITE_ONLY, vos::BINARY_FILE);
  vos::write(fd, "abcd", 2);
  EXPECT_FALSE(vos::write_failed(fd));
  EXPECT_EQ(code_of([&] { vos::flush(fd); }), vos::SYS_FWRITE);
  EXPECT_TRUE(vos::write_failed(fd));
  EXPECT_EQ(vos::write_failure(fd), failure);
  EXPECT_EQ(message_of([&] { vos::write(fd, "ef", 1); }), failure) << "a write after it";
  EXPECT_EQ(message_of([&] { vos::flush(fd); }), failure) << "a flush after it";
  try {
    vos::close(fd);
    ADD_FAILURE() << "close after a failed write-back succeeded";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), vos::SYS_FWRITE);
    EXPECT_EQ(e.message(), failure);
  }
  EXPECT_FALSE(vos::is_open(fd));

  fd = vos::open("/dev/full", vos::WRITE_ONLY, vos::BINARY_FILE);
  vos::write(fd, "abcd", 2);
  EXPECT_EQ(code_of([&] { vos::close(fd); }), vos::SYS_FWRITE);

  // A write larger than the window goes straight out and fails at once.
  fd = vos::open("/dev/full", vos::WRITE_ONLY, vos::BINARY_FILE);
  const std::string big(200000, 'x');
  try {
    vos::write(fd, big.data(), static_cast<long>(big.size() / 2));
    ADD_FAILURE() << "a large write to a full device succeeded";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), failure);
  }
  EXPECT_TRUE(vos::write_failed(fd));
  EXPECT_EQ(code_of([&] { vos::close(fd); }), vos::SYS_FWRITE);
}

// Writes to any file fail with EIO.
vos::osio::Ops failing_writes() {
  return vos_test::host_but_pwrite([](int, const void*, size_t, off_t) -> ssize_t {
    errno = EIO;
    return -1;
  });
}

// Host calls that do no work: a write-back of bytes the system writes
// none of (saying no error), a cut that fails, and write-backs that fail
// of a window put aside.  The call that meets one fails, and so does
// every call after it (the file is not cut).
TEST_F(HostFiles, HostCallsThatDoNothingFailTheCallThatMeetsThem) {
  const std::string p = path("plain.dat");
  std::ofstream(p, std::ios::binary) << "0123456789";
  const struct Case {
    const char* what;
    vos::osio::Ops ops;
    std::function<void(int)> call;
    std::string says;
  } cases[] = {
      {"a write of no bytes",
       vos_test::host_but_pwrite([](int, const void*, size_t, off_t) -> ssize_t { return 0; }),
       [](int fd) {
         vos::write(fd, "abcd", 2);
         vos::flush(fd);
       },
       "Cannot write to file (" + p + "): the system wrote nothing"},
      {"a cut that fails",
       [] {
         vos::osio::Ops o = vos::osio::host_ops();
         o.ftruncate = [](int, off_t) {
           errno = EIO;
           return -1;
         };
         return o;
       }(),
       [](int fd) { vos::truncate_open(fd, 4); },
       "Cannot write to file (" + p + "): Input/output error"},
      // The window of the first write is put aside by the read far off,
      // and written back before the large read, or before the write into
      // the window it overlaps.
      {"a write-back of a window put aside, before a large read", failing_writes(),
       [](int fd) {
         vos::write(fd, "abcd", 2);
         std::string got(200000, '\0');
         vos::read_at(fd, 100001, got.data(), 2);
         vos::read_at(fd, 1, got.data(), static_cast<long>(got.size() / 2));
       },
       "Cannot write to file (" + p + "): Input/output error"},
      {"a write-back of a window put aside, before a read short of it", failing_writes(),
       [](int fd) {
         vos::write_at(fd, 50001, "abcd", 2);  // past the file's end
         char got[4];
         vos::read_at(fd, 6, got, 2);  // bytes 10..13: the file ends before
       },
       "Cannot write to file (" + p + "): Input/output error"},
      {"a write-back of a window put aside, before a write it overlaps", failing_writes(),
       [](int fd) {
         vos::write_at(fd, 50001, "abcd", 2);   // a window from byte 100000
         vos::write_at(fd, 150001, "efgh", 2);  // puts it aside
         vos::write_at(fd, 49996, "ijkl", 2);   // bytes 99990..99993, before it
       },
       "Cannot write to file (" + p + "): Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = vos::open(p, vos::READ_WRITE, vos::BINARY_FILE);
    vos::osio::replace(c.ops);
    const std::string why = message_of([&] { c.call(fd); });
    vos::osio::replace(vos::osio::host_ops());
    EXPECT_EQ(why, c.says);
    EXPECT_NE(code_of([&] { vos::truncate_open(fd, 2); }), 0) << "a cut after the failure";
    EXPECT_NE(code_of([&] { vos::close(fd); }), 0);
    EXPECT_EQ(slurp(p).substr(0, 10), "0123456789") << "the file was cut";
  }
}

// The size of a file another descriptor makes longer, by one byte too.
TEST_F(HostFiles, TheSizeFollowsOtherDescriptors) {
  const std::string p = path("grows.dat");
  std::ofstream(p, std::ios::binary) << "0123456789";
  const int fd = vos::open(p, vos::READ_ONLY, vos::BINARY_FILE);
  EXPECT_EQ(vos::fstati(fd, vos::F_FILESIZE), 5);
  std::ofstream(p, std::ios::binary | std::ios::app) << "a";
  EXPECT_EQ(vos::fstati(fd, vos::F_FILESIZE), 6);
  vos::close(fd);
}

TEST_F(HostFiles, FilesLeftOpenAtExitKeepTheirData) {
  const std::string p = path("e.txt");
  EXPECT_EXIT(
      {
        int fd = vos::open(p, vos::NEW_FILE, vos::TEXT_FILE);
        vos::putline(fd, "kept\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(slurp(p), "kept\n");
}

}  // namespace
