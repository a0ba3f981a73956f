// The client side shared by the DB client's fuzz targets: one-time set-up
// (the peer, the connection entry that points at it, the handlers) and a
// reader that takes everything a connection's results hold through the
// public entry points.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "db_fuzzpeer.h"
#include "dblib/dblib.h"
#include "fuzz/fuzz_support.h"
#include "platform/clock.h"

namespace dbfuzz {

inline int& seen_count() {
  static int n = 0;
  return n;
}

// Copies a text the library handed out (so that reading it is checked).
inline void touch(const char* s) {
  if (s == nullptr) return;
  std::string copy(s);
  seen_count() += static_cast<int>(copy.size() > 0);
}

inline void touch(const BYTE* p, DBINT n) {
  if (p == nullptr || n <= 0) return;
  std::vector<BYTE> copy(p, p + n);
  seen_count() += copy[0] != 0;
}

// What one input did, for the trace: results, rows, client errors.
inline std::string& summary() {
  static std::string s;
  return s;
}

inline int on_error(DBPROCESS*, int, int dberr, int, char* text, char* ostext) {
  summary() += " error " + std::to_string(dberr);
  touch(text);
  touch(ostext);
  return INT_CANCEL;
}

inline int on_message(DBPROCESS*, DBINT msgno, int, int, char* text, char* server, char* proc,
                      int) {
  summary() += " message " + std::to_string(msgno);
  touch(text);
  touch(server);
  touch(proc);
  return 0;
}

// The usual successful login answer at protocol 5.0 (login acknowledgement,
// database, language and character set, capabilities, DONE).
inline const Bytes& normal_login() {
  static const Bytes b = {
      // LOGINACK: status 5, version 5.0, program "StandIn", program version
      0xAD, 0x00, 0x11, 0x05, 0x05, 0x00, 0x00, 0x00, 0x07, 'S', 't', 'a', 'n', 'd', 'I', 'n',
      0x01, 0x00, 0x00, 0x00,
      // ENVCHANGE database, language, character set
      0xE3, 0x00, 0x09, 0x01, 0x06, 'm', 'a', 's', 't', 'e', 'r', 0x00,
      0xE3, 0x00, 0x0D, 0x02, 0x0A, 'u', 's', '_', 'e', 'n', 'g', 'l', 'i', 's', 'h', 0x00,
      0xE3, 0x00, 0x08, 0x03, 0x05, 'i', 's', 'o', '_', '1', 0x00,
      // CAPABILITY
      0xE2, 0x00, 0x12, 0x01, 0x07, 0x00, 0x60, 0x81, 0xCF, 0xFF, 0xFE, 0x3E, 0x02, 0x07, 0x00,
      0x00, 0x00, 0x78, 0xC0, 0x00, 0x0E,
      // DONE
      0xFD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  return b;
}

// The process's peer, started on first use together with the client's
// set-up: protocol version 10.0, the handlers, and the default connection
// entry pointing at the peer (so no interfaces file is read per input).
inline Peer& peer() {
  static Peer* p = [] {
    auto* made = new Peer();
    // Real time: the login time-out must hold on a loaded machine (the
    // peer never keeps the client waiting, it ends the stream instead).
    platform::plat_set_time_scale(1.0);
    dbsetversion(DBVERSION_50);
    dberrhandle(on_error);
    dbmsghandle(on_message);
    dbsetconnect("query", "tcp", "ether", "127.0.0.1", std::to_string(made->port()).c_str());
    dbsetlogintime(5);
    std::atexit([] { delete p; });
    return made;
  }();
  return *p;
}

// A login record for the peer: user "reader", password "secret".
inline LOGINREC* login_record(bool encrypt, int packet_size) {
  LOGINREC* l = dblogin();
  DBSETLUSER(l, "reader");
  DBSETLPWD(l, "secret");
  DBSETLAPP(l, "fuzz");
  if (encrypt) DBSETLENCRYPT(l, TRUE);
  if (packet_size > 0) DBSETLPACKET(l, packet_size);
  return l;
}

// One value through dbconvert to text and to a double (results ignored:
// conversions may fail).
inline void convert(DBPROCESS* db, int type, const BYTE* p, DBINT n) {
  BYTE text[300];
  dbconvert(db, type, p, n, MERCHAR, text, sizeof text);
  DBFLT8 d = 0;
  dbconvert(db, type, p, n, MERFLT8, reinterpret_cast<BYTE*>(&d), sizeof d);
}

// Room for the bound values of one row.
struct Binds {
  std::vector<std::vector<BYTE>> values;
  std::vector<DBINT> nulls;
};

// Reads everything a command brings.  Flags: bit 1 row buffering, bit 2
// bind every column, bit 3 a text limit, bit 4 cancel the rest after the
// first row of each result.
inline void read_everything(DBPROCESS* db, unsigned flags) {
  if (flags & 2) dbsetopt(db, DBBUFFER, "3", 0);
  if (flags & 8) dbsetopt(db, DBTEXTLIMIT, "16", 0);
  dbcmd(db, "select * from t");
  if (dbsqlexec(db) != SUCCEED) return;
  RETCODE r;
  for (int results = 0; results < 64 && (r = dbresults(db)) != NO_MORE_RESULTS && r != FAIL;
       ++results) {
    int ncols = dbnumcols(db);
    dballcols(db);
    Binds binds;
    binds.values.assign(static_cast<std::size_t>(ncols > 0 ? ncols : 0), std::vector<BYTE>(300));
    binds.nulls.assign(binds.values.size(), 0);
    for (int c = 1; c <= ncols; ++c) {
      touch(dbcolname(db, c));
      dbcoltype(db, c);
      dbcollen(db, c);
      dbvarylen(db, c);
      dbcoltypeinfo(db, c);
      if (flags & 4) {
        auto i = static_cast<std::size_t>(c - 1);
        dbbind(db, c, NTBSTRINGBIND, 300, binds.values[i].data());
        dbnullbind(db, c, &binds.nulls[i]);
      }
    }
    // Compute rows: bind their columns too, by the ids the formats gave.
    std::vector<std::vector<BYTE>> alt(64, std::vector<BYTE>(300));
    std::size_t used = 0;
    for (int id = 1; id <= 8; ++id) {
      int n = dbnumalts(db, id);
      for (int c = 1; c <= n && used < alt.size(); ++c)
        dbaltbind(db, id, c, NTBSTRINGBIND, 300, alt[used++].data());
    }
    for (int o = 1; o <= dbnumorders(db) && o <= 64; ++o) dbordercol(db, o);
    STATUS s;
    summary() += " result of " + std::to_string(ncols) + " columns";
    for (int rows = 0; rows < 1024 && (s = dbnextrow(db)) != NO_MORE_ROWS && s != FAIL; ++rows) {
      summary() += s == REG_ROW ? " row" : " row " + std::to_string(s);
      if (s == BUF_FULL) {
        dbclrbuf(db, 2);
        continue;
      }
      if (s == REG_ROW) {
        for (int c = 1; c <= ncols; ++c) {
          BYTE* p = dbdata(db, c);
          DBINT n = dbdatlen(db, c);
          FUZZ_CHECK(n >= 0 || p == nullptr, "negative data length " + std::to_string(n));
          touch(p, n);
          if (p != nullptr) convert(db, dbcoltype(db, c), p, n);
        }
      }
      if (flags & 16) {
        dbcanquery(db);
        break;
      }
    }
    dbcount(db);
    dbrows(db);
    dbmorecmds(db);
    dbcurcmd(db);
    for (int i = 1; i <= dbnumrets(db) && i <= 256; ++i) {
      touch(dbretname(db, i));
      int type = dbrettype(db, i);
      DBINT n = dbretlen(db, i);
      BYTE* p = dbretdata(db, i);
      touch(p, n);
      if (p != nullptr && n >= 0) convert(db, type, p, n);
    }
    if (dbhasretstat(db)) dbretstatus(db);
  }
}

// Open descriptors of the process.
inline int open_descriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
  }
  return n;
}

// Checks now and then that connections do not leave descriptors behind: a
// few may be in flight (the peer closes its side after the client), a leak
// of one per input is not.
inline void check_descriptors() {
  static int inputs = 0, baseline = -1;
  if (inputs++ % 64 != 0) return;
  int now = open_descriptors();
  if (baseline < 0) baseline = now;
  FUZZ_CHECK(now <= baseline + 8, "open descriptors grew from " + std::to_string(baseline) +
                                      " to " + std::to_string(now));
}

// What the input did (results, rows, messages, client errors) since the
// last call.
inline std::string seen_and_cleared() {
  std::string s = summary();
  summary().clear();
  seen_count() = 0;
  return s;
}

}  // namespace dbfuzz
