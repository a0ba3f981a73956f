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
// unsets the variable).  With a file-size limit (bytes, not negative) the
// tool runs with SIGXFSZ ignored and may grow no file past the limit; its
// standard output then goes nowhere.
// In a child process: sets the environment as run_quorel does and becomes
// the tool, run with `args` (exit 127 when it cannot).
[[noreturn]] void exec_quorel(const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env);

RunResult run_quorel(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, long file_size_limit = -1);

// Every regular file under `dir` (path relative to it -> bytes); empty when
// `dir` does not exist.
std::map<std::string, std::string> snapshot(const std::string& dir);

// Keeps the installation root as it is now and puts it back, byte for
// byte, when it goes out of scope; a root that did not exist is removed.
class KeptRoot {
 public:
  KeptRoot();
  ~KeptRoot();
  KeptRoot(const KeptRoot&) = delete;
  KeptRoot& operator=(const KeptRoot&) = delete;

 private:
  std::string copy_;  // a copy of the root, "" when there was none
};

// The installation root the tool was built with (ends in "/").
std::string orvo_root();

// A test installation: catalogue files under the root, throughput tables,
// the catalogue database and a running stand-in server named "ORVO_TEST".
// The root is put back as it was when the installation goes, whatever the
// test wrote there meanwhile.
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
  KeptRoot root_;
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

// Two components, each served by its own throughput table.
Installation small_installation();

// The files with the run's own time ("Created on ...") blotted out, so that
// runs at different times compare equal.
std::map<std::string, std::string> timeless(std::map<std::string, std::string> files);

// Makes `dir` hold exactly `files` (name -> bytes).
void put_back(const std::string& dir, const std::map<std::string, std::string>& files);

}  // namespace e2e
