// Recording: every SQL batch a connection sends is copied, with time
// stamps, into a text file of its own named by the recording prefix and the
// connection's slot ("<prefix>.<slot>"), so that the conversation can be
// replayed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "db_trace.h"

namespace {

constexpr int kSlots = 2048;
constexpr std::size_t kPrefixMax = 100;

struct Slot {
  FILE* file;
  const DBPROCESS* owner;
};

std::string g_prefix;
bool g_recording = false;
int g_counter = 0;
Slot g_slots[kSlots];

// The recording file of a connection, or null.  A connection that is not
// recorded never reaches another connection's file through its slot number.
FILE* file_of(DBPROCESS* dbproc) {
  int s = dbproc->recslot;
  if (s < 0 || s >= kSlots || g_slots[s].owner != dbproc) return nullptr;
  return g_slots[s].file;
}

// Opens a recording file for writing: created private to the user, never
// through a symbolic link and never onto anything but a regular file (a
// FIFO or device would block or be clobbered).  An existing file is
// replaced, as each run records afresh.
FILE* open_record_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  FILE* f = ::fdopen(fd, "w");
  if (!f) ::close(fd);
  return f;
}

void stamp(FILE* f, const char* format) {
  char when[32];
  get_timestr(when);
  std::fprintf(f, format, when);
  std::fflush(f);
}

}  // namespace

void dblib::get_timestr(char* buffer) {
  std::time_t now = std::time(nullptr);
  char text[32];
  if (!::ctime_r(&now, text)) text[0] = '\0';
  text[24] = '\0';
  std::memcpy(buffer, text, 25);
}

int dblib::ftos_getfilepointer() {
  for (int i = 0; i < kSlots; ++i)
    if (!g_slots[i].file) return i;
  return -1;
}

// A prefix longer than the recording record holds is refused (recording
// stays off) rather than cut to a name the caller never asked for; a NULL
// or empty prefix switches recording off.
void dbrecftos(const char* prefix) {
  if (!prefix || !*prefix || std::strlen(prefix) > kPrefixMax) {
    g_recording = false;
    g_prefix.clear();
    return;
  }
  g_prefix = prefix;
  g_recording = true;
}

void dblib::ftos_open(DBPROCESS* dbproc) {
  dbproc->recslot = -1;
  if (!g_recording) return;
  int slot = g_counter < kSlots - 1 ? g_counter : ftos_getfilepointer();
  ++g_counter;
  if (slot < 0 || g_slots[slot].file) slot = ftos_getfilepointer();
  if (slot < 0) return;  // every slot is in use: this connection is not recorded
  FILE* f = open_record_file(g_prefix + "." + std::to_string(slot));
  if (!f) return;
  g_slots[slot] = Slot{f, dbproc};
  dbproc->recslot = slot;
  stamp(f, "/* dbopen() at %s */\n");
}

void dblib::ftos_write(DBPROCESS* dbproc, const char* bytes, int count) {
  FILE* f = file_of(dbproc);
  if (!f || count <= 0) return;
  std::fwrite(bytes, 1, static_cast<std::size_t>(count), f);
  std::fflush(f);
}

void dblib::ftos_eom(DBPROCESS* dbproc) {
  FILE* f = file_of(dbproc);
  if (f) stamp(f, "\ngo /* %s */\n");
}

void dblib::ftos_close(DBPROCESS* dbproc) {
  FILE* f = file_of(dbproc);
  if (!f) return;
  stamp(f, "\n/* dbclose() at %s */\n");
  std::fclose(f);
  g_slots[dbproc->recslot] = Slot{nullptr, nullptr};
  dbproc->recslot = -1;
}
