// Scanning a line field by field: sscan, nscan and the garg* readers.
#include <cctype>
#include <cfloat>
#include <cmath>

#include "vos/indef.h"
#include "vos/scan.h"

namespace vos {
namespace {

struct ScanState {
  std::string text;
  std::size_t ip = 0;
  int count = 0;
  bool stopped = false;
};

ScanState& st() {
  static ScanState s;
  return s;
}

// Reads the next number; false (and the scan stops) when none.
bool next_double(double& v) {
  ScanState& s = st();
  if (s.stopped) return false;
  if (ctod(s.text, s.ip, v) == 0) {
    s.stopped = true;
    return false;
  }
  ++s.count;
  return true;
}

// A number narrowed to an integer type: truncated toward zero; INDEF or a
// magnitude beyond `limit` gives `indef`.
long narrow(double v, double limit, long indef) {
  if (is_indef(v) || !std::isfinite(v) || std::fabs(v) > limit) return indef;
  return static_cast<long>(std::trunc(v));
}

}  // namespace

void sscan(std::string_view text) {
  ScanState& s = st();
  s.text = std::string(text);
  s.ip = 0;
  s.count = 0;
  s.stopped = false;
}

int nscan() { return st().count; }

void gargd(double& value) {
  double v;
  if (next_double(v)) value = v;
}

void gargr(float& value) {
  double v;
  if (!next_double(v)) return;
  value = (is_indef(v) || !std::isfinite(v) || std::fabs(v) > FLT_MAX) ? INDEFR : static_cast<float>(v);
}

void gargi(int& value) {
  double v;
  if (next_double(v)) value = static_cast<int>(narrow(v, 2147483647.0, INDEFI));
}

void gargl(long& value) {
  double v;
  if (next_double(v)) value = narrow(v, 2147483647.0, INDEFL);
}

void gargs(short& value) {
  double v;
  if (next_double(v)) value = static_cast<short>(narrow(v, 32767.0, INDEFS));
}

void gargb(bool& value) {
  ScanState& s = st();
  if (s.stopped) return;
  std::size_t i = s.ip;
  while (i < s.text.size() && (s.text[i] == ' ' || s.text[i] == '\t')) ++i;
  char c = i < s.text.size() ? s.text[i] : '\0';
  if (c != 'y' && c != 'Y' && c != 'n' && c != 'N') {
    s.stopped = true;
    return;
  }
  value = (c == 'y' || c == 'Y');
  ++i;
  while (i < s.text.size() && (std::isalpha(static_cast<unsigned char>(s.text[i])) || s.text[i] == '_')) ++i;
  s.ip = i;
  ++s.count;
}

void gargwrd(std::string& word, std::size_t maxch) {
  ScanState& s = st();
  if (s.stopped) return;
  std::string w;
  if (ctowrd(s.text, s.ip, w, maxch) == 0) {
    s.stopped = true;
    return;
  }
  word = std::move(w);
  ++s.count;
}

void gargstr(std::string& text, std::size_t maxch) {
  ScanState& s = st();
  if (s.stopped) return;
  std::string rest = s.ip < s.text.size() ? s.text.substr(s.ip) : std::string();
  s.ip = s.text.size();
  if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  if (rest.size() > maxch) rest.resize(maxch);
  text = std::move(rest);
  ++s.count;
}

}  // namespace vos
