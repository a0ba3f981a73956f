// Host task argument scanning: assignments, parameter files and stream
// redirections.
#include "halvo/sysscan.h"

#include <cctype>
#include <map>

#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

namespace {

constexpr std::size_t kSzArgs = 3071;
constexpr std::size_t kSzFname = 255;
constexpr std::size_t kSzPname = 255;
constexpr std::size_t kSzPval = 2047;
constexpr long kRedirNull = 35;  // file parameter: stream redirected to nothing

std::map<std::string, std::string, std::less<>>& cache() {
  static std::map<std::string, std::string, std::less<>> c;
  return c;
}

[[noreturn]] void syntax_error() { vos::error(1, "VOS Main: command syntax error"); }

bool at(std::string_view t, std::size_t i, char c) { return i < t.size() && t[i] == c; }
bool is_white(std::string_view t, std::size_t i) { return at(t, i, ' ') || at(t, i, '\t'); }
void skip_white(std::string_view t, std::size_t& ip) {
  while (is_white(t, ip)) ++ip;
}
bool name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

std::string_view cut(std::string_view s, std::size_t n) { return s.substr(0, n); }

}  // namespace

void halvo::clcint() { cache().clear(); }
void halvo::clcenr(std::string_view name, std::string_view value) {
  cache()[std::string(name)] = std::string(value);
}
std::optional<std::string> halvo::clcget(std::string_view name) {
  auto it = cache().find(name);
  if (it == cache().end()) return std::nullopt;
  return it->second;
}

void halvo::sysgsg(std::string_view text, std::size_t& ip, std::string& value, std::size_t maxch) {
  value.clear();
  skip_white(text, ip);
  if (at(text, ip, '"') || at(text, ip, '\'')) {
    const char q = text[ip++];
    while (ip < text.size() && text[ip] != q && text[ip] != '\n') {
      if (text[ip] == '\\' && at(text, ip + 1, q)) ++ip;
      if (value.size() < maxch) value.push_back(text[ip]);
      ++ip;
    }
    if (at(text, ip, q)) ++ip;
    return;
  }
  while (ip < text.size()) {
    char c = text[ip];
    if (c == ' ' || c == '\t' || c == '\n' || c == '<' || c == '>' || c == '\\') break;
    if (value.size() < maxch) value.push_back(c);
    ++ip;
  }
}

void halvo::syspat(std::string_view text, std::size_t& ip) {
  std::string name;
  while (ip < text.size() && name_char(text[ip])) {
    if (name.size() < kSzPname) name.push_back(text[ip]);
    ++ip;
  }
  if (name.empty()) syntax_error();
  skip_white(text, ip);
  std::string value;
  if (at(text, ip, '+')) {
    ++ip;
    value = "yes";
  } else if (at(text, ip, '-')) {
    ++ip;
    value = "no";
  } else if (at(text, ip, '=')) {
    ++ip;
    sysgsg(text, ip, value, kSzPval);
  } else {
    syntax_error();
  }
  clcenr(name, value);
}

int halvo::sysret(std::string_view text, std::size_t& ip) {
  int stream = 0;
  bool explicit_stream = false;
  while (ip < text.size() && std::isdigit(static_cast<unsigned char>(text[ip]))) {
    if (stream < 1000) stream = stream * 10 + (text[ip] - '0');
    explicit_stream = true;
    ++ip;
  }
  skip_white(text, ip);
  int type = 0;
  if (at(text, ip, 'B') || at(text, ip, 'b')) type = vos::BINARY_FILE;
  else if (at(text, ip, 'T') || at(text, ip, 't')) type = vos::TEXT_FILE;
  if (type != 0) ++ip;
  skip_white(text, ip);
  int mode;
  if (at(text, ip, '<')) {
    ++ip;
    mode = vos::READ_ONLY;
    if (!explicit_stream) stream = vos::STDIN;
    else if (stream != vos::CLIN && stream != vos::STDIN) vos::error(2, "VOS Main: illegal redirection");
  } else if (at(text, ip, '>')) {
    ++ip;
    mode = vos::NEW_FILE;
    if (at(text, ip, '>')) {
      ++ip;
      mode = vos::APPEND;
    }
    if (!explicit_stream) stream = vos::STDOUT;
    else if (stream != 2 && (stream < 4 || stream > 8)) vos::error(2, "VOS Main: illegal redirection");
  } else {
    syntax_error();
  }
  if (type == 0) type = stream <= vos::STDERR ? vos::TEXT_FILE : vos::BINARY_FILE;
  skip_white(text, ip);
  if (at(text, ip, '$') || ip >= text.size() || text[ip] == '\n') {
    if (at(text, ip, '$')) ++ip;
    vos::fseti(stream, kRedirNull, 1);
    return stream;
  }
  std::string fname;
  sysgsg(text, ip, fname, kSzFname);
  if (fname.empty()) {
    vos::fseti(stream, kRedirNull, 1);
    return stream;
  }
  vos::fredir(stream, fname, mode, type);
  return stream;
}

void halvo::sysges(std::string_view file) {
  int fd = vos::open(file, vos::READ_ONLY, vos::TEXT_FILE);
  std::string line;
  int lineno = 0;
  try {
    while (vos::getline(fd, line) != vos::EOF_) {
      ++lineno;
      std::size_t ip = 0;
      skip_white(line, ip);
      if (ip >= line.size() || line[ip] == '#' || line[ip] == '\n') continue;
      std::string_view rest = std::string_view(line).substr(ip);
      std::size_t pip = 0;
      if (vos::iferr([&] { syspat(rest, pip); })) {
        vos::xerret();
        std::string shown(rest.substr(0, rest.find('\n')));
        vos::eprintf("Bad param assignment, line %d: `%s'\n", lineno, shown);
      }
    }
  } catch (const vos::Error&) {
    vos::close(fd);
    throw;
  }
  vos::close(fd);
}

void halvo::syssct(int stream, std::string_view list) {
  std::string buf(cut(list, kSzArgs));
  for (int s = 1; s <= vos::LAST_STREAM; ++s) vos::fseti(s, kRedirNull, 0);
  std::size_t ip = 0;
  for (;;) {
    skip_white(buf, ip);
    if (at(buf, ip, '\\') && (ip + 1 >= buf.size() || buf[ip + 1] == '\n')) {
      std::string line;
      if (vos::getline(stream, line) == vos::EOF_) return;
      buf.assign(cut(line, kSzArgs));
      ip = 0;
      continue;
    }
    if (ip >= buf.size() || buf[ip] == '\n') return;
    char c = buf[ip];
    if (c == '@') {
      ++ip;
      std::string file;
      while (ip < buf.size() && buf[ip] != ' ' && buf[ip] != '\t' && buf[ip] != '\n') {
        if (file.size() < kSzFname) file.push_back(buf[ip]);
        ++ip;
      }
      sysges(file);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
      syspat(buf, ip);
    } else {
      sysret(buf, ip);
    }
  }
}

int halvo::sysged(int stream, std::string& command, std::string& task, std::size_t& argip,
                  bool& timing, int proctype) {
  timing = false;
  for (;;) {
    if (proctype == 3 && stream == vos::CLIN) {
      vos::putline(vos::CLOUT, "> ");
      vos::flush(vos::CLOUT);
    }
    std::string line;
    if (vos::getline(stream, line) == vos::EOF_) return static_cast<int>(vos::EOF_);
    if (line.size() > kSzArgs) line.resize(kSzArgs);
    std::size_t ip = 0;
    skip_white(line, ip);
    if (at(line, ip, '$')) {
      timing = true;
      ++ip;
      skip_white(line, ip);
    }
    if (ip >= line.size() || line[ip] == '\n' || line[ip] == '#') continue;
    std::size_t nl = line.find('\n');
    if (nl != std::string::npos) line.resize(nl);
    task.clear();
    if (line[ip] == '!' || line[ip] == '?') {
      task.assign(1, line[ip]);
      argip = ip + 1;
    } else {
      while (ip < line.size() && name_char(line[ip])) {
        if (task.size() < 32) task.push_back(line[ip]);
        ++ip;
      }
      skip_white(line, ip);
      argip = ip;
    }
    command = line;
    return 0;
  }
}
