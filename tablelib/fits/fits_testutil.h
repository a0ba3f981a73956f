// Helpers of the FITS back end's tests: scratch files and the tool's output
// table written through the host binding.
#pragma once

#include <fitsio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
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

// Writes the table as the tool does: create, cells, then the keywords (a
// FITS file's into its primary header), all in one change; `keep` false
// abandons the table instead of closing it.  Returns the first error
// message, or "" when every call succeeded.
inline std::string write_tool_table(const ToolTable& t, const std::string& name, bool keep = true) {
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
  for (const auto& kv : t.keywords) {
    c_tbhadtp(tp, kv.first.c_str(), kv.second.c_str());
    check("tbhadtp");
  }
  if (keep) c_tbtclo(tp);
  else c_tbtabn(tp);
  check("tbtclo");
  return err;
}

// Writes a new table of an int column Q (7, 8) and a text column T through
// the host binding under `name` (a new file, or an extension of an existing
// one).  Returns the first error message, or "" when every call succeeded.
inline std::string write_new_table(const std::string& name) {
  std::string err;
  auto check = [&](const char* what) {
    if (c_voserr() != 0 && err.empty()) err = std::string(what) + ": " + c_voserrmsg();
  };
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  check("tbtopn");
  ColumnPtr q = nullptr, t = nullptr;
  c_tbcdef1(tp, &q, "Q", "", "", TBL_TY_INT, 1);
  check("tbcdef1");
  c_tbcdef1(tp, &t, "T", "", "", -8, 1);
  check("tbcdef1");
  c_tbtcre(tp);
  check("tbtcre");
  c_tbepti(tp, q, 1, 7);
  check("tbepti");
  c_tbepti(tp, q, 2, 8);
  check("tbepti");
  c_tbeptt(tp, t, 2, "eight");
  check("tbeptt");
  c_tbtclo(tp);
  check("tbtclo");
  return err;
}

// The last error of the host binding as "code: message", or "".
inline std::string last_error() {
  if (c_voserr() == 0) return "";
  return std::to_string(c_voserr()) + ": " + c_voserrmsg();
}

// True when the message names every part.
inline ::testing::AssertionResult names_all(const std::string& message,
                                            const std::vector<std::string>& parts) {
  for (const std::string& p : parts)
    if (message.find(p) == std::string::npos)
      return ::testing::AssertionFailure() << "`" << message << "' does not name " << p;
  return ::testing::AssertionSuccess();
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

// fitsverify's report on the file, and whether it found nothing wrong.
inline std::string verify(const std::string& path) { return run("fitsverify " + path + " 2>&1"); }
inline bool clean(const std::string& report) {
  return report.find("Verification found 0 warning(s) and 0 error(s).") != std::string::npos;
}

// A column of a table CFITSIO makes: its name (nullptr: no TTYPE keyword),
// form and unit.
struct CfitsioColumn {
  const char* ttype;
  const char* tform;
  const char* tunit = "";
};

// Appends a table extension (BINARY_TBL or ASCII_TBL) of the given columns
// and no rows to the file open in CFITSIO.
inline void add_table(fitsfile* f, int type, const std::vector<CfitsioColumn>& cols,
                      const char* extname, int& status) {
  std::vector<char*> tt, tf, tu;
  for (const auto& c : cols) {
    tt.push_back(const_cast<char*>(c.ttype ? c.ttype : "X"));
    tf.push_back(const_cast<char*>(c.tform));
    tu.push_back(const_cast<char*>(c.tunit));
  }
  ffcrtb(f, type, 0, static_cast<int>(cols.size()), tt.data(), tf.data(), tu.data(), extname,
         &status);
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (cols[i].ttype == nullptr) {
      std::string k = "TTYPE" + std::to_string(i + 1);
      ffdkey(f, k.c_str(), &status);
    }
}

// A binary table made by CFITSIO directly: columns N (1J, row + base),
// X (1D, N / 2) and S (24A, "row N"); a narrow one stores X as 1E and has
// no S (8-byte rows).  EXTVER only when > 0.
struct CfitsioTable {
  std::string extname;
  int extver = 0;
  int rows = 0;
  int base = 0;
  bool narrow = false;
};

// Writes a new FITS file of an empty primary array and the tables through
// CFITSIO alone, each column in one call.  Returns CFITSIO's status.
inline int make_cfitsio_file(const std::string& path, const std::vector<CfitsioTable>& tables) {
  std::remove(path.c_str());
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, path.c_str(), &status);
  ffcrim(f, SHORT_IMG, 0, nullptr, &status);
  for (const CfitsioTable& t : tables) {
    if (t.narrow) add_table(f, BINARY_TBL, {{"N", "1J"}, {"X", "1E"}}, t.extname.c_str(), status);
    else add_table(f, BINARY_TBL, {{"N", "1J"}, {"X", "1D"}, {"S", "24A"}}, t.extname.c_str(), status);
    if (t.extver > 0) ffpkyj(f, "EXTVER", t.extver, "extension version", &status);
    if (t.rows == 0) continue;
    std::vector<int> n(static_cast<std::size_t>(t.rows));
    std::vector<double> x(n.size());
    std::vector<std::string> s(n.size());
    std::vector<char*> sp;
    for (int r = 1; r <= t.rows; ++r) {
      n[r - 1] = r + t.base;
      x[r - 1] = n[r - 1] / 2.0;
      s[r - 1] = "row " + std::to_string(n[r - 1]);
    }
    for (std::string& v : s) sp.push_back(v.data());
    ffpclk(f, 1, 1, 1, t.rows, n.data(), &status);
    ffpcld(f, 2, 1, 1, t.rows, x.data(), &status);
    if (!t.narrow) ffpcls(f, 3, 1, 1, t.rows, sp.data(), &status);
  }
  if (f != nullptr) ffclos(f, &status);
  return status;
}

// Where each HDU of a FITS file lies, as CFITSIO finds it: header start,
// data start and data end (the next HDU's start).
struct HduPlace {
  long long head = 0, data = 0, end = 0;
};
inline std::vector<HduPlace> hdu_places(const std::string& path) {
  std::vector<HduPlace> out;
  fitsfile* f = nullptr;
  int status = 0, n = 0, type = 0;
  ffopen(&f, path.c_str(), READONLY, &status);
  ffthdu(f, &n, &status);
  for (int h = 1; h <= n && status == 0; ++h) {
    LONGLONG head = 0, data = 0, end = 0;
    ffmahd(f, h, &type, &status);
    ffghadll(f, &head, &data, &end, &status);
    if (status == 0) out.push_back({head, data, end});
  }
  int closed = 0;
  if (f != nullptr) ffclos(f, &closed);
  if (status != 0) out.clear();
  return out;
}

// The bytes of each HDU of a FITS file (none when CFITSIO cannot read all).
inline std::vector<std::string> hdu_bytes(const std::string& path) {
  const std::string all = slurp(path);
  std::vector<std::string> out;
  for (const HduPlace& p : hdu_places(path)) {
    if (p.end > static_cast<long long>(all.size())) return {};
    out.push_back(all.substr(static_cast<std::size_t>(p.head), static_cast<std::size_t>(p.end - p.head)));
  }
  return out;
}

// Opens the file read-only in CFITSIO, moves to extension `ext` (0 the
// primary HDU) and runs `read(f, status)` there, then closes it.  CFITSIO's
// status (the close's not counted).
template <class F>
int read_hdu(const std::string& path, int ext, F&& read) {
  fitsfile* f = nullptr;
  int status = 0, type = 0;
  ffopen(&f, path.c_str(), READONLY, &status);
  ffmahd(f, ext + 1, &type, &status);
  read(f, status);
  int closed = 0;
  if (f != nullptr) ffclos(f, &closed);
  return status;
}

// Every cell of column `col` of extension `ext` read by CFITSIO into
// `out` as `datatype` (TINT, TLONGLONG, TDOUBLE), nulls read as `nul` (0:
// no null checked for).  CFITSIO's status.
template <class T>
int read_column(const std::string& path, int ext, int col, int datatype, T nul, std::vector<T>& out) {
  return read_hdu(path, ext, [&](fitsfile* f, int& status) {
    long rows = 0;
    ffgnrw(f, &rows, &status);
    out.assign(static_cast<std::size_t>(std::max(rows, 0L)), T{});
    int anynul = 0;  // CFITSIO sets it when it meets a null: never a null pointer here
    if (rows > 0) ffgcv(f, datatype, col, 1, 1, rows, &nul, out.data(), &anynul, &status);
  });
}

// Column N of extension `ext` read by CFITSIO, or CFITSIO's failing status
// as the only element (negated) when it cannot read them all.
inline std::vector<int> column_n(const std::string& path, int ext) {
  std::vector<int> out;
  const int status = read_column(path, ext, 1, TINT, 0, out);
  if (status != 0) return {-status};
  return out;
}

// Column `col` of extension `ext` read by CFITSIO as doubles (nulls NaN);
// empty when CFITSIO cannot read it.
inline std::vector<double> column_doubles(const std::string& path, int ext, int col) {
  std::vector<double> out;
  if (read_column(path, ext, col, TDOUBLE, static_cast<double>(NAN), out) != 0) out.clear();
  return out;
}

// A string keyword of extension `ext` read by CFITSIO ("" when missing).
inline std::string key_of(const std::string& path, int ext, const char* key) {
  char value[FLEN_VALUE] = {0};
  const int status = read_hdu(path, ext, [&](fitsfile* f, int& s) { ffgkys(f, key, value, nullptr, &s); });
  return status == 0 ? value : "";
}

// True when every HDU but the one at `changed` (0 the primary) kept its
// bytes; the bytes of each HDU before and after, as hdu_bytes gives them.
inline ::testing::AssertionResult others_kept(const std::vector<std::string>& before,
                                              const std::vector<std::string>& after,
                                              std::size_t changed) {
  if (after.size() != before.size())
    return ::testing::AssertionFailure() << after.size() << " HDUs, not " << before.size();
  ::testing::AssertionResult kept = ::testing::AssertionSuccess();
  for (std::size_t h = 0; h < after.size(); ++h)
    if (h != changed && after[h] != before[h]) {
      if (kept) kept = ::testing::AssertionFailure();
      kept << "HDU " << h + 1 << " changed; ";
    }
  return kept;
}

// The numbers base + 1 to base + rows.
inline std::vector<int> counted(int rows, int base) {
  std::vector<int> out;
  for (int r = 1; r <= rows; ++r) out.push_back(r + base);
  return out;
}

}  // namespace fitstest
