// FITS files open for writing are changed in place.
//
// An existing file opened for reading and writing is changed in its own
// file under the file layer's rollback journal; a new file is staged and
// appears at its name, whole and synced, only at close.  CFITSIO reaches
// the file only through the file layer (a Backing), so that every failed
// transfer is seen, also the one of the last buffered write, which
// CFITSIO's own file driver drops.  A transfer that fails anywhere on the
// way, or a table that is discarded, rolls the change back: the file is
// left as it was and a new file never appears; no failure of the disk is
// ever hidden.  Only CFITSIO's buffers and the file layer's window are in
// memory, whatever the size of the file.  A FITS file opened for reading
// is read through the file layer too (one open of the file, which makes the
// table one of the file's readers; reads ahead in large pieces).
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "fits_table.h"
#include "tablelib/tbbackend.h"
#include "vos/error.h"
#include "vos/files.h"

using namespace tbfio;
using tbl::FitsHandle;

namespace tbfits {
namespace {

// Reads up to n bytes at `at` through the file layer: the count read, fewer
// where the file ends.  Raises the file layer's error.
long read_upto(int fd, long long at, void* buf, long n) {
  char* out = static_cast<char*>(buf);
  long got = 0;
  while (got < n) {
    long k = vos::read_at(fd, static_cast<long>(at + got + 1), out + got, n - got);
    if (k == vos::EOF_ || k <= 0) break;
    got += k;
  }
  return got;
}

// The file of a handle as CFITSIO's file.  Transfers go through the file
// layer; the first failure is kept in the handle, and every later call
// answers with a failing status.  Each failing answer hands the failure to
// tbferr, so that the call raises it (naming the file and the reason) in
// place of CFITSIO's own messages.
class HandleFile : public Backing {
 public:
  explicit HandleFile(FitsHandle& h) : h_(h) {}

  const std::string& name() const override { return h_.path; }

  int size(long long& bytes) override {
    bytes = h_.size;
    return h_.failed ? refused(READ_ERROR) : 0;
  }

 protected:
  // The answer once no more transfers are made: the failure, if one is the
  // reason, goes to tbferr.
  int refused(int status) {
    if (!h_.failure.empty()) backing_failed(h_.failure_code, h_.failure);
    return status;
  }

  // The first failure: kept in the handle, which takes no more transfers.
  int fail(int status, int code, std::string message) {
    h_.failed = true;
    if (h_.failure.empty()) {
      h_.failure_code = code;
      h_.failure = std::move(message);
    }
    return refused(status);
  }

  // Runs `body`; any error it raises (never passed through CFITSIO) is the
  // handle's failure and gives `status`.
  template <class F>
  int guarded(int status, F&& body) {
    try {
      body();
      return 0;
    } catch (const vos::Error& e) {
      return fail(status, e.code(), e.message());
    } catch (const std::bad_alloc&) {
      return fail(status, vos::SYS_MFULL, "Out of memory");
    }
  }

  // Reads n bytes at `at`, which lie within the file as the handle knows
  // it; a file found shorter fails with `why`.
  int read_within(long long at, void* buf, long n, const char* why) {
    if (h_.failed) return refused(READ_ERROR);
    if (n <= 0) return 0;
    if (at < 0 || at + n > h_.size) return END_OF_FILE;
    long got = 0;
    int status = guarded(READ_ERROR, [&] { got = read_upto(h_.fd, at, buf, n); });
    if (status == 0 && got < n)
      status = fail(READ_ERROR, vos::SYS_FREAD, "Cannot read file (" + h_.path + "): " + why);
    return status;
  }

  FitsHandle& h_;
};

// A file open for writing: a change under the file layer's journal.
class ChangedFile final : public HandleFile {
 public:
  explicit ChangedFile(FitsHandle& h) : HandleFile(h) {}

  int read(long long at, void* buf, long n) override {
    return read_within(at, buf, n, "it ends before what was written to it");
  }

  int write(long long at, const void* buf, long n) override {
    if (h_.failed) return refused(WRITE_ERROR);
    if (n <= 0) return 0;
    int status = guarded(WRITE_ERROR, [&] { vos::write_at(h_.fd, static_cast<long>(at + 1), buf, n); });
    if (status == 0) h_.size = std::max(h_.size, at + n);
    return status;
  }

  int truncate(long long bytes) override {
    if (h_.failed) return refused(WRITE_ERROR);
    if (bytes < 0 || bytes >= h_.size) return 0;
    int status = guarded(WRITE_ERROR, [&] { vos::truncate_open(h_.fd, bytes); });
    if (status == 0) h_.size = bytes;
    return status;
  }

  int flush() override {
    if (h_.failed) return refused(WRITE_ERROR);
    return guarded(WRITE_ERROR, [&] { vos::flush(h_.fd); });
  }
};

// A file read as it stands.  Transfers go through the file layer, so the
// file is the one its name gives (no part of the name is taken for
// CFITSIO's own syntax of extensions and filters).  A read that fails ends
// the reading too: CFITSIO would answer a later read of the same part from
// a buffer it never filled.
class ReadFile final : public HandleFile {
 public:
  explicit ReadFile(FitsHandle& h) : HandleFile(h) {}
  int read(long long at, void* buf, long n) override {
    return read_within(at, buf, n, "it is shorter than it was");
  }
  int write(long long, const void*, long) override { return READONLY_FILE; }
  int truncate(long long) override { return READONLY_FILE; }
  int flush() override { return 0; }
};


// The compression of the file open at `fd` (`size` bytes), or null.  Raises
// the file layer's error when it cannot be read.
const char* compression_of(int fd, long long size) {
  unsigned char head[10] = {0};
  const long n = static_cast<long>(std::min<long long>(size, 10));
  if (n < 2 || read_upto(fd, 0, head, n) != n) return nullptr;
  return tbl::tbfcmp(head, n);
}

// Drops the file of `h`: closes a file read, undoes a change.  A failure
// is not reported: a rollback that fails leaves the journal for the next
// open, which is the best left to do here.
void drop_file(FitsHandle& h) {
  if (h.fd != 0) {
    const int fd = h.fd;
    h.fd = 0;
    vos::iferr([&] {
      if (h.writing) vos::abandon(fd);
      else vos::close(fd);
    });
    vos::xerret();
  }
}

// A handle with no transfer failed yet.
void clear_failure(FitsHandle& h) {
  h.failed = false;
  h.failure_code = 0;
  h.failure.clear();
}

void forget(FitsHandle& h) {
  h.backing.reset();
  h.size = 0;
}

// Cuts the file to the `size` bytes CFITSIO wrote and closes it, which
// commits the change.
void commit_file(FitsHandle& h, long long size) {
  if (size < 0 || size > h.size) vos::error(vos::SYS_FWRITE, "Cannot write to file (" + h.path + ")");
  if (vos::fstati(h.fd, vos::F_FILESIZE) > size) vos::truncate_open(h.fd, size);
  const int fd = h.fd;
  h.fd = 0;
  try {
    vos::close(fd);
  } catch (...) {
    forget(h);
    throw;
  }
}

}  // namespace

fitsfile* open_for_reading(FitsHandle& h, const std::string& name) {
  try {
    h.path = name;
    h.writing = false;
    clear_failure(h);
    h.fd = vos::open(name, vos::READ_ONLY, vos::TEXT_FILE);
    h.size = vos::fstati(h.fd, vos::F_FILESIZE);
    int status = 0;
    fitsfile* f = nullptr;
    const char* packed = compression_of(h.fd, h.size);
    if (packed == nullptr) {
      h.backing = std::make_unique<ReadFile>(h);
      fsobck(f, h.backing.get(), READONLY, status);
    } else if (std::string(packed) == "gzip") {
      // Read as CFITSIO reads it: decompressed into memory.
      std::string bytes(static_cast<std::size_t>(h.size), '\0');
      if (read_upto(h.fd, 0, bytes.data(), static_cast<long>(h.size)) != h.size)
        fail(READ_ERROR, "cannot read FITS file `" + name + "': it is shorter than it was");
      fsomem(f, bytes, status);
      if (status != 0) {
        ftcmsg();
        fail(status, "can't read FITS file `" + name + "': it is compressed (gzip) and does not "
                     "decompress to a FITS file");
      }
    } else {
      fail(1, "can't read FITS file `" + name + "': it is compressed (" + packed +
                  "); only gzip-compressed files are read");
    }
    tbferr(status);
    h.f = f;
    return f;
  } catch (...) {
    drop_file(h);
    forget(h);
    throw;
  }
}

fitsfile* open_for_writing(FitsHandle& h, const std::string& name, bool create) {
  try {
    if (!create && !vos::access(name, vos::READ_WRITE))
      fail(FILE_NOT_OPENED, "cannot open FITS file `" + name + "' for reading and writing");
    h.path = name;
    h.writing = true;
    h.fd = create ? vos::open_staged(name, vos::TEXT_FILE) : vos::open_change(name, vos::TEXT_FILE);
    h.size = create ? 0 : vos::fstati(h.fd, vos::F_FILESIZE);
    // A compressed file is read only: it never takes a change (nothing has
    // been written yet; the catch below gives the file up untouched).
    if (const char* packed = create ? nullptr : compression_of(h.fd, h.size))
      fail(READONLY_FILE, "can't change FITS file `" + name + "': it is compressed (" + packed +
                              ") and can only be read");
    clear_failure(h);
    h.backing = std::make_unique<ChangedFile>(h);
    int status = 0;
    fitsfile* f = nullptr;
    if (create) fsibck(f, h.backing.get(), status);
    else fsobck(f, h.backing.get(), READWRITE, status);
    tbferr(status);
    h.f = f;
    return f;
  } catch (...) {
    drop_file(h);
    forget(h);
    throw;
  }
}

void close_file(FitsHandle& h, bool discard) {
  fitsfile* f = h.f;
  h.f = nullptr;  // forgotten before closing: CFITSIO frees it even when the close fails
  if (!h.writing) {
    // A file open for reading: its reader's lock goes after CFITSIO's handle.
    int status = 0;
    if (f != nullptr) fsclos(f, status);
    drop_file(h);
    forget(h);
    if (!discard) tbferr(status);
    else if (status != 0) ftcmsg();
    return;
  }
  int status = 0;
  long long size = 0;
  // A discarded file takes no more writes (CFITSIO's close would still
  // write its buffers).
  if (discard) h.failed = true;
  if (f != nullptr) {
    if (!h.failed) {
      fsflus(f, status);
      size = fssize(f);
    }
    // CFITSIO closes (and frees) the file whatever status it is handed,
    // keeping a flush's failure as the status.  A transfer that fails in
    // the close marks the handle, which the branch below reports.
    fsclos(f, status);
  }
  if (h.failed) {
    if (f != nullptr) ftcmsg();
    // A failed transfer is raised by every call after it, and here unless
    // the file is discarded (undone, as asked).
    const int code = h.failure_code;
    const std::string failure = h.failure;
    clear_failure(h);
    drop_file(h);
    forget(h);
    if (!discard && !failure.empty()) fail(code, failure);
    return;
  }
  try {
    tbferr(status);
    commit_file(h, size);
  } catch (...) {
    drop_file(h);
    forget(h);
    throw;
  }
  forget(h);
}

}  // namespace tbfits

// The magic numbers of the compressions a file may be kept in.
const char* tbl::tbfcmp(const unsigned char* b, long n) {
  if (n >= 2 && b[0] == 0x1f && b[1] == 0x8b) return "gzip";
  if (n >= 2 && b[0] == 0x1f && b[1] == 0x9d) return "compress";
  if (n >= 2 && b[0] == 0x1f && b[1] == 0x1e) return "pack";
  if (n >= 2 && b[0] == 0x1f && b[1] == 0xa0) return "LZH";
  if (n >= 4 && b[0] == 'P' && b[1] == 'K' && b[2] == 3 && b[3] == 4) return "zip";
  if (n >= 10 && b[0] == 'B' && b[1] == 'Z' && b[2] == 'h' && std::memcmp(b + 4, "1AY&SY", 6) == 0)
    return "bzip2";
  return nullptr;
}

tbl::FitsHandle::~FitsHandle() {
  try {
    tbfits::close_file(*this, true);
  } catch (...) {
    // Discarded on the way out of another failure, which is the one reported.
  }
}
