// Timestamp columns: a column declared "timestamp" is sent as an 8-byte
// varbinary of the timestamp user type, and its value is renewed whenever
// its row is inserted or updated.  The values come from a one-row counter
// table, standin_timestamp, in the same database file; triggers written
// into the file do the renewing, so rows changed through any connection
// (the server's or another program's) get a new timestamp.  In SQLite the
// column holds the counter's integer value.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace standin {

// True for a declared type (any case) that makes a timestamp column.
bool is_timestamp_decl(const std::string& decl);

// The 8 big-endian bytes of a timestamp value.
std::string timestamp_bytes(std::int64_t value);

// Registers tsequal(a, b): 1 when the two timestamps (integers or 8-byte
// binary values) are equal, else 0.
void register_timestamp_functions(sqlite3* db);

// Creates the counter table and the triggers of every table of the schema
// ("main", "temp" or an attached one) that has a timestamp column and has
// no triggers yet.  Failures are ignored: the column then keeps its value.
void add_timestamp_triggers(sqlite3* db, const std::string& schema);

// The last timestamp given out in the schema; false when there is none.
bool last_timestamp(sqlite3* db, const std::string& schema, std::int64_t& value);

}  // namespace standin
