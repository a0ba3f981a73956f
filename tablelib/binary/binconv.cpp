// Element value conversion shared by every typed routine of the binary back
// ends (see binconv.h).
#include "binconv.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "bintext.h"
#include "vos/format.h"
#include "vos/scan.h"

namespace tbbin {

// --- helpers -------------------------------------------------------------------------

namespace {

// Nearest integer of v, halves away from zero, or `undef` when v is not a
// finite number or its nearest integer lies outside [lo, hi].
int64_t nint_in(double v, int64_t lo, int64_t hi, int64_t undef) {
  if (!std::isfinite(v)) return undef;
  double r = std::round(v);
  if (r < double(lo) || r > double(hi)) return undef;
  return int64_t(r);
}

// True when the nearest integer of v is nonzero (any NaN or huge value counts).
bool nint_nonzero(double v) { return !(std::fabs(v) < 0.5); }

// Double to real; beyond the real range gives the undefined real.
float to_real(double v) {
  if (std::isfinite(v) && std::fabs(v) > double(FLT_MAX)) return kIndefR;
  return float(v);
}

int32_t int_nint(double v, double limit) {
  if (std::isnan(v) || std::fabs(v) > limit) return kIndefI;
  return int32_t(nint_in(v, INT32_MIN, INT32_MAX, kIndefI));
}

int16_t short_nint(double v) {
  if (std::isnan(v) || std::fabs(v) > 32767.0) return kIndefS;
  return int16_t(nint_in(v, -32767, 32767, kIndefS));
}

// A decoded number cell as a double (bool: its word); strings not handled.
double number_of(const Cell& c) {
  switch (c.type) {
    case kBool: case kInt: return get_i32(c.p);
    case kShort: return get_i16(c.p);
    case kReal: return get_f32(c.p);
    default: return get_f64(c.p);
  }
}

}  // namespace

void put_null(uint8_t* p, int type, std::size_t bytes) {
  if (is_string(type)) {
    std::memset(p, 0, bytes);
    return;
  }
  if (bytes < std::size_t(number_chars(type)) * 2) return;  // a cell too short for its type
  switch (type) {
    case kBool: put_i32(p, 0); break;
    case kShort: put_i16(p, kIndefS); break;
    case kInt: put_i32(p, kIndefI); break;
    case kReal: put_f32(p, kIndefR); break;
    case kDouble: put_f64(p, kStoredIndefD); break;
    default: break;
  }
}

// --- parsing (the file layer's scanner) ---------------------------------------------

bool parse_d(const char* s, double* out) {
  vos::sscan(s);
  vos::gargd(*out);
  return vos::nscan() >= 1;
}

bool parse_b(const char* s, int32_t* out) {
  bool b = false;
  vos::sscan(s);
  vos::gargb(b);
  if (vos::nscan() < 1) return false;
  *out = b ? 1 : 0;
  return true;
}

bool parse_r(const char* s, float* out) {
  vos::sscan(s);
  vos::gargr(*out);
  return vos::nscan() >= 1;
}

bool parse_i(const char* s, int32_t* out) {
  int v = kIndefI;
  vos::sscan(s);
  vos::gargi(v);
  if (vos::nscan() < 1) return false;
  *out = v;
  return true;
}

bool parse_s(const char* s, int16_t* out) {
  short v = kIndefS;
  vos::sscan(s);
  vos::gargs(v);
  if (vos::nscan() < 1) return false;
  *out = v;
  return true;
}

// --- formatting (the file layer's formatter) ------------------------------------------

std::string format_value(const std::string& fmt, Arg kind, double v, int maxch) {
  std::string out;
  switch (kind) {
    case Arg::B: out = vos::sprintf(fmt, v != 0); break;
    case Arg::S: out = vos::sprintf(fmt, short(v)); break;
    case Arg::I: out = vos::sprintf(fmt, int(v)); break;
    case Arg::R: out = vos::sprintf(fmt, float(v)); break;
    case Arg::D: out = vos::sprintf(fmt, v); break;
  }
  if (maxch >= 0 && int(out.size()) > maxch) out.resize(std::size_t(maxch));
  return out;
}

// --- reading ------------------------------------------------------------------------

std::string cell_text(const Cell& c) {
  return std::string(reinterpret_cast<const char*>(c.p), field_text_length(c.p, c.bytes));
}

int32_t read_b(const Cell& c, Fam f, bool* flag) {
  *flag = false;
  if (is_string(c.type)) {
    std::string t = cell_text(c);
    int32_t v;
    if (t.empty() || !parse_b(t.c_str(), &v)) { *flag = true; return 0; }
    return v;
  }
  switch (c.type) {
    case kBool: return get_i32(c.p);
    case kShort: { int16_t v = get_i16(c.p); if (v == kIndefS) { *flag = true; return 0; } return v != 0; }
    case kInt: { int32_t v = get_i32(c.p); if (v == kIndefI) { *flag = true; return 0; } return v != 0; }
    case kReal: {
      float v = get_f32(c.p);
      if (v == kIndefR) { *flag = true; return 0; }
      return f == Fam::ArrayX ? v != 0 : nint_nonzero(v);
    }
    default: {
      double v = get_f64(c.p);
      if (v == kStoredIndefD) { *flag = true; return 0; }
      return f == Fam::ArrayX ? v != 0 : nint_nonzero(v);
    }
  }
}

double read_d(const Cell& c, Fam, bool* flag) {
  *flag = false;
  double v;
  if (is_string(c.type)) {
    if (!parse_d(cell_text(c).c_str(), &v)) v = kIndefD;
    *flag = v == kIndefD;
    return v;
  }
  switch (c.type) {
    case kBool: return get_i32(c.p) ? 1.0 : 0.0;
    case kShort: { int16_t s = get_i16(c.p); if (s == kIndefS) { *flag = true; return kIndefD; } return s; }
    case kInt: { int32_t i = get_i32(c.p); if (i == kIndefI) { *flag = true; return kIndefD; } return i; }
    case kReal: { float r = get_f32(c.p); if (r == kIndefR) { *flag = true; return kIndefD; } return r; }
    default: v = get_f64(c.p); if (v == kStoredIndefD) { *flag = true; return kIndefD; } return v;
  }
}

float read_r(const Cell& c, Fam f, bool* flag) {
  *flag = false;
  if (is_string(c.type)) {
    std::string t = cell_text(c);
    float r;
    if (f == Fam::ArrayX) {
      double d;
      if (!parse_d(t.c_str(), &d) || !(std::fabs(d) <= 9.9e36)) r = kIndefR;
      else r = float(d);
    } else if (!parse_r(t.c_str(), &r)) {
      r = kIndefR;
    }
    *flag = r == kIndefR;
    return r;
  }
  switch (c.type) {
    case kBool: return get_i32(c.p) ? 1.0f : 0.0f;
    case kShort: { int16_t s = get_i16(c.p); if (s == kIndefS) { *flag = true; return kIndefR; } return s; }
    case kInt: { int32_t i = get_i32(c.p); if (i == kIndefI) { *flag = true; return kIndefR; } return float(i); }
    case kReal: { float r = get_f32(c.p); *flag = r == kIndefR; return r; }
    default: {
      double d = get_f64(c.p);
      if (d == kStoredIndefD || !(std::isnan(d) || std::fabs(d) <= double(FLT_MAX))) {
        *flag = true;
        return kIndefR;
      }
      return float(d);
    }
  }
}

int32_t read_i(const Cell& c, Fam f, bool* flag) {
  *flag = false;
  if (is_string(c.type)) {
    double d;
    if (!parse_d(cell_text(c).c_str(), &d) || !(std::fabs(d) <= 2147483647.0)) {
      *flag = true;
      return kIndefI;
    }
    int32_t v = int_nint(d, 2147483647.0);
    if (v == kIndefI && f != Fam::RowX) *flag = true;
    return v;
  }
  int32_t v;
  switch (c.type) {
    case kBool: return get_i32(c.p) != 0;
    case kShort: { int16_t s = get_i16(c.p); if (s == kIndefS) { *flag = true; return kIndefI; } return s; }
    case kInt: v = get_i32(c.p); *flag = v == kIndefI; return v;
    case kReal: {
      float r = get_f32(c.p);
      if (r == kIndefR || !(std::fabs(r) <= 2147483648.0f)) { *flag = true; return kIndefI; }
      // 2147483648 itself lies beyond the int range: undefined as well.
      double rr = std::round(double(r));
      if (rr > 2147483647.0) { *flag = true; return kIndefI; }
      return int32_t(rr);
    }
    default: {
      double d = get_f64(c.p);
      if (d == kStoredIndefD || !(std::fabs(d) <= 2147483647.0)) { *flag = true; return kIndefI; }
      return int_nint(d, 2147483647.0);
    }
  }
}

int16_t read_s(const Cell& c, Fam f, bool* flag) {
  *flag = false;
  if (is_string(c.type)) {
    double d;
    if (!parse_d(cell_text(c).c_str(), &d)) { *flag = true; return kIndefS; }
    int16_t v = short_nint(d);
    *flag = v == kIndefS;
    return v;
  }
  switch (c.type) {
    case kBool: return get_i32(c.p) != 0;
    case kShort: { int16_t s = get_i16(c.p); *flag = s == kIndefS; return s; }
    case kInt: {
      int32_t i = get_i32(c.p);
      if (i == kIndefI || i > 32767 || i < -32767) { *flag = true; return kIndefS; }
      if (i == kIndefS && (f == Fam::RangeX || f == Fam::RowY)) *flag = true;
      return int16_t(i);
    }
    default: {
      double d = number_of(c);
      bool undef = (c.type == kReal) ? get_f32(c.p) == kIndefR : d == kStoredIndefD;
      if (undef) { *flag = true; return kIndefS; }
      int16_t v = short_nint(d);
      if (v == kIndefS && (std::isnan(d) || std::fabs(d) > 32767.0)) *flag = true;
      else if (v == kIndefS && f == Fam::RangeX) *flag = true;
      return v;
    }
  }
}

std::string read_t(const Cell& c, Fam, const std::string& fmt, int maxch, bool* flag) {
  *flag = false;
  if (maxch < 0) maxch = 0;
  std::string t;
  if (is_string(c.type)) {
    t = cell_text(c);
    *flag = t.empty();
  } else {
    switch (c.type) {
      case kBool: t = format_value(fmt, Arg::B, get_i32(c.p) != 0, maxch); break;
      case kShort: {
        int16_t s = get_i16(c.p);
        *flag = s == kIndefS;
        t = format_value(fmt, Arg::S, s, maxch);
        break;
      }
      case kInt: {
        int32_t i = get_i32(c.p);
        *flag = i == kIndefI;
        t = format_value(fmt, Arg::I, i, maxch);
        break;
      }
      case kReal: {
        float r = get_f32(c.p);
        *flag = r == kIndefR;
        t = format_value(fmt, Arg::R, r, maxch);
        break;
      }
      default: {
        double d = get_f64(c.p);
        if (d == kStoredIndefD) { *flag = true; t = "INDEF"; }
        else t = format_value(fmt, Arg::D, d, maxch);
        break;
      }
    }
  }
  if (int(t.size()) > maxch) t.resize(std::size_t(maxch));
  return t;
}

// --- writing ------------------------------------------------------------------------

void put_text_field(uint8_t* p, std::size_t bytes, const std::string& text) {
  std::size_t n = text.find('\0');
  if (n == std::string::npos) n = text.size();
  if (n > bytes) n = bytes;
  std::memcpy(p, text.data(), n);
  if (n < bytes) std::memset(p + n, 0, bytes - n);
}

namespace {

// Stores an already converted number into a number cell.
void store_bool(uint8_t* p, int32_t v) { put_i32(p, v); }

}  // namespace

void write_b(int32_t v, int type, Fam f, uint8_t* p, std::size_t bytes) {
  if (is_string(type)) {
    put_text_field(p, bytes, format_value("%-3b", Arg::B, v != 0));
    return;
  }
  (void)f;
  switch (type) {
    case kBool: store_bool(p, v); break;
    case kShort: put_i16(p, v != 0); break;
    case kInt: put_i32(p, v != 0); break;
    case kReal: put_f32(p, v != 0 ? 1.0f : 0.0f); break;
    case kDouble: put_f64(p, v != 0 ? 1.0 : 0.0); break;
  }
}

void write_d(double v, int type, Fam f, uint8_t* p, std::size_t bytes) {
  bool undef = v == kIndefD;
  if (is_string(type)) {
    const char* fmt = f == Fam::RowAppendX ? "%-25.16g" : f == Fam::ArrayX ? "%.16g" : "%-25.17g";
    put_text_field(p, bytes, format_value(fmt, Arg::D, v));
    return;
  }
  switch (type) {
    case kBool: {
      bool t;
      if (undef) t = false;
      else if (f == Fam::ArrayX) t = v != 0;
      else if (f == Fam::RowY && std::fabs(v) > 2147483647.0) t = false;
      else t = nint_nonzero(v);
      store_bool(p, t);
      break;
    }
    case kShort: put_i16(p, undef ? kIndefS : short_nint(v)); break;
    case kInt: put_i32(p, undef ? kIndefI : int_nint(v, 2147483647.0)); break;
    case kReal:
      if (undef || (f == Fam::ArrayX && std::fabs(v) > 9.9e36)) put_f32(p, kIndefR);
      else put_f32(p, to_real(v));
      break;
    case kDouble: put_f64(p, undef ? kStoredIndefD : v); break;
  }
}

void write_r(float v, int type, Fam f, uint8_t* p, std::size_t bytes) {
  bool undef = v == kIndefR;
  if (is_string(type)) {
    put_text_field(p, bytes, format_value(f == Fam::ArrayX ? "%.7g" : "%-15.7g", Arg::R, v));
    return;
  }
  switch (type) {
    case kBool: {
      bool t;
      if (undef) t = false;
      else if (f == Fam::ArrayX) t = v != 0;
      else if (f == Fam::RowY && std::fabs(v) > 2147483648.0f) t = false;
      else t = nint_nonzero(v);
      store_bool(p, t);
      break;
    }
    case kShort: put_i16(p, undef ? kIndefS : short_nint(v)); break;
    case kInt: put_i32(p, undef ? kIndefI : int_nint(v, 2147483648.0)); break;
    case kReal: put_f32(p, v); break;
    case kDouble: put_f64(p, undef ? kStoredIndefD : double(v)); break;
  }
}

void write_i(int32_t v, int type, Fam f, uint8_t* p, std::size_t bytes) {
  bool undef = v == kIndefI;
  if (is_string(type)) {
    put_text_field(p, bytes, format_value(f == Fam::ArrayX ? "%d" : "%-11d", Arg::I, v));
    return;
  }
  switch (type) {
    case kBool: store_bool(p, undef ? 0 : v != 0); break;
    case kShort: put_i16(p, (undef || v > 32767 || v < -32767) ? kIndefS : int16_t(v)); break;
    case kInt: put_i32(p, v); break;
    case kReal: put_f32(p, undef ? kIndefR : float(v)); break;
    case kDouble: put_f64(p, undef ? kStoredIndefD : double(v)); break;
  }
}

void write_s(int16_t v, int type, Fam f, uint8_t* p, std::size_t bytes) {
  bool undef = v == kIndefS;
  if (is_string(type)) {
    put_text_field(p, bytes, format_value(f == Fam::ArrayX ? "%d" : "%-11d", Arg::S, v));
    return;
  }
  switch (type) {
    case kBool: store_bool(p, undef ? 0 : v != 0); break;
    case kShort: put_i16(p, v); break;
    case kInt: put_i32(p, undef ? kIndefI : int32_t(v)); break;
    case kReal: put_f32(p, undef ? kIndefR : float(v)); break;
    case kDouble: put_f64(p, undef ? kStoredIndefD : double(v)); break;
  }
}

void write_t(const char* text, int maxpack, int type, Fam f, uint8_t* p, std::size_t bytes) {
  if (maxpack < 0) maxpack = 0;
  if (is_string(type)) {
    text_to_field(p, bytes, text, std::size_t(maxpack));
    return;
  }
  std::string t(text, strnlen(text, std::size_t(maxpack)));
  bool y = !row_ordered(f);
  switch (type) {
    case kBool: {
      int32_t b;
      store_bool(p, parse_b(t.c_str(), &b) ? b : 0);
      break;
    }
    case kShort: {
      int16_t s = kIndefS;
      double d;
      if (y) { if (!parse_s(t.c_str(), &s)) s = kIndefS; }
      else if (parse_d(t.c_str(), &d)) s = d == kIndefD ? kIndefS : short_nint(d);
      put_i16(p, s);
      break;
    }
    case kInt: {
      int32_t i = kIndefI;
      double d;
      if (y) { if (!parse_i(t.c_str(), &i)) i = kIndefI; }
      else if (parse_d(t.c_str(), &d)) i = d == kIndefD ? kIndefI : int_nint(d, 2147483647.0);
      put_i32(p, i);
      break;
    }
    case kReal: {
      float r = kIndefR;
      if (f == Fam::ArrayX) {
        double d;
        if (parse_d(t.c_str(), &d) && d != kIndefD && std::fabs(d) <= 9.9e36) r = float(d);
      } else if (!parse_r(t.c_str(), &r)) {
        r = kIndefR;
      }
      put_f32(p, r);
      break;
    }
    case kDouble: {
      double d;
      if (!parse_d(t.c_str(), &d) || d == kIndefD) d = kStoredIndefD;
      put_f64(p, d);
      break;
    }
  }
}

}  // namespace tbbin
