// Internal: a host file read and written through a window buffer of its own.
//
// The window holds up to kWindow bytes of the file from `wstart`: its first
// `wlen` bytes are known (read from the file, or written), and the bytes
// dirty[lo, hi) of them are not yet in the file.  Reads and writes that fall
// inside the window are copies; a seek only moves the position, so a seek
// inside the window costs nothing.  When the position leaves the window,
// a window with dirty bytes is parked (up to kParked of them, the least recently used
// written back and dropped first) and one that holds the position takes
// over, or a new one starts there; so a caller that writes in turn to a few
// distant regions (the column blocks of a table) writes each back in large
// transfers.  Windows never overlap: a new one drops (after writing back)
// the parked ones its span meets.  Dirty bytes are written back when their
// window is dropped, before a transfer too large for a window, on flush
// and on close.  Callers that reach the file through one
// descriptor see their own writes at once; other descriptors see them after
// a flush.
//
// A failed write-back loses the dirty bytes and is sticky: the call that
// meets it fails, and so does every later flush and the close, so a failed
// write is never reported as success.
//
// A file may be a change session: an existing file changed in place under
// a rollback journal, through a write-back cache of its own (pager.h).  Its
// writes go straight into the cache (the window keeps no dirty bytes; it
// is kept up to date, and only reads through it), and its reads, its size
// and its cuts are the cache's, so the session sees its own change whole
// while the file takes it in batches; a flush leaves the bytes in the
// cache.  Close writes the cache back and commits; a failure or abandon()
// rolls back.  Or a new file staged without a name (close syncs it and
// links it at its name, which must still be free; abandon() drops it).
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "journal.h"
#include "pager.h"

namespace vos::fio {

class HostFile {
 public:
  static constexpr std::size_t kWindow = 64 * 1024;
  static constexpr std::size_t kMinFill = 4 * 1024;  // first read-ahead after a jump
  static constexpr std::size_t kParked = 7;

  enum class Status { Ok, WriteFailed, ReadFailed, NameTaken };

  HostFile() = default;
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;
  // Writes back and closes what is still open, ignoring failures (files
  // left open at exit keep their data, as streams do).
  ~HostFile();

  // Takes over the open host descriptor `hfd`; `append`: every write goes
  // to the end of the file.  `known`: its status, when the caller has it.
  void attach(int hfd, bool append, const struct stat* known = nullptr);

  // Writes n bytes at the position and moves past them.
  Status write(const char* data, std::size_t n);

  // Reads up to n bytes at the position into `out`; `got` is 0 at the end.
  // Bytes the window already holds are copied here; the rest goes on in
  // read_more().
  Status read(char* out, std::size_t n, std::size_t& got) {
    if (read_held(pos_, out, n)) {
      got = n;
      return Status::Ok;
    }
    return read_more(out, n, got);
  }

  // When the window holds all n > 0 bytes at `at`: copies them into `out`,
  // leaves the position after them and returns true.  Otherwise does
  // nothing and returns false.
  bool read_held(long long at, char* out, std::size_t n) {
    const long long o = at - wstart_;
    if (n == 0 || o < 0 || static_cast<unsigned long long>(o) + n > wlen_) return false;
    std::memcpy(out, buf_.get() + o, n);
    pos_ = at + static_cast<long long>(n);
    return true;
  }

  // The byte at the position (0..255), then moves past it; -1 at the end.
  // A failure is returned as -2.
  int getc() {
    if (pos_ >= wstart_ && pos_ < wstart_ + static_cast<long long>(wlen_))
      return static_cast<unsigned char>(buf_[static_cast<std::size_t>(pos_++ - wstart_)]);
    return getc_slow();
  }

  // A regular file: one that can be positioned.
  bool seekable() const { return seekable_; }
  void seek(long long offset) { pos_ = offset; }
  void seek_end() { pos_ = size(); }
  long long tell() const { return pos_; }
  // Size of the file with the buffered bytes (the file's own size when
  // another descriptor made it larger; a change session's own size).
  long long size();

  // Writes the dirty bytes back; WriteFailed after any failed write-back.
  Status flush();

  // Writes back and closes the descriptor (ending a change session as
  // described above); WriteFailed when the write-back failed now or before,
  // the session could not be kept or the close itself failed; NameTaken
  // when a staged file's name was taken meanwhile (the file is dropped).
  Status close();

  // A write or write-back has failed.
  bool failed() const { return failed_; }
  // Fails the file as a failed write-back does (a write that could not be
  // made, an injected fault).
  void mark_failed() { failed_ = true; }

  // Makes the file a change in place under `journal`, whose original size
  // is the file's size now.
  void set_journal(std::unique_ptr<Journal> journal) {
    journal_ = std::move(journal);
    pager_ = std::make_unique<Pager>(fd_, *journal_);
  }
  // Makes the file a new file that close() links at `target` (its host
  // path); `temp` is its temporary name, "" when it has none.
  void set_staged(std::string target, std::string temp) {
    staged_ = true;
    target_ = std::move(target);
    temp_ = std::move(temp);
  }

  // Cuts the file to `size` bytes (or extends it with zeros).
  Status truncate(long long size);

  // Drops the buffered bytes, undoes the change session (a plain file just
  // closes) and closes; WriteFailed when the undoing failed.
  Status abandon();

  // What failed, in words: the system's reason for a write or a cut that
  // failed, or what failed in the change session ("" when nothing did).
  const std::string& why() const { return why_; }

 private:
  int getc_slow();
  Status read_more(char* out, std::size_t n, std::size_t& got);
  // Writes back the dirty bytes of the window.
  bool write_back();
  // Reads what the file holds of the window from wlen on, at least up to
  // `upto` bytes of the window; tail_known is set when the read met the
  // end of the file.
  bool fill(std::size_t upto);
  // Makes a window hold the position, with room for n bytes from it: a
  // parked one, or a new empty one (the current one is parked).
  bool move_window(std::size_t n);
  // A window set aside.
  struct Parked {
    std::unique_ptr<char[]> buf;
    long long wstart = 0;
    std::size_t wlen = 0;
    bool tail_known = false;
    std::size_t ahead = kMinFill;
    std::size_t dlo = 0, dhi = 0;
    unsigned long long used = 0;
  };
  void swap_current(Parked& p);
  // Writes back a parked window's dirty bytes.
  bool write_back(Parked& p);
  // Writes back and drops the parked windows whose span meets [lo, hi).
  bool drop_parked(long long lo, long long hi);
  // Writes back every window.
  bool write_back_all();
  // Reads up to n bytes at `at`: the count, 0 at the end, -1 on failure.
  long in(char* p, std::size_t n, long long at);
  // Writes n bytes at `at` (appending in append mode), all or fail.
  bool put(long long at, const char* data, std::size_t n);
  // A change session's write: into the cache, and into the window where
  // it holds those bytes.
  Status write_through(const char* data, std::size_t n);
  // Ends a change session, keeping it; false (and why_) on failure.
  bool commit();
  // Links a staged file at its name and syncs the directory.
  bool publish();

  int fd_ = -1;
  bool append_ = false;
  bool readable_ = false;  // the descriptor was opened for reading
  bool seekable_ = false;  // a regular file (not a pipe or a terminal)
  bool failed_ = false;    // a write-back failed
  std::unique_ptr<char[]> buf_;
  long long wstart_ = 0;
  std::size_t wlen_ = 0;
  bool tail_known_ = false;  // the window's bytes from wlen on are past the end
  std::size_t ahead_ = kMinFill;  // bytes the next fill reads at least
  std::size_t dlo_ = 0, dhi_ = 0;
  long long pos_ = 0;
  long long size_ = 0;  // size with the buffered bytes
  std::vector<Parked> parked_;
  unsigned long long clock_ = 0;
  std::unique_ptr<Journal> journal_;  // a change in place
  std::unique_ptr<Pager> pager_;      // its cache
  bool staged_ = false;               // a new file without its name yet
  bool name_taken_ = false;           // its name was taken meanwhile
  std::string target_, temp_;
  std::string why_;
};

}  // namespace vos::fio
