// Internal conversion and binding routines of the DB client, shared by the
// result, row and login code.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "comnlib/com_cvt.h"
#include "comnlib/com_types.h"
#include "dblib/dblib.h"

// The argument list of a matrix cell's routine (1 to 7).
int db__call_type(int srcbind, int dstbind);

// Converts one value through `routine` (the matrix cell for the two bind
// types); a missing or empty source goes through the target's null setter
// with the connection's null value.  Returns the converted length, or -1
// after raising the client error.
DBINT db__convertfunc(DBPROCESS* dbproc, ComAnyFn routine, int srctype, const BYTE* src,
                      DBINT srclen, int desttype, BYTE* dest, DBINT destlen, int prec,
                      int scale);
void db__raise_cvt_error(DBPROCESS* dbproc, int code);
// The same for a value that is there (src not null, srclen above 0), the
// routine's calling convention being known already.
DBINT db__convertcall_any(DBPROCESS* dbproc, ComAnyFn routine, int calltype, const BYTE* src,
                          DBINT srclen, BYTE* dest, DBINT destlen, int prec, int scale);
// db__convertcall_any, with the plain convention (1), which most values
// take, called in place; text to a string, the commonest, done here.
inline DBINT db__convertcall(DBPROCESS* dbproc, ComAnyFn routine, int calltype, const BYTE* src,
                             DBINT srclen, BYTE* dest, DBINT destlen, int prec, int scale) {
  if (calltype != 1 || !routine)
    return db__convertcall_any(dbproc, routine, calltype, src, srclen, dest, destlen, prec, scale);
  int r = routine == reinterpret_cast<ComAnyFn>(&com_chartostring) && src && srclen != 0
              ? com__tostring(reinterpret_cast<const char*>(src), srclen, reinterpret_cast<char*>(dest), destlen)
              : reinterpret_cast<ComCvt1>(routine)(src, srclen, dest, destlen);
  if (r >= 0) return r;
  db__raise_cvt_error(dbproc, r);
  return -1;
}

namespace dblib {
// The target length that binding passes to the conversion routines.
DBINT calc_bindlen(int vartype, DBINT varlen, DBINT collen);
}  // namespace dblib

// Copies the current regular row into the bound variables (FAIL when any
// column failed; every column is still copied).
RETCODE dbdobind(DBPROCESS* dbproc);
// The same for the current compute row.
RETCODE dbdoabind(DBPROCESS* dbproc);

// The connection's null values.
namespace dblib {
void binddefault(DBPROCESS* dbproc);
}  // namespace dblib
void db__getnull_value(DBPROCESS* dbproc, int bindtype, const void** value, int* length);
void db__free_nulls(DBPROCESS* dbproc);

// Puts a fixed-size server value received in the wire's big-endian order
// into the host's order, in place, so that program variables and the
// conversion routines see native integers, floats, money and datetimes.
// Character, binary, text and exact-numeric values are left as they are.
void db__wire_to_host(int type, BYTE* data, int len);
// The size of the words in which db__wire_to_host reorders a value of `len`
// bytes of `type`: 0 for the values it leaves as they are.  Inline, since
// rows ask it for every value.
inline int db__wire_word(int type, int len) {
  switch (type) {
    case MERINT2: case MERINT4: case MERINTN: case MERREAL: case MERFLT8: case MERFLTN:
    case MERMONEY4:
      return len == 2 || len == 4 || len == 8 ? len : 0;
    case MERMONEY: case MERDATETIME:
      return 4;  // two 32-bit words, each in host order
    case MERMONEYN: case MERDATETIMN:
      return len == 8 ? 4 : (type == MERMONEYN ? 4 : 2);
    case MERDATETIME4:
      return 2;  // days and minutes, 16 bits each
    default:
      return 0;
  }
}
// db__wire_to_host for a value read with a row, inline: a value of two
// 32-bit words (a datetime or money, the commonest) is reordered here, any
// other through db__wire_to_host.
inline void db__row_to_host(int type, BYTE* data, int len) {
  const int word = db__wire_word(type, len);
  if (word <= 1) return;
  if constexpr (std::endian::native == std::endian::little) {
    if (word == 4 && len == 8) {
      uint32_t w[2];
      std::memcpy(w, data, 8);
      w[0] = __builtin_bswap32(w[0]);
      w[1] = __builtin_bswap32(w[1]);
      std::memcpy(data, w, 8);
      return;
    }
  }
  db__wire_to_host(type, data, len);
}
// The reverse, for values the client sends (RPC parameters): a host value
// put into the wire's big-endian order, in place.
void db__host_to_wire(int type, BYTE* data, int len);
