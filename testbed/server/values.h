// Values of the server's datatypes as wire bytes (big-endian), as text,
// and as what SQLite binds: the decoding of procedure parameters, the
// encoding of returned parameters, and the parameters of a language call.
//
// Text forms: integers and bits in decimal, floats with enough digits to
// read back ("%.9g" for 4 bytes, "%.17g" for 8), money with four decimals,
// datetimes in the stored form "YYYY-MM-DD HH:MM:SS.mmm", binary values as
// "0x" and lower-case hexadecimal digits, character values as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tokens.h"

namespace standin {

// The text of a value of the given format; nothing for NULL or for bytes
// that do not fit the datatype.
std::optional<std::string> value_text(const ColumnFormat& f, const WireValue& v);

// Encodes a text (in the forms above; a datetime in any accepted form) as
// a value of the given format; false when the text does not fit it.
bool value_from_text(const ColumnFormat& f, const std::string& text, WireValue& out);

// A value as SQLite binds it.
struct BindValue {
  enum Kind { null, integer, real, text, blob } kind = null;
  std::int64_t i = 0;
  double d = 0;
  std::string s;
};
BindValue bind_value(const ColumnFormat& f, const WireValue& v);

// Formats of a language call's literals: int, float, varchar, varbinary.
ColumnFormat int_format();
ColumnFormat float_format();
ColumnFormat varchar_format(std::size_t length);
ColumnFormat varbinary_format(std::size_t length);

// Big-endian bytes of an integer of n bytes.
std::string be_bytes(std::uint64_t v, std::size_t n);

}  // namespace standin
