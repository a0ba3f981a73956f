// FITS column formats (see fits_tform.h).
#include "fits_tform.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "vos/error.h"

namespace tbftform {
namespace {

[[noreturn]] void refuse(const std::string& msg) { vos::error(1, msg); }

[[noreturn]] void unrecognized(std::string_view tform) {
  refuse("unrecognized TFORM:  `" + std::string(tform) + "'");
}

// Reads an unsigned decimal number at s[i]; returns -1 when there is none and
// INT_MAX when it does not fit.
long read_number(std::string_view s, std::size_t& i) {
  if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
  long v = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    if (v < INT_MAX / 10) v = v * 10 + (s[i] - '0');
    else v = INT_MAX;
    ++i;
  }
  return v;
}

bool scaled(double tscal, double tzero) { return tscal != 1.0 || tzero != 0.0; }

// True when a float holds every physical value of a scaled integer column
// whose stored values lie within +-`most` (binary B and I columns): an unscaled step and a whole
// offset, all within a float's 24-bit mantissa (unsigned 16-bit columns,
// TZERO 32768, are so).  Otherwise the column's values need a double.
bool float_holds(double tscal, double tzero, double most) {
  return tscal == 1.0 && tzero == std::floor(tzero) && std::fabs(tzero) + most <= 16777216.0;
}

}  // namespace

ColumnForm tbftyb(std::string_view tform, double tscal, double tzero) {
  std::string_view t = tform;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  std::size_t i = 0;
  long r = read_number(t, i);
  if (r < 0) r = 1;
  if (i >= t.size()) unrecognized(tform);
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
  ++i;
  ColumnForm f;
  f.letter = letter;
  // Repeat counts are bounded so that cell lengths stay within an int.
  if (r > 100000000) unrecognized(tform);
  int rep = static_cast<int>(r);
  if (letter == 'M') refuse("can't handle complex double precision");
  if (letter == 'P' || letter == 'Q') refuse("can't handle variable length arrays");
  if (letter == 'A') {
    long w = read_number(t, i);
    if (i != t.size()) unrecognized(tform);
    int width = rep, n = 1;
    if (w >= 0) {
      if (w == 0) unrecognized(tform);
      width = static_cast<int>(w);
      n = rep / width;
    }
    if (width < 1 || n < 1) unrecognized(tform);
    f.storage_type = f.data_type = -width;
    f.nelem = n;
    f.length = n * ((width + 1) / 2);
    return f;
  }
  if (i != t.size() || rep < 0) unrecognized(tform);
  switch (letter) {
    case 'B': case 'I': f.storage_type = 3; f.length = rep; break;
    case 'X': rep = (rep + 7) / 8; f.storage_type = 3; f.length = rep; break;
    case 'C': f.storage_type = 7; f.length = 4 * rep; break;
    case 'D': f.storage_type = 7; f.length = 4 * rep; break;
    case 'E': f.storage_type = 6; f.length = 2 * rep; break;
    case 'J': f.storage_type = 4; f.length = 2 * rep; break;
    case 'K': f.storage_type = 7; f.length = 4 * rep; f.wide = true; break;
    case 'L': f.storage_type = 1; f.length = 2 * rep; break;
    default: unrecognized(tform);
  }
  f.nelem = rep;
  f.data_type = f.storage_type;
  if (scaled(tscal, tzero)) {
    if (f.storage_type == 3 && float_holds(tscal, tzero, 32768.0)) { f.data_type = 6; f.length = 2 * rep; }
    else if (f.storage_type == 3 || f.storage_type == 4 || f.storage_type == 6) { f.data_type = 7; f.length = 4 * rep; }
    f.wide = false;  // scaled 64-bit integers are doubles like any scaled column
  }
  return f;
}

ColumnForm tbftya(std::string_view tform, double tscal, double tzero, int pwidth) {
  std::string_view t = tform;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  if (t.empty()) unrecognized(tform);
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  ColumnForm f;
  f.letter = letter;
  switch (letter) {
    case 'A': {
      std::size_t i = 1;
      long w = read_number(t, i);
      if (w < 1 || w > 1022) unrecognized(tform);
      f.storage_type = f.data_type = -static_cast<int>(w);
      f.length = static_cast<int>((w + 1) / 2);
      break;
    }
    case 'D': f.storage_type = f.data_type = 7; f.length = 4; break;
    case 'E': case 'F':
      f.storage_type = f.data_type = 6; f.length = 2;
      // A scaled float needs a double for its physical values.
      if (scaled(tscal, tzero)) { f.data_type = 7; f.length = 4; }
      break;
    case 'I':
      f.storage_type = f.data_type = 4; f.length = 2;
      if (!scaled(tscal, tzero)) {
        std::size_t i = 1;
        if (read_number(t, i) >= 10) {
          f.storage_type = f.data_type = 7; f.length = 4; f.wide = true;
        }
      } else {
        if (pwidth >= 0 && pwidth <= 7) { f.data_type = 6; f.length = 2; }
        else { f.data_type = 7; f.length = 4; }
      }
      break;
    default: unrecognized(tform);
  }
  return f;
}

std::string binary_tform(int storage_type, int nelem) {
  char letter;
  switch (storage_type) {
    case 1: letter = 'L'; break;
    case 3: letter = 'I'; break;
    case 4: letter = 'J'; break;
    case 6: letter = 'E'; break;
    case 7: letter = 'D'; break;
    default: letter = 'A'; break;
  }
  char buf[48];
  if (letter != 'A') {
    std::snprintf(buf, sizeof buf, "%d%c", nelem, letter);
  } else {
    int w = storage_type < 0 ? -storage_type : 1;
    if (nelem <= 1) std::snprintf(buf, sizeof buf, "%dA", w);
    else std::snprintf(buf, sizeof buf, "%lldA%d", static_cast<long long>(w) * nelem, w);
  }
  return buf;
}

std::string tbfptf(std::string_view pf) {
  auto bad = [&]() { refuse("bad print format `" + std::string(pf) + "'"); };
  if (pf.size() < 2 || pf[0] != '%') bad();
  static constexpr std::string_view codes = "fgdeHhMmbsxo";
  static constexpr std::string_view letters = "FGIEFFFFLAZO";
  char code = pf.back();
  std::size_t at = codes.find(code);
  if (at == std::string_view::npos) bad();
  char letter = letters[at];
  std::size_t start = (pf.size() > 2 && pf[1] == '-') ? 2 : 1;
  std::string_view pattern = pf.substr(start, pf.size() - 1 - start);
  std::size_t i = 0;
  long w = read_number(pattern, i);
  if (w < 0) w = 0;
  long d = 0;
  std::size_t dot = pattern.find('.');
  if (dot != std::string_view::npos) {
    std::size_t j = dot + 1;
    d = read_number(pattern, j);
    if (d < 0) d = 0;
  }
  if (w > 1000000) w = 1000000;
  if (d > 1000000) d = 1000000;
  char buf[64];
  if (code == 'H' || code == 'h') {
    std::snprintf(buf, sizeof buf, "%c%ld.%ld", letter, w + 4, d + 4);
  } else if (code == 'M' || code == 'm') {
    std::snprintf(buf, sizeof buf, "%c%ld.%ld", letter, w + 2, d + 2);
  } else if (!pattern.empty() && pattern[0] == '0' && (code == 'd' || code == 'o' || code == 'x')) {
    std::snprintf(buf, sizeof buf, "%c%ld.%ld", letter, w, w);
  } else {
    return std::string(1, letter) + std::string(pattern);
  }
  return buf;
}

std::string column_display(int storage_type, std::string_view print_format) {
  std::string d = tbfptf(print_format);
  if ((storage_type == 6 || storage_type == 7) && !d.empty() && d[0] == 'I') {
    std::size_t i = 1;
    long w = read_number(d, i);
    d = "F" + std::to_string(w > 0 ? w : 20) + ".0";
  }
  return d;
}

std::string tbftfo(int data_type, int display_width, std::string_view print_format) {
  char buf[48];
  if (data_type < 0 || data_type == 2 || data_type == 5 || data_type > 7) {
    std::snprintf(buf, sizeof buf, "A%d", display_width);
    return buf;
  }
  if (data_type == 3 || data_type == 4) {
    std::snprintf(buf, sizeof buf, "I%d", display_width);
    return buf;
  }
  if (data_type == 1) refuse("Boolean column not supported in FITS ASCII table");
  std::string d = tbfptf(print_format);
  if (data_type == 6) {
    if (d[0] == 'G') d[0] = 'E';
    if (d[0] != 'E' && d[0] != 'F')
      refuse("Use simple Fortran format for new column in FITS ASCII table");
  } else {
    if (d[0] == 'E' || d[0] == 'G') d[0] = 'D';
    if (d[0] == 'F') refuse("Use E format for double precision in FITS ASCII table");
    if (d[0] != 'D') refuse("Use simple Fortran format for new column in FITS ASCII table");
  }
  return d;
}

int print_width(std::string_view pf) {
  std::size_t p = pf.find('%');
  if (p == std::string_view::npos) return -1;
  std::size_t i = p + 1;
  if (i < pf.size() && pf[i] == '-') ++i;
  long w = read_number(pf, i);
  return w < 0 ? -1 : static_cast<int>(w > INT_MAX ? INT_MAX : w);
}

}  // namespace tbftform
