// Login password encryption: each password of up to 30 characters becomes
// 33 bytes under the server's 8-byte key (four 8-byte blocks, then the
// length).  The blocks are enciphered with the FEAL-8 block cipher several
// times under round keys taken from a process-wide key table.  This file
// depends on nothing else of the client so that a server can link it to
// decrypt what the client sends.
#pragma once

#include <cstdint>

// Encrypts `pwd` (at most 30 bytes used) under an 8-byte key into `out`
// (33 bytes); `*outlen` becomes 33.  Returns 1, or 0 when the key length
// is not 8.
int com__string_initialize(const unsigned char* key, int keylen, const char* pwd, int pwdlen,
                           unsigned char* out, int* outlen);
// Recovers the password from the 33 bytes; `pwd` receives at most 30 bytes
// and a NUL.  Returns 1, or 0 for a bad key or input length.
int com__string_uninitialize(const unsigned char* key, int keylen, const unsigned char* in,
                             int inlen, char* pwd, int* pwdlen);

// The padding step: 32 bytes of 0x5C with the password's bytes at
// positions (key[0] + i) mod 32.
void com__pad(const char* pwd, int len, const unsigned char* key, unsigned char buf[32]);
// The chained encryption of one block under key index 0..3.
void com__char_initialize(const unsigned char block[8], const unsigned char* key,
                          unsigned char result[8], int keyindex);
void com__char_uninitialize(const unsigned char block[8], const unsigned char* key,
                            unsigned char result[8], int keyindex);

// FEAL-8: the key schedule (sixteen 16-bit round keys), block encryption
// and decryption.
void com__charbuf_activate(const unsigned char key[8], unsigned char schedule[32]);
void com__charbuf_initialize(const unsigned char in[8], unsigned char out[8],
                             const unsigned char schedule[32]);
void com__charbuf_uninitialize(const unsigned char in[8], unsigned char out[8],
                               const unsigned char schedule[32]);

// Builds the net-key table (done on first use); a row's 32 bytes.
void com_init_text_mem();
const unsigned char* comb_get_Netkey(int row);
