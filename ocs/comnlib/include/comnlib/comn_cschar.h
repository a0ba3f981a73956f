// Character handling of the common library over a character set's
// attribute record (a null record means the built-in iso_1 record): class
// tests, case forms, byte lengths and display widths, ASCII equivalents,
// lexical bytes, and walking a text by whole characters.
#pragma once

#include <cstdint>

#include "comnlib/com_types.h"

using comn_uchar = std::uint8_t;

int comn_isalpha(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_isupper(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_islower(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_isdigit(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_isxdigit(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_isspace(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_ispunct(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_isgraph(const COM_CHARATTRIB* attr, const comn_uchar* c);

// Write the case form of the character at c to out; return the record used.
const COM_CHARATTRIB* comn_toupper(const COM_CHARATTRIB* attr, const comn_uchar* c,
                                   comn_uchar* out);
const COM_CHARATTRIB* comn_tolower(const COM_CHARATTRIB* attr, const comn_uchar* c,
                                   comn_uchar* out);

int comn_char_width(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_disp_width(const COM_CHARATTRIB* attr, const comn_uchar* c);
const std::uint8_t* comn_get_widthmap(const COM_CHARATTRIB* attr);
// Advances *text by the length of the character it points at (at least 1).
void comn_inc_char(const COM_CHARATTRIB* attr, const comn_uchar** text);
// Walks whole characters from start up to pos (see the contract in the
// source).  Returns 1.
int comn_whole_char(const COM_CHARATTRIB* attr, const comn_uchar* start, const comn_uchar* pos,
                    int* prefix, int* before, int* after, int* count);
int comn_to_ascii(const COM_CHARATTRIB* attr, const comn_uchar* c);
int comn_str_to_ascii(const comn_uchar* text, int len, comn_uchar* out, int* outlen,
                      const COM_CHARATTRIB* attr);
int comn_get_lex(const COM_CHARATTRIB* attr, const comn_uchar* c);
