// The UTF-8 decoder: lenient about what it decodes, strict about where it reads.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "utf8.h"

namespace {

struct Utf8_Case {
    std::vector<u8> bytes;
    u32 utf32;
    s64 consumed;
};

TEST(DecodeUtf8, DecodesOneCharacterAndStopsAtTheEnd) {
    const Utf8_Case cases[] = {
        {{0x41}, 0x41, 1},
        {{0xC3, 0xA9}, 0xE9, 2},
        {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
        {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
        {{0xF8, 0x88, 0x80, 0x80, 0x80}, 0x200000, 5},
        {{0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, 0x4000000, 6},
        // Lenient: overlong forms, surrogates, stray continuation bytes as lead bytes and
        // lead bytes followed by non-continuation bytes all decode by the bit rules.
        {{0xC0, 0x80}, 0x00, 2},
        {{0xED, 0xA0, 0x80}, 0xD800, 3},
        {{0xA9}, 0x29, 1},
        {{0xC3, 0x41}, 0xC1, 2},
        // Cut off by the end: U+FFFD, and everything that remains is consumed.
        {{0xE9}, 0xFFFD, 1},
        {{0xE2, 0x82}, 0xFFFD, 2},
        {{0xFC, 0x84, 0x80, 0x80, 0x80}, 0xFFFD, 5},
        {{}, 0xFFFD, 0},
    };
    for (const Utf8_Case &c : cases) {
        // An exactly sized heap copy, so that the sanitizer build sees any read past it.
        std::unique_ptr<u8[]> bytes(new u8[c.bytes.size() ? c.bytes.size() : 1]);
        std::copy(c.bytes.begin(), c.bytes.end(), bytes.get());
        Decoded_Character decoded = decode_utf8_character(bytes.get(), (s64)c.bytes.size());
        EXPECT_EQ(decoded.utf32, c.utf32) << "first byte " << (c.bytes.empty() ? -1 : c.bytes[0]);
        EXPECT_EQ(decoded.bytes_consumed, c.consumed) << "first byte " << (c.bytes.empty() ? -1 : c.bytes[0]);
    }
}

TEST(DecodeUtf8, ContinuationCountFollowsTheLeadByteRanges) {
    const struct {
        u8 lead;
        s64 count;
    } cases[] = {{0x00, 0}, {0x7F, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 1}, {0xDF, 1}, {0xE0, 2}, {0xEF, 2},
                 {0xF0, 3}, {0xF7, 3}, {0xF8, 4}, {0xFB, 4}, {0xFC, 5}, {0xFF, 5}};
    for (auto c : cases) EXPECT_EQ(utf8_continuation_count(c.lead), c.count) << (int)c.lead;
}

}  // namespace
