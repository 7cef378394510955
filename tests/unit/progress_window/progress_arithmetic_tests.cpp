// The progress frame's segment count and the GUI thread's fixed-address record memory.
#include <gtest/gtest.h>

#include "gui_platform.h"
#include "updater_window.h"

TEST(ProgressSegments, CountFollowsTheRatioAndStopsAtAFullBar) {
    struct Case {
        s64 received, total;
        s32 segments;
    } cases[] = {
        {0, 0, 0},
        {500, 0, 0},  // no total: no segments, whatever arrived
        {0, 1000, 0},
        {49, 1000, 0},  // 0.049
        {50, 1000, 1},  // 0.05
        {500, 1000, 10},
        {999, 1000, 19},
        {1000, 1000, 20},
        {1500, 1000, 20},  // more than announced
        {300ll << 20, 1, 20},  // a wrong one-byte total with hundreds of megabytes received
        {INT64_MAX, 1, 20},
        {-5, 1000, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(progress_segment_count(c.received, c.total), c.segments) << c.received << " of " << c.total;
    }
}

TEST(FixedAddressMemory, SecondRequestForTheSameAddressFails) {
    // An address of our own, well away from the record's, so the test does not race the GUI code.
    const u64 address = 0x20000000000ull;
    void *first = allocate_memory_at(address, 4096);
    // Under AddressSanitizer this part of the address space is its shadow memory: the
    // request fails, which is the case the GUI thread falls back from.
    if (!first) GTEST_SKIP() << "the address is taken in this process";
    ASSERT_EQ((u64)(uintptr_t)first, address);
    memset(first, 0xAB, 4096);  // committed and writable
    EXPECT_EQ(allocate_memory_at(address, 4096), nullptr);
}
