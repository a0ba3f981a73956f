// Runs a program as a child of its own and reports the child's peak
// resident size and processor time:
//
//   rss_launch FILE PROGRAM [ARG...]
//
// writes the peak in kB and the user and system seconds (from wait4) to
// FILE, on one line, and exits with the program's
// status (128 + the signal that ended it).  A process's peak counts the
// image it replaced by exec, so a program started straight from a large
// benchmark would report the benchmark's size; started from this small
// image, it reports its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  pid_t pid = ::fork();
  if (pid < 0) return 126;
  if (pid == 0) {
    ::execv(argv[2], argv + 2);
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  if (::wait4(pid, &status, 0, &ru) != pid) return 126;
  std::FILE* f = std::fopen(argv[1], "w");
  if (f == nullptr) return 126;
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  std::fprintf(f, "%ld %.6f %.6f\n", ru.ru_maxrss, seconds(ru.ru_utime), seconds(ru.ru_stime));
  if (std::fclose(f) != 0) return 126;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
