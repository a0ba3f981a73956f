// One writer at a time, and new tables that appear whole.  A second writer
// of a table being changed (in another process, or through a second handle
// in the same one) is refused with "File is being changed by another
// writer", and the first writer's change lands whole; a reader is let in
// while the writer has not yet written into the table (what readers and a
// writing writer see of each other: change_readers_test.cpp).  A new table is not seen at its name before its close, and
// a file made at that name meanwhile is kept: the close fails with "File
// already exists".  Results are judged by the independent reader.
#include <gtest/gtest.h>

#include "change_testutil.h"

namespace {

class Writers : public chg::ChangedCopyTest {
 protected:
  void SetUp() override {
    ChangedCopyTest::SetUp();
    if (HasFatalFailure()) return;
    before_summary_ = chg::summary(*store_, table_);
    after_summary_ = chg::summary(*store_, ref_);
  }

  std::string refusal() const { return "File is being changed by another writer (" + table_ + ")"; }

  // The first writer's change landed, whole, and nothing is left beside it.
  void expect_first_change_landed() {
    EXPECT_EQ(chg::summary(*store_, table_), after_summary_);
    EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()});
  }

  std::string before_summary_, after_summary_;
};

TEST_P(Writers, ASecondHandleInTheSameProcessIsRefused) {
  std::string second;
  ASSERT_TRUE(chg::change_table(table_, [&] {
    TablePtr tp = c_tbtopn(table_.c_str(), TBL_READ_WRITE, nullptr);
    second = c_voserr() != 0 ? c_voserrmsg() : "opened";
    if (c_voserr() == 0) c_tbtclo(tp);
    // A reader is let in.
    EXPECT_EQ(chg::open_through_library(table_), "");
  })) << c_voserrmsg();
  EXPECT_EQ(second, refusal());
  expect_first_change_landed();
}

TEST_P(Writers, ASecondWriterProcessIsRefusedAndAReaderIsNotHeldUp) {
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  std::fflush(nullptr);
  const pid_t first = ::fork();
  if (first == 0) {
    const bool ok = chg::change_table(table_, [&] {
      char c = 1;
      if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(2);
    });
    ::_exit(ok ? 0 : 1);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the first writer is at work";
  const std::string msg_file = scratch_.path() + "/message";
  EXPECT_EQ(chg::in_child([&] {
              const bool ok = chg::change_table(table_);
              chg::spill(msg_file, c_voserrmsg());
              return ok ? 0 : 1;
            }),
            1);
  EXPECT_EQ(chg::slurp(msg_file), refusal());
  EXPECT_EQ(chg::in_child([&] { return chg::open_through_library(table_).empty() ? 0 : 1; }), 0)
      << "a reader opens and reads the table while it is being changed";
  ASSERT_EQ(::write(go[1], &c, 1), 1);
  int status = 0;
  ::waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first writer's change succeeds";
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
  expect_first_change_landed();
}

// (The new table goes in a directory of its own under the same name, so
// that it reads as the first one did.)
TEST_P(Writers, ANewTableAppearsOnlyWhenClosed) {
  const std::string new_dir = scratch_.path() + "/new";
  ::mkdir(new_dir.c_str(), 0755);
  const std::string fresh = new_dir + "/t" + store_->ext;
  bool seen_early = true;
  ASSERT_TRUE(chg::make_table(fresh, *store_, [&] { seen_early = !chg::names_in(new_dir).empty(); }))
      << c_voserrmsg();
  EXPECT_FALSE(seen_early) << "the new table was in its directory before its close";
  EXPECT_EQ(chg::summary(*store_, fresh), before_summary_);
  EXPECT_EQ(chg::names_in(new_dir), std::set<std::string>{name()});
}

TEST_P(Writers, AFileMadeAtTheNameMeanwhileIsKept) {
  const std::string fresh = dir_ + "/n" + store_->ext;
  const std::string other = "another program's file\n";
  EXPECT_FALSE(chg::make_table(fresh, *store_, [&] { chg::spill(fresh, other); }));
  EXPECT_EQ(std::string(c_voserrmsg()), "File already exists (" + fresh + ")");
  EXPECT_EQ(chg::slurp(fresh), other);
  EXPECT_EQ(chg::names_in(dir_),
            (std::set<std::string>{name(), "n" + std::string(store_->ext)}));
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Writers, chg::all_storages(), chg::storage_name);

}  // namespace
