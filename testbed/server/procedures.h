// The procedures built into the stand-in server.  A procedure writes its
// result sets and messages into the reply and sets its return status and
// output parameters; the session adds the RETURNSTATUS, the returned
// parameters (remote procedure calls only) and the DONEPROC.
//
// Catalogue procedures (proc_catalogue.cpp):
//   sp_tables [@table_name =] pattern [, @table_owner = o]
//             [, @table_qualifier = q] [, @table_type = "'TABLE','VIEW'"]
//       one row per table or view: qualifier, owner, name, type, remarks
//   sp_special_columns @table_name = t [, @table_owner = o]
//             [, @table_qualifier = q] [, @col_type = 'R' | 'V']
//       the columns of the table's unique key ('R', the default) or its
//       timestamp column ('V'): scope, column_name, data_type, type_name,
//       precision, length, scale, pseudo_column
//   sp_serverinfo 'csdefinition', set
//       the character set's class, id and definition (charsets.h)
//
// Procedures for exercising calls (proc_builtin.cpp):
//   echo_params any parameters...
//       a row per parameter (name, type, length, value as the server read
//       it); every parameter comes back as a returned parameter, the
//       input ones with status 0 (which the client does not number),
//       unchanged; the return status is the int parameter @status, else 0
//   run_sql @sql = statements, any parameters...
//       runs the statements with the other parameters bound by name
//       (@name in the text); each result set is sent; an output parameter
//       receives the column of its name (without "@") of the last row of
//       the last result set; the return status is the int parameter
//       @status, else 0
//   raise_error @number = n, @severity = s, @message = text [, @status = n]
//       an error message from the procedure; return status @status, else -6
//   watch_event @name = event
//       registers the session for the event (events.h)
//   raise_event @name = event, [@message = text,] any parameters...
//       notifies every registered session; the other parameters are the
//       notification's parameters, @message an informational message in
//       it; the return status is the number of sessions notified
#pragma once

#include <cstdint>
#include <string>

#include "config.h"
#include "events.h"
#include "proccall.h"
#include "sqlengine.h"

namespace standin {

struct ProcEnv {
  SqlSession& sql;
  const ServerConfig& cfg;
  EventHub* events;
  long session;
  const std::string& database;
  const ResultLimits& limits;
};

struct ProcReply {
  Bytes body;               // result sets (each ending with DONEINPROC) and messages
  std::int32_t status = 0;  // the return status
  bool failed = false;      // an error message was sent
  bool echo_inputs = false; // input parameters come back too (status 0)
};

using Procedure = void (*)(const ProcEnv&, ProcCall&, ProcReply&);

// The built-in procedure of that name (compared without case), or null.
Procedure find_procedure(const std::string& name);
bool is_procedure_name(const std::string& lower_name);

// For the procedures: a nullable result column of that name and format,
// a result set, and an error message from `proc` with the return status
// the failed call gives.
ColumnFormat result_column(const char* name, ColumnFormat f);
void proc_result(ProcReply& r, const ResultSet& rs);
void proc_error(const ProcEnv& env, ProcReply& r, const std::string& proc, std::uint32_t number,
                std::uint8_t severity, const std::string& text, std::int32_t status);
// The text of a parameter ("" when it is missing or NULL).
std::string param_text(ProcCall& call, const std::string& name, std::size_t position);

// The procedures themselves.
void sp_tables(const ProcEnv&, ProcCall&, ProcReply&);
void sp_special_columns(const ProcEnv&, ProcCall&, ProcReply&);
void sp_serverinfo(const ProcEnv&, ProcCall&, ProcReply&);
void echo_params(const ProcEnv&, ProcCall&, ProcReply&);
void run_sql(const ProcEnv&, ProcCall&, ProcReply&);
void raise_error(const ProcEnv&, ProcCall&, ProcReply&);
void watch_event(const ProcEnv&, ProcCall&, ProcReply&);
void raise_event(const ProcEnv&, ProcCall&, ProcReply&);

}  // namespace standin
