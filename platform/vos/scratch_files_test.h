// The file layer's test fixture: a scratch directory a test, removed with
// its files afterwards, and the file layer's open files closed; and the
// same with a file and its journal's name.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace vos_test {

// The whole content of the file at `p` (empty when it cannot be read).
inline std::string slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// n bytes of a pattern that `salt` varies (never a zero byte).
inline std::string pattern(std::size_t n, int salt) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(salt) * 7 + i / 253) % 251 + 1);
  return s;
}

// The host's calls but for a pwrite of the test's own, which the gathered
// writes go through too.
inline vos::osio::Ops host_but_pwrite(ssize_t (*pwrite)(int, const void*, size_t, off_t)) {
  vos::osio::Ops ops = vos::osio::host_ops();
  ops.pwrite = pwrite;
  ops.pwritev = nullptr;
  return ops;
}

// A reader of a file in another program (a child process): it has the
// file open when the constructor returns, and holds it until release()
// or the end of its scope.
class ReaderInAnotherProgram {
 public:
  explicit ReaderInAnotherProgram(const std::string& file) {
    if (::pipe(go_) != 0 || ::pipe(ready_) != 0) ADD_FAILURE() << "pipe";
    child_ = ::fork();
    if (child_ == 0) {
      const int fd = vos::open(file, vos::READ_ONLY, vos::BINARY_FILE);
      char c = 'r';
      (void)!::write(ready_[1], &c, 1);
      (void)!::read(go_[0], &c, 1);
      vos::close(fd);
      ::_exit(0);
    }
    char c;
    if (child_ < 0 || ::read(ready_[0], &c, 1) != 1) ADD_FAILURE() << "the reader did not start";
  }
  ReaderInAnotherProgram(const ReaderInAnotherProgram&) = delete;
  ReaderInAnotherProgram& operator=(const ReaderInAnotherProgram&) = delete;
  ~ReaderInAnotherProgram() {
    release();
    for (int fd : {go_[0], go_[1], ready_[0], ready_[1]}) ::close(fd);
  }
  // Lets the reader close the file and end; returns once it has.
  void release() {
    if (child_ <= 0) return;
    (void)!::write(go_[1], "g", 1);
    int status = 0;
    if (::waitpid(child_, &status, 0) != child_) ADD_FAILURE() << "the reader did not end";
    child_ = -1;
  }

 private:
  int go_[2] = {-1, -1}, ready_[2] = {-1, -1};
  pid_t child_ = -1;
};

class ScratchFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vosfilesXXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    vos::fioclp();
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  // The path of `n` in the scratch directory.
  std::string path(const std::string& n) const { return dir_ + "/" + n; }
  // The code of the file layer's error `f` raises, or 0 when it raises none.
  static int code_of(const std::function<void()>& f) {
    try {
      f();
    } catch (const vos::Error& e) {
      return e.code();
    }
    return 0;
  }
  // The message of the file layer's error `f` raises, "" when it raises none.
  static std::string message_of(const std::function<void()>& f) {
    try {
      f();
    } catch (const vos::Error& e) {
      return e.message();
    }
    return "";
  }
  // Makes the file at `p` hold `bytes`.
  static void put(const std::string& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string dir_;
};

// The file "f.dat" in the scratch directory and the name of its journal;
// the file layer's seam is given back to the host after each test.
class JournalledFile : public ScratchFiles {
 protected:
  void SetUp() override {
    ScratchFiles::SetUp();
    file_ = path("f.dat");
    jpath_ = file_ + "-journal";
  }
  void TearDown() override {
    vos::osio::replace(vos::osio::host_ops());
    ScratchFiles::TearDown();
  }
  std::string file_, jpath_;
};

// The same, with the file's old bytes (five pages) and the new bytes of a
// change over three of them; the change cache is set back after each test.
class OldAndNewFile : public JournalledFile {
 protected:
  void SetUp() override {
    JournalledFile::SetUp();
    old_ = pattern(5 * 4096, 1);
    new_ = old_;
    new_.replace(100, 3 * 4096, pattern(3 * 4096, 2));
  }
  void TearDown() override {
    vos::set_change_cache(0);
    JournalledFile::TearDown();
  }
  // A reader's open and read of the file's first seen.size() bytes into
  // `seen` (cut to what it read): the message of the error it meets, ""
  // when none.
  std::string read_as_reader(std::string& seen) {
    return message_of([&] {
      const int r = vos::open(file_, vos::READ_ONLY, vos::BINARY_FILE);
      const long got = vos::read(r, seen.data(), static_cast<long>(seen.size() / 2));
      vos::close(r);
      seen.resize(got > 0 ? 2 * static_cast<std::size_t>(got) : 0);
    });
  }
  std::string old_, new_;
};

}  // namespace vos_test
