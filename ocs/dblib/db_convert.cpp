// Conversion entry points of the DB client: server datatypes to bind types,
// the conversion of one value through the conversion matrix (with the calling
// convention of its cell), the connection's null values and date cracking.
#include <bit>
#include <cstring>
#include <utility>
#include <map>
#include <string>

#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_date.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"

namespace {

// The null value of each bind type for a connection.  Kept beside the
// connection record; reset by binddefault at every open.
struct NullValues {
  std::string value[COM_BT_COUNT + 1];
  bool set[COM_BT_COUNT + 1] = {};
};
std::map<const DBPROCESS*, NullValues>& null_table() {
  static std::map<const DBPROCESS*, NullValues> t;
  return t;
}

// Fixed widths of the null values of the fixed-size bind types (0: not fixed).
int fixed_null_width(int t) {
  switch (t) {
    case COM_BT_I1: case COM_BT_BIT: return 1;
    case COM_BT_I2: return 2;
    case COM_BT_I4: case COM_BT_DATE4: case COM_BT_MNY4: case COM_BT_FLT4: return 4;
    case COM_BT_DATETIME: case COM_BT_MONEY: case COM_BT_FLT8: return 8;
    case COM_BT_NUMERIC: case COM_BT_DECIMAL: return 35;
    case COM_BT_VARYCHAR: case COM_BT_VARYBIN: return 258;
    default: return 0;
  }
}

bool version2() { return Db__GlobalRec.version == 2; }

bool valid_bind(int t) {
  if (t < 1 || t > COM_BT_COUNT || t == 5 || t == 7) return false;
  return !(t >= COM_BT_NUMERIC && !version2());
}

}  // namespace

int db__call_type(int srcbind, int dstbind) { return com_call_type(srcbind, dstbind); }

int dbmer2bind(DBPROCESS* dbproc, int datatype, DBINT length) {
  switch (datatype) {
    case 48: return COM_BT_I1;
    case 52: return COM_BT_I2;
    case 56: return COM_BT_I4;
    case 38:
      if (length == 1) return COM_BT_I1;
      if (length == 2) return COM_BT_I2;
      if (length == 4) return COM_BT_I4;
      db__raise(dbproc, 20025, 11);
      return -1;
    case 47: case 39: case 35:
      return length == -2 ? COM_BT_STRING : length == -1 ? COM_BT_NTBSTRING : COM_BT_CHAR;
    case 45: case 37: case 34: return COM_BT_BINARY;
    case 50: return COM_BT_BIT;
    case 61: return COM_BT_DATETIME;
    case 58: return COM_BT_DATE4;
    case 60: return COM_BT_MONEY;
    case 122: return COM_BT_MNY4;
    case 62: return COM_BT_FLT8;
    case 59: return COM_BT_FLT4;
    case 111:
      if (length == 8) return COM_BT_DATETIME;
      if (length == 4) return COM_BT_DATE4;
      db__raise(dbproc, 20143, 11);
      return -1;
    case 110:
      if (length == 8) return COM_BT_MONEY;
      if (length == 4) return COM_BT_MNY4;
      db__raise(dbproc, 20144, 11);
      return -1;
    case 109:
      if (length == 8) return COM_BT_FLT8;
      if (length == 4) return COM_BT_FLT4;
      db__raise(dbproc, 20145, 11);
      return -1;
    case 108: case 106: case 103: case 104:
      if (!version2()) {
        db__raise(dbproc, 20060, 11);
        return -1;
      }
      return datatype == 108 ? COM_BT_NUMERIC
             : datatype == 106 ? COM_BT_DECIMAL
             : datatype == 103 ? COM_BT_SENS : COM_BT_BOUND;
    default:
      db__raise(dbproc, (datatype & 0x30) == 0x20 ? 20028 : 20029, 11);
      return -1;
  }
}

DBBOOL dbbwillconvert(int srcbind, int destbind) {
  return com_matrix_cell(srcbind, destbind) != nullptr;
}

DBBOOL dbwillconvert(int srctype, int desttype) {
  int s = dbmer2bind(nullptr, srctype, -1), d = dbmer2bind(nullptr, desttype, -1);
  return s > 0 && d > 0 && dbbwillconvert(s, d);
}

DB_CVTPROC dbcvtproc(int srcbind, int destbind) {
  return reinterpret_cast<DB_CVTPROC>(com_matrix_cell(srcbind, destbind));
}

// The stored null value of a bind type for a connection (none without one).
void db__getnull_value(DBPROCESS* dbproc, int bindtype, const void** value, int* length) {
  *value = nullptr;
  *length = 0;
  if (!dbproc || bindtype < 1 || bindtype > COM_BT_COUNT) return;
  auto it = null_table().find(dbproc);
  if (it == null_table().end() || !it->second.set[bindtype]) return;
  const std::string& v = it->second.value[bindtype];
  *value = v.data();
  switch (bindtype) {
    case COM_BT_STRING: case COM_BT_NTBSTRING: case COM_BT_SENS: case COM_BT_BOUND:
      *length = static_cast<int>(std::strlen(v.c_str()));
      break;
    case COM_BT_VARYCHAR: case COM_BT_VARYBIN: {
      std::int16_t n;
      std::memcpy(&n, v.data(), 2);
      *length = n;
      *value = v.data() + 2;
      break;
    }
    default: *length = static_cast<int>(v.size()); break;
  }
}

// Raises the client error of a negative conversion result.
void db__raise_cvt_error(DBPROCESS* dbproc, int code) {
  int err = 0;
  switch (code) {
    case -1: err = 20049; break;
    case -2: err = 20048; break;
    case -3: err = 20050; break;
    case -4: err = 20051; break;
    case -5: err = 20052; break;
    case -6: err = 20218; break;
    case -7: case -8: case -106: case -108: err = 20219; break;
    default: return;
  }
  db__raise(dbproc, err, 4);
}

DBINT db__convertfunc(DBPROCESS* dbproc, ComAnyFn routine, int srctype, const BYTE* src,
                      DBINT srclen, int desttype, BYTE* dest, DBINT destlen, int prec,
                      int scale) {
  // The routines copy srclen bytes: a negative length is a malformed source,
  // refused before anything is read or written.
  if (srclen < 0) {
    db__raise(dbproc, 20218, 4);
    return -1;
  }
  if (!src || srclen == 0) {
    ComNullSetter setter = com_null_setter(desttype);
    if (!setter) {
      db__raise(dbproc, 20053, 4);
      return -1;
    }
    const void* nv = nullptr;
    int nl = 0;
    db__getnull_value(dbproc, desttype, &nv, &nl);
    int r = setter(dest, destlen, nv, nl, prec, scale);
    if (r < 0) {
      db__raise(dbproc, 20052, 4);
      return -1;
    }
    return r;
  }
  return db__convertcall(dbproc, routine, db__call_type(srctype, desttype), src, srclen, dest, destlen,
                         prec, scale);
}

DBINT db__convertcall_any(DBPROCESS* dbproc, ComAnyFn routine, int calltype, const BYTE* src,
                          DBINT srclen, BYTE* dest, DBINT destlen, int prec, int scale) {
  if (!routine) {
    db__raise(dbproc, 20053, 4);
    return -1;
  }
  // Only some conventions take the character set: looked up only for them.
  auto charattr = [dbproc]() {
    const COM_CHARATTRIB* attr = dbproc ? dbgetcharattrib(dbproc) : nullptr;
    return attr ? attr : com_get_charattrib();
  };
  int r;
  switch (calltype) {
    case 1: r = reinterpret_cast<ComCvt1>(routine)(src, srclen, dest, destlen); break;
    case 2: {
      // The month names and date order of the connection's locale, else of
      // the default locale (also without a connection), else the built-in.
      const char* months[12];
      db__getmonthlist(dbproc, months);
      r = reinterpret_cast<ComCvt2>(routine)(src, srclen, dest, destlen, months, db__shortmonth_list(dbproc),
                                             db__date_order(dbproc), charattr());
      break;
    }
    case 3:
      r = reinterpret_cast<ComCvt3>(routine)(src, srclen, dest, destlen, db__shortmonth_list(dbproc),
                                             db__date_style(dbproc));
      break;
    case 4: r = reinterpret_cast<ComCvt4>(routine)(src, srclen, dest, destlen, com_getfltfmt()); break;
    case 5: r = reinterpret_cast<ComCvt5>(routine)(src, srclen, dest, destlen, charattr()); break;
    case 6: r = reinterpret_cast<ComCvt6>(routine)(src, srclen, dest, destlen, prec, scale); break;
    case 7:
      r = reinterpret_cast<ComCvt7>(routine)(src, srclen, dest, destlen, prec, scale, charattr());
      break;
    default:
      db__raise(dbproc, 20053, 4);
      return -1;
  }
  if (r >= 0) return r;
  db__raise_cvt_error(dbproc, r);
  return -1;
}

DBINT dbbconvert(DBPROCESS* dbproc, int srcbind, const BYTE* src, DBINT srclen, int destbind,
                 BYTE* dest, DBINT destlen, DBTYPEINFO* typeinfo) {
  auto bad = [](int t) { return t < 1 || t > COM_BT_COUNT || (t >= 19 && !version2()); };
  if (bad(srcbind) || bad(destbind)) {
    db__raise(dbproc, 20053, 4);
    return -1;
  }
  if (!dest) {
    db__raise(dbproc, 20148, 4);
    return -1;
  }
  int prec = 18, scale = 0;
  if (destbind == COM_BT_NUMERIC || destbind == COM_BT_DECIMAL) {
    if (typeinfo) {
      if (typeinfo->precision < 1 || typeinfo->precision > 77) {
        db__raise(dbproc, 20216, 4);
        return 0;
      }
      if (typeinfo->scale < 0 || typeinfo->scale > 77 || typeinfo->scale > typeinfo->precision) {
        db__raise(dbproc, 20217, 4);
        return 0;
      }
      prec = typeinfo->precision;
      scale = typeinfo->scale;
    } else if ((srcbind == COM_BT_NUMERIC || srcbind == COM_BT_DECIMAL) && src && srclen >= 2) {
      prec = src[0];
      scale = src[1];
      if (prec < 1 || prec > 77 || scale > 77 || scale > prec) {
        db__raise(dbproc, 20218, 4);
        return 0;
      }
    }
  }
  ComAnyFn f = com_matrix_cell(srcbind, destbind);
  if (!f) {
    db__raise(dbproc, 20053, 4);
    return -1;
  }
  return db__convertfunc(dbproc, f, srcbind, src, srclen, destbind, dest, destlen, prec, scale);
}

namespace {

bool is_char_type(int type) { return type == 35 || type == 39 || type == 47; }

// The length of a source given with length -1: the text length of a text
// type, the width of a fixed-size type, else 0 (a NULL value).
int get_srclen(int type, const BYTE* src) {
  switch (type) {
    case 35: case 39: case 47: case 103: case 104:
      return src ? static_cast<int>(std::strlen(reinterpret_cast<const char*>(src))) : 0;
    case 48: case 50: return 1;
    case 52: return 2;
    case 56: case 58: case 59: case 122: return 4;
    case 60: case 61: case 62: return 8;
    case 106: case 108: return 35;
    default: return 0;
  }
}

}  // namespace

DBINT dbconvert_ps(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen, int desttype,
                   BYTE* dest, DBINT destlen, DBTYPEINFO* typeinfo) {
  int s = dbmer2bind(dbproc, srctype, srclen);
  int d = dbmer2bind(dbproc, desttype, destlen);
  if (s < 0 || d < 0) return -1;
  // -1 asks for the length to be worked out; for a character type -2 (a
  // NUL-ended string) too.  Any other negative length is refused further on.
  if (srclen == -1 || (srclen == -2 && is_char_type(srctype))) srclen = get_srclen(srctype, src);
  if (destlen == -1 || destlen == -2) destlen = 0;
  return dbbconvert(dbproc, s, src, srclen, d, dest, destlen, typeinfo);
}

DBINT dbconvert(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen, int desttype,
                BYTE* dest, DBINT destlen) {
  return dbconvert_ps(dbproc, srctype, src, srclen, desttype, dest, destlen, nullptr);
}

RETCODE dbsetnull(DBPROCESS* dbproc, int bindtype, int bindlen, const BYTE* value) {
  if (!value) {
    db__raise(dbproc, 20153, 7);
    return FAIL;
  }
  if (!valid_bind(bindtype) || bindtype == COM_BT_BIT) {
    db__raise(dbproc, 20023, 7);
    return FAIL;
  }
  NullValues& nv = null_table()[dbproc];
  std::string v;
  switch (bindtype) {
    case COM_BT_CHAR: case COM_BT_BINARY:
      if (bindlen < 0) {
        db__raise(dbproc, 20215, 7);
        return FAIL;
      }
      if (bindlen == 0) {
        nv.set[bindtype] = false;
        nv.value[bindtype].clear();
        return SUCCEED;
      }
      v.assign(reinterpret_cast<const char*>(value), static_cast<size_t>(bindlen));
      break;
    case COM_BT_STRING: case COM_BT_NTBSTRING: case COM_BT_SENS: case COM_BT_BOUND:
      v.assign(reinterpret_cast<const char*>(value));
      break;
    default:
      v.assign(reinterpret_cast<const char*>(value), static_cast<size_t>(fixed_null_width(bindtype)));
      break;
  }
  nv.value[bindtype] = std::move(v);
  nv.set[bindtype] = true;
  return SUCCEED;
}

// Gives every bind type the null value its null setter writes when given no
// value; called at the end of every open.
void dblib::binddefault(DBPROCESS* dbproc) {
  NullValues fresh;
  for (int t = 1; t <= COM_BT_COUNT; ++t) {
    if (!valid_bind(t)) continue;
    ComNullSetter setter = com_null_setter(t);
    if (!setter) continue;
    unsigned char buf[300] = {};
    int len = fixed_null_width(t);
    int r = setter(buf, len > 0 ? len : 0, nullptr, 0, 18, 0);
    if (r < 0) continue;
    switch (t) {
      case COM_BT_CHAR: case COM_BT_BINARY: continue;  // no null value: length 0
      case COM_BT_STRING: case COM_BT_NTBSTRING: case COM_BT_SENS: case COM_BT_BOUND:
        fresh.value[t].assign(reinterpret_cast<char*>(buf));
        break;
      default:
        fresh.value[t].assign(reinterpret_cast<char*>(buf), static_cast<size_t>(len));
        break;
    }
    fresh.set[t] = true;
  }
  null_table()[dbproc] = std::move(fresh);
}

// Forgets a connection's null values; called when the connection is freed.
void db__free_nulls(DBPROCESS* dbproc) { null_table().erase(dbproc); }

void dbfltfmt(const char* format) { com_setfltfmt(format); }

RETCODE dbdatecrack(DBPROCESS* dbproc, DBDATEPARTS* parts, DBDATETIME* value) {
  if (!value) {
    db__raise(dbproc, 20155, 7);
    return FAIL;
  }
  COM_DATETIME dt;
  std::memcpy(&dt, value, sizeof dt);
  if (!com__datetime_valid(&dt)) {
    db__raise(dbproc, 20218, 4);  // out of the datetime range: nothing to crack
    return FAIL;
  }
  COM_DATEREC rec{};
  com_datecrack(&dt, &rec);
  com_timecrack(&dt, &rec);
  static_assert(sizeof(COM_DATEREC) == 9 * sizeof(DBINT));
  std::memcpy(parts, &rec, sizeof rec);
  return SUCCEED;
}

namespace {

// Reverses each `word`-byte word (2, 4 or 8 bytes) of `n` bytes.
void swap_words(BYTE* p, int n, int word) {
  for (int at = 0; at + word <= n; at += word) {
    BYTE* w = p + at;
    if (word == 2) {
      uint16_t v;
      std::memcpy(&v, w, 2);
      v = __builtin_bswap16(v);
      std::memcpy(w, &v, 2);
    } else if (word == 4) {
      uint32_t v;
      std::memcpy(&v, w, 4);
      v = __builtin_bswap32(v);
      std::memcpy(w, &v, 4);
    } else {
      uint64_t v;
      std::memcpy(&v, w, 8);
      v = __builtin_bswap64(v);
      std::memcpy(w, &v, 8);
    }
  }
}

}  // namespace

void db__wire_to_host(int type, BYTE* data, int len) {
  if constexpr (std::endian::native == std::endian::big) return;
  if (!data || len <= 0) return;
  int word = db__wire_word(type, len);
  if (word > 1) swap_words(data, len, word);
}

// Reversing the words is its own inverse.
void db__host_to_wire(int type, BYTE* data, int len) { db__wire_to_host(type, data, len); }
