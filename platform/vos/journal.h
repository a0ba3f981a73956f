// Internal: the rollback journal of a file changed in place.
//
// Before a block of the file (kBlock bytes, the last one shorter) that
// holds bytes of the file's original size is changed or cut off, its
// original bytes are saved in the journal "<file>-journal" beside the file.
// Saving writes a record, or holds it to write with the next ones, and
// does not sync it.  Before the file itself is written or cut, the writer
// calls before_table_write(), which syncs the journal: every record saved
// so far and, the first time, the journal's header (which holds the file's
// original size) in one sync, then the journal's directory entry.  So no
// byte of the file changes on disk before the record that covers it is
// synced, and a change syncs the journal once per batch of writes, not
// once per block.  Bytes past the original size are never saved: a
// rollback cuts the file back to that size.  The change is committed by
// syncing the file and then removing the journal (and syncing the
// directory).  A journal found beside a file whose writer is gone is "hot":
// rolling it back writes every saved block back, cuts the file to its
// original size, syncs it and removes the journal.
//
// Journal layout (numbers big-endian):
//   header   "qrljrnl2" (8 bytes), block size (u32), 0 (u32),
//            original size (u64), nonce (u64)                   32 bytes
//   record   offset (u64), length (u32), the bytes, check (u64)
// The check of a record covers the nonce, its offset, length and bytes
// (journal.cpp gives the function; a journal of the first version,
// "qrljrnl1", has another one, and is rolled back too); a record whose
// check fails, and every record after it, was never synced, so the file
// was never written where it points: a rollback stops there.
// A journal without a whole header was never synced either, and is removed
// without touching the file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vos::fio {

class Journal {
 public:
  static constexpr long long kBlock = 4096;

  // The journal of the file `path` (its real path, after links), whose
  // host descriptor `fd` is open for reading and writing and holds the
  // writer's lock; `size` is the file's size now, before any change.
  Journal(std::string path, int fd, long long size);
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // The file's size before the change.
  long long original_size() const { return orig_; }

  // True when block `b` holds bytes of the original file and is not saved
  // yet.
  bool needs_saving(long long b) const {
    return b >= 0 && b < static_cast<long long>(saved_.size()) && !saved_[static_cast<std::size_t>(b)];
  }

  // Saves block `b`, whose original bytes are the first ones of the kBlock
  // bytes at `bytes` (those past the original size are left out).  The
  // record is not synced.  False, with why() set, on failure.
  bool save(long long b, const unsigned char* bytes);

  // Saves from the file every block not saved yet that holds original
  // bytes at `at` or after: what a cut to `at` would lose.  Not synced.
  bool save_from(long long at);

  // The file is about to be written or cut: makes every record saved so
  // far durable (see above).  Every batch of writes and every cut of the
  // file comes right after this call, and nothing else writes the file
  // during the change.  False, with why() set, on failure: the file must
  // then not be written.
  bool before_table_write();

  // True once the journal exists (something was saved or written).
  bool started() const { return jfd_ >= 0; }

  // Ends the change, keeping it: syncs the file (when it was written),
  // removes the journal and syncs the directory.  Nothing to do when
  // nothing was saved or written.
  bool commit();

  // Ends the change, undoing it: when the file was written, puts back
  // every saved block, cuts the file to its original size and syncs it;
  // then removes the journal and syncs the directory.
  bool rollback();

  // What failed, in words, for an error message.
  const std::string& why() const { return why_; }

 private:
  bool start();  // makes the journal, or leaves none
  bool begin();
  bool write_pending();
  bool finish();  // removes the journal and syncs the directory

  std::string path_, jpath_, dir_;
  int fd_;
  long long orig_;
  unsigned long long nonce_ = 0;
  int jfd_ = -1;
  long long jsize_ = 0;
  bool unsynced_ = false;    // written since the last sync
  bool dir_synced_ = false;  // the journal's directory entry is on disk
  bool touched_ = false;     // the file was written or cut
  std::vector<bool> saved_;  // by block of the original file
  std::unique_ptr<unsigned char[]> pending_;  // records not yet written
  std::size_t npending_ = 0;                  // ... their bytes
  std::string why_;
};

// The journal's name for the file at `path`.
std::string journal_path(const std::string& path);

// The directory part of `path` ("." for a bare name).
std::string dir_of(const std::string& path);

// Syncs the directory `dir`'s entries; false on failure.
bool sync_dir(const std::string& dir);

// Moves exactly n bytes from or to `fd` at `at` (pread, or pwrite through
// the file layer's seam); false when the file ends first or the call
// fails (errno set).
bool read_full(int fd, void* buf, std::size_t n, long long at);
bool write_full(int fd, const void* buf, std::size_t n, long long at);

// Rolls back the hot journal of the file `path`, open for reading and
// writing on `fd` with the writer's lock held: false, with `why` set, when
// it could not.  Does nothing (true) when there is no journal.
bool roll_back_hot(const std::string& path, int fd, std::string& why);

}  // namespace vos::fio
