// Helpers of the selector tests: scratch files, a sample table in each
// storage, the text of a row set and the message of a raised error.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tablelib/tables.h"
#include "tablelib/tbselector.h"
#include "vos/error.h"

namespace seltest {

// A scratch directory, removed with its files.
class Scratch {
 public:
  Scratch() {
    static int seq = 0;
    dir_ = (std::filesystem::temp_directory_path() /
            ("tbsel_" + std::to_string(getpid()) + "_" + std::to_string(++seq)))
               .string();
    std::filesystem::create_directories(dir_);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }

 private:
  std::string dir_;
};

// The message of the vos::Error that fn raises ("(no error)" if none).
template <class F>
std::string error_of(F&& fn) {
  try {
    fn();
  } catch (const vos::Error& e) {
    return e.message();
  }
  return "(no error)";
}

inline std::string show(tbl::RowSet* s) {
  std::string text;
  tbl::rstshw(s, text, 1023);
  return text;
}

// The sample table: ten rows, one column of each type.
//   id    int     1..10
//   flag  bool    true on even rows
//   s     short   10 x id
//   r     real    id / 2
//   d     double  1.5 x id, undefined on row 4
//   name  text    alpha beta gamma delta "x  y" (row 5, blanks around) omega
//                 "" (row 7) Beta zeta 10
inline const char* kNames[] = {"alpha", "beta", "gamma", "delta", "  x  y ",
                               "omega", "",     "Beta",  "zeta",  "10"};

// Makes the sample table at name with storage type (11, 12, 13, or 14 for a
// name ending in ".fits"); returns the name to open it by.
inline std::string make_sample(const std::string& name, int type) {
  using namespace tbl;
  Table* tp = tbtopn(name, kNewFile, nullptr);
  tbpset(tp, 5, type);
  Column *id, *flag, *s, *r, *d, *nm;
  tbcdef1(tp, id, "id", "", "", kTyInt, 1);
  tbcdef1(tp, flag, "flag", "", "", kTyBool, 1);
  tbcdef1(tp, s, "s", "", "", kTyShort, 1);
  tbcdef1(tp, r, "r", "", "", kTyReal, 1);
  tbcdef1(tp, d, "d", "", "", kTyDouble, 1);
  tbcdef1(tp, nm, "name", "", "", -12, 1);
  tbtcre(tp);
  for (int i = 1; i <= 10; ++i) {
    tbepti(tp, id, i, i);
    tbeptb(tp, flag, i, i % 2 == 0);
    tbepts(tp, s, i, static_cast<short>(10 * i));
    tbeptr(tp, r, i, static_cast<float>(i) / 2.0f);
    tbeptd(tp, d, i, i == 4 ? kIndefD : 1.5 * i);
    tbeptt(tp, nm, i, kNames[i - 1]);
  }
  tbtclo(tp);
  return type == kRowOrdered || type == kColOrdered ? name + ".tab" : name;
}

}  // namespace seltest
