// Number and word parsing.
//
// The c-to-x routines read from `str` starting at index `ip` (0-based), skip
// leading blanks and tabs, and on success advance `ip` past what they read
// and return the number of characters consumed (leading blanks included);
// on failure they return 0 and leave `ip` and the value unchanged.  The end
// of the string and a NUL byte both end the text.
//
// Numbers: an optional sign, digits with an optional decimal point, an
// optional exponent (e, E, d or D, with optional sign), or sexagesimal
// "h:m:s.s" / "m:s.s" (a leading "-" negates the whole value).  The word
// "INDEF" reads as the type's undefined value.  An integer whose value does
// not fit the type does not read (returns 0).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vos {

std::size_t ctod(std::string_view str, std::size_t& ip, double& value);
std::size_t ctor(std::string_view str, std::size_t& ip, float& value);
// ctoi/ctol read decimal integers only (no fraction, no exponent).
std::size_t ctoi(std::string_view str, std::size_t& ip, int& value);
std::size_t ctol(std::string_view str, std::size_t& ip, long& value);

// Reads one word: a quoted string ("..." or '...', the quotes removed; a
// backslash before the quote character puts it into the word), or a run of
// characters up to a blank, tab or newline.  At most `maxch` characters are
// kept (the rest of the word is still consumed).  Returns the characters
// consumed after the leading blanks (quotes included), 0 when no word is left.
std::size_t ctowrd(std::string_view str, std::size_t& ip, std::string& word,
                   std::size_t maxch = 1023);

// Token types of ctotok.
enum : int {
  TOK_IDENTIFIER = 1,   // letter or '_', then letters, digits, '_', '.', '$'
  TOK_NUMBER = 2,       // digits (with '.', exponent); stops before a letter
  TOK_OPERATOR = 3,     // + - * / = < > ! & | ^ ~ % (and ==, !=, <=, >=, **, &&, ||)
  TOK_PUNCTUATION = 4,  // ( ) , : ; [ \ ] { }
  TOK_STRING = 5,       // "..." (token holds the text without quotes)
  TOK_CHARCON = 6,      // '...'
  TOK_EOS = 7,          // end of string
  TOK_NEWLINE = 8,      // newline character
  TOK_UNKNOWN = 9,      // anything else (one character)
};

// Reads one token (leading blanks and tabs skipped) into `token` (at most
// `maxch` characters) and returns its type.
int ctotok(std::string_view str, std::size_t& ip, std::string& token,
           std::size_t maxch = 1023);

// ---- scanning a line: sscan + garg* --------------------------------------
//
// sscan(text) starts scanning `text` (copied).  Each garg* reads the next
// field; when it reads, the value is stored and nscan() goes up by one; when
// it does not, the value is left unchanged, and every later garg* of the same
// scan fails too.  nscan() is the number of fields read so far.
void sscan(std::string_view text);
int nscan();
// Numbers are read as by ctod; "INDEF" gives the type's undefined value.  For
// gargi/gargs/gargl a value whose magnitude does not fit the type (or that is
// INDEF) gives the type's undefined value; fractions truncate toward zero.
// gargr gives the undefined real for magnitudes beyond the float range.
void gargd(double& value);
void gargr(float& value);
void gargi(int& value);
void gargl(long& value);
void gargs(short& value);
// Boolean: the first non-blank character y/Y gives true, n/N false, and the
// rest of the word (letters and '_') is skipped; any other word does not read.
void gargb(bool& value);
// One word as by ctowrd.
void gargwrd(std::string& word, std::size_t maxch = 1023);
// The rest of the line (without a final newline).
void gargstr(std::string& text, std::size_t maxch = 1023);

}  // namespace vos
