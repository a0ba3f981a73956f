// Browse mode: a "select ... for browse" is answered with its rows and,
// between the column formats and the rows, the tables it read (TABNAME)
// and what each column is (COLINFO): its table, whether it belongs to the
// table's unique key, whether it is an expression.  Key and timestamp
// columns of the from clause's tables that the select list leaves out are
// appended as hidden columns.
#pragma once

#include "sqldialect.h"
#include "sqlengine.h"
#include "wire.h"

namespace standin {

// Runs the translated browse select; `info` receives the TABNAME and
// COLINFO tokens.
bool run_browse(SqlSession& sql, const Translated& tr, const ResultLimits& limits, ResultSet& rs, Bytes& info,
                long& count, SqlError& err);

}  // namespace standin
