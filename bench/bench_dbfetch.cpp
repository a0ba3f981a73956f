// Fetching 10^5 rows of the tool's result shape through the DB client's
// entry points, against a plain loopback read of the same reply bytes.
//
// The rows are those of the tool's row query, in its column order: an
// availability date (a datetime, 26 characters as a string), a component
// name (varchar, 18 characters), a file name (varchar, 50) and a comment
// (text, 68), all four bound as strings (dbcmd, dbsqlexec, dbresults,
// dbbind, dbnextrow).  A SQLite table of the rows is served once by the
// stand-in server, which records its reply; a second server answers the
// same batch with the recorded reply, framed in packets of the session's
// size and written in one go, so that neither the database engine nor the
// server's writing is measured.  In the same run, the same packets are
// written in one go over a plain TCP connection on 127.0.0.1 and read in
// large blocks: the fastest way to take those bytes off the loopback.
//
// Counters: the pair of bench/bench_ratio.h, ours_s (dbcmd to the last
// dbnextrow) and base_s (the writer started to the last byte read), the best
// iteration of each; rows and reply_bytes (on the wire, headers included).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_ratio.h"
#include "dblib/dblib.h"
#include "standin/standin.h"
#include "wire.h"

namespace {

// The packet size the tool's connections use (the client's default).
constexpr std::size_t kPacketSize = 512;
// The highest acceptable ratio of our fetch to the raw read.
constexpr double kGoal = 5.0;

// The widths of the tool's four text columns: the date as a string, the
// component name, the file name and the comment.
constexpr int kDateWidth = 26, kCompWidth = 18, kFileWidth = 50, kCommentWidth = 68;

const char kSelect[] =
    "select availability_date, compname, file_name, comment from kelvar_bench";

// Client errors and server messages are kept quiet; the last error text is
// kept for the report when a fetch fails.
std::string g_last_error;

int quiet_error(DBPROCESS*, int, int dberr, int, char* text, char*) {
  g_last_error = std::to_string(dberr) + " " + (text ? text : "");
  return INT_CANCEL;
}

int quiet_message(DBPROCESS*, DBINT, int, int, char*, char*, char*, int) { return 0; }

void check_sqlite(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// `text` cut or padded with `fill` to `width` characters.
std::string fit(std::string text, int width, char fill) {
  text.resize(static_cast<std::size_t>(width), fill);
  return text;
}

// A SQLite file holding `rows` rows of the tool's result shape, every
// value of its column's full width, datetimes in the stored full form.
void write_rows_db(const std::string& path, int rows) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
  check_sqlite(sqlite3_exec(db,
                            "create table kelvar_bench (availability_date datetime null,"
                            " compname varchar(18) not null, file_name varchar(50) not null,"
                            " comment text null); begin;",
                            nullptr, nullptr, nullptr),
               db, "schema");
  sqlite3_stmt* st = nullptr;
  check_sqlite(sqlite3_prepare_v2(db, "insert into kelvar_bench values (?,?,?,?)", -1, &st, nullptr), db,
               "prepare");
  for (int r = 0; r < rows; ++r) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "1998-%02d-%02d %02d:%02d:00.000", 1 + r % 12, 1 + r % 28, r % 24,
                  r % 60);
    const std::string n = std::to_string(r);
    const std::string comp = fit("zor_comp" + n, kCompWidth, 'x');
    const std::string file = fit("/data/throughput/zor/z" + n + "2_thr.fits", kFileWidth, '_');
    const std::string comment =
        fit("Throughput of the ZOR_COMP" + n + "\tafter the 1998 recalibration", kCommentWidth, '.');
    sqlite3_bind_text(st, 1, stamp, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, comp.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, comment.c_str(), -1, SQLITE_TRANSIENT);
    check_sqlite(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  check_sqlite(sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr), db, "commit");
}

// A connection to the server named SERVER in `home`, with the tool's text
// size.  Null on failure.
DBPROCESS* connect(const std::string& home) {
  ::setenv("MERROW", home.c_str(), 1);
  dbsetifile((home + "/interfaces").c_str());
  LOGINREC* l = dblogin();
  DBSETLUSER(l, "calread");
  DBSETLPWD(l, "tuvelmark");
  DBSETLAPP(l, "bench_dbfetch");
  DBPROCESS* db = dbopen(l, "SERVER");
  dbloginfree(l);
  if (!db) return nullptr;
  dbsetopt(db, DBTEXTSIZE, "500000", 0);
  if (dbsqlexec(db) != SUCCEED) {
    dbclose(db);
    return nullptr;
  }
  while (dbresults(db) == SUCCEED) {
  }
  return db;
}

// Runs the select and fetches every row into variables bound as strings;
// the number of rows, or -1 on failure.  `check` adds up the lengths
// fetched, so that a replayed fetch can be compared with the recorded one.
long fetch_rows(DBPROCESS* db, std::size_t& check) {
  if (dbcmd(db, kSelect) != SUCCEED || dbsqlexec(db) != SUCCEED) return -1;
  char date[kDateWidth + 1], comp[kCompWidth + 1], file[kFileWidth + 1], comment[kCommentWidth + 1];
  long rows = 0;
  RETCODE rc;
  while ((rc = dbresults(db)) == SUCCEED) {
    if (dbnumcols(db) != 4) continue;
    if (dbbind(db, 1, STRINGBIND, sizeof date, reinterpret_cast<BYTE*>(date)) != SUCCEED ||
        dbbind(db, 2, STRINGBIND, sizeof comp, reinterpret_cast<BYTE*>(comp)) != SUCCEED ||
        dbbind(db, 3, STRINGBIND, sizeof file, reinterpret_cast<BYTE*>(file)) != SUCCEED ||
        dbbind(db, 4, STRINGBIND, sizeof comment, reinterpret_cast<BYTE*>(comment)) != SUCCEED)
      return -1;
    STATUS s;
    while ((s = dbnextrow(db)) == REG_ROW) {
      check += std::strlen(date) + std::strlen(comp) + std::strlen(file) + std::strlen(comment);
      ++rows;
    }
    if (s != NO_MORE_ROWS) return -1;
  }
  return rc == NO_MORE_RESULTS ? rows : -1;
}

// A fresh loopback connection whose writing end, in a second thread,
// sends `bytes` in one go once the reading starts.
class Loopback {
 public:
  explicit Loopback(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t alen = sizeof a;
    if (lfd < 0 || ::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lfd, 1) != 0 ||
        ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &alen) != 0)
      throw std::runtime_error("cannot listen on the loopback");
    rfd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (rfd_ < 0 || ::connect(rfd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
      throw std::runtime_error("cannot connect on the loopback");
    int wfd = ::accept(lfd, nullptr, nullptr);
    ::close(lfd);
    if (wfd < 0) throw std::runtime_error("cannot accept on the loopback");
    writer_ = std::thread([this, wfd] {
      while (!go_.load(std::memory_order_acquire)) {
      }
      std::size_t done = 0;
      while (done < bytes_.size()) {
        ssize_t w = ::send(wfd, bytes_.data() + done, bytes_.size() - done, MSG_NOSIGNAL);
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
      }
      ::close(wfd);
    });
  }
  Loopback(const Loopback&) = delete;
  Loopback& operator=(const Loopback&) = delete;
  ~Loopback() {
    go_.store(true, std::memory_order_release);
    writer_.join();
    ::close(rfd_);
  }

  // Starts the writer and reads every byte in 64 KiB blocks.
  void read_all() {
    std::vector<char> block(1 << 16);
    std::size_t got = 0;
    go_.store(true, std::memory_order_release);
    while (got < bytes_.size()) {
      ssize_t r = ::read(rfd_, block.data(), block.size());
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    if (got != bytes_.size()) throw std::runtime_error("loopback read came short");
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
  int rfd_ = -1;
  std::atomic<bool> go_{false};
  std::thread writer_;
};

// The replay server and its reply, made once per process.
struct Replay {
  std::string dir;
  std::unique_ptr<standin::StandinServer> server;
  std::string home;
  std::vector<std::uint8_t> packets;  // the reply as it goes over the wire
  long rows = 0;
  std::size_t check = 0;  // lengths fetched from the recording server
  ~Replay() {
    server.reset();
    if (!dir.empty()) standin::remove_tree(dir);
  }
};

// Records the reply of the select over a table of `rows` rows, then starts
// the server that replays it.
std::unique_ptr<Replay> make_replay(int rows) {
  auto rp = std::make_unique<Replay>();
  rp->dir = standin::make_temp_dir("bench-dbfetch");
  const std::string db = rp->dir + "/rows.sqlite", reply = rp->dir + "/reply.bin";
  write_rows_db(db, rows);
  {
    standin::ServerOptions o;
    o.db_path = db;
    o.script = "batch \"kelvar_bench\" record " + reply + "\n";
    standin::StandinServer rec(o);
    DBPROCESS* conn = connect(rec.make_home("SERVER"));
    if (!conn) throw std::runtime_error("cannot log in to the recording server: " + g_last_error);
    rp->rows = fetch_rows(conn, rp->check);
    dbclose(conn);
    if (rp->rows != rows) throw std::runtime_error("recording fetched the wrong rows: " + g_last_error);
  }
  std::ifstream in(reply, std::ios::binary);
  const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  rp->packets = standin::ReplyWriter::frame(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(),
                                            kPacketSize);
  standin::ServerOptions o;
  o.script = "batch \"kelvar_bench\" replay " + reply + "\n";
  rp->server = std::make_unique<standin::StandinServer>(o);
  rp->home = rp->server->make_home("SERVER");
  return rp;
}

void BM_FetchToolRowsVsRawLoopback(benchmark::State& state) {
  const int nrows = static_cast<int>(state.range(0));
  dbinit();
  dbsetversion(DBVERSION_50);
  dberrhandle(quiet_error);
  dbmsghandle(quiet_message);
  std::unique_ptr<Replay> rp;
  try {
    rp = make_replay(nrows);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  DBPROCESS* conn = connect(rp->home);
  if (!conn) {
    state.SkipWithError(("cannot log in to the replay server: " + g_last_error).c_str());
    return;
  }
  // The server reads and frames its reply at the first replay: not timed.
  std::size_t warm = 0;
  if (fetch_rows(conn, warm) != nrows || warm != rp->check) {
    state.SkipWithError(("replayed fetch failed: " + g_last_error).c_str());
    return;
  }
  bench::Pair pair(kGoal);
  try {
    for (auto _ : state) {
      std::size_t check = 0;
      long got = 0;
      state.SetIterationTime(pair.ours([&] { got = fetch_rows(conn, check); }));
      if (got != nrows || check != rp->check) {
        state.SkipWithError(("replayed fetch failed: " + g_last_error).c_str());
        break;
      }
      Loopback raw(rp->packets);
      pair.base([&] { raw.read_all(); });
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  dbclose(conn);
  dbexit();
  pair.report(state);
  state.counters["rows"] = static_cast<double>(nrows);
  state.counters["reply_bytes"] = static_cast<double>(rp->packets.size());
}

BENCHMARK(BM_FetchToolRowsVsRawLoopback)
    ->Arg(100000)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
