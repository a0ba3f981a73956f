// Building and reading FITS header cards (80 characters) for the header
// parameters of a FITS table.  Pure text handling; no file access.
#pragma once

#include <string>
#include <string_view>

namespace tbfcard {

inline constexpr std::size_t kCardLen = 80;

// True for the table keywords that a copy of all header parameters skips
// (XTENSION, BITPIX, NAXISn, TFORMn, TDIMn, ...).
bool tbfres(std::string_view keyword);

// True for HISTORY, COMMENT and a blank or empty keyword (first 8 characters,
// case-insensitive).
bool comment_like(std::string_view keyword);

// The keyword as a card holds it: cut to 8 characters, upper-cased, trailing
// blanks and tabs dropped.
std::string card_keyword(std::string_view keyword);

// A FITS string value in quotes, embedded quotes doubled, padded to at least
// 8 characters, and cut so that the whole quoted form has at most `room`
// characters (a doubled quote is never split).
std::string quote_value(std::string_view value, std::size_t room);

// The text of a FITS string value as a card holds it (in single quotes, a
// quote inside written twice): the enclosing quotes dropped and each doubled
// quote read as one; blanks kept.  A value without its closing quote runs to
// its end; one that does not start with a quote is returned as it is.
std::string unquote_value(std::string_view value);

// The card appended for a new parameter (type code 1 bool, 2 text, other
// numeric) from its value text, which may carry a comment.
std::string anp_card(std::string_view keyword, int type, std::string_view value_text);

// The card that replaces a parameter.  `old_comment` (may be empty) is
// appended unless the keyword is comment-like.
std::string pnp_card(std::string_view keyword, int type, std::string_view value_text,
                     std::string_view old_comment);

// A parsed header card: keyword, type code (1 bool, 2 text, 4 int, 7 double),
// value without its enclosing quotes, comment.
struct Parsed {
  std::string keyword;
  int type = 2;
  std::string value;
  std::string comment;
};

// Parses a card whose value and comment have already been split (by CFITSIO).
Parsed parse_card(std::string_view card, std::string_view value, std::string_view comment);

// Nearest int of a double, halves away from zero; outside the int range (or
// NaN) gives the undefined int -2147483647.
int nearest_int(double d);

}  // namespace tbfcard
