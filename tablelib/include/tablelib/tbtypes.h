// The table library's data model: the table descriptor, the column
// descriptor, and the codes and undefined values shared by the core, the
// storage back ends and the host binding.
//
// Failure convention of the whole library: every routine raises vos::Error
// (vos::error(code, message)); nothing returns an error status.
//
// Pointers handed to callers (Table*, Column*) are opaque to the host
// binding's callers; the back ends read and write the fields directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tbl {

// Storage type codes (`table_type`).
inline constexpr int kRowOrdered = 11;
inline constexpr int kColOrdered = 12;
inline constexpr int kTextTable = 13;
inline constexpr int kFitsTable = 14;

// Table subtypes.
inline constexpr int kSubtypeUnknown = 1000;
inline constexpr int kTextByPosition = 1301;
inline constexpr int kTextWithDefs = 1302;
inline constexpr int kFitsAscii = 1401;
inline constexpr int kFitsBinary = 1402;
inline constexpr int kFitsPrimary = 1403;

// Open modes of tbtopn.
inline constexpr int kReadOnly = 1;
inline constexpr int kReadWrite = 2;
inline constexpr int kNewFile = 5;
inline constexpr int kNewFile6 = 6;
inline constexpr int kNewCopy = 7;

// Column data types; a text column of at most N characters is -N.
inline constexpr int kTyBool = 1;
inline constexpr int kTyChar = 2;  // only in old files; read as text
inline constexpr int kTyShort = 3;
inline constexpr int kTyInt = 4;
inline constexpr int kTyReal = 6;
inline constexpr int kTyDouble = 7;
inline constexpr int kMaxTextWidth = 1022;

// Undefined values.
inline constexpr short kIndefS = -32767;
inline constexpr int kIndefI = -2147483647;
inline constexpr float kIndefR = 1.6e38f;
inline constexpr double kIndefD = 1.6e308;
inline constexpr double kStoredIndefD = 1.6e38;  // an undefined double in a binary file

// Lengths.
inline constexpr int kSzName = 255;   // table name buffers
inline constexpr int kSzColText = 79; // column name, units, print format
inline constexpr int kSzParRec = 80;  // header parameter record

// Opaque records of other layers, defined where they are made.
struct FitsHandle;       // FITS back end: the open FITS file of a table
struct RowSet;           // selectors: selected rows
struct ColumnSelector;   // selectors: one selected column

// Per-table or per-column private state of a storage back end (the text
// back end's in-memory table, for instance).  Owned by the descriptor and
// destroyed with it.
struct BackendData {
  virtual ~BackendData() = default;
};

// One column of an open table.
struct Column {
  int number = 0;        // column number, from 1
  int offset = 0;        // offset of the first element in a row, in 2-byte chars
  int length = 0;        // cell length in 2-byte chars (all elements)
  int dtype = 0;         // data type as callers see it
  int stored_type = 0;   // data type as stored (differs for scaled FITS columns)
  int nelem = 1;         // elements per cell, at least 1
  double scale = 1.0;    // FITS scale factor
  double zero = 0.0;     // FITS zero offset
  std::string name;      // at most 79 characters
  std::string units;     // at most 79 characters
  std::string format;    // print format, at most 79 characters
  std::unique_ptr<BackendData> store;  // back end's column data (text tables)
};

// One open (or prepared) table.
struct Table {
  int fd = 0;                   // VOS file descriptor of a binary or text table; 0 none
  FitsHandle* fits = nullptr;   // FITS file of a FITS table; never a file descriptor
  std::string name;             // file-name part of the table name
  std::string hostname;         // name with logical directories expanded
  int type = 0;                 // storage type
  int subtype = kSubtypeUnknown;
  int npar = 0;                 // header parameters in use
  int maxpar = 5;               // header parameter records allocated
  int nrows = 0;                // number of rows
  int allrows = 100;            // allocated rows
  int ncols = 0;                // number of columns
  int maxcols = 5;              // column records allocated
  int rowlen = 0;               // used row length in 2-byte chars
  int allrowlen = 0;            // allocated row length in chars (FITS: bytes once grown)
  int version = 3;              // format version
  int bod = 0;                  // body offset: 1-based char where the data begin
  int iomode = 0;               // open mode handed to the file layer (7 kept as 5)
  bool opened = false;          // the file exists and is attached
  bool readonly = false;
  bool modified = false;        // size information must be written back at close
  bool discard = false;         // close leaves the table's file as it was (a write failed)
  int failure_code = 0;         // the failure that ended the table's change, when the
  std::string failure;          //   table layer found it ("" while none; see tbtfai)
  bool fits_null_ready = false; // FITS null-row template built
  std::vector<unsigned char> nullrow;  // null row of a row-ordered table (bytes, big-endian values)
  std::vector<std::unique_ptr<Column>> cols;  // the columns, size() == ncols
  int hdu = -1;                 // HDU number from the name
  int extver = -1;              // EXTVER from the name
  int overwrite = 0;            // overwrite flag from the name
  std::string extname;          // EXTNAME from the name
  // Selection state.
  bool rowsel = false;
  int nselrows = 0;
  RowSet* rowset = nullptr;
  bool colsel = false;
  int nselcols = 0;
  int selcap = 0;
  std::vector<ColumnSelector*> selcols;
  // Text tables.
  std::string comments;         // "#" comment lines, each ending in a newline
  std::vector<std::string> keylines;  // "#k" header parameter lines, in order
  std::unique_ptr<BackendData> store;  // back end's table data (text tables, FITS extras)
};

}  // namespace tbl
