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
// memory, whatever the size of the file.
#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "fits_table.h"
#include "vos/error.h"
#include "vos/files.h"

using namespace tbfio;
using tbl::FitsHandle;

namespace tbfits {
namespace {

// The file of a handle as CFITSIO's file.  Transfers go through the file
// layer; the first failure is kept in the handle, and every later call
// answers with a failing status.  Each failing answer hands the failure to
// tbferr, so that the call raises it (naming the file and the reason) in
// place of CFITSIO's own messages.
class ChangedFile final : public Backing {
 public:
  explicit ChangedFile(FitsHandle& h) : h_(h) {}

  const std::string& name() const override { return h_.path; }

  int size(long long& bytes) override {
    bytes = h_.size;
    return h_.failed ? refused(READ_ERROR) : 0;
  }

  int read(long long at, void* buf, long n) override {
    if (h_.failed) return refused(READ_ERROR);
    if (n <= 0) return 0;
    if (at < 0 || at + n > h_.size) return END_OF_FILE;
    char* out = static_cast<char*>(buf);
    long got = 0;
    int status = guarded(READ_ERROR, [&] {
      while (got < n) {
        long k = vos::read_at(h_.fd, static_cast<long>(at + got + 1), out + got, n - got);
        if (k == vos::EOF_ || k <= 0) break;
        got += k;
      }
    });
    if (status == 0 && got < n)  // the file is shorter than written
      status = fail(READ_ERROR, vos::SYS_FREAD,
                    "Cannot read file (" + h_.path + "): it ends before what was written to it");
    return status;
  }

  int write(long long at, const void* buf, long n) override {
    if (h_.failed) return refused(WRITE_ERROR);
    if (n <= 0) return 0;
    if (at < 0) return fail(WRITE_ERROR, vos::SYS_FWRITE, "Cannot write to file (" + h_.path + ")");
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

 private:
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

  FitsHandle& h_;
};

// Drops the file of `h` undoing its change; a rollback that fails leaves
// the journal for the next open, which is the best left to do here.
void drop_file(FitsHandle& h) {
  if (h.fd != 0) {
    const int fd = h.fd;
    h.fd = 0;
    vos::iferr([&] { vos::abandon(fd); });
    vos::xerret();
  }
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

fitsfile* open_for_writing(FitsHandle& h, const std::string& name, bool create) {
  try {
    if (!create && !vos::access(name, vos::READ_WRITE))
      fail(FILE_NOT_OPENED, "cannot open FITS file `" + name + "' for reading and writing");
    h.path = name;
    h.fd = create ? vos::open_staged(name, vos::TEXT_FILE) : vos::open_change(name, vos::TEXT_FILE);
    h.size = create ? 0 : vos::fstati(h.fd, vos::F_FILESIZE);
    h.failed = false;
    h.failure_code = 0;
    h.failure.clear();
    h.backing = std::make_unique<ChangedFile>(h);
    int status = 0;
    fitsfile* f = nullptr;
    if (create) fsibck(f, h.backing.get(), status);
    else fsobck(f, h.backing.get(), READWRITE, status);
    tbferr(status);
    h.f = f;
    h.writing = true;
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
  int status = 0;
  long long size = 0;
  // A discarded file takes no more writes (CFITSIO's close would still
  // write its buffers).
  if (discard) h.failed = true;
  if (f != nullptr) {
    if (h.writing && !h.failed) {
      fsflus(f, status);
      size = fssize(f);
    }
    int closed = 0;
    fsclos(f, closed);
    if (status == 0) status = closed;
  }
  if (h.failed) {
    if (f != nullptr) ftcmsg();
    // A failed transfer is raised by every call after it, and here unless
    // the file is discarded (undone, as asked).
    const int code = h.failure_code;
    const std::string failure = h.failure;
    h.failed = false;
    h.failure.clear();
    drop_file(h);
    forget(h);
    if (!discard && !failure.empty()) fail(code, failure);
    return;
  }
  try {
    tbferr(status);
    if (h.writing) commit_file(h, size);
  } catch (...) {
    drop_file(h);
    forget(h);
    throw;
  }
  forget(h);
}

}  // namespace tbfits

tbl::FitsHandle::~FitsHandle() {
  try {
    tbfits::close_file(*this, true);
  } catch (...) {
    // Discarded on the way out of another failure, which is the one reported.
  }
}
