// Running the tool and reading its output back for the end-to-end tests.
#include "e2e_support.h"

#include <fcntl.h>
#include <fitsio.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string orvo_root() { return ORVO_ROOT_DIR; }

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void exec_quorel(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
  for (const auto& [k, v] : env) {
    if (v.empty()) ::unsetenv(k.c_str());
    else ::setenv(k.c_str(), v.c_str(), 1);
  }
  std::vector<char*> argv;
  std::string exe = QUOREL_EXE;
  argv.push_back(exe.data());
  std::vector<std::string> copy(args);
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execv(exe.c_str(), argv.data());
  ::_exit(127);
}

RunResult run_quorel(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, long file_size_limit) {
  std::string dir = standin::make_temp_dir("quorel-run");
  std::string out = dir + "/out", err = dir + "/err";
  // Under a file-size limit the messages come through a pipe, which the
  // limit does not reach.
  const bool limited = file_size_limit >= 0;
  int pipefd[2] = {-1, -1};
  if (limited && ::pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (limited) {
      ::close(pipefd[0]);
      std::FILE* o = std::freopen("/dev/null", "w", stdout);
      if (!o || ::dup2(pipefd[1], STDERR_FILENO) < 0) ::_exit(126);
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit r{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
      if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(126);
    } else {
      std::FILE* o = std::freopen(out.c_str(), "w", stdout);
      std::FILE* e = std::freopen(err.c_str(), "w", stderr);
      if (!o || !e) ::_exit(126);
    }
    exec_quorel(args, env);
  }
  RunResult r;
  if (limited) {
    ::close(pipefd[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(pipefd[0], buf, sizeof buf)) != 0;) {
      if (n > 0) r.err.append(buf, static_cast<std::size_t>(n));
      else if (errno != EINTR) break;
    }
    ::close(pipefd[0]);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!limited) {
    r.out = slurp(out);
    r.err = slurp(err);
  }
  standin::remove_tree(dir);
  return r;
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = slurp(e.path().string());
  return files;
}

KeptRoot::KeptRoot() {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(orvo_root(), ec)) return;
  copy_ = standin::make_temp_dir("quorel-root") + "/root";
  fs::copy(orvo_root(), copy_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

KeptRoot::~KeptRoot() {
  namespace fs = std::filesystem;
  standin::remove_tree(orvo_root());
  if (copy_.empty()) return;
  std::error_code ec;
  fs::copy(copy_, orvo_root(), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  standin::remove_tree(fs::path(copy_).parent_path().string());
}

Installation::Installation(const std::vector<demo::CatalogueFile>& files,
                           const std::map<std::string, std::vector<std::string>>& tables,
                           const std::string& script) {
  dir_ = standin::make_temp_dir("quorel-e2e");
  const std::string root = orvo_root();
  standin::remove_tree(root);
  demo::make_dirs(root + "tables/thru");
  for (const auto& [name, cols] : tables) demo::write_throughput_fits(root + "tables/thru/" + name, cols);
  demo::write_catalogues(root, {{"*_thr.fits", "zthru$"}, {"*_thr.txt", "zthru$"}},
                         {{"zthru", "tables/thru/"}});
  std::string db = dir_ + "/catalogue.sqlite";
  demo::write_catalogue_db(db, files);
  standin::ServerOptions o;
  o.db_path = db;
  o.script = script;
  server_ = new standin::StandinServer(o);
  home_ = server_->make_home("ORVO_TEST");
}

Installation::~Installation() {
  delete server_;
  standin::remove_tree(dir_);
}

std::map<std::string, std::string> Installation::env() const {
  return {{"MERROW", home_}, {"ORVO_SERVER_2", "ORVO_TEST"}, {"ORVO_DB", "orvo_ops"},
          {"ORVO_USER", ""},  {"DSQUERY", ""},              {"ORVO_DEBUG", ""}};
}

namespace {

demo::CatalogueFile entry(const std::string& name, const std::string& comp) {
  demo::CatalogueFile f;
  f.file_name = name;
  f.useafter = "1998-06-01 13:30:00.000";
  f.availability = "1998-07-01 09:00:00.000";
  f.comment = "throughput of " + comp;
  f.components = {comp};
  return f;
}

}  // namespace

Installation small_installation() {
  return Installation({entry("a_thr.fits", "zor_alpha"), entry("b_thr.fits", "zor_beta")},
                      {{"a_thr.fits", {"WAVELENGTH", "THROUGHPUT"}},
                       {"b_thr.fits", {"WAVELENGTH", "ZOR_BETA"}}});
}

std::map<std::string, std::string> timeless(std::map<std::string, std::string> files) {
  const std::string mark = "Created on ";
  for (auto& [name, bytes] : files)
    for (std::size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 1))
      std::fill_n(bytes.begin() + static_cast<long>(at + mark.size()),
                  std::min<std::size_t>(30, bytes.size() - at - mark.size()), '#');
  return files;
}

void put_back(const std::string& dir, const std::map<std::string, std::string>& files) {
  namespace fs = std::filesystem;
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& [name, bytes] : files) standin::write_text_file(dir + "/" + name, bytes);
}

FitsTable read_fits(const std::string& path) {
  FitsTable t;
  fitsfile* f = nullptr;
  int status = 0;
  if (fits_open_file(&f, path.c_str(), READONLY, &status)) throw std::runtime_error("cannot open " + path);
  fits_get_num_hdus(f, &t.hdus, &status);
  int nkeys = 0;
  fits_get_hdrspace(f, &nkeys, nullptr, &status);
  for (int i = 1; i <= nkeys; ++i) {
    char name[FLEN_KEYWORD], value[FLEN_VALUE], comment[FLEN_COMMENT];
    fits_read_keyn(f, i, name, value, comment, &status);
    t.primary_keys.push_back(name);
    std::string v = value;
    if (v.size() >= 2 && v.front() == '\'') {
      v = v.substr(1, v.rfind('\'') - 1);
      while (!v.empty() && v.back() == ' ') v.pop_back();
    }
    if (std::string(name) == "HISTORY") v = comment;
    t.values[name] = v;
  }
  fits_movabs_hdu(f, 2, nullptr, &status);
  int ncols = 0;
  long nrows = 0;
  fits_get_num_cols(f, &ncols, &status);
  fits_get_num_rows(f, &nrows, &status);
  for (int c = 1; c <= ncols; ++c) {
    char key[FLEN_KEYWORD], name[FLEN_VALUE];
    std::snprintf(key, sizeof key, "TTYPE%d", c);
    fits_read_key(f, TSTRING, key, name, nullptr, &status);
    t.columns.push_back(name);
    int typecode = 0;
    long repeat = 0, width = 0;
    fits_get_coltype(f, c, &typecode, &repeat, &width, &status);
    t.widths.push_back(static_cast<int>(repeat));
  }
  for (long r = 1; r <= nrows; ++r) {
    std::vector<std::string> row;
    for (int c = 1; c <= ncols; ++c) {
      std::vector<char> buf(static_cast<std::size_t>(t.widths[static_cast<std::size_t>(c - 1)]) + 1);
      char* p = buf.data();
      int anynul = 0;
      fits_read_col(f, TSTRING, c, r, 1, 1, nullptr, &p, &anynul, &status);
      std::string cell = p;
      while (!cell.empty() && cell.back() == ' ') cell.pop_back();  // CFITSIO reads "" as " "
      row.push_back(cell);
    }
    t.rows.push_back(row);
  }
  fits_close_file(f, &status);
  if (status) {
    char msg[FLEN_STATUS];
    fits_get_errstatus(status, msg);
    throw std::runtime_error(path + ": " + msg);
  }
  return t;
}

}  // namespace e2e
