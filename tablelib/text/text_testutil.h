// Helpers of the text back end's tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace texttest {

// A scratch file name, removed at destruction.
struct TempFile {
  std::string path;
  explicit TempFile(const std::string& tag) {
    static int seq = 0;
    path = "/tmp/tbtext_" + std::to_string(getpid()) + "_" + std::to_string(++seq) + "_" + tag +
           ".txt";
    std::remove(path.c_str());
  }
  ~TempFile() { std::remove(path.c_str()); }
};

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Captures what is written to the standard output while `body` runs.
template <class F>
std::string capture_stdout(F&& body) {
  std::fflush(stdout);
  std::string path = "/tmp/tbtext_stdout_" + std::to_string(getpid());
  FILE* tmp = std::fopen(path.c_str(), "w+");
  int saved = dup(1);
  dup2(fileno(tmp), 1);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::fclose(tmp);
  std::string out = read_file(path);
  std::remove(path.c_str());
  return out;
}

}  // namespace texttest
