// The CFITSIO interface layer: the only code of the system that calls CFITSIO.
//
// One thin wrapper per CFITSIO function the FITS back end uses, named like
// the function with "ff" replaced by "fs" (or "ft" for ftcmsg/ftdrec).  The
// wrappers cut strings to the sizes of the layer's buffers before CFITSIO sees
// them, convert arrays, and pass the status straight back; they raise nothing.
// `tbferr` turns a failing status into a table-library error.
//
// In a file open for writing the layer keeps which HDUs were changed
// through it.  An HDU that was not is left (moved from, flushed, closed)
// as a reader leaves it, so that it keeps every byte: CFITSIO, leaving an
// HDU as a writer, would place its END card anew over blank cards and
// rewrite data fill that is not zero, which other writers leave so.
#pragma once

#include <fitsio.h>

#include <string>
#include <string_view>
#include <vector>

namespace tbfio {

using Handle = fitsfile*;

// Bounds of the layer's packed strings (characters, without the NUL).
inline constexpr std::size_t kMaxFileName = 1025;
inline constexpr std::size_t kMaxKeyword = 72;
inline constexpr std::size_t kMaxValue = 71;
inline constexpr std::size_t kMaxComment = 73;
inline constexpr std::size_t kMaxCard = 81;
inline constexpr std::size_t kMaxMessage = 81;
inline constexpr std::size_t kMaxColumnText = 70;  // TTYPE/TFORM/TUNIT entries
inline constexpr std::size_t kMaxExtname = 71;

// Raises the status as a table-library error whose message is CFITSIO's error
// stack (oldest first, joined by blanks, at most 1023 characters; a file on
// a Backing named by its name), or CFITSIO's text for the status when the
// stack is empty; the stack is left empty.  When the file access under
// CFITSIO failed (backing_failed), that failure is raised instead.  Does
// nothing for status 0.
void tbferr(int status);

// Tells that a call of a Backing failed with this error (the file layer's,
// which names the file and the reason): the next tbferr raises it in place
// of CFITSIO's messages, unless ftcmsg clears it first.
void backing_failed(int code, const std::string& message);

// Clears CFITSIO's error-message stack (after an expected failure), and a
// failure handed over by backing_failed.
void ftcmsg();
// Deletes header record n of the current HDU.
int ftdrec(Handle f, int n, int& status);
// Oldest message of the stack (at most 81 characters); empty when none.
std::string fsgmsg();

// Files and HDUs.
int fsopen(Handle& f, std::string_view name, int iomode, int& status);
int fsinit(Handle& f, std::string_view name, int& status);
int fsclos(Handle f, int& status);
// A FITS file that CFITSIO reaches only through the caller's own file
// access: each call gives 0 or a CFITSIO status (READ_ERROR, WRITE_ERROR,
// END_OF_FILE...) and never raises.  `read` and `write` move exactly n
// bytes at byte offset `at`; `size` is the file's length as written so far;
// `truncate` cuts the file to a shorter length.
class Backing {
 public:
  virtual ~Backing() = default;
  // The file's name, which CFITSIO's messages are given in place of the
  // driver's name of it.
  virtual const std::string& name() const = 0;
  virtual int size(long long& bytes) = 0;
  virtual int read(long long at, void* buf, long n) = 0;
  virtual int write(long long at, const void* buf, long n) = 0;
  virtual int truncate(long long bytes) = 0;
  virtual int flush() = 0;
};
// fsobck opens the FITS file on `b` (iomode READONLY or READWRITE), fsibck
// starts a new empty one there.  `b` must stay until the handle is closed;
// CFITSIO never frees it.
int fsobck(Handle& f, Backing* b, int iomode, int& status);
int fsibck(Handle& f, Backing* b, int& status);
// Opens read-only the FITS file whose gzip-compressed bytes are `gz`: the
// file is decompressed into memory, which the handle keeps until fsclos.
// Bytes that do not decompress whole (cut short, say) fail with
// DATA_DECOMPRESSION_ERR.
int fsomem(Handle& f, std::string_view gz, int& status);
// Writes every changed buffer to the file.
int fsflus(Handle f, int& status);
// Writes the buffers changed since they were read to the file (to the
// Backing's writes, which are not flushed), and nothing else: the current
// HDU is not brought up to date (no END card or fill is written for it);
// the buffers keep their bytes.
int fsflsh(Handle f, int& status);
// The length of the file in bytes as CFITSIO sees it (after fsflus: all of
// it is written).
long long fssize(Handle f);
int fscopy(Handle in, Handle out, int morekeys, int& status);
int fscrhd(Handle f, int& status);
int fsdhdu(Handle f, int& hdutype, int& status);
// Moves to HDU `hdunum` (1: the primary); a number the file cannot hold
// (more than its blocks and known HDUs) is END_OF_FILE at once.
int fsmahd(Handle f, int hdunum, int& hdutype, int& status);
// As fsmahd, but as a reader even in a file open for writing: the HDU
// left is not brought up to date on the way (its END card and the fill of
// its data are left as they are), so moving over HDUs writes nothing.
int fsmahr(Handle f, int hdunum, int& hdutype, int& status);
int fsrdef(Handle f, int& status);
int fsghsp(Handle f, int& nexist, int& nmore, int& status);
int fsgrsz(Handle f, long& nrows, int& status);
// Byte offsets of the current HDU: its header, its data and the end of its
// data (padding included: where the next HDU starts).
int fsghad(Handle f, long long& headstart, long long& datastart, long long& dataend, int& status);
// The length of the file in bytes with what CFITSIO still holds in its
// buffers (the file as it will be once they are written).
long long fsleng(Handle f);

// Table headers and columns.  The three arrays hold one entry per field.
int fsphpr(Handle f, bool simple, int bitpix, int naxis, const std::vector<long>& naxes,
           long pcount, long gcount, bool extend, int& status);
int fsphbn(Handle f, long long naxis2, const std::vector<std::string>& ttype,
           const std::vector<std::string>& tform, const std::vector<std::string>& tunit,
           std::string_view extname, int& status);
int fsibin(Handle f, long long naxis2, const std::vector<std::string>& ttype,
           const std::vector<std::string>& tform, const std::vector<std::string>& tunit,
           std::string_view extname, int& status);
int fsicol(Handle f, int colnum, std::string_view ttype, std::string_view tform, int& status);
int fsirow(Handle f, long long after, long long nrows, int& status);
int fsdrow(Handle f, long long first, long long nrows, int& status);
// Type code (TBYTE, TBIT, ...), repeat and width of a column.
int fsgtcl(Handle f, int colnum, int& typecode, long& repeat, long& width, int& status);
int fsgtdm(Handle f, int colnum, int maxdim, int& naxis, std::vector<long>& naxes, int& status);
int fsptdm(Handle f, int colnum, const std::vector<long>& naxes, int& status);

// Raw row bytes.
int fsgtbb(Handle f, long long row, long long firstchar, long long nchars,
           unsigned char* bytes, int& status);
int fsptbb(Handle f, long long row, long long firstchar, long long nchars,
           const unsigned char* bytes, int& status);

// Column reads (n elements from element `first` of one cell).
int fsgcl(Handle f, int col, long long row, long long first, long long n, int* values, int& status);
int fsgcfl(Handle f, int col, long long row, long long first, long long n, int* values,
           int* nulls, int& status);
int fsgcvd(Handle f, int col, long long row, long long first, long long n, double nulval,
           double* values, int& status);
int fsgcve(Handle f, int col, long long row, long long first, long long n, float nulval,
           float* values, int& status);
int fsgcvi(Handle f, int col, long long row, long long first, long long n, short nulval,
           short* values, int& status);
int fsgcvj(Handle f, int col, long long row, long long first, long long n, int nulval,
           int* values, int& status);
// 64-bit integer reads, with a null flag per element.
int fsgcfjj(Handle f, int col, long long row, long long first, long long n, long long* values,
            char* nulls, int& status);
// The text of one field of an ASCII table as written (blanks at its ends
// dropped), and whether it is the column's null (TNULL, or all blank).
int fsgacf(Handle f, int col, long long row, std::string& text, bool& null, int& status);
// Reads n elements as text, each cut to `width` characters, into `out`.
int fsgcvs(Handle f, int col, long long row, long long first, long long n, int width,
           std::string_view nulval, std::vector<std::string>& out, int& status);

// Column writes.
int fspcld(Handle f, int col, long long row, long long first, long long n, const double* v,
           int& status);
int fspcle(Handle f, int col, long long row, long long first, long long n, const float* v,
           int& status);
int fspcli(Handle f, int col, long long row, long long first, long long n, const short* v,
           int& status);
int fspclj(Handle f, int col, long long row, long long first, long long n, const int* v,
           int& status);
int fspcll(Handle f, int col, long long row, long long first, long long n, const int* v,
           int& status);
// Writes n strings, each cut to `width` characters.
int fspcls(Handle f, int col, long long row, long long first, long long n, int width,
           const std::string* v, int& status);
int fspclu(Handle f, int col, long long row, long long first, long long n, int& status);
// Writes one string into a cell of a binary-table column of one string per
// row, with the bytes ffpcls would store (cut to `width` and at a NUL, then
// to the column's width, blanks after it), in one raw write.  Returns false,
// having done nothing, where that is not all ffpcls would do (another HDU
// current, a new row, another kind of column...): fspcls must write it.
bool fspcl1(Handle f, int col, long long row, int width, std::string_view v, int& status);

// Header records and keywords.
int fsgrec(Handle f, int n, std::string& card, int& status);
int fsprec(Handle f, std::string_view card, int& status);
int fsmrec(Handle f, int n, std::string_view card, int& status);
int fspsvc(std::string_view card, std::string& value, std::string& comment, int& status);
int fsgkey(Handle f, std::string_view key, std::string& value, std::string& comment, int& status);
int fsgkys(Handle f, std::string_view key, std::string& value, std::string& comment, int& status);
int fsgkyj(Handle f, std::string_view key, long& value, std::string& comment, int& status);
int fsgkyd(Handle f, std::string_view key, double& value, std::string& comment, int& status);
int fsmcom(Handle f, std::string_view key, std::string_view comment, int& status);
int fspcom(Handle f, std::string_view text, int& status);
int fsphis(Handle f, std::string_view text, int& status);

int fspkys(Handle f, std::string_view key, std::string_view v, std::string_view c, int& status);
int fspkyl(Handle f, std::string_view key, bool v, std::string_view c, int& status);
int fspkyj(Handle f, std::string_view key, long long v, std::string_view c, int& status);
int fspkye(Handle f, std::string_view key, float v, int decim, std::string_view c, int& status);
int fspkyd(Handle f, std::string_view key, double v, int decim, std::string_view c, int& status);
int fsmkys(Handle f, std::string_view key, std::string_view v, std::string_view c, int& status);
int fsmkyl(Handle f, std::string_view key, bool v, std::string_view c, int& status);
int fsmkyj(Handle f, std::string_view key, long long v, std::string_view c, int& status);
int fsmkye(Handle f, std::string_view key, float v, int decim, std::string_view c, int& status);
int fsmkyd(Handle f, std::string_view key, double v, int decim, std::string_view c, int& status);
int fsukys(Handle f, std::string_view key, std::string_view v, std::string_view c, int& status);
int fsukyl(Handle f, std::string_view key, bool v, std::string_view c, int& status);
int fsukyj(Handle f, std::string_view key, long long v, std::string_view c, int& status);
int fsukyd(Handle f, std::string_view key, double v, int decim, std::string_view c, int& status);

}  // namespace tbfio
