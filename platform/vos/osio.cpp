// The host calls that change files on disk, replaceable by tests.
#include "vos/osio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

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

ssize_t host_pwritev(int fd, const struct iovec* iov, int cnt, off_t at) { return ::pwritev(fd, iov, cnt, at); }

constexpr Ops kHost{host_pwrite, host_write,  host_ftruncate, host_fsync,
                    host_open,   host_unlink, host_link,      host_pwritev};

Ops g_ops = kHost;

}  // namespace

const Ops& ops() { return g_ops; }

const Ops& host_ops() { return kHost; }

Ops replace(const Ops& ops) {
  Ops old = g_ops;
  g_ops = ops;
  // A pwrite stood between the file layer and the disk sees every write.
  if (g_ops.pwrite != host_pwrite && g_ops.pwritev == host_pwritev) g_ops.pwritev = nullptr;
  return old;
}

ssize_t pwritev(int fd, const struct iovec* iov, int cnt, off_t at) {
  if (g_ops.pwritev != nullptr) return g_ops.pwritev(fd, iov, cnt, at);
  std::size_t n = 0;
  for (int i = 0; i < cnt; ++i) n += iov[i].iov_len;
  const std::unique_ptr<char[]> joined(new char[n > 0 ? n : 1]);
  std::size_t k = 0;
  for (int i = 0; i < cnt; ++i) {
    std::memcpy(joined.get() + k, iov[i].iov_base, iov[i].iov_len);
    k += iov[i].iov_len;
  }
  return g_ops.pwrite(fd, joined.get(), n, at);
}

}  // namespace vos::osio
