// For the DB client's fuzz targets whose inputs name hosts (an interfaces
// file, a login redirection): host names are looked up only when numeric,
// so that no input waits on the network's name service.  Defines the C
// library's getaddrinfo for the program; include it in one source only.
#pragma once

#include <dlfcn.h>
#include <netdb.h>

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** res) {
  using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
  struct addrinfo h {};
  if (hints != nullptr) h = *hints;
  h.ai_flags |= AI_NUMERICHOST;
  return real(node, service, &h, res);
}
