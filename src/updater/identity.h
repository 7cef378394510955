// The identity of the updater and the game client (modification time and size of each):
// the 56-byte record that is also the exact content of version.data on the update site,
// and the conversions between the system's file times and the record's time.
#pragma once

#include "print.h"
#include "types.h"

// Little-endian, no padding; the layout is a file format shared with the publisher tool.
struct UpdaterClientVersions {
    struct File {
        // One signed 128-bit count of femtoseconds since 1969-07-20 20:17:39 UTC.
        u64 write_time_low;
        s64 write_time_high;
        s64 size;
    };

    File updater;  // korvane.exe
    File client;   // client.exe
    u64 common_version;
};
static_assert(sizeof(UpdaterClientVersions) == 56);
static_assert(sizeof(UpdaterClientVersions::File) == 24);

constexpr u64 COMMON_VERSION = 0x5bcedefd1;

// 100-ns ticks since 1601-01-01 (the system's file time) and the record's femtoseconds.
constexpr __int128 FEMTOSECONDS_PER_TICK = 100'000'000;
constexpr __int128 RECORD_EPOCH_FEMTOSECONDS = (__int128)11'630'290'659 * 1'000'000'000'000'000;
constexpr s64 RECORD_EPOCH_TICKS = 116'302'906'590'000'000;

__int128 write_time_from_ticks(u64 ticks);

struct Ticks_Result {
    u64 ticks = 0;
    bool success = false;
};
// Back to ticks, rounding to the nearest tick; fails when the result does not fit a
// signed 64-bit value.
Ticks_Result to_filetime(__int128 write_time);

__int128 file_write_time(const UpdaterClientVersions::File &file);
UpdaterClientVersions::File make_file_identity(__int128 write_time, s64 size);

// The bytes an update by this record brings: both sizes, never negative, never wrapped.
s64 download_size_of(const UpdaterClientVersions &record);

void print_fields(String_Builder *builder, const UpdaterClientVersions::File &file);
void print_fields(String_Builder *builder, const UpdaterClientVersions &record);

// --- the Linux file times are nanoseconds since 1970; the record speaks 100-ns ticks
// since 1601 ---

constexpr s64 UNIX_EPOCH_TICKS = 116'444'736'000'000'000;

// Truncates to 100 ns; a time outside the ticks' signed 64-bit range from 1601 on is
// held to its nearer end.
u64 ticks_from_unix_time(s64 seconds, s64 nanoseconds);

struct Unix_Time {
    s64 seconds = 0;
    s64 nanoseconds = 0;  // 0..999,999,999
};
Unix_Time unix_time_from_ticks(u64 ticks);

// --- reading a file's identity from the file system ---

struct File_Times {
    u64 write_ticks = 0;  // 100-ns ticks since 1601
    s64 size = 0;
    bool success = false;
};
// The platform's query (file_identity_win32.cpp, file_identity_linux.cpp): a file that
// cannot be opened gives zeros and false.
File_Times query_file_times(String name);

struct Modtime_And_Size {
    __int128 write_time = 0;
    s64 size = 0;
    bool success = false;
};
Modtime_And_Size file_modtime_and_size(String name);
