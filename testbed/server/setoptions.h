// The shapes of the "set" statements the server knows.
#pragma once

#include <string>
#include <vector>

#include "sqlengine.h"

namespace standin {

// Checks the words of a "set" statement after "set" (lower-cased, one per
// token) against the shape of the option they name: a flag takes "on" or
// "off"; textsize, rowcount and datefirst a number of 0 or more; language
// and dateformat one name; "transaction isolation level" a number; offsets,
// statistics, errlvl, auth and identity_insert one or more values and then
// "on" or "off"; any other option at least one value.  False when it does
// not fit, with error 102 (severity 15) "Incorrect syntax near '<word>'."
// in `e`: the word where the statement went wrong, the last one when it
// ends too soon ("set" when nothing follows it).
bool check_set_statement(const std::vector<std::string>& words, SqlError& e);

}  // namespace standin
