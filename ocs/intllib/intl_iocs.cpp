// The localisation library's buffered file layer, environment look-ups and
// the installation home directory; see intllib/intl_loc.h.
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "intllib/intl_loc.h"

namespace {

constexpr int kBufSize = 512;
char g_home[512];   // set by intl_sethome; empty when not set
bool g_home_set = false;

}  // namespace

// Open flags for a mode, or -1.
int intl_iocsmap(int mode) {
  switch (mode) {
    case 1: case 2: return O_RDONLY;
    case 3: case 4: return O_WRONLY | O_CREAT | O_TRUNC;
    case 5: case 6: return O_WRONLY | O_APPEND | O_CREAT;
    case 7: case 8: return O_RDWR;
    case 9: case 10: return O_RDWR | O_CREAT | O_TRUNC;
    case 11: case 12: return O_RDWR | O_APPEND | O_CREAT;
    default: return -1;
  }
}

// Opens a file with a 512-byte read buffer; nullptr on any failure.
INTL_IOCSFILE* intl_iocsfopen(const char* path, int mode) {
  int flags = intl_iocsmap(mode);
  if (!path || flags < 0) return nullptr;
  int fd = ::open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  auto* fh = static_cast<INTL_IOCSFILE*>(comn_calloc(1, sizeof(INTL_IOCSFILE)));
  char* buf = static_cast<char*>(comn_calloc(1, kBufSize));
  if (!fh || !buf) {
    comn_free(fh);
    comn_free(buf);
    ::close(fd);
    return nullptr;
  }
  fh->base = fh->ptr = buf;
  fh->size = kBufSize;
  fh->avail = 0;
  fh->flags = flags;
  fh->fd = fd;
  return fh;
}

// Moves unread bytes to the buffer start and reads more; bytes read or 0.
int intl_filbuf(INTL_IOCSFILE* fh) {
  if (!fh) return 0;
  if (fh->avail > 0 && fh->ptr != fh->base) std::memmove(fh->base, fh->ptr, fh->avail);
  fh->ptr = fh->base;
  std::memset(fh->base + fh->avail, 0, static_cast<std::size_t>(fh->size - fh->avail));
  ssize_t n;
  do {
    n = ::read(fh->fd, fh->base + fh->avail, static_cast<std::size_t>(fh->size - fh->avail));
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return 0;
  fh->avail += static_cast<int32_t>(n);
  return static_cast<int>(n);
}

// Reads whole items; an item is never split.
std::size_t intl_iocsfread(void* buffer, std::size_t itemsize, std::size_t count,
                           INTL_IOCSFILE* fh) {
  if (!fh || !buffer || itemsize == 0 || itemsize > static_cast<std::size_t>(fh->size)) return 0;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (static_cast<std::size_t>(fh->avail) < itemsize) {
      if (intl_filbuf(fh) == 0 || static_cast<std::size_t>(fh->avail) < itemsize) break;
    }
    std::memcpy(out + done * itemsize, fh->ptr, itemsize);
    fh->ptr += itemsize;
    fh->avail -= static_cast<int32_t>(itemsize);
    ++done;
  }
  return done;
}

// Copies up to and including the next newline, at most `size` bytes, then a
// NUL (the buffer holds size + 1).  A file that ends before a newline and
// before `size` bytes gives nullptr.
char* intl_iocsfgets(char* buffer, int size, INTL_IOCSFILE* fh) {
  if (!fh || !buffer || size < 1) return nullptr;
  int n = 0;
  while (n < size) {
    if (fh->avail == 0 && intl_filbuf(fh) == 0) return nullptr;
    char c = *fh->ptr++;
    --fh->avail;
    buffer[n++] = c;
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return buffer;
}

// Writes past the buffer; the bytes written (0 for a negative count).
long intl_iocsfwrite(const void* buffer, std::size_t itemsize, long count, INTL_IOCSFILE* fh) {
  if (!fh || !buffer || count <= 0) return 0;
  std::size_t total = itemsize * static_cast<std::size_t>(count);
  std::size_t done = 0;
  while (done < total) {
    ssize_t n = ::write(fh->fd, static_cast<const char*>(buffer) + done, total - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

// Repositions; moves within the buffer for small relative moves.
int intl_iocsfseek(INTL_IOCSFILE* fh, long offset, int whence) {
  if (!fh) return -1;
  if (whence == SEEK_CUR && offset >= 0 && offset <= fh->avail) {
    fh->ptr += offset;
    fh->avail -= static_cast<int32_t>(offset);
    return 0;
  }
  if (whence == SEEK_CUR) offset -= fh->avail;
  fh->avail = 0;
  fh->ptr = fh->base;
  std::memset(fh->base, 0, static_cast<std::size_t>(fh->size));
  return ::lseek(fh->fd, offset, whence) < 0 ? -1 : 0;
}

// Closes the descriptor and frees the handle.
int intl_iocsfclose(INTL_IOCSFILE* fh) {
  if (!fh) return 0;
  int r = ::close(fh->fd);
  comn_free(fh->base);
  comn_free(fh);
  return r < 0 ? -1 : 0;
}

// Copies an environment variable's value; its length, or 0 when unset.
int intlgetenv(char* buffer, int size, const char* name) {
  if (!buffer) return -27;
  if (size < 0) return -28;
  if (!name) return 0;
  const char* v = std::getenv(name);
  if (!v) return 0;
  std::size_t len = std::strlen(v);
  if (static_cast<long>(len) > static_cast<long>(size) - 1) return -7;
  std::memcpy(buffer, v, len + 1);
  return static_cast<int>(len);
}

// The installation home: the set path, else MERROW, else the home of the
// account "merrow".
int intl_home(char* buffer, int size) {
  if (!buffer) return -27;
  if (size < 0) return -28;
  const char* dir = nullptr;
  char env[513];
  if (g_home_set) {
    dir = g_home;
  } else {
    int n = intlgetenv(env, sizeof env, "MERROW");
    if (n < 0) return n;
    if (n > 0) {
      dir = env;
    } else {
      passwd* pw = ::getpwnam("merrow");
      if (!pw || !pw->pw_dir) return -156;
      dir = pw->pw_dir;
    }
  }
  std::size_t len = std::strlen(dir);
  if (static_cast<long>(len) > static_cast<long>(size) - 1) return -7;
  std::memcpy(buffer, dir, len + 1);
  return static_cast<int>(len);
}

// Sets (or with nullptr clears) the installation home.
int intl_sethome(const char* path) {
  if (!path) {
    g_home_set = false;
    g_home[0] = '\0';
    return 1;
  }
  std::size_t len = std::strlen(path);
  if (len >= sizeof g_home) return -42;
  std::memcpy(g_home, path, len + 1);
  g_home_set = true;
  return 1;
}
