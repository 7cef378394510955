// libFuzzer target: applying a patch to a small old file, fed in pieces as a download
// would, decoded in place (as the updater does) or into a sink (as the publisher does).
// Whatever the bytes, no crash, no read outside the old file and no write outside the
// result (each ends where a page without access begins), nothing past the expected size
// handed on, and a patch that finishes gives exactly that size.
//
// Input: 1 byte piece size (0: the whole patch at once; the top bit: into a sink), 2 bytes
// old-file length and 2 bytes expected size (little-endian), the old file, then the patch.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "assertions.h"
#include "patch.h"

// The fuzz build links the runtime's printing and temporary storage alone; their fatal
// assertions (out of memory) end the run as a crash.
void report_fatal_assertion(std::source_location, String) { abort(); }

namespace {

constexpr s64 GUARDED_BYTES = 1 << 16;

// GUARDED_BYTES bytes between two pages without access.
struct Guarded_Pages {
    u8 *pages = nullptr;

    Guarded_Pages() {
        s64 page = sysconf(_SC_PAGESIZE);
        s64 total = GUARDED_BYTES + 2 * page;
        u8 *base = (u8 *)mmap(nullptr, (size_t)total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) abort();
        pages = base + page;
    }
    // `count` bytes that end at the guard page, with `protection`.
    u8 *last(s64 count, int protection) {
        if (mprotect(pages, (size_t)GUARDED_BYTES, protection) != 0) abort();
        return pages + GUARDED_BYTES - count;
    }
};

// Copies the old file so that it ends at the guard page, and leaves it read-only.
String place_reference(const u8 *bytes, s64 count) {
    static Guarded_Pages reference;
    u8 *start = reference.last(count, PROT_READ | PROT_WRITE);
    memcpy(start, bytes, (size_t)count);
    reference.last(count, PROT_READ);
    return String((const char *)start, count);
}

// The result in place, ending at the guard page.
u8 *result_room(s64 count) {
    static Guarded_Pages result;
    return result.last(count, PROT_READ | PROT_WRITE);
}

struct Counting_Sink {
    s64 expected = 0;
    s64 received = 0;
};

bool count_piece(void *context, String piece) {
    Counting_Sink *sink = (Counting_Sink *)context;
    if (piece.count <= 0 || piece.count > PATCH_PIECE_SIZE) abort();
    sink->received += piece.count;
    if (sink->received > sink->expected) abort();
    volatile char touch = piece.data[0] ^ piece.data[piece.count - 1];  // the piece is readable
    (void)touch;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    if (size < 5) return 0;
    bool into_sink = (data[0] & 0x80) != 0;
    s64 piece = data[0] & 0x7f;
    s64 reference_count = data[1] | (data[2] << 8);
    s64 expected = data[3] | (data[4] << 8);
    data += 5;
    size -= 5;
    if (reference_count > (s64)size) reference_count = (s64)size;
    String reference = place_reference(data, reference_count);
    String patch((const char *)data + reference_count, (s64)size - reference_count);

    Counting_Sink sink = {expected};
    Patch_Apply apply;
    // A window of at most 16 MiB keeps a frame that asks for more from costing the
    // fuzzer memory; the 2 GiB limit itself is a unit test.
    u8 *result = into_sink ? nullptr : result_room(expected);
    bool ok = into_sink ? patch_begin(&apply, reference, expected, {count_piece, &sink}, (s64)1 << 24)
                        : patch_begin_in_place(&apply, reference, result, expected, (s64)1 << 24);
    s64 step = piece > 0 ? piece : patch.count;
    for (s64 at = 0; ok && at < patch.count; at += step) {
        s64 count = patch.count - at < step ? patch.count - at : step;
        ok = patch_feed(&apply, String(patch.data + at, count));
    }
    bool finished = patch_finish(&apply);
    s64 made = into_sink ? sink.received : apply.result_bytes;
    if (finished && (!ok || made != expected)) abort();
    if (!finished && patch_failure(&apply).count == 0) abort();  // every failure has a reason
    return 0;
}
