// Test support: a throw-away installation home holding small localisation
// files, made in a fresh temporary directory and made the home directory
// of the localisation library while it lives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "intllib/intl_loc.h"

class ComnTestHome {
 public:
  ComnTestHome() {
    char tmpl[] = "/tmp/comnhomeXXXXXX";
    const char* d = ::mkdtemp(tmpl);
    dir_ = d != nullptr ? d : "/tmp/comnhome-failed";
    intl_sethome(dir_.c_str());
  }
  ~ComnTestHome() {
    intl_sethome(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ComnTestHome(const ComnTestHome&) = delete;
  ComnTestHome& operator=(const ComnTestHome&) = delete;

  // Writes `text` to home/rel, making its directories.
  void put(const std::string& rel, const std::string& text) const {
    std::filesystem::path p = std::filesystem::path(dir_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};
