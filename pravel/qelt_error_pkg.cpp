// The report routine: four levels, up to two destinations, lines of at most
// 80 characters, the banner, module headings and the kept error lines.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qelt_internal.h"

namespace qelt {
namespace {

constexpr std::size_t kLineWidth = 80;
constexpr std::size_t kMaxLines = 2000;
const char* const kBanner = "---   OpenQELT Rev 1.8 (July 1998)   ---";
const char* const kOverflow =
    "***** Error message buffer overflow. Messages will be truncated *****";

// A buffer of report lines: 2000 lines of text and, once full, the overflow line.
struct LineBuffer {
  std::vector<std::string> lines;
  bool full = false;
};

struct ReportState {
  int level = QELT_ERR;
  std::FILE* dest1 = nullptr;
  std::FILE* dest2 = nullptr;
  bool dest_set = false;
  bool banner_done = false;
  int last_heading = -1;
  bool regress = false;
  bool first_report_done = false;
  int suppress = 0;
  LineBuffer kept;
  std::size_t read_pos = 0;
};

ReportState g_rep;

bool is_break(char c) { return c == ' ' || c == '\t' || c == ','; }

// Adds a text to a line buffer, cut into lines of at most 80 characters,
// breaking after a blank, tab or comma where one is found.
void qelt_insert_msg(LineBuffer& buf, const std::string& text) {
  if (text.empty() || buf.full) return;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (buf.lines.size() >= kMaxLines) {
      buf.lines.emplace_back(kOverflow);
      buf.full = true;
      return;
    }
    std::size_t rest = text.size() - pos;
    std::size_t take;
    if (rest < kLineWidth) {
      take = rest;
    } else if (is_break(text[pos + kLineWidth - 1])) {
      take = kLineWidth;
    } else {
      take = kLineWidth;
      for (std::size_t i = kLineWidth - 1; i-- > 0;) {
        if (is_break(text[pos + i])) {
          take = i + 1;
          break;
        }
      }
    }
    buf.lines.emplace_back(text.substr(pos, take));
    pos += take;
  }
}

void print_line(std::FILE* f, const std::string& line) {
  if (f == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

}  // namespace

// Formats and prints one report (see the header of this file).
void report_text(const char* module, int level, const std::string& text) {
  if (!g_rep.first_report_done) {
    g_rep.first_report_done = true;
    g_rep.regress = std::getenv("QELT_REGRESS") != nullptr;
  }
  if (g_rep.suppress && level == QELT_ERR && g_rep.level == QELT_ERR) return;
  if (!g_rep.dest_set) {
    g_rep.dest_set = true;
    g_rep.dest1 = stderr;
    g_rep.dest2 = nullptr;
  }
  if (level < g_rep.level) return;

  LineBuffer lines;
  if (!g_rep.banner_done) {
    g_rep.banner_done = true;
    lines.lines.emplace_back(kBanner);
  }
  bool dummy = module != nullptr && std::strcmp(module, "dummy") == 0;
  if (level == QELT_ERR && db_current >= 0) {
    if (!dummy && valid_conn(db_current)) {
      std::string name;
      int number = 0;
      qelt_module_name(db_current, name, number);
      if (number != g_rep.last_heading) {
        g_rep.last_heading = number;
        std::string stamp = g_rep.regress ? "<Regress TimeStamp>" : qelt_get_current_time();
        std::string heading = format("-- Module: %s,     Query: %d,  %s", name.c_str(), number,
                                     stamp.c_str());
        qelt_insert_msg(g_rep.kept, heading);
        qelt_insert_msg(lines, heading);
      }
    }
    qelt_insert_msg(g_rep.kept, text);
  }
  qelt_insert_msg(lines, text);
  for (const std::string& line : lines.lines) {
    print_line(g_rep.dest1, line);
    print_line(g_rep.dest2, line);
  }
}

// Reports "%d is an invalid process number" for a connection number outside 0 to 10.
void report_invalid_number(int conn) {
  report_text("qelt", QELT_ERR, format("%d is an invalid process number", conn));
}

void reset_report_state_for_tests() { g_rep = ReportState{}; }

}  // namespace qelt

using namespace qelt;

int qelt_report(const char* module, int level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = vformat(fmt, ap);
  va_end(ap);
  report_text(module, level, text);
  return 0;
}

// Stores the report level and reports its name at the information level.
int qelt_set_report_level(int level) {
  g_rep.level = level;
  const char* name = "QELT_UNKNOWN!!";
  switch (level) {
    case QELT_INFO: name = "QELT_INFO"; break;
    case QELT_STAT: name = "QELT_STAT"; break;
    case QELT_WARN: name = "QELT_WARN"; break;
    case QELT_ERR: name = "QELT_ERR"; break;
    default: break;
  }
  report_text("qelt", QELT_INFO, format("report level set to %s", name));
  return 0;
}

// Sets both report destinations (either may be none).
int qelt_set_report_destination(std::FILE* first, std::FILE* second) {
  g_rep.dest_set = true;
  g_rep.dest1 = first;
  g_rep.dest2 = second;
  report_text("qelt", QELT_INFO, "report destinations set");
  return 0;
}

// 0 with the next kept error line, 1 when all were read (which empties them).
int qelt_get_msg(char* line) {
  if (g_rep.read_pos < g_rep.kept.lines.size()) {
    const std::string& l = g_rep.kept.lines[g_rep.read_pos++];
    std::size_t n = l.size() < kLineWidth ? l.size() : kLineWidth;
    std::memcpy(line, l.data(), n);
    line[n] = '\0';
    return 0;
  }
  g_rep.kept = LineBuffer{};
  g_rep.read_pos = 0;
  if (line != nullptr) line[0] = '\0';
  return 1;
}

// 0 or 1 sets the suppress flag; any mode returns the flag.
int qelt_suppress(int mode) {
  if (mode == 0 || mode == 1) g_rep.suppress = mode;
  return g_rep.suppress;
}
