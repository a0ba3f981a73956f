#include "values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datetime.h"
#include "textutil.h"

namespace standin {
namespace {

enum class Cls { integer, bit, real, money, datetime, chars, binary, numeric, other };

Cls class_of(std::uint8_t type) {
  switch (type) {
    case 48: case 52: case 56: case 38: return Cls::integer;
    case 50: return Cls::bit;
    case 59: case 62: case 109: return Cls::real;
    case 60: case 122: case 110: return Cls::money;
    case 58: case 61: case 111: return Cls::datetime;
    case 39: case 47: case 35: return Cls::chars;
    case 37: case 45: case 34: return Cls::binary;
    case 106: case 108: return Cls::numeric;
    default: return Cls::other;
  }
}

std::uint64_t be_value(const std::string& s) {
  std::uint64_t v = 0;
  for (char c : s) v = v << 8 | static_cast<std::uint8_t>(c);
  return v;
}

// The value's size: the fixed size of its datatype, else its length.
std::size_t size_of(const ColumnFormat& f, const std::string& v) {
  std::size_t n = fixed_size(f.type);
  return n ? n : v.size();
}

// The size a value of the format takes when encoded.
std::size_t encoded_size(const ColumnFormat& f) {
  std::size_t n = fixed_size(f.type);
  return n ? n : f.max_length;
}

std::string money_text(std::int64_t units) {
  std::uint64_t a = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", units < 0 ? "-" : "", static_cast<unsigned long long>(a / 10000),
                static_cast<unsigned long long>(a % 10000));
  return buf;
}

// A numeric value's text: a sign byte, then the magnitude big-endian.
std::optional<std::string> numeric_text(const std::string& v, int scale) {
  if (v.size() < 2 || v.size() > 17) return std::nullopt;
  unsigned __int128 m = 0;
  for (std::size_t i = 1; i < v.size(); ++i) m = m << 8 | static_cast<std::uint8_t>(v[i]);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale)) digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  }
  return (v[0] ? "-" : "") + digits;
}

bool parse_int(const std::string& t, long long& v) {
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtoll(t.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

bool parse_double(const std::string& t, double& v) {
  if (t.empty()) return false;
  char* end = nullptr;
  v = std::strtod(t.c_str(), &end);
  return *end == '\0';
}

ColumnFormat format(std::uint8_t type, std::uint32_t max_length, std::uint32_t user_type) {
  ColumnFormat f;
  f.type = type;
  f.max_length = max_length;
  f.user_type = user_type;
  return f;
}

// A literal's length as a variable datatype's maximum: 1 to 255.
std::uint32_t clamp_length(std::size_t length) {
  return static_cast<std::uint32_t>(length ? std::min<std::size_t>(length, 255) : 1);
}

}  // namespace

std::string be_bytes(std::uint64_t v, std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>(v >> (8 * (n - 1 - k)));
  return s;
}

std::optional<std::string> value_text(const ColumnFormat& f, const WireValue& wv) {
  if (!wv) return std::nullopt;
  const std::string& v = *wv;
  const std::size_t n = size_of(f, v);
  if (v.size() != n && class_of(f.type) != Cls::chars && class_of(f.type) != Cls::binary) return std::nullopt;
  switch (class_of(f.type)) {
    case Cls::integer:
      if (n == 1) return std::to_string(static_cast<std::uint8_t>(v[0]));
      if (n == 2) return std::to_string(static_cast<std::int16_t>(be_value(v)));
      if (n == 4) return std::to_string(static_cast<std::int32_t>(be_value(v)));
      if (n == 8) return std::to_string(static_cast<std::int64_t>(be_value(v)));
      return std::nullopt;
    case Cls::bit:
      return std::string(n == 1 && v[0] ? "1" : "0");
    case Cls::real: {
      char buf[40];
      if (n == 4) {
        auto bits = static_cast<std::uint32_t>(be_value(v));
        float x;
        std::memcpy(&x, &bits, 4);
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(x));
      } else if (n == 8) {
        std::uint64_t bits = be_value(v);
        double x;
        std::memcpy(&x, &bits, 8);
        std::snprintf(buf, sizeof buf, "%.17g", x);
      } else {
        return std::nullopt;
      }
      return std::string(buf);
    }
    case Cls::money:
      if (n == 8) return money_text(static_cast<std::int64_t>(be_value(v)));
      if (n == 4) return money_text(static_cast<std::int32_t>(be_value(v)));
      return std::nullopt;
    case Cls::datetime: {
      DateTimeValue d;
      if (n == 8) {
        d.days = static_cast<std::int32_t>(be_value(v.substr(0, 4)));
        d.ticks = static_cast<std::uint32_t>(be_value(v.substr(4)));
      } else if (n == 4) {
        d.days = static_cast<std::int32_t>(be_value(v.substr(0, 2)));
        d.ticks = static_cast<std::uint32_t>(be_value(v.substr(2))) * 60u * 300u;
      } else {
        return std::nullopt;
      }
      if (d.ticks >= 25920000u) return std::nullopt;
      return to_stored(d);
    }
    case Cls::chars:
      return v;
    case Cls::binary:
      return "0x" + hex_digits(v);
    case Cls::numeric:
      return numeric_text(v, f.scale);
    case Cls::other:
      return std::nullopt;
  }
  return std::nullopt;
}

bool value_from_text(const ColumnFormat& f, const std::string& t, WireValue& out) {
  const std::size_t n = encoded_size(f);
  long long i = 0;
  double d = 0;
  switch (class_of(f.type)) {
    case Cls::integer: {
      if (!parse_int(t, i)) return false;
      bool fits = n == 1 ? i >= 0 && i <= 255 : n == 2 ? i >= -32768 && i <= 32767
                : n == 4 ? i >= INT32_MIN && i <= INT32_MAX : n == 8;
      if (!fits) return false;
      out = be_bytes(static_cast<std::uint64_t>(i), n);
      return true;
    }
    case Cls::bit:
      if (!parse_int(t, i)) return false;
      out = std::string(1, i ? '\1' : '\0');
      return true;
    case Cls::real:
      if (!parse_double(t, d)) return false;
      if (n == 4) {
        float x = static_cast<float>(d);
        std::uint32_t bits;
        std::memcpy(&bits, &x, 4);
        out = be_bytes(bits, 4);
      } else {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out = be_bytes(bits, 8);
      }
      return true;
    case Cls::money: {
      if (!parse_double(t, d) || !(std::fabs(d) < 9.2e14)) return false;
      long long units = std::llround(d * 10000.0);
      if (n == 4 && (units < INT32_MIN || units > INT32_MAX)) return false;
      out = be_bytes(static_cast<std::uint64_t>(units), n == 4 ? 4 : 8);
      return true;
    }
    case Cls::datetime: {
      auto dt = parse_datetime(t);
      if (!dt) return false;
      if (n == 4) {
        if (dt->days < 0 || dt->days > 65535) return false;
        out = be_bytes(static_cast<std::uint32_t>(dt->days), 2) + be_bytes((dt->ticks + 9000) / 18000, 2);
      } else {
        out = to_wire(*dt);
      }
      return true;
    }
    case Cls::chars:
      out = f.max_length ? t.substr(0, f.max_length) : t;
      return true;
    case Cls::binary: {
      if (t.size() < 2 || t[0] != '0' || (t[1] != 'x' && t[1] != 'X')) {
        out = t;
        return true;
      }
      std::string b;
      std::string digits = (t.size() % 2 ? "0" : "") + t.substr(2);
      for (std::size_t k = 0; k + 1 < digits.size(); k += 2) {
        char pair[3] = {digits[k], digits[k + 1], 0};
        char* end = nullptr;
        long x = std::strtol(pair, &end, 16);
        if (*end) return false;
        b += static_cast<char>(x);
      }
      out = f.max_length ? b.substr(0, f.max_length) : b;
      return true;
    }
    default:
      return false;
  }
}

BindValue bind_value(const ColumnFormat& f, const WireValue& v) {
  BindValue b;
  auto text = value_text(f, v);
  if (!text) return b;
  switch (class_of(f.type)) {
    case Cls::integer:
    case Cls::bit:
      b.kind = BindValue::integer;
      b.i = std::strtoll(text->c_str(), nullptr, 10);
      break;
    case Cls::real:
    case Cls::money:
    case Cls::numeric:
      b.kind = BindValue::real;
      b.d = std::strtod(text->c_str(), nullptr);
      break;
    case Cls::binary:
      b.kind = BindValue::blob;
      b.s = *v;
      break;
    default:
      b.kind = BindValue::text;
      b.s = *text;
  }
  return b;
}

ColumnFormat int_format() { return format(kTypeIntN, 4, 7); }
ColumnFormat float_format() { return format(kTypeFloatN, 8, 8); }
ColumnFormat varchar_format(std::size_t length) { return format(kTypeVarChar, clamp_length(length), 2); }
ColumnFormat varbinary_format(std::size_t length) { return format(kTypeVarBinary, clamp_length(length), 4); }

}  // namespace standin
