// FITS files open for writing are edited in memory.
//
// A table opened for reading and writing, or created, has its whole file in
// memory from the open on: CFITSIO reads and changes those bytes, never the
// file.  At close the bytes go to a temporary file beside the table's file
// (made at the open, so that an unwritable directory fails at once), which
// then replaces the file in one rename.  A write that fails anywhere on the
// way, the memory failing to grow, or a table that is discarded leaves the
// file as it was, and a new file absent: no partial FITS file is ever left
// on disk, and no failure of the disk is ever hidden (CFITSIO's own file
// driver drops the failure of its last buffered write).
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fits_table.h"
#include "vos/error.h"
#include "vos/files.h"

using namespace tbfio;
using tbl::FitsHandle;

namespace tbfits {
namespace {

// The handles whose memory CFITSIO may grow, so that a failed growth marks
// its handle.
std::vector<FitsHandle*>& growing() {
  static std::vector<FitsHandle*> handles;
  return handles;
}

void* grow(void* mem, std::size_t size) {
  void* out = std::realloc(mem, size);
  if (out == nullptr)
    for (FitsHandle* h : growing())
      if (h->mem == mem) h->failed = true;
  return out;
}

void forget(FitsHandle& h) {
  auto& v = growing();
  std::erase(v, &h);
  std::free(h.mem);
  h.mem = nullptr;
  h.memsize = 0;
}

void close_quietly(int fd) {
  vos::iferr([&] { vos::close(fd); });
  vos::xerret();
}

void delete_quietly(const std::string& name) {
  vos::iferr([&] {
    if (vos::access(name)) vos::delete_file(name);
  });
  vos::xerret();
}

// Drops the temporary file of `h`.
void drop_temp(FitsHandle& h) {
  if (h.temp_fd != 0) close_quietly(h.temp_fd);
  h.temp_fd = 0;
  if (!h.temp.empty()) delete_quietly(h.temp);
  h.temp.clear();
}

// The whole file `host` in memory at h.mem (h.memsize bytes).
void load(FitsHandle& h, const std::string& host) {
  int fd = vos::open(host, vos::READ_ONLY, vos::TEXT_FILE);  // text files count bytes
  try {
    const long size = vos::fstati(fd, vos::F_FILESIZE);
    h.mem = std::malloc(static_cast<std::size_t>(size > 0 ? size : 1));
    if (h.mem == nullptr) vos::error(vos::SYS_MFULL, "Out of memory");
    h.memsize = static_cast<std::size_t>(size);
    long got = 0;
    while (got < size) {
      long n = vos::read(fd, static_cast<char*>(h.mem) + got, size - got);
      if (n == vos::EOF_ || n <= 0) vos::error(vos::SYS_FREAD, "Cannot read file (" + host + ")");
      got += n;
    }
  } catch (...) {
    close_quietly(fd);
    throw;
  }
  vos::close(fd);
}

// Writes the first `size` bytes of h.mem to the temporary file and renames
// it over the table's file.
void write_back(FitsHandle& h, long long size) {
  if (size < 0 || static_cast<unsigned long long>(size) > h.memsize)
    vos::error(vos::SYS_FWRITE, "Cannot write to file (" + h.path + ")");
  const char* p = static_cast<const char*>(h.mem);
  for (long long done = 0; done < size;) {
    long n = static_cast<long>(std::min<long long>(size - done, 1L << 30));
    vos::write(h.temp_fd, p + done, n);
    done += n;
  }
  vos::flush(h.temp_fd);
  int fd = h.temp_fd;
  h.temp_fd = 0;
  vos::close(fd);
  vos::rename(h.temp, h.path);
  h.temp.clear();
}

}  // namespace

fitsfile* open_for_writing(FitsHandle& h, const std::string& host, bool create) {
  try {
    if (!create) {
      if (!vos::access(host, vos::READ_WRITE))
        fail(FILE_NOT_OPENED, "cannot open FITS file `" + host + "' for reading and writing");
      load(h, host);
    }
    h.path = host;
    h.temp = vos::mktemp(host + ".tmp");
    h.temp_fd = vos::open(h.temp, vos::NEW_FILE, vos::TEXT_FILE);
    growing().push_back(&h);
    int status = 0;
    fitsfile* f = nullptr;
    if (create) fsimem(f, &h.mem, &h.memsize, grow, status);
    else fsomem(f, host, READWRITE, &h.mem, &h.memsize, grow, status);
    tbferr(status);
    h.f = f;
    h.writing = true;
    return f;
  } catch (...) {
    drop_temp(h);
    forget(h);
    throw;
  }
}

void close_file(FitsHandle& h, bool discard) {
  fitsfile* f = h.f;
  h.f = nullptr;  // forgotten before closing: CFITSIO frees it even when the close fails
  int status = 0;
  long long size = 0;
  if (f != nullptr) {
    if (h.writing && !discard) {
      fsflus(f, status);
      size = fssize(f);
    }
    int closed = 0;
    fsclos(f, closed);
    if (status == 0) status = closed;
  }
  if (discard || h.failed) {
    if (f != nullptr) ftcmsg();
    drop_temp(h);
    forget(h);
    if (!discard && h.failed) fail(MEMORY_ALLOCATION, "out of memory for FITS file `" + h.path + "'");
    return;
  }
  try {
    tbferr(status);
    if (h.writing) write_back(h, size);
  } catch (...) {
    drop_temp(h);
    forget(h);
    throw;
  }
  forget(h);
}

}  // namespace tbfits

tbl::FitsHandle::~FitsHandle() { tbfits::close_file(*this, true); }
