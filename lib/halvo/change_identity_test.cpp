// A table changed in place stays the same file: symbolic links are
// followed to it, hard links share the change, the inode, owner and mode
// are kept; a table its owner made read-only, or one in a directory the
// writer may not write, is refused with nothing about it changed.  Each
// result is judged with stat and the independent reader.  The cases that
// need an ordinary user run in a child that has become user 65534.
#include <grp.h>
#include <gtest/gtest.h>

#include "change_testutil.h"
#include "vos/osio.h"

namespace {

using chg::Storage;

constexpr uid_t kOther = 65534;

struct stat stat_of(const std::string& path) {
  struct stat st{};
  ::lstat(path.c_str(), &st);
  return st;
}

// Runs `body` in a child that has become user and group 65534 (when this
// process is root; otherwise as the user it is).
int as_other_user(const std::function<int()>& body) {
  return chg::in_child([&] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kOther) != 0 || ::setuid(kOther) != 0))
      return 99;
    return body();
  });
}

class Identity : public ::testing::TestWithParam<const Storage*> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  void SetUp() override {
    store_ = GetParam();
    ::chmod(scratch_.path().c_str(), 0755);
    dir_ = scratch_.path() + "/d";
    ::mkdir(dir_.c_str(), 0755);
    table_ = dir_ + "/t" + store_->ext;
    ASSERT_TRUE(chg::make_table(table_, *store_)) << c_voserrmsg();
    before_ = chg::slurp(table_);
    before_summary_ = chg::summary(*store_, table_);
    // The same change made on a copy elsewhere: what the table must read.
    const std::string ref_dir = scratch_.path() + "/ref";
    ::mkdir(ref_dir.c_str(), 0755);
    const std::string ref = ref_dir + "/t" + store_->ext;
    chg::spill(ref, before_);
    ASSERT_TRUE(chg::change_table(ref)) << c_voserrmsg();
    after_summary_ = chg::summary(*store_, ref);
    ASSERT_NE(before_summary_, after_summary_);
  }

  // A file the other user may write its error message to.
  std::string message_file() {
    const std::string path = scratch_.path() + "/message";
    chg::spill(path, "");
    ::chmod(path.c_str(), 0666);
    return path;
  }

  // The table is untouched: same inode, mode, owner and bytes, and nothing
  // beside it but `others`.
  void expect_untouched(const struct stat& was, std::set<std::string> others = {}) {
    const struct stat now = stat_of(table_);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mode, was.st_mode);
    EXPECT_EQ(now.st_uid, was.st_uid);
    EXPECT_EQ(chg::slurp(table_), before_);
    others.insert("t" + std::string(store_->ext));
    EXPECT_EQ(chg::names_in(dir_), others);
  }

  chg::ScratchDir scratch_;
  const Storage* store_ = nullptr;
  std::string dir_, table_, before_, before_summary_, after_summary_;
};

TEST_P(Identity, ASymbolicLinkIsFollowedToTheTable) {
  const std::string link = dir_ + "/l" + store_->ext;
  ASSERT_EQ(::symlink(table_.c_str(), link.c_str()), 0);
  const ino_t ino = stat_of(table_).st_ino;
  ASSERT_TRUE(chg::change_table(link)) << c_voserrmsg();
  EXPECT_TRUE(S_ISLNK(stat_of(link).st_mode)) << "the link stays a link";
  EXPECT_EQ(stat_of(table_).st_ino, ino);
  EXPECT_EQ(chg::summary(*store_, table_), after_summary_);
  EXPECT_EQ(chg::names_in(dir_), (std::set<std::string>{"t" + std::string(store_->ext), "l" + std::string(store_->ext)}));
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
    EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{"t" + std::string(store_->ext)});
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
  EXPECT_EQ(chg::in_child([&] {
              vos::osio::Ops ops = vos::osio::host_ops();
              ops.unlink = [](const char*) -> int { ::raise(SIGKILL); return -1; };
              vos::osio::replace(ops);
              chg::change_table(table_);
              return 0;
            }),
            128 + SIGKILL);
  const std::string journal = "t" + std::string(store_->ext) + "-journal";
  ASSERT_EQ(chg::names_in(dir_), (std::set<std::string>{"t" + std::string(store_->ext), journal}));
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
  EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{"t" + std::string(store_->ext)});
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Identity,
                         ::testing::Values(&chg::kStorages[0], &chg::kStorages[1], &chg::kStorages[2],
                                           &chg::kStorages[3]),
                         [](const auto& info) { return std::string(info.param->label); });

}  // namespace
