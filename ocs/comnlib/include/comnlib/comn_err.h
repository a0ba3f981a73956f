// Errors and messages of the common library: the diagnostic printer, the
// message-argument builders, comnlib.loc message files with their cache,
// building and reporting client messages, and the caller's character-set
// converter list.
#pragma once

#include <cstdint>

#include "comnlib/comn_loc.h"

// Writes the text to the standard error stream (flushed), then appends it
// to "merinit.err" in the current directory when that can be opened.
void com_perr(const char* text);
// com_perr of a printf-style text (bounded to 2,048 bytes).
void com_perrf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The caller's conversion routines.  action 33 gets the routine (null
// when none) and the multiplier, 34 sets them (multiplier 1 when none is
// given), 35 removes the record.  1; 0 for a bad action or a name longer
// than 255 bytes; -417 a name without id; -1.
int comn_set_user_charset_convert(COMN_CONTEXT* ctx, int action, const char* src, int srclen,
                                  const char* dst, int dstlen, std::int32_t* mult,
                                  COMN_USERCONVFN* routine);
void comn_drop_user_charconv_list(COMN_CONTEXT* ctx);

// ---- Message files ----------------------------------------------------------

struct comn_msgsection;

// A cached message: its SQL state and text converted from UTF-8.
struct comn_cachedmsg {
  char sqlstate[8];
  std::int32_t number;
  char* text;
  std::int32_t textlen;
  comn_msgsection* section;
  comn_cachedmsg* next;   // in the message descriptor's list
  comn_cachedmsg* snext;  // in the section's list
};

// A loaded section of a message file.
struct comn_msgsection {
  std::int32_t id;
  char* name;
  comn_cachedmsg* msgs;
  comn_msgsection* next;
};

// A loaded message file of a message descriptor.
struct comn_msgfile {
  char* name;
  comn_msgsection* sections;
  comn_msgfile* next;
};

// The context's record of its own error messages.
struct comn_errfile {
  comn_locale* loc;
  char filename[32];
};

// Frees the files, their sections and their cached messages.
void com__errfile_cache_drop(comn_msgfile* files);
// Frees a message descriptor with its files.
void comn__message_drop(comn_msgdesc* desc);
