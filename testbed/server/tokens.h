// Encoders of the result-stream tokens the stand-in server sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wire.h"

namespace standin {

constexpr std::uint8_t kTokMsg = 0x65;
constexpr std::uint8_t kTokReturnStatus = 0x79;
constexpr std::uint8_t kTokEvent = 0xA2;
constexpr std::uint8_t kTokTabName = 0xA4;
constexpr std::uint8_t kTokColInfo = 0xA5;
constexpr std::uint8_t kTokReturnValue = 0xAC;
constexpr std::uint8_t kTokError = 0xAA;
constexpr std::uint8_t kTokInfo = 0xAB;
constexpr std::uint8_t kTokLoginAck = 0xAD;
constexpr std::uint8_t kTokRow = 0xD1;
constexpr std::uint8_t kTokParams = 0xD7;
constexpr std::uint8_t kTokCapability = 0xE2;
constexpr std::uint8_t kTokEnvChange = 0xE3;
constexpr std::uint8_t kTokParamFmt = 0xEC;
constexpr std::uint8_t kTokRowFmt = 0xEE;
constexpr std::uint8_t kTokDone = 0xFD;
constexpr std::uint8_t kTokDoneProc = 0xFE;
constexpr std::uint8_t kTokDoneInProc = 0xFF;
constexpr std::uint8_t kTokLanguage = 0x21;

constexpr std::uint16_t kDoneMore = 0x1;
constexpr std::uint16_t kDoneError = 0x2;
constexpr std::uint16_t kDoneCount = 0x10;
constexpr std::uint16_t kDoneAttention = 0x20;
constexpr std::uint16_t kDoneEvent = 0x40;

// Server datatypes used in result sets.
constexpr std::uint8_t kTypeImage = 34;
constexpr std::uint8_t kTypeText = 35;
constexpr std::uint8_t kTypeIntN = 38;
constexpr std::uint8_t kTypeVarChar = 39;
constexpr std::uint8_t kTypeVarBinary = 37;
constexpr std::uint8_t kTypeBinary = 45;
constexpr std::uint8_t kTypeChar = 47;
constexpr std::uint8_t kTypeInt = 56;
constexpr std::uint8_t kTypeDateTime = 61;
constexpr std::uint8_t kTypeFloat = 62;
constexpr std::uint8_t kTypeFloatN = 109;
constexpr std::uint8_t kTypeDateTimeN = 111;

constexpr std::uint8_t kRowFmtNullable = 0x20;
constexpr std::uint32_t kUserTypeTimestamp = 80;

// One result column as described by ROWFMT.
struct ColumnFormat {
  std::string name;
  std::uint8_t status = 0;     // kRowFmtNullable for nullable columns
  std::uint32_t user_type = 0;
  std::uint8_t type = 0;
  std::uint32_t max_length = 0;  // for variable datatypes
  std::string table;             // text and image columns only
  std::uint8_t precision = 0, scale = 0;  // numeric and decimal only
};

// One column value ready for the wire: absent for NULL, else the bytes
// (4 for int, 8 for datetime and float, the text otherwise).
using WireValue = std::optional<std::string>;

// The size of a value of a fixed-size datatype; 0 for a variable one.
std::size_t fixed_size(std::uint8_t type);

// A parameter of a procedure call, a returned parameter or an event's
// parameter: its format and its value as on the wire (big-endian).
struct ParamValue {
  std::string name;          // with its "@", or empty
  std::uint8_t status = 0;   // bit 0x1: an output parameter
  std::uint32_t user_type = 0;
  ColumnFormat format;       // type, max_length, precision, scale
  WireValue data;
};

void put_done(Bytes& b, std::uint16_t status, std::uint16_t command, std::uint32_t count,
              std::uint8_t token = kTokDone);
void put_message(Bytes& b, bool error, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                 const std::string& text, const std::string& server, const std::string& proc,
                 std::uint16_t line);
void put_envchange(Bytes& b, std::uint8_t type, const std::string& now, const std::string& before);
void put_loginack(Bytes& b, std::uint8_t status, const std::string& program);
void put_capability(Bytes& b, const std::string& request_mask, const std::string& response_mask);
void put_rowfmt(Bytes& b, const std::vector<ColumnFormat>& cols);
// Appends one ROW token; the values follow the column formats.
void put_row(Bytes& b, const std::vector<ColumnFormat>& cols, const std::vector<WireValue>& values);

// One parameter of a PARAMFMT/PARAMS pair (variable-length binary or char).
struct Param {
  std::string name;
  std::uint8_t type = kTypeVarBinary;
  std::string data;
};
void put_msg(Bytes& b, std::uint16_t id, bool has_params);

void put_returnstatus(Bytes& b, std::int32_t status);
void put_returnvalue(Bytes& b, const ParamValue& p);
// Browse information: the tables read, and per column its table number
// (0 for an expression), status bits (4 expression, 8 key, 16 hidden, 32
// with a source name) and the source name.
struct ColInfoEntry {
  std::uint8_t column = 0, table = 0, status = 0;
  std::string source;
};
void put_tabname(Bytes& b, const std::vector<std::string>& tables);
void put_colinfo(Bytes& b, const std::vector<ColInfoEntry>& cols);
// The head of an event notification (its parameters follow as return
// values, then a DONE with kDoneEvent).
void put_event(Bytes& b, const std::string& name);
void put_params(Bytes& b, const std::vector<Param>& params);

}  // namespace standin
