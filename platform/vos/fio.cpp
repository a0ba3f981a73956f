// The descriptor table, open/close, and unit-addressed read/write/seek.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "fio_impl.h"
#include "vos/error.h"
#include "vos/files.h"

namespace vos {
namespace fio {
namespace {

// Fills the empty standard-stream entries of `v` with the process's streams.
void fill_streams(std::vector<std::unique_ptr<File>>& v) {
    auto stream = [](const char* name, std::FILE* fp, int mode) {
      auto f = std::make_unique<File>();
      f->kind = fp ? Kind::Stream : Kind::Null;
      f->name = name;
      f->fp = fp;
      f->mode = mode;
      f->type = TEXT_FILE;
      return f;
    };
    struct Std {
      int fd;
      const char* name;
      std::FILE* fp;
      int mode;
    };
    const Std std_streams[] = {
        {CLIN, "CLIN", stdin, READ_ONLY},          {CLOUT, "CLOUT", stdout, WRITE_ONLY},
        {STDIN, "STDIN", stdin, READ_ONLY},        {STDOUT, "STDOUT", stdout, WRITE_ONLY},
        {STDERR, "STDERR", stderr, WRITE_ONLY},    {STDGRAPH, "STDGRAPH", nullptr, WRITE_ONLY},
        {STDIMAGE, "STDIMAGE", nullptr, WRITE_ONLY}, {STDPLOT, "STDPLOT", nullptr, WRITE_ONLY},
        {PSIOCTRL, "PSIOCTRL", nullptr, WRITE_ONLY}};
    for (const Std& s : std_streams)
      if (!v[s.fd]) v[s.fd] = stream(s.name, s.fp, s.mode);
}

}  // namespace

std::vector<std::unique_ptr<File>>& table() {
  static std::vector<std::unique_ptr<File>> t = [] {
    std::vector<std::unique_ptr<File>> v(LAST_STREAM + 1);
    fill_streams(v);
    return v;
  }();
  return t;
}

void restore_streams() { fill_streams(table()); }

namespace {

long g_write_fault = -1;

// Bytes per unit of a file.
long unit(const File& f) { return f.type == BINARY_FILE ? 2 : 1; }

}  // namespace

int add_file(std::unique_ptr<File> f) {
  auto& t = table();
  for (std::size_t i = LAST_STREAM + 1; i < t.size(); ++i) {
    if (!t[i]) {
      t[i] = std::move(f);
      return static_cast<int>(i);
    }
  }
  t.push_back(std::move(f));
  return static_cast<int>(t.size() - 1);
}

void check_type(std::string_view name, int type) {
  if (type != TEXT_FILE && type != BINARY_FILE)
    error(SYS_FMODE, "Illegal file type (" + std::string(name) + ")");
}

std::unique_ptr<File> host_entry(std::string_view name, const std::string& path, int mode,
                                 int type) {
  auto f = std::make_unique<File>();
  f->kind = Kind::Host;
  f->name = std::string(name);
  f->path = path;
  f->mode = mode;
  f->type = type;
  return f;
}

std::unique_ptr<File> take(int fd) {
  File& f = file(fd);
  if (fd <= LAST_STREAM) {
    flush_stream(f);
    f.pushback.clear();
    return nullptr;
  }
  return std::move(table()[static_cast<std::size_t>(fd)]);
}

File& file(int fd) {
  static std::vector<std::unique_ptr<File>>& t = table();  // called on every transfer
  if (fd < 1 || static_cast<std::size_t>(fd) >= t.size() || !t[fd])
    error(SYS_FCLOSE, "Bad file descriptor (" + std::to_string(fd) + ")");
  return *t[fd];
}

namespace {

// "Cannot write to file (name)", with the reason the host file gives.
std::string write_error(const File& f) {
  const std::string why = f.kind == Kind::Host ? f.host.why() : "";
  return "Cannot write to file (" + f.name + ")" + (why.empty() ? "" : ": " + why);
}

}  // namespace

const std::string& failure_of(File& f) {
  const bool failed = f.kind == Kind::Host ? f.host.failed()
                                           : f.kind == Kind::Stream && f.fp != nullptr && std::ferror(f.fp) != 0;
  if (failed && f.failure.empty()) f.failure = write_error(f);
  return f.failure;
}

void raise_write_failure(File& f) {
  const std::string& failure = failure_of(f);
  error(SYS_FWRITE, failure.empty() ? write_error(f) : failure);
}

void check_failed(File& f) {
  if (f.kind == Kind::Host && f.host.failed()) raise_write_failure(f);
}

void check_write_fault(File& f) {
  if (g_write_fault < 0) return;
  if (g_write_fault == 0) {
    g_write_fault = -1;
    if (f.kind == Kind::Host) f.host.mark_failed();
    raise_write_failure(f);
  }
  --g_write_fault;
}

void put_bytes(File& f, const char* data, std::size_t n) {
  if (f.mode == READ_ONLY) error(SYS_FWRITE, "Cannot write to file opened read-only (" + f.name + ")");
  check_failed(f);
  check_write_fault(f);
  switch (f.kind) {
    case Kind::Null:
      return;
    case Kind::String:
      if (f.pos > f.text.size()) f.text.resize(f.pos, '\0');
      f.text.replace(f.pos, std::min(n, f.text.size() - f.pos), data, n);
      f.pos += n;
      return;
    case Kind::Host:
      if (f.host.write(data, n) != HostFile::Status::Ok) {
        f.host.mark_failed();  // the file does not hold what was written
        raise_write_failure(f);
      }
      return;
    case Kind::Stream:
      if (n > 0 && std::fwrite(data, 1, n, f.fp) != n)
        error(SYS_FWRITE, "Cannot write to file (" + f.name + ")");
      return;
  }
}

namespace {

// Raises the error of a failed host-file transfer.
[[noreturn]] void transfer_failed(File& f, HostFile::Status s) {
  if (s == HostFile::Status::WriteFailed) raise_write_failure(f);
  error(SYS_FREAD, "Cannot read file (" + f.name + ")");
}

}  // namespace

int get_byte(File& f) {
  if (!f.pushback.empty()) {
    int c = f.pushback.back();
    f.pushback.pop_back();
    return c;
  }
  switch (f.kind) {
    case Kind::Null:
      return -1;
    case Kind::String:
      if (f.pos >= f.text.size()) return -1;
      return static_cast<unsigned char>(f.text[f.pos++]);
    case Kind::Host:
      return f.host.getc();
    case Kind::Stream: {
      int c = std::fgetc(f.fp);
      if (c != EOF) return c;
      const bool failed = std::ferror(f.fp) != 0;
      std::clearerr(f.fp);
      return failed ? -2 : -1;
    }
  }
  return -1;
}

std::size_t get_bytes(File& f, char* out, std::size_t n) {
  std::size_t got = 0;
  while (got < n && !f.pushback.empty()) {
    out[got++] = static_cast<char>(f.pushback.back());
    f.pushback.pop_back();
  }
  switch (f.kind) {
    case Kind::Null:
      break;
    case Kind::String: {
      std::size_t k = f.pos < f.text.size() ? std::min(n - got, f.text.size() - f.pos) : 0;
      std::memcpy(out + got, f.text.data() + f.pos, k);
      f.pos += k;
      got += k;
      break;
    }
    case Kind::Host: {
      std::size_t k = 0;
      HostFile::Status s = f.host.read(out + got, n - got, k);
      if (s != HostFile::Status::Ok) transfer_failed(f, s);
      got += k;
      break;
    }
    case Kind::Stream:
      got += std::fread(out + got, 1, n - got, f.fp);
      if (std::ferror(f.fp)) {
        std::clearerr(f.fp);
        error(SYS_FREAD, "Cannot read file (" + f.name + ")");
      }
      std::clearerr(f.fp);
      break;
  }
  return got;
}

void set_write_fault(long n) { g_write_fault = n < 0 ? -1 : n; }

void flush_stream(File& f) {
  if (f.kind == Kind::Host) f.host.flush();
  else if (f.fp) std::fflush(f.fp);
}

}  // namespace fio

namespace fault {
void fail_write_after(long n) { fio::set_write_fault(n); }
}  // namespace fault

int open(std::string_view name, int mode, int type) {
  fio::check_type(name, type);
  if (name == "STDIN") return STDIN;
  if (name == "STDOUT") return STDOUT;
  if (name == "STDERR") return STDERR;
  std::string path = osfn(name);
  int flags = 0;
  switch (mode) {
    case READ_ONLY: flags = O_RDONLY; break;
    case READ_WRITE: flags = O_RDWR; break;
    case WRITE_ONLY: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case APPEND: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    case NEW_FILE:
    case TEMP_FILE:
    case NEW_COPY: flags = O_RDWR | O_CREAT | O_EXCL; break;
    default:
      error(SYS_FMODE, "Illegal file mode (" + std::string(name) + ")");
  }
  if (path.empty()) error(SYS_FOPEN, "Cannot open file (" + std::string(name) + ")");
  // A reader looks for a journal beside the file: whether the name is a
  // symbolic link tells where that is.
  bool through_link = false;
  int hfd = ::open(path.c_str(), flags | O_CLOEXEC | (mode == READ_ONLY ? O_NOFOLLOW : 0), 0666);
  if (hfd < 0 && errno == ELOOP && mode == READ_ONLY) {
    through_link = true;
    hfd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  }
  if (hfd < 0) {
    if (errno == EEXIST) error(SYS_FACCESS, "File already exists (" + std::string(name) + ")");
    error(SYS_FOPEN, "Cannot open file (" + std::string(name) + ")");
  }
  struct stat st;
  if (::fstat(hfd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(hfd);
    error(SYS_FOPEN, "Cannot open file (" + std::string(name) + ")");
  }
  std::unique_ptr<fio::lock::Reader> reader;
  if (mode == READ_ONLY) {
    try {
      reader = fio::begin_reading(name, path, through_link, hfd, st);
    } catch (...) {
      ::close(hfd);
      throw;
    }
  }
  auto f = fio::host_entry(name, path, mode, type);
  f->reader = std::move(reader);
  f->host.attach(hfd, mode == APPEND, &st);
  return fio::add_file(std::move(f));
}

void close(int fd) {
  std::unique_ptr<fio::File> owned = fio::take(fd);
  if (!owned || owned->kind != fio::Kind::Host) return;
  const std::string failure = fio::failure_of(*owned);  // a failure before is the one raised
  const fio::HostFile::Status s = owned->host.close();
  if (!failure.empty()) error(SYS_FWRITE, failure);
  if (s == fio::HostFile::Status::NameTaken)
    error(SYS_FACCESS, "File already exists (" + owned->name + ")");
  if (s != fio::HostFile::Status::Ok) {
    const std::string& why = owned->host.why();
    error(SYS_FWRITE, "Cannot close file (" + owned->name + ")" + (why.empty() ? "" : ": " + why));
  }
}

namespace fio {
namespace {

// The highest offset a host file can be positioned at.
constexpr long kMaxOffset = static_cast<long>(1) << 52;

long read_file(File& f, void* buf, long nchars) {
  if (nchars <= 0) return 0;
  if (f.mode == WRITE_ONLY || f.mode == APPEND)
    error(SYS_FREAD, "Cannot read file opened write-only (" + f.name + ")");
  const long u = unit(f);
  const std::size_t want = static_cast<std::size_t>(nchars) * static_cast<std::size_t>(u);
  char* out = static_cast<char*>(buf);
  std::size_t got = get_bytes(f, out, want);
  if (got == 0) return EOF_;
  if (got % u != 0) out[got++] = '\0';  // a final odd byte fills half a unit
  return static_cast<long>(got / u);
}

void write_file(File& f, const void* buf, long nchars) {
  if (nchars < 0) error(SYS_FWRITE, "Cannot write to file (" + f.name + ")");
  put_bytes(f, static_cast<const char*>(buf), static_cast<std::size_t>(nchars) * static_cast<std::size_t>(unit(f)));
}

void seek_file(File& f, long offset) {
  f.pushback.clear();
  const long u = unit(f);
  if (f.kind == Kind::String) {
    if (offset == BOF) f.pos = 0;
    else if (offset == EOF_) f.pos = f.text.size();
    else if (offset >= 1) f.pos = static_cast<std::size_t>((offset - 1) * u);
    else error(SYS_FSEEK, "Cannot seek on file (" + f.name + ")");
    return;
  }
  if (f.kind != Kind::Host) {
    if (offset == BOF || offset == EOF_) return;
    error(SYS_FSEEK, "Cannot seek on file (" + f.name + ")");
  }
  if (!f.host.seekable()) error(SYS_FSEEK, "Cannot seek on file (" + f.name + ")");
  if (offset == BOF) f.host.seek(0);
  else if (offset == EOF_) f.host.seek_end();
  else if (offset >= 1 && offset <= kMaxOffset) f.host.seek((offset - 1) * u);
  else error(SYS_FSEEK, "Cannot seek on file (" + f.name + ")");
}

}  // namespace
}  // namespace fio

long read(int fd, void* buf, long nchars) { return fio::read_file(fio::file(fd), buf, nchars); }

void write(int fd, const void* buf, long nchars) { fio::write_file(fio::file(fd), buf, nchars); }

void seek(int fd, long offset) { fio::seek_file(fio::file(fd), offset); }

long read_at(int fd, long offset, void* buf, long nchars) {
  fio::File& f = fio::file(fd);
  // The common case, bytes of a binary file that its window holds, is a
  // copy; the result is the one of the seek and read below.
  if (f.kind == fio::Kind::Host && f.type == BINARY_FILE && f.mode != WRITE_ONLY &&
      f.mode != APPEND && offset >= 1 && offset <= fio::kMaxOffset && nchars > 0 &&
      f.host.seekable() &&
      f.host.read_held((offset - 1) * 2, static_cast<char*>(buf), static_cast<std::size_t>(nchars) * 2)) {
    f.pushback.clear();
    return nchars;
  }
  fio::seek_file(f, offset);
  return fio::read_file(f, buf, nchars);
}

void write_at(int fd, long offset, const void* buf, long nchars) {
  fio::File& f = fio::file(fd);
  fio::seek_file(f, offset);
  fio::write_file(f, buf, nchars);
}

long note(int fd) {
  fio::File& f = fio::file(fd);
  const long u = fio::unit(f);
  if (f.kind == fio::Kind::String) return static_cast<long>(f.pos) / u + 1;
  if (f.kind != fio::Kind::Host) return 1;
  return static_cast<long>(f.host.tell()) / u + 1;
}

void flush(int fd) {
  fio::File& f = fio::file(fd);
  const bool ok = f.kind == fio::Kind::Host ? f.host.flush() == fio::HostFile::Status::Ok
                                             : !f.fp || std::fflush(f.fp) == 0;
  if (!ok) raise_write_failure(f);
}

void fseti(int fd, int param, long value) { fio::file(fd).params[param] = value; }

long fstati(int fd, int param) {
  fio::File& f = fio::file(fd);
  switch (param) {
    case F_FILESIZE: {
      const long u = fio::unit(f);
      if (f.kind == fio::Kind::String) return (static_cast<long>(f.text.size()) + u - 1) / u;
      if (f.kind != fio::Kind::Host) return 0;
      return (static_cast<long>(f.host.size()) + u - 1) / u;
    }
    case F_MODE: return f.mode;
    case F_TYPE: return f.type;
    case F_BUFSIZE: {
      auto it = f.params.find(param);
      return it == f.params.end() ? 4096 : it->second;
    }
    default: {
      auto it = f.params.find(param);
      return it == f.params.end() ? 0 : it->second;
    }
  }
}

std::string fname(int fd) {
  auto& t = fio::table();
  if (fd < 1 || static_cast<std::size_t>(fd) >= t.size() || !t[fd]) return "";
  return t[fd]->name;
}

bool is_open(int fd) {
  auto& t = fio::table();
  return fd >= 1 && static_cast<std::size_t>(fd) < t.size() && t[fd] != nullptr;
}

bool write_failed(int fd) { return !fio::failure_of(fio::file(fd)).empty(); }

std::string write_failure(int fd) { return fio::failure_of(fio::file(fd)); }

void fioclp() {
  auto& t = fio::table();
  for (std::size_t i = 1; i < t.size(); ++i) {
    if (!t[i]) continue;
    if (i <= LAST_STREAM) {
      fio::flush_stream(*t[i]);
      t[i]->pushback.clear();
      continue;
    }
    if (t[i]->kind == fio::Kind::Host) t[i]->host.close();
    t[i].reset();
  }
}

void fredir(int stream, std::string_view name, int mode, int type) {
  if (stream < 1 || stream > LAST_STREAM)
    error(SYS_FMODE, "Not a standard stream (" + std::to_string(stream) + ")");
  int fd = open(name, mode == NEW_FILE ? WRITE_ONLY : mode, type);
  if (fd <= LAST_STREAM) return;  // a standard stream's own name: nothing to do
  auto& t = fio::table();
  std::unique_ptr<fio::File> nf = std::move(t[fd]);
  std::unique_ptr<fio::File>& cur = t[stream];
  if (cur->kind == fio::Kind::Host) cur->host.close();
  else if (cur->fp) std::fflush(cur->fp);
  nf->params = cur->params;
  cur = std::move(nf);
}

void fredir_reset() {
  auto& t = fio::table();
  for (int s = 1; s <= LAST_STREAM; ++s) {
    if (t[s] && t[s]->kind == fio::Kind::Host) {
      t[s]->host.close();
      t[s].reset();
    }
  }
  fio::restore_streams();
}

int stropen(std::string_view text, int mode) {
  auto f = std::make_unique<fio::File>();
  f->kind = fio::Kind::String;
  f->name = "(string file)";
  f->type = TEXT_FILE;
  if (mode == READ_ONLY) {
    f->text = std::string(text);
    f->mode = READ_ONLY;
  } else if (mode == WRITE_ONLY || mode == NEW_FILE || mode == APPEND) {
    f->text = mode == APPEND ? std::string(text) : std::string();
    f->pos = f->text.size();
    f->mode = mode;
  } else {
    error(SYS_FMODE, "Illegal file mode (string file)");
  }
  return fio::add_file(std::move(f));
}

std::string strfile_text(int fd) {
  fio::File& f = fio::file(fd);
  if (f.kind != fio::Kind::String) error(SYS_FMODE, "Not a string file (" + f.name + ")");
  return f.text;
}

}  // namespace vos
