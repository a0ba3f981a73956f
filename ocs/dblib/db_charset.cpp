// Character-set attribute records built from a server's character-set
// definition (single-byte class 1001, multibyte class 1002).
#include <cstring>

#include "comnlib/com_types.h"
#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

namespace {

constexpr long kTypeMapLen = 1024;  // 256 entries of 4 bytes
constexpr long kSoundexLen = 256;

uint32_t be32(const BYTE* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// True when [off, off + len) lies inside a definition of `deflen` bytes.
bool inside(uint32_t off, long len, long deflen) {
  return static_cast<long>(off) <= deflen && len <= deflen - static_cast<long>(off);
}

}  // namespace

com_charattrib* com_alloc_char_attrib() {
  return static_cast<com_charattrib*>(comn_calloc(1, sizeof(com_charattrib)));
}

void com_free_char_attrib(com_charattrib* rec) { comn_free(rec); }

int com_build_char_attrib(int cls, int id, const char* name, const BYTE* def, long deflen,
                          com_charattrib* rec) {
  if (!rec || !def || !name) return 0;
  std::memset(rec, 0, sizeof *rec);
  std::size_t n = std::strlen(name);
  if (n > sizeof rec->name) n = sizeof rec->name;
  std::memcpy(rec->name, name, n);
  rec->namelen = static_cast<int16_t>(n);
  rec->id = static_cast<uint8_t>(id);
  if (cls == 1001) {
    // The type map is the definition itself, the Soundex table 1028 bytes in.
    if (!inside(1028, kSoundexLen, deflen)) return 0;
    rec->status = 0;
    rec->cs_class = 1;
    const uint8_t flags[5] = {1, 1, 0, 1, 1};
    std::memcpy(rec->flags, flags, 5);
    rec->typemap = def;
    rec->soundex = def + 1028;
    return 1;
  }
  if (cls != 1002 || deflen < 44) return 0;
  rec->status = static_cast<int16_t>((def[0] << 8) | def[1]);
  rec->cs_class = def[2];
  rec->flags[0] = def[3];
  rec->flags[1] = def[4];
  rec->flags[2] = def[6];
  rec->flags[3] = def[5];
  rec->flags[4] = def[7];
  uint32_t lenoff = be32(def + 12), lenlen = be32(def + 16);
  uint32_t mboff = be32(def + 20), mblen = be32(def + 24);
  uint32_t typeoff = be32(def + 28), soundoff = be32(def + 36);
  // Every table must lie inside the definition.
  if ((lenlen && !inside(lenoff, lenlen, deflen)) || (mblen && !inside(mboff, mblen, deflen)) ||
      !inside(typeoff, kTypeMapLen, deflen) || !inside(soundoff, kSoundexLen, deflen))
    return 0;
  rec->lentab = lenlen ? def + lenoff : nullptr;
  rec->mbmap = mblen ? def + mboff : nullptr;
  rec->typemap = def + typeoff;
  rec->soundex = def + soundoff;
  return 1;
}
