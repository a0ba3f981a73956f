// The fuzz targets' failure report, scratch directory and file helpers.
#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fuzz {

namespace {

std::string& scratch_name() {
  static std::string name;
  return name;
}

void remove_scratch() {
  std::error_code ec;
  if (!scratch_name().empty()) std::filesystem::remove_all(scratch_name(), ec);
}

std::string temp_root() {
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  const char* t = std::getenv("TMPDIR");
  return t != nullptr && t[0] != '\0' ? t : "/tmp";
}

}  // namespace

void fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %s\n", file, line, condition,
               detail.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& scratch_dir() {
  std::string& name = scratch_name();
  if (name.empty()) {
    std::string tmpl = temp_root() + "/quorelfuzzXXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) fail(__FILE__, __LINE__, "mkdtemp", tmpl);
    name = tmpl;
    std::atexit(remove_scratch);
  }
  return name;
}

std::string scratch_path(std::string_view name) {
  return scratch_dir() + "/" + std::string(name);
}

bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

bool write_file(const std::string& path, std::string_view text) {
  return write_file(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void trace(const std::string& line) {
  static const bool on = std::getenv("QUOREL_FUZZ_VERBOSE") != nullptr;
  if (on) std::fprintf(stderr, "%s\n", line.c_str());
}

void clear_scratch() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(scratch_dir(), ec))
    std::filesystem::remove_all(e.path(), ec);
}

void split_input(const std::uint8_t* data, std::size_t size, std::string_view sep,
                 std::string* head, std::string* tail) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t at = all.find(sep);
  if (at == std::string_view::npos) {
    head->clear();
    tail->assign(all);
    return;
  }
  head->assign(all.substr(0, at));
  tail->assign(all.substr(at + sep.size()));
}

}  // namespace fuzz
