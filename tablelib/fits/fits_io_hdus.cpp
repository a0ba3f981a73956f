// The CFITSIO interface layer's bookkeeping of open files (see
// fits_io_hdus.h), and the wrappers whose work is mostly that bookkeeping:
// closing, appending, inserting and deleting HDUs, and files held in memory.
#include "fits_io_hdus.h"

extern "C" {
#include <fitsio2.h>  // the file structure, ffmbyt, uncompress2mem
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace tbfio {
namespace {

// What the layer keeps about an open file: the HDUs changed through it (by
// CFITSIO's HDU number, 0 the primary), and the memory holding a file
// opened from compressed bytes (CFITSIO keeps the addresses of both words).
struct FileState {
  std::set<int> changed;
  struct Memory {
    void* addr = nullptr;
    std::size_t size = 0;
  };
  std::unique_ptr<Memory> memory;
};

std::unordered_map<const FITSfile*, FileState>& file_states() {
  static std::unordered_map<const FITSfile*, FileState> states;
  return states;
}

void forget_last() {
  g_touched_file = nullptr;
  g_touched_hdu = -1;
}

}  // namespace

bool writable(Handle f) {
  return f != nullptr && f->Fptr != nullptr && f->Fptr->writemode == READWRITE;
}

void touch_first(Handle f) {
  if (!writable(f)) return;
  file_states()[f->Fptr].changed.insert(f->HDUposition);
  g_touched_file = f->Fptr;
  g_touched_hdu = f->HDUposition;
}

bool changed_here(Handle f) {
  auto it = file_states().find(f->Fptr);
  return it != file_states().end() && it->second.changed.count(f->HDUposition) != 0;
}

void take_as_reader(Handle f, bool reader) { f->Fptr->writemode = reader ? READONLY : READWRITE; }

HduTail keep_tail(Handle f) {
  HduTail tail;
  if (!writable(f) || changed_here(f)) return tail;
  int st = 0;
  LONGLONG head = 0, data = 0, end = 0;
  ffghadll(f, &head, &data, &end, &st);
  HduTail::Part& header = tail.parts[0];
  HduTail::Part& last = tail.parts[1];
  header.at = f->Fptr->headend;
  header.bytes.resize(static_cast<std::size_t>(std::max(0LL, data - header.at)));
  last.at = std::max(data, end - 2880);
  last.bytes.resize(static_cast<std::size_t>(std::max(0LL, end - last.at)));
  for (HduTail::Part& p : tail.parts) {
    if (p.bytes.empty()) continue;
    ffmbyt(f, p.at, REPORT_EOF, &st);
    ffgbyt(f, static_cast<LONGLONG>(p.bytes.size()), p.bytes.data(), &st);
  }
  if (st != 0) {
    ffcmsg();  // an HDU cut short keeps nothing: the insertion reports it
    return HduTail{};
  }
  tail.kept = true;
  return tail;
}

void put_back(Handle f, const HduTail& tail, int& status) {
  if (!tail.kept) return;
  for (const HduTail::Part& p : tail.parts) {
    if (status != 0 || p.bytes.empty()) continue;
    std::string bytes = p.bytes;
    ffmbyt(f, p.at, IGNORE_EOF, &status);
    ffpbyt(f, static_cast<LONGLONG>(bytes.size()), bytes.data(), &status);
  }
}

void inserted_after(Handle f, int at) {
  if (!writable(f)) return;
  forget_last();
  std::set<int>& changed = file_states()[f->Fptr].changed;
  std::set<int> moved;
  for (int h : changed) moved.insert(h > at ? h + 1 : h);
  moved.insert(at + 1);
  changed = std::move(moved);
}

int fsclos(Handle f, int& status) {
  if (f == nullptr || f->Fptr == nullptr) return ffclos(f, &status);
  const FITSfile* file = f->Fptr;
  std::unique_ptr<FileState::Memory> memory;
  auto it = file_states().find(file);
  if (it != file_states().end()) memory = std::move(it->second.memory);
  // An HDU left unchanged is closed as a reader; the file's state goes with
  // the handle (CFITSIO frees it, whatever the close returns).
  if (status == 0 && writable(f) && !changed_here(f)) {
    ffflsh(f, FALSE, &status);
    if (status == 0) f->Fptr->writemode = READONLY;
  }
  ffclos(f, &status);
  file_states().erase(file);
  forget_last();
  if (memory) std::free(memory->addr);
  return status;
}

int fscrhd(Handle f, int& status) {
  if (status != 0) return status;
  if (writable(f)) {
    // To the last HDU first, each HDU on the way left as it should be.
    for (int n = f->HDUposition + 2;; ++n) {
      int st = 0, type = 0;
      if (fsmahd(f, n, type, st) != 0) {
        ffcmsg();
        break;
      }
    }
  }
  leave(f, status, false, [&] { ffcrhd(f, &status); });
  touch(f);
  return status;
}
int fsdhdu(Handle f, int& hdutype, int& status) {
  if (status != 0 || !writable(f)) return ffdhdu(f, &hdutype, &status);
  const int gone = f->HDUposition;
  ffdhdu(f, &hdutype, &status);
  forget_last();
  // The HDUs after the one deleted take its number and those after.
  std::set<int>& changed = file_states()[f->Fptr].changed;
  std::set<int> moved;
  for (int h : changed) if (h != gone) moved.insert(h > gone ? h - 1 : h);
  changed = std::move(moved);
  if (gone == 0) changed.insert(0);  // the primary is replaced, not removed
  return status;
}

int fsgcfjj(Handle f, int col, long long row, long long first, long long n, long long* values,
            char* nulls, int& status) {
  int anynul = 0;
  return ffgcfjj(f, col, row, first, n, values, nulls, &anynul, &status);
}

int fsgacf(Handle f, int col, long long row, std::string& text, bool& null, int& status) {
  text.clear();
  null = false;
  if (status != 0) return status;
  char ttype[FLEN_VALUE] = {0}, tunit[FLEN_VALUE] = {0}, tform[FLEN_VALUE] = {0};
  char nulstr[FLEN_VALUE] = {0}, tdisp[FLEN_VALUE] = {0};
  long tbcol = 0, repeat = 0, width = 0;
  double scale = 1, zero = 0;
  int typecode = 0;
  ffgacl(f, col, ttype, &tbcol, tunit, tform, &scale, &zero, nulstr, tdisp, &status);
  ffgtcl(f, col, &typecode, &repeat, &width, &status);
  if (status != 0) return status;
  if (tbcol < 1 || width < 1) return status = BAD_COL_NUM;
  text.assign(static_cast<std::size_t>(width), ' ');
  ffgtbb(f, row, tbcol, width, reinterpret_cast<unsigned char*>(text.data()), &status);
  if (status != 0) return status;
  auto trimmed = [](const std::string& t) {
    std::size_t b = t.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : t.substr(b, t.find_last_not_of(' ') + 1 - b);
  };
  text = trimmed(text);
  null = text.empty() || (nulstr[0] != '\0' && text == trimmed(nulstr));
  return status;
}

int fsomem(Handle& f, std::string_view gz, int& status) {
  if (status != 0) return status;
  auto memory = std::make_unique<FileState::Memory>();
  memory->size = std::max<std::size_t>(4 * gz.size(), 28800);
  memory->addr = std::malloc(memory->size);
  if (memory->addr == nullptr) return status = MEMORY_ALLOCATION;
  char* out = static_cast<char*>(memory->addr);
  std::size_t filesize = 0;
  // Decompressed from a stream over the bytes: CFITSIO's decompression
  // straight from memory never ends on a stream cut short (it grows its
  // buffer for ever).  From a stream, one cut short ends where the bytes do,
  // without an error: the size the gzip trailer gives (modulo 2^32) must
  // then be the size decompressed.
  FILE* in = gz.size() < 18 ? nullptr : fmemopen(const_cast<char*>(gz.data()), gz.size(), "rb");
  if (in == nullptr) {
    status = DATA_DECOMPRESSION_ERR;
  } else {
    uncompress2mem(const_cast<char*>("compressed.fits"), in, &out, &memory->size, std::realloc,
                   &filesize, &status);
    std::fclose(in);
    const auto* t = reinterpret_cast<const unsigned char*>(gz.data() + gz.size() - 4);
    const std::uint32_t isize = t[0] | t[1] << 8 | t[2] << 16 | static_cast<std::uint32_t>(t[3]) << 24;
    if (status == 0 && (filesize == 0 || isize != static_cast<std::uint32_t>(filesize)))
      status = DATA_DECOMPRESSION_ERR;
  }
  memory->addr = out;
  memory->size = filesize;  // the file ends where its bytes do, not its buffer
  if (status == 0)
    ffomem(&f, "compressed.fits", READONLY, &memory->addr, &memory->size, 0, std::realloc, &status);
  if (status != 0) {
    std::free(memory->addr);
    f = nullptr;
    return status;
  }
  file_states()[f->Fptr].memory = std::move(memory);
  return status;
}

}  // namespace tbfio
