// Whole-table operations: copy, delete, rename and test a table by name.
//
// Nothing here ever leaves a half-done file behind: a new output appears
// only when it is whole, and a change to an existing FITS file (a copy into
// it, a deleted extension) is made in place under the file layer's journal,
// rolled back when anything fails.
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

namespace tbl {

namespace {

constexpr int kSelMax = 1023;

bool is_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The extension of a file name: the letters and digits after a final ".",
// or "" when the name does not end in one.
std::string extension_of(std::string_view fname) {
  std::size_t k = fname.size();
  while (k > 0 && is_alnum(fname[k - 1])) --k;
  if (k > 0 && fname[k - 1] == '.') return std::string(fname.substr(k));
  return {};
}

// Closes a table after a failure; its own errors are dropped (the first
// error is the one reported).
void close_quietly(Table*& tp) {
  try {
    tbtclo(tp);
  } catch (const vos::Error&) {
  }
  tp = nullptr;
}

void delete_quietly(const std::string& path) {
  try {
    if (!path.empty() && vos::access(path)) vos::delete_file(path);
  } catch (const vos::Error&) {
  }
}

// The bytes of an existing file, kept aside (beside it) so that a later
// step that fails can put them back.  They go back in place, so the file
// keeps its inode, links, owner and mode; the copy is deleted either way.
class KeptBytes {
 public:
  explicit KeptBytes(const std::string& fname) : host_(vos::osfn(fname)) {
    temp_ = vos::mktemp(host_.substr(0, vos::fnldir(host_)) + "tbkeep");
    vos::fcopy(host_, temp_);
  }
  ~KeptBytes() { delete_quietly(temp_); }
  KeptBytes(const KeptBytes&) = delete;
  KeptBytes& operator=(const KeptBytes&) = delete;
  // Writes the kept bytes back over the file, as one change.
  void restore() {
    const int in = vos::open(temp_, vos::READ_ONLY, vos::BINARY_FILE);
    int out = 0;
    try {
      out = vos::open_change(host_, vos::BINARY_FILE);
      vos::seek(in, vos::BOF);
      vos::fcopyo(in, out);
      vos::truncate_open(out, static_cast<long long>(vos::fstati(in, vos::F_FILESIZE)) * 2);
      const int o = out;
      out = 0;
      vos::close(o);
    } catch (...) {
      if (out != 0) vos::iferr([&] { vos::abandon(out); });
      vos::iferr([&] { vos::close(in); });
      vos::xerret();
      throw;
    }
    vos::close(in);
  }

 private:
  std::string host_, temp_;
};

// Copies every row of `in` into the new table `out` column by column.
void copy_rows(Table* in, Table* out) {
  const int ncols = tbpsta(in, 22);
  const int nrows = tbpsta(in, 21);
  std::vector<Column*> icols, ocols;
  for (int k = 1; k <= ncols; ++k) {
    Column* ci = tbcnum(in, k);
    Column* co = k <= static_cast<int>(out->cols.size()) ? out->cols[k - 1].get() : nullptr;
    if (ci == nullptr || co == nullptr)
      vos::error(1, "tbtcpy:  output table does not match the input's columns");
    icols.push_back(ci);
    ocols.push_back(co);
  }
  tbhcal(in, out);
  if (out->type == kFitsTable && nrows > 0) tbtwer(out, nrows);
  for (int row = 1; row <= nrows; ++row)
    tbrcsc(in, out, icols.data(), ocols.data(), row, row, ncols);
}

// The file and bracket part of a table to delete; a blank name is refused.
void parse_for_delete(std::string_view name, std::string& fname, std::string& br) {
  std::string extname, rowsel, colsel;
  int extver = -1, hdu = -1, overwrite = 0;
  if (tbnparse(name, fname, extname, br, kSzName, extver, hdu, overwrite, rowsel, colsel,
               kSelMax) < 1)
    vos::error(1, "name of table to delete is blank");
}

// True when the table to delete is an extension of a FITS file; a whole FITS
// file (no bracket) is refused, since only an extension can go.
bool refuses_whole_fits(std::string_view name, const std::string& fname, const std::string& br) {
  int exists = 0;
  if (tbttyp(fname, exists) != kFitsTable) return false;
  if (br.empty())
    vos::error(1, vos::sprintf_max(1023, "can't delete entire FITS file `%s'; specify extension",
                                   name));
  return true;
}

// Copies a table to a new name, converting between storage types as the
// output name asks.  Returns the host name of the file the copy created, or
// "" when it added an extension to an existing FITS file or wrote a stream.
std::string copy_table(std::string_view inname, std::string_view outname) {
  std::string infile, inbr, outfile, outbr;
  int hdu = -1;
  tbparse(inname, infile, inbr, kSzName, hdu);
  if (tbparse(outname, outfile, outbr, kSzName, hdu) < 1)
    vos::error(1, "no output name specified");
  int exists = 0;
  int intype = tbttyp(infile, exists);
  int outtype = tbttyp(outfile, exists);

  Table* in = nullptr;
  Table* out = nullptr;
  std::string created;  // output file made by this copy, removed on failure
  // A table copied into the FITS file that holds it is read from a copy of
  // the file made first: the file's writer never waits for a reader of its
  // own program (the file layer refuses that at once).
  struct Snapshot {
    std::string path;
    ~Snapshot() { delete_quietly(path); }
  } snapshot;
  std::string source(inname);
  if (intype == kFitsTable && outtype == kFitsTable && vos::same_file(infile, outfile)) {
    snapshot.path = vos::mktemp("tmp$tbcopy") + ".fits";
    vos::fcopy(infile, snapshot.path);
    source = snapshot.path + inbr;
  }
  try {
    const bool from_stdin = infile == "STDIN";
    if (!from_stdin) {
      in = tbtopn(source, kReadOnly, nullptr);
      intype = in->type;
    }
    if (intype == kTextTable) {
      const std::string ext = extension_of(outfile);
      if (ext == "tab")
        outtype = kRowOrdered;
      else if (ext.empty() || outtype != kFitsTable)
        outtype = kTextTable;
      if (outtype == kTextTable && outbr.empty() && !from_stdin) {
        tbtclo(in);
        vos::fcopy(infile, outfile);
        return outfile;
      }
    }
    if (from_stdin) {
      in = tbtopn(inname, kReadOnly, nullptr);
      intype = in->type;
    }

    // A FITS output named without brackets is named after the input: its
    // EXTNAME, or else the input's file name.  The file name goes to the
    // new table as it is, never through the name grammar, which would read
    // its "-", "+", brackets, quotes or a leading number as syntax.
    std::string named_after;
    if (outtype == kFitsTable && outbr.empty()) {
      std::string extname;
      bool named = false;
      if (intype == kFitsTable) {
        named = !vos::iferr([&] { tbhgtt(in, "EXTNAME", extname, kSzName); });
        if (!named) vos::xerret();
      }
      if (!named) named_after = infile.substr(vos::fnldir(infile));
    }

    // An existing FITS file receives the new extension in place; any other
    // output must be a new file (its creation refuses an existing one),
    // which appears only when the copy is whole.
    const bool existed = outtype == kFitsTable && vos::access(vos::osfn(outfile));
    out = tbtopn(outname, kNewCopy, in);
    if (!named_after.empty()) out->extname = named_after.substr(0, kSzName);
    if (intype != outtype && outtype == kRowOrdered) tbpset(out, 5, kRowOrdered);
    tbtcre(out);
    if (out->name != "STDOUT" && out->name != "STDERR" && !existed)
      created = out->type == kFitsTable && !out->hostname.empty() ? out->hostname : out->name;

    if (in->type == out->type && (in->type == kRowOrdered || in->type == kColOrdered) &&
        inbr.empty()) {
      vos::seek(in->fd, vos::BOF);
      vos::seek(out->fd, vos::BOF);
      vos::fcopyo(in->fd, out->fd);
      vos::flush(out->fd);
      tbtrsi(out);
    } else {
      copy_rows(in, out);
    }
    tbtclo(out);
    tbtclo(in);
    return created;
  } catch (...) {
    if (out != nullptr) out->discard = true;  // a part-made output never appears
    close_quietly(out);
    close_quietly(in);
    throw;
  }
}

}  // namespace

// Copies a table to a new name, converting between storage types as the
// output name asks.  A copy that fails leaves no output behind.
void tbtcpy(std::string_view inname, std::string_view outname) { copy_table(inname, outname); }

// Deletes a table: its file, or for a FITS table its extension.
void tbtdel(std::string_view name) {
  std::string fname, br;
  parse_for_delete(name, fname, br);
  if (refuses_whole_fits(name, fname, br)) {
    // The extension goes in place; a failure rolls the file back.
    if (!vos::access(vos::osfn(fname)))
      vos::error(1, "tbtopn:  Table file does not exist or cannot be opened.");
    Table* tp = tbtopn(name, kReadWrite, nullptr);
    if (tp->type != kFitsTable) {
      tp->discard = true;
      close_quietly(tp);
      vos::error(1, "tbtdel:  table is not a FITS table");
    }
    tbfdel(tp);  // deletes the extension and closes the table
    return;
  }
  Table* tp = tbtopn(name, kReadWrite, nullptr);
  const std::string file = tp->name;
  tbtclo(tp);
  vos::delete_file(file);
}

// Renames a table: a copy under the new name, then the old one deleted.
// What the delete would refuse is refused before anything is copied; when
// the copy or the delete fails, both names are left as they were (a new
// file is removed, an existing FITS file gets its original bytes back).
void tbtren(std::string_view oldname, std::string_view newname) {
  std::string oldfile, oldbr;
  parse_for_delete(oldname, oldfile, oldbr);
  refuses_whole_fits(oldname, oldfile, oldbr);

  std::string outfile, outbr;
  int hdu = -1, exists = 0;
  tbparse(newname, outfile, outbr, kSzName, hdu);
  // Only an existing FITS file is changed by the copy (it receives an
  // extension); its bytes are kept aside so that a failed delete can put
  // them back.  Any other existing output makes the copy fail before it
  // writes.
  std::unique_ptr<KeptBytes> keep;
  if (!outfile.empty() && outfile != "STDOUT" && outfile != "STDERR" &&
      vos::access(vos::osfn(outfile)) && tbttyp(outfile, exists) == kFitsTable)
    keep = std::make_unique<KeptBytes>(outfile);
  const std::string created = copy_table(oldname, newname);
  try {
    tbtdel(oldname);
  } catch (...) {
    if (keep) {
      try {
        keep->restore();
      } catch (const vos::Error&) {
      }
    }
    delete_quietly(created);
    throw;
  }
}

// 1 when the table can be opened read-only, else 0; never raises.
int tbtacc(std::string_view name) {
  Table* tp = nullptr;
  try {
    tp = tbtopn(name, kReadOnly, nullptr);
  } catch (const vos::Error&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  close_quietly(tp);
  return 1;
}

}  // namespace tbl
