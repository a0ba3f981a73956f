// The common library's diagnostic printer.
#include <cstdarg>
#include <cstdio>

#include "comnlib/comn_err.h"

void com_perr(const char* text) {
  if (text == nullptr) return;
  std::fputs(text, stderr);
  std::fflush(stderr);
  if (std::FILE* f = std::fopen("merinit.err", "a")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

void com_perrf(const char* fmt, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  com_perr(buf);
}
