// Internal: the locks by which the readers and the writer of a file keep
// out of each other's way.
//
// The model is SQLite's rollback-journal locking.  Three bytes far past the
// end of any file are locked with open-file-description locks, which belong
// to one open file (not to its process) and go when it is closed, also when
// its process dies:
//   RESERVED  a write lock: the one writer of the file.  Taken when the file
//             is opened for a change, never waited for.
//   PENDING   a writer's write lock from the moment it starts waiting for
//             the readers to go until its journal is gone; a reader takes
//             a read lock on it together with SHARED (one call) and drops
//             it at once, so that no new reader comes in while a writer
//             waits or writes.
//   SHARED    a read lock held by every reader for as long as its file is
//             open; a writer's write lock on it (EXCLUSIVE), taken before
//             its first write into the file and kept until its journal is
//             gone.
// A journal beside a file is hot (its writer is gone, and the file may be
// half-changed) when nobody holds RESERVED.
//
// A reader waits up to kReaderWait for a writer that holds PENDING, and a
// writer up to kWriterWait for the readers to go, polling with a growing
// pause through the clock seam.  Locks of two open files conflict inside
// one process too, so a program would wait for itself: it keeps a registry
// of its own readers and writers by file (device and inode), and the side
// that would wait for a handle of its own program fails at once instead.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <utility>

namespace vos::fio::lock {

// Time-outs, in seconds (scaled by the clock seam).
inline constexpr double kReaderWait = 10.0;  // a reader waits for a writer
inline constexpr double kWriterWait = 10.0;  // a writer waits for the readers

// A file as the registry knows it.
using FileKey = std::pair<dev_t, ino_t>;
inline FileKey key_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

enum class Result {
  Ok,
  Busy,         // another program holds the other side (after the wait)
  Own,          // a handle of this program holds the other side
  Unsupported,  // the file system keeps no locks (errno tells why)
};

// The moment `seconds` (scaled) from now, on plat_now_ms's clock.
std::int64_t deadline(double seconds);

// The writer's RESERVED lock on `fd`, without waiting.
Result take_reserved(int fd);

// True when another open file holds RESERVED on the file of `fd`.
bool reserved_elsewhere(int fd);

// A reader's SHARED lock on `fd`, waiting until `until` (deadline()) for a
// writer that holds PENDING or EXCLUSIVE.
Result take_shared(int fd, const FileKey& key, std::int64_t until);
void drop_shared(int fd);

// A writer's PENDING and EXCLUSIVE locks on `fd` (which holds RESERVED),
// waiting up to kWriterWait for the readers to go.  On failure nothing is
// held but RESERVED.
Result take_exclusive(int fd, const FileKey& key);
// Drops EXCLUSIVE and PENDING (RESERVED stays).
void drop_exclusive(int fd, const FileKey& key);

// The number of read handles of this program on the file.
int readers_here(const FileKey& key);

// A read handle of this program on a file, for the registry; made once
// the handle holds SHARED and has found no hot journal.
class Reader {
 public:
  explicit Reader(const FileKey& key);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

 private:
  FileKey key_;
};

}  // namespace vos::fio::lock
