// Internal: the descriptor table shared by the file-layer sources.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fio_host.h"
#include "lock.h"

namespace vos::fio {

enum class Kind { Host, Stream, String, Null };

struct File {
  Kind kind = Kind::Host;
  std::string name;         // name as opened (VOS name)
  std::string path;         // host path (Host files)
  int mode = 0;
  int type = 0;
  HostFile host;            // Host files
  std::FILE* fp = nullptr;  // Stream files
  std::string text;         // String files: contents
  std::size_t pos = 0;      // String files: read/write position
  std::vector<int> pushback;  // characters pushed back by ungetc
  std::map<int, long> params; // fseti values
  std::string failure;        // the error that failed the file for good ("" while none)
  std::unique_ptr<lock::Reader> reader;  // a read-only host file's place among the file's readers
};

// The descriptor table (standard streams at 1..LAST_STREAM).
std::vector<std::unique_ptr<File>>& table();
// Gives the standard streams that have no entry their original files.
void restore_streams();

// Takes the open file `fd` out of the descriptor table, to be closed by the
// caller; a standard stream stays (it is flushed) and gives nullptr.
std::unique_ptr<File> take(int fd);

// Raises SYS_FMODE "Illegal file type (name)" unless `type` is TEXT_FILE or
// BINARY_FILE.
void check_type(std::string_view name, int type);

// A new host-file entry (not yet attached to a descriptor).
std::unique_ptr<File> host_entry(std::string_view name, const std::string& path, int mode,
                                 int type);

// Makes the read-only open of `name` on the host descriptor `hfd` (at
// host path `path`, a symbolic link when `through_link`, stat `st`) one
// of the file's readers: takes SHARED,
// waiting up to lock::kReaderWait for a writer, and rolls back first what
// a writer that is gone left unfinished.  nullptr for a file that is not
// a regular file, or on a file system without locks.  Raises SYS_FLOCKED
// "File is being changed by another program (name) (waited N s)" or "File
// is being changed through another handle of this program (name)", and
// SYS_FOPEN when a journal is refused or cannot be rolled back.
std::unique_ptr<lock::Reader> begin_reading(std::string_view name, const std::string& path,
                                            bool through_link, int hfd, const struct stat& st);

// Enters `f` in the descriptor table; returns its descriptor.
int add_file(std::unique_ptr<File> f);

// The open file behind `fd`; raises SYS_FCLOSE "Bad file descriptor (fd)"
// when it is not open.
File& file(int fd);

// Counts one output call against an injected write fault; raises
// SYS_FWRITE when the fault fires, which fails a host file for good as a
// failed write-back does.
void check_write_fault(File& f);

// Raises SYS_FWRITE "Cannot write to file (name): reason" for a write,
// flush or cut of `f` that failed.  Once the file has failed for good (see
// HostFile::failed) the first such error is its failure, and every later
// write, flush, cut and close of it raises that same error.
[[noreturn]] void raise_write_failure(File& f);

// Raises the failure of `f` when it has failed for good; does nothing
// otherwise.
void check_failed(File& f);

// The failure of `f` ("" while it has not failed for good).
const std::string& failure_of(File& f);

// Writes raw bytes to a file of any kind; raises SYS_FWRITE on failure.
void put_bytes(File& f, const char* data, std::size_t n);

// Writes out what a standard stream holds (its errors are not reported).
void flush_stream(File& f);

// Arms the injected write fault (negative cancels).
void set_write_fault(long n);

// Reads one byte (0..255); -1 at end of file, -2 when reading failed.
int get_byte(File& f);

// Reads up to n bytes (pushed-back characters first); the count, 0 at end
// of file.  Raises SYS_FREAD when reading fails.
std::size_t get_bytes(File& f, char* out, std::size_t n);

}  // namespace vos::fio
