// Fuzz target: the DB client reading a server's reply.  A peer on loopback
// answers the login normally, then answers the client's command with the
// input after its first byte, as response packets (or raw, with whatever
// packet headers the input holds).  The client reads every result, column
// description, row, compute row, return value, return status and message
// through the public entry points, converting each value; the first byte
// chooses raw sending (bit 0), row buffering (bit 1), bound columns
// (bit 2), a text limit (bit 3) and cancelling after the first row (bit 4).
#include <cstdint>

#include "db_fuzzclient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  unsigned flags = data[0];
  dbfuzz::Peer& peer = dbfuzz::peer();
  peer.set(dbfuzz::Stage::kReply, flags & 1, data + 1, size - 1, dbfuzz::normal_login());
  LOGINREC* login = dbfuzz::login_record(false, 0);
  DBPROCESS* db = dbopen(login, nullptr);
  dbloginfree(login);
  FUZZ_CHECK(db != nullptr, "the normal login failed");
  dbfuzz::read_everything(db, flags);
  dbclose(db);
  fuzz::trace(dbfuzz::seen_and_cleared());
  dbfuzz::check_descriptors();
  return 0;
}
