// The server's login answer: the login acknowledgement, the negotiation
// messages (encrypted passwords, challenge, security labels) with their
// parameter formats, and the capability exchange.
#include <cerrno>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_encrypt.h"
#include "dblib/db_internal.h"

namespace {

constexpr unsigned char kVarbinary = 37;
constexpr unsigned char kVarchar = 39;

// Marks the connection dead and raises `err` (severity 9 unless given).
int fail_dead(DBPROCESS* dbproc, int err, int sev = 9) { return db__dead_error(dbproc, err, sev); }

// Reads a PARAMFMT token's formats (the token byte is current).
int read_paramfmt(DBPROCESS* dbproc, dbnegmsg* msg) {
  uint16_t len;
  int16_t count;
  if (!db__getu16(dbproc, &len) || !db__get16(dbproc, &count)) return 0;
  dbparam** tail = &msg->params;
  for (int i = 0; i < count; ++i) {
    auto* p = static_cast<dbparam*>(db__alloc(dbproc, sizeof(dbparam)));
    if (!p) return 0;
    *tail = p;
    tail = &p->next;
    unsigned char nl, loclen;
    if (!db__getbyte(dbproc, &nl) || !db__read_name(dbproc, nl, p->name, sizeof p->name)) return 0;
    p->namelen = static_cast<unsigned char>(std::strlen(p->name));
    if (!db__getbyte(dbproc, &p->status) || !db__get32(dbproc, &p->usertype) ||
        !db__getbyte(dbproc, &p->type))
      return 0;
    if (db__is_varytype(p->type)) {
      unsigned char ml;
      if (p->type == 34 || p->type == 35) {
        if (!db__get32(dbproc, &p->maxlen)) return 0;
      } else {
        if (!db__getbyte(dbproc, &ml)) return 0;
        p->maxlen = ml;
      }
      if (p->type == 106 || p->type == 108) {
        unsigned char prec, scale;
        if (!db__getbyte(dbproc, &prec) || !db__getbyte(dbproc, &scale)) return 0;
        p->precision = prec;
        p->scale = scale;
      }
    } else {
      p->maxlen = db__typelen(dbproc, p->type);
      if (p->maxlen < 0) return 0;
    }
    if (!db__getbyte(dbproc, &loclen) || !db__discard(dbproc, loclen)) return 0;
  }
  msg->nparams = count;
  return 1;
}

// Reads a PARAMS token's values (the token byte is current).
int read_params(DBPROCESS* dbproc, dbnegmsg* msg) {
  for (dbparam* p = msg->params; p; p = p->next) {
    int32_t len = p->maxlen;
    if (db__is_varytype(p->type)) {
      if (p->type == 34 || p->type == 35) {
        if (!db__get32(dbproc, &len)) return 0;
      } else {
        unsigned char l;
        if (!db__getbyte(dbproc, &l)) return 0;
        len = l;
      }
    }
    if (len < 0 || len > 65536) return fail_dead(dbproc, 20020);
    p->datalen = len;
    if (len > 0) {
      p->data = static_cast<BYTE*>(db__alloc(dbproc, static_cast<std::size_t>(len)));
      if (!p->data) return 0;
      if (!recvserver(dbproc, p->data, len)) return 0;
    }
  }
  return 1;
}

// Reads one MSG token with its parameters into the connection's current
// negotiation message, then the next token.
int dbsvmsg(DBPROCESS* dbproc) {
  dbproc->curmsg = msgfree(dbproc->curmsg);
  dbnegmsg* msg = msgnew();
  if (!msg) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
    return 0;
  }
  dbproc->curmsg = msg;
  unsigned char len, status;
  if (!db__getbyte(dbproc, &len) || !db__getbyte(dbproc, &status) || !db__get16(dbproc, &msg->id))
    return 0;
  if (len > 3 && !db__discard(dbproc, len - 3)) return 0;
  if (!db__next_token(dbproc)) return 0;
  if (status & 1) {
    if (dbproc->token != TK_PARAMFMT) return fail_dead(dbproc, 20210);
    if (!read_paramfmt(dbproc, msg) || !db__next_token(dbproc)) return 0;
    if (dbproc->token != TK_PARAMS) return fail_dead(dbproc, 20210);
    if (!read_params(dbproc, msg) || !db__next_token(dbproc)) return 0;
  }
  return 1;
}

// Sends a MSG token header: id with status 1 (parameters follow).
int send_msg_header(DBPROCESS* dbproc, int id) {
  BYTE b[5] = {TK_MSG, 3, 1, static_cast<BYTE>(id >> 8), static_cast<BYTE>(id & 0xff)};
  return sendserver(dbproc, b, 5, PKT_NORMAL);
}

struct OutParam {
  unsigned char type;
  const BYTE* data;
  int len;
};

// Sends PARAMFMT and PARAMS for unnamed varchar/varbinary parameters of
// maximum length 255.
int send_params(DBPROCESS* dbproc, const OutParam* ps, int n) {
  int fmtlen = 2 + n * 9;
  BYTE hdr[5] = {TK_PARAMFMT, static_cast<BYTE>(fmtlen >> 8), static_cast<BYTE>(fmtlen & 0xff),
                 static_cast<BYTE>(n >> 8), static_cast<BYTE>(n & 0xff)};
  if (!sendserver(dbproc, hdr, 5, PKT_NORMAL)) return 0;
  for (int i = 0; i < n; ++i) {
    BYTE f[9] = {0, 0, 0, 0, 0, 0, ps[i].type, 255, 0};
    if (!sendserver(dbproc, f, 9, PKT_NORMAL)) return 0;
  }
  BYTE tk = TK_PARAMS;
  if (!sendserver(dbproc, &tk, 1, PKT_NORMAL)) return 0;
  for (int i = 0; i < n; ++i) {
    BYTE l = static_cast<BYTE>(ps[i].len > 255 ? 255 : ps[i].len);
    if (!sendserver(dbproc, &l, 1, PKT_NORMAL) || !sendserver(dbproc, ps[i].data, l, PKT_NORMAL))
      return 0;
  }
  return 1;
}

// Sends MSG 2 (the encrypted login password) and, when remote passwords
// exist, MSG 3 (server name and encrypted password per entry).
int send_passwords(DBPROCESS* dbproc, LOGINREC* login, const BYTE* key, int keylen) {
  const unsigned char* rec = login->rec;
  BYTE enc[33];
  int enclen = 0;
  if (!db__encrypt_handler(dbproc, reinterpret_cast<const char*>(rec + L_PWD), rec[L_PWD + 30], key,
                           keylen, enc, sizeof enc, &enclen))
    return fail_dead(dbproc, 20222, 10);
  OutParam p{kVarbinary, enc, enclen};
  if (!send_msg_header(dbproc, 2) || !send_params(dbproc, &p, 1)) return 0;
  int used = rec[L_RPWLEN];
  if (used > 0) {
    OutParam ps[128];
    BYTE encs[64][33];
    int n = 0, k = 0;
    int pos = 0;
    while (pos + 2 <= used && k < 64) {
      int sl = rec[L_RPW + pos];
      if (pos + 1 + sl + 1 > used) break;
      const BYTE* server = rec + L_RPW + pos + 1;
      int pl = rec[L_RPW + pos + 1 + sl];
      if (pos + 2 + sl + pl > used) break;
      const char* pw = reinterpret_cast<const char*>(rec + L_RPW + pos + 2 + sl);
      int el = 0;
      if (!db__encrypt_handler(dbproc, pw, pl, key, keylen, encs[k], 33, &el))
        return fail_dead(dbproc, 20222, 10);
      ps[n++] = OutParam{kVarchar, server, sl};
      ps[n++] = OutParam{kVarbinary, encs[k], el};
      ++k;
      pos += 2 + sl + pl;
    }
    if (!send_msg_header(dbproc, 3) || !send_params(dbproc, ps, n)) return 0;
  }
  return 1;
}

// Acts on one negotiation message; the token after it is current.
int db__handle_msg(DBPROCESS* dbproc, LOGINREC* login) {
  dbnegmsg* msg = dbproc->curmsg;
  unsigned char bits = login->rec[L_SECLOGIN];
  switch (msg->id) {
    case 1: {
      if (!(bits & 1) || msg->nparams != 1 || !msg->params) return fail_dead(dbproc, 20210);
      dbparam* key = msg->params;
      if (bits & 6) {
        comn_free(dbproc->savedkey);
        dbproc->savedkey = static_cast<BYTE*>(comn_malloc(static_cast<std::size_t>(key->datalen) + 1));
        if (!dbproc->savedkey) return fail_dead(dbproc, 20010, 8);
        if (key->datalen > 0) std::memcpy(dbproc->savedkey, key->data, static_cast<std::size_t>(key->datalen));
        dbproc->savedkeylen = static_cast<unsigned char>(key->datalen);
        if (dbproc->token != TK_MSG) return fail_dead(dbproc, 20210);
        if (!dbsvmsg(dbproc)) return 0;
        return db__handle_msg(dbproc, login);
      }
      if (dbproc->token != TK_DONE) return fail_dead(dbproc, 20210);
      if (!dbdone(dbproc)) return 0;
      if (!send_passwords(dbproc, login, key->data, key->datalen)) return 0;
      if (!sendeom(dbproc, PKT_NORMAL, 0)) return 0;
      return db__next_token(dbproc);
    }
    case 4:
      if (!(bits & 2) || msg->nparams != 1) return fail_dead(dbproc, 20210);
      if (dbproc->token != TK_DONE) return fail_dead(dbproc, 20210);
      if (!dbdone(dbproc)) return 0;
      // No challenge-response routine can be installed.
      return fail_dead(dbproc, 20223, 10);
    case 6:
      if (!(bits & 4) || msg->nparams != 0) return fail_dead(dbproc, 20210);
      if (dbproc->token != TK_DONE) return fail_dead(dbproc, 20210);
      if (!dbdone(dbproc)) return 0;
      if (dbproc->savedkey) {
        if (!send_passwords(dbproc, login, dbproc->savedkey, dbproc->savedkeylen)) return 0;
      }
      if (!db__send_labels(dbproc, login)) return 0;
      return db__next_token(dbproc);
    default:
      return fail_dead(dbproc, 20212);
  }
}

}  // namespace

int db__encrypt_handler(DBPROCESS*, const char* pwd, int pwdlen, const BYTE* key, int keylen,
                        BYTE* out, int outsize, int* outlen) {
  *outlen = 0;
  if (outsize < 33) return 0;
  return com__string_initialize(key, keylen, pwd, pwdlen, out, outlen);
}

int db__send_labels(DBPROCESS* dbproc, LOGINREC* login) {
  if (!login->labels) return fail_dead(dbproc, 20210);
  int n = 0, fmtlen = 2;
  for (dblabel* l = login->labels; l; l = l->next) {
    ++n;
    fmtlen += static_cast<int>(std::strlen(l->name)) + 9;
  }
  if (!send_msg_header(dbproc, 7)) return 0;
  BYTE hdr[5] = {TK_PARAMFMT, static_cast<BYTE>(fmtlen >> 8), static_cast<BYTE>(fmtlen & 0xff),
                 static_cast<BYTE>(n >> 8), static_cast<BYTE>(n & 0xff)};
  if (!sendserver(dbproc, hdr, 5, PKT_NORMAL)) return 0;
  for (dblabel* l = login->labels; l; l = l->next) {
    BYTE nl = static_cast<BYTE>(std::strlen(l->name));
    BYTE f[8] = {0, 0, 0, 0, 0, kVarchar, 255, 0};
    if (!sendserver(dbproc, &nl, 1, PKT_NORMAL) || !sendserver(dbproc, l->name, nl, PKT_NORMAL) ||
        !sendserver(dbproc, f, 8, PKT_NORMAL))
      return 0;
  }
  BYTE tk = TK_PARAMS;
  if (!sendserver(dbproc, &tk, 1, PKT_NORMAL)) return 0;
  for (dblabel* l = login->labels; l; l = l->next) {
    BYTE vl = static_cast<BYTE>(std::strlen(l->value));
    if (!sendserver(dbproc, &vl, 1, PKT_NORMAL) || !sendserver(dbproc, l->value, vl, PKT_NORMAL))
      return 0;
  }
  if (!sendeom(dbproc, PKT_NORMAL, 0)) return 0;
  login->labels = db__labelfree(login->labels);
  return 1;
}

int db__read_login_ack(DBPROCESS* dbproc) {
  uint16_t len;
  unsigned char status, ver[4], nl;
  if (!db__getu16(dbproc, &len) || !db__getbyte(dbproc, &status) || !recvserver(dbproc, ver, 4))
    return 0;
  int level = 0;
  if (ver[0] == 4 && ver[1] == 0) level = 3;
  else if (ver[0] == 4 && ver[1] == 2) level = 4;
  else if (ver[0] == 4 && ver[1] == 6) level = 5;
  else if (ver[0] == 4 && ver[1] == 9) level = 6;
  else if (ver[0] == 5 && ver[1] == 0) level = 7;
  if (level == 0) return fail_dead(dbproc, 20146);
  dbproc->protolevel = level;
  if (!db__getbyte(dbproc, &nl) || !db__discard(dbproc, nl + 4)) return 0;
  int used = 1 + 4 + 1 + nl + 4;
  if (len > used && !db__discard(dbproc, len - used)) return 0;
  if (level < 7) {
    dbproc->ackstatus = 5;
  } else {
    if (status != 5 && status != 6 && status != 7) return fail_dead(dbproc, 20210);
    dbproc->ackstatus = status;
  }
  return db__next_token(dbproc);
}

int db__negotiate(DBPROCESS* dbproc, LOGINREC* login) {
  for (;;) {
    if (dbproc->token != TK_MSG) return fail_dead(dbproc, 20210);
    if (!dbsvmsg(dbproc) || !db__handle_msg(dbproc, login)) return 0;
    for (;;) {
      unsigned char t = dbproc->token;
      if (t == TK_ERROR || t == TK_INFO || t == TK_EED) {
        if (!dbsvinfo(dbproc)) return 0;
      } else if (t == TK_ENVCHANGE) {
        if (!db__envchange(dbproc)) return 0;
      } else if (t == TK_LOGINACK) {
        if (!db__read_login_ack(dbproc)) return 0;
        if (dbproc->ackstatus != 7) return 1;
        break;  // wait for a new MSG
      } else if (t == TK_DONE) {
        dbproc->ackstatus = 6;
        return 1;
      } else {
        return fail_dead(dbproc, 20020);
      }
    }
  }
}

int dbsvlogin(DBPROCESS* dbproc, LOGINREC* login) {
  if (!db__read_login_ack(dbproc)) return 0;
  if (dbproc->ackstatus == 7) return db__negotiate(dbproc, login);
  return 1;
}

const BYTE kCapabilityToken[21] = {TK_CAPABILITY, 0x00, 0x12,
                                   0x01, 0x07, 0x00, 0x60, 0x81, 0xCF, 0xFF, 0xFE, 0x3E,
                                   0x02, 0x07, 0x00, 0x00, 0x00, 0x78, 0xC0, 0x00, 0x0E};

int db__send_capability(DBPROCESS* dbproc) {
  if (!dbproc->capmasks) {
    dbproc->capmasks = static_cast<BYTE*>(comn_malloc(14));
    if (!dbproc->capmasks) return fail_dead(dbproc, 20010, 8);
  }
  std::memcpy(dbproc->capmasks, kCapabilityToken + 5, 7);
  std::memcpy(dbproc->capmasks + 7, kCapabilityToken + 14, 7);
  return sendserver(dbproc, kCapabilityToken, sizeof kCapabilityToken, PKT_LOGIN);
}

int db__handle_capability(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  if (len != 18) return fail_dead(dbproc, 20203);
  for (int i = 0; i < 2; ++i) {
    unsigned char type, l, mask[7];
    if (!db__getbyte(dbproc, &type) || !db__getbyte(dbproc, &l)) return 0;
    if (type != 1 && type != 2) return fail_dead(dbproc, 20213);
    if (l != 7) return fail_dead(dbproc, 20203);
    if (!recvserver(dbproc, mask, 7)) return 0;
    if (!dbproc->capmasks) {
      dbproc->capmasks = static_cast<BYTE*>(comn_calloc(1, 14));
      if (!dbproc->capmasks) return fail_dead(dbproc, 20010, 8);
    }
    std::memcpy(dbproc->capmasks + (type == 1 ? 0 : 7), mask, 7);
  }
  return db__next_token(dbproc);
}
