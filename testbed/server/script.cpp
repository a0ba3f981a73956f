#include "script.h"

#include <fstream>
#include <sstream>

namespace standin {
namespace {

// Splits a line into words; a double-quoted run is one word (quotes kept).
std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size()) break;
    std::size_t start = i;
    if (line[i] == '"') {
      std::size_t e = line.find('"', i + 1);
      i = e == std::string::npos ? line.size() : e + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    }
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool to_long(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtol(s.c_str(), &end, 0);
  return *end == '\0';
}

bool to_double(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return *end == '\0' && v >= 0;
}

}  // namespace

std::string default_error_text(std::uint32_t number) {
  switch (number) {
    case 1205:
      return "Your server command was deadlocked with another process and has been chosen as deadlock victim. "
             "Re-run your command.";
    case 922:
      return "Database is being recovered. Waiting until recovery is finished.";
    case 4002:
      return "Login incorrect.";
    default:
      return "Scripted error " + std::to_string(number) + ".";
  }
}

bool Script::parse(const std::string& text, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int lineno = 0;
  std::vector<Rule> rules;
  while (std::getline(in, line)) {
    ++lineno;
    auto w = words_of(line);
    if (w.empty() || w[0][0] == '#') continue;
    Rule r;
    std::size_t k = 0;
    auto bad = [&](const std::string& why) {
      error = "script line " + std::to_string(lineno) + ": " + why;
      return false;
    };
    if (w[0] == "login") {
      r.login = true;
      if (w.size() < 2) return bad("login needs an action");
      if (w[1] == "refuse") {
        r.action = Action::refuse_login;
        k = 2;
      } else if (w[1] == "silent") {
        if (w.size() < 3 || !to_double(w[2], r.seconds)) return bad("login silent needs seconds");
        r.action = Action::silent_login;
        k = 3;
      } else if (w[1] == "packetsize") {
        if (w.size() < 3 || !to_long(w[2], r.value) || r.value < 512 || r.value > 65535)
          return bad("login packetsize needs a size from 512 to 65535");
        r.action = Action::packet_size;
        k = 3;
      } else if (w[1] == "redirect") {
        if (w.size() < 3) return bad("login redirect needs a node");
        r.action = Action::redirect;
        r.text = w[2];
        k = 3;
      } else if (w[1] == "badlength") {
        if (w.size() < 3 || (w[2] != "big" && w[2] != "small")) return bad("badlength needs big or small");
        r.action = w[2] == "big" ? Action::bad_length_big : Action::bad_length_small;
        k = 3;
      } else if (w[1] == "badtoken") {
        r.action = Action::bad_token;
        k = 2;
        long tok = 0;
        if (w.size() > 2 && to_long(w[2], tok)) {
          if (tok < 0 || tok > 255) return bad("token must be a byte");
          r.token = static_cast<std::uint8_t>(tok);
          k = 3;
        }
      } else if (w[1] == "close") {
        r.action = Action::close;
        k = 2;
      } else if (w[1] == "closemid") {
        r.action = Action::close_mid_packet;
        k = 2;
      } else {
        return bad("unknown login action " + w[1]);
      }
    } else if (w[0] == "batch") {
      if (w.size() < 3) return bad("batch needs a pattern and an action");
      if (w[1] == "*") {
        r.pattern.clear();
      } else if (w[1].size() >= 2 && w[1].front() == '"' && w[1].back() == '"') {
        r.pattern = w[1].substr(1, w[1].size() - 2);
      } else {
        return bad("pattern must be * or a text in double quotes");
      }
      const std::string& a = w[2];
      k = 3;
      if (a == "error") {
        long num = 0, sev = 0;
        if (w.size() < 5 || !to_long(w[3], num) || !to_long(w[4], sev) || num < 0 || sev < 0 || sev > 255)
          return bad("error needs a number and a severity");
        r.action = Action::error;
        r.number = static_cast<std::uint32_t>(num);
        r.severity = static_cast<std::uint8_t>(sev);
        r.text = default_error_text(r.number);
        k = 5;
      } else if (a == "badlength") {
        if (w.size() < 4 || (w[3] != "big" && w[3] != "small")) return bad("badlength needs big or small");
        r.action = w[3] == "big" ? Action::bad_length_big : Action::bad_length_small;
        k = 4;
      } else if (a == "badtoken") {
        r.action = Action::bad_token;
        long tok = 0;
        if (w.size() > 3 && to_long(w[3], tok)) {
          if (tok < 0 || tok > 255) return bad("token must be a byte");
          r.token = static_cast<std::uint8_t>(tok);
          k = 4;
        }
        if (w.size() > k && w[k] == "rows") {
          r.after_rows = true;
          ++k;
        }
      } else if (a == "replay" || a == "record") {
        if (w.size() < 4) return bad(a + " needs a file");
        r.action = a == "replay" ? Action::replay : Action::record;
        r.file = w[3];
        k = 4;
      } else if (a == "close") {
        r.action = Action::close;
      } else if (a == "closemid") {
        r.action = Action::close_mid_packet;
      } else if (a == "silent") {
        if (w.size() < 4 || !to_double(w[3], r.seconds)) return bad("silent needs seconds");
        r.action = Action::silent;
        k = 4;
        if (w.size() > k && w[k] == "noattention") {
          r.answer_attention = false;
          ++k;
        }
      } else {
        return bad("unknown batch action " + a);
      }
    } else {
      return bad("unknown directive " + w[0]);
    }
    while (k < w.size()) {
      if (w[k] == "times" && k + 1 < w.size()) {
        long t = 0;
        if (!to_long(w[k + 1], t) || t < 0) return bad("times needs a count");
        r.times = static_cast<int>(t);
        k += 2;
      } else if (w[k] == "afterformat" && r.action == Action::error) {
        r.after_format = true;
        ++k;
      } else if (w[k] == "text" && r.action == Action::error) {
        // The rest of the line, as written, is the message text.
        std::size_t at = line.find(" text ");
        r.text = at == std::string::npos ? std::string() : line.substr(at + 6);
        while (!r.text.empty() && (r.text.back() == '\r' || r.text.back() == ' ')) r.text.pop_back();
        k = w.size();
      } else {
        return bad("unexpected word " + w[k]);
      }
    }
    rules.push_back(r);
  }
  std::lock_guard<std::mutex> lock(mu_);
  rules_ = std::move(rules);
  return true;
}

bool Script::load(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read script " + path;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return parse(ss.str(), error);
}

std::optional<Rule> Script::take_login(Action a) {
  std::lock_guard<std::mutex> lock(mu_);
  for (Rule& r : rules_) {
    if (!r.login || r.action != a) continue;
    if (r.times >= 0 && r.used >= r.times) continue;
    ++r.used;
    return r;
  }
  return std::nullopt;
}

std::optional<Rule> Script::take_login_breach() {
  std::lock_guard<std::mutex> lock(mu_);
  for (Rule& r : rules_) {
    if (!r.login || r.action == Action::packet_size) continue;
    if (r.times >= 0 && r.used >= r.times) continue;
    ++r.used;
    return r;
  }
  return std::nullopt;
}

std::optional<Rule> Script::take_batch(const std::string& batch) {
  std::lock_guard<std::mutex> lock(mu_);
  for (Rule& r : rules_) {
    if (r.login) continue;
    if (!r.pattern.empty() && batch.find(r.pattern) == std::string::npos) continue;
    if (r.times >= 0 && r.used >= r.times) continue;
    ++r.used;
    return r;
  }
  return std::nullopt;
}

}  // namespace standin
