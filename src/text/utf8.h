// Decoding one UTF-8 character at a time for text preparation. The decoder is lenient
// (no continuation-byte checks, overlong forms pass) but never reads past the bytes it
// was given. The runtime's conversion for the system's calls (temp_utf16) is strict
// instead: there a malformed byte must cost only itself; here every announced sequence
// becomes one glyph, drawn or the unknown-character one.
#pragma once

#include "types.h"

struct Decoded_Character {
    u32 utf32 = 0;
    s64 bytes_consumed = 0;
};

constexpr u32 UNICODE_REPLACEMENT_CHARACTER = 0xFFFD;

// Continuation bytes announced by a lead byte: 0x00-0xBF 0, 0xC0-0xDF 1, 0xE0-0xEF 2,
// 0xF0-0xF7 3, 0xF8-0xFB 4, 0xFC-0xFF 5.
inline s64 utf8_continuation_count(u8 lead) {
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    return 5;
}

// A character cut off by the end (fewer than its announced bytes remain) gives U+FFFD and
// consumes everything that remains; nothing remaining gives U+FFFD and consumes nothing.
Decoded_Character decode_utf8_character(const u8 *position, s64 bytes_remaining);
