// Files changed in place under a rollback journal, new files staged until
// they are whole, and the rollback of a change a killed writer left.
//
// The writer of a file holds a write lock on the whole file for as long as
// its descriptor is open.  The lock belongs to the open file (not to the
// process), so a second descriptor of the same process is a second writer
// too; the system drops it when the writer dies, which is how a journal
// left by a dead writer (hot) is told from one still in use.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "fio_impl.h"
#include "journal.h"
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

// Takes the writer's lock on `fd`; false when another writer holds it.
bool lock_writer(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// True when some writer holds the lock of the file at `path`.
bool writer_at_work(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

[[noreturn]] void cannot_roll_back(std::string_view name, const std::string& why) {
  error(SYS_FOPEN, "Cannot roll back the unfinished change of file (" + std::string(name) + "): " + why);
}

// Rolls back the hot journal of the file at `real`, open on `fd` with the
// writer's lock held.
void roll_back(std::string_view name, const std::string& real, int fd) {
  if (!exists(fio::journal_path(real))) return;
  const std::string dir = fio::dir_of(real);
  if (::access(dir.c_str(), W_OK) != 0)
    cannot_roll_back(name, "the directory (" + dir + ") is not writable");
  std::string why;
  if (!fio::roll_back_hot(real, fd, why)) cannot_roll_back(name, why);
}

}  // namespace

int open_change(std::string_view name, int type) {
  fio::check_type(name, type);
  const std::string real = real_path(name);
  const std::string cannot = "Cannot open file (" + std::string(name) + ")";
  if (real.empty()) error(SYS_FOPEN, cannot);
  const int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) error(SYS_FOPEN, cannot);
  struct stat st;
  // A file without write permission for anyone stays as it is, whoever
  // asks (the super-user too).
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
    ::close(fd);
    error(SYS_FOPEN, cannot);
  }
  if (!lock_writer(fd)) {
    ::close(fd);
    error(SYS_FOPEN, "File is being changed by another writer (" + std::string(name) + ")");
  }
  try {
    roll_back(name, real, fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  // The journal goes beside the file: a directory that cannot take it is
  // refused now, before anything is changed.
  const std::string dir = fio::dir_of(real);
  if (::access(dir.c_str(), W_OK) != 0) {
    ::close(fd);
    error(SYS_FOPEN, "Cannot make the journal of file (" + std::string(name) + ") in directory (" +
                         dir + ")");
  }
  const bool known = ::fstat(fd, &st) == 0;  // after a rollback
  if (!known) st.st_size = 0;
  auto f = fio::host_entry(name, real, READ_WRITE, type);
  f->host.attach(fd, false, known ? &st : nullptr);
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
  if (f.host.truncate(bytes) != fio::HostFile::Status::Ok)
    error(SYS_FWRITE, "Cannot write to file (" + f.name + ")" +
                          (f.host.why().empty() ? "" : ": " + f.host.why()));
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
  if (real.empty() || !exists(fio::journal_path(real))) return;
  const int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    if (writer_at_work(real)) return;
    cannot_roll_back(name, std::string("the file is not writable (") + std::strerror(errno) + ")");
  }
  if (!lock_writer(fd)) {  // its writer is at work: the change is its own
    ::close(fd);
    return;
  }
  try {
    roll_back(name, real, fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

bool has_journal(std::string_view name) {
  const std::string real = real_path(name);
  return !real.empty() && exists(fio::journal_path(real));
}

}  // namespace vos
