// A scratch directory for one test, removed with its files afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vos/error.h"

namespace tbl::testing {

// The message of the VOS error `fn` raises (its code into *code), or
// "(no error)" when it raises none.
inline std::string message_of(auto&& fn, int* code = nullptr) {
  try {
    fn();
  } catch (const vos::Error& e) {
    if (code) *code = e.code();
    return e.message();
  }
  return "(no error)";
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tbcoreXXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) dir_ = buf.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path(name), std::ios::binary);
    out << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string dir_;
};

}  // namespace tbl::testing
