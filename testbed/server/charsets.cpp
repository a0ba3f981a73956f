#include "charsets.h"

#include <cctype>

#include "values.h"

namespace standin {
namespace {

std::string type_map() {
  std::string m(1024, '\0');
  for (int b = 0; b < 256; ++b) {
    bool ascii = b < 0x80;
    unsigned char upper = static_cast<unsigned char>(b), lower = static_cast<unsigned char>(b);
    std::uint8_t tok = 1, cls = 0;
    if (ascii) {
      upper = static_cast<unsigned char>(std::toupper(b));
      lower = static_cast<unsigned char>(std::tolower(b));
      if (std::isupper(b)) cls |= 1;
      if (std::islower(b)) cls |= 2;
      if (std::isdigit(b)) { cls |= 4; tok = 2; }
      if (std::isspace(b)) { cls |= 8; tok = 8; }
      if (std::isxdigit(b)) cls |= 16;
      if (std::ispunct(b)) { cls |= 32; tok = 32; }
      if (std::iscntrl(b) && !std::isspace(b)) tok = 8;
      if (b == '_' || b == '#' || b == '@') tok = 1;
      if (b == '\'' || b == '"') tok = 16;
      if (b == '$') tok = 64;
    }
    m[static_cast<std::size_t>(4 * b)] = static_cast<char>(upper);
    m[static_cast<std::size_t>(4 * b + 1)] = static_cast<char>(lower);
    m[static_cast<std::size_t>(4 * b + 2)] = static_cast<char>(tok);
    m[static_cast<std::size_t>(4 * b + 3)] = static_cast<char>(cls);
  }
  return m;
}

std::string soundex() {
  std::string s(256, '\0');
  const char* codes = "01230120022455012623010202";  // A..Z
  for (int i = 0; i < 26; ++i) s[static_cast<std::size_t>('A' + i)] = s[static_cast<std::size_t>('a' + i)] = codes[i];
  return s;
}

std::string utf8_lengths() {
  std::string t(256, '\1');
  for (int b = 0xC0; b < 0x100; ++b)
    t[static_cast<std::size_t>(b)] = static_cast<char>(b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1);
  return t;
}

std::string utf8_map() {
  std::string t(256, '\0');
  for (int b = 0x80; b < 0xF8; ++b) t[static_cast<std::size_t>(b)] = 1;
  return t;
}

}  // namespace

std::optional<CharsetDefinition> charset_definition(const std::string& name) {
  if (name == "ascii_8") return CharsetDefinition{1001, 50, type_map() + std::string(4, '\0') + soundex()};
  if (name == "utf8") {
    std::string lengths = utf8_lengths(), map = utf8_map(), types = type_map(), sx = soundex();
    const std::size_t head = 44, len_at = head, map_at = len_at + lengths.size(), type_at = map_at + map.size(),
                      sx_at = type_at + types.size();
    std::string d = be_bytes(190, 2) + std::string(1, '\2') + std::string("\1\1\0\1\1", 5) + std::string(4, '\0');
    d += be_bytes(len_at, 4) + be_bytes(lengths.size(), 4) + be_bytes(map_at, 4) + be_bytes(map.size(), 4);
    d += be_bytes(type_at, 4) + be_bytes(0, 4) + be_bytes(sx_at, 4) + be_bytes(0, 4);
    return CharsetDefinition{1002, 50, d + lengths + map + types + sx};
  }
  return std::nullopt;
}

}  // namespace standin
