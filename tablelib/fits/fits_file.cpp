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

#include "fits_table.h"
#include "vos/error.h"
#include "vos/files.h"

using namespace tbfio;
using tbl::FitsHandle;

namespace tbfits {
namespace {

// The file of a handle as CFITSIO's file.  Transfers go through
// the file layer; the first failure marks the handle, and every later call
// answers with a failing status.
class ChangedFile final : public Backing {
 public:
  explicit ChangedFile(FitsHandle& h) : h_(h) {}

  int size(long long& bytes) override {
    bytes = h_.size;
    return h_.failed ? READ_ERROR : 0;
  }

  int read(long long at, void* buf, long n) override {
    if (h_.failed) return READ_ERROR;
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
    if (status == 0 && got < n) status = mark(READ_ERROR);  // the file is shorter than written
    return status;
  }

  int write(long long at, const void* buf, long n) override {
    if (h_.failed) return WRITE_ERROR;
    if (n <= 0) return 0;
    if (at < 0) return mark(WRITE_ERROR);
    int status = guarded(WRITE_ERROR, [&] { vos::write_at(h_.fd, static_cast<long>(at + 1), buf, n); });
    if (status == 0) h_.size = std::max(h_.size, at + n);
    return status;
  }

  int truncate(long long bytes) override {
    if (h_.failed) return WRITE_ERROR;
    if (bytes < 0 || bytes >= h_.size) return 0;
    int status = guarded(WRITE_ERROR, [&] { vos::truncate_open(h_.fd, bytes); });
    if (status == 0) h_.size = bytes;
    return status;
  }

  int flush() override {
    if (h_.failed) return WRITE_ERROR;
    return guarded(WRITE_ERROR, [&] { vos::flush(h_.fd); });
  }

 private:
  int mark(int status) {
    h_.failed = true;
    h_.failed_at = tbferr_count();
    return status;
  }

  // Runs `body`; any error it raises (never passed through CFITSIO) marks
  // the handle and gives `status`.
  template <class F>
  int guarded(int status, F&& body) {
    try {
      body();
      return 0;
    } catch (...) {
      return mark(status);
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

fitsfile* open_for_writing(FitsHandle& h, const std::string& host, bool create) {
  try {
    if (!create && !vos::access(host, vos::READ_WRITE))
      fail(FILE_NOT_OPENED, "cannot open FITS file `" + host + "' for reading and writing");
    h.path = host;
    h.fd = create ? vos::open_staged(host, vos::TEXT_FILE) : vos::open_change(host, vos::TEXT_FILE);
    h.size = create ? 0 : vos::fstati(h.fd, vos::F_FILESIZE);
    h.failed = false;
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
  // write its buffers), and their failures are no news.
  if (discard && !h.failed) {
    h.failed = true;
    h.failed_at = -1;
  }
  if (f != nullptr) {
    if (h.writing && !h.failed) {
      fsflus(f, status);
      size = fssize(f);
    }
    // CFITSIO closes (and frees) the file whatever status it is handed,
    // keeping a flush's failure as the status.  A transfer that fails in
    // the close marks the handle, which the branch below reports.
    fsclos(f, status);
  }
  if (discard || h.failed) {
    if (f != nullptr) ftcmsg();
    // A failed transfer is reported once: by the call that met it, or here.
    const bool unreported = h.failed && h.failed_at == tbferr_count();
    h.failed = false;
    drop_file(h);
    forget(h);
    if (unreported) fail(WRITE_ERROR, "cannot write FITS file `" + h.path + "'");
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
