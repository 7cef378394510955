// The identity record: its layout, the time conversions and their round trips.
#include <gtest/gtest.h>

#include <cstddef>

#include "assertions.h"
#include "identity.h"
#include "temporary_storage.h"

TEST(Identity, RecordLayoutIsTheVersionFileFormat) {
    EXPECT_EQ(offsetof(UpdaterClientVersions, updater), 0u);
    EXPECT_EQ(offsetof(UpdaterClientVersions, client), 24u);
    EXPECT_EQ(offsetof(UpdaterClientVersions, common_version), 48u);
    EXPECT_EQ(offsetof(UpdaterClientVersions::File, write_time_high), 8u);
    EXPECT_EQ(offsetof(UpdaterClientVersions::File, size), 16u);

    // Little-endian bytes as a publisher would write them.
    u8 bytes[56] = {};
    bytes[16] = 0x34;  // updater size 0x1234
    bytes[17] = 0x12;
    bytes[48] = 0xd1;  // common_version 0x5bcedefd1
    bytes[49] = 0xef;
    bytes[50] = 0xed;
    bytes[51] = 0xbc;
    bytes[52] = 0x05;
    UpdaterClientVersions record;
    memcpy(&record, bytes, sizeof(record));
    EXPECT_EQ(record.updater.size, 0x1234);
    EXPECT_EQ(record.common_version, COMMON_VERSION);
}

TEST(Identity, RecordsDifferingOnlyInCommonVersionDoNotMatch) {
    UpdaterClientVersions a = {};
    a.client = make_file_identity(write_time_from_ticks(133'000'000'000'000'000), 99);
    a.common_version = COMMON_VERSION;
    UpdaterClientVersions b = a;
    EXPECT_TRUE(memory_equals(&a, &b, sizeof(a)));
    b.common_version = COMMON_VERSION + 1;
    EXPECT_FALSE(memory_equals(&a, &b, sizeof(a)));
}

TEST(Identity, ForwardConversionAndRoundTrip) {
    struct Case {
        u64 ticks;
        __int128 femtoseconds;
    };
    const Case cases[] = {
        {0, -RECORD_EPOCH_FEMTOSECONDS},
        {(u64)RECORD_EPOCH_TICKS, 0},  // 1969-07-20 20:17:39
        {(u64)RECORD_EPOCH_TICKS + 1, 100'000'000},
        {133'497'024'001'234'567, ((__int128)133'497'024'001'234'567 - RECORD_EPOCH_TICKS) * 100'000'000},
        {(u64)INT64_MAX, ((__int128)INT64_MAX - RECORD_EPOCH_TICKS) * 100'000'000},
    };
    for (const Case &c : cases) {
        __int128 femtoseconds = write_time_from_ticks(c.ticks);
        EXPECT_TRUE(femtoseconds == c.femtoseconds) << c.ticks;
        Ticks_Result back = to_filetime(femtoseconds);
        EXPECT_TRUE(back.success) << c.ticks;
        EXPECT_EQ(back.ticks, c.ticks);

        // Through the record's two halves as well.
        UpdaterClientVersions::File file = make_file_identity(femtoseconds, 1);
        EXPECT_TRUE(file_write_time(file) == femtoseconds) << c.ticks;
    }
}

TEST(Identity, BackConversionRoundsToTheNearestTick) {
    struct Case {
        __int128 femtoseconds;
        s64 ticks_after_epoch;
    };
    const Case cases[] = {
        {49'999'999, 0}, {50'000'000, 1}, {149'999'999, 1}, {150'000'000, 2},
        {-49'999'999, 0}, {-50'000'000, -1}, {-150'000'001, -2},
    };
    for (const Case &c : cases) {
        Ticks_Result result = to_filetime(c.femtoseconds);
        EXPECT_TRUE(result.success);
        EXPECT_EQ((s64)result.ticks, RECORD_EPOCH_TICKS + c.ticks_after_epoch) << (s64)c.femtoseconds;
    }
}

TEST(Identity, BackConversionFailsOutsideSixtyFourBits) {
    // The largest unsigned tick count goes forward fine but does not fit back.
    EXPECT_FALSE(to_filetime(write_time_from_ticks(UINT64_MAX)).success);
    EXPECT_FALSE(to_filetime((__int128)1 << 120).success);
    EXPECT_FALSE(to_filetime(-((__int128)1 << 120)).success);
    // A record of all zeros (no file) is before 1601: negative ticks still fit.
    Ticks_Result zero = to_filetime(0);
    EXPECT_TRUE(zero.success);
    EXPECT_EQ((s64)zero.ticks, RECORD_EPOCH_TICKS);
}

TEST(Identity, UnixTimesAsTicks) {
    struct Case {
        s64 seconds, nanoseconds;
        u64 ticks;
        s64 nanoseconds_back;  // truncated to 100 ns
    };
    const Case cases[] = {
        {0, 0, (u64)UNIX_EPOCH_TICKS, 0},
        {1, 123'456'789, (u64)UNIX_EPOCH_TICKS + 11'234'567, 123'456'700},
        {1'700'000'000, 999'999'999, (u64)UNIX_EPOCH_TICKS + 17'000'000'009'999'999, 999'999'900},
        {-1, 500, (u64)UNIX_EPOCH_TICKS - 10'000'000 + 5, 500},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ticks_from_unix_time(c.seconds, c.nanoseconds), c.ticks);
        Unix_Time back = unix_time_from_ticks(c.ticks);
        EXPECT_EQ(back.seconds, c.seconds);
        EXPECT_EQ(back.nanoseconds, c.nanoseconds_back);
    }
}

TEST(Identity, TimesAtTheEndsOfTheRangesStayInRange) {
    // File times far outside what the ticks can hold are held to the ends of the range.
    const struct {
        s64 seconds, nanoseconds;
        u64 ticks;
    } forward[] = {
        {INT64_MAX, 999'999'999, (u64)INT64_MAX},
        {INT64_MIN, 0, 0},
        {910'692'730'085, 477'580'700, (u64)INT64_MAX},  // the last time that fits
        {910'692'730'086, 0, (u64)INT64_MAX},
        {-11'644'473'600, 0, 0},  // 1601-01-01
        {-11'644'473'601, 0, 0},
    };
    for (const auto &c : forward) {
        EXPECT_EQ(ticks_from_unix_time(c.seconds, c.nanoseconds), c.ticks) << c.seconds;
    }

    // Ticks back from a hostile record can be anywhere in the signed 64-bit range.
    const struct {
        u64 ticks;
        s64 seconds, nanoseconds;
    } back[] = {
        {(u64)INT64_MAX, 910'692'730'085, 477'580'700},
        {(u64)INT64_MIN, -933'981'677'286, 522'419'200},
        {(u64)-1, -11'644'473'601, 999'999'900},
    };
    for (const auto &c : back) {
        Unix_Time time = unix_time_from_ticks(c.ticks);
        EXPECT_EQ(time.seconds, c.seconds) << (s64)c.ticks;
        EXPECT_EQ(time.nanoseconds, c.nanoseconds) << (s64)c.ticks;
    }
}

TEST(Identity, DownloadSizeOfAHostileRecordNeitherWrapsNorGoesNegative) {
    const struct {
        s64 updater, client;
        s64 total;
    } cases[] = {
        {1'000, 24'000'000, 24'001'000},
        {0, 0, 0},
        {INT64_MAX, 1, INT64_MAX},
        {INT64_MAX, INT64_MAX, INT64_MAX},
        {INT64_MAX - 5, 5, INT64_MAX},
        {-1, 100, 100},
        {INT64_MIN, INT64_MIN, 0},
        {INT64_MIN, INT64_MAX, INT64_MAX},
    };
    for (const auto &c : cases) {
        UpdaterClientVersions record = {};
        record.updater.size = c.updater;
        record.client.size = c.client;
        EXPECT_EQ(download_size_of(record), c.total) << c.updater << " + " << c.client;
    }
}

TEST(Identity, PrintedRecordNamesItsFields) {
    UpdaterClientVersions record = {};
    record.client.size = 7;
    record.common_version = COMMON_VERSION;
    EXPECT_EQ(std::string(tprint("%", record).view()),
              "{updater = {write_time_low = 0, write_time_high = 0, size = 0}, client = {write_time_low = 0, "
              "write_time_high = 0, size = 7}, common_version = 24644546513}");
}
