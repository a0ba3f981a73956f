// Character classes of the current character map (iso_1) and comparisons of
// names as unsigned byte strings.
#pragma once

#include "comnlib/com_types.h"

#include <array>

// A character map: 256 entries of {upper, lower, 0, class bits}.
using ComCharMap = std::array<std::array<std::uint8_t, 4>, 256>;
extern const ComCharMap Com_Iso1_charmap;
// The current character map; always the iso_1 map.
extern const ComCharMap* const Com_charmap;

int com_toupper(int c);
int com_tolower(int c);
int com_isalpha(int c);
int com_isupper(int c);
int com_islower(int c);
int com_isdigit(int c);
int com_isxdigit(int c);
int com_isspace(int c);
int com_isgraph(int c);

int com_unsignstrcmp(const void* a, const void* b);
int com_unsignstrncmp(const void* a, const void* b, int n);
int com_unsignstricmp(const void* a, const void* b);
int com_unsignstrnicmp(const void* a, const void* b, int n);

// The iso_1 type map (256 x 4 bytes: upper, lower, token class, class bits).
const std::uint8_t* com_get_typemap();
// The built-in iso_1 attribute record.
const COM_CHARATTRIB* com_get_charattrib();
