// Helpers shared by the conversion kernels: padding of character and binary
// targets and the byte image of a fixed-size value in a binary target.
#include <algorithm>
#include <cstring>

#include "comnlib/com_kern.h"

int comn__padchar(int textlen, COMN_DATAFORMAT* fmt, void* dst, std::int32_t* outlen) {
  char* d = static_cast<char*>(dst);
  const int max = fmt->maxlength;
  const bool nul = (fmt->format & COMN_FMT_NULLTERM) != 0;
  if (max >= textlen && !(max == textlen && nul)) {
    if (fmt->format & COMN_FMT_PADZERO) {
      if (fmt->format & COMN_FMT_PADBLANK) return COMN_EFORMAT;
      if (max > *outlen) std::memset(d + *outlen, 0, static_cast<size_t>(max - *outlen));
      *outlen = max;
    } else if (fmt->format & COMN_FMT_PADBLANK) {
      if (max > *outlen) std::memset(d + *outlen, ' ', static_cast<size_t>(max - *outlen));
      if (nul) d[max - 1] = '\0';
      *outlen = max;
    } else if (nul) {
      d[*outlen] = '\0';
      *outlen += 1;
    }
    return COMN_OK;
  }
  if (nul && max >= 1) d[max - 1] = '\0';
  return COMN_EOVERFLOW;
}

int comn__padbin(int length, COMN_DATAFORMAT* fmt, void* dst, std::int32_t* outlen) {
  if ((fmt->format & COMN_FMT_PADZERO) && fmt->maxlength > length) {
    std::memset(static_cast<char*>(dst) + length, 0, static_cast<size_t>(fmt->maxlength - length));
    *outlen = fmt->maxlength;
  }
  return COMN_OK;
}

int comn_fixedtobin(COMN_CONTEXT*, COMN_DATAFORMAT*, const void* src, COMN_DATAFORMAT* dstfmt,
                    void* dst, std::int32_t* outlen, int size) {
  int n = std::max(0, std::min(size, dstfmt->maxlength));
  std::memcpy(dst, src, static_cast<size_t>(n));
  *outlen = n;
  if (dstfmt->maxlength >= size) return comn__padbin(size, dstfmt, dst, outlen);
  return COMN_ETRUNCATED;
}

int comn_fixedtovarbin(COMN_CONTEXT*, COMN_DATAFORMAT*, const void* src, COMN_DATAFORMAT*,
                       void* dst, std::int32_t* outlen, int size) {
  int n = std::min(size, COMN_VARY_ROOM);
  auto len = static_cast<std::int16_t>(n);
  std::memcpy(dst, &len, 2);
  std::memcpy(static_cast<char*>(dst) + 2, src, static_cast<size_t>(n));
  *outlen = COMN_VARY_OUTLEN;
  return n == size ? COMN_OK : COMN_EOVERFLOW;
}
