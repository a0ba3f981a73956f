// VOS errors: a numeric code and a message, raised as a C++ exception and
// caught by the nearest error-catching block (in practice, every host-binding
// entry frame).  This is the failure convention of the whole table library.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vos {

// A raised VOS error.  `code` is the VOS/table-library error code, `message`
// the text exactly as it is to be reported (e.g. "tbcgtd:  invalid data type").
class Error : public std::exception {
 public:
  Error(int code, std::string message) : code_(code), message_(std::move(message)) {}
  int code() const noexcept { return code_; }
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int code_;
  std::string message_;
};

// Raises a VOS error: never returns.
[[noreturn]] void error(int code, std::string_view message);

}  // namespace vos
