// Character sets of the common library: the built-in converters among
// single-byte sets, among the Japanese encodings and between utf8 and
// ucs2, the table that names them, and the one-character utf8/ucs2 coders.
// Statuses: 1 done, -113 the target was too short, -117 done with
// characters replaced, -420 a bad UTF-8 sequence, -417 a name without id.
#pragma once

#include <cstdint>

#include "comnlib/comn_loc.h"

enum : int {
  COMN_EBADUTF8 = -420,
  COMN_EUTF8RANGE = -421,
};

// Built-in converters: (context, source, length, target, room, consumed,
// produced).
#define COMN_SYSALGO_DECL(fn)                                                           \
  int fn(COMN_CONTEXT* ctx, const std::uint8_t* src, int srclen, std::uint8_t* dst, int room, \
         int* consumed, int* produced)
COMN_SYSALGO_DECL(comn__utf8_to_ucs2);
COMN_SYSALGO_DECL(comn__ucs2_to_utf8);
COMN_SYSALGO_DECL(comn__iso1_to_cp850);
COMN_SYSALGO_DECL(comn__iso1_to_cp437);
COMN_SYSALGO_DECL(comn__iso1_to_roman8);
COMN_SYSALGO_DECL(comn__iso1_to_mac);
COMN_SYSALGO_DECL(comn__cp850_to_iso1);
COMN_SYSALGO_DECL(comn__cp850_to_cp437);
COMN_SYSALGO_DECL(comn__cp850_to_roman8);
COMN_SYSALGO_DECL(comn__cp850_to_mac);
COMN_SYSALGO_DECL(comn__cp437_to_iso1);
COMN_SYSALGO_DECL(comn__cp437_to_cp850);
COMN_SYSALGO_DECL(comn__cp437_to_roman8);
COMN_SYSALGO_DECL(comn__cp437_to_mac);
COMN_SYSALGO_DECL(comn__roman8_to_iso1);
COMN_SYSALGO_DECL(comn__roman8_to_cp850);
COMN_SYSALGO_DECL(comn__roman8_to_cp437);
COMN_SYSALGO_DECL(comn__roman8_to_mac);
COMN_SYSALGO_DECL(comn__mac_to_iso1);
COMN_SYSALGO_DECL(comn__mac_to_cp850);
COMN_SYSALGO_DECL(comn__mac_to_cp437);
COMN_SYSALGO_DECL(comn__mac_to_roman8);
COMN_SYSALGO_DECL(comn__eucjis_to_sjis);
COMN_SYSALGO_DECL(comn__eucjis_to_deckanji);
COMN_SYSALGO_DECL(comn__sjis_to_eucjis_deckanji);
COMN_SYSALGO_DECL(comn__deckanji_to_eucjis);
COMN_SYSALGO_DECL(comn__deckanji_to_sjis);
#undef COMN_SYSALGO_DECL

// One row of the built-in converter table.
struct comn_sysalgo_row {
  const char* from;
  const char* to;
  COMN_SYSALGO routine;
};
extern const comn_sysalgo_row sys_algos[28];

// Checks that every name of the table has a character-set id in the
// context; 1 or -417.
int comn__init_sys_algos_table(COMN_CONTEXT* ctx);
// The routine of the first row whose names have the ids from and to (in
// the context); 1, or 0 with a null routine.
int comn__get_sys_algo(COMN_CONTEXT* ctx, const comn_object* from, const comn_object* to,
                       COMN_SYSALGO* routine);

// -1, 0 or 1: unsigned comparison with the shorter text lower on a tie.
int com_memhilo(const void* a, int alen, const void* b, int blen);
// Writes a 32-bit zero id; 1, or 0 when the buffer is shorter than 4.
int comn_get_default_tid(void* buf, int buflen, int* lenout);

// UTF-8 sequence of one character to its 16-bit code: the sequence's
// length, or -420.
int comn__one_utf8_to_ucs2(const std::uint8_t* s, int len, std::uint16_t* code);
// A 16-bit code to UTF-8; written only when room exceeds its length.
// 1 or -113.
int comn__one_ucs2_to_utf8(std::uint16_t code, std::uint8_t* dst, int room, int* lenout);
// Length of the UTF-8 sequence a lead byte begins (0 for no valid lead).
int comn__utf8_seqlen(std::uint8_t lead);
