// Scanning a host task's argument list: parameter assignments (name=value,
// name+, name-), parameter files (@file) and redirections of the standard
// streams ([n][b|t]<file, >file, >>file).  Texts are 8-bit strings; indexes
// are 0-based.  Syntax errors raise VOS error 1 "VOS Main: command syntax
// error", a stream that may not be redirected VOS error 2 "VOS Main: illegal
// redirection".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halvo {

// The command-language parameter cache that assignments go into.
void clcint();                                             // empties it
void clcenr(std::string_view name, std::string_view value);  // enters a pair
std::optional<std::string> clcget(std::string_view name);   // looks one up

// Scans an argument list; continuation lines come from `stream`.
void syssct(int stream, std::string_view list);
// Reads parameter assignments from a file, one per line.
void sysges(std::string_view file);
// One assignment at ip; advances ip.
void syspat(std::string_view text, std::size_t& ip);
// One redirection at ip; advances ip; returns the stream number.
int sysret(std::string_view text, std::size_t& ip);
// One string value at ip (at most maxch characters kept); advances ip.
void sysgsg(std::string_view text, std::size_t& ip, std::string& value, std::size_t maxch);
// Reads the next command line from `stream`: the line (cut at its newline),
// the task name, the index of its arguments and the timing flag ("$" before
// the task name).  Returns 0, or -2 at end of file.
int sysged(int stream, std::string& command, std::string& task, std::size_t& argip,
           bool& timing, int proctype);

}  // namespace halvo

using namespace halvo;
