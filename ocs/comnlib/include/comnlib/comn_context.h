// The common-library context: every common-library routine receives one
// first.  An all-zero context means built-in defaults (no locale, no
// localisation state, no error reporting).  The localisation records it
// points at are declared in comnlib/comn_loc.h.
#pragma once

#include <cstdint>

struct comn_locale;       // six locale cache entries, one per category
struct comn_intlstate;    // localisation state of one context
struct comn_climsg;       // client message handed to the error routine
struct comn_errfile;      // message-file record of the library's own errors
struct comn_userconv;     // caller's character-set converter record

struct comn_context {
  comn_locale* deflocale;        // used when a data format names no locale
  comn_intlstate* intlstate;     // filled once by comn_intl_init
  std::int32_t intl_err;         // localisation code behind the last -301/-414
  comn_userconv* user_convlist;  // caller's conversion routines
  int (*errhandler)(comn_context*, comn_climsg*);  // none: errors not reported
  comn_errfile* errfile;         // comnlib.loc record of this context
};
using COMN_CONTEXT = comn_context;
