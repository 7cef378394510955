// libFuzzer target: the UTF-8 decoder walked over arbitrary bytes, as text preparation
// walks a string. It must never read past the end and always make progress.
#include <cstdlib>

#include "utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    s64 remaining = (s64)size;
    const u8 *position = data;
    while (remaining > 0) {
        Decoded_Character decoded = decode_utf8_character(position, remaining);
        if (decoded.bytes_consumed < 1 || decoded.bytes_consumed > remaining) abort();
        s64 announced = utf8_continuation_count(position[0]) + 1;
        if (decoded.bytes_consumed != announced && decoded.utf32 != UNICODE_REPLACEMENT_CHARACTER) abort();
        if (announced <= 4 && decoded.utf32 > 0x1FFFFF) abort();
        position += decoded.bytes_consumed;
        remaining -= decoded.bytes_consumed;
    }
    if (decode_utf8_character(position, 0).bytes_consumed != 0) abort();
    return 0;
}
