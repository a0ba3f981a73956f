// dbuse with its recovery retry, and the environment changes the server
// announces (database, language, character set, packet size).
#include <cstdlib>
#include <cstring>

#include "dblib/db_internal.h"
#include "platform/clock.h"

void dbuse_msg_handler(DBPROCESS* dbproc) { dbproc->useretry = 1; }

RETCODE dbuse(DBPROCESS* dbproc, const char* name) {
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->inuse = 1;
  for (;;) {
    dbproc->useretry = 0;
    dbfreebuf(dbproc);
    if (dbfcmd(dbproc, "use %s", name ? name : "") != SUCCEED) {
      dbproc->inuse = 0;
      return FAIL;
    }
    if (dbsqlexec(dbproc) == SUCCEED && dbresults(dbproc) != FAIL) {
      dbfreebuf(dbproc);
      dbproc->inuse = 0;
      return SUCCEED;
    }
    if (!dbproc->useretry || dbproc->dead) break;
    // The database is in recovery: discard what is left and try again.
    if (!(dbproc->batch & DBB_NORESULTS)) dbcancel(dbproc);
    platform::plat_sleep(1.0);
  }
  dbfreebuf(dbproc);
  dbproc->inuse = 0;
  return FAIL;
}

int db__envchange(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int used = 0;
  while (used < len) {
    unsigned char type, nl, ol;
    // Values are up to 255 bytes; the fields keep 30 characters.
    char newv[31], oldv[31];
    if (!db__getbyte(dbproc, &type) || !db__getbyte(dbproc, &nl) ||
        !db__read_name(dbproc, nl, newv, sizeof newv) || !db__getbyte(dbproc, &ol) ||
        !db__read_name(dbproc, ol, oldv, sizeof oldv))
      return 0;
    used += 3 + nl + ol;
    switch (type) {
      case 1:
        if (std::strcmp(oldv, newv) != 0) dbproc->status |= DBST_DBCHANGED;
        std::memcpy(dbproc->dbname, newv, sizeof dbproc->dbname);
        dbproc->pending |= 1;
        break;
      case 2: {
        DBLOCALE* loc = newv[0] ? db__getloc(dbproc, newv) : nullptr;
        if (loc && loc != dbproc->locale) {
          if (dbproc->locale) db__freeloc(dbproc->locale);
          dbproc->locale = loc;
          db__loc_count(dbproc);
        }
        dbproc->pending |= 2;
        break;
      }
      case 3:
        if (newv[0]) {
          std::memcpy(dbproc->charsetname, newv, sizeof dbproc->charsetname);
          dbproc->charsetquery = 1;
        } else if (!dbproc->charset && dbproc->charsetname[0]) {
          dbproc->charsetquery = 1;
        }
        dbproc->pending |= 4;
        break;
      case 4: {
        long size = std::strtol(newv, nullptr, 10);
        // A size the buffers cannot sensibly hold is ignored.
        if (size >= 512 && size <= 65535) {
          dbproc->pktsize = static_cast<int32_t>(size);
          dbproc->pending |= 8;
        }
        break;
      }
      default:
        break;
    }
  }
  return db__next_token(dbproc);
}
