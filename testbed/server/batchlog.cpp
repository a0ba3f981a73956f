#include "batchlog.h"

namespace standin {

BatchLog::~BatchLog() {
  if (f_) std::fclose(f_);
}

bool BatchLog::open(const std::string& path) {
  f_ = std::fopen(path.c_str(), "a");
  return f_ != nullptr;
}

std::string escape_detail(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          static const char hex[] = "0123456789abcdef";
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

void BatchLog::write(long session, const std::string& event, const std::string& detail) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!f_) return;
  std::fprintf(f_, "%ld %s %s\n", session, event.c_str(), escape_detail(detail).c_str());
  std::fflush(f_);
}

}  // namespace standin
