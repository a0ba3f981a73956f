// Updatable views.  A view whose columns all come from one table, among
// them every column of that table's unique key, can be the target of an
// update, delete or insert, as on the server this one stands in for: the
// session gives it INSTEAD OF triggers (temporary ones, of its own
// connection) that change the table's row with the same key.  Each such
// trigger calls standin_view_change(), so that the statement's row count
// counts the view's rows changed.
#pragma once

#include <string>

struct sqlite3;

namespace standin {

// Adds the triggers to the views of the schema that have none yet.
void add_view_triggers(sqlite3* db, const std::string& schema);

}  // namespace standin
