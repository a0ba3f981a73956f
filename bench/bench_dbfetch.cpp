// Fetching 10^5 rows of the tool's result shape through the DB client from a
// replay server, against a plain loopback socket reading the same bytes.
//
// The rows are those of the tool's row query: an availability date (a
// datetime bound as a string), a file name and a component name (varchar,
// bound as strings) and a comment (text, read through dbdata/dbdatlen).
// A SQLite table of the rows is served once by the stand-in server, which
// records its reply; a second server answers the same batch with the
// recorded bytes, so the database engine is out of the measurement.  In the
// same run a plain TCP connection over 127.0.0.1 carries the same number of
// bytes, written in packets of the session's size as the server writes
// them, and read in large blocks.
//
// Counters: ours_s (dbsqlexec to the last dbnextrow), base_s (first write
// to last byte read), ratio (ours / base) and goal (bench/bench_ratio.h),
// rows, reply_bytes (on the wire, packet headers included) and fetch_MBps.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dblib/dblib.h"
#include "standin/standin.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// The packet size the tool's connections use (the client's default).
constexpr std::size_t kPacketSize = 512;
constexpr std::size_t kHeaderSize = 8;

const char kSelect[] =
    "select availability_date, file_name, comment, compname from kelvar_bench";

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

// A SQLite file holding `rows` rows of the tool's result shape, datetimes
// in the stored full form, comments of various lengths.
void write_rows_db(const std::string& path, int rows) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
  check_sqlite(sqlite3_exec(db,
                            "create table kelvar_bench (availability_date datetime null,"
                            " file_name varchar(64) not null, comment text null,"
                            " compname varchar(32) not null); begin;",
                            nullptr, nullptr, nullptr),
               db, "schema");
  sqlite3_stmt* st = nullptr;
  check_sqlite(sqlite3_prepare_v2(db, "insert into kelvar_bench values (?,?,?,?)", -1, &st, nullptr), db,
               "prepare");
  for (int r = 0; r < rows; ++r) {
    char stamp[32], file[32], comp[32];
    std::snprintf(stamp, sizeof stamp, "1998-%02d-%02d %02d:%02d:00.000", 1 + r % 12, 1 + r % 28, r % 24,
                  r % 60);
    std::snprintf(file, sizeof file, "z%06d2_thr.fits", r);
    std::snprintf(comp, sizeof comp, "zor_comp%06d", r);
    std::string comment = "Throughput of  the ZOR_COMP" + std::to_string(r) + "\tafter the\n 1998 recalibration";
    comment.append(static_cast<std::size_t>(r % 40), ' ');
    sqlite3_bind_text(st, 1, stamp, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, file, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, comment.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, comp, -1, SQLITE_TRANSIENT);
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

// Runs the select and fetches every row into bound buffers; the number of
// rows, or -1 on failure.  `check` adds up the lengths fetched, so that a
// replayed fetch can be compared with the recorded one.
long fetch_rows(DBPROCESS* db, std::size_t& check) {
  if (dbcmd(db, kSelect) != SUCCEED || dbsqlexec(db) != SUCCEED) return -1;
  char when[64], file[64], comp[64];
  std::vector<char> comment(16001);
  long rows = 0;
  RETCODE rc;
  while ((rc = dbresults(db)) == SUCCEED) {
    if (dbnumcols(db) != 4) continue;
    if (dbbind(db, 1, STRINGBIND, 63, reinterpret_cast<BYTE*>(when)) != SUCCEED ||
        dbbind(db, 2, STRINGBIND, 63, reinterpret_cast<BYTE*>(file)) != SUCCEED ||
        dbbind(db, 4, STRINGBIND, 63, reinterpret_cast<BYTE*>(comp)) != SUCCEED)
      return -1;
    STATUS s;
    while ((s = dbnextrow(db)) == REG_ROW) {
      DBINT n = dbdatlen(db, 3);
      if (n > 16000) n = 16000;
      if (n > 0) std::memcpy(comment.data(), dbdata(db, 3), static_cast<std::size_t>(n));
      comment[static_cast<std::size_t>(n > 0 ? n : 0)] = '\0';
      check += std::strlen(when) + std::strlen(file) + std::strlen(comp) + static_cast<std::size_t>(n);
      ++rows;
    }
    if (s != NO_MORE_ROWS) return -1;
  }
  return rc == NO_MORE_RESULTS ? rows : -1;
}

// The number of bytes a reply body of `body` bytes takes on the wire.
std::size_t wire_bytes(std::size_t body) {
  const std::size_t per = kPacketSize - kHeaderSize;
  std::size_t packets = body == 0 ? 1 : (body + per - 1) / per;
  return body + packets * kHeaderSize;
}

// Sends `total` bytes over a fresh loopback connection in packet-sized
// writes from a second thread and reads them in large blocks; seconds from
// the first write to the last byte read.
double raw_loopback(std::size_t total) {
  int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t alen = sizeof a;
  if (lfd < 0 || ::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lfd, 1) != 0 ||
      ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &alen) != 0)
    throw std::runtime_error("cannot listen on the loopback");
  int rfd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (rfd < 0 || ::connect(rfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("cannot connect on the loopback");
  int wfd = ::accept(lfd, nullptr, nullptr);
  ::close(lfd);
  if (wfd < 0) throw std::runtime_error("cannot accept on the loopback");

  std::atomic<bool> go{false};
  std::thread writer([&] {
    std::vector<char> packet(kPacketSize, 'x');
    while (!go.load(std::memory_order_acquire)) {
    }
    std::size_t left = total;
    while (left > 0) {
      std::size_t n = std::min(left, packet.size());
      ssize_t w = ::write(wfd, packet.data(), n);
      if (w <= 0) break;
      left -= static_cast<std::size_t>(w);
    }
    ::close(wfd);
  });
  std::vector<char> block(1 << 16);
  std::size_t got = 0;
  auto t0 = Clock::now();
  go.store(true, std::memory_order_release);
  while (got < total) {
    ssize_t r = ::read(rfd, block.data(), block.size());
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  auto t1 = Clock::now();
  writer.join();
  ::close(rfd);
  if (got != total) throw std::runtime_error("loopback read came short");
  return secs(t0, t1);
}

// The replay server and the size of its reply, made once per process.
struct Replay {
  std::string dir;
  std::unique_ptr<standin::StandinServer> server;
  std::string home;
  std::size_t body = 0;
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
  rp->body = std::filesystem::file_size(reply);
  standin::ServerOptions o;
  o.script = "batch \"kelvar_bench\" replay " + reply + "\n";
  rp->server = std::make_unique<standin::StandinServer>(o);
  rp->home = rp->server->make_home("SERVER");
  return rp;
}

void BM_FetchToolRowsVsRawLoopback(benchmark::State& state) {
  const int nrows = static_cast<int>(state.range(0));
  dbinit();
  dbsetversion(DBVERSION_100);
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
  const std::size_t bytes = wire_bytes(rp->body);
  double fetch_total = 0, raw_total = 0;
  for (auto _ : state) {
    std::size_t check = 0;
    auto t0 = Clock::now();
    long got = fetch_rows(conn, check);
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(check);
    if (got != nrows || check != rp->check) {
      state.SkipWithError(("replayed fetch failed: " + g_last_error).c_str());
      break;
    }
    double raw = raw_loopback(bytes);
    fetch_total += secs(t0, t1);
    raw_total += raw;
    state.SetIterationTime(secs(t0, t1));
  }
  dbclose(conn);
  dbexit();
  const double n = static_cast<double>(state.iterations());
  if (n == 0 || raw_total <= 0) return;
  state.counters["ours_s"] = fetch_total / n;
  state.counters["base_s"] = raw_total / n;
  state.counters["ratio"] = fetch_total / raw_total;
  state.counters["goal"] = 5;
  state.counters["rows"] = static_cast<double>(nrows);
  state.counters["reply_bytes"] = static_cast<double>(bytes);
  state.counters["fetch_MBps"] = static_cast<double>(bytes) * n / fetch_total / 1e6;
  state.counters["raw_MBps"] = static_cast<double>(bytes) * n / raw_total / 1e6;
}

BENCHMARK(BM_FetchToolRowsVsRawLoopback)
    ->Arg(100000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
