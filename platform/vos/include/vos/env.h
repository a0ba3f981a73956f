// The VOS environment: definitions made with `envputs` or read by `envscan`
// come first, then the process environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vos {

// Value of `name`, or nothing when it is not defined.
std::optional<std::string> envgets(std::string_view name);

// True when `name` is defined with a value that reads as yes.
bool envgetb(std::string_view name);

// Defines (or redefines) `name` in the VOS environment.
void envputs(std::string_view name, std::string_view value);

// Executes environment statements: "set name = value" (or "set name=value",
// value optionally quoted), "reset name = value", and "set @file" (every
// statement of the file, one per line; "#" lines and blank lines skipped).
// Statements may be separated by newlines.  A malformed statement raises
// SYS_ERROR "Bad environment statement (%s)"; a file that cannot be read raises
// the file layer's error.
void envscan(std::string_view statements);

// Forgets every VOS definition (tests).
void envreset();

}  // namespace vos
