// Support for the end-to-end tests: runs the real quorel binary against the
// stand-in server on a catalogue written for the test, in the installation
// root the tool was built with.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "demo_catalogue.h"
#include "standin/standin.h"

namespace e2e {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with `args` and extra environment settings (an empty value
// unsets the variable).
RunResult run_quorel(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env);

// The installation root the tool was built with (ends in "/").
std::string orvo_root();

// A test installation: catalogue files under the root, throughput tables,
// the catalogue database and a running stand-in server named "ORVO_TEST".
class Installation {
 public:
  // Writes the catalogue and the tables (each file: name -> columns) and
  // starts the server (with an optional misbehaviour script).
  Installation(const std::vector<demo::CatalogueFile>& files,
               const std::map<std::string, std::vector<std::string>>& tables,
               const std::string& script = "");
  ~Installation();

  // Environment naming the server and its MERROW home.
  std::map<std::string, std::string> env() const;
  standin::StandinServer& server() { return *server_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string home_;
  standin::StandinServer* server_ = nullptr;
};

// A FITS output read back with CFITSIO.
struct FitsTable {
  std::vector<std::string> primary_keys;  // keyword names of the primary header, in order
  std::map<std::string, std::string> values;  // keyword values (strings unquoted)
  std::vector<std::string> columns;
  std::vector<int> widths;
  std::vector<std::vector<std::string>> rows;
  int hdus = 0;
};
FitsTable read_fits(const std::string& path);

bool file_exists(const std::string& path);

}  // namespace e2e
