// Fuzz target: the DB client reading a server's answer to its login.  A
// peer on loopback answers the login message with the input after its
// first byte, as response packets (or raw); the client logs in (following
// redirections and the old-style retry as the answer asks), and when it
// gets a connection sends a command and reads what comes.  The first byte
// chooses raw sending (bit 0), an encrypted password (bit 1) and a packet
// size of 2048 asked for (bit 2).
#include <cstdint>
#include <cstring>

#include "db_fuzzclient.h"
#include "db_fuzzresolver.h"

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
