#include "standin/standin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace standin {
namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x':
        if (i + 2 < s.size()) {
          out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
          i += 2;
        }
        break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

int free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("cannot make a socket");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = 0;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot pick a free port");
  }
  ::close(fd);
  return ntohs(a.sin_port);
}

std::string fixture_home_dir() { return STANDIN_HOME_DIR; }

std::string server_executable() {
  const char* e = std::getenv("STANDIN_SERVER");
  return e && *e ? e : STANDIN_SERVER_PATH;
}

std::string make_temp_dir(const std::string& prefix) {
  const char* t = std::getenv("TMPDIR");
  std::string templ = std::string(t && *t ? t : "/tmp") + "/" + prefix + "XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("cannot make a temporary directory " + templ);
  return buf.data();
}

void remove_tree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

void write_text_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc | std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string interfaces_entry(const std::string& server_name, int port, int retries, int delay) {
  std::string line = server_name;
  if (retries >= 0) line += " " + std::to_string(retries);
  if (retries >= 0 && delay >= 0) line += " " + std::to_string(delay);
  line += "\n";
  line += "\tmaster tcp ether 127.0.0.1 " + std::to_string(port) + "\n";
  line += "\tquery tcp ether 127.0.0.1 " + std::to_string(port) + "\n";
  return line;
}

std::vector<LogLine> read_log(const std::string& path) {
  std::vector<LogLine> out;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    LogLine l;
    auto a = line.find(' ');
    if (a == std::string::npos) continue;
    auto b = line.find(' ', a + 1);
    l.session = std::strtol(line.substr(0, a).c_str(), nullptr, 10);
    l.event = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    l.detail = b == std::string::npos ? std::string() : unescape(line.substr(b + 1));
    out.push_back(std::move(l));
  }
  return out;
}

StandinServer::StandinServer(const ServerOptions& opts) {
  dir_ = make_temp_dir("standin-");
  std::vector<std::string> args = {server_executable(), "--port",    "0",
                                   "--portfile",        dir_ + "/port", "--pidfile",
                                   dir_ + "/pid",       "--log",     log_path(),
                                   "--dbname",          opts.db_name};
  if (!opts.db_path.empty()) {
    args.push_back("--db");
    args.push_back(opts.db_path);
  }
  for (const auto& u : opts.users) {
    args.push_back("--user");
    args.push_back(u.first + ":" + u.second);
  }
  if (!opts.script.empty()) {
    write_text_file(dir_ + "/script", opts.script);
    args.push_back("--script");
    args.push_back(dir_ + "/script");
  }
  if (!opts.server_name.empty()) {
    args.push_back("--name");
    args.push_back(opts.server_name);
  }
  args.insert(args.end(), opts.extra_args.begin(), opts.extra_args.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t parent = ::getpid();
  const std::string out_path = dir_ + "/server.out";
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot fork the stand-in server");
  if (pid_ == 0) {
    // The server must hear SIGTERM whatever the test blocked, and must not
    // outlive a test process that is killed before it can stop it.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    // Its output goes to a file of its own, so that it never holds the
    // test's output pipes open.
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // Wait for the port file (written once the server listens).
  for (int i = 0; i < 2000; ++i) {
    std::string p = read_file(dir_ + "/port");
    if (!p.empty() && p.back() == '\n') {
      port_ = std::atoi(p.c_str());
      return;
    }
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      remove_tree(dir_);
      throw std::runtime_error("the stand-in server ended at start-up (status " + std::to_string(st) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop();
  remove_tree(dir_);
  throw std::runtime_error("the stand-in server did not start listening");
}

StandinServer::~StandinServer() {
  stop();
  // Whatever the server wrote (a sanitizer report, say) reaches the test's
  // own error stream before its directory goes.
  std::string out = read_file(dir_ + "/server.out");
  if (!out.empty()) std::fprintf(stderr, "stand-in server output:\n%s", out.c_str());
  remove_tree(dir_);
}

int StandinServer::stop() {
  if (pid_ <= 0) return status_;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 1000; ++i) {
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  status_ = -1;
  return status_;
}

std::vector<LogLine> StandinServer::log() const { return read_log(log_path()); }

std::vector<std::string> StandinServer::batches() const {
  std::vector<std::string> out;
  for (auto& l : log())
    if (l.event == "batch") out.push_back(l.detail);
  return out;
}

void StandinServer::write_interfaces(const std::string& path, const std::string& server_name, int retries,
                                     int delay) const {
  write_text_file(path, "# Written by the stand-in server's test support.\n" +
                            interfaces_entry(server_name, port_, retries, delay));
}

std::string StandinServer::make_home(const std::string& server_name, int retries, int delay) const {
  std::string home = dir_ + "/home-" + server_name;
  std::error_code ec;
  fs::create_directories(home, ec);
  fs::copy(fixture_home_dir(), home, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  if (ec) throw std::runtime_error("cannot copy the fixture tree: " + ec.message());
  write_interfaces(home + "/interfaces", server_name, retries, delay);
  return home;
}

}  // namespace standin
