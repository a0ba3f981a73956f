// make_demo: writes a demo installation of the tool.
//
//   make_demo ROOT DB [COMPONENTS]
//
// ROOT is the installation's data root (ending in "/"): the catalogue files
// go to ROOT/tools/data/, the throughput tables to ROOT/tables/thru/.  DB is
// the SQLite catalogue database the stand-in server serves.  COMPONENTS
// (default 36) is the number of instrument components.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "demo_catalogue.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: make_demo ROOT DB [COMPONENTS]\n");
    return 2;
  }
  std::string root = argv[1];
  if (root.empty() || root.back() != '/') root += '/';
  int n = argc == 4 ? std::atoi(argv[3]) : 36;
  if (n < 1) {
    std::fprintf(stderr, "make_demo: COMPONENTS must be at least 1\n");
    return 2;
  }
  try {
    auto files = demo::make_demo(root, argv[2], n);
    std::printf("make_demo: %d components, %zu catalogue rows in %s, tables under %stables/thru/\n",
                n, files.size(), argv[2], root.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
