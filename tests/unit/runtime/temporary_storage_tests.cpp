// Temporary storage: growth past the first block, reset, and the conversions.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "os.h"
#include "temporary_storage.h"

TEST(TemporaryStorage, GrowsPastTheFirstBlockAndResetsInOneStep) {
    // A thread of our own, so the sizes are known.
    std::thread([] {
        init_temporary_storage(1024);
        Temporary_Storage *ts = get_temporary_storage();
        EXPECT_EQ(ts->size, 1024);

        char *first = (char *)talloc(1000);
        memset(first, 1, 1000);
        char *second = (char *)talloc(800);  // does not fit: overflow page
        memset(second, 2, 800);
        char *big = (char *)talloc(5000);  // larger than a page
        memset(big, 3, 5000);
        EXPECT_NE(ts->overflow_pages, nullptr);
        EXPECT_EQ(first[999], 1);  // earlier allocations are untouched
        EXPECT_EQ(second[799], 2);
        EXPECT_EQ((uintptr_t)big % 16, 0u);

        reset_temporary_storage();
        EXPECT_EQ(ts->occupied, 0);
        EXPECT_EQ(ts->overflow_pages, nullptr);
        EXPECT_GE(ts->size, 1024 + 800 + 5000);  // the next cycle fits in one block

        talloc(1000);
        talloc(800);
        talloc(5000);
        EXPECT_EQ(ts->overflow_pages, nullptr);
        reset_temporary_storage();
    }).join();
}

TEST(TemporaryStorage, RuntimeThreadsGetTheirOwnSize) {
    struct Result {
        s64 size = 0;
        std::atomic<bool> done = false;
    } result;
    Thread thread;
    thread.temporary_storage_size = 16384;
    thread.data = &result;
    thread.proc = [](Thread *t) -> s64 {
        Result *r = (Result *)t->data;
        r->size = get_temporary_storage()->size;
        r->done = true;
        return 0;
    };
    ASSERT_TRUE(thread_start(&thread));
    for (int i = 0; i < 5000 && !result.done; i++) sleep_milliseconds(1);
    ASSERT_TRUE(result.done);
    EXPECT_EQ(result.size, 16384);
}

TEST(TemporaryStorage, MainThreadStartsWith32KiB) {
    // The main thread's storage is made before main and only grows.
    EXPECT_GE(get_temporary_storage()->size, 32 * 1024);
}

TEST(TemporaryStorage, Utf16RoundTripAndTermination) {
    const char *text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro sign, an emoji
    const u16 *wide = temp_utf16(text);
    const u16 expected[] = {0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0};
    for (int i = 0; i < 6; i++) EXPECT_EQ(wide[i], expected[i]) << i;

    String back = temp_utf8_from_utf16(wide, -1);
    EXPECT_EQ(std::string(back.data, (size_t)back.count), text);

    const char *c = temp_c_string(String("abcdef", 3));
    EXPECT_STREQ(c, "abc");

    // A truncated sequence becomes U+FFFD instead of reading past the end.
    const u16 *broken = temp_utf16(String("\xE2\x82", 2));
    EXPECT_EQ(broken[0], 0xFFFD);
    reset_temporary_storage();
}

TEST(TemporaryStorage, Utf16UnitsAreOnlyEverProperSurrogatePairs) {
    // Every four-byte sequence, in range or not: each unit is a character of the basic plane
    // (U+FFFD for what has no UTF-16 form) or one half of a proper high-low pair.
    for (u32 lead = 0xF0; lead <= 0xF7; lead++) {
        for (u32 second = 0x80; second <= 0xBF; second += 0x0F) {
            const char bytes[] = {(char)lead, (char)second, (char)0x80, (char)0x80, 0};
            const u16 *wide = temp_utf16(bytes);
            s64 count = 0;
            while (wide[count]) count++;
            for (s64 k = 0; k < count; k++) {
                bool high = wide[k] >= 0xD800 && wide[k] < 0xDC00;
                bool low = wide[k] >= 0xDC00 && wide[k] < 0xE000;
                if (high) {
                    ASSERT_LT(k + 1, count) << std::hex << lead << " " << second;
                    EXPECT_TRUE(wide[k + 1] >= 0xDC00 && wide[k + 1] < 0xE000) << std::hex << lead << " " << second;
                    k++;
                } else {
                    EXPECT_FALSE(low) << std::hex << lead << " " << second;
                }
            }
            u32 code_point = ((lead & 0x07) << 18) | ((second & 0x3F) << 12);
            if (code_point > 0x10FFFF) {
                EXPECT_EQ(wide[0], 0xFFFD) << std::hex << lead << " " << second;
            }
        }
    }
    reset_temporary_storage();
}
