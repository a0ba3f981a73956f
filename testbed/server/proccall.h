// A procedure call as the server receives it: a remote procedure call
// (the DBRPC token with PARAMFMT and PARAMS, or the older RPC request) or
// an "exec" statement of a language batch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqldialect.h"
#include "tokens.h"
#include "wire.h"

namespace standin {

struct ProcCall {
  std::string name;
  std::uint16_t options = 0;
  std::vector<ParamValue> params;  // in the order sent
  bool rpc = false;                // a remote procedure call (returned parameters are sent back)
};

// Reads a remote procedure call from a whole message: packet type 15
// holding a DBRPC token (0xE6) or an RPC token (0xE0), or packet type 3
// holding the bare request.  Every length is checked against the bytes
// there are; false with the reason for a malformed request.
bool parse_rpc(const Message& m, ProcCall& call, std::string& error);

// Reads a language call: the procedure's name, then parameters separated
// by commas, each "[@name =] value [output]" with a quoted text, a number,
// a 0x binary value, NULL or a bare word as value.  False with the
// offending text for anything else.
bool parse_language_call(const std::vector<Tok>& toks, ProcCall& call, std::string& error);

// A parameter name with its "@" (added when it is missing).
inline std::string with_at(const std::string& name) { return name[0] == '@' ? name : "@" + name; }

// The parameter of that name (compared without case, with or without its
// "@"), else the unnamed parameter at that position (from 0); null when
// there is neither.
ParamValue* find_param(ProcCall& call, const std::string& name, std::size_t position);

// One line per parameter for the batch log:
// "@name status=1 type=38 length=4 data=0000002a value=42".
std::string describe_param(const ParamValue& p);

}  // namespace standin
