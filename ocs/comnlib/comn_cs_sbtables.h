// Byte tables of the built-in single-byte converters (comn_cs_sbtables.cpp).
#pragma once

#include <cstdint>

namespace comn_sb {

// Codes 160 to 255.
extern const std::uint8_t k_iso1_to_cp850[96];
// Codes 160 to 255.
extern const std::uint8_t k_iso1_to_cp437[96];
// Codes 160 to 255.
extern const std::uint8_t k_iso1_to_roman8[96];
// Codes 160 to 255.
extern const std::uint8_t k_iso1_to_mac[96];
// Codes 128 to 255.
extern const std::uint8_t k_cp850_to_iso1[128];
// Codes 155 to 255.
extern const std::uint8_t k_cp850_to_cp437[101];
// Codes 128 to 255.
extern const std::uint8_t k_cp850_to_roman8[128];
// Codes 128 to 255.
extern const std::uint8_t k_cp850_to_mac[128];
// Codes 128 to 255.
extern const std::uint8_t k_cp437_to_iso1[128];
// Codes 155 to 255.
extern const std::uint8_t k_cp437_to_cp850[101];
// Codes 128 to 255.
extern const std::uint8_t k_cp437_to_roman8[128];
// Codes 128 to 255.
extern const std::uint8_t k_cp437_to_mac[128];
// Codes 160 to 255.
extern const std::uint8_t k_roman8_to_iso1[96];
// Codes 160 to 255.
extern const std::uint8_t k_roman8_to_cp850[96];
// Codes 176 to 255.
extern const std::uint8_t k_roman8_to_cp437[80];
// Codes 160 to 255.
extern const std::uint8_t k_roman8_to_mac[96];
// Codes 128 to 216.
extern const std::uint8_t k_mac_to_iso1[89];
// Codes 128 to 216.
extern const std::uint8_t k_mac_to_cp850[89];
// Codes 128 to 216.
extern const std::uint8_t k_mac_to_cp437[89];
// Codes 128 to 216.
extern const std::uint8_t k_mac_to_roman8[89];

}  // namespace comn_sb
