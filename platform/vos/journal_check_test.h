// Journals written again from the journal layout's description (journal.h,
// journal.cpp) for the tests and the fuzz target, so that they judge and
// make a journal's bytes independently of the code that writes them.
//
// The check of a journal header or record: a 64-bit hash of the n bytes,
// seeded with the nonce and n; whole 8-byte little-endian words go into
// four lanes in turn, the lanes are joined, the remaining bytes go in one
// at a time, and the result is mixed.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vos_test {

inline std::uint64_t documented_check(std::uint64_t nonce, const std::string& rec) {
  const std::size_t n = rec.size();
  auto mix = [](std::uint64_t& h, std::uint64_t w) {
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  };
  std::uint64_t lane[4];
  for (unsigned j = 0; j < 4; ++j) lane[j] = nonce ^ 0x9E3779B97F4A7C15ULL ^ n ^ j;
  const std::size_t words = n / 8;
  for (std::size_t k = 0; k < words; ++k) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | static_cast<unsigned char>(rec[8 * k + static_cast<std::size_t>(b)]);
    mix(lane[k % 4], w);
  }
  std::uint64_t h = lane[0];
  for (unsigned j = 1; j < 4; ++j) mix(h, lane[j]);
  for (std::size_t i = 8 * words; i < n; ++i) h = (h ^ static_cast<unsigned char>(rec[i])) * 0x100000001B3ULL;
  h ^= h >> 29;
  h *= 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 32;
  return h;
}

// Appends `v` to `out` as `bytes` big-endian bytes.
inline void put_be(std::string& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

// A file as a journal's header names it: device, file system id, inode and
// birth time (nanoseconds; 0 where the file system keeps none).
struct FileIdentity {
  std::uint64_t dev = 0, fsid = 0, ino = 0, birth = 0;
};

inline FileIdentity identity_of(const std::string& path) {
  FileIdentity id;
  struct stat st {};
  ::stat(path.c_str(), &st);
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) == 0) {
    unsigned int v[2];
    std::memcpy(v, &fs.f_fsid, sizeof v);
    id.fsid = (static_cast<std::uint64_t>(v[0]) << 32) | v[1];
  }
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) != 0)
    id.birth = static_cast<std::uint64_t>(static_cast<long long>(sx.stx_btime.tv_sec) * 1000000000LL +
                                          sx.stx_btime.tv_nsec);
  return id;
}

// A journal header's fields.  `earlier`: the earlier format ("qrljrnl1", a
// 32-byte header that names no file and has no check).
struct JournalHead : FileIdentity {
  std::uint32_t block = 4096;
  std::uint64_t orig = 0, nonce = 0x0123456789abcdefULL;
  bool earlier = false;
};

// The header a writer of the file at `path` (as it is now) would make for
// a file of original size `orig`.
inline JournalHead head_of(const std::string& path, std::uint64_t orig) {
  JournalHead h;
  static_cast<FileIdentity&>(h) = identity_of(path);
  h.orig = orig;
  return h;
}

// A record: `bytes` from the file's offset `off`; `bad_check` spoils its
// check.
struct JournalRecord {
  std::uint64_t off;
  std::string bytes;
  bool bad_check = false;
};

// The journal of header `h` and `recs` as its layout is described: the
// magic, block size, a zero word, original size and nonce; in the current
// format the file's identity and the header's check; then each record's
// offset, length, bytes and check.
inline std::string journal_bytes(const JournalHead& h, const std::vector<JournalRecord>& recs) {
  std::string j = h.earlier ? "qrljrnl1" : "qrljrnl2";
  put_be(j, h.block, 4);
  put_be(j, 0, 4);
  put_be(j, h.orig, 8);
  put_be(j, h.nonce, 8);
  if (!h.earlier) {
    put_be(j, h.dev, 8);
    put_be(j, h.fsid, 8);
    put_be(j, h.ino, 8);
    put_be(j, h.birth, 8);
    put_be(j, documented_check(h.nonce, j), 8);
  }
  for (const JournalRecord& r : recs) {
    std::string rec;
    put_be(rec, r.off, 8);
    put_be(rec, r.bytes.size(), 4);
    rec += r.bytes;
    put_be(rec, documented_check(h.nonce, rec) ^ (r.bad_check ? 1 : 0), 8);
    j += rec;
  }
  return j;
}

}  // namespace vos_test
