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
