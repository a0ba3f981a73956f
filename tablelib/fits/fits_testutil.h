// Helpers of the FITS back end's tests: scratch files and the tool's output
// table written through the host binding.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "halvo/c_tables.h"

namespace fitstest {

// A scratch file name in the temporary directory, removed at destruction.
struct TempFile {
  std::string path;
  explicit TempFile(const std::string& tag, const std::string& ext = ".fits") {
    static int seq = 0;
    path = "/tmp/tbfits_" + std::to_string(getpid()) + "_" + std::to_string(++seq) + "_" +
           tag + ext;
    std::remove(path.c_str());
  }
  ~TempFile() { std::remove(path.c_str()); }
};

// The whole content of the file at `path` (empty when it cannot be read).
inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The tool's output table: four text columns and five header keywords.
struct ToolTable {
  std::vector<std::pair<std::string, int>> columns{
      {"TIME", 26}, {"COMPNAME", 18}, {"FILENAME", 50}, {"COMMENT", 68}};
  std::vector<std::pair<std::string, std::string>> keywords{
      {"INSTRUME", "ZOR"},
      {"DBTABLE", "CRCOMPLIST"},
      {"DESCRIP", "The lookup table for the ZOR component throughputs"},
      {"HISTORY", "Created on Thu Dec 10 13:00:00 2026"},
      {"USEAFTER", "Apr 1 2000 12:00:00 pm"}};
  std::vector<std::vector<std::string>> rows;
};

// Writes the table as the tool does: create, cells, then (for a FITS name)
// the keywords into the primary header.  Returns the first error message,
// or "" when every call succeeded.
inline std::string write_tool_table(const ToolTable& t, const std::string& name, bool fits) {
  std::string err;
  auto check = [&](const char* what) {
    if (c_voserr() != 0 && err.empty()) err = std::string(what) + ": " + c_voserrmsg();
  };
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  check("tbtopn");
  c_tbpset(tp, 6, static_cast<int>(t.keywords.size()) + 5);
  check("tbpset");
  std::vector<ColumnPtr> cols(t.columns.size());
  for (std::size_t c = 0; c < t.columns.size(); ++c) {
    c_tbcdef1(tp, &cols[c], t.columns[c].first.c_str(), "", "", -t.columns[c].second, 1);
    check("tbcdef1");
  }
  c_tbtcre(tp);
  check("tbtcre");
  for (std::size_t r = 0; r < t.rows.size(); ++r)
    for (std::size_t c = 0; c < cols.size(); ++c) {
      c_tbeptt(tp, cols[c], static_cast<int>(r + 1), t.rows[r][c].c_str());
      check("tbeptt");
    }
  if (fits) {
    c_tbtclo(tp);
    check("tbtclo");
    tp = c_tbtopn((name + "[0]").c_str(), TBL_READ_WRITE, nullptr);
    check("tbtopn[0]");
  }
  for (const auto& kv : t.keywords) {
    c_tbhadt(tp, kv.first.c_str(), kv.second.c_str());
    check("tbhadt");
  }
  c_tbtclo(tp);
  check("tbtclo");
  return err;
}

// Runs a shell command and returns its standard output.
inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace fitstest
