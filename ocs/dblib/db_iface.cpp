// The interfaces file (server name -> addresses) and the connection rounds
// over a server's addresses.
//
// File syntax: a server line starts in the first column with the server's
// name, optionally followed by a retry count and a delay in seconds; the
// server's entry lines follow, each starting with a blank or tab and
// holding five words: service, network word, protocol, host, address.
#include <pwd.h>
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"
#include "platform/clock.h"

namespace {

// Reads one whole line (without its newline); false at end of file.
bool read_line(FILE* f, std::string* line) {
  line->clear();
  char chunk[128];
  bool any = false;
  while (std::fgets(chunk, sizeof chunk, f)) {
    any = true;
    std::size_t n = std::strlen(chunk);
    if (n > 0 && chunk[n - 1] == '\n') {
      line->append(chunk, n - 1);
      return true;
    }
    line->append(chunk, n);
  }
  return any;
}

// Splits a line into words separated by blanks and tabs.
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// Copies a word into a field of `size` bytes; false when it does not fit.
bool put_word(char* field, std::size_t size, const std::string& w) {
  if (w.size() >= size) {
    std::memcpy(field, w.data(), size - 1);
    field[size - 1] = '\0';
    return false;
  }
  std::memcpy(field, w.c_str(), w.size() + 1);
  return true;
}

// Builds the interfaces file path when none is set; false without a home.
bool build_path() {
  if (Db__GlobalRec.ifile[0]) return true;
  std::string home;
  if (char* env = dbgetenv("MERROW")) {
    home = env;
    dbfree_env(env);
  } else {
    passwd* pw = ::getpwnam("merrow");
    if (!pw || !pw->pw_dir) return false;
    home = pw->pw_dir;
  }
  std::string path = home + "/interfaces";
  if (path.size() >= sizeof Db__GlobalRec.ifile) return false;
  std::memcpy(Db__GlobalRec.ifile, path.c_str(), path.size() + 1);
  return true;
}

// Parses a retry count or delay word; `missing` when absent or not a number.
int number_or(const std::vector<std::string>& w, std::size_t i, int missing, int negative) {
  if (i >= w.size()) return missing;
  char* end = nullptr;
  long v = std::strtol(w[i].c_str(), &end, 10);
  if (end == w[i].c_str()) return missing;
  if (v < 0) return negative;
  return v > 1000000 ? 1000000 : static_cast<int>(v);
}

// Opens the file and places the stream after the server line.
FILE* db__find_interface(iface_entry* entry) {
  if (Db__GlobalRec.ifstream) {
    FILE* old = Db__GlobalRec.ifstream;
    Db__GlobalRec.ifstream = nullptr;
    if (std::fclose(old) != 0) {
      db__raise(nullptr, 20292, 3, errno);
      return nullptr;
    }
  }
  if (!build_path()) {
    db__raise(nullptr, 20015, 3);
    return nullptr;
  }
  FILE* f = std::fopen(Db__GlobalRec.ifile, "r");
  if (!f) {
    db__raise(nullptr, 20015, 3, errno);
    return nullptr;
  }
  Db__GlobalRec.ifstream = f;
  std::string line;
  while (read_line(f, &line)) {
    if (line.empty() || line[0] == '#' || line[0] == ' ' || line[0] == '\t' || line[0] == '\r')
      continue;
    std::vector<std::string> w = words(line);
    if (w.empty() || w[0] != entry->server) continue;
    entry->retries = number_or(w, 1, 0, 0);
    entry->delay = number_or(w, 2, 1, 0);
    return f;
  }
  db__raise(nullptr, 20012, 2);
  return nullptr;
}

// Reads the next entry line: 1 with the words filled, 0 at the end of the
// block or after an error (raised).  `usable` is false for an entry whose
// words do not fit their fields.
int db__read_interface(iface_entry* e, FILE* f, bool* usable) {
  long pos = std::ftell(f);
  std::string line;
  if (!read_line(f, &line)) return 0;
  if (line.empty() || (line[0] != ' ' && line[0] != '\t')) {
    std::fseek(f, pos, SEEK_SET);
    return 0;
  }
  std::vector<std::string> w = words(line);
  if (w.size() < 5) {
    db__raise(nullptr, 20016, 2);
    return 0;
  }
  bool ok = put_word(e->service, sizeof e->service, w[0]) && w[0].size() < sizeof e->service;
  ok = put_word(e->netword, sizeof e->netword, w[1]) && ok;
  ok = put_word(e->protocol, sizeof e->protocol, w[2]) && ok;
  ok = put_word(e->host, sizeof e->host, w[3]) && ok;
  ok = put_word(e->address, sizeof e->address, w[4]) && ok;
  *usable = ok;
  return 1;
}

iface_entry* copy_entry(const iface_entry* src) {
  auto* e = static_cast<iface_entry*>(comn_calloc(1, sizeof(iface_entry)));
  if (!e) return nullptr;
  *e = *src;
  e->next = nullptr;
  return e;
}

}  // namespace

int db__hostname(char* buffer, int size) {
  utsname u{};
  if (::uname(&u) < 0) db__exraise("gethostname: cannot get nodename of host\n");
  if (size < 1) return 1;
  // The node name is cut to the buffer.
  std::size_t n = std::strlen(u.nodename);
  if (n > static_cast<std::size_t>(size) - 1) n = static_cast<std::size_t>(size) - 1;
  std::memcpy(buffer, u.nodename, n);
  buffer[n] = '\0';
  return 1;
}

char* dbsetifile(const char* path) {
  if (!path) {
    Db__GlobalRec.ifile[0] = '\0';
  } else {
    std::snprintf(Db__GlobalRec.ifile, sizeof Db__GlobalRec.ifile, "%s", path);
  }
  return Db__GlobalRec.ifile;
}

RETCODE dbsetconnect(const char* service, const char* netword, const char* protocol,
                     const char* host, const char* address) {
  comn_free(Db__GlobalRec.defentry);
  Db__GlobalRec.defentry = nullptr;
  if (!service) return SUCCEED;
  auto* e = static_cast<iface_entry*>(comn_calloc(1, sizeof(iface_entry)));
  if (!e) {
    db__raise(nullptr, 20010, 8, errno);
    return FAIL;
  }
  std::snprintf(e->service, sizeof e->service, "%s", service);
  std::snprintf(e->netword, sizeof e->netword, "%s", netword ? netword : "");
  std::snprintf(e->protocol, sizeof e->protocol, "%s", protocol ? protocol : "");
  std::snprintf(e->host, sizeof e->host, "%s", host ? host : "");
  std::snprintf(e->address, sizeof e->address, "%s", address ? address : "");
  Db__GlobalRec.defentry = e;
  return SUCCEED;
}

void db__free_iface_list(iface_entry* list) {
  while (list) {
    iface_entry* next = list->next;
    comn_free(list);
    list = next;
  }
}

iface_entry* db__getconnectlist(const char* server, const char* service) {
  if (!server && Db__GlobalRec.defentry) return copy_entry(Db__GlobalRec.defentry);
  iface_entry key{};
  std::string name = server ? server : "";
  if (name.empty()) {
    char* ds = dbgetenv("DSQUERY");
    name = ds ? ds : "MERROW";
    dbfree_env(ds);
  }
  if (name.size() >= sizeof key.server) {
    db__raise(nullptr, 20012, 2);
    return nullptr;
  }
  std::memcpy(key.server, name.c_str(), name.size() + 1);
  FILE* f = db__find_interface(&key);
  if (!f) return nullptr;
  iface_entry* head = nullptr;
  iface_entry** tail = &head;
  iface_entry e = key;
  bool usable = false;
  while (db__read_interface(&e, f, &usable)) {
    if (!usable || std::strcmp(e.service, service) != 0) continue;
    iface_entry* n = copy_entry(&e);
    if (!n) {
      db__free_iface_list(head);
      db__raise(nullptr, 20010, 8, errno);
      return nullptr;
    }
    if (std::strcmp(n->host, "loghost") == 0 || std::strcmp(n->host, "SYS$NODE") == 0)
      db__hostname(n->host, sizeof n->host);
    *tail = n;
    tail = &n->next;
  }
  if (!head) db__raise(nullptr, 20055, 2);
  return head;
}

int db__initnet(dbnetctx* net, DBPROCESS* dbproc, const char* server, const char* service,
                iface_entry* saved, int redirect, int logintime) {
  iface_entry* list = redirect ? copy_entry(saved) : db__getconnectlist(server, service);
  if (!list) return 0;
  int err = 20009, sev = 9, oserr = -1;
  int rounds = list->retries;
  for (int round = 0; round <= rounds; ++round) {
    for (iface_entry* e = list; e; e = e->next) {
      iface_entry conv = *e;
      int type = commtype_token(conv.netword);
      if (type == 1) {
        type = db__tcp2tli(conv.host, sizeof conv.host, conv.address, sizeof conv.address) ? 5 : 0;
      }
      if (type != 5) {
        err = 20055; sev = 2; oserr = -1;
        continue;
      }
      int rfd = -1, wfd = -1;
      int r = tli_open(&conv, &rfd, &wfd, &err, &sev, &oserr, logintime);
      if (r == 0) continue;
      net->rfd = rfd;
      net->wfd = wfd;
      db__drop_stage(net);
      net->nettype = 5;
      net->reader = tli_read;
      net->writer = tli_write;
      net->closer = tli_close_connection;
      net->attn = r == -1 ? tli_sendattn_inband : tli_sendattn_unknown;
      if (!redirect) {
        *saved = *e;
        saved->next = nullptr;
      }
      db__free_iface_list(list);
      return 1;
    }
    platform::plat_sleep(list->delay);
  }
  db__free_iface_list(list);
  if (redirect) return 0;
  db__raise(dbproc, err, sev, oserr);
  return 0;
}
