// Journals found beside a file, written here from their documented layout
// (journal.h) and not by the code that reads them: which ones a rollback
// trusts (its header names this very file), how far it goes into the
// records (to the first that is not whole), and what a rollback that fails
// on the way leaves (the journal, for the next one).
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "journal_check_test.h"
#include "scratch_files_test.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

using vos_test::pattern;
using vos_test::slurp;

using Head = vos_test::JournalHead;
using Rec = vos_test::JournalRecord;
using vos_test::head_of;
using vos_test::journal_bytes;

class Journals : public vos_test::JournalledFile {
 protected:
  // recover() of `name`, the file by default: "" when it raised nothing,
  // else its message.
  std::string recovered() { return recovered(file_); }
  static std::string recovered(const std::string& name) {
    return message_of([&] { vos::recover(name); });
  }
};

// A half-changed file (its first block overwritten) and a journal holding
// that block's old bytes, whose header is the one its writer would make
// but for what the case changes.  Rolled back: the file is whole again
// and the journal gone.  Refused: the open says why, naming the journal,
// and neither file is touched.
TEST_F(Journals, OnlyAJournalWhoseHeaderNamesThisFileIsRolledBack) {
  const std::string old = pattern(10000, 1);
  std::string half = old;
  half.replace(0, 4096, pattern(4096, 2));
  const std::string other = " is the journal of another file", damaged = " is damaged";
  const struct Case {
    const char* what;
    std::function<void(Head&)> tweak;
    std::string refused;  // "" when rolled back
  } cases[] = {
      {"as its writer made it", [](Head&) {}, ""},
      {"the disk back under another device number", [](Head& h) { h.dev ^= 0x55; }, ""},
      {"the file system's id read otherwise, on the same device", [](Head& h) { h.fsid ^= 0x55; }, ""},
      {"another device and another file system", [](Head& h) { h.dev ^= 0x55; h.fsid ^= 0x55; }, other},
      {"another inode", [](Head& h) { h.ino ^= 1; }, other},
      {"another birth time", [](Head& h) { h.birth += 1; }, other},
      {"the largest block", [](Head& h) { h.block = 1u << 24; }, ""},
      {"a block past the largest", [](Head& h) { h.block = (1u << 24) + 1; }, damaged},
      {"a block of no bytes", [](Head& h) { h.block = 0; }, damaged},
      {"an original size past any file", [](Head& h) { h.orig = 1ULL << 63; }, damaged},
      {"an original size of all ones", [](Head& h) { h.orig = ~0ULL; }, damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, half);
    Head h = head_of(file_, old.size());
    c.tweak(h);
    const std::string j = journal_bytes(h, {{0, old.substr(0, 4096)}});
    put(jpath_, j);
    const std::string why = recovered();
    if (c.refused.empty()) {
      EXPECT_EQ(why, "");
      EXPECT_TRUE(slurp(file_) == old);
      EXPECT_FALSE(vos::access(jpath_));
    } else {
      EXPECT_NE(why.find("its journal (" + jpath_ + ")" + c.refused), std::string::npos) << why;
      EXPECT_TRUE(slurp(file_) == half);
      EXPECT_TRUE(slurp(jpath_) == j);
    }
    ::unlink(jpath_.c_str());
  }

  // A file that was empty: the rollback empties it again.
  put(file_, "written into an empty file");
  put(jpath_, journal_bytes(head_of(file_, 0), {}));
  EXPECT_EQ(recovered(), "");
  EXPECT_EQ(slurp(file_), "");
  EXPECT_FALSE(vos::access(jpath_));
}

// The records of a journal, as a power cut may leave them: a rollback
// writes back each record up to the first that is not whole or not one of
// this file's blocks, and cuts the file to its original size; one that
// misses bytes the file no longer has is refused.
TEST_F(Journals, ARollbackGoesUpToTheFirstRecordThatIsNotWhole) {
  const std::string old = pattern(3 * 4096 + 100, 3);
  const std::string now = pattern(5 * 4096, 4);  // every byte changed, and grown
  auto blk = [&](std::size_t b) { return Rec{b * 4096, old.substr(b * 4096, std::min<std::size_t>(4096, old.size() - b * 4096))}; };
  // The file as it is after a rollback of the blocks `restored` (the
  // others keep the changed bytes), cut to the original size.
  auto after = [&](std::initializer_list<std::size_t> restored) {
    std::string f = now.substr(0, old.size());
    for (std::size_t b : restored) f.replace(b * 4096, blk(b).bytes.size(), blk(b).bytes);
    return f;
  };
  const struct Case {
    const char* what;
    std::vector<Rec> recs;
    std::string file;
    std::size_t cut = 0;  // bytes cut off the journal's end
  } cases[] = {
      {"every block", {blk(0), blk(1), blk(2), blk(3)}, old},
      {"the last block, short, first", {blk(3), blk(1)}, after({3, 1})},
      {"a record whose check fails", {blk(0), Rec{4096, old.substr(4096, 4096), true}, blk(2)}, after({0})},
      {"a record of no bytes", {blk(1), Rec{0, ""}, blk(2)}, after({1})},
      {"a record longer than a block", {blk(2), Rec{0, old.substr(0, 4097)}, blk(1)}, after({2})},
      {"a record past the original size", {blk(0), Rec{old.size() - 99, old.substr(old.size() - 100)}, blk(1)}, after({0})},
      {"a record before the file's start", {blk(0), Rec{~std::uint64_t{0} - 4095, old.substr(0, 4096)}, blk(1)}, after({0})},
      {"a record cut short", {blk(2), Rec{0, old.substr(0, 4096)}}, after({2}), 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, now);
    std::string j = journal_bytes(head_of(file_, old.size()), c.recs);
    j.resize(j.size() - c.cut);
    put(jpath_, j);
    EXPECT_EQ(recovered(), "");
    EXPECT_TRUE(slurp(file_) == c.file);
    EXPECT_FALSE(vos::access(jpath_));
  }

  // A file cut back to a block's end, and to the middle of one: rolled
  // back when the journal holds every byte cut off, refused when it misses
  // one.
  const struct Cut {
    std::size_t size;
    std::vector<Rec> recs;
    bool whole;
  } cuts[] = {
      {8192, {blk(2), blk(3)}, true},
      {8192, {blk(3), blk(2)}, true},
      {5000, {blk(1), blk(2), blk(3)}, true},
      {8192, {blk(2)}, false},
      {5000, {blk(2), blk(3)}, false},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE("cut to " + std::to_string(c.size) + ", " + std::to_string(c.recs.size()) + " records");
    const std::string cut = old.substr(0, c.size);
    put(file_, cut);
    const std::string j = journal_bytes(head_of(file_, old.size()), c.recs);
    put(jpath_, j);
    const std::string why = recovered();
    if (c.whole) {
      EXPECT_EQ(why, "");
      EXPECT_TRUE(slurp(file_) == old);
      EXPECT_FALSE(vos::access(jpath_));
    } else {
      EXPECT_NE(why.find("its journal is damaged (it misses bytes the file no longer has)"), std::string::npos) << why;
      EXPECT_TRUE(slurp(file_) == cut);
      EXPECT_TRUE(slurp(jpath_) == j);
    }
    ::unlink(jpath_.c_str());
  }
}

// Records of every length up to a few words: the check of each is the
// documented one, whatever bytes follow its last whole word.
TEST_F(Journals, RecordsOfEveryLengthAreRolledBack) {
  for (std::size_t n = 1; n <= 80; ++n) {
    SCOPED_TRACE(std::to_string(n) + " bytes");
    const std::string old = pattern(n, static_cast<int>(n));
    put(file_, pattern(n + 7, 99));
    put(jpath_, journal_bytes(head_of(file_, n), {{0, old}}));
    EXPECT_EQ(recovered(), "");
    EXPECT_TRUE(slurp(file_) == old);
  }
}

// What a writer leaves at the journal's name before it has synced the
// header (nothing of the file written then) is removed and the file left
// as it is; anything else there is refused, saying what it is.
TEST_F(Journals, WhatIsAtTheJournalsNameIsRemovedOnlyWhenAWriterLeftItUnfinished) {
  const std::string old = pattern(5000, 7);
  const std::string magic = "qrljrnl2";
  std::string unchecked = journal_bytes(head_of(path("x"), old.size()), {});
  unchecked[70] ^= 1;
  // A header that checks but for the earlier format's magic.
  std::string earlier = journal_bytes(head_of(path("x"), old.size()), {}).substr(0, 64);
  earlier.replace(0, 8, "qrljrnl1");
  vos_test::put_be(earlier, vos_test::documented_check(Head{}.nonce, earlier), 8);
  // A header one byte short, of a nonce that makes its check's last byte
  // zero (what a read of the short header finds there), for a file cut
  // by 100 bytes: the file must not be cut.
  std::string short_one;
  for (Head h = head_of(path("x"), old.size() - 100);; ++h.nonce) {
    short_one = journal_bytes(h, {});
    if (short_one.back() == '\0') break;
  }
  short_one.pop_back();
  const struct Case {
    const char* what;
    std::string bytes;
    std::string refused;  // what the message says, "" when removed
  } cases[] = {
      {"nothing", "", ""},
      {"zeros", std::string(72, '\0'), ""},
      {"the magic's first bytes", magic.substr(0, 3), ""},
      {"the magic", magic, ""},
      {"a header that does not check", unchecked, ""},
      {"a header one byte short", short_one, ""},
      {"a few other bytes", "qrx", " is not a journal"},
      {"zeros, then other bytes", std::string(40, '\0') + "x", " is not a journal"},
      {"the earlier format's magic", "qrljrnl1", " is in the format of an earlier version"},
      {"a header of the earlier format's magic", earlier, " is in the format of an earlier version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, old);
    put(jpath_, c.bytes);
    const std::string why = recovered();
    EXPECT_TRUE(slurp(file_) == old);
    if (c.refused.empty()) {
      EXPECT_EQ(why, "");
      EXPECT_FALSE(vos::access(jpath_));
    } else {
      EXPECT_NE(why.find(c.refused), std::string::npos) << why;
      EXPECT_TRUE(slurp(jpath_) == c.bytes);
    }
    ::unlink(jpath_.c_str());
  }

  // Other things at the journal's name, each refused saying what it is.
  const std::string other = path("other");
  put(other, "another file");
  const struct Thing {
    const char* what;
    std::function<void()> make;
    std::string says;
  } things[] = {
      {"a symbolic link", [&] { ::symlink(other.c_str(), jpath_.c_str()); }, "a symbolic link is at the name of its journal"},
      {"a directory", [&] { ::mkdir(jpath_.c_str(), 0700); }, "something other than a file is at the name of its journal"},
      {"a second name", [&] { ::link(other.c_str(), jpath_.c_str()); }, "the file at the name of its journal (" + jpath_ + ") has 2 names"},
  };
  for (const Thing& t : things) {
    SCOPED_TRACE(t.what);
    put(file_, old);
    t.make();
    const std::string why = recovered();
    EXPECT_NE(why.find(t.says), std::string::npos) << why;
    EXPECT_TRUE(slurp(file_) == old);
    std::system(("rm -rf " + jpath_).c_str());
  }
}

// A journal not made by the file's owner: trusted when the super-user made
// it, or a member of the file's group (in that group) while the group may
// write the file; refused otherwise.  The journals are given their owners
// here, so the case needs the super-user.
TEST_F(Journals, AJournalIsTrustedByWhoOwnsIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the super-user to give files away";
  constexpr unsigned kNobody = 65534;  // its own group is 65534
  const std::string old = pattern(6000, 8);
  std::string half = old;
  half.replace(0, 4096, pattern(4096, 9));
  struct Case {
    const char* what;
    unsigned file_uid, file_gid;
    mode_t file_mode;
    unsigned journal_uid, journal_gid;
    bool trusted;
  };
  std::vector<Case> cases = {
      {"the file's owner's", kNobody, 0, 0644, kNobody, 0, true},
      {"the super-user's", kNobody, kNobody, 0644, 0, 0, true},
      {"a member's, in the group that may write the file", 0, kNobody, 0664, kNobody, kNobody, true},
      {"a member's, the group may not write the file", 0, kNobody, 0644, kNobody, kNobody, false},
      {"a member's, in another group", 0, kNobody, 0664, kNobody, 0, false},
      {"another user's, in the file's group", 0, 0, 0664, kNobody, 0, false},
  };
  // A group that lists a user whose own group is another (where the
  // system has one): that user is of it, a user it does not list is not.
  ::setgrent();
  for (const struct group* g; cases.size() == 6 && (g = ::getgrent()) != nullptr;) {
    for (char** m = g->gr_mem; *m != nullptr; ++m) {
      const struct passwd* pw = ::getpwnam(*m);
      if (pw == nullptr || pw->pw_gid == g->gr_gid || pw->pw_uid == 0 || pw->pw_uid == kNobody || g->gr_gid == kNobody)
        continue;
      cases.push_back({"a member's by the group's list", 0, g->gr_gid, 0664, pw->pw_uid, g->gr_gid, true});
      cases.push_back({"a user's the group does not list", 0, g->gr_gid, 0664, kNobody, g->gr_gid, false});
      break;
    }
  }
  ::endgrent();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, half);
    ASSERT_EQ(::chown(file_.c_str(), c.file_uid, c.file_gid), 0);
    ASSERT_EQ(::chmod(file_.c_str(), c.file_mode), 0);
    const std::string j = journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}});
    put(jpath_, j);
    ASSERT_EQ(::chown(jpath_.c_str(), c.journal_uid, c.journal_gid), 0);
    const std::string why = recovered();
    if (c.trusted) {
      EXPECT_EQ(why, "");
      EXPECT_TRUE(slurp(file_) == old);
      EXPECT_FALSE(vos::access(jpath_));
    } else {
      EXPECT_NE(why.find("belongs to user " + std::to_string(c.journal_uid) +
                         ", who is neither the file's owner nor the super-user nor of its group"),
                std::string::npos)
          << why;
      EXPECT_TRUE(slurp(file_) == half);
      EXPECT_TRUE(slurp(jpath_) == j);
    }
    ::unlink(jpath_.c_str());
  }
}

// A journal found while another program reads the file (its journal made
// after that reader came in): the rollback waits for the reader, and with
// the reader still there refuses, leaving both files; once it is gone the
// rollback is done.
TEST_F(Journals, ARollbackWaitsForTheReadersOfOtherPrograms) {
  const std::string old = pattern(6000, 10);
  std::string half = old;
  half.replace(0, 4096, pattern(4096, 11));
  put(file_, half);
  vos_test::ReaderInAnotherProgram reader(file_);
  const std::string j = journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}});
  put(jpath_, j);
  EXPECT_EQ(recovered(), "Cannot roll back the unfinished change of file (" + file_ +
                             "): it is being read by another program (waited 10 s)");
  EXPECT_TRUE(slurp(file_) == half);
  EXPECT_TRUE(slurp(jpath_) == j);
  reader.release();
  EXPECT_EQ(recovered(), "");
  EXPECT_TRUE(slurp(file_) == old);
  EXPECT_FALSE(vos::access(jpath_));
}

// recover() through a symbolic link to the file finds the journal beside
// the file itself.
TEST_F(Journals, RecoverThroughALinkFindsTheJournalBesideTheFile) {
  const std::string old = pattern(5000, 12);
  std::string half = old;
  half.replace(0, 4096, pattern(4096, 13));
  put(file_, half);
  put(jpath_, journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}}));
  const std::string link = path("link");
  ASSERT_EQ(::symlink(file_.c_str(), link.c_str()), 0);
  EXPECT_EQ(recovered(link), "");
  EXPECT_TRUE(slurp(file_) == old);
  EXPECT_FALSE(vos::access(jpath_));
}

int g_pwrites = 0;

// A journal whose blocks the file still holds as they were saved (the
// change had not reached them) rolls back without writing the file; one
// found while this program reads the file (made after its readers came
// in, so its writer wrote nothing) is removed.
TEST_F(Journals, AFileTheChangeHadNotReachedIsNotWritten) {
  const std::string old = pattern(3 * 4096, 14);
  const vos::osio::Ops counting = vos_test::host_but_pwrite([](int fd, const void* b, size_t n, off_t at) {
    ++g_pwrites;
    return vos::osio::host_ops().pwrite(fd, b, n, at);
  });
  put(file_, old);
  put(jpath_, journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}, {8192, old.substr(8192)}}));
  g_pwrites = 0;
  vos::osio::replace(counting);
  EXPECT_EQ(recovered(), "");
  vos::osio::replace(vos::osio::host_ops());
  EXPECT_EQ(g_pwrites, 0);
  EXPECT_TRUE(slurp(file_) == old);
  EXPECT_FALSE(vos::access(jpath_));

  const int r = vos::open(file_, vos::READ_ONLY, vos::BINARY_FILE);
  put(jpath_, journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}}));
  EXPECT_EQ(recovered(), "");
  EXPECT_FALSE(vos::access(jpath_));
  vos::close(r);
  EXPECT_TRUE(slurp(file_) == old);
}

// ---- a rollback through a seam that fails ---------------------------------

// The call the seam fails (with EIO), and whether it was met.
enum class Fail { None, Write, Cut, SyncFile, Remove, SyncDir };
Fail g_fail = Fail::None;
bool g_met = false;
int g_interrupt = 0;  // the seam's writes: interrupted every other call, and short

bool is_dir(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

int fail_if(Fail f) {
  if (g_fail != f) return 0;
  g_met = true;
  errno = EIO;
  return -1;
}

const vos::osio::Ops kFailing{
    [](int fd, const void* b, size_t n, off_t at) -> ssize_t {
      if (fail_if(Fail::Write) != 0) return -1;
      if (g_interrupt > 0 && g_interrupt++ % 2 == 1) {
        errno = EINTR;
        return -1;
      }
      return vos::osio::host_ops().pwrite(fd, b, g_interrupt > 0 ? std::min<size_t>(n, 1000) : n, at);
    },
    [](int fd, const void* b, size_t n) { return vos::osio::host_ops().write(fd, b, n); },
    [](int fd, off_t size) { return fail_if(Fail::Cut) != 0 ? -1 : vos::osio::host_ops().ftruncate(fd, size); },
    [](int fd) { return fail_if(is_dir(fd) ? Fail::SyncDir : Fail::SyncFile) != 0 ? -1 : vos::osio::host_ops().fsync(fd); },
    [](const char* p, int flags, mode_t mode) { return vos::osio::host_ops().open(p, flags, mode); },
    [](const char* p) { return fail_if(Fail::Remove) != 0 ? -1 : vos::osio::host_ops().unlink(p); },
    [](const char* from, const char* to) { return vos::osio::host_ops().link(from, to); },
    nullptr,  // gathered writes go through the pwrite above
};

// A call of the rollback fails: recover raises, naming the file and why,
// and what is not done yet stays for the next open (the journal, while
// the file may not be whole), which finishes it.  A write the system
// interrupts or makes in part is carried on.
TEST_F(Journals, ARollbackThatFailsIsLeftForTheNextOpen) {
  const std::string old = pattern(3 * 4096 + 100, 5);
  const std::string now = pattern(4 * 4096, 6);
  const struct Case {
    Fail fail;
    std::string why;
  } cases[] = {
      {Fail::Write, "cannot write the saved bytes back"},
      {Fail::Cut, "cannot cut the file back to its size"},
      {Fail::SyncFile, "cannot sync the file"},
      {Fail::Remove, "cannot remove its journal (" + jpath_ + ")"},
      {Fail::SyncDir, "cannot sync the directory (" + dir_ + ")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    put(file_, now);
    put(jpath_, journal_bytes(head_of(file_, old.size()), {{4096, old.substr(4096, 4096)}, {0, old.substr(0, 4096)},
                                                     {8192, old.substr(8192, 4096)}, {12288, old.substr(12288)}}));
    g_fail = c.fail;
    g_met = false;
    vos::osio::replace(kFailing);
    EXPECT_EQ(recovered(), "Cannot roll back the unfinished change of file (" + file_ + "): " + c.why +
                               ": Input/output error");
    vos::osio::replace(vos::osio::host_ops());
    EXPECT_TRUE(g_met);
    if (c.fail != Fail::SyncDir) {
      EXPECT_TRUE(vos::access(jpath_)) << "the journal was removed";
    }
    EXPECT_EQ(recovered(), "");
    EXPECT_TRUE(slurp(file_) == old);
    EXPECT_FALSE(vos::access(jpath_));
  }

  g_fail = Fail::None;
  g_interrupt = 1;
  put(file_, now);
  put(jpath_, journal_bytes(head_of(file_, old.size()), {{0, old.substr(0, 4096)}, {12288, old.substr(12288)}}));
  vos::osio::replace(kFailing);
  EXPECT_EQ(recovered(), "");
  g_interrupt = 0;
  std::string want = now.substr(0, old.size());
  want.replace(0, 4096, old.substr(0, 4096));
  want.replace(12288, 100, old.substr(12288));
  EXPECT_TRUE(slurp(file_) == want);
}

}  // namespace
