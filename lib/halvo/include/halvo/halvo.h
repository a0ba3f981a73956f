// The host binding's shared machinery: the error state, the handler stack,
// the numbered string slots, the exception hooks and the binding's error
// action.  Callers of the table library use c_tables.h; this header is for
// the binding's own sources and its tests.  Its names sit in namespace
// halvo, so that none of them clashes with a name of a program that links
// the library; the binding's files use them unqualified.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halvo {

// ---- error state ---------------------------------------------------------
inline constexpr int halvomsglen = 255;       // longest message taken
inline constexpr int max_err_handlers = 32;   // depth of the handler stack
extern int halvo_errcode;                     // last caught error, 0 none
extern char halvo_errmsg[halvomsglen + 1];    // its message, "" none
extern int halvo_vosinit;                     // 1 once c_vosinit has run

// halvo_errcode := 0, halvo_errmsg := "".
void clear_halvoerr();
// Captures the pending VOS error into the error state (code 99 when it is
// 0), clears it in VOS, and calls the top pushed handler, if any.
void set_halvoerr();

// ---- string slots ----------------------------------------------------------
// Slot 0 holds the VOS error message (256 characters); slots 1 to 4 carry
// the string arguments of an entry.  Sizes count 16-bit characters and only
// grow: asked for n characters while n + 1 is not below the size, a slot
// becomes ((n + 1) / 512 + 1) * 512 characters (old contents dropped).
inline constexpr int CH2I_nslots = 5;
void CH2I_chk_buffer(int slot, std::size_t n);
std::size_t CH2I_buffersize(int slot);
char16_t* CH2I_buffer(int slot);

// Widens `str` (bytes taken as signed values) into the slot; returns it.
char16_t* char2vos(const char* str, int slot);
// Narrows the slot's string (low byte of each character) into `out`: at
// most maxch characters, then a NUL.
void vos2char(char* out, std::size_t maxch, int slot);
// Count strings into runs of maxch + 1 characters (string i at
// i * (maxch + 1)), each cut to maxch and ended by 0.
char16_t* twodchar2vos(const char* const* strings, std::size_t maxch, std::size_t count,
                       int slot);
// The reverse: run i narrowed into strings[i] (maxch + 1 bytes each).
void vos2twodchar(char* const* strings, std::size_t maxch, std::size_t count, int slot);

// 8-bit views of slot contents for calling the table routines, and the way
// back: the string at character `offset` of the slot, and storing a string
// there (cut to maxch, ended by 0; the slot must already be large enough).
std::string slot_string(int slot, std::size_t offset = 0);
void slot_put(int slot, std::string_view s, std::size_t offset, std::size_t maxch);

// Scratch kept between calls for the strings an entry hands over in slot
// 1 to 4 without going through its 16-bit buffer (see xtables_frame.h): one
// string, or an array of strings.
std::string& slot_scratch(int slot);
std::vector<std::string>& slot_scratch_array(int slot);

// ---- exception hooks and the binding's error action --------------------------
// Posts halvoxh for the exceptions 501, 503, 502 and 504 and resets the
// interrupt state.
void halvoih();
// The exception handler: reports the exception as a fatal error.
void halvoxh(int exception);
// Error raising and the error action (see halvo_error.cpp).
void halvoer(int code, std::string_view message);
[[noreturn]] void halvofl(int code, std::string_view message);
void halvoxt(int code, std::string_view message, int action);
void ceract(int action);

// Installs the binding's error action into VOS (and the handler for VOS
// errors that no catching block takes).  Done by c_vosinit.
void halvo_install_error_action();

}  // namespace halvo

using namespace halvo;
