// Conversions between stored elements and the caller types (see tbconv.h).
#include "tbconv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tablelib/tables.h"
#include "tablelib/tbtypes.h"
#include "vos/format.h"
#include "vos/scan.h"

namespace tbl {

namespace {

constexpr int kMaxNumText = 255;  // formatted numbers written to text columns

bool is_text(int type) { return type < 0 || type == kTyChar; }

// Scans text as one number; false when nothing reads.
bool scan_double(const std::string& t, double& x) {
  x = kIndefD;
  vos::sscan(t);
  vos::gargd(x);
  return vos::nscan() >= 1;
}

std::string cut(std::string s, int maxch) {
  if (maxch < 0) maxch = 0;
  if (s.size() > static_cast<std::size_t>(maxch)) s.resize(static_cast<std::size_t>(maxch));
  return s;
}

// Nearest integer of v as not 0; false for NaN and values beyond the int range.
bool nearest_nonzero(double v) {
  if (!(std::fabs(v) < 2147483647.5)) return false;
  return std::round(v) != 0.0;
}

}  // namespace

int nearest_int(double v) {
  if (!(std::fabs(v) < 2147483647.5)) return kIndefI;
  return static_cast<int>(std::round(v));
}

short nearest_short(double v) {
  if (!(std::fabs(v) <= 32767.0)) return kIndefS;
  return static_cast<short>(std::round(v));
}

// ---- stored -> caller ---------------------------------------------------------

double raw_to_d(const Raw& v) {
  switch (v.type) {
    case kTyDouble: return v.d == kStoredIndefD ? kIndefD : v.d;
    case kTyReal: return v.r == kIndefR ? kIndefD : static_cast<double>(v.r);
    case kTyInt: return v.i == kIndefI ? kIndefD : v.i;
    case kTyShort: return v.s == kIndefS ? kIndefD : v.s;
    case kTyBool: return v.b ? 1.0 : 0.0;
    default: {
      double x;
      return scan_double(v.t, x) ? x : kIndefD;
    }
  }
}

float raw_to_r(const Raw& v) {
  switch (v.type) {
    case kTyDouble:
      if (v.d == kStoredIndefD || !(std::fabs(v.d) <= 9.9e36)) return kIndefR;
      return static_cast<float>(v.d);
    case kTyReal: return v.r;
    case kTyInt: return v.i == kIndefI ? kIndefR : static_cast<float>(v.i);
    case kTyShort: return v.s == kIndefS ? kIndefR : v.s;
    case kTyBool: return v.b ? 1.0f : 0.0f;
    default: {
      float x = kIndefR;
      vos::sscan(v.t);
      vos::gargr(x);
      return vos::nscan() >= 1 ? x : kIndefR;
    }
  }
}

int raw_to_i(const Raw& v) {
  switch (v.type) {
    case kTyDouble: return v.d == kStoredIndefD ? kIndefI : nearest_int(v.d);
    case kTyReal: return v.r == kIndefR ? kIndefI : nearest_int(v.r);
    case kTyInt: return v.i;
    case kTyShort: return v.s == kIndefS ? kIndefI : v.s;
    case kTyBool: return v.b ? 1 : 0;
    default: {
      double x;
      if (!scan_double(v.t, x) || x == kIndefD) return kIndefI;
      return nearest_int(x);
    }
  }
}

short raw_to_s(const Raw& v) {
  switch (v.type) {
    case kTyDouble: return v.d == kStoredIndefD ? kIndefS : nearest_short(v.d);
    case kTyReal: return v.r == kIndefR ? kIndefS : nearest_short(v.r);
    case kTyInt:
      if (v.i == kIndefI || v.i < -32767 || v.i > 32767) return kIndefS;
      return static_cast<short>(v.i);
    case kTyShort: return v.s;
    case kTyBool: return v.b ? 1 : 0;
    default: {
      double x;
      if (!scan_double(v.t, x) || x == kIndefD) return kIndefS;
      return nearest_short(x);
    }
  }
}

bool raw_to_b(const Raw& v) {
  switch (v.type) {
    case kTyDouble: return v.d != kStoredIndefD && nearest_nonzero(v.d);
    case kTyReal: return v.r != kIndefR && nearest_nonzero(v.r);
    case kTyInt: return v.i != kIndefI && v.i != 0;
    case kTyShort: return v.s != kIndefS && v.s != 0;
    case kTyBool: return v.b;
    default: {
      bool x = false;
      vos::sscan(v.t);
      vos::gargb(x);
      return vos::nscan() >= 1 && x;
    }
  }
}

std::string raw_to_t(const Raw& v, std::string_view fmt, int maxch) {
  switch (v.type) {
    case kTyDouble:
      if (v.d == kStoredIndefD) return cut("INDEF", maxch);
      return cut(vos::sprintf(fmt, v.d), maxch);
    case kTyReal: return cut(vos::sprintf(fmt, v.r), maxch);
    case kTyInt: return cut(vos::sprintf(fmt, v.i), maxch);
    case kTyShort: return cut(vos::sprintf(fmt, v.s), maxch);
    case kTyBool: return cut(vos::sprintf(fmt, v.b), maxch);
    default: return cut(v.t, maxch);
  }
}

// ---- caller -> stored -----------------------------------------------------------

Raw raw_from_d(double v, int type) {
  Raw out;
  out.type = type;
  const bool undef = v == kIndefD;
  switch (type) {
    case kTyDouble: out.d = undef ? kStoredIndefD : v; break;
    case kTyReal:
      out.r = (undef || !(std::fabs(v) <= 9.9e36)) ? kIndefR : static_cast<float>(v);
      break;
    case kTyInt: out.i = undef ? kIndefI : nearest_int(v); break;
    case kTyShort: out.s = undef ? kIndefS : nearest_short(v); break;
    case kTyBool: out.b = !undef && nearest_nonzero(v); break;
    default: out.t = vos::sprintf_max(kMaxNumText, "%-25.17g", v); break;
  }
  return out;
}

Raw raw_from_r(float v, int type) {
  Raw out;
  out.type = type;
  const bool undef = v == kIndefR;
  switch (type) {
    case kTyDouble: out.d = undef ? kStoredIndefD : static_cast<double>(v); break;
    case kTyReal: out.r = v; break;
    case kTyInt: out.i = undef ? kIndefI : nearest_int(v); break;
    case kTyShort: out.s = undef ? kIndefS : nearest_short(v); break;
    case kTyBool: out.b = !undef && nearest_nonzero(v); break;
    default: out.t = vos::sprintf_max(kMaxNumText, "%-15.7g", v); break;
  }
  return out;
}

Raw raw_from_i(int v, int type) {
  Raw out;
  out.type = type;
  const bool undef = v == kIndefI;
  switch (type) {
    case kTyDouble: out.d = undef ? kStoredIndefD : v; break;
    case kTyReal: out.r = undef ? kIndefR : static_cast<float>(v); break;
    case kTyInt: out.i = v; break;
    case kTyShort:
      out.s = (undef || v < -32767 || v > 32767) ? kIndefS : static_cast<short>(v);
      break;
    case kTyBool: out.b = !undef && v != 0; break;
    default: out.t = vos::sprintf_max(kMaxNumText, "%-11d", v); break;
  }
  return out;
}

Raw raw_from_s(short v, int type) {
  Raw out;
  out.type = type;
  const bool undef = v == kIndefS;
  switch (type) {
    case kTyDouble: out.d = undef ? kStoredIndefD : v; break;
    case kTyReal: out.r = undef ? kIndefR : v; break;
    case kTyInt: out.i = undef ? kIndefI : v; break;
    case kTyShort: out.s = v; break;
    case kTyBool: out.b = !undef && v != 0; break;
    default: out.t = vos::sprintf_max(kMaxNumText, "%-11d", v); break;
  }
  return out;
}

Raw raw_from_b(bool v, int type) {
  Raw out;
  out.type = type;
  switch (type) {
    case kTyDouble: out.d = v ? 1.0 : 0.0; break;
    case kTyReal: out.r = v ? 1.0f : 0.0f; break;
    case kTyInt: out.i = v ? 1 : 0; break;
    case kTyShort: out.s = v ? 1 : 0; break;
    case kTyBool: out.b = v; break;
    default: out.t = vos::sprintf_max(kMaxNumText, "%-3b", v); break;
  }
  return out;
}

Raw raw_from_t(std::string_view v, int type) {
  Raw out;
  out.type = type;
  if (is_text(type)) {
    out.t.assign(v);
    return out;
  }
  vos::sscan(v);
  switch (type) {
    case kTyDouble: {
      double x = kIndefD;
      vos::gargd(x);
      out.d = (vos::nscan() < 1 || x == kIndefD) ? kStoredIndefD : x;
      break;
    }
    case kTyReal: {
      float x = kIndefR;
      vos::gargr(x);
      out.r = vos::nscan() < 1 ? kIndefR : x;
      break;
    }
    case kTyInt: {
      int x = kIndefI;
      vos::gargi(x);
      out.i = vos::nscan() < 1 ? kIndefI : x;
      break;
    }
    case kTyShort: {
      short x = kIndefS;
      vos::gargs(x);
      out.s = vos::nscan() < 1 ? kIndefS : x;
      break;
    }
    default: {
      bool x = false;
      vos::gargb(x);
      out.b = vos::nscan() >= 1 && x;
      break;
    }
  }
  return out;
}

void copy_text(char* buf, std::string_view text, int maxch) {
  if (buf == nullptr) return;
  std::size_t n = std::min(text.size(), static_cast<std::size_t>(std::max(maxch, 0)));
  if (n > 0) n = strnlen(text.data(), n);  // cut at an embedded NUL
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

}  // namespace tbl
