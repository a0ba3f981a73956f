// The VOS environment: own definitions over the process environment.
#include "vos/env.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "vos/error.h"
#include "vos/files.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace vos {
namespace {

std::map<std::string, std::string, std::less<>>& defs() {
  static std::map<std::string, std::string, std::less<>> d;
  return d;
}

bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '.';
}

void skip_white(std::string_view s, std::size_t& ip) {
  while (ip < s.size() && (s[ip] == ' ' || s[ip] == '\t')) ++ip;
}

// One statement (a line without its newline).
void statement(std::string_view line, int depth);

void scan_file(std::string_view name, int depth) {
  if (depth > 8) error(SYS_ERROR, "Bad environment statement (set @" + std::string(name) + ")");
  int fd = open(name, READ_ONLY, TEXT_FILE);
  std::string line;
  try {
    while (getline(fd, line) != EOF_) {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      statement(line, depth + 1);
    }
  } catch (const Error&) {
    close(fd);
    throw;
  }
  close(fd);
}

void statement(std::string_view line, int depth) {
  std::size_t ip = 0;
  skip_white(line, ip);
  if (ip >= line.size() || line[ip] == '#') return;
  auto bad = [&] { error(SYS_ERROR, "Bad environment statement (" + std::string(line) + ")"); };
  std::size_t start = ip;
  while (ip < line.size() && std::isalpha(static_cast<unsigned char>(line[ip]))) ++ip;
  std::string verb = lower(line.substr(start, ip - start));
  if (verb != "set" && verb != "reset") bad();
  skip_white(line, ip);
  if (ip < line.size() && line[ip] == '@') {
    ++ip;
    std::string file;
    if (ctowrd(line, ip, file) == 0) bad();
    scan_file(file, depth);
    return;
  }
  start = ip;
  while (ip < line.size() && is_name_char(line[ip])) ++ip;
  if (ip == start) bad();
  std::string name(line.substr(start, ip - start));
  skip_white(line, ip);
  if (ip >= line.size() || line[ip] != '=') bad();
  ++ip;
  std::string value;
  skip_white(line, ip);
  if (ip < line.size()) ctowrd(line, ip, value, 4095);
  envputs(name, value);
}

}  // namespace

std::optional<std::string> envgets(std::string_view name) {
  auto& d = defs();
  auto it = d.find(name);
  if (it != d.end()) return it->second;
  std::string n(name);
  const char* v = std::getenv(n.c_str());
  if (v) return std::string(v);
  return std::nullopt;
}

bool envgetb(std::string_view name) {
  std::optional<std::string> v = envgets(name);
  if (!v || v->empty()) return false;
  char c = (*v)[0];
  return c == 'y' || c == 'Y' || c == 't' || c == 'T' || c == '1';
}

void envputs(std::string_view name, std::string_view value) {
  defs()[std::string(name)] = std::string(value);
}

void envscan(std::string_view statements) {
  std::size_t start = 0;
  while (start <= statements.size()) {
    std::size_t nl = statements.find('\n', start);
    std::string_view line = statements.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    statement(line, 0);
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
}

void envreset() { defs().clear(); }

}  // namespace vos
