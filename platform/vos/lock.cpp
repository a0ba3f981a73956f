// The locks of readers and writers of a file (see lock.h).
#include "lock.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "platform/clock.h"

namespace vos::fio::lock {
namespace {

// The locked bytes: far past the end of any file, so that they never stand
// in the way of reading or writing the file itself.
constexpr off_t kBase = static_cast<off_t>(1) << 62;
// PENDING and SHARED lie side by side: a reader locks both in one call.
constexpr off_t kPending = kBase;
constexpr off_t kShared = kBase + 1;
constexpr off_t kReserved = kBase + 2;

// The first and the longest pause between two tries, in seconds.
constexpr double kFirstPause = 0.001;
constexpr double kLongestPause = 0.1;

// Sets a lock of `type` on the `n` bytes at `at`: 0, or the errno of the
// failure.
int set(int fd, short type, off_t at, off_t n = 1) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = n;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

Result result_of(int err) {
  if (err == 0) return Result::Ok;
  errno = err;
  return err == EAGAIN || err == EACCES ? Result::Busy : Result::Unsupported;
}

// Tries `attempt` until it gives anything but Busy or `until` has passed.
template <class Attempt>
Result keep_trying(Attempt attempt, std::int64_t until) {
  double pause = kFirstPause;
  for (;;) {
    const Result r = attempt();
    if (r != Result::Busy || platform::plat_now_ms() >= until) return r;
    platform::plat_sleep(pause);
    pause = std::min(pause * 2, kLongestPause);
  }
}

struct Here {
  int readers = 0;
  bool writing = false;  // a handle of this program holds EXCLUSIVE
};

std::map<FileKey, Here>& registry() {
  static std::map<FileKey, Here> files;
  return files;
}

void forget_if_idle(const FileKey& key) {
  auto it = registry().find(key);
  if (it != registry().end() && it->second.readers == 0 && !it->second.writing) registry().erase(it);
}

}  // namespace

std::int64_t deadline(double seconds) { return platform::plat_now_ms() + platform::plat_timeout_ms(seconds); }

Result take_reserved(int fd) { return result_of(set(fd, F_WRLCK, kReserved)); }

bool reserved_elsewhere(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kReserved;
  fl.l_len = 1;
  return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

Result take_shared(int fd, const FileKey& key, std::int64_t until) {
  auto it = registry().find(key);
  if (it != registry().end() && it->second.writing) return Result::Own;
  return keep_trying(
      [fd] {
        // PENDING too, for a moment: a writer that waits or writes holds it.
        const int err = set(fd, F_RDLCK, kPending, 2);
        if (err == 0) set(fd, F_UNLCK, kPending);
        return result_of(err);
      },
      until);
}

void drop_shared(int fd) { set(fd, F_UNLCK, kShared); }

Result take_exclusive(int fd, const FileKey& key) {
  if (readers_here(key) > 0) return Result::Own;
  const std::int64_t until = deadline(kWriterWait);
  // Readers hold PENDING only for a moment; once it is the writer's, no
  // new reader comes in, and those still reading are waited for.
  Result r = keep_trying([fd] { return result_of(set(fd, F_WRLCK, kPending)); }, until);
  if (r != Result::Ok) return r;
  r = keep_trying([fd] { return result_of(set(fd, F_WRLCK, kShared)); }, until);
  if (r != Result::Ok) {
    const int err = errno;
    set(fd, F_UNLCK, kPending);
    errno = err;
    return r;
  }
  registry()[key].writing = true;
  return Result::Ok;
}

void drop_exclusive(int fd, const FileKey& key) {
  set(fd, F_UNLCK, kShared);
  set(fd, F_UNLCK, kPending);
  auto it = registry().find(key);
  if (it != registry().end()) it->second.writing = false;
  forget_if_idle(key);
}

int readers_here(const FileKey& key) {
  auto it = registry().find(key);
  return it == registry().end() ? 0 : it->second.readers;
}

Reader::Reader(const FileKey& key) : key_(key) { ++registry()[key].readers; }

Reader::~Reader() {
  auto it = registry().find(key_);
  if (it != registry().end() && it->second.readers > 0) --it->second.readers;
  forget_if_idle(key_);
}

}  // namespace vos::fio::lock
