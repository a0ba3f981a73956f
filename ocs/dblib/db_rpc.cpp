// Remote procedure calls: building and sending a call with its parameters,
// and reading the procedure's return values and return status.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "comnlib/com_num.h"
#include "comnlib/comn_alloc.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"
#include "db_charset.h"

namespace {

struct RpcParam {
  std::string name;
  unsigned char status;
  int type;
  int32_t maxlen;
  int32_t datalen;
  int precision;
  int scale;
  const BYTE* value;  // the caller's buffer, read when the call is sent
};

struct RpcRec {
  std::string name;
  int16_t options;
  std::vector<RpcParam> params;
};

RpcRec* rpc_of(DBPROCESS* dbproc) { return static_cast<RpcRec*>(dbproc->rpc); }

int refuse(DBPROCESS* dbproc, int err, int sev) {
  db__raise(dbproc, err, sev);
  return FAIL;
}

int send_byte(DBPROCESS* dbproc, int b, int type) {
  BYTE v = static_cast<BYTE>(b);
  return sendserver(dbproc, &v, 1, type);
}

// The bytes of a parameter's value as sent (numeric without its two
// leading precision and scale bytes).
const BYTE* value_bytes(const RpcParam& p) {
  if ((p.type == MERNUMERIC || p.type == MERDECIMAL) && p.value) return p.value + 2;
  return p.value;
}

// Sends a parameter's value, read from the caller's buffer now.  Integers,
// floats, money and datetimes are held in the host's order and go out
// big-endian, like everything the client writes; character, binary and
// exact-numeric bytes go as they are.
int send_value(DBPROCESS* dbproc, const RpcParam& p, int type) {
  if (p.datalen <= 0) return 1;
  switch (p.type) {
    case MERINTN: case MERFLTN: case MERMONEYN: case MERDATETIMN: {
      BYTE wire[8];
      if (p.datalen > static_cast<int32_t>(sizeof wire)) return 0;  // refused by dbrpcparam
      std::memcpy(wire, p.value, static_cast<std::size_t>(p.datalen));
      db__host_to_wire(p.type, wire, p.datalen);
      return sendserver(dbproc, wire, p.datalen, type);
    }
    default:
      return sendserver(dbproc, value_bytes(p), p.datalen, type);
  }
}

// The sizes a nullable fixed datatype has on the wire.
bool valid_fixed_size(int type, int32_t len) {
  if (type == MERINTN) return len == 1 || len == 2 || len == 4;
  return len == 4 || len == 8;  // float-n, money-n, datetime-n
}

// PARAMFMT and PARAMS for the call's parameters.
int send_param_tokens(DBPROCESS* dbproc, const RpcRec& r, int type) {
  int fmtlen = 2;
  for (const RpcParam& p : r.params) {
    fmtlen += static_cast<int>(p.name.size()) + 7 + 1;
    if (db__is_varytype(p.type)) fmtlen += 1;
    if (p.type == MERNUMERIC || p.type == MERDECIMAL) fmtlen += 2;
  }
  if (!send_byte(dbproc, TK_PARAMFMT, type) || !db__send16(dbproc, fmtlen, type) ||
      !db__send16(dbproc, static_cast<int>(r.params.size()), type))
    return 0;
  for (const RpcParam& p : r.params) {
    if (!send_byte(dbproc, static_cast<int>(p.name.size()), type) ||
        !sendserver(dbproc, p.name.data(), static_cast<int>(p.name.size()), type) ||
        !send_byte(dbproc, p.status, type) || !db__send32(dbproc, 0, type) ||
        !send_byte(dbproc, p.type, type))
      return 0;
    if (db__is_varytype(p.type) && !send_byte(dbproc, p.maxlen, type)) return 0;
    if ((p.type == MERNUMERIC || p.type == MERDECIMAL) &&
        (!send_byte(dbproc, p.precision, type) || !send_byte(dbproc, p.scale, type)))
      return 0;
    if (!send_byte(dbproc, 0, type)) return 0;
  }
  if (!send_byte(dbproc, TK_PARAMS, type)) return 0;
  for (const RpcParam& p : r.params) {
    if (db__is_varytype(p.type) && !send_byte(dbproc, p.datalen, type)) return 0;
    if (!send_value(dbproc, p, type)) return 0;
  }
  return 1;
}

// The older request form (an RPC token at level 7, none below).
int send_request(DBPROCESS* dbproc, const RpcRec& r, int type) {
  if (dbproc->protolevel >= 7) {
    int len = static_cast<int>(r.name.size()) + 3;
    for (const RpcParam& p : r.params) {
      len += static_cast<int>(p.name.size()) + 3 + p.datalen;
      if (db__is_varytype(p.type)) len += (p.type == MERTEXT || p.type == MERIMAGE) ? 8 : 2;
      if (p.type == MERNUMERIC || p.type == MERDECIMAL) len += 2;
    }
    if (!send_byte(dbproc, 0xE0, type) || !db__send16(dbproc, len, type)) return 0;
  }
  if (!send_byte(dbproc, static_cast<int>(r.name.size()), type) ||
      !sendserver(dbproc, r.name.data(), static_cast<int>(r.name.size()), type) ||
      !db__send16(dbproc, r.options, type))
    return 0;
  for (const RpcParam& p : r.params) {
    if (!send_byte(dbproc, static_cast<int>(p.name.size()), type) ||
        !sendserver(dbproc, p.name.data(), static_cast<int>(p.name.size()), type) ||
        !send_byte(dbproc, p.status, type) || !send_byte(dbproc, p.type, type))
      return 0;
    bool text = p.type == MERTEXT || p.type == MERIMAGE;
    if (db__is_varytype(p.type) && !(text ? db__send32(dbproc, p.maxlen, type) : send_byte(dbproc, p.maxlen, type)))
      return 0;
    if ((p.type == MERNUMERIC || p.type == MERDECIMAL) &&
        (!send_byte(dbproc, p.precision, type) || !send_byte(dbproc, p.scale, type)))
      return 0;
    if (db__is_varytype(p.type) && !(text ? db__send32(dbproc, p.datalen, type) : send_byte(dbproc, p.datalen, type)))
      return 0;
    if (!send_value(dbproc, p, type)) return 0;
  }
  return 1;
}

}  // namespace

void db__free_rpcrec(DBPROCESS* dbproc) {
  delete rpc_of(dbproc);
  dbproc->rpc = nullptr;
}

RETCODE dbrpcinit(DBPROCESS* dbproc, const char* rpcname, DBSMALLINT options) {
  if (!db__procchk(dbproc)) return FAIL;
  if (dbproc->oldlogin) return refuse(dbproc, 20120, 3);
  if (dbproc->status & DBST_CANCELLED) {
    dbproc->status &= ~(DBST_CANCELLED | DBST_ROWS);
    dbproc->batch |= DBB_NORESULTS;
  }
  if (dbproc->status & DBST_RPC) return refuse(dbproc, 20180, 1);
  if (!(dbproc->batch & DBB_NORESULTS)) return refuse(dbproc, 20019, 7);
  db__charset_pending(dbproc);
  if (!db__procchk(dbproc)) return FAIL;
  dbproc->curcmd = 0;
  dbproc->token = 0;
  tidyproc(dbproc);
  dbproc->batch &= ~DBB_NORESULTS;
  dbproc->status |= DBST_RPC;
  auto* r = new RpcRec;
  r->name = rpcname ? rpcname : "";
  if (r->name.size() > 255) r->name.resize(255);
  r->options = options;
  dbproc->rpc = r;
  return SUCCEED;
}

RETCODE dbrpcparam(DBPROCESS* dbproc, const char* paramname, BYTE status, int type, DBINT maxlen,
                   DBINT datalen, const BYTE* value) {
  if (!db__procchk(dbproc)) return FAIL;
  if ((status & 1) && type == MERVOID) return refuse(dbproc, 20291, 3);
  RpcRec* r = rpc_of(dbproc);
  if (!r) return refuse(dbproc, 20186, 1);
  std::string name = paramname ? paramname : "";
  if (name.size() >= 31) {
    char text[256];
    std::snprintf(text, sizeof text, "%s is an illegal value for the %s parameter of %s.",
                  name.substr(0, 60).c_str(), "paramname", "dbrpcparam()");
    db__raise(dbproc, 20194, 1, -1, text);
    return FAIL;
  }
  if (datalen != 0 && !value) return refuse(dbproc, 20208, 7);
  RpcParam p{name, status, type, 0, 0, 0, 0, value};
  auto fixed = [&](int wire, int size) {
    p.type = wire;
    p.maxlen = size;
    p.datalen = datalen != 0 ? size : 0;
  };
  switch (type) {
    case MERVOID: p.maxlen = 0; p.datalen = 0; break;
    case MERIMAGE: case MERTEXT: return refuse(dbproc, 20209, 7);
    case MERVARBINARY: case MERBINARY: case MERVARCHAR: case MERCHAR:
    case MERSENSITIVITY: case MERBOUNDARY:
      if (type == MERSENSITIVITY || type == MERBOUNDARY) {
        if (Db__GlobalRec.version < 2 || dbproc->protolevel < 7) return refuse(dbproc, 20060, 7);
        int bit = type == MERSENSITIVITY ? 0x20 : 0x40;
        if (!dbproc->capmasks || !(dbproc->capmasks[1] & bit)) return refuse(dbproc, 20220, 7);
      } else {
        p.type = (type == MERVARBINARY || type == MERBINARY) ? MERVARBINARY : MERVARCHAR;
      }
      if (datalen == -1) return refuse(dbproc, 20113, 7);
      p.maxlen = maxlen == -1 ? 255 : maxlen;
      p.datalen = datalen;
      if (p.maxlen > 255 || p.datalen > 255 || p.datalen < 0) return refuse(dbproc, 20194, 1);
      break;
    case MERINTN: case MERFLTN: case MERMONEYN: case MERDATETIMN:
      p.maxlen = maxlen;
      if (maxlen == -1) {
        if (datalen == -1 || datalen == 0) return refuse(dbproc, 20114, 7);
        p.maxlen = datalen;
      }
      // Any other size would put a value on the wire that the server
      // cannot read, and the stream out of step.
      if (!valid_fixed_size(type, p.maxlen)) return refuse(dbproc, 20114, 7);
      p.datalen = datalen == 0 ? 0 : p.maxlen;
      break;
    case MERINT1: fixed(MERINTN, 1); break;
    case MERBIT: p.maxlen = 1; p.datalen = 1; break;
    case MERINT2: fixed(MERINTN, 2); break;
    case MERINT4: fixed(MERINTN, 4); break;
    case MERDATETIME4: fixed(MERDATETIMN, 4); break;
    case MERDATETIME: fixed(MERDATETIMN, 8); break;
    case MERREAL: fixed(MERFLTN, 4); break;
    case MERFLT8: fixed(MERFLTN, 8); break;
    case MERMONEY: fixed(MERMONEYN, 8); break;
    case MERMONEY4: fixed(MERMONEYN, 4); break;
    case MERDECIMAL: case MERNUMERIC: {
      if (dbproc->protolevel < 7) return refuse(dbproc, Db__GlobalRec.version == 2 ? 20220 : 20060, 7);
      int prec = value && datalen != 0 ? value[0] : 18;
      int scale = value && datalen != 0 ? value[1] : 0;
      if (prec < 1 || prec > 77 || scale > prec) return refuse(dbproc, 20216, 7);
      p.precision = prec;
      p.scale = scale;
      p.maxlen = comn_num_getlen(prec);
      p.datalen = datalen != 0 ? p.maxlen : 0;
      break;
    }
    default:
      return refuse(dbproc, 20060, 7);
  }
  r->params.push_back(p);
  return SUCCEED;
}

RETCODE dbrpcsend(DBPROCESS* dbproc) {
  if (!db__procchk(dbproc)) return FAIL;
  RpcRec* r = rpc_of(dbproc);
  if (!r) return refuse(dbproc, 20186, 1);
  int type = dbproc->protolevel >= 7 ? PKT_NORMAL : PKT_RPC;
  bool dbrpc = Db__GlobalRec.version == 2 && dbproc->protolevel >= 7 && dbproc->capmasks &&
               (dbproc->capmasks[5] & 0x02);
  int ok;
  if (dbrpc) {
    int16_t options = static_cast<int16_t>(r->options | (r->params.empty() ? 0 : 0x02));
    ok = send_byte(dbproc, 0xE6, type) && db__send16(dbproc, static_cast<int>(r->name.size()) + 3, type) &&
         send_byte(dbproc, static_cast<int>(r->name.size()), type) &&
         sendserver(dbproc, r->name.data(), static_cast<int>(r->name.size()), type) &&
         db__send16(dbproc, options, type) && (r->params.empty() || send_param_tokens(dbproc, *r, type));
  } else {
    ok = send_request(dbproc, *r, type);
  }
  dbproc->batchsent = 1;
  dbproc->status &= ~DBST_EOM;
  if (!ok || !sendeom(dbproc, type, 1)) return FAIL;
  dbproc->status &= ~DBST_RPC;
  db__free_rpcrec(dbproc);
  return SUCCEED;
}

int db__read_retval_entry(DBPROCESS* dbproc, dbparam* p) {
  unsigned char nl, type;
  dbcolumn c{};
  if (!db__getbyte(dbproc, &nl) || !db__read_name(dbproc, nl, p->name, sizeof p->name) ||
      !db__getbyte(dbproc, &p->status) || !db__get32(dbproc, &p->usertype) || !db__getbyte(dbproc, &type))
    return 0;
  p->namelen = static_cast<unsigned char>(std::strlen(p->name));
  p->type = type;
  c.type = type;
  if (!dbread_collen(dbproc, &c)) return 0;
  comn_free(c.texttable);
  p->maxlen = c.maxlen;
  p->precision = c.precision;
  p->scale = c.scale;
  if (type == MERTEXT || type == MERIMAGE) {
    dbproc->status |= DBST_RETTEXT;
    return 1;
  }
  int32_t dl = c.maxlen;
  if (db__is_varytype(type)) {
    unsigned char b;
    if (!db__getbyte(dbproc, &b)) return 0;
    dl = b;
  }
  if (dl == 0) return 1;
  if (!db__check_nlen(dbproc, type, c.maxlen, dl)) return 0;
  bool numeric = type == MERNUMERIC || type == MERDECIMAL;
  if (numeric && !db__check_numlen(dbproc, type, c.precision, dl)) return 0;
  int32_t size = numeric ? 35 : dl;
  p->data = static_cast<BYTE*>(db__alloc(dbproc, static_cast<std::size_t>(size)));
  if (!p->data) return 0;
  if (numeric) {
    p->data[0] = static_cast<BYTE>(c.precision);
    p->data[1] = static_cast<BYTE>(c.scale);
    if (!recvserver(dbproc, p->data + 2, dl)) return 0;
  } else {
    if (!recvserver(dbproc, p->data, dl)) return 0;
    db__wire_to_host(type, p->data, dl);
  }
  p->datalen = size;
  return 1;
}

int dbsvretval(DBPROCESS* dbproc) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int64_t start = dbproc->net->consumed;
  dbparam** tail = &dbproc->retvals;
  while (*tail) tail = &(*tail)->next;
  while (dbproc->net->consumed - start < len) {
    auto* p = static_cast<dbparam*>(db__alloc(dbproc, sizeof(dbparam)));
    if (!p) return 0;
    *tail = p;
    tail = &p->next;
    if (!db__read_retval_entry(dbproc, p)) return 0;
  }
  // An entry that ran past the token's length: the stream is out of step.
  if (dbproc->net->consumed - start != len) {
    db__badtoken(dbproc);
    return 0;
  }
  return db__next_token(dbproc);
}

DBBOOL dbhasretstat(DBPROCESS* dbproc) { return dbproc ? dbproc->hasretstat : 0; }
DBINT dbretstatus(DBPROCESS* dbproc) { return dbproc ? dbproc->retstatus : 0; }

// The numbered return parameters: inside an event handler every parameter
// of the event, otherwise the return values of output parameters only.
static bool numbered(DBPROCESS* dbproc, const dbparam* p) {
  return (dbproc->status & DBST_EVENTHANDLER) || (p->status & 0x1);
}
static dbparam* ret_list(DBPROCESS* dbproc) {
  if ((dbproc->status & DBST_EVENTHANDLER) && dbproc->curevent) return dbproc->curevent->params;
  return dbproc->retvals;
}

static dbparam* nth_ret(DBPROCESS* dbproc, int n) {
  if (!dbproc || n < 1) return nullptr;
  for (dbparam* p = ret_list(dbproc); p; p = p->next)
    if (numbered(dbproc, p) && --n == 0) return p;
  return nullptr;
}

int dbnumrets(DBPROCESS* dbproc) {
  if (!dbproc) return -1;
  int n = 0;
  for (dbparam* p = ret_list(dbproc); p; p = p->next)
    if (numbered(dbproc, p)) ++n;
  return n;
}
char* dbretname(DBPROCESS* dbproc, int n) {
  dbparam* p = nth_ret(dbproc, n);
  return p ? p->name : nullptr;
}
int dbrettype(DBPROCESS* dbproc, int n) {
  dbparam* p = nth_ret(dbproc, n);
  if (!p) return -1;
  switch (p->type) {
    case MERINTN: return p->maxlen == 1 ? MERINT1 : p->maxlen == 2 ? MERINT2 : MERINT4;
    case MERFLTN: return p->maxlen == 4 ? MERREAL : MERFLT8;
    case MERMONEYN: return p->maxlen == 4 ? MERMONEY4 : MERMONEY;
    case MERDATETIMN: return p->maxlen == 4 ? MERDATETIME4 : MERDATETIME;
    case MERVARBINARY: return MERBINARY;
    case MERVARCHAR: return MERCHAR;
    default: return p->type;
  }
}
DBINT dbretlen(DBPROCESS* dbproc, int n) {
  dbparam* p = nth_ret(dbproc, n);
  return p ? p->datalen : -1;
}
BYTE* dbretdata(DBPROCESS* dbproc, int n) {
  dbparam* p = nth_ret(dbproc, n);
  return p && p->datalen > 0 ? p->data : nullptr;
}
