// Table descriptor life cycle: open (or prepare) a table by name, create
// its file, flush, close, and the name helpers tbtext and tbtnam.
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

namespace tbl {

namespace {

constexpr int kSelMax = 1023;

bool is_binary(const Table* tp) { return tp->type == kRowOrdered || tp->type == kColOrdered; }

bool is_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when the file name ends in an extension: a "." followed only by
// letters and digits (possibly none).
bool has_extension(std::string_view fname) {
  const std::size_t dot = fname.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (std::size_t k = dot + 1; k < fname.size(); ++k)
    if (!is_alnum(fname[k])) return false;
  return true;
}

// Runs `step`, dropping its errors (the first error is the one reported).
template <class F>
void quietly(F step) {
  try {
    step();
  } catch (const vos::Error&) {
  }
}

// Releases a table whose open failed half-way; errors of the release are
// dropped (the first error is the one reported).
void release_quietly(Table* tp) {
  quietly([&] { tbtclo(tp); });
}

}  // namespace

// Opens an existing table (modes 1, 2) or prepares a new one (5, 6, 7).
Table* tbtopn(std::string_view name, int mode, Table* tmpl) {
  auto tp = std::make_unique<Table>();
  std::string brackets, rowsel, colsel, msg;
  int n = tbnparse(name, tp->name, tp->extname, brackets, kSzName, tp->extver, tp->hdu,
                   tp->overwrite, rowsel, colsel, kSelMax);
  if (n < 1) msg = "tbtopn:  Table name is null or blank.";
  if (n >= 1) tp->hostname = vos::osfn(tp->name);
  int exists = 0;
  tp->type = n >= 1 ? tbttyp(tp->name, exists) : 0;
  tp->iomode = mode;
  tp->readonly = mode == kReadOnly;
  if (msg.empty() && mode != kReadOnly && mode != kReadWrite &&
      (!rowsel.empty() || !colsel.empty()))
    msg = "tbtopn:  Row and column selectors may only be used with existing tables.";
  if (!msg.empty()) vos::error(1, msg);

  if (mode == kReadOnly || mode == kReadWrite) {
    if (exists != 1) vos::error(1, "tbtopn:  Table file does not exist or cannot be opened.");
    Table* raw = tp.release();
    try {
      tbuopn(raw);
      tbsopn(raw, rowsel, colsel);
    } catch (const vos::Error&) {
      release_quietly(raw);
      throw;
    } catch (const std::bad_alloc&) {
      release_quietly(raw);
      vos::error(vos::SYS_MFULL, "Out of memory");
    }
    return raw;
  }
  if (mode == kNewFile || mode == kNewFile6 || mode == kNewCopy) {
    if (mode == kNewCopy) {
      if (tmpl == nullptr) vos::error(1, "tbtopn:  no template table given");
      tp->maxcols = tmpl->maxcols;
    }
    tp->cols.reserve(static_cast<std::size_t>(tp->maxcols));
    tp->bod = tbtbod(tp->maxpar, tp->maxcols);
    if (mode == kNewCopy) {
      tp->iomode = kNewFile;
      tbctpe(tp.get(), tmpl);
    }
    if (tp->name == "STDOUT" || tp->name == "STDERR") tp->type = kTextTable;
    return tp.release();
  }
  vos::error(2, "tbtopn:  the specified I/O mode is not supported for a table");
}

// Opens the file of an existing table and reads its sizes and columns.
void tbuopn(Table* tp) {
  switch (tp->type) {
    // The file layer's opens roll back a change that a writer killed on
    // the way left unfinished before the table is read, and hold the file
    // among its readers (or as its writer) until the close; a table opened
    // for writing is changed in place under a journal.
    case kTextTable:
      tp->fd = tp->iomode == kReadWrite ? vos::open_change(tp->name, vos::TEXT_FILE)
                                        : vos::open(tp->name, tp->iomode, vos::TEXT_FILE);
      break;
    case kFitsTable:
      tbfopn(tp);
      break;
    case kRowOrdered:
    case kColOrdered:
      tbtext(tp->name, tp->name, kSzName);
      tp->fd = tp->iomode == kReadWrite ? vos::open_change(tp->name, vos::BINARY_FILE)
                                        : vos::open(tp->name, tp->iomode, vos::BINARY_FILE);
      break;
    default:
      vos::error(81, "tbuopn:  table type is messed up");
  }
  tp->opened = true;
  tbtrsi(tp);
  const int ncols = tp->ncols;
  // The column records must be in the file before a descriptor is made for
  // each: a damaged size record may claim up to a million columns.
  if (is_binary(tp) && ncols > 0 &&
      vos::fstati(tp->fd, vos::F_FILESIZE) < 24 + 40L * tp->maxpar + 32L * ncols)
    vos::error(84, "tbcrcd:  EOF while reading column info for table");
  tp->ncols = 0;
  tp->cols.clear();
  tp->cols.reserve(static_cast<std::size_t>(tp->maxcols));
  for (int c = 0; c < ncols; ++c) tp->cols.push_back(std::make_unique<Column>());
  tp->ncols = ncols;
  if (tp->type == kFitsTable) {
    std::vector<Column*> ptrs;
    for (auto& c : tp->cols) ptrs.push_back(c.get());
    tbfrcd(tp, ptrs.data(), ncols);
  } else if (is_binary(tp)) {
    for (int c = 1; c <= ncols; ++c) tbcrcd(tp, tp->cols[c - 1].get(), c);
  }
  if (tp->type == kRowOrdered && !tp->readonly) {
    tp->nullrow.assign(2 * static_cast<std::size_t>(tp->allrowlen), 0);
    for (auto& c : tp->cols) tbbnll(tp, c.get());
  }
  if (tp->type == kTextTable) tbzopn(tp);
}

// Creates the file of a prepared new table.
void tbtcre(Table* tp) {
  need_table(tp, "tbtcre");
  if (tp->opened) vos::error(1, "tbtcre:  table is already open");
  if (tp->type == kTextTable) {
    tbznew(tp);
  } else if (tp->type == kFitsTable) {
    tbfnew(tp);
  } else {
    if (!is_binary(tp)) vos::error(81, "tbtcre:  table type is messed up");
    tbtext(tp->name, tp->name, kSzName);
    if (tp->type == kRowOrdered)
      tbxnew(tp);
    else
      tbynew(tp);
    tp->comments.clear();
    tp->subtype = kSubtypeUnknown;
  }
  tp->opened = true;
  tp->modified = true;
}

// The failure of the table's change (see tbcore.h): the one the table
// layer recorded, or the one of its file.
bool tbtfai(const Table* tp, int& code, std::string& message) {
  if (!tp->failure.empty()) {
    code = tp->failure_code;
    message = tp->failure;
    return true;
  }
  if (tp->fd != 0 && vos::write_failed(tp->fd)) {
    code = vos::SYS_FWRITE;
    message = vos::write_failure(tp->fd);
    return true;
  }
  return tp->type == kFitsTable && tp->fits != nullptr && tbfwfl(tp, code, message);
}

void tbtchk(const Table* tp) {
  int code = 0;
  std::string message;
  if (tbtfai(tp, code, message)) vos::error(code, message);
}

namespace {

// Writes back what is pending, closes the file and frees the descriptor;
// tp becomes nullptr.  Everything is released even when a step fails; the
// first failure is then raised.  A table that was never created, whose
// change failed earlier or whose closing fails is discarded: its files are
// left as they were before it.  A failure of the change before the close
// is raised again, unless the table is abandoned (its change is undone, as
// asked).
void close_table(Table*& tp, bool abandon) {
  if (tp == nullptr) return;
  std::unique_ptr<Table> owner(tp);
  tp = nullptr;
  Table* t = owner.get();
  struct ReleaseSelection {  // runs on every way out
    Table* t;
    ~ReleaseSelection() { tbsclo(t); }
  } release_selection{t};
  if (!t->opened || abandon) t->discard = true;
  int failed_code = 0;
  std::string failed;
  if (tbtfai(t, failed_code, failed)) t->discard = true;
  if (abandon) failed.clear();
  try {
    if (t->type == kTextTable) tbzclo(t);
    if (t->modified && !t->discard && (t->fd != 0 || t->fits != nullptr)) tbtwsi(t);
    if (t->type == kFitsTable) tbfclo(t);
    if (t->fd != 0) tbtcfd(t);
  } catch (const vos::Error&) {
    t->discard = true;
    if (t->fd != 0) quietly([&] { tbtcfd(t); });
    if (t->type == kFitsTable && t->fits != nullptr) quietly([&] { tbfclo(t); });
    if (!failed.empty()) vos::error(failed_code, failed);
    throw;
  }
  if (!failed.empty()) vos::error(failed_code, failed);
}

}  // namespace

void tbtclo(Table*& tp) { close_table(tp, false); }

void tbtabn(Table*& tp) { close_table(tp, true); }

// Closes the table's file descriptor, which keeps its change (a new file
// appears at its name); a discarded table's change is undone instead.  A
// failure marks the table to be discarded and is raised.
void tbtcfd(Table* tp) {
  const int fd = tp->fd;
  tp->fd = 0;
  if (tp->discard || vos::write_failed(fd)) {
    tp->discard = true;
    quietly([&] { vos::abandon(fd); });
    return;
  }
  try {
    vos::close(fd);
  } catch (const vos::Error&) {
    tp->discard = true;
    throw;
  }
}

// Writes the size record and flushes a binary table's file.
void tbtflu(Table* tp) {
  need_table(tp, "tbtflu");
  if (tp->type == kTextTable || tp->type == kFitsTable) return;
  if (tp->fd == 0) vos::error(32, "tbtflu:  table is not open");
  if (tp->readonly) vos::error(3, "tbtflu:  table is readonly");
  tbtwsi(tp);
  vos::flush(tp->fd);
}

void tbdsav(Table* tp, SavedSizes& s) {
  s = {tp->type,    tp->npar,    tp->maxpar, tp->nrows,     tp->allrows, tp->ncols,
       tp->maxcols, tp->rowlen,  tp->allrowlen, tp->bod,   tp->iomode};
}

void tbdres(Table* tp, const SavedSizes& s) {
  tp->type = s.type;
  tp->npar = s.npar;
  tp->maxpar = s.maxpar;
  tp->nrows = s.nrows;
  tp->allrows = s.allrows;
  tp->ncols = s.ncols;
  tp->maxcols = s.maxcols;
  tp->rowlen = s.rowlen;
  tp->allrowlen = s.allrowlen;
  tp->bod = s.bod;
  tp->iomode = s.iomode;
}

// Changes the allocated sizes (negative: keep; 0 counts as 1); an open
// binary or text table is resized by its back end.  A failed resize leaves
// the size words as they were.
void tbtchs(Table* tp, int maxpar, int maxcols, int rowlen, int allrows) {
  need_table(tp, "tbtchs");
  if (tp->opened && !tp->readonly && is_binary(tp)) {
    tbtwsi(tp);
    vos::flush(tp->fd);
  }
  auto pick = [](int arg, int current, int in_use) {
    int v = arg > 0 ? arg : (arg == 0 ? 1 : current);
    return std::max({v, 1, in_use});
  };
  int nmaxpar = std::max(maxpar >= 0 ? maxpar : tp->maxpar, tp->npar);
  int nmaxcols = pick(maxcols, tp->maxcols, tp->ncols);
  int nrowlen = pick(rowlen, tp->allrowlen, tp->rowlen);
  int nallrows = pick(allrows, tp->allrows, tp->nrows);
  if (tp->type == kFitsTable) {
    nmaxpar = tp->maxpar;
    nrowlen = tp->allrowlen;
    nallrows = tp->allrows;
  }
  if (nmaxpar == tp->maxpar && nmaxcols == tp->maxcols && nrowlen == tp->allrowlen &&
      nallrows == tp->allrows)
    return;

  SavedSizes old;
  tbdsav(tp, old);
  tp->maxcols = nmaxcols;
  tp->maxpar = nmaxpar;
  tp->allrowlen = nrowlen;
  tp->allrows = nallrows;
  tp->bod = tbtbod(tp->maxpar, tp->maxcols);
  if (!tp->opened) return;
  try {
    if (tp->type == kTextTable) {
      tbzsiz(tp, old.maxpar, old.allrows);
    } else if (!tp->readonly && tp->type == kRowOrdered) {
      tbxsiz(tp, old.maxpar, old.maxcols, old.ncols, old.allrowlen, old.rowlen);
      tp->modified = true;
    } else if (!tp->readonly && tp->type == kColOrdered) {
      tbysiz(tp, old.maxpar, old.maxcols, old.ncols, old.allrows);
      tp->modified = true;
    }
  } catch (const vos::Error&) {
    tbdres(tp, old);
    throw;
  }
}

// The name with the default extension ".tab" where one is due: not for
// text or FITS names, nor for a file name that has an extension.
void tbtext(std::string_view in, std::string& out, int maxch) {
  if (in.size() > static_cast<std::size_t>(std::max(maxch, 0)))
    vos::error(1, "table name is too long");
  std::string fname, br;
  int hdu = -1;
  if (tbparse(in, fname, br, kSzName, hdu) < 1) vos::error(1, "no table name given");
  // A name with an extension is kept without looking into its file.
  int exists = 0;
  const int type = has_extension(fname) ? 0 : tbttyp(fname, exists);
  if (type == kTextTable || type == kFitsTable || has_extension(fname)) {
    if (out.data() != in.data()) out.assign(in);
    return;
  }
  if (in.size() + 4 > static_cast<std::size_t>(maxch)) vos::error(1, "table name is too long");
  out = fname + ".tab" + br;
}

// Sets one file option on a binary table's file (the size record is
// written first, as a reopen would).
void tbtfst(Table* tp, int option, int value) {
  need_table(tp, "tbtfst");
  if (tp->fd == 0) vos::error(32, "tbtfst:  table must be open to set FIO option");
  if (!is_binary(tp)) return;
  if (!tp->readonly) tbtwsi(tp);
  vos::fseti(tp->fd, option, value);
}

// Makes sure the table has rows up to row.
void tbtwer(Table* tp, int row) {
  need_table(tp, "tbtwer");
  int actual = 0;
  tbswer(tp, row, actual);
}

// The table's file name; a FITS table's with its extension in brackets.
void tbtnam(Table* tp, std::string& out, int maxch) {
  need_table(tp, "tbtnam");
  const std::size_t mx = static_cast<std::size_t>(std::max(maxch, 0));
  std::string s = tp->name;
  if (tp->type == kFitsTable) {
    if (!tp->extname.empty()) {
      s += "[" + tp->extname;
      if (tp->extver > 0) s += vos::sprintf(",%d", tp->extver);
      s += "]";
    } else if (tp->hdu >= 0) {
      s += vos::sprintf("[%d]", tp->hdu);
    }
  }
  out = s.substr(0, mx);
}

}  // namespace tbl
