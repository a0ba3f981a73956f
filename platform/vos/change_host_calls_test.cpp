// Changes in place through host calls that fail or do not do what they
// are asked: writes of no bytes, a journal batch that fails once, a write
// the file layer fails on purpose, and the order of the calls (the
// journal on disk before the file).  What each leaves is judged by the
// bytes on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "scratch_files_test.h"
#include "vos/error.h"
#include "vos/fault.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace {

using vos_test::pattern;
using vos_test::slurp;

class ChangeHostCalls : public vos_test::OldAndNewFile {};

// The seam's writes to the file of this inode (`g_to_journal` false) or
// to every other file (true) write no byte, and say no error.
ino_t g_table = 0;
bool g_to_journal = false;

ssize_t writes_nothing(int fd, const void* b, size_t n, off_t at) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (st.st_ino == g_table) != g_to_journal) return 0;
  return vos::osio::host_ops().pwrite(fd, b, n, at);
}

// A system that writes none of the bytes asked for, without an error, to
// the journal or to the file: the change fails instead of asking again
// for ever, and once the system writes again the file has its old bytes.
TEST_F(ChangeHostCalls, WritesOfNoBytesFailTheChange) {
  for (const bool to_journal : {true, false}) {
    SCOPED_TRACE(to_journal ? "the journal" : "the file");
    put(file_, old_);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    g_table = st.st_ino;
    g_to_journal = to_journal;
    vos::set_change_cache(4096);
    const int fd = vos::open_change(file_, vos::BINARY_FILE);
    vos::osio::replace(vos_test::host_but_pwrite(writes_nothing));
    EXPECT_NE(message_of([&] {
                vos::write(fd, new_.data(), static_cast<long>(new_.size() / 2));
                vos::close(fd);
              }),
              "");
    if (vos::is_open(fd)) (void)message_of([&] { vos::abandon(fd); });
    vos::osio::replace(vos::osio::host_ops());
    EXPECT_EQ(message_of([&] { vos::recover(file_); }), "");
    EXPECT_TRUE(slurp(file_) == old_);
    EXPECT_FALSE(vos::access(jpath_));
  }
}

// The seam fails the second write to any file but the one of inode
// `g_table` (the journal's first batch, after its header) once, with EIO.
int g_journal_writes = 0;

ssize_t journal_fails_once(int fd, const void* b, size_t n, off_t at) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino != g_table && ++g_journal_writes == 2) {
    errno = EIO;
    return -1;
  }
  return vos::osio::host_ops().pwrite(fd, b, n, at);
}

// A batch of the journal that cannot be written, while the change goes on
// (its blocks more than a batch holds): the call that saved the blocks
// fails, though the next write of the journal would succeed, and the file
// stays as it was.
TEST_F(ChangeHostCalls, AJournalBatchThatCannotBeWrittenFailsTheCallThatSavedIt) {
  const std::string big_old = pattern(100 * 4096, 3), big_new = pattern(100 * 4096, 4);
  const struct Case {
    const char* what;
    std::function<void(int)> change;
  } cases[] = {
      {"a write", [&](int fd) { vos::write(fd, big_new.data(), static_cast<long>(big_new.size() / 2)); }},
      {"a cut", [](int fd) { vos::truncate_open(fd, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(file_, big_old);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    g_table = st.st_ino;
    g_journal_writes = 0;
    const int fd = vos::open_change(file_, vos::BINARY_FILE);
    vos::osio::replace(vos_test::host_but_pwrite(journal_fails_once));
    const std::string why = message_of([&] { c.change(fd); });
    EXPECT_NE(why.find("cannot write its journal (" + jpath_ + "): Input/output error"), std::string::npos) << why;
    EXPECT_NE(message_of([&] { vos::close(fd); }), "");
    vos::osio::replace(vos::osio::host_ops());
    EXPECT_TRUE(slurp(file_) == big_old);
    EXPECT_FALSE(vos::access(jpath_));
  }
}

// A write the file layer fails on purpose fails the change: the close
// says so and the file keeps its old bytes.
TEST_F(ChangeHostCalls, AChangeAfterAFailedWriteIsNotKept) {
  put(file_, old_);
  const int fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::write(fd, new_.data(), 100);
  vos::fault::fail_write_after(0);
  EXPECT_NE(message_of([&] { vos::write(fd, new_.data() + 200, 100); }), "");
  EXPECT_NE(message_of([&] { vos::close(fd); }), "");
  EXPECT_TRUE(slurp(file_) == old_);
}

// The seam's calls in order, the file of inode `g_table` told from the
// others (the journal, the directory).
std::vector<std::string> g_calls;

std::string which(int fd) {
  struct stat st {};
  ::fstat(fd, &st);
  return S_ISDIR(st.st_mode) ? "directory" : st.st_ino == g_table ? "file" : "journal";
}

const vos::osio::Ops kLogging{
    [](int fd, const void* b, size_t n, off_t at) {
      g_calls.push_back("write " + which(fd));
      return vos::osio::host_ops().pwrite(fd, b, n, at);
    },
    [](int fd, const void* b, size_t n) { return vos::osio::host_ops().write(fd, b, n); },
    [](int fd, off_t size) {
      g_calls.push_back("cut " + which(fd));
      return vos::osio::host_ops().ftruncate(fd, size);
    },
    [](int fd) {
      g_calls.push_back("sync " + which(fd));
      return vos::osio::host_ops().fsync(fd);
    },
    [](const char* p, int flags, mode_t mode) { return vos::osio::host_ops().open(p, flags, mode); },
    [](const char* p) { return vos::osio::host_ops().unlink(p); },
    [](const char* from, const char* to) { return vos::osio::host_ops().link(from, to); },
    nullptr,
};

// A change that only makes the file longer (no block of it to save) has
// its journal's header on disk before the file grows: the rollback cuts
// the file back to the size the header gives.
TEST_F(ChangeHostCalls, TheJournalIsSyncedBeforeTheFileGrows) {
  put(file_, old_);
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  g_table = st.st_ino;
  const int fd = vos::open_change(file_, vos::BINARY_FILE);
  vos::seek(fd, vos::EOF_);
  g_calls.clear();
  vos::osio::replace(kLogging);
  vos::write(fd, new_.data(), 50);
  vos::close(fd);
  vos::osio::replace(vos::osio::host_ops());
  const auto first_file = std::find_if(g_calls.begin(), g_calls.end(),
                                       [](const std::string& c) { return c == "write file" || c == "cut file"; });
  ASSERT_NE(first_file, g_calls.end());
  EXPECT_NE(std::find(g_calls.begin(), first_file, "sync journal"), first_file);
  EXPECT_TRUE(slurp(file_) == old_ + new_.substr(0, 100));
}

}  // namespace
