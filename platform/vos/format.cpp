// Formatted output in the VOS style (see vos/format.h for the conversions).
#include "vos/format.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "vos/indef.h"
#include "vos/scan.h"

namespace vos {
namespace {

struct Conv {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  int width = 0;
  int prec = -1;
  char conv = 0;
};

// A numeric view of an argument: integer or floating, possibly undefined.
struct Num {
  bool indef = false;
  bool is_int = false;
  long i = 0;
  double d = 0.0;
};

Num numeric(const Arg& a) {
  Num n;
  switch (a.kind()) {
    case Arg::Kind::Bool:
      n.is_int = true;
      n.i = a.int_value();
      break;
    case Arg::Kind::Short:
      n.is_int = true;
      n.i = a.int_value();
      n.indef = n.i == INDEFS;
      break;
    case Arg::Kind::Int:
    case Arg::Kind::Long:
      n.is_int = true;
      n.i = a.int_value();
      n.indef = n.i == INDEFI;
      break;
    case Arg::Kind::Real:
      n.d = a.real_value();
      n.indef = static_cast<float>(n.d) == INDEFR;
      break;
    case Arg::Kind::Double:
      n.d = a.real_value();
      n.indef = is_indef(n.d);
      break;
    case Arg::Kind::String: {
      std::size_t ip = 0;
      double v = 0;
      if (ctod(a.str(), ip, v) == 0) {
        n.indef = true;
      } else {
        n.d = v;
        n.indef = is_indef(v);
      }
      break;
    }
  }
  return n;
}

double as_double(const Num& n) { return n.is_int ? static_cast<double>(n.i) : n.d; }

// Nearest integer, halves away from zero; false when it does not fit a long.
bool as_long(const Num& n, long& out) {
  if (n.is_int) {
    out = n.i;
    return true;
  }
  if (!std::isfinite(n.d)) return false;
  double r = std::round(n.d);
  if (r >= 9.2e18 || r <= -9.2e18) return false;
  out = static_cast<long>(r);
  return true;
}

std::string sign_prefix(const Conv& s, bool negative) {
  if (negative) return "-";
  if (s.plus) return "+";
  if (s.space) return " ";
  return "";
}

// Pads `body` to the field width; zero padding goes after a sign.
std::string pad(const Conv& s, std::string body, bool numeric_field) {
  if (s.width <= 0 || body.size() >= static_cast<std::size_t>(s.width)) return body;
  std::size_t fill = static_cast<std::size_t>(s.width) - body.size();
  if (s.left) return body + std::string(fill, ' ');
  if (s.zero && numeric_field) {
    std::size_t at = (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) ? 1 : 0;
    body.insert(at, fill, '0');
    return body;
  }
  return std::string(fill, ' ') + body;
}

std::string fmt_integer(const Conv& s, const Num& n) {
  long v;
  if (n.indef || !as_long(n, v)) return pad(s, "INDEF", false);
  char buf[64];
  Conv field = s;
  std::string digits;
  if (s.conv == 'x' || s.conv == 'X' || s.conv == 'o') {
    const char* f = s.conv == 'x' ? "%lx" : s.conv == 'X' ? "%lX" : "%lo";
    // Values that fit 32 bits print as 32-bit words.
    unsigned long u = (v >= -2147483648L && v <= 4294967295L) ? static_cast<unsigned long>(static_cast<unsigned>(v))
                                                             : static_cast<unsigned long>(v);
    std::snprintf(buf, sizeof buf, f, u);
    digits = buf;
  } else {
    unsigned long mag = v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    std::snprintf(buf, sizeof buf, "%lu", mag);
    digits = buf;
  }
  // A precision is the minimum number of digits (and turns zero fill off).
  if (s.prec >= 0) {
    field.zero = false;
    if (digits.size() < static_cast<std::size_t>(s.prec)) digits.insert(0, static_cast<std::size_t>(s.prec) - digits.size(), '0');
  }
  if (s.conv == 'x' || s.conv == 'X' || s.conv == 'o') return pad(field, digits, true);
  return pad(field, sign_prefix(s, v < 0) + digits, true);
}

std::string fmt_float(const Conv& s, const Num& n) {
  if (n.indef) return pad(s, "INDEF", false);
  double v = as_double(n);
  char f[8] = {'%', '.', '*', s.conv, 0};
  char buf[512];
  int prec = s.prec < 0 ? 6 : (s.prec > 100 ? 100 : s.prec);
  std::snprintf(buf, sizeof buf, f, prec, std::fabs(v));
  return pad(s, sign_prefix(s, std::signbit(v) && v != 0.0) + buf, std::isfinite(v));
}

// Sexagesimal: h:mm:ss.s (conv 'h') or m:ss.s (conv 'm').
std::string fmt_sexa(const Conv& s, const Num& n) {
  if (n.indef) return pad(s, "INDEF", false);
  double v = as_double(n);
  int prec = s.prec < 0 ? 0 : (s.prec > 9 ? 9 : s.prec);
  const double seconds = std::fabs(v) * (s.conv == 'h' ? 3600.0 : 60.0);
  // Decimals of a second that would not fit the count are beyond what the
  // double holds anyway: give them up before the whole value.
  while (prec > 0 && seconds * std::pow(10.0, prec) > 9e18) --prec;
  double scale = std::pow(10.0, prec);
  double units = seconds * scale;
  // A value too large to count in seconds is written whole, as a number.
  if (!std::isfinite(units) || units > 9e18) return fmt_float(Conv{s.left, false, false, false, s.width, 17, 'g'}, n);
  long long total = std::llround(units);
  long long frac_units = static_cast<long long>(scale);
  long long secs_whole = total / frac_units;
  long long frac = total % frac_units;
  long long sec = secs_whole % 60;
  long long rest = secs_whole / 60;
  std::string body = sign_prefix(s, v < 0 && total != 0);
  char buf[96];
  if (s.conv == 'h') std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", rest / 60, rest % 60, sec);
  else std::snprintf(buf, sizeof buf, "%lld:%02lld", rest, sec);
  body += buf;
  if (prec > 0) {
    std::snprintf(buf, sizeof buf, ".%0*lld", prec, frac);
    body += buf;
  }
  return pad(s, body, true);
}

std::string natural_text(const Arg& a) {
  Num n = numeric(a);
  if (n.indef) return "INDEF";
  char buf[64];
  if (n.is_int) return std::to_string(n.i);
  std::snprintf(buf, sizeof buf, a.kind() == Arg::Kind::Real ? "%.7g" : "%.16g", n.d);
  return buf;
}

bool truth(const Arg& a) {
  if (a.kind() == Arg::Kind::String) {
    std::string_view t = a.str();
    std::size_t i = t.find_first_not_of(" \t");
    if (i == std::string_view::npos) return false;
    char c = t[i];
    return c == 'y' || c == 'Y' || c == 't' || c == 'T';
  }
  Num n = numeric(a);
  return n.is_int ? n.i != 0 : n.d != 0.0;
}

}  // namespace

std::string vformat(std::string_view fmt, std::initializer_list<Arg> args) {
  std::string out;
  const Arg* next = args.begin();
  auto take = [&]() -> const Arg* { return next != args.end() ? next++ : nullptr; };
  std::size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t start = i++;
    if (i < fmt.size() && fmt[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    Conv s;
    for (; i < fmt.size(); ++i) {
      if (fmt[i] == '-') s.left = true;
      else if (fmt[i] == '0') s.zero = true;
      else if (fmt[i] == '+') s.plus = true;
      else if (fmt[i] == ' ') s.space = true;
      else break;
    }
    auto number = [&](int& target) {
      if (i < fmt.size() && fmt[i] == '*') {
        ++i;
        const Arg* a = take();
        long v = a ? numeric(*a).i : 0;
        if (v < 0) {
          s.left = true;
          v = -v;
        }
        target = static_cast<int>(v > 4096 ? 4096 : v);
        return;
      }
      long v = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        if (v < 4096) v = v * 10 + (fmt[i] - '0');
        ++i;
      }
      target = static_cast<int>(v > 4096 ? 4096 : v);
    };
    number(s.width);
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      s.prec = 0;
      number(s.prec);
    }
    if (i >= fmt.size()) {
      out.append(fmt.substr(start));
      break;
    }
    s.conv = fmt[i++];
    switch (s.conv) {
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'e': case 'E':
      case 'f': case 'F': case 'g': case 'G': case 'h': case 'm': case 's': case 'c':
      case 'b':
        break;
      default:
        out.append(fmt.substr(start, i - start));
        continue;
    }
    const Arg* a = take();
    if (!a) continue;
    switch (s.conv) {
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o':
        out += fmt_integer(s, numeric(*a));
        break;
      case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        out += fmt_float(s, numeric(*a));
        break;
      case 'h': case 'm':
        out += fmt_sexa(s, numeric(*a));
        break;
      case 'b':
        out += pad(s, truth(*a) ? "yes" : "no", false);
        break;
      case 'c': {
        std::string ch;
        if (a->kind() == Arg::Kind::String) ch = std::string(a->str().substr(0, 1));
        else ch.assign(1, static_cast<char>(numeric(*a).i));
        out += pad(s, ch, false);
        break;
      }
      case 's': {
        std::string t = a->kind() == Arg::Kind::String ? std::string(a->str()) : natural_text(*a);
        if (s.prec >= 0 && t.size() > static_cast<std::size_t>(s.prec)) t.resize(static_cast<std::size_t>(s.prec));
        out += pad(s, t, false);
        break;
      }
    }
  }
  return out;
}

std::string itoc(long value) { return std::to_string(value); }

}  // namespace vos
