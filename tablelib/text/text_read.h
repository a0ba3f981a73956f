// Reading a text table file (internal to the text back end).
#pragma once

#include <string>
#include <string_view>

#include "tablelib/tbtypes.h"
#include "text_model.h"

namespace tbtext {

// Line classes.
inline constexpr int kLineData = 1;
inline constexpr int kLineComment = 2;
inline constexpr int kLineKeyword = 3;
inline constexpr int kLineColumn = 4;

// Longest line (continuations joined) the reader takes.
inline constexpr std::size_t kLineSize = 5119;

// Reads the next line of the file into `line` and classifies it; counts
// physical lines in `lineno`.  Keyword and column-definition lines lose their
// newline; comment lines keep it; data lines lose a trailing comment and
// their newline.  Returns the length, or -2 at the end of the file.
long tbzlin(int fd, std::string& line, int& lineno, int& cls);

// Parses a "#c" line: name, data type, print format (empty when the file's
// format does not suit the type) and units.
void tbbecd(std::string_view line, std::string& name, int& dtype, std::string& fmt,
            std::string& units);

// Type word to the in-memory data type (real -> double, short -> int,
// bool -> string of 8).
void tbztyp(std::string_view word, int& dtype);

// Changes of a column's type while a table without column definitions is
// read: double or int to string, int to double, string to a wider string.
void tbzd2t(tbl::Table* tp, tbl::Column* cp, int width, int prec, char fmtchar);
void tbzi2t(tbl::Table* tp, tbl::Column* cp, int width);
void tbzt2t(tbl::Table* tp, tbl::Column* cp, int width);
void tbzi2d(tbl::Table* tp, tbl::Column* cp);

// The print format of a double column built from the widest width, the
// largest precision and the format letter seen.
std::string double_format(int width, int prec, char fmtchar, bool left);

}  // namespace tbtext
