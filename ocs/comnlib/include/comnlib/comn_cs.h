// Character sets of the common library: the built-in converters among
// single-byte sets, among the Japanese encodings and between utf8 and
// ucs2, the table that names them, and the one-character utf8/ucs2 coders.
// Statuses: 1 done, -113 the target was too short, -117 done with
// characters replaced, -420 a bad UTF-8 sequence, -417 a name without id.
#pragma once

#include <cstdint>

#include "comnlib/comn_loc.h"
#include "intllib/intl_loc.h"

inline constexpr int COMN_EBADUTF8 = -420;
inline constexpr int COMN_EUTF8RANGE = -421;

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
namespace comn {
extern const comn_sysalgo_row sys_algos[28];
}  // namespace comn

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

// ---- Character-set loading -------------------------------------------------
// Codes of the loaders (besides 1, 0, -1, -301, -414).
inline constexpr int COMN_ECTBCORRUPT = -401;
inline constexpr int COMN_ENOCONVSECT = -403;
inline constexpr int COMN_ENOCONVERTTO = -404;
inline constexpr int COMN_ENOTONAME = -405;
inline constexpr int COMN_ENOMATCH = -406;
inline constexpr int COMN_EBADMATCH = -407;
inline constexpr int COMN_ENOREPL = -408;
inline constexpr int COMN_ENOMETHOD = -409;
inline constexpr int COMN_EBADMETHOD = -410;
inline constexpr int COMN_EBADHEX = -411;
inline constexpr int COMN_ENOMULT = -412;
inline constexpr int COMN_EBADMULT = -413;
inline constexpr int COMN_ENOMNEM = -416;
inline constexpr int COMN_ENOUTF8 = -422;
inline constexpr int COMN_ENOTOID = -424;
inline constexpr int COMN_ENOCTB = -425;

// Makes the set's descriptor available (loading charset.loc and the set's
// conversion configuration on first use) and stores it in the entry.
int comn__intl_load_charset(COMN_CONTEXT* ctx, comn_object* csid, comn_loccache* entry,
                            char* pathbuf, int pathlen);
int comn__get_charset(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen);
int comn__load_charset1(COMN_CONTEXT* ctx, COM_CHARATTRIB* attr, std::uint32_t imagesize,
                        INTL_LOCFILE* lf);
int comn__load_charset2(COMN_CONTEXT* ctx, COM_CHARATTRIB* attr, std::uint32_t imagesize,
                        INTL_LOCFILE* lf);
int comn__get_image(COMN_CONTEXT* ctx, std::uint8_t* dest, std::uint32_t count, INTL_LOCFILE* lf,
                    int cont);
int comn__load_conv_config(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen,
                           int* line);
int comn__load_conv_table(COMN_CONTEXT* ctx, comn_loccache* entry, comn_convconfig* cfg,
                          char* pathbuf, int pathlen);
void comn__chardesc_drop(comn_chardesc* desc);
void com_intl_chardesc_drop(COMN_CONTEXT* ctx);
void comn__convconfig_drop(comn_convconfig* cfg);
void comn__convtable_drop(comn_convconfig* cfg);
int comn__check_hexadecimal(const char* text);
void comn__print_conv_config_err(int code, const char* file, int line);
int comnb_truncate_chars(const COM_CHARATTRIB* attr, const std::uint8_t* text, int len,
                         int limit);
int comb__intl_xlate();

// Value readers of the current entry: 1 read, 0 missing or bad, -301 a
// reader error.  Bytes a hexadecimal value does not supply read as 0.
int comn__get_byteval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint8_t* out);
int comn__get_shortval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint16_t* out);
int comn__get_longval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint32_t* out);
int comn__get_string(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, char* dest, int identifier, int max);
int comn__get_boolval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::int32_t* out);

// File checks and the diagnosis of a context that cannot load its files.
int com__verify_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                        int filelen, char* pathbuf, int pathlen);
int com__verify_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file,
                         const char* ext, char* pathbuf, int pathlen);
int com_intl_verify_a_msgfile(COMN_CONTEXT* ctx, comn_locale* loc, const char* file,
                              char* pathbuf, int pathlen);
void com_intl_verify_ctxloc(COMN_CONTEXT* ctx);

// ---- Mnemonic database -----------------------------------------------------
int comn__load_mnemonic(COMN_CONTEXT* ctx);
int comn__retrieve_mnemonic(COMN_CONTEXT* ctx, const std::uint8_t* utf8, int len, char* buf,
                            int buflen, int* lenout);
void comn__drop_mnem_string(void* record);
void comn_intl_drop_mnemdb(COMN_CONTEXT* ctx);

// ---- Conversion engine --------------------------------------------------------
// category 2 character type, 3 messages (BESTGUESS tables), 4 money,
// 5 numeric, 6 time; any other value means character type.
int comn_charset_convert(COMN_CONTEXT* ctx, int category, COMN_DATAFORMAT* srcfmt,
                         const void* src, COMN_DATAFORMAT* dstfmt, void* dst,
                         std::int32_t* produced);
int comn__convt_to_utf8(COMN_CONTEXT* ctx, int mode, COMN_DATAFORMAT* srcfmt, comn_loccache* se,
                        const std::uint8_t* src, std::uint8_t* dst, int room,
                        std::int32_t* produced);
int comn__convt_from_utf8(COMN_CONTEXT* ctx, int mode, const std::uint8_t* src, int srclen,
                          COMN_DATAFORMAT* dstfmt, comn_loccache* de, std::uint8_t* dst,
                          std::int32_t* produced);
int comn__call_converter(COMN_CONTEXT* ctx, int mode, comn_convconfig* cfg,
                         COMN_DATAFORMAT* srcfmt, comn_loccache* se, const std::uint8_t* src,
                         COMN_DATAFORMAT* dstfmt, comn_loccache* de, std::uint8_t* dst,
                         std::int32_t* produced);
int comn__get_convert_config(COMN_CONTEXT* ctx, const comn_chardesc* from,
                             const comn_chardesc* to, comn_convconfig** out);
int comn__conv_by_table(COMN_CONTEXT* ctx, int mode, comn_convconfig* cfg, comn_loccache* se,
                        comn_loccache* de, const std::uint8_t* src, int srclen, std::uint8_t* dst,
                        int room, std::int32_t* produced);
int comn__use_replacement(const comn_convconfig* cfg, std::uint8_t* dst, int room,
                          std::int32_t* produced);
int comn_convert_max_multiplier(COMN_CONTEXT* ctx, int category, comn_locale* a, comn_locale* b,
                                std::int32_t* mult);
int comn__convert_get_max_multiplier(COMN_CONTEXT* ctx, comn_loccache* from, comn_loccache* to,
                                     std::int32_t* mult);
void comn__utf8_lcache(COMN_CONTEXT* ctx, comn_loccache* out);
int comn__print_load_convtbl_err(int code, const char* path);
// The caller's conversion record for a pair of set ids, or null.
int comn__get_user_charconv(COMN_CONTEXT* ctx, const comn_object* src, const comn_object* dst,
                            comn_userconv** out);
