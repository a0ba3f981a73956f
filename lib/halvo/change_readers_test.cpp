// Readers and a writer of one table, for every storage type: a reader
// gets the old table whole, the new one whole, or a clear error naming the
// table; never a mix.  A reader that comes while the writer is writing
// waits for it (and fails with "File is being changed by another program"
// past its time-out); a writer waits for the readers open before its first
// write (and fails, having written nothing, past its time-out); a second
// handle of the same program on the other side fails at once.  What the
// library's reader saw is held against the old and the new table as the
// independent readers (CFITSIO, the binary layout decoded from its bytes,
// the text lines) see them.
#include <gtest/gtest.h>

#include <chrono>

#include "change_meet_util.h"
#include "vos/error.h"
#include "vos/files.h"

namespace {

class Readers : public chg::ChangedCopyTest {
 protected:
  void SetUp() override {
    ChangedCopyTest::SetUp();
    if (HasFatalFailure()) return;
    old_ = meet::independent_view(*store_, table_);
    new_ = meet::independent_view(*store_, ref_);
    ASSERT_NE(old_, new_);
    ASSERT_EQ(meet::library_view(table_), old_) << "the library reads the table as the independent reader does";
  }

  std::string file(const std::string& name) const { return scratch_.path() + "/" + name; }

  // Nothing beside the table.
  void expect_alone() { EXPECT_EQ(chg::names_in(dir_), std::set<std::string>{name()}); }

  std::string old_, new_;
};

const std::string kChangedElsewhere = "File is being changed by another program (";
const std::string kChangedHere = "File is being changed through another handle of this program (";

// A writer held after its first write into the table: the table on disk is
// half-changed.  A reader that comes then waits, and gets the new table
// once the writer is done; one whose wait runs out gets a clear error.
TEST_P(Readers, AReaderThatComesWhileTheTableIsWrittenWaitsForTheNewOne) {
  meet::HeldWriter writer(table_, [&] { return chg::change_table(table_); });
  ASSERT_TRUE(writer.held());
  ASSERT_NE(chg::slurp(table_), before_) << "the writer has written into the table";

  // Its wait scaled as in the other tests: it gives up.
  const std::string seen = file("seen");
  EXPECT_EQ(meet::in_child_saying(seen, 0.02, [&] { return meet::library_view(table_); }), 0);
  EXPECT_EQ(chg::slurp(seen), "error: " + kChangedElsewhere + table_ + ") (waited 10 s)");

  // Its wait at full length: it is still waiting when the writer goes on.
  meet::Child reader;
  reader.start([&] {
    platform::plat_set_time_scale(1.0);
    chg::spill(seen, meet::library_view(table_));
    return 0;
  });
  EXPECT_TRUE(reader.still_running_after(300)) << "the reader did not wait: " << chg::slurp(seen);
  EXPECT_EQ(writer.release(), 0) << "the change succeeds";
  EXPECT_EQ(reader.wait(), 0);
  EXPECT_EQ(chg::slurp(seen), new_);
  EXPECT_EQ(meet::independent_view(*store_, table_), new_);
  expect_alone();
}

// A reader that opened the table before the change and reads on after the
// writer has tried: the writer waits for it, gives up without writing
// anything, and the reader reads the old table whole.
TEST_P(Readers, AWriterWaitsForTheReadersAndGivesUpWithoutWriting) {
  const std::string seen = file("seen"), why = file("why");
  meet::HeldReader reader(table_, seen);
  ASSERT_TRUE(reader.held()) << "the reader has read half of the rows";
  EXPECT_EQ(meet::in_child_saying(why, 0.02, [&] { return chg::change_table(table_) ? "" : c_voserrmsg(); }), 0);
  EXPECT_NE(chg::slurp(why).find("it is being read by another program"), std::string::npos) << chg::slurp(why);
  EXPECT_NE(chg::slurp(why).find(table_), std::string::npos) << chg::slurp(why);
  EXPECT_EQ(chg::slurp(table_), before_) << "the writer gave up before writing into the table";
  expect_alone();
  EXPECT_EQ(reader.release(), 0);
  EXPECT_EQ(chg::slurp(seen), old_);
}

// The same reader, done while the writer still waits: the writer goes on,
// and its change lands whole.
TEST_P(Readers, AWriterGoesOnOnceTheReadersAreDone) {
  const std::string seen = file("seen");
  meet::HeldReader reader(table_, seen);
  ASSERT_TRUE(reader.held()) << "the reader has read half of the rows";
  meet::Child writer;
  writer.start([&] {
    platform::plat_set_time_scale(1.0);
    return chg::change_table(table_) ? 0 : 1;
  });
  EXPECT_TRUE(writer.still_running_after(300)) << "the writer waits for the reader";
  EXPECT_EQ(reader.release(), 0);
  EXPECT_EQ(chg::slurp(seen), old_);
  EXPECT_EQ(writer.wait(), 0);
  EXPECT_EQ(meet::independent_view(*store_, table_), new_);
  expect_alone();
}

// Two handles of one program: neither side waits for the other.  A change
// made while a read handle is open fails at once and writes nothing; a read
// opened while a change writes fails at once.
TEST_P(Readers, HandlesOfOneProgramFailAtOnceInsteadOfWaiting) {
  platform::plat_set_time_scale(1.0);  // a wait would be seen
  TablePtr reading = c_tbtopn(table_.c_str(), TBL_READ_ONLY, nullptr);
  ASSERT_TRUE(chg::ok()) << c_voserrmsg();
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(chg::change_table(table_));
  const std::string msg = c_voserrmsg();
  EXPECT_NE(msg.find("it is open for reading through another handle of this program"), std::string::npos) << msg;
  EXPECT_NE(msg.find(table_), std::string::npos) << msg;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(chg::slurp(table_), before_);
  expect_alone();
  c_tbtclo(reading);
  EXPECT_EQ(meet::library_view(table_), old_);

  // A read opened at the writer's first write into the table.
  std::string met;
  const bool changed = meet::change_doing_at_first_write(table_, [&] {
    start = std::chrono::steady_clock::now();
    try {
      vos::close(vos::open(table_, vos::READ_ONLY, vos::BINARY_FILE));
      met = "opened";
    } catch (const vos::Error& e) {
      met = e.message() + (e.code() == vos::SYS_FLOCKED ? "" : " (code " + std::to_string(e.code()) + ")");
    }
  });
  EXPECT_TRUE(changed) << c_voserrmsg();
  EXPECT_EQ(met, kChangedHere + table_ + ")");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(meet::independent_view(*store_, table_), new_);
  EXPECT_EQ(meet::library_view(table_), new_);
  expect_alone();
  platform::plat_set_time_scale(0.02);
}

// Readers open and read the table over and over while a writer makes one
// change after the other: each reader gets one of the tables whole, as
// the independent reader finds it after that many changes, or a clear
// error.
TEST_P(Readers, ReadersOfATableChangedOverAndOverNeverGetAMix) {
  constexpr int kChanges = 4;
  std::set<std::string> wholes{old_};
  const std::string& ref = ref_;  // changed again from the old table, step by step
  chg::spill(ref, before_);
  for (int k = 1; k <= kChanges; ++k) {
    ASSERT_TRUE(chg::change_table(ref)) << c_voserrmsg();
    wholes.insert(meet::independent_view(*store_, ref));
  }
  const std::string views = file("views");
  int done[2];
  ASSERT_EQ(::pipe(done), 0);
  meet::Child reader;
  reader.start([&] {
    ::close(done[1]);
    std::string all;
    for (;;) {
      pollfd p{done[0], POLLIN, 0};
      const bool last = ::poll(&p, 1, 0) == 1;
      all += meet::library_view(table_) + "\n";
      if (last) break;
    }
    chg::spill(views, all);
    return 0;
  });
  meet::Child writer;
  writer.start([&] {
    for (int k = 1; k <= kChanges; ++k)
      if (!chg::change_table(table_)) return k;
    return 0;
  });
  const int wrote = writer.wait();
  ::close(done[1]);
  EXPECT_EQ(reader.wait(), 0);
  ::close(done[0]);
  std::istringstream lines(chg::slurp(views));
  int reads = 0, errors = 0;
  for (std::string line; std::getline(lines, line); ++reads) {
    if (line.rfind("error: ", 0) == 0) {
      ++errors;
      EXPECT_EQ(line, "error: " + kChangedElsewhere + table_ + ") (waited 10 s)");
      continue;
    }
    EXPECT_EQ(wholes.count(line), 1u) << "read " << reads << " is no whole table: " << line;
  }
  EXPECT_GT(reads, errors) << "some reads got a table";
  // A change the readers held off past its wait failed whole.
  EXPECT_EQ(wholes.count(meet::independent_view(*store_, table_)), 1u);
  if (wrote == 0) {
    EXPECT_EQ(meet::independent_view(*store_, table_), meet::independent_view(*store_, ref));
  }
  expect_alone();
}

INSTANTIATE_TEST_SUITE_P(AllStorages, Readers, chg::all_storages(), chg::storage_name);

}  // namespace
