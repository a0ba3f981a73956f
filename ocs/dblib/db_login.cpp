// Login records: making, filling and freeing the 568-byte login record, the
// remote passwords and the security labels.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

namespace {

// Writes a text field of 30 bytes and its length byte.
void put_field(unsigned char* rec, int off, const char* text, int len) {
  std::memset(rec + off, 0, 30);
  if (len > 0) std::memcpy(rec + off, text, static_cast<std::size_t>(len));
  rec[off + 30] = static_cast<unsigned char>(len);
}

// Fills a fresh record with the values every login starts with.
void fill_defaults(unsigned char* rec) {
  std::memset(rec, 0, LOGIN_RECLEN);
  rec[L_INT2] = 2;
  rec[L_INT4] = 0;
  rec[L_CHAR] = 6;
  rec[L_FLT] = 4;
  rec[L_DATE] = 8;
  rec[L_USEDB] = 1;
  rec[L_DMPLD] = 1;
  if (Db__GlobalRec.version == 2) {
    rec[L_PROTO] = 5;
  } else {
    rec[L_PROTO] = 4;
    rec[L_PROTO + 1] = 6;
  }
  std::memcpy(rec + L_PROG, "DB-Connect", 10);
  rec[L_PROGLEN] = 10;
  rec[L_PROGVER] = 5;
  rec[L_FLT4] = 12;
  rec[L_DATE4] = 16;
  rec[L_SETLANG] = 1;
  std::memcpy(rec + L_CHARSET, "iso_1", 5);
  rec[L_CHARSET + 30] = 5;
  rec[L_SETCHARSET] = 1;
  std::memcpy(rec + L_PACKET, "512", 3);
  rec[L_PACKETLEN] = 3;
}

bool check_login(LOGINREC* login) {
  if (login && login->rec) return true;
  db__raise(nullptr, 20041, 7);
  return false;
}

}  // namespace

LOGINREC* dblogin() {
  if (Db__GlobalRec.version == 0) Db__GlobalRec.version = 1;
  auto* login = static_cast<LOGINREC*>(comn_calloc(1, sizeof(LOGINREC)));
  auto* rec = static_cast<unsigned char*>(comn_malloc(LOGIN_RECLEN));
  if (!login || !rec) {
    comn_free(login);
    comn_free(rec);
    db__raise(nullptr, 20010, 8, errno);
    return nullptr;
  }
  fill_defaults(rec);
  login->rec = rec;
  return login;
}

void dbloginfree(LOGINREC* login) {
  if (!login) return;
  if (login->rec) {
    std::memset(login->rec + L_PWD, 0, 30);
    dbrpwclr(login);
    comn_free(login->rec);
  }
  db__labelfree(login->labels);
  comn_free(login);
}

RETCODE dbsetlname(LOGINREC* login, const char* value, int item) {
  if (!check_login(login)) return FAIL;
  int off;
  switch (item) {
    case DBSETHOST: off = L_HOST; break;
    case DBSETUSER: off = L_USER; break;
    case DBSETPWD: off = L_PWD; break;
    case DBSETHID: off = L_HID; break;
    case DBSETAPP: off = L_APP; break;
    case DBSETNATLANG: off = L_LANG; break;
    case DBSETCHARSET: off = L_CHARSET; break;
    default:
      db__raise(nullptr, 20043, 7);
      return FAIL;
  }
  int len = value ? static_cast<int>(std::strlen(value)) : 0;
  if (len > 30) {
    db__raise(nullptr, 20042, 2);
    return FAIL;
  }
  put_field(login->rec, off, value, len);
  return SUCCEED;
}

RETCODE dbsetlbool(LOGINREC* login, int value, int item) {
  if (!check_login(login)) return FAIL;
  bool on = value == 1;
  unsigned char* rec = login->rec;
  switch (item) {
    case DBSETBCP:
      rec[L_DMPLD] = on ? 0 : 1;
      return SUCCEED;
    case DBSETNOSHORT:
      rec[L_NOSHORT] = on ? 1 : 0;
      return SUCCEED;
    case DBSETENCRYPT: case DBSETLABELED: case 214:
      break;
    default:
      db__raise(nullptr, 20043, 7);
      return FAIL;
  }
  if (Db__GlobalRec.version < 2) {
    db__raise(nullptr, 20204, 7);
    return FAIL;
  }
  if (item == DBSETENCRYPT) {
    rec[L_SECLOGIN] = static_cast<unsigned char>(on ? (rec[L_SECLOGIN] | 1) : (rec[L_SECLOGIN] & ~1));
    rec[L_SECLOGIN] &= static_cast<unsigned char>(~2);
  } else if (item == DBSETLABELED) {
    if (on) {
      rec[L_SECBULK] |= 1;
      rec[L_SECLOGIN] |= 4;
    } else {
      rec[L_SECBULK] &= static_cast<unsigned char>(~1);
      rec[L_SECLOGIN] &= static_cast<unsigned char>(~4);
    }
  } else {
    rec[L_SECLOGIN] |= static_cast<unsigned char>(value);
  }
  return SUCCEED;
}

RETCODE dbsetllong(LOGINREC* login, long value, int item) {
  if (!check_login(login)) return FAIL;
  if (item != DBSETPACKET) {
    db__raise(nullptr, 20043, 7);
    return FAIL;
  }
  if (value < 0 || value > 999999) {
    db__raise(nullptr, 20193, 7);
    return FAIL;
  }
  char text[8];
  int n = std::snprintf(text, sizeof text, "%ld", value);
  std::memset(login->rec + L_PACKET, 0, 6);
  std::memcpy(login->rec + L_PACKET, text, static_cast<std::size_t>(n));
  login->rec[L_PACKETLEN] = static_cast<unsigned char>(n);
  return SUCCEED;
}

namespace {
RETCODE secure_unsupported() {
  db__raise(nullptr, 20202, 7);
  return FAIL;
}
}  // namespace

RETCODE dbsetlshort(LOGINREC*, int, int) { return secure_unsupported(); }
RETCODE dbgetlhier(LOGINREC*, char*, int) { return secure_unsupported(); }
RETCODE dbsetlrole(LOGINREC*, const char*) { return secure_unsupported(); }
RETCODE dbsetlcomp(LOGINREC*, const char*) { return secure_unsupported(); }
RETCODE dbgetlrole(LOGINREC*, char*, int) { return secure_unsupported(); }
int dbgetslstatus(void* label) {
  secure_unsupported();
  return label ? *static_cast<int16_t*>(label) : 0;
}
void* dbgetslcomp(void* label) {
  secure_unsupported();
  return label ? static_cast<char*>(label) + 2 : nullptr;
}

RETCODE dbrpwset(LOGINREC* login, const char* srvname, const char* password, int pwlen) {
  if (!check_login(login)) return FAIL;
  if (!srvname) srvname = "";
  int slen = static_cast<int>(std::strlen(srvname));
  if (pwlen < 0) pwlen = password ? static_cast<int>(std::strlen(password)) : 0;
  if (!password) pwlen = 0;
  unsigned char* rec = login->rec;
  int used = rec[L_RPWLEN];
  int freebytes = 255 - used;
  if (slen > 255 || pwlen > 255 || slen + pwlen + 2 > freebytes) {
    db__raise(nullptr, 20096, 2);
    return FAIL;
  }
  unsigned char* p = rec + L_RPW + used;
  *p++ = static_cast<unsigned char>(slen);
  std::memcpy(p, srvname, static_cast<std::size_t>(slen));
  p += slen;
  *p++ = static_cast<unsigned char>(pwlen);
  if (pwlen > 0) std::memcpy(p, password, static_cast<std::size_t>(pwlen));
  rec[L_RPWLEN] = static_cast<unsigned char>(used + slen + pwlen + 2);
  return SUCCEED;
}

void dbrpwclr(LOGINREC* login) {
  if (!check_login(login)) return;
  std::memset(login->rec + L_RPW, 0, 255);
  login->rec[L_RPWLEN] = 0;
}

dblabel* db__labelfree(dblabel* labels) {
  while (labels) {
    dblabel* next = labels->next;
    comn_free(labels->name);
    comn_free(labels->value);
    comn_free(labels);
    labels = next;
  }
  return nullptr;
}

int db__save_label(LOGINREC* login, const char* name, int namelen, const char* value,
                   int valuelen) {
  if (namelen >= 256 || valuelen >= 256) {
    db__raise(nullptr, 20211, 7);
    return 0;
  }
  auto* l = static_cast<dblabel*>(comn_calloc(1, sizeof(dblabel)));
  char* n = db__strdup(name, namelen);
  char* v = db__strdup(value, valuelen);
  if (!l || !n || !v) {
    comn_free(l);
    comn_free(n);
    comn_free(v);
    db__raise(nullptr, 20010, 8, errno);
    return 0;
  }
  l->name = n;
  l->value = v;
  dblabel** tail = &login->labels;
  while (*tail) tail = &(*tail)->next;
  *tail = l;
  return 1;
}

RETCODE dbsetsecurity(LOGINREC* login, const char* name, const char* value) {
  if (Db__GlobalRec.version < 2) {
    db__raise(nullptr, 20204, 7);
    return FAIL;
  }
  if (!login || !login->rec) {
    db__raise(nullptr, 20041, 7);
    return FAIL;
  }
  if (!name || !value) {
    db__raise(nullptr, 20290, 7);
    return FAIL;
  }
  if (!db__save_label(login, name, static_cast<int>(std::strlen(name)), value,
                      static_cast<int>(std::strlen(value))))
    return FAIL;
  login->rec[L_SECLOGIN] |= 4;
  return SUCCEED;
}
