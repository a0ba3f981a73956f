// Test fixture of the binary back-end tests: a private directory for the
// tables of one test, helpers to make tables through the core and to look at
// file bytes, and, when the test ends, the independent file checker run over
// every table the test left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/fault.h"
#include "vos/files.h"

namespace bintest {

namespace fs = std::filesystem;
using tbl::Column;
using tbl::Table;

// One column to define: name, type, array length.
struct ColSpec {
  const char* name;
  int dtype;
  int nelem = 1;
};

// Big-endian numbers at a byte offset of a file image.
inline int32_t be32(const std::vector<uint8_t>& b, std::size_t at) {
  return int32_t((uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) |
                 (uint32_t(b.at(at + 2)) << 8) | uint32_t(b.at(at + 3)));
}
inline int16_t be16(const std::vector<uint8_t>& b, std::size_t at) {
  return int16_t((b.at(at) << 8) | b.at(at + 1));
}
inline uint64_t be64(const std::vector<uint8_t>& b, std::size_t at) {
  return (uint64_t(uint32_t(be32(b, at))) << 32) | uint32_t(be32(b, at + 4));
}
// Byte offset of 1-based char `pos`.
inline std::size_t byte_of(long pos) { return std::size_t(pos - 1) * 2; }

// Runs the independent checker on `path`; its exit status.
inline int run_checker(const std::string& path) {
#ifdef QUOREL_PYTHON
  std::string cmd = std::string("\"") + QUOREL_PYTHON + "\" \"" + BIN_CHECKER + "\" \"" + path + "\"";
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 99;
#else
  (void)path;
  return 0;
#endif
}

class BinTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = (fs::temp_directory_path() /
            (std::string("tbbin_") + std::to_string(::getpid()) + "_" + info->name()))
               .string();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    vos::fault::clear();
  }

  void TearDown() override {
    vos::fault::clear();
    for (Table*& tp : open_) {
      try { tbl::tbtclo(tp); } catch (const vos::Error&) {}
    }
    if (!::testing::Test::HasFailure()) {
      EXPECT_EQ(run_checker(dir_), 0) << "the checker rejects a table left in " << dir_;
      fs::remove_all(dir_);
    }
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Prepares and creates a table of `order` (11 or 12) with the columns.
  Table* make(const std::string& name, int order, const std::vector<ColSpec>& cols,
              int allrows = 0) {
    Table* tp = tbl::tbtopn(path(name), tbl::kNewFile, nullptr);
    open_.push_back(tp);
    if (order == tbl::kColOrdered) {
      tbl::tbpset(tp, 5, tbl::kColOrdered);
      if (allrows > 0) tbl::tbpset(tp, 3, allrows);
    }
    for (const auto& c : cols) {
      Column* cp = nullptr;
      tbl::tbcdef1(tp, cp, c.name, "", "", c.dtype, c.nelem);
    }
    tbl::tbtcre(tp);
    return tp;
  }

  // Closes a table made by make() (writing its size record).
  void close(Table* tp) {
    for (Table*& t : open_)
      if (t == tp) tbl::tbtclo(t);
  }

  // Reopens a table read-write.
  Table* reopen(const std::string& name) {
    Table* tp = tbl::tbtopn(path(name), tbl::kReadWrite, nullptr);
    open_.push_back(tp);
    return tp;
  }

  static std::vector<uint8_t> bytes_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<uint8_t> file(const std::string& name) const { return bytes_of(path(name)); }

  // Names in the test directory.
  std::vector<std::string> listing() const {
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::string dir_;
  std::vector<Table*> open_;
};

}  // namespace bintest
