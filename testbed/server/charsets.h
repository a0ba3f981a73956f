// Definitions of the character sets the server can announce, as
// sp_serverinfo 'csdefinition' sends them:
//   ascii_8  class 1001 (single-byte): a 1024-byte type map (four bytes per
//            character: upper case, lower case, token kind, class bits 1
//            upper, 2 lower, 4 digit, 8 space, 16 hex digit, 32 punctuation),
//            4 bytes of padding, then a 256-byte Soundex table; ASCII
//            characters are classified, bytes from 0x80 on are plain
//   utf8     class 1002 (multibyte): a 44-byte head (id, class flag, five
//            flag bytes, then eight big-endian words: offset and length of
//            the character-length table, of the multibyte map, offset of
//            the type map, 0, offset of the Soundex table, 0), then the
//            tables: character length by first byte, multibyte map (1 for
//            bytes that start or continue a multibyte character), type map
//            and Soundex table as above
#pragma once

#include <optional>
#include <string>

namespace standin {

struct CharsetDefinition {
  int cls = 0;  // 1001 single-byte, 1002 multibyte
  int id = 0;   // sort order id
  std::string bytes;
};

std::optional<CharsetDefinition> charset_definition(const std::string& name);

}  // namespace standin
