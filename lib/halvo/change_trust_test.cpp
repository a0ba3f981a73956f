// A journal beside a table is trusted only when the table's writer made it
// for this very table.  Run as root with a second user (65534, in a forked
// child): a symbolic link at the journal's name is never followed; another
// user's journal, a sibling's journal, the journal of a table renamed
// away, and anything else at the journal's name are refused, on a
// read-only open and on a change, with the table and the journal named and
// both left as they are; the journal a writer makes is its owner's alone;
// a table changed through one of its names (hard links) is not read whole
// through another while that name's journal is hot.  Results are judged
// by stat, raw bytes and the independent readers.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include "change_meet_util.h"
#include "journal_check_test.h"

namespace {

using chg::as_other_user;
using chg::kOther;
using chg::leave_hot_journal;
using chg::stat_of;

// ---- journals as their layout is described -----------------------------

// A journal of the file at `table` (whose device, file system, inode and
// birth time its header gives, as the file is now) with original size
// `orig` and `records`; `earlier`: the format of the earlier version
// ("qrljrnl1", 32-byte header naming no file); `block`: the block size.
std::string journal_of(const std::string& table, long long orig, const std::vector<vos_test::JournalRecord>& records,
                       bool earlier = false, unsigned block = 4096) {
  vos_test::JournalHead head = vos_test::head_of(table, static_cast<std::uint64_t>(orig));
  head.nonce = 0x1122334455667788ULL;
  head.earlier = earlier;
  head.block = block;
  return vos_test::journal_bytes(head, records);
}

class Trust : public chg::ChangedCopyTest {
 protected:
  void SetUp() override {
    ::chmod(scratch_.path().c_str(), 0755);
    ChangedCopyTest::SetUp();
    if (HasFatalFailure()) return;
    journal_ = table_ + "-journal";
    old_ = meet::independent_view(*store_, table_);
    new_ = meet::independent_view(*store_, ref_);
  }

  // A read-only open and a change of the table are both refused, naming
  // the table and `thing` (the path at the journal's name), and neither
  // the table nor what is at the journal's name changes (`same` tells).
  void expect_refused(const std::string& when, const std::string& thing, const std::function<bool()>& same) {
    const std::string read = chg::open_through_library(table_);
    EXPECT_NE(read, "") << when << ": the read-only open succeeded";
    EXPECT_NE(read.find(table_), std::string::npos) << when << ": " << read;
    EXPECT_NE(read.find(thing), std::string::npos) << when << ": " << read;
    EXPECT_TRUE(chg::slurp(table_) == before_) << when << ": the read-only open changed the table";
    EXPECT_TRUE(same()) << when << ": the read-only open changed " << thing;
    EXPECT_FALSE(chg::change_table(table_)) << when << ": the change succeeded";
    const std::string changed = c_voserrmsg();
    EXPECT_NE(changed.find(table_), std::string::npos) << when << ": " << changed;
    EXPECT_NE(changed.find(thing), std::string::npos) << when << ": " << changed;
    EXPECT_TRUE(chg::slurp(table_) == before_) << when << ": the change changed the table";
    EXPECT_TRUE(same()) << when << ": the change changed " << thing;
  }

  std::string journal_, old_, new_;
};

// Another user's symbolic link at the journal's name, to a file of root's
// that user may not read: root's change and root's read-only open are
// refused, and root's file keeps its bytes, owner and mode.
TEST_P(Trust, ASymbolicLinkAtTheJournalsNameIsNeverFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chown(dir_.c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chown(table_.c_str(), kOther, kOther), 0);
  const std::string secret = scratch_.path() + "/secret";
  chg::spill(secret, "root's own bytes\n");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  ASSERT_EQ(as_other_user([&] { return ::symlink(secret.c_str(), journal_.c_str()); }), 0);
  const struct stat was = stat_of(secret);
  expect_refused("a link to root's file", journal_, [&] {
    const struct stat now = stat_of(secret);
    return chg::slurp(secret) == "root's own bytes\n" && now.st_uid == was.st_uid && now.st_gid == was.st_gid &&
           now.st_mode == was.st_mode && S_ISLNK(stat_of(journal_).st_mode);
  });
}

// In a sticky directory anyone may write, another user's file in the
// journal's format (this one's, naming the table, or the earlier one's)
// beside root's table: refused, the table keeps its bytes and the file is
// left there.
TEST_P(Trust, AnotherUsersJournalInAStickyDirectoryIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(dir_.c_str(), 01777), 0);
  const long long size = static_cast<long long>(before_.size());
  const struct {
    const char* what;
    std::string bytes;
  } forged[] = {
      {"a record over the table's first block", journal_of(table_, size, {{0, std::string(4096, 'X')}})},
      {"a header that cuts the table to nothing", journal_of(table_, 0, {})},
      {"an earlier-format record over the first block", journal_of(table_, size, {{0, std::string(4096, 'X')}}, true)},
      {"an earlier-format header that cuts the table to nothing", journal_of(table_, 0, {}, true)},
  };
  for (const auto& f : forged) {
    ASSERT_EQ(as_other_user([&] {
                chg::spill(journal_, f.bytes);
                return ::access(journal_.c_str(), F_OK);
              }),
              0);
    expect_refused(f.what, journal_, [&] { return chg::slurp(journal_) == f.bytes && stat_of(journal_).st_uid == kOther; });
    ::unlink(journal_.c_str());
  }
}

// The hot journal of a sibling table copied to this table's journal name:
// refused (it names another file); the sibling's own journal still rolls
// the sibling back.
TEST_P(Trust, ASiblingsJournalIsRefused) {
  const std::string sibling = dir_ + "/b" + store_->ext;
  ASSERT_TRUE(chg::make_table(sibling, *store_)) << c_voserrmsg();
  const std::string sibling_before = chg::slurp(sibling);
  leave_hot_journal(sibling);
  const std::string hot = chg::slurp(sibling + "-journal");
  ASSERT_FALSE(hot.empty());
  chg::spill(journal_, hot);
  ::chmod(journal_.c_str(), 0600);
  expect_refused("the sibling's journal", journal_, [&] { return chg::slurp(journal_) == hot; });
  EXPECT_EQ(chg::open_through_library(sibling), "");
  EXPECT_EQ(chg::slurp(sibling), sibling_before);
  EXPECT_FALSE(chg::names_in(dir_).count("b" + std::string(store_->ext) + "-journal"));
}

// A table renamed away from its hot journal, and a new table made at the
// old name: the new table is refused and left as it is.  The journal put
// beside the renamed table rolls that one back.
TEST_P(Trust, AJournalLeftAtARenamedTablesOldNameIsRefused) {
  leave_hot_journal(table_);
  const std::string moved = dir_ + "/moved" + store_->ext;
  ASSERT_EQ(::rename(table_.c_str(), moved.c_str()), 0);
  // The new table: the changed one made elsewhere, copied in.
  chg::spill(table_, chg::slurp(ref_));
  before_ = chg::slurp(table_);
  const std::string hot = chg::slurp(journal_);
  ASSERT_FALSE(hot.empty());
  expect_refused("the renamed table's journal", journal_, [&] { return chg::slurp(journal_) == hot; });
  ASSERT_EQ(::rename(journal_.c_str(), (moved + "-journal").c_str()), 0);
  EXPECT_EQ(chg::open_through_library(moved), "");
  EXPECT_EQ(meet::independent_view(*store_, moved), old_);
  EXPECT_EQ(chg::open_through_library(table_), "");
  EXPECT_EQ(chg::slurp(table_), before_);
}

// Anything else at the journal's name refuses the change and the read,
// and stays as it is; what a writer left before syncing its journal's
// header (nothing written into the table then) is removed, and the change
// goes through.
TEST_P(Trust, AnythingElseAtTheJournalsNameIsRefused) {
  const std::string other = scratch_.path() + "/other";
  chg::spill(other, "another file\n");
  const struct {
    const char* what;
    std::function<void()> make;
    std::function<bool()> same;
  } things[] = {
      {"a directory", [&] { ::mkdir(journal_.c_str(), 0700); }, [&] { return S_ISDIR(stat_of(journal_).st_mode); }},
      {"a fifo", [&] { ::mkfifo(journal_.c_str(), 0600); }, [&] { return S_ISFIFO(stat_of(journal_).st_mode); }},
      {"a second name of another file", [&] { ::link(other.c_str(), journal_.c_str()); },
       [&] { return chg::slurp(journal_) == "another file\n" && stat_of(other).st_nlink == 2; }},
      {"a file that is no journal", [&] { chg::spill(journal_, "not a journal at all\n"); },
       [&] { return chg::slurp(journal_) == "not a journal at all\n"; }},
      {"a journal of the earlier format",
       [&] { chg::spill(journal_, journal_of(table_, static_cast<long long>(before_.size()), {}, true)); },
       [&] { return chg::slurp(journal_).rfind("qrljrnl1", 0) == 0; }},
      {"a journal whose header is damaged",
       [&] { chg::spill(journal_, journal_of(table_, static_cast<long long>(before_.size()), {}, false, 0)); },
       [&] { return chg::slurp(journal_).size() == 72; }},
  };
  for (const auto& t : things) {
    t.make();
    expect_refused(t.what, journal_, t.same);
    std::system(("rm -rf " + journal_).c_str());
  }
  for (const std::string& left : {std::string(), std::string(72, '\0'), std::string("qrljrnl2") + std::string(64, 'x')}) {
    chg::spill(journal_, left);
    ASSERT_TRUE(chg::change_table(table_)) << left.size() << " bytes left: " << c_voserrmsg();
    EXPECT_EQ(meet::independent_view(*store_, table_), new_);
    EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()});
    chg::spill(table_, before_);
  }
}

// The journal holds the table's bytes: mode 0600 whatever the table's
// mode, owned by the table's owner (root gives it away) and in its group.
TEST_P(Trust, TheJournalIsItsOwnersAlone) {
  struct Case {
    mode_t mode;
    uid_t owner;
    bool as_owner;  // the owner makes the change (else root)
  };
  for (const Case c : {Case{0644, 0, false}, Case{0664, kOther, false}, Case{0666, kOther, true}}) {
    if (::geteuid() != 0 && (c.owner != 0 || c.as_owner)) continue;
    chg::spill(table_, before_);
    ASSERT_EQ(::chown(table_.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(::chmod(table_.c_str(), c.mode), 0);
    if (c.as_owner) {
      ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    }
    const std::string seen = message_file();
    auto change = [&] {
      const bool changed = meet::change_doing_at_first_write(table_, [&] {
        const struct stat j = stat_of(journal_);
        chg::spill(seen, std::to_string(j.st_mode & 07777) + " " + std::to_string(j.st_uid) + " " +
                             std::to_string(j.st_gid));
      });
      return changed ? 0 : 1;
    };
    EXPECT_EQ(c.as_owner ? as_other_user(change) : chg::in_child(change), 0) << std::oct << c.mode;
    EXPECT_EQ(chg::slurp(seen), std::to_string(0600) + " " + std::to_string(c.owner) + " " + std::to_string(c.owner))
        << "table mode " << std::oct << c.mode;
    EXPECT_EQ(meet::independent_view(*store_, table_), new_);
    ::chmod(dir_.c_str(), 0755);
  }
}

// A writer of the table's group (the table group-writable) leaves a
// journal in the table's group: the next open rolls it back.
TEST_P(Trust, AJournalOfAWriterOfTheTablesGroupIsRolledBack) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chown(table_.c_str(), 0, kOther), 0);
  ASSERT_EQ(::chmod(table_.c_str(), 0664), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  as_other_user([&] {
    leave_hot_journal(table_);
    return 0;
  });
  ASSERT_EQ(stat_of(journal_).st_uid, kOther);
  ASSERT_NE(chg::slurp(table_), before_);
  EXPECT_EQ(chg::open_through_library(table_), "");
  EXPECT_EQ(chg::slurp(table_), before_);
  EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()});
}

// A table of two names, a/t and b/t.  A writer through a/t killed after its
// first write into the table: through b/t the old table is read
// whole (the journal beside a/t is found and rolled back), and a change
// through b/t is not undone later through a/t.
TEST_P(Trust, AChangeThroughOneNameIsNotReadHalfDoneThroughAnother) {
  const std::string a = scratch_.path() + "/a", b = scratch_.path() + "/b";
  ::mkdir(a.c_str(), 0755);
  ::mkdir(b.c_str(), 0755);
  const std::string at_a = a + "/" + name(), at_b = b + "/" + name();
  chg::spill(at_a, before_);
  ASSERT_EQ(::link(at_a.c_str(), at_b.c_str()), 0);
  auto kill_writer_through_a = [&] {
    return chg::in_child([&] {
      meet::change_doing_at_first_write(at_a, [] { ::raise(SIGKILL); });
      return 0;
    });
  };
  ASSERT_EQ(kill_writer_through_a(), 128 + SIGKILL);
  ASSERT_NE(chg::slurp(at_b), before_) << "the writer had written into the table";
  ASSERT_TRUE(chg::names_in(a).count(name() + "-journal"));
  EXPECT_EQ(meet::library_view(at_b), old_);
  EXPECT_EQ(chg::slurp(at_b), before_);
  EXPECT_EQ(chg::names_in(a), std::set<std::string>{name()});
  EXPECT_LT(::getxattr(at_a.c_str(), "user.quorel.journal", nullptr, 0), 0) << "the attribute is gone";

  ASSERT_EQ(kill_writer_through_a(), 128 + SIGKILL);
  ASSERT_TRUE(chg::change_table(at_b)) << c_voserrmsg();
  EXPECT_EQ(meet::independent_view(*store_, at_b), new_);
  EXPECT_EQ(meet::library_view(at_a), new_);
  EXPECT_EQ(meet::independent_view(*store_, at_a), new_);
  EXPECT_EQ(chg::names_in(a), std::set<std::string>{name()});
  EXPECT_EQ(chg::names_in(b), std::set<std::string>{name()});

  // A writer through a/t at work: a reader through b/t waits for it like
  // any reader.  (The old table again, so that the change writes into it:
  // bytes written again unchanged never reach the file.)
  chg::spill(at_a, before_);
  meet::HeldWriter writer(at_a, [&] { return chg::change_table(at_a); });
  ASSERT_TRUE(writer.held());
  const std::string seen = scratch_.path() + "/seen";
  EXPECT_EQ(meet::in_child_saying(seen, 0.02, [&] { return meet::library_view(at_b); }), 0);
  EXPECT_EQ(chg::slurp(seen), "error: File is being changed by another program (" + at_b + ") (waited 10 s)");
  EXPECT_EQ(writer.release(), 0);
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Trust, chg::all_storages(), chg::storage_name);

}  // namespace
