// Identity records: the time conversion in 128-bit arithmetic and the printed form.
#include "identity.h"

__int128 write_time_from_ticks(u64 ticks) {
    return (__int128)(unsigned __int128)ticks * FEMTOSECONDS_PER_TICK - RECORD_EPOCH_FEMTOSECONDS;
}

Ticks_Result to_filetime(__int128 write_time) {
    __int128 quotient = write_time / FEMTOSECONDS_PER_TICK;
    __int128 remainder = write_time % FEMTOSECONDS_PER_TICK;
    // Division truncates toward zero; round half away from zero.
    if (remainder * 2 >= FEMTOSECONDS_PER_TICK) quotient += 1;
    if (remainder * 2 <= -FEMTOSECONDS_PER_TICK) quotient -= 1;
    __int128 ticks = quotient + RECORD_EPOCH_TICKS;

    Ticks_Result result;
    if (ticks < INT64_MIN || ticks > INT64_MAX) return result;
    result.ticks = (u64)(s64)ticks;
    result.success = true;
    return result;
}

__int128 file_write_time(const UpdaterClientVersions::File &file) {
    return (__int128)(((unsigned __int128)(u64)file.write_time_high << 64) | file.write_time_low);
}

UpdaterClientVersions::File make_file_identity(__int128 write_time, s64 size) {
    UpdaterClientVersions::File file;
    file.write_time_low = (u64)write_time;
    file.write_time_high = (s64)(write_time >> 64);
    file.size = size;
    return file;
}

u64 ticks_from_unix_time(s64 seconds, s64 nanoseconds) {
    // A file system may hold any 64-bit second count; the ticks' range is far smaller.
    __int128 ticks = (__int128)seconds * 10'000'000 + nanoseconds / 100 + UNIX_EPOCH_TICKS;
    if (ticks < 0) return 0;
    if (ticks > INT64_MAX) return (u64)INT64_MAX;
    return (u64)ticks;
}

Unix_Time unix_time_from_ticks(u64 ticks) {
    // Ticks back from a record may be anywhere in the signed 64-bit range, where the
    // distance to 1970 no longer fits 64 bits.
    __int128 since_1970 = (__int128)(s64)ticks - UNIX_EPOCH_TICKS;
    __int128 seconds = since_1970 / 10'000'000;
    __int128 rest = since_1970 % 10'000'000;
    if (rest < 0) {  // floor, so the nanoseconds stay positive before 1970
        rest += 10'000'000;
        seconds -= 1;
    }
    return {(s64)seconds, (s64)rest * 100};
}

s64 download_size_of(const UpdaterClientVersions &record) {
    // The sizes come from the server: a negative one counts as nothing, and the sum stops
    // at the largest count instead of wrapping.
    s64 updater = record.updater.size > 0 ? record.updater.size : 0;
    s64 client = record.client.size > 0 ? record.client.size : 0;
    return client > INT64_MAX - updater ? INT64_MAX : updater + client;
}

Modtime_And_Size file_modtime_and_size(String name) {
    File_Times times = query_file_times(name);
    Modtime_And_Size result;
    if (!times.success) return result;
    result.write_time = write_time_from_ticks(times.write_ticks);
    result.size = times.size;
    result.success = true;
    return result;
}

void print_fields(String_Builder *builder, const UpdaterClientVersions::File &file) {
    Field_Printer(builder)
        .field("write_time_low", file.write_time_low)
        .field("write_time_high", file.write_time_high)
        .field("size", file.size);
}

void print_fields(String_Builder *builder, const UpdaterClientVersions &record) {
    Field_Printer(builder)
        .field("updater", record.updater)
        .field("client", record.client)
        .field("common_version", record.common_version);
}
