// Fuzz target: the interfaces file.  The input's first line names the
// server to look up; the rest is the file.  Its entries for the server's
// query and master services are read, every text field ends within its
// field, and each address is turned into the transport's address form
// (host names are looked up only when numeric).
#include <cstdint>
#include <cstring>
#include <string>

#include "db_fuzzresolver.h"
#include "dblib/db_internal.h"
#include "fuzz/fuzz_support.h"

namespace {

int quiet(DBPROCESS*, int, int, int, char*, char*) { return INT_CANCEL; }

template <std::size_t N>
void check_field(const char (&field)[N], const char* what) {
  FUZZ_CHECK(std::memchr(field, '\0', N) != nullptr, std::string(what) + " unterminated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::scratch_path("interfaces");
  static const bool started = [] {
    dbsetversion(DBVERSION_50);
    dberrhandle(quiet);
    dbsetifile(path.c_str());
    return true;
  }();
  (void)started;
  std::string server, file;
  fuzz::split_input(data, size, "\n", &server, &file);
  server.resize(std::strlen(server.c_str()));
  FUZZ_CHECK(fuzz::write_file(path, file), "cannot write " + path);
  for (const char* service : {"query", "master"}) {
    iface_entry* list = db__getconnectlist(server.c_str(), service);
    int n = 0;
    for (iface_entry* e = list; e != nullptr && n < 1000; e = e->next, ++n) {
      check_field(e->server, "server");
      check_field(e->service, "service");
      check_field(e->netword, "network word");
      check_field(e->protocol, "protocol");
      check_field(e->host, "host");
      check_field(e->address, "address");
      iface_entry conv = *e;
      db__tcp2tli(conv.host, sizeof conv.host, conv.address, sizeof conv.address);
      check_field(conv.host, "converted host");
      check_field(conv.address, "converted address");
    }
    db__free_iface_list(list);
  }
  return 0;
}
