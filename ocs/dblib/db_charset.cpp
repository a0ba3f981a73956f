// The server character set of a connection: attribute records built from
// a server's character-set definition (single-byte class 1001, multibyte
// class 1002), the process-wide list of loaded sets and the sp_serverinfo
// query that fetches a set's definition.
#include "db_charset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "comnlib/com_charclass.h"
#include "comnlib/com_types.h"
#include "comnlib/comn_alloc.h"

namespace {

constexpr long kTypeMapLen = 1024;  // 256 entries of 4 bytes
constexpr long kSoundexLen = 256;

// True when [off, off + len) lies inside a definition of `deflen` bytes.
bool inside(uint32_t off, long len, long deflen) {
  return static_cast<long>(off) <= deflen && len <= deflen - static_cast<long>(off);
}

dbcharset* g_loaded = nullptr;  // newest first

// An integer column of the current row (tinyint, smallint or int), or -1.
long int_value(DBPROCESS* dbproc, int column) {
  BYTE* d = dbdata(dbproc, column);
  int len = dbdatlen(dbproc, column);
  if (!d) return -1;
  if (len == 1) return d[0];
  if (len == 2) {
    int16_t v;
    std::memcpy(&v, d, 2);
    return v;
  }
  if (len == 4) {
    int32_t v;
    std::memcpy(&v, d, 4);
    return v;
  }
  return -1;
}

// Reads and drops whatever the query left, so that the caller's command
// finds the connection idle.
void drain(DBPROCESS* dbproc) {
  if (dbproc->status & DBST_RPC) {
    db__free_rpcrec(dbproc);
    dbproc->status &= ~DBST_RPC;
  }
  for (int guard = 0; guard < 1000 && !dbproc->dead && !(dbproc->batch & DBB_NORESULTS); ++guard) {
    if (dbproc->status & DBST_ROWS) {
      if (dbcanquery(dbproc) != SUCCEED) break;
      continue;
    }
    if (dbresults(dbproc) == FAIL && !(dbproc->status & DBST_ROWS)) break;
  }
  if (!dbproc->dead && !(dbproc->batch & DBB_NORESULTS)) dbcancel(dbproc);
}

void free_charset(dbcharset* rec) {
  if (!rec) return;
  comn_free(rec->def);
  com_free_char_attrib(rec->attr);
  comn_free(rec);
}

}  // namespace

dbcharset* db__find_charset(const char* name) {
  for (dbcharset* r = g_loaded; r; r = r->next)
    if (std::strcmp(r->name, name) == 0) return r;
  return nullptr;
}

int db__charset_rpc(DBPROCESS* dbproc, const char* name, dbcharset* rec) {
  static const char kWhat[] = "csdefinition";
  std::snprintf(rec->name, sizeof rec->name, "%s", name);
  int ok = dbrpcinit(dbproc, "sp_serverinfo", 0) == SUCCEED &&
           dbrpcparam(dbproc, nullptr, 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(kWhat)),
                      reinterpret_cast<const BYTE*>(kWhat)) == SUCCEED &&
           dbrpcparam(dbproc, nullptr, 0, MERCHAR, -1, static_cast<DBINT>(std::strlen(rec->name)),
                      reinterpret_cast<const BYTE*>(rec->name)) == SUCCEED &&
           dbrpcsend(dbproc) == SUCCEED && dbsqlok(dbproc) == SUCCEED &&
           dbresults(dbproc) == SUCCEED && dbnextrow(dbproc) == REG_ROW;
  if (ok) {
    rec->cls = static_cast<int16_t>(int_value(dbproc, 1));
    rec->id = static_cast<unsigned char>(int_value(dbproc, 2));
    BYTE* d = dbdata(dbproc, 3);
    int len = dbdatlen(dbproc, 3);
    if (d && len > 0) {
      rec->def = static_cast<BYTE*>(comn_malloc(static_cast<std::size_t>(len)));
      if (!rec->def) {
        dbsetdead(dbproc);
        db__raise(dbproc, 20010, 8, errno);
        return 0;
      }
      std::memcpy(rec->def, d, static_cast<std::size_t>(len));
      rec->deflen = len;
    }
    ok = dbcanquery(dbproc) == SUCCEED;
  }
  drain(dbproc);
  return ok && !dbproc->dead;
}

void db__getcharset(DBPROCESS* dbproc) {
  dbproc->charsetquery = 0;
  if (std::strcmp(dbproc->charsetname, "iso_1") == 0) {
    dbproc->charset = const_cast<COM_CHARATTRIB*>(com_get_charattrib());
    return;
  }
  if (dbcharset* known = db__find_charset(dbproc->charsetname)) {
    dbproc->charset = known->attr;
    return;
  }
  auto* rec = static_cast<dbcharset*>(comn_calloc(1, sizeof(dbcharset)));
  if (!rec) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
    return;
  }
  // A failed query, or one without a definition, leaves the connection on
  // the record it has.
  if (!db__charset_rpc(dbproc, dbproc->charsetname, rec) || !rec->def) {
    free_charset(rec);
    return;
  }
  rec->attr = com_alloc_char_attrib();
  if (!rec->attr) {
    free_charset(rec);
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
    return;
  }
  if (!com_build_char_attrib(rec->cls, rec->id, rec->name, rec->def, rec->deflen, rec->attr)) {
    int oserr = errno;
    free_charset(rec);
    dbsetdead(dbproc);
    db__raise(dbproc, 20221, 11, oserr);
    return;
  }
  rec->next = g_loaded;
  g_loaded = rec;
  dbproc->charset = rec->attr;
}

void db__charset_pending(DBPROCESS* dbproc) {
  if (dbproc->charsetquery && !dbproc->loggingin) db__getcharset(dbproc);
}

com_charattrib* com_alloc_char_attrib() {
  return static_cast<com_charattrib*>(comn_calloc(1, sizeof(com_charattrib)));
}

void com_free_char_attrib(com_charattrib* rec) { comn_free(rec); }

int com_build_char_attrib(int cls, int id, const char* name, const BYTE* def, long deflen,
                          com_charattrib* rec) {
  if (!rec || !def || !name) return 0;
  std::memset(rec, 0, sizeof *rec);
  std::size_t n = std::strlen(name);
  if (n > sizeof rec->name) n = sizeof rec->name;
  std::memcpy(rec->name, name, n);
  rec->namelen = static_cast<int16_t>(n);
  rec->id = static_cast<uint8_t>(id);
  if (cls == 1001) {
    // The type map is the definition itself, the Soundex table 1028 bytes in.
    if (!inside(1028, kSoundexLen, deflen)) return 0;
    rec->status = 0;
    rec->cs_class = 1;
    const uint8_t flags[5] = {1, 1, 0, 1, 1};
    std::memcpy(rec->flags, flags, 5);
    rec->typemap = def;
    rec->soundex = def + 1028;
    return 1;
  }
  if (cls != 1002 || deflen < 44) return 0;
  rec->status = static_cast<int16_t>(db__be16(def));
  rec->cs_class = def[2];
  rec->flags[0] = def[3];
  rec->flags[1] = def[4];
  rec->flags[2] = def[6];
  rec->flags[3] = def[5];
  rec->flags[4] = def[7];
  uint32_t lenoff = db__be32(def + 12), lenlen = db__be32(def + 16);
  uint32_t mboff = db__be32(def + 20), mblen = db__be32(def + 24);
  uint32_t typeoff = db__be32(def + 28), soundoff = db__be32(def + 36);
  // Every table must lie inside the definition.
  if ((lenlen && !inside(lenoff, lenlen, deflen)) || (mblen && !inside(mboff, mblen, deflen)) ||
      !inside(typeoff, kTypeMapLen, deflen) || !inside(soundoff, kSoundexLen, deflen))
    return 0;
  rec->lentab = lenlen ? def + lenoff : nullptr;
  rec->mbmap = mblen ? def + mboff : nullptr;
  rec->typemap = def + typeoff;
  rec->soundex = def + soundoff;
  return 1;
}
