// The replay driver: feeds every file named on the command line (or found
// below a directory named there, in name order; names starting with "."
// are skipped) to the fuzz target's LLVMFuzzerTestOneInput, once each, so
// that the seed corpora and the regression inputs run as ordinary tests
// under the project's own compiler and sanitizers.
//
// The same limits as a fuzzing run hold: no single allocation above 512 MB
// (the allocator's limit under AddressSanitizer) and no input running away
// (a watchdog of kWatchdogSeconds, generous enough for a loaded machine).
// When an input fails, its path is written before the process dies.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=512:allocator_may_return_null=0";
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr unsigned kWatchdogSeconds = 30;

// The path of the input being run, for the death report (written by
// signal handlers, so kept in a fixed buffer).
char g_current[4096];

void say(const char* a, const char* b) {
  ssize_t r = ::write(2, a, std::strlen(a));
  r = ::write(2, b, std::strlen(b));
  r = ::write(2, "\n", 1);
  (void)r;
}

void report_current() {
  static volatile sig_atomic_t said = 0;
  if (said || g_current[0] == '\0') return;
  said = 1;
  say("replay: failing input: ", g_current);
}

void on_abort(int) {
  report_current();
  ::signal(SIGABRT, SIG_DFL);
  ::raise(SIGABRT);
}

void on_alarm(int) {
  say("replay: input ran longer than the watchdog allows: ", g_current);
  g_current[0] = '\0';
  ::signal(SIGABRT, SIG_DFL);
  ::abort();
}

void collect(const std::filesystem::path& p, std::vector<std::filesystem::path>* out) {
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) {
    std::vector<std::filesystem::path> entries;
    for (const auto& e : std::filesystem::directory_iterator(p, ec))
      if (e.path().filename().string().rfind('.', 0) != 0) entries.push_back(e.path());
    std::sort(entries.begin(), entries.end());
    for (const auto& e : entries) collect(e, out);
  } else if (std::filesystem::is_regular_file(p, ec)) {
    out->push_back(p);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE-OR-DIRECTORY...\n", argv[0]);
    return 2;
  }
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!std::filesystem::exists(argv[i], ec)) {
      std::fprintf(stderr, "replay: no such file or directory: %s\n", argv[i]);
      return 2;
    }
    // Absolute, since a target may change the working directory.
    collect(std::filesystem::absolute(argv[i]), &inputs);
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs found\n");
    return 2;
  }
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(report_current);
#endif
  ::signal(SIGABRT, on_abort);
  ::signal(SIGALRM, on_alarm);
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  auto start = std::chrono::steady_clock::now();
  for (const auto& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    std::snprintf(g_current, sizeof g_current, "%s", p.c_str());
    ::alarm(kWatchdogSeconds);
    // A copy of exactly the input's size, so that reading past its end is
    // caught as it would be under libFuzzer.
    std::uint8_t* data = bytes.empty() ? nullptr : new std::uint8_t[bytes.size()];
    if (data) std::memcpy(data, bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(data, bytes.size());
    delete[] data;
    ::alarm(0);
  }
  g_current[0] = '\0';
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count();
  std::printf("replayed %zu inputs in %.0f ms\n", inputs.size(), ms);
  return 0;
}
