// Internals of the column selectors.
#pragma once

#include <string_view>

#include "tablelib/tbselector.h"

namespace tbl {

// Makes the entry of one column with its section ("" for the whole column,
// else "(...)" without blanks).
ColumnSelector* tcsfit(Table* tp, Column* cp, std::string_view section);

}  // namespace tbl
