// The server's log of what it received: one line per event,
//
//   <session> <event> <detail>
//
// with events "connect", "packet" (each received packet header), "login"
// (user, password, language, character set, packet size, encrypted flag),
// "loginhex" (the login message in hexadecimal), "batch" (the text of a
// language batch), "rpc", "msg", "attention", "protocol" (a protocol
// error), "script" (a misbehaviour acted out) and "close".  In details a
// backslash, newline, carriage return and tab are written as \\, \n, \r
// and \t, and other control bytes as \xHH.  Lines are flushed at once.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace standin {

class BatchLog {
 public:
  BatchLog() = default;
  ~BatchLog();
  bool open(const std::string& path);
  void write(long session, const std::string& event, const std::string& detail);

 private:
  std::mutex mu_;
  std::FILE* f_ = nullptr;
};

// The escaped form of a detail.
std::string escape_detail(const std::string& s);

}  // namespace standin
