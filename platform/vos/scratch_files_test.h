// The file layer's test fixture: a scratch directory a test, removed with
// its files afterwards, and the file layer's open files closed; and the
// same with a file and its journal's name.
#pragma once

#include <gtest/gtest.h>
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

}  // namespace vos_test
