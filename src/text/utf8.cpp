// The UTF-8 decoder of text preparation.
#include "utf8.h"

Decoded_Character decode_utf8_character(const u8 *position, s64 bytes_remaining) {
    static constexpr u8 LEAD_MASKS[6] = {0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};

    Decoded_Character result;
    if (bytes_remaining <= 0) {
        result.utf32 = UNICODE_REPLACEMENT_CHARACTER;
        return result;
    }

    u8 lead = position[0];
    s64 continuation = utf8_continuation_count(lead);
    if (bytes_remaining < continuation + 1) {
        result.utf32 = UNICODE_REPLACEMENT_CHARACTER;
        result.bytes_consumed = bytes_remaining;
        return result;
    }

    u32 value = lead & LEAD_MASKS[continuation];
    for (s64 i = 1; i <= continuation; i++) value = (value << 6) | (position[i] & 0x3F);
    result.utf32 = value;
    result.bytes_consumed = continuation + 1;
    return result;
}
