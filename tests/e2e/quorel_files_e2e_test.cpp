// End to end: the files around the tool: tests leave the shared installation
// root as they found it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "e2e_support.h"

using e2e::Installation;
using e2e::run_quorel;

namespace {

using Files = std::map<std::string, std::string>;

demo::CatalogueFile entry(const std::string& name, const std::string& comp) {
  demo::CatalogueFile f;
  f.file_name = name;
  f.useafter = "1998-06-01 13:30:00.000";
  f.availability = "1998-07-01 09:00:00.000";
  f.comment = "throughput of " + comp;
  f.components = {comp};
  return f;
}

// Two components, each served by its own throughput table.
Installation small_installation() {
  return Installation({entry("a_thr.fits", "zor_alpha"), entry("b_thr.fits", "zor_beta")},
                      {{"a_thr.fits", {"WAVELENGTH", "THROUGHPUT"}},
                       {"b_thr.fits", {"WAVELENGTH", "ZOR_BETA"}}});
}

}  // namespace

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
