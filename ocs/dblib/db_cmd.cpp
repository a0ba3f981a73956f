// Commands: the command buffer, sending a batch as a language request, the
// wait for the first result, and the text helpers used with commands.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "comnlib/intl_msg.h"
#include "dblib/db_internal.h"
#include "db_charset.h"
#include "db_trace.h"

namespace {

// Appends a copy of `len` bytes as a new node of the command buffer.
int append_text(DBPROCESS* dbproc, const char* text, int len) {
  dbstring* node = strnew();
  if (!node || !savestr(dbproc, node, text, len)) {
    comn_free(node);
    if (!dbproc->dead) {
      dbsetdead(dbproc);
      db__raise(dbproc, 20010, 8, errno);
    }
    return FAIL;
  }
  if (!dbproc->cmdbuf) dbproc->cmdbuf = node;
  else strlast(dbproc->cmdbuf)->next = node;
  return SUCCEED;
}

// The common start of dbcmd and dbfcmd.
bool start_command(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return false;
  dbproc->avail = 0;
  if (dbproc->batchsent && !dbisopt(dbproc, DBNOAUTOFREE, nullptr)) {
    dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  }
  dbproc->batchsent = 0;
  return true;
}

int db__exec_cleanup(DBPROCESS* dbproc) {
  dbproc->status |= DBST_SQLOK_DONE;
  if ((dbproc->donestatus & DONE_ERROR) && (dbproc->batch & DBB_NORESULTS)) {
    db__raise(dbproc, 20018, 5);
    return FAIL;
  }
  return db__check_timeout(dbproc);
}

}  // namespace

RETCODE dbcmd(DBPROCESS* dbproc, const char* text) {
  if (!start_command(dbproc)) return FAIL;
  if (!text || !*text) return SUCCEED;
  return append_text(dbproc, text, static_cast<int>(std::strlen(text)));
}

RETCODE dbfcmd(DBPROCESS* dbproc, const char* format, ...) {
  if (!start_command(dbproc)) return FAIL;
  if (!format) return SUCCEED;
  // Bounded formatting into a buffer that grows to the text's size.
  std::size_t flen = std::strlen(format);
  std::vector<char> buf(flen * 2 > 1024 ? flen * 2 : 1024);
  for (;;) {
    va_list ap;
    va_start(ap, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::vsnprintf(buf.data(), buf.size(), format, ap);
#pragma GCC diagnostic pop
    va_end(ap);
    if (n < 0) {
      db__raise(dbproc, 20010, 8, errno);
      return FAIL;
    }
    if (static_cast<std::size_t>(n) < buf.size()) {
      if (n == 0) return SUCCEED;
      return append_text(dbproc, buf.data(), n);
    }
    buf.resize(static_cast<std::size_t>(n) + 1);
  }
}

void dbfreebuf(DBPROCESS* dbproc) {
  if (!dbproc) return;
  dbproc->avail = 0;
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
}

int db__check_timeout(DBPROCESS* dbproc) {
  if ((dbproc->status & DBST_TIMEDOUT) && !(dbproc->status & DBST_ATTNWAIT)) {
    dbcancel(dbproc);
    return FAIL;
  }
  return SUCCEED;
}

int db__send_language_header(DBPROCESS* dbproc, int32_t textlen) {
  BYTE tk = TK_LANGUAGE;
  BYTE status = 0;
  return sendserver(dbproc, &tk, 1, PKT_NORMAL) && db__send32(dbproc, textlen + 1, PKT_NORMAL) &&
         sendserver(dbproc, &status, 1, PKT_NORMAL);
}

int db__sqlxactsend(DBPROCESS* dbproc, int flag) {
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->batchsent = 1;
  dbproc->status &= ~DBST_EOM;
  dbproc->avail = 0;
  if (dbproc->status & DBST_CANCELLED) {
    dbproc->status &= ~(DBST_CANCELLED | DBST_ROWS);
    dbproc->batch |= DBB_NORESULTS;
  }
  if (!(dbproc->batch & DBB_NORESULTS)) {
    db__raise(dbproc, 20019, 7);
    return FAIL;
  }
  db__charset_pending(dbproc);
  if (!db__procchk(dbproc)) return FAIL;
  if (dbsendopts(dbproc) != SUCCEED) {
    dbproc->optcmd = strfree(dbproc->optcmd);
    return FAIL;
  }
  if (!dbproc->cmdbuf) {
    dbproc->batch |= DBB_NORESULTS;
    db__raise(dbproc, 20091, 7);
    return FAIL;
  }
  dbproc->curcmd = 0;
  dbproc->token = 0;
  tidyproc(dbproc);
  dbproc->batch &= ~DBB_NORESULTS;
  int type = dbproc->protolevel >= 7 ? PKT_NORMAL : PKT_LANGUAGE;
  if (dbproc->protolevel >= 7) {
    int32_t total = 0;
    for (dbstring* s = dbproc->cmdbuf; s; s = s->next) total += s->len;
    if (!db__send_language_header(dbproc, total)) return FAIL;
  }
  for (dbstring* s = dbproc->cmdbuf; s; s = s->next) {
    if (!sendserver(dbproc, s->data, s->len, type)) return FAIL;
    ftos_write(dbproc, s->data, s->len);
  }
  if (!sendeom(dbproc, type, flag)) return FAIL;
  ftos_eom(dbproc);
  return SUCCEED;
}

RETCODE dbsqlsend(DBPROCESS* dbproc) { return db__sqlxactsend(dbproc, 0); }

RETCODE dbsqlexec(DBPROCESS* dbproc) {
  if (db__sqlxactsend(dbproc, 1) != SUCCEED) return FAIL;
  return dbsqlok(dbproc);
}

RETCODE dbsqlok(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  if (dbproc->textopen) {
    db__raise(dbproc, 20164, 7);
    return FAIL;
  }
  if (dbproc->tokenread) {
    dbproc->tokenread = 0;
  } else if (!db__next_token(dbproc)) {
    return FAIL;
  }
  bool level7 = dbproc->protolevel >= 7;
  for (;;) {
    unsigned char t = dbproc->token;
    switch (t) {
      case TK_ALTNAME: case TK_ALTFMT: case TK_ORDERBY: case TK_TABNAME: case TK_COLINFO:
      case TK_CONTROL: case TK_ROW: case TK_ALTROW:
        return db__check_timeout(dbproc);
      case TK_ROWFMT:
        if (level7) return db__check_timeout(dbproc);
        db__badtoken(dbproc);
        return FAIL;
      case TK_OLDCOLFMT: case TK_PROCID: case TK_COLNAME: case TK_COLFMT: case TK_ALTCONTROL:
        if (!level7) return db__check_timeout(dbproc);
        db__badtoken(dbproc);
        return FAIL;
      case TK_ERROR: case TK_INFO: case TK_EED:
        if (!dbsvinfo(dbproc)) return FAIL;
        break;
      case TK_RETURNSTATUS: {
        int32_t st;
        if (!db__get32(dbproc, &st) || !db__next_token(dbproc)) return FAIL;
        dbproc->retstatus = st;
        dbproc->hasretstat = 1;
        break;
      }
      case TK_RETURNVALUE:
        if (!dbsvretval(dbproc)) return FAIL;
        break;
      case TK_EVENT:
        if (!db__handle_event(dbproc)) return FAIL;
        break;
      case TK_OFFSET:
        if (!dbsvoff(dbproc)) return FAIL;
        break;
      case TK_ENVCHANGE:
        if (!db__envchange(dbproc)) return FAIL;
        break;
      case TK_DONE:
        if (!dbdone(dbproc)) return FAIL;
        if (dbproc->batch & DBB_ATTNACKED) {
          dbproc->batch &= ~DBB_ATTNACKED;
          break;
        }
        return db__exec_cleanup(dbproc);
      case TK_DONEPROC: {
        int ended = 0;
        if (!dbdoneproc(dbproc, &ended)) return FAIL;
        if (dbproc->batch & DBB_ATTNACKED) {
          dbproc->batch &= ~DBB_ATTNACKED;
          break;
        }
        if (ended || dbproc->hasretstat) return db__exec_cleanup(dbproc);
        break;
      }
      case TK_DONEINPROC:
        if (!dbdoneinproc(dbproc, 0)) return FAIL;
        dbproc->batch &= ~DBB_ATTNACKED;
        break;
      default:
        db__badtoken(dbproc);
        return FAIL;
    }
  }
}

RETCODE dbsafestr(DBPROCESS* dbproc, const char* src, long srclen, char* dest, long destlen,
                  int quotetype) {
  if (!src) {
    if (dest && (destlen >= 1 || destlen == -1)) {
      dest[0] = '\0';
      return SUCCEED;
    }
    db__raise(dbproc, 20054, 7);
    return FAIL;
  }
  if (!dest) {
    db__raise(dbproc, 20054, 7);
    return FAIL;
  }
  bool explicit_len = srclen != -1;
  long n = explicit_len ? srclen : static_cast<long>(std::strlen(src)) + 1;
  bool dq = quotetype == DBDOUBLE || quotetype == DBBOTH;
  bool sq = quotetype == DBSINGLE || quotetype == DBBOTH;
  long o = 0, i = 0;
  for (; i < n; ++i) {
    char c = src[i];
    bool twice = (c == '"' && dq) || (c == '\'' && sq);
    long need = twice ? 2 : 1;
    if (destlen != -1 && o + need > destlen) break;
    dest[o++] = c;
    if (twice) dest[o++] = c;
  }
  if (i < n) {
    db__raise(dbproc, 20054, 7);
    return FAIL;
  }
  if (explicit_len) {
    if (destlen != -1 && o >= destlen) {
      db__raise(dbproc, 20054, 7);
      return FAIL;
    }
    dest[o] = '\0';
  }
  return SUCCEED;
}

int dbstrbuild(DBPROCESS* dbproc, char* buffer, int size, const char* text, const char* formats,
               ...) {
  INTL_ARGVAL args[20];
  std::memset(args, 0, sizeof args);
  int count = 0;
  va_list ap;
  va_start(ap, formats);
  int flen = formats ? static_cast<int>(std::strlen(formats)) : 0;
  bool placeholders = false;
  for (int i = 0; i < flen; ++i)
    if (formats[i] == '%' && i + 1 < flen && formats[i + 1] != '%') placeholders = true;
  for (int i = 0; placeholders && i < flen;) {
    if (formats[i] != '%') { ++i; continue; }
    if (i + 1 < flen && formats[i + 1] == '%') { i += 2; continue; }
    INTL_ARGVAL a{};
    char conv = 0;
    int used = intl__parse_conversion(formats + i, flen - i, &a, &conv);
    if (used <= 0 || a.kind == 0) {
      va_end(ap);
      db__raise(dbproc, 20124, 2);
      return -1;
    }
    if (count >= 20) {
      va_end(ap);
      db__raise(dbproc, 20125, 2);
      return -1;
    }
    for (int s = 0; s < a.nstars; ++s) a.stars[s] = va_arg(ap, int);
    switch (a.kind) {
      case INTL_KIND_SHORT: a.value.s = static_cast<int16_t>(va_arg(ap, int)); break;
      case INTL_KIND_USHORT: a.value.us = static_cast<uint16_t>(va_arg(ap, unsigned)); break;
      case INTL_KIND_LONG: case INTL_KIND_ULONG: a.value.i = static_cast<int32_t>(va_arg(ap, long)); break;
      case INTL_KIND_POINTER: a.value.p = va_arg(ap, const void*); break;
      case INTL_KIND_DOUBLE: a.value.d = va_arg(ap, double); break;
      default: a.value.i = va_arg(ap, int); break;
    }
    args[count++] = a;
    i += used;
  }
  va_end(ap);
  int r = intl_strblist(buffer, size, text, args, count);
  if (r < 0) {
    char msg[512];
    std::snprintf(msg, sizeof msg, "%s: %s", db__geterrstr(dbproc, 20125), intl_errstr(r));
    db__raise(dbproc, 20125, 2, -1, msg);
  }
  return r;
}

int dbfprstring(FILE* stream, DBSTRING* cmdbuf, int linenumbers) {
  int count = 0;
  for (dbstring* s = cmdbuf; s; s = s->next) {
    if (Db__GlobalRec.argid) std::fprintf(stream, "%d: ", Db__GlobalRec.isqlid);
    if (linenumbers == 1) std::fprintf(stream, "%d> ", ++count);
    for (int i = 0; i < s->len; ++i) std::fprintf(stream, "%c", s->data[i]);
  }
  return count;
}

int dbprstring(DBSTRING* cmdbuf, int linenumbers) { return dbfprstring(stdout, cmdbuf, linenumbers); }

int db__textok(DBPROCESS* dbproc) {
  dbproc->textprobe = 1;
  dbproc->textprobeok = 1;
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  if (dbcmd(dbproc, "set textsize 10") == SUCCEED && dbsqlexec(dbproc) == SUCCEED) {
    while (dbresults(dbproc) == SUCCEED) {
    }
  }
  dbproc->cmdbuf = strfree(dbproc->cmdbuf);
  dbproc->textprobe = 0;
  return dbproc->textprobeok;
}
