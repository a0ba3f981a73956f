// Files changed in place under a rollback journal, new files staged until
// they are whole, the rollback of a change a killed writer left, and the
// locks readers and writers take when they open a file (lock.h).
//
// The writer of a file holds RESERVED for as long as its descriptor is
// open; a journal found while nobody holds it was left by a writer that is
// gone (hot), and is rolled back before the file is read or changed.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fio_impl.h"
#include "journal.h"
#include "lock.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace vos {
namespace {

// The host path of `name` with every symbolic link followed; "" when the
// file does not exist.
std::string real_path(std::string_view name) {
  const std::string path = osfn(name);
  if (path.empty()) return "";
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf) == nullptr) return "";
  return buf;
}

// The host path of the file open on `hfd` as it was reached from `path`,
// links followed.
std::string path_of_open(int hfd, const std::string& path) {
  char link[32], buf[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", hfd);
  const ssize_t n = ::readlink(link, buf, sizeof buf);
  if (n > 0 && n < static_cast<ssize_t>(sizeof buf) && buf[0] == '/') return std::string(buf, static_cast<std::size_t>(n));
  if (::realpath(path.c_str(), buf) != nullptr) return buf;
  return path;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Closes a host descriptor on every way out.
struct Closer {
  int fd;
  ~Closer() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void cannot_roll_back(std::string_view name, const std::string& why) {
  error(SYS_FOPEN, "Cannot roll back the unfinished change of file (" + std::string(name) + "): " + why);
}

// Something that is not the file's journal is at its journal's name.
[[noreturn]] void refuse_journal(std::string_view name, const std::string& why) {
  error(SYS_FOPEN, "Cannot open file (" + std::string(name) + "): " + why + "; neither file was changed");
}

std::string waited(double seconds) { return " (waited " + std::to_string(static_cast<int>(seconds)) + " s)"; }

// The journals that may hold a change of the file `real` open on `fd`:
// the one beside it, then the one its attribute names (`named`: another
// name's, or "").
std::vector<std::string> journals_of(const std::string& real, const std::string& named) {
  std::vector<std::string> paths{fio::journal_path(real)};
  if (!named.empty() && named != paths[0]) paths.push_back(named);
  return paths;
}

// Rolls back what writers that are gone left of their changes of the file
// `real`, open on `fd` for reading and writing with RESERVED held: each of
// journals_of() that is the file's own is rolled back (under EXCLUSIVE,
// waiting for readers) and removed, one its writer left without a header
// is removed.  Something else beside the file refuses the open; a file
// the attribute names that is not the file's journal (left from a change
// since ended) is left alone, and the attribute dropped.
void settle(std::string_view name, const std::string& real, int fd) {
  const std::string named = fio::named_journal(fd);
  const std::vector<std::string> paths = journals_of(real, named);
  for (const std::string& j : paths) {
    int jfd = -1;
    std::string why;
    const fio::Found found = fio::examine(j, fd, jfd, why);
    Closer closer{jfd};
    if (found == fio::Found::None) continue;
    if (found == fio::Found::Foreign) {
      if (j == paths[0]) refuse_journal(name, why);
      continue;
    }
    const std::string dir = fio::dir_of(j);
    if (::access(dir.c_str(), W_OK) != 0)
      cannot_roll_back(name, "the directory (" + dir + ") is not writable");
    struct stat st;
    if (::fstat(fd, &st) != 0) cannot_roll_back(name, std::string("cannot read the file: ") + std::strerror(errno));
    const fio::lock::FileKey key = fio::lock::key_of(st);
    // Readers of this program have held the file since before the journal
    // was made, and kept its writer from writing: the file is whole.
    const bool write_back = found == fio::Found::Ours && fio::lock::readers_here(key) == 0;
    if (write_back) {
      const fio::lock::Result r = fio::lock::take_exclusive(fd, key);
      if (r != fio::lock::Result::Ok)
        cannot_roll_back(name, r == fio::lock::Result::Busy
                                   ? "it is being read by another program" + waited(fio::lock::kWriterWait)
                                   : std::string("cannot lock it: ") + std::strerror(errno));
    }
    const bool ok = (!write_back || fio::replay(jfd, fd, why)) && fio::remove_journal(j, jfd, why);
    if (write_back) fio::lock::drop_exclusive(fd, key);
    if (!ok) cannot_roll_back(name, why);
  }
  // What the attribute named is gone now, or never was this file's.
  if (!named.empty()) (void)::fremovexattr(fd, fio::kJournalAttr);
}

// Opens the file `real` for reading and writing, takes RESERVED and
// settles it; nothing when a writer holds RESERVED (the change is its
// own) or the file at `real` is no longer the file `key` names.
void settle_as_reader(std::string_view name, const std::string& real, const fio::lock::FileKey& key) {
  Closer fd{::open(real.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)};
  if (fd.fd < 0) cannot_roll_back(name, std::string("the file is not writable (") + std::strerror(errno) + ")");
  struct stat st;
  if (::fstat(fd.fd, &st) != 0 || fio::lock::key_of(st) != key) return;
  if (fio::lock::take_reserved(fd.fd) != fio::lock::Result::Ok) return;
  settle(name, real, fd.fd);
}

// What a reader finds of journals of the file open on `hfd` (at `real`).
enum class Left {
  Nothing,   // no journal, or one whose writer is at work (RESERVED held)
  Hot,       // the file's own journal, its writer gone: the file may be half-changed
  Leftover,  // only a journal its writer left before syncing its header: the file is whole
};

// Looks for journals of the file open on `hfd` for a reader.  Something
// that is not the file's journal beside it refuses the read.
Left left_behind(std::string_view name, int hfd, const struct stat& st, const std::string& real) {
  // Only a file of several names may have its journal beside another.
  const std::vector<std::string> paths = journals_of(real, st.st_nlink > 1 ? fio::named_journal(hfd) : "");
  bool any = false;
  for (const std::string& j : paths) any = any || exists(j);
  if (!any || fio::lock::reserved_elsewhere(hfd)) return Left::Nothing;
  Left left = Left::Nothing;
  for (const std::string& j : paths) {
    int jfd = -1;
    std::string why;
    const fio::Found found = fio::examine(j, hfd, jfd, why);
    Closer closer{jfd};
    if (found == fio::Found::Foreign && j == paths[0]) refuse_journal(name, why);
    if (found == fio::Found::Ours) left = Left::Hot;
    if (found == fio::Found::Unfinished && left == Left::Nothing) left = Left::Leftover;
  }
  return left;
}

}  // namespace

namespace fio {

std::unique_ptr<lock::Reader> begin_reading(std::string_view name, const std::string& path,
                                            bool through_link, int hfd, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return nullptr;
  const lock::FileKey key = lock::key_of(st);
  const std::int64_t until = lock::deadline(lock::kReaderWait);
  std::string real;
  bool tidied = false;
  for (;;) {
    switch (lock::take_shared(hfd, key, until)) {
      case lock::Result::Ok: break;
      case lock::Result::Own:
        error(SYS_FLOCKED, "File is being changed through another handle of this program (" + std::string(name) + ")");
      case lock::Result::Busy:
        error(SYS_FLOCKED, "File is being changed by another program (" + std::string(name) + ")" +
                               waited(lock::kReaderWait));
      case lock::Result::Unsupported:
        return nullptr;  // a file system without locks: the file is read as it is
    }
    // Readers of this program came in before: they found the file whole,
    // and nobody has written it since.
    if (lock::readers_here(key) > 0) break;
    // The journal lies beside the file's own name: the name opened, when
    // it is no symbolic link (the directories on the way are the same).
    if (real.empty()) real = through_link ? path_of_open(hfd, path) : path;
    const Left left = left_behind(name, hfd, st, real);
    if (left == Left::Nothing || (left == Left::Leftover && tidied)) break;
    lock::drop_shared(hfd);
    if (left == Left::Hot) {
      settle_as_reader(name, real, key);
    } else {
      // The file is whole: a reader that may not remove the leftover
      // reads it all the same.
      tidied = true;
      if (iferr([&] { settle_as_reader(name, real, key); })) xerret();
    }
  }
  return std::make_unique<lock::Reader>(key);
}

}  // namespace fio

int open_change(std::string_view name, int type) {
  fio::check_type(name, type);
  const std::string real = real_path(name);
  const std::string cannot = "Cannot open file (" + std::string(name) + ")";
  if (real.empty()) error(SYS_FOPEN, cannot);
  const int fd = ::open(real.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) error(SYS_FOPEN, cannot);
  Closer closer{fd};
  struct stat st;
  // A file without write permission for anyone stays as it is, whoever
  // asks (the super-user too).
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) error(SYS_FOPEN, cannot);
  switch (fio::lock::take_reserved(fd)) {
    case fio::lock::Result::Ok: break;
    case fio::lock::Result::Unsupported:
      error(SYS_FOPEN, "Cannot lock file (" + std::string(name) + "): " + std::strerror(errno));
    default:
      error(SYS_FOPEN, "File is being changed by another writer (" + std::string(name) + ")");
  }
  settle(name, real, fd);
  // The journal goes beside the file: a name already taken, or a directory
  // that cannot take it, is refused now, before anything is changed.
  const std::string journal = fio::journal_path(real);
  if (exists(journal))
    error(SYS_FOPEN, "Cannot make the journal of file (" + std::string(name) + "): a file is already at its name (" +
                         journal + ")");
  const std::string dir = fio::dir_of(real);
  if (::access(dir.c_str(), W_OK) != 0)
    error(SYS_FOPEN, "Cannot make the journal of file (" + std::string(name) + ") in directory (" + dir + ")");
  if (::fstat(fd, &st) != 0) error(SYS_FOPEN, cannot);  // after a rollback
  auto f = fio::host_entry(name, real, READ_WRITE, type);
  closer.fd = -1;
  f->host.attach(fd, false, &st);
  f->host.set_journal(std::make_unique<fio::Journal>(real, fd, static_cast<long long>(st.st_size)));
  return fio::add_file(std::move(f));
}

int open_staged(std::string_view name, int type) {
  fio::check_type(name, type);
  const std::string path = osfn(name);
  if (path.empty()) error(SYS_FOPEN, "Cannot open file (" + std::string(name) + ")");
  if (exists(path)) error(SYS_FACCESS, "File already exists (" + std::string(name) + ")");
  const std::string dir = fio::dir_of(path);
  std::string temp;
  int fd = osio::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a temporary name beside it.
    static std::atomic<long> serial{0};
    temp = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    fd = osio::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) error(SYS_FOPEN, "Cannot open file (" + std::string(name) + ")");
  auto f = fio::host_entry(name, path, NEW_FILE, type);
  f->host.attach(fd, false);
  f->host.set_staged(path, temp);
  return fio::add_file(std::move(f));
}

void abandon(int fd) {
  std::unique_ptr<fio::File> owned = fio::take(fd);
  if (owned && owned->kind == fio::Kind::Host && owned->host.abandon() != fio::HostFile::Status::Ok)
    error(SYS_FWRITE, "Cannot roll back the change of file (" + owned->name + "): " + owned->host.why());
}

void truncate_open(int fd, long long bytes) {
  fio::File& f = fio::file(fd);
  if (f.kind != fio::Kind::Host || f.mode == READ_ONLY)
    error(SYS_FWRITE, "Cannot write to file (" + f.name + ")");
  f.pushback.clear();
  if (f.host.truncate(bytes) != fio::HostFile::Status::Ok) fio::raise_write_failure(f);
}

void recover(std::string_view name) {
  if (name == "STDIN" || name == "STDOUT" || name == "STDERR") return;
  // A file that is not a symbolic link has its journal beside it under its
  // own name, whatever links its directories go through.
  const std::string path = osfn(name);
  struct stat st;
  if (path.empty() || (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && !exists(fio::journal_path(path))))
    return;
  const std::string real = real_path(name);
  if (real.empty()) return;
  if (!exists(fio::journal_path(real)) && ::getxattr(real.c_str(), fio::kJournalAttr, nullptr, 0) <= 0) return;
  Closer fd{::open(real.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)};
  if (fd.fd < 0) {
    const std::string why = std::string("the file is not writable (") + std::strerror(errno) + ")";
    Closer ro{::open(real.c_str(), O_RDONLY | O_CLOEXEC)};
    if (ro.fd >= 0 && fio::lock::reserved_elsewhere(ro.fd)) return;  // its writer is at work
    cannot_roll_back(name, why);
  }
  // Its writer is at work: the change is its own.
  if (fio::lock::take_reserved(fd.fd) != fio::lock::Result::Ok) return;
  settle(name, real, fd.fd);
}

bool has_journal(std::string_view name) {
  const std::string real = real_path(name);
  return !real.empty() && exists(fio::journal_path(real));
}

}  // namespace vos
