// File names and whole files: logical directories, access, delete, rename,
// temporary names, copies and name parts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fio_impl.h"
#include "journal.h"
#include "vos/env.h"
#include "vos/error.h"
#include "vos/files.h"

namespace vos {
namespace {

bool g_rename_fault = false;

// True when the first block of the file holds no NUL byte.
bool looks_like_text(std::string_view name) {
  char buf[512];
  const long n = peek(name, buf, sizeof buf);
  return n >= 0 && std::memchr(buf, '\0', static_cast<std::size_t>(n)) == nullptr;
}

}  // namespace

namespace fault {
void fail_next_rename() { g_rename_fault = true; }
void clear() {
  g_rename_fault = false;
  fio::set_write_fault(-1);
}
}  // namespace fault

std::string osfn(std::string_view name) {
  std::size_t d = name.find('$');
  if (d == std::string_view::npos || d == 0) return std::string(name);
  std::string_view ldir = name.substr(0, d);
  for (char c : ldir)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return std::string(name);
  std::optional<std::string> dir = envgets(ldir);
  if (!dir && ldir == "tmp") {
    const char* t = std::getenv("TMPDIR");
    dir = (t && *t) ? std::string(t) : std::string("/tmp/");
  }
  if (!dir) return std::string(name);
  std::string out = osfn(*dir);  // a definition may itself name a logical directory
  if (!out.empty() && out.back() != '/') out.push_back('/');
  out.append(name.substr(d + 1));
  return out;
}

bool access(std::string_view name, int mode, int type) {
  if (name == "STDIN" || name == "STDOUT" || name == "STDERR") return true;
  std::string path = osfn(name);
  if (path.empty()) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  int amode = F_OK;
  if (mode == READ_ONLY) amode = R_OK;
  else if (mode == READ_WRITE) amode = R_OK | W_OK;
  else if (mode == WRITE_ONLY || mode == APPEND) amode = W_OK;
  if (::access(path.c_str(), amode) != 0) return false;
  if (type == TEXT_FILE) return looks_like_text(name);
  if (type == BINARY_FILE) return !looks_like_text(name) || st.st_size == 0;
  return true;
}

long peek(std::string_view name, void* buf, long n) {
  const std::string path = osfn(name);
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Never blocks on a FIFO waiting for its writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  long got = -1;
  if (::fstat(fd, &st) != 0) {
    // errno set
  } else if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
  } else {
    got = static_cast<long>(fio::read_upto(fd, buf, static_cast<std::size_t>(std::max(0L, n)), 0));
  }
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return got;
}

bool same_file(std::string_view a, std::string_view b) {
  const std::string pa = osfn(a), pb = osfn(b);
  struct stat sa, sb;
  return !pa.empty() && !pb.empty() && ::stat(pa.c_str(), &sa) == 0 && ::stat(pb.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void delete_file(std::string_view name) {
  std::string path = osfn(name);
  if (path.empty() || ::unlink(path.c_str()) != 0)
    error(SYS_FDELETE, "Cannot delete file (" + std::string(name) + ")");
}

void rename(std::string_view from, std::string_view to) {
  if (g_rename_fault) {
    g_rename_fault = false;
    error(SYS_FRENAME, "Cannot rename file (" + std::string(from) + ")");
  }
  std::string a = osfn(from), b = osfn(to);
  if (a.empty() || b.empty() || std::rename(a.c_str(), b.c_str()) != 0)
    error(SYS_FRENAME, "Cannot rename file (" + std::string(from) + ")");
}

void truncate(std::string_view name, long long size) {
  std::string path = osfn(name);
  if (path.empty() || size < 0 || ::truncate(path.c_str(), static_cast<off_t>(size)) != 0)
    error(SYS_FWRITE, "Cannot write to file (" + std::string(name) + ")");
}

std::string mktemp(std::string_view root) {
  static unsigned counter = 0;
  const std::string base = std::string(root) + std::to_string(::getpid());
  for (int tries = 0; tries < 10000; ++tries) {
    unsigned n = counter++;
    std::string tag;
    do {
      tag.insert(tag.begin(), static_cast<char>('a' + n % 26));
      n /= 26;
    } while (n > 0);
    std::string name = osfn(base + tag);
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) return name;
  }
  error(SYS_FMKTEMP, "Cannot make temporary file name (" + std::string(root) + ")");
}

void fcopyo(int in, int out) {
  char buf[8192];
  fio::File& fi = fio::file(in);
  fio::file(out);  // a bad descriptor is refused before anything is read
  // Bytes, not units, so that both text and binary files copy exactly.
  for (;;) {
    const std::size_t n = fio::get_bytes(fi, buf, sizeof buf);
    if (n > 0) fio::put_bytes(fio::file(out), buf, n);
    if (n == 0) break;
  }
}

void fcopy(std::string_view from, std::string_view to) {
  int in = open(from, READ_ONLY, BINARY_FILE);
  bool created = false;
  int out = -1;
  try {
    out = open(to, NEW_FILE, BINARY_FILE);
    created = true;
    fcopyo(in, out);
    int o = out;
    out = -1;
    close(o);
  } catch (const Error&) {
    try {
      close(in);
      if (out > 0) close(out);
    } catch (const Error&) {
    }
    // Never leave a half-written copy behind (but never touch a file that
    // was there before).
    if (created) ::unlink(osfn(to).c_str());
    throw;
  }
  close(in);
}

std::size_t fnldir(std::string_view name) {
  std::size_t p = name.find_last_of("/$");
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string fnroot(std::string_view name) {
  std::string_view base = name.substr(fnldir(name));
  std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(base);
  return std::string(base.substr(0, dot));
}

std::string fnextn(std::string_view name) {
  std::string_view base = name.substr(fnldir(name));
  std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return "";
  return std::string(base.substr(dot + 1));
}

}  // namespace vos
