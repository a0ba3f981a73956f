// A full disk at every place it can strike, for every writing operation of
// every storage type.  Each operation runs in a child process with SIGXFSZ
// ignored and the file-size limit stepped through the block boundaries and
// sizes between them; whatever the limit, the operation either reports an
// error (the call that meets it and every later call on the table, the
// close too, report the same one) and leaves every file as it was (a new
// file absent, no temporary file behind), or reports none and leaves
// exactly what it leaves without a limit.  That fault-free result is itself judged by readers
// that share no code with the library: CFITSIO and fitsverify for FITS
// files, the binary layout decoded from its bytes (and the binary file
// checker), the lines of a text table.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "change_testutil.h"
#include "halvo/c_tables.h"

namespace {

namespace fs = std::filesystem;

// Every file of a directory: name -> bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& dir) {
  Snapshot s;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    s[e.path().filename().string()] = bytes.str();
  }
  return s;
}

// Opens every table file of `dir` through the library, as the next program
// to use them would: a change a failed writer could not roll back itself
// (its journal is left beside the table) is rolled back there.
void reopen_all(const std::string& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().string();
    if (name.size() >= 8 && name.compare(name.size() - 8, 8, "-journal") == 0) continue;
    TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
    if (tp != nullptr) c_tbtclo(tp);
  }
}

// The names and sizes of a snapshot, for a failure message.
std::string listing(const Snapshot& s) {
  std::string out;
  for (const auto& [name, bytes] : s) out += " " + name + "(" + std::to_string(bytes.size()) + ")";
  return out.empty() ? " (empty)" : out;
}

// Exit codes of the child: the operation reported no error / one error
// (perhaps more than once) / errors that differ, or an error it did not
// pass on.
constexpr int kClean = 10;
constexpr int kFailed = 11;
constexpr int kNotOne = 12;

// Errors reported to the error handler in the child: how many, and whether
// they all were the first one.
int g_reports = 0;
std::string g_first_report;
bool g_reports_differ = false;
void count_report() {
  if (++g_reports == 1) g_first_report = c_voserrmsg();
  else if (g_first_report != c_voserrmsg()) g_reports_differ = true;
}

// Runs `op` (true: it saw no error) in a child process whose files may not
// grow past `limit` bytes (negative: no limit) and returns the child's exit
// code, or 128 + the signal that ended it.
int run_limited(long limit, const std::function<bool()>& op) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    if (limit >= 0) {
      rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    c_pusherr(count_report);
    const bool ok = op();
    ::_exit(ok && g_reports == 0 ? kClean : !ok && g_reports >= 1 && !g_reports_differ ? kFailed : kNotOne);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The limits tried for files of at most `largest` bytes: every FITS block
// boundary up to one past the largest, one byte short of it and half-way to
// it, and the empty file; with a `buffer` size, also each boundary of the
// file buffer and one byte short of it.
std::vector<long> limits(long largest, long buffer) {
  std::set<long> s = {0, 1};
  const long block = 2880;
  for (long b = block; b <= largest + block; b += block) s.insert({b - block / 2, b - 1, b});
  for (long b = buffer; buffer > 0 && b <= largest + buffer; b += buffer) s.insert({b - 1, b});
  return {s.begin(), s.end()};
}

// Runs c_ calls one after the other until one reports an error.
class Calls {
 public:
  template <class F>
  void operator()(F call) {
    if (!ok_) return;
    call();
    ok_ = c_voserr() == 0;
  }
  // Closes a table that was opened, even after an error (as a careful
  // caller does).
  void close(TablePtr& tp) {
    if (tp == nullptr) return;
    c_tbtclo(tp);
    if (c_voserr() != 0) ok_ = false;
    tp = nullptr;
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = true;
};

enum class Store { kRowOrdered, kColOrdered, kText, kFits };

struct StoreInfo {
  Store store;
  const char* label;
  const char* ext;
  int type;  // table type set at creation; 0: from the name
  long buffer;  // size of the buffer the file is written through; 0: whole
};

// A FITS file is written back from memory in one piece.
const StoreInfo kStores[] = {{Store::kRowOrdered, "RowOrdered", ".tab", 11, 4096},
                             {Store::kColOrdered, "ColumnOrdered", ".tab", 12, 4096},
                             {Store::kText, "Text", ".txt", 13, 4096},
                             {Store::kFits, "Fits", ".fits", 0, 0}};

// Where an operation runs: its directory and storage type.
struct Place {
  std::string dir;
  const StoreInfo* store;
  std::string path(const std::string& root) const { return dir + "/" + root + store->ext; }
};

// Puts rows first..last of the int, double and text columns n, x and s.
void put_rows(Calls& call, TablePtr tp, int first, int last) {
  ColumnPtr n = nullptr, x = nullptr, s = nullptr;
  call([&] { c_tbcfnd1(tp, "n", &n); });
  call([&] { c_tbcfnd1(tp, "x", &x); });
  call([&] { c_tbcfnd1(tp, "s", &s); });
  std::vector<int> ns;
  std::vector<double> xs;
  std::vector<std::string> ss;
  for (int r = first; r <= last; ++r) {
    ns.push_back(r * 7);
    xs.push_back(r * 0.25);
    ss.push_back("row" + std::to_string(r));
  }
  std::vector<const char*> sp;
  for (const auto& t : ss) sp.push_back(t.c_str());
  call([&] { c_tbcpti(tp, n, ns.data(), first, last); });
  call([&] { c_tbcptd(tp, x, xs.data(), first, last); });
  call([&] { c_tbcptt(tp, s, sp.data(), 16, first, last); });
}

// Writes a table of `rows` rows (an int, a double and a text column, two
// header keywords) under `name`.
bool write_table(const Place& at, const std::string& name, int rows) {
  Calls call;
  TablePtr tp = nullptr;
  call([&] { tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr); });
  if (at.store->type != 0) call([&] { c_tbpset(tp, 5, at.store->type); });
  call([&] { c_tbpset(tp, 6, 4); });  // room for four header parameters
  ColumnPtr n = nullptr, x = nullptr, s = nullptr;
  call([&] { c_tbcdef1(tp, &n, "n", "", "", TBL_TY_INT, 1); });
  call([&] { c_tbcdef1(tp, &x, "x", "m", "%10.4f", TBL_TY_DOUBLE, 1); });
  call([&] { c_tbcdef1(tp, &s, "s", "", "", -16, 1); });
  call([&] { c_tbtcre(tp); });
  put_rows(call, tp, 1, rows);
  std::string object = name.substr(name.rfind('/') + 1);
  object = object.substr(0, object.find('['));
  call([&] { c_tbhadt(tp, "OBJECT", object.c_str()); });
  call([&] { c_tbhadi(tp, "NROWS", rows); });
  call.close(tp);
  return call.ok();
}

// Opens the base table for reading and writing, runs `change` and closes it.
bool change_base(const Place& at, const std::function<void(Calls&, TablePtr)>& change) {
  Calls call;
  TablePtr tp = nullptr;
  call([&] { tp = c_tbtopn(at.path("base").c_str(), TBL_READ_WRITE, nullptr); });
  if (call.ok()) change(call, tp);
  call.close(tp);
  return call.ok();
}

// What an operation does to a table of one storage type when nothing
// stops it.
enum class Outcome {
  kWrites,    // succeeds, writing files that a limit can stop
  kSameBytes,  // succeeds, writing the files again as they were
  kRefused,   // is refused before anything is written
  kNotThere,  // the storage type has no such operation
};

// A table as the independent reader must find it: rows, the sum of its
// column n (7 times each row number written), and columns.
struct Shape {
  long rows;
  double n_sum;
  std::size_t columns;
};

// A file after the operation: its tables (FITS: every extension, in order),
// and a keyword it must hold ("" for none).
struct Expected {
  const char* root;
  std::vector<Shape> tables;
  const char* key = "";
};

struct Operation {
  const char* label;
  std::function<bool(const Place&)> run;
  std::function<Outcome(Store)> outcome;
  std::vector<Expected> expected;  // for every storage type the operation writes
};

// Binary and text tables are never made over an existing file: the
// operation is refused.  A FITS table over an existing file's name becomes
// a further extension of it.
Outcome refused_unless_fits(Store s) {
  return s == Store::kFits ? Outcome::kWrites : Outcome::kRefused;
}

// Extensions of FITS files only.
Outcome fits_only(Store s) { return s == Store::kFits ? Outcome::kWrites : Outcome::kNotThere; }

Outcome writes(Store) { return Outcome::kWrites; }

// Text and FITS tables keep no allocated sizes in their files: a size change
// leaves the bytes as they were (the file is still written again at close).
Outcome sizes_in_binary_files(Store s) {
  return s == Store::kText || s == Store::kFits ? Outcome::kSameBytes : Outcome::kWrites;
}

const int kBaseRows = 120;

// 7 * (first + ... + last).
constexpr double n_sum(long first, long last) { return 7.0 * (first + last) * (last - first + 1) / 2; }

const Shape kBase{kBaseRows, n_sum(1, kBaseRows), 3};
const Shape kOld{10, n_sum(1, 10), 3};
const Shape kNew{30, n_sum(1, 30), 3};

const Operation kOperations[] = {
    {"Create", [](const Place& at) { return write_table(at, at.path("new"), kBaseRows); }, writes,
     {{"new", {kBase}}}},
    {"NewColumn",
     [](const Place& at) {
       return change_base(at, [](Calls& call, TablePtr tp) {
         ColumnPtr y = nullptr;
         call([&] { c_tbcdef1(tp, &y, "y", "", "", TBL_TY_DOUBLE, 1); });
         std::vector<double> v(kBaseRows, 1.5);
         call([&] { c_tbcptd(tp, y, v.data(), 1, kBaseRows); });
       });
     },
     writes,
     {{"base", {{kBaseRows, n_sum(1, kBaseRows), 4}}}}},
    {"SizeChange",
     [](const Place& at) {
       return change_base(at, [](Calls& call, TablePtr tp) {
         call([&] { c_tbtchs(tp, 12, 10, -1, 400); });
       });
     },
     sizes_in_binary_files,
     {{"base", {kBase}}}},
    {"KeywordAdd",
     [](const Place& at) {
       return change_base(at, [](Calls& call, TablePtr tp) {
         for (int k = 0; k < 40; ++k) {
           std::string key = "KEY" + std::to_string(k);
           call([&] { c_tbhadt(tp, key.c_str(), ("value of " + key).c_str()); });
         }
       });
     },
     writes,
     {{"base", {kBase}, "KEY39"}}},
    {"RowDelete",
     [](const Place& at) {
       return change_base(at, [](Calls& call, TablePtr tp) {
         call([&] { c_tbrdel(tp, 10, 60); });
       });
     },
     writes,
     {{"base", {{kBaseRows - 51, n_sum(1, kBaseRows) - n_sum(10, 60), 3}}}}},
    {"RowAppend",
     [](const Place& at) {
       return change_base(at, [](Calls& call, TablePtr tp) {
         put_rows(call, tp, kBaseRows + 1, kBaseRows + 90);
       });
     },
     writes,
     {{"base", {{kBaseRows + 90, n_sum(1, kBaseRows + 90), 3}}}}},
    {"CopyOverExisting",
     [](const Place& at) {
       c_tbtcpy(at.path("base").c_str(), at.path("old").c_str());
       return c_voserr() == 0;
     },
     refused_unless_fits,
     {{"old", {kOld, kBase}}}},
    {"Rename",
     [](const Place& at) {
       // A FITS table is renamed by extension; the whole file cannot be.
       std::string from = at.path("base") + (at.store->store == Store::kFits ? "[1]" : "");
       c_tbtren(from.c_str(), at.path("renamed").c_str());
       return c_voserr() == 0;
     },
     writes,
     {{"renamed", {kBase}}}},
    {"NewTableOverExistingName",
     [](const Place& at) { return write_table(at, at.path("old"), 30); },
     refused_unless_fits,
     {{"old", {kOld, kNew}}}},
    {"ExtensionOverwrite",
     [](const Place& at) { return write_table(at, at.path("old") + "[1,overwrite]", 30); },
     fits_only,
     {{"old", {kNew}}}},
    {"ExtensionDelete",
     [](const Place& at) {
       c_tbtdel((at.path("old") + "[1]").c_str());
       return c_voserr() == 0;
     },
     fits_only,
     {{"old", {}}}},
};

class WriteFault : public ::testing::TestWithParam<std::tuple<const StoreInfo*, const Operation*>> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }
  void SetUp() override {
    char tmpl[] = "/tmp/writefaultXXXXXX";
    root_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(root_); }

  // A fresh run directory holding the base table and an older table.
  Place fresh() {
    Place at{root_ + "/run", std::get<0>(GetParam())};
    fs::remove_all(at.dir);
    if (template_.empty()) {
      fs::create_directory(at.dir);
      EXPECT_TRUE(write_table(at, at.path("base"), kBaseRows)) << c_voserrmsg();
      EXPECT_TRUE(write_table(at, at.path("old"), 10)) << c_voserrmsg();
      template_ = root_ + "/template";
      fs::copy(at.dir, template_);
    } else {
      fs::copy(template_, at.dir);
    }
    return at;
  }

  std::string root_, template_;
};

// The tables of the file `path` as the independent reader of its storage
// type finds them.
std::vector<chg::Read> tables_in(const Place& at, const std::string& path) {
  switch (at.store->store) {
    case Store::kFits: {
      std::vector<chg::Read> tables;
      for (chg::Read& hdu : chg::read_fits(path))
        if (!hdu.columns.empty() || !hdu.problem.empty()) tables.push_back(std::move(hdu));
      return tables;
    }
    case Store::kText: return {chg::read_text(path)};
    default: return {chg::read_binary(path)};
  }
}

// The fault-free result, judged by the independent readers: every file
// whole and valid, and each file the operation writes holding what it must.
void expect_read_independently(const Place& at, const Operation& op) {
  for (const auto& [name, bytes] : snapshot(at.dir)) {
    const std::string path = at.dir + "/" + name;
    if (at.store->store == Store::kFits) {
      EXPECT_EQ(chg::fitsverify(path), "") << name;
    }
#ifdef BIN_CHECKER
    if (at.store->store == Store::kRowOrdered || at.store->store == Store::kColOrdered) {
      EXPECT_EQ(std::system((std::string(QUOREL_PYTHON) + " " + BIN_CHECKER + " " + path).c_str()), 0) << name;
    }
#endif
  }
  for (const Expected& e : op.expected) {
    const std::string path = at.path(e.root);
    const std::vector<chg::Read> tables = tables_in(at, path);
    ASSERT_EQ(tables.size(), e.tables.size()) << e.root;
    for (std::size_t i = 0; i < tables.size(); ++i) {
      const chg::Read& t = tables[i];
      const std::string where = std::string(e.root) + " table " + std::to_string(i + 1) + ": " + chg::describe(t);
      EXPECT_EQ(t.problem, "") << where;
      EXPECT_EQ(t.rows, e.tables[i].rows) << where;
      EXPECT_EQ(t.columns.size(), e.tables[i].columns) << where;
      const auto n = t.values.find(at.store->store == Store::kText ? "1" : "n");
      double sum = 0;
      if (n != t.values.end())
        for (double v : n->second) sum += v;
      EXPECT_EQ(sum, e.tables[i].n_sum) << where;
      bool has_key = false;
      for (const auto& k : t.keys) has_key = has_key || k.find(e.key) != std::string::npos;
      EXPECT_TRUE(has_key || *e.key == '\0') << where << ": no keyword " << e.key;
    }
  }
}

TEST_P(WriteFault, EveryLimitLeavesTheOldFilesOrTheFaultFreeResult) {
  const Operation& op = *std::get<1>(GetParam());
  Place at = fresh();
  const Snapshot before = snapshot(at.dir);
  const int free_run = run_limited(-1, [&] { return op.run(at); });
  const Snapshot after = snapshot(at.dir);
  if (op.outcome(at.store->store) == Outcome::kRefused) {
    EXPECT_EQ(free_run, kFailed) << "the operation is refused";
    EXPECT_TRUE(after == before) << "a refused operation changed files:" << listing(after);
    return;
  }
  ASSERT_EQ(free_run, kClean) << "the operation succeeds without a limit";
  expect_read_independently(at, op);
  EXPECT_EQ(after == before, op.outcome(at.store->store) == Outcome::kSameBytes)
      << "the operation changes the files:" << listing(after);
  long largest = 0;
  for (const Snapshot* s : {&before, &after})
    for (const auto& [name, bytes] : *s) largest = std::max<long>(largest, bytes.size());

  int failures = 0;
  for (long limit : limits(largest, at.store->buffer)) {
    at = fresh();
    const int code = run_limited(limit, [&] { return op.run(at); });
    EXPECT_TRUE(code == kClean || code == kFailed) << "limit " << limit << ": exit " << code;
    if (code != kClean && code != kFailed) continue;
    reopen_all(at.dir);
    const Snapshot now = snapshot(at.dir);
    if (code == kFailed) {
      ++failures;
      EXPECT_EQ(now == before, true) << "limit " << limit << ": an error was reported, files:"
                                     << listing(now) << ", before:" << listing(before);
    } else {
      EXPECT_EQ(now == after, true) << "limit " << limit << ": no error reported, files:"
                                    << listing(now) << ", fault-free:" << listing(after);
    }
  }
  // An operation that leaves the bytes as they were may write nothing, so
  // that no limit makes it fail; every other one meets the limits.
  if (op.outcome(at.store->store) != Outcome::kSameBytes) {
    EXPECT_GT(failures, 0) << "the limits reach the operation";
  }
}

// Every operation of every storage type that has it.
std::vector<std::tuple<const StoreInfo*, const Operation*>> cases() {
  std::vector<std::tuple<const StoreInfo*, const Operation*>> v;
  for (const auto& s : kStores)
    for (const auto& o : kOperations)
      if (o.outcome(s.store) != Outcome::kNotThere) v.emplace_back(&s, &o);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    AllStores, WriteFault, ::testing::ValuesIn(cases()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param)->label) + "_" + std::get<1>(info.param)->label;
    });

}  // namespace
