// FITS tables at the file and HDU level: finding, opening, creating, sizing,
// closing and deleting a table HDU, and copying a primary header.
#include "fits_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

#include "fits_tform.h"
#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "vos/error.h"
#include "vos/files.h"

using namespace tbfio;
using tbl::Table;

namespace tbfits {

fitsfile* fptr(Table* tp) {
  if (tp->fits == nullptr || tp->fits->f == nullptr) fail(1, "FITS table is not open");
  return tp->fits->f;
}

void fail(int code, const std::string& message) { vos::error(code, message); }

std::string column_key(const char* stem, int n) { return stem + std::to_string(n); }

std::string tbfrot(std::string_view filename) {
  std::string out = vos::fnroot(filename);
  std::string ext = vos::fnextn(filename);
  if (!ext.empty()) out += "." + ext;
  return out;
}

namespace {

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// EXTNAME and EXTVER of the current HDU; a missing keyword is no error.
void read_ext_keys(fitsfile* f, std::string& name, bool& has_name, long& ver, bool& has_ver) {
  int status = 0;
  std::string comment;
  name.clear();
  has_name = fsgkys(f, "EXTNAME", name, comment, status) == 0;
  if (!has_name) {
    status = 0;
    ftcmsg();
  }
  ver = -1;
  has_ver = fsgkyj(f, "EXTVER", ver, comment, status) == 0;
  if (!has_ver) {
    ver = -1;
    ftcmsg();
  }
}

bool is_table(int hdutype) { return hdutype == ASCII_TBL || hdutype == BINARY_TBL; }

}  // namespace

int tbffnd(Table* tp, std::string& extname, int maxch, int& extver, int& hdutype) {
  fitsfile* f = fptr(tp);
  int h = tp->hdu, v = tp->extver;
  std::string e = tp->extname;
  extname.clear();
  extver = -1;
  int status = 0;
  if (h < 0 && v < 0 && e.empty()) h = 1;
  if (h == 0) {
    fsmahd(f, 1, hdutype, status);
    tbferr(status);
    return 0;
  }
  std::string name;
  bool has_name = false, has_ver = false;
  long ver = -1;
  if (h > 0) {
    fsmahd(f, h + 1, hdutype, status);
    tbferr(status);
    if (!is_table(hdutype))
      fail(0, "extension " + std::to_string(h) + " in " + tp->name + " is not a table");
    read_ext_keys(f, name, has_name, ver, has_ver);
    extname = name.substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
    extver = has_ver ? static_cast<int>(ver) : -1;
    return h;
  }
  e = lower(e);
  for (int n = 2;; ++n) {
    int type = 0;
    fsmahd(f, n, type, status);
    if (status == END_OF_FILE) {
      ftcmsg();
      return -2;
    }
    tbferr(status);
    if (!is_table(type)) continue;
    read_ext_keys(f, name, has_name, ver, has_ver);
    if (!e.empty() && (!has_name || lower(name) != e)) continue;
    if (v > 0 && (!has_ver || ver != v)) continue;
    extname = name.substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
    extver = has_ver ? static_cast<int>(ver) : -1;
    hdutype = type;
    return n - 1;
  }
}

}  // namespace tbfits

namespace tbl {

using namespace tbfits;

// Opens the FITS file of an existing table and moves to its HDU.
void tbfopn(Table* tp) {
  int mode;
  if (tp->iomode == tbl::kReadOnly) mode = READONLY;
  else if (tp->iomode == tbl::kReadWrite) mode = READWRITE;
  else {
    tbfclo(tp);
    fail(1, "tbfopn:  invalid iomode");
  }
  const std::string& host = tp->hostname.empty() ? tp->name : tp->hostname;
  forget_whole(tp);
  if (tp->fits == nullptr) tp->fits = new tbl::FitsHandle;
  if (mode == READWRITE) open_for_writing(*tp->fits, host, false);
  else open_for_reading(*tp->fits, host);
  std::string name;
  int ver = -1, type = 0;
  int h = tbffnd(tp, name, tbl::kSzName, ver, type);
  if (h == -2) fail(0, "table not found in FITS file `" + tp->name + "'");
  if (tp->hdu < 0) tp->hdu = h;
  if (!tp->extname.empty()) tp->extname = name;
  if (ver > 0) tp->extver = ver;
  if (type == BINARY_TBL) tp->subtype = tbl::kFitsBinary;
  else if (type == ASCII_TBL) tp->subtype = tbl::kFitsAscii;
  else if (type == IMAGE_HDU) tp->subtype = tbl::kFitsPrimary;
  else tp->subtype = tbl::kSubtypeUnknown;
  // Every write reaches the table's own HDU: none where it is cut short.
  if (mode == READWRITE) check_hdu_whole(tp);
}

// Reads the size information of the current HDU into the descriptor.
void tbfrsi(Table* tp) {
  fitsfile* f = fptr(tp);
  int status = 0;
  long naxis1 = 0, naxis2 = 0, tfields = 0;
  std::string comment;
  if (tp->subtype == tbl::kFitsAscii || tp->subtype == tbl::kFitsBinary) {
    fsgkyj(f, "NAXIS1", naxis1, comment, status);
    fsgkyj(f, "NAXIS2", naxis2, comment, status);
    fsgkyj(f, "TFIELDS", tfields, comment, status);
    tbferr(status);
  }
  if (naxis1 < 0 || naxis1 > 2000000000L || naxis2 < 0 || naxis2 > 2147483647L || tfields < 0 ||
      tfields > 999)
    fail(1, "tbfrsi:  bad table size in FITS header of `" + tp->name + "'");
  int nexist = 0, nmore = 0;
  fsghsp(f, nexist, nmore, status);
  tbferr(status);
  tp->nrows = static_cast<int>(naxis2);
  tp->ncols = static_cast<int>(tfields);
  tp->npar = nexist;
  tp->maxpar = nexist + std::max(nmore, 0);
  tp->rowlen = tp->allrowlen = static_cast<int>((naxis1 + 1) / 2);
  tp->maxcols = tp->ncols;
  tp->bod = 0;
}

// Writes the row and column counts back to the table's header.
void tbfwsi(Table* tp) {
  if (tp->subtype != tbl::kFitsAscii && tp->subtype != tbl::kFitsBinary) return;
  fitsfile* f = fptr(tp);
  int status = 0;
  fsmkyj(f, "NAXIS2", tp->nrows, "&", status);
  fsmkyj(f, "TFIELDS", tp->ncols, "&", status);
  tbferr(status);
}

// The I/O buffer size in 2-byte characters: CFITSIO's row group times the
// row length.
int tbfsiz(Table* tp) {
  fitsfile* f = fptr(tp);
  int status = 0;
  long naxis1 = 0, nrows = 0;
  std::string comment;
  fsgkyj(f, "NAXIS1", naxis1, comment, status);
  fsgrsz(f, nrows, status);
  tbferr(status);
  long half = naxis1 / 2;
  long r = half < 2 ? nrows : nrows * half;
  return static_cast<int>(std::min(r, 2147483647L));
}

// Closes the table's file, writing it back unless the table is discarded.
// The handle is forgotten first, so a failing close is never followed by a
// second one.
void tbfclo(Table* tp) {
  std::unique_ptr<tbl::FitsHandle> h(tp->fits);
  tp->fits = nullptr;
  if (h) close_file(*h, tp->discard);
}

// True when a transfer of the table's FITS file failed (the call that met it
// reported it, or the close will).
bool tbfwfl(Table* tp) { return tp->fits != nullptr && tp->fits->failed; }

// Deletes the table's HDU and closes the table, which is freed even when
// the deletion fails (the file is then left as it was).
void tbfdel(Table* tp) {
  Table* t = tp;
  try {
    check_table_whole(tp);  // the HDUs after it move
    int status = 0, type = 0;
    fsdhdu(fptr(tp), type, status);
    tbferr(status);
    tbfclo(tp);
  } catch (const vos::Error&) {
    tp->discard = true;
    vos::iferr([&] { tbl::tbtclo(t); });
    vos::xerret();
    throw;
  }
  tbl::tbtclo(t);
}

}  // namespace tbl

namespace tbfits {
namespace {

// Writes the primary header of a new file.
void write_primary(fitsfile* f, const std::string& name) {
  int status = 0;
  fsphpr(f, true, 16, 0, {}, 0, 1, true, status);
  fspkys(f, "ORIGIN", "Vorda-ARVELA/TABLES", "Tables version 1999-09-07", status);
  fspkys(f, "FILENAME", tbfrot(name), "name of file", status);
  fspkyj(f, "NEXTEND", 1, "number of extensions in file", status);
  tbferr(status);
}

// Number of HDUs in the file, primary included.  Leaves the file positioned
// at an undefined HDU.
int count_hdus(fitsfile* f) {
  int status = 0, type = 0, k = 1;
  for (;;) {
    fsmahd(f, k + 1, type, status);
    if (status != 0) {
      status = 0;
      ftcmsg();
      return k;
    }
    ++k;
  }
}

// The header of the new binary table, then its column keywords.
void write_table_header(Table* tp, fitsfile* f, bool insert) {
  int c = tp->ncols;
  std::vector<std::string> ttype, tform, tunit, tdisp;
  for (int i = 0; i < c; ++i) {
    const tbl::Column* cp = tp->cols[i].get();
    ttype.push_back(cp->name);
    tform.push_back(tbftform::binary_tform(cp->stored_type, cp->nelem));
    tunit.push_back(cp->units);
    tdisp.push_back(tbftform::tbfptf(cp->format));  // refuses before anything is written
  }
  int status = 0;
  if (insert) fsibin(f, 0, ttype, tform, tunit, tp->extname, status);
  else fsphbn(f, 0, ttype, tform, tunit, tp->extname, status);
  if (tp->extver > 0) fspkyj(f, "EXTVER", tp->extver, "extension version number", status);
  for (int i = 0; i < c; ++i) {
    const tbl::Column* cp = tp->cols[i].get();
    int n = i + 1;
    fspkys(f, column_key("TDISP", n), tdisp[i], "display format", status);
    if (cp->stored_type == tbl::kTyInt)
      fspkyj(f, column_key("TNULL", n), tbl::kIndefI, "undefined value for column", status);
    else if (cp->stored_type == tbl::kTyShort)
      fspkyj(f, column_key("TNULL", n), tbl::kIndefS, "undefined value for column", status);
    if (cp->stored_type != cp->dtype) {
      fspkyd(f, column_key("TSCAL", n), cp->scale, 14, "scale factor for column", status);
      fspkyd(f, column_key("TZERO", n), cp->zero, 14, "zero offset for column", status);
    }
  }
  fsrdef(f, status);
  tbferr(status);
}

}  // namespace
}  // namespace tbfits

namespace tbl {

// Creates the file or the extension of a new table whose columns are defined.
void tbfnew(Table* tp) {
  const std::string& host = tp->hostname.empty() ? tp->name : tp->hostname;
  int status = 0, type = 0;
  bool insert = false;
  for (int i = 0; i < tp->ncols; ++i) tbftform::tbfptf(tp->cols[i]->format);
  forget_whole(tp);
  if (!vos::access(host)) {
    if (tp->hdu > 1)
      fail(1, "extension number in new FITS file (" + tp->name + ") can't be greater than one");
    tp->hdu = 1;
    if (tp->fits == nullptr) tp->fits = new tbl::FitsHandle;
    fitsfile* f = open_for_writing(*tp->fits, host, true);
    write_primary(f, tp->name);
    fscrhd(f, status);
    tbferr(status);
  } else if (tp->overwrite == 1) {
    if (tp->hdu == 0)
      fail(1, "tbfnew:  can't overwrite the primary header of FITS file `" + tp->name + "'");
    if (tp->fits == nullptr) tp->fits = new tbl::FitsHandle;
    fitsfile* f = open_for_writing(*tp->fits, host, false);
    std::string name;
    int ver = -1;
    int found = tbffnd(tp, name, tbl::kSzName, ver, type);
    if (found == -2) fail(0, "table not found in FITS file `" + tp->name + "'");
    if (tp->hdu > 0 && tp->hdu != found)
      fail(0, "extension " + std::to_string(tp->hdu) + " was specified, but " + tp->name +
                  " currently has " + std::to_string(count_hdus(f) - 1) + " extensions");
    tp->hdu = found;
    check_whole_from(tp, found + 1);  // the HDU replaced and those after it move
    fsdhdu(f, type, status);
    fsmahd(f, found, type, status);
    tbferr(status);
    insert = true;
  } else {
    if (tp->fits == nullptr) tp->fits = new tbl::FitsHandle;
    fitsfile* f = open_for_writing(*tp->fits, host, false);
    // The primary header may grow, moving every HDU; the new one goes after
    // the last.  Both checked before anything in the file changes.
    check_whole_from(tp, 1);
    int k = count_hdus(f);
    if (tp->hdu > 0 && tp->hdu != k)
      fail(0, "extension " + std::to_string(tp->hdu) + " was specified, but " + tp->name +
                  " currently has " + std::to_string(k - 1) + " extensions");
    tp->hdu = k;
    fsmahd(f, 1, type, status);
    fsukyl(f, "EXTEND", true, "There may be standard extensions", status);
    long naxis = 0;
    std::string comment;
    fsgkyj(f, "NAXIS", naxis, comment, status);
    if (status == 0 && naxis == 0) fsukyj(f, "NEXTEND", k, "number of extensions in file", status);
    fsmahd(f, k, type, status);
    fscrhd(f, status);
    tbferr(status);
  }
  tp->subtype = tbl::kFitsBinary;
  write_table_header(tp, fptr(tp), insert);
  mark_whole(tp);
}

// Copies the primary header of the input FITS file into a new output file.
void tbfpri(std::string_view inname, std::string_view outname, int& copied) {
  copied = 0;
  std::string ofile, obr, ifile, ibr;
  int hdu = -1, exists = 0;
  tbl::tbparse(outname, ofile, obr, tbl::kSzName, hdu);
  int otype = tbl::tbttyp(ofile, exists);
  if (exists == 1 || otype != tbl::kFitsTable) return;
  tbl::tbparse(inname, ifile, ibr, tbl::kSzName, hdu);
  int itype = tbl::tbttyp(ifile, exists);
  if (itype != tbl::kFitsTable) return;
  int status = 0;
  fitsfile* in = nullptr;
  fsopen(in, vos::osfn(ifile), READONLY, status);
  tbferr(status);
  long naxis = 0;
  std::string comment;
  fsgkyj(in, "NAXIS", naxis, comment, status);
  try {
    if (status == 0 && naxis == 0) {
      tbl::FitsHandle out;
      fitsfile* o = open_for_writing(out, vos::osfn(ofile), true);
      fscopy(in, o, 0, status);
      fsukys(o, "FILENAME", tbfrot(ofile), "name of file", status);
      tbferr(status);
      close_file(out, false);  // after a failure above, `out` is discarded
      copied = 1;
    }
  } catch (...) {
    int cst = 0;
    fsclos(in, cst);
    throw;
  }
  int cst = 0;
  fsclos(in, cst);
  tbferr(status != 0 ? status : cst);
}

}  // namespace tbl
