// Test support for tables changed in place: a small table of each storage
// type, one change session on it through the c_ entry points, the files a
// directory holds, and readers of each storage type that share no code with
// the library (CFITSIO for FITS files, a decoder of the binary layout written
// from its description, plain lines for text tables).
#pragma once

#include <dirent.h>
#include <fitsio.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "halvo/c_tables.h"
#include "vos/files.h"
#include "vos/osio.h"

namespace chg {

struct Storage {
  const char* label;
  const char* ext;
  int type;  // table type set at creation (11 row-, 12 column-ordered, 13 text); 0: FITS
};

inline const Storage kStorages[] = {{"RowOrdered", ".tab", 11},
                                    {"ColumnOrdered", ".tab", 12},
                                    {"Fits", ".fits", 0},
                                    {"Text", ".txt", 13}};

inline bool is_fits(const Storage& s) { return s.type == 0; }
inline bool is_binary(const Storage& s) { return s.type == 11 || s.type == 12; }

// The bytes of a file; "" when it cannot be read.
inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void spill(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The names a directory holds, "." and ".." left out.
inline std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

// A scratch directory, removed with what it holds.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/tbchangeXXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~ScratchDir() { std::system(("chmod -R u+rwx " + path_ + " 2>/dev/null; rm -rf " + path_).c_str()); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Rows of the table before the change.
inline constexpr int kRows = 40;

inline bool ok() { return c_voserr() == 0; }

// Puts rows first..last: n = 7r, x = r/4, s = "row<r>".
inline bool put_rows(TablePtr tp, int first, int last) {
  ColumnPtr n = nullptr, x = nullptr, s = nullptr;
  c_tbcfnd1(tp, "n", &n);
  if (ok()) c_tbcfnd1(tp, "x", &x);
  if (ok()) c_tbcfnd1(tp, "s", &s);
  for (int r = first; ok() && r <= last; ++r) {
    c_tbeptd(tp, x, r, r * 0.25);
    if (ok()) c_tbeptt(tp, s, r, ("row" + std::to_string(r)).c_str());
    if (ok()) c_tbeptd(tp, n, r, r * 7);
  }
  return ok();
}

// Makes the table `path` of storage `s` with `rows` rows (columns n int,
// x double, s text; keyword OBJECT); `parameters` sets more of the table's
// parameters before its columns are defined, and `before_close` runs just
// before the close.
inline bool make_table(const std::string& path, const Storage& s,
                       const std::function<void()>& before_close = {}, int rows = kRows,
                       const std::function<void(TablePtr)>& parameters = {}) {
  TablePtr tp = c_tbtopn(path.c_str(), TBL_NEW_FILE, nullptr);
  if (!ok()) return false;
  if (s.type != 0) c_tbpset(tp, 5, s.type);
  if (ok() && parameters) parameters(tp);
  ColumnPtr c = nullptr;
  if (ok()) c_tbcdef1(tp, &c, "n", "", "", TBL_TY_INT, 1);
  if (ok()) c_tbcdef1(tp, &c, "x", "m", "%10.4f", TBL_TY_DOUBLE, 1);
  if (ok()) c_tbcdef1(tp, &c, "s", "", "", -12, 1);
  if (ok()) c_tbtcre(tp);
  bool good = ok() && put_rows(tp, 1, rows);
  if (good) c_tbhadt(tp, "OBJECT", "before");
  good = good && ok();
  if (good && before_close) before_close();
  c_tbtclo(tp);
  return good && ok();
}

// Rewrites the x cells of rows 1..rows (x = factor * r).
inline bool put_x(TablePtr tp, int rows, double factor) {
  ColumnPtr x = nullptr;
  c_tbcfnd1(tp, "x", &x);
  for (int r = 1; ok() && r <= rows; ++r) c_tbeptd(tp, x, r, factor * r);
  return ok();
}

// The change session on a table of `rows` rows: every x cell rewritten
// (x = -r), more changes (`more`, false when one failed), one row
// appended, a keyword added, then the close.  False when a call failed.
inline bool change_table(const std::string& path, const std::function<bool(TablePtr)>& more,
                         int rows = kRows) {
  TablePtr tp = c_tbtopn(path.c_str(), TBL_READ_WRITE, nullptr);
  if (!ok()) return false;
  bool good = put_x(tp, rows, -1) && more(tp);
  good = good && put_rows(tp, rows + 1, rows + 1);
  if (good) c_tbhadt(tp, "CHANGED", "after");
  good = good && ok();
  c_tbtclo(tp);
  return good && ok();
}

// The change session on a table of kRows rows; `midway` runs after the
// cells are rewritten (its own calls' errors are its own).
inline bool change_table(const std::string& path, const std::function<void()>& midway = {}) {
  return change_table(path, [&](TablePtr) {
    if (midway) midway();
    return true;
  });
}

// The change session larger than its cache: a table of spill_rows() rows
// changed with a cache of kSpillCache bytes, every x cell rewritten twice
// (the second time over blocks the first one wrote back already), one row
// appended and a keyword added.  The table is larger than the buffers of
// CFITSIO, so that a FITS table too is written back on the way; a text
// table, written whole at close, is smaller.
inline constexpr long long kSpillCache = 16 * 1024;
inline int spill_rows(const Storage& s) { return s.type == 13 ? 2000 : 5000; }

inline bool change_spilling(const std::string& path, int rows) {
  vos::set_change_cache(kSpillCache);
  const bool good = change_table(path, [=](TablePtr tp) { return put_x(tp, rows, -2); }, rows);
  vos::set_change_cache(0);
  return good;
}

// Opens the table read-only through the library (which rolls back what a
// killed writer left) and reads every row; "" on success, else the message.
inline std::string open_through_library(const std::string& path) {
  TablePtr tp = c_tbtopn(path.c_str(), TBL_READ_ONLY, nullptr);
  if (!ok()) return c_voserrmsg();
  ColumnPtr x = nullptr;
  c_tbcfnd1(tp, "x", &x);
  const int rows = ok() ? c_tbpsta(tp, 21) : 0;
  for (int r = 1; ok() && r <= rows; ++r) {
    double v = 0;
    c_tbegtd(tp, x, r, &v);
  }
  std::string why = ok() ? "" : c_voserrmsg();
  c_tbtclo(tp);
  if (why.empty() && !ok()) why = c_voserrmsg();
  return why;
}

// ---- readers that share no code with the library -----------------------

// A table as an independent reader finds it: its keywords (name=value, in
// order), rows, column names and the values of its numeric columns.  A
// reader that meets something it cannot read says so in `problem`.
struct Read {
  std::vector<std::string> keys;
  long rows = 0;
  std::vector<std::string> columns;
  std::map<std::string, std::vector<double>> values;
  std::string problem;
};

inline std::string describe(const Read& t) {
  std::ostringstream out;
  out << t.rows << " rows, keys";
  for (const auto& k : t.keys) out << " " << k;
  for (const auto& c : t.columns) {
    out << "; " << c << ":";
    if (auto v = t.values.find(c); v != t.values.end())
      for (double d : v->second) out << " " << d;
  }
  if (!t.problem.empty()) out << " (" << t.problem << ")";
  return out.str();
}

inline std::int64_t be(const std::string& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return bytes == 4 ? static_cast<std::int32_t>(v) : static_cast<std::int64_t>(v);
}

inline double be_double(const std::string& b, std::size_t at) {
  const std::uint64_t v = static_cast<std::uint64_t>(be(b, at, 8));
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}

// A binary table decoded from its bytes as its layout is described (the
// size record of 12 big-endian words, 80-byte parameter slots, 64-byte
// column slots, rows or column blocks in 2-byte chars); keys are the
// keyword names of the parameter slots, "order=<11|12>" first.
inline Read read_binary(const std::string& path) {
  const std::string b = slurp(path);
  Read t;
  if (b.size() < 48) {
    t.problem = "short file";
    return t;
  }
  auto word = [&](int i) { return be(b, 4 * static_cast<std::size_t>(i), 4); };
  const long npar = word(0), maxpar = word(1), nrows = word(2), allrows = word(3), ncols = word(4),
             maxcols = word(5), allrowlen = word(7), order = word(8);
  const std::size_t header = 2 * static_cast<std::size_t>(24 + 40 * maxpar + 32 * maxcols);
  if (npar < 0 || npar > maxpar || ncols < 0 || ncols > maxcols || nrows < 0 || b.size() < header) {
    t.problem = "bad size record";
    return t;
  }
  t.rows = nrows;
  t.keys.push_back("order=" + std::to_string(order));
  for (long p = 0; p < npar; ++p) {
    std::string key = b.substr(48 + 80 * static_cast<std::size_t>(p), 8);
    key.erase(key.find_last_not_of(' ') + 1);
    t.keys.push_back(key);
  }
  for (long c = 0; c < ncols; ++c) {
    const std::size_t slot = 48 + 80 * static_cast<std::size_t>(maxpar) + 64 * static_cast<std::size_t>(c);
    const long off = be(b, slot + 4, 4), len = be(b, slot + 8, 4), type = be(b, slot + 12, 4);
    const std::string name = b.substr(slot + 16, 20).c_str();
    t.columns.push_back(name);
    if (type != TBL_TY_INT && type != TBL_TY_DOUBLE) continue;
    auto& v = t.values[name];
    for (long r = 0; r < nrows; ++r) {
      const std::size_t at = header + 2 * static_cast<std::size_t>(order == 11 ? r * allrowlen + off
                                                                               : off * allrows + r * len);
      if (at + 8 > b.size()) {
        t.problem = "the file ends inside the rows";
        return t;
      }
      v.push_back(type == TBL_TY_INT ? static_cast<double>(be(b, at, 4)) : be_double(b, at));
    }
  }
  return t;
}

// Every HDU of a FITS file read with CFITSIO (a table's rows, columns and
// numeric values; every HDU's keywords).
inline std::vector<Read> read_fits(const std::string& path) {
  fitsfile* f = nullptr;
  int status = 0;
  std::vector<Read> hdus;
  if (fits_open_file(&f, path.c_str(), READONLY, &status) != 0) {
    hdus.emplace_back().problem = "cfitsio cannot open it: " + std::to_string(status);
    return hdus;
  }
  int n = 0;
  fits_get_num_hdus(f, &n, &status);
  for (int h = 1; h <= n && status == 0; ++h) {
    Read& t = hdus.emplace_back();
    int type = 0, nkeys = 0;
    fits_movabs_hdu(f, h, &type, &status);
    fits_get_hdrspace(f, &nkeys, nullptr, &status);
    for (int k = 1; k <= nkeys && status == 0; ++k) {
      char name[FLEN_KEYWORD], value[FLEN_VALUE], comment[FLEN_COMMENT];
      fits_read_keyn(f, k, name, value, comment, &status);
      t.keys.push_back(std::string(name) + "=" + value);
    }
    if (type != BINARY_TBL) continue;
    int ncols = 0;
    fits_get_num_rows(f, &t.rows, &status);
    fits_get_num_cols(f, &ncols, &status);
    for (int c = 1; c <= ncols && status == 0; ++c) {
      char key[FLEN_KEYWORD], name[FLEN_VALUE] = "";
      int typecode = 0;
      long repeat = 0, width = 0;
      std::snprintf(key, sizeof key, "TTYPE%d", c);
      fits_read_key(f, TSTRING, key, name, nullptr, &status);
      fits_get_coltype(f, c, &typecode, &repeat, &width, &status);
      t.columns.push_back(name);
      if (typecode == TSTRING || t.rows == 0) continue;
      std::vector<double> v(static_cast<std::size_t>(t.rows));
      int anynul = 0;
      fits_read_col(f, TDOUBLE, c, 1, 1, t.rows, nullptr, v.data(), &anynul, &status);
      t.values[name] = v;
    }
  }
  int close_status = 0;
  fits_close_file(f, &close_status);
  if (status != 0) hdus.emplace_back().problem = "cfitsio status " + std::to_string(status);
  return hdus;
}

// A text table read as lines: keyword and comment lines (those starting
// with '#') as they are, and per data line its numeric leading fields,
// named by their place ("1", "2", ...).
inline Read read_text(const std::string& path) {
  std::istringstream in(slurp(path));
  Read t;
  std::string line;
  std::size_t fields_seen = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      t.keys.push_back(line);
      continue;
    }
    ++t.rows;
    std::istringstream fields(line);
    std::string field;
    for (std::size_t i = 1; fields >> field; ++i) {
      if (i > fields_seen) {
        fields_seen = i;
        t.columns.push_back(std::to_string(i));
      }
      char* end = nullptr;
      const double d = std::strtod(field.c_str(), &end);
      if (end != field.c_str() && *end == '\0') t.values[std::to_string(i)].push_back(d);
    }
  }
  return t;
}

// The whole file as the independent reader of its storage type finds it.
inline std::string summary(const Storage& s, const std::string& path) {
  if (is_binary(s)) return describe(read_binary(path));
  if (!is_fits(s)) return describe(read_text(path));
  std::string out;
  for (const Read& hdu : read_fits(path)) out += "| " + describe(hdu) + " ";
  return out;
}

// fitsverify's verdict on a FITS file: "" when it finds nothing wrong,
// else its report.
inline std::string fitsverify(const std::string& path) {
  std::string report;
  if (FILE* p = ::popen(("fitsverify " + path + " 2>&1").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) report += buf;
    ::pclose(p);
  }
  const bool clean = report.find("Verification found 0 warning(s) and 0 error(s).") != std::string::npos;
  return clean ? "" : report.empty() ? "fitsverify did not run" : report;
}

// ---- child processes ------------------------------------------------------

// Runs `body` in a child process, which ends with the code `body` returns
// (it may also end itself otherwise); returns the exit code, or 128 + the
// signal that ended it.
inline int in_child(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The second user the tests act as, as root.
inline constexpr uid_t kOther = 65534;

// Runs `body` in a child that has become user and group kOther (when this
// process is root; otherwise as the user it is); 99 when it could not.
inline int as_other_user(const std::function<int()>& body) {
  return in_child([&] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kOther) != 0 || ::setuid(kOther) != 0))
      return 99;
    return body();
  });
}

// What lstat finds at `path` (all zero when nothing).
inline struct stat stat_of(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// Kills a writer of `table` (in a child) as it removes its journal: the
// table holds the whole change and its journal is hot.  Returns what
// in_child returns, 128 + SIGKILL when the writer got that far.
inline int leave_hot_journal(const std::string& table) {
  return in_child([&] {
    vos::osio::Ops ops = vos::osio::host_ops();
    ops.unlink = [](const char*) -> int {
      ::raise(SIGKILL);
      return -1;
    };
    vos::osio::replace(ops);
    change_table(table);
    return 0;
  });
}

// ---- one table and the same change made on a copy -----------------------

// The table "t<ext>" of storage GetParam(), alone in the directory "d" of
// a scratch directory, with its bytes; and `ref_`, a copy of it in "ref"
// that the change session (change_table) has changed: what the table must
// read once the same change is made on it.
class ChangedCopyTest : public ::testing::TestWithParam<const Storage*> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  void SetUp() override {
    store_ = GetParam();
    dir_ = scratch_.path() + "/d";
    ::mkdir(dir_.c_str(), 0755);
    table_ = dir_ + "/" + name();
    ASSERT_TRUE(make_table(table_, *store_)) << c_voserrmsg();
    before_ = slurp(table_);
    const std::string ref_dir = scratch_.path() + "/ref";
    ::mkdir(ref_dir.c_str(), 0755);
    ref_ = ref_dir + "/" + name();
    spill(ref_, before_);
    ASSERT_TRUE(change_table(ref_)) << c_voserrmsg();
  }

  std::string name() const { return "t" + std::string(store_->ext); }

  // A file anyone may write to (a child that has become another user
  // leaves its message there).
  std::string message_file() {
    const std::string path = scratch_.path() + "/message";
    spill(path, "");
    ::chmod(path.c_str(), 0666);
    return path;
  }

  ScratchDir scratch_;
  const Storage* store_ = nullptr;
  std::string dir_, table_, before_, ref_;
};

inline auto all_storages() {
  return ::testing::Values(&kStorages[0], &kStorages[1], &kStorages[2], &kStorages[3]);
}

inline std::string storage_name(const ::testing::TestParamInfo<const Storage*>& info) {
  return info.param->label;
}

// ---- a change session and its two ends ----------------------------------

// What a session does: change an existing table (rewrite cells, append a
// row, add a keyword), the same on a larger table through a small cache
// (change_spilling), or make a new one.
enum class Session { kChange, kCreate, kSpill };

// A session on the table "t<ext>" alone in a directory, with the bytes
// before it and after an uninterrupted run, each also read back by the
// independent reader.
class SessionTest : public ::testing::TestWithParam<std::tuple<const Storage*, Session>> {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  void SetUp() override {
    store_ = std::get<0>(GetParam());
    session_ = std::get<1>(GetParam());
    dir_ = scratch_.path() + "/t";
    table_ = dir_ + "/" + name();
    reset();
    if (session_ != Session::kCreate) {
      ASSERT_TRUE(make_table(table_, *store_, {}, session_ == Session::kSpill ? spill_rows(*store_) : kRows))
          << c_voserrmsg();
      before_ = slurp(table_);
    }
    ASSERT_EQ(in_child([&] { return run_session() ? 0 : 1; }), 0) << "the uninterrupted session succeeds";
    after_ = slurp(table_);
    ASSERT_EQ(names_in(dir_), std::set<std::string>{name()});
    after_summary_ = summary(*store_, table_);
    if (is_fits(*store_)) {
      EXPECT_EQ(fitsverify(table_), "");
    }
    if (session_ != Session::kCreate) {
      EXPECT_NE(after_summary_.find("CHANGED"), std::string::npos) << after_summary_;
      before_summary_ = put_back_before();
      EXPECT_NE(before_summary_, after_summary_);
      EXPECT_EQ(before_summary_.find("CHANGED"), std::string::npos) << before_summary_;
    }
  }

  std::string name() const { return "t" + std::string(store_->ext); }

  // Runs the session uninterrupted in a child with `ops` in force; returns
  // what `counter` (which those ops count) holds at its end, -1 when the
  // session failed.
  long count_in_child(const vos::osio::Ops& ops, const long& counter) {
    const std::string file = scratch_.path() + "/count";
    put_back_before();
    const int code = in_child([&] {
      vos::osio::replace(ops);
      const bool ok = run_session();
      spill(file, std::to_string(counter));
      return ok ? 0 : 1;
    });
    return code == 0 ? std::stol(slurp(file)) : -1;
  }

  bool run_session() {
    switch (session_) {
      case Session::kChange: return change_table(table_);
      case Session::kSpill: return change_spilling(table_, spill_rows(*store_));
      case Session::kCreate: break;
    }
    return make_table(table_, *store_);
  }

  void reset() {
    std::system(("rm -rf " + dir_).c_str());
    ::mkdir(dir_.c_str(), 0755);
  }

  // Puts the directory back as it was before the session; the table's
  // summary.
  std::string put_back_before() {
    reset();
    if (session_ == Session::kCreate) return "";
    spill(table_, before_);
    return summary(*store_, table_);
  }

  // After an interrupted session: the next open through the library finds
  // the old or the new table, whole, and nothing else is left.  With
  // `must_be_new`, only the new table will do.
  void expect_old_or_new(const std::string& when, bool must_be_new = false) {
    const bool exists = ::access(table_.c_str(), F_OK) == 0;
    if (exists) {
      EXPECT_EQ(open_through_library(table_), "") << when;
    }
    const std::string now = slurp(table_);
    const bool is_before = !must_be_new && (session_ == Session::kCreate ? !exists : now == before_);
    EXPECT_TRUE(is_before || now == after_)
        << when << ": " << now.size() << " bytes, neither the old (" << before_.size()
        << ") nor the new (" << after_.size() << ") table";
    if (exists) {
      EXPECT_EQ(summary(*store_, table_), now == after_ ? after_summary_ : before_summary_) << when;
    }
    std::set<std::string> want;
    if (exists) want.insert(name());
    EXPECT_EQ(names_in(dir_), want) << when << ": files left beside the table";
  }

  ScratchDir scratch_;
  const Storage* store_ = nullptr;
  Session session_ = Session::kChange;
  std::string dir_, table_, before_, after_, before_summary_, after_summary_;
};

// Every storage type, every session.
inline auto all_sessions() {
  return ::testing::Combine(all_storages(), ::testing::Values(Session::kChange, Session::kCreate, Session::kSpill));
}

inline std::string session_name(const ::testing::TestParamInfo<std::tuple<const Storage*, Session>>& info) {
  const Session s = std::get<1>(info.param);
  return std::string(std::get<0>(info.param)->label) +
         (s == Session::kChange ? "_Change" : s == Session::kSpill ? "_Spill" : "_Create");
}

}  // namespace chg
