// Internal: the rollback journal of a file changed in place.
//
// Before a block of the file (kBlock bytes, the last one shorter) that
// holds bytes of the file's original size is changed or cut off, its
// original bytes are saved in the journal "<file>-journal" beside the file.
// Saving writes a record, or holds it to write with the next ones, and
// does not sync it.  Before the file itself is written or cut, the writer
// calls before_table_write(), which syncs the journal: every record saved
// so far and, the first time, the journal's header (which names the file
// and holds its original size) in one sync, then the journal's directory
// entry.  So no byte of the file changes on disk before the record that
// covers it is synced, and a change syncs the journal once per batch of
// writes, not once per block.  Bytes past the original size are never
// saved: a rollback cuts the file back to that size.  The change is
// committed by syncing the file and then removing the journal (and syncing
// the directory).  A journal found beside a file whose writer is gone is
// "hot": rolling it back writes every saved block back, cuts the file to
// its original size, syncs it and removes the journal.
//
// Only the writer makes its journal: created exclusively, never through a
// link, readable and writable by its owner alone (0600), in the file's
// group and, when the super-user writes, given the file's owner.  A
// journal found is trusted only when it is a regular file of one name,
// owned by the file's owner, the super-user or (for a file its group may
// write) a member of its group, whose header names this very file (its
// device or file system, inode and birth time); anything else at the
// journal's name is refused, and neither file is touched.
//
// A file with several names (hard links): the journal sits beside the name
// the writer used, so before its first write into the file the writer also
// records the journal's path in the file's extended attribute
// kJournalAttr (synced with the file), where an open through any other
// name finds it; it goes once the journal is gone.
//
// Journal layout (numbers big-endian):
//   header   "qrljrnl2" (8 bytes), block size (u32), 0 (u32),
//            original size (u64), nonce (u64), the file's device (u64),
//            file system id (u64), inode (u64), birth time in ns (i64,
//            0 where the file system keeps none), check (u64)   72 bytes
//   record   offset (u64), length (u32), the bytes, check (u64)
// The check of the header covers the nonce and its first 64 bytes; that
// of a record the nonce, its offset, length and bytes (journal.cpp gives
// the function, a hash taken a word at a time).  A record whose
// check fails, and every record after it, was never synced, so the file
// was never written where it points: a rollback stops there.  A journal
// without a whole header was never synced either (its writer had not
// touched the file), and is removed without touching the file.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "lock.h"

namespace vos::fio {

class Journal {
 public:
  static constexpr long long kBlock = 4096;

  // The journal of the file `path` (its real path, after links), whose
  // host descriptor `fd` is open for reading and writing and holds the
  // writer's RESERVED lock; `size` is the file's size now, before any
  // change.
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
  // far durable (see above); the first time, also takes the file from its
  // readers (the EXCLUSIVE lock, waiting for them up to lock::kWriterWait)
  // and, for a file of several names, records where its journal is.
  // Every batch of writes and every cut of the file comes right after this
  // call, and nothing else writes the file during the change.  False, with
  // why() set: the file must not be written.
  bool before_table_write();

  // True once the journal exists (something was saved or written).
  bool started() const { return jfd_ >= 0; }

  // Ends the change, keeping it: syncs the file, removes the journal and
  // syncs the directory, then lets readers in again.  Nothing to do when
  // nothing was saved or written.  Fails, leaving it, when the journal's name no longer
  // holds the journal made here.
  bool commit();

  // Ends the change, undoing it: puts back every saved block, cuts the file
  // to its original size, syncs it, removes the journal and syncs the
  // directory.  A file not yet written (before_table_write never passed)
  // is not touched: only the journal goes.
  bool rollback();

  // What failed, in words, for an error message.
  const std::string& why() const { return why_; }

 private:
  bool start();  // makes the journal, or leaves none
  bool begin();
  bool write_pending();
  bool finish();  // removes the journal and syncs the directory
  bool still_ours();  // the journal's name holds the journal made here

  std::string path_, jpath_, dir_;
  int fd_;
  long long orig_;
  lock::FileKey key_{};
  unsigned long long nonce_ = 0;
  int jfd_ = -1;
  long long jsize_ = 0;
  long long allocated_ = 0;  // the room taken for it (see write_pending)
  bool unsynced_ = false;    // written since the last sync
  bool dir_synced_ = false;  // the journal's directory entry is on disk
  bool exclusive_ = false;   // EXCLUSIVE taken: the file may be written
  bool named_ = false;       // the file's attribute names the journal
  std::vector<bool> saved_;  // by block of the original file
  std::unique_ptr<unsigned char[]> pending_;  // records not yet written
  std::size_t npending_ = 0;                  // ... their bytes
  std::size_t pending_cap_ = 0;               // ... the room for them
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
// Reads up to `n` bytes of `fd` at `at` into `buf`, stopping short only at
// the end of the file: the count read, or -1 when a call fails (errno set).
long long read_upto(int fd, void* buf, std::size_t n, long long at);
bool write_full(int fd, const void* buf, std::size_t n, long long at);
// Writes the bytes of `cnt` buffers in turn at `at`, all of them (pwritev
// through the seam; `iov` is changed); false when a call fails (errno set).
bool write_fullv(int fd, struct iovec* iov, int cnt, long long at);

// Starts the disk write of the n bytes of `fd` at `at` that wait in the
// system's cache, without waiting for it: the sync that follows finds less
// to do.  It makes nothing durable, and its failure is of no account.
void start_writing(int fd, long long at, long long n);

// Closes the descriptor of a journal whose name is gone.  Closing the last
// descriptor of a removed file frees its blocks (telling the disk they are
// free where it is mounted so) and its cached pages, which takes a good
// part of a millisecond for a journal of one block and milliseconds for
// every ten megabytes: a thread the process keeps for that closes it, so
// that the change it kept returns at once (nothing of the change waits
// for it; the space comes free a moment later).  Where no thread can be
// made, closes it here.
void close_removed(int jfd);

// The extended attribute of a file with several names that names its
// journal while a change writes into it.
inline constexpr char kJournalAttr[] = "user.quorel.journal";

// The journal path the attribute of the file open on `fd` names; "" when
// it has none (or the file system keeps no attributes).
std::string named_journal(int fd);

// What the file at a journal's name is, for the file open on `fd`.
enum class Found {
  None,        // nothing there
  Ours,        // the file's own journal, whole header and all
  Unfinished,  // one its writer made and died before syncing its header:
               // the file was never written
  Foreign,     // anything else: never to be rolled back or removed
};

// Looks at the file at `jpath` as a journal of the file open on `fd`
// (see the top of this file).  For Ours and Unfinished, `jfd` is opened on
// it (the caller closes it); for Foreign, `why` says what it is, naming
// `jpath`.
Found examine(const std::string& jpath, int fd, int& jfd, std::string& why);

// Writes the saved blocks of the journal open on `jfd` (examined: Ours)
// back into the file open on `fd` and cuts it to its original size, then
// syncs it.  False, with `why` set, when it could not; nothing is written
// when the journal misses bytes the file no longer has.
bool replay(int jfd, int fd, std::string& why);

// Removes the journal at `jpath` when that name still holds the file open
// on `jfd`, and syncs its directory; false, with `why` set, on failure.
bool remove_journal(const std::string& jpath, int jfd, std::string& why);

}  // namespace vos::fio
