// Applies one patch the way an update does (the old client mapped, the patch fed in
// download-sized pieces, the result decoded straight into the output file mapped
// writable) and prints the time and the memory it took: the peak resident set, and its
// anonymous and file-backed parts sampled as the patch is fed.
//
//   patch_bench OLD PATCH OUT EXPECTED_SIZE
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os.h"
#include "patch.h"

namespace {

struct Memory {
    s64 anonymous_kib = 0;
    s64 file_kib = 0;
};

Memory resident_now() {
    Memory memory;
    FILE *status = fopen("/proc/self/status", "r");
    if (!status) return memory;
    char line[256];
    while (fgets(line, sizeof(line), status)) {
        if (strncmp(line, "RssAnon:", 8) == 0) memory.anonymous_kib = atoll(line + 8);
        if (strncmp(line, "RssFile:", 8) == 0) memory.file_kib = atoll(line + 8);
    }
    fclose(status);
    return memory;
}

void sample(Memory *peak) {
    Memory now = resident_now();
    if (now.anonymous_kib > peak->anonymous_kib) peak->anonymous_kib = now.anonymous_kib;
    if (now.file_kib > peak->file_kib) peak->file_kib = now.file_kib;
}

// The output file at its full length, reserved and mapped, as the updater maps its
// temporary file.
u8 *map_output(const char *path, s64 size) {
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || fallocate(fd, 0, 0, (off_t)size) != 0) return nullptr;
    void *address = mmap(nullptr, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return address == MAP_FAILED ? nullptr : (u8 *)address;
}

f64 mib(s64 bytes) { return (f64)bytes / (1 << 20); }

}  // namespace

int main(int argc, char **argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: patch_bench OLD PATCH OUT EXPECTED_SIZE\n");
        return 2;
    }
    Memory before = resident_now();
    File_Mapping old_client = map_file_read_only(argv[1]);
    File_Mapping patch = map_file_read_only(argv[2]);
    s64 expected = atoll(argv[4]);
    if (!old_client.success || !patch.success || expected <= 0) return 1;

    // Pieces of 64 KiB, about what a download's write callback is handed at a time.
    const s64 feed_piece = 64 << 10;
    auto start = std::chrono::steady_clock::now();
    Memory peak;
    u8 *result = map_output(argv[3], expected);
    if (!result) return 1;
    Patch_Apply apply;
    bool ok = patch_begin_in_place(&apply, old_client.data, result, expected);
    for (s64 at = 0; ok && at < patch.data.count; at += feed_piece) {
        s64 count = patch.data.count - at < feed_piece ? patch.data.count - at : feed_piece;
        ok = patch_feed(&apply, String(patch.data.data + at, count));
        sample(&peak);
    }
    ok = patch_finish(&apply) && ok;
    munmap(result, (size_t)expected);
    f64 seconds = std::chrono::duration<f64>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        fprintf(stderr, "patch_bench: %.*s\n", (int)patch_failure(&apply).count, patch_failure(&apply).data);
        return 1;
    }

    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    printf("applied %.1f MiB of patch to a %.1f MiB old client: %.1f MiB in %.3f s (%.0f MiB/s)\n",
           mib(patch.data.count), mib(old_client.data.count), mib(expected), seconds, mib(expected) / seconds);
    printf("peak resident %.1f MiB; sampled peaks: anonymous %.1f MiB (%.1f before), file-backed %.1f MiB "
           "(the mapped old client, patch and result)\n",
           (f64)usage.ru_maxrss / 1024, (f64)peak.anonymous_kib / 1024, (f64)before.anonymous_kib / 1024,
           (f64)peak.file_kib / 1024);
    unmap_file(&old_client);
    unmap_file(&patch);
    return 0;
}
