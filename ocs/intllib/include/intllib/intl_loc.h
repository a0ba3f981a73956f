// The localisation-file reader of the DB client: a small buffered file
// layer, the section/entry/value reader of localisation files, the
// "datetime" section reader, the installation home directory and
// environment look-ups.  Failures are negative codes whose texts are given
// by intl_errstr (comnlib/intl_msg.h); readers report through a status
// argument: 0 an item, 1 the end of what was asked for, negative an error.
#pragma once

#include <cstddef>
#include <cstdint>

// One open file of the localisation library.
struct INTL_IOCSFILE {
  int32_t avail;   // bytes available from ptr
  char* ptr;       // read pointer
  char* base;      // buffer start
  int32_t size;    // buffer size (512)
  int32_t flags;   // open flags
  int fd;          // descriptor
};

// One localisation file being read.
struct INTL_LOCFILE {
  int32_t version;       // 420 unless the file format section sets it
  int32_t lineno;        // lines read so far
  int32_t last;          // index of the newline in the current line
  int32_t pos;           // next unread character of the current line
  int32_t values_ended;  // the current entry has no further values
  int32_t at_section;    // on a heading, or end of file met looking for one
  int32_t eof;           // the file is exhausted
  char comment;
  char open_bracket;
  char close_bracket;
  char separator;
  char escape;
  char line[513];
  char section[64];
  char entry[64];
  char value[513];
  INTL_IOCSFILE* file;
  int32_t continued;     // the previous value was cut at 512 bytes in quotes
  char continued_quote;
};

// Names and formats of a language's dates and times.
struct INTL_DATETIME {
  char months[12][21];
  char shortmonths[12][10];
  char days[7][31];       // Monday first
  int32_t firstday;       // 1..7, 1 is Monday
  char dateformat[4];     // "mdy" and so on
  int32_t twelvehour;     // 1: 12-hour clock
};

// Buffered files.
INTL_IOCSFILE* intl_iocsfopen(const char* path, int mode);
std::size_t intl_iocsfread(void* buffer, std::size_t itemsize, std::size_t count,
                           INTL_IOCSFILE* fh);
char* intl_iocsfgets(char* buffer, int size, INTL_IOCSFILE* fh);
long intl_iocsfwrite(const void* buffer, std::size_t itemsize, long count, INTL_IOCSFILE* fh);
int intl_iocsfseek(INTL_IOCSFILE* fh, long offset, int whence);
int intl_iocsfclose(INTL_IOCSFILE* fh);
int intl_filbuf(INTL_IOCSFILE* fh);
int intl_iocsmap(int mode);

// The reader.
int intl_open(const char* path, INTL_LOCFILE* lf);
int intl_fopen(INTL_IOCSFILE* fh, INTL_LOCFILE* lf);
char* intl_nextsection(INTL_LOCFILE* lf, int* status);
char* intl_nextentry(INTL_LOCFILE* lf, int* status);
char* intl_nextvalue(INTL_LOCFILE* lf, int* status);
char* intl_nextline(INTL_LOCFILE* lf, int* status);
int intl__plucksect(INTL_LOCFILE* lf);
int intl__from_version(const char* text);
int intl_close(INTL_LOCFILE* lf);

// The "datetime" section; the reader must be placed in it.
int intl_datetime(INTL_LOCFILE* lf, INTL_DATETIME* dt);
// Writes the English defaults.
void intl_datetime_defaults(INTL_DATETIME* dt);

// Environment and installation home.
int intlgetenv(char* buffer, int size, const char* name);
int intl_home(char* buffer, int size);
int intl_sethome(const char* path);
