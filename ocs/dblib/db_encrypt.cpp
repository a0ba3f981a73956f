// Login password encryption; see dblib/db_encrypt.h.
//
// The stored key table is our own.  Its 8,192 bytes (256 rows of 32) are
// generated, not stored: byte n is byte (n mod 8) of the n/8-th output of
// the SplitMix64 generator started from the seed 0x71756F72656C4B31
// (ASCII "quorelK1"), bytes taken least significant first.  From it the
// net-key table is built as every client and server of the protocol
// does: row 0 is stored row 0 with each byte lowered by 0x57; row 1 is
// stored row 1 deciphered with FEAL-8 block by block, block k under key k
// (bytes 8k..8k+7) of stored row 0; row r (2..255) is the byte-wise XOR of
// stored rows r - 1 and r.  Rows 2 to 255 hold the four 8-byte keys used.
#include "dblib/db_encrypt.h"

#include <cstring>

namespace {

unsigned char g_netkey[256][33];
bool g_initialized = false;
const unsigned char kNull4[4] = {0, 0, 0, 0};

unsigned char rot2(unsigned char x) { return static_cast<unsigned char>((x << 2) | (x >> 6)); }
unsigned char s0(unsigned char a, unsigned char b) { return rot2(static_cast<unsigned char>(a + b)); }
unsigned char s1(unsigned char a, unsigned char b) { return rot2(static_cast<unsigned char>(a + b + 1)); }

// The round function f(a, b) of FEAL.
void feal_f(const unsigned char a[4], const unsigned char b[2], unsigned char out[4]) {
  unsigned char f1 = static_cast<unsigned char>(a[1] ^ b[0] ^ a[0]);
  unsigned char f2 = static_cast<unsigned char>(a[2] ^ b[1] ^ a[3]);
  f1 = s1(f1, f2);
  f2 = s0(f2, f1);
  out[0] = s0(a[0], f1);
  out[1] = f1;
  out[2] = f2;
  out[3] = s1(a[3], f2);
}

// The key-schedule function fK(a, b).
void feal_fk(const unsigned char a[4], const unsigned char b[4], unsigned char out[4]) {
  unsigned char f1 = static_cast<unsigned char>(a[1] ^ a[0]);
  unsigned char f2 = static_cast<unsigned char>(a[2] ^ a[3]);
  f1 = s1(f1, static_cast<unsigned char>(f2 ^ b[0]));
  f2 = s0(f2, static_cast<unsigned char>(f1 ^ b[1]));
  out[0] = s0(a[0], static_cast<unsigned char>(f1 ^ b[2]));
  out[1] = f1;
  out[2] = f2;
  out[3] = s1(a[3], static_cast<unsigned char>(f2 ^ b[3]));
}

void xor4(unsigned char* d, const unsigned char* s) {
  for (int i = 0; i < 4; ++i) d[i] ^= s[i];
}

// Byte n of the generated stored key table.
unsigned char stored_byte(int n) {
  static unsigned char table[8192];
  static bool made = false;
  if (!made) {
    uint64_t state = 0x71756F72656C4B31ULL;
    for (int w = 0; w < 1024; ++w) {
      state += 0x9E3779B97F4A7C15ULL;
      uint64_t z = state;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      z ^= z >> 31;
      for (int b = 0; b < 8; ++b) table[w * 8 + b] = static_cast<unsigned char>(z >> (8 * b));
    }
    made = true;
  }
  return table[n];
}

// One net-key row's 8-byte key `index`, scheduled.
void schedule_for(int row, int index, unsigned char sched[32]) {
  com_init_text_mem();
  com__charbuf_activate(&g_netkey[row][index * 8], sched);
}

}  // namespace

void com__charbuf_activate(const unsigned char key[8], unsigned char schedule[32]) {
  unsigned char a[4], b[4], d[4], t[4];
  std::memcpy(a, key, 4);
  std::memcpy(b, key + 4, 4);
  std::memcpy(d, kNull4, 4);
  for (int r = 0; r < 8; ++r) {
    unsigned char bx[4];
    std::memcpy(bx, b, 4);
    xor4(bx, d);
    feal_fk(a, bx, t);
    std::memcpy(d, a, 4);
    std::memcpy(a, b, 4);
    std::memcpy(b, t, 4);
    std::memcpy(schedule + 4 * r, t, 4);  // round keys 2r and 2r + 1
  }
}

void com__charbuf_initialize(const unsigned char in[8], unsigned char out[8],
                             const unsigned char k[32]) {
  unsigned char l[4], r[4], t[4];
  std::memcpy(l, in, 4);
  std::memcpy(r, in + 4, 4);
  xor4(l, k + 16);
  xor4(r, k + 20);
  xor4(r, l);
  for (int i = 0; i < 8; ++i) {
    feal_f(r, k + 2 * i, t);
    xor4(t, l);
    std::memcpy(l, r, 4);
    std::memcpy(r, t, 4);
  }
  // Output (R8, L8 ^ R8) ^ (K12..K15).
  xor4(l, r);
  xor4(r, k + 24);
  xor4(l, k + 28);
  std::memcpy(out, r, 4);
  std::memcpy(out + 4, l, 4);
}

void com__charbuf_uninitialize(const unsigned char in[8], unsigned char out[8],
                               const unsigned char k[32]) {
  unsigned char l[4], r[4], t[4];
  std::memcpy(r, in, 4);
  std::memcpy(l, in + 4, 4);
  xor4(r, k + 24);
  xor4(l, k + 28);
  xor4(l, r);
  for (int i = 7; i >= 0; --i) {
    // Lr = R(r-1), Rr = L(r-1) ^ f(R(r-1)): undo.
    feal_f(l, k + 2 * i, t);
    xor4(t, r);
    std::memcpy(r, l, 4);
    std::memcpy(l, t, 4);
  }
  xor4(r, l);
  xor4(l, k + 16);
  xor4(r, k + 20);
  std::memcpy(out, l, 4);
  std::memcpy(out + 4, r, 4);
}

void com_init_text_mem() {
  if (g_initialized) return;
  g_initialized = true;
  std::memset(g_netkey, 0, sizeof g_netkey);
  for (int i = 0; i < 32; ++i) g_netkey[0][i] = static_cast<unsigned char>(stored_byte(i) - 0x57);
  for (int k = 0; k < 4; ++k) {
    unsigned char key[8], sched[32], in[8];
    for (int i = 0; i < 8; ++i) key[i] = stored_byte(k * 8 + i);
    for (int i = 0; i < 8; ++i) in[i] = stored_byte(32 + k * 8 + i);
    com__charbuf_activate(key, sched);
    com__charbuf_uninitialize(in, &g_netkey[1][k * 8], sched);
  }
  for (int r = 2; r < 256; ++r)
    for (int i = 0; i < 32; ++i)
      g_netkey[r][i] = static_cast<unsigned char>(stored_byte((r - 1) * 32 + i) ^ stored_byte(r * 32 + i));
}

const unsigned char* comb_get_Netkey(int row) {
  com_init_text_mem();
  if (row < 0 || row > 255) return nullptr;
  return g_netkey[row];
}

void com__pad(const char* pwd, int len, const unsigned char* key, unsigned char buf[32]) {
  std::memset(buf, 0x5C, 32);
  if (len > 30) len = 30;
  for (int i = 0; i < len; ++i) buf[(key[0] + i) % 32] = static_cast<unsigned char>(pwd[i]);
}

void com__char_initialize(const unsigned char block[8], const unsigned char* key,
                          unsigned char result[8], int j) {
  unsigned char sched[32], cur[8], next[8];
  schedule_for(2 + key[0] % 254, j, sched);
  com__charbuf_initialize(block, cur, sched);
  for (int i = 0; i < 8; ++i) {
    schedule_for(2 + (3 * (key[i] + i)) % 254, j, sched);
    com__charbuf_initialize(cur, next, sched);
    std::memcpy(cur, next, 8);
  }
  std::memcpy(result, cur, 8);
}

void com__char_uninitialize(const unsigned char block[8], const unsigned char* key,
                            unsigned char result[8], int j) {
  unsigned char sched[32], cur[8], next[8];
  std::memcpy(cur, block, 8);
  for (int i = 7; i >= 0; --i) {
    schedule_for(2 + (3 * (key[i] + i)) % 254, j, sched);
    com__charbuf_uninitialize(cur, next, sched);
    std::memcpy(cur, next, 8);
  }
  schedule_for(2 + key[0] % 254, j, sched);
  com__charbuf_uninitialize(cur, result, sched);
}

int com__string_initialize(const unsigned char* key, int keylen, const char* pwd, int pwdlen,
                           unsigned char* out, int* outlen) {
  if (outlen) *outlen = 0;
  if (!key || keylen != 8 || !out) return 0;
  if (!pwd || pwdlen < 0) pwdlen = 0;
  if (pwdlen > 30) pwdlen = 30;
  unsigned char buf[32];
  com__pad(pwd ? pwd : "", pwdlen, key, buf);
  for (int j = 0; j < 4; ++j) com__char_initialize(buf + 8 * j, key, out + 8 * j, j);
  out[32] = static_cast<unsigned char>(pwdlen);
  if (outlen) *outlen = 33;
  return 1;
}

int com__string_uninitialize(const unsigned char* key, int keylen, const unsigned char* in,
                             int inlen, char* pwd, int* pwdlen) {
  if (!key || keylen != 8 || !in || inlen != 33 || !pwd || in[32] > 30) return 0;
  unsigned char buf[32];
  for (int j = 0; j < 4; ++j) com__char_uninitialize(in + 8 * j, key, buf + 8 * j, j);
  int len = in[32];
  for (int i = 0; i < len; ++i) pwd[i] = static_cast<char>(buf[(key[0] + i) % 32]);
  pwd[len] = '\0';
  if (pwdlen) *pwdlen = len;
  return 1;
}
