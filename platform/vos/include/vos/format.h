// Formatted output in the VOS style.
//
// A format is a text with conversions "%[-][0][width][.precision]C":
//   d  decimal integer        x  hexadecimal         o  octal
//      (a precision is the minimum number of digits)
//   g f e  floating point (as in C)
//   h  sexagesimal h:mm:ss.s   m  sexagesimal m:ss.s  (precision = decimals
//                                                     of the last field)
//   s  string                 c  character
//   b  boolean: "yes" or "no"  %% a percent sign
// Width and precision may be "*" (taken from the next integer argument).
// An argument of any type may go to any conversion: a number printed with
// %s is printed as with %g (integers as %d); a string printed with a numeric
// conversion is scanned as a number first (text that does not read prints as
// INDEF); floating values printed with d, x or o are rounded to the nearest
// integer (halves away from zero); %b prints "yes" for a non-zero number or a
// string beginning with y/Y/t/T.  An undefined value (indef.h) of a numeric
// argument prints as "INDEF" in the field's width and justification.
// Missing arguments print as nothing; extra arguments are ignored.  An
// unknown conversion letter is copied as is.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vos {

// One formatting argument (the `parg*` of a call), made implicitly from the
// value.
class Arg {
 public:
  enum class Kind { Bool, Short, Int, Long, Real, Double, String };
  Arg(bool v) : kind_(Kind::Bool), i_(v ? 1 : 0) {}
  Arg(short v) : kind_(Kind::Short), i_(v) {}
  Arg(char v) : kind_(Kind::Int), i_(static_cast<unsigned char>(v)) {}
  Arg(int v) : kind_(Kind::Int), i_(v) {}
  Arg(long v) : kind_(Kind::Long), i_(v) {}
  Arg(long long v) : kind_(Kind::Long), i_(static_cast<long>(v)) {}
  Arg(unsigned v) : kind_(Kind::Long), i_(static_cast<long>(v)) {}
  Arg(unsigned long v) : kind_(Kind::Long), i_(static_cast<long>(v)) {}
  Arg(float v) : kind_(Kind::Real), d_(v) {}
  Arg(double v) : kind_(Kind::Double), d_(v) {}
  Arg(const char* v) : kind_(Kind::String), s_(v ? v : "") {}
  Arg(const std::string& v) : kind_(Kind::String), s_(v) {}
  Arg(std::string_view v) : kind_(Kind::String), s_(v) {}

  Kind kind() const { return kind_; }
  long int_value() const { return i_; }
  double real_value() const { return d_; }
  std::string_view str() const { return s_; }

 private:
  Kind kind_;
  long i_ = 0;
  double d_ = 0.0;
  std::string_view s_;
};

// Formats `args` by `format`.
std::string vformat(std::string_view format, std::initializer_list<Arg> args);

// sprintf: the formatted text.  Callers that need a bound cut the result.
template <class... A>
std::string sprintf(std::string_view format, const A&... args) {
  return vformat(format, {Arg(args)...});
}

// sprintf into a bounded result: at most `maxch` characters.
template <class... A>
std::string sprintf_max(std::size_t maxch, std::string_view format, const A&... args) {
  std::string s = vformat(format, {Arg(args)...});
  if (s.size() > maxch) s.resize(maxch);
  return s;
}

// Formatted output to a file descriptor, to STDOUT, and to STDERR.
void fprintf_text(int fd, std::string_view text);
template <class... A>
void fprintf(int fd, std::string_view format, const A&... args) {
  fprintf_text(fd, vformat(format, {Arg(args)...}));
}
template <class... A>
void printf(std::string_view format, const A&... args) {
  fprintf_text(4 /* STDOUT */, vformat(format, {Arg(args)...}));
}
template <class... A>
void eprintf(std::string_view format, const A&... args) {
  fprintf_text(5 /* STDERR */, vformat(format, {Arg(args)...}));
}

// Integer to decimal text.
std::string itoc(long value);

}  // namespace vos
