// Internal: the rollback journal of a file changed in place.
//
// Before any byte of the file that it held when the change began is
// overwritten or cut off, the block around it (kBlock bytes, the last one
// shorter) is appended to the journal "<file>-journal" beside the file,
// and the journal is synced; the first record also brings the journal's
// header, which holds the file's original size, and the directory entry of
// the journal is synced with it.  Bytes past the original size are never
// saved: a rollback cuts the file back to that size.  The change is
// committed by syncing the file and then removing the journal (and syncing
// the directory).  A journal found beside a file whose writer is gone is
// "hot": rolling it back writes every saved block back, cuts the file to its
// original size, syncs it and removes the journal.
//
// Journal layout (numbers big-endian):
//   header   "qrljrnl1" (8 bytes), block size (u32), 0 (u32),
//            original size (u64), nonce (u64)                   32 bytes
//   record   offset (u64), length (u32), the bytes, check (u64)
// The check of a record covers the nonce, its offset, length and bytes; a
// record whose check fails, and every record after it, was never synced,
// so the file was never written where it points: a rollback stops there.
// A journal without a whole header was never synced either, and is removed
// without touching the file.
#pragma once

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

  // Saves what the file held at [at, at + n) that is not yet saved, and
  // syncs the journal, before those bytes are overwritten or cut off
  // (n < 0: up to the original end).  False, with why() set, on failure:
  // the file must then not be written.
  bool before_change(long long at, long long n);

  // True once the journal exists (something was changed).
  bool started() const { return jfd_ >= 0; }

  // Ends the change, keeping it: syncs the file, removes the journal and
  // syncs the directory.  Nothing to do when nothing changed.
  bool commit();

  // Ends the change, undoing it: puts back every saved block, cuts the file
  // to its original size, syncs it, removes the journal and syncs the
  // directory.
  bool rollback();

  // What failed, in words, for an error message.
  const std::string& why() const { return why_; }

 private:
  bool start();  // makes the journal, or leaves none
  bool begin();
  bool sync_journal();
  bool finish();  // removes the journal and syncs the directory

  std::string path_, jpath_, dir_;
  int fd_;
  long long orig_;
  unsigned long long nonce_ = 0;
  int jfd_ = -1;
  long long jsize_ = 0;
  bool unsynced_ = false;
  std::vector<bool> saved_;  // by block of the original file
  std::string why_;
};

// The journal's name for the file at `path`.
std::string journal_path(const std::string& path);

// The directory part of `path` ("." for a bare name).
std::string dir_of(const std::string& path);

// Syncs the directory `dir`'s entries; false on failure.
bool sync_dir(const std::string& dir);

// Rolls back the hot journal of the file `path`, open for reading and
// writing on `fd` with the writer's lock held: false, with `why` set, when
// it could not.  Does nothing (true) when there is no journal.
bool roll_back_hot(const std::string& path, int fd, std::string& why);

}  // namespace vos::fio
