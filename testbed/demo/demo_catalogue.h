// Builds demo and test installations of the tool: a reference-file catalogue
// in a SQLite database for the stand-in server, the two catalogue files of
// the installation's data root, and throughput tables written with CFITSIO.
#pragma once

#include <string>
#include <vector>

namespace demo {

// One row of kelvar_file with the components (kelvar_row) it serves.
struct CatalogueFile {
  std::string file_name;
  std::string useafter;      // "YYYY-MM-DD HH:MM:SS.mmm"
  std::string availability;  // general availability date, same form; empty = NULL
  std::string comment;       // empty = NULL
  std::string type = "THROUGHPUT";
  std::string reject = "N";
  std::vector<std::string> components;
};

// Creates (replacing) a catalogue database with kelvar_file and kelvar_row
// and fills it.  Throws std::runtime_error on failure.
void write_catalogue_db(const std::string& path, const std::vector<CatalogueFile>& files);

// Writes `root`tools/data/thrucat.dat and directory.dat from (pattern,
// directory) and (logical name, directory) pairs.
void write_catalogues(const std::string& root,
                      const std::vector<std::pair<std::string, std::string>>& thrucat,
                      const std::vector<std::pair<std::string, std::string>>& directories);

// Writes a throughput table: a FITS file whose first extension is a binary
// table with a double column for each name (WAVELENGTH first when listed).
void write_throughput_fits(const std::string& path, const std::vector<std::string>& columns,
                           int rows = 8);

// Creates directories like mkdir -p.
void make_dirs(const std::string& path);

// The demo installation: `components` components (a few dozen instrument
// names, then generated names), each with accepted, rejected, future and
// other-type versions.  Writes the database, the catalogues and the
// throughput files under `root`.  Returns the catalogue rows written.
std::vector<CatalogueFile> make_demo(const std::string& root, const std::string& db_path,
                                     int components);

}  // namespace demo
