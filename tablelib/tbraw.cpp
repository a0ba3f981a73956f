// Raw element access: one stored value at a known 1-based char position of
// a binary table file, without conversion.  Values are big-endian; text is
// one byte per character, ended by a zero byte when shorter than its field.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "tablelib/tbcore.h"
#include "tbbytes.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

namespace {

constexpr int kMaxTextChars = 1023;

// Reads exactly nchars chars at pos into buf; a short read raises
// "<who>:  unexpected end of file".
void read_at(Table* tp, int pos, unsigned char* buf, long nchars, const char* who) {
  long n = vos::read_at(tp->fd, pos, buf, nchars);
  if (n < nchars) vos::error(1, std::string(who) + ":  unexpected end of file");
}

void write_at(Table* tp, int pos, const unsigned char* buf, long nchars) {
  vos::write_at(tp->fd, pos, buf, nchars);
}

// Reads the text field of `cp` at `pos` into `buf` (2 * 1023 + 2 bytes);
// returns the text's length: up to the first zero byte, at most maxch.
std::size_t read_text(Table* tp, Column* cp, int pos, unsigned char* buf, int maxch) {
  const int nchars = std::clamp(tbeszt(cp), 0, kMaxTextChars);
  read_at(tp, pos, buf, nchars, "tbegpt");
  const std::size_t nbytes = 2 * static_cast<std::size_t>(nchars);
  const std::size_t len = strnlen(reinterpret_cast<const char*>(buf), nbytes);
  return std::min(len, static_cast<std::size_t>(std::max(maxch, 0)));
}

}  // namespace

// Chars of one text element: the cell length for the old char type 2,
// otherwise (N + 1) / 2 for a text column of at most N characters.
int tbeszt(const Column* cp) {
  if (cp->dtype == kTyChar) return cp->length;
  return (1 - cp->dtype) / 2;
}

void tbegpb(Table* tp, Column*, int pos, int, bool& v) {
  unsigned char b[4];
  read_at(tp, pos, b, 2, "tbegpb");
  v = get_i32(b) != 0;
}

void tbegpd(Table* tp, Column*, int pos, int, double& v) {
  unsigned char b[8];
  read_at(tp, pos, b, 4, "tbegpd");
  v = get_f64(b);
}

void tbegpr(Table* tp, Column*, int pos, int, float& v) {
  unsigned char b[4];
  read_at(tp, pos, b, 2, "tbegpr");
  v = get_f32(b);
}

void tbegpi(Table* tp, Column*, int pos, int, int& v) {
  unsigned char b[4];
  read_at(tp, pos, b, 2, "tbegpi");
  v = get_i32(b);
}

void tbegps(Table* tp, Column*, int pos, int, short& v) {
  unsigned char b[2];
  read_at(tp, pos, b, 1, "tbegps");
  v = get_i16(b);
}

// Reads a text element: the field's bytes up to the first zero byte, at
// most maxch characters.
void tbegpt(Table* tp, Column* cp, int pos, int, std::string& text, int maxch) {
  std::array<unsigned char, 2 * kMaxTextChars + 2> buf;  // the read fills what is looked at
  text.assign(reinterpret_cast<const char*>(buf.data()), read_text(tp, cp, pos, buf.data(), maxch));
}

void tbegpt(Table* tp, Column* cp, int pos, int, char* out, int maxch) {
  const long nchars = std::clamp(tbeszt(cp), 0, kMaxTextChars);
  const std::size_t nbytes = 2 * static_cast<std::size_t>(nchars);
  if (out != nullptr && maxch >= 0 && nbytes <= static_cast<std::size_t>(maxch)) {
    // The field fits the caller's buffer with room for the NUL: read there.
    if (vos::read_at(tp->fd, pos, out, nchars) < nchars) {
      out[0] = '\0';
      vos::error(1, "tbegpt:  unexpected end of file");
    }
    out[strnlen(out, nbytes)] = '\0';
    return;
  }
  std::array<unsigned char, 2 * kMaxTextChars + 2> buf;
  const std::size_t len = read_text(tp, cp, pos, buf.data(), maxch);
  if (out == nullptr) return;
  std::memcpy(out, buf.data(), len);
  out[len] = '\0';
}

void tbeppb(Table* tp, Column*, int pos, int, bool v) {
  unsigned char b[4];
  put_i32(v ? 1 : 0, b);
  write_at(tp, pos, b, 2);
}

void tbeppd(Table* tp, Column*, int pos, int, double v) {
  unsigned char b[8];
  put_f64(v, b);
  write_at(tp, pos, b, 4);
}

void tbeppr(Table* tp, Column*, int pos, int, float v) {
  unsigned char b[4];
  put_f32(v, b);
  write_at(tp, pos, b, 2);
}

void tbeppi(Table* tp, Column*, int pos, int, int v) {
  unsigned char b[4];
  put_i32(v, b);
  write_at(tp, pos, b, 2);
}

void tbepps(Table* tp, Column*, int pos, int, short v) {
  unsigned char b[2];
  put_i16(v, b);
  write_at(tp, pos, b, 1);
}

// Writes a text element: the text cut to the field, a zero byte after it
// when shorter (the rest of the field is zero).
void tbeppt(Table* tp, Column* cp, int pos, int, std::string_view text) {
  const int nchars = std::clamp(tbeszt(cp), 0, kMaxTextChars);
  const std::size_t nbytes = 2 * static_cast<std::size_t>(nchars);
  std::array<unsigned char, 2 * kMaxTextChars + 2> buf;
  const std::size_t len = std::min({text.size(), static_cast<std::size_t>(kMaxTextChars), nbytes});
  std::memcpy(buf.data(), text.data(), len);
  std::memset(buf.data() + len, 0, nbytes - len);
  write_at(tp, pos, buf.data(), nchars);
}

}  // namespace tbl
