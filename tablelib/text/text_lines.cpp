// Reading the lines of a text table file: line classes, continuation lines,
// trailing comments and quoted values.
#include <string>

#include "text_read.h"
#include "vos/files.h"

namespace tbtext {
namespace {

constexpr const char* kTooLong = "Unknown table type, or line too long for text file.";

// The end of a data line: a newline, or a "#" outside quotes that does not
// follow a backslash.  Inside quotes of one kind only that kind ends the
// string, and a backslash before it keeps it in the string.
std::size_t scan_data(const std::string& s, std::size_t from) {
  char q = 0;
  std::size_t i = from;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\n' || c == '\0') break;
    if (q == 0) {
      if (c == '"' || c == '\'') q = c;
      else if (c == '#' && (i == 0 || s[i - 1] != '\\')) break;
    } else if (c == '\\' && i + 1 < s.size() && s[i + 1] == q) {
      ++i;
    } else if (c == q) {
      q = 0;
    }
  }
  if (q != 0) fail(1, "tbzlin:  newline within string");
  return i;
}

}  // namespace

long tbzlin(int fd, std::string& line, int& lineno, int& cls) {
  cls = kLineComment;
  if (vos::getline(fd, line) == vos::EOF_) {
    line.clear();
    return -2;
  }
  if (line.size() > kLineSize) fail(1, kTooLong);
  ++lineno;
  if (line.size() >= 3 && line[0] == '#' && (line[1] == 'k' || line[1] == 'K') && line[2] == ' ') {
    cls = kLineKeyword;
  } else if (line.size() > 4 && line[0] == '#' && (line[1] == 'c' || line[1] == 'C') &&
             line[2] == ' ') {
    cls = kLineColumn;
  }
  if (cls != kLineComment) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return static_cast<long>(line.size());
  }
  std::size_t first = line.find_first_not_of(" \t");
  if (first != std::string::npos && line[first] != '\n' && line[first] != '#') cls = kLineData;
  // Continuation: a backslash just before the newline joins the next line.
  while (line.size() > 1 && line.back() == '\n' && line[line.size() - 2] == '\\') {
    std::string next;
    if (vos::getline(fd, next) == vos::EOF_) break;
    ++lineno;
    line.resize(line.size() - 2);
    std::size_t join = line.size();
    line += next;
    if (line.size() > kLineSize) fail(1, kTooLong);
    if (cls == kLineComment) {
      std::size_t p = line.find_first_not_of(" \t", join);
      if (p != std::string::npos && line[p] == '#') line[p] = ' ';
    }
  }
  if (cls == kLineComment) return static_cast<long>(line.size());
  line.resize(scan_data(line, first));
  return static_cast<long>(line.size());
}

}  // namespace tbtext
