// Changes in place that meet something on the way: another file at the
// journal's name, a journal replaced or removed by someone else, a change
// that can be neither kept nor undone, and the sessions of a file of
// several names.  What each leaves is judged by the bytes and names on
// disk.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "journal.h"
#include "scratch_files_test.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

using vos_test::pattern;
using vos_test::slurp;

class ChangeSessions : public vos_test::OldAndNewFile {};

// Someone else at the journal's name during the change.  A file made
// there before the journal: the change fails without touching the file
// or that file.  The journal replaced by another file: the change is
// undone from the journal it made, and the other file is left.  The
// journal removed: the change is kept, as there is nothing to undo it by.
TEST_F(ChangeSessions, SomeoneElseAtTheJournalsNameDuringTheChange) {
  const std::string other = path("other");
  const struct Case {
    const char* what;
    bool late;  // after the first batch (else before the first write)
    std::function<void()> meanwhile;
    std::string says;  // "" when the change is kept
    bool other_at_journal;
  } cases[] = {
      {"a file made at the journal's name first", false,
       [&] { put(jpath_, "someone else's"); },
       "Cannot write to file (" + file_ + "): a file is already at the name of its journal (" + jpath_ + ")", true},
      {"the journal replaced by another file", true,
       [&] {
         put(other, "someone else's");
         ASSERT_EQ(std::rename(other.c_str(), jpath_.c_str()), 0);
       },
       "Cannot close file (" + file_ + "): its journal (" + jpath_ + ") was replaced by another file, which is left as it is",
       true},
      {"the journal removed", true, [&] { ASSERT_EQ(::unlink(jpath_.c_str()), 0); }, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, old_);
    vos::set_change_cache(4096);
    const int fd = vos::open_change(file_, vos::BINARY_FILE);
    if (!c.late) c.meanwhile();
    const std::string why = message_of([&] {
      vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
      if (c.late) {
        ASSERT_TRUE(vos::access(jpath_)) << "a batch was written back";
        c.meanwhile();
      }
      vos::close(fd);
    });
    if (vos::is_open(fd)) vos::abandon(fd);
    EXPECT_EQ(why, c.says);
    EXPECT_TRUE(slurp(file_) == (c.says.empty() ? new_ : old_));
    if (c.other_at_journal) {
      EXPECT_EQ(slurp(jpath_), "someone else's");
    } else {
      EXPECT_FALSE(vos::access(jpath_));
    }
    ::unlink(jpath_.c_str());
  }
}

// The file whose syncs the seam fails (by inode).
ino_t g_unsyncable = 0;

const vos::osio::Ops kNoSync{
    [](int fd, const void* b, size_t n, off_t at) { return vos::osio::host_ops().pwrite(fd, b, n, at); },
    [](int fd, const void* b, size_t n) { return vos::osio::host_ops().write(fd, b, n); },
    [](int fd, off_t size) { return vos::osio::host_ops().ftruncate(fd, size); },
    [](int fd) {
      struct stat st {};
      if (::fstat(fd, &st) == 0 && st.st_ino == g_unsyncable) {
        errno = EIO;
        return -1;
      }
      return vos::osio::host_ops().fsync(fd);
    },
    [](const char* p, int flags, mode_t mode) { return vos::osio::host_ops().open(p, flags, mode); },
    [](const char* p) { return vos::osio::host_ops().unlink(p); },
    [](const char* from, const char* to) { return vos::osio::host_ops().link(from, to); },
    nullptr,  // gathered writes go through the pwrite above
};

// A change that can be neither kept nor undone (the file cannot be
// synced), ended by close or by abandon: the call says why and leaves the
// journal; the next open, in this same program, finds the writer gone and
// rolls the change back.
TEST_F(ChangeSessions, AChangeNeitherKeptNorUndoneIsRolledBackByTheNextOpen) {
  const struct Case {
    std::function<void(int)> end;
    std::string says;
  } cases[] = {
      {[](int fd) { vos::close(fd); }, "Cannot close file (" + file_ + "): cannot sync the file: Input/output error"},
      {[](int fd) { vos::abandon(fd); },
       "Cannot roll back the change of file (" + file_ + "): cannot sync the file: Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    put(file_, old_);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    g_unsyncable = st.st_ino;
    vos::set_change_cache(4096);
    const int fd = vos::open_change(file_, vos::BINARY_FILE);
    vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
    vos::osio::replace(kNoSync);
    EXPECT_EQ(message_of([&] { c.end(fd); }), c.says);
    vos::osio::replace(vos::osio::host_ops());
    EXPECT_FALSE(vos::is_open(fd));
    EXPECT_TRUE(vos::access(jpath_));
    std::string seen(old_.size(), '\0');
    EXPECT_EQ(read_as_reader(seen), "");
    EXPECT_TRUE(seen == old_);
    EXPECT_FALSE(vos::access(jpath_));
  }
}

// The journal's header spoilt in place by someone else during the change:
// the change cannot be undone from it.  The undo says so and leaves the
// file and the journal as they are (it does not cut the file to the size
// of a header it cannot read).
TEST_F(ChangeSessions, AJournalWhoseHeaderWasSpoiltIsNotRolledBackFrom) {
  put(file_, old_);
  vos::set_change_cache(4096);
  const int fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
  ASSERT_TRUE(vos::access(jpath_)) << "a batch was written back";
  std::fstream(jpath_, std::ios::binary | std::ios::in | std::ios::out).write("spoilt..", 8);
  const std::string journal = slurp(jpath_);
  const std::string half = slurp(file_);
  ASSERT_FALSE(half == old_);
  EXPECT_EQ(message_of([&] { vos::abandon(fd); }),
            "Cannot roll back the change of file (" + file_ + "): its journal has no header");
  EXPECT_TRUE(slurp(file_) == half);
  EXPECT_TRUE(slurp(jpath_) == journal);
}

// A writer that may not read the directory (only write and search it)
// cannot sync the journal's name there: its change fails before the file
// is touched.  Run as user 65534 in a child, as the super-user reads any
// directory.
TEST_F(ChangeSessions, AJournalWhoseNameCannotBeSyncedFailsTheChange) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the super-user to become another user";
  constexpr uid_t kOther = 65534;
  const std::string dir = path("d"), file = dir + "/f.dat";
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  put(file, old_);
  ASSERT_EQ(::chown(dir.c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chown(file.c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0300), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kOther) != 0 || ::setuid(kOther) != 0) ::_exit(3);
    const std::string why = message_of([&] {
      const int fd = vos::open_change(file, vos::BINARY_FILE);
      vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
      vos::close(fd);
    });
    ::_exit(why.find("cannot sync the directory (" + dir + "): Permission denied") != std::string::npos ? 0
            : why.empty()                                                                          ? 1
                                                                                                   : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the change was kept, 2: it failed otherwise";
  ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
  EXPECT_TRUE(slurp(file) == old_);
}

// recover() while the file's writer is at work (its journal on disk, the
// file half-written) leaves the change to it, and the close keeps it.
TEST_F(ChangeSessions, RecoverLeavesTheChangeOfAWriterAtWork) {
  put(file_, old_);
  vos::set_change_cache(4096);
  const int fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
  ASSERT_TRUE(vos::access(jpath_)) << "a batch was written back";
  EXPECT_EQ(message_of([&] { vos::recover(file_); }), "");
  EXPECT_TRUE(vos::access(jpath_));
  EXPECT_EQ(message_of([&] { vos::close(fd); }), "");
  EXPECT_TRUE(slurp(file_) == new_);
}

// The file cut short by someone else during the change: a read through
// the session ends where the file ends now, and a change that only adds
// zeros at the end (bytes equal to what reading past the end gives) still
// makes the file longer.
TEST_F(ChangeSessions, TheEndOfTheFileDuringAChange) {
  put(file_, old_);
  int fd = vos::open_change(file_, vos::BINARY_FILE);
  ASSERT_EQ(::truncate(file_.c_str(), 5000), 0);
  std::string got(4096, 'x');
  EXPECT_NE(vos::read_at(fd, 8192 / 2 + 1, got.data(), 4096 / 2), 4096 / 2);
  vos::abandon(fd);

  put(file_, old_);
  fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::seek(fd, vos::EOF_);
  const std::string zeros(1000, '\0');
  vos::write(fd, zeros.data(), static_cast<long>(zeros.size() / 2));
  vos::close(fd);
  EXPECT_TRUE(slurp(file_) == old_ + zeros);
}

// Leaves the change of a writer killed half-way through `name` (its
// journal beside that name, the file half-written).
void leave_killed_writer(const std::string& name, const std::string& bytes) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    vos::set_change_cache(4096);
    bool ok = true;
    try {
      const int fd = vos::open_change(name, vos::BINARY_FILE);
      vos::write(fd, bytes.data(), static_cast<long>(bytes.size() / 2));
    } catch (const vos::Error&) {
      ok = false;
    }
    ::_exit(ok && vos::access(name + "-journal") ? 0 : 1);  // killed: nothing closed
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A file of two names.  A writer through the second killed half-way
// leaves its journal beside that name: a reader through the first finds
// it by the file's attribute and rolls the change back, and the attribute
// goes.  An attribute that names something which is not the file's
// journal (left from a change since ended) is no reason to refuse a
// reader or a writer; the writer drops the attribute and leaves that file
// alone.
TEST_F(ChangeSessions, AFileOfTwoNamesIsRolledBackThroughEither) {
  const std::string second = path("second.dat");
  put(file_, old_);
  ASSERT_EQ(::link(file_.c_str(), second.c_str()), 0);
  leave_killed_writer(second, new_);
  ASSERT_FALSE(slurp(file_) == old_) << "the killed writer wrote into the file";
  std::string seen(old_.size(), '\0');
  EXPECT_EQ(read_as_reader(seen), "");
  EXPECT_TRUE(seen == old_);
  EXPECT_FALSE(vos::access(second + "-journal"));
  EXPECT_LT(::getxattr(file_.c_str(), vos::fio::kJournalAttr, nullptr, 0), 0);

  const std::string other = path("other");
  put(other, "not a journal");
  ASSERT_EQ(::setxattr(file_.c_str(), vos::fio::kJournalAttr, other.data(), other.size(), 0), 0);
  seen.assign(old_.size(), '\0');
  EXPECT_EQ(read_as_reader(seen), "");
  EXPECT_TRUE(seen == old_);
  EXPECT_EQ(message_of([&] { vos::close(vos::open_change(file_, vos::BINARY_FILE)); }), "");
  EXPECT_LT(::getxattr(file_.c_str(), vos::fio::kJournalAttr, nullptr, 0), 0);
  EXPECT_EQ(slurp(other), "not a journal");
}

// A page written but for one byte keeps the file's byte there.
TEST_F(ChangeSessions, APageWrittenButForOneByteKeepsThatByte) {
  put(file_, old_);
  const int fd = vos::open_change(file_, vos::TEXT_FILE);
  vos::seek(fd, 2);
  const std::string part = pattern(4095, 5);
  vos::write(fd, part.data(), static_cast<long>(part.size()));
  vos::close(fd);
  std::string want = old_;
  want.replace(1, part.size(), part);
  EXPECT_TRUE(slurp(file_) == want);
}

// A writer whose open rolled back a change left by another lets readers
// in until it writes itself.
TEST_F(ChangeSessions, ReadersComeInAfterTheOpenOfAWriterRolledBack) {
  put(file_, old_);
  leave_killed_writer(file_, new_);
  ASSERT_FALSE(slurp(file_) == old_);
  const int w = vos::open_change(file_, vos::BINARY_FILE);
  EXPECT_TRUE(slurp(file_) == old_);
  std::string seen(old_.size(), '\0');
  EXPECT_EQ(read_as_reader(seen), "");
  EXPECT_TRUE(seen == old_);
  vos::close(w);
}

// What is not a regular file is not changed in place, whoever may
// write it.
TEST_F(ChangeSessions, OnlyARegularFileIsChangedInPlace) {
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(code_of([&] { vos::open_change(fifo, vos::BINARY_FILE); }), vos::SYS_FOPEN);
  EXPECT_FALSE(vos::access(fifo + "-journal"));
}

// Cached pages and the file's end: a page cut off whole reads as zeros
// when the file grows again, and a read meets pages not cached among as
// many cached ones as the index had slots at first.
TEST_F(ChangeSessions, CachedPagesAndTheFilesEnd) {
  put(file_, old_);
  int fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::write_at(fd, 2 * 4096 / 2 + 1, new_.data(), 4096 / 2);  // block 2
  vos::truncate_open(fd, 2 * 4096);                             // cut before it
  vos::write_at(fd, 3 * 4096 / 2 + 1, new_.data(), 4096 / 2);  // block 3
  vos::close(fd);
  std::string want = old_.substr(0, 2 * 4096) + std::string(4096, '\0') + new_.substr(0, 4096);
  EXPECT_TRUE(slurp(file_) == want);

  const std::string big = pattern(200 * 4096, 6);
  put(file_, big);
  fd = vos::open_change(file_, vos::BINARY_FILE);
  for (int b = 0; b < 64; ++b) vos::write_at(fd, 2 * b * 4096 / 2 + 1, "ab", 1);  // every other block
  std::string got(4096, '\0');
  EXPECT_EQ(vos::read_at(fd, 4096 / 2 + 1, got.data(), 4096 / 2), 4096 / 2);  // block 1
  EXPECT_TRUE(got == big.substr(4096, 4096));
  vos::abandon(fd);
}

// A reader beside a writer at work (its journal on disk, the file not
// yet written) reads the file as it is, and leaves the journal.
TEST_F(ChangeSessions, AReaderBesideAWriterThatHasNotWrittenTheFileYet) {
  const std::string big_old = pattern(100 * 4096, 7), big_new = pattern(100 * 4096, 8);
  put(file_, big_old);
  const int w = vos::open_change(file_, vos::BINARY_FILE);
  vos::write(w, big_new.data(), static_cast<long>(big_new.size() / 2));  // more than a batch of the journal
  ASSERT_TRUE(vos::access(jpath_));
  ASSERT_TRUE(slurp(file_) == big_old);
  std::string seen(big_old.size(), '\0');
  EXPECT_EQ(read_as_reader(seen), "");
  EXPECT_TRUE(seen == big_old);
  EXPECT_TRUE(vos::access(jpath_));
  vos::close(w);
  EXPECT_TRUE(slurp(file_) == big_new);
}

// A writer that cannot write because another program reads the file:
// its write fails, saying so, and it holds no lock that keeps readers of
// its own program out.
TEST_F(ChangeSessions, AWriterKeptOutByAReaderOfAnotherProgramLetsReadersIn) {
  put(file_, old_);
  vos_test::ReaderInAnotherProgram reader(file_);
  vos::set_change_cache(4096);
  const int w = vos::open_change(file_, vos::BINARY_FILE);
  const std::string why = message_of([&] { vos::write(w, new_.data(), static_cast<long>(new_.size() / 2)); });
  EXPECT_NE(why.find("it is being read by another program"), std::string::npos) << why;
  std::string seen(old_.size(), '\0');
  EXPECT_EQ(read_as_reader(seen), "");
  EXPECT_TRUE(seen == old_);
  (void)message_of([&] { vos::abandon(w); });
  reader.release();
  EXPECT_TRUE(slurp(file_) == old_);
  EXPECT_FALSE(vos::access(jpath_));
}

// A file named without a directory is staged, changed and recovered in
// the working directory; the directory of a name is where its journal
// and staged file go.
TEST_F(ChangeSessions, NamesWithoutADirectoryAreInTheWorkingDirectory) {
  const struct {
    const char* path;
    const char* dir;
  } dirs[] = {{"f", "."}, {"/f", "/"}, {"/d/f", "/d"}, {"d/e/f", "d/e"}};
  for (const auto& d : dirs) EXPECT_EQ(vos::fio::dir_of(d.path), d.dir) << d.path;

  char was[4096];
  ASSERT_NE(::getcwd(was, sizeof was), nullptr);
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  const std::string why = message_of([&] {
    int fd = vos::open_staged("n.dat", vos::BINARY_FILE);
    vos::write(fd, old_.data(), static_cast<long>(old_.size() / 2));
    vos::close(fd);
    fd = vos::open_change("n.dat", vos::BINARY_FILE);
    vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
    vos::close(fd);
    vos::recover("n.dat");
  });
  ASSERT_EQ(::chdir(was), 0);
  EXPECT_EQ(why, "");
  EXPECT_TRUE(slurp(path("n.dat")) == new_);
}

}  // namespace
