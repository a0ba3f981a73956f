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

// ---- Error numbers, argument records and client messages ----------------------

// Parts of an error number.
inline int com_err_layer(std::int32_t e) { return (e >> 24) & 0xFF; }
inline int com_err_origin(std::int32_t e) { return (e >> 16) & 0xFF; }
inline int com_err_severity(std::int32_t e) { return (e >> 8) & 0xFF; }
inline int com_err_number(std::int32_t e) { return e & 0xFF; }

// Section ids of comnlib.loc.
inline constexpr int COM_ERRSECT_DEFAULTS = 1;
inline constexpr int COM_ERRSECT_LAYER = 2;
inline constexpr int COM_ERRSECT_ORIGIN = 3;
inline constexpr int COM_ERRSECT_APIERROR = 4;

// The arguments of one error report: count kind (1 none, 2 one, 3 two),
// printf-style formats, the reporting routine and the arguments with
// their passing (0 the value itself, 8 its address).
struct comn_errparm {
  std::int32_t kind;
  const char* formats;
  std::int32_t reserved;
  const char* routine;
  std::int32_t pass1;
  const void* arg1;
  std::int32_t pass2;
  const void* arg2;
};

void com_ep_s(comn_errparm* p, const char* routine);
void com_ep_sd(comn_errparm* p, const char* routine, const long* a);
void com_ep_ss(comn_errparm* p, const char* routine, const char* a);
void com_ep_sss(comn_errparm* p, const char* routine, const char* a, const char* b);
void com_ep_sds(comn_errparm* p, const char* routine, const long* a, const char* b);
void com_ep_sdd(comn_errparm* p, const char* routine, const long* a, const long* b);
void com_ep_ssd(comn_errparm* p, const char* routine, const char* a, const long* b);

// The message handed to the context's error routine.
struct comn_climsg {
  std::int32_t severity;
  std::int32_t msgnumber;
  char text[1024];
  std::int32_t textlen;
  std::int32_t oserr;
  char ostext[1024];
  std::int32_t ostextlen;
  std::int32_t status;
  char sqlstate[8];
  std::int32_t sqlstatelen;
};
using COMN_CLIMSG = comn_climsg;

// A section id and its name; a (section id, message number) pair.
struct comn_errsect {
  std::int32_t id;
  const char* name;
};
struct comn_errtext {
  std::int32_t section;
  std::int32_t number;
};

int com_errinit(COMN_CONTEXT* ctx);
int com_errdrop(COMN_CONTEXT* ctx);
int com_err_init(COMN_CONTEXT* ctx, comn_errfile* ef, const comn_errsect* sects, int nsects,
                 const comn_errtext* texts, int ntexts);
int com__err_load_sections(COMN_CONTEXT* ctx, comn_loccache* entry, comn_msgfile* file,
                           INTL_LOCFILE* lf, const comn_errsect* sects, int nsects,
                           const comn_errtext* texts, int ntexts);
int com__err_load_errors(COMN_CONTEXT* ctx, comn_loccache* entry, INTL_LOCFILE* lf,
                         const comn_errtext* texts, int ntexts, comn_msgsection* sect);
int com__update_cache(COMN_CONTEXT* ctx, comn_loccache* entry, comn_msgsection* sect,
                      const char* sqlstate, int number, const char* text);
comn_cachedmsg* com__scan_cache(comn_msgsection* sect, int number);
int com__err_getcache(COMN_CONTEXT* ctx, comn_errfile* ef, int number, int sectid,
                      comn_cachedmsg** result);
int com_err_msg(COMN_CONTEXT* ctx, comn_errfile* ef, const comn_errtext* key, const char** text);
int com_err_sqlstate(COMN_CONTEXT* ctx, comn_errfile* ef, int number, int sectid, char* buf,
                     int buflen, int* lenout);
int com__error(COMN_CONTEXT* ctx, std::int32_t errnum, const comn_errparm* parm);
int com_build_errmsg(COMN_CONTEXT* ctx, comn_errfile* ef, std::int32_t errnum,
                     const comn_errparm* parm, const char* given, int givenlen, int section,
                     char* buf, int buflen, int* lenout);
int com_notrunc_errmsg(COMN_CONTEXT* ctx, comn_errfile* ef, std::int32_t errnum,
                       const comn_errparm* parm, const char* given, int givenlen, int section,
                       int truncate, char* buf, int buflen, int* lenout);
int com__get_errstr(COMN_CONTEXT* ctx, comn_errfile* ef, int sectid, int number, int fallback,
                    const char** text, int* len);
int com__get_failerr(COMN_CONTEXT* ctx, comn_errfile* ef, int fallback, const char** text,
                     int* len);
// Replaces backslash escapes in place; returns the new length.
int com__err_filterescape(char* text);
