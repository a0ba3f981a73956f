#include "config.h"

#include <cstdlib>

namespace standin {

bool parse_command_line(int argc, char** argv, ServerConfig& cfg, std::string& error) {
  std::string db, dbname = "orvo_ops";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--port") {
      if (!value(v)) return false;
      char* end = nullptr;
      long p = std::strtol(v.c_str(), &end, 10);
      if (*end || p < 0 || p > 65535) {
        error = "bad port " + v;
        return false;
      }
      cfg.port = static_cast<int>(p);
    } else if (a == "--portfile") {
      if (!value(cfg.portfile)) return false;
    } else if (a == "--pidfile") {
      if (!value(cfg.pidfile)) return false;
    } else if (a == "--log") {
      if (!value(cfg.logfile)) return false;
    } else if (a == "--script") {
      if (!value(cfg.script)) return false;
    } else if (a == "--charset") {
      if (!value(cfg.charset)) return false;
    } else if (a == "--name") {
      if (!value(cfg.server_name)) return false;
    } else if (a == "--db") {
      if (!value(db)) return false;
    } else if (a == "--dbname") {
      if (!value(dbname)) return false;
    } else if (a == "--database") {
      if (!value(v)) return false;
      auto eq = v.find('=');
      if (eq == std::string::npos || eq == 0) {
        error = "--database needs NAME=PATH";
        return false;
      }
      cfg.databases[v.substr(0, eq)] = v.substr(eq + 1);
    } else if (a == "--user") {
      if (!value(v)) return false;
      auto colon = v.find(':');
      if (colon == std::string::npos || colon == 0) {
        error = "--user needs NAME:PASSWORD";
        return false;
      }
      cfg.users[v.substr(0, colon)] = v.substr(colon + 1);
    } else {
      error = "unknown argument " + a;
      return false;
    }
  }
  if (!cfg.databases.count(dbname)) cfg.databases[dbname] = db;
  if (!cfg.databases.count("master")) cfg.databases["master"] = db;
  if (cfg.users.empty()) {
    cfg.users["calread"] = "tuvelmark";
    cfg.users["sa"] = "";
  }
  return true;
}

}  // namespace standin
