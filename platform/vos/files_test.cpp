// File layer: round trips, addressing, whole-file operations and faults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>

#include "scratch_files_test.h"
#include "vos/env.h"
#include "vos/error.h"
#include "vos/fault.h"
#include "vos/files.h"
#include "vos/format.h"

namespace {

using vos_test::slurp;

// The scratch fixture with no injected faults left over.
class VosFiles : public vos_test::ScratchFiles {
 protected:
  void SetUp() override {
    ScratchFiles::SetUp();
    vos::fault::clear();
  }
  void TearDown() override {
    vos::fault::clear();
    ScratchFiles::TearDown();
  }
};

// `call` (`what`) raises the file layer's error `code` with `message`.
void expect_raises(const std::string& what, const std::function<void()>& call, int code,
                   const std::string& message) {
  try {
    call();
    ADD_FAILURE() << what << " raised nothing";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), code) << what;
    EXPECT_EQ(e.message(), message) << what;
  }
}

TEST_F(VosFiles, BinaryAddressingInTwoByteUnits) {
  const std::string p = path("b.dat");
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  vos::write(fd, "ABCDEFGH", 4);
  vos::seek(fd, 2);  // second unit = third byte
  vos::write(fd, "xy", 1);
  EXPECT_EQ(vos::note(fd), 3);
  vos::seek(fd, 7);  // past the end: the gap reads back as zeros
  vos::write(fd, "zz", 1);
  EXPECT_EQ(vos::fstati(fd, vos::F_FILESIZE), 7);
  vos::close(fd);
  EXPECT_EQ(slurp(p), std::string("ABxyEFGH\0\0\0\0zz", 14));

  fd = vos::open(p, vos::READ_WRITE, vos::BINARY_FILE);
  char buf[32] = {};
  vos::seek(fd, 3);
  EXPECT_EQ(vos::read(fd, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 4), "EFGH");
  EXPECT_EQ(vos::read(fd, buf, 0), 0);  // nothing asked: nothing read, not the end
  vos::seek(fd, 7);
  EXPECT_EQ(vos::read(fd, buf, 10), 1);  // short read at the end
  EXPECT_EQ(vos::read(fd, buf, 1), vos::EOF_);
  vos::seek(fd, vos::BOF);
  vos::write(fd, "..", 1);  // read then write on one descriptor
  vos::seek(fd, vos::EOF_);
  EXPECT_EQ(vos::note(fd), 8);
  vos::close(fd);
  EXPECT_EQ(slurp(p).substr(0, 4), "..xy");

  // An odd byte at the end is half a unit: counted as one, read with a zero.
  std::ofstream(path("odd.dat")) << "abc";
  fd = vos::open(path("odd.dat"), vos::READ_ONLY, vos::BINARY_FILE);
  EXPECT_EQ(vos::fstati(fd, vos::F_FILESIZE), 2);
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(vos::read(fd, buf, 4), 2);
  EXPECT_EQ(std::string(buf, 5), std::string("abc\0z", 5));
  vos::close(fd);
}

// read_at and write_at are a seek and a transfer in one call: the same
// positions, results and errors, and a later plain transfer goes on from
// where they stopped.
TEST_F(VosFiles, PositionedTransfers) {
  const std::string p = path("p.dat");
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  vos::write_at(fd, 3, "CDEF", 2);
  vos::write_at(fd, 1, "AB", 1);
  vos::write(fd, "cd", 1);  // on from the positioned write
  char buf[16] = {};
  EXPECT_EQ(vos::read_at(fd, 2, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 4), "cdCD");
  EXPECT_EQ(vos::note(fd), 4);
  EXPECT_EQ(vos::read_at(fd, 4, buf, 3), 1);  // short at the end
  EXPECT_EQ(vos::read_at(fd, 9, buf, 1), vos::EOF_);
  EXPECT_EQ(code_of([&] { vos::read_at(fd, 0, buf, 1); }), vos::SYS_FSEEK);
  EXPECT_EQ(code_of([&] { vos::write_at(fd, -5, buf, 1); }), vos::SYS_FSEEK);
  EXPECT_EQ(code_of([&] { vos::read_at(fd + 100, 1, buf, 1); }), vos::SYS_FCLOSE);
  vos::close(fd);
  EXPECT_EQ(slurp(p), "ABcdCDEF");

  fd = vos::open(p, vos::READ_ONLY, vos::BINARY_FILE);
  EXPECT_EQ(vos::read_at(fd, 1, buf, 4), 4);  // the window now holds the file
  vos::ungetc(fd, '!');
  EXPECT_EQ(vos::read_at(fd, 2, buf, 1), 1);  // a positioned read drops what was pushed back
  EXPECT_EQ(std::string(buf, 2), "cd");
  EXPECT_EQ(vos::getc(fd), 'C');
  vos::close(fd);

  for (int type : {vos::TEXT_FILE, vos::BINARY_FILE}) {  // text files count bytes
    fd = vos::open(p, vos::WRITE_ONLY, type);
    vos::write_at(fd, 2, "xyzw", type == vos::TEXT_FILE ? 3 : 2);
    EXPECT_EQ(code_of([&] { vos::read_at(fd, 2, buf, 1); }), vos::SYS_FREAD) << type;
    vos::close(fd);
  }
  EXPECT_EQ(slurp(p), std::string("\0\0xyzw", 6));
}

TEST_F(VosFiles, OpenModes) {
  const std::string p = path("m.txt");
  int fd = vos::open(p, vos::NEW_FILE, vos::TEXT_FILE);
  vos::close(fd);
  EXPECT_EQ(code_of([&] { vos::open(p, vos::NEW_FILE, vos::TEXT_FILE); }), vos::SYS_FACCESS);
  EXPECT_EQ(code_of([&] { vos::open(path("none"), vos::READ_ONLY, vos::TEXT_FILE); }), vos::SYS_FOPEN);
  EXPECT_EQ(code_of([&] { vos::open(path("none"), vos::READ_WRITE, vos::BINARY_FILE); }), vos::SYS_FOPEN);
  EXPECT_EQ(code_of([&] { vos::open(dir_, vos::READ_ONLY, vos::TEXT_FILE); }), vos::SYS_FOPEN);
  EXPECT_EQ(code_of([&] { vos::open(p, 99, vos::TEXT_FILE); }), vos::SYS_FMODE);
  fd = vos::open(p, vos::APPEND, vos::TEXT_FILE);
  vos::putline(fd, "one\n");
  vos::close(fd);
  fd = vos::open(p, vos::APPEND, vos::TEXT_FILE);
  vos::fprintf(fd, "%s %d\n", "two", 2);
  EXPECT_EQ(code_of([&] { char b[4]; vos::read(fd, b, 1); }), vos::SYS_FREAD);
  vos::close(fd);
  EXPECT_EQ(slurp(p), "one\ntwo 2\n");
  fd = vos::open(p, vos::READ_ONLY, vos::TEXT_FILE);
  EXPECT_EQ(code_of([&] { vos::putline(fd, "x"); }), vos::SYS_FWRITE);
  vos::close(fd);
  EXPECT_EQ(code_of([&] { vos::close(fd); }), vos::SYS_FCLOSE);
  fd = vos::open(p, vos::WRITE_ONLY, vos::TEXT_FILE);  // truncates
  vos::close(fd);
  EXPECT_EQ(slurp(p), "");
}

// A file that cannot be read (the process's own memory at address 0, which
// is never mapped): every reader raises the error, none takes it for the
// end of the file.
TEST_F(VosFiles, ReadFailuresAreErrorsNotTheEnd) {
  const std::string name = "/proc/self/mem";
  std::string line;
  char buf[4];
  struct {
    const char* what;
    std::function<void(int)> read;
  } reads[] = {
      {"getline", [&](int fd) { vos::getline(fd, line); }},
      {"getc", [&](int fd) { vos::getc(fd); }},
      {"read", [&](int fd) { vos::read(fd, buf, 4); }},
  };
  for (const auto& r : reads) {
    int fd = vos::open(name, vos::READ_ONLY, vos::TEXT_FILE);
    expect_raises(r.what, [&] { r.read(fd); }, vos::SYS_FREAD, "Cannot read file (" + name + ")");
    vos::close(fd);
  }
}

// A pipe cannot be positioned: every seek is refused (a read at a position
// too), and what comes through it is read in order, nothing lost.
TEST_F(VosFiles, SeeksOnAPipeAreRefused) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "abcdef", 6), 6);
  ::close(ends[1]);
  const std::string name = "/proc/self/fd/" + std::to_string(ends[0]);
  int fd = vos::open(name, vos::READ_ONLY, vos::TEXT_FILE);
  ::close(ends[0]);
  char buf[8] = {};
  EXPECT_EQ(vos::read(fd, buf, 2), 2);
  for (long at : {1L, 3L, vos::BOF, vos::EOF_})
    expect_raises("seek to " + std::to_string(at), [&] { vos::seek(fd, at); }, vos::SYS_FSEEK,
                  "Cannot seek on file (" + name + ")");
  EXPECT_EQ(code_of([&] { vos::read_at(fd, 1, buf, 1); }), vos::SYS_FSEEK);
  EXPECT_EQ(vos::read(fd, buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  vos::close(fd);
}

TEST_F(VosFiles, StandardStreamsByName) {
  EXPECT_EQ(vos::open("STDIN", vos::READ_ONLY, vos::TEXT_FILE), vos::STDIN);
  EXPECT_EQ(vos::open("STDOUT", vos::NEW_FILE, vos::TEXT_FILE), vos::STDOUT);
  int fd = vos::open("STDERR", vos::NEW_FILE, vos::TEXT_FILE);
  ::testing::internal::CaptureStderr();
  vos::putline(fd, "to stderr\n");
  vos::close(fd);  // only flushes
  vos::eprintf("%s\n", "again");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr\nagain\n");
  EXPECT_TRUE(vos::is_open(vos::STDERR));
}

TEST_F(VosFiles, TextLinesCharactersAndStringFiles) {
  const std::string p = path("t.txt");
  std::ofstream(p) << "first line\nsecond\nno newline";
  int fd = vos::open(p, vos::READ_ONLY, vos::TEXT_FILE);
  std::string line;
  EXPECT_EQ(vos::getline(fd, line), 11);
  EXPECT_EQ(line, "first line\n");
  EXPECT_EQ(vos::getc(fd), 's');
  vos::ungetc(fd, 'S');
  EXPECT_EQ(vos::getline(fd, line), 7);
  EXPECT_EQ(line, "Second\n");
  EXPECT_EQ(vos::getline(fd, line), 10);
  EXPECT_EQ(vos::getline(fd, line), vos::EOF_);
  EXPECT_EQ(vos::getc(fd), vos::EOF_);
  vos::close(fd);

  fd = vos::open(p, vos::READ_ONLY, vos::TEXT_FILE);
  vos::ungetc(fd, static_cast<int>(vos::EOF_));  // the end is not a character
  EXPECT_EQ(vos::getc(fd), 'f');
  vos::close(fd);

  fd = vos::stropen("a b\nc", vos::READ_ONLY);
  EXPECT_EQ(vos::getline(fd, line), 4);
  EXPECT_EQ(vos::getc(fd), 'c');
  EXPECT_EQ(vos::getc(fd), vos::EOF_);
  vos::close(fd);
  fd = vos::stropen("", vos::WRITE_ONLY);
  vos::fprintf(fd, "%d-%s", 1, "x");
  vos::putc(fd, '!');
  EXPECT_EQ(vos::strfile_text(fd), "1-x!");
  vos::close(fd);
}

TEST_F(VosFiles, WholeFileOperations) {
  const std::string a = path("a.tab"), b = path("b.tab");
  std::ofstream(a) << std::string("bin\0ary", 7);
  EXPECT_TRUE(vos::access(a));
  EXPECT_TRUE(vos::access(a, vos::READ_WRITE, vos::BINARY_FILE));
  EXPECT_FALSE(vos::access(a, 0, vos::TEXT_FILE));
  EXPECT_FALSE(vos::access(path("missing")));
  EXPECT_FALSE(vos::access(dir_));
  std::ofstream(path("empty"));
  std::ofstream(path("text")) << "plain\n";
  EXPECT_TRUE(vos::access(path("empty"), 0, vos::BINARY_FILE));  // empty: either type
  EXPECT_TRUE(vos::access(path("empty"), 0, vos::TEXT_FILE));
  EXPECT_TRUE(vos::access(path("text"), 0, vos::TEXT_FILE));
  EXPECT_FALSE(vos::access(path("text"), 0, vos::BINARY_FILE));
  vos::fcopy(a, b);
  EXPECT_EQ(slurp(b), std::string("bin\0ary", 7));
  EXPECT_EQ(code_of([&] { vos::fcopy(a, b); }), vos::SYS_FACCESS);
  EXPECT_EQ(slurp(b), std::string("bin\0ary", 7));  // the existing copy is untouched
  vos::delete_file(b);
  EXPECT_FALSE(vos::access(b));
  EXPECT_EQ(code_of([&] { vos::delete_file(b); }), vos::SYS_FDELETE);
  vos::rename(a, b);
  EXPECT_TRUE(vos::access(b));
  EXPECT_FALSE(vos::access(a));
  EXPECT_EQ(code_of([&] { vos::rename(a, b); }), vos::SYS_FRENAME);
  vos::truncate(b, 5);
  EXPECT_EQ(slurp(b), std::string("bin\0a", 5));
  EXPECT_EQ(code_of([&] { vos::truncate(a, 0); }), vos::SYS_FWRITE);  // a is gone

  // fcopyo copies from the current position to the end.
  int in = vos::open(b, vos::READ_ONLY, vos::BINARY_FILE);
  int out = vos::open(a, vos::NEW_FILE, vos::BINARY_FILE);
  vos::seek(in, 2);
  vos::fcopyo(in, out);
  vos::close(in);
  vos::close(out);
  EXPECT_EQ(slurp(a), std::string("n\0a", 3));
}

TEST_F(VosFiles, TemporaryNamesAndLogicalDirectories) {
  std::string t1 = vos::mktemp(path("tbl")), t2 = vos::mktemp(path("tbl"));
  EXPECT_NE(t1, t2);
  EXPECT_EQ(t1.rfind(path("tbl"), 0), 0u);
  EXPECT_FALSE(vos::access(t1));
  std::string tmp = vos::mktemp("tmp$tbl");
  EXPECT_EQ(tmp.find('$'), std::string::npos);
  vos::envputs("mydir", dir_);
  EXPECT_EQ(vos::osfn("mydir$x.tab"), dir_ + "/x.tab");
  EXPECT_EQ(vos::osfn("undefined_ldir$x"), "undefined_ldir$x");
  EXPECT_EQ(vos::osfn("plain/name"), "plain/name");
  int fd = vos::open("mydir$x.tab", vos::NEW_FILE, vos::BINARY_FILE);
  vos::close(fd);
  EXPECT_TRUE(vos::access(path("x.tab")));
  vos::envreset();
}

TEST_F(VosFiles, NameParts) {
  EXPECT_EQ(vos::fnldir("/a/b/cat.fits"), 5u);
  EXPECT_EQ(vos::fnldir("ldir$cat.fits"), 5u);
  EXPECT_EQ(vos::fnldir("cat.fits"), 0u);
  EXPECT_EQ(vos::fnroot("/a/b/cat.v2.fits"), "cat.v2");
  EXPECT_EQ(vos::fnextn("/a/b/cat.v2.fits"), "fits");
  EXPECT_EQ(vos::fnextn("/a.b/cat"), "");
  EXPECT_EQ(vos::fnroot(".hidden"), ".hidden");
  EXPECT_EQ(vos::fnextn(".hidden"), "");
}

TEST_F(VosFiles, InjectedWriteAndRenameFaults) {
  const std::string p = path("f.dat");
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  vos::fault::fail_write_after(1);
  vos::write(fd, "ab", 1);
  EXPECT_EQ(code_of([&] { vos::write(fd, "cd", 1); }), vos::SYS_FWRITE);
  // The failure sticks to the file, as a failed write-back does: its close
  // fails too, and the next file's writes are not touched.
  EXPECT_EQ(code_of([&] { vos::close(fd); }), vos::SYS_FWRITE);
  fd = vos::open(path("h.dat"), vos::NEW_FILE, vos::BINARY_FILE);
  vos::write(fd, "ef", 1);
  vos::close(fd);
  EXPECT_EQ(slurp(path("h.dat")), "ef");
  EXPECT_EQ(slurp(p), "ab");

  vos::fault::fail_next_rename();
  EXPECT_EQ(code_of([&] { vos::rename(p, path("g.dat")); }), vos::SYS_FRENAME);
  EXPECT_TRUE(vos::access(p));
  EXPECT_FALSE(vos::access(path("g.dat")));
  vos::rename(p, path("g.dat"));

  vos::fault::fail_write_after(0);
  vos::fault::clear();
  fd = vos::open(p, vos::NEW_FILE, vos::TEXT_FILE);
  vos::putline(fd, "ok");
  vos::close(fd);
  EXPECT_EQ(slurp(p), "ok");
}

TEST_F(VosFiles, StreamRedirection) {
  const std::string p = path("out.txt");
  vos::fredir(vos::STDOUT, p, vos::NEW_FILE, vos::TEXT_FILE);
  vos::printf("%s\n", "redirected");
  vos::fredir(vos::STDOUT, p, vos::APPEND, vos::TEXT_FILE);  // closes the first
  vos::printf("%d\n", 2);
  EXPECT_EQ(code_of([&] { vos::fredir(vos::STDOUT, path("no/dir"), vos::NEW_FILE, vos::TEXT_FILE); }),
            vos::SYS_FOPEN);
  vos::printf("%d\n", 3);  // still the redirection
  EXPECT_EQ(code_of([&] { vos::fredir(12, p, vos::APPEND, vos::TEXT_FILE); }), vos::SYS_FMODE);
  vos::fredir_reset();
  EXPECT_EQ(slurp(p), "redirected\n2\n3\n");
}

TEST_F(VosFiles, FileParameters) {
  int fd = vos::open(path("p.dat"), vos::NEW_FILE, vos::BINARY_FILE);
  EXPECT_EQ(vos::fstati(fd, vos::F_BUFSIZE), 4096);
  vos::fseti(fd, vos::F_BUFSIZE, 1024);
  EXPECT_EQ(vos::fstati(fd, vos::F_BUFSIZE), 1024);
  EXPECT_EQ(vos::fstati(fd, vos::F_MODE), vos::NEW_FILE);
  EXPECT_EQ(vos::fstati(fd, vos::F_TYPE), vos::BINARY_FILE);
  EXPECT_EQ(vos::fname(fd), path("p.dat"));
  vos::close(fd);
  EXPECT_FALSE(vos::is_open(fd));
}

}  // namespace

namespace {

// Runs `call` on the open file `f`, then closes `f`, also when `call`
// raises.
void closing(int f, const std::function<void(int)>& call) {
  try {
    call(f);
  } catch (...) {
    vos::close(f);
    throw;
  }
  vos::close(f);
}

// Calls the file layer refuses: each raises its code and message and
// leaves no file open.
TEST_F(VosFiles, RefusedCallsRaiseTheirErrors) {
  const std::string p = path("r.dat");
  int fd = vos::open(p, vos::NEW_FILE, vos::BINARY_FILE);
  vos::close(fd);
  struct Case { const char* what; std::function<void()> call; int code; std::string message; } cases[] = {
      {"bad file type", [&] { vos::open(p, vos::READ_ONLY, 17); }, vos::SYS_FMODE,
       "Illegal file type (" + p + ")"},
      {"negative write",
       [&] { closing(vos::open(p, vos::READ_WRITE, vos::BINARY_FILE), [](int f) { vos::write(f, "ab", -1); }); },
       vos::SYS_FWRITE, "Cannot write to file (" + p + ")"},
      {"seek to 0 in a string file",
       [&] { closing(vos::stropen("abc", vos::READ_ONLY), [](int f) { vos::seek(f, 0); }); },
       vos::SYS_FSEEK, "Cannot seek on file ((string file))"},
      {"seek past the largest offset",
       [&] { closing(vos::open(p, vos::READ_ONLY, vos::BINARY_FILE), [](int f) { vos::seek(f, (1L << 52) + 2); }); },
       vos::SYS_FSEEK, "Cannot seek on file (" + p + ")"},
      {"seek on the standard input", [&] { vos::seek(vos::STDIN, 5); }, vos::SYS_FSEEK,
       "Cannot seek on file (STDIN)"},
      {"line read of a file opened write-only",
       [&] {
         closing(vos::open(p, vos::APPEND, vos::TEXT_FILE), [](int f) {
           std::string line;
           vos::getline(f, line);
         });
       },
       vos::SYS_FREAD, "Cannot read file opened write-only (" + p + ")"},
      {"text of a file that is no string file",
       [&] { closing(vos::open(p, vos::READ_ONLY, vos::BINARY_FILE), [](int f) { vos::strfile_text(f); }); },
       vos::SYS_FMODE, "Not a string file (" + p + ")"},
  };
  for (const Case& c : cases) expect_raises(c.what, c.call, c.code, c.message);
}

}  // namespace
