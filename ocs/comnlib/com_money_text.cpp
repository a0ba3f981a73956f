// The money text reader: blanks, one sign and one currency symbol in any
// order, digits with thousands separators, at most four significant
// decimals (the fifth rounds), then only white space.
#include <cstdint>

#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_inttext.h"
#include "comnlib/com_money.h"

namespace {

constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;  // 2^63 units
constexpr std::uint64_t kScale[4] = {10000, 1000, 100, 10};

}  // namespace

int com__mnyfromchar_mb(COM_MONEY* m, const char* text, int length, int,
                        const COM_CHARATTRIB* attr) {
  if (!attr) attr = com_get_charattrib();
  const std::uint8_t* tmap = attr->typemap ? attr->typemap : com_get_typemap();
  auto is_space = [tmap](int c) { return (tmap[4 * c + 3] & 8) != 0; };
  auto is_currency = [tmap](int c) { return (tmap[4 * c + 2] & 64) != 0; };
  auto p = reinterpret_cast<const unsigned char*>(text);
  if (!text || length < 0) length = 0;

  bool negative = false, signed_seen = false, currency_seen = false;
  bool point = false;
  int decimals = 0, group = 0, groups = 0;  // digits since the last ",", "," count
  bool round_up = false;
  std::uint64_t u = 0;
  // Largest magnitude of the sign: a "-" text may reach 2^63.
  int i = 0, step = 1, c = 0;
  for (; i < length; i += step) {
    c = com__single_byte_form(p + i, length - i, &step, attr);
    if (c == '+' || c == '-') {
      if (signed_seen) return 2;
      signed_seen = true;
      negative = c == '-';
    } else if (is_currency(c)) {
      if (currency_seen) return 2;
      currency_seen = true;
    } else if (c != ' ' && !is_space(c)) {
      break;
    }
  }
  const std::uint64_t limit = negative ? kLimit : kLimit - 1;
  for (; i < length; i += step) {
    c = com__single_byte_form(p + i, length - i, &step, attr);
    if (c >= '0' && c <= '9') {
      int d = c - '0';
      if (point && decimals >= 4) {
        if (decimals == 4 && d >= 5) round_up = true;
        ++decimals;
        continue;
      }
      if (u > (limit - static_cast<std::uint64_t>(d)) / 10) return 1;
      u = u * 10 + static_cast<std::uint64_t>(d);
      if (point) ++decimals;
      else ++group;
    } else if (c == '.' && !point) {
      point = true;
    } else if (c == ',' && !point &&
               (groups == 0 ? group <= 3 : group == 3)) {
      ++groups;
      group = 0;
    } else {
      break;
    }
  }
  for (; i < length; i += step) {
    c = com__single_byte_form(p + i, length - i, &step, attr);
    if (!is_space(c)) return 2;
  }
  int kept = decimals > 4 ? 4 : decimals;
  if (kept < 4) {
    std::uint64_t f = kScale[kept];
    if (u > limit / f) return 1;
    u *= f;
  }
  if (round_up) {
    if (u == limit) return 1;
    ++u;
  }
  std::int64_t v = negative ? static_cast<std::int64_t>(0 - u) : static_cast<std::int64_t>(u);
  auto uv = static_cast<std::uint64_t>(v);
  m->mnyhigh = static_cast<std::int32_t>(static_cast<std::uint32_t>(uv >> 32));
  m->mnylow = static_cast<std::uint32_t>(uv);
  return 0;
}

int com__mny4fromchar_mb(COM_MONEY4* m4, const char* text, int length, int unused,
                         const COM_CHARATTRIB* attr) {
  COM_MONEY m{};
  int rc = com__mnyfromchar_mb(&m, text, length, unused, attr);
  if (rc != 0) return rc;
  return com__mnytomny4(&m, m4) < 0 ? 1 : 0;
}
