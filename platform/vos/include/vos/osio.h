// The host calls that change what a file or a directory holds on disk.
//
// Every write, cut, sync, creation, link and removal the file layer makes
// goes through these entry points, so that a test can stand between the
// file layer and the disk: count the calls, fail one, or record what would
// be lost if the power went at a given sync.  Production code never
// replaces them; they behave as the host calls of the same names (a failure
// is -1 with errno set).
//
// A test that stands between pwrite and the disk sees the gathered writes
// (pwritev) too: when the ops put in force replace pwrite but leave pwritev
// the host's (or set none), a gathered write goes through their pwrite as
// one write of its bytes joined.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

namespace vos::osio {

struct Ops {
  ssize_t (*pwrite)(int fd, const void* buf, size_t n, off_t at);
  ssize_t (*write)(int fd, const void* buf, size_t n);  // appends and streams
  int (*ftruncate)(int fd, off_t size);
  int (*fsync)(int fd);  // a file's data and size, or a directory's entries
  int (*open)(const char* path, int flags, mode_t mode);  // may create a file
  int (*unlink)(const char* path);
  int (*link)(const char* from, const char* to);  // follows `from`; fails when `to` exists
  // The bytes of `cnt` buffers in turn, as one write at `at` (see above).
  ssize_t (*pwritev)(int fd, const struct iovec* iov, int cnt, off_t at);
};

// The calls in force.
const Ops& ops();

// The host's own calls.
const Ops& host_ops();

// Puts `ops` in force (until the next call); returns what was in force.
Ops replace(const Ops& ops);

// Shorthands for the calls in force.
inline ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) { return ops().pwrite(fd, buf, n, at); }
inline ssize_t write(int fd, const void* buf, size_t n) { return ops().write(fd, buf, n); }
inline int ftruncate(int fd, off_t size) { return ops().ftruncate(fd, size); }
inline int fsync(int fd) { return ops().fsync(fd); }
inline int open(const char* path, int flags, mode_t mode) { return ops().open(path, flags, mode); }
inline int unlink(const char* path) { return ops().unlink(path); }
inline int link(const char* from, const char* to) { return ops().link(from, to); }
ssize_t pwritev(int fd, const struct iovec* iov, int cnt, off_t at);

}  // namespace vos::osio
