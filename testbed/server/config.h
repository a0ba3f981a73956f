// Command line of the stand-in server.
//
//   standin_server [--port N] [--portfile F] [--pidfile F] [--log F]
//                  [--db PATH] [--dbname NAME] [--database NAME=PATH]...
//                  [--user NAME:PASSWORD]... [--name SERVERNAME] [--script F]
//                  [--charset NAME]
//
// --port       port on 127.0.0.1 to listen on; 0 (the default) picks a free one
// --portfile   file that receives the port number once the server listens
// --pidfile    file that receives the process id
// --log        batch log: one line per event (see batchlog.h)
// --db         SQLite file of the catalogue database (created when missing)
// --dbname     name of that database for "use" (default "orvo_ops"); "master",
//              the database of a new session, opens the same file unless
//              --database master=PATH says otherwise
// --database   further databases by name
// --user       accepted login (repeatable); without any, calread:tuvelmark and sa
//              with an empty password are accepted
// --name       server name put into server messages (default "STANDIN")
// --script     misbehaviour script (see script.h)
// --charset    character set announced at login (default "iso_1"); the
//              client asks sp_serverinfo for the definition of any other
//              (charsets.h lists the sets the server defines)
//
// SIGTERM or SIGINT stops the server cleanly.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace standin {

struct ServerConfig {
  int port = 0;
  std::string portfile;
  std::string pidfile;
  std::string logfile;
  std::string script;
  std::string server_name = "STANDIN";
  std::string charset = "iso_1";
  std::map<std::string, std::string> databases;  // name -> SQLite path ("" = empty in-memory)
  std::map<std::string, std::string> users;      // name -> password
};

// Parses the arguments; false with a message on a bad command line.
bool parse_command_line(int argc, char** argv, ServerConfig& cfg, std::string& error);

}  // namespace standin
