// Delta updates: a patch is one zstd frame compressed with the old client as its
// reference prefix (what `zstd --patch-from=OLD NEW -o PATCH` writes). It is applied as
// its bytes arrive, against the old client mapped read-only. The result is either
// decoded straight into memory the size of the whole result (the updater's mapping of
// the temporary file) or handed to a sink in bounded pieces (the publisher's check).
// Also the name under which the update site publishes a patch.
#pragma once

#include "identity.h"
#include "types.h"

// The name of the patch from an old client to the current one: "client.exe.patch-" and
// the 24 bytes of the old client's entry of version.data (write time, then size, as the
// bytes stand in the file) as 48 lower-case hex digits. In temporary storage.
String patch_name(const UpdaterClientVersions::File &old_client);

constexpr char PATCH_NAME_PREFIX[] = "client.exe.patch-";

// The largest window a patch may ask for: zstd's own limit, what `--long=31` gives. With
// a sink the decoder keeps up to this much of the result (never more than the result's
// size) in memory while it works; decoding in place it keeps none.
constexpr s64 PATCH_WINDOW_MAX = (s64)1 << 31;
// A sink never gets more than this at once.
constexpr s64 PATCH_PIECE_SIZE = (s64)1 << 20;

struct Patch_Sink {
    // Takes the next piece of the result. False stops the patch; the writer reports its
    // own error.
    bool (*write)(void *context, String piece) = nullptr;
    void *context = nullptr;
};

struct ZSTD_DCtx_s;

// One patch being applied (start from a default-made one). Fill it with patch_begin, give it the patch's bytes with
// patch_feed as they arrive, end it with patch_finish (or patch_abandon when the patch's
// transfer failed). The first failure sticks: later calls return false and keep its reason.
struct Patch_Apply {
    ZSTD_DCtx_s *decoder = nullptr;
    Patch_Sink sink;
    u8 *result = nullptr;  // in place: expected_size bytes, written in order from the start
    String reference;  // the old client; must stay mapped and unchanged until the end
    s64 expected_size = 0;
    s64 window_max = PATCH_WINDOW_MAX;

    s64 patch_bytes = 0;   // patch bytes taken so far
    s64 result_bytes = 0;  // result bytes decoded so far (in place, or handed to the sink)
    u8 *piece = nullptr;   // PATCH_PIECE_SIZE bytes, the decoder's output before the sink

    // The frame header is gathered and checked before anything is decoded.
    u8 header[18] = {};
    s64 header_count = 0;
    bool header_checked = false;

    bool frame_done = false;
    bool failed = false;
    char reason[400] = {};
    s64 reason_count = 0;
};

// Ready to take a patch that turns the reference into exactly expected_size bytes.
// False (with a reason) when the decoder cannot be made. A smaller window_max (a power
// of two, at least 1 KiB) bounds the decoder's memory lower, for the fuzzer.
bool patch_begin(Patch_Apply *patch, String reference, s64 expected_size, Patch_Sink sink,
                 s64 window_max = PATCH_WINDOW_MAX);
// The same, decoding straight into `result` (expected_size writable bytes that stay put
// until the end): no window of its own and no copy. The bytes before result_bytes are
// the finished part of the result.
bool patch_begin_in_place(Patch_Apply *patch, String reference, u8 *result, s64 expected_size,
                          s64 window_max = PATCH_WINDOW_MAX);

// Decodes what it can of the next bytes of the patch and hands the result on. False on a
// broken patch, a window past the window_max of patch_begin, a patch for another result size, a result
// past the expected size, bytes after the frame's end, or a refusing sink.
// NOTE: in place, a failed patch may have written any of the result's bytes.
bool patch_feed(Patch_Apply *patch, String bytes);

// After the last byte: true when the frame was complete, its checksum matched and the
// result is exactly the expected size. Releases the decoder either way.
bool patch_finish(Patch_Apply *patch);

// Releases the decoder without checking anything (the patch's transfer failed).
void patch_abandon(Patch_Apply *patch);

// Why the patch failed, for an error line; empty while it has not.
String patch_failure(const Patch_Apply *patch);
