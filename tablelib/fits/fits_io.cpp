// CFITSIO interface layer (see fits_io.h).
#include "fits_io.h"

#include "fits_io_hdus.h"

extern "C" {
#include <fitsio2.h>  // the driver table
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vos/error.h"

namespace tbfio {
namespace {

// CFITSIO's mark of a data unit whose start is not known yet.
constexpr long long kDataUndefined = -1;

// The length of `s` as a packed string of at most `max` characters: cut
// there and at an embedded NUL.
std::size_t packed_length(std::string_view s, std::size_t max) {
  std::size_t n = std::min(s.size(), max);
  const void* z = n > 0 ? std::memchr(s.data(), '\0', n) : nullptr;
  return z != nullptr ? static_cast<std::size_t>(static_cast<const char*>(z) - s.data()) : n;
}

// A NUL-terminated copy of `s` cut to at most `max` characters (also at an
// embedded NUL, as a packed string would be).
std::string pack(std::string_view s, std::size_t max) {
  return std::string(s.substr(0, packed_length(s, max)));
}

// Unpacks a C string of CFITSIO into at most `max` characters.
std::string unpack(const char* s, std::size_t max) {
  return std::string(s, strnlen(s, max));
}

// Column text arrays as CFITSIO wants them: char** of packed entries.
struct CArray {
  std::vector<std::string> store;
  std::vector<char*> ptrs;
  CArray(const std::vector<std::string>& v, std::size_t max) {
    store.reserve(v.size());
    for (const auto& s : v) store.push_back(pack(s, max));
    for (auto& s : store) ptrs.push_back(s.data());
  }
  char** data() { return ptrs.empty() ? nullptr : ptrs.data(); }
};

}  // namespace

namespace {

// The failure a Backing handed over, for the next tbferr.
int g_backing_code = 0;
std::string g_backing_failure;

// `text` with each driver's name of a file on a Backing replaced by the
// file's name.
std::string with_file_names(std::string text);

}  // namespace

void backing_failed(int code, const std::string& message) {
  g_backing_code = code;
  g_backing_failure = message;
}

void tbferr(int status) {
  if (status == 0) return;
  if (!g_backing_failure.empty()) {
    const int code = g_backing_code;
    const std::string message = std::move(g_backing_failure);
    ftcmsg();
    vos::error(code, message);
  }
  std::string text = fsgmsg();
  if (text.empty()) {
    // CFITSIO left no message: its text for the status (it has one for
    // every status, "unknown error status" at least).
    char buf[FLEN_STATUS + 1] = {0};
    ffgerr(status, buf);
    text = unpack(buf, kMaxMessage);
  }
  for (std::string m = fsgmsg(); !m.empty(); m = fsgmsg()) {
    std::string add = " " + m;
    std::size_t room = text.size() < 1023 ? 1023 - text.size() : 0;
    text += add.substr(0, room);
  }
  vos::error(status, with_file_names(std::move(text)));
}

void ftcmsg() {
  ffcmsg();
  g_backing_code = 0;
  g_backing_failure.clear();
}

int ftdrec(Handle f, int n, int& status) {
  touch(f);
  return ffdrec(f, n, &status);
}

std::string fsgmsg() {
  char buf[FLEN_ERRMSG + 1] = {0};
  if (ffgmsg(buf) == 0) return {};
  return unpack(buf, kMaxMessage);
}

int fsopen(Handle& f, std::string_view name, int iomode, int& status) {
  std::string n = pack(name, kMaxFileName);
  return ffopen(&f, n.c_str(), iomode, &status);
}

int fsinit(Handle& f, std::string_view name, int& status) {
  std::string n = pack(name, kMaxFileName);
  return ffinit(&f, n.c_str(), &status);
}

namespace {

// CFITSIO's driver for files on a Backing.  A file is named
// "tbbacking://N", N the slot of its Backing; the driver keeps each open
// file's position.
constexpr char kBackingPrefix[] = "tbbacking://";

struct BackingSlot {
  Backing* b = nullptr;
  long long pos = 0;
  int opens = 0;     // CFITSIO's open handles on it
  std::string name;  // the file's name; kept after the close, for messages
};

std::vector<BackingSlot>& backing_slots() {
  static std::vector<BackingSlot> slots;
  return slots;
}

BackingSlot* backing_slot(int handle) {
  auto& v = backing_slots();
  if (handle < 0 || static_cast<std::size_t>(handle) >= v.size() || v[handle].b == nullptr) return nullptr;
  return &v[static_cast<std::size_t>(handle)];
}

int backing_find(char* name, int* handle) {
  char* end = nullptr;
  long n = std::strtol(name, &end, 10);
  if (end == name || *end != '\0' || n < 0 || n > 1000000 || backing_slot(static_cast<int>(n)) == nullptr)
    return FILE_NOT_OPENED;
  backing_slot(static_cast<int>(n))->opens++;
  *handle = static_cast<int>(n);
  return 0;
}

int backing_none() { return 0; }
int backing_option(int) { return 0; }
int backing_options(int* options) {
  *options = 0;
  return 0;
}
int backing_version(int* version) {
  *version = 1;
  return 0;
}
int backing_check(char*, char*, char*) { return 0; }
int backing_open(char* name, int, int* handle) { return backing_find(name, handle); }
int backing_create(char* name, int* handle) { return backing_find(name, handle); }
int backing_remove(char*) { return FILE_NOT_OPENED; }
int backing_close(int handle) {
  BackingSlot* s = backing_slot(handle);
  if (s != nullptr && --s->opens <= 0) *s = BackingSlot{nullptr, 0, 0, s->name};
  return 0;
}
// After a cut the file's position is its new end: CFITSIO takes it to be
// there and writes the next record without seeking first.
int backing_truncate(int handle, LONGLONG size) {
  BackingSlot* s = backing_slot(handle);
  if (s == nullptr || size < 0) return WRITE_ERROR;
  int status = s->b->truncate(size);
  if (status == 0) s->pos = size;
  return status;
}
int backing_size(int handle, LONGLONG* size) {
  BackingSlot* s = backing_slot(handle);
  if (s == nullptr) return READ_ERROR;
  long long n = 0;
  int status = s->b->size(n);
  *size = n;
  return status;
}
int backing_flush(int handle) {
  BackingSlot* s = backing_slot(handle);
  return s == nullptr ? WRITE_ERROR : s->b->flush();
}
int backing_seek(int handle, LONGLONG offset) {
  BackingSlot* s = backing_slot(handle);
  if (s == nullptr || offset < 0) return SEEK_ERROR;
  s->pos = offset;
  return 0;
}
int backing_read(int handle, void* buf, long n) {
  BackingSlot* s = backing_slot(handle);
  if (s == nullptr) return READ_ERROR;
  int status = s->b->read(s->pos, buf, n);
  if (status == 0) s->pos += n;
  return status;
}
int backing_write(int handle, void* buf, long n) {
  BackingSlot* s = backing_slot(handle);
  if (s == nullptr) return WRITE_ERROR;
  int status = s->b->write(s->pos, buf, n);
  if (status == 0) s->pos += n;
  return status;
}

// Registers the driver once; its status.
int backing_driver() {
  static const int status = [] {
    int st = fits_init_cfitsio();
    if (st != 0) return st;
    return fits_register_driver(const_cast<char*>(kBackingPrefix), backing_none, backing_none,
                                backing_option, backing_options, backing_version, backing_check,
                                backing_open, backing_create, backing_truncate, backing_close,
                                backing_remove, backing_size, backing_flush, backing_seek,
                                backing_read, backing_write);
  }();
  return status;
}

// A new slot for `b`.
int backing_new_slot(Backing* b) {
  auto& v = backing_slots();
  std::size_t i = 0;
  while (i < v.size() && v[i].b != nullptr) ++i;
  if (i == v.size()) v.emplace_back();
  v[i] = BackingSlot{b, 0, 0, b->name()};
  return static_cast<int>(i);
}

// Frees `slot` when the open of its file failed before CFITSIO held it.
void backing_unused(int slot) {
  BackingSlot* s = backing_slot(slot);
  if (s != nullptr && s->opens == 0) *s = BackingSlot{nullptr, 0, 0, s->name};
}

std::string with_file_names(std::string text) {
  const std::size_t plen = sizeof kBackingPrefix - 1;
  auto& slots = backing_slots();
  for (std::size_t at = text.find(kBackingPrefix); at != std::string::npos;
       at = text.find(kBackingPrefix, at)) {
    std::size_t end = at + plen;
    while (end < text.size() && end - at - plen < 7 && text[end] >= '0' && text[end] <= '9') ++end;
    const std::size_t n = end > at + plen ? std::stoul(text.substr(at + plen, end - at - plen)) : slots.size();
    const std::string name = n < slots.size() && !slots[n].name.empty() ? slots[n].name : "the FITS file";
    text.replace(at, end - at, name);
    at += name.size();
  }
  return text;
}

// Opens a CFITSIO file on `b`: `open(name)` opens or creates the file of that
// name, setting `status`.
template <class Open>
int open_backing(Backing* b, int& status, Open open) {
  if (status != 0) return status;
  if ((status = backing_driver()) != 0) return status;
  const int slot = backing_new_slot(b);
  open((kBackingPrefix + std::to_string(slot)).c_str());
  backing_unused(slot);
  return status;
}

}  // namespace

int fsobck(Handle& f, Backing* b, int iomode, int& status) {
  return open_backing(b, status, [&](const char* name) { ffopen(&f, name, iomode, &status); });
}

int fsibck(Handle& f, Backing* b, int& status) {
  return open_backing(b, status, [&](const char* name) { ffinit(&f, name, &status); });
}

int fsflus(Handle f, int& status) {
  if (status == 0 && writable(f) && !changed_here(f)) return ffflsh(f, FALSE, &status);
  return ffflus(f, &status);
}
int fsflsh(Handle f, int& status) {
  if (status != 0 || f == nullptr || f->Fptr == nullptr) return status;
  // As ffflsh does, but without asking the driver to flush the file: the
  // buffers go to the file layer, which keeps its own.
  FITSfile* F = f->Fptr;
  if (f->HDUposition != F->curhdu) ffmahd(f, f->HDUposition + 1, nullptr, &status);
  for (int i = 0; i < NIOBUF && status == 0; ++i)
    if (F->bufrecnum[i] >= 0 && F->dirty[i]) ffbfwt(F, i, &status);
  return status;
}

long long fssize(Handle f) { return f != nullptr && f->Fptr != nullptr ? f->Fptr->filesize : 0; }
int fscopy(Handle in, Handle out, int morekeys, int& status) {
  ffcopy(in, out, morekeys, &status);
  touch(out);
  return status;
}
int fsmahd(Handle f, int hdunum, int& hdutype, int& status) {
  // Every HDU starts with a header of at least one block, so a file holds no
  // more HDUs than blocks (besides those already known, which may not be
  // written yet).  A number beyond that is beyond the end of the file; the
  // library is not asked for it, since it makes room for the places of all
  // the HDUs up to the one asked for (gigabytes for a number in the
  // hundreds of millions).
  if (status == 0 && f != nullptr && f->Fptr != nullptr) {
    const FITSfile* F = f->Fptr;
    long long blocks = std::max(F->filesize, F->logfilesize) / 2880;
    if (hdunum > std::max<long long>(F->maxhdu + 1, blocks) + 1) {
      std::string m = "HDU number " + std::to_string(hdunum) + " is beyond the end of the file";
      ffpmsg(m.c_str());
      return status = END_OF_FILE;
    }
  }
  return leave(f, status, false, [&] { ffmahd(f, hdunum, &hdutype, &status); });
}
int fsmahr(Handle f, int hdunum, int& hdutype, int& status) {
  if (status != 0 || f == nullptr || f->Fptr == nullptr) return fsmahd(f, hdunum, hdutype, status);
  return leave(f, status, true, [&] { fsmahd(f, hdunum, hdutype, status); });
}
int fsrdef(Handle f, int& status) {
  return leave(f, status, false, [&] { ffrdef(f, &status); });
}
int fsghsp(Handle f, int& nexist, int& nmore, int& status) {
  return ffghsp(f, &nexist, &nmore, &status);
}
int fsgrsz(Handle f, long& nrows, int& status) { return ffgrsz(f, &nrows, &status); }
int fsghad(Handle f, long long& headstart, long long& datastart, long long& dataend, int& status) {
  LONGLONG h = 0, d = 0, e = 0;
  ffghadll(f, &h, &d, &e, &status);
  if (status == 0) {
    headstart = h;
    datastart = d;
    dataend = e;
  }
  return status;
}
long long fsleng(Handle f) {
  if (f == nullptr || f->Fptr == nullptr) return 0;
  return std::max(f->Fptr->filesize, f->Fptr->logfilesize);
}

int fsphpr(Handle f, bool simple, int bitpix, int naxis, const std::vector<long>& naxes,
           long pcount, long gcount, bool extend, int& status) {
  touch(f);
  std::vector<long> ax(naxes);
  ax.resize(std::max<std::size_t>(ax.size(), 1), 0);
  return ffphpr(f, simple ? 1 : 0, bitpix, naxis, ax.data(), pcount, gcount, extend ? 1 : 0,
                &status);
}

int fsphbn(Handle f, long long naxis2, const std::vector<std::string>& ttype,
           const std::vector<std::string>& tform, const std::vector<std::string>& tunit,
           std::string_view extname, int& status) {
  touch(f);
  CArray t(ttype, kMaxColumnText), fm(tform, kMaxColumnText), u(tunit, kMaxColumnText);
  std::string e = pack(extname, kMaxExtname);
  return ffphbn(f, naxis2, static_cast<int>(tform.size()), t.data(), fm.data(), u.data(),
                e.c_str(), 0, &status);
}

int fsibin(Handle f, long long naxis2, const std::vector<std::string>& ttype,
           const std::vector<std::string>& tform, const std::vector<std::string>& tunit,
           std::string_view extname, int& status) {
  CArray t(ttype, kMaxColumnText), fm(tform, kMaxColumnText), u(tunit, kMaxColumnText);
  std::string e = pack(extname, kMaxExtname);
  if (status != 0) return status;
  // The insertion closes the HDU the new one follows as a writer does.
  const int at = writable(f) ? f->HDUposition : 0;
  const HduTail tail = keep_tail(f);
  ffibin(f, naxis2, static_cast<int>(tform.size()), t.data(), fm.data(), u.data(), e.c_str(), 0,
         &status);
  put_back(f, tail, status);
  inserted_after(f, at);
  return status;
}

int fsicol(Handle f, int colnum, std::string_view ttype, std::string_view tform, int& status) {
  touch(f);
  std::string t = pack(ttype, kMaxColumnText), fm = pack(tform, kMaxColumnText);
  return fficol(f, colnum, t.data(), fm.data(), &status);
}

int fsirow(Handle f, long long after, long long nrows, int& status) {
  touch(f);
  return ffirow(f, after, nrows, &status);
}
int fsdrow(Handle f, long long first, long long nrows, int& status) {
  touch(f);
  return ffdrow(f, first, nrows, &status);
}

int fsgtcl(Handle f, int colnum, int& typecode, long& repeat, long& width, int& status) {
  return ffgtcl(f, colnum, &typecode, &repeat, &width, &status);
}

int fsgtdm(Handle f, int colnum, int maxdim, int& naxis, std::vector<long>& naxes, int& status) {
  std::vector<long> ax(std::max(maxdim, 1), 0);
  ffgtdm(f, colnum, maxdim, &naxis, ax.data(), &status);
  if (status == 0) naxes.assign(ax.begin(), ax.begin() + std::min(std::max(naxis, 0), maxdim));
  return status;
}

int fsptdm(Handle f, int colnum, const std::vector<long>& naxes, int& status) {
  touch(f);
  std::vector<long> ax(naxes);
  return ffptdm(f, colnum, static_cast<int>(ax.size()), ax.data(), &status);
}

int fsgtbb(Handle f, long long row, long long firstchar, long long nchars, unsigned char* bytes,
           int& status) {
  return ffgtbb(f, row, firstchar, nchars, bytes, &status);
}
int fsptbb(Handle f, long long row, long long firstchar, long long nchars,
           const unsigned char* bytes, int& status) {
  touch(f);
  return ffptbb(f, row, firstchar, nchars, const_cast<unsigned char*>(bytes), &status);
}

int fsgcl(Handle f, int col, long long row, long long first, long long n, int* values,
          int& status) {
  std::vector<char> b(static_cast<std::size_t>(std::max(n, 1LL)), 0);
  int anynul = 0;
  ffgcvl(f, col, row, first, n, 0, b.data(), &anynul, &status);
  for (long long i = 0; i < n; ++i) values[i] = static_cast<signed char>(b[i]);
  return status;
}

int fsgcfl(Handle f, int col, long long row, long long first, long long n, int* values,
           int* nulls, int& status) {
  std::size_t sz = static_cast<std::size_t>(std::max(n, 1LL));
  std::vector<char> b(sz, 0), nl(sz, 0);
  int anynul = 0;
  ffgcfl(f, col, row, first, n, b.data(), nl.data(), &anynul, &status);
  for (long long i = 0; i < n; ++i) {
    values[i] = static_cast<signed char>(b[i]);
    nulls[i] = nl[i];
  }
  return status;
}

int fsgcvd(Handle f, int col, long long row, long long first, long long n, double nulval,
           double* values, int& status) {
  int anynul = 0;
  return ffgcvd(f, col, row, first, n, nulval, values, &anynul, &status);
}
int fsgcve(Handle f, int col, long long row, long long first, long long n, float nulval,
           float* values, int& status) {
  int anynul = 0;
  return ffgcve(f, col, row, first, n, nulval, values, &anynul, &status);
}
int fsgcvi(Handle f, int col, long long row, long long first, long long n, short nulval,
           short* values, int& status) {
  int anynul = 0;
  return ffgcvi(f, col, row, first, n, nulval, values, &anynul, &status);
}
int fsgcvj(Handle f, int col, long long row, long long first, long long n, int nulval,
           int* values, int& status) {
  std::vector<long> t(static_cast<std::size_t>(std::max(n, 1LL)), 0);
  int anynul = 0;
  ffgcvj(f, col, row, first, n, nulval, t.data(), &anynul, &status);
  for (long long i = 0; i < n; ++i) values[i] = static_cast<int>(t[i]);
  return status;
}

int fsgcvs(Handle f, int col, long long row, long long first, long long n, int width,
           std::string_view nulval, std::vector<std::string>& out, int& status) {
  if (status != 0) return status;
  // CFITSIO writes a whole element whatever the caller's width: size each
  // buffer for the column's display width too, then cut to the width.  The
  // buffers are reused between calls (one call at a time), and `out` keeps
  // the strings it held, so that reading cell after cell allocates nothing.
  static std::vector<char> store;
  static std::vector<char*> ptrs;
  int disp = 0, st = 0;
  ffgcdw(f, col, &disp, &st);
  std::size_t w = static_cast<std::size_t>(std::max(width, 0));
  std::size_t room = std::max<std::size_t>({w, static_cast<std::size_t>(std::max(disp, 0)), 80}) + 1;
  std::size_t cnt = static_cast<std::size_t>(std::max(n, 0LL));
  if (store.size() < cnt * room) store.resize(cnt * room);
  ptrs.resize(cnt);
  for (std::size_t i = 0; i < cnt; ++i) {
    ptrs[i] = store.data() + i * room;
    ptrs[i][0] = '\0';  // an element CFITSIO leaves alone reads empty
  }
  std::string nv = pack(nulval, w);
  int anynul = 0;
  if (cnt > 0) ffgcvs(f, col, row, first, n, nv.data(), ptrs.data(), &anynul, &status);
  out.resize(cnt);
  for (std::size_t i = 0; i < cnt; ++i) out[i].assign(ptrs[i], strnlen(ptrs[i], w));
  return status;
}

int fspcld(Handle f, int col, long long row, long long first, long long n, const double* v,
           int& status) {
  touch(f);
  return ffpcld(f, col, row, first, n, const_cast<double*>(v), &status);
}
int fspcle(Handle f, int col, long long row, long long first, long long n, const float* v,
           int& status) {
  touch(f);
  return ffpcle(f, col, row, first, n, const_cast<float*>(v), &status);
}
int fspcli(Handle f, int col, long long row, long long first, long long n, const short* v,
           int& status) {
  touch(f);
  return ffpcli(f, col, row, first, n, const_cast<short*>(v), &status);
}
int fspclj(Handle f, int col, long long row, long long first, long long n, const int* v,
           int& status) {
  touch(f);
  std::vector<long> t(v, v + std::max(n, 0LL));
  if (t.empty()) t.push_back(0);
  return ffpclj(f, col, row, first, n, t.data(), &status);
}
int fspcll(Handle f, int col, long long row, long long first, long long n, const int* v,
           int& status) {
  touch(f);
  std::vector<char> b(static_cast<std::size_t>(std::max(n, 1LL)), 0);
  for (long long i = 0; i < n; ++i) b[i] = static_cast<char>(v[i] != 0 ? 1 : 0);
  return ffpcll(f, col, row, first, n, b.data(), &status);
}
int fspcls(Handle f, int col, long long row, long long first, long long n, int width,
           const std::string* v, int& status) {
  touch(f);
  // Reused between calls (one call at a time), so that writing one cell
  // after another allocates nothing.
  static std::vector<char> store;
  static std::vector<char*> ptrs;
  std::size_t w = static_cast<std::size_t>(std::max(width, 0));
  std::size_t cnt = static_cast<std::size_t>(std::max(n, 0LL));
  store.assign(cnt * (w + 1), '\0');
  ptrs.resize(cnt);
  for (std::size_t i = 0; i < cnt; ++i) {
    char* dst = store.data() + i * (w + 1);
    std::memcpy(dst, v[i].data(), packed_length(v[i], w));
    ptrs[i] = dst;
  }
  if (cnt == 0) return ffpcls(f, col, row, first, 0, nullptr, &status);
  return ffpcls(f, col, row, first, n, ptrs.data(), &status);
}

bool fspcl1(Handle f, int col, long long row, int width, std::string_view v, int& status) {
  if (status != 0 || f == nullptr || f->Fptr == nullptr) return false;
  const FITSfile& file = *f->Fptr;
  // Only where ffpcls would do nothing but store the cell's bytes: the
  // current HDU of a binary table already read, a row that exists, a
  // column of one fixed-length string.
  if (f->HDUposition != file.curhdu || file.hdutype != BINARY_TBL ||
      file.writemode != READWRITE || file.datastart == kDataUndefined ||
      file.tableptr == nullptr || col < 1 || col > file.tfield || row < 1 ||
      row > file.numrows)
    return false;
  const tcolumn& c = file.tableptr[col - 1];
  if (c.tdatatype != TSTRING || c.twidth < 1 || c.trepeat != c.twidth) return false;
  // As ffpcls stores a string: cut to the column's width, blanks after it.
  static std::vector<unsigned char> cell;
  const std::size_t cw = static_cast<std::size_t>(c.twidth);
  cell.resize(cw);
  const std::size_t len = std::min(packed_length(v, static_cast<std::size_t>(std::max(width, 0))), cw);
  std::memcpy(cell.data(), v.data(), len);
  std::memset(cell.data() + len, ' ', cw - len);
  touch(f);
  ffptbb(f, row, c.tbcol + 1, static_cast<long long>(cw), cell.data(), &status);
  return true;
}

int fspclu(Handle f, int col, long long row, long long first, long long n, int& status) {
  touch(f);
  return ffpclu(f, col, row, first, n, &status);
}

int fsgrec(Handle f, int n, std::string& card, int& status) {
  char buf[FLEN_CARD + 1] = {0};
  ffgrec(f, n, buf, &status);
  if (status == 0) card = unpack(buf, kMaxCard);
  return status;
}
int fsprec(Handle f, std::string_view card, int& status) {
  touch(f);
  std::string c = pack(card, kMaxCard);
  return ffprec(f, c.c_str(), &status);
}
int fsmrec(Handle f, int n, std::string_view card, int& status) {
  touch(f);
  std::string c = pack(card, kMaxCard);
  return ffmrec(f, n, c.c_str(), &status);
}
int fspsvc(std::string_view card, std::string& value, std::string& comment, int& status) {
  std::string c = pack(card, kMaxCard);
  char v[FLEN_VALUE + 1] = {0}, m[FLEN_COMMENT + 1] = {0};
  ffpsvc(c.data(), v, m, &status);
  if (status == 0) {
    value = unpack(v, kMaxValue);
    comment = unpack(m, kMaxComment);
  }
  return status;
}

int fsgkey(Handle f, std::string_view key, std::string& value, std::string& comment,
           int& status) {
  std::string k = pack(key, kMaxKeyword);
  char v[FLEN_VALUE + 1] = {0}, m[FLEN_COMMENT + 1] = {0};
  ffgkey(f, k.c_str(), v, m, &status);
  if (status == 0) {
    value = unpack(v, kMaxValue);
    comment = unpack(m, kMaxComment);
  }
  return status;
}
int fsgkys(Handle f, std::string_view key, std::string& value, std::string& comment,
           int& status) {
  std::string k = pack(key, kMaxKeyword);
  char v[FLEN_VALUE + 1] = {0}, m[FLEN_COMMENT + 1] = {0};
  ffgkys(f, k.c_str(), v, m, &status);
  if (status == 0) {
    value = unpack(v, kMaxValue);
    comment = unpack(m, kMaxComment);
  }
  return status;
}
int fsgkyj(Handle f, std::string_view key, long& value, std::string& comment, int& status) {
  std::string k = pack(key, kMaxKeyword);
  char m[FLEN_COMMENT + 1] = {0};
  long v = 0;
  ffgkyj(f, k.c_str(), &v, m, &status);
  if (status == 0) {
    value = v;
    comment = unpack(m, kMaxComment);
  }
  return status;
}
int fsgkyd(Handle f, std::string_view key, double& value, std::string& comment, int& status) {
  std::string k = pack(key, kMaxKeyword);
  char m[FLEN_COMMENT + 1] = {0};
  double v = 0;
  ffgkyd(f, k.c_str(), &v, m, &status);
  if (status == 0) {
    value = v;
    comment = unpack(m, kMaxComment);
  }
  return status;
}
int fsmcom(Handle f, std::string_view key, std::string_view comment, int& status) {
  touch(f);
  std::string k = pack(key, kMaxKeyword), c = pack(comment, kMaxComment);
  return ffmcom(f, k.c_str(), c.c_str(), &status);
}
int fspcom(Handle f, std::string_view text, int& status) {
  touch(f);
  std::string c = pack(text, kMaxComment);
  return ffpcom(f, c.c_str(), &status);
}
int fsphis(Handle f, std::string_view text, int& status) {
  touch(f);
  std::string c = pack(text, kMaxComment);
  return ffphis(f, c.c_str(), &status);
}

#define TBFIO_KEYS(kind, ffname)                                                              \
  int kind##kys(Handle f, std::string_view key, std::string_view v, std::string_view c,     \
                int& status) {                                                               \
    touch(f);                                                                                \
    std::string k = pack(key, kMaxKeyword), vv = pack(v, kMaxValue),                        \
                cc = pack(c, kMaxComment);                                                   \
    return ffname##kys(f, k.c_str(), vv.c_str(), cc.c_str(), &status);                       \
  }                                                                                          \
  int kind##kyl(Handle f, std::string_view key, bool v, std::string_view c, int& status) {   \
    touch(f);                                                                                \
    std::string k = pack(key, kMaxKeyword), cc = pack(c, kMaxComment);                       \
    return ffname##kyl(f, k.c_str(), v ? 1 : 0, cc.c_str(), &status);                        \
  }                                                                                          \
  int kind##kyj(Handle f, std::string_view key, long long v, std::string_view c,            \
                int& status) {                                                               \
    touch(f);                                                                                \
    std::string k = pack(key, kMaxKeyword), cc = pack(c, kMaxComment);                       \
    return ffname##kyj(f, k.c_str(), v, cc.c_str(), &status);                                \
  }                                                                                          \
  int kind##kyd(Handle f, std::string_view key, double v, int decim, std::string_view c,    \
                int& status) {                                                               \
    touch(f);                                                                                \
    std::string k = pack(key, kMaxKeyword), cc = pack(c, kMaxComment);                       \
    return ffname##kyd(f, k.c_str(), v, decim, cc.c_str(), &status);                         \
  }

TBFIO_KEYS(fsp, ffp)
TBFIO_KEYS(fsm, ffm)
TBFIO_KEYS(fsu, ffu)
#undef TBFIO_KEYS

int fspkye(Handle f, std::string_view key, float v, int decim, std::string_view c, int& status) {
  touch(f);
  std::string k = pack(key, kMaxKeyword), cc = pack(c, kMaxComment);
  return ffpkye(f, k.c_str(), v, decim, cc.c_str(), &status);
}
int fsmkye(Handle f, std::string_view key, float v, int decim, std::string_view c, int& status) {
  touch(f);
  std::string k = pack(key, kMaxKeyword), cc = pack(c, kMaxComment);
  return ffmkye(f, k.c_str(), v, decim, cc.c_str(), &status);
}

}  // namespace tbfio
