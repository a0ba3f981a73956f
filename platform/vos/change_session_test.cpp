// Changes in place that meet something on the way: another file at the
// journal's name, a journal replaced or removed by someone else, a change
// that can be neither kept nor undone, and the sessions of a file of
// several names.  What each leaves is judged by the bytes and names on
// disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

class ChangeSessions : public vos_test::JournalledFile {
 protected:
  void SetUp() override {
    JournalledFile::SetUp();
    old_ = pattern(5 * 4096, 1);
    new_ = old_;
    new_.replace(100, 3 * 4096, pattern(3 * 4096, 2));
  }
  void TearDown() override {
    vos::set_change_cache(0);
    JournalledFile::TearDown();
  }
  std::string old_, new_;
};

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
    EXPECT_EQ(message_of([&] {
                const int r = vos::open(file_, vos::READ_ONLY, vos::BINARY_FILE);
                EXPECT_EQ(vos::read(r, seen.data(), static_cast<long>(seen.size() / 2)),
                          static_cast<long>(seen.size() / 2));
                vos::close(r);
              }),
              "");
    EXPECT_TRUE(seen == old_);
    EXPECT_FALSE(vos::access(jpath_));
  }
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
