// Fuzz target: character-set conversion through every built-in converter
// of the common library (UTF-8 and UCS-2, the single-byte sets, the
// Japanese sets).  The first byte of the input chooses the room of the
// target (ample, exact, short or none); the rest is the source text.  A
// converter never consumes more than its source, never produces more than
// its room, never writes past it, and answers one of its statuses.  Text
// that UTF-8 to UCS-2 takes whole and clean comes back unchanged from UCS-2
// to UTF-8.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "comnlib/com_kern.h"
#include "comnlib/comn_cs.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Run {
  int status = 0, consumed = -1, produced = -1;
  std::vector<std::uint8_t> out;
};

constexpr std::uint8_t kGuard = 0xA5;

Run convert(COMN_SYSALGO fn, const std::uint8_t* src, int len, int room, const char* name) {
  std::vector<std::uint8_t> dst(static_cast<std::size_t>(room) + 16, kGuard);
  Run r;
  r.status = fn(nullptr, src, len, dst.data(), room, &r.consumed, &r.produced);
  std::string what = std::string(name) + " of " + std::to_string(len) + " bytes, room " +
                     std::to_string(room) + ": ";
  FUZZ_CHECK(r.status == COMN_OK || r.status == COMN_ETRUNCATED || r.status == COMN_EREPLACED,
             what + "status " + std::to_string(r.status));
  FUZZ_CHECK(r.consumed >= 0 && r.consumed <= len, what + "consumed " + std::to_string(r.consumed));
  FUZZ_CHECK(r.produced >= 0 && r.produced <= room, what + "produced " + std::to_string(r.produced));
  for (std::size_t i = static_cast<std::size_t>(room); i < dst.size(); ++i)
    FUZZ_CHECK(dst[i] == kGuard, what + "wrote past its room");
  r.out.assign(dst.begin(), dst.begin() + r.produced);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::uint8_t* src = data + 1;
  const int len = static_cast<int>(size - 1);
  int room;
  switch (data[0] % 4) {
    case 0: room = 4 * len + 8; break;  // ample for any converter
    case 1: room = len; break;
    case 2: room = len / 2; break;
    default: room = 0; break;
  }
  for (const comn_sysalgo_row& row : sys_algos) {
    std::string name = std::string(row.from) + " to " + row.to;
    convert(row.routine, src, len, room, name.c_str());
  }
  // UTF-8 taken whole and clean comes back unchanged.
  Run ucs2 = convert(comn__utf8_to_ucs2, src, len, 2 * len + 2, "utf8 to ucs2");
  if (ucs2.status == COMN_OK && ucs2.consumed == len) {
    Run back = convert(comn__ucs2_to_utf8, ucs2.out.data(), ucs2.produced, 3 * len + 3,
                       "ucs2 to utf8");
    FUZZ_CHECK(back.status == COMN_OK && back.out == std::vector<std::uint8_t>(src, src + len),
               "utf8 text does not survive ucs2: status " + std::to_string(back.status) +
                   ", " + std::to_string(back.produced) + " bytes back from " +
                   std::to_string(len));
  }
  return 0;
}
