// Text lines and single characters.
#include "fio_impl.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

namespace vos {

long getline(int fd, std::string& line) {
  fio::File& f = fio::file(fd);
  if (f.mode == WRITE_ONLY || f.mode == APPEND)
    error(SYS_FREAD, "Cannot read file opened write-only (" + f.name + ")");
  line.clear();
  for (;;) {
    int c = fio::get_byte(f);
    if (c == -2) error(SYS_FREAD, "Cannot read file (" + f.name + ")");
    if (c < 0) break;
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return line.empty() ? EOF_ : static_cast<long>(line.size());
}

void putline(int fd, std::string_view text) {
  fio::put_bytes(fio::file(fd), text.data(), text.size());
}

int getc(int fd) {
  fio::File& f = fio::file(fd);
  int c = fio::get_byte(f);
  if (c == -2) error(SYS_FREAD, "Cannot read file (" + f.name + ")");
  return c < 0 ? static_cast<int>(EOF_) : c;
}

void ungetc(int fd, int ch) {
  if (ch < 0) return;
  fio::file(fd).pushback.push_back(ch & 0xff);
}

void putc(int fd, char ch) { fio::put_bytes(fio::file(fd), &ch, 1); }

void fprintf_text(int fd, std::string_view text) {
  fio::put_bytes(fio::file(fd), text.data(), text.size());
}

}  // namespace vos
