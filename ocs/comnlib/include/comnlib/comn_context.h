// The common-library context that every conversion kernel and localisation
// routine receives first.  A context whose fields are all zero means: no
// locale, built-in defaults (iso_1 characters, English month names).
//
// Only the fields the conversion kernels need are spelled out here; the
// locale and localisation-state records are owned by the localisation code,
// which completes the forward declarations below.
#pragma once

#include <cstdint>

struct comn_locale;      // one cache entry per locale category
struct comn_intl_state;  // the per-context localisation state
struct comn_context;

using COMN_LOCALE = comn_locale;
using COMN_INTL_STATE = comn_intl_state;

// The caller's error routine: (context, message record).
using ComnErrRoutine = int (*)(comn_context*, void*);

struct comn_context {
  COMN_LOCALE* default_locale;    // used when a data format names no locale
  COMN_INTL_STATE* intl_state;    // filled once by the localisation setup
  std::int32_t last_intl_error;   // cause of the last file read/open failure
  void* user_converters;          // the caller's character-set converters
  ComnErrRoutine error_routine;   // none: errors are not reported
  void* errfile;                  // message-file record of the library's errors
};
using COMN_CONTEXT = comn_context;
