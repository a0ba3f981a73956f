// Fuzz target: the DB client reading a server's answer to its login.  A
// peer on loopback answers the login message with the input after its
// first byte, as response packets (or raw); the client logs in (following
// redirections and the old-style retry as the answer asks), and when it
// gets a connection sends a command and reads what comes.  The first byte
// chooses raw sending (bit 0), an encrypted password (bit 1) and a packet
// size of 2048 asked for (bit 2).
#include <dlfcn.h>
#include <netdb.h>

#include <cstdint>
#include <cstring>

#include "db_fuzzclient.h"

// Host names come from the answer (a redirection names one): only numeric
// addresses are looked up, so that no input waits on the network's name
// service.
extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** res) {
  using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
  struct addrinfo h {};
  if (hints != nullptr) h = *hints;
  h.ai_flags |= AI_NUMERICHOST;
  return real(node, service, &h, res);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  unsigned flags = data[0];
  dbfuzz::Peer& peer = dbfuzz::peer();
  peer.set(dbfuzz::Stage::kLogin, flags & 1, data + 1, size - 1, dbfuzz::normal_login());
  LOGINREC* login = dbfuzz::login_record(flags & 2, flags & 4 ? 2048 : 0);
  DBPROCESS* db = dbopen(login, nullptr);
  dbloginfree(login);
  std::string what = db != nullptr ? "logged in" : "login failed";
  if (db != nullptr) {
    dbfuzz::read_everything(db, 0);
    dbclose(db);
  }
  fuzz::trace(what + dbfuzz::seen_and_cleared());
  dbfuzz::check_descriptors();
  return 0;
}
