// File input and output.
//
// A file is named by a small integer descriptor.  The standard streams have
// fixed descriptors (CLIN 1, CLOUT 2, STDIN 3, STDOUT 4, STDERR 5); opening
// the names "STDIN", "STDOUT" or "STDERR" gives the stream's descriptor, and
// closing a stream only flushes it.
//
// Units: a binary file (BINARY_FILE) is addressed in 2-byte characters
// counted from 1 (offset 1 is the first byte of the file, offset 2 the third);
// `read`, `write`, `seek` and `note` all count in those units.  A text file
// (TEXT_FILE) is read and written as lines of 8-bit characters; its `read` and
// `write` count single bytes.
//
// Every failure raises vos::Error with a SYS_F* code (error.h) and a message
// naming the file, e.g. "Cannot open file (cat.tab)".
//
// Logical directories: a name of the form "ldir$rest" is translated when
// `ldir` is defined in the VOS environment (env.h) or is "tmp" (the temporary
// directory: $TMPDIR, else /tmp/).  Other names are used as given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vos {

// Stream descriptors.
enum : int { CLIN = 1, CLOUT = 2, STDIN = 3, STDOUT = 4, STDERR = 5,
             STDGRAPH = 6, STDIMAGE = 7, STDPLOT = 8, PSIOCTRL = 9 };
inline constexpr int LAST_STREAM = 9;

// Access modes.
enum : int { READ_ONLY = 1, READ_WRITE = 2, WRITE_ONLY = 3, APPEND = 4,
             NEW_FILE = 5, TEMP_FILE = 6, NEW_COPY = 7 };
// File types.
enum : int { TEXT_FILE = 11, BINARY_FILE = 12 };

// End of file, as returned by read/getline/getc; also a `seek` target.
inline constexpr long EOF_ = -2;
// Beginning of file, as a `seek` target.
inline constexpr long BOF = -3;

// File parameters for fseti/fstati.
enum : int {
  F_ADVICE = 1,     // access advice (stored only)
  F_BUFSIZE = 5,    // buffer size in chars (stored only; default 4096)
  F_FILESIZE = 6,   // fstati only: file size in chars (binary: 2-byte units)
  F_FLUSHNL = 8,    // flush on newline (stored only)
  F_CLOSEFD = 23,   // stored only
  F_REDIR = 35,     // stream redirected to nothing (stored only)
  F_MODE = 40,      // fstati only: access mode
  F_TYPE = 41,      // fstati only: file type
};

// Opens `name` with `mode` (READ_ONLY .. NEW_COPY) and `type` (TEXT_FILE or
// BINARY_FILE).  NEW_FILE/TEMP_FILE/NEW_COPY create the file and fail when it
// already exists; WRITE_ONLY creates or truncates; APPEND creates or appends;
// READ_WRITE needs an existing file.  Returns the descriptor.
//
// A regular file opened READ_ONLY is one of the file's readers until it is
// closed: a writer that changes it in place (open_change) waits for its
// readers before its first write into it, and the open waits for a writer
// that is writing it, up to 10 seconds (scaled by the clock seam), and
// then raises SYS_FLOCKED "File is being changed by another program (name)
// (waited 10 s)"; a writer under another handle of this program is not
// waited for: "File is being changed through another handle of this
// program (name)".  A change that a writer killed on the way left
// unfinished is rolled back first (see recover; a journal that cannot be
// rolled back, or something at the journal's name that is not this file's
// journal, raises SYS_FOPEN naming the file and why).  On a file system
// without locks the file is read as it is.
int open(std::string_view name, int mode, int type);

// Closes a descriptor (a standard stream is only flushed).  Raises
// SYS_FCLOSE for a descriptor that is not open.
void close(int fd);

// Reads up to `nchars` units into `buf` from the current position; returns
// the number of units read, or EOF_ when nothing is left.  For a binary file
// a final odd byte counts as one unit (its second byte is zero).
long read(int fd, void* buf, long nchars);

// Writes `nchars` units from `buf` at the current position.
void write(int fd, const void* buf, long nchars);

// Moves to `offset` (1-based units), or to BOF/EOF_.  Seeking past the end
// of a binary file is allowed; a later write fills the gap with zeros.
void seek(int fd, long offset);

// Current position (1-based units).
long note(int fd);

// `seek` to `offset` then `read` or `write`, as one call: the same result
// and errors as the two calls (a seek inside the file's buffer is free).
long read_at(int fd, long offset, void* buf, long nchars);
void write_at(int fd, long offset, const void* buf, long nchars);

// Writes buffered output to the file.
void flush(int fd);

// File parameters.
void fseti(int fd, int param, long value);
long fstati(int fd, int param);

// Name a descriptor was opened with ("" for none).
std::string fname(int fd);

// True when `fd` is an open descriptor.
bool is_open(int fd);

// True when a write to the open file `fd` has failed for good (the write
// that met the failure raised it; every later write, flush, cut and the
// close raise it again, the same error each time: SYS_FWRITE with the
// message write_failure gives).
bool write_failed(int fd);

// The message of the failure of `fd` ("" while it has not failed): "Cannot
// write to file (name)", with the reason (the system's, or what failed in
// the change session, e.g. the journal that could not be written).
std::string write_failure(int fd);

// ---- changes in place, and new files that appear whole ----------------

// Opens the existing file `name` (symbolic links followed) for reading and
// writing, to be changed in place: the change is made in memory first
// (see set_change_cache below), and before a byte the file holds now is
// overwritten or cut off on disk, it is saved in a journal beside the file
// ("<file>-journal"); the descriptor's reads and size are the changed
// file's.  `close` commits the change (writes it, syncs the file, then
// removes the journal), `abandon` or a failed write undoes it, and a
// writer killed on the way leaves the journal for the next open of the
// file to roll back.  The file keeps its inode, links, owner and mode; a
// file not changed is not written at all, nor is a block whose bytes are
// written again unchanged.  One writer at a time: a file already open here
// (in any process, or under another descriptor of this one) is refused
// with SYS_FOPEN "File is being changed by another writer (name)", as is a
// file the caller may not write ("Cannot open file (name)", nothing about
// it changed).  A journal that cannot be rolled back, or something at the
// journal's name that is not this file's journal, raises SYS_FOPEN naming
// the file and why.
//
// Readers are let in until the first write into the file (the first batch
// written back from memory, at the latest at `close`); from then on until
// the change ends, new readers wait (see `open`).  That first write waits
// up to 10 seconds (scaled) for the readers still open, and fails
// ("Cannot write to file (name): it is being read by another program
// (waited 10 s)", or at once "... through another handle of this
// program"); nothing of the file has been written then.
int open_change(std::string_view name, int type);

// Opens a new file that gets its name `name` only when `close` has written
// and synced all of it; until then nobody sees it, and a writer killed on
// the way leaves nothing.  Raises SYS_FACCESS "File already exists (name)"
// when the name is taken now, and at `close` when a file of that name was
// made meanwhile (the new file is then dropped, the other one kept).
int open_staged(std::string_view name, int type);

// Closes a descriptor without keeping its change: a change in place is
// rolled back, a staged file is dropped, another file is closed with what
// it holds.  Raises SYS_FWRITE when a rollback fails (the journal stays for
// the next open); the descriptor is closed either way.
void abandon(int fd);

// Cuts the open file `fd` to `bytes` bytes (a change in place saves what
// it cuts off first).
void truncate_open(int fd, long long bytes);

// A change in place is made in memory first and written to the file in
// batches: the blocks it changes (4 KB each) are kept until they would
// pass this many bytes, then the journal is synced once and they are
// written back, and so at `close`.  A session that changes at most that
// much syncs a few times whatever the number of its changes; a larger one
// once more per batch.  Sets the bound, in bytes, for every change opened
// afterwards (at least one block; 0 or less: the default of 32 MiB), and
// returns the bound it replaces.  Each open change keeps its own cache.
long long set_change_cache(long long bytes);

// Rolls back the change of `name` that a writer killed on the way left
// unfinished, if any (the read-only open and open_change do the same
// themselves).  A change whose writer is still at work is left to it.
// Only the file's own journal is rolled back: a regular file of one name,
// owned by the file's owner or by the super-user, whose header names this
// file; one its writer left before it had synced its header is removed.
// Raises SYS_FOPEN naming the file when a journal is there and cannot be
// rolled back (the file or its directory is not writable), or when
// anything else is at the journal's name (both files are left as they
// are).  A file with no journal costs a `stat` and a look at one extended
// attribute.
void recover(std::string_view name);

// True when the file `name` has a journal beside it (a change at work
// that has begun to save blocks or write the file, or one left unfinished).
bool has_journal(std::string_view name);

// ---- text files ------------------------------------------------------

// Reads the next line (with its newline, if any) into `line`; returns its
// length, or EOF_ at end of file.
long getline(int fd, std::string& line);

// Writes `text` as is (no newline is added).
void putline(int fd, std::string_view text);

// Single characters: the next byte (0..255) or EOF_ (a failed read raises
// SYS_FREAD, as getline does); `ungetc` pushes one back (several may be
// pushed back; they are read in reverse order of pushing; EOF_ is not
// pushed).
int getc(int fd);
void ungetc(int fd, int ch);
void putc(int fd, char ch);

// ---- string files ----------------------------------------------------

// Opens `text` as a file: READ_ONLY reads it as a text file; WRITE_ONLY or
// NEW_FILE collects what is written (see strfile_text).  Close as usual.
int stropen(std::string_view text, int mode);

// What has been written to a writable string file so far.
std::string strfile_text(int fd);

// ---- file names and whole files --------------------------------------

// True when `name` exists and is accessible in `mode` (0: exists, READ_ONLY,
// READ_WRITE, WRITE_ONLY); `type` 0 for any, TEXT_FILE or BINARY_FILE (a file
// of the other type does not count).  Never raises.
bool access(std::string_view name, int mode = 0, int type = 0);

// Reads up to `n` of the first bytes of the file `name` into `buf`, for
// telling what kind of file it is: the count read, or -1 when it is no
// file that can be opened for reading (errno says why; a directory gives
// EISDIR).  It does not join the file's readers: it neither waits for a
// writer nor rolls back a journal a killed writer left, so the bytes may
// be those of a change under way.  What the file holds is read through a
// later open().  Never raises.
long peek(std::string_view name, void* buf, long n);

// Deletes a file.  (`delete` is a C++ keyword, hence the name.)
void delete_file(std::string_view name);

// Renames `from` to `to`, replacing `to` in one step.
void rename(std::string_view from, std::string_view to);

// Cuts the closed file `name` to its first `size` bytes.
void truncate(std::string_view name, long long size);

// Makes a unique name from `root` (root followed by a process-unique tag) that
// names no existing file.  "tmp$..." roots are put in the temporary directory.
std::string mktemp(std::string_view root);

// True when `a` and `b` name one and the same existing file (the same
// inode, through links or not).  Never raises.
bool same_file(std::string_view a, std::string_view b);

// Copies a whole file to a new file `to` (raises when `to` exists).
void fcopy(std::string_view from, std::string_view to);

// Copies from the current position of `in` to the end of file into `out`, at
// its current position.
void fcopyo(int in, int out);

// Host path of a VOS file name (logical directory translated).
std::string osfn(std::string_view name);

// File-name parts: length of the directory prefix (up to and including the
// last '/' or '$'), the root (name without directory and extension), and the
// extension (text after the last '.' of the name without directory; empty
// when none).
std::size_t fnldir(std::string_view name);
std::string fnroot(std::string_view name);
std::string fnextn(std::string_view name);

// Closes every open descriptor except the standard streams (flushing those).
void fioclp();

// Redirects standard stream `stream` (CLIN .. PSIOCTRL) to the file `name`
// opened with `mode` and `type` (NEW_FILE here creates or truncates, as a
// redirected output replaces the file); an earlier redirection of the stream
// is closed first.  Raises the open's error (the stream is then unchanged), or
// SYS_FMODE for a descriptor that is not a standard stream.
void fredir(int stream, std::string_view name, int mode, int type);

// Gives every standard stream back its original file, closing redirections.
void fredir_reset();

}  // namespace vos
