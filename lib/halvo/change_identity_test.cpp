// A table changed in place stays the same file: symbolic links are
// followed to it, hard links share the change, the inode, owner and mode
// are kept; a table its owner made read-only, or one in a directory the
// writer may not write, is refused with nothing about it changed.  Each
// result is judged with stat and the independent reader.  The cases that
// need an ordinary user run in a child that has become user 65534.
#include <gtest/gtest.h>

#include "change_testutil.h"

namespace {

using chg::as_other_user;
using chg::kOther;
using chg::stat_of;

class Identity : public chg::ChangedCopyTest {
 protected:
  void SetUp() override {
    ::chmod(scratch_.path().c_str(), 0755);
    ChangedCopyTest::SetUp();
    if (HasFatalFailure()) return;
    before_summary_ = chg::summary(*store_, table_);
    after_summary_ = chg::summary(*store_, ref_);
    ASSERT_NE(before_summary_, after_summary_);
  }

  // The table is untouched: same inode, mode, owner and bytes, and nothing
  // beside it but `others`.
  void expect_untouched(const struct stat& was, std::set<std::string> others = {}) {
    const struct stat now = stat_of(table_);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mode, was.st_mode);
    EXPECT_EQ(now.st_uid, was.st_uid);
    EXPECT_EQ(chg::slurp(table_), before_);
    others.insert(name());
    EXPECT_EQ(chg::names_in(dir_), others);
  }

  std::string before_summary_, after_summary_;
};

TEST_P(Identity, ASymbolicLinkIsFollowedToTheTable) {
  const std::string link = dir_ + "/l" + store_->ext;
  ASSERT_EQ(::symlink(table_.c_str(), link.c_str()), 0);
  const ino_t ino = stat_of(table_).st_ino;
  ASSERT_TRUE(chg::change_table(link)) << c_voserrmsg();
  EXPECT_TRUE(S_ISLNK(stat_of(link).st_mode)) << "the link stays a link";
  EXPECT_EQ(stat_of(table_).st_ino, ino);
  EXPECT_EQ(chg::summary(*store_, table_), after_summary_);
  EXPECT_EQ(chg::names_in(dir_), (std::set<std::string>{name(), "l" + std::string(store_->ext)}));
}

TEST_P(Identity, HardLinkedNamesBothSeeTheChange) {
  const std::string other = dir_ + "/h" + store_->ext;
  ASSERT_EQ(::link(table_.c_str(), other.c_str()), 0);
  const ino_t ino = stat_of(table_).st_ino;
  ASSERT_TRUE(chg::change_table(table_)) << c_voserrmsg();
  EXPECT_EQ(stat_of(table_).st_ino, ino);
  EXPECT_EQ(stat_of(other).st_ino, ino);
  EXPECT_EQ(stat_of(other).st_nlink, 2u);
  EXPECT_EQ(chg::summary(*store_, other), after_summary_);
}

// Mode and owner, with the change made by root (the tests' CI user) or by
// whoever runs them.
TEST_P(Identity, OwnerAndModeAreKept) {
  struct Case {
    mode_t mode;
    bool other_owner;
  };
  for (const Case c : {Case{0600, false}, Case{0600, true}, Case{0640, true}}) {
    if (c.other_owner && ::geteuid() != 0) continue;  // only root can give a file away
    chg::spill(table_, before_);
    ASSERT_EQ(::chmod(table_.c_str(), c.mode), 0);
    if (c.other_owner) {
      ASSERT_EQ(::chown(table_.c_str(), kOther, kOther), 0);
    }
    const struct stat was = stat_of(table_);
    ASSERT_TRUE(chg::change_table(table_)) << c_voserrmsg();
    const struct stat now = stat_of(table_);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mode & 07777, c.mode);
    EXPECT_EQ(now.st_uid, was.st_uid);
    EXPECT_EQ(now.st_gid, was.st_gid);
    EXPECT_EQ(chg::summary(*store_, table_), after_summary_);
    EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()});
  }
}

// A read-only table opened for writing, by name or through a link, and by
// its owner or by root: refused, and nothing about it changes.
TEST_P(Identity, AReadOnlyTableIsRefusedAndLeftAsItIs) {
  const std::string link = dir_ + "/l" + store_->ext;
  ASSERT_EQ(::symlink(table_.c_str(), link.c_str()), 0);
  ASSERT_EQ(::chmod(table_.c_str(), 0444), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(table_.c_str(), kOther, kOther), 0);
  }
  const struct stat was = stat_of(table_);
  for (const std::string& name : {table_, link}) {
    EXPECT_FALSE(chg::change_table(name)) << name;
    EXPECT_NE(std::string(c_voserrmsg()).find(name), std::string::npos) << c_voserrmsg();
    expect_untouched(was, {"l" + std::string(store_->ext)});
    EXPECT_TRUE(S_ISLNK(stat_of(link).st_mode));
    EXPECT_EQ(as_other_user([&] { return chg::change_table(name) ? 0 : 1; }), 1) << name;
    expect_untouched(was, {"l" + std::string(store_->ext)});
  }
}

// A writable table in a directory its writer may not write: refused (the
// journal could not be made), with the table and the directory named.
TEST_P(Identity, AWriterInAReadOnlyDirectoryIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chown(table_.c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  const struct stat was = stat_of(table_);
  const std::string msg_file = message_file();
  EXPECT_EQ(as_other_user([&] {
              const bool ok = chg::change_table(table_);
              chg::spill(msg_file, c_voserrmsg());
              return ok ? 0 : 1;
            }),
            1);
  const std::string msg = chg::slurp(msg_file);
  EXPECT_NE(msg.find(table_), std::string::npos) << msg;
  EXPECT_NE(msg.find(dir_), std::string::npos) << msg;
  expect_untouched(was);
}

// A journal left by a killed writer, in a directory the next reader may not
// write: the open is refused with the table named, and the table and its
// journal stay for one who can roll it back.
TEST_P(Identity, AHotJournalInAReadOnlyDirectoryRefusesTheOpen) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chown(table_.c_str(), kOther, kOther), 0);
  // The writer dies as it removes its journal: the table holds the change.
  EXPECT_EQ(chg::leave_hot_journal(table_), 128 + SIGKILL);
  const std::string journal = name() + "-journal";
  ASSERT_EQ(chg::names_in(dir_), (std::set<std::string>{name(), journal}));
  const std::string changed = chg::slurp(table_);
  ASSERT_NE(changed, before_);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  const std::string msg_file = message_file();
  EXPECT_EQ(as_other_user([&] {
              const std::string why = chg::open_through_library(table_);
              chg::spill(msg_file, why);
              return why.empty() ? 0 : 1;
            }),
            1);
  const std::string msg = chg::slurp(msg_file);
  EXPECT_NE(msg.find(table_), std::string::npos) << msg;
  EXPECT_EQ(chg::slurp(table_), changed);
  EXPECT_EQ(chg::names_in(dir_).count(journal), 1u);
  // Its owner's directory writable again, the next open rolls it back.
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  EXPECT_EQ(chg::open_through_library(table_), "");
  EXPECT_EQ(chg::slurp(table_), before_);
  EXPECT_EQ(chg::summary(*store_, table_), before_summary_);
  EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()});
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Identity, chg::all_storages(), chg::storage_name);

}  // namespace
