// Test support: a throw-away installation home holding small localisation
// files, made in a fresh temporary directory and made the home directory
// of the localisation library while it lives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstdint>
#include <string>
#include <vector>

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

// Hexadecimal text of bytes, split into "definition" entries of at most
// 200 digits.
inline std::string comn_test_definitions(const std::vector<std::uint8_t>& image) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < image.size(); i += 100) {
    out += "definition = ";
    for (size_t k = i; k < image.size() && k < i + 100; ++k) {
      out += hex[image[k] >> 4];
      out += hex[image[k] & 15];
    }
    out += "\n";
  }
  return out;
}

// Big-endian bytes of v, as a 0x value.
inline std::string comn_test_hexval(std::uint32_t v, int bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "0x";
  for (int i = bytes - 1; i >= 0; --i) {
    out += hex[(v >> (8 * i + 4)) & 15];
    out += hex[(v >> (8 * i)) & 15];
  }
  return out;
}

// A charset.loc of class 1 with the given type map (1,028 bytes) and
// fourth table (257 bytes); image_size may be overridden.
inline std::string comn_test_charset1(const std::string& name, const std::uint8_t* typemap,
                                      std::uint32_t imagesize = 1285) {
  std::vector<std::uint8_t> image(typemap, typemap + 1024);
  image.resize(1285, 0);
  for (int i = 0; i < 257; ++i) image[1028 + i] = static_cast<std::uint8_t>(i);
  return ";\n[charset]\nclass = 0x01\nname = " + name +
         "\ndescription = \"a single-byte set\"\nid = 0x01\nstatus = 0x0000\nimage_size = " +
         comn_test_hexval(imagesize, 4) + "\n" + comn_test_definitions(image);
}

// A charset.loc of class 2 whose characters are all one byte long (a
// length table of 0x11, unless one is given), one type-map block and one
// fourth-table block.
inline std::string comn_test_charset2(const std::string& name, const std::uint8_t* typemap,
                                      std::uint8_t typeblocks = 1,
                                      const std::uint8_t* lentab = nullptr) {
  std::vector<std::uint8_t> hdr(44, 0);
  hdr[2] = 2;
  hdr[3] = 1;
  hdr[4] = 1;
  hdr[5] = typeblocks;
  hdr[7] = 1;
  auto put = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) hdr[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put(16, 256);
  put(24, 0);
  put(32, 1024);
  put(40, 256);
  std::vector<std::uint8_t> image = hdr;
  for (int i = 0; i < 256; ++i) image.push_back(lentab != nullptr ? lentab[i] : 0x11);
  image.insert(image.end(), typemap, typemap + 1024);
  for (int i = 0; i < 256; ++i) image.push_back(static_cast<std::uint8_t>(i));
  return ";\n[charset]\nclass = 0x02\nname = " + name + "\nid = 0x02\nstatus = 0x0102\nimage_size = " +
         comn_test_hexval(static_cast<std::uint32_t>(image.size()), 4) + "\n" +
         comn_test_definitions(image);
}
