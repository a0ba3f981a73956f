#include "proccall.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sqlrewrite.h"
#include "values.h"

namespace standin {
namespace {

constexpr std::uint8_t kTokDbRpc = 0xE6;
constexpr std::uint8_t kTokRpc = 0xE0;

bool variable_type(std::uint32_t t) {
  switch (t) {
    case 31: case 34: case 35: case 37: case 38: case 39: case 45: case 47:
    case 103: case 104: case 106: case 108: case 109: case 110: case 111:
      return true;
    default:
      return false;
  }
}
bool long_type(std::uint32_t t) { return t == kTypeText || t == kTypeImage; }
bool numeric_type(std::uint32_t t) { return t == 106 || t == 108; }

bool known_type(std::uint32_t t) { return variable_type(t) || fixed_size(static_cast<std::uint8_t>(t)) > 0; }

// The value of a parameter whose format has been read: a length for
// variable datatypes (0 is NULL), then the bytes.
bool read_value(Reader& r, ParamValue& p, std::string& error) {
  std::size_t n = fixed_size(p.format.type);
  if (variable_type(p.format.type)) {
    n = long_type(p.format.type) ? r.u32() : r.u8();
    if (n == 0) {
      p.data.reset();
      return !r.failed();
    }
  }
  if (n > r.left()) {
    error = "parameter " + p.name + ": " + std::to_string(n) + " bytes of data, " + std::to_string(r.left()) + " left";
    return false;
  }
  p.data = r.bytes(n);
  return !r.failed();
}

bool read_format(Reader& r, ParamValue& p, bool with_user_type, std::string& error) {
  p.name = r.bytes(r.u8());
  p.status = static_cast<std::uint8_t>(r.u8());
  if (with_user_type) p.user_type = r.u32();
  p.format.type = static_cast<std::uint8_t>(r.u8());
  if (r.failed()) {
    error = "parameter format cut short";
    return false;
  }
  if (!known_type(p.format.type)) {
    error = "parameter " + p.name + ": unknown datatype " + std::to_string(p.format.type);
    return false;
  }
  if (variable_type(p.format.type)) p.format.max_length = long_type(p.format.type) ? r.u32() : r.u8();
  else p.format.max_length = static_cast<std::uint32_t>(fixed_size(p.format.type));
  if (numeric_type(p.format.type)) {
    p.format.precision = static_cast<std::uint8_t>(r.u8());
    p.format.scale = static_cast<std::uint8_t>(r.u8());
  }
  return !r.failed();
}

// The request form without PARAMFMT: name, options, then each parameter's
// format and value together.
bool parse_request(Reader& r, ProcCall& call, std::string& error) {
  call.name = r.bytes(r.u8());
  call.options = static_cast<std::uint16_t>(r.u16());
  if (r.failed()) {
    error = "request cut short";
    return false;
  }
  while (r.left() > 0) {
    ParamValue p;
    if (!read_format(r, p, false, error) || !read_value(r, p, error)) {
      if (error.empty()) error = "parameter cut short";
      return false;
    }
    call.params.push_back(std::move(p));
  }
  return true;
}

bool parse_dbrpc(Reader& r, ProcCall& call, std::string& error) {
  std::size_t len = r.u16();
  std::size_t namelen = r.u8();
  call.name = r.bytes(namelen);
  call.options = static_cast<std::uint16_t>(r.u16());
  if (r.failed() || len != namelen + 3) {
    error = "DBRPC token length " + std::to_string(len) + " for a name of " + std::to_string(namelen) + " bytes";
    return false;
  }
  if (!(call.options & 0x02)) {
    if (r.left() != 0) error = "bytes after a call without parameters";
    return r.left() == 0;
  }
  if (r.u8() != kTokParamFmt) {
    error = "expected PARAMFMT";
    return false;
  }
  std::size_t flen = r.u16();
  if (flen > r.left()) {
    error = "PARAMFMT length " + std::to_string(flen) + " beyond the message";
    return false;
  }
  std::string fmt = r.bytes(flen);
  Reader f(reinterpret_cast<const std::uint8_t*>(fmt.data()), fmt.size());
  std::size_t count = f.u16();
  for (std::size_t i = 0; i < count; ++i) {
    ParamValue p;
    if (!read_format(f, p, true, error)) return false;
    f.skip(f.u8());  // locale
    if (f.failed()) {
      error = "PARAMFMT cut short";
      return false;
    }
    call.params.push_back(std::move(p));
  }
  if (f.left() != 0) {
    error = "PARAMFMT length " + std::to_string(flen) + " does not match its parameters";
    return false;
  }
  if (r.u8() != kTokParams) {
    error = "expected PARAMS";
    return false;
  }
  for (ParamValue& p : call.params)
    if (!read_value(r, p, error)) {
      if (error.empty()) error = "PARAMS cut short";
      return false;
    }
  if (r.left() != 0) {
    error = std::to_string(r.left()) + " bytes after PARAMS";
    return false;
  }
  return true;
}

// A literal of a language call as a parameter value.
bool literal(const std::vector<Tok>& toks, std::size_t& k, ParamValue& p) {
  const Tok& t = toks[k];
  bool negative = false;
  std::size_t at = k;
  if (t.kind == TokKind::punct && (t.text == "-" || t.text == "+")) {
    negative = t.text == "-";
    at = next_solid(toks, k + 1);
    if (at >= toks.size() || toks[at].kind != TokKind::number) return false;
  }
  const Tok& v = toks[at];
  k = at;
  switch (v.kind) {
    case TokKind::squote:
    case TokKind::dquote:
      p.format = varchar_format(v.value.size());
      p.data = v.value;
      return true;
    case TokKind::word:
      if (v.text[0] == '@') return false;  // variables are not kept
      p.format = varchar_format(v.text.size());
      if (lower(v.text) != "null") p.data = v.text;
      return true;
    case TokKind::number: {
      if (is_binary_literal(v)) {
        p.format = varbinary_format((v.text.size() - 1) / 2);
        return value_from_text(p.format, v.text, p.data);
      }
      std::string text = (negative ? "-" : "") + v.text;
      errno = 0;
      char* end = nullptr;
      long long i = std::strtoll(text.c_str(), &end, 10);
      if (*end == '\0' && errno == 0 && i >= INT32_MIN && i <= INT32_MAX) {
        p.format = int_format();
      } else {
        p.format = float_format();
      }
      return value_from_text(p.format, text, p.data);
    }
    default:
      return false;
  }
}

}  // namespace

bool parse_rpc(const Message& m, ProcCall& call, std::string& error) {
  call = ProcCall{};
  call.rpc = true;
  Reader r(m.body.data(), m.body.size());
  if (m.type == kPacketRpc) return parse_request(r, call, error);
  std::uint32_t tok = r.u8();
  if (tok == kTokDbRpc) return parse_dbrpc(r, call, error);
  if (tok != kTokRpc) {
    error = "not a procedure call";
    return false;
  }
  std::size_t len = r.u16();
  if (r.failed() || len != r.left()) {
    error = "RPC token length " + std::to_string(len) + " for " + std::to_string(r.left()) + " bytes";
    return false;
  }
  return parse_request(r, call, error);
}

bool parse_language_call(const std::vector<Tok>& toks, ProcCall& call, std::string& error) {
  call = ProcCall{};
  std::size_t k = next_solid(toks, 0);
  if (k >= toks.size() || toks[k].kind != TokKind::word) {
    error = "Incorrect syntax near 'exec'.";
    return false;
  }
  call.name = toks[k].text;
  k = next_solid(toks, k + 1);
  while (k < toks.size()) {
    ParamValue p;
    if (toks[k].kind == TokKind::word && toks[k].text[0] == '@') {
      std::size_t eq = next_solid(toks, k + 1);
      if (eq >= toks.size() || toks[eq].text != "=") {
        error = "Incorrect syntax near '" + toks[k].text + "'.";
        return false;
      }
      p.name = toks[k].text;
      k = next_solid(toks, eq + 1);
    }
    if (k >= toks.size() || !literal(toks, k, p)) {
      error = "Incorrect syntax near '" + (k < toks.size() ? toks[k].text : std::string("exec")) + "'.";
      return false;
    }
    k = next_solid(toks, k + 1);
    if (k < toks.size() && (is_word(toks[k], "output") || is_word(toks[k], "out"))) {
      p.status |= 1;
      k = next_solid(toks, k + 1);
    }
    call.params.push_back(std::move(p));
    if (k < toks.size()) {
      if (toks[k].text != ",") {
        error = "Incorrect syntax near '" + toks[k].text + "'.";
        return false;
      }
      k = next_solid(toks, k + 1);
    }
  }
  return true;
}

ParamValue* find_param(ProcCall& call, const std::string& name, std::size_t position) {
  std::string want = lower(with_at(name));
  for (ParamValue& p : call.params)
    if (!p.name.empty() && lower(with_at(p.name)) == want) return &p;
  std::size_t at = 0;
  for (ParamValue& p : call.params) {
    if (!p.name.empty()) continue;
    if (at++ == position) return &p;
  }
  return nullptr;
}

std::string describe_param(const ParamValue& p) {
  auto text = value_text(p.format, p.data);
  return (p.name.empty() ? "(unnamed)" : p.name) + " status=" + std::to_string(p.status) +
         " type=" + std::to_string(p.format.type) + " length=" + std::to_string(p.format.max_length) +
         " data=" + (p.data ? hex_digits(*p.data) : "NULL") + " value=" + (text ? *text : "NULL");
}

}  // namespace standin
