// End to end: the files around the tool: its output on a full disk, and
// tests that leave the shared installation root as they found it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e_support.h"

using e2e::Installation;
using e2e::run_quorel;
using e2e::put_back;
using e2e::small_installation;
using e2e::timeless;

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// The file-size limits tried for files of at most `largest` bytes: the
// sizes where a full disk has struck the tool's output before (mid-block,
// block boundaries, inside the last block), and one byte short of and at
// each boundary of `block` up to one block past the largest.
std::vector<long> limits_for(long largest, long block) {
  std::set<long> s = {0, 1000, 2880, 5760, 8000, 8615, 8639};
  for (long b = block; b <= largest + block; b += block) s.insert({b - 1, b});
  return {s.begin(), s.end()};
}

// An output of the tool tried on a full disk.
struct Output {
  const char* name;
  bool existing;  // the output is an earlier run's
  bool refused;   // the tool may not write it at all
  long block;
};

const Output kOutputs[] = {{"new.fits", false, false, 2880}, {"old.fits", true, false, 2880},
                           {"new.tab", false, false, 1024},  {"plain", false, false, 1024},
                           {"old.tab", true, true, 0}};

class FullDisk : public ::testing::TestWithParam<Output> {};

}  // namespace

// Whatever the limit, the run either ends with fatal error 15 "Cannot write
// to file" and leaves the directory as it was (an existing output keeps its
// bytes: a FITS file the run appends to, a binary table it may not write
// over), or succeeds with exactly the output of a run without a limit.
TEST_P(FullDisk, LeavesTheOldOutputOrTheWholeNewOne) {
  const Output& o = GetParam();
  Installation inst = small_installation();
  const std::string dir = inst.dir() + "/disk";
  const std::string path = dir + "/" + o.name;
  const std::string refusal = "Cannot write to file (" + path + ")\n";
  put_back(dir, {});
  if (o.existing) {
    ASSERT_EQ(run_quorel({path}, inst.env()).status, 0);
  }
  const Files before = e2e::snapshot(dir);
  auto free_run = run_quorel({path}, inst.env());
  const Files after = timeless(e2e::snapshot(dir));
  if (o.refused) {  // refused before anything is written: no limit changes that
    EXPECT_EQ(free_run.status, 1);
    EXPECT_EQ(free_run.err, refusal);
    EXPECT_TRUE(after == timeless(before)) << "the refused run left changes";
    return;
  }
  ASSERT_EQ(free_run.status, 0) << free_run.err;
  long largest = 0;
  for (const auto& [name, bytes] : after) largest = std::max<long>(largest, bytes.size());

  int failures = 0;
  for (long limit : limits_for(largest, o.block)) {
    put_back(dir, before);
    auto r = run_quorel({path}, inst.env(), limit);
    const Files now = e2e::snapshot(dir);
    if (r.status == 1) {
      ++failures;
      EXPECT_EQ(r.err, refusal) << "at " << limit;
      EXPECT_TRUE(now == before) << "at " << limit << ": the failed run left changes";
    } else {
      EXPECT_EQ(r.status, 0) << "at " << limit << ": " << r.err;
      EXPECT_TRUE(timeless(now) == after)
          << "at " << limit << ": a run that reported nothing left other files";
    }
  }
  EXPECT_GT(failures, 0) << "the limits reach the output";
}

INSTANTIATE_TEST_SUITE_P(QuorelEndToEnd, FullDisk, ::testing::ValuesIn(kOutputs),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

// A test that changes the installation root puts it back: the files it
// found there stay, byte for byte, and nothing of its own stays behind.
TEST(QuorelEndToEnd, TheInstallationRootIsLeftAsItWasFound) {
  e2e::KeptRoot outer;  // this test's own files go again too
  const std::string root = e2e::orvo_root();
  demo::make_dirs(root + "tools/data");
  standin::write_text_file(root + "tools/data/thrucat.dat", "*_mine.fits mine$\n");
  standin::write_text_file(root + "notes.txt", "kept\n");
  const Files found = e2e::snapshot(root);
  {
    Installation inst = small_installation();
    standin::write_text_file(root + "tools/data/thrucat.dat",
                             "*_thr.fits zthru$ " + std::string(600, 'c') + "\n");
    EXPECT_EQ(run_quorel({inst.dir() + "/x.fits"}, inst.env()).status, 1);
  }
  EXPECT_TRUE(e2e::snapshot(root) == found) << "the root was not put back";
}
