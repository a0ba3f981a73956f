// Test support for the stand-in database server: start it on a free port
// of 127.0.0.1 in a private temporary directory, write interfaces files
// and a MERROW home naming it, read what it logged, and stop it by its
// process id.  Used by the DB client, access-layer and end-to-end tests.
//
//   standin::ServerOptions o;
//   o.db_path = my_sqlite_file;              // filled by the test beforehand
//   standin::StandinServer srv(o);          // throws std::runtime_error
//   std::string home = srv.make_home("MYSERVER");  // locales + interfaces
//   setenv("MERROW", home.c_str(), 1);
//   ... connect to "MYSERVER" ...
//   auto texts = srv.batches();             // every language batch received
//
// The server is stopped (SIGTERM, then SIGKILL after 10 s) and its
// directory removed when the object is destroyed.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace standin {

struct ServerOptions {
  std::string db_path;                // SQLite file of the catalogue; empty = empty in-memory db
  std::string db_name = "orvo_ops";   // its name for "use"
  // Accepted logins; empty = the server's defaults (calread/tuvelmark, sa/"").
  std::vector<std::pair<std::string, std::string>> users;
  std::string script;                 // misbehaviour script text (see testbed/server/script.h)
  std::string server_name;            // name in server messages; empty = "STANDIN"
  std::vector<std::string> extra_args;
};

// One line of the server's log (see testbed/server/batchlog.h).
struct LogLine {
  long session = 0;
  std::string event;
  std::string detail;  // unescaped
};

class StandinServer {
 public:
  explicit StandinServer(const ServerOptions& opts = {});
  ~StandinServer();
  StandinServer(const StandinServer&) = delete;
  StandinServer& operator=(const StandinServer&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // The server's private directory (log, port file, script, homes, and
  // server.out with the server's own output).
  const std::string& dir() const { return dir_; }
  std::string log_path() const { return dir_ + "/batches.log"; }

  std::vector<LogLine> log() const;
  // Texts of the language batches received, in order (all sessions).
  std::vector<std::string> batches() const;

  // Writes an interfaces file naming this server under `server_name`
  // (retries and delay are written when not negative).
  void write_interfaces(const std::string& path, const std::string& server_name, int retries = -1,
                        int delay = -1) const;
  // Makes a MERROW home under dir(): a copy of the fixture tree
  // (testbed/home: the locale files) with an interfaces file naming this
  // server.  Returns its path.
  std::string make_home(const std::string& server_name, int retries = -1, int delay = -1) const;

  // Stops the server (idempotent).  Returns its exit status (0 after a
  // clean stop), or -1 when it had to be killed.
  int stop();

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  int status_ = 0;
};

// The lines of an interfaces file for one server at 127.0.0.1.
std::string interfaces_entry(const std::string& server_name, int port, int retries = -1, int delay = -1);
// A port of 127.0.0.1 on which nothing listens (picked by the system and
// released again), for tests of refused connections.
int free_port();
// Writes text to a file (throws std::runtime_error on failure).
void write_text_file(const std::string& path, const std::string& text);
// The fixture tree in the source directory (testbed/home).
std::string fixture_home_dir();
// The server executable (the STANDIN_SERVER environment variable overrides).
std::string server_executable();
// A new private directory under $TMPDIR (or /tmp); removed with remove_tree.
std::string make_temp_dir(const std::string& prefix);
void remove_tree(const std::string& path);
// Reads a log file of the server.
std::vector<LogLine> read_log(const std::string& path);

}  // namespace standin
