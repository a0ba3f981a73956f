// Datetime values of the stand-in server.
//
// Stored in SQLite as sortable text "YYYY-MM-DD HH:MM:SS.mmm"; sent on the
// wire as days since 1 January 1900 (signed 32-bit) and 1/300-second ticks
// since midnight (32-bit).  Literals in SQL may use the server's text
// forms, such as "Jan 1 2000 01:30:00 pm", "01/01/2000 13:30" or ISO.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

struct DateTimeValue {
  std::int32_t days = 0;    // days since 1900-01-01
  std::uint32_t ticks = 0;  // 1/300 s since midnight, below 25920000
};

// Parses a datetime text in any accepted form (a date must be present).
// Nothing is returned for a text that is not wholly a datetime, or for a
// value outside 1 January 1753 to 31 December 9999.
std::optional<DateTimeValue> parse_datetime(std::string_view text);

// True when the text has the stored form (ISO date, optional time).
bool looks_like_stored_datetime(std::string_view text);

// The sortable stored form "YYYY-MM-DD HH:MM:SS.mmm".
std::string to_stored(const DateTimeValue& v);

// The 8 wire bytes: days then ticks, both big-endian.
std::string to_wire(const DateTimeValue& v);

// Current local time.
DateTimeValue now_local();

}  // namespace standin
