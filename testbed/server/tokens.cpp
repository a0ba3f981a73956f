#include "tokens.h"

namespace standin {

std::size_t fixed_size(std::uint8_t type) {
  switch (type) {
    case 48: case 50: return 1;            // tinyint, bit
    case 52: return 2;                     // smallint
    case 56: case 59: case 122: case 58: return 4;  // int, real, smallmoney, smalldatetime
    case 62: case 60: case 61: return 8;   // float, money, datetime
    default: return 0;
  }
}

void put_done(Bytes& b, std::uint16_t status, std::uint16_t command, std::uint32_t count, std::uint8_t token) {
  b.u8(token);
  b.u16(status);
  b.u16(command);
  b.u32(count);
}

void put_message(Bytes& b, bool error, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                 const std::string& text, const std::string& server, const std::string& proc,
                 std::uint16_t line) {
  std::string t = text.size() > 4000 ? text.substr(0, 4000) : text;
  std::string s = server.substr(0, 255);
  std::string p = proc.substr(0, 255);
  std::size_t len = 4 + 1 + 1 + 2 + t.size() + 1 + s.size() + 1 + p.size() + 2;
  b.u8(error ? kTokError : kTokInfo);
  b.u16(static_cast<std::uint32_t>(len));
  b.u32(number);
  b.u8(state);
  b.u8(severity);
  b.u16(static_cast<std::uint32_t>(t.size()));
  b.raw(t);
  b.str8(s);
  b.str8(p);
  b.u16(line);
}

void put_envchange(Bytes& b, std::uint8_t type, const std::string& now, const std::string& before) {
  std::string n = now.substr(0, 255), o = before.substr(0, 255);
  b.u8(kTokEnvChange);
  b.u16(static_cast<std::uint32_t>(1 + 1 + n.size() + 1 + o.size()));
  b.u8(type);
  b.str8(n);
  b.str8(o);
}

void put_loginack(Bytes& b, std::uint8_t status, const std::string& program) {
  std::string p = program.substr(0, 255);
  b.u8(kTokLoginAck);
  b.u16(static_cast<std::uint32_t>(1 + 4 + 1 + p.size() + 4));
  b.u8(status);
  b.u8(5); b.u8(0); b.u8(0); b.u8(0);  // protocol 5.0
  b.str8(p);
  b.u8(1); b.u8(0); b.u8(0); b.u8(0);  // program version
}

void put_capability(Bytes& b, const std::string& request_mask, const std::string& response_mask) {
  b.u8(kTokCapability);
  b.u16(18);
  b.u8(1);
  b.u8(7);
  b.raw(request_mask.substr(0, 7));
  for (std::size_t i = request_mask.size(); i < 7; ++i) b.u8(0);
  b.u8(2);
  b.u8(7);
  b.raw(response_mask.substr(0, 7));
  for (std::size_t i = response_mask.size(); i < 7; ++i) b.u8(0);
}

// Length information that follows the datatype in a format token.
static void put_length_info(Bytes& b, const ColumnFormat& c) {
  if (fixed_size(c.type)) return;
  switch (c.type) {
    case kTypeText:
    case kTypeImage: {
      b.u32(c.max_length);
      std::string t = c.table.substr(0, 255);
      b.u16(static_cast<std::uint32_t>(t.size()));
      b.raw(t);
      break;
    }
    case 106:
    case 108:
      b.u8(c.max_length > 255 ? 255 : c.max_length);
      b.u8(c.precision);
      b.u8(c.scale);
      break;
    default:
      b.u8(c.max_length > 255 ? 255 : c.max_length);
  }
}

// One value as in a row: fixed types as their bytes, text and image with
// their text pointer, other types after a length byte (0 is NULL).
static void put_value(Bytes& b, const ColumnFormat& c, const WireValue& v) {
  static const char kTextPtr[16] = {'s', 't', 'a', 'n', 'd', 'i', 'n', 't', 'e', 'x', 't', 'p', 't', 'r', 0, 1};
  static const char kStamp[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  if (std::size_t n = fixed_size(c.type)) {
    // Fixed types are never NULL; a missing value is sent as zeros.
    std::string s = v ? v->substr(0, n) : std::string();
    s.resize(n, '\0');
    b.raw(s);
    return;
  }
  switch (c.type) {
    case kTypeText:
    case kTypeImage:
      if (!v || v->empty()) {
        b.u8(0);
      } else {
        b.u8(16);
        b.raw(kTextPtr, 16);
        b.raw(kStamp, 8);
        b.u32(static_cast<std::uint32_t>(v->size()));
        b.raw(*v);
      }
      break;
    default:
      if (!v) {
        b.u8(0);
      } else {
        // A length of 0 means NULL, so an empty text goes out as one blank
        // and an empty binary value as one zero byte.
        bool binary = c.type == kTypeVarBinary || c.type == kTypeBinary;
        std::string s = v->empty() ? std::string(binary ? std::string(1, '\0') : " ") : v->substr(0, 255);
        b.str8(s);
      }
  }
}

void put_rowfmt(Bytes& b, const std::vector<ColumnFormat>& cols) {
  Bytes body;
  body.u16(static_cast<std::uint32_t>(cols.size()));
  for (const auto& c : cols) {
    body.str8(c.name);
    body.u8(c.status);
    body.u32(c.user_type);
    body.u8(c.type);
    put_length_info(body, c);
    body.u8(0);  // no locale
  }
  b.u8(kTokRowFmt);
  b.u16(static_cast<std::uint32_t>(body.size()));
  b.raw(body);
}

void put_row(Bytes& b, const std::vector<ColumnFormat>& cols, const std::vector<WireValue>& values) {
  b.u8(kTokRow);
  for (std::size_t i = 0; i < cols.size(); ++i) put_value(b, cols[i], i < values.size() ? values[i] : WireValue{});
}

void put_returnstatus(Bytes& b, std::int32_t status) {
  b.u8(kTokReturnStatus);
  b.u32(static_cast<std::uint32_t>(status));
}

void put_returnvalue(Bytes& b, const ParamValue& p) {
  Bytes body;
  body.str8(p.name);
  body.u8(p.status);
  body.u32(p.user_type);
  body.u8(p.format.type);
  put_length_info(body, p.format);
  put_value(body, p.format, p.data);
  b.u8(kTokReturnValue);
  b.u16(static_cast<std::uint32_t>(body.size()));
  b.raw(body);
}

void put_tabname(Bytes& b, const std::vector<std::string>& tables) {
  Bytes body;
  for (const auto& t : tables) body.str8(t);
  b.u8(kTokTabName);
  b.u16(static_cast<std::uint32_t>(body.size()));
  b.raw(body);
}

void put_colinfo(Bytes& b, const std::vector<ColInfoEntry>& cols) {
  Bytes body;
  for (const auto& c : cols) {
    body.u8(c.column);
    body.u8(c.table);
    body.u8(c.status);
    if (c.status & 0x20) body.str8(c.source);
  }
  b.u8(kTokColInfo);
  b.u16(static_cast<std::uint32_t>(body.size()));
  b.raw(body);
}

void put_event(Bytes& b, const std::string& name) {
  std::string n = name.substr(0, 255);
  b.u8(kTokEvent);
  b.u16(static_cast<std::uint32_t>(1 + n.size()));
  b.str8(n);
}

void put_msg(Bytes& b, std::uint16_t id, bool has_params) {
  b.u8(kTokMsg);
  b.u8(3);
  b.u8(has_params ? 1 : 0);
  b.u16(id);
}

void put_params(Bytes& b, const std::vector<Param>& params) {
  Bytes fmt;
  fmt.u16(static_cast<std::uint32_t>(params.size()));
  for (const auto& p : params) {
    fmt.str8(p.name);
    fmt.u8(0);   // status
    fmt.u32(0);  // user type
    fmt.u8(p.type);
    fmt.u8(255);  // maximum length
    fmt.u8(0);    // locale
  }
  b.u8(kTokParamFmt);
  b.u16(static_cast<std::uint32_t>(fmt.size()));
  b.raw(fmt);
  b.u8(kTokParams);
  for (const auto& p : params) b.str8(p.data);
}

}  // namespace standin
