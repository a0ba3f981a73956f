// The stand-in database server: listens on 127.0.0.1 and serves each
// client connection in a thread of its own.  See config.h for the
// command line and README.md for the whole picture.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <list>
#include <memory>
#include <thread>

#include "batchlog.h"
#include "config.h"
#include "script.h"
#include "session.h"

namespace {

int g_stop_pipe[2] = {-1, -1};

void on_signal(int) {
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(g_stop_pipe[1], &c, 1);
}

// Writes a small file in one step, so that a reader never sees half of it.
bool write_file(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

struct Worker {
  int fd = -1;
  std::thread thread;
  std::atomic<bool> done{false};
};

}  // namespace

int main(int argc, char** argv) {
  standin::ServerConfig cfg;
  std::string error;
  if (!standin::parse_command_line(argc, argv, cfg, error)) {
    std::fprintf(stderr, "standin_server: %s\n", error.c_str());
    return 2;
  }
  standin::Script script;
  if (!cfg.script.empty() && !script.load(cfg.script, error)) {
    std::fprintf(stderr, "standin_server: %s\n", error.c_str());
    return 2;
  }
  standin::BatchLog log;
  if (!cfg.logfile.empty() && !log.open(cfg.logfile)) {
    std::fprintf(stderr, "standin_server: cannot open log %s\n", cfg.logfile.c_str());
    return 2;
  }

  int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(cfg.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (lfd < 0 || ::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(lfd, 64) != 0) {
    std::perror("standin_server: listen");
    return 1;
  }
  socklen_t alen = sizeof addr;
  ::getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &alen);
  const int port = ntohs(addr.sin_port);

  if (::pipe2(g_stop_pipe, O_CLOEXEC) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  if (!cfg.pidfile.empty() && !write_file(cfg.pidfile, std::to_string(::getpid()) + "\n")) {
    std::fprintf(stderr, "standin_server: cannot write %s\n", cfg.pidfile.c_str());
    return 1;
  }
  if (!cfg.portfile.empty() && !write_file(cfg.portfile, std::to_string(port) + "\n")) {
    std::fprintf(stderr, "standin_server: cannot write %s\n", cfg.portfile.c_str());
    return 1;
  }
  log.write(0, "listen", std::to_string(port));

  standin::EventHub events;
  standin::Shared shared{&cfg, &log, &script, &events};
  std::list<std::unique_ptr<Worker>> workers;
  long next_id = 1;
  auto reap = [&](bool all) {
    for (auto it = workers.begin(); it != workers.end();) {
      if (all || (*it)->done) {
        (*it)->thread.join();
        ::close((*it)->fd);
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  };

  for (;;) {
    pollfd pfds[2] = {{lfd, POLLIN, 0}, {g_stop_pipe[0], POLLIN, 0}};
    int r = ::poll(pfds, 2, 1000);
    reap(false);
    if (r < 0 && errno != EINTR) break;
    if (pfds[1].revents) break;
    if (r <= 0 || !(pfds[0].revents & POLLIN)) continue;
    int fd = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ::setsockopt(fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
    auto w = std::make_unique<Worker>();
    w->fd = fd;
    Worker* raw = w.get();
    long id = next_id++;
    w->thread = std::thread([raw, id, &shared]() {
      standin::Session s(shared, raw->fd, id);
      s.run();
      ::shutdown(raw->fd, SHUT_RDWR);
      raw->done = true;
    });
    workers.push_back(std::move(w));
  }
  // Stop: wake every session by shutting its socket down, then wait for it.
  ::close(lfd);
  for (auto& w : workers) ::shutdown(w->fd, SHUT_RDWR);
  reap(true);
  log.write(0, "stop", "");
  return 0;
}
