// The host calls that change files on disk, replaceable by tests.
#include "vos/osio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vos::osio {
namespace {

ssize_t host_pwrite(int fd, const void* buf, size_t n, off_t at) { return ::pwrite(fd, buf, n, at); }
ssize_t host_write(int fd, const void* buf, size_t n) { return ::write(fd, buf, n); }
int host_ftruncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int host_fsync(int fd) {
  // A pipe or a terminal has nothing to sync.
  if (::fsync(fd) == 0) return 0;
  return errno == EINVAL ? 0 : -1;
}
int host_open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int host_unlink(const char* path) { return ::unlink(path); }
// Follows `from` when it is a link, so that "/proc/self/fd/N" names the
// open file itself.
int host_link(const char* from, const char* to) {
  return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

constexpr Ops kHost{host_pwrite, host_write, host_ftruncate, host_fsync,
                    host_open,   host_unlink, host_link};

Ops g_ops = kHost;

}  // namespace

const Ops& ops() { return g_ops; }

const Ops& host_ops() { return kHost; }

Ops replace(const Ops& ops) {
  Ops old = g_ops;
  g_ops = ops;
  return old;
}

}  // namespace vos::osio
