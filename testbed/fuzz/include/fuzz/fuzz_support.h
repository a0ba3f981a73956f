// Support for the fuzz targets: the failure report of an invariant, a
// private scratch directory for the files a target writes, and small file
// helpers.  A target defines LLVMFuzzerTestOneInput (and, when it needs
// start-up work, LLVMFuzzerInitialize); the same source runs under
// libFuzzer (scripts/fuzz.sh) and under the replay driver (the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// Reports a broken invariant (file, line, the condition and a detail) on
// the standard error stream and aborts, so that either driver records the
// input as a failure.
[[noreturn]] void fail(const char* file, int line, const char* condition,
                       const std::string& detail);

// A directory of this process's own (under /dev/shm when it exists, else
// TMPDIR or /tmp), made at the first call and removed with everything in it
// when the process exits.
const std::string& scratch_dir();

// scratch_dir() + "/" + name.
std::string scratch_path(std::string_view name);

// Writes the bytes to the file (created or truncated); false when it
// cannot.
bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size);
bool write_file(const std::string& path, std::string_view text);

// The whole file, or "" when it cannot be read.
std::string read_file(const std::string& path);

// Writes a line about what an input did to the standard error stream when
// the environment sets QUOREL_FUZZ_VERBOSE (to check that seeds reach what
// they are meant to reach); otherwise nothing.
void trace(const std::string& line);

// Removes every entry of the scratch directory (between inputs).
void clear_scratch();

// Splits the input at the first occurrence of `sep`: the part before goes
// to `head`, the rest to `tail`; without `sep`, head is empty and tail the
// whole input.
void split_input(const std::uint8_t* data, std::size_t size, std::string_view sep,
                 std::string* head, std::string* tail);

}  // namespace fuzz

// Checks an invariant of a fuzz target; `detail` is any expression giving
// a std::string (or text) shown on failure.
#define FUZZ_CHECK(cond, detail)                                   \
  do {                                                             \
    if (!(cond)) ::fuzz::fail(__FILE__, __LINE__, #cond, (detail)); \
  } while (0)
