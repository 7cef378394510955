// Applies one patch the way an update does (the old client mapped, the patch fed in
// download-sized pieces, the result written to a file in the patch's pieces) and prints
// the time and the memory it took: the peak resident set, and its anonymous and
// file-backed parts sampled as the result is written.
//
//   patch_bench OLD PATCH OUT EXPECTED_SIZE
#include <sys/resource.h>

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

struct File_Sink {
    FILE *file = nullptr;
    Memory peak;
};

bool write_piece(void *context, String piece) {
    File_Sink *sink = (File_Sink *)context;
    Memory now = resident_now();
    if (now.anonymous_kib > sink->peak.anonymous_kib) sink->peak.anonymous_kib = now.anonymous_kib;
    if (now.file_kib > sink->peak.file_kib) sink->peak.file_kib = now.file_kib;
    return fwrite(piece.data, 1, (size_t)piece.count, sink->file) == (size_t)piece.count;
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
    File_Sink sink = {fopen(argv[3], "wb")};
    s64 expected = atoll(argv[4]);
    if (!old_client.success || !patch.success || !sink.file) return 1;

    // Pieces of 64 KiB, about what a download's write callback is handed at a time.
    const s64 feed_piece = 64 << 10;
    auto start = std::chrono::steady_clock::now();
    Patch_Apply apply;
    bool ok = patch_begin(&apply, old_client.data, expected, {write_piece, &sink});
    for (s64 at = 0; ok && at < patch.data.count; at += feed_piece) {
        s64 count = patch.data.count - at < feed_piece ? patch.data.count - at : feed_piece;
        ok = patch_feed(&apply, String(patch.data.data + at, count));
    }
    ok = patch_finish(&apply) && ok;
    ok = fclose(sink.file) == 0 && ok;
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
           "(the mapped old client and patch)\n",
           (f64)usage.ru_maxrss / 1024, (f64)sink.peak.anonymous_kib / 1024, (f64)before.anonymous_kib / 1024,
           (f64)sink.peak.file_kib / 1024);
    unmap_file(&old_client);
    unmap_file(&patch);
    return 0;
}
