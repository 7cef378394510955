// Memory at a fixed address, as the GUI thread asks for its record.
#include <gtest/gtest.h>

#include <cstring>

#include "os.h"

TEST(FixedAddressMemory, SecondRequestForTheSameAddressFails) {
    // An address of our own, well away from the record's, so the test does not race a GUI thread.
    const u64 address = 0x20000000000ull;
    void *first = allocate_memory_at(address, 4096);
    // Under AddressSanitizer this part of the address space is its shadow memory: the
    // request fails, which is the case the GUI thread falls back from.
    if (!first) GTEST_SKIP() << "the address is taken in this process";
    ASSERT_EQ((u64)(uintptr_t)first, address);
    memset(first, 0xAB, 4096);  // committed and writable
    EXPECT_EQ(allocate_memory_at(address, 4096), nullptr);
}
