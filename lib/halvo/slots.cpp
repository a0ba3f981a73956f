// The numbered string slots through which 8-bit strings of callers cross
// into the table routines and back.  Sizes are size_t: a slot grows to any
// length the heap allows.
#include <new>
#include <vector>

#include "halvo/c_tables.h"
#include "halvo/halvo.h"
#include "vos/error.h"
#include "vos/memory.h"

namespace {

struct Slot {
  std::vector<char16_t> buf;
};

Slot* slots() {
  static Slot s[CH2I_nslots] = {Slot{std::vector<char16_t>(halvomsglen + 1, 0)}, {}, {}, {}, {}};
  return s;
}

Slot& slot_at(int slot) {
  if (slot < 0 || slot >= CH2I_nslots) halvofl(1, "Bad string slot");
  return slots()[slot];
}

}  // namespace

void halvo::CH2I_chk_buffer(int slot, std::size_t n) {
  Slot& s = slot_at(slot);
  if (n < s.buf.size() && n + 1 < s.buf.size()) return;
  if (n >= static_cast<std::size_t>(-1) / 4) halvofl(vos::SYS_MFULL, "Out of memory");
  std::size_t size = ((n + 1) / 512 + 1) * 512;
  try {
    std::vector<char16_t>().swap(s.buf);  // the old buffer goes first
    s.buf.assign(size, 0);
  } catch (const std::bad_alloc&) {
    halvofl(vos::SYS_MFULL, "Out of memory");
  }
}

std::size_t halvo::CH2I_buffersize(int slot) { return slot_at(slot).buf.size(); }

char16_t* halvo::CH2I_buffer(int slot) {
  Slot& s = slot_at(slot);
  return s.buf.empty() ? nullptr : s.buf.data();
}

char16_t* halvo::char2vos(const char* str, int slot) {
  if (!str) str = "";
  std::size_t n = std::char_traits<char>::length(str);
  CH2I_chk_buffer(slot, n + 1);
  char16_t* b = CH2I_buffer(slot);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<char16_t>(static_cast<signed char>(str[i]));  // signed widening
  b[n] = 0;
  return b;
}

void halvo::vos2char(char* out, std::size_t maxch, int slot) {
  if (!out) return;
  const char16_t* b = CH2I_buffer(slot);
  std::size_t size = CH2I_buffersize(slot);
  std::size_t i = 0;
  for (; b && i < maxch && i < size && b[i] != 0; ++i) out[i] = static_cast<char>(b[i] & 0xff);
  out[i] = '\0';
}

char16_t* halvo::twodchar2vos(const char* const* strings, std::size_t maxch, std::size_t count,
                              int slot) {
  CH2I_chk_buffer(slot, (maxch + 1) * count);
  char16_t* b = CH2I_buffer(slot);
  for (std::size_t k = 0; k < count; ++k) {
    char16_t* run = b + k * (maxch + 1);
    const char* s = strings ? strings[k] : nullptr;
    std::size_t i = 0;
    for (; s && i < maxch && s[i] != '\0'; ++i) run[i] = static_cast<char16_t>(static_cast<signed char>(s[i]));
    run[i] = 0;
  }
  return b;
}

void halvo::vos2twodchar(char* const* strings, std::size_t maxch, std::size_t count, int slot) {
  const char16_t* b = CH2I_buffer(slot);
  std::size_t size = CH2I_buffersize(slot);
  for (std::size_t k = 0; k < count; ++k) {
    char* out = strings ? strings[k] : nullptr;
    if (!out) continue;
    std::size_t start = k * (maxch + 1), i = 0;
    for (; b && i < maxch && start + i < size && b[start + i] != 0; ++i)
      out[i] = static_cast<char>(b[start + i] & 0xff);
    out[i] = '\0';
  }
}

std::string halvo::slot_string(int slot, std::size_t offset) {
  const char16_t* b = CH2I_buffer(slot);
  std::size_t size = CH2I_buffersize(slot);
  std::string s;
  for (std::size_t i = offset; b && i < size && b[i] != 0; ++i) s.push_back(static_cast<char>(b[i] & 0xff));
  return s;
}

void halvo::slot_put(int slot, std::string_view s, std::size_t offset, std::size_t maxch) {
  char16_t* b = CH2I_buffer(slot);
  std::size_t size = CH2I_buffersize(slot);
  if (!b || offset >= size) return;
  std::size_t n = s.size() < maxch ? s.size() : maxch;
  if (n > size - offset - 1) n = size - offset - 1;
  for (std::size_t i = 0; i < n; ++i) b[offset + i] = static_cast<char16_t>(static_cast<signed char>(s[i]));
  b[offset + n] = 0;
}

// Element numbers of VOS character memory and addresses, both ways; no
// binding routine needs them, they are there for callers of the binding.
extern "C" void* c_VosString(ptrdiff_t p) { return vos::char_element(p); }

extern "C" ptrdiff_t c_VosPointer(const void* address) { return vos::char_index(address); }

std::string& halvo::slot_scratch(int slot) {
  static std::string s[CH2I_nslots];
  if (slot < 1 || slot >= CH2I_nslots) halvofl(1, "Bad string slot");
  return s[slot];
}

std::vector<std::string>& halvo::slot_scratch_array(int slot) {
  static std::vector<std::string> s[CH2I_nslots];
  if (slot < 1 || slot >= CH2I_nslots) halvofl(1, "Bad string slot");
  return s[slot];
}
