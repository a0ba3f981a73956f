// Demo and test installations: catalogue database, catalogue files and
// throughput tables.
#include "demo_catalogue.h"

#include <fitsio.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace demo {

namespace {

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void bind_text_or_null(sqlite3_stmt* st, int i, const std::string& v) {
  if (v.empty()) sqlite3_bind_null(st, i);
  else sqlite3_bind_text(st, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

}  // namespace

void make_dirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create directory " + part);
    }
  }
}

void write_catalogue_db(const std::string& path, const std::vector<CatalogueFile>& files) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + path);
  }
  const char* schema =
      "create table kelvar_file (file_name varchar(64) not null,"
      " useafter_date datetime not null, general_availability_date datetime null,"
      " comment text null, reference_file_type varchar(20) not null,"
      " reject_flag char(1) not null);"
      "create table kelvar_row (file_name varchar(64) not null, compname varchar(32) not null);"
      "create index kf_name on kelvar_file(file_name);"
      "create index kr_name on kelvar_row(file_name);"
      "begin;";
  try {
    check(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), db, "schema");
    sqlite3_stmt* f = nullptr;
    sqlite3_stmt* r = nullptr;
    check(sqlite3_prepare_v2(db, "insert into kelvar_file values (?,?,?,?,?,?)", -1, &f, nullptr),
          db, "prepare");
    check(sqlite3_prepare_v2(db, "insert into kelvar_row values (?,?)", -1, &r, nullptr), db,
          "prepare");
    for (const auto& file : files) {
      sqlite3_bind_text(f, 1, file.file_name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(f, 2, file.useafter.c_str(), -1, SQLITE_TRANSIENT);
      bind_text_or_null(f, 3, file.availability);
      bind_text_or_null(f, 4, file.comment);
      sqlite3_bind_text(f, 5, file.type.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(f, 6, file.reject.c_str(), -1, SQLITE_TRANSIENT);
      check(sqlite3_step(f), db, "insert kelvar_file");
      sqlite3_reset(f);
      for (const auto& c : file.components) {
        sqlite3_bind_text(r, 1, file.file_name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(r, 2, c.c_str(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(r), db, "insert kelvar_row");
        sqlite3_reset(r);
      }
    }
    sqlite3_finalize(f);
    sqlite3_finalize(r);
    check(sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr), db, "commit");
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

void write_catalogues(const std::string& root,
                      const std::vector<std::pair<std::string, std::string>>& thrucat,
                      const std::vector<std::pair<std::string, std::string>>& directories) {
  std::string dir = root + "tools/data/";
  make_dirs(dir);
  auto write = [](const std::string& path, const char* head,
                  const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::ofstream out(path);
    out << head;
    for (const auto& [k, v] : pairs) out << k << "\t" << v << "\n";
    if (!out) throw std::runtime_error("cannot write " + path);
  };
  write(dir + "thrucat.dat", "# Throughput tables: file-name pattern, directory\n", thrucat);
  write(dir + "directory.dat", "# Logical directory names\n", directories);
}

void write_throughput_fits(const std::string& path, const std::vector<std::string>& columns,
                           int rows) {
  fitsfile* f = nullptr;
  int status = 0;
  std::string name = "!" + path;  // replace an existing file
  fits_create_file(&f, name.c_str(), &status);
  std::vector<char*> ttype, tform, tunit;
  std::vector<std::string> keep(columns);
  for (auto& c : keep) {
    ttype.push_back(c.data());
    tform.push_back(const_cast<char*>("1D"));
    tunit.push_back(const_cast<char*>(c == "WAVELENGTH" ? "ANGSTROM" : ""));
  }
  fits_create_tbl(f, BINARY_TBL, rows, static_cast<int>(columns.size()), ttype.data(),
                  tform.data(), tunit.data(), "THROUGHPUT", &status);
  std::vector<double> v(static_cast<std::size_t>(rows));
  for (std::size_t c = 0; c < columns.size(); ++c) {
    for (int r = 0; r < rows; ++r)
      v[static_cast<std::size_t>(r)] =
          columns[c] == "WAVELENGTH" ? 1000.0 + 100.0 * r : 0.1 + 0.01 * r + 0.001 * static_cast<double>(c);
    fits_write_col(f, TDOUBLE, static_cast<int>(c) + 1, 1, 1, rows, v.data(), &status);
  }
  fits_close_file(f, &status);
  if (status) {
    char msg[FLEN_STATUS];
    fits_get_errstatus(status, msg);
    throw std::runtime_error("cannot write " + path + ": " + msg);
  }
}

}  // namespace demo

namespace demo {

namespace {

const char* const kNamed[] = {
    "zor_ota",       "zor_m1",        "zor_m2",          "zor_fuv_mama",  "zor_nuv_mama",
    "zor_ccd",       "zor_g140l",     "zor_g140m",       "zor_g230l",     "zor_g230m",
    "zor_g430l",     "zor_g750l",     "zor_e140h",       "zor_e230h",     "zor_prism",
    "zor_f25qtz",    "zor_f25srf2",   "zor_f25mgii",     "zor_f25nd3",    "zor_f25nd5",
    "zor_50ccd",     "zor_cal_lamp",  "zor_dn_wl",       "zor_echelle",   "zor_slit_52x2",
    "zor_slit_6x6",  "zor_ccd_shutter", "zor_nuv_window", "zor_fuv_window", "zor_cover"};

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string stamp(int year, int month, int day, const char* time) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %s", year, month, day, time);
  return buf;
}

}  // namespace

std::vector<CatalogueFile> make_demo(const std::string& root, const std::string& db_path,
                                     int components) {
  std::vector<CatalogueFile> files;
  std::string thrudir = root + "tables/thru/";
  make_dirs(thrudir);
  const int named = static_cast<int>(sizeof kNamed / sizeof kNamed[0]);
  for (int i = 0; i < components; ++i) {
    char cname[32], base[16];
    if (i < named) std::snprintf(cname, sizeof cname, "%s", kNamed[i]);
    else std::snprintf(cname, sizeof cname, "zor_comp%05d", i);
    std::snprintf(base, sizeof base, "z%05d", i);
    const std::string comp = cname;
    const int day = 1 + i % 28;
    // The accepted version in force: the one the tool must pick.
    CatalogueFile current;
    current.file_name = std::string(base) + "2_thr.fits";
    if (i % 3 == 1) current.file_name = upper(current.file_name);  // names come back lower-cased
    current.useafter = stamp(1998, 6, day, "13:30:00.000");
    current.availability = stamp(1998, 7, day, "09:00:00.000");
    current.comment = "Throughput of  the " + upper(comp) + "\tafter the\n 1998 recalibration  ";
    current.components = {comp};
    // An older accepted version, a rejected later one, one in the future and
    // a file of another type.
    CatalogueFile older = current, rejected = current, future = current, other = current;
    older.file_name = std::string(base) + "1_thr.fits";
    older.useafter = stamp(1995, 1, day, "00:00:00.000");
    older.availability = stamp(1995, 2, day, "00:00:00.000");
    older.comment = "pre-launch throughput";
    rejected.file_name = std::string(base) + "3_thr.fits";
    rejected.useafter = stamp(1999, 3, day, "08:00:00.000");
    rejected.reject = "Y";
    rejected.comment = "rejected: wrong wavelength scale";
    future.file_name = std::string(base) + "4_thr.fits";
    future.useafter = stamp(2031, 1, day, "00:00:00.000");
    future.comment = "planned recalibration";
    other.file_name = std::string(base) + "5_img.fits";
    other.type = "IMAGE";
    other.useafter = stamp(2000, 1, day, "00:00:00.000");
    other.comment = "not a throughput table";
    files.insert(files.end(), {older, current, rejected, future, other});

    std::vector<std::string> cols;
    switch (i % 4) {
      case 0: cols = {"WAVELENGTH", "THROUGHPUT", "ERROR"}; break;
      case 1: cols = {"WAVELENGTH", upper(comp), upper(comp) + "_ERR"}; break;
      case 2: cols = {"WAVELENGTH", "THROUGHPUT", "THROUGHPUT_ERR"}; break;
      default: cols = {"WAVELENGTH", "FUV_" + upper(comp), "NUV_" + upper(comp), "ERROR"}; break;
    }
    std::string lower_name = current.file_name;
    for (auto& c : lower_name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    write_throughput_fits(thrudir + lower_name, cols);
  }
  write_catalogue_db(db_path, files);
  write_catalogues(root, {{"*_thr.fits", "zthru$"}, {"*_thr.txt", "ztxt$"}},
                   {{"zthru", "tables/thru/"}, {"ztxt", "tables/txt/"}});
  return files;
}

}  // namespace demo
