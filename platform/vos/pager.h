// Internal: the write-back cache of a file changed in place.
//
// A change session (a file open under a rollback Journal) changes the file
// in memory first.  The cache holds the file's changed pages (kPage bytes,
// the journal's blocks, keyed by block number) and the file's size as the
// session sees it.  A write compares its bytes with what the session's
// file holds there (the cached page, else the file's own bytes, zeros past
// their end): a page whose bytes do not change is left alone (neither
// saved in the journal nor written again), and a page that changes first
// has its original bytes saved in the journal, without a sync, and is then
// kept changed in memory.  A cut drops the cached pages past the new end;
// the file itself is cut later.  Reads see the session's bytes and size.
//
// When one more changed page would pass the bound (a process-wide setting,
// vos::set_change_cache, read when the session starts), and at the end of
// the session, the cache is written back in one batch: the journal is
// synced once (Journal::before_table_write), then the file is cut where a
// cut is due, the pages are written in file order (adjacent ones in one
// gathered write, straight from their frames) and dropped.  So a session
// whose changes fit in the cache syncs the journal once whatever the
// number of changes, a larger one once per batch, and no byte reaches the
// file before the journal record that covers it is synced.  The pages are
// held in frames of a pool the whole process shares (frames.h).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "journal.h"

namespace vos::fio {

class Pager {
 public:
  static constexpr long long kPage = Journal::kBlock;

  // The cache of the file open on `fd`, changed under `journal` (whose
  // original size is the file's size now).
  Pager(int fd, Journal& journal);
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;
  ~Pager();

  // The session's size of the file.
  long long size() const { return size_; }

  // Reads up to n bytes at `at` as the session sees the file: the count,
  // 0 at the end, -1 when reading the file failed (errno set).
  long read(char* out, std::size_t n, long long at);

  // Writes n bytes at `at` (a gap before them reads as zeros).  False,
  // with why() set, on failure.
  bool write(long long at, const char* data, std::size_t n);

  // Cuts the session's file to `size` bytes, or extends it with zeros.
  bool cut(long long size);

  // Writes every changed page back, and the cut and size due (see above).
  bool write_back();

  // Drops what the cache holds (written back, or the change is being
  // undone).
  void drop();

  // What failed, in words.
  const std::string& why() const { return why_; }

  // The bound of the cache in bytes for sessions started from now on.
  static long long bound();

 private:
  // A cached page: its block and its frame (frames.h).
  struct Page {
    long long b;
    unsigned char* frame;
  };

  // The cached page `b`, or nullptr (find() also remembers it).
  unsigned char* find(long long b);
  unsigned char* lookup(long long b) const;
  // Indexes page `b`, cached in `frame` (the index has room).
  void index(long long b, unsigned char* frame);
  // Makes the index again from pages_ (after pages were dropped, or to
  // more slots).
  void reindex();
  // The session's bytes of page `b`, which is not cached (from the file,
  // read ahead while the calls go on in order); nullptr on failure.
  const unsigned char* current(long long b);
  // Reads the session's bytes [at, at + n) from the file, outside the
  // cached pages: the file's bytes below `kept_`, zeros from there on.
  // The count: n, or the bytes the file held when it ends before `kept_`
  // (cut by someone else; the rest is zeros); -1 when reading failed.
  long from_file(unsigned char* out, std::size_t n, long long at);
  // Caches page `b`, which holds `now` and is about to change (`whole`:
  // all of it): saves its original bytes, writing the cache back first
  // when it is full.  The page holds `now` unless `whole`.
  unsigned char* add(long long b, const unsigned char* now, bool whole);
  // Writes the pages [first, last) of pages_ (adjacent, in file order).
  bool write_run(std::size_t first, std::size_t last);

  int fd_;
  Journal& journal_;
  std::size_t max_pages_;
  long long size_;  // the session's size of the file
  long long disk_;  // the file's size on disk
  // The file's bytes below kept_ (outside the cached pages) are the
  // session's; from kept_ on its bytes are zeros (a cut to be made).
  long long kept_;
  std::vector<Page> pages_;  // the cached pages, in the order cached
  // Open addressing by block (linear probing; a power of two of slots, at
  // most half of them used); an empty slot has b = -1.
  std::vector<Page> slots_;
  long long lo_b_, hi_b_ = -1;  // no page cached outside [lo_b_, hi_b_]
  long long hot_b_ = -1;        // the page found last
  unsigned char* hot_ = nullptr;
  std::unique_ptr<unsigned char[]> ahead_;  // the file's bytes of ahead_n_ pages from ahead_b_
  long long ahead_cap_ = 0;                 // ... room for that many pages
  long long ahead_b_ = 0, ahead_n_ = 0;
  std::string why_;
};

}  // namespace vos::fio
