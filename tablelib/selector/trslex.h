// Token reader of row-selection expressions, with "@file" inclusion.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "trscode.h"

namespace tbl::trs {

class Lexer {
 public:
  // Reads from fd (not owned); files included later are owned and closed.
  Lexer(Compile& cs, int fd) : cs_(cs), fd_(fd) {}
  ~Lexer();
  Lexer(const Lexer&) = delete;
  Lexer& operator=(const Lexer&) = delete;

  // The next token for the parser (trslex); value is the pool position of
  // a number or string, else 0.  A failure copies its message into the
  // compilation's error text and gives kTokLexError.
  int next(int& value);

  // The characters read last from the current file, oldest first, without
  // the most recent one.
  std::string last_read() const;

 private:
  struct Failure {
    const char* message;
  };
  int trstok(int& value);  // one token of the current file
  int trsneh();            // one character, recorded in the ring
  void unget(int ch);
  void clear_ring();
  void close_current();

  Compile& cs_;
  int fd_;
  std::vector<int> below_;  // descriptors under the included files
  std::array<int, 32> ring_{};
  int ringpos_ = 0;
};

}  // namespace tbl::trs
