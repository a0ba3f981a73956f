// Internals of the header-parameter routines shared by their two files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tbl {

// Index (0-based) where the comment of a header-parameter record starts,
// or npos when it has none.
std::size_t tbhfcm(std::string_view record);

// Keyword as records hold it: cut to 8 characters and upper-cased.
std::string tbhkey(std::string_view kw);

}  // namespace tbl
